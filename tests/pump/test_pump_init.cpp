// The pump's sequential initialisation, its suction and discharge property
// routines, the report, and every way of giving the pump's duty solved end to end
// against a hand calculation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <ostream>
#include <limits>
#include <string>
#include <vector>

#include "framework/host_services.h"
#include "host/services/block.h"
#include "host/services/context.h"
#include "tests/support/support.h"

extern "C" void R3PUMP(R3_ENTRY_PARAMS);

namespace r3::test {
namespace {

using host::Block;
using host::kRmiss;
using Lines = std::vector<std::string>;

constexpr double kG = 9.80665;
constexpr double kTin = 300.0, kPin = 1.0e5;

// Positions in a one-component material stream vector (0-based).
constexpr int kVF = 1, kVT = 2, kVP = 3, kVH = 4, kVRho = 8, kVMw = 9;

// Efficiency correlation of a centrifugal pump in the volumetric flow (m3/s),
// held at its end values outside the fitted range.
double correlation(double q) {
  q = std::min(std::max(q, 0.001261803933), 0.3154509834);
  const double l = std::log(q) + 9.670945162;
  return l * (0.24012299 - 0.011988872 * l) - 0.31609348;
}

Lines ini_error(const std::string& text) { return {"", " Error in R3PUMP_INI:", " " + text}; }
Lines note(const std::string& text) { return {"", " " + text}; }
Lines operator+(Lines a, const Lines& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class PumpInit : public ::testing::Test {
 protected:
  void SetUp() override { reset_host({"H2O"}, thermo::Method::PengRobinson); }

  // A sequential-modular pump on water at 300 K and 1 bar, dimensioned and
  // named: ready for the user's values and the initialisation request.
  Block pump(int ninfi = 0, int ninfout = 0, int32_t npass = 1, double flow = 1.0,
             double win = -12000.0) {
    return pump_on({flow}, ninfi, ninfout, npass, win);
  }
  Block pump_on(const std::vector<double>& flows, int ninfi, int ninfout, int32_t npass,
                double win) {
    Block b("P1", R3PUMP);
    b.matin = {"FEED"};
    b.matout = {"PROD"};
    if (ninfi) b.infin = {"SHAFT"};
    if (ninfout) b.infout = {"POWER"};
    b.ints = {0, npass};
    b.ipropset = 2;
    b.connect_streams();
    EXPECT_TRUE(b.set_material_inlet(0, flows, kTin, kPin));
    if (ninfi) b.set_info_inlet(0, win);
    EXPECT_EQ(b.dimension(), 0);
    EXPECT_EQ(b.call(KODE_NAMES), 0);
    messages();
    return b;
  }
  static double& y(Block& b, const std::string& name) {
    const int i = b.find_var(name);
    EXPECT_GT(i, 0) << name;
    return b.y.at(static_cast<size_t>(i > 0 ? i - 1 : 0));
  }
  static void fix(Block& b, const std::string& name, double value) {
    y(b, name) = value;
    b.fix(b.find_var(name));
  }
  static void fix_without_value(Block& b, const std::string& name) { b.fix(b.find_var(name)); }
  // Volumetric flow of the feed from its stream vector (m3/s).
  static double feed_q(const Block& b) {
    return b.smatin[kVF] * b.smatin[kVMw] / b.smatin[kVRho];
  }
};

// --- Errors of the fixed-value cases --------------------------------------

TEST_F(PumpInit, EachFixedValueErrorIsReportedAndEndsTheInitialisation) {
  struct Case {
    const char* what;
    int ninfi;
    double win;
    std::function<void(Block&)> given;
    const char* text;
  };
  const char* kOut = "The outlet pressure is fixed but value is missing or below inlet pressure.";
  const char* kRatio = "The pressure ratio is fixed but its value is below unity.";
  const char* kRise = "The delta pressure is fixed but value is less than zero";
  const char* kBhp = "The brake horsepower is fixed but its value is missing or negative.";
  const char* kEhp = "The electric horsepower isfixed but its value is missing or negative.";
  const char* kWin = "The inlet stream power is positive. Power supplied to a compressor is negative.";
  const char* kHead = "The pump head isfixed but its value is less than zero.";
  const char* kTemp = "The outlet temperature is fixed but its value is missing or negative.";
  const std::vector<Case> cases = {
      {"outlet pressure equal to the inlet's", 0, 0, [](Block& b) { fix(b, "PROD.PRESSURE", kPin); }, kOut},
      {"outlet pressure below the inlet's", 0, 0, [](Block& b) { fix(b, "PROD.PRESSURE", 0.5e5); }, kOut},
      {"pressure ratio exactly 1", 0, 0, [](Block& b) { fix(b, "P_RATIO", 1.0); }, kRatio},
      {"pressure ratio below 1", 0, 0, [](Block& b) { fix(b, "P_RATIO", 0.8); }, kRatio},
      {"pressure rise 0", 0, 0, [](Block& b) { fix(b, "DELTA_P", 0.0); }, kRise},
      {"pressure rise negative", 0, 0, [](Block& b) { fix(b, "DELTA_P", -1.0e5); }, kRise},
      {"brake power 0", 0, 0, [](Block& b) { fix(b, "BHP", 0.0); }, kBhp},
      {"brake power negative", 0, 0, [](Block& b) { fix(b, "BHP", -10.0); }, kBhp},
      {"electric power 0", 0, 0, [](Block& b) { fix(b, "EHP", 0.0); }, kEhp},
      {"electric power negative", 0, 0, [](Block& b) { fix(b, "EHP", -10.0); }, kEhp},
      {"inlet power positive", 1, 500.0, [](Block&) {}, kWin},
      {"head 0", 0, 0, [](Block& b) { fix(b, "P_HEAD", 0.0); }, kHead},
      {"head negative", 0, 0, [](Block& b) { fix(b, "P_HEAD", -3.0); }, kHead},
      {"discharge temperature negative", 0, 0, [](Block& b) { fix(b, "DISCH_TEMP", -1.0); }, kTemp},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Block b = pump(c.ninfi, 0, 1, 1.0, c.win);
    c.given(b);
    const std::vector<int32_t> ijrow = b.ijrow;
    EXPECT_EQ(b.call(KODE_INIT), 1);
    EXPECT_EQ(messages(), ini_error(c.text));
    // Nothing after the initialisation is done: no values, no pattern.
    EXPECT_EQ(y(b, "DISCH_TEMP") == kRmiss, !b.fixed(b.find_var("DISCH_TEMP")));
    EXPECT_EQ(y(b, "PUMP_EFF"), kRmiss);
    EXPECT_EQ(b.ijrow, ijrow);
  }
}

TEST_F(PumpInit, EveryFixedVariableWithoutValueIsListed) {
  Block b = pump(0, 1);
  for (const char* name : {"PROD.ENTHALPY", "PROD.PRESSURE", "POWER.VALUE", "SUCT_TEMP", "P_HEAD",
                           "BHP", "EHP"}) {
    fix_without_value(b, name);
  }
  // The two efficiencies have defaults and are not reported.
  fix_without_value(b, "PUMP_EFF");
  fix_without_value(b, "DR_EFF");
  EXPECT_EQ(b.call(KODE_INIT), 1);
  Lines want;
  for (const char* name : {"PROD.ENTHALPY", "PROD.PRESSURE", "POWER.VALUE", "SUCT_TEMP", "P_HEAD",
                           "BHP", "EHP"}) {
    want = want + ini_error("Block variable number " + std::to_string(b.find_var(name)) +
                            " is fixed but its value is missing.");
  }
  EXPECT_EQ(messages(), want);
  EXPECT_EQ(b.find_var("PROD.ENTHALPY"), 7);  // positions as the host lays out the streams
  EXPECT_EQ(b.find_var("EHP"), 22);
}

TEST_F(PumpInit, FeedPressureMustBePositive) {
  for (double p : {0.0, -2.0e5, std::numeric_limits<double>::quiet_NaN()}) {
    Block b = pump();
    b.smatin[kVP] = p;
    EXPECT_EQ(b.call(KODE_INIT), 1) << p;
    EXPECT_EQ(messages(), note("Error in R3PUMP_INI: The feed pressure is negative.")) << p;
  }
}

// --- The suction and discharge property routines ---------------------------

TEST_F(PumpInit, SuctionPropertyFailures) {
  struct Case {
    const char* what;
    std::function<void(Block&)> spoil;
    Lines lines;
  };
  const Lines failed = ini_error("Initialization of inlet stream properties failed.");
  const std::vector<Case> cases = {
      {"temperature negative", [](Block& b) { b.smatin[kVT] = -5.0; },
       note("Error in R3PUMP_INPROPS: Invalid stream temperature.")},
      {"temperature missing and the flash fails",
       [](Block& b) {
         b.smatin[kVT] = kRmiss;
         host::fail_operation("FLSH_FLASH");
       },
       note("Warning in R3PUMP_INPROPS: Inlet stream flash failed.") +
           note("Error in R3PUMP_INPROPS: Invalid stream temperature.")},
      {"pressure missing", [](Block& b) { b.smatin[kVP] = kRmiss; },
       note("Error in R3PUMP_INPROPS: Invalid stream pressure.")},
      {"density negative", [](Block& b) { b.smatin[kVRho] = -1.0; },
       note("Error in R3PUMP_INPROPS: Invalid mass density.")},
      {"density zero", [](Block& b) { b.smatin[kVRho] = 0.0; },
       note("Error in R3PUMP_INPROPS: Invalid mass density.")},
      {"density missing and the liquid volume fails",
       [](Block& b) {
         b.smatin[kVRho] = kRmiss;
         host::fail_operation("PPMON_VOLL");
       },
       note("Error in R3PUMP_INPROPS: Invalid mass density.")},
      {"density missing and no flow",
       [](Block& b) {
         b.smatin[kVRho] = kRmiss;
         b.smatin[0] = b.smatin[kVF] = 0.0;
       },
       note("Error in R3PUMP_INPROPS: Invalid total molar flow.")},
      {"density missing and flow missing",
       [](Block& b) {
         b.smatin[kVRho] = kRmiss;
         b.smatin[kVF] = kRmiss;
       },
       note("Error in R3PUMP_INPROPS: Invalid total molar flow.")},
      {"molecular weight zero", [](Block& b) { b.smatin[kVMw] = 0.0; },
       note("Error in R3PUMP_INPROPS: Invalid molecular weight.")},
      {"temperature tested before pressure",
       [](Block& b) {
         b.smatin[kVT] = 0.0;
         b.smatin[kVP] = kRmiss;
       },
       note("Error in R3PUMP_INPROPS: Invalid stream temperature.")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Block b = pump();
    c.spoil(b);
    EXPECT_EQ(b.call(KODE_INIT), 1);
    EXPECT_EQ(messages(), c.lines + failed);
    host::clear_failures();
  }
}

TEST_F(PumpInit, SuctionStateFromFlashAndLiquidVolume) {
  // A feed given by its enthalpy is flashed for its temperature; a feed
  // without density gets the liquid molar volume's.
  Block ref = pump();
  ASSERT_EQ(ref.call(KODE_INIT), 0);
  Block b = pump();
  b.smatin[kVT] = kRmiss;
  b.smatin[kVRho] = kRmiss;
  ASSERT_EQ(b.call(KODE_INIT), 0);
  EXPECT_TRUE(messages().empty());
  EXPECT_NEAR(y(b, "SUCT_TEMP"), kTin, 1e-6);
  EXPECT_NEAR(y(b, "RHO"), ref.smatin[kVRho], 1e-6);
  EXPECT_NEAR(y(b, "SUCT_MOLV"), ref.smatin[kVMw] / ref.smatin[kVRho], 1e-12);
  EXPECT_DOUBLE_EQ(y(b, "MW"), ref.smatin[kVMw]);
  EXPECT_DOUBLE_EQ(y(b, "MASS_FLOW"), ref.smatin[kVF] * ref.smatin[kVMw]);
  for (const char* v : {"SUCT_TEMP", "RHO", "DISCH_TEMP", "P_HEAD", "BHP", "PROD.PRESSURE"}) {
    EXPECT_NEAR(y(b, v), y(ref, v), 1e-6 * std::fabs(y(ref, v))) << v;
  }
}

TEST_F(PumpInit, DischargePropertyFailures) {
  struct Case {
    const char* what;
    std::function<void(Block&)> spoil;
    Lines lines;
  };
  const std::vector<Case> cases = {
      {"flash of the discharge fails", [](Block&) { host::fail_operation("FLSH_FLASH"); },
       note("Warning in R3PUMP_OUTPROPS: Flash calculation failed.") +
           note("Error in R3PUMP_OUTPROPS: Invalid temperature.")},
      {"liquid enthalpy fails",
       [](Block& b) {
         fix(b, "DISCH_TEMP", 300.05);
         host::fail_operation("PPMON_ENTHL");
       },
       note("Error in R3PUMP_OUTPROPS: Invalid stream enthalpy.")},
      {"inlet enthalpy missing", [](Block& b) { b.smatin[kVH] = kRmiss; },
       note("Error in R3PUMP_OUTPROPS: Discharge enthalpy is missing.")},
      {"no flow", [](Block& b) { b.smatin[0] = b.smatin[kVF] = 0.0; },
       note("Error in R3PUMP_OUTPROPS: Invalid total molar flow.")},
      // A discharge 50 K colder than the suction gives a negative power and
      // an outlet pressure below zero on the second pass.
      {"discharge colder than suction", [](Block& b) { fix(b, "DISCH_TEMP", 250.0); },
       note("Error in R3PUMP_OUTPROPS: Invalid stream pressure.")},
      // Zero passes the initialisation's own test, but is no temperature.
      {"discharge temperature 0", [](Block& b) { fix(b, "DISCH_TEMP", 0.0); },
       note("Error in R3PUMP_OUTPROPS: Invalid temperature.")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Block b = pump();
    c.spoil(b);
    EXPECT_EQ(b.call(KODE_INIT), 1);
    EXPECT_EQ(messages(), c.lines);
    EXPECT_EQ(y(b, "PUMP_EFF"), kRmiss);
    host::clear_failures();
  }
}

// --- Values of the initialisation ----------------------------------------

TEST_F(PumpInit, MissingEfficienciesAreReplaced) {
  Block b = pump();
  fix(b, "DELTA_P", 5.0e5);
  fix_without_value(b, "PUMP_EFF");
  fix_without_value(b, "DR_EFF");
  ASSERT_EQ(b.call(KODE_INIT), 0);
  EXPECT_TRUE(messages().empty());
  const double eff = correlation(feed_q(b));
  EXPECT_NEAR(y(b, "PUMP_EFF"), eff, 1e-12);
  EXPECT_GT(eff, 0.5);
  EXPECT_LT(eff, 0.8);
  EXPECT_EQ(y(b, "DR_EFF"), 1.0);
  EXPECT_TRUE(b.fixed(b.find_var("PUMP_EFF")));
  EXPECT_NEAR(y(b, "BHP"), feed_q(b) * 5.0e5 / eff, 1e-6);
}

TEST_F(PumpInit, UnusableEfficienciesAreNotDividedBy) {
  // A zero, negative or not-a-number efficiency is kept where the user put it
  // but the initial powers use the default, so no infinity reaches Y.
  for (double bad : {0.0, -0.5, 10.5, std::numeric_limits<double>::quiet_NaN()}) {
    Block b = pump();
    fix(b, "BHP", 12000.0);
    fix(b, "PUMP_EFF", bad);
    fix(b, "DR_EFF", bad);
    ASSERT_EQ(b.call(KODE_INIT), 0) << bad;
    EXPECT_DOUBLE_EQ(y(b, "EHP"), 12000.0) << bad;  // driver efficiency taken as 1
    const double eff = correlation(feed_q(b));
    EXPECT_NEAR(y(b, "DELTA_P"), eff * 12000.0 / feed_q(b), 1e-6) << bad;
    for (double v : b.y) {
      if (!std::isnan(bad)) {
        EXPECT_TRUE(std::isfinite(v)) << bad;
      }
    }
  }
  // The edge of the range is a usable efficiency.
  Block b = pump();
  fix(b, "BHP", 12000.0);
  fix(b, "DR_EFF", 10.0);
  ASSERT_EQ(b.call(KODE_INIT), 0);
  EXPECT_DOUBLE_EQ(y(b, "EHP"), 1200.0);
}

TEST_F(PumpInit, EfficiencyCorrelationHeldOutsideItsRange) {
  // 1e-5 kmol/s of water is far below the fitted range, 100 kmol/s far above.
  const double low = correlation(0.001261803933), high = correlation(0.3154509834);
  for (double flow : {1.0e-5, 0.05, 1.0, 15.0, 100.0}) {
    Block b = pump(0, 0, 1, flow);
    fix(b, "DELTA_P", 5.0e5);
    ASSERT_EQ(b.call(KODE_INIT), 0) << flow;
    const double q = feed_q(b);
    const double want = q < 0.001261803933 ? low : q > 0.3154509834 ? high : correlation(q);
    EXPECT_NEAR(y(b, "PUMP_EFF"), want, 1e-12) << flow;
  }
  EXPECT_NEAR(low, 0.2956, 1e-4);
  EXPECT_NEAR(high, 0.8594, 1e-4);
}

TEST_F(PumpInit, ZeroInletPowerIsAccepted) {
  Block b = pump(1, 0, 1, 1.0, 0.0);
  fix(b, "PUMP_EFF", 0.7);
  fix(b, "DR_EFF", 1.0);
  ASSERT_EQ(b.call(KODE_INIT), 0);
  EXPECT_TRUE(messages().empty());
  EXPECT_EQ(y(b, "EHP"), 0.0);
  EXPECT_EQ(y(b, "BHP"), 0.0);
  EXPECT_EQ(y(b, "DELTA_P"), 0.0);
  EXPECT_EQ(y(b, "PROD.PRESSURE"), kPin);
  EXPECT_NEAR(y(b, "DISCH_TEMP"), kTin, 1e-6);
}

TEST_F(PumpInit, FirstFixedGroupDecides) {
  struct Case {
    const char* what;
    std::vector<std::pair<const char*, double>> fixed;
    std::function<double(double q, double rho)> rise;  // expected pressure rise
  };
  const std::vector<Case> cases = {
      {"pressure before power, head and temperature",
       {{"DELTA_P", 5.0e5}, {"BHP", 1000.0}, {"P_HEAD", 10.0}, {"DISCH_TEMP", 350.0}},
       [](double, double) { return 5.0e5; }},
      {"outlet pressure before pressure ratio",
       {{"P_RATIO", 3.0}, {"PROD.PRESSURE", 6.0e5}}, [](double, double) { return 5.0e5; }},
      {"pressure ratio before pressure rise",
       {{"DELTA_P", 1.0e5}, {"P_RATIO", 4.0}}, [](double, double) { return 3.0e5; }},
      {"power before head and temperature",
       {{"BHP", 12000.0}, {"P_HEAD", 10.0}, {"DISCH_TEMP", 350.0}},
       [](double q, double) { return 0.7 * 12000.0 / q; }},
      {"brake before electric power",
       {{"EHP", 30000.0}, {"BHP", 12000.0}}, [](double q, double) { return 0.7 * 12000.0 / q; }},
      {"head before temperature",
       {{"P_HEAD", 48.0}, {"DISCH_TEMP", 350.0}},
       [](double, double rho) { return 48.0 * rho * kG; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Block b = pump();
    fix(b, "PUMP_EFF", 0.7);
    fix(b, "DR_EFF", 1.0);
    for (const auto& [name, value] : c.fixed) fix(b, name, value);
    ASSERT_EQ(b.call(KODE_INIT), 0);
    EXPECT_TRUE(messages().empty());
    const double rise = c.rise(feed_q(b), b.smatin[kVRho]);
    if (!b.fixed(b.find_var("PROD.PRESSURE"))) {
      EXPECT_NEAR(y(b, "PROD.PRESSURE"), kPin + rise, 1e-6 * rise);
    }
    if (!b.fixed(b.find_var("DELTA_P"))) {
      EXPECT_NEAR(y(b, "DELTA_P"), rise, 1e-6 * rise);
    }
    if (!b.fixed(b.find_var("DISCH_TEMP"))) {
      EXPECT_GT(y(b, "DISCH_TEMP"), kTin);
      EXPECT_LT(y(b, "DISCH_TEMP"), kTin + 0.2);
    }
  }
}

TEST_F(PumpInit, NoPassesFillDefaultsWithoutPropertyCalls) {
  Block b = pump(0, 0, 0);
  y(b, "PROD.PRESSURE") = 4.0e5;  // guesses
  y(b, "P_HEAD") = 20.0;
  b.smatin[kVRho] = kRmiss;  // the suction volume is still computed
  host::fail_operation("FLSH_FLASH", 5);
  host::fail_operation("PPMON_ENTHL", 5);
  ASSERT_EQ(b.call(KODE_INIT), 0);
  EXPECT_TRUE(messages().empty());
  EXPECT_TRUE(host::take_failure("FLSH_FLASH"));  // not a flash was made
  EXPECT_TRUE(host::take_failure("PPMON_ENTHL"));
  host::clear_failures();
  EXPECT_EQ(y(b, "PROD.PRESSURE"), 4.0e5);
  EXPECT_EQ(y(b, "PROD.ENTHALPY"), y(b, "FEED.ENTHALPY"));  // left missing: the inlet's
  EXPECT_EQ(y(b, "P_HEAD"), 20.0);
  // Scales of the substitute host: Fs 1 kmol/s, Ts 1000 K, Ps 1e6 Pa.
  EXPECT_EQ(y(b, "DISCH_TEMP"), 350.0);
  EXPECT_EQ(y(b, "P_RATIO"), 3.0);
  EXPECT_EQ(y(b, "DELTA_P"), 1.0e5);
  EXPECT_EQ(y(b, "BHP"), 100.0);
  EXPECT_EQ(y(b, "EHP"), 100.0);
  EXPECT_EQ(y(b, "DR_EFF"), 1.0);
  EXPECT_NEAR(y(b, "SUCT_TEMP"), kTin, 1e-9);
  EXPECT_GT(y(b, "RHO"), 900.0);
  EXPECT_NEAR(y(b, "PUMP_EFF"), correlation(y(b, "MASS_FLOW") / y(b, "RHO")), 1e-12);
}

TEST_F(PumpInit, SolvedStateTakesSuctionValuesFromTheVariables) {
  // After a stream update the suction temperature and density come from Y,
  // no flash is made, and the outlet follows the inlet.
  Block b = pump();
  b.smatin[kVT] = kRmiss;
  b.smatin[kVRho] = kRmiss;
  y(b, "SUCT_TEMP") = 305.0;
  y(b, "RHO") = 990.0;
  y(b, "PROD.PRESSURE") = 7.0e5;
  y(b, "PROD.FLOW_H2O") = 0.5;
  hs::ppexec_word(6) = 2;
  host::fail_operation("FLSH_FLASH", 5);
  ASSERT_EQ(b.call(KODE_INIT), 0);
  EXPECT_TRUE(messages().empty());
  EXPECT_TRUE(host::take_failure("FLSH_FLASH"));
  host::clear_failures();
  EXPECT_EQ(y(b, "SUCT_TEMP"), 305.0);
  EXPECT_DOUBLE_EQ(y(b, "SUCT_MOLV"), b.smatin[kVMw] / 990.0);
  EXPECT_DOUBLE_EQ(y(b, "MASS_FLOW"), b.smatin[kVMw]);
  EXPECT_EQ(y(b, "PROD.PRESSURE"), 7.0e5);
  EXPECT_EQ(y(b, "PROD.FLOW_H2O"), 1.0);
  EXPECT_EQ(y(b, "DISCH_TEMP"), kRmiss);  // not computed from a solved state
  EXPECT_NEAR(y(b, "PUMP_EFF"), correlation(b.smatin[kVMw] / 990.0), 1e-12);

  // The stream update is what marks the solved state.
  hs::ppexec_word(6) = 0;
  Block c = pump();
  fix(c, "DELTA_P", 5.0e5);
  ASSERT_EQ(c.call(KODE_INIT), 0);
  ASSERT_EQ(c.call(KODE_STRMUPD), 0);
  EXPECT_EQ(hs::ppexec_word(6), 2);
}

TEST_F(PumpInit, BadInputStaysInsideTheArrays) {
  // Spoilt inlets and fixed values of every kind through every request: the
  // arrays are allocated at their exact sizes, so a write past one is caught
  // by the address sanitizer.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<std::vector<std::string>> lists = {{"H2O"}, {"H2O", "NC6", "NC7"}};
  for (const auto& list : lists) {
    reset_host(list, thermo::Method::PengRobinson);
    const std::vector<double> flows(list.size(), 1.0);
    for (int shape = 0; shape < 3; ++shape) {
      for (double bad : {kRmiss, nan, -1.0, 0.0}) {
        for (int fixing = 0; fixing < 3; ++fixing) {
          Block b = pump_on(flows, shape == 1, shape == 2, 1, bad);
          for (size_t i = static_cast<size_t>(b.ncomp()); i < b.smatin.size(); ++i) {
            if (i % 2 == static_cast<size_t>(fixing % 2)) b.smatin[i] = bad;
          }
          const int n = b.ny - 13;
          for (int v = 1; v <= 13; ++v) {
            if (fixing == 1) fix_without_value(b, b.var_name(n + v));
            if (fixing == 2) fix(b, b.var_name(n + v), bad);
          }
          const int32_t init = b.call(KODE_INIT);
          EXPECT_TRUE(init == 0 || init == 1);
          for (int32_t kode : {KODE_RESID, KODE_JACOB, KODE_STRMUPD, KODE_CHECK, KODE_REPORT}) {
            EXPECT_EQ(b.call(kode), 0) << kode;
          }
          hs::ppexec_word(6) = 0;
        }
      }
    }
  }
  messages();
  report();
}

// --- Report ---------------------------------------------------------------

TEST_F(PumpInit, ReportLines) {
  Block b = pump(0, 1);
  fix(b, "DELTA_P", 5.0e5);
  ASSERT_EQ(b.call(KODE_INIT), 0);
  y(b, "PROD.PRESSURE") = 6.0e5;
  y(b, "EHP") = 13407.6667;
  y(b, "BHP") = 12066.9;
  y(b, "DR_EFF") = 0.9;
  y(b, "PUMP_EFF") = 0.7;
  report();
  ASSERT_EQ(b.call(KODE_REPORT), 0);
  const Lines want = {
      "",
      "                      ***       R3PUMP RESULTS      ***",
      "    OUTLET PRESSURE (N/M2)          6.000000E+05",
      "    ELECTRIC HORSEPOWER (WATT)      1.340767E+04",
      "    BRAKE HORSEPOWER (WATT)         1.206690E+04",
      "    DRIVER EFFICIENCY               9.000000E-01",
      "    PUMP EFFICIENCY                 7.000000E-01",
      "",
  };
  EXPECT_EQ(report(), want);
  EXPECT_TRUE(messages().empty());
  // Values of any sign and size fill the 13-character field.
  y(b, "BHP") = -1.5e-7;
  y(b, "PUMP_EFF") = kRmiss;
  ASSERT_EQ(b.call(KODE_REPORT), 0);
  const Lines r = report();
  ASSERT_EQ(r.size(), 8u);
  EXPECT_EQ(r[4], "    BRAKE HORSEPOWER (WATT)        -1.500000E-07");
  EXPECT_EQ(r[6], "    PUMP EFFICIENCY                 1.000000E+35");
}

// --- Every way of giving the duty, solved ---------------------------------

struct Example {
  const char* file;
  double eff, dr_eff;
  // The quantity the case gives, checked against the solution.
  std::function<void(const CaseRun&, double q)> given;
};

void PrintTo(const Example& ex, std::ostream* os) { *os << ex.file; }

class PumpExamples : public ::testing::TestWithParam<Example> {};

TEST_P(PumpExamples, ConvergesFromTheInitialisationToTheHandCalculation) {
  const Example& ex = GetParam();
  const CaseRun run = run_case(example_path(std::string("pump/") + ex.file), {{"R3PUMP", R3PUMP}});
  ASSERT_TRUE(run.solve.converged) << run.error << ::testing::PrintToString(run.messages);
  // Sequential modular: the initialisation leaves little for Newton to do.
  EXPECT_LE(run.solve.iterations, 3);
  EXPECT_TRUE(run.messages.empty()) << ::testing::PrintToString(run.messages);

  // Hand calculation from the solved streams: the liquid's volumetric flow
  // times the pressure rise is the hydraulic power; over the pump efficiency
  // it is the shaft power, which all goes into the liquid's enthalpy.
  const std::vector<double>& feed = run.stream("FEED");
  const std::vector<double>& prod = run.stream("PROD");
  ASSERT_EQ(feed.size(), 10u);
  const double F = feed[kVF], mw = feed[kVMw], rho = feed[kVRho];
  const double q = F * mw / rho;
  const double rise = prod[kVP] - feed[kVP];
  const double hydraulic = q * rise;
  const double brake = hydraulic / ex.eff;
  const double dh = brake / F;
  EXPECT_NEAR(run.value("P1.BHP"), brake, 1e-6 * brake);
  EXPECT_NEAR(run.value("P1.EHP"), brake / ex.dr_eff, 1e-6 * brake);
  EXPECT_NEAR(prod[kVH] * prod[kVMw] - feed[kVH] * mw, dh, 1e-6 * dh);
  EXPECT_NEAR(run.value("P1.DELTA_P"), rise, 1e-6 * rise);
  EXPECT_NEAR(run.value("P1.P_RATIO"), prod[kVP] / feed[kVP], 1e-9);
  EXPECT_NEAR(run.value("P1.P_HEAD"), rise / (rho * kG), 1e-6 * rise / (rho * kG));
  EXPECT_NEAR(run.value("P1.RHO"), rho, 1e-6 * rho);
  EXPECT_NEAR(run.value("P1.DISCH_TEMP"), prod[kVT], 1e-6);  // the update's flash
  EXPECT_EQ(prod[kVF], F);
  EXPECT_GT(prod[kVT], feed[kVT]);
  ex.given(run, q);

  // The report shows the solved values.
  ASSERT_GE(run.report.size(), 8u);
  EXPECT_EQ(run.report[1], "                      ***       R3PUMP RESULTS      ***");
  char line[64];
  std::snprintf(line, sizeof line, "    BRAKE HORSEPOWER (WATT)       %14.6E", run.value("P1.BHP"));
  EXPECT_EQ(run.report[4], line);

  // The block holds the solved point: its equations and derivatives there.
  check_conformance(*run.flowsheet->blocks()[0]);
}

INSTANTIATE_TEST_SUITE_P(
    Pump, PumpExamples,
    ::testing::Values(
        // 5 bar from 1 bar at 70 %: about 12.91 kW (water at 996.56 kg/m3).
        Example{"outlet_pressure.toml", 0.7, 1.0,
                [](const CaseRun& r, double q) {
                  EXPECT_NEAR(r.stream("PROD")[kVP], 6.0e5, 1e-3);
                  EXPECT_NEAR(r.value("P1.BHP"), q * 5.0e5 / 0.7, 1e-3);
                  EXPECT_NEAR(r.value("P1.BHP"), 12912.5, 0.1);
                }},
        Example{"pressure_ratio.toml", 0.7, 0.95,
                [](const CaseRun& r, double q) {
                  EXPECT_NEAR(r.stream("PROD")[kVP], 6.0e5, 1e-3);
                  EXPECT_NEAR(r.stream("POWER")[0], q * 5.0e5 / 0.7 / 0.95, 1e-3);
                }},
        Example{"pressure_rise.toml", 0.7, 0.9,
                [](const CaseRun& r, double) {
                  EXPECT_NEAR(r.stream("PROD")[kVP], 6.0e5, 1e-3);
                }},
        Example{"brake_power.toml", 0.7, 1.0,
                [](const CaseRun& r, double q) {
                  EXPECT_NEAR(r.value("P1.BHP"), 12000.0, 1e-6);
                  EXPECT_NEAR(r.value("P1.DELTA_P"), 0.7 * 12000.0 / q, 1e-3);
                }},
        Example{"electric_power.toml", 0.7, 0.9,
                [](const CaseRun& r, double q) {
                  EXPECT_NEAR(r.value("P1.EHP"), 13500.0, 1e-6);
                  EXPECT_NEAR(r.stream("POWER")[0], 13500.0, 1e-6);
                  EXPECT_NEAR(r.value("P1.DELTA_P"), 0.7 * 0.9 * 13500.0 / q, 1e-3);
                }},
        Example{"inlet_power.toml", 0.7, 1.0,
                [](const CaseRun& r, double q) {
                  EXPECT_NEAR(r.value("P1.EHP"), 12000.0, 1e-6);
                  EXPECT_NEAR(r.value("P1.DELTA_P"), 0.7 * 12000.0 / q, 1e-3);
                }},
        Example{"head.toml", 0.7, 1.0,
                [](const CaseRun& r, double) {
                  const double rho = r.stream("FEED")[kVRho];
                  EXPECT_NEAR(r.value("P1.DELTA_P"), 48.0 * rho * kG, 1e-3);
                }},
        Example{"discharge_temperature.toml", 0.7, 1.0,
                [](const CaseRun& r, double) {
                  EXPECT_NEAR(r.value("P1.DISCH_TEMP"), 300.05, 1e-12);
                  EXPECT_NEAR(r.stream("PROD")[kVT], 300.05, 1e-6);
                }},
        Example{"nothing_fixed.toml", 0.7, 1.0,
                [](const CaseRun& r, double q) {
                  EXPECT_NEAR(r.value("P1.EHP"), 8000.0, 1e-6);
                  EXPECT_NEAR(r.value("P1.DELTA_P"), 0.7 * 8000.0 / q, 1e-3);
                }}),
    [](const ::testing::TestParamInfo<Example>& info) {
      std::string n = info.param.file;
      return n.substr(0, n.find('.'));
    });

}  // namespace
}  // namespace r3::test
