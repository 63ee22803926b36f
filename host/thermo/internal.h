// Shared pieces of the property engine: input checks, the projection of
// derivatives taken at normalised composition onto the entries handed in,
// the ideal-gas heat-capacity integrals and liquid volumes (the derivative
// types, Dual and Jet, are in dual.h).
#pragma once

#include <array>
#include <cmath>
#include <span>
#include <string_view>

#include "host/thermo/dual.h"
#include "host/thermo/thermo.h"

namespace r3::thermo::detail {

inline constexpr double kPref = 101325.0;         // Pa, entropy reference pressure
inline constexpr double kRcp = 8314.462618;       // J/(kmol K), the R the Cp/R polynomials were fitted with

// Checks T, P and a composition; on success returns sum(x) in s.
inline bool valid_state(double T, double P, std::span<const double> x, int n, double& s) {
  if (!(std::isfinite(T) && T >= 1.0 && std::isfinite(P) && P > 0.0)) return false;
  if (static_cast<int>(x.size()) != n || n <= 0) return false;
  s = 0;
  for (double v : x) {
    if (!std::isfinite(v) || v < 0.0) return false;
    s += v;
  }
  return s > 0.0 && std::isfinite(s);
}

inline bool valid_gradient(const Gradient* g, int n) {
  return g == nullptr || g->dx.empty() || static_cast<int>(g->dx.size()) == n;
}

// Turns derivatives with respect to independent mole fractions (taken at
// xh = x/s) into derivatives with respect to the unnormalised entries:
// dF/dx_j = (dF/dxh_j - sum_k xh_k dF/dxh_k) / s.
inline void project(std::span<double> d, std::span<const double> xh, double s) {
  double m = 0;
  for (size_t k = 0; k < d.size(); ++k) m += xh[k] * d[k];
  for (size_t k = 0; k < d.size(); ++k) d[k] = (d[k] - m) / s;
}

// Calls fn with the first N fields of every data row of a tab-separated
// table compiled into the library: the first line (the header) and empty
// lines are skipped; fields a row lacks are empty.
template <size_t N, class Fn>
void for_each_tsv_row(std::string_view t, Fn&& fn) {
  bool header = true;
  while (!t.empty()) {
    const size_t eol = t.find('\n');
    std::string_view line = t.substr(0, eol);
    t.remove_prefix(eol == std::string_view::npos ? t.size() : eol + 1);
    if (header || line.empty()) {
      header = false;
      continue;
    }
    std::array<std::string_view, N> f;
    for (auto& x : f) {
      const size_t tab = line.find('\t');
      x = line.substr(0, tab);
      line.remove_prefix(tab == std::string_view::npos ? line.size() : tab + 1);
    }
    fn(f);
  }
}

// Ideal-gas heat capacity of one component and its integrals.
//   T < cp_tmin:             Cp held at Cp(cp_tmin)
//   cp_tmin <= T <= cp_tmax: the Cp/R polynomial
//   cp_tmax < T <= t2:       the wide-range form, shifted to meet the polynomial at cp_tmax
//                            (t2 = its upper limit; t2 = cp_tmax when the form is absent)
//   T > t2:                  Cp held at Cp(t2)
// H and S are the exact integrals of this piecewise Cp (Gauss-Legendre
// quadrature on the wide-range piece, exact to rounding for its smooth
// integrand).
class IdealGasCp {
 public:
  IdealGasCp() = default;
  explicit IdealGasCp(const Component& c);
  // Cp, dCp/dT (J/(kmol K), J/(kmol K2)).
  void cp(double T, double& cp, double& dcp) const;
  // H_ig(T) = Hf298 + int_298.15^T Cp dT; S0(T) = int_298.15^T Cp/T dT.
  void h_s(double T, double& h, double& s0) const;
  // H_ig(T) alone (the same value h_s gives).
  double h(double T) const;

