// The PENG-ROB method: Peng-Robinson equation of state with the standard
// alpha function (kappa of 1976, of 1978 for omega > 0.491), or the Twu
// alpha function for the polar components listed in data/alpha.tsv,
// and van der Waals one-fluid mixing with binary
// interaction parameters (published values from data/kij.tsv, user
// overrides). Residual properties are written once in a small forward-mode
// dual number over (T, P, a, da/dT, d2a/dT2, b); the chain rule through the
// mixing rules gives exact derivatives with respect to T, P and the
// composition entries handed in. Calls that want no derivatives (ln phi,
// enthalpy) take a path in plain doubles that performs the same operations
// on the values, so both paths give the same numbers.
#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "host/thermo/internal.h"

namespace r3::thermo::detail {

namespace {

constexpr double kSqrt2 = 1.4142135623730951;
constexpr double kOmegaA = 0.45723552892138218;  // 0.45724
constexpr double kOmegaB = 0.077796073903888455;  // 0.07780

// Value and derivatives along (T, P, a, a1, a2, b).
using D = Dual<6>;

// Real roots of Z^3 + c2 Z^2 + c1 Z + c0 above zmin; returns their count
// (1..3) with the smallest in lo and the largest in hi. The largest real
// root is found first (trigonometric or Cardano form, Newton-polished), the
// other two from the deflated quadratic in its cancellation-free form, so a
// liquid root many orders of magnitude below the vapour root keeps its
// relative accuracy.
int cubic_roots(double c2, double c1, double c0, double zmin, double& lo, double& hi) {
  auto polish = [&](double z) {
    for (int it = 0; it < 4; ++it) {
      const double f = ((z + c2) * z + c1) * z + c0;
      const double df = (3.0 * z + 2.0 * c2) * z + c1;
      if (df == 0 || !std::isfinite(df)) break;
      const double dz = f / df;
      z -= dz;
      if (std::abs(dz) <= 1e-16 * std::abs(z)) break;
    }
    return z;
  };
  const double p = c1 - c2 * c2 / 3.0;
  const double q = 2.0 * c2 * c2 * c2 / 27.0 - c2 * c1 / 3.0 + c0;
  const double disc = q * q / 4.0 + p * p * p / 27.0;
  double z1;
  if (disc > 0) {
    const double sd = std::sqrt(disc);
    z1 = std::cbrt(-q / 2.0 + sd) + std::cbrt(-q / 2.0 - sd) - c2 / 3.0;
  } else {
    const double m = 2.0 * std::sqrt(std::max(-p / 3.0, 0.0));
    const double arg = m > 0 ? std::clamp(3.0 * q / (p * m), -1.0, 1.0) : 0.0;
    z1 = m * std::cos(std::acos(arg) / 3.0) - c2 / 3.0;  // the largest of three
  }
  z1 = polish(z1);
  double roots[5] = {z1, 0, 0, 0, 0};
  int nr = 1;
  auto quadratic = [&](double qa, double qb, double qc) {  // qa Z^2 + qb Z + qc
    const double d2 = qb * qb - 4.0 * qa * qc;
    if (!(d2 >= 0) || qa == 0) return;
    const double t = -0.5 * (qb + std::copysign(std::sqrt(d2), qb));
    if (t == 0) return;
    roots[nr++] = polish(t / qa);
    roots[nr++] = polish(qc / t);
  };
  // Z^2 + e1 Z + e0 after dividing out (Z - z1).
  const double e1 = c2 + z1;
  quadratic(1.0, e1, c1 + z1 * e1);
  // Tiny roots (a liquid at very low pressure, where the deflation cancels):
  // start from the quadratic that neglects Z^3.
  if (std::abs(z1) > 1e-3) quadratic(c2, c1, c0);
  int count = 0;
  lo = 1e300;
  hi = -1e300;
  for (int k = 0; k < nr; ++k) {
    const double z = roots[k];
    if (!(z > zmin) || !std::isfinite(z)) continue;
    // Keep genuine roots only (a polish from a poor start may not converge).
    const double scale = std::abs(z * z * z) + std::abs(c2 * z * z) + std::abs(c1 * z) + std::abs(c0);
    if (std::abs(((z + c2) * z + c1) * z + c0) > 1e-10 * scale) continue;
    ++count;
    lo = std::min(lo, z);
    hi = std::max(hi, z);
  }
  return count;
}

// Compressibility root of the phase at dimensionless A, B.
bool select_root(Phase ph, double A, double B, double& z) {
  double lo, hi;
  const int n = cubic_roots(-(1.0 - B), A - 3.0 * B * B - 2.0 * B, -(A * B - B * B - B * B * B), B,
                            lo, hi);
  if (n == 0) return false;
  z = ph == Phase::Vapour ? hi : lo;
  return true;
}

// Mixture residual quantities as duals.
struct Residual {
  D z, hr, sr, cpr, v, g1, g2, g3;
};
// Which of them a call wants (z always): enthalpy, entropy, heat capacity,
// volume, the ln phi terms g1..g3.
enum : unsigned { kResH = 1, kResS = 2, kResCp = 4, kResV = 8, kResG = 16 };

bool residual(Phase ph, double T, double P, double a, double a1, double a2, double b,
              unsigned want, Residual& out) {
  const double R = kGasConstant;
  const D t = D::var(T, 0), p = D::var(P, 1), am = D::var(a, 2), am1 = D::var(a1, 3),
          am2 = D::var(a2, 4), bm = D::var(b, 5);
  const D rt = R * t;
  const D A = am * p / (rt * rt), B = bm * p / rt;
  double z0;
  if (!select_root(ph, A.v, B.v, z0)) return false;
  // Implicit differentiation of the cubic at the chosen root.
  const D zc = D::cst(z0);
  const D f = ((zc + (B - 1.0)) * zc + (A - 3.0 * (B * B) - 2.0 * B)) * zc - (A * B - B * B - B * B * B);
  const double fz = (3.0 * z0 - 2.0 * (1.0 - B.v)) * z0 + (A.v - 3.0 * B.v * B.v - 2.0 * B.v);
  if (!(std::abs(fz) > 0)) return false;
  D z = zc - (1.0 / fz) * f;
  z.v = z0;
  const D L = log((z + (1.0 + kSqrt2) * B) / (z + (1.0 - kSqrt2) * B));
  const D k = (1.0 / (2.0 * kSqrt2)) * (L / bm);  // L / (2 sqrt2 b)
  out.z = z;
  bool ok = true;
  if (want & kResH) {
    out.hr = rt * (z - 1.0) + (t * am1 - am) * k;
    ok = ok && std::isfinite(out.hr.v);
  }
  if (want & kResS) {
    out.sr = R * log(z - B) + am1 * k;
    ok = ok && std::isfinite(out.sr.v);
  }
  if (want & (kResV | kResCp)) out.v = z * rt / p;
  if (want & kResCp) {
    const D& v = out.v;
    const D vmb = v - bm;
    const D den = v * v + 2.0 * (bm * v) - bm * bm;
    const D dpdt = R * (D::cst(1.0) / vmb) - am1 / den;
    const D dpdv = D::cst(0.0) - rt / (vmb * vmb) + 2.0 * (am * (v + bm)) / (den * den);
    const D cvr = t * am2 * k;
    out.cpr = cvr - t * dpdt * dpdt / dpdv - R;
    ok = ok && std::isfinite(out.cpr.v);
  }
  if (want & kResG) {
    out.g1 = z - 1.0;
    out.g2 = log(z - B);
    out.g3 = am * k / rt;
    ok = ok && std::isfinite(out.g2.v);
  }
  return ok;
}

// The values of the residual quantities the value-only calls need: the same
// operations as residual() performs on the value parts of its duals.
struct ResidualValue {
  double z, hr, g1, g2, g3;
};

bool residual_value(Phase ph, double T, double P, double a, double a1, double b,
                    ResidualValue& out) {
  const double R = kGasConstant;
  const double rt = R * T;
  const double A = a * P / (rt * rt), B = b * P / rt;
  double z;
  if (!select_root(ph, A, B, z)) return false;
  const double fz = (3.0 * z - 2.0 * (1.0 - B)) * z + (A - 3.0 * B * B - 2.0 * B);
  if (!(std::abs(fz) > 0)) return false;
  const double L = std::log((z + (1.0 + kSqrt2) * B) / (z + (1.0 - kSqrt2) * B));
  const double k = (1.0 / (2.0 * kSqrt2)) * (L / b);
  out.z = z;
  out.hr = rt * (z - 1.0) + (T * a1 - a) * k;
  out.g1 = z - 1.0;
  out.g2 = std::log(z - B);
  out.g3 = a * k / rt;
  return std::isfinite(out.hr) && std::isfinite(out.g2);
}

class PengRobinsonModel final : public Model {
 public:
  explicit PengRobinsonModel(std::vector<const Component*> comps) : Model(std::move(comps)) {
    const size_t n = components_.size();
    const double R = kGasConstant;
    for (auto* c : components_) {
      ig_.emplace_back(*c);
      lv_.emplace_back(*c);
      const double sac = std::sqrt(kOmegaA * R * R * c->tc * c->tc / c->pc);
      TwuAlpha tw;
      if (twu_alpha(c->id, tw)) {
        // sqrt(a) = sqrt(ac) sqrt(alpha_Twu(T)), evaluated per call; its
        // linear coefficients stay zero so the sums below skip it.
        polar_.push_back({static_cast<int>(c0_.size()), sac, c->tc, tw});
        c0_.push_back(0.0);
        c1_.push_back(0.0);
      } else {
        // kappa(omega): the 1976 form, and for heavier or more polar
        // components (omega > 0.491) the 1978 form fitted to them.
        const double w = c->omega;
        const double kappa = w <= 0.491 ? 0.37464 + 1.54226 * w - 0.26992 * w * w
                                        : 0.379642 + 1.48503 * w - 0.164423 * w * w + 0.016666 * w * w * w;
        c0_.push_back(sac * (1.0 + kappa));
        c1_.push_back(sac * kappa / std::sqrt(c->tc));
      }
      b_.push_back(kOmegaB * R * c->tc / c->pc);
    }
    kij_.assign(n * n, 0.0);
    om_.assign(n * n, 1.0);
    polar_of_.assign(n, -1);
    for (size_t q = 0; q < polar_.size(); ++q) polar_of_[polar_[q].i] = static_cast<int>(q);
    rv_.resize(n);
    kp_.resize(n);
    r1_.resize(n);
    psi1_.resize(n);
    kp1_.resize(n);
    xh_.resize(n);
    r_.resize(n);
    psi_.resize(n);
    k0_.resize(n);
    k1_.resize(n);
    hig_.resize(n);
    s0_.resize(n);
    cpig_.resize(n);
    dcpig_.resize(n);
    vl_.resize(n);
    dvl_.resize(n);
  }
  Method method() const override { return Method::PengRobinson; }

