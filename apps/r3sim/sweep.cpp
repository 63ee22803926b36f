#include "apps/r3sim/sweep.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <deque>
#include <tuple>
#include <fstream>
#include <limits>
#include <map>
#include <numbers>
#include <random>
#include <toml++/toml.h>

#include "host/case/loader.h"
#include "host/case/results.h"
#include "host/units/units.h"

namespace r3::sweep {

using host::Flowsheet;
using host::Outcome;
using host::StreamDef;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::string upper(std::string s) {
  for (char& ch : s) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  return s;
}

// Replaces or appends a fixed value in a block's list.
void put_fix(host::BlockDef& d, const std::string& var, double value) {
  for (auto& [name, v] : d.fix) {
    if (name == var || name == d.id + "." + var) {
      v = value;
      return;
    }
  }
  d.fix.emplace_back(var, value);
}

// The block that produces a stream, or null for a feed.
host::BlockDef* producer(Case& c, const std::string& sid) {
  for (host::BlockDef& d : c.blocks) {
    for (const auto* list : {&d.outlets, &d.info_outlets}) {
      if (std::find(list->begin(), list->end(), sid) != list->end()) return &d;
    }
  }
  return nullptr;
}

// A feed's conditions; false when KEY is not one.
bool set_feed(const Case& c, StreamDef& s, const std::string& key, double value, std::string& error) {
  const std::string k = upper(key);
  if (s.kind != StreamDef::Kind::Material) {
    if (k != "VALUE") return false;
    s.value = value;
    return true;
  }
  if (k == "TEMPERATURE" || k == "VAPOUR_FRACTION" || k == "MASS_ENTHALPY") {
    // One of the three completes the state with the pressure; the new one replaces the old.
    s.temperature.reset();
    s.vapour_fraction.reset();
    s.mass_enthalpy.reset();
    (k == "TEMPERATURE" ? s.temperature : k == "VAPOUR_FRACTION" ? s.vapour_fraction : s.mass_enthalpy) = value;
    return true;
  }
  if (k == "PRESSURE") {
    s.pressure = value;
    return true;
  }
  if (!s.flows) s.flows = std::vector<double>(c.components.size(), 0.0);
  std::vector<double>& f = *s.flows;
  if (k == "TOTAL_FLOW") {
    double sum = 0.0;
    for (double x : f) sum += x;
    if (!(sum > 0.0)) {
      error = "stream " + s.id + " has no composition to scale to a total flow";
      return false;
    }
    for (double& x : f) x *= value / sum;
    return true;
  }
  if (k.rfind("FLOW_", 0) == 0) {
    for (size_t i = 0; i < c.components.size(); ++i) {
      if (upper(c.components[i]) == k.substr(5)) {
        f[i] = value;
        return true;
      }
    }
  }
  return false;
}

std::string known_names(const Case& c) {
  std::string out = "blocks";
  for (const auto& b : c.blocks) out += " " + b.id;
  out += "; streams";
  for (const auto& s : c.streams) out += " " + s.id;
  return out;
}

// Stream-vector positions of the stream properties (material streams).
// The models' messages held back while points are set up and solved (a
// sweep's points would bury standard error), the units' defaults after.
struct QuietUnits {
  QuietUnits() {
    for (int32_t u : {host::units::kMessageUnit, host::units::kSecondMessageUnit, host::units::kReportUnit}) {
      host::units::capture(u);
    }
  }
  void drop() {
    for (int32_t u : {host::units::kMessageUnit, host::units::kSecondMessageUnit, host::units::kReportUnit}) {
      host::units::take(u);
    }
  }
  ~QuietUnits() { host::units::reset(); }
};

bool stream_property(const std::string& key, int ncf, int& pos) {
  static const std::map<std::string, int> offsets = {
      {"TOTAL_FLOW", 0},      {"TEMPERATURE", 1}, {"PRESSURE", 2},         {"MASS_ENTHALPY", 3},
      {"VAPOUR_FRACTION", 4}, {"DENSITY", 7},     {"MOLECULAR_WEIGHT", 8}};
  auto it = offsets.find(upper(key));
  if (it == offsets.end()) return false;
  pos = ncf + it->second;
  return true;
}

}  // namespace

