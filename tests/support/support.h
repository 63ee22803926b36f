// Shared test support: a fresh substitute host per test, and the model
// conformance harness every model's tests run on its blocks.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "framework/entry_protocol.h"
#include "host/services/block.h"
#include "host/services/context.h"
#include "host/solver/flowsheet.h"
#include "host/thermo/thermo.h"

namespace r3::test {

// Puts the host into a fresh state: shared areas initialised, all units
// captured in memory, no failure switches, the run's components and method.
void reset_host(const std::vector<std::string>& components,
                thermo::Method method = thermo::Method::Ideal);

// Records captured on a unit since the last call.
std::vector<std::string> records(int32_t unit);
std::vector<std::string> messages();         // the message unit
std::vector<std::string> report();           // the report unit
std::vector<std::string> standard_output();

class HostTest : public ::testing::Test {
 protected:
  void SetUp() override { reset_host({"H2O"}); }
};

// Finite differences compared in scaled terms (dF/dY * YSCL / FSCL):
// |analytic - numeric| <= abs_tol + rel_tol * |numeric|.
struct ConformanceOptions {
  double abs_tol = 1e-6, rel_tol = 1e-4;
  double step = 1e-6;    // relative perturbation of the central differences
  int extra_points = 2;  // perturbed copies of the initial point also checked
  double spread = 0.01;  // relative spread of the perturbed points
};

// Checks a block that has passed its dimension, names and initialisation
// requests: names, pattern, residual and Jacobian completeness, Jacobian
// against central differences at several points, and repeatability. Adds
// gtest failures that name the equation and variable.
void check_conformance(host::Block& b, const ConformanceOptions& opt = {});

// Residuals at a point (the block's Y is left at that point).
std::vector<double> residuals_at(host::Block& b, const std::vector<double>& y);

// A case file solved as r3sim solves it, with the entries taken from the
// statically linked library (name -> entry).
struct CaseRun {
  host::Outcome outcome = host::Outcome::BadInput;
  host::SolveReport solve;
  std::unique_ptr<host::Flowsheet> flowsheet;
  std::string error;
  std::vector<std::string> report;    // the blocks' report records
  std::vector<std::string> messages;  // the message unit's records
  // Solved value of a variable by full name ("P1.BHP", "PROD.PRESSURE").
  double value(const std::string& name) const;
  // Stream vector after the update.
  const std::vector<double>& stream(const std::string& id) const;
};
CaseRun run_case(const std::string& path, const std::map<std::string, EntryFn>& entries);
// Path of a file under the source tree's examples/.
std::string example_path(const std::string& name);

}  // namespace r3::test
