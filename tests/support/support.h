// Shared test support: a fresh substitute host per test, and the model
// conformance harness every model's tests run on its blocks.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "framework/entry_protocol.h"
#include "framework/host_services.h"
#include "host/services/block.h"
#include "host/services/context.h"
#include "host/solver/flowsheet.h"
#include "host/thermo/thermo.h"

namespace r3::test {

using host::Block;
using host::kRmiss;
using Lines = std::vector<std::string>;  // a unit's records, a golden text's lines

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

// The run's property engine of a method over its first n components.
inline const thermo::Model& engine(thermo::Method m, int n) {
  std::vector<int32_t> idx;
  for (int i = 1; i <= n; ++i) idx.push_back(i);
  const thermo::Model* model = host::model_for(static_cast<int32_t>(m), idx);
  EXPECT_NE(model, nullptr);
  return *model;
}

// Enthalpy, heat capacity and molar volume of a liquid or vapour of the run's
// first x.size() components, from the host's property monitors.
struct Monitor {
  double h = host::kRmiss, cp = host::kRmiss, v = host::kRmiss;
};
inline Monitor monitor(bool liquid, int32_t ipropset, const std::vector<double>& x, double T,
                       double P) {
  const int32_t n = static_cast<int32_t>(x.size()), pword = 0, code3 = 3, code1 = 1;
  std::vector<int32_t> idx;
  for (int32_t i = 1; i <= n; ++i) idx.push_back(i);
  int32_t istat = 0;
  Monitor r;
  double v2 = 0;
  (liquid ? PPMON_ENTHL : PPMON_ENTHV)(&T, &P, x.data(), &n, idx.data(), &ipropset, &pword,
                                       PPEXEC_KBASE, &code3, &r.h, &r.cp, &istat);
  (liquid ? PPMON_VOLL : PPMON_VOLV)(&T, &P, x.data(), &n, idx.data(), &ipropset, &pword, &code1,
                                     &r.v, &v2, &istat);
  EXPECT_EQ(istat, 0);
  return r;
}

// Synthetic components for the largest lists: copies of the databank rows
// `base`, in turn, named C1, C2, ..., each heavier by 0.1 % than the one
// before. The rows live as long as the process (a run keeps pointers to them).
std::vector<const thermo::Component*> synthetic_components(const std::vector<std::string>& base,
                                                           int n);

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
// The contents of a file ("" when it cannot be read).
std::string file_text(const std::string& path);
// A case given as its text, run through a temporary file of this process.
CaseRun run_case_text(const std::string& text, const std::map<std::string, EntryFn>& entries);
// Path of a file under the source tree's examples/.
std::string example_path(const std::string& name);

}  // namespace r3::test
