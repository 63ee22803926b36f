// The steam-table host services: the IF97 steam tables in the units and
// argument lists a steam turbine block uses.
//
// Units at the services: pressure Pa, temperature K, enthalpy J/kmol (molar,
// M = 18.015268 kg/kmol, as the block's enthalpy variables are), flow kmol/s,
// work and power W, specific volume m3/kg (SSS_VOLW option 2: m3/kmol), water
// rate kg/J (kg/s of steam per W of power). Range: 0 < p <= 100 MPa,
// 273.14 K <= T <= 2273.15 K (p <= 50 MPa above 1073.15 K).
//
// A service that cannot answer (input out of range or not finite, unknown
// mode or code, an iteration that fails) returns RMISS in every result, so a
// caller tests its results for the missing marker as it does for the property
// monitors; SSS_TWORK also returns a status in its tenth result. With a
// diagnostic level of 5 or more in SSS_SBDIAG word 1 the failure is also
// written to the message unit.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "framework/host_services.h"
#include "host/steam/if97.h"
#include "host/steam/if97_detail.h"

extern "C" {
// Steam-table control areas written by the calling block (see the header).
R3_SHARED_AREA int32_t SSS_SBDIAG[2];
R3_SHARED_AREA int32_t SSS_SBGAS[5];
R3_SHARED_AREA int32_t SSS_PTOLER[2];
R3_SHARED_AREA int32_t SSS_SBOPST[12];
}

namespace {

namespace st = r3::steam;
namespace sd = r3::steam::detail;

constexpr double kMw = 18.015268;  // kg/kmol

double missing() {
  return r3::hs::rmiss();
}
bool is_finite(double v) {
  return std::isfinite(v);
}

void report_failure(const char* op, const char* what) {
  if (SSS_SBDIAG[0] < 5) return;
  char line[160];
  std::snprintf(line, sizeof line, " %s: %s", op, what);
  r3::hs::write(r3::hs::message_unit(), line);
}

bool pressure_ok(double p) {
  return is_finite(p) && p > 0.0 && p <= st::kPmax;
}

// Pressure tolerance for "on the saturation line": the caller's value in
// SSS_PTOLER when it holds a sensible one, 1e-4 otherwise.
double saturation_tolerance() {
  double tol;
  std::memcpy(&tol, SSS_PTOLER, sizeof tol);
  return (is_finite(tol) && tol > 0.0 && tol < 0.1) ? tol : 1e-4;
}

// Saturated liquid and vapour at p (below the critical pressure).
bool saturation(double p, double& Ts, sd::Props& liq, sd::Props& vap) {
  if (!pressure_ok(p) || p >= st::kPc) return false;
  if (st::tsat(p, Ts) != st::Status::Ok) return false;
  return sd::phase_props(p, Ts, st::Branch::Liquid, liq, false) &&
         sd::phase_props(p, Ts, st::Branch::Vapour, vap, false);
}

// Isentropic enthalpy drop per kg from (pin, h mass) to pout.
bool isentropic_drop(double pin, double hmass, double pout, double& dh) {
  if (!pressure_ok(pin) || !pressure_ok(pout) || !is_finite(hmass)) return false;
  st::IsentropicWork w;
  if (st::isentropic_work(pin, pout, hmass, 1.0, w) != st::Status::Ok) return false;
  dh = w.W;
  return is_finite(dh);
}

// Piecewise-linear interpolation in x over n points (any order of the
// abscissae), flat beyond the end points. False on missing or non-finite data.
bool interpolate(const double* xs, const double* ys, int32_t n, double x, double& y) {
  if (xs == nullptr || ys == nullptr || n < 1 || n > 100 || !is_finite(x)) return false;
  const double rm = missing();
  int order[100];
  for (int i = 0; i < n; ++i) {
    if (!is_finite(xs[i]) || !is_finite(ys[i]) || xs[i] >= rm || ys[i] >= rm) return false;
    order[i] = i;
  }
  std::sort(order, order + n, [&](int a, int b) { return xs[a] < xs[b]; });
  if (x <= xs[order[0]]) {
    y = ys[order[0]];
    return true;
  }
  if (x >= xs[order[n - 1]]) {
    y = ys[order[n - 1]];
    return true;
  }
  for (int k = 1; k < n; ++k) {
    const double x0 = xs[order[k - 1]], x1 = xs[order[k]];
    if (x <= x1) {
      const double y0 = ys[order[k - 1]], y1 = ys[order[k]];
      y = x1 > x0 ? y0 + (y1 - y0) * (x - x0) / (x1 - x0) : y1;
      return true;
    }
  }
  y = ys[order[n - 1]];
  return true;
}

// Relative-efficiency correlation (efficiency code 6). relpar: reference
// efficiency eta_r, blade speed N (rev/s), blade diameter D (m), design power
// Pd (W), design blade speed Nd (rev/s), speed exponent n, reference speed
// parameter nu_r (the best blade-to-steam velocity ratio).
//   dh+  = (dh_s + sqrt(dh_s^2 + 1e6)) / 2          (J/kg, smooth and > 0)
//   nu   = pi D N / sqrt(2 dh+),  r = nu / nu_r,   f_v = 2 r / (1 + r^2)
//   f_n  = 1 / cosh(n ln(N / Nd))        (= 2 s^n / (1 + s^2n), s = N / Nd)
//   part-load factor c: the relative-efficiency curve at the power when one
//   is given (values in (0, 1]); otherwise, with x = |power| / Pd,
//   c = 1 - 0.5 (x - 1)^2 / (1 + (x - 1)^2)
//   eta  = eta_r f_v f_n c
// Each factor lies in (0, 1], so eta does too.
bool relative_efficiency(const double* relpar, double power, double dh_s, const double* effx,
                         const double* effy, int32_t ne, double& eta) {
  if (relpar == nullptr) return false;
  const double rm = missing();
  for (int i = 0; i < 7; ++i) {
    if (!is_finite(relpar[i]) || relpar[i] >= rm) return false;
  }
  const double eta_r = relpar[0], N = relpar[1], D = relpar[2], Pd = relpar[3], Nd = relpar[4],
               n = relpar[5], nu_r = relpar[6];
  if (!(eta_r > 0.0 && eta_r <= 1.0) || !(N > 0.0) || !(D > 0.0) || !(Pd > 0.0) || !(Nd > 0.0) ||
      !(nu_r > 0.0) || !is_finite(power) || !is_finite(dh_s)) {
    return false;
  }
  const double dhp = 0.5 * (dh_s + std::sqrt(dh_s * dh_s + 1e6));
  const double nu = M_PI * D * N / std::sqrt(2.0 * dhp);
  const double r = nu / nu_r;
  const double fv = 2.0 * r / (1.0 + r * r);
  const double fn = 1.0 / std::cosh(n * std::log(N / Nd));
  double c;
  if (ne >= 1) {
    if (!interpolate(effx, effy, ne, power, c) || !(c > 0.0 && c <= 1.0)) return false;
  } else {
    const double d = std::fabs(power) / Pd - 1.0;
    c = 1.0 - 0.5 * d * d / (1.0 + d * d);
  }
  eta = eta_r * fv * fn * c;
  return is_finite(eta) && eta > 0.0;
}

}  // namespace

