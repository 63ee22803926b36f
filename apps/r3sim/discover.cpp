#include "apps/r3sim/discover.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iostream>
#include <vector>

#include "host/case/loader.h"
#include "host/case/results_units.h"
#include "host/solver/flowsheet.h"
#include "host/thermo/thermo.h"
#include "host/units/units.h"

namespace r3::host {
namespace {

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string number(double v) {
  if (!std::isfinite(v) || std::fabs(v) >= 0.5 * kRmiss) return "-";
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.6g", v);
  return buf;
}

}  // namespace

int command_components(const std::string& text) {
  const thermo::Databank& db = thermo::Databank::builtin();
  const std::string key = upper(text);
  std::vector<int> rows;
  for (int i = 0; i < db.size(); ++i) {
    const thermo::Component& c = db[i];
    for (const std::string* field : {&c.id, &c.name, &c.formula, &c.cas}) {
      if (upper(*field).find(key) != std::string::npos) {
        rows.push_back(i);
        break;
      }
    }
  }
  if (rows.empty()) {
    std::cerr << "r3sim: no component of the databank matches '" << text << "' (" << db.size()
              << " components; r3sim components lists them all)\n";
    return 1;
  }
  std::printf("%-10s %-10s %-12s %10s  %s\n", "ID", "FORMULA", "CAS", "MW kg/kmol", "NAME");
  for (int i : rows) {
    const thermo::Component& c = db[i];
    std::printf("%-10s %-10s %-12s %10.4f  %s\n", c.id.c_str(), c.formula.c_str(), c.cas.c_str(),
                c.mw, c.name.c_str());
  }
  std::printf("%zu of %d components\n", rows.size(), db.size());
  return 0;
}

int command_describe(const std::string& case_path, const std::string& library) {
  // The models' initialisation reports go nowhere: only the description is shown.
  units::reset();
  units::capture(units::kReportUnit);
  Flowsheet fsh;
  std::vector<void*> libs;
  const int prep = prepare_flowsheet(case_path, library, fsh, libs);
  units::take(units::kReportUnit);
  if (prep != 0) return prep;
  const Case& c = fsh.definition();
  std::printf("%s\n", c.title.empty() ? case_path.c_str() : c.title.c_str());
  std::printf("method %s, components %zu, report units %s\n", std::string(thermo::method_name(c.method)).c_str(),
              c.components.size(),
              c.report_units == ReportUnits::SI    ? "SI"
              : c.report_units == ReportUnits::MET ? "MET"
                                                   : "ENG");
  std::map<std::string, const Variable*> by_name;
  int free = 0;
  for (const Variable& v : fsh.variables()) {
    by_name[v.name] = &v;
    if (!v.fixed) ++free;
  }
  for (size_t bi = 0; bi < fsh.blocks().size(); ++bi) {
    const Block& b = *fsh.blocks()[bi];
    std::printf("\nblock %s (%s): %d variables, %d equations\n", b.id.c_str(),
                c.blocks[bi].model.c_str(), b.ny, b.nf);
    std::printf("  %-24s %-6s %14s %14s %14s  %s\n", "VARIABLE", "", "VALUE", "LOWER", "UPPER",
                "UNIT");
    for (int i = 1; i <= b.ny; ++i) {
      auto it = by_name.find(b.var_name(i));
      if (it == by_name.end()) continue;
      const Variable& v = *it->second;
      std::printf("  %-24s %-6s %14s %14s %14s  %s\n", v.name.c_str(), v.fixed ? "fixed" : "free",
                  number(variable_shown(c, v.type, v.value)).c_str(),
                  number(variable_shown(c, v.type, v.lower)).c_str(),
                  number(variable_shown(c, v.type, v.upper)).c_str(),
                  variable_unit(c, v.type).c_str());
    }
  }
  std::printf("\n%zu variables, %d free, %d equations\n", fsh.variables().size(), free,
              fsh.equation_count());
  fsh.blocks().clear();
  return 0;
}

std::string model_description(const std::string& entry) {
  static const std::pair<const char*, const char*> kModels[] = {
      {"R3CCMP",
       "centrifugal compressor: polytropic compression, optional performance curves and speed"},
      {"R3CSEP",
       "component separator: one feed split into up to 20 products by component split fractions"},
      {"R3HTUA",
       "heat exchanger rated by F.U.A: terminal temperatures, duty and log-mean temperature "
       "difference"},
      {"R3NUML", "numeric layer: wraps a user model and gives it finite-difference derivatives"},
      {"R3PUMP", "liquid pump: pressure rise, head, efficiency and shaft and electric power"},
      {"R3RCMP",
       "reciprocating compressor: piston compression with clearance, displacement and power"},
      {"R3SKEW", "composition skew: one stream's composition reshaped by a knot curve"},
      {"R3STOIC", "stoichiometric reactor: reactions of fixed stoichiometry run to given extents"},
      {"R3STRB",
       "steam turbine: steam expansion with efficiency, admission and exhaust conditions"},
      {"R3TREX", "turbo-expander: gas or two-phase expansion with isentropic efficiency and power"},
      {"R3VALV", "control valve: flow through a valve sized by its flow coefficient and opening"},
  };
  for (const auto& [name, what] : kModels) {
    if (entry == name) return what;
  }
  return {};
}

}  // namespace r3::host
