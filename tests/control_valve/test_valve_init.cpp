// The valve's sequential initialisation: every calculation path, its
// errors and warnings.
#include <gtest/gtest.h>

#include <cmath>

#include "framework/records.h"
#include "tests/control_valve/valve_fixture.h"

namespace r3::test {
namespace {

using host::Block;
using host::kRmiss;

using Fixes = std::vector<std::pair<std::string, double>>;

// Dimension and names, the fixed values, then the initialisation;
// returns ISTAT of the initialisation.
int32_t init_with(Block& b, const Fixes& fixes) {
  EXPECT_EQ(b.dimension(), 0);
  EXPECT_EQ(b.call(KODE_NAMES), 0);
  for (const auto& [n, v] : fixes) fix(b, n, v);
  return b.call(KODE_INIT);
}

// The valve's own equations hold at the initial point (scaled residuals).
void expect_consistent(Block& b, double tol = 1e-7) {
  const auto f = residuals(b);
  const int first = eqn(b, "VOLUME_FLOW");
  const int last = eqn(b, b.find_var("XT") != 0 ? "CHECK_PRATIO" : "LIQ_VALVE_EQN");
  for (int i = first; i <= last; ++i) {
    EXPECT_LT(std::fabs(f[static_cast<size_t>(i - 1)]) / b.fscl[static_cast<size_t>(i - 1)], tol)
        << b.eqn_name(i);
  }
}

class ValveInit : public ValveTest {};

struct PathCase {
  const char* what;
  int32_t phase;
  Fixes fixes;
};

// Every path of the initialisation, in both phases, gives a point where the
// valve's equations hold, and keeps what the user fixed.
TEST_F(ValveInit, EveryPathGivesAConsistentPoint) {
  const Fixes common = {{"FP", 1.0}, {"VP_BIAS", 2.0}, {"DP_BIAS", 1.0e4}};
  std::vector<PathCase> cases;
  for (int32_t phase : {1, 2}) {
    const double pout = phase == 1 ? 1.7e6 : 4.0e5;
    const double cvmax = phase == 1 ? 600.0 : 400.0;
    // Pressure side given, each way of giving it, with each way of giving the position.
    for (const char* pressure : {"PROD.PRESSURE", "DELTAP", "DP_PRED"}) {
      const double v = std::string(pressure) == "PROD.PRESSURE" ? pout
                       : std::string(pressure) == "DELTAP"      ? (phase == 1 ? 3.0e5 : 1.0e5)
                                                                : (phase == 1 ? 2.9e5 : 0.9e5);
      cases.push_back({"pressure, CVMAX", phase, {{pressure, v}, {"CVMAX", cvmax}}});
      cases.push_back({"pressure, VALVE_POS", phase, {{pressure, v}, {"VALVE_POS", 60.0}}});
      cases.push_back({"pressure, VP_PRED", phase, {{pressure, v}, {"VP_PRED", 58.0}}});
      cases.push_back({"pressure only", phase, {{pressure, v}}});
    }
    if (phase == 1) {
      cases.push_back({"X, CVMAX", 1, {{"X", 0.145}, {"CVMAX", cvmax}}});
      cases.push_back({"X only", 1, {{"X", 0.145}}});
    }
    // Pressure side free.
    cases.push_back({"position, CVMAX", phase, {{"VALVE_POS", 60.0}, {"CVMAX", cvmax}}});
    cases.push_back({"VP_PRED, CV", phase, {{"VP_PRED", 58.0}, {"CV", 0.5 * cvmax}}});
    cases.push_back({"position only", phase, {{"VALVE_POS", 60.0}}});
    cases.push_back({"nothing", phase, {}});
  }
  for (const PathCase& c : cases) {
    ValveInts p;
    p.phase = c.phase;
    p.npass = 40;  // the vapour passes converge the drop for a given CV
    p.chr = 5;
    Block b = make_valve(p);
    Fixes all = common;
    for (const auto& f : c.fixes) all.push_back(f);
    ASSERT_EQ(init_with(b, all), 0) << c.what << ::testing::PrintToString(messages());
    SCOPED_TRACE(std::string(c.what) + (c.phase == 1 ? " (vapour)" : " (liquid)"));
    for (const auto& [n, v] : all) EXPECT_EQ(y(b, n), v) << n;
    expect_consistent(b);
    EXPECT_GT(y(b, "PROD.PRESSURE"), 0.0);
    EXPECT_LT(y(b, "PROD.PRESSURE"), y(b, "FEED.PRESSURE"));
    EXPECT_TRUE(messages().empty()) << ::testing::PrintToString(messages());
  }
}

// With X fixed above FK*XT the drop ratio in the flow equation is held at
// FK*XT and the expansion factor is 2/3.
TEST_F(ValveInit, FixedRatioAboveTheChokingLimit) {
  Block b = make_valve(ValveInts{});
  ASSERT_EQ(init_with(b, {{"X", 0.9}, {"XT", 0.6}, {"CVMAX", 300.0}, {"FP", 1.0}}), 0);
  EXPECT_DOUBLE_EQ(y(b, "XCHOKE"), y(b, "FK") * 0.6);
  EXPECT_NEAR(y(b, "Y"), 2.0 / 3.0, 1e-15);
  EXPECT_NEAR(y(b, "DELTAP"), 0.9 * 2.0e6, 1e-6);
  expect_consistent(b);
}

// The heat-capacity ratio and FK come from the inlet's heat capacity.
TEST_F(ValveInit, InletProperties) {
  Block b = make_valve(ValveInts{});
  ASSERT_EQ(init_with(b, {}), 0);
  const double cp = y(b, "INLET_CP");
  EXPECT_GT(cp, 8314.4);
  EXPECT_DOUBLE_EQ(y(b, "INLET_KRATIO"), cp / (cp - 8314.4));
  EXPECT_DOUBLE_EQ(y(b, "FK"), y(b, "INLET_KRATIO") / 1.4);
  EXPECT_NEAR(y(b, "INLET_TEMP"), 300.0, 1e-9);
  EXPECT_NEAR(y(b, "WT_FLOW"), 0.5 * y(b, "MW"), 1e-12);
  EXPECT_NEAR(y(b, "INLET_DENS") * y(b, "INLET_MOLV"), y(b, "MW"), 1e-9);
  // The property equations hold there too.
  const auto f = residuals(b);
  for (const char* q : {"VAPCP_IN", "VAPENTH_IN", "MOLWT", "VAPVM_IN"}) {
    const size_t i = static_cast<size_t>(eqn(b, q) - 1);
    EXPECT_LT(std::fabs(f[i]) / b.fscl[i], 1e-6) << q;
  }
}

// No passes: typical values only, no flash and no path.
TEST_F(ValveInit, NoPassesGivesTypicalValues) {
  ValveInts p;
  p.npass = 0;
  Block b = make_valve(p);
  b.smatin[static_cast<size_t>(b.ncomp() + 1)] = 350.0;  // a temperature the typical 300 K is not
  ASSERT_EQ(init_with(b, {{"VALVE_POS", 40.0}}), 0);
  EXPECT_EQ(y(b, "INLET_TEMP"), 300.0);  // 0.3 Ts
  EXPECT_EQ(y(b, "INLET_MOLV"), 10.0);   // Ms
  EXPECT_EQ(y(b, "INLET_DENS"), 1.0);    // Ds
  EXPECT_EQ(y(b, "INLET_KRATIO"), 1.6666666666666667);
  EXPECT_EQ(y(b, "FK"), 1.1904761904761907);
  EXPECT_EQ(y(b, "XT"), 0.5);
  EXPECT_EQ(y(b, "X"), 0.1);
  EXPECT_EQ(y(b, "CV"), 100.0);
  EXPECT_EQ(y(b, "VALVE_POS"), 40.0);
  EXPECT_EQ(y(b, "VP_PRED"), 50.0);
  EXPECT_EQ(y(b, "DELTAP"), 2.0e5);
  EXPECT_EQ(y(b, "DP_BIAS"), 0.0);
  EXPECT_TRUE(messages().empty());
}

TEST_F(ValveInit, FixedAtMissingIsReportedForEachVariable) {
  Block b = make_valve(ValveInts{});
  ASSERT_EQ(b.dimension(), 0);
  ASSERT_EQ(b.call(KODE_NAMES), 0);
  b.fix(var(b, "CV"));
  b.fix(var(b, "PROD.PRESSURE"));
  const auto yscl = b.yscl;
  EXPECT_EQ(b.call(KODE_INIT), 1);
  const std::vector<std::string> want = {
      rec::ListDirected().add("!! Error in R3VCFI: Y(").add(var(b, "PROD.PRESSURE")).add(") is fixed at RMISS").str(),
      rec::ListDirected().add("!! Error in R3VCFI: Y(").add(var(b, "CV")).add(") is fixed at RMISS").str()};
  EXPECT_EQ(want[0], " !! Error in R3VCFI: Y(           8 ) is fixed at RMISS");
  EXPECT_EQ(records(hs::second_message_unit()), want);
  EXPECT_EQ(messages(), want);
  // The call ended before the defaults and scales.
  EXPECT_EQ(b.yscl[static_cast<size_t>(var(b, "CV") - 1)], kRmiss);
  EXPECT_EQ(b.fscl[static_cast<size_t>(eqn(b, "CV_CURVE") - 1)], kRmiss);
}

TEST_F(ValveInit, FeedPressureErrors) {
  const size_t pi = 0;  // offset of the pressure after the flows, set below
  (void)pi;
  // Not positive.
  {
    Block b = make_valve(ValveInts{});
    b.smatin[static_cast<size_t>(b.ncomp() + 2)] = 0.0;
    EXPECT_EQ(init_with(b, {}), 1);
    const std::vector<std::string> want = {" !! Error in R3VCFI: Feed pressure cannot be fixed at <= 0"};
    EXPECT_EQ(records(hs::second_message_unit()), want);
    EXPECT_EQ(messages(), want);
  }
  // Missing: the inlet step cannot use the stream.
  for (int32_t phase : {1, 2}) {
    ValveInts p;
    p.phase = phase;
    Block b = make_valve(p);
    b.smatin[static_cast<size_t>(b.ncomp() + 2)] = kRmiss;
    EXPECT_EQ(init_with(b, {}), 1);
    EXPECT_EQ(messages(), (std::vector<std::string>{
                              " !! Error in R3V_INPROPS: Invalid stream pressure.",
                              " !! Error in R3VCFI: Could not initialize inlet stream props"}));
  }
  // Missing, without passes: refused before any default is built from it.
  ValveInts p;
  p.npass = 0;
  Block b = make_valve(p);
  b.smatin[static_cast<size_t>(b.ncomp() + 2)] = kRmiss;
  EXPECT_EQ(init_with(b, {}), 1);
  EXPECT_EQ(messages(), (std::vector<std::string>{" !! Error in R3VCFI: Feed pressure is missing"}));
}

TEST_F(ValveInit, InletStepErrorsAndWarnings) {
  const std::string fail = " !! Error in R3VCFI: Could not initialize inlet stream props";
  {
    Block b = make_valve(ValveInts{});
    b.smatin[static_cast<size_t>(b.ncomp())] = 0.0;  // no flow
    EXPECT_EQ(init_with(b, {}), 1);
    EXPECT_EQ(messages(), (std::vector<std::string>{
                              " !! Error in R3V_INPROPS: Invalid total molar flow.", fail}));
  }
  {
    // A missing temperature is flashed from the enthalpy; a failed flash is a
    // warning, the missing temperature then an error.
    Block b = make_valve(ValveInts{});
    b.smatin[static_cast<size_t>(b.ncomp() + 1)] = kRmiss;
    host::fail_operation("FLSH_FLASH");
    EXPECT_EQ(init_with(b, {}), 1);
    EXPECT_EQ(messages(), (std::vector<std::string>{
                              " !! Warning in R3V_INPROPS: Inlet stream flash failed.",
                              " !! Error in R3V_INPROPS: Invalid stream temperature.", fail}));
  }
  {
    Block b = make_valve(ValveInts{});
    b.smatin[static_cast<size_t>(b.ncomp() + 1)] = kRmiss;
    EXPECT_EQ(init_with(b, {}), 0) << ::testing::PrintToString(messages());
    EXPECT_NEAR(y(b, "INLET_TEMP"), 300.0, 1e-3);
  }
  {
    Block b = make_valve(ValveInts{});
    b.smatin[static_cast<size_t>(b.ncomp() + 7)] = kRmiss;  // density
    host::fail_operation("PPMON_VOLV");
    EXPECT_EQ(init_with(b, {}), 1);
    EXPECT_EQ(messages(), (std::vector<std::string>{
                              " !! Error in R3V_INPROPS: Invalid mass density.", fail}));
  }
  {
    // A liquid's missing density comes from the liquid volume.
    ValveInts p;
    p.phase = 2;
    Block b = make_valve(p);
    const double rho = b.smatin[static_cast<size_t>(b.ncomp() + 7)];
    b.smatin[static_cast<size_t>(b.ncomp() + 7)] = kRmiss;
    EXPECT_EQ(init_with(b, {}), 0);
    EXPECT_NEAR(y(b, "INLET_DENS"), rho, 1e-6 * rho);
  }
  {
    Block b = make_valve(ValveInts{});
    b.smatin[static_cast<size_t>(b.ncomp() + 8)] = kRmiss;  // molecular weight
    EXPECT_EQ(init_with(b, {}), 1);
    EXPECT_EQ(messages(), (std::vector<std::string>{
                              " !! Error in R3V_INPROPS: Invalid molecular weight.", fail}));
  }
  {
    Block b = make_valve(ValveInts{});
    host::fail_operation("PPMON_ENTHV");
    EXPECT_EQ(init_with(b, {}), 1);
    EXPECT_EQ(messages(), (std::vector<std::string>{
                              " !! Error in R3V_INPROPS: Invalid heat capacity.", fail}));
  }
  {
    // A liquid needs no heat capacity.
    ValveInts p;
    p.phase = 2;
    Block b = make_valve(p);
    host::fail_operation("PPMON_ENTHV");
    EXPECT_EQ(init_with(b, {}), 0);
    host::clear_failures();
  }
}

// An outlet still at the inlet pressure gives no drop to size from: the
// typical drop is used instead of a zero one (no infinite CV).
TEST_F(ValveInit, NoDropToSizeFrom) {
  for (int32_t phase : {1, 2}) {
    ValveInts p;
    p.phase = phase;
    Block b = make_valve(p);
    ASSERT_EQ(init_with(b, {{"CVMAX", 500.0}}), 0);
    EXPECT_TRUE(std::isfinite(y(b, "CV")));
    EXPECT_NEAR(y(b, "DELTAP"), 0.1 * y(b, "FEED.PRESSURE"), 1e-6);
    for (double v : b.y) EXPECT_TRUE(std::isfinite(v));
  }
}

// A flow the valve cannot pass at its given opening: the initialisation
// stops at the choking limit instead of an expansion factor below 2/3.
TEST_F(ValveInit, FlowBeyondTheChokedCapacity) {
  ValveInts p;
  p.npass = 10;
  Block b = make_valve(p);
  ASSERT_EQ(init_with(b, {{"CV", 20.0}, {"VALVE_POS", 50.0}, {"XT", 0.6}}), 0);
  EXPECT_DOUBLE_EQ(y(b, "XCHOKE"), y(b, "FK") * 0.6);
  EXPECT_DOUBLE_EQ(y(b, "X"), y(b, "XCHOKE"));
  EXPECT_NEAR(y(b, "Y"), 2.0 / 3.0, 1e-15);
}

// The interpolated characteristic is used both ways in the initialisation.
TEST_F(ValveInit, InterpolatedCharacteristicIsInverted) {
  ValveInts p;
  p.phase = 2;
  p.chr = 0;
  Block b = make_valve(p);
  b.reals = {20.0, 0.1, 50.0, 0.3, 80.0, 0.7};
  ASSERT_EQ(init_with(b, {{"PROD.PRESSURE", 4.0e5}, {"CVMAX", 600.0}}), 0);
  expect_consistent(b);
  ASSERT_EQ(init_with(b, {{"VALVE_POS", 65.0}, {"CVMAX", 600.0}}), 0);
  expect_consistent(b);
}

}  // namespace
}  // namespace r3::test
