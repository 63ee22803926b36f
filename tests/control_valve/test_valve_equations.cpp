// The valve's variables, equations, Jacobian and the requests around them.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/control_valve/valve_fixture.h"

namespace r3::test {
namespace {

using host::Block;
using host::kRmiss;

// Dimension and names, then the user's fixed values, then the
// initialisation.
void prepare_with(Block& b, const std::vector<std::pair<std::string, double>>& fixes) {
  ASSERT_EQ(b.dimension(), 0) << ::testing::PrintToString(messages());
  ASSERT_EQ(b.call(KODE_NAMES), 0);
  for (const auto& [n, v] : fixes) fix(b, n, v);
  ASSERT_EQ(b.call(KODE_INIT), 0) << ::testing::PrintToString(messages());
}

struct Shape {
  int32_t phase, chr;
  int ncomp;
  bool table;
};

class ValveShapes : public ::testing::TestWithParam<Shape> {};

// Every characteristic in both phases: counts, names, pattern, Jacobian
// against finite differences.
TEST_P(ValveShapes, CountsAndConformance) {
  const Shape sh = GetParam();
  ValveInts p;
  p.phase = sh.phase;
  p.chr = sh.chr;
  Block b = make_valve(p, sh.ncomp);
  if (sh.table) b.reals = {10.0, 0.05, 40.0, 0.2, 70.0, 0.55, 90.0, 0.85};
  const bool vap = sh.phase == 1;
  prepare_with(b, {{"CVMAX", vap ? 1500.0 : 150.0}, {"VALVE_POS", 70.0}, {"FP", 1.0}, {"VP_BIAS", 0.0},
                   {"DP_BIAS", 0.0}});
  const int nc = sh.ncomp;
  // Away from the choking limit, where CHECK_PRATIO has its kink.
  if (vap) {
    EXPECT_LT(y(b, "X"), 0.9 * y(b, "FK") * y(b, "XT"));
  }
  EXPECT_EQ(b.ny, 2 * (nc + 3) + (vap ? 22 : 15));
  // Stream equations, valve equations, property equations.
  EXPECT_EQ(b.nf, (nc + 2) + (vap ? 13 : 8) + (vap ? 4 : 3));
  const int stream_nz = 2 * (nc + 1) + 2;
  const int prop_nz = (vap ? (nc + 3) : 0) + (nc + 3) + (nc + 1) + (nc + 3);
  EXPECT_EQ(b.nz, stream_nz + (vap ? 43 : 26) + prop_nz);
  check_conformance(b);
  EXPECT_TRUE(messages().empty()) << ::testing::PrintToString(messages());
}

INSTANTIATE_TEST_SUITE_P(
    Valve, ValveShapes,
    ::testing::Values(Shape{1, 0, 1, false}, Shape{1, 0, 1, true}, Shape{1, 1, 1, false},
                      Shape{1, 2, 1, false}, Shape{1, 3, 1, false}, Shape{1, 4, 1, false},
                      Shape{1, 5, 1, false}, Shape{1, 6, 1, false}, Shape{1, 1, 3, false},
                      Shape{1, 5, 3, false}, Shape{2, 0, 1, false}, Shape{2, 0, 1, true},
                      Shape{2, 1, 1, false}, Shape{2, 2, 1, false}, Shape{2, 3, 1, false},
                      Shape{2, 4, 1, false}, Shape{2, 5, 1, false}, Shape{2, 6, 1, false},
                      Shape{2, 4, 3, false}, Shape{2, 0, 3, true}));

TEST_F(ValveTest, NamesFollowTheTables) {
  for (int32_t phase : {1, 2}) {
    ValveInts p;
    p.phase = phase;
    Block b = make_valve(p);
    ASSERT_EQ(b.prepare(), 0);
    const bool vap = phase == 1;
    std::vector<std::string> vars = {"INLET_TEMP", "INLET_MOLV", "MW", "INLET_DENS", "VOL_FLOW",
                                     "WT_FLOW"};
    if (vap) {
      for (const char* v : {"INLET_CP", "INLET_KRATIO", "FK", "XT", "Y", "X", "XCHOKE"}) {
        vars.push_back(v);
      }
    }
    for (const char* v : {"FP", "CVMAX", "CV", "VALVE_POS", "VP_PRED", "VP_BIAS", "DELTAP",
                          "DP_PRED", "DP_BIAS"}) {
      vars.push_back(v);
    }
    const int n = b.ny - static_cast<int>(vars.size());
    EXPECT_EQ(n, 8);
    EXPECT_EQ(b.var_name(1), "FEED.TOTAL_FLOW");
    EXPECT_EQ(b.var_name(8), "PROD.PRESSURE");
    for (size_t i = 0; i < vars.size(); ++i) {
      EXPECT_EQ(b.var_name(n + 1 + static_cast<int>(i)), "V1." + vars[i]);
    }
    const std::string comp = vap ? "CH4" : "H2O";
    std::vector<std::string> eqns = {"SBAL_" + comp, "SBAL_TOTAL", "SBAL_ENTHALPY",
                                     "VOLUME_FLOW", "WEIGHT_FLOW", "INLET_DENSITY",
                                     "DELTAP_DEFN", "CV_CURVE", "VP_OFFSET", "DP_OFFSET"};
    if (vap) {
      for (const char* q : {"VAP_VALVE_EQN", "KRATIO_DEFN", "CALC_FK", "CALC_Y", "CALC_PRATIO",
                            "CHECK_PRATIO", "VAPCP_IN", "VAPENTH_IN", "MOLWT", "VAPVM_IN"}) {
        eqns.push_back(q);
      }
    } else {
      for (const char* q : {"LIQ_VALVE_EQN", "LIQENTH_IN", "MOLWT", "LIQVM_IN"}) eqns.push_back(q);
    }
    ASSERT_EQ(b.nf, static_cast<int>(eqns.size()));
    for (size_t i = 0; i < eqns.size(); ++i) {
      EXPECT_EQ(b.eqn_name(static_cast<int>(i) + 1), "V1." + eqns[i]);
    }
  }
}

TEST_F(ValveTest, DefaultsBoundsScalesAndTypesByPhase) {
  // Vapour: Ms = 10000 Ts/Ps = 10, Ds = 1, Qs = 10 Fs = 10.
  Block v = make_valve(ValveInts{});
  ASSERT_EQ(v.prepare(), 0);
  auto at = [](Block& b, const std::string& n, const std::vector<double>& a) {
    return a[static_cast<size_t>(var(b, n) - 1)];
  };
  EXPECT_EQ(at(v, "INLET_MOLV", v.yscl), 10.0);
  EXPECT_EQ(at(v, "INLET_MOLV", v.ylb), 0.001 * 10.0);
  EXPECT_EQ(at(v, "INLET_DENS", v.yub), 1000.0);
  EXPECT_EQ(at(v, "VOL_FLOW", v.yscl), 10.0);
  EXPECT_EQ(at(v, "INLET_CP", v.yscl), 1.0e5);
  EXPECT_EQ(at(v, "Y", v.ylb), 2.0 / 3.0);
  EXPECT_EQ(at(v, "DELTAP", v.yub), 2.0e6);  // the inlet pressure
  EXPECT_EQ(at(v, "DP_BIAS", v.yscl), 1.0e6);
  EXPECT_EQ(at(v, "CV", v.ylb), 0.1);
  EXPECT_EQ(at(v, "CV", v.ysbnd), 1.0);
  EXPECT_EQ(((v.iyattr[static_cast<size_t>(var(v, "DELTAP") - 1)] >> 8) & 0xFF), 75);
  EXPECT_EQ(((v.iyattr[static_cast<size_t>(var(v, "INLET_DENS") - 1)] >> 8) & 0xFF), 38);
  EXPECT_EQ(((v.iyattr[static_cast<size_t>(var(v, "CV") - 1)] >> 8) & 0xFF), 0);
  // Equation scales: CV_CURVE of the linear curve 100; the valve equation (10 Fs)^2.
  EXPECT_EQ(v.fscl[static_cast<size_t>(eqn(v, "CV_CURVE") - 1)], 100.0);
  EXPECT_EQ(v.fscl[static_cast<size_t>(eqn(v, "VAP_VALVE_EQN") - 1)], 100.0);
  EXPECT_EQ(v.fscl[static_cast<size_t>(eqn(v, "VAPVM_IN") - 1)], 10.0);
  EXPECT_EQ(v.fscl[static_cast<size_t>(eqn(v, "VAPCP_IN") - 1)], 1.0e5);
  // Liquid: Ms = 0.01, Ds = 1000, Qs = 0.01.
  ValveInts lp;
  lp.phase = 2;
  Block l = make_valve(lp);
  ASSERT_EQ(l.prepare(), 0);
  EXPECT_EQ(at(l, "INLET_MOLV", l.yscl), 0.01);
  EXPECT_EQ(at(l, "INLET_DENS", l.yscl), 1000.0);
  EXPECT_EQ(at(l, "VOL_FLOW", l.yub), 1000.0 * 0.01);
  EXPECT_EQ(l.fscl[static_cast<size_t>(eqn(l, "LIQVM_IN") - 1)], 0.01);
  EXPECT_EQ(l.fscl[static_cast<size_t>(eqn(l, "INLET_DENSITY") - 1)], 1000.0);
}

TEST_F(ValveTest, CharacteristicScales) {
  const double want[] = {100.0, 100.0, 100.0, 10000.0, 1.0e6, 10000.0, 10000.0};
  for (int32_t c = 0; c <= 6; ++c) {
    ValveInts p;
    p.chr = c;
    Block b = make_valve(p);
    ASSERT_EQ(b.prepare(), 0);
    EXPECT_EQ(b.fscl[static_cast<size_t>(eqn(b, "CV_CURVE") - 1)], want[c]) << "characteristic " << c;
  }
}

TEST_F(ValveTest, UserValuesSurviveAndEquationScalesAreAlwaysWritten) {
  Block b = make_valve(ValveInts{});
  ASSERT_EQ(b.dimension(), 0);
  ASSERT_EQ(b.call(KODE_NAMES), 0);
  const size_t cv = static_cast<size_t>(var(b, "CV") - 1);
  b.ylb[cv] = 5.0;
  b.yscl[cv] = 50.0;
  b.y[cv] = 77.0;
  const size_t curve = static_cast<size_t>(eqn(b, "CV_CURVE") - 1);
  b.fscl[curve] = 3.0;
  b.fscl[0] = 0.5;  // a stream-equation scale the host keeps
  ASSERT_EQ(b.call(KODE_INIT), 0);
  EXPECT_EQ(b.ylb[cv], 5.0);
  EXPECT_EQ(b.yscl[cv], 50.0);
  EXPECT_EQ(b.y[cv], 77.0);
  EXPECT_EQ(b.fscl[curve], 100.0);
  EXPECT_EQ(b.fscl[0], 0.5);
}

// CHECK_PRATIO: the unchoked branch up to and including X = FK*XT.
TEST_F(ValveTest, ChokeBranchAtTheBoundary) {
  Block b = make_valve(ValveInts{});
  ASSERT_EQ(b.prepare(), 0);
  y(b, "FK") = 0.9;
  y(b, "XT") = 0.5;
  y(b, "XCHOKE") = 0.3;
  const int row = eqn(b, "CHECK_PRATIO");
  auto entries = [&]() {
    b.call(KODE_JACOB);
    std::vector<double> d;
    for (int k = 0; k < b.nz; ++k) {
      if (b.ijrow[static_cast<size_t>(k)] == row) d.push_back(b.dfdy[static_cast<size_t>(k)]);
    }
    return d;
  };
  y(b, "X") = 0.45;  // exactly FK*XT
  EXPECT_DOUBLE_EQ(residuals(b)[static_cast<size_t>(row - 1)], 0.3 - 0.45);
  EXPECT_EQ(entries(), (std::vector<double>{1.0, -1.0, 0.0, 0.0}));
  y(b, "X") = std::nextafter(0.45, 1.0);
  EXPECT_DOUBLE_EQ(residuals(b)[static_cast<size_t>(row - 1)], 0.3 - 0.9 * 0.5);
  EXPECT_EQ(entries(), (std::vector<double>{1.0, 0.0, -0.5, -0.9}));
  // Pattern order (XCHOKE, X, FK, XT).
  std::vector<int> cols;
  for (int k = 0; k < b.nz; ++k) {
    if (b.ijrow[static_cast<size_t>(k)] == row) cols.push_back(b.ijcol[static_cast<size_t>(k)]);
  }
  EXPECT_EQ(cols, (std::vector<int>{var(b, "XCHOKE"), var(b, "X"), var(b, "FK"), var(b, "XT")}));
}

// The curves' residuals at a point on each curve vanish, and every curve
// gives CV = CVMAX at 100 %.
TEST_F(ValveTest, CharacteristicsPassThroughFullOpening) {
  for (int32_t c = 0; c <= 6; ++c) {
    ValveInts p;
    p.chr = c;
    Block b = make_valve(p);
    ASSERT_EQ(b.prepare(), 0);
    y(b, "CVMAX") = 250.0;
    y(b, "CV") = 250.0;
    y(b, "VP_PRED") = 100.0;
    EXPECT_NEAR(residuals(b)[static_cast<size_t>(eqn(b, "CV_CURVE") - 1)], 0.0, 1e-9)
        << "characteristic " << c;
  }
}

TEST_F(ValveTest, InterpolatedCharacteristicFollowsTheTable) {
  ValveInts p;
  p.chr = 0;
  Block b = make_valve(p);
  b.reals = {20.0, 0.1, 50.0, 0.3, 80.0, 0.7};
  ASSERT_EQ(b.prepare(), 0);
  const size_t row = static_cast<size_t>(eqn(b, "CV_CURVE") - 1);
  y(b, "CVMAX") = 200.0;
  // Through every point, including the added (0, 0) and (100, 1).
  for (auto [vp, r] : {std::pair{0.0, 0.0}, {20.0, 0.1}, {50.0, 0.3}, {80.0, 0.7}, {100.0, 1.0}}) {
    y(b, "VP_PRED") = vp;
    y(b, "CV") = 200.0 * r;
    EXPECT_NEAR(residuals(b)[row], 0.0, 1e-12) << vp;
  }
  // Rising between the points, and the slope continuous across a point.
  double last = -1.0;
  for (double vp = 0.0; vp <= 100.0; vp += 0.5) {
    y(b, "VP_PRED") = vp;
    y(b, "CV") = 0.0;
    const double g = -residuals(b)[row] / 200.0;
    EXPECT_GT(g, last) << vp;
    last = g;
  }
  auto slope = [&](double vp) {
    y(b, "VP_PRED") = vp;
    b.call(KODE_JACOB);
    for (int k = 0; k < b.nz; ++k) {
      if (b.ijrow[static_cast<size_t>(k)] == static_cast<int>(row) + 1 &&
          b.ijcol[static_cast<size_t>(k)] == var(b, "VP_PRED")) {
        return b.dfdy[static_cast<size_t>(k)];
      }
    }
    return 0.0;
  };
  EXPECT_NEAR(slope(50.0 - 1e-9), slope(50.0 + 1e-9), 1e-6);
  // Without a table the interpolated characteristic is the linear curve.
  Block lin = make_valve(p);
  ASSERT_EQ(lin.prepare(), 0);
  y(lin, "CVMAX") = 200.0;
  y(lin, "VP_PRED") = 37.0;
  y(lin, "CV") = 74.0;
  EXPECT_NEAR(residuals(lin)[row], 0.0, 1e-12);
}

TEST_F(ValveTest, OutletPressureGivenInTheVariableVectorIsKept) {
  Block b = make_valve(ValveInts{});
  ASSERT_EQ(b.dimension(), 0);
  ASSERT_EQ(b.call(KODE_NAMES), 0);
  y(b, "PROD.PRESSURE") = 1.5e6;  // a guess, not fixed
  ASSERT_EQ(b.call(KODE_INIT), 0);
  EXPECT_EQ(y(b, "PROD.PRESSURE"), 1.5e6);
  EXPECT_NEAR(y(b, "DELTAP"), 0.5e6, 1e-6);
  // A missing one takes the initialisation's outlet pressure, not the
  // inlet's that the stream mapping put there.
  Block m = make_valve(ValveInts{});
  ASSERT_EQ(m.prepare(), 0);
  EXPECT_LT(y(m, "PROD.PRESSURE"), 2.0e6);
  EXPECT_NEAR(y(m, "PROD.PRESSURE") + y(m, "DELTAP"), 2.0e6, 1e-6);
}

TEST_F(ValveTest, StreamUpdateSetsTheSolutionState) {
  Block b = make_valve(ValveInts{});
  ASSERT_EQ(b.prepare(), 0);
  hs::ppexec_word(6) = 0;
  y(b, "V1.CV") = 1.0e9;  // residuals far from zero make no difference
  EXPECT_EQ(b.call(KODE_STRMUPD), 0);
  EXPECT_EQ(hs::ppexec_word(6), 2);
  const int ncf = b.ncomp();
  EXPECT_NEAR(b.smatout[static_cast<size_t>(ncf + 2)], y(b, "PROD.PRESSURE"), 1e-6);
}

TEST_F(ValveTest, DirectionAndChokeSwitchesChangeNothingButTheCheck) {
  Block base = make_valve(ValveInts{});
  ASSERT_EQ(base.prepare(), 0);
  const auto f0 = residuals(base);
  for (auto [dir, choke] : {std::pair{1, 1}, {0, 0}, {1, 0}}) {
    ValveInts p;
    p.direction = dir;
    p.choke = choke;
    Block b = make_valve(p);
    ASSERT_EQ(b.prepare(), 0);
    EXPECT_EQ(b.y, base.y);
    EXPECT_EQ(b.fscl, base.fscl);
    EXPECT_EQ(residuals(b), f0);
  }
}

TEST_F(ValveTest, UnknownRequestAndComponentFailure) {
  Block b = make_valve(ValveInts{});
  ASSERT_EQ(b.prepare(), 0);
  const auto yv = b.y;
  EXPECT_EQ(b.call(55, 7), 7);
  EXPECT_EQ(b.y, yv);
  EXPECT_TRUE(messages().empty());
  for (int32_t kode : {KODE_DIMEN, KODE_NAMES, KODE_INIT, KODE_RESID, KODE_JACOB, KODE_STRMUPD,
                       KODE_CHECK, KODE_REPORT}) {
    host::fail_operation("U3GIDX_BLK");
    EXPECT_EQ(b.call(kode), 1) << kode;
    EXPECT_EQ(b.y, yv);
    EXPECT_TRUE(messages().empty());
    EXPECT_TRUE(report().empty());
  }
}

TEST_F(ValveTest, MissingAndNaNValuesNeverCrash) {
  for (int32_t phase : {1, 2}) {
    ValveInts p;
    p.phase = phase;
    Block b = make_valve(p);
    ASSERT_EQ(b.prepare(), 0);
    std::vector<double> yv = b.y;
    for (size_t i = 0; i < yv.size(); i += 3) yv[i] = (i % 2) ? kRmiss : std::nan("");
    b.y = yv;
    EXPECT_EQ(b.call(KODE_RESID), 0);
    EXPECT_EQ(b.call(KODE_JACOB), 0);
    EXPECT_EQ(b.call(KODE_REPORT), 0);
    EXPECT_EQ(b.call(KODE_STRMUPD), 0);
  }
}

}  // namespace
}  // namespace r3::test
