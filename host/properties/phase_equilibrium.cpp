// The phase-equilibrium (two-phase flash) equation set: a flash written as
// equations between the caller's component flows, pressure and molar
// enthalpy and the set's own variables.
//
// Variables of one set, numbered from its anchor z0 (the set starts at
// z0 + 1; n components; i = 1..n):
//
//   z0+1        beta    vapour fraction (extended outside [0, 1], below)
//   z0+2        T       temperature
//   z0+3        Q       duty, F (Hmix - h) with h the caller's enthalpy
//   z0+4        F       total flow, sum of the caller's component flows
//   z0+4+i      z_i     overall mole fractions
//   z0+n+5..8   V, H_V, S_V, MW_V   vapour flow, molar enthalpy, entropy, MW
//   z0+n+8+i    y_i     vapour mole fractions
//   z0+2n+9..13 L, H_L, S_L, MW_L, Hmix   liquid flow, enthalpy, entropy, MW;
//                       mixture molar enthalpy
//   z0+2n+13+i  lnK_i   ln of the equilibrium ratios
//   z0+3n+13+i  x_i     liquid mole fractions
//
// Layout (nine values): 1 T, 2 beta, 3 Q, 4 F, 5 V, 6 L, 7 the first lnK
// (positions), 8 the number of the set's equations, 9 z0.
//
// Equations, in this order (bc = beta clamped to [0, 1]):
//   TOTAL      F - sum f
//   ZDEF_i     z_i F - f_i
//   VDEF       V - bc F
//   HVDEF, SVDEF, MWVDEF   H_V - h_V(T, P, y) and the like
//   BAL_i      z_i - bc y_i - (1 - bc) x_i
//   LDEF       L - (1 - bc) F
//   HLDEF, SLDEF, MWLDEF   H_L - h_L(T, P, x) and the like
//   HMIXDEF    Hmix - bc H_V - (1 - bc) H_L
//   KDEF_i     lnK_i - ln phiL_i(T, P, x) + ln phiV_i(T, P, y)
//   EQUIL_i    y_i - exp(lnK_i) x_i
//   RR         sum y - sum x - (beta - bc) - 1e-10 (beta - beta_label)
//   DUTYDEF    Q - F (Hmix - h)
//   closed form only (option not 0): TLINK  T - T_ext;  ADIAB  Q
//
// Inside the two-phase region bc = beta and RR is the Rachford-Rice sum
// condition. Outside it the present phase takes the whole feed and the other
// phase's composition is the incipient (trial) phase in equilibrium with it,
// unnormalised; RR then makes beta - 1 = 1 - sum x (vapour, beta > 1) or
// beta = sum y - 1 (liquid, beta < 0), which is positive or negative exactly
// when the fluid is superheated or subcooled. So the equations hold, with
// the true single-phase temperature and enthalpy, on both sides of the phase
// boundaries, and beta tells how far from the boundary the state lies.
// Where the phases coincide (one equation-of-state root) beta would be free
// inside [0, 1]; the small last term of RR fixes it at the single phase's
// label and is negligible everywhere else.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <span>
#include <string>

#include "framework/host_services.h"
#include "host/services/context.h"
#include "host/thermo/thermo.h"

