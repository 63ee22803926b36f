// The stoichiometric reactor: conformance with and without reactions and heat
// streams, rows and reaction entries by hand, initial values, the examples
// against independent element and energy balances, and refused input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "framework/host_services.h"
#include "host/data_manager/data_manager.h"
#include "tests/support/golden_text.h"
#include "tests/support/model_blocks.h"
#include "tests/support/support.h"
#include "tests/thermo/thermo_test_util.h"

extern "C" void R3STOIC(R3_ENTRY_PARAMS);

namespace r3::test {
namespace {

const std::vector<std::string> kCombustion = {"CH4", "O2", "N2", "CO2", "H2O"};
const std::vector<double> kFeed = {0.1, 0.3, 1.0, 0.0, 0.0};
const std::map<std::string, EntryFn> kEntries = {{"R3STOIC", R3STOIC}};

struct Rxn {
  std::vector<int32_t> comps;  // host component numbers
  std::vector<double> coefs;
  int32_t key;
};
const Rxn kMethane = {{1, 2, 4, 5}, {-1.0, -2.0, 1.0, 2.0}, 1};
const Rxn kEight = {{1, 2, 3, 4, 5, 1, 2, 3}, {-1.0, -1.0, -1.0, -1.0, 1.0, 1.0, 1.0, 1.0}, 1};

// A reactor R1 from FEED (600 K, 2 bar) to PROD with, when asked, a heat
// stream in (QIN, 1 MW) and out (QOUT). Integers: mode, two unused, outlet
// phase, reaction-data switch, the reactions (count, components), their keys.
Block make_reactor(const std::vector<Rxn>& rx, const std::vector<double>& flows = kFeed,
                   bool qin = false, bool qout = false, int32_t imode = 1, int32_t phase = 1,
                   int32_t sw = 0) {
  Block b("R1", R3STOIC);
  b.matin = {"FEED"};
  b.matout = {"PROD"};
  if (qin) b.infin = {"QIN"};
  if (qout) b.infout = {"QOUT"};
  b.ipropset = 1;
  b.ints = {imode, 0, 0, phase, sw, static_cast<int32_t>(rx.size())};
  for (const Rxn& r : rx) {
    b.ints.push_back(static_cast<int32_t>(r.comps.size()));
    b.ints.insert(b.ints.end(), r.comps.begin(), r.comps.end());
    b.reals.insert(b.reals.end(), r.coefs.begin(), r.coefs.end());
  }
  for (const Rxn& r : rx) b.ints.insert(b.ints.end(), {r.key, 0});
  b.reals.insert(b.reals.end(), rx.size(), 0.0);
  b.connect_streams();
  EXPECT_TRUE(b.set_material_inlet(0, flows, 600.0, 2.0e5));
  if (qin) b.set_info_inlet(0, 1.0e6);
  return b;
}

// The Jacobian entries at (row, column), in pattern order.
std::vector<double> entries_at(const Block& b, int row, int col) {
  std::vector<double> e;
  for (int k = 0; k < b.nz; ++k)
    if (b.ijrow[k] == row && b.ijcol[k] == col) e.push_back(b.dfdy[k]);
  return e;
}

class Reactor : public ::testing::Test {
 protected:
  void SetUp() override { reset_host(kCombustion); }
};

// --- Conformance, rows and entries --------------------------------------------

// Reactions 0 to 2 (the second CH4 + 1/2 O2 -> ...), heat streams in and out,
// at a point with extents and flows away from zero.
TEST_F(Reactor, ConformsWithAndWithoutReactionsAndHeatStreams) {
  const Rxn second = {{2, 1, 5}, {-0.5, -1.0, 2.0}, 1};
  const std::tuple<int, bool, bool> shapes[] = {
      {0, false, false}, {1, false, false}, {1, true, false}, {2, false, true}, {2, true, true}};
  for (auto [nr, qin, qout] : shapes) {
    SCOPED_TRACE(::testing::Message() << nr << " reactions, heat in " << qin << ", out " << qout);
    std::vector<Rxn> rx(nr, kMethane);
    if (nr == 2) rx[1] = second;
    Block b = make_reactor(rx, {0.1, 0.3, 1.0, 0.01, 0.02}, qin, qout);
    ASSERT_EQ(b.prepare(), 0) << ::testing::PrintToString(messages());
    for (int r = 1; r <= nr; ++r) {
      yv(b, "CONVERSION_RXN_" + std::to_string(r)) = 40.0;
      yv(b, "EXTENT_OF_RXN_" + std::to_string(r)) = 0.03;
    }
    yv(b, "OUTLET_TEMP") = 900.0;
    check_conformance(b);
  }
}

// One reaction A -> B with 50 % conversion of 10 kmol/s of A: the
// conversion row vanishes at extent 5, the consumption rows at +5 and -5, and
// the component balances at an outlet of 5 and 5.
TEST(ReactorRows, SingleReactionHandValues) {
  reset_host({"NC4", "IC4"});
  Block b = make_reactor({{{1, 2}, {-1.0, 1.0}, 1}}, {10.0, 0.0});
  ASSERT_EQ(b.prepare(), 0);
  const std::pair<const char*, double> point[] = {
      {"CONVERSION_RXN_1", 50.0}, {"EXTENT_OF_RXN_1", 5.0}, {"NET_GEN_NC4", 5.0},
      {"NET_GEN_IC4", -5.0},      {"PROD.FLOW_NC4", 5.0},   {"PROD.FLOW_IC4", 5.0},
      {"PROD.TOTAL_FLOW", 10.0}};
  for (auto [n, v] : point) yv(b, n) = v;
  ASSERT_EQ(b.call(KODE_RESID), 0);
  // Rows: MBAL_NC4, MBAL_IC4, EBAL, ENTH_OUTLET, OUTLET_PRESSURE, TOTAL,
  // NET_GEN_NC4, NET_GEN_IC4, CONVERSION_RXN_1.
  ASSERT_EQ(b.nf, 9);
  EXPECT_EQ(b.eqn_name(9), "R1.CONVERSION_RXN_1");
  for (int row : {1, 2, 5, 6, 7, 8, 9}) EXPECT_EQ(b.f[row - 1], 0.0) << b.eqn_name(row);
  // Moving the extent moves the rows by the stoichiometry.
  yv(b, "EXTENT_OF_RXN_1") = 6.0;
  ASSERT_EQ(b.call(KODE_RESID), 0);
  EXPECT_DOUBLE_EQ(b.f[8], 1.0);
  EXPECT_DOUBLE_EQ(b.f[6], -1.0);
  EXPECT_DOUBLE_EQ(b.f[7], 1.0);
}

// A product with coefficient 0 still has its entry (value 0) at the extent;
// a component on both sides of one reaction (A + B -> 2 A, key O2) has one
// entry per occurrence, which the solver sums to the net coefficient.
TEST_F(Reactor, ZeroCoefficientAndAutocatalyticEntries) {
  Block zero =
      make_reactor({{{1, 2, 4, 5}, {-1.0, -1.0, 0.0, 2.0}, 1}}, {0.1, 0.3, 1.0, 0.01, 0.02});
  ASSERT_EQ(zero.prepare(), 0);
  ASSERT_EQ(zero.call(KODE_JACOB), 0);
  ASSERT_EQ(zero.eqn_name(zero.nf - 2), "R1.NET_GEN_CO2");
  EXPECT_EQ(entries_at(zero, zero.nf - 2, var(zero, "EXTENT_OF_RXN_1")), std::vector<double>{0.0});
  Block b = make_reactor({{{1, 2, 1}, {-1.0, -1.0, 2.0}, 2}}, {0.1, 0.3, 1.0, 0.01, 0.02});
  ASSERT_EQ(b.prepare(), 0);
  ASSERT_EQ(b.call(KODE_JACOB), 0);
  const int row = b.nf - 5, ext = var(b, "EXTENT_OF_RXN_1");
  ASSERT_EQ(b.eqn_name(row), "R1.NET_GEN_CH4");
  const std::vector<double> e = entries_at(b, row, ext);
  ASSERT_EQ(e.size(), 2u);
  EXPECT_DOUBLE_EQ(e[0] + e[1], 1.0);  // consumption: 1 - 2 per unit of the key
  b.y[ext - 1] = 0.05;
  yv(b, "NET_GEN_CH4") = 0.0;
  ASSERT_EQ(b.call(KODE_RESID), 0);
  EXPECT_DOUBLE_EQ(b.f[row - 1], 0.05);
}

// Reaction numbers are written without leading zeros, up to 100 reactions.
TEST(ReactorNames, HundredReactions) {
  reset_host({"NC4", "IC4"});
  Block b = make_reactor(std::vector<Rxn>(100, Rxn{{1, 2}, {-1.0, 1.0}, 1}), {1.0, 0.5});
  ASSERT_EQ(b.prepare(), 0) << ::testing::PrintToString(standard_output());
  EXPECT_TRUE(standard_output().empty());
  for (int r : {9, 10, 100}) {  // the conversion rows are the last 100
    const std::string n = "CONVERSION_RXN_" + std::to_string(r);
    EXPECT_GT(b.find_var(n), 0) << n;
    EXPECT_EQ(b.eqn_name(b.nf - 100 + r), "R1." + n);
  }
  EXPECT_EQ(b.var_name(b.ny), "R1.EXTENT_OF_RXN_100");
  for (int r = 1; r <= 100; ++r) {
    yv(b, "CONVERSION_RXN_" + std::to_string(r)) = 0.2;
    yv(b, "EXTENT_OF_RXN_" + std::to_string(r)) = 0.002;
  }
  check_conformance(b);
}

// --- Initialisation ----------------------------------------------------------

// Values, bounds, scales, types and fixed flags after the initialisation
// (golden text stoich_reactor/prepared; "imode" as in INT, "qin", "qout" heat
// streams): sequential-modular use fixes the inlet and its heat stream; with
// "user" what the user gave before the initialisation survives it. The
// outlet temperature starts at the inlet's; no work area is left behind.
TEST_F(Reactor, PreparedState) {
  const auto one_case = [&](const std::string& heading, const CaseHeading& c, Transcript& t) {
    t.heading(heading);
    Block b = make_reactor({kMethane}, kFeed, c.has("qin"), c.has("qout"),
                           static_cast<int32_t>(c.number("imode", 1)));
    ASSERT_EQ(b.dimension(), 0);
    ASSERT_EQ(b.call(KODE_NAMES), 0);
    if (c.has("user")) {
      yv(b, "CONVERSION_RXN_1") = 75.0;
      b.yub[var(b, "OUTLET_TEMP") - 1] = 1500.0;
      yv(b, "PROD.PRESSURE") = 1.5e5;
      b.fscl[7] = 42.0;  // OUTLET_PRESSURE's scale
    }
    ASSERT_EQ(b.call(KODE_INIT), 0);
    t.add(messages());
    t.add(block_state(b));
    EXPECT_EQ(yv(b, "OUTLET_TEMP"), 600.0);
    EXPECT_EQ(yv(b, "PROD.ENTHALPY"), yv(b, "FEED.ENTHALPY"));
    EXPECT_EQ(host::pool_areas(), 0);
  };
  EXPECT_TRUE(run_golden_cases("stoich_reactor/prepared", one_case));
}

// The check and report requests do nothing (the status stays as passed).
TEST_F(Reactor, CheckAndReportRequestsDoNothing) {
  Block b = make_reactor({kMethane});
  ASSERT_EQ(b.prepare(), 0);
  const auto y0 = b.y;
  for (int32_t kode : {KODE_CHECK, KODE_REPORT}) EXPECT_EQ(b.call(kode, 7), 7);
  EXPECT_EQ(b.y, y0);
  EXPECT_TRUE(messages().empty());
  EXPECT_TRUE(report().empty());
  EXPECT_TRUE(standard_output().empty());
}

TEST_F(Reactor, ReactionDataSwitchMakesAHeater) {
  for (int32_t sw : {1, -4}) {
    Block b = make_reactor({kMethane}, {0.1, 0.3, 1.0, 0.01, 0.02}, true, false, 1, 1, sw);
    ASSERT_EQ(b.dimension(), 0);
    EXPECT_EQ(messages(), (Lines{"", " NOTE from R3STOIC:",
                                 "      The reaction-data switch is " + std::to_string(sw) +
                                     ", not 0: no reactions are read,",
                                 "      and the block is a heater with a pressure drop."}));
    EXPECT_EQ(b.ny, 2 * 8 + 1 + 2 + 5);
    ASSERT_EQ(b.call(KODE_NAMES), 0);
    ASSERT_EQ(b.call(KODE_INIT), 0);
    EXPECT_EQ(b.find_var("CONVERSION_RXN_1"), 0);
    EXPECT_TRUE(messages().empty());  // the note belongs to the dimension request
    yv(b, "OUTLET_TEMP") = 700.0;
    check_conformance(b);
  }
}

// --- The examples ------------------------------------------------------------

// Total enthalpy flow (W) of component flows f at T from the engine's
// ideal-gas enthalpies of the pure components.
double ideal_gas_enthalpy(const std::vector<std::string>& ids, const std::vector<double>& f,
                          double T) {
  auto model = thermo::testing::model_of(thermo::Method::Ideal, ids);
  double h = 0.0;
  for (size_t i = 0; model && i < ids.size(); ++i) {
    std::vector<double> x(ids.size(), 0.0);
    x[i] = 1.0;
    double hi = 0.0;
    EXPECT_NE(model->enthalpy(thermo::Phase::Vapour, T, 1.0e5, x, hi), thermo::Status::Failed);
    h += f[i] * hi;
  }
  return h;
}

// The outlet of the adiabatic burner against a flame temperature found here
// by bisection on the energy balance with the engine's ideal-gas enthalpies.
TEST(ReactorExamples, AdiabaticFlameTemperatureAndElementBalances) {
  CaseRun r = run_case(example_path("stoic/methane_combustion.toml"), kEntries);
  ASSERT_EQ(r.outcome, host::Outcome::Solved) << r.error;
  const std::vector<double>&in = r.stream("FUEL_AIR"), &out = r.stream("FLUEGAS");
  // Atoms of C, H, O, N in CH4, O2, N2, CO2, H2O.
  const std::pair<const char*, std::vector<int>> elements[] = {{"C", {1, 0, 0, 1, 0}},
                                                               {"H", {4, 0, 0, 0, 2}},
                                                               {"O", {0, 2, 0, 2, 1}},
                                                               {"N", {0, 0, 2, 0, 0}}};
  for (const auto& [el, atoms] : elements) {
    double a = 0.0, b = 0.0;
    for (size_t i = 0; i < 5; ++i) a += atoms[i] * in[i], b += atoms[i] * out[i];
    EXPECT_NEAR(a, b, 1e-14 * std::max(1.0, a)) << el;
  }
  EXPECT_NEAR(out[0], 0.0, 1e-15);  // all the methane burnt
  const std::vector<double> f0 = {0.1, 0.22, 0.8272, 0.0, 0.0}, f1 = {0.0, 0.02, 0.8272, 0.1, 0.2};
  const double h0 = ideal_gas_enthalpy(kCombustion, f0, 298.15);
  double lo = 298.15, hi = 4000.0;
  for (int it = 0; it < 100; ++it) {
    const double mid = 0.5 * (lo + hi);
    (ideal_gas_enthalpy(kCombustion, f1, mid) < h0 ? lo : hi) = mid;
  }
  const double t_flame = 0.5 * (lo + hi);
  EXPECT_GT(t_flame, 2000.0);
  EXPECT_NEAR(r.value("BURNER.OUTLET_TEMP"), t_flame, 1.0);
  EXPECT_NEAR(out[5 + 1], t_flame, 1.0);
}

TEST(ReactorExamples, ReformerOutletAndDutyByHand) {
  CaseRun r = run_case(example_path("stoic/steam_reforming.toml"), kEntries);
  ASSERT_EQ(r.outcome, host::Outcome::Solved) << r.error;
  const std::vector<double>& out = r.stream("SYNGAS");
  // CH4, H2O, CO, H2, CO2, N2 after extents 0.24 and 0.03.
  const std::vector<double> want = {0.06, 0.69, 0.27, 0.69, 0.07, 0.02};
  for (size_t i = 0; i < want.size(); ++i) EXPECT_NEAR(out[i], want[i], 1e-12) << i;
  EXPECT_NEAR(r.value("SYNGAS.PRESSURE"), 2.35e6, 1e-6);
  // The duty from the engine's ideal-gas enthalpies of feed and product.
  const std::vector<std::string> ids = {"CH4", "H2O", "CO", "H2", "CO2", "N2"};
  const double dh = ideal_gas_enthalpy(ids, want, 1100.0) -
                    ideal_gas_enthalpy(ids, {0.3, 0.9, 0.0, 0.0, 0.1, 0.02}, 750.0);
  const double q = r.value("HEAT.VALUE");
  EXPECT_NEAR(q, dh, 1e-6 * std::fabs(dh));
  EXPECT_GT(q, 5.0e7);  // strongly endothermic
}

// --- Refused input: golden text stoich_reactor/refused -------------------------

// The dimension request refuses the block: ISTAT 1, counts unwritten, and
// every later request is refused too with the same lines, writing nothing
// into the arrays. The transcript gets the messages, then what standard
// output got (boxes: one per call).
void refused(Transcript& t, const std::string& what, Block& b) {
  t.heading(what);
  b.ny = -5, b.nf = -6, b.nz = -7;
  EXPECT_EQ(b.call(KODE_DIMEN), 1) << what;
  EXPECT_EQ(std::vector<int32_t>({b.ny, b.nf, b.nz}), std::vector<int32_t>({-5, -6, -7}));
  const Lines m = messages();
  t.add(m);
  b.ny = b.nf = b.nz = 0;
  for (int32_t kode : {KODE_NAMES, KODE_INIT, KODE_RESID, KODE_JACOB, KODE_STRMUPD}) {
    EXPECT_EQ(b.call(kode), 1) << what;
    EXPECT_EQ(messages(), m) << what;
  }
  EXPECT_EQ(host::pool_areas(), 0);
  const Lines out = standard_output();
  if (!out.empty()) t.add("standard output:");
  t.add(out);
}

// Reactions of a case heading: "r" lists them (methane unless given), each
// "methane", "eight" or COMPONENTS/COEFFICIENTS/KEY, comma-separated; the
// list "times" N over.
std::vector<Rxn> reactions(const CaseHeading& c) {
  auto list = [](std::string s) {
    std::replace(s.begin(), s.end(), ',', ' ');
    std::istringstream in(s);
    return std::vector<double>(std::istream_iterator<double>(in), {});
  };
  std::vector<Rxn> rx;
  for (const std::string& w : c.has("r") ? c.words("r") : Lines{"methane"}) {
    if (w == "methane" || w == "eight") {
      rx.push_back(w == "methane" ? kMethane : kEight);
      continue;
    }
    const size_t a = w.find('/'), b = w.rfind('/');
    const std::vector<double> comps = list(w.substr(0, a));
    rx.push_back({std::vector<int32_t>(comps.begin(), comps.end()),
                  list(w.substr(a + 1, b - a - 1)), std::stoi(w.substr(b + 1))});
  }
  std::vector<Rxn> all;
  for (int k = 0; k < c.number("times", 1); ++k) all.insert(all.end(), rx.begin(), rx.end());
  return all;
}

// Spoilt copies of a good one-reaction block (the cases are the headings of
// the golden text: "r", "times" the reactions; "ints" replaces INT, "int K
// V" sets INT(K+1), "nint" cuts INT to that length, "drop" by that many,
// "nreal" cuts REAL, "nan K" makes REAL(K+1) NaN; "outlets 0", "inlets 2"
// with two heat streams): the limits of reactions and coefficients, key
// reactants that are not reactants, and many errors capped with a note.
TEST_F(Reactor, RefusedInput) {
  const auto one_case = [&](const std::string& heading, const CaseHeading& c, Transcript& t) {
    Block b = make_reactor(reactions(c));
    if (c.has("ints")) b.ints = c.ints("ints");
    const auto set = c.ints("int");
    for (size_t k = 0; k + 1 < set.size(); k += 2) b.ints.at(set[k]) = set[k + 1];
    if (c.has("nint")) b.ints.resize(c.ints("nint").at(0));
    if (c.has("drop")) b.ints.resize(b.ints.size() - c.ints("drop").at(0));
    if (c.has("nreal")) b.reals.resize(c.ints("nreal").at(0));
    if (c.has("nan")) b.reals.at(c.ints("nan").at(0)) = std::nan("");
    if (c.has("outlets")) b.matout.clear();
    if (c.has("inlets")) b.matin = {"FEED", "FEED2"}, b.infin = {"Q1", "Q2"};
    b.connect_streams();
    refused(t, heading, b);
  };
  EXPECT_TRUE(run_golden_cases("stoich_reactor/refused", one_case));
  // A liquid outlet, and exactly 300 reactant and product entries, are accepted.
  EXPECT_EQ(make_reactor({kMethane}, kFeed, false, false, 1, 2).prepare(), 0);
  EXPECT_EQ(make_reactor(std::vector<Rxn>(75, kEight)).prepare(), 0);
  EXPECT_TRUE(standard_output().empty());
}

}  // namespace
}  // namespace r3::test
