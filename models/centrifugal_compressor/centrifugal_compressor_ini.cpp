// R3CCMP sequential initialisation (R3KCFI) with its property steps
// (R3K_INPROPS, R3K_OUTPROPS, R3K_ENTHBAL) and the outlet-stream completion
// (R3KISO).
//
// R3KCFI starts from the inlet stream and whatever the user fixed, picks the
// calculation path the fixed variables allow, runs the curves forwards or
// backwards and repeats the outlet flash NPASS times. Speeds are in curve
// units (c times the block's SPEED) while it runs.
#include <cmath>
#include <string_view>

#include "framework/host_services.h"
#include "framework/records.h"
#include "models/centrifugal_compressor/centrifugal_compressor.h"

namespace r3::centrifugal_compressor {
namespace {

constexpr double f32(float v) { return static_cast<double>(v); }

// A message of the initialisation: list-directed, first to the second message
// unit, then to the message unit.
void say(const rec::ListDirected& l) {
  hs::write(hs::second_message_unit(), l.view());
  hs::write(hs::message_unit(), l.view());
}
void say(std::string_view text) { say(rec::ListDirected().add(text)); }

enum class Dir { Forward, Backward };

// Working context of one R3KCFI call.
struct Cfi {
  Entry& e;
  State& st;
  const Params& p;
  double* w;  // working values of the block variables (1-based)
  double pin = 0.0;
  bool has_work = false;
  int32_t ncf = 0;
  double nspeed = 5000.0;  // typical speed, curve units
  double strm_in[kMaxComponents + 9] = {};  // inlet vector, completed when needed
  double x_in[kMaxComponents] = {};

  bool fixed_pos(int32_t pos) const { return pos > 0 && hs::fixed(e.IYATTR[pos - 1]); }
  bool fixed(int v) const { return fixed_pos(st.pos[v]); }