namespace {

using r3::host::kMaxComponents;
using r3::host::kRmiss;
using r3::thermo::Phase;
using r3::thermo::Status;

constexpr int kMax = kMaxComponents;

bool usable(double v) {
  return v != kRmiss && std::isfinite(v) && std::fabs(v) < 1e30;
}

// Weight of the term that fixes beta where the two phases coincide.
constexpr double kPin = 1e-10;

int nvar_of(int n) {
  return 4 * n + 13;
}
int neq_of(int n, bool closed) {
  return 4 * n + 12 + (closed ? 2 : 0);
}
int nnz_of(int n, bool closed) {
  return 2 * n * n + 22 * n + 30 + (closed ? 3 : 0);
}

// Positions (1-based in Y) of a set's variables.
struct Pos {
  int n = 0;
  int z0 = 0;
  bool closed = false;
  int beta() const { return z0 + 1; }
  int T() const { return z0 + 2; }
  int Q() const { return z0 + 3; }
  int F() const { return z0 + 4; }
  int z(int i) const { return z0 + 5 + i; }  // i from 0
  int V() const { return z0 + n + 5; }
  int HV() const { return z0 + n + 6; }
  int SV() const { return z0 + n + 7; }
  int MWV() const { return z0 + n + 8; }
  int y(int i) const { return z0 + n + 9 + i; }
  int L() const { return z0 + 2 * n + 9; }
  int HL() const { return z0 + 2 * n + 10; }
  int SL() const { return z0 + 2 * n + 11; }
  int MWL() const { return z0 + 2 * n + 12; }
  int Hmix() const { return z0 + 2 * n + 13; }
  int lnK(int i) const { return z0 + 2 * n + 14 + i; }
  int x(int i) const { return z0 + 3 * n + 14 + i; }
};

// The positions from a layout (anchor in value 9, form in value 8); the
// start position serves when the layout holds no anchor.
bool positions(const int32_t* ncomp, const int32_t* layout, const int32_t* istart, Pos& p) {
  const int n = *ncomp;
  if (n < 1 || n > kMax || layout == nullptr) return false;
  p.n = n;
  p.z0 = std::abs(layout[8]);
  if (p.z0 == 0 && istart != nullptr && *istart > 0) p.z0 = *istart - 1;
  p.closed = std::abs(layout[7]) == neq_of(n, true);
  return true;
}

int col(int32_t position) {
  return std::abs(position);
}
double at(const double* Y, int32_t position) {
  return Y[col(position) - 1];
}

// Values and derivatives of one evaluation of the set (static: the services
// are called from one thread at a time and allocate nothing).
struct Eval {
  int n = 0;
  double f[kMax], z[kMax], y[kMax], x[kMax], lnK[kMax];
  double Fsum = 0, F = 0, P = 0, sgnP = 1, T = 0, sgnT = 1, beta = 0, bc = 0, dbc = 0, Q = 0;
  double V = 0, HV = 0, SV = 0, MWV = 0, L = 0, HL = 0, SL = 0, MWL = 0, Hmix = 0, h = 0;
  double Text = 0;
  double beta_ref = 0;  // 1 for a vapour-like fluid, 0 for a liquid-like one
  // Properties of the phases with their gradients.
  struct Prop {
    double v = 0, dT = 0, dP = 0;
    double dx[kMax];
    bool ok = false;
  } hv, sv, mwv, hl, sl, mwl;
  double lpl[kMax], lpv[kMax], lpl_dT[kMax], lpv_dT[kMax], lpl_dP[kMax], lpv_dP[kMax];
  double lpl_dx[kMax * kMax], lpv_dx[kMax * kMax];
  bool phi_ok = false;
};
Eval g_e;

// Reads the set's state from Y.
void read_state(const Pos& p, const int32_t* ipflow, const int32_t* iph, const int32_t* ipp,
                const int32_t* ipt, const double* Y, Eval& e) {
  const int n = p.n;
  e.n = n;
  e.Fsum = 0;
  for (int i = 0; i < n; ++i) {
    e.f[i] = at(Y, ipflow[i]);
    e.Fsum += e.f[i];
    e.z[i] = Y[p.z(i) - 1];
    e.y[i] = Y[p.y(i) - 1];
    e.x[i] = Y[p.x(i) - 1];
    e.lnK[i] = Y[p.lnK(i) - 1];
  }
  const double praw = at(Y, *ipp);
  e.P = std::fabs(praw);
  e.sgnP = praw < 0 ? -1.0 : 1.0;
  const double traw = Y[p.T() - 1];
  e.T = std::fabs(traw);
  e.sgnT = traw < 0 ? -1.0 : 1.0;
  e.beta = Y[p.beta() - 1];
  e.bc = std::clamp(e.beta, 0.0, 1.0);
  e.dbc = (e.beta >= 0.0 && e.beta <= 1.0) ? 1.0 : 0.0;
  e.Q = Y[p.Q() - 1];
  e.F = Y[p.F() - 1];
  e.V = Y[p.V() - 1];
  e.HV = Y[p.HV() - 1];
  e.SV = Y[p.SV() - 1];
  e.MWV = Y[p.MWV() - 1];
  e.L = Y[p.L() - 1];
  e.HL = Y[p.HL() - 1];
  e.SL = Y[p.SL() - 1];
  e.MWL = Y[p.MWL() - 1];
  e.Hmix = Y[p.Hmix() - 1];
  e.h = at(Y, *iph);
  // The outside temperature is read only by the closed form's TLINK row.
  e.Text = (p.closed && ipt != nullptr && *ipt != 0) ? at(Y, *ipt) : traw;
}

bool finite_all(const double* v, int n) {
  for (int i = 0; i < n; ++i) {
    if (!std::isfinite(v[i])) return false;
  }
  return true;
}

enum class Kind { Enthalpy, Entropy, Mw };

void phase_property(const r3::thermo::Model& m, Kind kind, Phase ph, double T, double P,
                    const double* comp, int n, bool grad, Eval::Prop& out) {
  r3::thermo::Gradient g;
  if (grad) g.dx = std::span<double>(out.dx, static_cast<size_t>(n));
  const std::span<const double> c(comp, static_cast<size_t>(n));
  Status s = Status::Failed;
  switch (kind) {
    case Kind::Enthalpy:
      s = m.enthalpy(ph, T, P, c, out.v, grad ? &g : nullptr);
      break;
    case Kind::Entropy:
      s = m.entropy(ph, T, P, c, out.v, grad ? &g : nullptr);
      break;
    case Kind::Mw:
      s = m.molecular_weight(c, out.v, grad ? &g : nullptr);
      break;
  }
  out.ok = s != Status::Failed && std::isfinite(out.v);
  if (grad) {
    out.dT = g.dT;
    out.dP = g.dP;
    out.ok = out.ok && std::isfinite(out.dT) && std::isfinite(out.dP) && finite_all(out.dx, n);
  }
  if (!out.ok) {
    out.dT = out.dP = 0.0;
    if (grad) std::fill(out.dx, out.dx + n, 0.0);
  }
}

// The label of a fluid of the overall composition as one phase, by the
// pseudo-critical rule the flashes use: vapour-like (1) when its molar volume
// is at least the mole average of the critical volumes, liquid-like (0)
// otherwise.
double vapour_like(const r3::thermo::Model& m, const Eval& e) {
  const int n = e.n;
  double zc = 0.0, vc = 0.0, Z = 0.0;
  for (int i = 0; i < n; ++i) zc += e.z[i];
  if (!(zc > 0.0) || !std::isfinite(zc)) return 0.0;
  for (int i = 0; i < n; ++i) vc += e.z[i] / zc * m.component(i).vc;
  if (m.compressibility(Phase::Vapour, e.T, e.P, {e.z, static_cast<size_t>(n)}, Z) ==
      Status::Failed) {
    return 0.0;
  }
  return Z * r3::thermo::kGasConstant * e.T / e.P >= vc ? 1.0 : 0.0;
}

// Phase properties and fugacity coefficients at the state read.
void evaluate(const r3::thermo::Model* m, bool grad, Eval& e) {
  const int n = e.n;
  Eval::Prop* props[] = {&e.hv, &e.sv, &e.mwv, &e.hl, &e.sl, &e.mwl};
  for (Eval::Prop* pr : props) pr->ok = false;
  e.phi_ok = false;
  if (m == nullptr) {
    for (Eval::Prop* pr : props) {
      pr->dT = pr->dP = 0.0;
      std::fill(pr->dx, pr->dx + n, 0.0);
    }
  } else {
    phase_property(*m, Kind::Enthalpy, Phase::Vapour, e.T, e.P, e.y, n, grad, e.hv);
    phase_property(*m, Kind::Entropy, Phase::Vapour, e.T, e.P, e.y, n, grad, e.sv);
    phase_property(*m, Kind::Mw, Phase::Vapour, e.T, e.P, e.y, n, grad, e.mwv);
    phase_property(*m, Kind::Enthalpy, Phase::Liquid, e.T, e.P, e.x, n, grad, e.hl);
    phase_property(*m, Kind::Entropy, Phase::Liquid, e.T, e.P, e.x, n, grad, e.sl);
    phase_property(*m, Kind::Mw, Phase::Liquid, e.T, e.P, e.x, n, grad, e.mwl);
    const size_t un = static_cast<size_t>(n);
    r3::thermo::LnPhiDerivatives dl{std::span<double>(e.lpl_dT, un),
                                    std::span<double>(e.lpl_dP, un),
                                    std::span<double>(e.lpl_dx, un * un)};
    r3::thermo::LnPhiDerivatives dv{std::span<double>(e.lpv_dT, un),
                                    std::span<double>(e.lpv_dP, un),
                                    std::span<double>(e.lpv_dx, un * un)};
    const bool okl = m->ln_fugacity_coefficients(Phase::Liquid, e.T, e.P, {e.x, un}, {e.lpl, un},
                                                 grad ? &dl : nullptr) != Status::Failed;
    const bool okv = m->ln_fugacity_coefficients(Phase::Vapour, e.T, e.P, {e.y, un}, {e.lpv, un},
                                                 grad ? &dv : nullptr) != Status::Failed;
    e.phi_ok = okl && okv && finite_all(e.lpl, n) && finite_all(e.lpv, n);
    if (grad) {
      e.phi_ok = e.phi_ok && finite_all(e.lpl_dT, n) && finite_all(e.lpv_dT, n) &&
                 finite_all(e.lpl_dP, n) && finite_all(e.lpv_dP, n) &&
                 finite_all(e.lpl_dx, n * n) && finite_all(e.lpv_dx, n * n);
    }
  }
  e.beta_ref = m != nullptr ? vapour_like(*m, e) : 0.0;
  if (!e.phi_ok && grad) {
    const size_t un = static_cast<size_t>(n);
    std::fill(e.lpl_dT, e.lpl_dT + un, 0.0);
    std::fill(e.lpv_dT, e.lpv_dT + un, 0.0);
    std::fill(e.lpl_dP, e.lpl_dP + un, 0.0);
    std::fill(e.lpv_dP, e.lpv_dP + un, 0.0);
    std::fill(e.lpl_dx, e.lpl_dx + un * un, 0.0);
    std::fill(e.lpv_dx, e.lpv_dx + un * un, 0.0);
  }
}

double exp_k(double lnk) {
  return std::exp(std::clamp(lnk, -700.0, 700.0));
}

// Walks the set's rows in their fixed order: s.row(residual) opens a row,
// s.add(column, derivative) adds one entry. The entries never depend on the
// values, so pattern and Jacobian agree.
template <class Sink>
void walk(const Eval& e, const Pos& p, const int32_t* ipflow, const int32_t* iph,
          const int32_t* ipp, const int32_t* ipt, Sink& s) {
  const int n = p.n;
  const int cP = col(*ipp);
  auto prop_row = [&](const Eval::Prop& pr, double var, int var_col, bool with_tp,
                      const double* comp, auto comp_col) {
    s.row(pr.ok ? var - pr.v : kRmiss);
    s.add(var_col, 1.0);
    if (with_tp) {
      s.add(p.T(), -pr.dT * e.sgnT);
      s.add(cP, -pr.dP * e.sgnP);
    }
    for (int j = 0; j < n; ++j) s.add(comp_col(j), -pr.dx[j]);
    (void)comp;
  };
  auto ycol = [&](int j) { return p.y(j); };
  auto xcol = [&](int j) { return p.x(j); };

  // TOTAL
  s.row(e.F - e.Fsum);
  s.add(p.F(), 1.0);
  for (int i = 0; i < n; ++i) s.add(col(ipflow[i]), -1.0);
  // ZDEF_i
  for (int i = 0; i < n; ++i) {
    s.row(e.z[i] * e.F - e.f[i]);
    s.add(p.z(i), e.F);
    s.add(p.F(), e.z[i]);
    s.add(col(ipflow[i]), -1.0);
  }
  // VDEF
  s.row(e.V - e.bc * e.F);
  s.add(p.V(), 1.0);
  s.add(p.beta(), -e.F * e.dbc);
  s.add(p.F(), -e.bc);
  prop_row(e.hv, e.HV, p.HV(), true, e.y, ycol);
  prop_row(e.sv, e.SV, p.SV(), true, e.y, ycol);
  prop_row(e.mwv, e.MWV, p.MWV(), false, e.y, ycol);
  // BAL_i
  for (int i = 0; i < n; ++i) {
    s.row(e.z[i] - e.bc * e.y[i] - (1.0 - e.bc) * e.x[i]);
    s.add(p.z(i), 1.0);
    s.add(p.beta(), -(e.y[i] - e.x[i]) * e.dbc);
    s.add(p.y(i), -e.bc);
    s.add(p.x(i), -(1.0 - e.bc));
  }
  // LDEF
  s.row(e.L - (1.0 - e.bc) * e.F);
  s.add(p.L(), 1.0);
  s.add(p.beta(), e.F * e.dbc);
  s.add(p.F(), -(1.0 - e.bc));
  prop_row(e.hl, e.HL, p.HL(), true, e.x, xcol);
  prop_row(e.sl, e.SL, p.SL(), true, e.x, xcol);
  prop_row(e.mwl, e.MWL, p.MWL(), false, e.x, xcol);
  // HMIXDEF
  s.row(e.Hmix - e.bc * e.HV - (1.0 - e.bc) * e.HL);
  s.add(p.Hmix(), 1.0);
  s.add(p.beta(), -(e.HV - e.HL) * e.dbc);
  s.add(p.HV(), -e.bc);
  s.add(p.HL(), -(1.0 - e.bc));
  // KDEF_i
  for (int i = 0; i < n; ++i) {
    s.row(e.phi_ok ? e.lnK[i] - e.lpl[i] + e.lpv[i] : kRmiss);
    s.add(p.lnK(i), 1.0);
    s.add(p.T(), (e.lpv_dT[i] - e.lpl_dT[i]) * e.sgnT);
    s.add(cP, (e.lpv_dP[i] - e.lpl_dP[i]) * e.sgnP);
    for (int j = 0; j < n; ++j) s.add(p.x(j), -e.lpl_dx[i * n + j]);
    for (int j = 0; j < n; ++j) s.add(p.y(j), e.lpv_dx[i * n + j]);
  }
  // EQUIL_i
  for (int i = 0; i < n; ++i) {
    const double k = exp_k(e.lnK[i]);
    const bool inside = std::fabs(e.lnK[i]) < 700.0;
    s.row(e.y[i] - k * e.x[i]);
    s.add(p.y(i), 1.0);
    s.add(p.lnK(i), inside ? -k * e.x[i] : 0.0);
    s.add(p.x(i), -k);
  }
  // RR. The last term is negligible wherever the phases differ; where they
  // coincide (one root of the equation of state, x = y) beta would be free
  // inside [0, 1], and it fixes beta at the single phase's label.
  {
    double r = -(e.beta - e.bc) - kPin * (e.beta - e.beta_ref);
    for (int i = 0; i < n; ++i) r += e.y[i] - e.x[i];
    s.row(r);
    for (int j = 0; j < n; ++j) s.add(p.y(j), 1.0);
    for (int j = 0; j < n; ++j) s.add(p.x(j), -1.0);
    s.add(p.beta(), -(1.0 - e.dbc) - kPin);
  }
  // DUTYDEF
  s.row(e.Q - e.F * (e.Hmix - e.h));
  s.add(p.Q(), 1.0);
  s.add(p.F(), -(e.Hmix - e.h));
  s.add(p.Hmix(), -e.F);
  s.add(col(*iph), e.F);
  if (p.closed) {
    // TLINK: the set's temperature equals the caller's.
    const double traw = e.T * e.sgnT;
    s.row(traw - e.Text);
    s.add(p.T(), 1.0);
    s.add(ipt != nullptr && *ipt != 0 ? col(*ipt) : p.T(), -1.0);
    // ADIAB: no heat crosses the set's boundary.
    s.row(e.Q);
    s.add(p.Q(), 1.0);
  }
}

struct ResidualSink {
  double* F;
  int32_t* m;
  void row(double r) { F[(*m)++] = std::isfinite(r) ? r : kRmiss; }
  void add(int, double) {}
};
struct PatternSink {
  int32_t* m;
  int32_t* k;
  int32_t* IJROW;
  int32_t* IJCOL;
  int32_t current = 0;
  void row(double) { current = ++*m; }
  void add(int c, double) {
    IJROW[*k] = current;
    IJCOL[*k] = c;
    ++*k;
  }
};
struct JacobianSink {
  int32_t* k;
  double* DFDY;
  void row(double) {}
  void add(int, double v) { DFDY[(*k)++] = std::isfinite(v) ? v : 0.0; }
};

// Model for the set, or null (rows that need properties then report RMISS).
const r3::thermo::Model* set_model(int32_t ipropset, const int32_t* idx, int n) {
  return r3::host::model_for(ipropset, {idx, static_cast<size_t>(n)});
}

// The residual and Jacobian calls are not handed IPROPSET: they use the
// run's property method, the one every block of the simulation is given.
const r3::thermo::Model* run_model(const int32_t* idx, int n) {
  return set_model(static_cast<int32_t>(r3::host::run().method), idx, n);
}

// ---------------------------------------------------------------------------
// Initialisation
// ---------------------------------------------------------------------------

// The incipient phase in equilibrium with a present phase of composition w
// at (T, P): u_i = w_i / K_i for a present vapour, u_i = K_i w_i for a present
// liquid, K_i = phiL_i(x) / phiV_i(y), by successive substitution started
// from both phases at w. Leaves lnK at the final compositions and u
// consistent with it.
bool incipient_phase(const r3::thermo::Model& m, double T, double P, bool vapour_present,
                     const double* w, int n, double* u, double* lnk) {
  const size_t un = static_cast<size_t>(n);
  std::array<double, kMax> lp_present{}, lp_inc{};
  const Phase present = vapour_present ? Phase::Vapour : Phase::Liquid;
  const Phase other = vapour_present ? Phase::Liquid : Phase::Vapour;
  if (m.ln_fugacity_coefficients(present, T, P, {w, un}, {lp_present.data(), un}) ==
      Status::Failed) {
    return false;
  }
  // Wilson's K-values start the trial phase away from the present one (from
  // the present composition itself a one-root equation of state would stay
  // on the trivial solution).
  for (int i = 0; i < n; ++i) {
    const r3::thermo::Component& c = m.component(i);
    const double lnkw = std::log(c.pc / P) + 5.373 * (1.0 + c.omega) * (1.0 - c.tc / T);
    u[i] = vapour_present ? w[i] * exp_k(-lnkw) : w[i] * exp_k(lnkw);
  }
  if (!finite_all(u, n)) std::copy(w, w + n, u);
  for (int it = 0; it < 300; ++it) {
    if (m.ln_fugacity_coefficients(other, T, P, {u, un}, {lp_inc.data(), un}) == Status::Failed) {
      return false;
    }
    double change = 0.0, scale = 0.0;
    for (int i = 0; i < n; ++i) {
      lnk[i] = vapour_present ? lp_inc[i] - lp_present[i] : lp_present[i] - lp_inc[i];
      const double un_i = vapour_present ? w[i] * exp_k(-lnk[i]) : w[i] * exp_k(lnk[i]);
      change = std::max(change, std::fabs(un_i - u[i]));
      scale = std::max(scale, std::fabs(un_i));
      u[i] = un_i;
    }
    if (!finite_all(u, n)) return false;
    double sum = 0.0;
    for (int i = 0; i < n; ++i) sum += u[i];
    if (!(sum > 0.0)) return false;
    if (change <= 1e-14 * std::max(scale, 1e-300) || change == 0.0) break;
  }
  return true;
}

}  // namespace

