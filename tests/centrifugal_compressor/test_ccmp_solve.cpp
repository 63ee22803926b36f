// Centrifugal compressor cases solved as r3sim solves them: the examples
// converge, the results agree with a hand calculation from the same property
// values, the curves hold at the solution, and the report.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tests/centrifugal_compressor/ccmp_test.h"

namespace r3::test::ccmp {
namespace {

using host::Block;

constexpr double kR = 8314.400390625;

CaseRun solve(const std::string& name) {
  CaseRun r = run_case(example_path("ccmp/" + name), {{"R3CCMP", R3CCMP}});
  EXPECT_EQ(r.outcome, host::Outcome::Solved) << name << ": " << r.error;
  EXPECT_TRUE(r.solve.converged) << name;
  return r;
}

// Vapour heat capacity, enthalpy and molar volume of the example gas.
struct GasState {
  double cp, h, v;
};
GasState gas(double T, double P) {
  const int32_t n = 5, ips = 2, code = 3, one = 1;
  int32_t idx[5] = {1, 2, 3, 4, 5}, ist = 0;
  double x[5];
  for (int i = 0; i < 5; ++i) x[i] = kFlows[static_cast<size_t>(i)];
  GasState g{};
  PPMON_ENTHV(&T, &P, x, &n, idx, &ips, &PPEXEC_USER[8], PPEXEC_KBASE, &code, &g.h, &g.cp, &ist);
  double v2 = 0.0;
  PPMON_VOLV(&T, &P, x, &n, idx, &ips, &PPEXEC_USER[8], &one, &g.v, &v2, &ist);
  return g;
}

TEST(CcmpSolve, EveryExampleConverges) {
  for (const char* name : {"ccmp_pratio.toml", "ccmp_curves_speed.toml", "ccmp_curves_pout.toml",
                           "ccmp_rps.toml"}) {
    CaseRun r = solve(name);
    EXPECT_LE(r.solve.iterations, 5) << name;
    EXPECT_FALSE(r.report.empty()) << name;
    // The model's Jacobian and pattern at the example's solution.
    ASSERT_EQ(r.flowsheet->blocks().size(), 1u);
    SCOPED_TRACE(name);
    check_conformance(*r.flowsheet->blocks()[0]);
  }
}

TEST(CcmpSolve, PolytropicHandCalculation) {
  const CaseRun r = solve("ccmp_pratio.toml");
  const double T1 = 300.0, P1 = 3.0e6, PR = 2.5, P2 = P1 * PR, eta = 0.78, mech = 0.98;
  const double T2 = r.value("K1.DISCH_TEMP");
  const std::vector<double>& prod = r.stream("PROD");
  EXPECT_NEAR(prod[5 + 1], T2, 1e-6);
  EXPECT_NEAR(prod[5 + 2], P2, 1e-3);
  // Mean compressibility and heat capacity from suction and discharge states.
  const GasState s = gas(T1, P1), d = gas(T2, P2);
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

// The converged point lies on the curves: speed in curve units c*SPEED.
void expect_on_curves(const CaseRun& r, double c) {
  const std::vector<double> a = example_reals();
  const double n = c * r.value("K1.SPEED");
  const double qact = r.value("K1.QACT");
  const double q = 3600.0 * qact / n;
  EXPECT_NEAR(r.value("K1.Q_BY_N"), q, 1e-9 * q);
  const double head = r.value("K1.HEAD_FACT") * (a[0] + a[1] * q + a[2] * q * q) * n * n / 1000.0;
  EXPECT_NEAR(r.value("K1.HEAD"), head, 1e-8 * head);
  const double eff = r.value("K1.EFF_FACT") * (a[3] + a[4] * q + a[5] * q * q) / 100.0;
  EXPECT_NEAR(r.value("K1.POLY_EFF"), eff, 1e-9);
  const double surge_q = r.value("K1.SURGE_FACT") * (a[6] + a[7] * n) / 3600.0;
  EXPECT_NEAR(r.value("K1.SURGE_Q"), surge_q, 1e-9 * surge_q);
  EXPECT_NEAR(r.value("K1.SURGE_RATIO"), qact / surge_q, 1e-8);
  // The actual flow is the suction volume of the feed.
  const GasState s = gas(300.0, 3.0e6);
  EXPECT_NEAR(qact, 1.0 * s.v, 1e-9 * qact);
}

TEST(CcmpSolve, CurvesHoldAtTheSolution) {
  const CaseRun sp = solve("ccmp_curves_speed.toml");
  EXPECT_EQ(sp.value("K1.SPEED"), 10000.0);
  expect_on_curves(sp, 1.0);
  EXPECT_NEAR(sp.value("SHAFT.VALUE"), -sp.value("K1.BHP"), 1e-6);
  // The discharge pressure given: the speed comes from the head curve.
  const CaseRun po = solve("ccmp_curves_pout.toml");
  expect_on_curves(po, 1.0);
  EXPECT_NEAR(po.value("K1.PRATIO"), 5.0 / 3.0, 1e-12);
  EXPECT_GT(po.value("K1.SPEED"), 10000.0);
  EXPECT_LT(po.value("K1.SPEED"), 11000.0);
  // Speed in rev/s, curves in rpm.
  const CaseRun rps = solve("ccmp_rps.toml");
  EXPECT_EQ(rps.value("K1.SPEED"), 150.0);
  expect_on_curves(rps, 60.0);
}

// A report line: four blanks, the label in 33 characters, a blank, 1PE13.6.
std::string line(const std::string& label, double v) {
  std::string l = label;
  l.resize(33, ' ');
  return "    " + l + " " + rec::Record().e1p(v, 13, 6).str();
}

// The unit label the host's conversion returns for a type code.
std::string unit_of(int32_t code) {
  int32_t words[2] = {0x20202020, 0x20202020};
  double v = 1.0, out = 0.0;
  const int32_t c7 = 7, c6 = 6;
  ZREP_RCONV1(&code, &v, &out, words, &c7, &c6);
  std::string s(reinterpret_cast<const char*>(words), 8);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
  return "(" + s + ")";
}

TEST(CcmpSolve, ReportWithAndWithoutCurves) {
  const CaseRun r = solve("ccmp_pratio.toml");
  const std::vector<std::string> want = {
      "",
      "                      ***       R3CCMP RESULTS      ***",
      "",
      line("INDICATED HORSEPOWER (W)", r.value("K1.IHP")),
      line("BRAKE HORSEPOWER (W)", r.value("K1.BHP")),
      "    MECHANICAL EFFICIENCY              9.800000E-01",
      "    POLYTROPIC EFFICIENCY              7.800000E-01",
      "",
      "    DISCHARGE PRESSURE (Pa)            7.500000E+06",
      line("DISCHARGE TEMPERATURE (K)", r.value("K1.DISCH_TEMP")),
      "    PRESSURE RATIO                     2.500000E+00",
      "",
      line("HEAD " + unit_of(33), r.value("K1.HEAD")),
      "",
      ""};
  EXPECT_EQ(r.report, want);

  const CaseRun c = solve("ccmp_curves_speed.toml");
  const std::vector<std::string> want_curves = {
      "",
      "                      ***       R3CCMP RESULTS      ***",
      "",
      line("INDICATED HORSEPOWER (W)", c.value("K1.IHP")),
      line("BRAKE HORSEPOWER (W)", c.value("K1.BHP")),
      "    MECHANICAL EFFICIENCY              9.800000E-01",
      line("POLYTROPIC EFFICIENCY", c.value("K1.POLY_EFF")),
      "",
      line("DISCHARGE PRESSURE (Pa)", c.value("PROD.PRESSURE")),
      line("DISCHARGE TEMPERATURE (K)", c.value("K1.DISCH_TEMP")),
      line("PRESSURE RATIO", c.value("K1.PRATIO")),
      "",
      "    SPEED (RPM)                        1.000000E+04",
      line("HEAD " + unit_of(33), c.value("K1.HEAD")),
      line("SURGE RATIO", c.value("K1.SURGE_RATIO")),
      "",
      "    HEAD CURVE FACTOR                  1.000000E+00",
      "    EFFICIENCY CURVE FACTOR            1.000000E+00",
      "    SURGE CURVE FACTOR                 1.000000E+00",
      ""};
  EXPECT_EQ(c.report, want_curves);

  const CaseRun s = solve("ccmp_rps.toml");
  ASSERT_GE(s.report.size(), 13u);
  EXPECT_EQ(s.report[12], line("SPEED " + unit_of(28), 150.0));
}

TEST(CcmpReport, ConvertedToTheReportUnits) {
  reset_gas();
  Options o;
  o.eff = 0;
  o.surge = 0;
  Block b = make_ccmp(o);
  ASSERT_EQ(b.prepare(), 0);
  yv(b, "IHP") = 1.5e6;
  yv(b, "BHP") = 2.0e6;
  yv(b, "DISCH_TEMP") = 373.15;
  b.y[static_cast<size_t>(b.find_var("PROD.PRESSURE") - 1)] = 5.0e6;
  host::run().report_units = host::ReportUnits::MET;
  ASSERT_EQ(b.call(KODE_REPORT), 0);
  const auto rep = report();
  ASSERT_EQ(rep.size(), 17u);
  EXPECT_EQ(rep[3], "    INDICATED HORSEPOWER (kW)          1.500000E+03");
  EXPECT_EQ(rep[4], "    BRAKE HORSEPOWER (kW)              2.000000E+03");
  EXPECT_EQ(rep[8], "    DISCHARGE PRESSURE (bar)           5.000000E+01");
  EXPECT_EQ(rep[9], "    DISCHARGE TEMPERATURE (degC)       1.000000E+02");
  EXPECT_EQ(rep[12].substr(0, 38), "    SPEED (RPM)                       ");
  EXPECT_EQ(rep[15], "    HEAD CURVE FACTOR                  1.000000E+00");
  host::run().report_units = host::ReportUnits::SI;
}

}  // namespace
}  // namespace r3::test::ccmp
