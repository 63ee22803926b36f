#include "host/solver/specs.h"

#include <cmath>

#include "host/services/context.h"
#include "host/solver/flowsheet.h"

namespace r3::host {

bool SpecRows::bind(const Case& c, std::vector<Variable>& vars,
                    const std::map<std::string, int>& index,
                    const std::map<std::string, std::string>& producers, std::string& error) {
  rows_.clear();
  int n = 0;
  for (const SpecDef& d : c.specs) {
    ++n;
    const std::string where = c.path + ":" + std::to_string(d.line) + ": spec " + d.text + ": ";
    auto find = [&](const std::string& name, int& g) {
      auto it = index.find(name);
      const size_t dot = name.find('.');
      if (it == index.end() && dot != std::string::npos) {
        // A stream's temperature or vapour fraction: its producing block's.
        const std::string sid = name.substr(0, dot), what = name.substr(dot + 1);
        auto p = producers.find(sid);
        if (p != producers.end() && (what == "TEMPERATURE" || what == "VFRAC")) {
          const std::string alias = p->second + (what == "TEMPERATURE" ? ".T_OUT" : ".VFRAC_OUT");
          it = index.find(alias);
          if (it == index.end() && what == "VFRAC") it = index.find(p->second + ".VFRAC");
        }
      }
      if (it == index.end()) {
        error = where + "the flowsheet has no variable '" + name + "'";
        return false;
      }
      g = it->second;
      return true;
    };
    Row r;
    int g = 0;
    if (!find(d.left, g)) return false;
    r.coef.emplace_back(g, 1.0);
    r.scale_var = g;
    for (const auto& [k, name] : d.terms) {
      if (!find(name, g)) return false;
      r.coef.emplace_back(g, -k);
    }
    r.constant = -d.constant;
    if (!d.free.empty()) {
      if (!find(d.free, g)) return false;
      if (!vars[static_cast<size_t>(g)].fixed) {
        error = where + "it frees " + d.free + ", which is not fixed";
        return false;
      }
      vars[static_cast<size_t>(g)].fixed = false;
    }
    r.name = "SPEC_" + std::to_string(n) + " (line " + std::to_string(d.line) + ": " + d.text + ")";
    rows_.push_back(std::move(r));
  }
  return true;
}

void SpecRows::residuals(const std::vector<double>& x, const std::vector<Variable>& vars,
                         int offset, std::vector<double>& f) const {
  for (size_t i = 0; i < rows_.size(); ++i) {
    const Row& r = rows_[i];
    double v = r.constant;
    for (const auto& [g, k] : r.coef) v += k * x[static_cast<size_t>(g)];
    f[static_cast<size_t>(offset) + i] = v / safe_scale(vars[static_cast<size_t>(r.scale_var)].scale);
  }
}

void SpecRows::jacobian(const std::vector<Variable>& vars, int offset, std::vector<int>& rows,
                        std::vector<int>& cols, std::vector<double>& vals) const {
  for (size_t i = 0; i < rows_.size(); ++i) {
    const Row& r = rows_[i];
    const double s = safe_scale(vars[static_cast<size_t>(r.scale_var)].scale);
    for (const auto& [g, k] : r.coef) {
      rows.push_back(offset + static_cast<int>(i));
      cols.push_back(g);
      vals.push_back(k * safe_scale(vars[static_cast<size_t>(g)].scale) / s);
    }
  }
}

std::string SpecRows::name(int r) const {
  return r >= 0 && r < size() ? rows_[static_cast<size_t>(r)].name : "?";
}

}  // namespace r3::host
