// Centrifugal compressor cases solved as r3sim solves them: the results
// agree with a hand calculation from the same property values, the curves
// hold at the solution; the report in other units.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/centrifugal_compressor/ccmp_test.h"

namespace r3::test::ccmp {
namespace {

constexpr double kR = 8314.400390625;

CaseRun solve(const std::string& name) {
  CaseRun r = run_case(example_path("ccmp/" + name), {{"R3CCMP", R3CCMP}});
  EXPECT_EQ(r.outcome, host::Outcome::Solved) << name << ": " << r.error;
  return r;
}

TEST(CcmpSolve, PolytropicHandCalculation) {
  const CaseRun r = solve("ccmp_pratio.toml");
  const double T1 = 300.0, P1 = 3.0e6, PR = 2.5, P2 = P1 * PR, eta = 0.78, mech = 0.98;
  const double T2 = r.value("K1.DISCH_TEMP");
  EXPECT_NEAR(r.stream("PROD")[5 + 1], T2, 1e-6);
  EXPECT_NEAR(r.stream("PROD")[5 + 2], P2, 1e-3);
  // Mean compressibility and heat capacity from suction and discharge states.
  const Monitor s = monitor(false, 2, kFlows, T1, P1), d = monitor(false, 2, kFlows, T2, P2);
  const double mw = 0.90 * 16.043 + 0.05 * 30.07 + 0.02 * 44.097 + 0.02 * 28.014 + 0.01 * 44.01;
  const double z = 0.5 * (P1 * s.v / (kR * T1) + P2 * d.v / (kR * T2));
  const double cp = 0.5 * (s.cp + d.cp);
  const double k = cp / (cp - kR);
  const double m = (k - 1.0) / (k * eta);
  const double head = z * kR * T1 / (mw * m) * (std::pow(PR, m) - 1.0);
  EXPECT_NEAR(r.value("K1.HEAD"), head, 1e-7 * head);
  const double power = 1.0 * mw * head / eta;
  EXPECT_NEAR(r.value("K1.IHP"), power, 1e-7 * power);
  EXPECT_NEAR(r.value("K1.BHP"), power / mech, 1e-7 * power);
  // Discharge temperature: the enthalpy rise equals the gas power per kmol.
  EXPECT_NEAR(d.h - s.h, power / 1.0, 1e-6 * power);
  // Plausible for natural gas: about 86 K rise.
  EXPECT_GT(T2, 380.0);
  EXPECT_LT(T2, 392.0);
}

// The converged point lies on the curves (speed in curve units c*SPEED):
// the speed given, the discharge pressure given (the speed from the head
// curve), and the speed in rev/s with the curves in rpm.
TEST(CcmpSolve, CurvesHoldAtTheSolution) {
  const std::vector<double> a = example_reals();
  for (const auto& [name, c] : {std::pair<std::string, double>{"ccmp_curves_speed.toml", 1.0},
                                {"ccmp_curves_pout.toml", 1.0},
                                {"ccmp_rps.toml", 60.0}}) {
    SCOPED_TRACE(name);
    const CaseRun r = solve(name);
    const Monitor s = monitor(false, 2, kFlows, 300.0, 3.0e6);  // on the run the case set up
    const double n = c * r.value("K1.SPEED"), qact = r.value("K1.QACT"), q = 3600.0 * qact / n;
    EXPECT_NEAR(r.value("K1.Q_BY_N"), q, 1e-9 * q);
    const double head = r.value("K1.HEAD_FACT") * (a[0] + a[1] * q + a[2] * q * q) * n * n / 1000.0;
    EXPECT_NEAR(r.value("K1.HEAD"), head, 1e-8 * head);
    const double eff = r.value("K1.EFF_FACT") * (a[3] + a[4] * q + a[5] * q * q) / 100.0;
    EXPECT_NEAR(r.value("K1.POLY_EFF"), eff, 1e-9);
    const double surge_q = r.value("K1.SURGE_FACT") * (a[6] + a[7] * n) / 3600.0;
    EXPECT_NEAR(r.value("K1.SURGE_Q"), surge_q, 1e-9 * surge_q);
    EXPECT_NEAR(r.value("K1.SURGE_RATIO"), qact / surge_q, 1e-8);
    // The actual flow is the suction volume of the feed.
    EXPECT_NEAR(qact, 1.0 * s.v, 1e-9 * qact);
    if (name == "ccmp_curves_speed.toml") {
      EXPECT_EQ(r.value("K1.SPEED"), 10000.0);
      EXPECT_NEAR(r.value("SHAFT.VALUE"), -r.value("K1.BHP"), 1e-6);
    } else if (name == "ccmp_curves_pout.toml") {
      EXPECT_NEAR(r.value("K1.PRATIO"), 5.0 / 3.0, 1e-12);
      EXPECT_GT(r.value("K1.SPEED"), 10000.0);
      EXPECT_LT(r.value("K1.SPEED"), 11000.0);
    } else {
      EXPECT_EQ(r.value("K1.SPEED"), 150.0);
    }
  }
}

// The report converted to the case's report units (the examples' reports,
// in SI, are compared by the golden test of every example).
TEST_F(CcmpTest, ReportInOtherUnits) {
  Options o;
  o.eff = 0;
  o.surge = 0;
  host::Block b = make_ccmp(o);
  ASSERT_EQ(b.prepare(), 0);
  yv(b, "IHP") = 1.5e6;
  yv(b, "BHP") = 2.0e6;
  yv(b, "DISCH_TEMP") = 373.15;
  yv(b, "PROD.PRESSURE") = 5.0e6;
  Transcript t;
  for (auto units : {host::ReportUnits::MET, host::ReportUnits::ENG}) {
    host::run().report_units = units;
    t.heading(units == host::ReportUnits::MET ? "MET" : "ENG");
    ASSERT_EQ(b.call(KODE_REPORT), 0);
    t.add(report());
  }
  EXPECT_TRUE(matches_golden_text("centrifugal_compressor/report", t.lines));
}

}  // namespace
}  // namespace r3::test::ccmp
