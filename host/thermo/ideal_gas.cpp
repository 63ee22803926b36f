// Ideal-gas heat capacity, enthalpy and entropy of a component; the
// Lee-Kesler vapour pressure and the Rackett liquid volume shared by the
// property methods.
#include <algorithm>
#include <cmath>

#include "host/thermo/internal.h"

namespace r3::thermo::detail {

namespace {
constexpr double kGx[4] = {0.1834346424956498, 0.5255324099163290, 0.7966664774136267,
                           0.9602898564975363};
constexpr double kGw[4] = {0.3626837833783620, 0.3137066458778873, 0.2223810344533745,
                           0.1012285362903763};
}  // namespace

IdealGasCp::IdealGasCp(const Component& c) {
  for (int k = 0; k < 5; ++k) a_[k] = c.cp[k] * kRcp;
  tmin_ = c.cp_tmin;
  tmax_ = c.cp_tmax;
  hf_ = c.hf298;
  auto poly = [&](double T) {
    return a_[0] + T * (a_[1] + T * (a_[2] + T * (a_[3] + T * a_[4])));
  };
  cpmin_ = poly(tmin_);
  const bool wide = c.cs16[0] != 0 && c.cs16_tmax > tmax_;
  A_ = c.cs16[0];
  B_ = c.cs16[1];
  C_ = c.cs16[2];
  D_ = c.cs16[3];
  E_ = c.cs16[4];
  exp_term_ = B_ != 0 || C_ != 0 || D_ != 0 || E_ != 0;
  t2_ = wide ? c.cs16_tmax : tmax_;
  shift_ = 0;
  if (wide) {
    double raw = A_ + (exp_term_ ? std::exp(B_ / tmax_ + C_ + D_ * tmax_ + E_ * tmax_ * tmax_) : 0);
    shift_ = poly(tmax_) - raw;
  }
  cptop_ = wide ? cp2(t2_) : poly(tmax_);
  // Anchors of the piecewise integrals (from cp_tmin).
  hmax_ = smax_ = 0;
  ph_min_ = poly_h(tmin_);
  ps_min_ = poly_s(tmin_);
  hmax_ = poly_h(tmax_) - ph_min_;
  smax_ = poly_s(tmax_) - ps_min_;
  h2_ = hmax_;
  s2_ = smax_;
  if (wide) {
    double hi = 0, si = 0;
    integrals(t2_, hi, &si);
    h2_ = hi;
    s2_ = si;
  }
  integrals(kTref, href_, &sref_);
}

// Antiderivatives of the polynomial Cp and Cp/T.
double IdealGasCp::poly_h(double T) const {
  return T * (a_[0] + T * (a_[1] / 2 + T * (a_[2] / 3 + T * (a_[3] / 4 + T * a_[4] / 5))));
}
double IdealGasCp::poly_s(double T) const {
  return a_[0] * std::log(T) + T * (a_[1] + T * (a_[2] / 2 + T * (a_[3] / 3 + T * a_[4] / 4)));
}

double IdealGasCp::cp2(double T) const {
  return A_ + shift_ + (exp_term_ ? std::exp(B_ / T + C_ + D_ * T + E_ * T * T) : 0);
}

double IdealGasCp::dcp2(double T) const {
  if (!exp_term_) return 0;
  return std::exp(B_ / T + C_ + D_ * T + E_ * T * T) * (-B_ / (T * T) + D_ + 2 * E_ * T);
}

void IdealGasCp::cp(double T, double& cp, double& dcp) const {
  if (T < tmin_) {
    cp = cpmin_;
    dcp = 0;
  } else if (T <= tmax_) {
    cp = a_[0] + T * (a_[1] + T * (a_[2] + T * (a_[3] + T * a_[4])));
    dcp = a_[1] + T * (2 * a_[2] + T * (3 * a_[3] + T * 4 * a_[4]));
  } else if (T <= t2_) {
    cp = cp2(T);
    dcp = dcp2(T);
  } else {
    cp = cptop_;
    dcp = 0;
  }
}

void IdealGasCp::integrals(double T, double& hi, double* si) const {
  if (T <= tmin_) {
    hi = cpmin_ * (T - tmin_);
    if (si) *si = cpmin_ * std::log(T / tmin_);
    return;
  }
  if (T <= tmax_) {
    hi = poly_h(T) - ph_min_;
    if (si) *si = poly_s(T) - ps_min_;
    return;
  }
  if (T <= t2_) {
    // Wide-range piece from cp_tmax to T by composite 8-point Gauss-Legendre
    // on panels of at most 125 K.
    const int panels = std::max(1, static_cast<int>(std::ceil((T - tmax_) / 125.0)));
    const double w = (T - tmax_) / panels;
    double h = 0, s = 0;
    for (int p = 0; p < panels; ++p) {
      const double mid = tmax_ + (p + 0.5) * w;
      for (int k = 0; k < 4; ++k)
        for (int sign = -1; sign <= 1; sign += 2) {
          const double t = mid + sign * kGx[k] * 0.5 * w;
          const double c = cp2(t);
          h += kGw[k] * c;
          s += kGw[k] * c / t;
        }
    }
    hi = hmax_ + 0.5 * w * h;
    if (si) *si = smax_ + 0.5 * w * s;
    return;
  }
  // Constant Cp above the top of the wide-range form (or of the polynomial).
  hi = h2_ + cptop_ * (T - t2_);
  if (si) *si = s2_ + cptop_ * std::log(T / t2_);
}

void IdealGasCp::h_s(double T, double& h, double& s0) const {
  double hi = 0, si = 0;
  integrals(T, hi, &si);
  h = hf_ + hi - href_;
  s0 = si - sref_;
}

double IdealGasCp::h(double T) const {
  double hi = 0;
  integrals(T, hi, nullptr);
  return hf_ + hi - href_;
}

Jet ln_psat_reduced(const Component& c, double T) {
  const double w = c.omega;
  if (T < c.tc) {
    Jet tr = Jet::var(T);
    tr = (1.0 / c.tc) * tr;
    Jet itr = inv(tr), ltr = log(tr), tr6 = pow(tr, 6.0);
    Jet f0 = 5.92714 - (6.09648 * itr + 1.28862 * ltr - 0.169347 * tr6);
    Jet f1 = 15.2518 - (15.6875 * itr + 13.4721 * ltr - 0.43577 * tr6);
    return f0 + w * f1;
  }
  // Value and slope (in Tr) at Tr = 1, continued as L1 + m (1 - 1/Tr).
  const double l1 = (5.92714 - 6.09648 + 0.169347) + w * (15.2518 - 15.6875 + 0.43577);
  const double m = (6.09648 - 1.28862 + 6 * 0.169347) + w * (15.6875 - 13.4721 + 6 * 0.43577);
  Jet tr = (1.0 / c.tc) * Jet::var(T);
  return (m * (1.0 - inv(tr))) + l1;
}

void rackett(const Component& c, double T, double& v, double& dv) {
  const double v0 = kGasConstant * c.tc / c.pc;
  const double tr = T / c.tc;
  if (tr >= 1.0) {
    v = v0 * c.zra;
    dv = 0;
    return;
  }
  const double u = std::pow(1.0 - tr, 2.0 / 7.0);
  v = v0 * std::pow(c.zra, 1.0 + u);
  dv = v * std::log(c.zra) * (2.0 / 7.0) * u / (1.0 - tr) * (-1.0 / c.tc);
}

}  // namespace r3::thermo::detail
