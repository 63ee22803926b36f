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

// Outlet stream variables: values from the initialisation, bounds kept, a
// step bound of 1.0 replaced like a missing one, scales always the inlet's
// (with a warning when the user gave one); the user's values of block
// variables and equation scales survive.
TEST_F(RcmpTest, OutletStreamInitialisationAndUserValues) {
  Block b = make_compressor(false);
  named(b);
  const int outp = b.find_var("PROD.PRESSURE"), outh = b.find_var("PROD.ENTHALPY");
  const int outf = b.find_var("PROD.TOTAL_FLOW"), inf = b.find_var("FEED.TOTAL_FLOW");
  const int inp = b.find_var("FEED.PRESSURE"), inh = b.find_var("FEED.ENTHALPY");
  auto at = [](std::vector<double>& a, int p) -> double& { return a[static_cast<size_t>(p - 1)]; };
  at(b.ylb, outp) = 1.5e5;   // a user bound survives
  at(b.ysbnd, outp) = 1.0;   // the untouched default step bound: replaced
  at(b.ysbnd, outh) = 0.25;  // a real step bound survives
  at(b.yscl, outf) = 7.0;    // replaced by the inlet's, with a warning
  ASSERT_EQ(b.call(KODE_INIT), 0) << ::testing::PrintToString(messages());
  EXPECT_EQ(at(b.ylb, outp), 1.5e5);
  EXPECT_EQ(at(b.ysbnd, outp), at(b.ysbnd, inp));
  EXPECT_NE(at(b.ysbnd, inp), 1.0);
  EXPECT_EQ(at(b.ysbnd, outh), 0.25);
  EXPECT_EQ(at(b.yscl, outf), at(b.yscl, inf));
  EXPECT_EQ(at(b.yub, outh), at(b.yub, inh));
  EXPECT_EQ(messages(), (std::vector<std::string>{
                            "", " WARNING IN R3RCMP_ISO:",
                            " Stream variable scale factors entered via Y sentence are ignored"}));
  EXPECT_TRUE(standard_output().empty());
  // Nothing given: ratio 5 and the discharge enthalpy of the initialisation.
  EXPECT_DOUBLE_EQ(at(b.y, outp), 5.0 * at(b.y, inp));
  EXPECT_GT(at(b.y, outh), at(b.y, inh));
  EXPECT_EQ(at(b.y, outf), at(b.y, inf));
  Block c = make_compressor(false);
  named(c);
  at(c.y, outp) = 2.5e5;
  const int eff = c.find_var("POLY_EFF");
  at(c.ylb, eff) = 0.5;
  at(c.yscl, eff) = 0.3;
  at(c.ysbnd, eff) = 0.2;
  c.fscl[5] = 123.0;
  ASSERT_EQ(c.call(KODE_INIT), 0);
  EXPECT_EQ(at(c.y, outp), 2.5e5);
  EXPECT_DOUBLE_EQ(var(c, "PRATIO"), 2.5);
  EXPECT_EQ(at(c.ylb, eff), 0.5);
  EXPECT_EQ(at(c.yscl, eff), 0.3);
  EXPECT_EQ(at(c.ysbnd, eff), 0.2);
  EXPECT_EQ(c.fscl[5], 123.0);
  EXPECT_EQ(at(c.ysbnd, c.find_var("HEAD")), 1.0);
  EXPECT_TRUE(messages().empty());
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
    var(b, "LN_PRATIO") = 1.0e6;
    for (int32_t kode : {KODE_RESID, KODE_JACOB, KODE_STRMUPD, KODE_REPORT})
      EXPECT_EQ(b.call(kode), 0);
    EXPECT_EQ(b.ieval1, 0);
    EXPECT_EQ(b.ieval2, 0);
  }
}

}  // namespace
}  // namespace r3::test::rcmp