bool set_input(Case& c, const std::string& name, double value, std::string& error) {
  if (!std::isfinite(value)) {
    error = "the value of " + name + " is not a finite number";
    return false;
  }
  const size_t dot = name.find('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 == name.size()) {
    error = "'" + name + "' is not of the form BLOCK.VARIABLE or STREAM.VARIABLE";
    return false;
  }
  const std::string head = name.substr(0, dot), var = name.substr(dot + 1);
  for (host::BlockDef& d : c.blocks) {
    if (d.id == head) {
      put_fix(d, var, value);
      return true;
    }
  }
  for (StreamDef& s : c.streams) {
    if (s.id != head) continue;
    host::BlockDef* const d = producer(c, s.id);
    if (d == nullptr) {
      error.clear();
      if (set_feed(c, s, var, value, error)) return true;
      if (error.empty()) {
        error = "stream " + s.id + " is a feed: its inputs are " +
                std::string(s.kind == StreamDef::Kind::Material
                                ? "TEMPERATURE, PRESSURE, VAPOUR_FRACTION, MASS_ENTHALPY, TOTAL_FLOW, FLOW_<component>"
                                : "VALUE") +
                ", not '" + var + "'";
      }
      return false;
    }
    // A product's variable: fixed on the block that produces it.
    put_fix(*d, name, value);
    return true;
  }
  error = "unknown input '" + name + "': the case has " + known_names(c);
  return false;
}

Solved solve_case(const Case& c, Flowsheet& fsh, const std::vector<double>* start, std::FILE* progress) {
  Solved s;
  std::vector<void*> libs;
  s.code = host::prepare_flowsheet(c, "", fsh, libs, s.error);
  if (s.code != 0) {
    s.report.outcome = static_cast<Outcome>(s.code);
    s.report.message = s.error;
    return s;
  }
  s.prepared = true;
  std::string error;
  if (fsh.check_structure(error) != Outcome::Solved) {
    s.structure_error = true;
    s.code = static_cast<int>(Outcome::NotSolved);
    s.error = s.report.message = error;
    s.report.outcome = Outcome::NotSolved;
  } else {
    const auto& vars = fsh.variables();
    if (start != nullptr && start->size() == vars.size()) {
      // The neighbour's solution with this point's fixed values, kept only
      // when it is nearer a solution than the models' own initial point.
      const std::vector<double> x0 = fsh.values();
      std::vector<double> xs = x0;
      for (size_t i = 0; i < vars.size(); ++i) {
        if (!vars[i].fixed) xs[i] = (*start)[i];
      }
      const double r0 = fsh.residual_norm();
      fsh.set_values(xs);
      const double rs = fsh.residual_norm();
      if (rs < 0.0 || (r0 >= 0.0 && r0 <= rs)) fsh.set_values(x0);
    }
    s.report = fsh.solve(c.solver.max_iterations, c.solver.tolerance, progress);
    s.code = static_cast<int>(s.report.outcome);
    s.error = s.report.message;
  }
  fsh.update_streams();
  return s;
}

nlohmann::json results(Flowsheet& fsh, const Solved& s) {
  nlohmann::json j;
  if (s.prepared) {
    host::units::capture(host::units::kReportUnit);
    fsh.write_reports();
    std::string text;
    for (const std::string& line : host::units::take(host::units::kReportUnit)) text += line + "\n";
    j["report"] = text;
  }
  host::results_json(fsh, s.report, s.prepared ? 0 : s.code, j);
  return j;
}

std::string state_of(const Solved& s) {
  switch (s.code) {
    case 0: return "converged";
    case 1: return "bad input";
    case 2: return "model failure";
    default: return s.structure_error ? "specification error" : "not converged";
  }
}

bool output_value(Flowsheet& fsh, const std::string& name, double& value) {
  for (const host::Variable& v : fsh.variables()) {
    if (v.name == name) {
      value = v.value;
      return true;
    }
  }
  const size_t dot = name.find('.');
  if (dot == std::string::npos) return false;
  const std::string sid = name.substr(0, dot), key = name.substr(dot + 1);
  const StreamDef* s = fsh.definition().stream(sid);
  const std::vector<double>* v = fsh.stream_vector(sid);
  if (s == nullptr || v == nullptr) return false;
  int pos = 0;
  if (s->kind != StreamDef::Kind::Material) {
    if (upper(key) != "VALUE") return false;
  } else if (!stream_property(key, static_cast<int>(fsh.definition().components.size()), pos)) {
    return false;
  }
  if (static_cast<size_t>(pos) >= v->size()) return false;
  value = (*v)[static_cast<size_t>(pos)];
  return true;
}

// ---------------------------------------------------------------- grids

namespace {

// Random draws that are the same on every platform: a 64-bit Mersenne
// twister (its output is fixed by the standard) with the transforms written
// out here rather than the library's distributions, whose algorithms vary.
struct Draws {
  std::mt19937_64 gen;
  explicit Draws(uint64_t seed) : gen(seed) {}
  double unit() { return static_cast<double>(gen() >> 11) * 0x1.0p-53; }  // [0, 1)
  double normal() {  // Box-Muller, one of the pair
    double u1 = unit();
    while (u1 <= 0.0) u1 = unit();
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * std::numbers::pi * unit());
  }
};