  void set_kij(int i, int j, double k) {
    const int n = size();
    kij_[i * n + j] = kij_[j * n + i] = k;
    om_[i * n + j] = om_[j * n + i] = 1.0 - k;
    nz_.clear();
    for (int a = 0; a < n; ++a)
      for (int b = a + 1; b < n; ++b)
        if (kij_[a * n + b] != 0.0) nz_.push_back({a, b, kij_[a * n + b]});
  }

  Status enthalpy(Phase ph, double T, double P, std::span<const double> x, double& h,
                  Gradient* g) const override {
    double s;
    if (!g) {  // the value alone: no duals
      ResidualValue rv;
      if (!known(ph) || !mixture_value(T, P, x, s, kIdealH) ||
          !residual_value(ph, T, P, am1_.v, am1_.d[0], bm_, rv))
        return Status::Failed;
      h = rv.hr;
      for (int i = 0; i < size(); ++i) h += xh_[i] * hig_[i];
      return Status::Ok;
    }
    Residual res;
    if (!prepare(ph, T, P, x, g, s, kIdealH | kIdealCp, kResH, res)) return Status::Failed;
    h = res.hr.v;
    double dt = 0;
    for (int i = 0; i < size(); ++i) {
      h += xh_[i] * hig_[i];
      dt += xh_[i] * cpig_[i];
    }
    {
      g->dT = dt + total_dT(res.hr);
      g->dP = res.hr.d[1];
      comp_gradient(g->dx, res.hr, hig_.data(), s);
    }
    return Status::Ok;
  }

