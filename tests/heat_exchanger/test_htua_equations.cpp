// The heat exchanger's variables, equations, Jacobian and pattern, the mean
// temperature difference, the bundle geometry, the example cases and bad
// input.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <numbers>

#include "framework/host_services.h"
#include "tests/heat_exchanger/htua_support.h"
#include "tests/support/support.h"

namespace r3::test::htua {
namespace {

using host::Block;
using host::kRmiss;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// --- Shapes: counts, names, pattern and Jacobian ---------------------------------

struct Shape {
  bool bundle;
  int ninfo;  // heat streams in and out
  int32_t inlsid, ifldir;
};

class HtuaShapes : public ::testing::TestWithParam<Shape> {
 protected:
  void SetUp() override { reset_host({"H2O"}); }
};

TEST_P(HtuaShapes, CountsNamesAndConformance) {
  const Shape sh = GetParam();
  std::vector<int32_t> ints = {1, 0, 0, sh.ifldir, sh.inlsid};
  if (sh.bundle) ints.push_back(1);
  Block b = make_hx(ints, sh.ninfo, sh.ninfo, true);
  ASSERT_EQ(b.prepare(), 0) << ::testing::PrintToString(standard_output());
  EXPECT_EQ(b.ny, sh.bundle ? 25 : 21);
  EXPECT_EQ(b.nf, sh.bundle ? 15 : 12);
  EXPECT_EQ(b.nz, sh.bundle ? 42 : 35);
  EXPECT_EQ(b.naux1, 0);
  EXPECT_EQ(b.naux2, 0);
  EXPECT_EQ(b.naux3, 0);
  check_conformance(b);
  // Duty variables: named after the heat streams when there are some.
  if (sh.ninfo == 0) {
    EXPECT_EQ(b.var_name(Q_DUTY_HOT), "HX.Q_DUTY_HOT");
    EXPECT_EQ(b.var_name(Q_DUTY_COLD), "HX.Q_DUTY_COLD");
  } else {
    EXPECT_EQ(b.var_name(Q_DUTY_HOT), sh.inlsid == 0 ? "QIN1.VALUE" : "QOUT1.VALUE");
    EXPECT_EQ(b.var_name(Q_DUTY_COLD), sh.inlsid == 0 ? "QOUT1.VALUE" : "QIN1.VALUE");
  }
  const std::string flow = sh.ifldir == 0 ? "COUNTER_CURRENT" : "CO_CURRENT";
  EXPECT_EQ(b.eqn_name(HOT_IN_DT), "HX.HOT_IN_DT_" + flow);
  EXPECT_EQ(b.eqn_name(HOT_OUT_DT), "HX.HOT_OUT_DT_" + flow);
  // Rows 5 and 6 take their cold temperature from the flow direction.
  EXPECT_EQ(b.ijrow[12], HOT_IN_DT);
  EXPECT_EQ(b.ijcol[12], sh.ifldir == 0 ? T_COLD_OUT : T_COLD_IN);
  EXPECT_EQ(b.ijcol[15], sh.ifldir == 0 ? T_COLD_IN : T_COLD_OUT);
  // The material stream passes through unchanged.
  EXPECT_EQ(b.smatout, b.smatin);
}

INSTANTIATE_TEST_SUITE_P(Htua, HtuaShapes,
                         ::testing::Values(Shape{false, 0, 0, 0}, Shape{false, 0, 0, 1},
                                           Shape{false, 1, 0, 0}, Shape{false, 1, 1, 1},
                                           Shape{true, 0, 0, 0}, Shape{true, 1, 1, 0},
                                           Shape{true, 1, 0, 1}));

class HtuaTest : public HostTest {};

TEST_F(HtuaTest, NamesFollowTheTables) {
  Block b = make_hx({1, 0, 0, 0, 0, 1});
  ASSERT_EQ(b.prepare(), 0);
  const char* vars[] = {"T_HOT_IN",           "T_HOT_OUT",           "T_COLD_IN",
                        "T_COLD_OUT",         "T_APPR_MIN_HOT_IN",   "T_APPR_VARY_HOT_IN",
                        "T_APPR_MIN_HOT_OUT", "T_APPR_VARY_HOT_OUT", "T_APPR_PRODUCT",
                        "Q_DUTY_HOT",         "Q_DUTY_COLD",         "Q_UA",
                        "FUA",                "FT",                  "U",
                        "AREA",               "DTMEAN",              "DT_HOT_IN",
                        "DT_HOT_OUT",         "T_HOT_FALL",          "T_COLD_RISE",
                        "HTAREA",             "LEVEL",               "FAC",
                        "THETA"};
  for (int v = 1; v <= 25; ++v) EXPECT_EQ(b.var_name(v), std::string("HX.") + vars[v - 1]);
  const char* eqns[] = {"HEAT_BALANCE",
                        "DEFINE_QUA",
                        "HEAT_TRANS_EQN",
                        "EFFECT_EQN",
                        "HOT_IN_DT_COUNTER_CURRENT",
                        "HOT_OUT_DT_COUNTER_CURRENT",
                        "MEAN_TEMP_DIFF",
                        "HOT_IN_TEMP_APPROACH",
                        "HOT_OUT_TEMP_APPROACH",
                        "HOT_T_FALL",
                        "COLD_T_RISE",
                        "DEFINE_DTPROD",
                        "DEFINE_AREA",
                        "DEFINE_FAC",
                        "DEFINE_THETA"};
  for (int q = 1; q <= 15; ++q) EXPECT_EQ(b.eqn_name(q), std::string("HX.") + eqns[q - 1]);
}

TEST_F(HtuaTest, BundleOptionReadOnlyWhenPresentAndOne) {
  // Five integers (NINT = 8 with the header): no bundle.
  Block a = make_hx({1, 0, 0, 0, 0});
  ASSERT_EQ(a.dimension(), 0);
  EXPECT_EQ(a.ny, 21);
  // A value other than 1 counts as off; 1 turns it on.
  Block c = make_hx({1, 0, 0, 0, 0, 2});
  ASSERT_EQ(c.dimension(), 0);
  EXPECT_EQ(c.ny, 21);
  EXPECT_EQ(c.nf, 12);
  Block d = make_hx({1, 0, 0, 0, 0, 1});
  ASSERT_EQ(d.dimension(), 0);
  EXPECT_EQ(d.ny, 25);
  EXPECT_EQ(d.nz, 42);
}

// Residuals of a prepared plain block at its initial point with some values set.
std::vector<double> residuals_with(Block& b, std::initializer_list<std::pair<int, double>> set) {
  std::vector<double> y = b.y;
  for (const auto& [v, x] : set) y[static_cast<size_t>(v - 1)] = x;
  return residuals_at(b, y);
}

TEST_F(HtuaTest, FlowDirectionChangesOnlyTheEndDifferences) {
  Block counter = make_hx({1, 0, 0, 0, 0});
  Block co = make_hx({1, 0, 0, 1, 0});
  ASSERT_EQ(counter.prepare(), 0);
  ASSERT_EQ(co.prepare(), 0);
  std::vector<double> y = counter.y;
  y[T_HOT_IN - 1] = 400;
  y[T_HOT_OUT - 1] = 350;
  y[T_COLD_IN - 1] = 300;
  y[T_COLD_OUT - 1] = 330;
  const std::vector<double> fc = residuals_at(counter, y), fo = residuals_at(co, y);
  for (int q = 1; q <= 12; ++q) {
    if (q == HOT_IN_DT || q == HOT_OUT_DT) continue;
    EXPECT_EQ(fc[static_cast<size_t>(q - 1)], fo[static_cast<size_t>(q - 1)]) << q;
  }
  EXPECT_DOUBLE_EQ(fo[HOT_IN_DT - 1], 10 - 400 + 300.0);
  EXPECT_DOUBLE_EQ(fo[HOT_OUT_DT - 1], 10 - 350 + 330.0);
  EXPECT_DOUBLE_EQ(fc[HOT_IN_DT - 1], 10 - 400 + 330.0);
  for (int k = 0; k < 35; ++k) {
    if (k == 12 || k == 15) continue;  // the cold-temperature columns of rows 5 and 6
    EXPECT_EQ(counter.ijcol[static_cast<size_t>(k)], co.ijcol[static_cast<size_t>(k)]) << k;
    EXPECT_EQ(counter.ijrow[static_cast<size_t>(k)], co.ijrow[static_cast<size_t>(k)]) << k;
  }
}

TEST_F(HtuaTest, HeatStreamFormsOfTheBalances) {
  // One heat stream each way, inlet heat from the hot side: q10 - q11 and
  // Q_UA - q10; from the cold side: q10 - q11 and q10 + Q_UA.
  for (int32_t inlsid : {0, 1}) {
    Block b = make_hx({1, 0, 0, 0, inlsid}, 1, 1);
    ASSERT_EQ(b.prepare(), 0);
    const std::vector<double> f =
        residuals_with(b, {{Q_DUTY_HOT, 300}, {Q_DUTY_COLD, 100}, {Q_UA, 1000}});
    EXPECT_DOUBLE_EQ(f[HEAT_BALANCE - 1], 200.0);
    EXPECT_DOUBLE_EQ(f[DEFINE_QUA - 1], inlsid == 0 ? 700.0 : 1300.0);
    b.call(KODE_JACOB);
    EXPECT_EQ(b.dfdy[1], -1.0);
    EXPECT_EQ(b.dfdy[3], inlsid == 0 ? -1.0 : 1.0);
  }
  Block plain = make_hx({1, 0, 0, 0, 0});
  ASSERT_EQ(plain.prepare(), 0);
  const std::vector<double> f =
      residuals_with(plain, {{Q_DUTY_HOT, 300}, {Q_DUTY_COLD, 100}, {Q_UA, 1000}});
  EXPECT_DOUBLE_EQ(f[HEAT_BALANCE - 1], 400.0);
  EXPECT_DOUBLE_EQ(f[DEFINE_QUA - 1], 1300.0);
}

// --- Mean temperature difference ----------------------------------------------------

double lmtd(double a, double b) { return a == b ? a : (a - b) / std::log(a / b); }

TEST(HtuaMeanTemperatureDifference, CubeOfTheMeanSignedCubeRoots) {
  const double e = 0.3333333432674408;
  // Equal ends: s = 10^e with the single-precision third.
  const double s = std::pow(10.0, e);
  EXPECT_DOUBLE_EQ(cube_root_mean(10, 10), s * s * s);
  EXPECT_NEAR(cube_root_mean(10, 10), 10.0, 1e-5);
  // One end closed: s = 0.5 * 8^(1/3) = 1.
  EXPECT_NEAR(cube_root_mean(0, 8), 1.0, 1e-6);
  EXPECT_EQ(cube_root_mean(0, 0), 0.0);
  // Negative differences keep their sign.
  EXPECT_NEAR(cube_root_mean(-10, -10), -10.0, 1e-5);
  EXPECT_NEAR(cube_root_mean(-8, 8), 0.0, 1e-12);
  // Within 1 % of the log mean for end differences within a factor of 3.
  for (double ratio : {1.0, 1.2, 1.5, 2.0, 2.5, 3.0}) {
    for (double b : {0.5, 10.0, 40.0, 200.0}) {
      const double a = ratio * b;
      EXPECT_NEAR(cube_root_mean(a, b) / lmtd(a, b), 1.0, 0.01) << a << " " << b;
    }
  }
}

TEST_F(HtuaTest, MeanDerivativeAtClosedEnds) {
  Block b = make_hx({1, 0, 0, 0, 0});
  ASSERT_EQ(b.prepare(), 0);
  // Both ends closed: both derivatives 0, residual -DTMEAN.
  std::vector<double> y = b.y;
  y[DT_HOT_IN - 1] = 0;
  y[DT_HOT_OUT - 1] = 0;
  y[DTMEAN - 1] = 7;
  EXPECT_DOUBLE_EQ(residuals_at(b, y)[MEAN_TEMP_DIFF - 1], -7.0);
  b.call(KODE_JACOB);
  EXPECT_EQ(b.dfdy[17], 0.0);
  EXPECT_EQ(b.dfdy[18], 0.0);
  EXPECT_EQ(b.dfdy[19], -1.0);
  // One end closed: finite, large, and the open end's derivative exact.
  y[DT_HOT_OUT - 1] = 8;
  b.y = y;
  b.call(KODE_JACOB);
  EXPECT_TRUE(std::isfinite(b.dfdy[17]));
  EXPECT_GT(b.dfdy[17], 1e3);
  const double s = 0.5 * std::pow(8.0, 0.3333333432674408);
  EXPECT_DOUBLE_EQ(b.dfdy[18], 0.5 * s * s * std::pow(8.0, -0.6666666865348816));
}

// --- Bundle geometry -----------------------------------------------------------------

TEST_F(HtuaTest, BundleGeometryAtHalfEmptyAndFullLevels) {
  Block b = make_hx({1, 0, 0, 0, 0, 1});
  ASSERT_EQ(b.prepare(), 0);
  auto bundle_residuals = [&](double level, double theta, double fac) {
    std::vector<double> y = b.y;
    y[LEVEL - 1] = level;
    y[THETA - 1] = theta;
    y[FAC - 1] = fac;
    y[HTAREA - 1] = 200;
    y[AREA - 1] = 200 * fac;
    return residuals_at(b, y);
  };
  // Level 0.5: THETA = pi, FAC = 0.5 up to the ten-digit 2*pi.
  const double pi = std::numbers::pi;
  std::vector<double> f = bundle_residuals(0.5, pi, 0.5);
  EXPECT_NEAR(f[DEFINE_THETA - 1], 0.0, 1e-15);
  EXPECT_DOUBLE_EQ(f[DEFINE_FAC - 1], -0.5 * 6.283185308 + pi - std::sin(pi));
  EXPECT_NEAR(f[DEFINE_FAC - 1], 0.0, 1e-9);
  EXPECT_EQ(f[DEFINE_AREA - 1], 0.0);
  // Full: THETA = 0, FAC = 1, exactly.
  f = bundle_residuals(1.0, 0.0, 1.0);
  EXPECT_EQ(f[DEFINE_THETA - 1], 0.0);
  EXPECT_EQ(f[DEFINE_FAC - 1], 0.0);
  // Empty: THETA = 2*pi, FAC = 0 up to the ten-digit constant.
  f = bundle_residuals(0.0, 2 * pi, 0.0);
  EXPECT_NEAR(f[DEFINE_THETA - 1], 0.0, 1e-15);
  EXPECT_NEAR(f[DEFINE_FAC - 1], 0.0, 1e-9);
  // The Jacobian uses the same constant.
  b.call(KODE_JACOB);
  EXPECT_EQ(b.dfdy[38], 6.283185308);
}

TEST_F(HtuaTest, BundleGuessFollowsTheLevel) {
  for (const auto& [level, theta] :
       {std::pair{0.5, std::numbers::pi}, std::pair{1.0, 0.0}, std::pair{0.0, 2 * std::numbers::pi}}) {
    Block b = make_hx({1, 0, 0, 0, 0, 1});
    ASSERT_EQ(prepare_with(b, [&, l = level](Block& x) { yv(x, LEVEL) = l; }), 0);  // Clang 14: no binding captures
    EXPECT_DOUBLE_EQ(yv(b, THETA), theta) << level;
    EXPECT_EQ(yv(b, FAC), 0.9);
    EXPECT_EQ(yv(b, HTAREA), 100.0);
  }
}

// A one-block case with the bundle, written for the test.
std::string write_case(const std::string& name, const std::string& ints, const std::string& fix,
                       const std::string& guess = "") {
  const std::string path = ::testing::TempDir() + name + ".toml";
  std::ofstream out(path);
  out << "title = \"" << name << "\"\n[properties]\nmethod = \"IDEAL\"\ncomponents = [\"H2O\"]\n"
      << "[[blocks]]\nid = \"HX\"\nmodel = \"R3HTUA\"\nint = " << ints << "\nreal = [0.0]\n"
      << "fix = " << fix << "\n";
  if (!guess.empty()) out << "guess = " << guess << "\n";
  out << "[solver]\nmax_iterations = 100\ntolerance = 1.0e-10\n";
  return path;
}

TEST(HtuaBundleSolve, HalfLevelGivesHalfTheAreaAndAngle) {
  const std::string path = write_case(
      "htua_half_level", "[1, 0, 0, 0, 0, 1]",
      "{ T_HOT_IN = 450.0, T_HOT_OUT = 420.0, T_COLD_IN = 373.0, T_COLD_OUT = 373.0, U = 1200.0, "
      "FT = 1.0, T_APPR_MIN_HOT_IN = 10.0, T_APPR_MIN_HOT_OUT = 10.0, HTAREA = 120.0, LEVEL = 0.5 }");
  CaseRun run = run_case(path, {{"R3HTUA", R3HTUA}});
  ASSERT_EQ(run.outcome, host::Outcome::Solved) << run.error;
  EXPECT_NEAR(run.value("HX.THETA"), std::numbers::pi, 1e-9);
  EXPECT_NEAR(run.value("HX.FAC"), 0.5, 1e-9);
  // FAC solves (FAC - 1) * 6.283185308 + pi = 0, not the full-precision 2*pi.
  EXPECT_NEAR(run.value("HX.FAC"), 1.0 - std::numbers::pi / 6.283185308, 1e-13);
  EXPECT_NEAR(run.value("HX.AREA"), 120.0 * run.value("HX.FAC"), 1e-9);
  check_conformance(*run.flowsheet->blocks()[0]);
}

// --- The example cases ---------------------------------------------------------------

CaseRun run_example(const std::string& name) {
  CaseRun run = run_case(example_path("htua/" + name), {{"R3HTUA", R3HTUA}});
  EXPECT_EQ(run.outcome, host::Outcome::Solved) << name << ": " << run.error;
  return run;
}

TEST(HtuaExamples, CounterCurrentTextbookSizing) {
  // 400 -> 340 K against 300 -> 330 K, 1 MW, U = 500 W/m2K.
  CaseRun run = run_example("counter_current.toml");
  ASSERT_EQ(run.outcome, host::Outcome::Solved);
  EXPECT_NEAR(run.value("HX1.DT_HOT_IN"), 70.0, 1e-9);
  EXPECT_NEAR(run.value("HX1.DT_HOT_OUT"), 40.0, 1e-9);
  const double dtm = run.value("HX1.DTMEAN");
  EXPECT_NEAR(dtm, cube_root_mean(70.0, 40.0), 1e-9);
  // Hand calculation: ((70^(1/3) + 40^(1/3)) / 2)^3 = 53.609; log mean 53.608.
  EXPECT_NEAR(dtm, 53.609, 1e-3);
  EXPECT_NEAR(dtm / lmtd(70.0, 40.0), 1.0, 0.01);
  EXPECT_NEAR(run.value("HX1.Q_UA"), 1.0e6, 1e-3);
  EXPECT_NEAR(run.value("HX1.Q_DUTY_COLD"), 1.0e6, 1e-3);
  EXPECT_NEAR(run.value("HX1.AREA"), 1.0e6 / (500.0 * dtm), 1e-8);
  EXPECT_NEAR(run.value("HX1.T_APPR_VARY_HOT_IN"), 60.0, 1e-9);
  EXPECT_NEAR(run.value("HX1.T_APPR_PRODUCT"), 2800.0, 1e-7);
  check_conformance(*run.flowsheet->blocks()[0]);
}

TEST(HtuaExamples, CoCurrentRating) {
  CaseRun run = run_example("co_current.toml");
  ASSERT_EQ(run.outcome, host::Outcome::Solved);
  EXPECT_NEAR(run.value("HX2.DT_HOT_IN"), 100.0, 1e-9);
  EXPECT_NEAR(run.value("HX2.DT_HOT_OUT"), 20.0, 1e-9);
  const double dtm = cube_root_mean(100.0, 20.0);
  EXPECT_NEAR(run.value("HX2.Q_UA"), 0.95 * 500.0 * 40.0 * dtm, 1e-4);
  check_conformance(*run.flowsheet->blocks()[0]);
}

TEST(HtuaExamples, HeatStreamsCarryTheDuty) {
  CaseRun run = run_example("heat_streams.toml");
  ASSERT_EQ(run.outcome, host::Outcome::Solved);
  EXPECT_NEAR(run.value("QIN.VALUE"), 1.5e6, 1e-6);
  EXPECT_NEAR(run.value("QOUT.VALUE"), 1.5e6, 1e-3);
  EXPECT_NEAR(run.value("HX3.Q_UA"), 1.5e6, 1e-3);
  EXPECT_NEAR(run.value("HX3.AREA"), 1.5e6 / (0.9 * 800.0 * cube_root_mean(80.0, 70.0)), 1e-8);
  EXPECT_NEAR(run.stream("QOUT").at(0), 1.5e6, 1e-3);
  // The material stream passes through unchanged.
  EXPECT_EQ(run.stream("HOTOUT"), run.stream("HOTIN"));
  check_conformance(*run.flowsheet->blocks()[0]);
}

TEST(HtuaExamples, BundleAtSixtyPercent) {
  CaseRun run = run_example("bundle.toml");
  ASSERT_EQ(run.outcome, host::Outcome::Solved);
  const double theta = 2.0 * std::acos(2.0 * 0.6 - 1.0);
  EXPECT_NEAR(run.value("HX4.THETA"), theta, 1e-9);
  const double fac = 1.0 - (theta - std::sin(theta)) / 6.283185308;
  EXPECT_NEAR(run.value("HX4.FAC"), fac, 1e-9);
  EXPECT_NEAR(run.value("HX4.Q_UA"), 1200.0 * 120.0 * fac * cube_root_mean(77.0, 47.0), 1e-3);
  check_conformance(*run.flowsheet->blocks()[0]);
}

// --- Bad input -----------------------------------------------------------------------

TEST_F(HtuaTest, OneHeatStreamOnlyIsRefusedAndNeverWritesPastTheArrays) {
  Block b = make_hx({1, 0, 0, 0, 0}, 1, 0);
  EXPECT_EQ(b.dimension(), 1);
  EXPECT_EQ(b.ny, 0);  // untouched by the refused request
  standard_output();
  // A host that goes on regardless: the missing outlet stream is never touched.
  allocate(b, 21, 12, 35);
  ASSERT_EQ(b.call(KODE_NAMES), 0);
  EXPECT_EQ(b.var_name(Q_DUTY_HOT), "QIN1.VALUE");
  EXPECT_EQ(b.var_name(Q_DUTY_COLD), "HX.Q_DUTY_COLD");
  ASSERT_EQ(b.call(KODE_INIT), 0);
  EXPECT_EQ(yv(b, Q_DUTY_HOT), 2.0e6);
  ASSERT_EQ(b.call(KODE_STRMUPD), 0);
  EXPECT_EQ(b.sinfin[0], 2.0e6);
  EXPECT_TRUE(b.sinfout.empty());
  // The other way round.
  Block c = make_hx({1, 0, 0, 0, 1}, 0, 1);
  EXPECT_EQ(c.dimension(), 1);
  allocate(c, 21, 12, 35);
  EXPECT_EQ(c.call(KODE_NAMES), 0);
  EXPECT_EQ(c.call(KODE_INIT), 0);
  EXPECT_EQ(c.call(KODE_STRMUPD), 0);
  for (double v : c.y) EXPECT_TRUE(std::isfinite(v) && v != kRmiss);
}

TEST_F(HtuaTest, ParametersChangedAfterTheDimensionRequestAreRefused) {
  Block b = make_hx({1, 0, 0, 0, 0});
  ASSERT_EQ(b.prepare(), 0);
  messages();
  b.ints.push_back(1);  // the bundle now wants 25 variables in arrays of 21
  const std::vector<double> f0 = b.f;
  for (int32_t kode : {KODE_NAMES, KODE_INIT, KODE_RESID, KODE_JACOB, KODE_STRMUPD}) {
    EXPECT_EQ(b.call(kode), 1) << kode;
  }
  EXPECT_EQ(b.f, f0);
  const std::vector<std::string> m = messages();
  ASSERT_GE(m.size(), 3u);
  EXPECT_EQ(m[0], "");
  EXPECT_EQ(m[1], " !! R3HTUA: the block has 25 variables, 15 equations and 42 non-zeros,");
  EXPECT_EQ(m[2], " but the host's arrays hold 21, 12 and 35; repeat the dimension request.");
  // The check and the report still answer.
  EXPECT_EQ(b.call(KODE_CHECK), 0);
  EXPECT_EQ(b.call(KODE_REPORT), 0);
}

TEST_F(HtuaTest, NegativeEndDifferencesAtTheInitialPoint) {
  Block b = make_hx({1, 0, 0, 0, 0});
  ASSERT_EQ(prepare_with(b,
                         [](Block& x) {
                           yv(x, DT_HOT_IN) = -40.0;
                           yv(x, DT_HOT_OUT) = -1e-300;
                           yv(x, DTMEAN) = -20.0;
                         }),
            0);
  EXPECT_EQ(yv(b, DT_HOT_IN), -40.0);
  EXPECT_EQ(b.ylb[DT_HOT_IN - 1], -1000.0);
  EXPECT_TRUE(standard_output().empty());
  std::fill(b.dfdy.begin(), b.dfdy.end(), kNaN);
  b.call(KODE_JACOB);
  for (double d : b.dfdy) EXPECT_TRUE(std::isfinite(d));
  const std::vector<double> f = residuals_at(b, b.y);
  for (double r : f) EXPECT_TRUE(std::isfinite(r));
  EXPECT_LT(cube_root_mean(-40.0, -1e-300), 0.0);
}

TEST(HtuaSolve, HotSideColderThanColdSideReversesTheDuty) {
  // Both end differences negative: the mean keeps the sign, the duty runs
  // from the "cold" side to the "hot" side.
  const std::string path = write_case(
      "htua_reversed", "[1, 0, 0, 0, 0]",
      "{ T_HOT_IN = 300.0, T_HOT_OUT = 320.0, T_COLD_IN = 350.0, T_COLD_OUT = 340.0, U = 500.0, "
      "FT = 1.0, AREA = 10.0, T_APPR_MIN_HOT_IN = -60.0, T_APPR_MIN_HOT_OUT = -60.0 }");
  CaseRun run = run_case(path, {{"R3HTUA", R3HTUA}});
  ASSERT_EQ(run.outcome, host::Outcome::Solved) << run.error;
  EXPECT_NEAR(run.value("HX.DTMEAN"), cube_root_mean(-40.0, -30.0), 1e-9);
  EXPECT_LT(run.value("HX.Q_UA"), 0.0);
  EXPECT_GT(run.value("HX.Q_DUTY_HOT"), 0.0);
}

TEST(HtuaSolve, ZeroAreaGivesZeroDuty) {
  for (bool bundle : {false, true}) {
    const std::string fix =
        std::string("{ T_HOT_IN = 400.0, T_HOT_OUT = 340.0, T_COLD_IN = 300.0, T_COLD_OUT = 330.0, "
                    "U = 500.0, FT = 1.0, T_APPR_MIN_HOT_IN = 10.0, T_APPR_MIN_HOT_OUT = 10.0, ") +
        (bundle ? "HTAREA = 0.0, LEVEL = 0.6 }" : "AREA = 0.0 }");
    CaseRun run = run_case(write_case("htua_zero_area", bundle ? "[1, 0, 0, 0, 0, 1]" : "[1, 0, 0, 0, 0]", fix),
                           {{"R3HTUA", R3HTUA}});
    ASSERT_EQ(run.outcome, host::Outcome::Solved) << run.error;
    Block& b = *run.flowsheet->blocks()[0];
    EXPECT_NEAR(run.value("HX.AREA"), 0.0, 1e-12);
    EXPECT_NEAR(run.value("HX.Q_UA"), 0.0, 1e-9);
    EXPECT_NEAR(run.value("HX.FUA"), 0.0, 1e-12);
    // The default floor of FUA (1 W/K) gives way to the zero area.
    EXPECT_EQ(b.ylb[FUA - 1], 0.0);
    for (const host::Variable& v : run.flowsheet->variables()) EXPECT_TRUE(std::isfinite(v.value)) << v.name;
    for (double r : residuals_at(b, b.y)) EXPECT_TRUE(std::isfinite(r));
  }
}

TEST_F(HtuaTest, LevelOutsideTheBundleGivesAnEdgeAngle) {
  for (const auto& [level, theta] : {std::pair{1.5, 0.0}, std::pair{-0.25, 2 * std::numbers::pi}}) {
    Block b = make_hx({1, 0, 0, 0, 0, 1});
    ASSERT_EQ(prepare_with(b, [&, l = level](Block& x) { yv(x, LEVEL) = l; }), 0);  // Clang 14: no binding captures
    EXPECT_DOUBLE_EQ(yv(b, THETA), theta);
    EXPECT_EQ(b.ylb[LEVEL - 1], std::min(level, 0.0));
    EXPECT_EQ(b.yub[LEVEL - 1], std::max(level, 1.0));
  }
}

}  // namespace
}  // namespace r3::test::htua
