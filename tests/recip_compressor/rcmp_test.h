// Shared pieces of the reciprocating-compressor tests: an air compressor
// block.
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

extern "C" void R3RCMP(R3_ENTRY_PARAMS);

namespace r3::test::rcmp {

inline constexpr double kR = 8314.4;

// Air (N2/O2/AR, Peng-Robinson).
class RcmpTest : public ::testing::Test {
 protected:
  void SetUp() override { reset_host({"N2", "O2", "AR"}, thermo::Method::PengRobinson); }
};

// 0.1 kmol/s of air at 300 K and 1 bar; with a work stream of -400 kW.
inline Block make_compressor(bool work_inlet, int32_t imode = 0, int32_t npass = 5,
                             int32_t izavg = 0) {
  Block b("K1", R3RCMP);
  b.matin = {"FEED"};
  b.matout = {"PROD"};
  if (work_inlet) b.infin = {"W"};
  b.ints = {imode, npass, izavg};
  b.connect_streams();
  EXPECT_TRUE(b.set_material_inlet(0, {0.078, 0.021, 0.001}, 300.0, 1.0e5));
  if (work_inlet) b.set_info_inlet(0, -4.0e5);
  return b;
}

}  // namespace r3::test::rcmp