  Status entropy(Phase ph, double T, double P, std::span<const double> x, double& sm,
                 Gradient* g) const override {
    double s;
    Residual res;
    if (!prepare(ph, T, P, x, g, s, kIdealS | kIdealCp, kResS, res)) return Status::Failed;
    const double R = kGasConstant;
    sm = res.sr.v - R * std::log(P / kPref);
    double dt = 0;
    for (int i = 0; i < size(); ++i) {
      sm += xh_[i] * s0_[i];
      if (xh_[i] > 0) sm -= R * xh_[i] * std::log(xh_[i]);
      dt += xh_[i] * cpig_[i] / T;
    }
    if (g) {
      g->dT = dt + total_dT(res.sr);
      g->dP = -R / P + res.sr.d[1];
      if (!g->dx.empty()) {
        for (int i = 0; i < size(); ++i)
          hig_[i] = s0_[i] - R * (std::log(std::max(xh_[i], 1e-300)) + 1.0);  // scratch reuse
        comp_gradient(g->dx, res.sr, hig_.data(), s);
      }
    }
    return Status::Ok;
  }

  Status heat_capacity(Phase ph, double T, double P, std::span<const double> x, double& cp,
                       Gradient* g) const override {
    double s;
    Residual res;
    if (!prepare(ph, T, P, x, g, s, kIdealCp | kIdealDcp, kResCp, res)) return Status::Failed;
    cp = res.cpr.v;
    double dt = 0;
    for (int i = 0; i < size(); ++i) {
      cp += xh_[i] * cpig_[i];
      dt += xh_[i] * dcpig_[i];
    }
    if (g) {
      g->dT = dt + total_dT(res.cpr);
      g->dP = res.cpr.d[1];
      comp_gradient(g->dx, res.cpr, cpig_.data(), s);
    }
    return Status::Ok;
  }

