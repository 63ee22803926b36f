// Valve blocks for the tests: a water or hydrocarbon-liquid valve and a
// natural-gas valve, with the data manager's message gate and error printer
// recorded.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/host_services.h"
#include "host/services/block.h"
#include "host/services/context.h"
#include "tests/support/golden_text.h"
#include "tests/support/model_blocks.h"
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
inline host::Block make_valve(const ValveInts& p, int ncomp = 1) {
  const bool vap = p.phase == 1;
  const std::vector<std::string> comps = ncomp == 1 ? std::vector<std::string>{vap ? "CH4" : "H2O"}
                                         : vap      ? std::vector<std::string>{"CH4", "C2H6", "N2"}
                                                    : std::vector<std::string>{"NC6", "NC7", "NC8"};
  reset_host(comps, thermo::Method::PengRobinson);
  take_gate_calls();
  host::Block b("V1", R3VALV);
  b.matin = {"FEED"};
  b.matout = {"PROD"};
  b.ints = {p.imode, p.phase, p.chr, p.direction, p.choke, p.npass};
  b.connect_streams();
  std::vector<double> flows = {vap ? 0.5 : 1.0};
  if (ncomp == 3)
    flows = vap ? std::vector<double>{0.4, 0.08, 0.02} : std::vector<double>{0.5, 0.3, 0.2};
  EXPECT_TRUE(b.set_material_inlet(0, flows, 300.0, vap ? 2.0e6 : 5.0e5));
  return b;
}

inline std::vector<double> residuals(host::Block& b) {
  return residuals_at(b, b.y);
}

class ValveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_host({"H2O"});
    take_gate_calls();
  }
};

}  // namespace r3::test
