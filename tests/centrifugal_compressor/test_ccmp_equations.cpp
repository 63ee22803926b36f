// The centrifugal compressor's variables, equations, Jacobian and the entry
// protocol around them.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "tests/centrifugal_compressor/ccmp_test.h"

namespace r3::test::ccmp {
namespace {

using host::Block;
using host::kRmiss;

struct Shape {
  int head, eff, surge, work, zsel, rpm;
};

class CcmpShapes : public ::testing::TestWithParam<Shape> {
 protected:
  void SetUp() override { reset_gas(); }
};

// Block variables and equations in table order with their conditions.
std::vector<std::string> expected_vars(const Shape& s) {
  const bool qn = s.head || s.eff, any = s.head || s.eff || s.surge;
  std::vector<std::pair<std::string, bool>> t = {
      {"SUCT_TEMP", true},  {"SUCT_CP", true},    {"SUCT_MOLV", true}, {"MW", true},
      {"DISCH_TEMP", true}, {"DISCH_CP", true},   {"DISCH_MOLV", true}, {"QACT", true},
      {"Q_BY_N", qn},       {"SURGE_Q", !!s.surge}, {"SPEED", any},    {"HEAD", true},
      {"SUCT_Z", true},     {"DISCH_Z", true},    {"Z_MEAN", true},    {"CP_MEAN", true},
      {"POLY_EFF", true},   {"PRATIO", true},     {"KRATIO", true},    {"MPOLY", true},
      {"IHP", true},        {"BHP", true},        {"MECH_EFF", true},  {"WT_FLOW", true},
      {"LN_PRATIO", true},  {"LN_PR_EXP", true},  {"PR_EXP", true},    {"HEAD_PRED", !!s.head},
      {"EFF_PRED", !!s.eff}, {"SURGE_PRED", !!s.surge}, {"HEAD_FACT", !!s.head},
      {"EFF_FACT", !!s.eff}, {"SURGE_FACT", !!s.surge}, {"ALPHA", true},
      {"SURGE_RATIO", !!s.surge}};
  std::vector<std::string> out;
  for (const auto& [n, on] : t) {
    if (on) out.push_back("K1." + n);
  }
  return out;
}

std::vector<std::string> expected_eqns(const Shape& s) {
  const bool qn = s.head || s.eff;
  std::vector<std::pair<std::string, bool>> t = {
      {"ENERBAL", true},      {"QN_RATIO", qn},         {"HEAD_CURVE", !!s.head},
      {"EFF_CURVE", !!s.eff}, {"SURGE_CURVE", !!s.surge}, {"ACT_VFLOW", true},
      {"CALC_K", true},       {"CALC_Z_SUCT", true},    {"CALC_Z_DISCH", true},
      {"AVG_Z", true},        {"AVG_CP", true},         {"PRESS_RATIO", true},
      {"POLY_COMP", true},    {"ALPHA_DEF", true},      {"WTFLOW_DEF", true},
      {"CALC_IHP", true},     {"CALC_BHP", true},       {"PRATIO_POW", true},
      {"PRATIO_EXP", true},   {"POWER_EXP", true},      {"EFF_CORR", !!s.eff},
      {"HEAD_CORR", !!s.head}, {"SURGE_CORR", !!s.surge}, {"MPOLY_DEF", true},
      {"SURGE_RATIO", !!s.surge}, {"INLET_WORK", !!s.work},
      {"VAPCP_SUCT", true},   {"VAPCP_DISCH", true},    {"VAPENTH_SUCT", true},
      {"VAPENTH_DISCH", true}, {"MOLWT", true},         {"VAPVM_SUCT", true},
      {"VAPVM_DISCH", true}};
  std::vector<std::string> out;
  for (const auto& [n, on] : t) {
    if (on) out.push_back("K1." + n);
  }
  return out;
}

TEST_P(CcmpShapes, CountsNamesAndConformance) {
  const Shape sh = GetParam();
  Options o;
  o.head = sh.head;
  o.eff = sh.eff;
  o.surge = sh.surge;
  o.work = sh.work != 0;
  o.zsel = sh.zsel;
  o.rpm = sh.rpm;
  Block b = make_ccmp(o);
  ASSERT_EQ(b.prepare(), 0) << ::testing::PrintToString(messages());
  const int nc = 5, e = sh.work;
  const int h = sh.head, f = sh.eff, s = sh.surge, qn = (h || f) ? 1 : 0,
            any = (h || f || s) ? 1 : 0;
  const int nblock_vars = 25 + 2 * h + 2 * f + 4 * s + qn + any;
  const int nblock_eqns = 17 + e + 2 * h + 2 * f + 3 * s + qn;
  const int nblock_nz = 54 + 2 * e + 6 * h + 5 * f + 8 * s + 3 * qn;
  const int nstream = 2 * (nc + 3) + e;
  EXPECT_EQ(b.ny, nstream + nblock_vars);
  // Material balances: one per component and the total.
  EXPECT_EQ(b.nf, (nc + 1) + nblock_eqns + 7);
  // Balances touch inlet and outlet flows; CP, EN and VM sets n_c + 3, MW n_c + 1.
  EXPECT_EQ(b.nz, 2 * (nc + 1) + nblock_nz + 6 * (nc + 3) + (nc + 1));
  const std::vector<std::string> vars = expected_vars(sh);
  ASSERT_EQ(static_cast<int>(vars.size()), nblock_vars);
  for (int i = 0; i < nblock_vars; ++i) EXPECT_EQ(b.var_name(nstream + 1 + i), vars[static_cast<size_t>(i)]);
  const std::vector<std::string> eqns = expected_eqns(sh);
  for (size_t i = 0; i < eqns.size(); ++i) {
    EXPECT_EQ(b.eqn_name(nc + 2 + static_cast<int>(i)), eqns[i]);
  }
  // The initial point satisfies every equation the initialisation computed.
  check_conformance(b);
}

INSTANTIATE_TEST_SUITE_P(
    Ccmp, CcmpShapes,
    ::testing::Values(Shape{0, 0, 0, 0, 0, 0}, Shape{0, 0, 0, 1, 0, 0}, Shape{1, 0, 0, 0, 0, 0},
                      Shape{1, 0, 0, 1, 0, 0}, Shape{0, 1, 0, 0, 0, 0}, Shape{0, 1, 0, 1, 0, 0},
                      Shape{0, 0, 1, 0, 0, 0}, Shape{0, 0, 1, 1, 0, 0}, Shape{1, 1, 0, 0, 0, 0},
                      Shape{1, 1, 0, 1, 0, 0}, Shape{1, 0, 1, 0, 0, 0}, Shape{1, 0, 1, 1, 0, 0},
                      Shape{0, 1, 1, 0, 0, 0}, Shape{0, 1, 1, 1, 0, 0}, Shape{1, 1, 1, 0, 0, 0},
                      Shape{1, 1, 1, 1, 0, 0},
                      // Suction compressibility in the polytropic equation; speed in rev/s.
                      Shape{1, 1, 1, 1, 1, 0}, Shape{1, 1, 1, 0, 0, 1}, Shape{0, 0, 1, 1, 1, 1}));

class CcmpTest : public ::testing::Test {
 protected:
  void SetUp() override { reset_gas(); }
};

TEST_F(CcmpTest, ResidualsFollowTheTableAtAPoint) {
  // Each block residual evaluated by hand at an arbitrary point, the speed
  // factor 60 and converted coefficients included.
  Options o;
  o.rpm = 1;
  o.units = 1;
  o.work = true;
  Block b = make_ccmp(o);
  ASSERT_EQ(b.prepare(), 0) << ::testing::PrintToString(messages());
  std::vector<double> y = b.y;
  for (size_t i = 0; i < y.size(); ++i) y[i] = 1.0 + 0.01 * static_cast<double>(i % 17);
  const std::vector<double> f = residuals_at(b, y);
  auto Y = [&](const std::string& n) { return y[static_cast<size_t>(var(b, n) - 1)]; };
  const double ff = static_cast<double>(2.9891f), g = static_cast<double>(0.58858f),
               h = static_cast<double>(1.699f);
  const std::vector<double> r = example_reals();
  const double a0 = r[0] * ff, a1 = r[1] * ff * g, a2 = r[2] * ff * g * g;
  const double b0 = r[3], b1 = r[4] * g, b2 = r[5] * g * g, s0 = r[6] * h, s1 = r[7] * h;
  const double q = Y("Q_BY_N"), N = Y("SPEED"), c = 60.0;
  const int first = 6 + 1;  // after five component balances and the total
  auto F = [&](int k) { return f[static_cast<size_t>(first + k - 2)]; };
  EXPECT_DOUBLE_EQ(F(2), q * N * c - 3600.0 * Y("QACT"));
  EXPECT_DOUBLE_EQ(F(3), (a0 + a1 * q + a2 * q * q) * (c * N) * (c * N) - 1000.0 * Y("HEAD_PRED"));
  EXPECT_DOUBLE_EQ(F(4), b0 + b1 * q + b2 * q * q - 100.0 * Y("EFF_PRED"));
  EXPECT_DOUBLE_EQ(F(5), s0 + s1 * c * N - 3600.0 * Y("SURGE_PRED"));
  const double R = 8314.400390625;
  EXPECT_DOUBLE_EQ(F(7), Y("KRATIO") * (Y("CP_MEAN") - R) - Y("CP_MEAN"));
  EXPECT_DOUBLE_EQ(F(13), (Y("PR_EXP") - 1.0) * R * Y("SUCT_TEMP") * Y("Z_MEAN") -
                              Y("MPOLY") * Y("HEAD") * Y("MW"));
  EXPECT_DOUBLE_EQ(F(14), 1.0 + Y("KRATIO") * (Y("ALPHA") - 1.0));
  EXPECT_DOUBLE_EQ(F(19), Y("PRATIO") - std::exp(Y("LN_PRATIO")));
  EXPECT_DOUBLE_EQ(F(25), Y("SURGE_RATIO") * Y("SURGE_Q") - Y("QACT"));
  EXPECT_DOUBLE_EQ(F(26), y[static_cast<size_t>(b.find_var("SHAFT.VALUE") - 1)] + Y("BHP"));
}

TEST_F(CcmpTest, SuctionCompressibilityInTheHeadEquation) {
  Options o;
  o.zsel = 1;
  Block b = make_ccmp(o);
  ASSERT_EQ(b.prepare(), 0);
  yv(b, "SUCT_Z") = 0.9;
  yv(b, "Z_MEAN") = 0.7;
  const std::vector<double> y = b.y;
  const std::vector<double> f = residuals_at(b, y);
  auto Y = [&](const std::string& n) { return y[static_cast<size_t>(var(b, n) - 1)]; };
  int eq = 0;
  for (int i = 1; i <= b.nf; ++i) {
    if (b.eqn_name(i) == "K1.POLY_COMP") eq = i;
  }
  ASSERT_GT(eq, 0);
  const double R = 8314.400390625;
  EXPECT_DOUBLE_EQ(f[static_cast<size_t>(eq - 1)],
                   (Y("PR_EXP") - 1.0) * R * Y("SUCT_TEMP") * 0.9 - Y("MPOLY") * Y("HEAD") * Y("MW"));
}

TEST_F(CcmpTest, MissingAndNaNValuesNeverCrash) {
  Options o;
  o.work = true;
  Block b = make_ccmp(o);
  ASSERT_EQ(b.prepare(), 0);
  std::vector<double> y = b.y;
  y[0] = kRmiss;
  y[3] = std::numeric_limits<double>::quiet_NaN();
  y[static_cast<size_t>(var(b, "SPEED") - 1)] = -100.0;
  y[static_cast<size_t>(var(b, "LN_PRATIO") - 1)] = 800.0;  // exp overflows
  b.y = y;
  EXPECT_EQ(b.call(KODE_RESID), 0);
  EXPECT_EQ(b.call(KODE_JACOB), 0);
  EXPECT_EQ(b.call(KODE_STRMUPD), 0);
  EXPECT_EQ(hs::ppexec_word(6), 1);
  EXPECT_EQ(b.call(KODE_REPORT), 0);
  EXPECT_EQ(report().size(), 20u);
}

TEST_F(CcmpTest, ScalesBoundsAndTypes) {
  Options o;
  o.rpm = 1;
  Block b = make_ccmp(o);
  ASSERT_EQ(b.prepare(), 0);
  const double Ts = 1000.0, Hs = 1.0e8, Ps = 1.0e6, Vs = 10.0;
  auto at = [&](const std::vector<double>& a, const std::string& n) {
    return a[static_cast<size_t>(var(b, n) - 1)];
  };
  EXPECT_EQ(at(b.ylb, "SUCT_TEMP"), static_cast<double>(0.05f) * Ts);
  EXPECT_EQ(at(b.yub, "DISCH_TEMP"), 10.0 * Ts);
  EXPECT_EQ(at(b.ylb, "QACT"), static_cast<double>(0.001f) * Vs);
  EXPECT_EQ(at(b.ylb, "SUCT_Z"), static_cast<double>(0.01f));
  EXPECT_EQ(at(b.yscl, "SUCT_MOLV"), 10000.0 * Ts / Ps);
  EXPECT_EQ(at(b.yscl, "SPEED"), 1000.0);
  EXPECT_EQ(at(b.yscl, "IHP"), Hs);
  EXPECT_EQ(at(b.yscl, "WT_FLOW"), 10.0);
  EXPECT_EQ(at(b.ylb, "SURGE_PRED"), 0.0001 * Vs);
  EXPECT_EQ(at(b.yub, "ALPHA"), 0.5);
  for (int i = var(b, "SUCT_TEMP"); i <= b.ny; ++i) EXPECT_EQ(b.ysbnd[static_cast<size_t>(i - 1)], 1.0);
  auto type = [&](const std::string& n) { return U3VGPT(&b.iyattr[static_cast<size_t>(var(b, n) - 1)]); };
  EXPECT_EQ(type("SPEED"), 28);
  EXPECT_EQ(type("HEAD"), 33);
  EXPECT_EQ(type("SUCT_CP"), 15);
  EXPECT_EQ(type("Q_BY_N"), 0);
  EXPECT_EQ(type("WT_FLOW"), 10);
  // Block and property equation scales after the six balances.
  const std::vector<double> want = {Hs,        1000.0,    1.0e7,   100.0,   1000.0, Vs,
                                    Hs / Ts,   1.0e7,     1.0e7,   1.0,     Hs / Ts, Ps,
                                    1.0e7,     1.0,       10.0,    Hs,      Hs,      1.0,
                                    1.0,       1.0,       1.0,     10000.0, Vs,      1.0,
                                    Vs,        Hs / Ts,   Hs / Ts, Hs,      Hs,      10.0,
                                    10.0,      10.0};
  ASSERT_EQ(b.nf, 6 + static_cast<int>(want.size()));
  for (size_t i = 0; i < want.size(); ++i) EXPECT_EQ(b.fscl[6 + i], want[i]) << b.eqn_name(7 + static_cast<int>(i));
  Options plain;
  Block p = make_ccmp(plain);
  ASSERT_EQ(p.prepare(), 0);
  EXPECT_EQ(U3VGPT(&p.iyattr[static_cast<size_t>(var(p, "SPEED") - 1)]), 0);
}

TEST_F(CcmpTest, SolutionStateWordAtStreamUpdate) {
  Block b = make_ccmp();
  ASSERT_EQ(b.prepare(), 0);
  auto state_after = [&](const std::vector<double>& f, const std::vector<double>& fscl) {
    b.f = f;
    b.fscl = fscl;
    hs::ppexec_word(6) = 0;
    EXPECT_EQ(b.call(KODE_STRMUPD), 0);
    return hs::ppexec_word(6);
  };
  const size_t n = static_cast<size_t>(b.nf);
  std::vector<double> ones(n, 1.0), zero(n, 0.0), tiny(n, 1e-4), small(n, 1e-2);
  EXPECT_EQ(state_after(zero, ones), 2);
  EXPECT_EQ(state_after(tiny, ones), 2);   // 39 residuals of 1e-4: 3.9e-7
  EXPECT_EQ(state_after(small, ones), 1);  // 39 residuals of 1e-2: 3.9e-3
  std::vector<double> f = zero;
  f[0] = kRmiss;
  EXPECT_EQ(state_after(f, ones), 1);
  f = zero;
  f[n - 1] = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(state_after(f, ones), 1);
  // A non-positive scale stops the sum; as the first scale it means no result.
  f = zero;
  f[5] = 1.0;
  std::vector<double> s = ones;
  s[3] = 0.0;
  EXPECT_EQ(state_after(f, s), 2);
  s = ones;
  s[0] = -1.0;
  EXPECT_EQ(state_after(zero, s), 1);
  // The outlet vector comes back from Y.
  const size_t nc = static_cast<size_t>(b.ncomp());
  EXPECT_EQ(b.smatout[nc + 2], b.y[static_cast<size_t>(b.find_var("PROD.PRESSURE") - 1)]);
}

TEST_F(CcmpTest, UnknownRequestAndComponentFailureWriteNothing) {
  Block b = make_ccmp();
  ASSERT_EQ(b.prepare(), 0);
  messages();
  const auto y = b.y, f = b.f;
  EXPECT_EQ(b.call(55, 7), 7);
  EXPECT_EQ(b.y, y);
  for (int32_t kode : {KODE_DIMEN, KODE_NAMES, KODE_INIT, KODE_RESID, KODE_JACOB, KODE_STRMUPD,
                       KODE_CHECK, KODE_REPORT}) {
    host::fail_operation("U3GIDX_BLK");
    EXPECT_EQ(b.call(kode), 1);
    EXPECT_EQ(b.y, y);
    EXPECT_EQ(b.f, f);
  }
  EXPECT_TRUE(messages().empty());
  EXPECT_TRUE(report().empty());
  EXPECT_TRUE(records(host::units::kSecondMessageUnit).empty());
}

TEST_F(CcmpTest, SequentialModeFixesTheInletAndWorkStream) {
  for (int32_t imode : {0, 1}) {
    Options o;
    o.imode = imode;
    o.work = true;
    Block b = make_ccmp(o);
    ASSERT_EQ(b.prepare(), 0) << ::testing::PrintToString(messages());
    const int ninlet = b.ncomp() + 3 + 1;
    for (int i = 1; i <= ninlet; ++i) EXPECT_EQ(b.fixed(i), imode == 0) << b.var_name(i);
    for (int i = ninlet + 1; i <= b.ny; ++i) EXPECT_FALSE(b.fixed(i)) << b.var_name(i);
  }
}

TEST_F(CcmpTest, UserValuesSurviveAndOutletScalesComeFromTheInlet) {
  Block b = make_ccmp();
  const int nc = 5;
  const int pin = nc + 3, pout = 2 * (nc + 3), hout = pout - 1;
  ASSERT_EQ(prepare_with(b, [&](Block& x) {
              x.ylb[static_cast<size_t>(var(x, "HEAD") - 1)] = 5.0;
              x.yscl[static_cast<size_t>(var(x, "POLY_EFF") - 1)] = 0.5;
              x.ysbnd[static_cast<size_t>(var(x, "MPOLY") - 1)] = 0.2;
              x.fscl[8] = 123.0;
              x.ylb[static_cast<size_t>(pout - 1)] = 2.0e6;
              x.yscl[static_cast<size_t>(pout - 1)] = 7.0;   // replaced, with a warning
              x.ysbnd[static_cast<size_t>(hout - 1)] = 1.0;  // replaced by the inlet's
              x.y[static_cast<size_t>(pout - 1)] = 4.5e6;    // a guess survives
            }),
            0)
      << ::testing::PrintToString(messages());
  EXPECT_EQ(b.ylb[static_cast<size_t>(var(b, "HEAD") - 1)], 5.0);
  EXPECT_EQ(b.yscl[static_cast<size_t>(var(b, "POLY_EFF") - 1)], 0.5);
  EXPECT_EQ(b.ysbnd[static_cast<size_t>(var(b, "MPOLY") - 1)], 0.2);
  EXPECT_EQ(b.fscl[8], 123.0);
  EXPECT_EQ(b.ylb[static_cast<size_t>(pout - 1)], 2.0e6);
  EXPECT_EQ(b.yscl[static_cast<size_t>(pout - 1)], b.yscl[static_cast<size_t>(pin - 1)]);
  EXPECT_EQ(b.ysbnd[static_cast<size_t>(hout - 1)], b.ysbnd[static_cast<size_t>(pin - 2)]);
  EXPECT_EQ(b.y[static_cast<size_t>(pout - 1)], 4.5e6);
  const std::vector<std::string> warn = {" !! R3KISO - Warning: Stream variable scale",
                                         " !! factors entered via Y sentence are ignored"};
  EXPECT_EQ(records(host::units::kSecondMessageUnit), warn);
  EXPECT_EQ(messages(), warn);
}

TEST_F(CcmpTest, BadConnectivityNeverWritesThroughAMissingStream) {
  Block b = make_ccmp();
  ASSERT_EQ(b.prepare(), 0);
  b.matout.clear();
  b.connect_streams();
  for (int32_t kode : {KODE_NAMES, KODE_INIT, KODE_RESID, KODE_JACOB, KODE_STRMUPD, KODE_REPORT}) {
    EXPECT_EQ(b.call(kode), 1) << kode;
  }
  EXPECT_TRUE(report().empty());
}

}  // namespace
}  // namespace r3::test::ccmp