nlohmann::ordered_json toml_to_json(const toml::node& n) {
  if (const toml::table* t = n.as_table()) {
    nlohmann::ordered_json o = nlohmann::ordered_json::object();
    for (const auto& [k, v] : *t) o[std::string(k.str())] = toml_to_json(v);
    return o;
  }
  if (const toml::array* a = n.as_array()) {
    nlohmann::ordered_json o = nlohmann::ordered_json::array();
    for (const toml::node& e : *a) o.push_back(toml_to_json(e));
    return o;
  }
  if (auto v = n.value<int64_t>(); v && n.is_integer()) return *v;
  if (auto v = n.value<double>()) return *v;
  if (auto v = n.value<std::string>()) return *v;
  if (auto v = n.value<bool>()) return *v;
  return nullptr;
}

bool number(const nlohmann::ordered_json& j, double& out) {
  if (!j.is_number()) return false;
  out = j.get<double>();
  return std::isfinite(out);
}

}  // namespace

bool parse_grid(const nlohmann::ordered_json& spec, Grid& grid, std::string& error) {
  grid = Grid{};
  if (!spec.is_object()) {
    error = "the grid must be a table of inputs and their values";
    return false;
  }
  uint64_t seed = 0;
  long samples = 1;
  struct Random {
    size_t input;
    bool normal;
    double a, b;
  };
  std::vector<std::vector<double>> axes;
  std::vector<Random> random;
  for (const auto& [key, v] : spec.items()) {
    if (key == "seed") {
      if (!v.is_number_integer() || v.get<int64_t>() < 0) {
        error = "grid: seed must be a non-negative integer";
        return false;
      }
      seed = v.get<uint64_t>();
    } else if (key == "samples") {
      if (!v.is_number_integer() || v.get<int64_t>() < 1) {
        error = "grid: samples must be a positive integer";
        return false;
      }
      samples = v.get<long>();
    } else if (key == "chunk") {
      if (!v.is_number_integer() || v.get<int64_t>() < 1 || v.get<int64_t>() > 1000000) {
        error = "grid: chunk must be a positive integer";
        return false;
      }
      grid.chunk = v.get<int>();
    } else if (key == "outputs") {
      if (!v.is_array()) {
        error = "grid: outputs must be a list of names";
        return false;
      }
      for (const auto& o : v) {
        if (!o.is_string()) {
          error = "grid: outputs must be a list of names";
          return false;
        }
        grid.outputs.push_back(o.get<std::string>());
      }
    } else {
      const std::string what = "grid: " + key;
      std::vector<double> values;
      if (v.is_array()) {
        for (const auto& e : v) {
          double x;
          if (!number(e, x)) {
            error = what + ": every value must be a finite number";
            return false;
          }
          values.push_back(x);
        }
        if (values.empty()) {
          error = what + " has no values";
          return false;
        }
      } else if (v.is_object() && v.contains("from")) {
        double from, to;
        if (!number(v.value("from", nlohmann::ordered_json()), from) || !number(v.value("to", nlohmann::ordered_json()), to) ||
            !v.contains("steps") || !v["steps"].is_number_integer() || v["steps"].get<int64_t>() < 1 ||
            v.size() != 3) {
          error = what + ": a range is {from = A, to = B, steps = N} with N >= 1";
          return false;
        }
        const long n = v["steps"].get<long>();
        for (long i = 0; i < n; ++i) values.push_back(n == 1 ? from : from + (to - from) * static_cast<double>(i) / static_cast<double>(n - 1));
      } else if (v.is_object() && v.size() == 1 && (v.contains("uniform") || v.contains("normal"))) {
        const bool normal = v.contains("normal");
        const auto& p = v.begin().value();
        double a, b;
        if (!p.is_array() || p.size() != 2 || !number(p[0], a) || !number(p[1], b) || (normal ? b < 0.0 : b < a)) {
          error = what + (normal ? ": normal = [MEAN, SD] with SD >= 0" : ": uniform = [LOW, HIGH] with LOW <= HIGH");
          return false;
        }
        random.push_back({grid.names.size(), normal, a, b});
      } else {
        error = what + ": give a list of values, a range {from, to, steps}, or a draw {uniform = [LOW, HIGH]} or {normal = [MEAN, SD]}";
        return false;
      }
      grid.names.push_back(key);
      axes.push_back(values);  // empty for a random input
    }
  }
  if (grid.names.empty()) {
    error = "the grid names no inputs";
    return false;
  }
  if (random.empty()) samples = 1;
  // Full grid of the listed inputs, the first varying slowest; each grid point
  // repeated for every sample of the random ones.
  size_t total = static_cast<size_t>(samples);
  for (const auto& a : axes) total *= a.empty() ? 1 : a.size();
  if (total > 100000000) {
    error = "the grid has more than 1e8 points";
    return false;
  }
  Draws draws(seed);
  std::vector<size_t> at(axes.size(), 0);
  for (size_t p = 0; p < total; ++p) {
    std::vector<double> point(axes.size(), 0.0);
    size_t rest = p / static_cast<size_t>(samples);
    for (size_t k = axes.size(); k-- > 0;) {
      if (axes[k].empty()) continue;
      point[k] = axes[k][rest % axes[k].size()];
      rest /= axes[k].size();
    }
    for (const Random& r : random) point[r.input] = r.normal ? r.a + r.b * draws.normal() : r.a + (r.b - r.a) * draws.unit();
    grid.points.push_back(std::move(point));
  }
  return true;
}

