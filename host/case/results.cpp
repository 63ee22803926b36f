#include "host/case/results.h"

#include <cmath>
#include <string>

#include "host/units/units.h"

namespace r3::host {

namespace {

std::string fmt_e(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%14.6e", v);
  return buf;
}

}  // namespace

const char* method_name(thermo::Method m) {
  switch (m) {
    case thermo::Method::Ideal: return "IDEAL";
    case thermo::Method::PengRobinson: return "PENG-ROB";
    case thermo::Method::SteamTable: return "STEAM-TA";
  }
  return "?";
}

void write_run_header(const Flowsheet& fsh, const SolveReport& rep, std::FILE* out) {
  const Case& c = fsh.definition();
  std::fprintf(out, " R3SIM RUN  %s\n",
               !c.title.empty() ? c.title.c_str() : !c.path.empty() ? c.path.c_str() : "(the case was not loaded)");
  std::fprintf(out, "   PROPERTY METHOD      %s\n", method_name(c.method));
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

std::string block_reports(Flowsheet& fsh, const SolveReport& rep) {
  std::string text;
  for (auto& b : fsh.blocks()) {
    units::capture(units::kReportUnit);
    b->call(KODE_REPORT);
    const std::vector<std::string> lines = units::take(units::kReportUnit);
    if (!rep.converged && !lines.empty()) text += "\n *** RESULTS ARE NOT A SOLUTION (" + rep.state + ") ***\n";
    for (const std::string& line : lines) text += line + "\n";
  }
  if (rep.diagnosis) text += rep.diagnosis->text();
  return text;
}

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
  j["converged"] = rep.converged;
  j["iterations"] = rep.iterations;
  j["residual_norm"] = rep.residual_norm >= 0.0 ? nlohmann::json(rep.residual_norm) : nlohmann::json();
  j["method"] = method_name(fsh.definition().method);
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
}

}  // namespace r3::host
