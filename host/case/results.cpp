#include "host/case/results.h"

#include "host/case/results_units.h"

#include <cmath>
#include <string>

#include "host/case/results_units.h"
#include "host/units/units.h"

namespace r3::host {

void write_run_header(const Flowsheet& fsh, const SolveReport& rep, std::FILE* out) {
  const Case& c = fsh.definition();
  std::fprintf(out, " R3SIM RUN  %s\n",
               !c.title.empty() ? c.title.c_str() : !c.path.empty() ? c.path.c_str() : "(the case was not loaded)");
  std::fprintf(out, "   PROPERTY METHOD      %s\n", std::string(thermo::method_name(c.method)).c_str());
  std::fprintf(out, "   STATUS               %s%s%s\n", rep.state.c_str(), rep.message.empty() ? "" : ": ",
               rep.message.c_str());
  std::fprintf(out, "   ITERATIONS           %d\n", rep.iterations);
  if (rep.residual_norm >= 0.0) {
    std::fprintf(out, "   MAX SCALED RESIDUAL  %.3e (tolerance %.1e)\n", rep.residual_norm, c.solver.tolerance);
  } else {
    std::fprintf(out, "   MAX SCALED RESIDUAL  not available (the residuals cannot be evaluated)\n");
  }
  std::fflush(out);
}

void write_warnings(const Flowsheet& fsh, std::FILE* out) {
  for (const Warning& w : fsh.warnings()) std::fprintf(out, "r3sim: warning: %s\n", w.message.c_str());
}

void write_unsolved_marker(const SolveReport& rep, std::FILE* out) {
  if (rep.converged) return;
  std::fprintf(out, "\n *** RESULTS ARE NOT A SOLUTION (%s) ***\n", rep.state.c_str());
}

std::string block_reports(Flowsheet& fsh, const SolveReport& rep, std::vector<std::string>* each) {
  std::string text;
  for (auto& b : fsh.blocks()) {
    units::capture(units::kReportUnit);
    b->call(KODE_REPORT);
    const std::vector<std::string> lines = units::take(units::kReportUnit);
    std::string one;
    if (!rep.converged && !lines.empty()) one += "\n *** RESULTS ARE NOT A SOLUTION (" + rep.state + ") ***\n";
    for (const std::string& line : lines) one += line + "\n";
    if (each != nullptr) each->push_back(one);
    text += one;
  }
  if (rep.diagnosis) text += rep.diagnosis->text();
  return text;
}

nlohmann::json status_json(const SolveReport& rep) {
  auto text_or_null = [](const std::string& s) { return s.empty() ? nlohmann::json() : nlohmann::json(s); };
  nlohmann::json st = {{"state", rep.state},
                       {"message", rep.message},
                       {"iterations", rep.iterations},
                       {"residual_norm", rep.residual_norm >= 0.0 ? nlohmann::json(rep.residual_norm) : nlohmann::json()},
                       {"failed_block", text_or_null(rep.failed_block)},
                       {"failed_equation", text_or_null(rep.failed_equation)},
                       {"diagnosis", nullptr}};
  if (rep.diagnosis) {
    const Diagnosis& d = *rep.diagnosis;
    nlohmann::json on = nlohmann::json::array(), big = nlohmann::json::array();
    for (const auto& b : d.on_bounds) {
      on.push_back({{"variable", b.variable}, {"value", b.value}, {"bound", b.bound},
                    {"side", b.upper ? "upper" : "lower"}, {"units", b.units}, {"set_by", b.block}, {"held", b.held}});
    }
    for (const auto& r : d.largest) big.push_back({{"equation", r.equation}, {"block", r.block}, {"value", r.value}});
    st["diagnosis"] = {{"verdict", text_or_null(d.verdict)}, {"on_bounds", on}, {"largest_residuals", big}};
  }
  return st;
}

void results_json(Flowsheet& fsh, const SolveReport& rep, int prep, nlohmann::json& j) {
  case_json(fsh, prep == 0, j);
  j["converged"] = rep.converged;
  j["iterations"] = rep.iterations;
  j["residual_norm"] = rep.residual_norm >= 0.0 ? nlohmann::json(rep.residual_norm) : nlohmann::json();
  j["method"] = std::string(thermo::method_name(fsh.definition().method));
  j["status"] = status_json(rep);
  nlohmann::json warnings = nlohmann::json::array();
  for (const Warning& w : fsh.warnings()) {
    warnings.push_back({{"block", w.block.empty() ? nlohmann::json() : nlohmann::json(w.block)},
                        {"variable", w.variable.empty() ? nlohmann::json() : nlohmann::json(w.variable)},
                        {"value", w.has_value ? nlohmann::json(w.value) : nlohmann::json()},
                        {"message", w.message}});
  }
  j["warnings"] = warnings;
  if (!j.contains("messages")) j["messages"] = nlohmann::json::array();
  (void)prep;
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
