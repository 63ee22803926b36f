#include "apps/r3sim/props.h"

#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <sstream>

#include "host/thermo/thermo.h"

using namespace r3::thermo;

namespace {

std::vector<std::string> split(const std::string& s) {
  std::vector<std::string> out;
  std::stringstream ss(s);
  std::string item;
  while (std::getline(ss, item, ',')) out.push_back(item);
  return out;
}

// Properties of one phase at (T, P, x); false when a call fails.
bool phase_json(const Model& m, Phase ph, double T, double P, const std::vector<double>& x,
                nlohmann::json& out) {
  double h, s, cp, v, z, mw;
  std::vector<double> lnphi(x.size());
  if (m.enthalpy(ph, T, P, x, h) == Status::Failed || m.entropy(ph, T, P, x, s) == Status::Failed ||
      m.heat_capacity(ph, T, P, x, cp) == Status::Failed ||
      m.molar_volume(ph, T, P, x, v) == Status::Failed ||
      m.molecular_weight(x, mw) == Status::Failed ||
      m.ln_fugacity_coefficients(ph, T, P, x, lnphi) == Status::Failed) {
    return false;
  }
  // The compressibility of the volume reported (a liquid's volume comes from
  // its own correlation, not from the equation of state's root).
  z = P * v / (kGasConstant * T);
  double sum = 0.0;
  for (double xi : x) sum += xi;
  nlohmann::json frac = nlohmann::json::array(), phi = nlohmann::json::array();
  for (size_t i = 0; i < x.size(); ++i) {
    frac.push_back(x[i] / sum);
    phi.push_back(std::exp(lnphi[i]));
  }
  out = {{"enthalpy", h},     {"entropy", s}, {"cp", cp},
         {"molar_volume", v}, {"z", z},       {"molecular_weight", mw},
         {"mole_fractions", frac}, {"fugacity_coefficients", phi}};
  return true;
}

// The first value of a result that is not a finite number ("phases.vapour.z",
// "fugacity_coefficients[0]"), or empty. Such a value is no property of the
// state, and JSON would show it as null.
std::string non_finite(const nlohmann::json& j, const std::string& at = "") {
  if (j.is_number_float() && !std::isfinite(j.get<double>())) return at;
  if (j.is_object()) {
    for (const auto& [k, v] : j.items()) {
      const std::string found = non_finite(v, at.empty() ? k : at + "." + k);
      if (!found.empty()) return found;
    }
  } else if (j.is_array()) {
    for (size_t i = 0; i < j.size(); ++i) {
      const std::string found = non_finite(j[i], at + "[" + std::to_string(i) + "]");
      if (!found.empty()) return found;
    }
  }
  return "";
}

void print_text(const nlohmann::json& j, const std::vector<std::string>& ids) {
  std::printf("T = %.6f K   P = %.6g Pa   vapour fraction = %.6f\n", j["temperature"].get<double>(),
              j["pressure"].get<double>(), j["vapour_fraction"].get<double>());
  auto block = [&](const char* title, const nlohmann::json& p) {
    std::printf("%s\n", title);
    std::printf("  enthalpy          %16.8e J/kmol\n", p["enthalpy"].get<double>());
    std::printf("  entropy           %16.8e J/kmol/K\n", p["entropy"].get<double>());
    std::printf("  cp                %16.8e J/kmol/K\n", p["cp"].get<double>());
    std::printf("  molar volume      %16.8e m3/kmol\n", p["molar_volume"].get<double>());
    std::printf("  compressibility   %16.8e\n", p["z"].get<double>());
    std::printf("  molecular weight  %16.8e kg/kmol\n", p["molecular_weight"].get<double>());
    if (p.contains("mole_fractions")) {
      for (size_t i = 0; i < ids.size(); ++i) {
        std::printf("  %-8s x = %.8f  phi = %.8e\n", ids[i].c_str(), p["mole_fractions"][i].get<double>(),
                    p["fugacity_coefficients"][i].get<double>());
      }
    }
  };
  block("mixture", j);
  for (const char* ph : {"vapour", "liquid"}) {
    if (j["phases"].contains(ph)) block(ph, j["phases"][ph]);
  }
}

}  // namespace

