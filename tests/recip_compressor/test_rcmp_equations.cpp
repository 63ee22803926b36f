// The reciprocating compressor's equations and the entry protocol around
// them.
#include <gtest/gtest.h>

#include <limits>

#include "tests/recip_compressor/rcmp_test.h"

namespace r3::test::rcmp {
namespace {

// The conformance harness with and without an inlet work stream, for both
// head compressibilities (the examples' own settings are checked by the
// golden test of every example).
TEST_F(RcmpTest, Conformance) {
  for (bool work : {false, true}) {
    for (int32_t izavg : {0, 1}) {
      SCOPED_TRACE(std::string(work ? "work stream, " : "") + "IZAVG " + std::to_string(izavg));
      Block b = make_compressor(work, 1, 5, izavg);
      ASSERT_EQ(b.prepare(), 0);
      check_conformance(b);
    }
  }
}

// Outlet stream variables: values from the initialisation or the user's
// guess, bounds kept, a step bound of 1.0 replaced like a missing one,
// scales always the inlet's (with a warning when the user gave one); the
// user's values of block variables and equation scales survive (golden text
// recip_compressor/prepared).
TEST_F(RcmpTest, OutletStreamInitialisationAndUserValues) {
  Block b = make_compressor(false);
  ASSERT_EQ(b.dimension(), 0);
  ASSERT_EQ(b.call(KODE_NAMES), 0);
  auto at = [&](std::vector<double>& a, const char* name) -> double& {
    return a.at(static_cast<size_t>(b.find_var(name) - 1));
  };
  at(b.ylb, "PROD.PRESSURE") = 1.5e5;
  at(b.ysbnd, "PROD.PRESSURE") = 1.0;
  at(b.ysbnd, "PROD.ENTHALPY") = 0.25;
  at(b.yscl, "PROD.TOTAL_FLOW") = 7.0;
  at(b.y, "PROD.PRESSURE") = 2.5e5;
  at(b.ylb, "POLY_EFF") = 0.5;
  at(b.yscl, "POLY_EFF") = 0.3;
  at(b.ysbnd, "POLY_EFF") = 0.2;
  b.fscl[5] = 123.0;
  ASSERT_EQ(b.call(KODE_INIT), 0);
  Transcript t;
  t.add(messages());
  t.add(block_state(b));
  EXPECT_TRUE(standard_output().empty());
  EXPECT_TRUE(matches_golden_text("recip_compressor/prepared", t.lines));
  EXPECT_DOUBLE_EQ(yv(b, "PRATIO"), 2.5);
  EXPECT_GT(at(b.y, "PROD.ENTHALPY"), at(b.y, "FEED.ENTHALPY"));
}

// Sequential-modular use fixes the inlet (work stream included); equation
// based does not. Missing and NaN values in Y never fail a request.
TEST_F(RcmpTest, SequentialModeAndBadValues) {
  for (int32_t imode : {0, 1}) {
    Block b = make_compressor(true, imode);
    ASSERT_EQ(b.prepare(), 0);
    const int ninlet = b.ncomp() + 3 + 1;
    for (int i = 1; i <= b.ny; ++i)
      EXPECT_EQ(b.fixed(i), imode == 0 && i <= ninlet) << b.var_name(i);
    b.y[0] = kRmiss;
    b.y[3] = std::numeric_limits<double>::quiet_NaN();
    yv(b, "LN_PRATIO") = 1.0e6;
    for (int32_t kode : {KODE_RESID, KODE_JACOB, KODE_STRMUPD, KODE_REPORT})
      EXPECT_EQ(b.call(kode), 0);
    EXPECT_EQ(b.ieval1, 0);
    EXPECT_EQ(b.ieval2, 0);
  }
}

}  // namespace
}  // namespace r3::test::rcmp
