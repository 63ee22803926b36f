// The stoichiometric reactor: conformance with and without reactions and heat
// streams, rows and reaction entries by hand, initial values, the examples
// against independent element and energy balances, and refused input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "framework/host_services.h"
#include "host/data_manager/data_manager.h"
#include "tests/support/support.h"

extern "C" void R3STOIC(R3_ENTRY_PARAMS);

namespace r3::test {
namespace {

using host::Block;
using host::kRmiss;
using Lines = std::vector<std::string>;

const std::vector<std::string> kCombustion = {"CH4", "O2", "N2", "CO2", "H2O"};
const std::vector<double> kFeed = {0.1, 0.3, 1.0, 0.0, 0.0};
const std::map<std::string, EntryFn> kEntries = {{"R3STOIC", R3STOIC}};

struct Rxn {
  std::vector<int32_t> comps;  // host component numbers
  std::vector<double> coefs;
  int32_t key;
};
const Rxn kMethane = {{1, 2, 4, 5}, {-1.0, -2.0, 1.0, 2.0}, 1};

// A reactor R1 from FEED (600 K, 2 bar) to PROD with, when asked, a heat
// stream in (QIN, 1 MW) and out (QOUT). Integers: mode, two unused, outlet
// phase, reaction-data switch, the reactions (count, components), their keys.
Block make_reactor(const std::vector<Rxn>& rx, const std::vector<double>& flows = kFeed, bool qin = false,
                   bool qout = false, int32_t imode = 1, int32_t phase = 1, int32_t sw = 0) {
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

int var(const Block& b, const std::string& name) {
  const int p = b.find_var(name);
  EXPECT_GT(p, 0) << name;
  return std::max(p, 1);
}
double& y(Block& b, const std::string& name) { return b.y[var(b, name) - 1]; }

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
  const std::tuple<int, bool, bool> shapes[] = {{0, false, false}, {1, false, false}, {1, true, false},
                                                {2, false, true}, {2, true, true}};
  for (auto [nr, qin, qout] : shapes) {
    SCOPED_TRACE(::testing::Message() << nr << " reactions, heat in " << qin << ", out " << qout);
    std::vector<Rxn> rx(nr, kMethane);
    if (nr == 2) rx[1] = second;
    Block b = make_reactor(rx, {0.1, 0.3, 1.0, 0.01, 0.02}, qin, qout);
    ASSERT_EQ(b.prepare(), 0) << ::testing::PrintToString(messages());
    for (int r = 1; r <= nr; ++r) {
      y(b, "CONVERSION_RXN_" + std::to_string(r)) = 40.0;
      y(b, "EXTENT_OF_RXN_" + std::to_string(r)) = 0.03;
    }
    y(b, "OUTLET_TEMP") = 900.0;
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
  const std::pair<const char*, double> point[] = {{"CONVERSION_RXN_1", 50.0}, {"EXTENT_OF_RXN_1", 5.0},
      {"NET_GEN_NC4", 5.0}, {"NET_GEN_IC4", -5.0}, {"PROD.FLOW_NC4", 5.0}, {"PROD.FLOW_IC4", 5.0}, {"PROD.TOTAL_FLOW", 10.0}};
  for (auto [n, v] : point) y(b, n) = v;
  ASSERT_EQ(b.call(KODE_RESID), 0);
  // Rows: MBAL_NC4, MBAL_IC4, EBAL, ENTH_OUTLET, OUTLET_PRESSURE, TOTAL,
  // NET_GEN_NC4, NET_GEN_IC4, CONVERSION_RXN_1.
  ASSERT_EQ(b.nf, 9);
  EXPECT_EQ(b.eqn_name(9), "R1.CONVERSION_RXN_1");
  for (int row : {1, 2, 5, 6, 7, 8, 9}) EXPECT_EQ(b.f[row - 1], 0.0) << b.eqn_name(row);
  // Moving the extent moves the rows by the stoichiometry.
  y(b, "EXTENT_OF_RXN_1") = 6.0;
  ASSERT_EQ(b.call(KODE_RESID), 0);
  EXPECT_DOUBLE_EQ(b.f[8], 1.0);
  EXPECT_DOUBLE_EQ(b.f[6], -1.0);
  EXPECT_DOUBLE_EQ(b.f[7], 1.0);
}

// A product with coefficient 0 still has its entry (value 0) at the extent;
// a component on both sides of one reaction (A + B -> 2 A, key O2) has one
// entry per occurrence, which the solver sums to the net coefficient.
TEST_F(Reactor, ZeroCoefficientAndAutocatalyticEntries) {
  Block zero = make_reactor({{{1, 2, 4, 5}, {-1.0, -1.0, 0.0, 2.0}, 1}}, {0.1, 0.3, 1.0, 0.01, 0.02});
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
  y(b, "NET_GEN_CH4") = 0.0;
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
    y(b, "CONVERSION_RXN_" + std::to_string(r)) = 0.2;
    y(b, "EXTENT_OF_RXN_" + std::to_string(r)) = 0.002;
  }
  check_conformance(b);
}

// --- Initialisation ----------------------------------------------------------

TEST_F(Reactor, SequentialModeFixesTheInletAndItsHeatStream) {
  for (int32_t imode : {0, 1}) {
    Block b = make_reactor({kMethane}, kFeed, true, true, imode);
    ASSERT_EQ(b.prepare(), 0);
    for (int i = 1; i <= b.ny; ++i) EXPECT_EQ(b.fixed(i), imode == 0 && i <= 5 + 3 + 1) << b.var_name(i);
  }
}

// What the user gave before the initialisation survives it; the outlet
// temperature starts at the inlet's; no work area is left behind.
TEST_F(Reactor, InitialisationKeepsTheUsersValues) {
  Block b = make_reactor({kMethane}, kFeed, false, true);
  ASSERT_EQ(b.dimension(), 0);
  ASSERT_EQ(b.call(KODE_NAMES), 0);
  y(b, "CONVERSION_RXN_1") = 75.0;
  b.yub[var(b, "OUTLET_TEMP") - 1] = 1500.0;
  y(b, "PROD.PRESSURE") = 1.5e5;
  b.fscl[7] = 42.0;  // OUTLET_PRESSURE's scale
  ASSERT_EQ(b.call(KODE_INIT), 0);
  EXPECT_EQ(y(b, "CONVERSION_RXN_1"), 75.0);
  EXPECT_EQ(b.yub[var(b, "OUTLET_TEMP") - 1], 1500.0);
  EXPECT_EQ(y(b, "PROD.PRESSURE"), 1.5e5);
  EXPECT_EQ(b.fscl[7], 42.0);
  EXPECT_EQ(y(b, "OUTLET_TEMP"), 600.0);
  EXPECT_EQ(y(b, "PROD.ENTHALPY"), y(b, "FEED.ENTHALPY"));
  EXPECT_EQ(host::pool_areas(), 0);
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
    y(b, "OUTLET_TEMP") = 700.0;
    check_conformance(b);
  }
}

// --- The examples ------------------------------------------------------------

// Total enthalpy flow (W) of component flows f at T from the engine's
// ideal-gas enthalpies of the pure components.
double ideal_gas_enthalpy(const std::vector<std::string>& ids, const std::vector<double>& f, double T) {
  const thermo::Databank& db = thermo::Databank::builtin();
  std::vector<const thermo::Component*> comps;
  for (const std::string& id : ids) comps.push_back(&db[db.find(id)]);
  auto model = thermo::make_model(thermo::Method::Ideal, comps);
  EXPECT_TRUE(model);
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
  const std::pair<const char*, std::vector<int>> elements[] = {
      {"C", {1, 0, 0, 1, 0}}, {"H", {4, 0, 0, 0, 2}}, {"O", {0, 2, 0, 2, 1}}, {"N", {0, 0, 2, 0, 0}}};
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
  const double dh = ideal_gas_enthalpy(ids, want, 1100.0) - ideal_gas_enthalpy(ids, {0.3, 0.9, 0.0, 0.0, 0.1, 0.02}, 750.0);
  const double q = r.value("HEAT.VALUE");
  EXPECT_NEAR(q, dh, 1e-6 * std::fabs(dh));
  EXPECT_GT(q, 5.0e7);  // strongly endothermic
}

// --- Refused input -------------------------------------------------------------

Lines error_lines(const Lines& lines) {
  Lines want = {"", " ERROR in subroutine R3STOIC:"};
  for (const auto& l : lines) want.push_back("      " + l);
  return want;
}

// The dimension request refuses the block: ISTAT 1, counts unwritten, and
// every later request is refused too, writing nothing into the arrays.
void expect_refused(Block& b, const Lines& lines) {
  b.ny = -5, b.nf = -6, b.nz = -7;
  EXPECT_EQ(b.call(KODE_DIMEN), 1);
  EXPECT_EQ(std::vector<int32_t>({b.ny, b.nf, b.nz}), std::vector<int32_t>({-5, -6, -7}));
  EXPECT_EQ(messages(), error_lines(lines));
  b.ny = b.nf = b.nz = 0;
  for (int32_t kode : {KODE_NAMES, KODE_INIT, KODE_RESID, KODE_JACOB, KODE_STRMUPD}) {
    EXPECT_EQ(b.call(kode), 1);
    EXPECT_EQ(messages(), error_lines(lines));
  }
  EXPECT_EQ(host::pool_areas(), 0);
}

Lines box(const Lines& body) {
  Lines l = {"", "+---------------------- ERROR ---------------------+", ""};
  l.insert(l.end(), body.begin(), body.end());
  l.insert(l.end(), {"", "+--------------------------------------------------+"});
  return l;
}

// Each spoilt copy of a good one-reaction block is refused with its lines.
TEST_F(Reactor, RefusedDataAndConnections) {
  const std::string must = "The outlet phase option must be 1 (vapour) or 2 (liquid).";
  std::vector<std::pair<std::function<void(Block&)>, Lines>> cases = {
      {[](Block& b) { b.ints = {1, 0, 0}; }, {"The outlet phase option is not given.", must}},
      {[](Block& b) { b.ints = {1, 0, 0, 1, 0}; }, {"The number of reactions is not given."}},
      {[](Block& b) { b.ints = {1, 0, 0, 1, 0, -2}; }, {"Invalid number of reactions: -2."}},
      {[](Block& b) { b.ints[0] = 2; }, {"Invalid value entered for IMODE. IMODE must be either 0 or 1."}},
      {[](Block& b) { b.reals.resize(3); }, {"Reaction 1: stoichiometric coefficient 4 is missing or not a number."}},
      {[](Block& b) { b.reals[1] = std::nan(""); },
       {"Reaction 1: stoichiometric coefficient 2 is missing or not a number."}},
      {[](Block& b) { b.ints[6] = 2000000000; },  // far past the end of INT
       {"Reaction 1: its component numbers run past the end of the integer data."}},
      {[](Block& b) { b.ints[6] = -1; }, {"Reaction 1: invalid number of components: -1."}},
      {[](Block& b) { b = make_reactor({kMethane, kMethane}), b.ints.resize(11); },
       {"Reaction 2: the number of its components is not given."}},
      {[](Block& b) { b.matout.clear(), b.connect_streams(); },
       {"There must be exactly one material stream connected to the outlet of", "the block."}},
      {[](Block& b) { b.matin = {"FEED", "FEED2"}, b.infin = {"Q1", "Q2"}, b.connect_streams(); },
       {"There must be exactly one material stream connected to the inlet of", "the block.",
        "There may not be more than one information stream connected to the", "inlet of the block."}},
  };
  for (int32_t phase : {0, 4, -1})
    cases.push_back({[=](Block& b) { b.ints[3] = phase; },
                     {"Invalid outlet phase option: " + std::to_string(phase) + ".", must}});
  for (int32_t c : {6, 0, -3, 201, 5000})
    cases.push_back({[=](Block& b) { b = make_reactor({kMethane, {{1, c}, {-1.0, 1.0}, 1}}); },
                     {"Reaction 2: component number " + std::to_string(c) + " is not in the block's component list."}});
  for (const auto& [spoil, lines] : cases) {
    SCOPED_TRACE(lines[0]);
    Block b = make_reactor({kMethane});
    spoil(b);
    expect_refused(b, lines);
    EXPECT_TRUE(standard_output().empty());
  }
  // A two-phase outlet is refused with a note on standard output; a liquid
  // outlet is accepted.
  Block two = make_reactor({kMethane}, kFeed, false, false, 1, 3);
  expect_refused(two, {"Two-phase outlets (outlet phase option 3) are not supported.", must});
  EXPECT_EQ(standard_output().at(0), " Not ready for two phase outlets");
  EXPECT_EQ(make_reactor({kMethane}, kFeed, false, false, 1, 2).prepare(), 0);
}

TEST_F(Reactor, LimitsOfReactionsAndCoefficientsBoxAndRefusal) {
  const Lines reactions = box({"  The number of reactions:   101", "  exceeds the maximum allowed:   100",
                               "  Action: split the reactions over more than one block."});
  const auto coefs = [](const std::string& side) {
    return box({"  The number of " + side + " coefficients:   304", "  exceeds the maximum allowed:   300",
                "  Action: write the reaction with fewer species."});
  };
  // More than 100 reactions: one box per call (dimension and five refused requests).
  Block b = make_reactor(std::vector<Rxn>(101, kMethane));
  expect_refused(b, {"The number of reactions, 101, exceeds the maximum allowed (100)."});
  Lines out = standard_output();
  ASSERT_EQ(out.size(), 6 * reactions.size());
  EXPECT_EQ(Lines(out.begin(), out.begin() + reactions.size()), reactions);
  // 100 reactions of 4 reactants: the limit of 300 is passed at reaction 76.
  Block four = make_reactor(std::vector<Rxn>(100, Rxn{{1, 2, 3, 5}, {-1.0, -1.0, -1.0, -1.0}, 1}));
  expect_refused(four, {"The reactions exceed the maximum allowed coefficients (300 reactant",
                        "and 300 product entries in all); reading stopped at reaction 76."});
  out = standard_output();
  Lines want = coefs("reactant");
  ASSERT_GE(out.size(), want.size());
  EXPECT_EQ(Lines(out.begin(), out.begin() + want.size()), want);
  // Reactants and products past the limit together: two boxes; exactly 300
  // of each is accepted.
  const Rxn eight = {{1, 2, 3, 4, 5, 1, 2, 3}, {-1.0, -1.0, -1.0, -1.0, 1.0, 1.0, 1.0, 1.0}, 1};
  EXPECT_EQ(make_reactor(std::vector<Rxn>(100, eight)).call(KODE_DIMEN), 1);
  const Lines products = coefs(" product");
  want.insert(want.end(), products.begin(), products.end());
  EXPECT_EQ(standard_output(), want);
  messages();
  EXPECT_EQ(make_reactor(std::vector<Rxn>(75, eight)).prepare(), 0);
  EXPECT_TRUE(standard_output().empty());
}

TEST_F(Reactor, KeyReactantNotAReactant) {
  const auto key_box = [](const std::string& r) {
    return box({"  The key reactant specified for reaction" + r, "  is not a reactant for the specified reaction.",
                "  The key reactant must be a reactant for the", "  specified reaction."});
  };
  // The key is a product of the reaction.
  Block b = make_reactor({kMethane, {{1, 2, 4, 5}, {-1.0, -2.0, 1.0, 2.0}, 4}});
  EXPECT_EQ(b.call(KODE_DIMEN), 1);
  EXPECT_EQ(standard_output(), key_box("   2"));
  EXPECT_EQ(messages(), error_lines({"Reaction 2: the key reactant (component 4) is not a reactant of the reaction."}));
  // A reaction with no reactants, and a key that is not given.
  Block c = make_reactor({{{4, 5}, {1.0, 2.0}, 4}});
  c.ints.resize(c.ints.size() - 2);
  EXPECT_EQ(c.call(KODE_DIMEN), 1);
  EXPECT_EQ(standard_output(), key_box("   1"));
  EXPECT_EQ(messages(), error_lines({"Reaction 1: the key reactant is not given."}));
}

TEST_F(Reactor, ManyErrorsAreCappedWithANote) {
  std::vector<Rxn> rx;
  for (int r = 0; r < 12; ++r) rx.push_back({{1, 60 + r}, {-1.0, 1.0}, 1});
  Block b = make_reactor(rx);
  EXPECT_EQ(b.call(KODE_DIMEN), 1);
  const Lines m = messages();
  ASSERT_EQ(m.size(), 2u + 8u);
  EXPECT_EQ(m[2], "      Reaction 1: component number 60 is not in the block's component list.");
  EXPECT_EQ(m.back(), "      Further errors in the block's data are not shown.");
}

}  // namespace
}  // namespace r3::test