bool load_grid(const std::string& path, Grid& grid, std::string& error) {
  toml::table root;
  try {
    root = toml::parse_file(path);
  } catch (const toml::parse_error& e) {
    error = path + ":" + std::to_string(e.source().begin.line) + ": " + std::string(e.description());
    return false;
  }
  // The inputs in the order the file gives them (the first varies slowest).
  std::vector<std::pair<const toml::key*, const toml::node*>> entries;
  for (const auto& [k, v] : root) entries.emplace_back(&k, &v);
  auto by_line = [](const auto& a, const auto& b) { return a.first->source().begin.line < b.first->source().begin.line; };
  std::stable_sort(entries.begin(), entries.end(), by_line);
  nlohmann::ordered_json spec = nlohmann::ordered_json::object();
  for (const auto& [kp, vp] : entries) {
    const toml::key& k = *kp;
    const toml::node& v = *vp;
    const std::string key(k.str());
    if (key == "grid") {
      if (!v.is_table()) {
        error = path + ": [grid] must be a table of inputs";
        return false;
      }
      std::vector<std::pair<const toml::key*, const toml::node*>> inputs;
      for (const auto& [gk, gv] : *v.as_table()) inputs.emplace_back(&gk, &gv);
      std::stable_sort(inputs.begin(), inputs.end(), by_line);
      for (const auto& [gk, gv] : inputs) spec[std::string(gk->str())] = toml_to_json(*gv);
    } else if (key == "seed" || key == "samples" || key == "outputs" || key == "chunk") {
      spec[key] = toml_to_json(v);
    } else {
      error = path + ":" + std::to_string(v.source().begin.line) + ": unknown key '" + key +
              "' (expected [grid], seed, samples, outputs, chunk)";
      return false;
    }
  }
  if (!parse_grid(spec, grid, error)) {
    error = path + ": " + error;
    return false;
  }
  return true;
}

bool resolve_outputs(const Case& c, Grid& grid, std::string& error) {
  // The first point set up (not solved) tells whether the inputs and the
  // outputs exist.
  Case first = c;
  for (size_t k = 0; k < grid.names.size(); ++k) {
    if (!set_input(first, grid.names[k], grid.points.empty() ? 0.0 : grid.points[0][k], error)) return false;
  }
  if (grid.points.empty()) {
    error = "the grid has no points";
    return false;
  }
  Flowsheet fsh;
  std::vector<void*> libs;
  QuietUnits quiet;
  const int code = host::prepare_flowsheet(first, "", fsh, libs, error);
  if (code == static_cast<int>(Outcome::BadInput)) {
    error = "the grid does not fit the case: " + error;
    return false;
  }
  if (code != 0) {
    // A model that fails at the first point's set-up fails that point only.
    error.clear();
    if (grid.outputs.empty()) {
      error = "the case cannot be set up at the first point, so no outputs can be chosen; name them";
      return false;
    }
    return true;
  }
  if (grid.outputs.empty()) {
    for (const host::Variable& v : fsh.variables()) {
      if (std::find(grid.names.begin(), grid.names.end(), v.name) == grid.names.end()) grid.outputs.push_back(v.name);
    }
  }
  fsh.update_streams();
  for (const std::string& o : grid.outputs) {
    double x;
    if (!output_value(fsh, o, x)) {
      std::string names;
      for (const host::Variable& v : fsh.variables()) names += (names.empty() ? "" : ", ") + v.name;
      error = "unknown output '" + o + "' (the variables: " + names +
              "; and STREAM.TEMPERATURE, PRESSURE, TOTAL_FLOW, MASS_ENTHALPY, VAPOUR_FRACTION, DENSITY, MOLECULAR_WEIGHT)";
      return false;
    }
  }
  fsh.blocks().clear();
  return true;
}

