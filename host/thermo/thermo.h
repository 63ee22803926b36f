// The substitute host's thermodynamic property engine: a component databank,
// property methods (ideal gas / ideal solution, Peng-Robinson) and flashes.
//
// A plain C++ API with no host conventions: SI molar units throughout
// (K, Pa, J/kmol, J/(kmol K), m3/kmol, kg/kmol), compositions as spans of
// doubles in the order of the model's component list. Compositions handed to
// a Model need not be normalised: every property is evaluated at x/sum(x), and
// composition derivatives are taken with respect to the entries actually
// handed in, so they are right for mole fractions and for component flows.
//
// Nothing here throws on bad input: a call returns a Status the caller sees.
// Property and gradient calls allocate nothing (the Jacobian requests of the
// models sit on top of them).
#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace r3::thermo {

inline constexpr double kGasConstant = 8314.4;  // J/(kmol K), the host's value
inline constexpr double kTref = 298.15;         // K, enthalpy reference temperature
inline constexpr int kMaxComponents = 200;

// One row of the databank (data/components.tsv).
struct Component {
  std::string id, name, formula, cas;
  double mw = 0;       // kg/kmol
  double tc = 0;       // K
  double pc = 0;       // Pa
  double omega = 0;    // acentric factor
  double zc = 0;       // critical compressibility
  double vc = 0;       // m3/kmol
  double tb = 0;       // normal boiling point, K
  double cp[5] = {};   // ideal-gas Cp/R polynomial a0..a4
  double cp_tmin = 0, cp_tmax = 0;
  double hf298 = 0;    // ideal-gas heat of formation at 298.15 K, J/kmol
  double zra = 0;      // Rackett compressibility
  double cs16[5] = {}; // wide-range ideal-gas Cp (A..E), zero when absent
  double cs16_tmin = 0, cs16_tmax = 0;
  // Saturated-liquid density correlation: DIPPR-105,
  // rho = C1 / C2^(1 + (1 - T/C3)^C4) in kmol/m3 (dens = C1..C4, valid
  // dens_tmin..dens_tmax), or water's own IAPWS-IF97 liquid; None falls back
  // to the Rackett equation.
  enum class LiquidDensity : int { None = 0, Dippr105 = 1, If97 = 2 };
  LiquidDensity dens_form = LiquidDensity::None;
  double dens[4] = {};
  double dens_tmin = 0, dens_tmax = 0;
};

class Databank {
 public:
  // The databank compiled into the host from data/components.tsv.
  static const Databank& builtin();
  // Index of a component identifier (case-insensitive), or -1.
  int find(std::string_view id) const;
  int size() const { return static_cast<int>(rows_.size()); }
  const Component& operator[](int i) const { return rows_[static_cast<size_t>(i)]; }
  // Parses the tab-separated table; returns false with a message on a bad row.
  static bool parse(std::string_view tsv, Databank& out, std::string& error);

 private:
  std::vector<Component> rows_;
};

// A Peng-Robinson binary interaction parameter kij = kji of two databank
// components (identifiers as in the databank).
struct BinaryInteraction {
  std::string a, b;
  double kij = 0;
};

// The published value for a pair (data/kij.tsv, either order,
// case-insensitive); 0 and found = false when the pair is not listed.
double databank_kij(std::string_view a, std::string_view b, bool* found = nullptr);

// Checks a user's pair "A/B" = value against a component list: both
// identifiers in the list and different, -1 < kij < 1. Returns an empty
// string when the pair is sound, else what is wrong.
std::string check_interaction(std::string_view pair, double kij, const std::vector<std::string>& ids,
                              BinaryInteraction& out);

// Pairs that override or add to the databank values in the Peng-Robinson
// models built from now on without a list of their own (make_model's kij):
// the last case read sets them. Setting replaces the previous list; an empty
// list restores the databank. A run keeps its own copy (configure_run), so
// reading another case does not change the models of a run already set up.
void set_interaction_overrides(std::vector<BinaryInteraction> pairs);
const std::vector<BinaryInteraction>& interaction_overrides();

enum class Method : int { Ideal = 1, PengRobinson = 2, SteamTable = 3 };

// The methods by the names case files, reports and the command line use.
inline constexpr std::pair<Method, std::string_view> kMethodNames[] = {
    {Method::Ideal, "IDEAL"}, {Method::PengRobinson, "PENG-ROB"}, {Method::SteamTable, "STEAM-TA"}};
inline std::string_view method_name(Method m) {
  for (const auto& [method, name] : kMethodNames) {
    if (method == m) return name;
  }
  return "PENG-ROB";
}
// The method a name stands for; empty for an unknown name.
inline std::optional<Method> method_named(std::string_view name) {
  for (const auto& [method, known] : kMethodNames) {
    if (known == name) return method;
  }
  return std::nullopt;
}
enum class Phase : int { Vapour = 1, Liquid = 2 };