CLI::App* add_props_command(CLI::App& app, PropsOptions& o) {
  auto* c = app.add_subcommand("props", "properties of a state from the property engine");
  c->add_option("--method", o.method, "IDEAL, PENG-ROB or STEAM-TA")->check(CLI::IsMember({"IDEAL", "PENG-ROB", "STEAM-TA"}));
  c->add_option("--components", o.components, "databank identifiers, comma-separated")->required();
  c->add_option("--flows", o.flows, "amounts or flows, comma-separated (default: equal)");
  c->add_option("--pressure", o.pressure, "pressure, Pa")->required();
  c->add_option("--temperature", o.temperature, "temperature, K");
  c->add_option("--enthalpy", o.enthalpy, "molar enthalpy, J/kmol");
  c->add_option("--entropy", o.entropy, "molar entropy, J/kmol/K");
  c->add_option("--vapour-fraction", o.vapour_fraction, "molar vapour fraction");
  c->add_option("--phase", o.phase, "vapour or liquid: properties of that phase without a flash")->check(CLI::IsMember({"vapour", "liquid"}));
  c->add_option("--kij", o.kij, "Peng-Robinson interaction parameters, e.g. CO2/CH4=0.09,N2/CH4=0.03");
  c->add_flag("--json", o.json, "JSON output");
  return c;
}

