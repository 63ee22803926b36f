// r3sim: runs a block or a flowsheet of user-model blocks from a case file.
//
//   r3sim run CASE.toml [--report FILE] [--history FILE] [--json FILE] [--html FILE] [--quiet]
//   r3sim plot CASE.toml --block ID --out FILE.svg
//   r3sim check CASE.toml [--json FILE]
//   r3sim models [--library PATH]
//   r3sim sweep CASE.toml --grid GRID.toml [--jobs N] [--out FILE.csv]
//   r3sim components [TEXT]
//   r3sim describe CASE.toml [--library PATH]
//
// The model library is loaded at run time; its host operations resolve
// against this program. Exit codes: 0 solved (or check passed), 1 bad command
// line or case file, 2 a model reported failure, 3 not converged or a
// specification/structure error.
#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "host/case/case.h"
#include "host/case/loader.h"
#include "host/case/results.h"
#include "host/numeric/fd.h"
#include "apps/r3sim/discover.h"
#include "apps/r3sim/props.h"
#include "apps/report/report.h"
#include "apps/r3sim/sweep.h"
#include "host/services/context.h"
#include "host/solver/flowsheet.h"
#include "host/units/units.h"

#ifndef R3_VERSION
#define R3_VERSION "0.1.0"
#endif

namespace fs = std::filesystem;
using namespace r3::host;

