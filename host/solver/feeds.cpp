// Feed variables a case frees, the composition equations that keep a freed
// feed's composition, and the warnings about inputs a user has almost
// certainly got wrong.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>

#include "host/case/suggest.h"
#include "host/solver/flowsheet.h"

namespace r3::host {
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
      std::vector<std::string> known = {"TEMPERATURE"};
      for (const Variable& v : vars_) {
        if (v.name.rfind(sid + ".", 0) != 0) continue;
        names += (names.empty() ? "" : ", ") + v.name;
        known.push_back(v.name.substr(sid.size() + 1));
      }
      error = where + "feed stream " + sid + " has no variable '" + var + "'" + did_you_mean(var, known) +
              " (its variables: " + names + ", or TEMPERATURE for its enthalpy)";
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

void Flowsheet::warn(const std::string& block, const std::string& variable, double value, bool has_value,
                     const std::string& message) {
  for (const Warning& w : warnings_) {
    if (w.message == message && w.variable == variable) return;
  }
  warnings_.push_back(Warning{block, variable, value, has_value, message});
}

namespace {

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string num(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.6g", v);
  return buf;
}

// The valve's phase option: the second integer, 1 vapour (the default), 2
// liquid.
bool liquid_valve(const BlockDef& d) { return d.model == "R3VALV" && d.ints.size() > 1 && d.ints[1] == 2; }

}  // namespace

// Inputs a user has almost certainly got wrong; the run goes on.
void Flowsheet::check_inputs() {
  const bool water = std::find(case_.components.begin(), case_.components.end(), "H2O") != case_.components.end();
  const double t_min = case_.method == thermo::Method::SteamTable ? 273.15 : (water ? 200.0 : 0.0);
  const auto check_temperature = [&](const std::string& block, const std::string& name, double t) {
    if (!(t < t_min)) return;
    warn(block, name, t, true,
         name + " is " + num(t) + " K, below " + num(t_min) + " K" +
             (case_.method == thermo::Method::SteamTable ? " (the steam tables' range)" : " for water") +
             (t < 150.0 ? "; temperatures are in K: " + num(t) + " C is " + num(t + 273.15) + " K" : ""));
  };
  for (const StreamDef& s : case_.streams) {
    if (s.temperature && is_feed(s.id)) check_temperature("", s.id + ".TEMPERATURE", *s.temperature);
  }
  const int ncf = static_cast<int>(case_.components.size());
  for (size_t bi = 0; bi < case_.blocks.size(); ++bi) {
    const BlockDef& d = case_.blocks[bi];
    for (const auto& [name, value] : d.fix) {
      const std::string full = name.find('.') == std::string::npos ? d.id + "." + name : name;
      const std::string u = upper(name);
      if (u.find("EFF") != std::string::npos && value > 1.0) {
        warn(d.id, full, value, true,
             full + " = " + num(value) + ": an efficiency above 1" +
                 (value <= 100.0 ? " (a percentage? write " + num(value / 100.0) + ")" : ""));
      }
      auto it = var_index_.find(full);
      if (it != var_index_.end() && vars_[static_cast<size_t>(it->second)].type == 22) check_temperature(d.id, full, value);
    }
    // The phase of the first material inlet against the block's phase option.
    if (d.inlets.empty()) continue;
    auto st = streams_.find(d.inlets[0]);
    if (st == streams_.end() || static_cast<int>(st->second.size()) <= ncf + 4) continue;
    const double vf = st->second[static_cast<size_t>(ncf + 4)];
    if (!(vf >= 0.0 && vf <= 1.0)) continue;
    const std::string in = d.inlets[0] + ".VAPOUR_FRACTION";
    if (d.model == "R3VALV" && liquid_valve(d) && vf > 0.0) {
      warn(d.id, in, vf, true, "valve " + d.id + " is set for liquid (int[2] = 2) but its inlet " + d.inlets[0] +
                                   " has vapour (vapour fraction " + num(vf) + ")");
    } else if (d.model == "R3VALV" && !liquid_valve(d) && vf == 0.0) {
      warn(d.id, in, vf, true, "valve " + d.id + " is set for vapour (int[2] = 1, the default) but its inlet " +
                                   d.inlets[0] + " is liquid");
    } else if (d.model == "R3PUMP" && vf > 0.0) {
      warn(d.id, in, vf, true, "pump " + d.id + " is fed with vapour: its inlet " + d.inlets[0] +
                                   " has a vapour fraction of " + num(vf));
    }
  }
}

// After a solve: a liquid valve whose outlet flashes.
void Flowsheet::check_results() {
  const int ncf = static_cast<int>(case_.components.size());
  for (const BlockDef& d : case_.blocks) {
    if (!liquid_valve(d) || d.outlets.empty()) continue;
    auto st = streams_.find(d.outlets[0]);
    if (st == streams_.end() || static_cast<int>(st->second.size()) <= ncf + 4) continue;
    const double vf = st->second[static_cast<size_t>(ncf + 4)];
    if (vf > 0.0 && vf <= 1.0) {
      warn(d.id, d.outlets[0] + ".VAPOUR_FRACTION", vf, true,
           "the outlet " + d.outlets[0] + " of liquid valve " + d.id + " flashes (vapour fraction " + num(vf) +
               "); the liquid sizing equation does not hold for it");
    }
  }
}

// The streams of a recycle that the initialisation reaches before the block
// producing them (tear streams) start from a feed's conditions when the case
// gives none: the feed entering the same block, else the case's first feed.
// A flowsheet with no feed at all cannot start: the loop is named.
bool Flowsheet::tear_stream(Block& b, int k, const std::string& sid, std::string& error) {
  const StreamDef* feed = nullptr;
  for (const auto& other : b.matin) {
    const StreamDef* s = stream_def(other);
    if (s != nullptr && is_feed(other) && s->has_conditions()) feed = s;
  }
  for (const StreamDef& s : case_.streams) {
    if (feed == nullptr && s.kind == StreamDef::Kind::Material && is_feed(s.id) && s.has_conditions()) feed = &s;
  }
  if (feed == nullptr) {
    // Follow producers from this stream back round the loop.
    std::string loop;
    std::string cur = sid;
    std::set<std::string> seen;
    while (producer_.count(cur) && seen.insert(cur).second) {
      const BlockDef& p = case_.blocks[static_cast<size_t>(producer_.at(cur))];
      loop = p.id + (loop.empty() ? "" : " -> " + loop);
      if (p.inlets.empty()) break;
      cur = p.inlets[0];
    }
    error = case_.path + ": the flowsheet has no feed: stream " + sid + " is in a loop that nothing feeds (" + loop +
            " -> " + b.id + "); give a stream of the loop its conditions (flows, pressure, temperature)";
    return false;
  }
  if (!fill_feed(b, k, *feed, error)) return false;
  torn_ = true;
  warn(b.id, sid, 0.0, false,
       "recycle stream " + sid + " is torn: the initialisation started it from the conditions of feed " +
           feed->id + " and passed round the loop " + std::to_string(kTearPasses) +
           " times (give [streams." + sid + "] conditions to start elsewhere)");
  return true;
}

}  // namespace r3::host
