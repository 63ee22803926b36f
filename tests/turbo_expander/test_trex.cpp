// The turbo-expander: conformance of both formulations, the entry protocol
// and its arrays, the input check, the initialisation, the report, and
// solved cases against a hand calculation from the property engine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

#include "framework/host_services.h"
#include "host/services/context.h"
#include "tests/support/golden_text.h"
#include "tests/support/model_blocks.h"
#include "tests/support/support.h"

extern "C" void R3TREX(R3_ENTRY_PARAMS);

namespace r3::test {
namespace {

const std::vector<double> kLean = {0.85, 0.08, 0.04, 0.03};
const std::vector<double> kRich = {0.75, 0.10, 0.13, 0.02};
constexpr double kPin = 6.0e6;

void use_gas() {
  reset_host({"CH4", "C2H6", "C3H8", "N2"}, thermo::Method::PengRobinson);
}

// An expander on the lean or rich gas at (T, 60 bar). The integers: IMODE,
// ICURV, NPASS, IPHASE and room for the position store (NINT = 3 + 37).
Block make_trex(int32_t iphase, int ninfout, const std::vector<double>& flows = kLean,
                double T = 320.0, int32_t imode = 1, int32_t npass = 5) {
  Block b("X1", R3TREX);
  b.matin = {"GAS"};
  b.matout = {"EXP"};
  if (ninfout > 0) b.infout = {"SHAFT", "SHAFT2"};
  b.infout.resize(static_cast<size_t>(ninfout));
  b.ints.assign(37, 0);
  b.ints[0] = imode;
  b.ints[2] = npass;
  b.ints[3] = iphase;
  b.reals.assign(2 + 4 * flows.size(), 0.0);
  b.reals[0] = 0.1;
  b.reals[1] = 1.0;
  b.ipropset = 2;
  b.connect_streams();
  EXPECT_TRUE(b.set_material_inlet(0, flows, T, kPin));
  return b;
}

// Outlet pressure and both efficiencies: the usual fixed values.
void standard_specs(Block& b) {
  fix(b, "EXP.PRESSURE", 3.0e6);
  fix(b, "SEFF", 0.82);
  fix(b, "MEFF", 0.97);
}

// An expander as a golden text's case heading describes it: the lean gas at
// 320 K; "two_phase" for that formulation, "work" for an outlet work stream,
// "imode" and "npass" when not 1 and 5.
Block block_of(const CaseHeading& c) {
  return make_trex(c.has("two_phase") ? 0 : 1, c.has("work") ? 1 : 0, kLean, 320.0,
                   static_cast<int32_t>(c.number("imode", 1)),
                   static_cast<int32_t>(c.number("npass", 5)));
}

class Trex : public ::testing::Test {
 protected:
  void SetUp() override { use_gas(); }
};

// Names (against the golden text), pattern, Jacobian against differences at
// the initial point of a fully specified block, for the golden text's shapes.
// The two-phase formulation is checked where both outlet states lie inside
// the two-phase region (the sets' vapour fraction has a kink at 0 and 1,
// which central differences cannot follow): the rich gas from 240 K, and
// liquid methane from 180 K.
TEST(TrexShapes, Conformance) {
  const auto one_case = [&](const std::string& h, const CaseHeading& c, Transcript& t) {
    const bool vapour = c.has("vapour");
    std::vector<double> flows = vapour ? kLean : kRich;
    double T = vapour ? 320.0 : 240.0;
    if (c.has("methane")) {
      reset_host({"CH4"}, thermo::Method::PengRobinson);
      flows = {1.0};
      T = vapour ? T : 180.0;
    } else {
      use_gas();
    }
    Block b = make_trex(vapour ? 1 : 0, c.has("work") ? 1 : 0, flows, T);
    ASSERT_EQ(prepare_with(b, standard_specs), 0) << h << ::testing::PrintToString(messages());
    check_conformance(b);
    t.heading(h);
    t.add(names_of(b));
  };
  EXPECT_TRUE(run_golden_cases("trex/names", one_case));
}

// The INT array of the last call, cut to `g_cut` words when that is not
// negative: the entry works on an exact-size copy, so that the sanitizer
// build catches any access past NINT.
std::vector<int32_t> g_int;
int g_cut = -1;
extern "C" void trex_own_int(R3_ENTRY_PARAMS) {
  g_int.assign(INT, INT + (g_cut < 0 ? *NINT : g_cut));
  int32_t nint = static_cast<int32_t>(g_int.size());
  NINT = &nint;
  INT = g_int.data();
  R3TREX(R3_ENTRY_ARGS);
}

// The dimension request writes the position store into INT: the first block
// variable, and for the two-phase formulation the positions of its two
// phase-equilibrium sets (the isentropic set from the eleventh block variable
// on, then the actual-outlet set); nothing after the store.
TEST_F(Trex, DimensionWritesThePositionStoreIntoInt) {
  Lines all;
  for (int32_t iphase : {0, 1}) {
    Block b = make_trex(iphase, 1 - iphase);
    b.entry = trex_own_int;
    g_cut = -1;
    ASSERT_EQ(b.call(KODE_DIMEN), 0);
    Lines l = {"NY " + std::to_string(b.ny)};
    for (size_t i = 7; i < g_int.size(); ++i) {
      l.push_back("INT " + std::to_string(i + 1) + " " + std::to_string(g_int[i]));
    }
    add_section(all, iphase ? "vapour" : "two-phase", l);
  }
  EXPECT_TRUE(matches_golden_text("trex/position_store", all));
}

// An INT array too short for the store fails the check and is never written
// (exact-size arrays under the sanitizer catch any write past NINT).
TEST_F(Trex, ShortIntIsNeitherWrittenNorReadPastItsEnd) {
  for (int len : {0, 1, 3, 5, 8, 20, 39}) {
    Block b = make_trex(0, 1);
    b.entry = trex_own_int;
    g_cut = len;
    std::vector<int32_t> before = {1, 37, 18};
    before.insert(before.end(), b.ints.begin(), b.ints.end());
    before.resize(static_cast<size_t>(len));
    for (int32_t kode : {+KODE_DIMEN, +KODE_NAMES, +KODE_INIT, +KODE_RESID, +KODE_JACOB,
                         +KODE_STRMUPD, +KODE_REPORT, +KODE_CHECK, 55}) {
      const int32_t istat = b.call(kode);
      EXPECT_TRUE(kode != KODE_DIMEN || istat == 1) << len;
      EXPECT_EQ(g_int, before) << len << " " << kode;
    }
  }
  messages();
  report();
}

// Arrays smaller than the block's dimensions are refused, not written past.
TEST_F(Trex, ArraysSmallerThanTheDimensionsAreRefused) {
  for (int iphase : {0, 1}) {
    Block b = make_trex(iphase, 1);
    ASSERT_EQ(prepare_with(b, standard_specs), 0);
    messages();
    b.f.resize(static_cast<size_t>(--b.nf));
    EXPECT_EQ(b.call(KODE_RESID), 1);
    b.dfdy.resize(static_cast<size_t>(--b.nz));
    EXPECT_EQ(b.call(KODE_JACOB), 1);
    --b.ny;
    for (auto* v : {&b.y, &b.ylb, &b.yub, &b.yscl, &b.ysbnd}) v->resize(static_cast<size_t>(b.ny));
    b.iyattr.resize(static_cast<size_t>(b.ny));
    EXPECT_EQ(b.call(KODE_INIT), 1);
    EXPECT_EQ(b.call(KODE_STRMUPD), 1);
    EXPECT_EQ(b.call(KODE_REPORT), 0);
    const Lines m = messages();
    ASSERT_FALSE(m.empty());
    EXPECT_EQ(m[1], " Error in R3TREX: the block's arrays do not match its dimensions or streams.");
  }
  report();
}

// Pressures and temperatures reach the property rows as magnitudes; the
// Jacobian follows the sign.
TEST_F(Trex, NegativeTemperatureReachesThePropertyRowsAsItsMagnitude) {
  Block b = make_trex(1, 0);
  ASSERT_EQ(prepare_with(b, standard_specs), 0);
  const std::vector<double> f0 = residuals_at(b, b.y);
  std::vector<double> y = b.y;
  for (const char* t : {"TIN", "TSOUT", "OUT_PROD_TEMP"}) y[var(b, t) - 1] *= -1.0;
  const std::vector<double> f1 = residuals_at(b, y);
  for (size_t i = 0; i < f0.size(); ++i)
    EXPECT_DOUBLE_EQ(f0[i], f1[i]) << b.eqn_name(static_cast<int>(i) + 1);
  b.y = y;
  check_conformance(b, ConformanceOptions{.extra_points = 0});
}

// Outside [0, 1] the isentropic vapour fraction is clamped in ENTR_OUT and
// its derivative there is zero.
TEST_F(Trex, EntropyBalanceClampsTheVapourFraction) {
  Block b = make_trex(0, 0);
  ASSERT_EQ(prepare_with(b, standard_specs), 0);
  const int row = 5 + 10;  // ENTR_OUT
  ASSERT_EQ(b.eqn_name(row), "X1.ENTR_OUT");
  const int beta = var(b, "ISEN_VFRAC");
  for (double bv : {1.3, -0.4, 0.25}) {
    yv(b, "ISEN_VFRAC") = bv;
    const double sm = yv(b, "SMOL"), sv = yv(b, "SV"), sl = yv(b, "SL");
    const std::vector<double> f = residuals_at(b, b.y);
    EXPECT_DOUBLE_EQ(f[row - 1], sm - sl - std::clamp(bv, 0.0, 1.0) * (sv - sl));
    b.call(KODE_JACOB);
    for (int k = 0; k < b.nz; ++k) {
      if (b.ijrow[k] == row && b.ijcol[k] == beta) {
        EXPECT_DOUBLE_EQ(b.dfdy[k], bv > 1.0 || bv < 0.0 ? 0.0 : sl - sv);
      }
    }
  }
}

// The stream update writes the sets' per-component arrays into REAL, and the
// input check reads them back.
TEST_F(Trex, SavedSetArraysGoThroughReal) {
  Block b = make_trex(0, 0);
  ASSERT_EQ(prepare_with(b, standard_specs), 0);
  ASSERT_EQ(b.call(KODE_STRMUPD), 0);
  for (size_t i = 0; i < 4; ++i) {
    // Equilibrium ratios, overall fractions of the isentropic set, and of
    // the actual-outlet set.
    EXPECT_GT(b.reals[2 + 4 * i], 0.0);
    EXPECT_NEAR(b.reals[2 + 4 * i + 1], kLean[i], 1e-12);
    EXPECT_NEAR(b.reals[2 + 4 * i + 3], kLean[i], 1e-12);
  }
  // A REAL array too short for them is left alone.
  Block s = make_trex(0, 0);
  ASSERT_EQ(prepare_with(s, standard_specs), 0);
  s.reals.resize(5);
  EXPECT_EQ(s.call(KODE_STRMUPD), 0);
  EXPECT_EQ(s.reals[2], 0.0);
  // The vapour formulation writes nothing there.
  Block v = make_trex(1, 0);
  ASSERT_EQ(prepare_with(v, standard_specs), 0);
  ASSERT_EQ(v.call(KODE_STRMUPD), 0);
  for (size_t i = 2; i < v.reals.size(); ++i) EXPECT_EQ(v.reals[i], 0.0);
  messages();
}

// Every finding of the input check, at the dimension request (counts left
// unwritten) and at the check request, for the golden text's cases: stream
// counts, parameters "int K V" and "real K V" by position, array lengths.
TEST_F(Trex, EveryCheckFindingHasItsMessage) {
  const auto one_case = [&](const std::string& h, const CaseHeading& c, Transcript& t) {
    Block b = make_trex(0, 1);
    for (auto [key, v] : {std::pair{"matin", &b.matin}, std::pair{"matout", &b.matout},
                          std::pair{"infin", &b.infin}, std::pair{"infout", &b.infout}}) {
      v->resize(static_cast<size_t>(c.number(key, static_cast<double>(v->size()))), "W2");
    }
    const auto iv = c.ints("int");
    for (size_t k = 0; k + 1 < iv.size(); k += 2) b.ints[static_cast<size_t>(iv[k])] = iv[k + 1];
    const auto rv = c.reals("real");
    for (size_t k = 0; k + 1 < rv.size(); k += 2) b.reals[static_cast<size_t>(rv[k])] = rv[k + 1];
    b.ints.resize(static_cast<size_t>(c.number("nint", static_cast<double>(b.ints.size()))));
    b.reals.resize(static_cast<size_t>(c.number("nreal", static_cast<double>(b.reals.size()))));
    b.connect_streams();
    b.nf = b.ny = b.nz = -5;
    EXPECT_EQ(b.call(KODE_DIMEN), 1) << h;
    EXPECT_EQ(std::vector<int>({b.ny, b.nf, b.nz}), std::vector<int>(3, -5)) << h;
    const Lines m = messages();
    t.heading(h);
    t.add(m);
    EXPECT_EQ(b.call(KODE_CHECK), 1) << h;
    EXPECT_EQ(messages(), m) << h;
    // Whatever the host asks next of such a block, nothing is written past
    // its (empty) arrays and nothing crashes.
    b.nf = b.ny = b.nz = 0;
    for (int32_t kode : {KODE_NAMES, KODE_INIT, KODE_RESID, KODE_JACOB, KODE_STRMUPD, KODE_REPORT})
      b.call(kode);
    messages();
    report();
  };
  EXPECT_TRUE(run_golden_cases("trex/check_findings", one_case));
}

// Missing parameters take their defaults (IPHASE missing: two-phase);
// out-of-range ratio bounds too.
TEST_F(Trex, CheckDefaultsPass) {
  Block b = make_trex(1, 0);
  b.ints = std::vector<int32_t>(37, host::kImiss);
  b.reals[0] = b.reals[1] = kRmiss;
  EXPECT_EQ(b.call(KODE_CHECK), 0);
  b.reals[0] = -1.0;  // not positive: 0.1
  b.reals[1] = 5.0;   // above 1: 1.0
  EXPECT_EQ(b.call(KODE_CHECK), 0);
  EXPECT_EQ(b.dimension(), 0);
  EXPECT_EQ(b.ny, 2 * 7 + 11 + 2 * 29);
  EXPECT_TRUE(messages().empty());
}

// Fixed quantities without usable values, and spoilt inlet streams: each
// finding of the golden text's cases with its message and status.
TEST_F(Trex, InitialisationFindings) {
  const auto one_case = [&](const std::string& h, const CaseHeading& c, Transcript& t) {
    Block b = block_of(c);
    const auto flow = c.reals("flow");  // a component flow by position
    if (!flow.empty()) b.smatin[static_cast<size_t>(flow[0])] = flow[1];
    t.heading(h);
    t.add("istat " + std::to_string(initialise_with(b, c)));
    t.add(messages());
  };
  EXPECT_TRUE(run_golden_cases("trex/init_findings", one_case));
  // Temperature missing: the inlet is flashed from its pressure and enthalpy.
  Block b = make_trex(1, 0);
  b.smatin[4 + 1] = kRmiss;
  EXPECT_EQ(prepare_with(b, standard_specs), 0);
  EXPECT_TRUE(messages().empty());
  EXPECT_NEAR(yv(b, "TIN"), 320.0, 1e-6);
}

const thermo::Model& engine() {
  return test::engine(thermo::Method::PengRobinson, 4);
}

// Nothing specified: the outlet pressure is the middle of the ratio bounds,
// reached with the ideal-gas temperature estimate (one pass).
TEST_F(Trex, NothingFixedUsesTheMiddleOfTheRatioBounds) {
  for (auto [lo, hi] : {std::pair{0.1, 1.0}, std::pair{0.2, 0.6}}) {
    Block b = make_trex(1, 0);
    b.reals[0] = lo;
    b.reals[1] = hi;
    ASSERT_EQ(prepare_with(b, nullptr), 0);
    EXPECT_DOUBLE_EQ(yv(b, "EXP.PRESSURE"), 0.5 * (lo + hi) * kPin);
    EXPECT_NEAR(
        yv(b, "TSOUT"),
        320.0 * std::pow(0.5 * (lo + hi), 8314.4 / monitor(false, 2, kLean, 320.0, kPin).cp), 1e-9);
    EXPECT_EQ(yv(b, "SEFF"), 0.85);
    EXPECT_EQ(yv(b, "MEFF"), 0.9);
  }
}

// One pass with the outlet pressure given: the ideal-gas estimate stands.
TEST_F(Trex, OnePassTakesTheIdealGasEstimate) {
  Block b = make_trex(1, 0, kLean, 320.0, 1, 1);
  ASSERT_EQ(prepare_with(b, standard_specs), 0);
  EXPECT_NEAR(yv(b, "TSOUT"),
              320.0 * std::pow(0.5, 8314.4 / monitor(false, 2, kLean, 320.0, kPin).cp), 1e-9);
  // More passes bracket the isentropic temperature: its entropy matches the inlet's.
  Block c = make_trex(1, 0, kLean, 320.0, 1, 10);
  ASSERT_EQ(prepare_with(c, standard_specs), 0);
  double sin = 0.0, sout = 0.0;
  engine().entropy(thermo::Phase::Vapour, 320.0, kPin, kLean, sin);
  engine().entropy(thermo::Phase::Vapour, yv(c, "TSOUT"), 3.0e6, kLean, sout);
  EXPECT_NEAR(sout, sin, 0.01 * std::fabs(sin) / 18.0);
}

// The initial points of the golden text's cases and their messages (the
// notes there say why).
TEST_F(Trex, InitialPoints) {
  const auto one_case = [&](const std::string& h, const CaseHeading& c, Transcript& t) {
    Block b = block_of(c);
    const int32_t st = !c.has("user") ? initialise_with(b, c) : prepare_with(b, [](Block& x) {
      standard_specs(x);
      x.ylb[var(x, "SEFF") - 1] = 0.5;
      x.yscl[var(x, "DHACT") - 1] = 123.0;
      x.ysbnd[var(x, "TIN") - 1] = 0.3;
      x.yscl[var(x, "EXP.PRESSURE") - 1] = 5.0;
    });
    ASSERT_EQ(st, 0) << h;
    t.heading(h);
    add_section(t.lines, "messages", messages());
    add_section(t.lines, "point", block_state(b));
  };
  EXPECT_TRUE(run_golden_cases("trex/initial_points", one_case));
}

// The vapour's temperature at P where its enthalpy (or entropy) is `target`,
// by Newton's method: dh/dT = cp, ds/dT = cp / T.
double vapour_t(bool entropy, double target, double P, const std::vector<double>& x, double T) {
  for (int i = 0; i < 100; ++i) {
    double v = 0.0, cp = 0.0;
    if (entropy) engine().entropy(thermo::Phase::Vapour, T, P, x, v);
    if (!entropy) engine().enthalpy(thermo::Phase::Vapour, T, P, x, v);
    engine().heat_capacity(thermo::Phase::Vapour, T, P, x, cp);
    const double d = (v - target) / (entropy ? cp / T : cp);
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
  const double tin = vapour_t(false, hin, Pin, z, 300.0);
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
    const double ts = vapour_t(true, sin, Pout, z, tin);
    engine().enthalpy(thermo::Phase::Vapour, ts, Pout, z, r.hs);
    r.hout = hin - eta * (hin - r.hs);
    r.tout = vapour_t(false, r.hout, Pout, z, ts);
    r.beta = 1.0;
  }
  r.ihp = F * (r.hout - hin);
  r.bhp = r.ihp * meff;
  return r;
}

// A vapour expander at ten passes, SEFF 0.82 and MEFF 0.97, initialised with
// the hand calculation's `name` (from `pout`) fixed; that calculation.
Hand initialised_at(Block& b, double pout, const char* name) {
  EXPECT_EQ(b.dimension(), 0);
  const Hand h = hand(1.0, b.smatin[4 + 3] * b.smatin[4 + 8], kPin, pout, 0.82, 0.97, kLean, false);
  EXPECT_EQ(prepare_with(b,
                         [&](Block& x) {
                           fix(x, name, std::string(name) == "IHP" ? h.ihp : h.tout);
                           fix(x, "SEFF", 0.82);
                           fix(x, "MEFF", 0.97);
                         }),
            0);
  return h;
}

// The outlet-temperature search reaches outlet pressures above the middle of
// the ratio bounds: 75 % of the inlet pressure here.
TEST_F(Trex, TemperatureSearchCoversTheWholeRatioRange) {
  Block b = make_trex(1, 0, kLean, 320.0, 1, 10);
  const Hand h = initialised_at(b, 4.5e6, "OUT_PROD_TEMP");
  EXPECT_NEAR(yv(b, "EXP.PRESSURE"), 4.5e6, 0.01 * 4.5e6);
  EXPECT_NEAR(yv(b, "BHP"), h.bhp, 0.02 * std::fabs(h.bhp));
}

// With the power given, the vapour formulation's isentropic and actual
// outlet temperatures follow from their enthalpies during the pressure
// search, so every block variable starts next to the solution.
TEST_F(Trex, PowerGivenStartsNextToTheSolution) {
  Block b = make_trex(1, 0, kLean, 320.0, 1, 10);
  const Hand h = initialised_at(b, 3.0e6, "IHP");
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
  const char* prod;
  double pout, eta;
  std::vector<double> z;
  bool two_phase;
};

const Example kExamples[] = {
    {"trex/vapour_outlet_pressure.toml", "X1", "EXPGAS", 3.0e6, 0.82, kLean, false},
    {"trex/two_phase_outlet.toml", "X2", "COLD", 2.0e6, 0.85, kRich, true},
};

TEST(TrexSolved, ExamplesAgreeWithTheHandCalculation) {
  for (const Example& ex : kExamples) {
    SCOPED_TRACE(ex.file);
    const CaseRun r = run_case(example_path(ex.file), {{"R3TREX", R3TREX}});
    ASSERT_EQ(r.outcome, host::Outcome::Solved) << r.error;
    const std::string b = std::string(ex.blk) + ".", prod = ex.prod;
    const double hin = r.value("GAS.ENTHALPY"), hout = r.value(prod + ".ENTHALPY");
    const Hand h =
        hand(r.value("GAS.TOTAL_FLOW"), hin, kPin, ex.pout, ex.eta, 0.97, ex.z, ex.two_phase);
    const double dh = std::fabs(h.hin - h.hs);
    EXPECT_NEAR(hout, h.hout, 1e-8 * dh);
    EXPECT_NEAR(r.value(b + "HSOUT"), h.hs, 1e-8 * dh);
    EXPECT_NEAR(r.value(b + "IHP"), h.ihp, 1e-8 * std::fabs(h.ihp));
    EXPECT_NEAR(r.value(b + "BHP"), h.bhp, 1e-8 * std::fabs(h.bhp));
    EXPECT_NEAR(r.value("SHAFT.VALUE"), h.bhp, 1e-8 * std::fabs(h.bhp));
    // The efficiency recovered from the solved enthalpies.
    EXPECT_NEAR((hin - hout) / (hin - r.value(b + "HSOUT")), ex.eta, 1e-9);
    EXPECT_NEAR(r.value(b + (ex.two_phase ? "OUT_TEMP" : "OUT_PROD_TEMP")), h.tout, 1e-6);
    EXPECT_NEAR(r.stream(ex.prod)[4 + 1], h.tout, 1e-6);
    if (ex.two_phase) {
      EXPECT_NEAR(r.value(b + "OUT_VFRAC"), h.beta, 1e-6);
      EXPECT_GT(h.beta, 0.5);
      EXPECT_LT(h.beta, 0.9);
    }
  }
}

// Two expanders of different formulations share the model's working storage
// and solve together; each stage agrees with its own hand calculation.
TEST(TrexSolved, StagesOfBothFormulationsInSeries) {
  const CaseRun r =
      run_case(example_path("trex/series_vapour_then_two_phase.toml"), {{"R3TREX", R3TREX}});
  ASSERT_EQ(r.outcome, host::Outcome::Solved) << r.error;
  const double F = r.value("GAS.TOTAL_FLOW");
  const Hand a = hand(F, r.value("GAS.ENTHALPY"), 8.0e6, 5.0e6, 0.80, 0.97, kRich, false);
  EXPECT_NEAR(r.value("X1.BHP"), a.bhp, 1e-6 * std::fabs(a.bhp));
  EXPECT_NEAR(r.value("MID.ENTHALPY"), a.hout, 1e-6 * std::fabs(a.hin - a.hs));
  const Hand b = hand(F, r.value("MID.ENTHALPY"), 5.0e6, 1.5e6, 0.85, 0.97, kRich, true);
  EXPECT_NEAR(r.value("X2.BHP"), b.bhp, 1e-6 * std::fabs(b.bhp));
  EXPECT_NEAR(r.value("X2.OUT_TEMP"), b.tout, 1e-4);
  EXPECT_NEAR(r.value("X2.OUT_VFRAC"), b.beta, 1e-6);
  ASSERT_EQ(r.flowsheet->blocks().size(), 2u);
}

// Each fixed quantity the initialisation knows, starting from the solved
// outlet pressure case's answer, solves back to it: the power and enthalpy
// branches search the outlet pressure, the temperature branch too.
TEST(TrexSolved, EveryFixedQuantitySolvesBackToTheSameState) {
  for (const Example& ex : kExamples) {
    const CaseRun base = run_case(example_path(ex.file), {{"R3TREX", R3TREX}});
    ASSERT_EQ(base.outcome, host::Outcome::Solved) << ex.file;
    const std::string b = std::string(ex.blk) + ".", prod = ex.prod;
    const std::string tname = ex.two_phase ? "OUT_TEMP" : "OUT_PROD_TEMP";
    const std::map<std::string, double> specs = {
        {"IHP", base.value(b + "IHP")},
        {"\"" + prod + ".ENTHALPY\"", base.value(prod + ".ENTHALPY")},
        {"BHP", base.value(b + "BHP")},
        {tname, base.value(b + tname)},
        {"\"SHAFT.VALUE\"", base.value("SHAFT.VALUE")},
    };
    const std::string text = file_text(example_path(ex.file));
    const std::string fixline =
        "fix = { \"" + prod + ".PRESSURE\" = " + (ex.pout == 3.0e6 ? "3.0e6" : "2.0e6");
    const size_t at = text.find(fixline);
    ASSERT_NE(at, std::string::npos) << ex.file;
    for (const auto& [name, value] : specs) {
      SCOPED_TRACE(std::string(ex.file) + " " + name);
      char num[64];
      std::snprintf(num, sizeof num, "%.17g", value);
      std::string t = text;
      t.replace(at, fixline.size(), "fix = { " + name + " = " + num);
      const CaseRun r = run_case_text(t, {{"R3TREX", R3TREX}});
      ASSERT_EQ(r.outcome, host::Outcome::Solved) << r.error;
      EXPECT_LE(r.solve.iterations, 12);
      EXPECT_NEAR(r.value(prod + ".PRESSURE"), ex.pout, 1e-6 * ex.pout);
      EXPECT_NEAR(r.value(b + "BHP"), base.value(b + "BHP"),
                  1e-6 * std::fabs(base.value(b + "BHP")));
    }
  }
}

// After a failed dimension request the efficiencies, powers and outlet state
// print as missing (the reports of solved blocks are in the examples' golden
// reports).
TEST_F(Trex, ReportOfARefusedBlock) {
  Block bad = make_trex(0, 0);
  bad.ints[2] = 99;
  EXPECT_EQ(bad.dimension(), 1);
  messages();
  ASSERT_EQ(bad.call(KODE_REPORT), 0);
  EXPECT_TRUE(matches_golden_text("trex/report", report()));
}

}  // namespace
}  // namespace r3::test
