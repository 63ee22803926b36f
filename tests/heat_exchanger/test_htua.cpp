// The heat exchanger: variables, equations, Jacobian and pattern, the mean
// temperature difference, the bundle geometry, parameter checks, initial
// values, the stream update, the report, the example cases and bad input.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "framework/host_services.h"
#include "host/services/context.h"
#include "models/heat_exchanger/heat_exchanger.h"
#include "tests/support/golden_text.h"
#include "tests/support/model_blocks.h"
#include "tests/support/support.h"

extern "C" void R3HTUA(R3_ENTRY_PARAMS);

namespace r3::test {
namespace {

using namespace r3::heat_exchanger;

constexpr double kPi = std::numbers::pi;

// A heat exchanger with the model integers `ints` (IMODE, IPRMST, IRUNMD,
// IFLDIR, INLSID[, bundle]), `ninfi`/`ninfout` heat streams (inlet value
// 2.0e6 W) and, optionally, one material stream through it.
Block make_hx(std::vector<int32_t> ints, int ninfi = 0, int ninfout = 0, bool material = false) {
  Block b("HX", R3HTUA);
  if (material) {
    b.matin = {"HIN"};
    b.matout = {"HOUT"};
  }
  for (int i = 0; i < ninfi; ++i) b.infin.push_back("QIN" + std::to_string(i + 1));
  for (int i = 0; i < ninfout; ++i) b.infout.push_back("QOUT" + std::to_string(i + 1));
  b.ints = std::move(ints);
  b.reals = {0.0};
  b.connect_streams();
  if (material) b.set_material_inlet(0, {1.0}, 350.0, 2.0e5);
  if (ninfi > 0) b.set_info_inlet(0, 2.0e6);
  return b;
}

const std::vector<int32_t> kPlain = {1, 0, 0, 0, 0}, kBundle = {1, 0, 0, 0, 0, 1};

// Residuals of a prepared block at its initial point with some values set.
std::vector<double> residuals_with(Block& b, std::initializer_list<std::pair<int, double>> set) {
  std::vector<double> y = b.y;
  for (const auto& [v, x] : set) y[v - 1] = x;
  return residuals_at(b, y);
}

double lmtd(double a, double b) {
  return a == b ? a : (a - b) / std::log(a / b);
}

class Htua : public HostTest {};

// Names against the golden text for its cases (the bundle's four variables
// only when the sixth integer is 1; duty variables named after the heat
// streams when there are some; rows 5 and 6 after the flow direction).
TEST_F(Htua, NamesAndConformance) {
  const auto one_case = [&](const std::string& h, const CaseHeading& c, Transcript& t) {
    reset_host({"H2O"});
    const std::vector<int32_t> ints = c.ints("ints");
    const int info = static_cast<int>(c.number("info", 0));
    Block b = make_hx(ints, info, info, true);
    ASSERT_EQ(b.prepare(), 0) << h << ::testing::PrintToString(standard_output());
    check_conformance(b);
    t.heading(h);
    t.add(names_of(b));
    // Rows 5 and 6 take their cold temperature from the flow direction.
    EXPECT_EQ(b.ijrow[12], HOT_IN_DT);
    EXPECT_EQ(b.ijcol[12], ints[3] == 0 ? T_COLD_OUT : T_COLD_IN) << h;
    EXPECT_EQ(b.ijcol[15], ints[3] == 0 ? T_COLD_IN : T_COLD_OUT) << h;
    EXPECT_EQ(b.smatout, b.smatin);  // the material stream passes through unchanged
  };
  EXPECT_TRUE(run_golden_cases("htua/names", one_case));
}

TEST_F(Htua, FlowDirectionChangesOnlyTheEndDifferences) {
  Block counter = make_hx(kPlain), co = make_hx({1, 0, 0, 1, 0});
  ASSERT_EQ(counter.prepare(), 0);
  ASSERT_EQ(co.prepare(), 0);
  std::vector<double> y = counter.y;
  y[T_HOT_IN - 1] = 400;
  y[T_HOT_OUT - 1] = 350;
  y[T_COLD_IN - 1] = 300;
  y[T_COLD_OUT - 1] = 330;
  const std::vector<double> fc = residuals_at(counter, y), fo = residuals_at(co, y);
  for (int q = 1; q <= 12; ++q) {
    if (q != HOT_IN_DT && q != HOT_OUT_DT) {
      EXPECT_EQ(fc[q - 1], fo[q - 1]) << q;
    }
  }
  EXPECT_DOUBLE_EQ(fo[HOT_IN_DT - 1], 10 - 400 + 300.0);
  EXPECT_DOUBLE_EQ(fo[HOT_OUT_DT - 1], 10 - 350 + 330.0);
  EXPECT_DOUBLE_EQ(fc[HOT_IN_DT - 1], 10 - 400 + 330.0);
}

// One heat stream each way, inlet heat from the hot side: q10 - q11 and
// Q_UA - q10; from the cold side: q10 - q11 and q10 + Q_UA. Without heat
// streams: q10 + q11 and q10 + Q_UA. The update writes the duties to the heat
// streams, leaves the material stream as it passed and marks the solved state.
TEST_F(Htua, HeatStreamFormsOfTheBalancesAndTheUpdate) {
  for (int32_t inlsid : {0, 1, 2}) {
    Block b = inlsid < 2 ? make_hx({1, 0, 0, 0, inlsid}, 1, 1) : make_hx(kPlain, 0, 0, true);
    ASSERT_EQ(b.prepare(), 0);
    const std::vector<double> f =
        residuals_with(b, {{Q_DUTY_HOT, 300}, {Q_DUTY_COLD, 100}, {Q_UA, 1000}});
    EXPECT_DOUBLE_EQ(f[HEAT_BALANCE - 1], inlsid < 2 ? 200.0 : 400.0);
    EXPECT_DOUBLE_EQ(f[DEFINE_QUA - 1], inlsid == 0 ? 700.0 : 1300.0);
    b.call(KODE_JACOB);
    EXPECT_TRUE(inlsid == 2 || (b.dfdy[1] == -1.0 && b.dfdy[3] == (inlsid == 0 ? -1.0 : 1.0)));
    yv(b, Q_DUTY_HOT) = 111.0;
    yv(b, Q_DUTY_COLD) = 222.0;
    const std::vector<double> out = b.smatout;
    hs::ppexec_word(6) = 0;
    ASSERT_EQ(b.call(KODE_STRMUPD), 0);
    EXPECT_EQ(hs::ppexec_word(6), 2);
    EXPECT_EQ(b.smatout, out);
    if (inlsid == 2) break;
    EXPECT_EQ(b.sinfin[0], inlsid == 0 ? 111.0 : 222.0);
    EXPECT_EQ(b.sinfout[0], inlsid == 0 ? 222.0 : 111.0);
  }
}

TEST(HtuaMeanTemperatureDifference, CubeOfTheMeanSignedCubeRoots) {
  // Equal ends: s = 10^e with the single-precision third.
  const double s = std::pow(10.0, 0.3333333432674408);
  EXPECT_DOUBLE_EQ(cube_root_mean(10, 10), s * s * s);
  EXPECT_NEAR(cube_root_mean(10, 10), 10.0, 1e-5);
  // One end closed: s = 0.5 * 8^(1/3) = 1.
  EXPECT_NEAR(cube_root_mean(0, 8), 1.0, 1e-6);
  EXPECT_EQ(cube_root_mean(0, 0), 0.0);
  // Negative differences keep their sign.
  EXPECT_NEAR(cube_root_mean(-10, -10), -10.0, 1e-5);
  EXPECT_NEAR(cube_root_mean(-8, 8), 0.0, 1e-12);
  EXPECT_LT(cube_root_mean(-40.0, -1e-300), 0.0);
  // Within 1 % of the log mean for end differences within a factor of 3.
  for (double ratio : {1.0, 1.2, 1.5, 2.0, 2.5, 3.0}) {
    for (double b : {0.5, 10.0, 40.0, 200.0}) {
      EXPECT_NEAR(cube_root_mean(ratio * b, b) / lmtd(ratio * b, b), 1.0, 0.01)
          << ratio * b << " " << b;
    }
  }
}

TEST_F(Htua, MeanDerivativeAtClosedEnds) {
  Block b = make_hx(kPlain);
  ASSERT_EQ(b.prepare(), 0);
  // Both ends closed: both derivatives 0, residual -DTMEAN.
  EXPECT_DOUBLE_EQ(
      residuals_with(b, {{DT_HOT_IN, 0}, {DT_HOT_OUT, 0}, {DTMEAN, 7}})[MEAN_TEMP_DIFF - 1], -7.0);
  b.call(KODE_JACOB);
  EXPECT_EQ(b.dfdy[17], 0.0);
  EXPECT_EQ(b.dfdy[18], 0.0);
  EXPECT_EQ(b.dfdy[19], -1.0);
  // One end closed: finite, large, and the open end's derivative exact.
  yv(b, DT_HOT_OUT) = 8;
  b.call(KODE_JACOB);
  EXPECT_TRUE(std::isfinite(b.dfdy[17]));
  EXPECT_GT(b.dfdy[17], 1e3);
  const double s = 0.5 * std::pow(8.0, 0.3333333432674408);
  EXPECT_DOUBLE_EQ(b.dfdy[18], 0.5 * s * s * std::pow(8.0, -0.6666666865348816));
}

TEST_F(Htua, BundleGeometryAtHalfEmptyAndFullLevels) {
  Block b = make_hx(kBundle);
  ASSERT_EQ(b.prepare(), 0);
  auto bundle_residuals = [&](double level, double theta, double fac) {
    return residuals_with(
        b, {{LEVEL, level}, {THETA, theta}, {FAC, fac}, {HTAREA, 200}, {AREA, 200 * fac}});
  };
  // Level 0.5: THETA = pi, FAC = 0.5 up to the ten-digit 2*pi.
  std::vector<double> f = bundle_residuals(0.5, kPi, 0.5);
  EXPECT_NEAR(f[DEFINE_THETA - 1], 0.0, 1e-15);
  EXPECT_DOUBLE_EQ(f[DEFINE_FAC - 1], -0.5 * 6.283185308 + kPi - std::sin(kPi));
  EXPECT_NEAR(f[DEFINE_FAC - 1], 0.0, 1e-9);
  EXPECT_EQ(f[DEFINE_AREA - 1], 0.0);
  // Full: THETA = 0, FAC = 1, exactly.
  f = bundle_residuals(1.0, 0.0, 1.0);
  EXPECT_EQ(f[DEFINE_THETA - 1], 0.0);
  EXPECT_EQ(f[DEFINE_FAC - 1], 0.0);
  // Empty: THETA = 2*pi, FAC = 0 up to the ten-digit constant.
  f = bundle_residuals(0.0, 2 * kPi, 0.0);
  EXPECT_NEAR(f[DEFINE_THETA - 1], 0.0, 1e-15);
  EXPECT_NEAR(f[DEFINE_FAC - 1], 0.0, 1e-9);
  // The Jacobian uses the same constant.
  b.call(KODE_JACOB);
  EXPECT_EQ(b.dfdy[38], 6.283185308);
}

// A one-block case of tests/heat_exchanger/cases.
CaseRun solve(const std::string& name) {
  CaseRun run =
      run_case(std::string(R3_SOURCE_DIR) + "/tests/heat_exchanger/cases/" + name + ".toml",
               {{"R3HTUA", R3HTUA}});
  EXPECT_EQ(run.outcome, host::Outcome::Solved) << name << ": " << run.error;
  return run;
}

TEST(HtuaSolve, HalfLevelGivesHalfTheAreaAndAngle) {
  CaseRun run = solve("half_level");
  ASSERT_EQ(run.outcome, host::Outcome::Solved);
  EXPECT_NEAR(run.value("HX.THETA"), kPi, 1e-9);
  EXPECT_NEAR(run.value("HX.FAC"), 0.5, 1e-9);
  // FAC solves (FAC - 1) * 6.283185308 + pi = 0, not the full-precision 2*pi.
  EXPECT_NEAR(run.value("HX.FAC"), 1.0 - kPi / 6.283185308, 1e-13);
  EXPECT_NEAR(run.value("HX.AREA"), 120.0 * run.value("HX.FAC"), 1e-9);
  check_conformance(*run.flowsheet->blocks()[0]);
}

TEST(HtuaSolve, HotSideColderThanColdSideReversesTheDuty) {
  // Both end differences negative: the mean keeps the sign, the duty runs
  // from the "cold" side to the "hot" side.
  CaseRun run = solve("reversed");
  ASSERT_EQ(run.outcome, host::Outcome::Solved);
  EXPECT_NEAR(run.value("HX.DTMEAN"), cube_root_mean(-40.0, -30.0), 1e-9);
  EXPECT_LT(run.value("HX.Q_UA"), 0.0);
  EXPECT_GT(run.value("HX.Q_DUTY_HOT"), 0.0);
}

TEST(HtuaSolve, ZeroAreaGivesZeroDuty) {
  for (const char* name : {"zero_area", "zero_area_bundle"}) {
    CaseRun run = solve(name);
    ASSERT_EQ(run.outcome, host::Outcome::Solved);
    Block& b = *run.flowsheet->blocks()[0];
    EXPECT_NEAR(run.value("HX.AREA"), 0.0, 1e-12);
    EXPECT_NEAR(run.value("HX.Q_UA"), 0.0, 1e-9);
    EXPECT_NEAR(run.value("HX.FUA"), 0.0, 1e-12);
    // The default floor of FUA (1 W/K) gives way to the zero area.
    EXPECT_EQ(b.ylb[FUA - 1], 0.0);
    for (const host::Variable& v : run.flowsheet->variables())
      EXPECT_TRUE(std::isfinite(v.value)) << v.name;
    for (double r : residuals_at(b, b.y)) EXPECT_TRUE(std::isfinite(r));
  }
}

CaseRun run_example(const std::string& name) {
  CaseRun run = run_case(example_path("htua/" + name + ".toml"), {{"R3HTUA", R3HTUA}});
  EXPECT_EQ(run.outcome, host::Outcome::Solved) << name << ": " << run.error;
  return run;
}

TEST(HtuaExamples, CounterCurrentTextbookSizing) {
  // 400 -> 340 K against 300 -> 330 K, 1 MW, U = 500 W/m2K.
  CaseRun run = run_example("counter_current");
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
}

TEST(HtuaExamples, CoCurrentRatingHeatStreamsAndBundle) {
  CaseRun co = run_example("co_current");
  EXPECT_NEAR(co.value("HX2.DT_HOT_IN"), 100.0, 1e-9);
  EXPECT_NEAR(co.value("HX2.DT_HOT_OUT"), 20.0, 1e-9);
  EXPECT_NEAR(co.value("HX2.Q_UA"), 0.95 * 500.0 * 40.0 * cube_root_mean(100.0, 20.0), 1e-4);
  // The heat streams carry the duty.
  CaseRun hs = run_example("heat_streams");
  EXPECT_NEAR(hs.value("QIN.VALUE"), 1.5e6, 1e-6);
  EXPECT_NEAR(hs.value("QOUT.VALUE"), 1.5e6, 1e-3);
  EXPECT_NEAR(hs.value("HX3.Q_UA"), 1.5e6, 1e-3);
  EXPECT_NEAR(hs.value("HX3.AREA"), 1.5e6 / (0.9 * 800.0 * cube_root_mean(80.0, 70.0)), 1e-8);
  EXPECT_NEAR(hs.stream("QOUT").at(0), 1.5e6, 1e-3);
  EXPECT_EQ(hs.stream("HOTOUT"), hs.stream("HOTIN"));  // the material stream passes through
  // A bundle at sixty per cent.
  CaseRun bu = run_example("bundle");
  const double theta = 2.0 * std::acos(2.0 * 0.6 - 1.0);
  EXPECT_NEAR(bu.value("HX4.THETA"), theta, 1e-9);
  const double fac = 1.0 - (theta - std::sin(theta)) / 6.283185308;
  EXPECT_NEAR(bu.value("HX4.FAC"), fac, 1e-9);
  EXPECT_NEAR(bu.value("HX4.Q_UA"), 1200.0 * 120.0 * fac * cube_root_mean(77.0, 47.0), 1e-3);
}

// The request arrays at the given sizes, as the host would hold them had it
// gone on after a refused dimension request.
void allocate(Block& b, int ny, int nf, int nz) {
  b.ny = ny;
  b.nf = nf;
  b.nz = nz;
  for (auto* v : {&b.y, &b.ylb, &b.yub, &b.yscl, &b.ysbnd})
    v->assign(static_cast<size_t>(ny), kRmiss);
  b.f.assign(static_cast<size_t>(nf), 0.0);
  b.fscl.assign(static_cast<size_t>(nf), kRmiss);
  b.dfdy.assign(static_cast<size_t>(nz), 0.0);
  b.iyattr.assign(static_cast<size_t>(ny), 0);
  b.ijrow.assign(static_cast<size_t>(nz), 0);
  b.ijcol.assign(static_cast<size_t>(nz), 0);
  b.varnam.assign(static_cast<size_t>(ny * 4 * b.lname), ' ');
  b.eqnnam.assign(static_cast<size_t>(nf * 4 * b.lname), ' ');
}

TEST_F(Htua, OneHeatStreamOnlyIsRefusedAndNeverWritesPastTheArrays) {
  Block b = make_hx(kPlain, 1, 0);
  EXPECT_EQ(b.dimension(), 1);
  EXPECT_EQ(b.ny, 0);  // untouched by the refused request
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
  standard_output();
}

TEST_F(Htua, ParametersChangedAfterTheDimensionRequestAreRefused) {
  Block b = make_hx(kPlain);
  ASSERT_EQ(b.prepare(), 0);
  messages();
  b.ints.push_back(1);  // the bundle now wants 25 variables in arrays of 21
  const std::vector<double> f0 = b.f;
  for (int32_t kode : {KODE_NAMES, KODE_INIT, KODE_RESID, KODE_JACOB, KODE_STRMUPD}) {
    EXPECT_EQ(b.call(kode), 1) << kode;
  }
  EXPECT_EQ(b.f, f0);
  EXPECT_TRUE(matches_golden_text("htua/parameters_changed", messages()));
  // The check and the report still answer.
  EXPECT_EQ(b.call(KODE_CHECK), 0);
  EXPECT_EQ(b.call(KODE_REPORT), 0);
}

// Negative end differences at the initial point: residuals and derivatives
// finite.
TEST_F(Htua, NegativeEndDifferencesAtTheInitialPoint) {
  Block b = make_hx(kPlain);
  ASSERT_EQ(
      prepare_with(b, [](Block& x) { yv(x, DT_HOT_IN) = -40.0, yv(x, DT_HOT_OUT) = -1e-300; }), 0);
  std::fill(b.dfdy.begin(), b.dfdy.end(), std::numeric_limits<double>::quiet_NaN());
  b.call(KODE_JACOB);
  for (double d : b.dfdy) EXPECT_TRUE(std::isfinite(d));
  for (double r : residuals_at(b, b.y)) EXPECT_TRUE(std::isfinite(r));
}

// Every check's lines in order, at the dimension request (counts left as
// they were) and the check request; limits that pass.
TEST_F(Htua, ParameterChecks) {
  struct Case {
    const char* what;
    std::vector<int32_t> ints;
    int ninfi, ninfout;
  };
  const Case cases[] = {{"all seven", {2, -2, -3, 3, 5}, 2, 1},
                        {"IMODE and IFLDIR", {2, 0, 0, 3, 0}, 0, 0},
                        {"an inlet heat stream only", kPlain, 1, 0},
                        {"two heat streams each way", kPlain, 2, 2}};
  Lines all;
  for (const Case& c : cases) {
    Block b = make_hx(c.ints, c.ninfi, c.ninfout);
    b.nf = b.ny = b.nz = -7;
    EXPECT_EQ(b.call(KODE_DIMEN), 1) << c.what;
    EXPECT_EQ(std::vector<int>({b.ny, b.nf, b.nz}), std::vector<int>(3, -7)) << c.what;
    const Lines out = standard_output();
    add_section(all, c.what, out);
    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(b.call(KODE_CHECK), 1);
    EXPECT_EQ(standard_output(), out) << c.what;
  }
  EXPECT_TRUE(matches_golden_text("htua/parameter_checks", all));
  // Limits that pass: IPRMST and IRUNMD of -1 and above.
  Block good = make_hx({0, -1, -1, 1, 1}, 1, 1);
  good.naux1 = good.naux2 = good.naux3 = 9;
  EXPECT_EQ(good.dimension(), 0);
  EXPECT_EQ(good.naux1 + good.naux2 + good.naux3, 0);
  EXPECT_EQ(good.call(KODE_CHECK, 5), 0);
  // Unset integers count as zero.
  const int32_t miss = hs::imiss();
  for (Block b : {make_hx({1, miss, miss, miss, miss}), make_hx({})}) {
    ASSERT_EQ(b.prepare(), 0);
    EXPECT_EQ(b.ny, 21);
    EXPECT_EQ(b.eqn_name(HOT_IN_DT), "HX.HOT_IN_DT_COUNTER_CURRENT");
  }
  EXPECT_TRUE(standard_output().empty());
}

// The initial points of the golden text's cases (the notes there say why).
TEST_F(Htua, InitialPoints) {
  const auto one_case = [&](const std::string& h, const CaseHeading& c, Transcript& t) {
    const std::vector<int32_t> ints = c.has("ints") ? c.ints("ints") : kPlain;
    const int info = static_cast<int>(c.number("info", 0));
    Block b = make_hx(ints, info, info, ints[0] == 0);
    if (c.has("qin")) b.sinfin[0] = c.number("qin", 0);
    if (c.has("qout")) b.sinfout[0] = c.number("qout", 0);
    const int32_t st = !c.has("user") ? initialise_with(b, c) : prepare_with(b, [](Block& x) {
      x.ylb[T_HOT_IN - 1] = 250.0, x.yscl[U - 1] = 7.0, x.ysbnd[AREA - 1] = 0.5, x.fscl[0] = 5.0;
    });
    ASSERT_EQ(st, 0) << h;
    t.heading(h);
    t.add(block_state(b));
    EXPECT_TRUE(standard_output().empty()) << h;
  };
  EXPECT_TRUE(run_golden_cases("htua/initial_points", one_case));
}

TEST_F(Htua, PreviousValuesOrGuesses) {
  struct Case {
    int32_t iprmst, irunmd;
    Start start;
    int32_t irunmd_after;
  };
  const Case cases[] = {
      {0, 5, Start::Guess, 0},    {2, 3, Start::Reuse, 3}, {-1, 0, Start::Guess, 0},
      {-1, -1, Start::Reuse, -1}, {3, 2, Start::Guess, 0}, {3, -1, Start::Reuse, -1},
  };
  for (const Case& c : cases) {
    Block b = make_hx({1, c.iprmst, c.irunmd, 0, 0});
    ASSERT_EQ(prepare_with(b, [](Block& x) { yv(x, T_HOT_IN) = 410.0, yv(x, DT_HOT_IN) = 33.0; }),
              0);
    EXPECT_EQ(state().start, c.start) << c.iprmst << " " << c.irunmd;
    EXPECT_EQ(state().irunmd, c.irunmd_after) << c.iprmst << " " << c.irunmd;
    // Either way the given values stand and nothing is left missing.
    EXPECT_EQ(yv(b, T_HOT_IN), 410.0);
    EXPECT_EQ(yv(b, DT_HOT_IN), 33.0);
    for (double v : b.y) EXPECT_NE(v, kRmiss);
  }
  // Re-use of a full previous solution keeps every value; the check request
  // makes the same choice.
  Block b = make_hx({1, 3, -1, 0, 0});
  ASSERT_EQ(b.prepare(), 0);
  std::vector<double> solved = b.y;
  for (size_t i = 0; i < solved.size(); ++i) solved[i] += 0.25 * static_cast<double>(i + 1);
  b.y = solved;
  ASSERT_EQ(b.call(KODE_INIT), 0);
  EXPECT_EQ(b.y, solved);
  for (int v = 1; v <= 21; ++v) EXPECT_EQ(state().val[v], solved[v - 1]);
  state().start = Start::None;
  ASSERT_EQ(b.call(KODE_CHECK), 0);
  EXPECT_EQ(state().start, Start::Reuse);
}

// The reports of the golden text's cases: the values set, in SI or metric
// units.
TEST_F(Htua, Report) {
  const auto one_case = [&](const std::string& h, const CaseHeading& c, Transcript& t) {
    host::run().report_units = c.has("metric") ? host::ReportUnits::MET : host::ReportUnits::SI;
    Block b = make_hx(c.has("ints") ? c.ints("ints") : kPlain);
    ASSERT_EQ(b.prepare(), 0);
    const auto set = c.words("set");
    for (size_t k = 0; k + 1 < set.size(); k += 2) yv(b, set[k]) = std::stod(set[k + 1]);
    ASSERT_EQ(b.call(KODE_REPORT), 0);
    t.heading(h);
    t.add(report());
  };
  EXPECT_TRUE(run_golden_cases("htua/report", one_case));
  host::run().report_units = host::ReportUnits::SI;
  EXPECT_TRUE(messages().empty());
  EXPECT_TRUE(standard_output().empty());
}

}  // namespace
}  // namespace r3::test
