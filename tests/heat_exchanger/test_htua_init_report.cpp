// The heat exchanger's parameter checks, initial values (guesses, re-use,
// defaults, bounds and scales), heat-stream duty fixing, stream update and
// report.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "framework/host_services.h"
#include "tests/heat_exchanger/htua_support.h"
#include "tests/support/support.h"

namespace r3::test::htua {
namespace {

using host::Block;
using host::kRmiss;
using Records = std::vector<std::string>;

class HtuaInit : public HostTest {};

int32_t type_of(const Block& b, int v) { return (b.iyattr[static_cast<size_t>(v - 1)] >> 8) & 0xFF; }

// --- Parameter checks --------------------------------------------------------------

TEST_F(HtuaInit, EveryCheckWritesItsLinesInOrder) {
  // All seven checks fail: two inlet heat streams, one outlet.
  Block b = make_hx({2, -2, -3, 3, 5}, 2, 1);
  b.nf = b.ny = b.nz = -7;
  EXPECT_EQ(b.call(KODE_DIMEN), 1);
  EXPECT_EQ(b.ny, -7);  // left as they were
  EXPECT_EQ(b.nf, -7);
  EXPECT_EQ(b.nz, -7);
  const Records expected = {
      " !! I3HCHK: Error in IMODE.  Valid values are:",
      " 0 = Sequential Modular",
      " 1 = Equation Based",
      " !! I3HCHK: IPRMST cannot be less than -1.",
      " !! I3HCHK: IRUNMD cannot be less than -1.",
      " Valid values are:",
      "  0 = use default parameters",
      " -1 = use previous calculated parameters",
      " +I = use latest parameters calculated ",
      " within the last I runs",
      " !! I3HCHK: IFLDIR must be either:",
      "  0 = counter-current flow",
      "  1 = co-current flow",
      " !! I3HCHK: INLSID must be either:",
      "  0 = inlet heat from hot side",
      "  1 = inlet heat from cold side",
      " !! I3HCHK: NINFI must be either 0 or 1.",
      " !! I3HCHK: You must have either one inlet and one outlet information",
      " stream or no information streams at all.",
  };
  EXPECT_EQ(standard_output(), expected);
  EXPECT_TRUE(messages().empty());
  // The check request says the same.
  EXPECT_EQ(b.call(KODE_CHECK), 1);
  EXPECT_EQ(standard_output(), expected);
}

TEST_F(HtuaInit, SingleFailuresAndPasses) {
  Block both = make_hx({2, 0, 0, 3, 0});
  EXPECT_EQ(both.dimension(), 1);
  EXPECT_EQ(standard_output(), (Records{" !! I3HCHK: Error in IMODE.  Valid values are:",
                                        " 0 = Sequential Modular", " 1 = Equation Based",
                                        " !! I3HCHK: IFLDIR must be either:",
                                        "  0 = counter-current flow", "  1 = co-current flow"}));
  Block in_only = make_hx({1, 0, 0, 0, 0}, 1, 0);
  EXPECT_EQ(in_only.dimension(), 1);
  EXPECT_EQ(standard_output(),
            (Records{" !! I3HCHK: You must have either one inlet and one outlet information",
                     " stream or no information streams at all."}));
  // Limits that pass: IPRMST and IRUNMD of -1 and above.
  Block good = make_hx({0, -1, -1, 1, 1}, 1, 1);
  good.naux1 = good.naux2 = good.naux3 = 9;
  EXPECT_EQ(good.dimension(), 0);
  EXPECT_EQ(good.naux1 + good.naux2 + good.naux3, 0);
  EXPECT_EQ(good.call(KODE_CHECK, 5), 0);
  EXPECT_TRUE(standard_output().empty());
}

TEST_F(HtuaInit, UnsetIntegersCountAsZero) {
  const int32_t miss = hs::imiss();
  Block b = make_hx({1, miss, miss, miss, miss});
  ASSERT_EQ(b.prepare(), 0) << ::testing::PrintToString(standard_output());
  EXPECT_EQ(b.eqn_name(HOT_IN_DT), "HX.HOT_IN_DT_COUNTER_CURRENT");
  Block none = make_hx({});
  ASSERT_EQ(none.prepare(), 0);
  EXPECT_EQ(none.ny, 21);
  EXPECT_TRUE(standard_output().empty());
}

// --- Initial guesses --------------------------------------------------------------------

TEST_F(HtuaInit, DefaultsBoundsScalesAndTypes) {
  Block b = make_hx({1, 0, 0, 0, 0, 1});
  ASSERT_EQ(prepare_with(b,
                         [](Block& x) {
                           x.ylb[T_HOT_IN - 1] = 250.0;  // the user's entries stay
                           x.yscl[U - 1] = 7.0;
                           x.ysbnd[AREA - 1] = 0.5;
                           x.fscl[0] = 5.0;
                         }),
            0);
  struct Row {
    int v;
    double value, lower, upper, scale;
    int32_t type;
  };
  const double t0 = 0.30000001192092896 * 1000.0, tlo = 0.05000000074505806 * 1000.0;
  const Row rows[] = {
      {T_HOT_IN, t0, 250.0, 5000, 1000, 22},
      {T_COLD_OUT, t0, tlo, 5000, 1000, 22},
      {T_APPR_MIN_HOT_IN, 10, -1000, 1000, 10, 31},
      {T_APPR_VARY_HOT_OUT, 10, 0, 1000, 10, 31},
      {T_APPR_PRODUCT, 100, 0, 1e6, 100, 0},
      {Q_DUTY_HOT, 1e8, -1e12, 1e12, 1e8, 13},
      {Q_DUTY_COLD, -1e8, -1e12, 1e12, 1e8, 13},
      {Q_UA, -1e8, -1e12, 1e12, 1e8, 13},
      {FUA, 1e4, 1.0, 1e8, 1e4, 50},
      {FT, 1.0, 0.01, 100, 1, 44},
      {U, 100, 0.1, 1e5, 7.0, 16},
      {AREA, 100, 0.01, 1e6, 100, 1},
      {DTMEAN, 10, -1000, 1000, 10, 31},
      {T_COLD_RISE, 10, -1000, 1000, 10, 31},
      {HTAREA, 100, 0.01, 1e6, 100, 1},
      {LEVEL, 0.9, 0, 1, 1, 44},
      {FAC, 0.9, 0, 1, 1, 44},
      {THETA, 2 * std::acos(0.8), 0, 6.283185308, 10, 32},
  };
  for (const Row& r : rows) {
    const size_t j = static_cast<size_t>(r.v - 1);
    EXPECT_DOUBLE_EQ(b.y[j], r.value) << r.v;
    EXPECT_DOUBLE_EQ(b.ylb[j], r.lower) << r.v;
    EXPECT_DOUBLE_EQ(b.yub[j], r.upper) << r.v;
    EXPECT_DOUBLE_EQ(b.yscl[j], r.scale) << r.v;
    EXPECT_EQ(type_of(b, r.v), r.type) << r.v;
    EXPECT_EQ(b.ysbnd[j], r.v == AREA ? 0.5 : 1.0) << r.v;
    EXPECT_FALSE(b.fixed(r.v));
  }
  const std::vector<double> fscl = {5.0, 1e8, 1e8, 1e4, 10, 10, 10, 10,
                                    10,  10,  10,  100, 100, 10, 1};
  EXPECT_EQ(b.fscl, fscl);
}

TEST_F(HtuaInit, TemperatureGuesses) {
  Block none = make_hx({1, 0, 0, 0, 0});
  ASSERT_EQ(none.prepare(), 0);
  for (int v = T_HOT_IN; v <= T_COLD_OUT; ++v) EXPECT_EQ(yv(none, v), 0.30000001192092896 * 1000.0);
  Block one = make_hx({1, 0, 0, 0, 0});
  ASSERT_EQ(prepare_with(one, [](Block& x) { yv(x, T_HOT_IN) = 400.0; }), 0);
  for (int v = T_HOT_IN; v <= T_COLD_OUT; ++v) EXPECT_EQ(yv(one, v), 400.0);
  Block two = make_hx({1, 0, 0, 0, 0});
  ASSERT_EQ(prepare_with(two,
                         [](Block& x) {
                           yv(x, T_HOT_IN) = 400.0;
                           yv(x, T_COLD_IN) = 300.0;
                         }),
            0);
  EXPECT_EQ(yv(two, T_HOT_OUT), 350.0);
  EXPECT_EQ(yv(two, T_COLD_OUT), 350.0);
  EXPECT_EQ(yv(two, T_COLD_IN), 300.0);
  // Large supplied values stay, bounds widen around them.
  EXPECT_EQ(two.ylb[T_COLD_IN - 1], 0.05000000074505806 * 1000.0);
}

TEST_F(HtuaInit, DutyGuessesWithoutHeatStreams) {
  Block b = make_hx({1, 0, 0, 0, 0});
  ASSERT_EQ(prepare_with(b, [](Block& x) { yv(x, Q_DUTY_HOT) = 500.0; }), 0);
  EXPECT_EQ(yv(b, Q_DUTY_HOT), 500.0);
  EXPECT_EQ(yv(b, Q_DUTY_COLD), -500.0);
  EXPECT_EQ(yv(b, Q_UA), -500.0);
  // The mean magnitude of the duties given.
  Block c = make_hx({1, 0, 0, 0, 0});
  ASSERT_EQ(prepare_with(c,
                         [](Block& x) {
                           yv(x, Q_DUTY_COLD) = 100.0;
                           yv(x, Q_UA) = -300.0;
                         }),
            0);
  EXPECT_EQ(yv(c, Q_DUTY_HOT), 200.0);
  EXPECT_EQ(yv(c, Q_DUTY_COLD), 100.0);
  EXPECT_EQ(yv(c, Q_UA), -300.0);
}

TEST_F(HtuaInit, DutyGuessesFromHeatStreams) {
  // Inlet 2.0e6 W; outlet stream without a value.
  Block hot = make_hx({1, 0, 0, 0, 0}, 1, 1);
  ASSERT_EQ(hot.prepare(), 0);
  EXPECT_EQ(yv(hot, Q_DUTY_HOT), 2.0e6);
  EXPECT_EQ(yv(hot, Q_DUTY_COLD), 2.0e6);
  EXPECT_EQ(yv(hot, Q_UA), 2.0e6);
  // Inlet heat from the cold side: q10 is the outlet stream's value.
  Block cold = make_hx({1, 0, 0, 0, 1}, 1, 1);
  cold.sinfout[0] = 3.0e6;
  ASSERT_EQ(cold.prepare(), 0);
  EXPECT_EQ(yv(cold, Q_DUTY_HOT), 3.0e6);
  EXPECT_EQ(yv(cold, Q_DUTY_COLD), 2.0e6);
  EXPECT_EQ(yv(cold, Q_UA), -3.0e6);
  // Neither stream holds a value: the duty scale.
  Block empty = make_hx({1, 0, 0, 0, 1}, 1, 1);
  empty.sinfin[0] = kRmiss;
  ASSERT_EQ(empty.prepare(), 0);
  EXPECT_EQ(yv(empty, Q_DUTY_HOT), 1e8);
  EXPECT_EQ(yv(empty, Q_UA), -1e8);
}

TEST_F(HtuaInit, BundleAreaFromTheTotalArea) {
  Block b = make_hx({1, 0, 0, 0, 0, 1});
  ASSERT_EQ(prepare_with(b, [](Block& x) { yv(x, HTAREA) = 200.0; }), 0);
  EXPECT_DOUBLE_EQ(yv(b, AREA), 200.0 * 0.9);
  // A given area stays, and the total area defaults to it.
  Block c = make_hx({1, 0, 0, 0, 0, 1});
  ASSERT_EQ(prepare_with(c, [](Block& x) { yv(x, AREA) = 50.0; }), 0);
  EXPECT_EQ(yv(c, AREA), 50.0);
  EXPECT_EQ(yv(c, HTAREA), 50.0);
  // An area marked fixed keeps its default.
  Block d = make_hx({1, 0, 0, 0, 0, 1});
  ASSERT_EQ(prepare_with(d,
                         [](Block& x) {
                           yv(x, HTAREA) = 200.0;
                           x.fix(AREA);
                         }),
            0);
  EXPECT_EQ(yv(d, AREA), 100.0);
}

TEST_F(HtuaInit, PreviousValuesOrGuesses) {
  struct Case {
    int32_t iprmst, irunmd;
    Start start;
    int32_t irunmd_after;
  };
  const Case cases[] = {
      {0, 5, Start::Guess, 0},   {2, 3, Start::Reuse, 3},  {-1, 0, Start::Guess, 0},
      {-1, -1, Start::Reuse, -1}, {3, 2, Start::Guess, 0}, {3, -1, Start::Reuse, -1},
  };
  for (const Case& c : cases) {
    Block b = make_hx({1, c.iprmst, c.irunmd, 0, 0});
    ASSERT_EQ(prepare_with(b,
                           [](Block& x) {
                             yv(x, T_HOT_IN) = 410.0;
                             yv(x, DT_HOT_IN) = 33.0;
                           }),
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
  for (int v = 1; v <= 21; ++v) EXPECT_EQ(state().val[v], solved[static_cast<size_t>(v - 1)]);
  state().start = Start::None;
  ASSERT_EQ(b.call(KODE_CHECK), 0);
  EXPECT_EQ(state().start, Start::Reuse);
}

// --- Sequential-modular duty, stream update ------------------------------------------

TEST_F(HtuaInit, SequentialModularFixesTheInletDuty) {
  for (int32_t inlsid : {0, 1}) {
    Block b = make_hx({0, 0, 0, 0, inlsid}, 1, 1, true);
    ASSERT_EQ(b.prepare(), 0);
    const int fixed_var = inlsid == 0 ? Q_DUTY_HOT : Q_DUTY_COLD;
    const int free_var = inlsid == 0 ? Q_DUTY_COLD : Q_DUTY_HOT;
    EXPECT_TRUE(b.fixed(fixed_var));
    EXPECT_FALSE(b.fixed(free_var));
    EXPECT_EQ(yv(b, fixed_var), 2.0e6);
    EXPECT_EQ(b.var_name(fixed_var), "QIN1.VALUE");
    EXPECT_EQ(type_of(b, fixed_var), 13);
  }
  // Equation based, or no heat streams: nothing fixed.
  for (Block b : {make_hx({1, 0, 0, 0, 0}, 1, 1), make_hx({0, 0, 0, 0, 0})}) {
    ASSERT_EQ(b.prepare(), 0);
    for (int v = 1; v <= 21; ++v) EXPECT_FALSE(b.fixed(v)) << v;
  }
}

TEST_F(HtuaInit, StreamUpdateWritesTheHeatStreams) {
  for (int32_t inlsid : {0, 1}) {
    Block b = make_hx({1, 0, 0, 0, inlsid}, 1, 1);
    ASSERT_EQ(b.prepare(), 0);
    yv(b, Q_DUTY_HOT) = 111.0;
    yv(b, Q_DUTY_COLD) = 222.0;
    hs::ppexec_word(6) = 0;
    ASSERT_EQ(b.call(KODE_STRMUPD), 0);
    EXPECT_EQ(b.sinfin[0], inlsid == 0 ? 111.0 : 222.0);
    EXPECT_EQ(b.sinfout[0], inlsid == 0 ? 222.0 : 111.0);
    EXPECT_EQ(hs::ppexec_word(6), 2);
  }
  Block plain = make_hx({1, 0, 0, 0, 0}, 0, 0, true);
  ASSERT_EQ(plain.prepare(), 0);
  const std::vector<double> out = plain.smatout;
  hs::ppexec_word(6) = 0;
  ASSERT_EQ(plain.call(KODE_STRMUPD), 0);
  EXPECT_EQ(plain.smatout, out);
  EXPECT_EQ(hs::ppexec_word(6), 2);
}

// --- Report -------------------------------------------------------------------------------

void set_report_values(Block& b) {
  const std::pair<int, double> values[] = {
      {T_HOT_IN, 400},  {T_HOT_OUT, 340},        {T_COLD_IN, 300}, {T_COLD_OUT, 330},
      {DTMEAN, 53.609}, {DT_HOT_IN, 70},         {DT_HOT_OUT, 40}, {T_APPR_MIN_HOT_IN, 10},
      {T_APPR_MIN_HOT_OUT, -2.5}, {T_HOT_FALL, 60}, {T_COLD_RISE, 30}, {FT, 0.95},
      {Q_UA, 1.0e6},    {U, 500},               {AREA, 37.5}};
  for (const auto& [v, x] : values) yv(b, v) = x;
  if (b.ny == 25) {
    yv(b, HTAREA) = 60.0;
    yv(b, LEVEL) = 0.45;
  }
}

TEST_F(HtuaInit, ReportInSiUnits) {
  Block b = make_hx({1, 0, 0, 0, 0});
  ASSERT_EQ(b.prepare(), 0);
  set_report_values(b);
  ASSERT_EQ(b.call(KODE_REPORT), 0);
  const Records expected = {
      "",
      "                      ***       R3HTUA RESULTS      ***",
      "",
      "    HOT INLET TEMPERATURE      (K)          4.000000E+02",
      "    HOT OUTLET TEMPERATURE     (K)          3.400000E+02",
      "    COLD INLET TEMPERATURE     (K)          3.000000E+02",
      "    COLD OUTLET TEMPERATURE    (K)          3.300000E+02",
      "",
      "    LOG MEAN TEMP DIFFERENCE   (K)          5.360900E+01",
      "    HOT END DELTA TEMP         (K)          7.000000E+01",
      "    COLD END DELTA TEMP        (K)          4.000000E+01",
      "    HOT INLET MIN APPROACH     (K)          1.000000E+01",
      "    HOT OUTLET MIN APPROACH    (K)         -2.500000E+00",
      "    HOT SIDE TEMPERATURE FALL  (K)          6.000000E+01",
      "    COLD SIDE TEMPERATURE RISE (K)          3.000000E+01",
      "",
      "    EFFECTIVENESS FACTOR                    9.500000E-01",
      "    HEAT DUTY                  (W)          1.000000E+06",
      "    HEAT TRANSFER COEFFICIENT  (W/m2/K)     5.000000E+02",
      "    HEAT TRANSFER AREA         (m2)         3.750000E+01",
      "",
  };
  EXPECT_EQ(report(), expected);
  EXPECT_TRUE(messages().empty());
  EXPECT_TRUE(standard_output().empty());
}

TEST_F(HtuaInit, BundleReportInMetricUnits) {
  host::run().report_units = host::ReportUnits::MET;
  Block b = make_hx({1, 0, 0, 0, 0, 1});
  ASSERT_EQ(b.prepare(), 0);
  set_report_values(b);
  ASSERT_EQ(b.call(KODE_REPORT), 0);
  const Records expected = {
      "",
      "                      ***       R3HTUA RESULTS      ***",
      "",
      "    HOT INLET TEMPERATURE      (degC)       1.268500E+02",
      "    HOT OUTLET TEMPERATURE     (degC)       6.685000E+01",
      "    COLD INLET TEMPERATURE     (degC)       2.685000E+01",
      "    COLD OUTLET TEMPERATURE    (degC)       5.685000E+01",
      "",
      "    LOG MEAN TEMP DIFFERENCE   (K)          5.360900E+01",
      "    HOT END DELTA TEMP         (K)          7.000000E+01",
      "    COLD END DELTA TEMP        (K)          4.000000E+01",
      "    HOT INLET MIN APPROACH     (K)          1.000000E+01",
      "    HOT OUTLET MIN APPROACH    (K)         -2.500000E+00",
      "    HOT SIDE TEMPERATURE FALL  (K)          6.000000E+01",
      "    COLD SIDE TEMPERATURE RISE (K)          3.000000E+01",
      "",
      "    EFFECTIVENESS FACTOR                    9.500000E-01",
      "    HEAT DUTY                  (kW)         1.000000E+03",
      "    HEAT TRANSFER COEFFICIENT  (kW/m2/K)    5.000000E-01",
      "    EFF. HEAT TRANSFER AREA    (m2)         3.750000E+01",
      "    MAX. HEAT TRANSFER AREA    (m2)         6.000000E+01",
      "    LEVEL (FRACTION OF BUNDLE DIAMETER)     4.500000E-01",
      "",
  };
  EXPECT_EQ(report(), expected);
  host::run().report_units = host::ReportUnits::SI;
}

}  // namespace
}  // namespace r3::test::htua
