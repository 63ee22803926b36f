// The turbo-expander's input check, initialisation, report, and solved cases
// against a hand calculation from the property engine.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>

#include "tests/turbo_expander/trex_test_util.h"

namespace r3::test::trex {
namespace {

class TrexCheck : public ::testing::Test {
 protected:
  void SetUp() override { use_gas(); }
};

struct CheckCase {
  const char* what;
  std::function<void(Block&)> change;
  std::vector<std::string> lines;
};

// Every finding of the input check, at the dimension request (counts left
// unwritten) and at the check request.
TEST_F(TrexCheck, EveryFindingHasItsMessage) {
  const std::string two = "There may not be more than one information stream connected to the";
  const std::vector<CheckCase> cases = {
      {"no inlet", [](Block& b) { b.matin.clear(); },
       check_error("There must be exactly one material stream connected to the inlet of",
                   "the block.")},
      {"two inlets",
       [](Block& b) {
         b.matin = {"GAS", "GAS2"};
       },
       check_error("There must be exactly one material stream connected to the inlet of",
                   "the block.")},
      {"no outlet", [](Block& b) { b.matout.clear(); },
       check_error("There must be exactly one material stream connected to the outlet of",
                   "the block.")},
      {"inlet work stream", [](Block& b) { b.infin = {"WIN"}; },
       check_error("Inlet information streams are not allowed.")},
      {"two outlet work streams",
       [](Block& b) {
         b.infout = {"W1", "W2"};
       },
       check_error(two, "outlet of the block.")},
      {"IMODE 2", [](Block& b) { b.ints[0] = 2; },
       check_error("Invalid value entered for IMODE. IMODE must be either 0 or 1.")},
      {"ICURV 1", [](Block& b) { b.ints[1] = 1; },
       check_error("Invalid value entered for ICURV. ICURV must be 0.")},
      {"NPASS 51", [](Block& b) { b.ints[2] = 51; },
       check_error("Invalid value entered for NPASS. NPASS must be between 0 and 50.")},
      {"NPASS -1", [](Block& b) { b.ints[2] = -1; },
       check_error("Invalid value entered for NPASS. NPASS must be between 0 and 50.")},
      {"IPHASE 2", [](Block& b) { b.ints[3] = 2; },
       check_error("Invalid value entered for IPHASE. IPHASE must be either 0 or 1.")},
      {"NINT one short", [](Block& b) { b.ints.resize(36); },
       check_error("The size of the INT array is too small.",
                   "Please increase parameter NINT by 1.")},
      {"NINT parameters only", [](Block& b) { b.ints.resize(4); },
       check_error("The size of the INT array is too small.",
                   "Please increase parameter NINT by 33.")},
      {"NREAL short", [](Block& b) { b.reals.resize(17); },
       check_error("The size of the REAL array is too small.",
                   "NREAL must be at least 2 plus 4 times the number of non-zero components.")},
      {"pressure bounds crossed",
       [](Block& b) {
         b.reals[0] = 0.8;
         b.reals[1] = 0.5;
       },
       check_error("Pressure bounds specified in the REAL array are incorrect.",
                   "The lower bound is greater than the upper bound.")},
      {"upper bound not positive", [](Block& b) { b.reals[1] = 0.0; },
       check_error("Pressure bounds specified in the REAL array are incorrect.",
                   "The lower bound is greater than the upper bound.")},
  };
  for (const CheckCase& c : cases) {
    Block b = make_trex(0, 1);
    c.change(b);
    b.connect_streams();
    b.nf = b.ny = b.nz = -5;
    EXPECT_EQ(b.call(KODE_DIMEN), 1) << c.what;
    EXPECT_EQ(b.ny, -5) << c.what;
    EXPECT_EQ(b.nf, -5) << c.what;
    EXPECT_EQ(b.nz, -5) << c.what;
    EXPECT_EQ(messages(), c.lines) << c.what;
    EXPECT_EQ(b.call(KODE_CHECK), 1) << c.what;
    EXPECT_EQ(messages(), c.lines) << c.what;
    // Whatever the host asks next of such a block, nothing is written past
    // its (empty) arrays and nothing crashes.
    b.nf = b.ny = b.nz = 0;
    for (int32_t kode : std::initializer_list<int32_t>{KODE_NAMES, KODE_INIT, KODE_RESID,
                                                       KODE_JACOB, KODE_STRMUPD, KODE_REPORT}) {
      b.call(kode);
    }
    messages();
    report();
  }
}

// Missing parameters take their defaults; out-of-range ratio bounds too.
TEST_F(TrexCheck, DefaultsPass) {
  Block b = make_trex(1, 0);
  b.ints = std::vector<int32_t>(37, kImiss);
  b.reals[0] = kRmiss;
  b.reals[1] = kRmiss;
  EXPECT_EQ(b.call(KODE_CHECK), 0);
  b.reals[0] = -1.0;  // not positive: 0.1
  b.reals[1] = 5.0;   // above 1: 1.0
  EXPECT_EQ(b.call(KODE_CHECK), 0);
  EXPECT_EQ(b.dimension(), 0);
  EXPECT_EQ(b.ny, 2 * 7 + 11 + 2 * 29);  // IPHASE missing: two-phase
  EXPECT_TRUE(messages().empty());
}

// --- Initialisation ------------------------------------------------------------

class TrexInit : public ::testing::Test {
 protected:
  void SetUp() override { use_gas(); }
};

std::vector<std::string> ini_error(const std::string& text) {
  return {"", " Error in R3X_INI:", " " + text};
}

TEST_F(TrexInit, FixedSpecificationsWithoutUsableValues) {
  struct Case {
    const char* what;
    std::function<void(Block&)> specs;
    std::string text;
  };
  const std::vector<Case> cases = {
      {"outlet pressure missing", [](Block& b) { b.fix(var(b, "EXP.PRESSURE")); },
       "The outlet pressure is fixed but its value is missing, negative or above inlet pressure."},
      {"outlet pressure above the inlet's", [](Block& b) { fix(b, "EXP.PRESSURE", 7.0e6); },
       "The outlet pressure is fixed but its value is missing, negative or above inlet pressure."},
      {"outlet pressure negative", [](Block& b) { fix(b, "EXP.PRESSURE", -1.0); },
       "The outlet pressure is fixed but its value is missing, negative or above inlet pressure."},
      {"indicated power missing", [](Block& b) { b.fix(var(b, "IHP")); },
       "The indicated horsepower is fixed but its value is missing."},
      {"outlet enthalpy missing", [](Block& b) { b.fix(var(b, "EXP.ENTHALPY")); },
       "The actual outlet enthalpy is fixed but its value is missing."},
      {"brake power missing", [](Block& b) { b.fix(var(b, "BHP")); },
       "The brake horsepower is fixed but its value is missing."},
      {"outlet temperature negative", [](Block& b) { fix(b, "OUT_PROD_TEMP", -3.0); },
       "The actual outlet temperature is fixed but its value is missing or negative."},
      {"work stream missing", [](Block& b) { b.fix(var(b, "SHAFT.VALUE")); },
       "The outlet work stream is fixed but its value is missing."},
  };
  for (const Case& c : cases) {
    Block b = make_trex(1, 1);
    EXPECT_EQ(prepare_with(b, c.specs), 1) << c.what;
    EXPECT_EQ(messages(), ini_error(c.text)) << c.what;
  }
  // The two-phase formulation's outlet temperature is the actual-outlet set's.
  Block b = make_trex(0, 0);
  EXPECT_EQ(prepare_with(b, [](Block& x) { fix(x, "OUT_TEMP", 0.0); }), 1);
  EXPECT_EQ(
      messages(),
      ini_error("The actual outlet temperature is fixed but its value is missing or negative."));
}

TEST_F(TrexInit, InletStreamFindings) {
  const int n = 4;
  struct Case {
    const char* what;
    std::function<void(Block&)> spoil;
    std::vector<std::string> lines;
  };
  auto line = [](const char* t) { return std::vector<std::string>{"", std::string(" ") + t}; };
  auto join = [](std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  const auto flow = line("Error in R3X_INI_INPROPS: Invalid total molar flow.");
  const auto pres = line("Error in R3X_INI_INPROPS: Invalid inlet pressure.");
  const auto enth = line("Error in R3X_INI_INPROPS: Invalid inlet enthalpy.");
  const std::vector<Case> cases = {
      {"zero flow", [&](Block& b) { b.smatin[n] = 0.0; }, flow},
      {"missing flow", [&](Block& b) { b.smatin[n] = kRmiss; }, flow},
      {"negative pressure", [&](Block& b) { b.smatin[n + 2] = -1.0; }, pres},
      {"missing enthalpy", [&](Block& b) { b.smatin[n + 3] = kRmiss; }, enth},
      {"all three",
       [&](Block& b) {
         b.smatin[n] = -1.0;
         b.smatin[n + 2] = kRmiss;
         b.smatin[n + 3] = -kRmiss;
       },
       join(join(flow, pres), enth)},
  };
  for (const Case& c : cases) {
    Block b = make_trex(1, 0);
    c.spoil(b);
    EXPECT_EQ(prepare_with(b, nullptr), 1) << c.what;
    EXPECT_EQ(messages(), c.lines) << c.what;
  }
  // Temperature missing: the inlet is flashed from its pressure and enthalpy.
  {
    Block b = make_trex(1, 0);
    b.smatin[n + 1] = kRmiss;
    EXPECT_EQ(prepare_with(b, standard_specs), 0);
    EXPECT_TRUE(messages().empty());
    EXPECT_NEAR(yv(b, "TIN"), 320.0, 1e-6);
  }
  // A flash that fails leaves no temperature.
  {
    Block b = make_trex(1, 0);
    b.smatin[n + 1] = kRmiss;
    host::fail_operation("FLSH_FLASH");
    EXPECT_EQ(prepare_with(b, standard_specs), 1);
    EXPECT_EQ(messages(),
              join(line("Warning in R3X_INI_INPROPS: Inlet stream flash failed to converge."),
                   line("Error in R3X_INI_INPROPS: Inlet temperature calculation failed.")));
  }
}

// A phase-equilibrium set that cannot be initialised (a negative component
// flow) is reported once per set, and the initialisation goes on.
TEST_F(TrexInit, SetInitialisationFailureIsReportedOnce) {
  Block b = make_trex(0, 0);
  b.smatin[1] = -0.01;
  ASSERT_EQ(prepare_with(b, standard_specs), 0);
  EXPECT_EQ(messages(),
            (std::vector<std::string>{
                "", " Warning in R3X_INI: Isentropic outlet state could not be initialised.", "",
                " Warning in R3X_INI: Actual outlet state could not be initialised."}));
}

double cp_vapour(double T, double P, const std::vector<double>& x) {
  const int32_t idx[4] = {1, 2, 3, 4};
  const thermo::Model* m = host::model_for(2, {idx, x.size()});
  double cp = 0.0;
  m->heat_capacity(thermo::Phase::Vapour, T, P, x, cp);
  return cp;
}

// Nothing specified: the outlet pressure is the middle of the ratio bounds,
// reached with the ideal-gas temperature estimate (one pass).
TEST_F(TrexInit, NoSpecificationUsesTheMiddleOfTheRatioBounds) {
  for (auto [lo, hi] : {std::pair{0.1, 1.0}, std::pair{0.2, 0.6}}) {
    Block b = make_trex(1, 0);
    b.reals[0] = lo;
    b.reals[1] = hi;
    ASSERT_EQ(prepare_with(b, nullptr), 0);
    EXPECT_DOUBLE_EQ(yv(b, "EXP.PRESSURE"), 0.5 * (lo + hi) * kPin);
    const double cp = cp_vapour(320.0, kPin, kLean);
    EXPECT_NEAR(yv(b, "TSOUT"), 320.0 * std::pow(0.5 * (lo + hi), 8314.4 / cp), 1e-9);
    EXPECT_EQ(yv(b, "SEFF"), 0.85);
    EXPECT_EQ(yv(b, "MEFF"), 0.9);
  }
}

// One pass with the outlet pressure given: the ideal-gas estimate stands.
TEST_F(TrexInit, OnePassTakesTheIdealGasEstimate) {
  Block b = make_trex(1, 0, kLean, 320.0, 1, 1);
  ASSERT_EQ(prepare_with(b, standard_specs), 0);
  const double cp = cp_vapour(320.0, kPin, kLean);
  EXPECT_NEAR(yv(b, "TSOUT"), 320.0 * std::pow(0.5, 8314.4 / cp), 1e-9);
  // More passes bracket the isentropic temperature: its entropy matches the inlet's.
  Block c = make_trex(1, 0, kLean, 320.0, 1, 10);
  ASSERT_EQ(prepare_with(c, standard_specs), 0);
  const int32_t idx[4] = {1, 2, 3, 4};
  const thermo::Model* m = host::model_for(2, {idx, 4});
  double sin = 0.0, sout = 0.0;
  m->entropy(thermo::Phase::Vapour, 320.0, kPin, kLean, sin);
  m->entropy(thermo::Phase::Vapour, yv(c, "TSOUT"), 3.0e6, kLean, sout);
  EXPECT_NEAR(sout, sin, 0.01 * std::fabs(sin) / 18.0);
}

// Efficiencies outside (0, 1] are not used by the initialisation.
TEST_F(TrexInit, UnusableEfficienciesAreReplaced) {
  for (double bad : {0.0, 1.5, -0.2}) {
    Block b = make_trex(1, 0);
    ASSERT_EQ(prepare_with(b,
                           [&](Block& x) {
                             fix(x, "EXP.PRESSURE", 3.0e6);
                             guess(x, "SEFF", bad);
                             guess(x, "MEFF", bad);
                           }),
              0);
    EXPECT_EQ(yv(b, "SEFF"), bad);  // the user's value stays in Y
    EXPECT_NEAR(yv(b, "DHACT") / yv(b, "DHISEN"), 0.85, 1e-12);
    EXPECT_NEAR(yv(b, "BHP") / yv(b, "IHP"), 0.9, 1e-12);
  }
}

// A fixed work stream ranks above a brake power that is only a guess.
TEST_F(TrexInit, FixedWorkStreamStandsForTheBrakePower) {
  Block a = make_trex(1, 1);
  ASSERT_EQ(prepare_with(a,
                         [](Block& x) {
                           fix(x, "SHAFT.VALUE", -1.0e6);
                           guess(x, "BHP", -5.0e5);
                         }),
            0);
  Block b = make_trex(1, 1);
  ASSERT_EQ(prepare_with(b, [](Block& x) { fix(x, "BHP", -1.0e6); }), 0);
  EXPECT_DOUBLE_EQ(yv(a, "EXP.PRESSURE"), yv(b, "EXP.PRESSURE"));
  EXPECT_EQ(yv(a, "BHP"), -5.0e5);  // the user's guess itself stays
  EXPECT_DOUBLE_EQ(yv(a, "IHP"), yv(b, "IHP"));
}

TEST_F(TrexInit, NoPassesGivesRoughValues) {
  for (int32_t iphase : {0, 1}) {
    Block b = make_trex(iphase, 1, kLean, 320.0, 1, 0);
    ASSERT_EQ(prepare_with(b, nullptr), 0);
    EXPECT_EQ(yv(b, "EXP.PRESSURE"), 0.5 * kPin);
    EXPECT_DOUBLE_EQ(yv(b, "EXP.ENTHALPY"), 1.01 * yv(b, "GAS.ENTHALPY"));
    EXPECT_EQ(yv(b, "SHAFT.VALUE"), -1.0e5);
    EXPECT_EQ(yv(b, "DHACT"), -5.0e5);
    EXPECT_EQ(yv(b, "SEFF"), 0.85);
    EXPECT_EQ(yv(b, "MEFF"), 1.0);
    EXPECT_EQ(yv(b, "TIN"), 200.0);
    EXPECT_EQ(yv(b, "SMOL"), -1.0e5);
    EXPECT_EQ(yv(b, "HSOUT"), yv(b, "EXP.ENTHALPY"));
    if (iphase == 0) {
      EXPECT_EQ(yv(b, "ISEN_VFRAC"), 0.9);
      EXPECT_EQ(yv(b, "OUT_TEMP"), 160.0);
      EXPECT_EQ(yv(b, "OUT_X_N2"), 0.25);
    } else {
      EXPECT_EQ(yv(b, "TSOUT"), 160.0);
    }
  }
}

// The outlet stream takes the inlet's bounds and scales; a given outlet scale
// is replaced, with a warning.
TEST_F(TrexInit, OutletStreamFromTheInlet) {
  Block b = make_trex(1, 0);
  ASSERT_EQ(prepare_with(b,
                         [](Block& x) {
                           standard_specs(x);
                           x.yscl[static_cast<size_t>(var(x, "EXP.PRESSURE") - 1)] = 5.0;
                         }),
            0);
  EXPECT_EQ(messages(), (std::vector<std::string>{
                            "", " WARNING IN R3X_MSTRM_IN2OUT:",
                            " Stream variable scale factors entered via Y sentence are ignored"}));
  auto at = [&](const std::vector<double>& a, const char* n) {
    return a[static_cast<size_t>(var(b, n) - 1)];
  };
  EXPECT_EQ(at(b.yscl, "EXP.PRESSURE"), at(b.yscl, "GAS.PRESSURE"));
  EXPECT_EQ(at(b.yub, "EXP.PRESSURE"), kPin);
  EXPECT_EQ(at(b.ylb, "EXP.PRESSURE"), at(b.ylb, "GAS.PRESSURE"));
  EXPECT_EQ(at(b.y, "EXP.TOTAL_FLOW"), at(b.y, "GAS.TOTAL_FLOW"));
  EXPECT_EQ(at(b.y, "EXP.FLOW_C3H8"), at(b.y, "GAS.FLOW_C3H8"));
  EXPECT_EQ(at(b.ysbnd, "EXP.ENTHALPY"), at(b.ysbnd, "GAS.ENTHALPY"));
  EXPECT_NEAR(at(b.y, "FRAC_OUT_C2H6"), 0.08, 1e-15);
}

// --- Solved cases against a hand calculation -------------------------------------

const thermo::Model& engine() {
  static const int32_t idx[4] = {1, 2, 3, 4};
  return *host::model_for(2, {idx, 4});
}

double vapour_t_from_h(double h, double P, const std::vector<double>& x, double T) {
  for (int i = 0; i < 100; ++i) {
    double hv = 0.0, cp = 0.0;
    engine().enthalpy(thermo::Phase::Vapour, T, P, x, hv);
    engine().heat_capacity(thermo::Phase::Vapour, T, P, x, cp);
    const double d = (hv - h) / cp;
    T -= d;
    if (std::fabs(d) < 1e-10) break;
  }
  return T;
}

struct Hand {
  double hin, hs, hout, ihp, bhp, tout, beta;
};

// h_out = h_in - eta (h_in - h_s), h_s at (P_out, s_in), from the engine.
Hand hand(double F, double hin, double Pin, double Pout, double eta, double meff,
          const std::vector<double>& z, bool two_phase) {
  Hand r{};
  r.hin = hin;
  const double tin = vapour_t_from_h(hin, Pin, z, 300.0);
  double sin = 0.0;
  engine().entropy(thermo::Phase::Vapour, tin, Pin, z, sin);
  if (two_phase) {
    thermo::FlashResult fs, fh;
    EXPECT_NE(thermo::flash_ps(engine(), Pout, sin, z, 250.0, fs), thermo::Status::Failed);
    r.hs = fs.H;
    r.hout = hin - eta * (hin - r.hs);
    EXPECT_NE(thermo::flash_ph(engine(), Pout, r.hout, z, 250.0, fh), thermo::Status::Failed);
    r.tout = fh.T;
    r.beta = fh.beta;
  } else {
    double ts = tin, s = 0.0, cp = 0.0;
    for (int i = 0; i < 100; ++i) {
      engine().entropy(thermo::Phase::Vapour, ts, Pout, z, s);
      engine().heat_capacity(thermo::Phase::Vapour, ts, Pout, z, cp);
      const double d = (s - sin) / (cp / ts);
      ts -= d;
      if (std::fabs(d) < 1e-10) break;
    }
    engine().enthalpy(thermo::Phase::Vapour, ts, Pout, z, r.hs);
    r.hout = hin - eta * (hin - r.hs);
    r.tout = vapour_t_from_h(r.hout, Pout, z, ts);
    r.beta = 1.0;
  }
  r.ihp = F * (r.hout - hin);
  r.bhp = r.ihp * meff;
  return r;
}

// The outlet-temperature search reaches outlet pressures above the middle of
// the ratio bounds: 75 % of the inlet pressure here.
TEST_F(TrexInit, TemperatureSearchCoversTheWholeRatioRange) {
  Block b = make_trex(1, 0, kLean, 320.0, 1, 10);
  ASSERT_EQ(b.dimension(), 0);
  const double F = 1.0, hin = b.smatin[4 + 3] * b.smatin[4 + 8];
  const Hand h = hand(F, hin, kPin, 4.5e6, 0.82, 0.97, kLean, false);
  ASSERT_EQ(prepare_with(b,
                         [&](Block& x) {
                           fix(x, "OUT_PROD_TEMP", h.tout);
                           fix(x, "SEFF", 0.82);
                           fix(x, "MEFF", 0.97);
                         }),
            0);
  EXPECT_NEAR(yv(b, "EXP.PRESSURE"), 4.5e6, 0.01 * 4.5e6);
  EXPECT_NEAR(yv(b, "BHP"), h.bhp, 0.02 * std::fabs(h.bhp));
}

// With the power given, the vapour formulation's isentropic and actual
// outlet temperatures follow from their enthalpies during the pressure
// search, so every block variable starts next to the solution.
TEST_F(TrexInit, PowerGivenStartsNextToTheSolution) {
  Block b = make_trex(1, 0, kLean, 320.0, 1, 10);
  ASSERT_EQ(b.dimension(), 0);
  const double hin = b.smatin[4 + 3] * b.smatin[4 + 8];
  const Hand h = hand(1.0, hin, kPin, 3.0e6, 0.82, 0.97, kLean, false);
  ASSERT_EQ(prepare_with(b,
                         [&](Block& x) {
                           fix(x, "IHP", h.ihp);
                           fix(x, "SEFF", 0.82);
                           fix(x, "MEFF", 0.97);
                         }),
            0);
  EXPECT_NEAR(yv(b, "EXP.PRESSURE"), 3.0e6, 0.01 * 3.0e6);
  EXPECT_NEAR(yv(b, "OUT_PROD_TEMP"), h.tout, 0.5);
  EXPECT_NEAR(yv(b, "HSOUT"), h.hs, 1e-9 * std::fabs(h.hs));
  EXPECT_NEAR(yv(b, "EXP.ENTHALPY"), h.hout, 1e-9 * std::fabs(h.hout));
  EXPECT_LT(yv(b, "TSOUT"), yv(b, "OUT_PROD_TEMP"));
  EXPECT_GT(yv(b, "TSOUT"), 0.9 * h.tout);
}

struct Example {
  const char* file;
  const char* blk;
  const char* feed;
  const char* prod;
  const char* shaft;
  double pout, eta, meff;
  std::vector<double> z;
  bool two_phase;
};

const std::vector<Example>& examples() {
  static const std::vector<Example> v = {
      {"trex/vapour_outlet_pressure.toml", "X1", "GAS", "EXPGAS", "SHAFT", 3.0e6, 0.82, 0.97, kLean,
       false},
      {"trex/two_phase_outlet.toml", "X2", "GAS", "COLD", "SHAFT", 2.0e6, 0.85, 0.97, kRich, true},
  };
  return v;
}

TEST(TrexSolved, ExamplesAgreeWithTheHandCalculation) {
  for (const Example& ex : examples()) {
    const CaseRun r = run_case(example_path(ex.file), {{"R3TREX", R3TREX}});
    ASSERT_EQ(r.outcome, host::Outcome::Solved) << ex.file << ": " << r.error;
    EXPECT_LE(r.solve.iterations, 4) << ex.file;
    const std::string b = std::string(ex.blk) + ".";
    auto v = [&](const std::string& n) { return r.value(n); };
    const double F = v(std::string(ex.feed) + ".TOTAL_FLOW");
    const double hin = v(std::string(ex.feed) + ".ENTHALPY");
    const Hand h = hand(F, hin, kPin, ex.pout, ex.eta, ex.meff, ex.z, ex.two_phase);
    const double hout = v(std::string(ex.prod) + ".ENTHALPY");
    EXPECT_NEAR(hout, h.hout, 1e-8 * std::fabs(h.hin - h.hs)) << ex.file;
    EXPECT_NEAR(v(b + "HSOUT"), h.hs, 1e-8 * std::fabs(h.hin - h.hs)) << ex.file;
    EXPECT_NEAR(v(b + "IHP"), h.ihp, 1e-8 * std::fabs(h.ihp)) << ex.file;
    EXPECT_NEAR(v(b + "BHP"), h.bhp, 1e-8 * std::fabs(h.bhp)) << ex.file;
    EXPECT_NEAR(v(std::string(ex.shaft) + ".VALUE"), h.bhp, 1e-8 * std::fabs(h.bhp)) << ex.file;
    // The efficiency recovered from the solved enthalpies.
    EXPECT_NEAR((hin - hout) / (hin - v(b + "HSOUT")), ex.eta, 1e-9) << ex.file;
    const double tout = v(ex.two_phase ? b + "OUT_TEMP" : b + "OUT_PROD_TEMP");
    EXPECT_NEAR(tout, h.tout, 1e-6) << ex.file;
    EXPECT_NEAR(r.stream(ex.prod)[4 + 1], h.tout, 1e-6) << ex.file;
    if (ex.two_phase) {
      EXPECT_NEAR(v(b + "OUT_VFRAC"), h.beta, 1e-6) << ex.file;
      EXPECT_GT(h.beta, 0.5);
      EXPECT_LT(h.beta, 0.9);
    }
    check_conformance(*r.flowsheet->blocks()[0]);
  }
}

// Two expanders of different formulations share the model's working storage
// and solve together; each stage agrees with its own hand calculation.
TEST(TrexSolved, StagesOfBothFormulationsInSeries) {
  const CaseRun r =
      run_case(example_path("trex/series_vapour_then_two_phase.toml"), {{"R3TREX", R3TREX}});
  ASSERT_EQ(r.outcome, host::Outcome::Solved) << r.error;
  EXPECT_LE(r.solve.iterations, 4);
  const double F = r.value("GAS.TOTAL_FLOW");
  const Hand a = hand(F, r.value("GAS.ENTHALPY"), 8.0e6, 5.0e6, 0.80, 0.97, kRich, false);
  EXPECT_NEAR(r.value("X1.BHP"), a.bhp, 1e-6 * std::fabs(a.bhp));
  EXPECT_NEAR(r.value("MID.ENTHALPY"), a.hout, 1e-6 * std::fabs(a.hin - a.hs));
  const Hand b = hand(F, r.value("MID.ENTHALPY"), 5.0e6, 1.5e6, 0.85, 0.97, kRich, true);
  EXPECT_NEAR(r.value("X2.BHP"), b.bhp, 1e-6 * std::fabs(b.bhp));
  EXPECT_NEAR(r.value("X2.OUT_TEMP"), b.tout, 1e-4);
  EXPECT_NEAR(r.value("X2.OUT_VFRAC"), b.beta, 1e-6);
  ASSERT_EQ(r.flowsheet->blocks().size(), 2u);
  for (auto& blk : r.flowsheet->blocks()) check_conformance(*blk);
}

// Each specification the initialisation knows, starting from the solved
// outlet pressure case's answer, solves back to it: the power and enthalpy
// branches search the outlet pressure, the temperature branch too.
TEST(TrexSolved, EverySpecificationSolvesBackToTheSameState) {
  for (const Example& ex : examples()) {
    const CaseRun base = run_case(example_path(ex.file), {{"R3TREX", R3TREX}});
    ASSERT_EQ(base.outcome, host::Outcome::Solved) << ex.file;
    const std::string b = std::string(ex.blk) + ".";
    const std::string tname = ex.two_phase ? "OUT_TEMP" : "OUT_PROD_TEMP";
    const std::map<std::string, double> specs = {
        {"IHP", base.value(b + "IHP")},
        {"\"" + std::string(ex.prod) + ".ENTHALPY\"",
         base.value(std::string(ex.prod) + ".ENTHALPY")},
        {"BHP", base.value(b + "BHP")},
        {tname, base.value(b + tname)},
        {"\"" + std::string(ex.shaft) + ".VALUE\"", base.value(std::string(ex.shaft) + ".VALUE")},
    };
    std::ifstream in(example_path(ex.file));
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string fixline = "fix = { \"" + std::string(ex.prod) + ".PRESSURE\" = " +
                                (ex.pout == 3.0e6 ? std::string("3.0e6") : std::string("2.0e6"));
    const size_t at = text.find(fixline);
    ASSERT_NE(at, std::string::npos) << ex.file;
    for (const auto& [name, value] : specs) {
      char num[64];
      std::snprintf(num, sizeof num, "%.17g", value);
      std::string t = text;
      t.replace(at, fixline.size(), "fix = { " + name + " = " + num);
      const std::string path = ::testing::TempDir() + "trex_spec.toml";
      std::ofstream(path) << t;
      const CaseRun r = run_case(path, {{"R3TREX", R3TREX}});
      ASSERT_EQ(r.outcome, host::Outcome::Solved) << ex.file << " " << name << ": " << r.error;
      EXPECT_LE(r.solve.iterations, 12) << ex.file << " " << name;
      EXPECT_NEAR(r.value(std::string(ex.prod) + ".PRESSURE"), ex.pout, 1e-6 * ex.pout)
          << ex.file << " " << name;
      EXPECT_NEAR(r.value(b + "BHP"), base.value(b + "BHP"),
                  1e-6 * std::fabs(base.value(b + "BHP")))
          << ex.file << " " << name;
    }
  }
}

// --- Report ---------------------------------------------------------------------

TEST(TrexReport, SolvedExamplesInSiAndEnglishUnits) {
  const CaseRun r = run_case(example_path("trex/two_phase_outlet.toml"), {{"R3TREX", R3TREX}});
  ASSERT_EQ(r.outcome, host::Outcome::Solved);
  char buf[6][64];
  auto e = [&](int i, double v) {
    std::snprintf(buf[i], sizeof buf[i], "%13.6E", v);
    return std::string(buf[i]);
  };
  const std::vector<std::string> want = {
      std::string(22, ' ') + "***       R3TREX RESULTS      ***",
      "    ISENTROPIC EFFICIENCY            " + e(0, 0.85),
      "    MECHANICAL EFFICIENCY            " + e(1, 0.97),
      "    INDICATED HORSEPOWER(W       )   " + e(2, r.value("X2.IHP")),
      "    BRAKE HORSEPOWER(W       )       " + e(3, r.value("X2.BHP")),
      "    OUTLET TEMPERATURE(K       )     " + e(4, r.value("X2.OUT_TEMP")),
      "    OUTLET PRESSURE(Pa      )        " + e(5, 2.0e6),
  };
  ASSERT_GE(r.report.size(), 8u);
  for (size_t i = 0; i < want.size(); ++i) EXPECT_EQ(r.report[i], want[i]);
  EXPECT_EQ(r.report[7].substr(0, 36), "    OUTLET VAPOR FRACTION           ");
  EXPECT_NEAR(std::stod(r.report[7].substr(36)), r.value("X2.OUT_VFRAC"), 1e-6);
}

TEST(TrexReport, VapourFormulationAndMissingPositions) {
  use_gas();
  Block b = make_trex(1, 0);
  ASSERT_EQ(prepare_with(b, standard_specs), 0);
  messages();
  ASSERT_EQ(b.call(KODE_REPORT), 0);
  const std::vector<std::string> rep = report();
  ASSERT_EQ(rep.size(), 8u);
  EXPECT_EQ(rep[1], "    ISENTROPIC EFFICIENCY             8.200000E-01");
  EXPECT_EQ(rep[7], "    OUTLET VAPOR FRACTION             1.000000E+00");
  // After a failed dimension request the efficiencies, powers and outlet
  // state print as missing.
  Block bad = make_trex(0, 0);
  bad.ints[2] = 99;
  EXPECT_EQ(bad.dimension(), 1);
  messages();
  ASSERT_EQ(bad.call(KODE_REPORT), 0);
  const std::vector<std::string> r2 = report();
  ASSERT_EQ(r2.size(), 8u);
  for (size_t i = 1; i < 8; ++i) EXPECT_EQ(r2[i].substr(37), " 1.000000E+35") << r2[i];
}

}  // namespace
}  // namespace r3::test::trex