namespace {

bool write_json(const std::string& path, const nlohmann::json& j) {
  std::ofstream out(path);
  if (!out) {
    std::cerr << "r3sim: cannot write " << path << "\n";
    return false;
  }
  out << j.dump(2) << "\n";
  return true;
}

struct RunOptions {
  std::string case_path, library, report, history, json, html;
  bool quiet = false;
  double tolerance = 0.0;  // check: relative tolerance (0: the case's)
};

// Connects the output units: the report unit to a file or standard output,
// the message units to the history file or standard error.
struct Outputs {
  std::FILE* report = stdout;
  std::FILE* history = stderr;
  bool open(const RunOptions& o, std::string& error) {
    units::reset();
    if (!o.report.empty() && !(report = std::fopen(o.report.c_str(), "w"))) {
      error = "cannot write " + o.report;
      return false;
    }
    if (!o.history.empty() && !(history = std::fopen(o.history.c_str(), "w"))) {
      error = "cannot write " + o.history;
      return false;
    }
    units::connect(units::kReportUnit, report);
    units::connect(units::kMessageUnit, history);
    units::connect(units::kSecondMessageUnit, history);
    units::keep(units::kMessageUnit);
    units::keep(units::kSecondMessageUnit);
    return true;
  }
  ~Outputs() {
    if (report != stdout && report) std::fclose(report);
    if (history != stderr && history) std::fclose(history);
  }
};

int command_run(const RunOptions& o) {
  Outputs out;
  std::string error;
  if (!o.html.empty() && !(error = r3::report::check_output_path(o.html)).empty()) {
    std::cerr << "r3sim: " << error << "\n";
    return 1;
  }
  if (!out.open(o, error)) {
    std::cerr << "r3sim: " << error << "\n";
    return 1;
  }
  Flowsheet fsh;
  std::vector<void*> libs;
  nlohmann::json j;
  const int prep = prepare_flowsheet(o.case_path, o.library, fsh, libs);
  SolveReport rep;
  if (prep == 0) {
    if (fsh.check_structure(error) != Outcome::Solved) {
      std::cerr << "r3sim: " << error << "\n";
      rep.outcome = Outcome::NotSolved;
      rep.state = "specification error";
      rep.message = error;
      fsh.finish_report(rep);
    } else {
      rep = fsh.solve(fsh.definition().solver.max_iterations, fsh.definition().solver.tolerance,
                      o.quiet ? nullptr : stderr);
      if (!rep.converged) std::cerr << "r3sim: " << rep.message << "\n";
      if (rep.diagnosis && !o.report.empty()) std::cerr << rep.diagnosis->text();
    }
    fsh.update_streams();
    write_warnings(fsh, stderr);
    std::vector<std::string> each_report;  // each block's report, for the HTML page
    const std::string report_text = block_reports(fsh, rep, &each_report);
    write_run_header(fsh, rep, out.report);
    std::fputs(report_text.c_str(), out.report);
    write_unsolved_marker(rep, out.report);
    write_stream_table(fsh, out.report);
    std::fflush(out.report);
    j["report"] = report_text;
    if (!o.html.empty() && !r3::report::write_html_report(fsh, rep, each_report, o.html, error)) {
      std::cerr << "r3sim: " << error << "\n";
      return 1;
    }
  } else {
    rep.outcome = static_cast<Outcome>(prep);
    rep.state = prep == 1 ? "bad input" : "model failure";
    rep.message = "the run could not be set up (see the messages above)";
    rep.residual_norm = -1.0;
    write_run_header(fsh, rep, out.report);
  }
  if (!o.json.empty()) {
    j["messages"] = units::take(units::kMessageUnit);
    for (const std::string& m : units::take(units::kSecondMessageUnit)) j["messages"].push_back(m);
    results_json(fsh, rep, prep, j);
    if (!write_json(o.json, j)) return 1;
  }
  fsh.blocks().clear();
  return prep != 0 ? prep : static_cast<int>(rep.outcome);
}

// Compares every block's analytic Jacobian with finite differences at the
// current point; prints mismatches and returns their count.
int check_blocks(Flowsheet& fsh, const std::string& where, double rel_tol, nlohmann::json& report) {
  int bad = 0;
  for (size_t bi = 0; bi < fsh.blocks().size(); ++bi) {
    Block& b = *fsh.blocks()[bi];
    const std::string label = b.id + " [" + fsh.definition().blocks[bi].model + "]";
    const std::vector<double> y0 = b.y;
    numeric::ResidualFn fn = [&b](const std::vector<double>& y, std::vector<double>& f) {
      b.y = y;
      b.ieval1 = b.ieval2 = 0;
      if (b.call(r3::KODE_RESID) != 0 || b.ieval1 || b.ieval2) return false;
      f = b.f;
      for (double v : f) {
        if (!std::isfinite(v)) return false;
      }
      return true;
    };
    b.y = y0;
    b.call(r3::KODE_JACOB);
    const std::vector<double> analytic = b.dfdy;
    numeric::Pattern p{std::vector<int>(b.ijrow.begin(), b.ijrow.end()),
                       std::vector<int>(b.ijcol.begin(), b.ijcol.end())};
    std::vector<numeric::Mismatch> mm;
    std::vector<double> fscl(b.fscl.begin(), b.fscl.end());
    if (!numeric::compare(fn, y0, b.yscl, fscl, p, analytic, rel_tol, 1e-6, mm, b.ylb)) {
      std::cout << "  " << label << " (" << where << "): residuals could not be evaluated\n";
      ++bad;
    }
    b.y = y0;
    for (const auto& m : mm) {
      std::cout << "  " << label << " (" << where << "): d " << b.eqn_name(m.row) << " / d "
                << b.var_name(m.col) << ": analytic " << m.analytic << ", numeric " << m.numeric
                << (m.outside_pattern ? " (not in the pattern)" : "") << "\n";
      report["mismatches"].push_back({{"block", b.id}, {"model", fsh.definition().blocks[bi].model}, {"where", where},
                                      {"equation", b.eqn_name(m.row)}, {"variable", b.var_name(m.col)},
                                      {"analytic", m.analytic}, {"numeric", m.numeric}});
    }
    bad += static_cast<int>(mm.size());
  }
  return bad;
}

// Connects the output units with the reports held back (nothing printed)
// and sets the case up; the exit code (0 when ready).
int prepare_quietly(const RunOptions& o, Outputs& out, Flowsheet& fsh, std::vector<void*>& libs) {
  std::string error;
  if (!out.open(o, error)) {
    std::cerr << "r3sim: " << error << "\n";
    return 1;
  }
  units::capture(units::kReportUnit);
  return prepare_flowsheet(o.case_path, o.library, fsh, libs);
}

int command_check(const RunOptions& o) {
  Outputs out;
  Flowsheet fsh;
  std::vector<void*> libs;
  if (const int prep = prepare_quietly(o, out, fsh, libs); prep != 0) return prep;
  std::string error;
  nlohmann::json j;
  j["mismatches"] = nlohmann::json::array();
  std::cout << "Jacobian check of " << o.case_path << "\n";
  const double tol = o.tolerance > 0.0 ? o.tolerance : fsh.definition().solver.check_tolerance;
  int bad = check_blocks(fsh, "initial point", tol, j);
  if (fsh.check_structure(error) == Outcome::Solved) {
    const SolveReport rep = fsh.solve(fsh.definition().solver.max_iterations,
                                      fsh.definition().solver.tolerance, nullptr);
    if (rep.converged) {
      bad += check_blocks(fsh, "solution", tol, j);
    } else {
      std::cout << "  (not converged: " << rep.message << "; checked at the initial point only)\n";
    }
  } else {
    std::cout << "  (" << error << "; checked at the initial point only)\n";
  }
  std::cout << (bad == 0 ? "Jacobian check passed\n" : "Jacobian check failed: " + std::to_string(bad) + " mismatch(es)\n");
  j["passed"] = bad == 0;
  if (!o.json.empty() && !write_json(o.json, j)) return 1;
  fsh.blocks().clear();
  return bad == 0 ? 0 : 1;
}

// Solves the case quietly and draws one block's plot.
int command_plot(const RunOptions& o, const std::string& block, const std::string& svg) {
  std::string error = r3::report::check_output_path(svg);
  if (!error.empty()) {
    std::cerr << "r3sim: " << error << "\n";
    return 1;
  }
  Outputs out;
  Flowsheet fsh;
  std::vector<void*> libs;
  if (const int prep = prepare_quietly(o, out, fsh, libs); prep != 0) return prep;
  SolveReport rep;
  if (fsh.check_structure(error) != Outcome::Solved) {
    std::cerr << "r3sim: " << error << "\n";
    rep.outcome = Outcome::NotSolved;
  } else {
    rep = fsh.solve(fsh.definition().solver.max_iterations, fsh.definition().solver.tolerance, nullptr);
    if (!rep.converged) std::cerr << "r3sim: " << rep.message << " (the plot is marked as not a solution)\n";
  }
  fsh.update_streams();
  const r3::report::PlotOutcome po = r3::report::write_block_plot(fsh, rep.converged, block, svg, error);
  fsh.blocks().clear();
  if (po != r3::report::PlotOutcome::Written) {
    std::cerr << "r3sim: " << error << "\n";
    return 1;
  }
  return static_cast<int>(rep.outcome);
}

int command_models(const std::string& library) {
  const std::string path = library_path(library);
  std::vector<std::string> names;
  std::string error;
  if (!exported_functions(path, names, error)) {
    std::cerr << "r3sim: " << error << "\n";
    return 1;
  }
  std::cout << "Entries of " << path << ":\n";
  for (const std::string& n : names) {
    const std::string what = model_description(n);
    std::cout << "  " << n << (what.empty() ? "" : std::string(n.size() < 8 ? 8 - n.size() : 0, ' ') + "  " + what) << "\n";
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"r3sim: run equation-oriented unit-operation models from a case file"};
  app.set_version_flag("--version", std::string("r3sim ") + R3_VERSION);
  app.require_subcommand(1);
  RunOptions ro;
  std::string library;
  auto* run = app.add_subcommand("run", "solve a case and print the blocks' reports and the streams");
  run->add_option("case", ro.case_path, "case file (TOML)")->required();
  run->add_option("--report", ro.report, "write the report to FILE instead of standard output");
  run->add_option("--history", ro.history, "write the models' messages to FILE instead of standard error");
  run->add_option("--json", ro.json, "write machine-readable results to FILE");
  run->add_option("--library", ro.library, "a user-model library to load besides the model library");
  run->add_option("--html", ro.html, "write a self-contained HTML report with the flowsheet and plots to FILE");
  run->add_flag("--quiet", ro.quiet, "no iteration progress");
  RunOptions plo;
  std::string plot_block, plot_out;
  auto* plot = app.add_subcommand("plot", "solve a case and draw one block's plot as SVG");
  plot->add_option("case", plo.case_path, "case file (TOML)")->required();
  plot->add_option("--block", plot_block, "identifier of the block to draw")->required();
  plot->add_option("--out", plot_out, "SVG file to write")->required();
  plot->add_option("--library", plo.library, "a user-model library to load besides the model library");
  RunOptions co;
  auto* check = app.add_subcommand("check", "compare every block's analytic Jacobian with finite differences");
  check->add_option("case", co.case_path, "case file (TOML)")->required();
  check->add_option("--json", co.json, "write the mismatches to FILE");
  check->add_option("--tolerance", co.tolerance,
                    "relative tolerance of the comparison (default: the case's check_tolerance, 1e-4)");
  check->add_option("--library", co.library, "a user-model library to load besides the model library");
  auto* models = app.add_subcommand("models", "list the entries a model library exports");
  models->add_option("--library", library, "model library (default: libr3models.so)");
  std::string component_text;
  auto* components = app.add_subcommand("components", "search the component databank by identifier, name, formula or CAS number");
  components->add_option("text", component_text, "text to look for (all components when absent)");
  RunOptions dopt;
  auto* describe = app.add_subcommand("describe", "list every block's variables with units, values, bounds, fixed or free, without solving");
  describe->add_option("case", dopt.case_path, "case file (TOML)")->required();
  describe->add_option("--library", dopt.library, "a user-model library to load besides the model library");
  PropsOptions po;
  auto* props = add_props_command(app, po);
  SweepOptions so;
  auto* sweep = add_sweep_command(app, so);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int rc = app.exit(e);
    return rc == 0 ? 0 : 1;
  }
  if (run->parsed()) return command_run(ro);
  if (check->parsed()) return command_check(co);
  if (plot->parsed()) return command_plot(plo, plot_block, plot_out);
  if (models->parsed()) return command_models(library);
  if (props->parsed()) return run_props_command(po);
  if (sweep->parsed()) return run_sweep_command(so);
  if (components->parsed()) return command_components(component_text);
  if (describe->parsed()) return command_describe(dopt.case_path, dopt.library);
  return 1;
}
