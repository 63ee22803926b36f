// R3STRB entry: set-up (steam-table controls, parameters, layout),
// dimensions, names, pattern, residuals, Jacobian, stream update and report.
//
// Equations, in order (rows absent for the other types are skipped):
//   water balance       F_o + L - sum F_i
//   total flow          F_o - G_o
//   energy balance      L h_1 + F_o h_o + P_t - sum F_i h_i
//   enerbal_1/_2        stage-1 exhaust and mixing (admission)
//   work balance        W_in - P_t - W_out (with work streams)
//   presbal(_1), presbal_2
//   work_vs_fl(_1/_2)   power / eta - isentropic work of the stage
//   eff_calc / eff1_calc, area_calc, wloss_spec (condensing), eff2_calc,
//   work_calc, adm_frac (admission)
#include "models/steam_turbine/steam_turbine.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <string_view>

#include "framework/dispatch.h"
#include "framework/equation_writer.h"
#include "framework/host_services.h"
#include "framework/records.h"

namespace r3::steam_turbine {

State& state() { return thread_state<State>(); }

namespace {

// The block's routine handed to the efficiency service; it has nothing to do.
void effcb() {}

double Yc(const Entry& e, int32_t pos) {
  return e.Y[pos - 1];
}

// Steam-table controls, written at every call.
void write_controls(const Entry& e) {
  SSS_SBDIAG[0] = *e.IDIAG;
  SSS_SBDIAG[1] = DMS_GLOBAL[kGlobalSteamDiagnostics];
  const double gas[2] = {700.0, 1e-8};
  std::memcpy(SSS_SBGAS, gas, sizeof gas);
  SSS_SBGAS[kSbgasIterationWord] = 50;
  const double ptol = 1e-4;
  std::memcpy(SSS_PTOLER, &ptol, sizeof ptol);
  for (int i = 0; i < 6; ++i) {
    SSS_SBOPST[i] = e.IPROPSET[i];
    SSS_SBOPST[6 + i] = e.IPROPSET[i];
  }
}

// English-unit conversion of a given real parameter.
double convert(const State& st, double v, double mul, double div, double add) {
  if (st.units != 1 || !(v < hs::rmiss())) return v;
  return v * mul / div + add;
}

void read_parameters(const Entry& e, State& st) {
  U3HDR(e.INT, e.NINT, &st.h1, &st.h2, &st.h3, &st.i0, &st.r0);
  const int32_t p = st.i0, q = st.r0, imiss = hs::imiss();
  st.imode = int_param(e, p);
  st.irunmd = int_param(e, p + 2);
  st.units = int_param(e, p + 3);
  st.npass = p + 4 > *e.NINT ? 1 : int_param(e, p + 4);
  if (st.npass == imiss) st.npass = 1;
  st.iturb = int_param(e, p + 5);
  st.ne = int_param(e, p + 6);
  st.nw = int_param(e, p + 7);
  if (st.ne == imiss) st.ne = 0;
  if (st.nw == imiss) st.nw = 0;
  st.nmax = std::max(st.ne, st.nw);
  st.s = *e.NMATIN;
  st.nout = *e.NMATOUT;
  st.ninfi = *e.NINFI;
  st.ninfout = *e.NINFOUT;
  // Stage 1's code is read even without an inlet, so that the check can
  // name the missing stream rather than the code.
  for (int k = 0; k < kMaxStages; ++k) {
    st.code[k] = k < std::max(st.s, 1) ? int_param(e, p + 8 + k) : 0;
  }

  // Reals, converted from English units when asked.
  const double r60 = 60.0;
  auto temp = [&](double v) { return convert(st, v, 1.0, 1.8, 255.37222); };
  st.t_out = temp(real_param(e, q));
  for (int k = 0; k < kMaxStages; ++k) {
    st.t_in[k] = k < st.s ? temp(real_param(e, q + 1 + k)) : hs::rmiss();
  }
  // Positions after the per-inlet temperatures and the curve tables are
  // computed from counts the check accepts (at most two inlets, at most
  // kMaxCurve points); larger counts, which it refuses, never reach the sums.
  const int32_t s = std::clamp(st.s, 0, kMaxStages + 1);
  const int32_t r = q + s + 1;
  st.relpar[0] = real_param(e, r);
  st.relpar[1] = convert(st, real_param(e, r + 1), 1.0, r60, 0.0);
  st.relpar[2] = convert(st, real_param(e, r + 2), 0.3048, 1.0, 0.0);
  st.relpar[3] = convert(st, real_param(e, r + 3), 745.69987, 1.0, 0.0);
  st.relpar[4] = convert(st, real_param(e, r + 4), 1.0, r60, 0.0);
  st.relpar[5] = real_param(e, r + 5);
  st.relpar[6] = real_param(e, r + 6);
  // Curve tables: at most 100 points are held; the check refuses more.
  const double rm = hs::rmiss();
  const int32_t nclear = std::clamp(st.nmax, 0, kMaxCurve);
  for (int32_t i = 0; i < nclear; ++i) st.effx[i] = st.effy[i] = st.wrx[i] = st.wry[i] = rm;
  const int32_t ne = std::clamp(st.ne, 0, kMaxCurve), nw = std::clamp(st.nw, 0, kMaxCurve);
  const int32_t ce = r + 7;
  const bool eff_power = st.code[0] == 3;
  for (int32_t i = 0; i < ne; ++i) {
    const double x = real_param(e, ce + i);
    st.effx[i] = eff_power ? convert(st, x, 745.69987, 1.0, 0.0) : x;
    st.effy[i] = real_param(e, ce + ne + i);
  }
  const int32_t cw = ce + 2 * ne;
  for (int32_t i = 0; i < nw; ++i) {
    st.wrx[i] = convert(st, real_param(e, cw + i), 745.69987, 1.0, 0.0);
    st.wry[i] = real_param(e, cw + nw + i);
  }
  // Water.
  st.ncf = *e.LSTRM - 9;
  st.w = DMS_NCOMP[kNcompWater];
  st.M = 18.015;
  if (st.w >= 1 && st.w <= DMS_NCOMP[kNcompComponents]) {
    const double m = DMS_PLEX[DMS_IPOFF1[305] + st.w - 1];
    if (m > 0.0 && std::isfinite(m)) st.M = m;
  }
}

// Positions of variables and equations, and the counts.
void lay_out(State& st) {
  Layout& l = st.lay;
  l = Layout{};
  const int32_t s = std::clamp(st.s, 0, kMaxStages);
  const bool t2 = st.iturb == 2, t3 = st.iturb == 3;
  int32_t n = 0;
  for (int k = 0; k < s; ++k) {
    l.Fi[k] = ++n;
    l.Gi[k] = ++n;
    l.hi[k] = ++n;
    l.Pi[k] = ++n;
  }
  l.Fo = n + 1;
  l.Go = n + 2;
  l.ho = n + 3;
  l.Po = n + 4;
  n += 4 * std::max(st.nout, 1);
  if (st.ninfi == 1) l.Win = ++n;
  if (st.ninfout == 1) l.Wout = ++n;
  for (int k = 0; k < s; ++k) l.dP[k] = ++n;
  for (int k = 0; k < s; ++k) l.eta[k] = ++n;
  l.L = ++n;
  l.Pt = ++n;
  if (has_spec(st.code[0])) l.spec1 = ++n;
  if (t2) {
    l.pu = ++n;
    l.ml = ++n;
    l.el = ++n;
    l.A = ++n;
  }
  if (t3) {
    if (has_spec(st.code[1])) l.spec2 = ++n;
    l.S1 = ++n;
    l.S2 = ++n;
    l.hx = ++n;
    l.hm = ++n;
    l.a = ++n;
  }
  l.ny = n;
  int32_t m = 0, z = 0;
  l.e_mbal = ++m;
  z += s + 2;
  l.e_tot = ++m;
  z += 2;
  l.e_ener = ++m;
  z += 2 * s + 4;
  if (t3) {
    l.e_ener1 = ++m;
    l.e_ener2 = ++m;
    z += 12;
  }
  if (st.ninfi + st.ninfout >= 1) {
    l.e_work = ++m;
    z += (st.ninfi == 1 ? 1 : 0) + (st.ninfout == 1 ? 1 : 0) + 1;
  }
  l.e_pres1 = ++m;
  z += 3;
  if (t3) {
    l.e_pres2 = ++m;
    z += 3;
  }
  l.e_wvf1 = ++m;
  z += t3 ? 7 : (t2 ? 5 : 6);
  if (t3) {
    l.e_wvf2 = ++m;
    z += 6;
  }
  l.e_eff1 = ++m;
  z += 5 + (l.spec1 ? 1 : 0);
  if (t2) {
    l.e_area = ++m;
    l.e_wloss = ++m;
    z += 11;
  }
  if (t3) {
    l.e_eff2 = ++m;
    l.e_wcalc = ++m;
    l.e_adm = ++m;
    z += 5 + (l.spec2 ? 1 : 0) + 6;
  }
  l.nf = m;
  l.nz = z;
}

// --- Names -----------------------------------------------------------------

void write_rows(Entry& e, const State& st, RowPass pass);

void names(Entry& e, State& st) {
  const Layout& l = st.lay;
  const int32_t lname = *e.LNAME;
  const bool t3 = st.iturb == 3;
  auto svid = [&](const int32_t* sid, int32_t code, int32_t pos) {
    U3SVID(e.IDBLK, sid, &code, e.LNAME, name_slot(e.VARNAM, lname, pos));
  };
  auto mat = [&](const int32_t* sid, int32_t first) {
    svid(sid, st.w, first);
    svid(sid, -1, first + 1);
    svid(sid, -2, first + 2);
    svid(sid, -3, first + 3);
  };
  for (int k = 0; k < st.s; ++k) mat(e.IDMATIN + 2 * k, l.Fi[k]);
  for (int j = 0; j < st.nout; ++j) mat(e.IDMATOUT + 2 * j, l.Fo + 4 * j);
  if (l.Win) svid(e.IDINFIN, -5, l.Win);
  if (l.Wout) svid(e.IDINFOUT, -5, l.Wout);
  auto vn = [&](const std::string& t, int32_t pos) {
    if (!pos) return;
    const int32_t len = static_cast<int32_t>(t.size());
    U3VNAM(e.IDBLK, t.data(), &len, e.LNAME, name_slot(e.VARNAM, lname, pos));
  };
  auto stage = [&](const char* base, int k) {
    return t3 ? std::string(base) + "_" + std::to_string(k + 1) : std::string(base);
  };
  for (int k = 0; k < st.s; ++k) vn(stage("pres_drop", k), l.dP[k]);
  for (int k = 0; k < st.s; ++k) vn(stage("efficiency", k), l.eta[k]);
  vn("loss_flow", l.L);
  vn("total_power", l.Pt);
  auto spec_name = [&](int k) {
    return stage(st.code[k] == 1 ? "eff_spec" : "wr_spec", t3 ? k : 0);
  };
  if (l.spec1) vn(t3 ? spec_name(0) : (st.code[0] == 1 ? "eff_spec" : "wr_spec"), l.spec1);
  vn("power_unitfl", l.pu);
  vn("moist_loss", l.ml);
  vn("exhaust_loss", l.el);
  vn("area_parm", l.A);
  if (l.spec2) vn(spec_name(1), l.spec2);
  vn("stage1_power", l.S1);
  vn("stage2_power", l.S2);
  vn("out_enth_int", l.hx);
  vn("in_enth_int", l.hm);
  vn("admi_frac", l.a);

  // The equations' names are the rows' (with the block identifier in the
  // host's naming area).
  setup_block_id(e);
  write_rows(e, st, RowPass::Names);
}

// --- Stage quantities --------------------------------------------------------

// Per-stage view: the variables of its work and efficiency rows.
struct StageVars {
  int32_t power = 0;  // stage power (P_t, or S_1/S_2)
  int32_t hin = 0, pin = 0, pout = 0, eta = 0, setting = 0;
  int code = 0;
  int stage = 1;
};

StageVars stage_vars(const State& st, int k) {
  const Layout& l = st.lay;
  StageVars v;
  v.stage = k + 1;
  v.code = st.code[k];
  v.eta = l.eta[k];
  if (st.iturb == 3) {
    v.power = k == 0 ? l.S1 : l.S2;
    v.hin = k == 0 ? l.hi[0] : l.hm;
    v.pin = l.Pi[k];
    v.pout = k == 0 ? l.Pi[1] : l.Po;
    v.setting = k == 0 ? l.spec1 : l.spec2;
  } else {
    v.power = l.Pt;
    v.hin = l.hi[0];
    v.pin = l.Pi[0];
    v.pout = l.Po;
    v.setting = l.spec1;
  }
  return v;
}

// The isentropic work of a flow g from (pa, h) to pb, with derivatives.
struct Ws {
  double W = 0, dPa = 0, dPb = 0, dh = 0, dG = 0;
  bool ok = false;
};
Ws isentropic(double pa, double pb, double h, double g, int32_t mode) {
  double r[10];
  const double one = 1.0;
  SSS_TWORK(&mode, &pa, &pb, &h, &g, &one, r);
  Ws w;
  w.ok = r[9] == 0.0;
  w.W = r[0];
  w.dPa = r[1];
  w.dPb = r[2];
  w.dh = r[3];
  w.dG = r[4];
  return w;
}

// Specific volume of the stage-1 inlet steam at (P_1, h_1), m3/kg.
double inlet_volume(double p, double h) {
  double T = 0, x = 0, v = 0;
  const int32_t one = 1;
  SSS_PHTX(&p, &h, &T, &x);
  SSS_VOLW(&T, &p, &x, &one, &v);
  return v;
}

// Signed square root and the derivative of sqrt(|x|), kept finite at 0.
double ssqrt(double x) {
  return std::copysign(std::sqrt(std::fabs(x)), x);
}
double dsqrt(double x) {
  return 0.5 / std::sqrt(std::max(std::fabs(x), 1e-30));
}

// A divisor kept away from zero.
double safe_div(double x) {
  return std::fabs(x) < 1e-30 ? std::copysign(1e-30, x) : x;
}

void eval_failed(Entry& e) {
  *e.IEVAL1 = 1;
}

// --- Residuals ------------------------------------------------------------------

// Isentropic-work row of stage k: power / eta - W_s, with the arguments of
// that stage.
struct WorkRow {
  double pa, pb, h, g;
};
WorkRow work_row(const Entry& e, const State& st, int k) {
  const Layout& l = st.lay;
  if (st.iturb == 1) return {Yc(e, l.Pi[0]), Yc(e, l.Po), Yc(e, l.hi[0]), Yc(e, l.Fo)};
  if (st.iturb == 2) return {Yc(e, l.Pi[0]), Yc(e, l.Po), Yc(e, l.hi[0]), 1.0};
  if (k == 0) {
    return {Yc(e, l.Pi[0]), Yc(e, l.Pi[1]), Yc(e, l.hi[0]), Yc(e, l.Fi[0]) - Yc(e, l.L)};
  }
  return {Yc(e, l.Pi[1]), Yc(e, l.Po), Yc(e, l.hm), Yc(e, l.Fo)};
}
int32_t work_power(const State& st, int k) {
  const Layout& l = st.lay;
  if (st.iturb == 2) return l.pu;
  if (st.iturb == 1) return l.Pt;
  return k == 0 ? l.S1 : l.S2;
}

double eff_at(const Entry& e, const State& st, const StageVars& v, double power, double h,
              double pin, double pout) {
  const double setting = v.setting ? Yc(e, v.setting) : 0.0;
  return stage_efficiency(st, v.stage, power, h, pin, pout, setting);
}

// --- Jacobian ---------------------------------------------------------------------

// Forward-difference derivatives of a stage's modelled efficiency by its
// power, inlet enthalpy, inlet pressure and outlet pressure (0 for a fixed
// efficiency), and by its specification.
struct EffDerivs {
  double dpow = 0, dh = 0, dpin = 0, dpout = 0, dspec = 0;
};
EffDerivs eff_derivatives(Entry& e, const State& st, const StageVars& v) {
  EffDerivs d;
  if (v.code == 1) {
    d.dspec = 1.0;
    return d;
  }
  const double pw = Yc(e, v.power), h = Yc(e, v.hin), pin = Yc(e, v.pin), pout = Yc(e, v.pout);
  const double e0 = eff_at(e, st, v, pw, h, pin, pout);
  const double spw = 0.001 * std::max(std::fabs(pw), 1e6);
  const double sh = 0.001 * std::max(std::fabs(h), 1e6);
  const double spin = 0.001 * std::max(pin, 1000.0);
  const double spout = 0.001 * std::max(pout, 1000.0);
  const double e1 = eff_at(e, st, v, pw + spw, h, pin, pout);
  const double e2 = eff_at(e, st, v, pw, h + sh, pin, pout);
  const double e3 = eff_at(e, st, v, pw, h, pin + spin, pout);
  const double e4 = eff_at(e, st, v, pw, h, pin, pout + spout);
  if (hs::is_missing(e0) || hs::is_missing(e1) || hs::is_missing(e2) || hs::is_missing(e3) ||
      hs::is_missing(e4)) {
    eval_failed(e);
    return d;
  }
  d.dpow = (e1 - e0) / spw;
  d.dh = (e2 - e0) / sh;
  d.dpin = (e3 - e0) / spin;
  d.dpout = (e4 - e0) / spout;
  if (v.setting) {
    // Water-rate specification: a small relative step (the efficiency goes
    // as its inverse).
    const double sp = Yc(e, v.setting);
    const double ss = 1e-6 * std::max(std::fabs(sp), 1e-12);
    const double s0 = stage_efficiency(st, v.stage, pw, h, pin, pout, sp + ss);
    if (hs::is_missing(s0)) {
      eval_failed(e);
    } else {
      d.dspec = (s0 - e0) / ss;
    }
  }
  return d;
}

// --- Rows ---------------------------------------------------------------------------

// The host services a pass needs, called once each at the start of the pass in
// a fixed order (the isentropic work of each stage and, for the residuals,
// its modelled efficiency; the efficiencies' derivatives; the inlet steam's
// volume), a failure flagged for the host.
struct Services {
  Ws ws[2];
  double ee[2] = {0.0, 0.0};  // modelled efficiency of each stage (residuals)
  EffDerivs d[2];             // its derivatives (Jacobian)
  double v = 0, dvdh = 0, dvdp = 0;
};

Services call_services(Entry& e, const State& st, RowPass pass) {
  const Layout& l = st.lay;
  Services sv;
  // The passes that write no values call nothing and read nothing from Y.
  if (pass != RowPass::Residuals && pass != RowPass::Jacobian) return sv;
  const int nst = st.iturb == 3 ? 2 : 1;
  const double P1 = Yc(e, l.Pi[0]), h1 = Yc(e, l.hi[0]);
  if (pass == RowPass::Residuals) {
    for (int k = 0; k < nst; ++k) {
      const WorkRow w = work_row(e, st, k);
      sv.ws[k] = isentropic(w.pa, w.pb, w.h, w.g, 1);
      if (!sv.ws[k].ok) eval_failed(e);
      if (std::fabs(Yc(e, l.eta[k])) < 1e-30) eval_failed(e);
      const StageVars v = stage_vars(st, k);
      sv.ee[k] = eff_at(e, st, v, Yc(e, v.power), Yc(e, v.hin), Yc(e, v.pin), Yc(e, v.pout));
      if (hs::is_missing(sv.ee[k])) eval_failed(e);
    }
    if (l.e_area) {
      sv.v = inlet_volume(P1, h1);
      if (hs::is_missing(sv.v)) eval_failed(e);
    }
  } else if (pass == RowPass::Jacobian) {
    for (int q = 0; q < nst; ++q) {
      const WorkRow w = work_row(e, st, q);
      sv.ws[q] = isentropic(w.pa, w.pb, w.h, w.g, 3);
      if (!sv.ws[q].ok) eval_failed(e);
    }
    sv.d[0] = eff_derivatives(e, st, stage_vars(st, 0));
    if (l.e_area) {
      sv.v = inlet_volume(P1, h1);
      SSS_DVDH(&P1, &h1, &sv.dvdh);
      SSS_DVDP(&P1, &h1, &sv.dvdp);
      if (hs::is_missing(sv.v) || hs::is_missing(sv.dvdh) || hs::is_missing(sv.dvdp)) {
        eval_failed(e);
      }
    }
    if (l.e_eff2) sv.d[1] = eff_derivatives(e, st, stage_vars(st, 1));
  }
  return sv;
}

// The turbine's rows in their order, each with its name, scale, residual and
// entries. The balances of water, total flow, energy and work are named by
// the host after the outlet stream.
void turbine_rows(EquationWriter& w, Entry& e, const State& st) {
  const Layout& l = st.lay;
  const int32_t* out = e.IDMATOUT;
  const bool t3 = st.iturb == 3;
  const Services sv = call_services(e, st, w.pass());
  auto y = [&](int32_t pos) { return w.y(pos); };
  const int s = st.s;
  const double Fo = y(l.Fo), L = y(l.L), Pt = y(l.Pt), h1 = y(l.hi[0]), F1 = y(l.Fi[0]);
  double sumF = 0.0, sumFh = 0.0;
  for (int i = 0; i < s; ++i) {
    sumF += y(l.Fi[i]);
    sumFh += y(l.Fi[i]) * y(l.hi[i]);
  }
  // Water balance, total flow, energy balance.
  w.stream_row(out, st.w, st.Fs, Fo + L - sumF);
  for (int i = 0; i < s; ++i) w.at(l.Fi[i], -1.0);
  w.at(l.Fo, 1.0);
  w.at(l.L, 1.0);
  w.stream_row(out, -1, st.Fs, Fo - y(l.Go));
  w.at(l.Fo, 1.0);
  w.at(l.Go, -1.0);
  w.stream_row(out, -2, st.PWs, L * h1 + Fo * y(l.ho) + Pt - sumFh);
  for (int i = 0; i < s; ++i) {
    w.at(l.Fi[i], -y(l.hi[i]));
    w.at(l.hi[i], -y(l.Fi[i]) + (i == 0 ? L : 0.0));
  }
  w.at(l.Fo, y(l.ho));
  w.at(l.ho, Fo);
  w.at(l.L, h1);
  w.at(l.Pt, 1.0);
  if (l.e_ener1) {
    const double hx = y(l.hx), hm = y(l.hm);
    w.row("enerbal_1", st.PWs, (hx - h1) * (F1 - L) + y(l.S1));
    w.at(l.Fi[0], hx - h1);
    w.at(l.hi[0], -(F1 - L));
    w.at(l.L, -(hx - h1));
    w.at(l.S1, 1.0);
    w.at(l.hx, F1 - L);
    w.row("enerbal_2", st.PWs, y(l.Fi[1]) * y(l.hi[1]) - Fo * hm + (F1 - L) * hx);
    w.at(l.Fi[0], hx);
    w.at(l.Fi[1], y(l.hi[1]));
    w.at(l.hi[1], y(l.Fi[1]));
    w.at(l.Fo, -hm);
    w.at(l.L, -hx);
    w.at(l.hx, F1 - L);
    w.at(l.hm, -Fo);
  }
  if (l.e_work) {
    w.stream_row(out, -3, st.PWs, (l.Win ? y(l.Win) : 0.0) - Pt - (l.Wout ? y(l.Wout) : 0.0));
    if (l.Win) w.at(l.Win, 1.0);
    if (l.Wout) w.at(l.Wout, -1.0);
    w.at(l.Pt, -1.0);
  }
  // Pressure drops.
  w.row(t3 ? "presbal_1" : "presbal", st.Ps, y(l.Pi[0]) - y(l.Po) - y(l.dP[0]));
  w.at(l.Pi[0], 1.0);
  w.at(l.Po, -1.0);
  w.at(l.dP[0], -1.0);
  if (l.e_pres2) {
    w.row("presbal_2", st.Ps, y(l.Pi[1]) - y(l.dP[1]) - y(l.Po));
    w.at(l.Pi[1], 1.0);
    w.at(l.Po, -1.0);
    w.at(l.dP[1], -1.0);
  }
  // Isentropic work of each stage: power / eta - W_s.
  double eta[2], dpw[2], deta[2];
  for (int k = 0; k < 2; ++k) {
    const double pw = l.eta[k] ? y(work_power(st, k)) : 0.0;
    eta[k] = l.eta[k] ? y(l.eta[k]) : 1.0;
    deta[k] = 1.0 / safe_div(eta[k]);
    dpw[k] = -pw / (safe_div(eta[k]) * safe_div(eta[k]));
  }
  auto work_residual = [&](int k) {
    return y(work_power(st, k)) / safe_div(eta[k]) - sv.ws[k].W;
  };
  const Ws& w0 = sv.ws[0];
  w.row(t3 ? "work_vs_fl_1" : "work_vs_fl", st.PWs, work_residual(0));
  if (st.iturb == 1) {
    w.at(l.hi[0], -w0.dh);
    w.at(l.Pi[0], -w0.dPa);
    w.at(l.Fo, -w0.dG);
    w.at(l.Po, -w0.dPb);
    w.at(l.eta[0], dpw[0]);
    w.at(l.Pt, deta[0]);
  } else if (st.iturb == 2) {
    w.at(l.hi[0], -w0.dh);
    w.at(l.Pi[0], -w0.dPa);
    w.at(l.Po, -w0.dPb);
    w.at(l.eta[0], dpw[0]);
    w.at(l.pu, deta[0]);
  } else {
    const Ws& w1 = sv.ws[1];
    w.at(l.Fi[0], -w0.dG);
    w.at(l.hi[0], -w0.dh);
    w.at(l.Pi[0], -w0.dPa);
    w.at(l.Pi[1], -w0.dPb);
    w.at(l.eta[0], dpw[0]);
    w.at(l.L, w0.dG);
    w.at(l.S1, deta[0]);
    w.row("work_vs_fl_2", st.PWs, work_residual(1));
    w.at(l.Pi[1], -w1.dPa);
    w.at(l.Fo, -w1.dG);
    w.at(l.Po, -w1.dPb);
    w.at(l.eta[1], dpw[1]);
    w.at(l.S2, deta[1]);
    w.at(l.hm, -w1.dh);
  }
  // Stage 1's efficiency: modelled minus held.
  const StageVars s1 = stage_vars(st, 0);
  const EffDerivs& d1 = sv.d[0];
  w.row(t3 ? "eff1_calc" : "eff_calc", 1.0, sv.ee[0] - eta[0]);
  w.at(s1.hin, d1.dh);
  w.at(s1.pin, d1.dpin);
  w.at(s1.pout, d1.dpout);
  w.at(s1.eta, -1.0);
  w.at(s1.power, d1.dpow);
  if (s1.setting) w.at(s1.setting, d1.dspec);
  if (l.e_area) {
    // Flow area of a condensing turbine, and its work loss.
    const double P1 = y(l.Pi[0]), Po = y(l.Po), dP = y(l.dP[0]), A = y(l.A);
    const double x = sv.v * st.M * P1, z = (P1 + Po) * dP;
    const double gx = dsqrt(x), gz = dsqrt(z);
    w.row("area_calc", st.Ps, Fo * ssqrt(x) - A * ssqrt(z));
    w.at(l.hi[0], Fo * gx * st.M * P1 * sv.dvdh);
    w.at(l.Pi[0], Fo * gx * st.M * (sv.v + P1 * sv.dvdp) - A * gz * dP);
    w.at(l.Fo, ssqrt(x));
    w.at(l.Po, -A * gz * dP);
    w.at(l.dP[0], -A * gz * (P1 + Po));
    w.at(l.A, -ssqrt(z));
    const double net = y(l.pu) - y(l.ml) - y(l.el);
    w.row("wloss_spec", st.PWs, Pt - net * Fo);
    w.at(l.Fo, -net);
    w.at(l.Pt, 1.0);
    w.at(l.pu, -Fo);
    w.at(l.ml, Fo);
    w.at(l.el, Fo);
  }
  if (l.e_eff2) {
    // Stage 2's efficiency, the power split and the admission fraction.
    const StageVars s2 = stage_vars(st, 1);
    const EffDerivs& d2 = sv.d[1];
    w.row("eff2_calc", 1.0, sv.ee[1] - eta[1]);
    w.at(s2.pin, d2.dpin);
    w.at(s2.pout, d2.dpout);
    w.at(s2.eta, -1.0);
    w.at(s2.power, d2.dpow);
    w.at(s2.hin, d2.dh);
    if (s2.setting) w.at(s2.setting, d2.dspec);
    w.row("work_calc", st.PWs, Pt - y(l.S1) - y(l.S2));
    w.at(l.Pt, 1.0);
    w.at(l.S1, -1.0);
    w.at(l.S2, -1.0);
    w.row("adm_frac", st.Fs, y(l.Fi[1]) - y(l.a) * F1);
    w.at(l.Fi[0], -y(l.a));
    w.at(l.Fi[1], 1.0);
    w.at(l.a, -F1);
  }
}

// The rows in one pass. An equation scale is replaced where it is missing by
// the turbine's test.
void write_rows(Entry& e, const State& st, RowPass pass) {
  EquationWriter w(e, pass);
  w.scale_missing = missing;
  turbine_rows(w, e, st);
}

// --- Stream update and report ------------------------------------------------------

void stream_update(Entry& e, State& st) {
  const Layout& l = st.lay;
  const double rm = hs::rmiss();
  double* v = e.SMATOUT;
  const int32_t ncf = st.ncf;
  for (int32_t i = 0; i < ncf; ++i) v[i] = 0.0;
  v[st.w - 1] = Yc(e, l.Fo);
  v[ncf] = Yc(e, l.Go);
  v[ncf + 2] = Yc(e, l.Po);
  v[ncf + 3] = Yc(e, l.ho) / st.M;
  // The flash works from pressure and enthalpy: no temperature is held.
  v[ncf + 1] = rm;
  if (v[ncf] != 0.0) {
    const int32_t c1 = 1, c2 = 2, c3 = 2, c4 = 50;
    const double tol = 1e-6, zero = 0.0, p = Yc(e, l.Po);
    int32_t opt0 = 0, opt1 = 1, w18 = 0, w19 = 0, ret = 0;
    DMS_PPENT();
    FLSH_FLASH(v, e.NSSTRM, e.ISSOFF, e.ISSTYP, e.IPROPSET, &c1, &c2, &c3, &c4, &tol, &p, &zero,
               &rm, &SSS_SBDIAG[0], &SSS_SBDIAG[1], &opt0, &opt1, &w18, &w19, &ret);
    DMS_PPEXT();
  }
  if (st.ninfout >= 1) e.SINFOUT[0] = Yc(e, l.Wout);
}

void report(const Entry& e, const State& st) {
  const int32_t unit = DMS_FLES[kFlesReportUnit];
  const int32_t lname = *e.LNAME;
  hs::write(unit, "*** results ***");
  for (int32_t k = 1; k <= st.lay.ny; ++k) {
    const char* slot = name_slot(e.VARNAM, lname, k);
    size_t n = 4 * static_cast<size_t>(lname);
    while (n > 0 && (slot[n - 1] == ' ' || slot[n - 1] == '\0')) --n;
    std::string name(slot, n);
    if (name.size() < 24) name.resize(24, ' ');
    hs::write(unit, rec::Record().i(k, 4).x(2).a(name).x(2).e1p(Yc(e, k), 16, 8).view());
  }
}

// --- Dispatch ------------------------------------------------------------------------

bool set_up(Entry& e, State& st) {
  write_controls(e);
  read_parameters(e, st);
  return true;
}

void dimensions(Entry& e, State& st) {
  lay_out(st);
  *e.NAUX1 = *e.NAUX2 = *e.NAUX3 = 0;
  *e.NY = st.lay.ny;
  *e.NF = st.lay.nf;
  *e.NZ = st.lay.nz;
}

// A block that does not pass the check is refused without a word: the
// dimension request has said why.
bool serves(Entry& e, State& st) {
  if (i3tchk(e, st, true) != 0) return false;
  lay_out(st);
  return true;
}

void initialise(Entry& e, State& st) {
  setup_scales(st);
  st.PWs = st.Fs * st.Hs;
  R3STRB_INI(e, st);
  write_rows(e, st, RowPass::Scales);
  write_rows(e, st, RowPass::Pattern);
  hand_over_names(e, st.lay.ny, st.lay.nf);
}

void residuals(Entry& e, State& st) {
  write_rows(e, st, RowPass::Residuals);
}

void jacobian(Entry& e, State& st) {
  write_rows(e, st, RowPass::Jacobian);
}

constexpr auto kHooks = named_hooks<set_up, dimensions, names, initialise, residuals, jacobian>({
    .check = [](Entry& e, State& st) { return i3tchk(e, st, false); },
    .check_request =
        [](Entry& e, State& st) {
          *e.NAUX1 = *e.NAUX2 = *e.NAUX3 = 0;
          *e.ISTAT = i3tchk(e, st, false);
        },
    .serves = serves,
    .stream_update = stream_update,
    .report = reads<report>,
    .sizes = SizeRule::Exactly,
});

}  // namespace

double stage_efficiency(const State& st, int stage, double power, double hin, double pin,
                        double pout, double setting) {
  // The relative-efficiency curve (block code 5) is the service's code 6.
  int32_t code = st.code[std::clamp(stage, 1, kMaxStages) - 1];
  if (code == 5) code = 6;
  const int32_t ne = std::clamp(st.ne, 0, kMaxCurve), nw = std::clamp(st.nw, 0, kMaxCurve);
  double eta = hs::rmiss();
  SSS_EFFTRB(&code, &setting, &power, &hin, &pin, &pout, st.effx, st.effy, &ne, st.wrx, st.wry, &nw,
             st.relpar, effcb, &eta);
  return eta;
}

}  // namespace r3::steam_turbine

R3_DEFINE_MODEL_ENTRY(R3STRB, r3::steam_turbine::state, r3::steam_turbine::kHooks)
