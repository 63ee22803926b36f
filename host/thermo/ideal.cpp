// The IDEAL method: ideal-gas vapour, ideal-solution liquid with Lee-Kesler
// vapour pressures (Raoult's law), a vaporisation enthalpy consistent with
// them and correlated liquid volumes (LiquidVolume).
#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "host/thermo/internal.h"

namespace r3::thermo::detail {

namespace {

class IdealModel final : public Model {
 public:
  explicit IdealModel(std::vector<const Component*> comps) : Model(std::move(comps)) {
    const size_t n = components_.size();
    ig_.reserve(n);
    for (auto* c : components_) {
      ig_.emplace_back(*c);
      lv_.emplace_back(*c);
    }
    xh_.resize(n);
    h_.resize(n);
    cp_.resize(n);
    dcp_.resize(n);
    s_.resize(n);
    ds_.resize(n);
    lnps_.resize(n);
    dlnps_.resize(n);
    v_.resize(n);
    dv_.resize(n);
  }
  Method method() const override { return Method::Ideal; }

  Status enthalpy(Phase ph, double T, double P, std::span<const double> x, double& h,
                  Gradient* g) const override {
    double s;
    if (!prepare(ph, T, P, x, g, s)) return Status::Failed;
    double cp = 0;
    h = 0;
    for (int i = 0; i < size(); ++i) {
      h += xh_[i] * h_[i];
      cp += xh_[i] * cp_[i];
    }
    if (g) {
      g->dT = cp;
      g->dP = 0;
      per_component_gradient(g->dx, h_, s);
    }
    return Status::Ok;
  }

  Status entropy(Phase ph, double T, double P, std::span<const double> x, double& sm,
                 Gradient* g) const override {
    double s;
    if (!prepare(ph, T, P, x, g, s)) return Status::Failed;
    const double R = kGasConstant;
    double mix = 0, dsdt = 0;
    sm = 0;
    for (int i = 0; i < size(); ++i) {
      sm += xh_[i] * s_[i];
      dsdt += xh_[i] * ds_[i];
      if (xh_[i] > 0) mix -= R * xh_[i] * std::log(xh_[i]);
    }
    sm += mix;
    if (ph == Phase::Vapour) sm -= R * std::log(P / kPref);
    if (g) {
      g->dT = dsdt;
      g->dP = ph == Phase::Vapour ? -R / P : 0.0;
      if (!g->dx.empty()) {
        for (int i = 0; i < size(); ++i)
          g->dx[i] = s_[i] - R * (std::log(std::max(xh_[i], 1e-300)) + 1.0);
        project(g->dx, xh_, s);
      }
    }
    return Status::Ok;
  }

  Status heat_capacity(Phase ph, double T, double P, std::span<const double> x, double& cp,
                       Gradient* g) const override {
    double s;
    if (!prepare(ph, T, P, x, g, s)) return Status::Failed;
    double d = 0;
    cp = 0;
    for (int i = 0; i < size(); ++i) {
      cp += xh_[i] * cp_[i];
      d += xh_[i] * dcp_[i];
    }
    if (g) {
      g->dT = d;
      g->dP = 0;
      per_component_gradient(g->dx, cp_, s);
    }
    return Status::Ok;
  }

  Status molar_volume(Phase ph, double T, double P, std::span<const double> x, double& v,
                      Gradient* g) const override {
    double s;
    if (!prepare(ph, T, P, x, g, s)) return Status::Failed;
    const double R = kGasConstant;
    if (ph == Phase::Vapour) {
      v = R * T / P;
      if (g) {
        g->dT = R / P;
        g->dP = -v / P;
        for (auto& d : g->dx) d = 0;
      }
      return Status::Ok;
    }
    // The components' liquid volumes mixed by mole fraction, passing
    // smoothly to the ideal gas between 0.95 and 1.0 times the
    // pseudo-critical temperature sum(x Tc).
    const LiquidMix mix(lv_, T, P, xh_, v_, dv_);
    const double vg = R * T / P;
    v = mix.volume(vg);
    if (!std::isfinite(v) || !(v > 0)) return Status::Failed;
    if (g) {
      g->dT = mix.dT(vg, mix.w * R / P);
      g->dP = mix.dP(-mix.w * vg / P);
      if (!g->dx.empty()) {
        for (int i = 0; i < size(); ++i) g->dx[i] = mix.dx(v_[i], component(i).tc, vg);
        project(g->dx, xh_, s);
      }
    }
    return Status::Ok;
  }

  Status compressibility(Phase ph, double T, double P, std::span<const double> x,
                         double& z) const override {
    double v;
    Status st = molar_volume(ph, T, P, x, v, nullptr);
    if (st == Status::Failed) return st;
    z = P * v / (kGasConstant * T);
    return st;
  }

