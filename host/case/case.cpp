#include "host/case/case.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <toml++/toml.h>

#include "host/case/feed_basis.h"

namespace r3::host {
namespace {

// A failure while reading: the line and the message.
struct CaseError {
  int line;
  std::string message;
};

int line_of(const toml::node& n) { return static_cast<int>(n.source().begin.line); }

[[noreturn]] void fail(int line, std::string message) { throw CaseError{line, std::move(message)}; }

double number(const toml::node& n, const std::string& what) {
  if (auto v = n.value<double>()) {
    if (!std::isfinite(*v)) fail(line_of(n), what + " must be a finite number");
    return *v;
  }
  fail(line_of(n), what + " must be a number");
}

// A number, or a string of a number and a unit ("10 bar") converted to the
// quantity's SI basis.
double measured(const toml::node& n, const std::string& what, uom::Quantity q) {
  if (n.is_number()) return number(n, what);
  const std::optional<std::string> t = n.value<std::string>();
  if (!t) fail(line_of(n), what + " must be a number (SI) or a number and a unit in a string (" + uom::fitting_units(q) + ")");
  double x = 0.0, si = 0.0;
  std::string unit, error;
  if (!uom::split(*t, x, unit, error)) fail(line_of(n), what + " must be a number, or a number and a unit: " + error);
  if (!uom::to_si(x, unit, q, si, error)) fail(line_of(n), what + ": " + error);
  return si;
}

int32_t integer(const toml::node& n, const std::string& what) {
  int64_t v = 0;
  if (const auto* i = n.as_integer()) {
    v = i->get();
  } else if (const auto* f = n.as_floating_point()) {
    // A whole number written as a real (2.0) is taken; any other real, or
    // one past the 32-bit range (1e35), is refused before it is converted.
    const double d = f->get();
    if (!(std::isfinite(d) && d == std::floor(d) && std::fabs(d) <= 2147483647.0)) {
      fail(line_of(n), what + " must be an integer in the 32-bit range");
    }
    v = static_cast<int64_t>(d);
  } else {
    fail(line_of(n), what + " must be an integer");
  }
  if (v < INT32_MIN || v > INT32_MAX) fail(line_of(n), what + " is outside the 32-bit range");
  return static_cast<int32_t>(v);
}

std::string text(const toml::node& n, const std::string& what) {
  if (auto v = n.value<std::string>()) return *v;
  fail(line_of(n), what + " must be a string");
}

// Identifiers end up in names, reports and blank-padded words: printable
// ASCII only, so that no control character or NUL reaches them.
void printable(const std::string& s, int line, const std::string& what) {
  for (unsigned char ch : s) {
    if (ch < 0x21 || ch > 0x7e) {
      char code[8];
      std::snprintf(code, sizeof code, "0x%02X", ch);
      fail(line, what + " must consist of printable characters (it contains character " + code + ")");
    }
  }
}

// Parameter arrays larger than any model reads are refused before they are
// copied into every request.
constexpr size_t kMaxParameters = 10000;

std::string identifier(const toml::node& n, const std::string& what) {
  std::string s = text(n, what);
  if (s.empty() || s.size() > 8) fail(line_of(n), what + " '" + s + "' must have 1 to 8 characters");
  if (s.find(' ') != std::string::npos) fail(line_of(n), what + " '" + s + "' must not contain blanks");
  printable(s, line_of(n), what);
  return s;
}

std::vector<std::string> identifiers(const toml::node* n, const std::string& what) {
  std::vector<std::string> out;
  if (n == nullptr) return out;
  const toml::array* a = n->as_array();
  if (a == nullptr) fail(line_of(*n), what + " must be an array of stream identifiers");
  for (const toml::node& e : *a) out.push_back(identifier(e, what + " entry"));
  return out;
}

// Rejects keys that the table does not define, listing the ones it does.
void known_keys(const toml::table& t, std::initializer_list<const char*> keys, const std::string& where) {
  for (const auto& [k, v] : t) {
    bool ok = false;
    for (const char* key : keys) ok = ok || k.str() == key;
    if (!ok) {
      std::string list;
      for (const char* key : keys) list += std::string(list.empty() ? "" : ", ") + key;
      fail(line_of(v), "unknown key '" + std::string(k.str()) + "' in " + where + " (expected one of: " + list + ")");
    }
  }
}

const toml::table& table_of(const toml::node& n, const std::string& what) {
  const toml::table* t = n.as_table();
  if (t == nullptr) fail(line_of(n), what + " must be a table");
  return *t;
}

std::vector<double> component_values(const toml::node& n, const Case& c, const std::string& what,
                                     uom::Quantity q = uom::Quantity::MolarFlow) {
  const toml::table& t = table_of(n, what);
  std::vector<double> out(c.components.size(), 0.0);
  for (const auto& [k, v] : t) {
    size_t i = 0;
    while (i < c.components.size() && c.components[i] != k.str()) ++i;
    if (i == c.components.size()) {
      fail(line_of(v), what + ": '" + std::string(k.str()) + "' is not one of the case's components" +
                           did_you_mean(std::string(k.str()), c.components));
    }
    out[i] = measured(v, what + " of " + std::string(k.str()), q);
    if (out[i] < 0.0) fail(line_of(v), what + " of " + std::string(k.str()) + " must not be negative");
  }
  return out;
}

// "; did you mean H2O?" for a misspelt identifier, a component's name or a
// formula, a CAS number; a pointer to r3sim components otherwise.
std::string databank_suggestion(const std::string& text) {
  const thermo::Databank& db = thermo::Databank::builtin();
  std::vector<std::string> ids, names;
  for (int i = 0; i < db.size(); ++i) {
    ids.push_back(db[i].id);
    names.push_back(db[i].name);
  }
  std::vector<std::string> near;
  for (int i = 0; i < db.size(); ++i) {
    auto same = [&](const std::string& a) {
      if (a.size() != text.size()) return false;
      for (size_t k = 0; k < a.size(); ++k) {
        if (std::toupper(static_cast<unsigned char>(a[k])) != std::toupper(static_cast<unsigned char>(text[k]))) return false;
      }
      return true;
    };
    if (same(db[i].name) || same(db[i].formula) || same(db[i].cas)) near.push_back(db[i].id);
  }
  if (near.empty()) near = nearest_names(text, ids);
  if (near.empty()) {
    for (const std::string& n : nearest_names(text, names)) near.push_back(ids[static_cast<size_t>(std::find(names.begin(), names.end(), n) - names.begin())]);
  }
  if (near.empty()) return "; r3sim components TEXT searches it";
  std::string s = "; did you mean ";
  for (size_t i = 0; i < near.size() && i < 3; ++i) s += (i == 0 ? "" : ", ") + near[i];
  return s + "?";
}

// [properties] kij = { "A/B" = value, ... }: Peng-Robinson interaction
// parameters that override or add to the databank's, for the case's
// components. The case keeps them for its run; they are also the thread's
// list (set afresh by each case read, empty when the key is absent) for
// models built outside a run, such as the feeds' volumes below.
void read_kij(const toml::table& p, Case& c) {
  std::vector<thermo::BinaryInteraction> pairs;
  if (const toml::node* kn = p.get("kij")) {
    for (const auto& [k, v] : table_of(*kn, "kij")) {
      thermo::BinaryInteraction b;
      const std::string why =
          thermo::check_interaction(k.str(), number(v, "kij of " + std::string(k.str())), c.components, b);
      if (!why.empty()) fail(line_of(v), why);
      pairs.push_back(b);
    }
  }
  c.kij = pairs;
  thermo::set_interaction_overrides(std::move(pairs));
}

void read_properties(const toml::table& root, Case& c) {
  const toml::node* pn = root.get("properties");
  if (pn == nullptr) fail(1, "the case has no [properties] table with the component list");
  const toml::table& p = table_of(*pn, "[properties]");
  known_keys(p, {"method", "components", "report_units", "kij"}, "[properties]");
  if (const toml::node* m = p.get("method")) {
    const std::string s = text(*m, "method");
    const std::optional<thermo::Method> named = thermo::method_named(s);
    if (!named) fail(line_of(*m), "method '" + s + "' is not one of IDEAL, PENG-ROB, STEAM-TA");
    c.method = *named;
  }
  const toml::node* cn = p.get("components");
  if (cn == nullptr) fail(line_of(*pn), "[properties] needs components = [\"ID\", ...]");
  const toml::array* a = cn->as_array();
  if (a == nullptr || a->empty()) fail(line_of(*cn), "components must be a non-empty array of databank identifiers");
  const thermo::Databank& db = thermo::Databank::builtin();
  std::set<std::string> seen;
  for (const toml::node& e : *a) {
    const std::string id = text(e, "component");
    if (db.find(id) < 0) fail(line_of(e), "unknown component '" + id + "' (not in the databank" + databank_suggestion(id) + ")");
    if (!seen.insert(id).second) fail(line_of(e), "component '" + id + "' is listed twice");
    c.components.push_back(id);
  }
  if (c.components.size() > 200) fail(line_of(*cn), "more than 200 components");
  if (const toml::node* u = p.get("report_units")) {
    const std::string s = text(*u, "report_units");
    if (s == "SI") c.report_units = ReportUnits::SI;
    else if (s == "MET") c.report_units = ReportUnits::MET;
    else if (s == "ENG") c.report_units = ReportUnits::ENG;
    else fail(line_of(*u), "report_units '" + s + "' is not one of SI, MET, ENG");
  }
  c.report = uom::ReportUnits(static_cast<uom::UnitSet>(c.report_units));
  read_kij(p, c);
}

// [report]: a unit per quantity, over the report_units set.
void read_report(const toml::table& root, Case& c) {
  const toml::node* rn = root.get("report");
  if (rn == nullptr) return;
  for (const auto& [k, v] : table_of(*rn, "[report]")) {
    const std::string q(k.str());
    const uom::Quantity quantity = uom::quantity_named(q);
    if (quantity == uom::Quantity::Count_) {
      std::vector<std::string> names;
      for (const auto& [n, unit] : c.report.labels()) names.push_back(n);
      std::string list;
      for (const std::string& n : names) list += (list.empty() ? "" : ", ") + n;
      fail(line_of(v), "[report]: '" + q + "' is not a quantity" + did_you_mean(q, names) + " (quantities: " + list + ")");
    }
    std::string error;
    if (!c.report.choose(quantity, text(v, "[report] " + q), error)) fail(line_of(v), "[report] " + q + ": " + error);
  }
}

// The component molar flows of a material stream from whichever basis the
// case gives: component molar or mass flows, or one total (molar, mass,
// standard volume, actual volume) with mole or mass fractions.
void read_feed_flows(const toml::table& t, StreamDef& s, const Case& c) {
  const std::string& id = s.id;
  const toml::node* flows = t.get("flows");
  const toml::node* mass_flows = t.get("mass_flows");
  const char* total_keys[] = {"total_flow", "total_mass_flow", "standard_volume_flow", "volume_flow"};
  const toml::node* total = nullptr;
  std::string total_key;
  for (const char* key : total_keys) {
    if (const toml::node* v = t.get(key)) {
      if (total) fail(line_of(*v), "stream " + id + ": give one of total_flow, total_mass_flow, standard_volume_flow, volume_flow");
      total = v;
      total_key = key;
    }
  }
  const toml::node* mole = t.get("mole_fractions");
  const toml::node* mass = t.get("mass_fractions");
  const int bases = (flows ? 1 : 0) + (mass_flows ? 1 : 0) + (total || mole || mass ? 1 : 0);
  if (bases > 1) {
    fail(line_of(flows ? *flows : *mass_flows),
         "stream " + id + ": give flows, or mass_flows, or a total flow with mole_fractions or mass_fractions, not more than one of them");
  }
  std::vector<double> mw(c.components.size());
  const thermo::Databank& db = thermo::Databank::builtin();
  for (size_t i = 0; i < mw.size(); ++i) mw[i] = db[db.find(c.components[i])].mw;
  if (flows) s.flows = component_values(*flows, c, "flows of stream " + id);
  if (mass_flows) {
    s.flows = component_values(*mass_flows, c, "mass_flows of stream " + id, uom::Quantity::MassFlow);
    for (size_t i = 0; i < mw.size(); ++i) (*s.flows)[i] /= mw[i];
  }
  if (!(total || mole || mass)) return;
  if (!total || (mole == nullptr) == (mass == nullptr)) {
    fail(s.line, "stream " + id + ": a total flow (total_flow, total_mass_flow, standard_volume_flow or volume_flow) goes with one of mole_fractions, mass_fractions");
  }
  // Mole fractions, normalised.
  std::vector<double> x = component_values(mole ? *mole : *mass, c, std::string(mole ? "mole" : "mass") + "_fractions of stream " + id,
                                           uom::Quantity::Fraction);
  if (mass) {
    for (size_t i = 0; i < x.size(); ++i) x[i] /= mw[i];
  }
  double sum = 0.0;
  for (double xi : x) sum += xi;
  if (!(sum > 0.0)) fail(line_of(mole ? *mole : *mass), std::string(mole ? "mole" : "mass") + "_fractions of stream " + id + " sum to zero");
  double mw_mix = 0.0;
  for (size_t i = 0; i < x.size(); ++i) {
    x[i] /= sum;
    mw_mix += x[i] * mw[i];
  }
  const std::string what = total_key + " of stream " + id;
  double f = 0.0;
  if (total_key == "total_flow") {
    f = measured(*total, what, uom::Quantity::MolarFlow);
  } else if (total_key == "total_mass_flow") {
    f = measured(*total, what, uom::Quantity::MassFlow) / mw_mix;
  } else if (total_key == "standard_volume_flow") {
    f = measured(*total, what, uom::Quantity::VolumeFlow) / kStandardMolarVolume;
  } else {
    const double q = measured(*total, what, uom::Quantity::VolumeFlow);
    if (!s.pressure || !(s.temperature || s.vapour_fraction || s.mass_enthalpy)) {
      fail(line_of(*total), what + ": a volume at the stream's conditions needs its pressure and one of temperature, vapour_fraction, mass_enthalpy");
    }
    double v = 0.0;
    std::string error;
    if (!feed_molar_volume(c.method, c.components, s.temperature, s.vapour_fraction, s.mass_enthalpy, *s.pressure, x, v, error)) {
      fail(line_of(*total), what + ": " + error);
    }
    f = q / v;
  }
  if (f < 0.0) fail(line_of(*total), what + " must not be negative");
  for (double& xi : x) xi *= f;
  s.flows = x;
}

StreamDef read_stream(const std::string& id, const toml::node& n, const Case& c) {
  StreamDef s;
  s.id = id;
  s.line = line_of(n);
  if (id.size() > 8 || id.empty()) fail(s.line, "stream identifier '" + id + "' must have 1 to 8 characters");
  printable(id, s.line, "stream identifier");
  const toml::table& t = table_of(n, "stream " + id);
  known_keys(t, {"kind", "temperature", "pressure", "vapour_fraction", "mass_enthalpy", "flows",
                 "mass_flows", "total_flow", "total_mass_flow", "standard_volume_flow", "volume_flow",
                 "mole_fractions", "mass_fractions", "value"},
             "stream " + id);
  if (const toml::node* k = t.get("kind")) {
    const std::string kind = text(*k, "kind");
    if (kind == "material") s.kind = StreamDef::Kind::Material;
    else if (kind == "work") s.kind = StreamDef::Kind::Work;
    else if (kind == "heat") s.kind = StreamDef::Kind::Heat;
    else fail(line_of(*k), "kind '" + kind + "' is not one of material, work, heat");
  }
  auto opt = [&](const char* key, uom::Quantity q) -> std::optional<double> {
    if (const toml::node* v = t.get(key)) return measured(*v, std::string(key) + " of stream " + id, q);
    return std::nullopt;
  };
  if (s.kind != StreamDef::Kind::Material) {
    for (const char* key : {"temperature", "pressure", "vapour_fraction", "mass_enthalpy", "flows", "mass_flows", "total_flow",
                            "total_mass_flow", "standard_volume_flow", "volume_flow", "mole_fractions", "mass_fractions"}) {
      if (const toml::node* v = t.get(key)) fail(line_of(*v), std::string(key) + " is not a property of the information stream " + id);
    }
    s.value = opt("value", s.kind == StreamDef::Kind::Work ? uom::Quantity::Power : uom::Quantity::Duty);
    return s;
  }
  if (const toml::node* v = t.get("value")) fail(line_of(*v), "value belongs to information streams; stream " + id + " is a material stream");
  s.temperature = opt("temperature", uom::Quantity::Temperature);
  s.pressure = opt("pressure", uom::Quantity::Pressure);
  s.vapour_fraction = opt("vapour_fraction", uom::Quantity::Fraction);
  s.mass_enthalpy = opt("mass_enthalpy", uom::Quantity::MassEnthalpy);
  if (s.temperature && *s.temperature <= 0.0) fail(s.line, "temperature of stream " + id + " must be positive (K)");
  if (s.pressure && *s.pressure <= 0.0) fail(s.line, "pressure of stream " + id + " must be positive (Pa)");
  if (s.vapour_fraction && (*s.vapour_fraction < 0.0 || *s.vapour_fraction > 1.0)) fail(s.line, "vapour_fraction of stream " + id + " must lie in [0, 1]");
  const int nspec = (s.temperature ? 1 : 0) + (s.vapour_fraction ? 1 : 0) + (s.mass_enthalpy ? 1 : 0);
  if (nspec > 1) fail(s.line, "stream " + id + ": give one of temperature, vapour_fraction, mass_enthalpy");
  read_feed_flows(t, s, c);
  if (s.flows) {
    double sum = 0.0;
    for (double f : *s.flows) sum += f;
    if (!(sum > 0.0)) fail(s.line, "stream " + id + " has no flow");
  }
  return s;
}

// A block value: a number (SI), or a number with a unit, converted by what
// the unit measures and kept for the check against the variable's type.
// The quantity of a stream variable ("PROD.PRESSURE"), which the host fixes
// whatever the model.
std::optional<uom::Quantity> stream_variable_quantity(const std::string& name, const Case& c) {
  const size_t dot = name.find('.');
  if (dot == std::string::npos) return std::nullopt;
  const StreamDef* s = c.stream(name.substr(0, dot));
  if (s == nullptr) return std::nullopt;
  const std::string v = name.substr(dot + 1);
  if (s->kind != StreamDef::Kind::Material) {
    return s->kind == StreamDef::Kind::Work ? uom::Quantity::Power : uom::Quantity::Duty;
  }
  if (v == "PRESSURE") return uom::Quantity::Pressure;
  if (v == "ENTHALPY") return uom::Quantity::MolarEnthalpy;
  if (v == "TOTAL_FLOW" || v.rfind("FLOW_", 0) == 0) return uom::Quantity::MolarFlow;
  return std::nullopt;
}

double block_value(const toml::node& v, const std::string& name, const std::string& what, MeasuredValue::Use use,
                   BlockDef& b, const Case& c) {
  if (!v.is_string()) return number(v, what + " value of " + name);
  double x = 0.0, si = 0.0;
  std::string unit, error;
  if (!uom::split(*v.value<std::string>(), x, unit, error)) {
    fail(line_of(v), what + " value of " + name + " must be a number, or a number and a unit: " + error);
  }
  const uom::Quantity q = stream_variable_quantity(name, c).value_or(uom::natural_quantity(unit));
  if (q == uom::Quantity::Count_) {
    fail(line_of(v), what + " value of " + name + ": '" + *v.value<std::string>() + "' has a unit this program does not know");
  }
  if (!uom::to_si(x, unit, q, si, error)) fail(line_of(v), what + " value of " + name + " in block " + b.id + ": " + error);
  b.measured.push_back({name, use, x, unit, line_of(v)});
  return si;
}

void read_names(const toml::node* n, const std::string& what, BlockDef& b,
                std::vector<std::pair<std::string, double>>& out, MeasuredValue::Use use, const Case& c) {
  if (n == nullptr) return;
  const toml::table& t = table_of(*n, what);
  for (const auto& [k, v] : t) {
    const std::string name(k.str());
    out.emplace_back(name, block_value(v, name, what, use, b, c));
    b.name_lines[name] = line_of(v);
  }
}

BlockDef read_block(const toml::node& n, const Case& c) {
  BlockDef b;
  b.line = line_of(n);
  const toml::table& t = table_of(n, "[[blocks]] entry");
  known_keys(t, {"id", "model", "inlets", "outlets", "info_inlets", "info_outlets", "int", "real",
                 "diagnostic_level", "fix", "guess", "bounds", "scale", "user_model",
                 "derivatives", "check"},
             "[[blocks]]");
  const toml::node* id = t.get("id");
  if (id == nullptr) fail(b.line, "a block needs id = \"NAME\"");
  b.id = identifier(*id, "block id");
  const toml::node* model = t.get("model");
  if (model == nullptr) fail(b.line, "block " + b.id + " needs model = \"ENTRY\"");
  b.model = text(*model, "model");
  printable(b.model, line_of(*model), "model");
  b.inlets = identifiers(t.get("inlets"), "inlets");
  b.outlets = identifiers(t.get("outlets"), "outlets");
  b.info_inlets = identifiers(t.get("info_inlets"), "info_inlets");
  b.info_outlets = identifiers(t.get("info_outlets"), "info_outlets");
  if (const toml::node* a = t.get("int")) {
    const toml::array* arr = a->as_array();
    if (arr == nullptr) fail(line_of(*a), "int must be an array of integers");
    if (arr->size() > kMaxParameters) fail(line_of(*a), "int has " + std::to_string(arr->size()) + " entries (at most " + std::to_string(kMaxParameters) + ")");
    for (const toml::node& e : *arr) b.ints.push_back(integer(e, "int entry"));
  }
  if (const toml::node* a = t.get("real")) {
    const toml::array* arr = a->as_array();
    if (arr == nullptr) fail(line_of(*a), "real must be an array of numbers");
    if (arr->size() > kMaxParameters) fail(line_of(*a), "real has " + std::to_string(arr->size()) + " entries (at most " + std::to_string(kMaxParameters) + ")");
    for (const toml::node& e : *arr) b.reals.push_back(number(e, "real entry"));
  }
  if (const toml::node* d = t.get("diagnostic_level")) {
    b.diagnostic_level = integer(*d, "diagnostic_level");
    if (*b.diagnostic_level < 0 || *b.diagnostic_level > 10) fail(line_of(*d), "diagnostic_level must lie in 0..10");
  }
  if (const toml::node* u = t.get("user_model")) {
    b.user_model = text(*u, "user_model");
    printable(b.user_model, line_of(*u), "user_model");
  }
  if (const toml::node* d = t.get("derivatives")) {
    b.derivatives = integer(*d, "derivatives");
    if (b.derivatives < 0 || b.derivatives > 2) fail(line_of(*d), "derivatives must be 0, 1 or 2");
  }
  if (const toml::node* d = t.get("check")) {
    b.check = integer(*d, "check");
    if (b.check < 0 || b.check > 3) fail(line_of(*d), "check must be 0, 1, 2 or 3");
  }
  if (b.model == "R3NUML" && b.user_model.empty()) fail(b.line, "block " + b.id + ": the numeric layer needs user_model = \"ENTRY\"");
  read_names(t.get("fix"), "fix", b, b.fix, MeasuredValue::Use::Fix, c);
  read_names(t.get("guess"), "guess", b, b.guess, MeasuredValue::Use::Guess, c);
  if (const toml::node* sn = t.get("scale")) {
    for (const auto& [k, v] : table_of(*sn, "scale")) {
      b.scale.emplace_back(std::string(k.str()), number(v, "scale value of " + std::string(k.str())));
      b.name_lines[std::string(k.str())] = line_of(v);
    }
  }
  if (const toml::node* bn = t.get("bounds")) {
    for (const auto& [k, v] : table_of(*bn, "bounds")) {
      const toml::array* arr = v.as_array();
      if (arr == nullptr || arr->size() != 2) fail(line_of(v), "bounds of " + std::string(k.str()) + " must be [lower, upper]");
      const std::string name(k.str());
      const double lo = block_value(*arr->get(0), name, "lower bound", MeasuredValue::Use::Lower, b, c);
      const double hi = block_value(*arr->get(1), name, "upper bound", MeasuredValue::Use::Upper, b, c);
      if (lo > hi) fail(line_of(v), "bounds of " + std::string(k.str()) + ": lower bound above upper bound");
      b.bounds.emplace_back(std::string(k.str()), std::pair{lo, hi});
      b.name_lines[std::string(k.str())] = line_of(v);
    }
  }
  for (const auto& s : b.inlets) {
    const StreamDef* d = c.stream(s);
    if (d == nullptr) fail(b.line, "block " + b.id + ": inlet '" + s + "' is not a stream of the case");
    if (d->kind != StreamDef::Kind::Material) fail(b.line, "block " + b.id + ": inlet '" + s + "' is an information stream; list it in info_inlets");
  }
  for (const auto& s : b.outlets) {
    const StreamDef* d = c.stream(s);
    if (d == nullptr) fail(b.line, "block " + b.id + ": outlet '" + s + "' is not a stream of the case");
    if (d->kind != StreamDef::Kind::Material) fail(b.line, "block " + b.id + ": outlet '" + s + "' is an information stream; list it in info_outlets");
  }
  for (const auto* list : {&b.info_inlets, &b.info_outlets}) {
    for (const auto& s : *list) {
      const StreamDef* d = c.stream(s);
      if (d == nullptr) fail(b.line, "block " + b.id + ": information stream '" + s + "' is not a stream of the case");
      if (d->kind == StreamDef::Kind::Material) fail(b.line, "block " + b.id + ": '" + s + "' is a material stream; give it kind = \"work\" or \"heat\" to use it as an information stream");
    }
  }
  return b;
}

void check_connections(const Case& c) {
  std::map<std::string, std::string> producer, consumer;
  for (const BlockDef& b : c.blocks) {
    for (const auto* list : {&b.outlets, &b.info_outlets}) {
      for (const auto& s : *list) {
        auto [it, fresh] = producer.emplace(s, b.id);
        if (!fresh) fail(b.line, "stream '" + s + "' is an outlet of both " + it->second + " and " + b.id);
      }
    }
    for (const auto* list : {&b.inlets, &b.info_inlets}) {
      for (const auto& s : *list) {
        auto [it, fresh] = consumer.emplace(s, b.id);
        if (!fresh) fail(b.line, "stream '" + s + "' is an inlet of both " + it->second + " and " + b.id);
      }
    }
  }
  // A stream that no block produces is a feed: it needs its conditions.
  for (const StreamDef& s : c.streams) {
    if (producer.count(s.id) || !consumer.count(s.id)) continue;
    if (s.kind == StreamDef::Kind::Material && !s.has_conditions()) {
      fail(s.line, "feed stream " + s.id + " needs flows (or mass_flows, or a total flow with mole_fractions or mass_fractions), pressure, and one of temperature, vapour_fraction, mass_enthalpy");
    }
  }
}

}  // namespace

const StreamDef* Case::stream(const std::string& id) const {
  auto it = stream_index_.find(id);
  const bool stale = indexed_ != streams.size() || stream_index_.size() > streams.size() ||
                     (it != stream_index_.end() && streams[it->second].id != id);
  if (stale) {
    // First use, or the list has changed: index it again (the first of
    // repeated identifiers wins, as a search from the front would find).
    stream_index_.clear();
    for (size_t i = 0; i < streams.size(); ++i) stream_index_.emplace(streams[i].id, i);
    indexed_ = streams.size();
    it = stream_index_.find(id);
  }
  return it == stream_index_.end() ? nullptr : &streams[it->second];
}

bool parse_case(const std::string& text_in, const std::string& path, Case& out, std::string& error) {
  Case c;
  c.path = path;
  try {
    toml::table root;
    try {
      root = toml::parse(text_in, path);
    } catch (const toml::parse_error& e) {
      error = path + ":" + std::to_string(e.source().begin.line) + ": " + std::string(e.description());
      return false;
    }
    known_keys(root, {"title", "libraries", "properties", "report", "streams", "blocks", "solver", "free", "specs"}, "the case");
    if (const toml::node* t = root.get("title")) c.title = text(*t, "title");
    if (const toml::node* l = root.get("libraries")) {
      const toml::array* a = l->as_array();
      if (a == nullptr) fail(line_of(*l), "libraries must be an array of paths");
      const std::filesystem::path base = std::filesystem::path(path).parent_path();
      for (const toml::node& e : *a) {
        const std::filesystem::path p = text(e, "library path");
        c.libraries.push_back((p.is_absolute() ? p : base / p).lexically_normal().string());
      }
    }
    read_properties(root, c);
    read_report(root, c);
    if (const toml::node* sn = root.get("streams")) {
      for (const auto& [k, v] : table_of(*sn, "[streams]")) c.streams.push_back(read_stream(std::string(k.str()), v, c));
    }
    const toml::node* bn = root.get("blocks");
    if (bn == nullptr) fail(1, "the case has no [[blocks]]");
    const toml::array* blocks = bn->as_array();
    if (blocks == nullptr || blocks->empty()) fail(line_of(*bn), "blocks must be written as one or more [[blocks]] tables");
    std::set<std::string> ids;
    for (const toml::node& b : *blocks) {
      c.blocks.push_back(read_block(b, c));
      if (!ids.insert(c.blocks.back().id).second) fail(c.blocks.back().line, "block id '" + c.blocks.back().id + "' is used twice");
    }
    if (const toml::node* s = root.get("solver")) {
      const toml::table& t = table_of(*s, "[solver]");
      known_keys(t, {"max_iterations", "tolerance", "check_tolerance"}, "[solver]");
      if (const toml::node* ct = t.get("check_tolerance")) {
        c.solver.check_tolerance = number(*ct, "check_tolerance");
        if (!(c.solver.check_tolerance > 0.0)) fail(line_of(*ct), "check_tolerance must be positive");
      }
      if (const toml::node* m = t.get("max_iterations")) {
        c.solver.max_iterations = integer(*m, "max_iterations");
        if (c.solver.max_iterations < 0) fail(line_of(*m), "max_iterations must not be negative");
      }
      if (const toml::node* tol = t.get("tolerance")) {
        c.solver.tolerance = number(*tol, "tolerance");
        if (!(c.solver.tolerance > 0.0)) fail(line_of(*tol), "tolerance must be positive");
      }
    }
    if (const toml::node* fr = root.get("free")) {
      const toml::array* a = fr->as_array();
      if (a == nullptr) fail(line_of(*fr), "free must be an array of feed variables such as \"FEED.TOTAL_FLOW\"");
      for (const toml::node& e : *a) c.free.emplace_back(text(e, "free entry"), line_of(e));
    }
    if (int line = 0; !read_specs(root, c.specs, line, error)) fail(line, error);
    check_connections(c);
  } catch (const CaseError& e) {
    error = path + ":" + std::to_string(e.line) + ": " + e.message;
    return false;
  }
  out = std::move(c);
  return true;
}

bool load_case(const std::string& path, Case& out, std::string& error) {
  std::ifstream in(path);
  if (!in) {
    error = path + ": cannot open the case file";
    return false;
  }
  std::stringstream ss;
  ss << in.rdbuf();
  return parse_case(ss.str(), path, out, error);
}

}  // namespace r3::host