void solve_chunk(const Case& c, const Grid& grid, size_t begin, size_t end,
                 const std::function<void(Row&&)>& emit) {
  // Distances in the grid's own spans, so that inputs in different units weigh alike.
  const size_t nin = grid.names.size();
  std::vector<double> lo(nin, 0.0), span(nin, 1.0);
  for (size_t k = 0; k < nin; ++k) {
    double a = grid.points[begin][k], b = a;
    for (size_t p = begin; p < end; ++p) {
      a = std::min(a, grid.points[p][k]);
      b = std::max(b, grid.points[p][k]);
    }
    lo[k] = a;
    span[k] = b > a ? b - a : 1.0;
  }
  struct Done {
    size_t point;
    std::vector<double> values;
  };
  std::vector<Done> solved;
  QuietUnits quiet;
  for (size_t p = begin; p < end; ++p) {
    Row row;
    row.index = p;
    Case pc = c;
    std::string error;
    bool ok = true;
    for (size_t k = 0; k < nin && ok; ++k) ok = set_input(pc, grid.names[k], grid.points[p][k], error);
    row.outputs.assign(grid.outputs.size(), kNaN);
    row.residual_norm = kNaN;
    if (!ok) {
      row.status = "bad input";
      row.message = error;
      emit(std::move(row));
      continue;
    }
    const Done* near = nullptr;
    double best = std::numeric_limits<double>::infinity();
    for (const Done& d : solved) {
      double dist = 0.0;
      for (size_t k = 0; k < nin; ++k) {
        const double e = (grid.points[p][k] - grid.points[d.point][k]) / span[k];
        dist += e * e;
      }
      if (dist < best) {
        best = dist;
        near = &d;
      }
    }
    Flowsheet fsh;
    const Solved s = solve_case(pc, fsh, near ? &near->values : nullptr, nullptr);
    row.status = state_of(s);
    row.iterations = s.report.iterations;
    row.residual_norm = s.prepared && !s.structure_error ? s.report.residual_norm : kNaN;
    if (s.code == 0) {
      for (size_t k = 0; k < grid.outputs.size(); ++k) {
        if (!output_value(fsh, grid.outputs[k], row.outputs[k])) row.outputs[k] = kNaN;
      }
      solved.push_back({p, fsh.values()});
    } else {
      row.message = s.error;
    }
    fsh.blocks().clear();
    quiet.drop();
    emit(std::move(row));
  }
}

// ---------------------------------------------------------------- workers