  Status molar_volume(Phase ph, double T, double P, std::span<const double> x, double& v,
                      Gradient* g) const override {
    double s;
    Residual res;
    if (ph == Phase::Liquid) return liquid_volume(T, P, x, v, g);
    if (!prepare(ph, T, P, x, g, s, 0, kResV, res)) return Status::Failed;
    v = res.v.v;
    if (g) {
      g->dT = total_dT(res.v);
      g->dP = res.v.d[1];
      comp_gradient(g->dx, res.v, nullptr, s);
    }
    return Status::Ok;
  }

  Status compressibility(Phase ph, double T, double P, std::span<const double> x,
                         double& z) const override {
    double s;
    Residual res;
    if (!prepare(ph, T, P, x, nullptr, s, 0, 0, res)) return Status::Failed;
    z = res.z.v;
    return Status::Ok;
  }

  Status ln_fugacity_coefficients(Phase ph, double T, double P, std::span<const double> x,
                                  std::span<double> ln_phi,
                                  const LnPhiDerivatives* d) const override {
    const int n = size();
    if (static_cast<int>(ln_phi.size()) != n) return Status::Failed;
    if (d && !((d->dT.empty() || static_cast<int>(d->dT.size()) == n) &&
               (d->dP.empty() || static_cast<int>(d->dP.size()) == n) &&
               (d->dx.empty() || static_cast<int>(d->dx.size()) == n * n)))
      return Status::Failed;
    double s;
    if (!d) {  // the values alone: no duals
      ResidualValue rv;
      if (!known(ph) || !mixture_value(T, P, x, s, 0) ||
          !residual_value(ph, T, P, am1_.v, am1_.d[0], bm_, rv))
        return Status::Failed;
      const double a = am1_.v, b = bm_;
      for (int i = 0; i < n; ++i) {
        const double q = 2.0 * psi1_[i].v / a - b_[i] / b;
        ln_phi[i] = b_[i] / b * rv.g1 - rv.g2 - rv.g3 * q;
      }
      return Status::Ok;
    }
    Residual res;
    if (!prepare(ph, T, P, x, nullptr, s, 0, kResG, res)) return Status::Failed;
    const double a = am_.v, a1 = am_.d1, b = bm_;
    const D &g1 = res.g1, &g2 = res.g2, &g3 = res.g3;
    for (int i = 0; i < n; ++i) {
      const double q = 2.0 * psi_[i].v / a - b_[i] / b;
      ln_phi[i] = b_[i] / b * g1.v - g2.v - g3.v * q;
    }
    if (!d->dT.empty()) {
      const double G1 = g1.d[0] + g1.d[2] * a1, G2 = g2.d[0] + g2.d[2] * a1,
                   G3 = g3.d[0] + g3.d[2] * a1;
      for (int i = 0; i < n; ++i) {
        const double q = 2.0 * psi_[i].v / a - b_[i] / b;
        const double dq = 2.0 * psi_[i].d1 / a - 2.0 * psi_[i].v * a1 / (a * a);
        d->dT[i] = b_[i] / b * G1 - G2 - G3 * q - g3.v * dq;
      }
    }
    if (!d->dP.empty()) {
      for (int i = 0; i < n; ++i) {
        const double q = 2.0 * psi_[i].v / a - b_[i] / b;
        d->dP[i] = b_[i] / b * g1.d[1] - g2.d[1] - g3.d[1] * q;
      }
    }
    if (!d->dx.empty()) {
      for (int i = 0; i < n; ++i) {
        const double q = 2.0 * psi_[i].v / a - b_[i] / b;
        const double bi = b_[i] / b;
        double* row = &d->dx[static_cast<size_t>(i) * n];
        double mean = 0;
        for (int j = 0; j < n; ++j) {
          const double bj = b_[j] / b;
          const double G1 = g1.d[2] * 2.0 * psi_[j].v + g1.d[5] * b_[j];
          const double G2 = g2.d[2] * 2.0 * psi_[j].v + g2.d[5] * b_[j];
          const double G3 = g3.d[2] * 2.0 * psi_[j].v + g3.d[5] * b_[j];
          const double aij = om_[i * n + j] * rv_[i] * rv_[j];
          const double dq = 2.0 * aij / a - 4.0 * psi_[i].v * psi_[j].v / (a * a) + bi * bj;
          row[j] = -bi * bj * g1.v + bi * G1 - G2 - G3 * q - g3.v * dq;
          mean += xh_[j] * row[j];
        }
        for (int j = 0; j < n; ++j) row[j] = (row[j] - mean) / s;
      }
    }
    return Status::Ok;
  }

