// Valve blocks for the tests: a water or hydrocarbon-liquid valve and a
// natural-gas valve, with the data manager's message gate and error printer
// recorded.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "framework/host_services.h"
#include "host/services/block.h"
#include "host/services/context.h"
#include "tests/support/golden_text.h"
#include "tests/support/support.h"

extern "C" void R3VALV(R3_ENTRY_PARAMS);

namespace r3::test {

// What the valve handed to the data manager's gate, one line per call
// (routine, class, message number, levels, further arguments), then the line
// counts handed to the printer; cleared by reading.
std::vector<std::string> take_gate_calls();

// Parameters INT(k..k+5).
struct ValveInts {
  int32_t imode = 0, phase = 1, chr = 1, direction = 0, choke = 1, npass = 1;
};

// A valve on a feed of 1 kmol/s water (liquid, 300 K, 5 bar) or 0.5 kmol/s
// methane (vapour, 300 K, 20 bar); with ncomp = 3 hexane/heptane/octane or
// methane/ethane/nitrogen.
host::Block make_valve(const ValveInts& p, int ncomp = 1);

using Fixes = std::vector<std::pair<std::string, double>>;
// Dimension, names, the fixed values, then the initialisation: its ISTAT.
int32_t init_with(host::Block& b, const Fixes& fixes);

// A block variable or stream variable by its text; an equation's
// 1-based index by its text.
double& y(host::Block& b, const std::string& name);
int var(const host::Block& b, const std::string& name);
int eqn(const host::Block& b, const std::string& name);
std::vector<double> residuals(host::Block& b);

class ValveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_host({"H2O"});
    take_gate_calls();
  }
};

}  // namespace r3::test
