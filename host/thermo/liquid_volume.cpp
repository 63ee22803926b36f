// Liquid molar volumes of the pure components: a saturated-liquid
// correlation with a compressed-liquid factor, and the weight with which a
// liquid's volume passes to the equation of state near and above its
// (pseudo-)critical temperature.
#include <algorithm>
#include <cmath>
#include <string>

#include "host/steam/if97.h"
#include "host/steam/if97_detail.h"
#include "host/thermo/internal.h"

namespace r3::thermo::detail {

namespace {

// Thomson, Brobst and Hankinson (AIChE J. 28 (1982) 671), generalised
// constants of the compressed-liquid (Tait-form) correction
// V = Vs [1 - C ln((beta + P) / (beta + Psat))].
constexpr double kTbhA = -9.070217, kTbhB = 62.45326, kTbhD = -135.1102;
constexpr double kTbhF = 4.79594, kTbhG = 0.250047, kTbhH = 1.14188;
constexpr double kTbhJ = 0.0861488, kTbhK = 0.0344483;

// The correlations hold up to this fraction of the critical temperature.
constexpr double kLiquidLimit = 0.95;

}  // namespace

LiquidVolume::LiquidVolume(const Component& c) : c_(&c) {
  const bool dippr = c.dens_form == Component::LiquidDensity::Dippr105;
  tx_ = kLiquidLimit * (dippr ? c.dens[2] : c.tc);
  tbh_c_ = kTbhJ + kTbhK * c.omega;
  tbh_e_ = std::exp(kTbhF + kTbhG * c.omega + kTbhH * c.omega * c.omega);
  // Relative slope of the continuation above tx, at the saturation pressure.
  double v, dvdT, dvdP;
  base(tx_, c.pc * std::exp(ln_psat_reduced(c, tx_).v), v, dvdT, dvdP);
  k_ = v > 0 && std::isfinite(dvdT) ? dvdT / v : 0.0;
}

void LiquidVolume::base(double T, double P, double& v, double& dvdT, double& dvdP) const {
  const Component& c = *c_;
  if (c.dens_form == Component::LiquidDensity::If97) {
    // Water: the IAPWS-IF97 liquid equation (region 1), compressed liquid
    // included; below the saturation pressure the saturated liquid's volume
    // (the equation is not meant for a stretched liquid).
    double ps = 0, dps = 0;
    const bool sat = r3::steam::psat(T, ps) == r3::steam::Status::Ok && P < ps &&
                     r3::steam::dpsat_dT(T, dps) == r3::steam::Status::Ok;
    r3::steam::detail::Props o;
    if (r3::steam::detail::region1(sat ? ps : P, T, o, false)) {
      v = o.st.v * c.mw;
      dvdT = (o.dv_dT + (sat ? o.dv_dp * dps : 0.0)) * c.mw;
      dvdP = sat ? 0.0 : o.dv_dp * c.mw;
      return;
    }
  }
  double vs, dvs;
  if (c.dens_form == Component::LiquidDensity::Dippr105) {
    const double t = 1.0 - T / c.dens[2];
    const double tc4 = std::pow(t, c.dens[3]);
    const double lnc2 = std::log(c.dens[1]);
    vs = std::exp((1.0 + tc4) * lnc2) / c.dens[0];
    dvs = vs * lnc2 * c.dens[3] * tc4 / t * (-1.0 / c.dens[2]);
  } else {
    rackett(c, T, vs, dvs);
  }
  // Compressed-liquid factor F.
  const double tau = std::max(1.0 - T / c.tc, 1e-6);
  const double t13 = std::cbrt(tau);
  const double beta =
      c.pc * (-1.0 + kTbhA * t13 + kTbhB * t13 * t13 + kTbhD * tau + tbh_e_ * tau * t13);
  const double dbeta = -c.pc / c.tc *
                       (kTbhA / (3 * t13 * t13) + 2 * kTbhB / (3 * t13) + kTbhD + 4 * tbh_e_ * t13 / 3);
  const Jet lp = ln_psat_reduced(c, T);
  const double ps = c.pc * std::exp(lp.v), dps = ps * lp.d1;
  const double a = beta + ps;
  double F = 1, dFdT = 0, dFdP = 0;
  if (a > 0) {
    // Far below the saturation pressure (a stretched liquid) the factor is
    // held at its value where beta + P = a / 2.
    double bp = beta + P, dbp = dbeta, dbpdP = 1;
    if (bp < 0.5 * a) {
      bp = 0.5 * a;
      dbp = 0.5 * (dbeta + dps);
      dbpdP = 0;
    }
    F = 1.0 - tbh_c_ * std::log(bp / a);
    dFdT = -tbh_c_ * (dbp / bp - (dbeta + dps) / a);
    dFdP = -tbh_c_ * dbpdP / bp;
  }
  v = vs * F;
  dvdT = dvs * F + vs * dFdT;
  dvdP = vs * dFdP;
}

void LiquidVolume::eval(double T, double P, double& v, double& dvdT, double& dvdP) const {
  if (T <= tx_) {
    base(T, P, v, dvdT, dvdP);
    return;
  }
  double v0, d0T, d0P;
  base(tx_, P, v0, d0T, d0P);
  const double f = 1.0 + k_ * (T - tx_);
  v = v0 * f;
  dvdT = v0 * k_;
  dvdP = d0P * f;
}

LiquidMix::LiquidMix(std::span<const LiquidVolume> lv, double temperature, double P,
                     std::span<const double> xh, std::span<double> v, std::span<double> dv)
    : T(temperature) {
  for (size_t i = 0; i < lv.size(); ++i) {
    double dp;
    lv[i].eval(T, P, v[i], dv[i], dp);
    va += xh[i] * v[i];
    dva += xh[i] * dv[i];
    dpa += xh[i] * dp;
    tpc += xh[i] * lv[i].tc();
  }
  const double span = (1.0 - kLiquidLimit) * tpc;
  const double u = (T - kLiquidLimit * tpc) / span;
  if (u <= 0) {
    w = dw = 0;
  } else if (u >= 1) {
    w = 1;
    dw = 0;
  } else {
    w = u * u * (3.0 - 2.0 * u);
    dw = 6.0 * u * (1.0 - u) / span;
  }
}

std::string liquid_density_fallbacks(const std::vector<const Component*>& comps) {
  std::string ids;
  for (const Component* c : comps)
    if (c && c->dens_form == Component::LiquidDensity::None) ids += (ids.empty() ? "" : ", ") + c->id;
  return ids;
}

}  // namespace r3::thermo::detail