  Status vapour_pressure(int i, double T, double& psat) const override {
    if (i < 0 || i >= size() || !std::isfinite(T) || T < 1.0) return Status::Failed;
    const Component& c = component(i);
    if (T >= c.tc) {
      // No saturation above the critical temperature (the equation of state
      // reproduces Tc and Pc exactly): the Lee-Kesler curve continued.
      psat = c.pc * std::exp(ln_psat_reduced(c, T).v);
      return Status::Extrapolated;
    }
    const double R = kGasConstant;
    const int q = polar_of_[i];
    const double r = q < 0 ? c0_[i] - c1_[i] * std::sqrt(T)
                           : polar_[q].sac * twu_sqrt_alpha<Dual<1>>(polar_[q].p, polar_[q].tc, T).v;
    const double a = r * r, b = b_[i];
    auto lnphi = [&](double z, double A, double B) {
      return z - 1.0 - std::log(z - B) -
             A / (2.0 * kSqrt2 * B) * std::log((z + (1 + kSqrt2) * B) / (z + (1 - kSqrt2) * B));
    };
    // Safeguarded Newton on ln P for equal fugacities of the two roots,
    // d(ln phi_L - ln phi_V)/d ln P = Z_L - Z_V, inside a bracket [lo, hi]
    // that single-root pressures and the sign of the difference narrow.
    double lnp = std::log(c.pc) + ln_psat_reduced(c, T).v;
    double lo = -1e300, hi = 1e300, step = 0.1;
    for (int it = 0; it < 300; ++it) {
      const double P = std::exp(lnp);
      const double A = a * P / (R * T * R * T), B = b * P / (R * T);
      double zl, zv;
      const int nr = cubic_roots(-(1.0 - B), A - 3.0 * B * B - 2.0 * B,
                                 -(A * B - B * B - B * B * B), B, zl, zv);
      if (nr == 0) return Status::Failed;
      double next;
      if (nr == 1 || zv - zl <= 1e-10 * zv) {
        // One root: liquid-like (V/b below the critical 3.95) means P lies
        // above the three-root range, vapour-like below it.
        const bool liquid = zl / B < 3.95;
        (liquid ? hi : lo) = lnp;
        next = liquid ? lnp - step : lnp + step;
        step *= 2;
      } else {
        const double g = lnphi(zl, A, B) - lnphi(zv, A, B);
        if (std::abs(g) < 1e-12) {
          psat = P;
          return Status::Ok;
        }
        (g > 0 ? lo : hi) = lnp;
        next = lnp + std::clamp(g / (zv - zl), -0.5, 0.5);
        step = 0.1;
      }
      if (lo > -1e300 && hi < 1e300 && !(next > lo && next < hi)) next = 0.5 * (lo + hi);
      if (hi - lo < 1e-15 * std::abs(lnp)) break;
      lnp = next;
    }
    return Status::Failed;
  }

