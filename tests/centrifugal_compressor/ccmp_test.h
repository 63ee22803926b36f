// Shared set-up of the centrifugal compressor tests: a natural-gas feed and a
// block with chosen curve switches.
#pragma once

#include <string>
#include <vector>

#include "framework/host_services.h"
#include "host/services/block.h"
#include "host/services/context.h"
#include "host/units/units.h"
#include "tests/support/golden_text.h"
#include "tests/support/model_blocks.h"
#include "tests/support/support.h"

extern "C" void R3CCMP(R3_ENTRY_PARAMS);

namespace r3::test::ccmp {

inline const std::vector<double> kFlows = {0.90, 0.05, 0.02, 0.02, 0.01};

class CcmpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_host({"CH4", "C2H6", "C3H8", "N2", "CO2"}, thermo::Method::PengRobinson);
  }
};

// Coefficients of the example curves: head (q in m3/h per rpm), efficiency
// in percent, surge in m3/h, speed range in rpm.
inline std::vector<double> example_reals() {
  return {0.75, 0.2, -2.5, 38.8, 280.0, -500.0, 200.0, 0.147, 1250.0, 20000.0};
}

struct Options {
  int head = 1, eff = 1, surge = 1;
  bool work = false;
  int32_t imode = 1, npass = 2, zsel = 0, units = 0, rpm = 0;
  std::vector<double> reals = example_reals();
};

// 1 kmol/s of the gas at 300 K and 30 bar; a work stream of -1.5 MW.
inline host::Block make_ccmp(const Options& o = {}) {
  host::Block b("K1", R3CCMP);
  b.matin = {"FEED"};
  b.matout = {"PROD"};
  if (o.work) b.infin = {"SHAFT"};
  b.ints = {o.imode, o.npass, o.zsel, o.units, o.head, o.eff, o.surge, o.rpm};
  b.reals = o.reals;
  b.connect_streams();
  EXPECT_TRUE(b.set_material_inlet(0, kFlows, 300.0, 3.0e6));
  if (o.work) b.set_info_inlet(0, -1.5e6);
  return b;
}

// Inlet actual volumetric flow (m3/s) as the initialisation computes it.
inline double inlet_qact(const host::Block& b) {
  const size_t n = static_cast<size_t>(b.ncomp());
  return b.smatin[n] * b.smatin[n + 8] / b.smatin[n + 7];
}

// Residual of a named equation at the current Y.
inline double residual(host::Block& b, const std::string& name) {
  return residuals_at(b, b.y).at(static_cast<size_t>(eqn(b, name) - 1));
}

}  // namespace r3::test::ccmp