  double typical(int v) const {
    switch (v) {
      case QACT:
      case SURGE_Q:
      case SURGE_PRED:
        return st.Vs;
      case WT_FLOW:
        return st.Fs;
      case SUCT_TEMP:
      case DISCH_TEMP:
        return st.Ts;
      case IHP:
      case BHP:
        return st.Hs;
      case SPEED:
        return nspeed;
      case MW:
        return 10.0;
      case HEAD:
      case HEAD_PRED:
        return 5.0 * 10000.0;
      case POLY_EFF:
      case EFF_PRED:
        return f32(0.72f);
      case ALPHA:
        return f32(0.4f);
      case MPOLY:
        return f32(0.3f);
      case PRATIO:
      case PR_EXP:
        return 5.0;
      case SURGE_RATIO:
        return 2.0;
      case SUCT_CP:
      case DISCH_CP:
      case CP_MEAN:
        return st.Hs / st.Ts;
      case SUCT_MOLV:
      case DISCH_MOLV:
        return 10000.0 * st.Ts / st.Ps;
      case Q_BY_N:
        return 5.0;
      case KRATIO:
        return 1.0 / (1.0 - f32(0.4f));
      default:  // compressibilities, correction factors, mechanical efficiency
        return 1.0;
    }
  }
  // A step's input: replaced by its typical value when unusable.
  double use(int v) {
    if (!hs::usable_positive(w[v])) w[v] = typical(v);
    return w[v];
  }
};

// --- Property steps -----------------------------------------------------------

// Suction properties from the inlet stream vector. False on failure (ISTAT = 1).
bool R3K_INPROPS(Cfi& c) {
  Entry& e = c.e;
  const int32_t ncf = c.ncf;
  double* v = c.strm_in;
  for (int32_t i = 0; i < ncf + 9; ++i) v[i] = e.SMATIN[i];
  auto fail = [&](const char* text) {
    say(text);
    *e.ISTAT = 1;
    return false;
  };
  if (hs::is_missing(v[ncf + 1])) {
    int32_t c1 = 1, c2 = 1, c3 = 1, c4 = 30, ret = 0, w17 = 0, w18 = 0, w19 = 0;
    double tol = 0.0001, second_value = 0.0, p = v[ncf + 2], test = v[ncf + 1];
    FLSH_FLASH(v, e.NSSTRM, e.ISSOFF, e.ISSTYP, e.IPROPSET, &c1, &c2, &c3, &c4, &tol, &p,
               &second_value, &test, &PPEXEC_USER[kPpexecDiagnosticLevel],
               &PPEXEC_USER[kPpexecPropertyWord], &PPEXEC_USER[kPpexecSolutionState], &w17, &w18,
               &w19, &ret);
    if (ret == -1) say("!! Warning in R3K_INPROPS: Inlet stream flash failed.");
    if (ret == -2) say("!! Warning in R3K_INPROPS: Extrapolated EOS root used.");
  }
  const double F = v[ncf], T = v[ncf + 1], P = v[ncf + 2], mw = v[ncf + 8];
  double rho = v[ncf + 7];
  const Setup& s = c.st.s;
  const bool flow_ok = hs::usable_positive(F);
  if (flow_ok) {
    for (int32_t i = 0; i < s.ncomp; ++i) {
      const int32_t k = s.idx[i];
      c.x_in[i] = (k >= 1 && k <= ncf) ? v[k - 1] / F : 0.0;
    }
  }
  if (flow_ok && hs::is_missing(rho)) {
    int32_t code = 1, ist = 0;
    double vol = hs::rmiss(), v2 = 0.0;
    PPMON_VOLV(&T, &P, c.x_in, &s.ncomp, s.idx, e.IPROPSET, &PPEXEC_USER[kPpexecPropertyWord],
               &code, &vol, &v2, &ist);
    if (hs::usable_positive(vol) && hs::usable_positive(mw)) rho = mw / vol;
  }
  if (!flow_ok) return fail("!! Error in R3K_INPROPS: Invalid total molar flow.");
  if (!hs::usable_positive(T)) return fail("!! Error in R3K_INPROPS: Invalid stream temperature.");
  if (!hs::usable_positive(P)) return fail("!! Error in R3K_INPROPS: Invalid stream pressure.");
  if (!hs::usable_positive(rho)) return fail("!! Error in R3K_INPROPS: Invalid mass density.");
  if (!hs::usable_positive(mw)) return fail("!! Error in R3K_INPROPS: Invalid molecular weight.");
  int32_t code = 2, ist = 0;
  double h = 0.0, cp = hs::rmiss();
  PPMON_ENTHV(&T, &P, c.x_in, &s.ncomp, s.idx, e.IPROPSET, &PPEXEC_USER[kPpexecPropertyWord],
              PPEXEC_KBASE, &code, &h, &cp, &ist);
  // A vapour heat capacity is above R; anything else would make k infinite
  // or negative.
  if (!hs::usable_positive(cp) || !(cp > kR))
    return fail("!! Error in R3K_INPROPS: Invalid heat capacity.");
  double* w = c.w;
  w[SUCT_TEMP] = T;
  w[SUCT_CP] = w[CP_MEAN] = cp;
  w[SUCT_MOLV] = mw / rho;
  w[MW] = mw;
  w[QACT] = F * mw / rho;
  w[SUCT_Z] = w[Z_MEAN] = P * w[SUCT_MOLV] / (kR * T);
  w[KRATIO] = cp / (cp - kR);
  w[WT_FLOW] = F * mw;
  w[ALPHA] = (w[KRATIO] - 1.0) / w[KRATIO];
  return true;
}

// Discharge properties by a flash of the outlet at the working outlet
// pressure and enthalpy. False on failure (ISTAT = 1).
bool R3K_OUTPROPS(Cfi& c) {
  Entry& e = c.e;
  State& st = c.st;
  const Setup& s = st.s;
  const int32_t ncf = c.ncf;
  double* w = c.w;
  auto fail = [&](const char* text) {
    say(text);
    *e.ISTAT = 1;
    return false;
  };
  double v[kMaxComponents + 9];
  for (int32_t i = 0; i < ncf + 9; ++i) v[i] = e.SMATOUT[i];
  const double F = v[ncf];
  if (!hs::usable_positive(F)) return fail("!! Error in R3K_OUTPROPS: Invalid total molar flow.");
  double x[kMaxComponents];
  for (int32_t i = 0; i < s.ncomp; ++i) {
    const int32_t k = s.idx[i];
    x[i] = (k >= 1 && k <= ncf) ? v[k - 1] / F : 0.0;
  }
  if (hs::is_missing(st.hout)) return fail("!! Error in R3K_OUTPROPS: Invalid stream enthalpy.");
  if (hs::is_missing(w[IHP])) {
    return fail("!! Error in R3K_OUTPROPS: Invalid indicated horsepower.");
  }
  if (!hs::usable_positive(st.pout))
    return fail("!! Error in R3K_OUTPROPS: Invalid stream pressure.");
  const double mw = !hs::usable_positive(v[ncf + 8]) ? w[MW] : v[ncf + 8];
  v[ncf + 1] = hs::rmiss();
  v[ncf + 2] = st.pout;
  v[ncf + 3] = st.hout / mw;
  int32_t c1 = 1, c2 = 1, c3 = 1, c4 = 30, ret = 0, w17 = 0, w18 = 0, w19 = 0;
  double tol = 0.0001, second_value = 0.0;
  double test = !hs::usable_positive(w[DISCH_TEMP]) ? w[SUCT_TEMP] : w[DISCH_TEMP];
  FLSH_FLASH(v, e.NSSTRM, e.ISSOFF, e.ISSTYP, e.IPROPSET, &c1, &c2, &c3, &c4, &tol, &st.pout,
             &second_value, &test, &PPEXEC_USER[kPpexecDiagnosticLevel],
             &PPEXEC_USER[kPpexecPropertyWord], &PPEXEC_USER[kPpexecSolutionState], &w17, &w18,
             &w19, &ret);
  if (ret == -1) say("!! Warning in R3K_OUTPROPS: Outlet stream flash failed.");
  if (ret == -2) say("!! Warning in R3K_OUTPROPS: Extrapolated EOS root used.");
  const double T = v[ncf + 1];
  int32_t code = 2, ist = 0;
  double h = 0.0, cp = hs::rmiss();
  PPMON_ENTHV(&T, &st.pout, x, &s.ncomp, s.idx, e.IPROPSET, &PPEXEC_USER[kPpexecPropertyWord],
              PPEXEC_KBASE, &code, &h, &cp, &ist);
  if (!hs::usable_positive(T) || !hs::usable_positive(cp) || !(cp > kR)) {
    return fail("!! Error in R3K_OUTPROPS: Invalid heat capacity.");
  }
  code = 1;
  double vol = hs::rmiss(), v2 = 0.0;
  PPMON_VOLV(&T, &st.pout, x, &s.ncomp, s.idx, e.IPROPSET, &PPEXEC_USER[kPpexecPropertyWord], &code,
             &vol, &v2, &ist);
  if (!hs::usable_positive(vol)) return fail("!! Error in R3K_OUTPROPS: Invalid molar volume.");
  w[DISCH_TEMP] = T;
  w[DISCH_CP] = cp;
  w[DISCH_MOLV] = vol;
  w[DISCH_Z] = st.pout * vol / (kR * T);
  w[Z_MEAN] = (c.use(SUCT_Z) + w[DISCH_Z]) / 2.0;
  w[CP_MEAN] = (c.use(SUCT_CP) + cp) / 2.0;
  w[KRATIO] = w[CP_MEAN] / (w[CP_MEAN] - kR);
  w[ALPHA] = (w[KRATIO] - 1.0) / w[KRATIO];
  return true;
}

// Outlet enthalpy from the indicated power: H_out = H_in + IHP/F_in.
bool R3K_ENTHBAL(Cfi& c) {
  State& st = c.st;
  const int32_t ncf = c.ncf;
  const double F = c.strm_in[ncf], hm = c.strm_in[ncf + 3], mw = c.strm_in[ncf + 8];
  if (!hs::usable_positive(F)) {
    say("!! Error in R3K_ENTHBAL: Invalid total molar flow.");
    *c.e.ISTAT = 1;
    return false;
  }
  if (hs::is_missing(hm) || hs::is_missing(mw)) {
    say("!! Error in R3K_ENTHBAL: Invalid stream enthalpy.");
    *c.e.ISTAT = 1;
    return false;
  }
  const double hin = hm * mw;
  if (hs::is_missing(c.w[IHP])) c.w[IHP] = st.Hs;
  if (hs::is_missing(st.hout)) st.hout = st.Hs / F + hin;
  st.hout = c.w[IHP] / F + hin;
  return true;
}

// --- Calculation steps --------------------------------------------------------

// E: MPOLY = ALPHA / POLY_EFF.
void step_e(Cfi& c, Dir d) {
  if (d == Dir::Forward) {
    c.w[MPOLY] = c.use(ALPHA) / c.use(POLY_EFF);
  } else {
    c.w[POLY_EFF] = c.use(ALPHA) / c.use(MPOLY);
  }
}

// P, head from the pressure ratio.
void step_p_head(Cfi& c) {
  const double m = c.use(MPOLY);
  const double rzt = kR * c.use(Z_MEAN) * c.use(SUCT_TEMP);
  c.w[HEAD] = (std::pow(c.use(PRATIO), m) - 1.0) * rzt / (c.use(MW) * m);
}

// P, pressure ratio (and outlet pressure) from the head.
void step_p_ratio(Cfi& c) {
  const double m = c.use(MPOLY);
  const double rzt = kR * c.use(Z_MEAN) * c.use(SUCT_TEMP);
  double pr = std::exp(std::log(1.0 + c.use(MW) * c.use(HEAD) * m / rzt) / m);
  if (!std::isfinite(pr) || !(pr > 0.0)) pr = c.typical(PRATIO);
  c.w[PRATIO] = pr;
  c.st.pout = c.pin * pr;
}

// Speed from the head curve: the root of a0 N^2 + a1 u N + a2 u^2 = 1000 HEAD_PRED
// inside the speed range, the larger when both are.
double head_curve_speed(const Cfi& c, double hp, double u) {
  const Params& p = c.p;
  const double al = p.a[0] / 1000.0, be = p.a[1] * u / 1000.0, ga = p.a[2] * u * u / 1000.0 - hp;
  const double disc = be * be - 4.0 * al * ga;
  if (disc < 0.0) return c.nspeed;
  if (al == 0.0) {
    if (be == 0.0 || ga == 0.0) return c.nspeed;
    const double n = -ga / be;
    return (std::isfinite(n) && n > 0.0) ? n : c.nspeed;
  }
  const double r = std::sqrt(disc);
  const double n1 = (-be + r) / (2.0 * al), n2 = (-be - r) / (2.0 * al);
  const bool in1 = n1 >= p.nlow && n1 <= p.nhigh, in2 = n2 >= p.nlow && n2 <= p.nhigh;
  if (in1 && in2) return std::fmax(n1, n2);
  if (in1) return n1;
  if (in2) return n2;
  return c.nspeed;
}

// Flow per speed from the efficiency curve: the root of
// b2 q^2 + b1 q + b0 = 100 EFF_PRED inside [u/REAL(10), u/REAL(9)], the
// smaller when both are.
double eff_curve_q(const Cfi& c, double ep, double u) {
  const Params& p = c.p;
  const double q0 = u / c.nspeed;
  const double ct = p.b[0] - 100.0 * ep;
  const double disc = p.b[1] * p.b[1] - 4.0 * p.b[2] * ct;
  if (disc < 0.0) return q0;
  if (p.b[2] == 0.0) {
    if (p.b[1] == 0.0 || ct == 0.0) return q0;
    const double q = -ct / p.b[1];
    return (std::isfinite(q) && q > 0.0) ? q : q0;
  }
  const double r = std::sqrt(disc);
  const double q1 = (-p.b[1] + r) / (2.0 * p.b[2]), q2 = (-p.b[1] - r) / (2.0 * p.b[2]);
  const double lo = u / p.nhigh, hi = u / p.nlow;
  const bool in1 = q1 >= lo && q1 <= hi, in2 = q2 >= lo && q2 <= hi;
  if (in1 && in2) return std::fmin(q1, q2);
  if (in1) return q1;
  if (in2) return q2;
  return q0;
}

// Flow per speed for a forward curve evaluation: from the actual flow and the
// speed when it has no usable value.
double flow_per_speed(Cfi& c) {
  if (!hs::usable_positive(c.w[Q_BY_N])) c.w[Q_BY_N] = 3600.0 * c.use(QACT) / c.use(SPEED);
  return c.w[Q_BY_N];
}

// H: HEAD_PRED = N^2/1000 (a0 + a1 q + a2 q^2).
void step_h(Cfi& c, Dir d) {
  const Params& p = c.p;
  if (d == Dir::Forward) {
    const double n = c.use(SPEED);
    const double q = flow_per_speed(c);
    c.w[HEAD_PRED] = n * n / 1000.0 * (p.a[0] + p.a[1] * q + p.a[2] * q * q);
  } else {
    const double u = 3600.0 * c.use(QACT);
    const double n = head_curve_speed(c, c.use(HEAD_PRED), u);
    c.w[SPEED] = n;
    c.w[Q_BY_N] = u / n;
  }
}

// A corrected curve value: VALUE = FACT * PRED. Forward fits the factor
// instead when the value itself is fixed (and the factor is not); backward
// gives the curve prediction from the value.
void factor_step(Cfi& c, Dir d, Var value, Var fact, Var pred) {
  if (d == Dir::Forward) {
    if (c.fixed(value) && hs::usable_positive(c.w[value]) && !c.fixed(fact)) {
      c.w[fact] = c.w[value] / c.use(pred);
    } else {
      c.w[value] = c.use(fact) * c.use(pred);
    }
  } else {
    c.w[pred] = c.use(value) / c.use(fact);
  }
}

// HC: HEAD = HEAD_FACT * HEAD_PRED.
void step_hc(Cfi& c, Dir d) { factor_step(c, d, HEAD, HEAD_FACT, HEAD_PRED); }

// F: EFF_PRED = (b0 + b1 q + b2 q^2)/100.
void step_f(Cfi& c, Dir d) {
  const Params& p = c.p;
  if (d == Dir::Forward) {
    const double q = flow_per_speed(c);
    c.w[EFF_PRED] = (p.b[0] + p.b[1] * q + p.b[2] * q * q) / 100.0;
  } else {
    const double u = 3600.0 * c.use(QACT);
    const double q = eff_curve_q(c, c.use(EFF_PRED), u);
    c.w[Q_BY_N] = q;
    c.w[SPEED] = u / q;
  }
}

// FC: POLY_EFF = EFF_FACT * EFF_PRED.
void step_fc(Cfi& c, Dir d) { factor_step(c, d, POLY_EFF, EFF_FACT, EFF_PRED); }

// S: SURGE_PRED = (s0 + s1 N)/3600.
void step_s(Cfi& c, Dir d) {
  const Params& p = c.p;
  if (d == Dir::Forward) {
    const double sp = (p.s[0] + p.s[1] * c.use(SPEED)) / 3600.0;
    c.w[SURGE_PRED] = (std::isfinite(sp) && sp > 0.0) ? sp : c.st.Vs;
  } else {
    const double n = p.s[1] != 0.0 ? (3600.0 * c.use(SURGE_PRED) - p.s[0]) / p.s[1] : c.nspeed;
    c.w[SPEED] = (std::isfinite(n) && n > 0.0) ? n : c.nspeed;
  }
}

// SC: SURGE_Q = SURGE_FACT * SURGE_PRED (the factor is fitted to a fixed
// surge flow).
void step_sc(Cfi& c) { factor_step(c, Dir::Forward, SURGE_Q, SURGE_FACT, SURGE_PRED); }

// SR: SURGE_RATIO = QACT / SURGE_Q, or the surge flow from a fixed ratio.
void step_sr(Cfi& c) {
  if (c.fixed(SURGE_RATIO) && hs::usable_positive(c.w[SURGE_RATIO])) {
    c.w[SURGE_Q] = c.use(QACT) / c.w[SURGE_RATIO];
    if (!c.fixed(SURGE_FACT)) c.w[SURGE_FACT] = c.w[SURGE_Q] / c.use(SURGE_PRED);
  } else {
    c.w[SURGE_RATIO] = c.use(QACT) / c.use(SURGE_Q);
  }
}

// I: IHP * POLY_EFF = WT_FLOW * HEAD. Forward: power from head.
void step_i(Cfi& c, Dir d) {
  if (d == Dir::Forward) {
    c.w[IHP] = c.use(WT_FLOW) * c.use(HEAD) / c.use(POLY_EFF);
  } else {
    // From a given power, zero included (see B).
    const double ihp = hs::is_missing(c.w[IHP]) ? c.use(IHP) : c.w[IHP];
    c.w[HEAD] = c.use(POLY_EFF) * ihp / c.use(WT_FLOW);
  }
}

// B: IHP = MECH_EFF * BHP, W = -BHP. Forward: from BHP; backward: from IHP.
// Forward runs only from a given brake power, which the checks have limited
// to zero or more; a zero power is taken as it is rather than replaced by the
// typical power, whose outlet enthalpy would be far off any flash.
void step_b(Cfi& c, Dir d) {
  if (d == Dir::Forward) {
    const double bhp = hs::is_missing(c.w[BHP]) ? c.use(BHP) : c.w[BHP];
    c.w[IHP] = bhp * c.use(MECH_EFF);
  } else {
    c.w[BHP] = c.use(IHP) / c.use(MECH_EFF);
    if (c.has_work) c.st.work = -c.w[BHP];
  }
}

// L: the logarithms and the power term.
void step_l(Cfi& c) {
  const double pr = c.use(PRATIO), m = c.use(MPOLY);
  c.w[LN_PRATIO] = std::log(pr);
  c.w[PR_EXP] = std::pow(pr, m);
  c.w[LN_PR_EXP] = std::log(c.w[PR_EXP]);
}

// Through a curve and its correction factor in direction d: forward from
// the curve's prediction to the actual value, backward the other way.
void through_curve(Cfi& c, Dir d, bool on, void (*curve)(Cfi&, Dir),
                   void (*correction)(Cfi&, Dir)) {
  if (!on) return;
  if (d == Dir::Forward) {
    curve(c, d);
    correction(c, d);
  } else {
    correction(c, d);
    curve(c, d);
  }
}
void head(Cfi& c, Dir d) { through_curve(c, d, c.p.head_on(), step_h, step_hc); }
void eff(Cfi& c, Dir d) { through_curve(c, d, c.p.eff_on(), step_f, step_fc); }
void surge(Cfi& c) {
  if (!c.p.surge_on()) return;
  step_s(c, Dir::Forward);
  step_sc(c);
  step_sr(c);
}
void curves(Cfi& c) {
  head(c, Dir::Forward);
  eff(c, Dir::Forward);
  surge(c);
}

// From the head and the efficiency on: the gas and brake powers, the outlet
// enthalpy, then in each pass the exponent, the pressure ratio and the outlet
// properties.
bool powers_then_discharge(Cfi& c, int32_t npass) {
  step_i(c, Dir::Forward);
  step_b(c, Dir::Backward);
  if (!R3K_ENTHBAL(c)) return false;
  for (int32_t k = 0; k < npass; ++k) {
    step_e(c, Dir::Forward);
    step_p_ratio(c);
    if (!R3K_OUTPROPS(c)) return false;
  }
  return true;
}

// From a given pressure ratio on: in each pass the exponent, the head, the
// gas power and the outlet enthalpy, the head and efficiency curves read
// backward from the head (where the block has them) and the outlet
// properties; then the surge curve and the brake power.
bool from_pressure_ratio(Cfi& c, int32_t npass) {
  for (int32_t k = 0; k < npass; ++k) {
    step_e(c, Dir::Forward);
    step_p_head(c);
    step_i(c, Dir::Forward);
    if (!R3K_ENTHBAL(c)) return false;
    head(c, Dir::Backward);
    eff(c, Dir::Forward);
    if (!R3K_OUTPROPS(c)) return false;
  }
  surge(c);
  step_b(c, Dir::Backward);
  return true;
}

bool case_error(Cfi& c, const char* text) {
  say(std::string("!! Error in R3KCFI: ") + text);
  *c.e.ISTAT = 1;
  return false;
}

// Values that no step produced: typical values, and the logarithms consistent
// with the pressure ratio and exponent.
void fill_missing(Cfi& c, bool all_unusable) {
  const State& st = c.st;
  for (int v = 1; v <= kNumVars; ++v) {
    if (v == LN_PRATIO || v == LN_PR_EXP || v == PR_EXP) continue;
    const bool replace = all_unusable ? !hs::usable_positive(c.w[v]) : hs::is_missing(c.w[v]);
    if (!replace) continue;
    switch (v) {
      case SUCT_TEMP:
        c.w[v] = f32(0.3f) * st.Ts;
        break;
      case DISCH_TEMP:
        c.w[v] = f32(0.35f) * st.Ts;
        break;
      case SURGE_Q:
        c.w[v] = 0.5 * st.Vs;
        break;
      default:
        c.w[v] = c.typical(v);
        break;
    }
  }
  const double pr = c.use(PRATIO), m = c.use(MPOLY);
  if (hs::is_missing(c.w[PR_EXP])) c.w[PR_EXP] = std::pow(pr, m);
  if (hs::is_missing(c.w[LN_PRATIO])) c.w[LN_PRATIO] = std::log(pr);
  if (hs::is_missing(c.w[LN_PR_EXP])) c.w[LN_PR_EXP] = std::log(c.w[PR_EXP]);
  if (c.has_work && hs::is_missing(c.st.work)) c.st.work = -c.w[BHP];
}

// The case analysis and its steps. False when a check or a property step
// failed (ISTAT = 1, message written).
bool run_cases(Cfi& c) {
  const Params& p = c.p;
  const StreamMap& map = c.st.s.map;
  State& st = c.st;
  double* w = c.w;
  const int32_t npass = p.npass;
  const bool f_speed = p.any_on() && c.fixed(SPEED);
  const bool f_qbyn = p.qn_on() && c.fixed(Q_BY_N);
  const bool f_pout = c.fixed_pos(map.out_pres);
  const bool f_pratio = c.fixed(PRATIO);
  const bool f_head = c.fixed(HEAD);
  const bool f_work = c.has_work && c.fixed_pos(map.in_info);
  const bool f_ihp = c.fixed(IHP), f_bhp = c.fixed(BHP);
  const bool f_mpoly = c.fixed(MPOLY), f_peff = c.fixed(POLY_EFF);

  if (!R3K_INPROPS(c)) return case_error(c, "Could not initialize inlet stream props");

  // Speed or flow per speed given.
  if (f_speed || f_qbyn) {
    if (f_speed && w[SPEED] <= 0.0) return case_error(c, "SPEED cannot be fixed at <= 0");
    if (!f_speed && w[Q_BY_N] <= 0.0) return case_error(c, "QBYN cannot be fixed at <= 0");
    if (f_speed) {
      if (p.qn_on()) w[Q_BY_N] = 3600.0 * c.use(QACT) / w[SPEED];
    } else {
      w[SPEED] = 3600.0 * c.use(QACT) / w[Q_BY_N];
    }
    curves(c);
    return powers_then_discharge(c, npass);
  }
  // Discharge pressure or pressure ratio given.
  if (f_pout || f_pratio) {
    if (f_pout && !(st.pout > 0.0)) return case_error(c, "discharge pressure fixed at < 0");
    if (!f_pout && w[PRATIO] < 1.0) return case_error(c, "PRATIO cannot be fixed at < 1");
    if (f_pout) {
      w[PRATIO] = st.pout / c.pin;
    } else {
      st.pout = w[PRATIO] * c.pin;
    }
    return from_pressure_ratio(c, npass);
  }
  // Head given.
  if (f_head) {
    if (w[HEAD] < 0.0) return case_error(c, "HEAD cannot be fixed at < 0");
    head(c, Dir::Backward);
    eff(c, Dir::Forward);
    surge(c);
    return powers_then_discharge(c, npass);
  }
  // Power given.
  if (f_bhp || f_ihp || f_work) {
    if (hs::is_missing(w[MECH_EFF])) w[MECH_EFF] = 1.0;
    if (f_work) {
      if (st.work > 0.0) return case_error(c, "inlet work stream fixed at > 0");
      w[BHP] = -st.work;
      step_b(c, Dir::Forward);
    } else if (f_bhp) {
      if (w[BHP] < 0.0) return case_error(c, "BHP cannot be fixed at < 0");
      if (c.has_work) st.work = -w[BHP];
      step_b(c, Dir::Forward);
    } else {
      if (!(w[IHP] > 0.0)) return case_error(c, "IHP cannot be fixed at < 0");
      step_b(c, Dir::Backward);
    }
    if (!R3K_ENTHBAL(c)) return false;
    if (hs::is_missing(w[POLY_EFF])) w[POLY_EFF] = f32(0.72f);
    for (int32_t k = 0; k < npass; ++k) {
      step_i(c, Dir::Backward);
      step_e(c, Dir::Forward);
      head(c, Dir::Backward);
      eff(c, Dir::Forward);
      step_p_ratio(c);
      if (!R3K_OUTPROPS(c)) return false;
    }
    surge(c);
    return true;
  }
  // Exponent or efficiency given. The outlet flash of each pass needs the
  // power and the outlet enthalpy of that pass's head, so they are computed
  // before it; a failed flash does not stop the remaining passes.
  if (f_mpoly || f_peff) {
    if (f_mpoly && !(w[MPOLY] > 0.0)) return case_error(c, "MPOLY cannot be fixed at <= 0");
    if (f_peff && !(w[POLY_EFF] > 0.0)) return case_error(c, "POLYEF cannot be fixed at <= 0");
    bool ok = true;
    for (int32_t k = 0; k < npass; ++k) {
      step_e(c, f_mpoly ? Dir::Backward : Dir::Forward);
      eff(c, Dir::Backward);
      head(c, Dir::Forward);
      step_p_ratio(c);
      step_i(c, Dir::Forward);
      if (!R3K_ENTHBAL(c)) return false;
      if (!R3K_OUTPROPS(c)) ok = false;
    }
    surge(c);
    step_i(c, Dir::Forward);
    step_b(c, Dir::Backward);
    if (!R3K_ENTHBAL(c)) return false;
    return ok;
  }
  // 6a. Nothing given, with a head or efficiency curve.
  if (p.qn_on()) {
    if (!hs::usable_positive(w[SPEED])) {
      if (hs::usable_positive(w[Q_BY_N])) {
        w[SPEED] = 3600.0 * c.use(QACT) / w[Q_BY_N];
      } else {
        w[SPEED] = c.nspeed;
        w[Q_BY_N] = 3600.0 * c.use(QACT) / w[SPEED];
      }
    } else if (!hs::usable_positive(w[Q_BY_N])) {
      w[Q_BY_N] = 3600.0 * c.use(QACT) / w[SPEED];
    }
    curves(c);
    return powers_then_discharge(c, npass);
  }
  // 6b. Nothing given, no head or efficiency curve: a pressure ratio of 5
  // unless a usable guess is there.
  if (hs::is_missing(w[PRATIO]) || !(w[PRATIO] > 1.0)) {
    w[PRATIO] = 5.0;
    st.pout = 5.0 * c.pin;
  } else if (!hs::usable_positive(st.pout)) {
    st.pout = w[PRATIO] * c.pin;
  }
  // Without curves the passes read none backward.
  return from_pressure_ratio(c, npass);
}

}  // namespace

void R3KCFI(Entry& e, State& st) {
  *e.ISTAT = 0;
  const Params& p = st.p;
  const StreamMap& map = st.s.map;
  Cfi c{e, st, p, st.w};
  c.has_work = *e.NINFI == 1;
  // Typical speed from the speed range.
  const double prod = p.nlow * p.nhigh;
  c.nspeed = (prod > 0.0 && prod < hs::rmiss()) ? std::sqrt(prod) : 5.0 * 1000.0;
  // Working values from Y (speed in curve units); fixed variables must
  // have values.
  const double rm = hs::rmiss();
  for (int v = 1; v <= kNumVars; ++v) st.w[v] = st.pos[v] ? e.Y[st.pos[v] - 1] : rm;
  st.hout = e.Y[map.out_enth - 1];
  st.pout = e.Y[map.out_pres - 1];
  st.work = c.has_work ? e.Y[map.in_info - 1] : rm;
  const double cf = p.c();
  if (st.pos[SPEED] && !hs::is_missing(st.w[SPEED])) st.w[SPEED] *= cf;
  int32_t positions[kNumVars + 3];
  int n = 0;
  if (c.has_work) positions[n++] = map.in_info;
  positions[n++] = map.out_enth;
  positions[n++] = map.out_pres;
  for (int v = 1; v <= kNumVars; ++v) {
    if (st.pos[v]) positions[n++] = st.pos[v];
  }
  for (int i = 1; i < n; ++i) {  // ascending positions
    for (int j = i; j > 0 && positions[j - 1] > positions[j]; --j) {
      const int32_t t = positions[j];
      positions[j] = positions[j - 1];
      positions[j - 1] = t;
    }
  }
  for (int i = 0; i < n; ++i) {
    const int32_t pos = positions[i];
    if (c.fixed_pos(pos) && hs::is_missing(e.Y[pos - 1])) {
      say(rec::ListDirected().add("!! Error in R3KCFI: Y(").add(static_cast<int>(pos)).add(
          ") is fixed at RMISS"));
      *e.ISTAT = 1;
    }
  }
  // The feed pressure.
  c.pin = e.Y[map.in_pres - 1];
  if (!(c.pin > 0.0)) {
    say("!! Error in R3KCFI: Feed pressure cannot be fixed at <= 0");
    *e.ISTAT = 1;
  }
  // The input check bounds the passes, but a host may change INT after it:
  // each pass runs a flash, so an unchecked count could run for hours.
  if (p.npass > 50) {
    say("!! Error in R3KCFI: INT(5), the number of passes, is more than 50");
    *e.ISTAT = 1;
  }
  if (*e.ISTAT != 0) return;
  // The inlet vector must hold the layout the property steps read.
  c.ncf = U3_MSTRM_NCF(st.s.dmatin);
  if (c.ncf < 1 || c.ncf > kMaxComponents || *e.LSTRM < c.ncf + 9) {
    say("!! Error in R3KCFI: Invalid stream vector length");
    *e.ISTAT = 1;
    return;
  }
  if (p.npass < 1) {
    // No passes: typical values only.
    fill_missing(c, true);
  } else {
    if (!run_cases(c)) return;
    step_l(c);
    fill_missing(c, false);
  }
  if (st.pos[SPEED] && !hs::is_missing(st.w[SPEED])) st.w[SPEED] /= cf;
}

void R3KISO(Entry& e, const State& st) {
  const StreamMap& map = st.s.map;
  auto pair = [&](int32_t in, int32_t out, const double* result) {
    const int32_t i = in - 1, j = out - 1;
    if (hs::is_missing(e.Y[j])) {
      e.Y[j] = (result != nullptr && !hs::is_missing(*result)) ? *result : e.Y[i];
    }
    if (hs::is_missing(e.YLB[j])) e.YLB[j] = e.YLB[i];
    if (hs::is_missing(e.YUB[j])) e.YUB[j] = e.YUB[i];
    if (hs::is_missing(e.YSBND[j]) || e.YSBND[j] == 1.0) e.YSBND[j] = e.YSBND[i];
    if (!hs::is_missing(e.YSCL[j])) {
      say("!! R3KISO - Warning: Stream variable scale");
      say("!! factors entered via Y sentence are ignored");
    }
    e.YSCL[j] = e.YSCL[i];
  };
  pair(map.in_flow, map.out_flow, nullptr);
  for (int32_t k = 0; k < st.s.ncomp; ++k) pair(map.in_comp[k], map.out_comp[k], nullptr);
  pair(map.in_enth, map.out_enth, &st.hout);
  pair(map.in_pres, map.out_pres, &st.pout);
}

}  // namespace r3::centrifugal_compressor