 private:
  double poly_h(double T) const;
  double poly_s(double T) const;
  double cp2(double T) const;  // wide-range form, shifted
  double dcp2(double T) const;
  void integrals(double T, double& hi, double* si) const;  // from cp_tmin; si skipped when null
  double a_[5] = {}, tmin_ = 0, tmax_ = 0, t2_ = 0, cpmin_ = 0, cptop_ = 0;
  double A_ = 0, B_ = 0, C_ = 0, D_ = 0, E_ = 0, shift_ = 0;
  bool exp_term_ = false;
  double hmax_ = 0, smax_ = 0, h2_ = 0, s2_ = 0;  // integrals from cp_tmin to cp_tmax and t2
  double href_ = 0, sref_ = 0, hf_ = 0, ph_min_ = 0, ps_min_ = 0;
};

// Lee-Kesler reduced vapour pressure ln(Psat/Pc) as a jet in T, continued
// above Tc linearly in 1/Tr with the slope it has at Tc.
Jet ln_psat_reduced(const Component& c, double T);

// Rackett saturated-liquid volume and dV/dT, held at its Tc value above Tc.
void rackett(const Component& c, double T, double& v, double& dv);

// Liquid molar volume of one component at (T, P) (m3/kmol) with dV/dT and
// dV/dP: the saturated-liquid correlation (DIPPR-105, water's IAPWS-IF97
// liquid, else Rackett) times the Thomson-Brobst-Hankinson compressed-liquid
// factor, up to 0.95 Tc; above that (a light solute in a heavier liquid) the
// volume is continued linearly in T with its relative slope there.
class LiquidVolume {
 public:
  LiquidVolume() = default;
  explicit LiquidVolume(const Component& c);
  void eval(double T, double P, double& v, double& dvdT, double& dvdP) const;
  // Volume without the continuation (T <= tx()).
  void base(double T, double P, double& v, double& dvdT, double& dvdP) const;
  double tx() const { return tx_; }
  double tc() const { return c_->tc; }

 private:
  const Component* c_ = nullptr;
  double tx_ = 0, k_ = 0, tbh_c_ = 0, tbh_e_ = 0;
};

// A liquid mixture's volume: the components' liquid volumes mixed by mole
// fraction, passing smoothly to a volume ve of the method's own (the
// equation of state's liquid root, the ideal gas) near and above the
// pseudo-critical temperature tpc = sum(x Tc).
struct LiquidMix {
  // Evaluates each component's volume and dV/dT at (T, P) into v and dv and
  // mixes them by the mole fractions xh.
  LiquidMix(std::span<const LiquidVolume> lv, double temperature, double P, std::span<const double> xh,
            std::span<double> v, std::span<double> dv);
  double T;
  double va = 0, dva = 0, dpa = 0, tpc = 0;  // the mixed volume, its d/dT and d/dP
  // The weight of ve: 0 up to 0.95 tpc, 1 from tpc on, a smooth step
  // between; dw is d(weight)/dT at fixed tpc.
  double w = 0, dw = 0;

  double volume(double ve) const { return (1 - w) * va + w * ve; }
  // dV/dT and dV/dP, given w dve/dT and w dve/dP.
  double dT(double ve, double w_dve_dT) const { return (1 - w) * dva + w_dve_dT + (ve - va) * dw; }
  double dP(double w_dve_dP) const { return (1 - w) * dpa + w_dve_dP; }
  // The mixed volumes' part of dV/dxh_i, for a component of volume vi and
  // critical temperature tci (w depends on xh through tpc: dw/dtpc = -dw T / tpc).
  double dx(double vi, double tci, double ve) const { return (1 - w) * vi - (ve - va) * dw * T / tpc * tci; }
};

}  // namespace r3::thermo::detail

namespace r3::thermo::detail {
std::unique_ptr<Model> make_ideal_model(const std::vector<const Component*>& comps);
std::unique_ptr<Model> make_pr_model(const std::vector<const Component*>& comps);
// The liquid-density note for a component list: the ids that have no
// liquid-density coefficients (empty when every one has them).
std::string liquid_density_fallbacks(const std::vector<const Component*>& comps);
}  // namespace r3::thermo::detail

namespace r3::thermo::detail {
// Sets the binary interaction parameter kij = kji of a Peng-Robinson model
// (zero unless set); false for other methods or bad indices.
bool set_binary_interaction(Model& m, int i, int j, double kij);
// The kij a Peng-Robinson model of two components starts with: the
// override where one is listed, else the databank's value (interaction.cpp).
double model_kij(const Component& a, const Component& b, const std::vector<BinaryInteraction>& overrides);
}  // namespace r3::thermo::detail

namespace r3::thermo::detail {
// Twu alpha parameters, alpha(Tr) = Tr^(N(M-1)) exp(L (1 - Tr^(NM))).
struct TwuAlpha {
  double L = 0, M = 0, N = 0;
};
// The Twu parameters of a component (data/alpha.tsv); false when it
// has none (it keeps the standard Peng-Robinson alpha).
bool twu_alpha(std::string_view id, TwuAlpha& p);
// sqrt(alpha) with its temperature derivatives at T (J: Jet or Dual<1>), written
// as exp(N(M-1)/2 ln Tr + L/2 (1 - Tr^(NM))) so one exp and one log carry
// the derivatives.
template <class J>
J twu_sqrt_alpha(const TwuAlpha& p, double tc, double T) {
  const J tr = (1.0 / tc) * J::var(T);
  const J lt = log(tr);
  const double nm = p.N * p.M;
  const J trnm = exp(nm * lt);
  return exp(0.5 * p.N * (p.M - 1.0) * lt + 0.5 * p.L * (1.0 - trnm));
}
}  // namespace r3::thermo::detail
