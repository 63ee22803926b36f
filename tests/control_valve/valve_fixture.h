// Valve blocks for the tests: a water valve (liquid) and a natural-gas valve
// (vapour), with the message gate and error printing recorded.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "framework/host_services.h"
#include "host/services/block.h"
#include "host/services/context.h"
#include "tests/support/support.h"

extern "C" void R3VALV(R3_ENTRY_PARAMS);

namespace r3::test {

// What the valve handed to the data manager's gate and printer.
struct GateCall {
  std::string routine;
  int32_t iclass, msgno, level, glevel, a6, a7, a8;
};
std::vector<GateCall>& gate_calls();
std::vector<int32_t>& print_calls();

// Parameters INT(k..k+5).
struct ValveInts {
  int32_t imode = 0, phase = 1, chr = 1, direction = 0, choke = 1, npass = 1;
  std::vector<int32_t> list() const { return {imode, phase, chr, direction, choke, npass}; }
};

// A valve on a water feed (liquid: 1 kmol/s at 300 K, 5 bar) or a gas feed
// (vapour: methane/ethane/nitrogen at 300 K, 20 bar).
host::Block make_valve(const ValveInts& p, int ncomp = 1);

// Position of a block variable or stream variable by its text.
int var(const host::Block& b, const std::string& name);
double& y(host::Block& b, const std::string& name);

// Fixes a variable at a value in a prepared (dimensioned, named) block.
void fix(host::Block& b, const std::string& name, double value);

// Residuals of the block at its current point.
std::vector<double> residuals(host::Block& b);
// Index (1-based) of an equation by its text.
int eqn(const host::Block& b, const std::string& name);

class ValveTest : public ::testing::Test {
 protected:
  void SetUp() override;
};

// Writes a case file into the test's temporary directory and returns its path.
std::string write_case(const std::string& name, const std::string& text);

}  // namespace r3::test