 private:
  // Liquid volume: the components' liquid volumes mixed ideally (by mole
  // fraction), passing smoothly to the equation of state's liquid root
  // between 0.95 and 1.0 times the pseudo-critical temperature sum(x Tc).
  Status liquid_volume(double T, double P, std::span<const double> x, double& v,
                       Gradient* g) const {
    const int n = size();
    double s;
    if (!valid_state(T, P, x, n, s) || !valid_gradient(g, n)) return Status::Failed;
    for (int i = 0; i < n; ++i) xh_[i] = x[i] / s;
    const LiquidMix mix(lv_, T, P, xh_, vl_, dvl_);
    const double w = mix.w;
    Residual res;
    if (w > 0 && !prepare(Phase::Liquid, T, P, x, g, s, 0, kResV, res)) return Status::Failed;
    const double ve = w > 0 ? res.v.v : 0.0;
    v = mix.volume(ve);
    if (!std::isfinite(v) || !(v > 0)) return Status::Failed;
    if (g) {
      g->dT = mix.dT(ve, w > 0 ? w * total_dT(res.v) : 0.0);
      g->dP = mix.dP(w > 0 ? w * res.v.d[1] : 0.0);
      if (!g->dx.empty()) {
        for (int j = 0; j < n; ++j) dvl_[j] = mix.dx(vl_[j], component(j).tc, ve);
        project(dvl_, xh_, s);
        if (w > 0) comp_gradient(g->dx, res.v, nullptr, s);
        for (int j = 0; j < n; ++j) g->dx[j] = (w > 0 ? w * g->dx[j] : 0.0) + dvl_[j];
      }
    }
    return Status::Ok;
  }

