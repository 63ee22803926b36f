// R3TREX: input check, sequential initialisation with its inlet-property
// step, outlet stream completion and the results report.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <string_view>

#include "framework/host_services.h"
#include "framework/records.h"
#include "models/turbo_expander/turbo_expander.h"

namespace r3::turbo_expander {
namespace {

constexpr double kR = 8314.4;

using hs::message;
using hs::msg;

bool missing(double v) {
  return hs::is_missing(v);
}
// A real that is neither missing nor beyond the missing marker nor NaN.
bool given(double v) {
  return !missing(v) && std::fabs(v) < hs::rmiss();
}

// Working context of one initialisation: X and the quantities the branches use.
struct Ini {
  Entry& e;
  State& st;
  int32_t n = 0;
  int32_t N = 1;     // passes of the searches
  double sin = 0.0;  // inlet molar entropy
  double pin = 0.0, fin = 0.0, hin = 0.0;
  double* X = nullptr;              // 1-based
  bool warned[2] = {false, false};  // a set's failure already reported
  double& x(Role r) { return X[st.pos[r]]; }
  const StreamMap& map() const { return st.s.map; }
  double& pout() { return X[map().out_pres]; }
  double& hout() { return X[map().out_enth]; }
};

// Outlet composition from the outlet component flows of a vector.
void outlet_fractions(const Ini& c, const double* v, double* xo) {
  const StreamMap& map = c.map();
  const double F = v[map.out_flow];
  for (int32_t i = 0; i < c.n; ++i) {
    xo[i] = F < 1e-30 || !given(F) ? 1.0 / c.n : v[map.out_comp[i]] / F;
  }
}

double vapour_enthalpy(Ini& c, double T, double P, const double* xo, double* cp) {
  int32_t code = cp ? 3 : 1, ist = 0;
  double h = hs::rmiss(), cpv = hs::rmiss();
  double t = std::fabs(T), p = std::fabs(P);
  PPMON_ENTHV(&t, &p, xo, &c.st.s.ncomp, c.st.s.idx, c.e.IPROPSET,
              &PPEXEC_USER[kPpexecPropertyWord], PPEXEC_KBASE, &code, &h, &cpv, &ist);
  if (cp) *cp = cpv;
  return h;
}

// Vapour temperature at which the enthalpy is h (Newton on the vapour
// enthalpy from the temperature held); the held value when it cannot be found.
double vapour_temperature(Ini& c, double h, double P, const double* xo, double T) {
  const double Ts = c.st.Ts;
  if (!given(h) || !given(P)) return T;
  double t = given(T) && T > 0.01 * Ts && T < 5.0 * Ts ? T : c.x(TIN);
  if (!given(t) || !(t > 0.0)) t = 300.0;
  for (int it = 0; it < 50; ++it) {
    double cp = 0.0;
    const double hv = vapour_enthalpy(c, t, P, xo, &cp);
    if (!given(hv) || !given(cp) || !(cp > 0.0)) return T;
    const double step = std::clamp((hv - h) / cp, -0.5 * t, 0.5 * t);
    t -= step;
    if (std::fabs(step) <= 1e-9 * t) return t;
  }
  return t;
}

// Entropy of a phase at (T, P, composition) with the single-row set in
// evaluation mode.
double row_entropy(Ini& c, int32_t phase, double T, double P, const double* comp) {
  double out = hs::rmiss();
  const double t = std::fabs(T), p = std::fabs(P), zero = 0.0;
  int32_t mode = 1, slot = 1;
  RTO_SMCRES(&c.st.s.ncomp, &phase, c.e.IPROPSET, c.st.s.idx, comp, &p, &t, &zero,
             &PPEXEC_USER[kPpexecPropertyWord], &mode, &slot, &out);
  return out;
}

// Initialises one phase-equilibrium set on vector v: mode 1 the set's
// temperature is given, 2 its enthalpy, otherwise whatever it holds.
void set_state(Ini& c, double* v, bool isentropic, int mode) {
  State& st = c.st;
  const StreamMap& map = c.map();
  const int32_t* lay = isentropic ? st.lay_s : st.lay_o;
  const int32_t iph = isentropic ? st.pos[HSOUT] : map.out_enth;
  const int32_t start = (isentropic ? st.vstart_s : st.vstart_o) + 1;
  double* sa = isentropic ? st.S1 : st.S3;
  double* sb = isentropic ? st.S2 : st.S4;
  for (int32_t i = 0; i < c.n; ++i) {
    sa[i] = sb[i] = c.fin > 0.0 ? v[map.in_comp[i]] / c.fin : 1.0 / c.n;
  }
  const int32_t qpos = std::abs(lay[2]);
  const double h_before = v[iph], q_before = v[qpos];
  if (mode == 1) v[iph] = 0.0;
  if (mode == 2) v[qpos] = 0.0;
  const int32_t flag = mode == 1 ? 2 : (mode == 2 ? 1 : 4);
  const double tol = 1e-4;
  const int32_t maxit = 30;
  int32_t ierr = 0;
  RTO_PMLINI(&st.s.ncomp, st.s.idx, map.out_comp, &iph, &map.out_pres, c.e.IPROPSET, c.e.A31, &tol,
             &maxit, &flag, lay, &start, sa, sb, v + 1, &ierr);
  if (ierr == -1) {
    // Nothing was written: the state keeps what it held, reported once.
    v[iph] = h_before;
    v[qpos] = q_before;
    if (!c.warned[isentropic ? 0 : 1]) {
      c.warned[isentropic ? 0 : 1] = true;
      message(isentropic ? "Warning in R3X_INI: Isentropic outlet state could not be initialised."
                         : "Warning in R3X_INI: Actual outlet state could not be initialised.");
    }
    return;
  }
  if (mode == 1) {
    const double F = v[map.out_flow];
    v[iph] = F > 0.0 && given(F) ? v[qpos] / F : v[qpos];
    // The state's enthalpy now matches the set's mixture: no duty is left.
    v[qpos] = 0.0;
  }
}

// The isentropic outlet state on vector v; returns its entropy, which is also
// written into the inlet-entropy slot of v.
double isentropic_outlet_state(Ini& c, double* v, int mode) {
  State& st = c.st;
  const StreamMap& map = c.map();
  double S = hs::rmiss();
  const int32_t tpos = st.pos[TSOUT];
  if (st.iphase == 1) {
    double xo[kMaxComponents];
    outlet_fractions(c, v, xo);
    const double P = v[map.out_pres];
    if (mode == 1) {
      v[st.pos[HSOUT]] = vapour_enthalpy(c, v[tpos], P, xo, nullptr);
    } else if (mode == 2) {
      v[tpos] = vapour_temperature(c, v[st.pos[HSOUT]], P, xo, v[tpos]);
    }
    v[st.pos[SV]] = row_entropy(c, 1, v[tpos], P, xo);
    S = v[st.pos[SV]];
  } else {
    set_state(c, v, true, mode);
    const int32_t z0 = std::abs(st.lay_s[8]);
    const int32_t n = c.n;
    const double T = v[tpos], P = v[map.out_pres];
    v[st.pos[SV]] = row_entropy(c, 1, T, P, &v[z0 + n + 9]);
    v[st.pos[SL]] = row_entropy(c, 2, T, P, &v[z0 + 3 * n + 14]);
    const double bc = std::clamp(v[std::abs(st.lay_s[1])], 0.0, 1.0);
    const double sv = v[st.pos[SV]], sl = v[st.pos[SL]];
    S = given(sv) && given(sl) ? bc * sv + (1.0 - bc) * sl : hs::rmiss();
  }
  v[st.pos[SMOL]] = S;
  return S;
}

// The actual outlet state on X: mode 1 its enthalpy from its temperature,
// mode 2 its temperature from its enthalpy.
void actual_outlet_state(Ini& c, int mode) {
  State& st = c.st;
  double* v = c.X;
  if (st.iphase == 1) {
    double xo[kMaxComponents];
    outlet_fractions(c, v, xo);
    if (mode == 1) {
      c.hout() = vapour_enthalpy(c, c.x(TOUT), c.pout(), xo, nullptr);
    } else {
      c.x(TOUT) = vapour_temperature(c, c.hout(), c.pout(), xo, c.x(TOUT));
    }
  } else {
    set_state(c, v, false, mode);
  }
}

// Relations between the block quantities, each used forward or backward.
void actual_drop_from_outlet(Ini& c) {
  c.x(DHACT) = c.hout() - c.hin;
}
void outlet_enthalpy_from_actual_drop(Ini& c) {
  c.hout() = c.hin + c.x(DHACT);
}
void isentropic_drop_from_actual(Ini& c) {
  c.x(DHISEN) = c.x(DHACT) / c.x(SEFF);
}
void actual_drop_from_isentropic(Ini& c) {
  c.x(DHACT) = c.x(DHISEN) * c.x(SEFF);
}
void isentropic_drop_from_outlet(Ini& c) {
  c.x(DHISEN) = c.x(HSOUT) - c.hin;
}
void isentropic_outlet_from_drop(Ini& c) {
  c.x(HSOUT) = c.hin + c.x(DHISEN);
}
void actual_drop_from_power(Ini& c) {
  c.x(DHACT) = c.x(IHP) / c.fin;
}
void indicated_power_from_drop(Ini& c) {
  c.x(IHP) = c.fin * c.x(DHACT);
}
void brake_power_from_indicated(Ini& c) {
  c.x(BHP) = c.x(IHP) * c.x(MEFF);
}
void indicated_power_from_brake(Ini& c) {
  c.x(IHP) = c.x(BHP) / c.x(MEFF);
}

// R/Cp of the inlet for the ideal-gas estimates; a heat capacity the engine
// could not give falls back to a diatomic gas's 7R/2.
double r_over_cp(const Ini& c) {
  const double cp = c.X[c.st.ny + 1];
  return given(cp) && cp > 0.0 ? kR / cp : 2.0 / 7.0;
}

// Outlet pressure given: the isentropic temperature by bracketing and
// bisection on the entropy.
void branch_pressure(Ini& c) {
  State& st = c.st;
  const int32_t tpos = st.pos[TSOUT];
  double& T = c.X[tpos];
  T = c.x(TIN) * std::pow(c.pout() / c.pin, r_over_cp(c));
  double S = isentropic_outlet_state(c, c.X, 1);
  if (c.N > 1) {
    double* w = st.scratch;
    std::copy(c.X, c.X + st.ny + 2, w);
    double thi = c.x(TIN), tlo = T;
    for (int i = 0; i < 10; ++i) {
      w[tpos] = thi;
      if (!(isentropic_outlet_state(c, w, 1) < c.sin)) break;
      thi *= 1.1;
    }
    for (int i = 0; i < 10; ++i) {
      w[tpos] = tlo;
      if (!(isentropic_outlet_state(c, w, 1) > c.sin)) break;
      tlo *= 0.9;
    }
    double d = thi - tlo;
    const double t = 0.01 / (2.0 * c.N - 2.0);
    for (int i = 0; i < 20; ++i) {
      d /= 2.0;
      T = tlo + d;
      S = isentropic_outlet_state(c, c.X, 1);
      if (S - c.sin <= 0.0) tlo = T;
      if (d <= 0.1 / (2.0 * c.N - 2.0) ||
          std::fabs(S - c.sin) <= std::max(std::fabs(c.sin), 1.0) * t) {
        break;
      }
    }
  }
  isentropic_drop_from_outlet(c);
  actual_drop_from_isentropic(c);
  outlet_enthalpy_from_actual_drop(c);
  if (st.iphase == 1) c.x(TOUT) = c.x(TSOUT);
  actual_outlet_state(c, 2);
  indicated_power_from_drop(c);
  brake_power_from_indicated(c);
}

// Indicated power, outlet enthalpy or brake power given: the outlet pressure
// by bisection on the entropy of the isentropic state.
void branch_power(Ini& c, int spec) {
  if (spec == 2) {
    actual_drop_from_power(c);
    outlet_enthalpy_from_actual_drop(c);
    brake_power_from_indicated(c);
  } else if (spec == 3) {
    actual_drop_from_outlet(c);
    indicated_power_from_drop(c);
    brake_power_from_indicated(c);
  } else {
    indicated_power_from_brake(c);
    actual_drop_from_power(c);
    outlet_enthalpy_from_actual_drop(c);
  }
  isentropic_drop_from_actual(c);
  isentropic_outlet_from_drop(c);
  const State& st = c.st;
  c.pout() = 0.5 * (st.rlo + st.rhi) * c.pin;
  double S = isentropic_outlet_state(c, c.X, 2);
  if (c.N > 1) {
    double plo = st.rlo * c.pin;
    double d = st.rhi * c.pin - plo;
    const double t = 0.01 / (4.0 * c.N - 4.0);
    for (int i = 0; i < 20; ++i) {
      d /= 2.0;
      c.pout() = plo + d;
      S = isentropic_outlet_state(c, c.X, 2);
      if (S - c.sin >= 0.0) plo = c.pout();
      if (d <= std::max(std::fabs(c.pout()), 1.0) * t ||
          std::fabs(S - c.sin) <= std::max(std::fabs(c.sin), 1.0) * t) {
        break;
      }
    }
  }
  actual_outlet_state(c, 2);
}

// Outlet temperature given: the outlet pressure by bisection on the entropy,
// the actual state from the temperature at each trial pressure.
void branch_temperature(Ini& c) {
  const State& st = c.st;
  double plo, d;
  if (c.N <= 1) {
    c.pout() = c.pin * std::pow(c.x(TOUT) / c.x(TIN), 1.0 / r_over_cp(c));
    plo = c.pout();
    d = 0.0;
  } else {
    // The first trial lies in the middle of the ratio bounds and the halving
    // steps cover the whole range, as in the power branch.
    plo = st.rlo * c.pin;
    d = st.rhi * c.pin - plo;
    c.pout() = plo + 0.5 * d;
  }
  const double t = c.N > 1 ? 0.01 / (4.0 * c.N - 4.0) : 0.0;
  for (int pass = 1; pass <= std::max(c.N, 1); ++pass) {
    d /= 2.0;
    c.pout() = plo + d;
    actual_outlet_state(c, 1);
    actual_drop_from_outlet(c);
    isentropic_drop_from_actual(c);
    isentropic_outlet_from_drop(c);
    const double S = isentropic_outlet_state(c, c.X, 2);
    if (S - c.sin >= 0.0) plo = c.pout();
    if (c.N <= 1) break;
    if (d <= std::max(std::fabs(c.pout()), 1.0) * t ||
        std::fabs(S - c.sin) <= std::max(std::fabs(c.sin), 1.0) * t) {
      break;
    }
  }
  indicated_power_from_drop(c);
  brake_power_from_indicated(c);
}

// Rough values without property calls.
void rough_values(Ini& c) {
  State& st = c.st;
  const StreamMap& map = c.map();
  double* X = c.X;
  const int32_t n = c.n;
  X[map.out_enth] = X[map.in_enth];
  X[map.out_pres] = X[map.in_pres];
  X[map.out_enth] *= 1.01;
  X[map.out_pres] *= 0.5;
  if (st.ninfout == 1) X[map.out_info] = -0.001 * st.Fs * st.Hs;
  c.x(DHACT) = c.x(DHISEN) = -0.005 * st.Hs;
  c.x(SEFF) = 0.85;
  c.x(IHP) = c.x(BHP) = -0.001 * st.Fs * st.Hs;
  c.x(MEFF) = 1.0;
  c.x(TIN) = st.Ts / 5.0;
  c.x(SMOL) = c.x(SV) = -st.Hs / st.Ts;
  if (st.iphase == 0) c.x(SL) = -st.Hs / st.Ts;
  c.x(HSOUT) = X[map.out_enth];
  if (st.iphase == 1) {
    c.x(TSOUT) = c.x(TOUT) = 0.8 * c.x(TIN);
    return;
  }
  const double F = X[map.out_flow];
  for (const int32_t* lay : {st.lay_s, st.lay_o}) {
    const int32_t z0 = std::abs(lay[8]);
    X[z0 + 1] = 0.9;             // vapour fraction
    X[z0 + 2] = 0.8 * c.x(TIN);  // temperature
    X[z0 + 3] = 0.0;             // duty
    X[z0 + 4] = F;               // total flow
    X[z0 + n + 5] = 0.9 * F;     // vapour flow, enthalpy, entropy, MW
    X[z0 + n + 6] = X[map.out_enth];
    X[z0 + n + 7] = -st.Hs / st.Ts;
    X[z0 + n + 8] = 20.0;
    X[z0 + 2 * n + 9] = 0.1 * F;  // liquid flow, enthalpy, entropy, MW, mixture enthalpy
    X[z0 + 2 * n + 10] = X[map.out_enth];
    X[z0 + 2 * n + 11] = -st.Hs / st.Ts;
    X[z0 + 2 * n + 12] = 20.0;
    X[z0 + 2 * n + 13] = X[map.out_enth];
    for (int32_t i = 0; i < n; ++i) {
      X[z0 + 5 + i] = 1.0 / n;
      X[z0 + n + 9 + i] = 1.0 / n;
      X[z0 + 2 * n + 14 + i] = 0.0;  // ln K
      X[z0 + 3 * n + 14 + i] = 1.0 / n;
    }
  }
}

// Inlet properties from the inlet stream vector: temperature, heat capacity
// and molar entropy into X. False on failure (ISTAT = 1).
bool R3X_INI_INPROPS(Ini& c) {
  Entry& e = c.e;
  State& st = c.st;
  int32_t ncf = U3_MSTRM_NCF(st.s.dmatin);
  if (ncf < 1 || ncf > kMaxComponents) ncf = st.s.ncomp;
  // A copy of the inlet vector: the flash completes it without touching the
  // host's inlet, and a short vector reads as missing.
  double vec[kMaxComponents + 9];
  const int32_t have = std::clamp(*e.LSTRM, 0, ncf + 9);
  for (int32_t i = 0; i < ncf + 9; ++i) vec[i] = i < have ? e.SMATIN[i] : hs::rmiss();
  const double F = vec[ncf], P = vec[ncf + 2], h = vec[ncf + 3];
  const double rm = hs::rmiss();
  bool bad = false;
  if (!(F < rm) || !(F > 0.0)) {
    message("Error in R3X_INI_INPROPS: Invalid total molar flow.");
    bad = true;
  }
  if (!(P < rm) || !(P > 0.0)) {
    message("Error in R3X_INI_INPROPS: Invalid inlet pressure.");
    bad = true;
  }
  if (!(std::fabs(h) < rm)) {
    message("Error in R3X_INI_INPROPS: Invalid inlet enthalpy.");
    bad = true;
  }
  if (bad) {
    *e.ISTAT = 1;
    return false;
  }
  double x[kMaxComponents];
  for (int32_t i = 0; i < st.s.ncomp; ++i) x[i] = vec[i] / F;
  double T = vec[ncf + 1];
  if (missing(T)) {
    int32_t c1 = 1, c2 = 1, c3 = 1, c4 = 30, ret = 0, w17 = 0, w18 = 0, w19 = 0;
    double tol = 0.0001, second = 0.0, p = P, test = T;
    FLSH_FLASH(vec, e.NSSTRM, e.ISSOFF, e.ISSTYP, e.IPROPSET, &c1, &c2, &c3, &c4, &tol, &p, &second,
               &test, &PPEXEC_USER[kPpexecDiagnosticLevel], &PPEXEC_USER[kPpexecPropertyWord],
               &PPEXEC_USER[kPpexecSolutionState], &w17, &w18, &w19, &ret);
    if (ret == -1) message("Warning in R3X_INI_INPROPS: Inlet stream flash failed to converge.");
    if (ret == -2) message("Warning in R3X_INI_INPROPS: Extrapolated EOS root used.");
    T = vec[ncf + 1];
    if (!(T < rm) || !(T > 0.0)) {
      message("Error in R3X_INI_INPROPS: Inlet temperature calculation failed.");
      *e.ISTAT = 1;
      return false;
    }
  }
  c.x(TIN) = T;
  int32_t vapour = 1, mode = 1;
  const double zero = 0.0;
  int32_t slot = st.ny + 1;
  RTO_CPRES(&st.s.ncomp, &vapour, e.IPROPSET, st.s.idx, x, &P, &T, &zero,
            &PPEXEC_USER[kPpexecPropertyWord], &mode, &slot, c.X + 1);
  c.X[slot] = std::fabs(c.X[slot]);
  slot = st.pos[SMOL];
  RTO_SMCRES(&st.s.ncomp, &vapour, e.IPROPSET, st.s.idx, x, &P, &T, &zero,
             &PPEXEC_USER[kPpexecPropertyWord], &mode, &slot, c.X + 1);
  return true;
}

bool ini_error(Ini& c, std::string_view text) {
  message("Error in R3X_INI:", text);
  *c.e.ISTAT = 1;
  return false;
}

}  // namespace

int32_t R3X_ICHK(const Entry& e, const State& st) {
  const int32_t n = st.s.ncomp;
  const int32_t p = st.s.i0;
  CheckFault f = connection_fault(e, {.inlet = 0, .outlet = 1});
  std::string& l1 = f.first;
  std::string& l2 = f.second;
  if (!l1.empty()) {  // the connections are explained first
  } else if (n < 1 || n > kMaxComponents) {
    f = component_count_fault();
  } else if (st.imode != 0 && st.imode != 1) {
    f = switch_fault("IMODE");
  } else if (st.icurv != 0) {
    l1 = "Invalid value entered for ICURV. ICURV must be 0.";
  } else if (st.npass < 0 || st.npass > 50) {
    f = range_fault("NPASS", 0, 50);
  } else if (st.iphase != 0 && st.iphase != 1) {
    f = switch_fault("IPHASE");
  } else if (*e.NINT < p + kIntRoom) {
    l1 = "The size of the INT array is too small.";
    l2 = "Please increase parameter NINT by " + std::to_string(p + kIntRoom - *e.NINT) + ".";
  } else if (*e.NREAL < st.s.r0 - 1 + 4 * n + 2) {
    l1 = "The size of the REAL array is too small.";
    l2 = "NREAL must be at least 2 plus 4 times the number of non-zero components.";
  } else if (st.rlo > st.rhi) {
    l1 = "Pressure bounds specified in the REAL array are incorrect.";
    l2 = "The lower bound is greater than the upper bound.";
  }
  return check_status("R3X_ICHK", f);
}

void R3X_INI(Entry& e, State& st) {
  *e.ISTAT = 0;
  // The input check bounds the passes, but a host may change INT after it:
  // the searches take steps of 1/NPASS, so an unchecked count could run for hours.
  if (st.npass > 50) {
    msg("");
    msg(" ERROR in subroutine R3X_INI:");
    msg("      NPASS is more than 50.");
    *e.ISTAT = 1;
    return;
  }
  const StreamMap& map = st.s.map;
  Ini c{e, st};
  c.n = st.s.ncomp;
  c.X = st.X;
  double* X = st.X;
  // X from Y, the inlet flows carried to the outlet, no heat capacity yet.
  for (int32_t j = 1; j <= st.ny; ++j) X[j] = e.Y[j - 1];
  X[map.out_flow] = X[map.in_flow];
  for (int32_t i = 0; i < c.n; ++i) X[map.out_comp[i]] = X[map.in_comp[i]];
  X[st.ny + 1] = hs::rmiss();
  c.pin = X[map.in_pres];
  c.fin = X[map.in_flow];
  c.hin = X[map.in_enth];
  // Rough values only.
  if (st.npass == 0) {
    rough_values(c);
    return;
  }
  // Specification codes: 0 not usable, 2 given, 3 given and fixed.
  auto fixed = [&](int32_t at) { return hs::fixed(e.IYATTR[at - 1]); };
  const int32_t spec_pos[6] = {0,           map.out_pres, st.pos[IHP], map.out_enth,
                               st.pos[BHP], st.pos[TOUT]};
  int code[6] = {};
  for (int q = 1; q <= 5; ++q) {
    const double v = X[spec_pos[q]];
    bool ok = given(v);
    if (q == 1) ok = ok && v > 0.0 && v < c.pin;
    if (q == 5) ok = ok && v > 0.0;
    code[q] = ok ? (fixed(spec_pos[q]) ? 3 : 2) : 0;
  }
  static const char* const kFixedMissing[6] = {
      "",
      "The outlet pressure is fixed but its value is missing, negative or above inlet pressure.",
      "The indicated horsepower is fixed but its value is missing.",
      "The actual outlet enthalpy is fixed but its value is missing.",
      "The brake horsepower is fixed but its value is missing.",
      "The actual outlet temperature is fixed but its value is missing or negative."};
  for (int q = 1; q <= 5; ++q) {
    if (code[q] == 0 && fixed(spec_pos[q])) {
      ini_error(c, kFixedMissing[q]);
      return;
    }
  }
  // The work stream stands for the brake power when it ranks higher.
  if (st.ninfout == 1) {
    const double w = X[map.out_info];
    const int wcode = given(w) ? (fixed(map.out_info) ? 3 : 2) : 0;
    if (wcode == 0 && fixed(map.out_info)) {
      ini_error(c, "The outlet work stream is fixed but its value is missing.");
      return;
    }
    if (wcode > code[4]) {
      code[4] = wcode;
      c.x(BHP) = w;
    }
  }
  // The quantity the initialisation starts from.
  int spec = 1;
  for (int q = 2; q <= 5; ++q) {
    if (code[q] > code[spec]) spec = q;
  }
  if (code[spec] < 2) {
    spec = 1;
    c.pout() = 0.5 * (st.rlo + st.rhi) * c.pin;
    c.N = 1;
  } else {
    c.N = st.npass;
  }
  // Inlet properties.
  if (!R3X_INI_INPROPS(c)) return;
  c.sin = c.x(SMOL);
  // Efficiencies the relations can divide by.
  if (!(c.x(SEFF) > 0.0 && c.x(SEFF) <= 1.0)) c.x(SEFF) = 0.85;
  if (!(c.x(MEFF) > 0.0 && c.x(MEFF) <= 1.0)) c.x(MEFF) = 0.9;
  // The branch of the quantity given.
  switch (spec) {
    case 1:
      branch_pressure(c);
      break;
    case 5:
      branch_temperature(c);
      break;
    default:
      branch_power(c, spec);
      break;
  }
  // The work stream carries the brake power.
  if (st.ninfout == 1) X[map.out_info] = c.x(BHP);
}

void R3X_MSTRM_IN2OUT(Entry& e, State& st) {
  const StreamMap& map = st.s.map;
  const double* X = st.X;
  const int32_t n = st.s.ncomp;
  // Outlet and inlet variables paired in stream order: total flow, the
  // component flows, enthalpy, pressure (positions from the host's map).
  auto pair = [&](int32_t t, int32_t& in, int32_t& out) {
    if (t == 0) {
      in = map.in_flow, out = map.out_flow;
    } else if (t <= n) {
      in = map.in_comp[t - 1], out = map.out_comp[t - 1];
    } else if (t == n + 1) {
      in = map.in_enth, out = map.out_enth;
    } else {
      in = map.in_pres, out = map.out_pres;
    }
  };
  for (int32_t t = 0; t < n + 3; ++t) {
    int32_t ip = 0, op = 0;
    pair(t, ip, op);
    const int32_t i = ip - 1, j = op - 1;  // 0-based
    const bool is_p = op == map.out_pres, is_h = op == map.out_enth;
    if (missing(e.Y[j])) {
      e.Y[j] = (is_p || is_h) && !missing(X[op]) ? X[op] : e.Y[i];
    }
    if (missing(e.YLB[j])) e.YLB[j] = e.YLB[i];
    if (missing(e.YUB[j])) e.YUB[j] = is_p ? e.Y[i] : e.YUB[i];
    if (missing(e.YSBND[j]) || e.YSBND[j] == 1.0) e.YSBND[j] = e.YSBND[i];
    if (!missing(e.YSCL[j])) {
      msg("");
      msg(" WARNING IN R3X_MSTRM_IN2OUT:");
      msg(" Stream variable scale factors entered via Y sentence are ignored");
    }
    e.YSCL[j] = e.YSCL[i];
  }
}

void R3X_REPORT(const Entry& e, const State& st) {
  const int32_t unit = hs::report_unit();
  const double rm = hs::rmiss();
  const int32_t miss = hs::imiss();
  // A value at a position of Y; RMISS where the position is unknown.
  auto at = [&](int32_t pos) {
    return pos == miss || pos < 1 || pos > *e.NY || !structure_ok(e, st) ? rm : e.Y[pos - 1];
  };
  const bool failed = st.dimen_failed;
  auto pos_or_miss = [&](int32_t pos) { return failed ? miss : pos; };
  auto line = [&](const std::string& label, double value) {
    hs::write(unit, rec::Record().x(4).a(label, 32).x(1).e1p(value, 13, 6).view());
  };
  auto converted = [&](const char* prefix, const char* suffix, double value, int32_t type) {
    int32_t label[2] = {0x20202020, 0x20202020};
    double out = value;
    const int32_t c7 = 7, c6 = 6, two = 2, eight = 8;
    ZREP_RCONV1(&type, &value, &out, label, &c7, &c6);
    char unit_text[8];
    IU_I42STR(label, &two, unit_text, &eight);
    for (char& ch : unit_text) {
      if (ch == '\0') ch = ' ';
    }
    line(std::string(prefix) + std::string(unit_text, 8) + suffix, out);
  };
  const int32_t tout = st.iphase == 0 ? std::abs(st.lay_o[0]) : st.pos[TOUT];
  double vfrac = 1.0;  // the vapour-only formulation has one phase
  if (st.iphase == 0) {
    const int32_t bpos = pos_or_miss(std::abs(st.lay_o[1]));
    vfrac = at(bpos);
    if (vfrac != rm) vfrac = std::clamp(vfrac, 0.0, 1.0);
  }
  hs::write(unit, rec::Record().x(22).text("***       R3TREX RESULTS      ***").view());
  line("ISENTROPIC EFFICIENCY           ", at(pos_or_miss(st.pos[SEFF])));
  line("MECHANICAL EFFICIENCY           ", at(pos_or_miss(st.pos[MEFF])));
  converted("INDICATED HORSEPOWER(", ")  ", at(pos_or_miss(st.pos[IHP])), kTypePower);
  converted("BRAKE HORSEPOWER(", ")      ", at(pos_or_miss(st.pos[BHP])), kTypePower);
  converted("OUTLET TEMPERATURE(", ")    ", at(st.iphase == 0 ? pos_or_miss(tout) : tout), kTypeTemperature);
  converted("OUTLET PRESSURE(", ")       ", at(st.s.map.out_pres), kTypePressure);
  line("OUTLET VAPOR FRACTION           ", vfrac);
}

}  // namespace r3::turbo_expander
