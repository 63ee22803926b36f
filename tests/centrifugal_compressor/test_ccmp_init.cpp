// The centrifugal compressor's sequential initialisation: the cases chosen by
// the fixed variables, the curve inverses and their root choice, the
// property steps and their messages (golden text
// centrifugal_compressor/init_errors).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>

#include "tests/centrifugal_compressor/ccmp_test.h"

namespace r3::test::ccmp {
namespace {

// Messages of the initialisation go to the second message unit and then to
// the message unit, the same records on both.
std::vector<std::string> both_units() {
  const auto second = records(host::units::kSecondMessageUnit);
  const auto first = messages();
  EXPECT_EQ(second, first);
  return first;
}

// Every way of giving the operating point starts on the model's equations
// (the cases are the headings of the golden text
// centrifugal_compressor/operating_points, see initialise_with; "rps" speed
// in rev/s, "work V" a work stream of that value, "plain" no curves,
// "expect NAME V" derived values, "qbyn N" QACT and Q_BY_N of the inlet's
// flow at speed N): after the passes only the polytropic exponent and head
// (and the gas power from them) still move, by less than 1e-3 scaled; every
// other equation holds to 1e-9; fixed values are kept; nothing is said.
TEST_F(CcmpTest, EveryGivenQuantityStartsOnTheEquations) {
  const double q = 3600.0 * inlet_qact(make_ccmp());  // m3/h
  std::map<std::string, double> speed;
  const auto one_case = [&](const std::string& heading, const CaseHeading& c, Transcript& t) {
    t.heading(heading);
    Options o;
    o.rpm = c.has("rps");
    o.work = c.has("work");
    if (c.has("plain")) o.head = o.eff = o.surge = 0;
    Block b = make_ccmp(o);
    if (o.work) b.set_info_inlet(0, c.number("work", 0.0));
    ASSERT_EQ(initialise_with(b, c), 0) << heading;
    t.add(both_units());
    const std::vector<double> f = residuals_at(b, b.y);
    for (int i = 1; i <= b.nf; ++i) {
      const std::string e = b.eqn_name(i);
      const bool moving = e == "K1.MPOLY_DEF" || e == "K1.POLY_COMP" || e == "K1.CALC_IHP";
      const size_t k = static_cast<size_t>(i - 1);
      EXPECT_LT(std::fabs(f[k] / b.fscl[k]), moving ? 1e-3 : 1e-9) << heading << ": " << e;
    }
    const auto fixed = c.words("fix"), expect = c.words("expect");
    for (size_t k = 0; k + 1 < fixed.size(); k += 2)
      EXPECT_EQ(yv(b, fixed[k]), std::stod(fixed[k + 1])) << heading;
    for (size_t k = 0; k + 1 < expect.size(); k += 2) {
      const double v = std::stod(expect[k + 1]);
      EXPECT_NEAR(yv(b, expect[k]), v, 1e-12 * std::fabs(v)) << heading << ": " << expect[k];
    }
    if (c.has("qbyn")) {
      EXPECT_NEAR(yv(b, "QACT"), q / 3600.0, 1e-12 * q);
      EXPECT_NEAR(yv(b, "Q_BY_N"), q / c.number("qbyn", 1.0), 1e-12 * q);
    }
    if (fixed == std::vector<std::string>{"PROD.PRESSURE", "5e6"})
      speed[c.has("rps") ? "rps" : "rpm"] = yv(b, "SPEED");
  };
  EXPECT_TRUE(run_golden_cases("centrifugal_compressor/operating_points", one_case));
  // The speed found in rpm comes back in rev/s.
  EXPECT_NEAR(60.0 * speed["rps"], speed["rpm"], 1e-6);
  // Limits that are accepted.
  for (const char* h : {"fix PRATIO 1", "work 0; fix SHAFT.VALUE 0", "fix BHP 0", "fix HEAD 0"}) {
    const CaseHeading c(h);
    Options o;
    o.work = c.has("work");
    Block z = make_ccmp(o);
    EXPECT_EQ(initialise_with(z, c), 0) << h;
  }
}

TEST_F(CcmpTest, CurveInversesChooseTheRootInsideTheSpeedRange) {
  const double u = 3600.0 * inlet_qact(make_ccmp());
  const std::vector<double> head = {1.0, -0.001 * 11000.0 * 1000.0 / u,
                                    (0.001 * 3000.0 * 8000.0 + 40000.0) * 1000.0 / (u * u)};
  struct Case {
    bool head_curve;
    double nlow, nhigh, speed;
  };
  for (const Case& c :
       {Case{true, 1250.0, 20000.0, 8000.0}, Case{true, 1250.0, 5000.0, 3000.0},
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
    ASSERT_EQ(
        initialise_with(b, CaseHeading(c.head_curve ? "fix HEAD 40000" : "fix POLY_EFF 0.75")), 0);
    EXPECT_NEAR(yv(b, "SPEED"), c.speed, 1e-6 * c.speed) << c.nlow << " " << c.nhigh;
    EXPECT_NEAR(yv(b, "Q_BY_N") * yv(b, "SPEED"), u, 1e-9 * u);
    if (!c.head_curve) {
      EXPECT_NEAR(yv(b, "EFF_PRED"), 0.75, 1e-12);
    }
  }
}

// Values, bounds, scales, types and fixed flags after the initialisation
// (golden text centrifugal_compressor/prepared; "rps" speed in rev/s,
// "passes" and "imode" as in INT, "work" a work stream): sequential-modular
// use fixes the inlet and work stream; with "user" the user's values of
// block variables and equation scales survive, outlet scales come from the
// inlet (with a warning when the user gave one), a step bound of 1 is
// replaced by the inlet's, a guess survives. Then missing, NaN and
// overflowing values never crash a request (unknown requests, a failing
// component service and unserved connections: the hostile requests test of
// every model).
TEST_F(CcmpTest, PreparedStateAndBadValues) {
  const auto one_case = [&](const std::string& heading, const CaseHeading& c, Transcript& t) {
    t.heading(heading);
    Options o;
    o.rpm = c.has("rps");
    o.npass = static_cast<int32_t>(c.number("passes", 2));
    o.imode = static_cast<int32_t>(c.number("imode", 1));
    o.work = c.has("work");
    Block b = make_ccmp(o);
    const size_t pout = 2 * (5 + 3) - 1, hout = pout - 1;  // 0-based
    ASSERT_EQ(prepare_with(b,
                           [&](Block& x) {
                             if (!c.has("user")) return;
                             x.ylb[static_cast<size_t>(x.find_var("HEAD") - 1)] = 5.0;
                             x.yscl[static_cast<size_t>(x.find_var("POLY_EFF") - 1)] = 0.5;
                             x.ysbnd[static_cast<size_t>(x.find_var("MPOLY") - 1)] = 0.2;
                             x.fscl[8] = 123.0;
                             x.ylb[pout] = 2.0e6;
                             x.yscl[pout] = 7.0;
                             x.ysbnd[hout] = 1.0;
                             x.y[pout] = 4.5e6;
                           }),
              0);
    t.add(both_units());
    t.add(block_state(b));
    for (double v : b.y) EXPECT_NE(v, kRmiss);
    // Missing, NaN and overflowing values never crash a request.
    b.y[0] = kRmiss;
    b.y[3] = std::numeric_limits<double>::quiet_NaN();
    yv(b, "SPEED") = -100.0;
    yv(b, "LN_PRATIO") = 800.0;  // exp overflows
    for (int32_t kode : {KODE_RESID, KODE_JACOB, KODE_STRMUPD, KODE_REPORT})
      EXPECT_EQ(b.call(kode), 0);
    EXPECT_EQ(hs::ppexec_word(6), 1);
    report();
  };
  EXPECT_TRUE(run_golden_cases("centrifugal_compressor/prepared", one_case));
}

// Impossible fixed values, bad feeds, failing property services and
// variables fixed without a value (the cases are the headings of the golden
// text, see initialise_with; "work V" connects a work stream of that value,
// "passes" as in INT): ISTAT and the messages.
TEST_F(CcmpTest, InitialisationErrors) {
  const auto one_case = [&](const std::string& heading, const CaseHeading& c, Transcript& t) {
    t.heading(heading);
    Options o;
    o.work = c.has("work");
    o.npass = static_cast<int32_t>(c.number("passes", 2));
    Block b = make_ccmp(o);
    if (o.work) b.set_info_inlet(0, c.number("work", 0.0));
    t.add("istat " + std::to_string(initialise_with(b, c)));
    t.add(both_units());
  };
  EXPECT_TRUE(run_golden_cases("centrifugal_compressor/init_errors", one_case));
}

}  // namespace
}  // namespace r3::test::ccmp
