#include "host/case/results.h"

#include "host/case/results_units.h"

#include <cmath>
#include <string>

namespace r3::host {

void results_json(Flowsheet& fsh, const SolveReport& rep, int prep, nlohmann::json& j) {
  case_json(fsh, prep == 0, j);
  j["converged"] = rep.converged;
  j["iterations"] = rep.iterations;
  j["residual_norm"] = rep.residual_norm;
  j["status"] = rep.converged ? "converged" : (prep != 0 ? "failed" : rep.message);
  j["blocks"] = nlohmann::json::array();
  nlohmann::json vars = nlohmann::json::object(), fixed = nlohmann::json::array();
  for (auto& b : fsh.blocks()) {
    j["blocks"].push_back({{"id", b->id}, {"model", fsh.definition().blocks.empty() ? "" : ""}, {"istat", b->istat}});
  }
  for (size_t i = 0; i < fsh.blocks().size() && i < fsh.definition().blocks.size(); ++i) {
    j["blocks"][i]["model"] = fsh.definition().blocks[i].model;
  }
  for (const Variable& v : fsh.variables()) {
    vars[v.name] = v.value;
    if (v.fixed) fixed.push_back(v.name);
  }
  j["variables"] = vars;
  j["fixed"] = fixed;
  j["streams"] = prep == 0 ? stream_json(fsh) : nlohmann::json::object();
  if (prep == 0) block_variables_json(fsh, j);
}

}  // namespace r3::host