struct FlashResult;

enum class Status : int {
  Ok = 0,
  Failed = -1,        // no answer (bad input, no convergence)
  Extrapolated = -2,  // an answer from an extrapolated root or correlation
};

// Derivatives of one scalar property: with respect to temperature, pressure
// and each composition entry handed in. dx may be empty (not wanted);
// otherwise it has one entry per component.
struct Gradient {
  double dT = 0;
  double dP = 0;
  std::span<double> dx;
};

// Derivatives of the log fugacity coefficients: dT[i], dP[i] and
// dx[i*n + j] = d ln(phi_i) / d x_j (entries handed in). Any span may be empty.
struct LnPhiDerivatives {
  std::span<double> dT, dP, dx;
};

// A property method bound to a fixed component list.
class Model {
 public:
  virtual ~Model() = default;
  virtual Method method() const = 0;
  int size() const { return static_cast<int>(components_.size()); }
  const Component& component(int i) const { return *components_[static_cast<size_t>(i)]; }

  // Mean molecular weight of the composition (with its gradient in dx).
  Status molecular_weight(std::span<const double> x, double& mw, Gradient* g = nullptr) const;

  // Single-phase properties of the named phase at (T, P, x).
  virtual Status enthalpy(Phase, double T, double P, std::span<const double> x, double& h,
                          Gradient* g = nullptr) const = 0;
  virtual Status entropy(Phase, double T, double P, std::span<const double> x, double& s,
                         Gradient* g = nullptr) const = 0;
  virtual Status heat_capacity(Phase, double T, double P, std::span<const double> x, double& cp,
                               Gradient* g = nullptr) const = 0;
  virtual Status molar_volume(Phase, double T, double P, std::span<const double> x, double& v,
                              Gradient* g = nullptr) const = 0;
  // Compressibility factor P v / (R T) of the phase (the equation-of-state
  // value for the liquid too, not the correlation's).
  virtual Status compressibility(Phase, double T, double P, std::span<const double> x,
                                 double& z) const = 0;
  virtual Status ln_fugacity_coefficients(Phase, double T, double P, std::span<const double> x,
                                          std::span<double> ln_phi,
                                          const LnPhiDerivatives* d = nullptr) const = 0;
  // Pure-component vapour pressure (Pa) of component i at T.
  virtual Status vapour_pressure(int i, double T, double& psat) const = 0;

  // Flashes a method solves with its own equations (the steam tables, from
  // their backward equations over their whole range). Returns false when the
  // method leaves the flash to the general algorithm (the default); true when
  // it has answered, r.status then tells whether it succeeded.
  enum class FlashSpec : int { TP, PH, PS, PV };
  virtual bool own_flash(FlashSpec, double /*P*/, double /*value*/, std::span<const double> /*z*/,
                         FlashResult& /*r*/) const {
    return false;
  }

 protected:
  explicit Model(std::vector<const Component*> components) : components_(std::move(components)) {}
  std::vector<const Component*> components_;
};

// Builds a method for the given databank rows. SteamTable needs exactly one
// component, water. Returns null with a message when the method cannot serve
// the list. A method that serves the list with a fallback (a component with
// no liquid-density coefficients gets the Rackett equation) says so in
// warning. A Peng-Robinson model takes its interaction parameters from kij
// over the databank's (null: the list set by set_interaction_overrides).
std::unique_ptr<Model> make_model(Method method, const std::vector<const Component*>& components,
                                  std::string* error = nullptr, std::string* warning = nullptr,
                                  const std::vector<BinaryInteraction>* kij = nullptr);

// The IAPWS-IF97 method for pure water (defined with the steam tables).
std::unique_ptr<Model> make_steam_table_model(const std::vector<const Component*>& components,
                                              std::string* error = nullptr);

// Result of a flash: temperature, pressure, molar vapour fraction, molar
// enthalpy and entropy of the mixture, and the phase compositions (x liquid,
// y vapour; a single-phase result has beta 0 or 1 and both vectors equal to
// the feed).
struct FlashResult {
  double T = 0, P = 0;
  double beta = 0;  // molar vapour fraction
  double H = 0, S = 0;
  std::vector<double> x, y;
  Status status = Status::Failed;
};

// Flashes of the overall composition z (need not be normalised).
Status flash_tp(const Model&, double T, double P, std::span<const double> z, FlashResult& r);
Status flash_ph(const Model&, double P, double H, std::span<const double> z, double T_guess,
                FlashResult& r);
Status flash_ps(const Model&, double P, double S, std::span<const double> z, double T_guess,
                FlashResult& r);
Status flash_pv(const Model&, double P, double beta, std::span<const double> z, double T_guess,
                FlashResult& r);

}  // namespace r3::thermo
