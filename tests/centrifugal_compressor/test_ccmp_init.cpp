// The centrifugal compressor's sequential initialisation: the cases chosen by
// the fixed variables, the curve inverses and their root choice, the
// property steps and their messages (golden text
// centrifugal_compressor/init_errors).
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "tests/centrifugal_compressor/ccmp_test.h"

namespace r3::test::ccmp {
namespace {

using host::Block;
using host::kRmiss;

constexpr double kR = 8314.400390625;

// Messages of the initialisation go to the second message unit and then to
// the message unit, the same records on both.
std::vector<std::string> both_units() {
  const auto second = records(host::units::kSecondMessageUnit);
  const auto first = messages();
  EXPECT_EQ(second, first);
  return first;
}

TEST_F(CcmpTest, SpeedGivenStartsOnTheCurves) {
  Block b = make_ccmp();
  ASSERT_EQ(init_fixed(b, {{"SPEED", 10000.0}}), 0) << ::testing::PrintToString(messages());
  EXPECT_TRUE(both_units().empty());
  const double qact = inlet_qact(b);
  EXPECT_NEAR(yv(b, "QACT"), qact, 1e-12 * qact);
  EXPECT_DOUBLE_EQ(yv(b, "Q_BY_N"), 3600.0 * yv(b, "QACT") / 10000.0);
  // The curve, correction, flow-per-speed, power and balance equations hold.
  for (const char* eq : {"QN_RATIO", "HEAD_CURVE", "EFF_CURVE", "SURGE_CURVE", "HEAD_CORR",
                         "EFF_CORR", "SURGE_CORR", "SURGE_RATIO", "CALC_IHP", "CALC_BHP",
                         "ENERBAL", "ACT_VFLOW", "WTFLOW_DEF", "PRATIO_EXP", "POWER_EXP",
                         "PRATIO_POW", "PRESS_RATIO"}) {
    EXPECT_NEAR(residual(b, eq, true), 0.0, 1e-9) << eq;
  }
  // After the passes the outlet properties match the outlet flash.
  EXPECT_GT(yv(b, "DISCH_TEMP"), yv(b, "SUCT_TEMP"));
  EXPECT_NEAR(yv(b, "Z_MEAN"), 0.5 * (yv(b, "SUCT_Z") + yv(b, "DISCH_Z")), 1e-12);
}

TEST_F(CcmpTest, SpeedInRevolutionsPerSecond) {
  Options o;
  o.rpm = 1;
  Block b = make_ccmp(o);
  ASSERT_EQ(init_fixed(b, {{"SPEED", 150.0}}), 0);
  EXPECT_EQ(yv(b, "SPEED"), 150.0);  // the fixed value is untouched
  EXPECT_DOUBLE_EQ(yv(b, "Q_BY_N"), 3600.0 * yv(b, "QACT") / 9000.0);
  EXPECT_NEAR(residual(b, "HEAD_CURVE"), 0.0, 1e-3);
  // With the discharge pressure given the speed found in rpm comes back in rev/s.
  Block p = make_ccmp(o);
  ASSERT_EQ(init_fixed(p, {{"PROD.PRESSURE", 5.0e6}}), 0);
  EXPECT_GT(yv(p, "SPEED"), 1250.0 / 60.0);
  EXPECT_LT(yv(p, "SPEED"), 20000.0 / 60.0);
  EXPECT_NEAR(residual(p, "QN_RATIO"), 0.0, 1e-8);
  EXPECT_NEAR(residual(p, "HEAD_CURVE") / 1.0e7, 0.0, 1e-9);
}

// A head curve with two positive speeds for 40 kJ/kg (3000 and 8000 rpm at
// the block's flow): the root inside the speed range, the larger when both
// are, the range's middle when neither is. An efficiency curve 35 + 300 q -
// 500 q^2 reaching 75 % at q = 0.2 and 0.4: the smaller flow per speed
// unless only the other is in range.
TEST_F(CcmpTest, CurveInversesChooseTheRootInsideTheSpeedRange) {
  const double u = 3600.0 * inlet_qact(make_ccmp());
  const std::vector<double> head = {1.0, -0.001 * 11000.0 * 1000.0 / u,
                                    (0.001 * 3000.0 * 8000.0 + 40000.0) * 1000.0 / (u * u)};
  struct Case {
    bool head_curve;
    double nlow, nhigh, speed;
  };
  for (const Case& c : {Case{true, 1250.0, 20000.0, 8000.0}, Case{true, 1250.0, 5000.0, 3000.0},
                        Case{true, 2000.0, 8000.5, 8000.0},
                        Case{true, 9000.0, 20000.0, std::sqrt(9000.0 * 20000.0)},
                        Case{false, 1250.0, 20000.0, u / 0.2}, Case{false, 1250.0, u / 0.3, u / 0.4},
                        Case{false, u / 0.1, 60000.0, std::sqrt(u / 0.1 * 60000.0)}}) {
    Options o;
    o.head = c.head_curve;
    o.eff = !c.head_curve;
    o.surge = 0;
    o.reals = {0.0, 0.0, 0.0, 35.0, 300.0, -500.0, 0.0, 0.0, c.nlow, c.nhigh};
    if (c.head_curve) std::copy(head.begin(), head.end(), o.reals.begin());
    Block b = make_ccmp(o);
    ASSERT_EQ(init_fixed(b, {{c.head_curve ? "HEAD" : "POLY_EFF", c.head_curve ? 40000.0 : 0.75}}), 0);
    EXPECT_NEAR(yv(b, "SPEED"), c.speed, 1e-6 * c.speed) << c.nlow << " " << c.nhigh;
    EXPECT_NEAR(yv(b, "Q_BY_N") * yv(b, "SPEED"), u, 1e-9 * u);
    if (!c.head_curve) {
      EXPECT_NEAR(yv(b, "EFF_PRED"), 0.75, 1e-12);
    }
  }
}

TEST_F(CcmpTest, PressureOrPowerGivenFindsTheSpeedFromTheHeadCurve) {
  Block b = make_ccmp();
  ASSERT_EQ(init_fixed(b, {{"PROD.PRESSURE", 5.0e6}}), 0);
  EXPECT_DOUBLE_EQ(yv(b, "PRATIO"), 5.0e6 / 3.0e6);
  EXPECT_NEAR(residual(b, "HEAD_CURVE") / 1.0e7, 0.0, 1e-9);
  EXPECT_NEAR(residual(b, "HEAD_CORR"), 0.0, 1e-6);
  EXPECT_NEAR(residual(b, "EFF_CURVE"), 0.0, 1e-9);
  Options o;
  o.work = true;
  Block w = make_ccmp(o);
  ASSERT_EQ(init_fixed(w, {{"SHAFT.VALUE", -1.5e6}}), 0) << ::testing::PrintToString(messages());
  EXPECT_DOUBLE_EQ(yv(w, "BHP"), 1.5e6);
  EXPECT_DOUBLE_EQ(yv(w, "MECH_EFF"), 1.0);
  EXPECT_NEAR(residual(w, "HEAD_CURVE") / 1.0e7, 0.0, 1e-9);
  // IHP alone: BHP and the work stream follow.
  Block i = make_ccmp(o);
  ASSERT_EQ(prepare_with(i,
                         [&](Block& x) {
                           x.sinfin[0] = kRmiss;
                           fix(x, "IHP", 1.2e6);
                           fix(x, "MECH_EFF", 0.96);
                         }),
            0);
  EXPECT_DOUBLE_EQ(yv(i, "BHP"), 1.2e6 / 0.96);
  EXPECT_DOUBLE_EQ(yv(i, "SHAFT.VALUE"), -1.2e6 / 0.96);
  // Limits that are accepted.
  for (const auto& [n, v] : {std::pair<std::string, double>{"PRATIO", 1.0}, {"SHAFT.VALUE", 0.0},
                             {"BHP", 0.0}, {"HEAD", 0.0}}) {
    Block z = make_ccmp(n == "SHAFT.VALUE" ? o : Options{});
    EXPECT_EQ(init_fixed(z, {{n, v}}), 0) << n;
  }
  both_units();
}

TEST_F(CcmpTest, EfficiencyGivenWithoutOutletGuesses) {
  // No outlet enthalpy or power guess: each pass computes them before its flash.
  Block b = make_ccmp();
  ASSERT_EQ(init_fixed(b, {{"POLY_EFF", 0.76}}), 0) << ::testing::PrintToString(messages());
  EXPECT_NEAR(residual(b, "EFF_CORR"), 0.0, 1e-12);
  EXPECT_NEAR(residual(b, "EFF_CURVE"), 0.0, 1e-9);
  EXPECT_NEAR(residual(b, "ENERBAL") / 1e8, 0.0, 1e-9);
  Block m = make_ccmp();
  ASSERT_EQ(init_fixed(m, {{"MPOLY", 0.3}}), 0);
  EXPECT_NEAR(yv(m, "POLY_EFF"), yv(m, "ALPHA") / 0.3, 0.05);
}

TEST_F(CcmpTest, NothingGiven) {
  // With a curve: the typical speed sqrt(1250 * 20000).
  Block b = make_ccmp();
  ASSERT_EQ(b.prepare(), 0);
  EXPECT_NEAR(yv(b, "SPEED"), 5000.0, 1e-9);
  EXPECT_NEAR(residual(b, "HEAD_CURVE") / 1e7, 0.0, 1e-9);
  // Without curves: a pressure ratio of 5, or a usable guess kept, the
  // outlet pressure following.
  Options o;
  o.head = o.eff = o.surge = 0;
  for (double guess : {kRmiss, 2.0}) {
    Block n = make_ccmp(o);
    ASSERT_EQ(prepare_with(n, [&](Block& x) { yv(x, "PRATIO") = guess; }), 0);
    const double pr = guess == kRmiss ? 5.0 : guess;
    EXPECT_EQ(yv(n, "PRATIO"), pr);
    EXPECT_EQ(yv(n, "PROD.PRESSURE"), pr * 3.0e6);
    EXPECT_GT(yv(n, "HEAD"), 0.0);
  }
}

// Values, bounds, scales and types: speed in rev/s after the passes; the
// typical values without passes (nothing missing, no flash made).
TEST_F(CcmpTest, PreparedState) {
  Transcript t;
  for (int32_t npass : {2, 0}) {
    Options o;
    o.rpm = npass == 2;
    o.npass = npass;
    o.work = npass == 0;
    Block b = make_ccmp(o);
    ASSERT_EQ(b.prepare(), 0);
    t.heading(npass == 2 ? "speed in rev/s" : "no passes, a work stream");
    t.add(block_state(b));
    EXPECT_TRUE(both_units().empty());
    for (double v : b.y) EXPECT_NE(v, kRmiss);
  }
  EXPECT_TRUE(matches_golden(t.lines, "centrifugal_compressor/prepared"));
}

// Impossible fixed values, bad feeds, failing property services and
// variables fixed without a value: ISTAT and the messages.
TEST_F(CcmpTest, InitialisationErrors) {
  using Fixes = std::vector<std::pair<std::string, double>>;
  struct Case {
    const char* what;
    Fixes fixes;
    int k = -1;  // inlet vector entry after the flows (0 flow, 1 T, 2 P, 3 H, 7 density, 8 MW)
    double value = 0.0;
    const char* fail = nullptr;
    bool work = false;
    int32_t npass = 2;
  };
  const std::vector<Case> cases = {
      {"speed zero", {{"SPEED", 0.0}}},
      {"speed negative", {{"SPEED", -100.0}}},
      {"flow per speed zero", {{"Q_BY_N", 0.0}}},
      {"discharge pressure zero", {{"PROD.PRESSURE", 0.0}}},
      {"ratio below 1", {{"PRATIO", 0.99}}},
      {"head negative", {{"HEAD", -1.0}}},
      {.what = "work stream positive", .fixes = {{"SHAFT.VALUE", 10.0}}, .work = true},
      {"brake power negative", {{"BHP", -1.0}}},
      {"gas power zero", {{"IHP", 0.0}}},
      {"exponent zero", {{"MPOLY", 0.0}}},
      {"efficiency negative", {{"POLY_EFF", -0.5}}},
      {.what = "fixed without values",
       .fixes = {{"SHAFT.VALUE", kRmiss}, {"HEAD", kRmiss}, {"POLY_EFF", kRmiss}},
       .work = true},
      {"feed pressure negative", {}, 2, -1.0},
      {"no flow", {}, 0, 0.0},
      {"temperature missing: flashed", {}, 1, kRmiss},
      {"temperature missing, flash fails", {}, 1, kRmiss, "FLSH_FLASH"},
      {"density missing: from the vapour volume", {}, 7, kRmiss},
      {"density missing, volume fails", {}, 7, kRmiss, "PPMON_VOLV"},
      {"molecular weight missing", {}, 8, kRmiss},
      {"heat capacity fails", {}, -1, 0.0, "PPMON_ENTHV"},
      {"enthalpy missing", {}, 3, kRmiss},
      // The inlet has its density, so the first volume call is the outlet's.
      {"outlet volume fails", {{"SPEED", 9000.0}}, -1, 0.0, "PPMON_VOLV"},
      // The other passes still run, the request fails.
      {"outlet flash fails in one of three passes", {{"POLY_EFF", 0.76}}, -1, 0.0, "FLSH_FLASH", false, 3},
  };
  Transcript t;
  for (const Case& c : cases) {
    t.heading(c.what);
    Options o;
    o.work = c.work;
    o.npass = c.npass;
    Block b = make_ccmp(o);
    if (c.k == 0) std::fill(b.smatin.begin(), b.smatin.begin() + b.ncomp() + 1, 0.0);
    if (c.k > 0) b.smatin[static_cast<size_t>(b.ncomp() + c.k)] = c.value;
    if (c.fail) host::fail_operation(c.fail);
    t.add("istat " + std::to_string(init_fixed(b, c.fixes)));
    host::clear_failures();
    t.add(both_units());
  }
  EXPECT_TRUE(matches_golden(t.lines, "centrifugal_compressor/init_errors"));
}

TEST_F(CcmpTest, HandCalculationOfTheHeadFromTheRatio) {
  // Pressure-ratio path without curves: the head follows the polytropic
  // relation with the working k, Z and efficiency. The head was computed
  // before the pass's outlet flash refreshed k and Z, so the exponent is the
  // inlet's.
  Options o;
  o.head = o.eff = o.surge = 0;
  o.npass = 1;
  Block b = make_ccmp(o);
  ASSERT_EQ(init_fixed(b, {{"PRATIO", 2.0}, {"POLY_EFF", 0.8}}), 0);
  const double k1 = yv(b, "SUCT_CP") / (yv(b, "SUCT_CP") - kR);
  const double m1 = (k1 - 1.0) / k1 / 0.8;
  const double head = yv(b, "SUCT_Z") * kR * yv(b, "SUCT_TEMP") / (yv(b, "MW") * m1) *
                      (std::pow(2.0, m1) - 1.0);
  EXPECT_NEAR(yv(b, "HEAD"), head, 1e-9 * head);
  EXPECT_GT(yv(b, "Z_MEAN"), 0.0);
  EXPECT_GT(yv(b, "MPOLY"), 0.0);
}

}  // namespace
}  // namespace r3::test::ccmp