extern "C" {

void RTO_PMLDIM(const int32_t* ncomp, const int32_t* idx, const int32_t* iopt, int32_t* ny,
                int32_t* nf, int32_t* nz, int32_t* layout) {
  (void)idx;
  const int n = *ncomp;
  if (n < 1 || n > kMax) return;
  const bool closed = iopt != nullptr && *iopt != 0;
  Pos p;
  p.n = n;
  p.z0 = *ny;
  p.closed = closed;
  layout[0] = p.T();
  layout[1] = p.beta();
  layout[2] = p.Q();
  layout[3] = p.F();
  layout[4] = p.V();
  layout[5] = p.L();
  layout[6] = p.lnK(0);
  layout[7] = neq_of(n, closed);
  layout[8] = p.z0;
  *ny += nvar_of(n);
  *nf += neq_of(n, closed);
  *nz += nnz_of(n, closed);
}

void RTO_PMLNAM(const int32_t* ncomp, const int32_t* idx, const int32_t* cids,
                const int32_t* layout, const int32_t* prefix, const int32_t* istart,
                const int32_t* idblk, const int32_t* lname, char* varnam, char* eqnnam,
                int32_t* m) {
  (void)idx;
  Pos p;
  if (!positions(ncomp, layout, istart, p) || *lname < 1) return;
  const int n = p.n;
  const size_t width = static_cast<size_t>(*lname) * 4;
  // The prefix without blanks, then "_".
  std::string pre;
  {
    char buf[4];
    std::memcpy(buf, prefix, 4);
    for (char c : buf) {
      if (c != ' ' && c != '\0') pre += c;
    }
    if (!pre.empty()) pre += '_';
  }
  auto cid = [&](int i) {
    char buf[8];
    std::memcpy(buf, cids + 2 * i, 8);
    std::string s;
    for (char c : buf) {
      if (c != ' ' && c != '\0') s += c;
    }
    return s;
  };
  auto var = [&](int position, const std::string& text) {
    const std::string t = pre + text;
    const int32_t len = static_cast<int32_t>(t.size());
    U3VNAM(idblk, t.data(), &len, lname, varnam + static_cast<size_t>(position - 1) * width);
  };
  auto eqn = [&](const std::string& text) {
    const std::string t = pre + text;
    const int32_t len = static_cast<int32_t>(t.size());
    U3ENAM(idblk, t.data(), &len, lname, eqnnam + static_cast<size_t>(*m) * width);
    ++*m;
  };
  var(p.beta(), "VFRAC");
  var(p.T(), "TEMP");
  var(p.Q(), "DUTY");
  var(p.F(), "FLOW");
  var(p.V(), "VFLOW");
  var(p.HV(), "HV");
  var(p.SV(), "SV");
  var(p.MWV(), "MWV");
  var(p.L(), "LFLOW");
  var(p.HL(), "HL");
  var(p.SL(), "SL");
  var(p.MWL(), "MWL");
  var(p.Hmix(), "HMIX");
  for (int i = 0; i < n; ++i) {
    var(p.z(i), "Z_" + cid(i));
    var(p.y(i), "Y_" + cid(i));
    var(p.lnK(i), "LNK_" + cid(i));
    var(p.x(i), "X_" + cid(i));
  }
  eqn("TOTAL");
  for (int i = 0; i < n; ++i) eqn("ZDEF_" + cid(i));
  eqn("VDEF");
  eqn("HVDEF");
  eqn("SVDEF");
  eqn("MWVDEF");
  for (int i = 0; i < n; ++i) eqn("BAL_" + cid(i));
  eqn("LDEF");
  eqn("HLDEF");
  eqn("SLDEF");
  eqn("MWLDEF");
  eqn("HMIXDEF");
  for (int i = 0; i < n; ++i) eqn("KDEF_" + cid(i));
  for (int i = 0; i < n; ++i) eqn("EQUIL_" + cid(i));
  eqn("RR");
  eqn("DUTYDEF");
  if (p.closed) {
    eqn("TLINK");
    eqn("ADIAB");
  }
}

void RTO_PMLINI(const int32_t* ncomp, const int32_t* idx, const int32_t* ipflow, const int32_t* iph,
                const int32_t* ipp, const int32_t* ipropset, const int32_t* arg31,
                const double* tol, const int32_t* maxit, const int32_t* iflag,
                const int32_t* layout, const int32_t* istart, double* sa, double* sb, double* Y,
                int32_t* ierr) {
  (void)arg31, (void)tol, (void)maxit;
  *ierr = -1;
  Pos p;
  if (!positions(ncomp, layout, istart, p)) return;
  const int n = p.n;
  const r3::thermo::Model* m = set_model(*ipropset, idx, n);
  if (m == nullptr) return;
  Eval& e = g_e;
  e.n = n;
  double F = 0.0;
  for (int i = 0; i < n; ++i) {
    e.f[i] = at(Y, ipflow[i]);
    if (!usable(e.f[i]) || e.f[i] < 0.0) return;
    F += e.f[i];
  }
  if (!(F > 0.0) || !std::isfinite(F)) return;
  const double P = std::fabs(at(Y, *ipp));
  if (!usable(P) || !(P > 0.0)) return;
  const double h = at(Y, *iph);
  const double Tv = std::fabs(Y[p.T() - 1]);
  const double bv = Y[p.beta() - 1];
  const bool t_ok = usable(Tv) && Tv >= 1.0;
  const bool h_ok = usable(h);
  const double tguess = t_ok ? Tv : 300.0;
  const std::span<const double> fz(e.f, static_cast<size_t>(n));

  r3::thermo::FlashResult r;
  Status s = Status::Failed;
  int given = *iflag;
  if (given != 1 && given != 2 && given != 3) given = t_ok ? 2 : (h_ok ? 1 : 0);
  if (given == 1 && h_ok) {
    s = r3::thermo::flash_ph(*m, P, h, fz, tguess, r);
  } else if (given == 2 && t_ok) {
    s = r3::thermo::flash_tp(*m, Tv, P, fz, r);
  } else if (given == 3 && usable(bv) && bv >= 0.0 && bv <= 1.0) {
    s = r3::thermo::flash_pv(*m, P, bv, fz, tguess, r);
  }
  if (s == Status::Failed || static_cast<int>(r.x.size()) != n ||
      static_cast<int>(r.y.size()) != n) {
    return;
  }

  // The set's state at the flash's temperature.
  for (int i = 0; i < n; ++i) e.z[i] = e.f[i] / F;
  double beta = r.beta;
  if (r.beta > 0.0 && r.beta < 1.0) {
    for (int i = 0; i < n; ++i) {
      e.x[i] = r.x[static_cast<size_t>(i)];
      e.y[i] = r.y[static_cast<size_t>(i)];
    }
  } else if (r.beta >= 1.0) {
    std::copy(e.z, e.z + n, e.y);
    if (!incipient_phase(*m, r.T, P, true, e.y, n, e.x, e.lnK)) return;
    double sx = 0.0;
    for (int i = 0; i < n; ++i) sx += e.x[i];
    beta = std::max(1.0, 2.0 - sx);
  } else {
    std::copy(e.z, e.z + n, e.x);
    if (!incipient_phase(*m, r.T, P, false, e.x, n, e.y, e.lnK)) return;
    double sy = 0.0;
    for (int i = 0; i < n; ++i) sy += e.y[i];
    beta = std::min(0.0, sy - 1.0);
  }
  e.T = r.T;
  e.P = P;
  evaluate(m, false, e);
  if (!e.phi_ok || !e.hv.ok || !e.sv.ok || !e.mwv.ok || !e.hl.ok || !e.sl.ok || !e.mwl.ok) {
    return;
  }
  for (int i = 0; i < n; ++i) e.lnK[i] = e.lpl[i] - e.lpv[i];
  const double bc = std::clamp(beta, 0.0, 1.0);
  const double hmix = bc * e.hv.v + (1.0 - bc) * e.hl.v;

  Y[p.beta() - 1] = beta;
  Y[p.T() - 1] = r.T;
  Y[p.Q() - 1] = F * (hmix - (h_ok ? h : 0.0));
  Y[p.F() - 1] = F;
  Y[p.V() - 1] = bc * F;
  Y[p.HV() - 1] = e.hv.v;
  Y[p.SV() - 1] = e.sv.v;
  Y[p.MWV() - 1] = e.mwv.v;
  Y[p.L() - 1] = (1.0 - bc) * F;
  Y[p.HL() - 1] = e.hl.v;
  Y[p.SL() - 1] = e.sl.v;
  Y[p.MWL() - 1] = e.mwl.v;
  Y[p.Hmix() - 1] = hmix;
  for (int i = 0; i < n; ++i) {
    Y[p.z(i) - 1] = e.z[i];
    Y[p.y(i) - 1] = e.y[i];
    Y[p.x(i) - 1] = e.x[i];
    Y[p.lnK(i) - 1] = e.lnK[i];
    sa[i] = exp_k(e.lnK[i]);
    sb[i] = e.z[i];
  }
  *ierr = s == Status::Extrapolated ? -2 : 0;
}

void RTO_PMLSPR(const int32_t* ncomp, const int32_t* idx, const int32_t* ipflow, const int32_t* iph,
                const int32_t* ipp, const int32_t* ipt, const int32_t* layout, const int32_t* iopt,
                const int32_t* istart, int32_t* m, int32_t* k, int32_t* IJROW, int32_t* IJCOL) {
  (void)idx, (void)iopt;
  Pos p;
  if (!positions(ncomp, layout, istart, p)) return;
  Eval& e = g_e;
  e.n = p.n;
  PatternSink s{m, k, IJROW, IJCOL};
  walk(e, p, ipflow, iph, ipp, ipt, s);
}

void RTO_PMLRES(const int32_t* ncomp, const int32_t* idx, const int32_t* ipflow, const int32_t* iph,
                const int32_t* ipp, const int32_t* ipt, const int32_t* layout, double* sa,
                double* sb, const int32_t* iopt, const double* Y, const int32_t* istart, int32_t* m,
                double* F) {
  (void)sa, (void)sb, (void)iopt;
  Pos p;
  if (!positions(ncomp, layout, istart, p)) return;
  Eval& e = g_e;
  read_state(p, ipflow, iph, ipp, ipt, Y, e);
  evaluate(run_model(idx, p.n), false, e);
  ResidualSink s{F, m};
  walk(e, p, ipflow, iph, ipp, ipt, s);
}

void RTO_PMLJAC(const int32_t* ncomp, const int32_t* idx, const int32_t* ipflow, const int32_t* iph,
                const int32_t* ipp, const int32_t* ipt, const int32_t* layout, double* sa,
                double* sb, const double* eps, const int32_t* iopt, const double* Y,
                const int32_t* istart, int32_t* k, double* DFDY) {
  (void)sa, (void)sb, (void)eps, (void)iopt;
  Pos p;
  if (!positions(ncomp, layout, istart, p)) return;
  Eval& e = g_e;
  read_state(p, ipflow, iph, ipp, ipt, Y, e);
  evaluate(run_model(idx, p.n), true, e);
  JacobianSink s{k, DFDY};
  walk(e, p, ipflow, iph, ipp, ipt, s);
}

}  // extern "C"

