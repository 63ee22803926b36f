// The centrifugal compressor's sequential initialisation: the cases chosen by
// the fixed variables, the curve inverses and their root choice, the property
// steps and their messages.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tests/centrifugal_compressor/ccmp_test.h"

namespace r3::test::ccmp {
namespace {

using host::Block;
using host::kRmiss;

constexpr double kR = 8314.400390625;

class CcmpInit : public ::testing::Test {
 protected:
  void SetUp() override { reset_gas(); }
  // Messages of the initialisation go to the second message unit and then to
  // the message unit, the same records on both.
  std::vector<std::string> both_units() {
    const auto second = records(host::units::kSecondMessageUnit);
    const auto first = messages();
    EXPECT_EQ(second, first);
    return first;
  }
};

// Initialises with the given fixed values; returns ISTAT.
int32_t init_fixed(Block& b, const std::vector<std::pair<std::string, double>>& fixes) {
  return prepare_with(b, [&](Block& x) {
    for (const auto& [n, v] : fixes) {
      fix(x, n, v);
      // The work stream's value comes from its stream vector.
      if (n == "SHAFT.VALUE") x.sinfin[0] = v;
    }
  });
}

// Residual of a named equation at the current Y, scaled by its FSCL.
double scaled_residual(Block& b, const std::string& eqn) {
  const std::vector<double> f = residuals_at(b, b.y);
  for (int i = 1; i <= b.nf; ++i) {
    if (b.eqn_name(i) == "K1." + eqn) return f[static_cast<size_t>(i - 1)] / b.fscl[static_cast<size_t>(i - 1)];
  }
  ADD_FAILURE() << "no equation " << eqn;
  return 0.0;
}

// Residual of a named equation at the current Y.
double residual(Block& b, const std::string& eqn) {
  const std::vector<double> f = residuals_at(b, b.y);
  for (int i = 1; i <= b.nf; ++i) {
    if (b.eqn_name(i) == "K1." + eqn) return f[static_cast<size_t>(i - 1)];
  }
  ADD_FAILURE() << "no equation " << eqn;
  return 0.0;
}

TEST_F(CcmpInit, SpeedGivenStartsOnTheCurves) {
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
    EXPECT_NEAR(scaled_residual(b, eq), 0.0, 1e-9) << eq;
  }
  // After the passes the outlet properties match the outlet flash.
  EXPECT_GT(yv(b, "DISCH_TEMP"), yv(b, "SUCT_TEMP"));
  EXPECT_NEAR(yv(b, "Z_MEAN"), 0.5 * (yv(b, "SUCT_Z") + yv(b, "DISCH_Z")), 1e-12);
}

TEST_F(CcmpInit, SpeedInRevolutionsPerSecond) {
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
  const double n = yv(p, "SPEED");
  EXPECT_GT(n, 1250.0 / 60.0);
  EXPECT_LT(n, 20000.0 / 60.0);
  EXPECT_NEAR(residual(p, "QN_RATIO"), 0.0, 1e-8);
  EXPECT_NEAR(residual(p, "HEAD_CURVE") / 1.0e7, 0.0, 1e-9);
}

// Head curve with two positive speeds for a head of 40 kJ/kg: 3000 and 8000
// rpm at the block's actual flow.
std::vector<double> two_root_head_curve(double u) {
  const double n1 = 3000.0, n2 = 8000.0, hp = 40000.0;
  const double a0 = 1.0;  // alpha = 0.001
  const double a1 = -0.001 * (n1 + n2) * 1000.0 / u;
  const double a2 = (0.001 * n1 * n2 + hp) * 1000.0 / (u * u);
  return {a0, a1, a2};
}

TEST_F(CcmpInit, HeadCurveInverseChoosesTheRootInsideTheSpeedRange) {
  struct Case {
    double nlow, nhigh, speed;
  };
  Block probe = make_ccmp();
  const double u = 3600.0 * inlet_qact(probe);
  const std::vector<double> a = two_root_head_curve(u);
  for (const Case& c : {Case{1250.0, 20000.0, 8000.0}, Case{1250.0, 5000.0, 3000.0},
                        Case{2000.0, 8000.5, 8000.0},
                        Case{9000.0, 20000.0, std::sqrt(9000.0 * 20000.0)}}) {
    Options o;
    o.eff = 0;
    o.surge = 0;
    o.reals = {a[0], a[1], a[2], 0.0, 0.0, 0.0, 0.0, 0.0, c.nlow, c.nhigh};
    Block b = make_ccmp(o);
    ASSERT_EQ(init_fixed(b, {{"HEAD", 40000.0}}), 0);
    EXPECT_NEAR(yv(b, "SPEED"), c.speed, 1e-6 * c.speed) << c.nlow << " " << c.nhigh;
    EXPECT_NEAR(yv(b, "Q_BY_N") * yv(b, "SPEED"), u, 1e-9 * u);
  }
}

TEST_F(CcmpInit, EfficiencyCurveInverseChoosesTheSmallerFlowPerSpeed) {
  // 35 + 300 q - 500 q^2 = 75 at q = 0.2 and q = 0.4.
  Block probe = make_ccmp();
  const double u = 3600.0 * inlet_qact(probe);
  struct Case {
    double nlow, nhigh, q;
  };
  for (const Case& c : {Case{1250.0, 20000.0, 0.2}, Case{1250.0, u / 0.3, 0.4},
                        Case{u / 0.1, 60000.0, u / std::sqrt(u / 0.1 * 60000.0)}}) {
    Options o;
    o.head = 0;
    o.surge = 0;
    o.reals = {0.0, 0.0, 0.0, 35.0, 300.0, -500.0, 0.0, 0.0, c.nlow, c.nhigh};
    Block back = make_ccmp(o);
    ASSERT_EQ(init_fixed(back, {{"POLY_EFF", 0.75}}), 0) << ::testing::PrintToString(messages());
    EXPECT_NEAR(yv(back, "Q_BY_N"), c.q, 1e-9 * c.q) << c.nlow << " " << c.nhigh;
    EXPECT_NEAR(yv(back, "SPEED"), u / c.q, 1e-6 * u / c.q);
    EXPECT_NEAR(yv(back, "EFF_PRED"), 0.75, 1e-12);
  }
}

TEST_F(CcmpInit, PressureGivenFindsTheSpeedFromTheHeadCurve) {
  Block b = make_ccmp();
  ASSERT_EQ(init_fixed(b, {{"PROD.PRESSURE", 5.0e6}}), 0);
  EXPECT_DOUBLE_EQ(yv(b, "PRATIO"), 5.0e6 / 3.0e6);
  EXPECT_NEAR(residual(b, "HEAD_CURVE") / 1.0e7, 0.0, 1e-9);
  EXPECT_NEAR(residual(b, "HEAD_CORR"), 0.0, 1e-6);
  EXPECT_NEAR(residual(b, "EFF_CURVE"), 0.0, 1e-9);
  // The pressure ratio given instead, exactly 1, is accepted.
  Block r = make_ccmp();
  EXPECT_EQ(init_fixed(r, {{"PRATIO", 1.0}}), 0) << ::testing::PrintToString(messages());
}

TEST_F(CcmpInit, PowerGivenRunsTheHeadFromThePower) {
  Options o;
  o.work = true;
  Block b = make_ccmp(o);
  ASSERT_EQ(init_fixed(b, {{"SHAFT.VALUE", -1.5e6}}), 0) << ::testing::PrintToString(messages());
  EXPECT_DOUBLE_EQ(yv(b, "BHP"), 1.5e6);
  EXPECT_DOUBLE_EQ(yv(b, "MECH_EFF"), 1.0);
  EXPECT_NEAR(residual(b, "HEAD_CURVE") / 1.0e7, 0.0, 1e-9);
  // Zero power is accepted; so is a zero brake power.
  Block z = make_ccmp(o);
  EXPECT_EQ(init_fixed(z, {{"SHAFT.VALUE", 0.0}}), 0);
  Block bz = make_ccmp();
  EXPECT_EQ(init_fixed(bz, {{"BHP", 0.0}}), 0);
  Block h0 = make_ccmp();
  EXPECT_EQ(init_fixed(h0, {{"HEAD", 0.0}}), 0);
  // IHP alone: BHP and the work stream follow.
  Block i = make_ccmp(o);
  ASSERT_EQ(prepare_with(i, [&](Block& x) {
              x.sinfin[0] = kRmiss;
              fix(x, "IHP", 1.2e6);
              fix(x, "MECH_EFF", 0.96);
            }),
            0);
  EXPECT_DOUBLE_EQ(yv(i, "BHP"), 1.2e6 / 0.96);
  EXPECT_DOUBLE_EQ(i.y[static_cast<size_t>(i.find_var("SHAFT.VALUE") - 1)], -1.2e6 / 0.96);
  both_units();
}

TEST_F(CcmpInit, EfficiencyGivenWithoutOutletGuesses) {
  // No outlet enthalpy or power guess: each pass computes them before its flash.
  Block b = make_ccmp();
  ASSERT_EQ(init_fixed(b, {{"POLY_EFF", 0.76}}), 0) << ::testing::PrintToString(messages());
  EXPECT_NEAR(residual(b, "EFF_CORR"), 0.0, 1e-12);
  EXPECT_NEAR(residual(b, "EFF_CURVE"), 0.0, 1e-9);
  EXPECT_NEAR(residual(b, "ENERBAL") / 1e8, 0.0, 1e-9);
  Block m = make_ccmp();
  ASSERT_EQ(init_fixed(m, {{"MPOLY", 0.3}}), 0);
  EXPECT_NEAR(yv(m, "POLY_EFF"), yv(m, "ALPHA") / 0.3, 0.05);
  // A failing outlet flash in one pass: the other passes still run, the
  // request fails.
  Options o;
  o.npass = 3;
  Block f = make_ccmp(o);
  host::fail_operation("FLSH_FLASH");
  EXPECT_EQ(init_fixed(f, {{"POLY_EFF", 0.76}}), 1);
  const auto msg = both_units();
  ASSERT_EQ(msg.size(), 2u);
  EXPECT_EQ(msg[0], " !! Warning in R3K_OUTPROPS: Outlet stream flash failed.");
  EXPECT_EQ(msg[1], " !! Error in R3K_OUTPROPS: Invalid heat capacity.");
}

TEST_F(CcmpInit, NothingGiven) {
  // With a curve: the typical speed sqrt(1250 * 20000).
  Block b = make_ccmp();
  ASSERT_EQ(b.prepare(), 0);
  EXPECT_NEAR(yv(b, "SPEED"), 5000.0, 1e-9);
  EXPECT_NEAR(residual(b, "HEAD_CURVE") / 1e7, 0.0, 1e-9);
  // Without curves: a pressure ratio of 5.
  Options o;
  o.head = o.eff = o.surge = 0;
  Block n = make_ccmp(o);
  ASSERT_EQ(n.prepare(), 0);
  EXPECT_EQ(yv(n, "PRATIO"), 5.0);
  EXPECT_EQ(n.y[static_cast<size_t>(n.find_var("PROD.PRESSURE") - 1)], 1.5e7);
  EXPECT_GT(yv(n, "HEAD"), 0.0);
  // A usable ratio guess is kept and the outlet pressure follows it.
  Block g = make_ccmp(o);
  ASSERT_EQ(prepare_with(g, [](Block& x) { yv(x, "PRATIO") = 2.0; }), 0);
  EXPECT_EQ(yv(g, "PRATIO"), 2.0);
  EXPECT_EQ(g.y[static_cast<size_t>(g.find_var("PROD.PRESSURE") - 1)], 6.0e6);
}

TEST_F(CcmpInit, NoPassesFillsTypicalValuesOnly) {
  Options o;
  o.npass = 0;
  o.work = true;
  Block b = make_ccmp(o);
  ASSERT_EQ(b.prepare(), 0);
  const double Ts = 1000.0, Hs = 1e8, Vs = 10.0;
  EXPECT_EQ(yv(b, "SUCT_TEMP"), static_cast<double>(0.3f) * Ts);
  EXPECT_EQ(yv(b, "DISCH_TEMP"), static_cast<double>(0.35f) * Ts);
  EXPECT_EQ(yv(b, "SUCT_CP"), Hs / Ts);
  EXPECT_EQ(yv(b, "DISCH_MOLV"), 10.0);
  EXPECT_EQ(yv(b, "Q_BY_N"), 5.0);
  EXPECT_EQ(yv(b, "SURGE_Q"), 0.5 * Vs);
  EXPECT_EQ(yv(b, "POLY_EFF"), static_cast<double>(0.72f));
  EXPECT_EQ(yv(b, "ALPHA"), static_cast<double>(0.4f));
  EXPECT_EQ(yv(b, "MPOLY"), static_cast<double>(0.3f));
  EXPECT_EQ(yv(b, "HEAD"), 50000.0);
  EXPECT_EQ(yv(b, "SPEED"), 5000.0);
  EXPECT_EQ(yv(b, "SURGE_RATIO"), 2.0);
  EXPECT_EQ(yv(b, "PRATIO"), 5.0);
  EXPECT_DOUBLE_EQ(yv(b, "LN_PRATIO"), std::log(5.0));
  // Nothing is missing and no flash was made.
  for (double v : b.y) EXPECT_NE(v, kRmiss);
  EXPECT_TRUE(both_units().empty());
}

TEST_F(CcmpInit, CaseChecksRejectImpossibleFixedValues) {
  struct Case {
    std::vector<std::pair<std::string, double>> fixes;
    bool work;
    std::string text;
  };
  const std::vector<Case> cases = {
      {{{"SPEED", 0.0}}, false, "SPEED cannot be fixed at <= 0"},
      {{{"SPEED", -100.0}}, false, "SPEED cannot be fixed at <= 0"},
      {{{"Q_BY_N", 0.0}}, false, "QBYN cannot be fixed at <= 0"},
      {{{"PROD.PRESSURE", 0.0}}, false, "discharge pressure fixed at < 0"},
      {{{"PRATIO", 0.99}}, false, "PRATIO cannot be fixed at < 1"},
      {{{"HEAD", -1.0}}, false, "HEAD cannot be fixed at < 0"},
      {{{"SHAFT.VALUE", 10.0}}, true, "inlet work stream fixed at > 0"},
      {{{"BHP", -1.0}}, false, "BHP cannot be fixed at < 0"},
      {{{"IHP", 0.0}}, false, "IHP cannot be fixed at < 0"},
      {{{"MPOLY", 0.0}}, false, "MPOLY cannot be fixed at <= 0"},
      {{{"POLY_EFF", -0.5}}, false, "POLYEF cannot be fixed at <= 0"},
  };
  for (const Case& c : cases) {
    Options o;
    o.work = c.work;
    Block b = make_ccmp(o);
    EXPECT_EQ(init_fixed(b, c.fixes), 1) << c.text;
    const std::vector<std::string> want = {" !! Error in R3KCFI: " + c.text};
    EXPECT_EQ(both_units(), want);
  }
}

TEST_F(CcmpInit, FixedWithoutValueIsReportedForEachVariable) {
  Options o;
  o.work = true;
  o.imode = 1;
  Block b = make_ccmp(o);
  int pw = 0, ph = 0, pe = 0;
  ASSERT_EQ(prepare_with(b,
                         [&](Block& x) {
                           pw = x.find_var("SHAFT.VALUE");
                           ph = var(x, "HEAD");
                           pe = var(x, "POLY_EFF");
                           x.sinfin[0] = kRmiss;
                           x.fix(pw);
                           x.fix(ph);
                           x.fix(pe);
                         }),
            1);
  auto line = [](int p) {
    return " !! Error in R3KCFI: Y(" + rec::Record().x(1).i(p, 11).str() + " ) is fixed at RMISS";
  };
  EXPECT_EQ(both_units(), (std::vector<std::string>{line(pw), line(ph), line(pe)}));
  EXPECT_EQ(line(45), " !! Error in R3KCFI: Y(          45 ) is fixed at RMISS");
}

TEST_F(CcmpInit, FeedAndPropertyFailures) {
  const int nc = 5;
  auto run = [&](auto setup, std::vector<std::pair<std::string, double>> fixes = {}) {
    Block b = make_ccmp();
    setup(b);
    const int32_t st = init_fixed(b, fixes);
    return std::make_pair(st, both_units());
  };
  const std::string props = " !! Error in R3KCFI: Could not initialize inlet stream props";
  {
    auto [st, m] = run([&](Block& b) { b.smatin[nc + 2] = -1.0; });
    EXPECT_EQ(st, 1);
    EXPECT_EQ(m, (std::vector<std::string>{" !! Error in R3KCFI: Feed pressure cannot be fixed at <= 0"}));
  }
  {
    auto [st, m] = run([&](Block& b) {
      for (int i = 0; i <= nc; ++i) b.smatin[static_cast<size_t>(i)] = 0.0;
    });
    EXPECT_EQ(st, 1);
    EXPECT_EQ(m, (std::vector<std::string>{" !! Error in R3K_INPROPS: Invalid total molar flow.", props}));
  }
  {
    // Missing temperature: the inlet is flashed from its enthalpy.
    auto [st, m] = run([&](Block& b) { b.smatin[nc + 1] = kRmiss; });
    EXPECT_EQ(st, 0);
    EXPECT_TRUE(m.empty());
  }
  {
    auto [st, m] = run([&](Block& b) {
      b.smatin[nc + 1] = kRmiss;
      host::fail_operation("FLSH_FLASH");
    });
    EXPECT_EQ(st, 1);
    EXPECT_EQ(m, (std::vector<std::string>{" !! Warning in R3K_INPROPS: Inlet stream flash failed.",
                                           " !! Error in R3K_INPROPS: Invalid stream temperature.",
                                           props}));
  }
  {
    // Missing density: from the vapour volume.
    auto [st, m] = run([&](Block& b) { b.smatin[nc + 7] = kRmiss; });
    EXPECT_EQ(st, 0);
  }
  {
    auto [st, m] = run([&](Block& b) {
      b.smatin[nc + 7] = kRmiss;
      host::fail_operation("PPMON_VOLV");
    });
    EXPECT_EQ(m, (std::vector<std::string>{" !! Error in R3K_INPROPS: Invalid mass density.", props}));
  }
  {
    auto [st, m] = run([&](Block& b) { b.smatin[nc + 8] = kRmiss; });
    EXPECT_EQ(m, (std::vector<std::string>{" !! Error in R3K_INPROPS: Invalid molecular weight.", props}));
  }
  {
    auto [st, m] = run([&](Block&) { host::fail_operation("PPMON_ENTHV"); });
    EXPECT_EQ(m, (std::vector<std::string>{" !! Error in R3K_INPROPS: Invalid heat capacity.", props}));
  }
  {
    auto [st, m] = run([&](Block& b) { b.smatin[nc + 3] = kRmiss; });
    EXPECT_EQ(st, 1);
    EXPECT_EQ(m, (std::vector<std::string>{" !! Error in R3K_ENTHBAL: Invalid stream enthalpy."}));
  }
  {
    // The outlet volume: the inlet has its density, so the first volume call is the outlet's.
    auto [st, m] = run([&](Block&) { host::fail_operation("PPMON_VOLV"); }, {{"SPEED", 9000.0}});
    EXPECT_EQ(st, 1);
    EXPECT_EQ(m, (std::vector<std::string>{" !! Error in R3K_OUTPROPS: Invalid molar volume."}));
  }
}

TEST_F(CcmpInit, HandCalculationOfTheHeadFromTheRatio) {
  // Pressure-ratio path without curves: the head follows the polytropic
  // relation with the working k, Z and efficiency.
  Options o;
  o.head = o.eff = o.surge = 0;
  o.npass = 1;
  Block b = make_ccmp(o);
  ASSERT_EQ(init_fixed(b, {{"PRATIO", 2.0}, {"POLY_EFF", 0.8}}), 0);
  const double m = yv(b, "MPOLY");
  const double zmean = yv(b, "Z_MEAN"), t1 = yv(b, "SUCT_TEMP"), mw = yv(b, "MW");
  // The head was computed before the pass's outlet flash refreshed k and Z,
  // so compare through the exponent the head used: ALPHA of the inlet.
  const double k1 = yv(b, "SUCT_CP") / (yv(b, "SUCT_CP") - kR);
  const double m1 = (k1 - 1.0) / k1 / 0.8;
  const double z1 = yv(b, "SUCT_Z");
  const double head = z1 * kR * t1 / (mw * m1) * (std::pow(2.0, m1) - 1.0);
  EXPECT_NEAR(yv(b, "HEAD"), head, 1e-9 * head);
  EXPECT_GT(zmean, 0.0);
  EXPECT_GT(m, 0.0);
}

}  // namespace
}  // namespace r3::test::ccmp