  static bool known(Phase ph) { return ph == Phase::Vapour || ph == Phase::Liquid; }

  // Which ideal-gas parts prepare() and mixture() evaluate.
  enum : unsigned { kIdealH = 1, kIdealS = 2, kIdealCp = 4, kIdealDcp = 8 };

  // Normalises x; evaluates the ideal-gas parts wanted, the mixture
  // parameters with their temperature derivatives and the residual duals.
  bool prepare(Phase ph, double T, double P, std::span<const double> x, const Gradient* g,
               double& s, unsigned ideal, unsigned want, Residual& res) const {
    if (!known(ph)) return false;
    if (!mixture(T, P, x, g, s, ideal)) return false;
    return residual(ph, T, P, am_.v, am_.d1, am_.d2, bm_, want, res);
  }

  // Normalises x into xh_ and evaluates the ideal-gas parts wanted and the
  // mixture parameters: a (am_, a jet in T), b (bm_), psi_i = sum_j x_j a_ij
  // (psi_, jets) and sqrt(a_i) (rv_).
  bool mixture(double T, double P, std::span<const double> x, const Gradient* g, double& s,
               unsigned ideal) const {
    double s0, s1;
    if (!normalise(T, P, x, g, s, ideal, s0, s1)) return false;
    mix(T, s0, s1, r_, psi_, kp_, am_);
    for (int i = 0; i < size(); ++i) rv_[i] = r_[i].v;
    return am_.v > 0 && bm_ > 0;
  }

  // The same with value and first temperature derivative only (am1_, psi1_):
  // for the calls that want no derivatives.
  bool mixture_value(double T, double P, std::span<const double> x, double& s,
                     unsigned ideal) const {
    double s0, s1;
    if (!normalise(T, P, x, nullptr, s, ideal, s0, s1)) return false;
    mix(T, s0, s1, r1_, psi1_, kp1_, am1_);
    return am1_.v > 0 && bm_ > 0;
  }

  // xh_, b, the sums s0 = sum x c0, s1 = sum x c1 and the ideal-gas parts wanted.
  bool normalise(double T, double P, std::span<const double> x, const Gradient* g, double& s,
                 unsigned ideal, double& s0, double& s1) const {
    const int n = size();
    if (!valid_state(T, P, x, n, s) || !valid_gradient(g, n)) return false;
    s0 = s1 = 0;
    bm_ = 0;
    for (int i = 0; i < n; ++i) {
      xh_[i] = x[i] / s;
      s0 += xh_[i] * c0_[i];
      s1 += xh_[i] * c1_[i];
      bm_ += xh_[i] * b_[i];
      if (ideal & kIdealS)
        ig_[i].h_s(T, hig_[i], s0_[i]);
      else if (ideal & kIdealH)
        hig_[i] = ig_[i].h(T);
      if (ideal & kIdealCp) ig_[i].cp(T, cpig_[i], dcpig_[i]);
    }
    return true;
  }