// Scales, bounds and types of the set's variables, and scales of its
// equations, from the host's global scales; only RMISS entries are filled.
namespace {

struct VarDefaults {
  double scale, lower, upper, step;
  int32_t type;
};

// Defaults of the variable at position q of the set.
VarDefaults var_defaults(const Pos& p, int q) {
  double gs[7];
  U3GSCL(gs);
  const double Fs = gs[0], Ts = gs[1], Hs = gs[2], Ss = gs[5];
  const int n = p.n;
  if (q == p.beta()) return {1.0, -2.0, 3.0, 0.5, 44};
  if (q == p.T()) return {Ts, 0.01 * Ts, 5.0 * Ts, 0.1, 22};
  if (q == p.Q()) return {Fs * Hs, -1.0e4 * Fs * Hs, 1.0e4 * Fs * Hs, 1.0, 13};
  if (q == p.F() || q == p.V() || q == p.L()) return {Fs, 0.0, 1.0e4 * Fs, 1.0, 11};
  if (q == p.HV() || q == p.HL() || q == p.Hmix()) return {Hs, -1.0e3 * Hs, 1.0e3 * Hs, 1.0, 14};
  if (q == p.SV() || q == p.SL()) return {Ss, -1.0e4 * Ss, 1.0e4 * Ss, 1.0, 44};
  if (q == p.MWV() || q == p.MWL()) return {100.0, 0.0, 1.0e5, 1.0, 44};
  if (q >= p.lnK(0) && q < p.lnK(0) + n) return {1.0, -100.0, 100.0, 2.0, 44};
  // Mole fractions: the incipient phase is unnormalised, and where the phases
  // coincide the term fixing beta moves them by about 1e-10, so the upper
  // bound leaves room above 1.
  return {1.0, 0.0, 2.0, 0.5, 44};
}

template <class Fn>
void each_var(const Pos& p, Fn fn) {
  for (int q = p.z0 + 1; q <= p.z0 + nvar_of(p.n); ++q) fn(q, var_defaults(p, q));
}

void fill(double* a, double v) {
  if (*a == kRmiss) *a = v;
}

}  // namespace

