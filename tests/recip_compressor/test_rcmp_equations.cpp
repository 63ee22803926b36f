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

// Values, bounds, scales, types and fixed flags after the initialisation
// (golden text recip_compressor/prepared; "imode" as in INT, "work" a work
// stream): sequential-modular use fixes the inlet, work stream included;
// with "user" outlet stream variables take the initialisation's values or
// the user's guess, bounds kept, a step bound of 1.0 replaced like a missing
// one, scales always the inlet's (with a warning when the user gave one),
// and the user's values of block variables and equation scales survive.
// Then missing and NaN values in Y never fail a request.
TEST_F(RcmpTest, PreparedStateAndBadValues) {
  Transcript t;
  for (const std::string& heading : golden_cases("recip_compressor/prepared")) {
    t.heading(heading);
    const CaseHeading c(heading);
    Block b = make_compressor(c.has("work"), static_cast<int32_t>(c.number("imode", 0)));
    ASSERT_EQ(prepare_with(b,
                           [&](Block&) {
                             if (!c.has("user")) return;
                             at(b, b.ylb, "PROD.PRESSURE") = 1.5e5;
                             at(b, b.ysbnd, "PROD.PRESSURE") = 1.0;
                             at(b, b.ysbnd, "PROD.ENTHALPY") = 0.25;
                             at(b, b.yscl, "PROD.TOTAL_FLOW") = 7.0;
                             at(b, b.y, "PROD.PRESSURE") = 2.5e5;
                             at(b, b.ylb, "POLY_EFF") = 0.5;
                             at(b, b.yscl, "POLY_EFF") = 0.3;
                             at(b, b.ysbnd, "POLY_EFF") = 0.2;
                             b.fscl[5] = 123.0;
                           }),
              0);
    t.add(messages());
    t.add(block_state(b));
    if (c.has("user")) {
      EXPECT_DOUBLE_EQ(yv(b, "PRATIO"), 2.5);
      EXPECT_GT(yv(b, "PROD.ENTHALPY"), yv(b, "FEED.ENTHALPY"));
    }
    b.y[0] = kRmiss;
    b.y[3] = std::numeric_limits<double>::quiet_NaN();
    yv(b, "LN_PRATIO") = 1.0e6;
    for (int32_t kode : {KODE_RESID, KODE_JACOB, KODE_STRMUPD, KODE_REPORT})
      EXPECT_EQ(b.call(kode), 0);
    EXPECT_EQ(b.ieval1, 0);
    EXPECT_EQ(b.ieval2, 0);
    report();
  }
  EXPECT_TRUE(standard_output().empty());
  EXPECT_TRUE(matches_golden_text("recip_compressor/prepared", t.lines));
}

}  // namespace
}  // namespace r3::test::rcmp
