// The centrifugal compressor's variables, equations, Jacobian and the entry
// protocol around them.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/centrifugal_compressor/ccmp_test.h"

namespace r3::test::ccmp {
namespace {

constexpr double kR = 8314.400390625;

class CcmpShapes : public CcmpTest, public ::testing::WithParamInterface<Options> {};

// Every combination of curves and work stream, the suction compressibility
// and the speed in rev/s: the conformance harness at the initial point.
TEST_P(CcmpShapes, Conformance) {
  Block b = make_ccmp(GetParam());
  ASSERT_EQ(b.prepare(), 0) << ::testing::PrintToString(messages());
  check_conformance(b);
}

std::vector<Options> shapes() {
  std::vector<Options> v;
  for (int k = 0; k < 16 + 3; ++k) {
    Options o;
    o.head = k & 1, o.eff = (k >> 1) & 1, o.surge = (k >> 2) & 1, o.work = (k >> 3) & 1;
    if (k >= 16) o.head = o.eff = o.surge = o.work = true;  // then Z and speed switches
    o.zsel = k == 16 || k == 18, o.rpm = k >= 17;
    if (k == 17) o.work = false;
    if (k == 18) o.head = o.eff = false;
    v.push_back(o);
  }
  return v;
}
INSTANTIATE_TEST_SUITE_P(Ccmp, CcmpShapes, ::testing::ValuesIn(shapes()));

TEST_F(CcmpTest, ResidualsFollowTheTableAtAPoint) {
  // Each block residual evaluated by hand at an arbitrary point, the speed
  // factor 60 and converted coefficients included.
  Options o;
  o.rpm = 1;
  o.units = 1;
  o.work = true;
  Block b = make_ccmp(o);
  ASSERT_EQ(b.prepare(), 0) << ::testing::PrintToString(messages());
  for (size_t i = 0; i < b.y.size(); ++i) b.y[i] = 1.0 + 0.01 * static_cast<double>(i % 17);
  const std::vector<double> y = b.y, f = residuals_at(b, y);
  auto Y = [&](const std::string& n) { return yv(b, n); };
  const double ff = static_cast<double>(2.9891f), g = static_cast<double>(0.58858f),
               h = static_cast<double>(1.699f);
  const std::vector<double> r = example_reals();
  const double a0 = r[0] * ff, a1 = r[1] * ff * g, a2 = r[2] * ff * g * g;
  const double b0 = r[3], b1 = r[4] * g, b2 = r[5] * g * g, s0 = r[6] * h, s1 = r[7] * h;
  const double q = Y("Q_BY_N"), N = Y("SPEED"), c = 60.0;
  auto F = [&](int k) { return f[static_cast<size_t>(k + 5)]; };  // after six balances
  EXPECT_DOUBLE_EQ(F(2), q * N * c - 3600.0 * Y("QACT"));
  EXPECT_DOUBLE_EQ(F(3), (a0 + a1 * q + a2 * q * q) * (c * N) * (c * N) - 1000.0 * Y("HEAD_PRED"));
  EXPECT_DOUBLE_EQ(F(4), b0 + b1 * q + b2 * q * q - 100.0 * Y("EFF_PRED"));
  EXPECT_DOUBLE_EQ(F(5), s0 + s1 * c * N - 3600.0 * Y("SURGE_PRED"));
  EXPECT_DOUBLE_EQ(F(7), Y("KRATIO") * (Y("CP_MEAN") - kR) - Y("CP_MEAN"));
  EXPECT_DOUBLE_EQ(F(13), (Y("PR_EXP") - 1.0) * kR * Y("SUCT_TEMP") * Y("Z_MEAN") -
                              Y("MPOLY") * Y("HEAD") * Y("MW"));
  EXPECT_DOUBLE_EQ(F(14), 1.0 + Y("KRATIO") * (Y("ALPHA") - 1.0));
  EXPECT_DOUBLE_EQ(F(19), Y("PRATIO") - std::exp(Y("LN_PRATIO")));
  EXPECT_DOUBLE_EQ(F(25), Y("SURGE_RATIO") * Y("SURGE_Q") - Y("QACT"));
  EXPECT_DOUBLE_EQ(F(26), Y("SHAFT.VALUE") + Y("BHP"));
  // With the suction compressibility selected, the head equation takes it.
  o.zsel = 1;
  Block z = make_ccmp(o);
  ASSERT_EQ(z.prepare(), 0);
  yv(z, "SUCT_Z") = 0.9;
  yv(z, "Z_MEAN") = 0.7;
  EXPECT_DOUBLE_EQ(residual(z, "POLY_COMP"),
                   (yv(z, "PR_EXP") - 1.0) * kR * yv(z, "SUCT_TEMP") * 0.9 -
                       yv(z, "MPOLY") * yv(z, "HEAD") * yv(z, "MW"));
}

// The stream update says a solution is known (2) when the sum of the scaled
// residuals stays small, otherwise 1: missing and NaN residuals count; a
// non-positive scale stops the sum, as the first scale it means no result.
TEST_F(CcmpTest, SolutionStateWordAtStreamUpdate) {
  Block b = make_ccmp();
  ASSERT_EQ(b.prepare(), 0);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const size_t last = static_cast<size_t>(b.nf - 1);
  struct Case {
    double all;  // every residual
    size_t at;   // one residual changed
    double f;
    size_t scale_at;  // one scale changed
    double scale;
    int32_t state;
  };
  for (const Case& c : {Case{0.0, 0, 0.0, 0, 1.0, 2}, Case{1e-4, 0, 1e-4, 0, 1.0, 2},  // sum 3.9e-7
                        Case{1e-2, 0, 1e-2, 0, 1.0, 1},                                // sum 3.9e-3
                        Case{0.0, 0, host::kRmiss, 0, 1.0, 1}, Case{0.0, last, nan, 0, 1.0, 1},
                        Case{0.0, 5, 1.0, 3, 0.0, 2}, Case{0.0, 0, 0.0, 0, -1.0, 1}}) {
    b.f.assign(b.f.size(), c.all);
    b.fscl.assign(b.fscl.size(), 1.0);
    b.f[c.at] = c.f;
    b.fscl[c.scale_at] = c.scale;
    hs::ppexec_word(6) = 0;
    EXPECT_EQ(b.call(KODE_STRMUPD), 0);
    EXPECT_EQ(hs::ppexec_word(6), c.state) << c.at << " " << c.f << " " << c.scale_at;
  }
  // The outlet vector comes back from Y.
  EXPECT_EQ(b.smatout[static_cast<size_t>(b.ncomp() + 2)], yv(b, "PROD.PRESSURE"));
}

}  // namespace
}  // namespace r3::test::ccmp