extern "C" {

void RTO_PMLXSCL(const int32_t* ncomp, const int32_t* layout, const int32_t* istart,
                 const double* Y, double* YSCL) {
  (void)Y;
  Pos p;
  if (!positions(ncomp, layout, istart, p)) return;
  each_var(p, [&](int q, const VarDefaults& d) { fill(&YSCL[q - 1], d.scale); });
}

void RTO_PMLXBND(const int32_t* ncomp, const int32_t* layout, const int32_t* istart,
                 const double* Y, double* YLB, double* YUB, double* YSBND) {
  (void)Y;
  Pos p;
  if (!positions(ncomp, layout, istart, p)) return;
  each_var(p, [&](int q, const VarDefaults& d) {
    fill(&YLB[q - 1], d.lower);
    fill(&YUB[q - 1], d.upper);
    fill(&YSBND[q - 1], d.step);
  });
}

void RTO_PMLXPP(const int32_t* ncomp, const int32_t* layout, const int32_t* istart,
                int32_t* IYATTR) {
  Pos p;
  if (!positions(ncomp, layout, istart, p)) return;
  each_var(p, [&](int q, const VarDefaults& d) { U3VPPT(&IYATTR[q - 1], &d.type); });
}

void RTO_PMLRSCL(const int32_t* ncomp, const int32_t* layout, const int32_t* ieqstart,
                 double* FSCL) {
  Pos p;
  if (!positions(ncomp, layout, nullptr, p) || *ieqstart < 0) return;
  double gs[7];
  U3GSCL(gs);
  const double Fs = gs[0], Ts = gs[1], Hs = gs[2], Ss = gs[5];
  const int n = p.n;
  double* f = FSCL + *ieqstart;
  int r = 0;
  auto put = [&](double v) { fill(&f[r++], v); };
  put(Fs);                               // TOTAL
  for (int i = 0; i < n; ++i) put(Fs);   // ZDEF
  put(Fs);                               // VDEF
  put(Hs);                               // HVDEF
  put(Ss);                               // SVDEF
  put(100.0);                            // MWVDEF
  for (int i = 0; i < n; ++i) put(1.0);  // BAL
  put(Fs);                               // LDEF
  put(Hs);                               // HLDEF
  put(Ss);                               // SLDEF
  put(100.0);                            // MWLDEF
  put(Hs);                               // HMIXDEF
  for (int i = 0; i < n; ++i) put(1.0);  // KDEF
  for (int i = 0; i < n; ++i) put(1.0);  // EQUIL
  put(1.0);                              // RR
  put(Fs * Hs);                          // DUTYDEF
  if (p.closed) {
    put(Ts);       // TLINK
    put(Fs * Hs);  // ADIAB
  }
}

}  // extern "C"