extern "C" {

// (mode 1 or 3, inlet pressure Pa, outlet pressure Pa, inlet enthalpy J/kmol,
// flow kmol/s, factor, results[10]). results: 1 the isentropic work
// W = factor G (h - h_s) in W; mode 3 also 2-5 its derivatives by the inlet
// pressure, the outlet pressure, the inlet enthalpy and the flow (0 in mode
// 1); 6 the isentropic outlet enthalpy h_s (J/kmol); 7 its temperature (K);
// 8 its vapour fraction; 9 the isentropic enthalpy drop h - h_s (J/kmol);
// 10 the status: 0 success, -1 input out of range, -2 no convergence, -3 an
// unknown mode (then results 1-9 are RMISS).
void SSS_TWORK(const int32_t* mode, const double* pa, const double* pb, const double* h,
               const double* g, const double* fac, double* results) {
  if (results == nullptr) return;
  const double rm = missing();
  std::fill(results, results + 9, rm);
  if (mode == nullptr || (*mode != 1 && *mode != 3)) {
    results[9] = -3.0;
    report_failure("SSS_TWORK", "unknown mode");
    return;
  }
  if (pa == nullptr || pb == nullptr || h == nullptr || g == nullptr || fac == nullptr ||
      !pressure_ok(*pa) || !pressure_ok(*pb) || !is_finite(*h) || !is_finite(*g) ||
      !is_finite(*fac)) {
    results[9] = -1.0;
    report_failure("SSS_TWORK", "pressure, enthalpy, flow or factor out of range");
    return;
  }
  st::IsentropicWork w;
  const st::Status s = st::isentropic_work(*pa, *pb, *h / kMw, *g * kMw, w);
  if (s != st::Status::Ok) {
    results[9] = s == st::Status::OutOfRange ? -1.0 : -2.0;
    report_failure("SSS_TWORK", "no isentropic state at the outlet pressure");
    return;
  }
  const double f = *fac;
  results[0] = f * w.W;
  const bool d = *mode == 3;
  results[1] = d ? f * w.dW_dPa : 0.0;
  results[2] = d ? f * w.dW_dPb : 0.0;
  results[3] = d ? f * w.dW_dh / kMw : 0.0;
  results[4] = d ? f * w.dW_dG * kMw : 0.0;
  results[5] = w.h_out * kMw;
  results[6] = w.out.T;
  results[7] = w.out.quality;
  results[8] = *h - w.h_out * kMw;
  results[9] = 0.0;
}

// (code, efficiency or water-rate value, stage power W, inlet enthalpy J/kmol, inlet
// pressure Pa, outlet pressure Pa, efficiency curve x/y and n_e, water-rate
// curve x/y and n_w, seven relative-efficiency parameters, callback, eta).
// Codes: 1 eta = value; 2 water rate value (kg/J): eta = 1 / (value dh_s);
// 3 the efficiency curve at the power; 4 the water-rate curve at the power,
// then as 2 (both need an isentropic drop above 1 J/kg); 6 the
// relative-efficiency correlation above. dh_s is the isentropic enthalpy drop
// per kg from the inlet state to the outlet pressure. The callback is accepted and not called. eta
// = RMISS on failure.
void SSS_EFFTRB(const int32_t* icode, const double* value, const double* power, const double* hin,
                const double* pin, const double* pout, const double* effx, const double* effy,
                const int32_t* ne, const double* wrx, const double* wry, const int32_t* nw,
                const double* relpar, void (*callback)(void), double* eta) {
  (void)callback;
  if (eta == nullptr) return;
  const double rm = missing();
  *eta = rm;
  if (icode == nullptr) return;
  const double pw = power ? *power : rm;
  auto water_rate_eta = [&](double wr, double& e) {
    double dh;
    if (!is_finite(wr) || !(wr > 0.0) || wr >= rm) return false;
    if (hin == nullptr || pin == nullptr || pout == nullptr) return false;
    // Below 1 J/kg there is no expansion to speak of: no efficiency.
    if (!isentropic_drop(*pin, *hin / kMw, *pout, dh) || !(dh > 1.0)) return false;
    e = 1.0 / (wr * dh);
    return is_finite(e);
  };
  double e = rm;
  bool ok = false;
  switch (*icode) {
    case 1:
      ok = value != nullptr && is_finite(*value) && *value > 0.0 && *value < rm;
      if (ok) e = *value;
      break;
    case 2:
      ok = value != nullptr && water_rate_eta(*value, e);
      break;
    case 3:
      ok = ne != nullptr && interpolate(effx, effy, *ne, pw, e) && e > 0.0;
      break;
    case 4: {
      double wr;
      ok = nw != nullptr && interpolate(wrx, wry, *nw, pw, wr) && water_rate_eta(wr, e);
      break;
    }
    case 6: {
      double dh;
      ok = hin != nullptr && pin != nullptr && pout != nullptr &&
           isentropic_drop(*pin, *hin / kMw, *pout, dh) &&
           relative_efficiency(relpar, pw, dh, effx, effy, ne ? *ne : 0, e);
      break;
    }
    default:
      break;
  }
  if (!ok) {
    report_failure("SSS_EFFTRB", "no efficiency for this code and data");
    return;
  }
  *eta = e;
}

// (T, P, amount, phase indicator, h): amount times the molar enthalpy
// (J/kmol) at (T, P). The state is the stable phase; on the saturation line
// (P within the SSS_PTOLER fraction of psat(T)) the indicator chooses: >= 0
// the saturated liquid, < 0 the saturated vapour.
void SSS_ENTH(const double* t, const double* p, const double* one, const double* frac, double* h) {
  if (h == nullptr) return;
  *h = missing();
  if (t == nullptr || p == nullptr || one == nullptr || !pressure_ok(*p) || !is_finite(*t) ||
      !is_finite(*one)) {
    report_failure("SSS_ENTH", "temperature or pressure out of range");
    return;
  }
  sd::Props o;
  bool ok = false;
  double ps;
  if (*t < st::kTc && st::psat(*t, ps) == st::Status::Ok &&
      std::fabs(*p - ps) <= saturation_tolerance() * *p) {
    const bool vapour = frac != nullptr && is_finite(*frac) && *frac < 0.0;
    ok = sd::phase_props(ps, *t, vapour ? st::Branch::Vapour : st::Branch::Liquid, o, false);
  } else {
    st::StateVHS s;
    ok = st::state_pT_vhs(*p, *t, s) == st::Status::Ok;
    o.st.h = s.h;
  }
  if (!ok || !is_finite(o.st.h)) {
    report_failure("SSS_ENTH", "temperature or pressure out of range");
    return;
  }
  *h = *one * o.st.h * kMw;
}

// (P, h J/kmol, T, vapour fraction): the (P, h) state's temperature and its
// vapour mass fraction (0 or 1 for single-phase states).
void SSS_PHTX(const double* p, const double* h, double* t, double* quality) {
  const double rm = missing();
  if (t) *t = rm;
  if (quality) *quality = rm;
  st::State s;
  if (p == nullptr || h == nullptr || !pressure_ok(*p) || !is_finite(*h) ||
      st::state_ph(*p, *h / kMw, s) != st::Status::Ok) {
    report_failure("SSS_PHTX", "no state at this pressure and enthalpy");
    return;
  }
  if (t) *t = s.T;
  if (quality) *quality = s.quality;
}

// (T, P, vapour fraction, option, v): option 1 the specific volume (m3/kg),
// option 2 the molar volume (m3/kmol). At the saturation temperature of P the
// vapour fraction (clipped to [0, 1]) weights the saturated phases; elsewhere
// the single phase at (T, P).
void SSS_VOLW(const double* t, const double* p, const double* quality, const int32_t* iopt,
              double* v) {
  if (v == nullptr) return;
  *v = missing();
  if (t == nullptr || p == nullptr || iopt == nullptr || (*iopt != 1 && *iopt != 2) ||
      !pressure_ok(*p) || !is_finite(*t)) {
    report_failure("SSS_VOLW", "temperature, pressure or option out of range");
    return;
  }
  double vol = 0.0;
  bool ok = false;
  double Ts;
  sd::Props liq, vap;
  if (*p < st::kPc && saturation(*p, Ts, liq, vap) && std::fabs(*t - Ts) <= 1e-6 * Ts) {
    double x = (quality && is_finite(*quality)) ? std::clamp(*quality, 0.0, 1.0) : 0.0;
    vol = (1.0 - x) * liq.st.v + x * vap.st.v;
    ok = true;
  } else {
    st::StateVHS s;
    ok = st::state_pT_vhs(*p, *t, s) == st::Status::Ok;
    vol = s.v;
  }
  if (!ok || !is_finite(vol)) {
    report_failure("SSS_VOLW", "temperature or pressure out of range");
    return;
  }
  *v = *iopt == 1 ? vol : vol * kMw;
}

// (P, Tsat): saturation temperature, psat(273.15 K) <= P <= the critical pressure.
void SSS_TSAT(const double* p, double* tsat) {
  if (tsat == nullptr) return;
  *tsat = missing();
  double T;
  if (p == nullptr || !pressure_ok(*p) || st::tsat(*p, T) != st::Status::Ok) {
    report_failure("SSS_TSAT", "pressure outside the saturation line");
    return;
  }
  *tsat = T;
}

// (T, Psat): saturation pressure, 273.15 K <= T <= the critical temperature.
void SSS_PSATW(const double* t, double* psat) {
  if (psat == nullptr) return;
  *psat = missing();
  double p;
  if (t == nullptr || !is_finite(*t) || st::psat(*t, p) != st::Status::Ok) {
    report_failure("SSS_PSATW", "temperature outside the saturation line");
    return;
  }
  *psat = p;
}

// (P, h J/kmol, dv/dh): (dv/dh) at constant P of the specific volume, in
// m3/kg per J/kmol.
void SSS_DVDH(const double* p, const double* h, double* dvdh) {
  if (dvdh == nullptr) return;
  *dvdh = missing();
  st::VolumeDerivatives d;
  if (p == nullptr || h == nullptr || !pressure_ok(*p) || !is_finite(*h) ||
      st::volume_derivatives_ph(*p, *h / kMw, d) != st::Status::Ok) {
    report_failure("SSS_DVDH", "no state at this pressure and enthalpy");
    return;
  }
  *dvdh = d.dv_dh / kMw;
}

// (P, h J/kmol, dv/dP): (dv/dP) at constant h of the specific volume, in
// m3/(kg Pa).
void SSS_DVDP(const double* p, const double* h, double* dvdp) {
  if (dvdp == nullptr) return;
  *dvdp = missing();
  st::VolumeDerivatives d;
  if (p == nullptr || h == nullptr || !pressure_ok(*p) || !is_finite(*h) ||
      st::volume_derivatives_ph(*p, *h / kMw, d) != st::Status::Ok) {
    report_failure("SSS_DVDP", "no state at this pressure and enthalpy");
    return;
  }
  *dvdp = d.dv_dp;
}

}  // extern "C"
