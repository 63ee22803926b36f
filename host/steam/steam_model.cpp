// The steam-table property method: pure water from IAPWS-IF97 in the
// property engine's molar units (J/kmol, J/(kmol K), m3/kmol).
//
// Phase branches at (T, P):
//  * above the critical temperature there is one fluid: both phases give the
//    stable state;
//  * below it, the requested phase's stable state when the phase is stable
//    (liquid at P >= psat(T), vapour at P <= psat(T));
//  * otherwise the metastable continuation of that phase, reported as
//    Status::Extrapolated: superheated liquid from region 1 (T <= 623.15 K) or
//    the dense root of region 3; supercooled vapour from the metastable-vapour
//    equation (P <= 10 MPa), the region-2 equation beyond it, or the light
//    root of region 3. When the continuation does not exist (region 3 beyond
//    its spinodal) the other phase's stable state is returned, Extrapolated.
//
// The reference state is that of the steam tables (u = s = 0 for the
// saturated liquid at the triple point). The gas constant is the steam
// tables' own, R = 0.461526 kJ/(kg K) x 18.015268 kg/kmol, so that ln phi,
// Z and their derivatives are consistent with h, s and v.
#include <algorithm>
#include <cctype>
#include <cmath>

#include "host/steam/if97.h"
#include "host/steam/if97_detail.h"
#include "host/thermo/thermo.h"

namespace r3::thermo {
namespace {

namespace st = r3::steam;
namespace sd = r3::steam::detail;

constexpr double kMw = 18.015268;  // kg/kmol

bool in_range(double T, double P) {
  if (!(std::isfinite(T) && std::isfinite(P))) return false;
  if (!(P > 0 && P <= st::kPmax)) return false;
  if (!(T >= st::kTmin - st::kTminTolerance && T <= st::kTmax)) return false;
  if (T > st::kT25 && P > st::kPmax5) return false;
  return true;
}

bool region3_branch(double T, double P, st::Branch b, sd::Props& o, bool third) {
  double rho;
  return sd::region3_density(P, T, b, rho) && sd::region3(rho, T, o, third);
}

Status branch(Phase phase, double T, double P, sd::Props& o, bool third) {
  if (!in_range(T, P)) return Status::Failed;
  if (T >= st::kTc) return sd::stable_props(P, T, o, third) ? Status::Ok : Status::Failed;
  double ps;
  if (st::psat(T, ps) != st::Status::Ok) return Status::Failed;
  const st::Branch b = phase == Phase::Liquid ? st::Branch::Liquid : st::Branch::Vapour;
  if (phase == Phase::Liquid ? P >= ps : P <= ps) {
    return sd::phase_props(P, T, b, o, third) ? Status::Ok : Status::Failed;
  }
  bool ok;
  if (phase == Phase::Liquid) {
    ok = T <= st::kT13 ? sd::region1(P, T, o, third)
                       : region3_branch(T, P, st::Branch::Liquid, o, third);
  } else if (T <= st::kT13) {
    ok = sd::region2(P, T, P <= 10e6, o, third);
  } else {
    ok = region3_branch(T, P, st::Branch::Vapour, o, third);
  }
  if (!ok) ok = sd::stable_props(P, T, o, third);
  return ok ? Status::Extrapolated : Status::Failed;
}

// The wet state of vapour fraction beta at p (triple-point pressure to the
// critical pressure): saturated liquid and vapour at Tsat(p), mixed.
st::Status saturated_mixture(double p, double beta, st::State& s) {
  double T;
  if (!(beta >= 0 && beta <= 1) || !(p < st::kPc)) return st::Status::OutOfRange;
  const st::Status rc = st::tsat(p, T);
  if (rc != st::Status::Ok) return rc;
  sd::Props l, g;
  if (!sd::phase_props(p, T, st::Branch::Liquid, l, false) ||
      !sd::phase_props(p, T, st::Branch::Vapour, g, false))
    return st::Status::NoConvergence;
  s = l.st;
  s.T = T;
  s.p = p;
  s.quality = beta;
  s.v = l.st.v + beta * (g.st.v - l.st.v);
  s.h = l.st.h + beta * (g.st.h - l.st.h);
  s.s = l.st.s + beta * (g.st.s - l.st.s);
  s.u = s.h - p * s.v;
  s.region = 4;
  return st::Status::Ok;
}

// One component, water, in a positive finite amount: as the other methods,
// a zero or negative composition is refused, not treated as pure water.
bool composition_ok(std::span<const double> x) {
  return x.size() == 1 && std::isfinite(x[0]) && x[0] > 0.0;
}

void zero_dx(std::span<double> dx) { std::fill(dx.begin(), dx.end(), 0.0); }

class SteamTableModel final : public Model {
 public:
  explicit SteamTableModel(std::vector<const Component*> c) : Model(std::move(c)) {}
  Method method() const override { return Method::SteamTable; }

  Status enthalpy(Phase ph, double T, double P, std::span<const double> x, double& h,
                  Gradient* g) const override {
    sd::Props o;
    const Status s = eval(ph, T, P, x, o, false);
    if (s == Status::Failed) return s;
    h = o.st.h * kMw;
    if (g) {
      g->dT = o.st.cp * kMw;
      g->dP = (o.st.v - T * o.dv_dT) * kMw;
      zero_dx(g->dx);
    }
    return s;
  }

  Status entropy(Phase ph, double T, double P, std::span<const double> x, double& sv,
                 Gradient* g) const override {
    sd::Props o;
    const Status s = eval(ph, T, P, x, o, false);
    if (s == Status::Failed) return s;
    sv = o.st.s * kMw;
    if (g) {
      g->dT = o.st.cp / T * kMw;
      g->dP = -o.dv_dT * kMw;
      zero_dx(g->dx);
    }
    return s;
  }

