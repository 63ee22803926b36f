#include "host/case/results.h"

#include <cmath>
#include <string>

namespace r3::host {

namespace {

std::string fmt_e(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%14.6e", v);
  return buf;
}

}  // namespace

void write_stream_table(Flowsheet& fsh, std::FILE* out) {
  const Case& c = fsh.definition();
  std::fprintf(out, "\n STREAM RESULTS\n");
  const int ncf = static_cast<int>(c.components.size());
  for (const StreamDef& s : c.streams) {
    const std::vector<double>* v = fsh.stream_vector(s.id);
    if (v == nullptr) continue;
    std::fprintf(out, "\n  %-8s", s.id.c_str());
    if (s.kind != StreamDef::Kind::Material) {
      std::fprintf(out, " (%s)  %s W\n", s.kind == StreamDef::Kind::Work ? "work" : "heat",
                   fmt_e((*v)[0]).c_str());
      continue;
    }
    std::fprintf(out, "\n");
    const double* x = v->data();
    std::fprintf(out, "    TEMPERATURE      K       %s\n", fmt_e(x[ncf + 1]).c_str());
    std::fprintf(out, "    PRESSURE         PA      %s\n", fmt_e(x[ncf + 2]).c_str());
    std::fprintf(out, "    TOTAL FLOW       KMOL/S  %s\n", fmt_e(x[ncf]).c_str());
    std::fprintf(out, "    MASS ENTHALPY    J/KG    %s\n", fmt_e(x[ncf + 3]).c_str());
    std::fprintf(out, "    VAPOUR FRACTION          %s\n", fmt_e(x[ncf + 4]).c_str());
    std::fprintf(out, "    DENSITY          KG/M3   %s\n", fmt_e(x[ncf + 7]).c_str());
    std::fprintf(out, "    MOLECULAR WEIGHT         %s\n", fmt_e(x[ncf + 8]).c_str());
    for (int i = 0; i < ncf; ++i) {
      std::fprintf(out, "    FLOW %-10s  KMOL/S  %s\n", c.components[static_cast<size_t>(i)].c_str(),
                   fmt_e(x[i]).c_str());
    }
  }
}

nlohmann::json stream_json(Flowsheet& fsh) {
  nlohmann::json out = nlohmann::json::object();
  const Case& c = fsh.definition();
  const int ncf = static_cast<int>(c.components.size());
  auto num = [](double v) { return (std::isfinite(v) && v < 0.5 * kRmiss) ? nlohmann::json(v) : nlohmann::json(); };
  for (const StreamDef& s : c.streams) {
    const std::vector<double>* v = fsh.stream_vector(s.id);
    if (v == nullptr) continue;
    if (s.kind != StreamDef::Kind::Material) {
      out[s.id] = {{"value", num((*v)[0])}};
      continue;
    }
    const double* x = v->data();
    nlohmann::json flows = nlohmann::json::object();
    for (int i = 0; i < ncf; ++i) flows[c.components[static_cast<size_t>(i)]] = num(x[i]);
    out[s.id] = {{"temperature", num(x[ncf + 1])},   {"pressure", num(x[ncf + 2])},
                 {"total_flow", num(x[ncf])},        {"mass_enthalpy", num(x[ncf + 3])},
                 {"vapour_fraction", num(x[ncf + 4])}, {"density", num(x[ncf + 7])},
                 {"molecular_weight", num(x[ncf + 8])}, {"flows", flows}};
  }
  return out;
}

void results_json(Flowsheet& fsh, const SolveReport& rep, int prep, nlohmann::json& j) {
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
}

}  // namespace r3::host
