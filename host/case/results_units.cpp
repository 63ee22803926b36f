#include "host/case/results_units.h"

#include <cmath>
#include <map>

#include "host/case/results.h"

#ifndef R3_VERSION
#define R3_VERSION "0.1.0"
#endif

namespace r3::host {

std::string variable_unit(const Case& c, int32_t type) {
  const uom::Quantity q = uom::quantity_of_type(type);
  return q == uom::Quantity::Count_ ? std::string() : c.report.label(q);
}

double variable_shown(const Case& c, int32_t type, double si) {
  const uom::Quantity q = uom::quantity_of_type(type);
  if (q == uom::Quantity::Count_ || !std::isfinite(si) || std::fabs(si) >= 0.5 * kRmiss) return si;
  return c.report.from_si(q, si);
}

void case_json(const Flowsheet& fsh, bool set_up, nlohmann::json& j) {
  const Case& c = fsh.definition();
  j["schema_version"] = kResultsSchemaVersion;
  j["program"] = {{"name", "r3sim"}, {"version", R3_VERSION}};
  if (!set_up) return;
  j["title"] = c.title;
  j["method"] = std::string(thermo::method_name(c.method));
  j["components"] = c.components;
  j["report_units"] = c.report_units == ReportUnits::SI    ? "SI"
                      : c.report_units == ReportUnits::MET ? "MET"
                                                           : "ENG";
  j["units"] = c.report.labels();
  j["stream_order"] = stream_order(c);
}

void block_variables_json(Flowsheet& fsh, nlohmann::json& j) {
  const Case& c = fsh.definition();
  std::map<std::string, const Variable*> by_name;
  for (const Variable& v : fsh.variables()) by_name[v.name] = &v;
  auto num = [](double v) {
    return std::isfinite(v) && std::fabs(v) < 0.5 * kRmiss ? nlohmann::json(v) : nlohmann::json();
  };
  for (size_t bi = 0; bi < fsh.blocks().size() && bi < j["blocks"].size(); ++bi) {
    const Block& b = *fsh.blocks()[bi];
    nlohmann::json vars = nlohmann::json::array();
    for (int i = 1; i <= b.ny; ++i) {
      const std::string name = b.var_name(i);
      auto it = by_name.find(name);
      if (it == by_name.end()) continue;
      const Variable& v = *it->second;
      vars.push_back({{"name", name},
                      {"value", num(variable_shown(c, v.type, v.value))},
                      {"unit", variable_unit(c, v.type)},
                      {"lower", num(variable_shown(c, v.type, v.lower))},
                      {"upper", num(variable_shown(c, v.type, v.upper))},
                      {"fixed", v.fixed}});
    }
    j["blocks"][bi]["variables"] = vars;
  }
}

}  // namespace r3::host