  Status ln_fugacity_coefficients(Phase ph, double T, double P, std::span<const double> x,
                                  std::span<double> ln_phi,
                                  const LnPhiDerivatives* d) const override {
    const int n = size();
    double s;
    if (static_cast<int>(ln_phi.size()) != n) return Status::Failed;
    if (d && !((d->dT.empty() || static_cast<int>(d->dT.size()) == n) &&
               (d->dP.empty() || static_cast<int>(d->dP.size()) == n) &&
               (d->dx.empty() || static_cast<int>(d->dx.size()) == n * n)))
      return Status::Failed;
    if (!prepare(ph, T, P, x, nullptr, s)) return Status::Failed;
    const bool liq = ph == Phase::Liquid;
    for (int i = 0; i < n; ++i) ln_phi[i] = liq ? lnps_[i] - std::log(P) : 0.0;
    if (d) {
      for (int i = 0; i < static_cast<int>(d->dT.size()); ++i) d->dT[i] = liq ? dlnps_[i] : 0.0;
      for (auto& v : d->dP) v = liq ? -1.0 / P : 0.0;
      for (auto& v : d->dx) v = 0;
    }
    return Status::Ok;
  }

  Status vapour_pressure(int i, double T, double& psat) const override {
    if (i < 0 || i >= size() || !std::isfinite(T) || T < 1.0) return Status::Failed;
    const Component& c = component(i);
    psat = c.pc * std::exp(ln_psat_reduced(c, T).v);
    return T > c.tc ? Status::Extrapolated : Status::Ok;
  }

 private:
  // Normalises x and evaluates the per-component properties of the phase at T.
  bool prepare(Phase ph, double T, double P, std::span<const double> x, const Gradient* g,
               double& s) const {
    const int n = size();
    if (!valid_state(T, P, x, n, s) || !valid_gradient(g, n)) return false;
    if (ph != Phase::Vapour && ph != Phase::Liquid) return false;
    const double R = kGasConstant;
    for (int i = 0; i < n; ++i) {
      xh_[i] = x[i] / s;
      double hig, s0, cpig, dcpig;
      ig_[i].h_s(T, hig, s0);
      ig_[i].cp(T, cpig, dcpig);
      if (ph == Phase::Vapour) {
        h_[i] = hig;
        cp_[i] = cpig;
        dcp_[i] = dcpig;
        s_[i] = s0;
        ds_[i] = cpig / T;
        continue;
      }
      const Component& c = component(i);
      Jet lnpr = ln_psat_reduced(c, T);
      lnps_[i] = lnpr.v + std::log(c.pc);
      dlnps_[i] = lnpr.d1;
      // Vaporisation enthalpy: Clausius-Clapeyron on the vapour-pressure
      // curve times the Haggenmacher compressibility difference
      // dZ = sqrt(1 - Pr/Tr^3), which vanishes at the critical point.
      Jet dh{};
      if (T < c.tc) {
        Jet tr = (1.0 / c.tc) * Jet::var(T);
        Jet q = 1.0 - exp(lnpr) / (tr * tr * tr);
        if (q.v > 1e-12) {
          Jet dlnp{lnpr.d1, lnpr.d2, lnpr.d3, 0};
          dh = R * (Jet::var(T) * Jet::var(T) * dlnp * sqrt(q));
        }
      }
      h_[i] = hig - dh.v;
      cp_[i] = cpig - dh.d1;
      dcp_[i] = dcpig - dh.d2;
      // Saturated vapour at Psat condensed at T: S_L = S_ig(T, Psat) - dHvap/T,
      // independent of pressure (so that G_L = G_ig(T, Psat)).
      s_[i] = s0 - R * (lnps_[i] - std::log(kPref)) - dh.v / T;
      ds_[i] = cpig / T - R * lnpr.d1 - dh.d1 / T + dh.v / (T * T);
    }
    return true;
  }

  void per_component_gradient(std::span<double> dx, const std::vector<double>& f, double s) const {
    if (dx.empty()) return;
    for (int i = 0; i < size(); ++i) dx[i] = f[i];
    project(dx, xh_, s);
  }

  std::vector<IdealGasCp> ig_;
  std::vector<LiquidVolume> lv_;
  mutable std::vector<double> xh_, h_, cp_, dcp_, s_, ds_, lnps_, dlnps_, v_, dv_;
};

}  // namespace

std::unique_ptr<Model> make_ideal_model(const std::vector<const Component*>& comps) {
  return std::make_unique<IdealModel>(comps);
}

}  // namespace r3::thermo::detail