namespace {

// Rows travel from a worker to the parent as length-prefixed records.
void put(std::string& b, const void* p, size_t n) { b.append(static_cast<const char*>(p), n); }
void put_str(std::string& b, const std::string& s) {
  const uint32_t n = static_cast<uint32_t>(s.size());
  put(b, &n, sizeof n);
  b += s;
}

std::string encode(const Row& r) {
  std::string b;
  const uint64_t idx = r.index;
  const int32_t it = r.iterations;
  const uint32_t nout = static_cast<uint32_t>(r.outputs.size());
  put(b, &idx, sizeof idx);
  put(b, &it, sizeof it);
  put(b, &r.residual_norm, sizeof r.residual_norm);
  put_str(b, r.status);
  put_str(b, r.message);
  put(b, &nout, sizeof nout);
  put(b, r.outputs.data(), nout * sizeof(double));
  return b;
}

struct Reader {
  const char* p;
  const char* end;
  bool ok = true;
  void get(void* out, size_t n) {
    if (static_cast<size_t>(end - p) < n) {
      ok = false;
      return;
    }
    std::memcpy(out, p, n);
    p += n;
  }
  std::string str() {
    uint32_t n = 0;
    get(&n, sizeof n);
    if (!ok || static_cast<size_t>(end - p) < n) {
      ok = false;
      return {};
    }
    std::string s(p, n);
    p += n;
    return s;
  }
};

bool decode(const std::string& b, Row& r) {
  Reader rd{b.data(), b.data() + b.size()};
  uint64_t idx = 0;
  int32_t it = 0;
  uint32_t nout = 0;
  rd.get(&idx, sizeof idx);
  rd.get(&it, sizeof it);
  rd.get(&r.residual_norm, sizeof r.residual_norm);
  r.status = rd.str();
  r.message = rd.str();
  rd.get(&nout, sizeof nout);
  if (!rd.ok || nout > 1000000) return false;
  r.outputs.resize(nout);
  rd.get(r.outputs.data(), nout * sizeof(double));
  r.index = idx;
  r.iterations = it;
  return rd.ok;
}

bool write_all(int fd, const void* p, size_t n) {
  const char* c = static_cast<const char*>(p);
  while (n > 0) {
    const ssize_t w = ::write(fd, c, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    c += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

bool read_all(int fd, void* p, size_t n) {
  char* c = static_cast<char*>(p);
  while (n > 0) {
    const ssize_t r = ::read(fd, c, n);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    c += r;
    n -= static_cast<size_t>(r);
  }
  return true;
}

// Record kinds on a worker's pipe: a row, or the end of a chunk.
constexpr char kRowRecord = 'R', kChunkDone = 'D';

[[noreturn]] void worker_main(const Case& c, const Grid& grid, long die_at, int cmd_fd, int res_fd) {
  uint64_t range[2];
  while (read_all(cmd_fd, range, sizeof range)) {
    const size_t begin = static_cast<size_t>(range[0]), end = static_cast<size_t>(range[1]);
    bool ok = true;
    solve_chunk(c, grid, begin, end, [&](Row&& r) {
      if (die_at >= 0 && r.index + 1 == static_cast<size_t>(die_at)) ::raise(SIGKILL);
      const std::string b = encode(r);
      const uint32_t n = static_cast<uint32_t>(b.size());
      ok = ok && write_all(res_fd, &kRowRecord, 1) && write_all(res_fd, &n, sizeof n) && write_all(res_fd, b.data(), n);
    });
    if (!ok || !write_all(res_fd, &kChunkDone, 1)) break;
  }
  ::_exit(0);
}

struct Worker {
  pid_t pid = -1;
  int cmd = -1, res = -1;
  bool busy = false;
  size_t begin = 0, end = 0;  // the points it is solving
  std::string buf;
};

// Progress on standard error: points done, failed, rate, time left.
struct Progress {
  bool on;
  size_t total, done = 0, failed = 0;
  std::chrono::steady_clock::time_point t0 = std::chrono::steady_clock::now(), last = t0;
  bool tty = ::isatty(2) != 0;
  void add(const Row& r) {
    ++done;
    if (r.status != "converged") ++failed;
    const auto now = std::chrono::steady_clock::now();
    if (on && (done == total || now - last > std::chrono::milliseconds(tty ? 200 : 2000))) {
      last = now;
      const double s = std::chrono::duration<double>(now - t0).count();
      const double rate = s > 0 ? static_cast<double>(done) / s : 0.0;
      const double left = rate > 0 ? static_cast<double>(total - done) / rate : 0.0;
      std::fprintf(stderr, "%ssweep: %zu/%zu points, %zu failed, %.1f points/s, %.1f s left%s", tty ? "\r" : "", done,
                   total, failed, rate, left, tty && done < total ? "" : "\n");
      std::fflush(stderr);
    }
  }
};

}  // namespace

bool run_sweep(const Case& c, Grid& grid, const Options& opt, const std::function<void(const Row&)>& on_row,
               std::string& error) {
  if (!resolve_outputs(c, grid, error)) return false;
  Progress progress{opt.progress, grid.points.size()};
  auto keep = [&](const Row& r) {
    progress.add(r);
    on_row(r);
  };
  struct Cancelled {};
  auto take = [&](const Row& r) {
    keep(r);
    if (opt.cancelled && opt.cancelled()) throw Cancelled{};
  };
  const size_t nchunks = (grid.points.size() + static_cast<size_t>(grid.chunk) - 1) / static_cast<size_t>(grid.chunk);
  if (opt.jobs <= 1) {
    try {
      for (size_t k = 0; k < nchunks; ++k) {
        const size_t begin = k * static_cast<size_t>(grid.chunk);
        solve_chunk(c, grid, begin, std::min(grid.points.size(), begin + static_cast<size_t>(grid.chunk)),
                    [&](Row&& r) { take(r); });
      }
    } catch (const Cancelled&) {
      error = "interrupted";
      return false;
    }
    return true;
  }
  std::fflush(stdout);
  std::fflush(stderr);
  // Chunks still to solve. When a worker dies, the point it was solving
  // fails and the rest of its chunk goes back in the queue. A worker that
  // dies is not started again more often than there are chunks.
  std::deque<std::pair<size_t, size_t>> queue;
  for (size_t k = 0; k < nchunks; ++k) {
    const size_t b = k * static_cast<size_t>(grid.chunk);
    queue.emplace_back(b, std::min(grid.points.size(), b + static_cast<size_t>(grid.chunk)));
  }
  size_t restarts = 0;
  std::vector<Worker> workers;
  std::vector<char> finished(grid.points.size(), 0);
  auto start_worker = [&](Worker& w) {
    int cmd[2], res[2];
    if (::pipe(cmd) != 0) return false;
    if (::pipe(res) != 0) {
      ::close(cmd[0]);
      ::close(cmd[1]);
      return false;
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
      for (int fd : {cmd[0], cmd[1], res[0], res[1]}) ::close(fd);
      return false;
    }
    if (pid == 0) {
      // An interrupt is the parent's to handle: it stops the workers.
      ::signal(SIGINT, SIG_IGN);
      ::close(cmd[1]);
      ::close(res[0]);
      for (const Worker& o : workers) {
        if (o.cmd >= 0) ::close(o.cmd);
        if (o.res >= 0) ::close(o.res);
      }
      worker_main(c, grid, opt.die_at, cmd[0], res[1]);
    }
    ::close(cmd[0]);
    ::close(res[1]);
    w = Worker{pid, cmd[1], res[0], false, 0, 0, {}};
    return true;
  };
  auto give = [&](Worker& w) {
    w.busy = false;
    if (queue.empty()) {
      ::close(w.cmd);
      w.cmd = -1;
      return;
    }
    std::tie(w.begin, w.end) = queue.front();
    queue.pop_front();
    w.busy = true;
    const uint64_t range[2] = {w.begin, w.end};
    if (!write_all(w.cmd, range, sizeof range)) {
      ::close(w.cmd);
      w.cmd = -1;
    }
  };
  const size_t n = std::min(static_cast<size_t>(opt.jobs), nchunks);
  workers.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    Worker w;
    if (!start_worker(w)) {
      if (workers.empty()) {
        error = std::string("cannot start a worker process: ") + std::strerror(errno);
        return false;
      }
      break;
    }
    workers.push_back(w);
    give(workers.back());
  }
  // A broken pipe to a dead worker is seen on its result pipe, not as a signal.
  struct sigaction ign{}, old{};
  ign.sa_handler = SIG_IGN;
  ::sigaction(SIGPIPE, &ign, &old);
  for (;;) {
    std::vector<pollfd> fds;
    std::vector<size_t> who;
    for (size_t i = 0; i < workers.size(); ++i) {
      if (workers[i].res >= 0) {
        fds.push_back({workers[i].res, POLLIN, 0});
        who.push_back(i);
      }
    }
    if (fds.empty()) break;
    if (opt.cancelled && opt.cancelled()) {
      // The workers stop with the sweep; no more rows are taken.
      for (Worker& w : workers) {
        if (w.res >= 0 && w.pid > 0) ::kill(w.pid, SIGKILL);
      }
      error = "interrupted";
      break;
    }
    if (::poll(fds.data(), fds.size(), 200) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (size_t f = 0; f < fds.size(); ++f) {
      if (fds[f].revents == 0) continue;
      Worker& w = workers[who[f]];
      char tmp[65536];
      const ssize_t got = ::read(w.res, tmp, sizeof tmp);
      if (got < 0 && errno == EINTR) continue;
      if (got > 0) {
        w.buf.append(tmp, static_cast<size_t>(got));
        // Complete records: rows, and chunk ends that ask for the next chunk.
        size_t pos = 0;
        for (;;) {
          if (pos >= w.buf.size()) break;
          if (w.buf[pos] == kChunkDone) {
            ++pos;
            give(w);
            continue;
          }
          uint32_t len = 0;
          if (w.buf.size() - pos < 1 + sizeof len) break;
          std::memcpy(&len, w.buf.data() + pos + 1, sizeof len);
          if (w.buf.size() - pos < 1 + sizeof len + len) break;
          Row r;
          if (decode(w.buf.substr(pos + 1 + sizeof len, len), r) && r.index < finished.size()) {
            finished[r.index] = 1;
            keep(r);
          }
          pos += 1 + sizeof len + len;
        }
        w.buf.erase(0, pos);
        continue;
      }
      // The worker has gone: the point it was on fails, a new worker takes
      // the rest.
      ::close(w.res);
      w.res = -1;
      if (w.cmd >= 0) ::close(w.cmd);
      w.cmd = -1;
      int st = 0;
      ::waitpid(w.pid, &st, 0);
      size_t p = w.begin;
      while (w.busy && p < w.end && finished[p]) ++p;
      if (w.busy && p < w.end) {
        const std::string why = WIFSIGNALED(st) ? "killed by signal " + std::to_string(WTERMSIG(st))
                                                : "exited with status " + std::to_string(WEXITSTATUS(st));
        Row r;
        r.index = p;
        r.status = "worker died";
        r.residual_norm = kNaN;
        r.outputs.assign(grid.outputs.size(), kNaN);
        r.message = "the worker process (pid " + std::to_string(w.pid) + ") solving this point was " + why;
        finished[p] = 1;
        keep(r);
        if (p + 1 < w.end) queue.emplace_front(p + 1, w.end);
      }
      w.busy = false;
      {
        if (!queue.empty() && restarts < nchunks && start_worker(w)) {
          ++restarts;
          give(w);
        }
      }
    }
  }
  for (Worker& w : workers) {
    if (w.cmd >= 0) ::close(w.cmd);
    if (w.res >= 0) ::close(w.res);
    if (w.pid > 0) ::waitpid(w.pid, nullptr, WNOHANG);
  }
  // Reap the workers that closed their pipes and exited.
  for (Worker& w : workers) {
    if (w.pid > 0) ::waitpid(w.pid, nullptr, 0);
  }
  ::sigaction(SIGPIPE, &old, nullptr);
  if (error == "interrupted") return false;
  // Points no worker reached (every start failed): failed, with the reason.
  for (size_t p = 0; p < finished.size(); ++p) {
    if (finished[p]) continue;
    Row r;
    r.index = p;
    r.status = "worker died";
    r.residual_norm = kNaN;
    r.outputs.assign(grid.outputs.size(), kNaN);
    r.message = "no worker process could be started for this point";
    keep(r);
  }
  return true;
}

}  // namespace r3::sweep

// ---------------------------------------------------------------- command

namespace {

std::string csv_number(double v) {
  if (!std::isfinite(v)) return "";
  char b[32];
  std::snprintf(b, sizeof b, "%.17g", v);
  return b;
}

std::string csv_text(const std::string& s) {
  if (s.find_first_of(",\"\n") == std::string::npos) return s;
  std::string o = "\"";
  for (char ch : s) o += ch == '"' ? std::string("\"\"") : std::string(1, ch);
  return o + "\"";
}

}  // namespace

CLI::App* add_sweep_command(CLI::App& app, SweepOptions& o) {
  auto* c = app.add_subcommand("sweep", "solve a case at every point of a grid of inputs, on N worker processes");
  c->add_option("case", o.case_path, "case file (TOML)")->required();
  c->add_option("--grid", o.grid_path, "grid file (TOML): the inputs and their values, outputs, seed")->required();
  c->add_option("--jobs", o.jobs, "worker processes (default 1)")->check(CLI::Range(1, 1024));
  c->add_option("--out", o.out, "write the rows to FILE (CSV) instead of standard output");
  c->add_flag("--quiet", o.quiet, "no progress on standard error");
  // Tests: the worker that reaches this point (1-based) dies.
  c->add_option("--simulate-worker-death", o.die_at)->group("");
  return c;
}

int run_sweep_command(const SweepOptions& o) {
  using namespace r3::sweep;
  Case c;
  Grid grid;
  std::string error;
  if (!r3::host::load_case(o.case_path, c, error) || !load_grid(o.grid_path, grid, error)) {
    std::fprintf(stderr, "r3sim: %s\n", error.c_str());
    return 1;
  }
  std::FILE* out = stdout;
  if (!o.out.empty() && !(out = std::fopen(o.out.c_str(), "w"))) {
    std::fprintf(stderr, "r3sim: cannot write %s\n", o.out.c_str());
    return 1;
  }
  // Rows are written in grid order as soon as the rows before them are in,
  // so that a sweep stopped early keeps every row up to there.
  std::map<size_t, Row> pending;
  size_t next = 0, failed = 0;
  bool header = false;
  auto write_header = [&] {
    std::string h = "point";
    for (const auto& n : grid.names) h += "," + csv_text(n);
    h += ",status,iterations,residual_norm";
    for (const auto& n : grid.outputs) h += "," + csv_text(n);
    std::fprintf(out, "%s,message\n", h.c_str());
    header = true;
  };
  auto on_row = [&](const Row& r) {
    if (!header) write_header();
    if (r.status != "converged") ++failed;
    pending.emplace(r.index, r);
    for (auto it = pending.find(next); it != pending.end(); it = pending.find(next)) {
      const Row& w = it->second;
      std::string line = std::to_string(w.index + 1);
      // Appended piece by piece: GCC 12 reports false overlaps in chains of operator+.
      auto field = [&line](const std::string& text) {
        line += ',';
        line += text;
      };
      for (double v : grid.points[w.index]) field(csv_number(v));
      field(w.status);
      field(std::to_string(w.iterations));
      field(csv_number(w.residual_norm));
      for (double v : w.outputs) field(csv_number(v));
      std::fprintf(out, "%s,%s\n", line.c_str(), csv_text(w.message).c_str());
      pending.erase(it);
      ++next;
    }
    std::fflush(out);
  };
  Options opt;
  opt.jobs = o.jobs;
  opt.progress = !o.quiet;
  opt.die_at = o.die_at;
  const bool ok = run_sweep(c, grid, opt, on_row, error);
  if (out != stdout) std::fclose(out);
  if (!ok) {
    std::fprintf(stderr, "r3sim: %s\n", error.c_str());
    return 1;
  }
  if (failed > 0) {
    std::fprintf(stderr, "r3sim: %zu of %zu points failed (see their status and message)\n", failed,
                 grid.points.size());
    return 3;
  }
  return 0;
}
