// The valve's variables, equations, Jacobian and the requests around them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>

#include "tests/control_valve/valve_fixture.h"

namespace r3::test {
namespace {

class ValveShapes : public ::testing::TestWithParam<std::tuple<int32_t, int32_t, int, bool>> {};

// Every characteristic in both phases, with and without a table, one or
// three components: the conformance harness (names, pattern, Jacobian
// against finite differences) away from the choking limit, where
// CHECK_PRATIO has its kink.
TEST_P(ValveShapes, Conformance) {
  const auto [phase, chr, ncomp, table] = GetParam();
  Block b = make_valve(ValveInts{0, phase, chr}, ncomp);
  if (table) b.reals = {10.0, 0.05, 40.0, 0.2, 70.0, 0.55, 90.0, 0.85};
  const bool vap = phase == 1;
  const std::string cvmax = vap ? "1500" : "150";
  ASSERT_EQ(
      initialise_with(b, CaseHeading("fix VALVE_POS 70 FP 1 VP_BIAS 0 DP_BIAS 0 CVMAX " + cvmax)),
      0);
  if (vap) {
    EXPECT_LT(yv(b, "X"), 0.9 * yv(b, "FK") * yv(b, "XT"));
  }
  check_conformance(b);
  EXPECT_TRUE(messages().empty()) << ::testing::PrintToString(messages());
}

INSTANTIATE_TEST_SUITE_P(Valve, ValveShapes,
                         ::testing::Combine(::testing::Values(1, 2), ::testing::Range(0, 7),
                                            ::testing::Values(1, 3), ::testing::Bool()));

// Names, values, bounds, scales and types after the initialisation (golden
// text control_valve/prepared; the cases are its headings, see
// initialise_with; "phase", "chr", "passes" as in INT, "row" only that
// equation's line): per phase; the typical values without passes (no flash:
// an inlet at 350 K still gives the typical 300 K); the curve's equation
// scale of every characteristic; with "user" the user's bound, scale and
// value of CV and a stream equation's scale survive, the curve's scale is
// always written.
TEST_F(ValveTest, PreparedState) {
  Transcript t;
  for (const std::string& heading : golden_cases("control_valve/prepared")) {
    t.heading(heading);
    const CaseHeading c(heading);
    auto in = [&](const char* key, double otherwise) {
      return static_cast<int32_t>(c.number(key, otherwise));
    };
    Block b = make_valve(ValveInts{0, in("phase", 1), in("chr", 1), 0, 1, in("passes", 1)});
    if (c.has("user")) {
      ASSERT_EQ(b.dimension(), 0);
      ASSERT_EQ(b.call(KODE_NAMES), 0);
      const size_t cv = static_cast<size_t>(var(b, "CV") - 1);
      b.ylb[cv] = 5.0;
      b.yscl[cv] = 50.0;
      b.y[cv] = 77.0;
      b.fscl[static_cast<size_t>(eqn(b, "CV_CURVE") - 1)] = 3.0;
      b.fscl[0] = 0.5;  // a stream-equation scale the host keeps
      ASSERT_EQ(b.call(KODE_INIT), 0);
    } else {
      ASSERT_EQ(initialise_with(b, c), 0);
    }
    const auto state = block_state(b);
    if (c.has("row")) {
      t.add(state[static_cast<size_t>(b.ny + eqn(b, c.words("row").at(0)) - 1)]);
    } else {
      t.add(state);
    }
  }
  EXPECT_TRUE(messages().empty());
  EXPECT_TRUE(matches_golden_text("control_valve/prepared", t.lines));
}

// Entries of one equation's Jacobian row, or their columns.
std::vector<double> row_of(Block& b, int row, bool columns = false) {
  b.call(KODE_JACOB);
  std::vector<double> d;
  for (size_t k = 0; k < static_cast<size_t>(b.nz); ++k) {
    if (b.ijrow[k] == row) d.push_back(columns ? b.ijcol[k] : b.dfdy[k]);
  }
  return d;
}

// CHECK_PRATIO: the unchoked branch up to and including X = FK*XT.
TEST_F(ValveTest, ChokeBranchAtTheBoundary) {
  Block b = make_valve(ValveInts{});
  ASSERT_EQ(b.prepare(), 0);
  yv(b, "FK") = 0.9;
  yv(b, "XT") = 0.5;
  yv(b, "XCHOKE") = 0.3;
  const int row = eqn(b, "CHECK_PRATIO");
  yv(b, "X") = 0.45;  // exactly FK*XT
  EXPECT_DOUBLE_EQ(residuals(b)[static_cast<size_t>(row - 1)], 0.3 - 0.45);
  EXPECT_EQ(row_of(b, row), (std::vector<double>{1.0, -1.0, 0.0, 0.0}));
  yv(b, "X") = std::nextafter(0.45, 1.0);
  EXPECT_DOUBLE_EQ(residuals(b)[static_cast<size_t>(row - 1)], 0.3 - 0.9 * 0.5);
  EXPECT_EQ(row_of(b, row), (std::vector<double>{1.0, 0.0, -0.5, -0.9}));
  EXPECT_EQ(
      row_of(b, row, true),
      (std::vector<double>{static_cast<double>(var(b, "XCHOKE")), static_cast<double>(var(b, "X")),
                           static_cast<double>(var(b, "FK")), static_cast<double>(var(b, "XT"))}));
}

// Every curve gives CV = CVMAX at 100 %; the interpolated one passes
// through every table point (and the added (0, 0) and (100, 1)), rises
// between them with a continuous slope, and without a table is linear.
TEST_F(ValveTest, Characteristics) {
  auto curve_residual = [](Block& b, double cvmax, double vp, double cv) {
    yv(b, "CVMAX") = cvmax;
    yv(b, "VP_PRED") = vp;
    yv(b, "CV") = cv;
    return residuals(b)[static_cast<size_t>(eqn(b, "CV_CURVE") - 1)];
  };
  for (int32_t c = 0; c <= 6; ++c) {
    Block b = make_valve(ValveInts{0, 1, c});
    ASSERT_EQ(b.prepare(), 0);
    EXPECT_NEAR(curve_residual(b, 250.0, 100.0, 250.0), 0.0, 1e-9) << "characteristic " << c;
  }
  Block b = make_valve(ValveInts{0, 1, 0});
  b.reals = {20.0, 0.1, 50.0, 0.3, 80.0, 0.7};
  ASSERT_EQ(b.prepare(), 0);
  for (auto [vp, r] : {std::pair{0.0, 0.0}, {20.0, 0.1}, {50.0, 0.3}, {80.0, 0.7}, {100.0, 1.0}}) {
    EXPECT_NEAR(curve_residual(b, 200.0, vp, 200.0 * r), 0.0, 1e-12) << vp;
  }
  double last = -1.0;
  for (double vp = 0.0; vp <= 100.0; vp += 0.5) {
    const double g = -curve_residual(b, 200.0, vp, 0.0) / 200.0;
    EXPECT_GT(g, last) << vp;
    last = g;
  }
  const int row = eqn(b, "CV_CURVE");
  const auto cols = row_of(b, row, true);
  const size_t at = static_cast<size_t>(
      std::find(cols.begin(), cols.end(), static_cast<double>(var(b, "VP_PRED"))) - cols.begin());
  yv(b, "VP_PRED") = 50.0 - 1e-9;
  const double below = row_of(b, row).at(at);
  yv(b, "VP_PRED") = 50.0 + 1e-9;
  EXPECT_NEAR(row_of(b, row).at(at), below, 1e-6);
  Block lin = make_valve(ValveInts{0, 1, 0});
  ASSERT_EQ(lin.prepare(), 0);
  EXPECT_NEAR(curve_residual(lin, 200.0, 37.0, 74.0), 0.0, 1e-12);
}

// An outlet pressure given as a guess is kept (control_valve/init_paths);
// a missing one takes the initialisation's outlet pressure, not the inlet's
// that the stream mapping put there.
TEST_F(ValveTest, OutletPressureAndTheStreamUpdate) {
  Block m = make_valve(ValveInts{});
  ASSERT_EQ(m.prepare(), 0);
  EXPECT_LT(yv(m, "PROD.PRESSURE"), 2.0e6);
  EXPECT_NEAR(yv(m, "PROD.PRESSURE") + yv(m, "DELTAP"), 2.0e6, 1e-6);
  // The stream update writes the outlet and says a solution is known,
  // whatever the residuals.
  hs::ppexec_word(6) = 0;
  yv(m, "V1.CV") = 1.0e9;
  EXPECT_EQ(m.call(KODE_STRMUPD), 0);
  EXPECT_EQ(hs::ppexec_word(6), 2);
  EXPECT_NEAR(m.smatout[static_cast<size_t>(m.ncomp() + 2)], yv(m, "PROD.PRESSURE"), 1e-6);
}

// The direction and choke switches change nothing but the check. Missing
// and NaN values in Y never crash a request, in either phase (unknown
// requests, a failing component service and unserved connections: the
// hostile requests test of every model).
TEST_F(ValveTest, SwitchesAndBadValues) {
  Block base = make_valve(ValveInts{});
  ASSERT_EQ(base.prepare(), 0);
  const auto f0 = residuals(base);
  for (auto [phase, dir, choke] : {std::tuple{1, 1, 1}, {1, 0, 0}, {1, 1, 0}, {2, 0, 1}}) {
    Block b = make_valve(ValveInts{0, phase, 1, dir, choke});
    ASSERT_EQ(b.prepare(), 0);
    if (phase == 1) {
      EXPECT_EQ(b.y, base.y);
      EXPECT_EQ(b.fscl, base.fscl);
      EXPECT_EQ(residuals(b), f0);
    }
    for (size_t i = 0; i < b.y.size(); i += 3) b.y[i] = (i % 2) ? host::kRmiss : std::nan("");
    for (int32_t kode : {KODE_RESID, KODE_JACOB, KODE_REPORT, KODE_STRMUPD}) {
      EXPECT_EQ(b.call(kode), 0) << kode;
    }
  }
}

}  // namespace
}  // namespace r3::test