int props_state(const PropsOptions& o, nlohmann::json& j, std::string& error) {
  const std::optional<Method> named = method_named(o.method);
  if (!named) {
    error = "unknown method '" + o.method + "' (IDEAL, PENG-ROB or STEAM-TA)";
    return 1;
  }
  const Method method = *named;
  const Databank& db = Databank::builtin();
  std::vector<std::string> ids = split(o.components);
  std::vector<const Component*> comps;
  for (const auto& id : ids) {
    const int k = db.find(id);
    if (k < 0) {
      error = "unknown component '" + id + "'";
      return 1;
    }
    comps.push_back(&db[k]);
  }
  std::vector<double> x(comps.size(), 1.0);
  if (!o.flows.empty()) {
    const auto parts = split(o.flows);
    if (parts.size() != comps.size()) {
      error = std::to_string(parts.size()) + " flows for " + std::to_string(comps.size()) + " components";
      return 1;
    }
    for (size_t i = 0; i < parts.size(); ++i) {
      char* end = nullptr;
      x[i] = std::strtod(parts[i].c_str(), &end);
      if (end == parts[i].c_str() || *end != '\0' || !(x[i] >= 0.0)) {
        error = "flow '" + parts[i] + "' is not a non-negative number";
        return 1;
      }
    }
  }
  const int nspec = (o.temperature ? 1 : 0) + (o.enthalpy ? 1 : 0) + (o.entropy ? 1 : 0) + (o.vapour_fraction ? 1 : 0);
  if (nspec != 1) {
    error = "give exactly one of --temperature, --enthalpy, --entropy, --vapour-fraction";
    return 1;
  }
  if (!(std::isfinite(*o.pressure) && *o.pressure > 0.0) ||
      (o.temperature && !(std::isfinite(*o.temperature) && *o.temperature > 0.0))) {
    error = "pressure (Pa) and temperature (K) must be positive finite numbers";
    return 1;
  }
  if (!o.phase.empty() && !o.temperature) {
    error = "--phase needs --temperature";
    return 1;
  }
  if (!o.kij.empty() && method != Method::PengRobinson) {
    error = "--kij applies to PENG-ROB only";
    return 1;
  }
  std::vector<BinaryInteraction> pairs;
  for (const auto& item : o.kij.empty() ? std::vector<std::string>{} : split(o.kij)) {
    const size_t eq = item.find('=');
    char* end = nullptr;
    const double k = eq == std::string::npos ? NAN : std::strtod(item.c_str() + eq + 1, &end);
    if (eq == std::string::npos || end == item.c_str() + eq + 1 || *end != '\0') {
      error = "--kij entry '" + item + "' is not A/B=value";
      return 1;
    }
    BinaryInteraction b;
    const std::string why = check_interaction(item.substr(0, eq), k, ids, b);
    if (!why.empty()) {
      error = why;
      return 1;
    }
    pairs.push_back(b);
  }
  std::string warning;
  auto model = make_model(method, comps, &error, &warning, &pairs);
  if (!model) {
    return 1;
  }
  if (!warning.empty()) std::fprintf(stderr, "r3sim props: warning: %s\n", warning.c_str());
  const double P = *o.pressure;
  j["phases"] = nlohmann::json::object();
  if (!o.phase.empty()) {
    const Phase ph = o.phase == "vapour" ? Phase::Vapour : Phase::Liquid;
    nlohmann::json p;
    if (!phase_json(*model, ph, *o.temperature, P, x, p)) {
      error = "the property calls failed at this state";
      return 2;
    }
    j = p;
    j["temperature"] = *o.temperature;
    j["pressure"] = P;
    j["vapour_fraction"] = ph == Phase::Vapour ? 1.0 : 0.0;
    j["phases"] = {{o.phase, p}};
  } else {
    FlashResult r;
    Status s;
    if (o.temperature) s = flash_tp(*model, *o.temperature, P, x, r);
    else if (o.enthalpy) s = flash_ph(*model, P, *o.enthalpy, x, 300.0, r);
    else if (o.entropy) s = flash_ps(*model, P, *o.entropy, x, 300.0, r);
    else s = flash_pv(*model, P, *o.vapour_fraction, x, 300.0, r);
    if (s == Status::Failed) {
      error = "the flash failed";
      return 2;
    }
    j["temperature"] = r.T;
    j["pressure"] = r.P;
    j["vapour_fraction"] = r.beta;
    j["enthalpy"] = r.H;
    j["entropy"] = r.S;
    double mw = 0.0;
    model->molecular_weight(x, mw);
    j["molecular_weight"] = mw;
    double cp = 0.0, v = 0.0;
    nlohmann::json phases = nlohmann::json::object();
    if (r.beta > 0.0) {
      nlohmann::json p;
      if (phase_json(*model, Phase::Vapour, r.T, r.P, r.y, p)) phases["vapour"] = p;
    }
    if (r.beta < 1.0) {
      nlohmann::json p;
      if (phase_json(*model, Phase::Liquid, r.T, r.P, r.x, p)) phases["liquid"] = p;
    }
    // Whole-state Cp, volume and Z: molar averages over the phases present.
    double z = 0.0;
    for (const auto& [name, p] : phases.items()) {
      const double w = name == "vapour" ? r.beta : 1.0 - r.beta;
      cp += w * p["cp"].get<double>();
      v += w * p["molar_volume"].get<double>();
    }
    z = P * v / (kGasConstant * r.T);
    j["cp"] = cp;
    j["molar_volume"] = v;
    j["z"] = z;
    j["phases"] = phases;
  }
  if (const std::string bad = non_finite(j); !bad.empty()) {
    char where[96];
    std::snprintf(where, sizeof where, " at T = %g K, P = %g Pa", j.value("temperature", 0.0), P);
    error = "the property engine gives no finite " + bad + where;
    return 2;
  }
  return 0;
}

int run_props_command(const PropsOptions& o) {
  nlohmann::json j;
  std::string error;
  const int code = props_state(o, j, error);
  if (code != 0) {
    std::fprintf(stderr, "r3sim props: %s\n", error.c_str());
    return code;
  }
  if (o.json) {
    std::printf("%s\n", j.dump(2).c_str());
  } else {
    print_text(j, split(o.components));
  }
  return 0;
}