  // The mixing rule in jets J (Jet, Dual<1>) of T. With a_ij = (1 - kij) r_i r_j
  // and r_i = sqrt(a_i): psi_i = r_i (rm - kr_i), rm = sum_j x_j r_j and
  // kr_i = sum_j kij x_j r_j over the pairs with kij != 0 only. Every standard
  // r_j = c0_j - c1_j sqrt(T) is linear in sqrt(T), so its sums are two scalar
  // sums (s0, s1; k0_, k1_ for kr_i) times the one jet of sqrt(T); a Twu
  // component's r_j is a jet of its own, added to them.
  template <class J>
  void mix(double T, double s0, double s1, std::vector<J>& r, std::vector<J>& psi,
           std::vector<J>& kr, J& am) const {
    const int n = size();
    const J sq = sqrt(J::var(T));
    for (int i = 0; i < n; ++i) r[i] = J::cst(c0_[i]) - c1_[i] * sq;
    J rm = J::cst(s0) - s1 * sq;
    for (const Polar& p : polar_) {
      r[p.i] = p.sac * twu_sqrt_alpha<J>(p.p, p.tc, T);
      rm = rm + xh_[p.i] * r[p.i];
    }
    if (nz_.empty()) {
      for (int i = 0; i < n; ++i) psi[i] = r[i] * rm;
      am = rm * rm;
      return;
    }
    for (int i = 0; i < n; ++i) k0_[i] = k1_[i] = 0;
    for (const Pair& q : nz_) {
      k0_[q.i] += q.k * xh_[q.j] * c0_[q.j];
      k1_[q.i] += q.k * xh_[q.j] * c1_[q.j];
      k0_[q.j] += q.k * xh_[q.i] * c0_[q.i];
      k1_[q.j] += q.k * xh_[q.i] * c1_[q.i];
    }
    for (int i = 0; i < n; ++i) kr[i] = J::cst(k0_[i]) - k1_[i] * sq;
    if (!polar_.empty())
      for (const Pair& q : nz_) {
        if (polar_of_[q.j] >= 0) kr[q.i] = kr[q.i] + (q.k * xh_[q.j]) * r[q.j];
        if (polar_of_[q.i] >= 0) kr[q.j] = kr[q.j] + (q.k * xh_[q.i]) * r[q.i];
      }
    J a{};
    for (int i = 0; i < n; ++i) {
      psi[i] = r[i] * (rm - kr[i]);
      a = a + xh_[i] * psi[i];
    }
    am = a;
  }

  double total_dT(const D& q) const {
    return q.d[0] + q.d[2] * am_.d1 + q.d[3] * am_.d2 + q.d[4] * am_.d3;
  }

  // d/dx_j of a mixture property: an ideal part (per-component values f, or
  // none) plus the residual dual through a, da/dT, d2a/dT2 and b.
  void comp_gradient(std::span<double> dx, const D& q, const double* f, double s) const {
    if (dx.empty()) return;
    for (int j = 0; j < size(); ++j) {
      dx[j] = (f ? f[j] : 0.0) + q.d[2] * 2.0 * psi_[j].v + q.d[3] * 2.0 * psi_[j].d1 +
              q.d[4] * 2.0 * psi_[j].d2 + q.d[5] * b_[j];
    }
    project(dx, xh_, s);
  }

  std::vector<IdealGasCp> ig_;
  std::vector<LiquidVolume> lv_;
  std::vector<double> c0_, c1_, b_, kij_, om_;  // om_: 1 - kij
  struct Polar {  // a component with the Twu alpha
    int i;
    double sac, tc;  // sqrt(a) at Tc, Tc
    TwuAlpha p;
  };
  std::vector<Polar> polar_;
  std::vector<int> polar_of_;  // index into polar_, or -1
  struct Pair {
    int i, j;
    double k;
  };
  std::vector<Pair> nz_;  // the pairs with kij != 0 (i < j)
  mutable std::vector<double> xh_, hig_, s0_, cpig_, dcpig_, vl_, dvl_;
  mutable std::vector<Jet> r_, psi_, kp_;
  mutable std::vector<double> rv_;
  mutable std::vector<Dual<1>> r1_, psi1_, kp1_;
  mutable Dual<1> am1_{};
  mutable std::vector<double> k0_, k1_;
  mutable Jet am_{};
  mutable double bm_ = 0;
};

}  // namespace

std::unique_ptr<Model> make_pr_model(const std::vector<const Component*>& comps) {
  return std::make_unique<PengRobinsonModel>(comps);
}

bool set_binary_interaction(Model& m, int i, int j, double kij) {
  auto* pr = dynamic_cast<PengRobinsonModel*>(&m);
  if (!pr || i < 0 || j < 0 || i >= m.size() || j >= m.size() || !std::isfinite(kij)) return false;
  pr->set_kij(i, j, kij);
  return true;
}

}  // namespace r3::thermo::detail