  Status heat_capacity(Phase ph, double T, double P, std::span<const double> x, double& cp,
                       Gradient* g) const override {
    sd::Props o;
    const Status s = eval(ph, T, P, x, o, g != nullptr);
    if (s == Status::Failed) return s;
    cp = o.st.cp * kMw;
    if (g) {
      g->dT = o.dcp_dT * kMw;
      g->dP = o.dcp_dp * kMw;
      zero_dx(g->dx);
    }
    return s;
  }

  Status molar_volume(Phase ph, double T, double P, std::span<const double> x, double& v,
                      Gradient* g) const override {
    sd::Props o;
    const Status s = eval(ph, T, P, x, o, false);
    if (s == Status::Failed) return s;
    v = o.st.v * kMw;
    if (g) {
      g->dT = o.dv_dT * kMw;
      g->dP = o.dv_dp * kMw;
      zero_dx(g->dx);
    }
    return s;
  }

  Status compressibility(Phase ph, double T, double P, std::span<const double> x,
                         double& z) const override {
    sd::Props o;
    const Status s = eval(ph, T, P, x, o, false);
    if (s == Status::Failed) return s;
    z = P * o.st.v / (st::kR * T);
    return s;
  }

  // ln phi = (g - g_ig) / (R T), the ideal gas being the ideal-gas part of
  // the region-2 equation at the same (T, P); d/dT = -(h - h_ig) / (R T^2),
  // d/dP = v / (R T) - 1 / P.
  Status ln_fugacity_coefficients(Phase ph, double T, double P, std::span<const double> x,
                                  std::span<double> ln_phi,
                                  const LnPhiDerivatives* d) const override {
    if (ln_phi.size() != 1) return Status::Failed;
    sd::Props o;
    const Status s = eval(ph, T, P, x, o, false);
    if (s == Status::Failed) return s;
    double gig, hig;
    sd::ideal_gas(P, T, gig, hig);
    const double RT = st::kR * T;
    ln_phi[0] = o.g / RT - gig;
    if (!std::isfinite(ln_phi[0])) return Status::Failed;
    if (d) {
      if (!d->dT.empty()) d->dT[0] = -(o.st.h - hig) / (RT * T);
      if (!d->dP.empty()) d->dP[0] = o.st.v / RT - 1.0 / P;
      zero_dx(d->dx);
    }
    return s;
  }

  // Every flash of pure water is answered from the steam tables' own state
  // functions: the whole range of IAPWS-IF97 (the high-temperature region
  // included) and the saturation line from the triple point to the critical
  // point, with the vapour fraction of a wet state exact to round-off.
  bool own_flash(FlashSpec spec, double P, double value, std::span<const double> z,
                 FlashResult& r) const override {
    r = FlashResult{};
    r.P = P;
    r.status = Status::Failed;
    if (z.size() != 1 || !(std::isfinite(z[0]) && z[0] > 0)) return true;
    st::State s;
    st::Status rc = st::Status::OutOfRange;
    switch (spec) {
      case FlashSpec::TP: rc = st::state_pT(P, value, s); break;
      case FlashSpec::PH: rc = st::state_ph(P, value / kMw, s); break;
      case FlashSpec::PS: rc = st::state_ps(P, value / kMw, s); break;
      case FlashSpec::PV: rc = saturated_mixture(P, value, s); break;
    }
    if (rc != st::Status::Ok) return true;
    r.T = s.T;
    r.beta = s.quality;
    r.H = s.h * kMw;
    r.S = s.s * kMw;
    r.x = {1.0};
    r.y = {1.0};
    r.status = Status::Ok;
    return true;
  }

  Status vapour_pressure(int i, double T, double& psat) const override {
    if (i != 0) return Status::Failed;
    double p;
    if (st::psat(T, p) != st::Status::Ok) return Status::Failed;
    psat = p;
    return Status::Ok;
  }

 private:
  static Status eval(Phase ph, double T, double P, std::span<const double> x, sd::Props& o,
                     bool third) {
    if (!composition_ok(x)) return Status::Failed;
    if (ph != Phase::Liquid && ph != Phase::Vapour) return Status::Failed;
    return branch(ph, T, P, o, third);
  }
};

bool is_water(const std::string& id) {
  if (id.size() != 3) return false;
  return std::toupper(static_cast<unsigned char>(id[0])) == 'H' && id[1] == '2' &&
         std::toupper(static_cast<unsigned char>(id[2])) == 'O';
}

}  // namespace

// r3host is a static library and the property engine carries a weak stand-in
// for make_steam_table_model: this object would not be pulled into a link on
// that symbol alone. Every program linking r3host is told to require this
// anchor (host/steam/CMakeLists.txt), which brings the real definition in.
extern "C" {
extern const int r3_steam_model_link_anchor;
const int r3_steam_model_link_anchor = 1;
}

std::unique_ptr<Model> make_steam_table_model(const std::vector<const Component*>& components,
                                              std::string* error) {
  if (components.size() != 1 || components[0] == nullptr) {
    if (error) *error = "the steam-table method serves exactly one component, water (H2O)";
    return nullptr;
  }
  if (!is_water(components[0]->id)) {
    if (error) *error = "the steam-table method serves only water (H2O), not '" +
                        components[0]->id + "'";
    return nullptr;
  }
  return std::make_unique<SteamTableModel>(components);
}

}  // namespace r3::thermo
