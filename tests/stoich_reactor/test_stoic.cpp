// The stoichiometric reactor: reaction tables, variables, equations, the
// examples, an independent adiabatic-flame check, and refused input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "framework/host_services.h"
#include "host/data_manager/data_manager.h"
#include "host/services/block.h"
#include "host/services/context.h"
#include "host/thermo/thermo.h"
#include "tests/support/support.h"

extern "C" void R3STOIC(R3_ENTRY_PARAMS);

namespace r3::test {
namespace {

using host::Block;
using host::kRmiss;

const std::vector<std::string> kCombustion = {"CH4", "O2", "N2", "CO2", "H2O"};

struct Rxn {
  std::vector<int32_t> comps;  // host component numbers
  std::vector<double> coefs;
  int32_t key;
};

// Integer and real parameters of a reactor block.
void set_parameters(Block& b, const std::vector<Rxn>& rx, int32_t imode = 1, int32_t phase = 1,
                    int32_t sw = 0) {
  b.ints = {imode, 0, 0, phase, sw, static_cast<int32_t>(rx.size())};
  b.reals.clear();
  for (const Rxn& r : rx) {
    b.ints.push_back(static_cast<int32_t>(r.comps.size()));
    b.ints.insert(b.ints.end(), r.comps.begin(), r.comps.end());
    b.reals.insert(b.reals.end(), r.coefs.begin(), r.coefs.end());
  }
  for (const Rxn& r : rx) {
    b.ints.push_back(r.key);
    b.ints.push_back(0);
  }
  b.reals.insert(b.reals.end(), rx.size(), 0.0);
}

Block make_reactor(const std::vector<Rxn>& rx, const std::vector<double>& flows, int ninfi = 0,
                   int ninfout = 0, int32_t imode = 1, int32_t phase = 1, int32_t sw = 0) {
  Block b("R1", R3STOIC);
  b.matin = {"FEED"};
  b.matout = {"PROD"};
  if (ninfi) b.infin = {"QIN"};
  if (ninfout) b.infout = {"QOUT"};
  b.ipropset = 1;
  set_parameters(b, rx, imode, phase, sw);
  b.connect_streams();
  EXPECT_TRUE(b.set_material_inlet(0, flows, 600.0, 2.0e5));
  if (ninfi) b.set_info_inlet(0, 1.0e6);
  return b;
}

const Rxn kMethane = {{1, 2, 4, 5}, {-1.0, -2.0, 1.0, 2.0}, 1};
const Rxn kMethaneToCO = {{1, 2, 4, 5}, {-1.0, -1.0, 0.0, 2.0}, 1};  // CO2 with coefficient 0

size_t at(int pos) { return static_cast<size_t>(pos - 1); }

// Every outlet component flow at least `floor`, so that the central
// differences of the outlet enthalpy never see a negative composition.
void keep_outlet_flows_positive(Block& b, double floor) {
  const int nc = b.ncomp();
  const int first = b.find_var(b.matout.at(0) + ".TOTAL_FLOW") + 1;
  for (int i = 0; i < nc && first > 1; ++i) {
    double& v = b.y[at(first + i)];
    v = std::max(v, floor);
  }
}

// --- Counts, names, conformance --------------------------------------------

struct Shape {
  int nrxn, ninfi, ninfout;
};

class ReactorShapes : public ::testing::TestWithParam<Shape> {};

TEST_P(ReactorShapes, CountsNamesAndConformance) {
  const Shape sh = GetParam();
  reset_host(kCombustion);
  std::vector<Rxn> rx;
  if (sh.nrxn >= 1) rx.push_back(kMethane);
  if (sh.nrxn >= 2) rx.push_back({{2, 1, 5}, {-0.5, -1.0, 2.0}, 1});  // CH4 + 1/2 O2 -> ...
  Block b = make_reactor(rx, {0.1, 0.3, 1.0, 0.01, 0.02}, sh.ninfi, sh.ninfout);
  ASSERT_EQ(b.prepare(), 0) << ::testing::PrintToString(messages());
  const int nc = 5, ninfo = sh.ninfi + sh.ninfout, nr = sh.nrxn;
  int entries = 0;
  for (const Rxn& r : rx) entries += static_cast<int>(r.comps.size());
  EXPECT_EQ(b.ny, 2 * (nc + 3) + ninfo + 2 + nc + 2 * nr);
  EXPECT_EQ(b.nf, nc + 1 + 1 + 2 + nc + nr);
  EXPECT_EQ(b.nz, 2 * nc + nc + (4 + ninfo) + (nc + 3) + 3 * nr + 2 * nc + 4 + entries);
  EXPECT_EQ(b.naux1, 0);
  EXPECT_EQ(b.naux2, 0);
  EXPECT_EQ(b.naux3, 0);
  // Block variables start with the outlet temperature, equations after the
  // balances with the outlet enthalpy.
  const int ns = 2 * (nc + 3) + ninfo;
  EXPECT_EQ(b.var_name(ns + 1), "R1.OUTLET_TEMP");
  EXPECT_EQ(b.var_name(ns + 2), "R1.REACTOR_DP");
  EXPECT_EQ(b.var_name(ns + 3), "R1.NET_GEN_CH4");
  EXPECT_EQ(b.var_name(ns + 7), "R1.NET_GEN_H2O");
  if (nr == 2) {
    EXPECT_EQ(b.var_name(ns + 8), "R1.CONVERSION_RXN_1");
    EXPECT_EQ(b.var_name(ns + 9), "R1.CONVERSION_RXN_2");
    EXPECT_EQ(b.var_name(ns + 10), "R1.EXTENT_OF_RXN_1");
    EXPECT_EQ(b.var_name(ns + 11), "R1.EXTENT_OF_RXN_2");
  }
  const char* eqns[] = {"MBAL_CH4",    "MBAL_O2",         "MBAL_N2",
                        "MBAL_CO2",    "MBAL_H2O",        "EBAL",
                        "ENTH_OUTLET", "OUTLET_PRESSURE", "OUTLET_TOTAL_MOLAR_FLOW",
                        "NET_GEN_CH4"};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(b.eqn_name(i + 1), std::string("R1.") + eqns[i]);
  if (nr >= 1) {
    EXPECT_EQ(b.eqn_name(b.nf - nr + 1), "R1.CONVERSION_RXN_1");
  }
  // Conformance at a point with extents and flows away from zero.
  for (int r = 1; r <= nr; ++r) {
    b.y[at(b.find_var("CONVERSION_RXN_" + std::to_string(r)))] = 40.0;
    b.y[at(b.find_var("EXTENT_OF_RXN_" + std::to_string(r)))] = 0.03;
  }
  b.y[at(b.find_var("OUTLET_TEMP"))] = 900.0;
  check_conformance(b);
}

INSTANTIATE_TEST_SUITE_P(Reactor, ReactorShapes,
                         ::testing::Values(Shape{0, 0, 0}, Shape{1, 0, 0}, Shape{1, 1, 0},
                                           Shape{2, 0, 1}, Shape{2, 1, 1}));

class ReactorTest : public ::testing::Test {
 protected:
  void SetUp() override { reset_host(kCombustion); }
};

// One reaction A -> B with 50 % conversion of 10 kmol/s of A: the
// conversion row vanishes at extent 5, the consumption rows at +5 and -5, and
// the component balances at an outlet of 5 and 5.
TEST(ReactorRows, SingleReactionHandValues) {
  reset_host({"NC4", "IC4"});
  Block b = make_reactor({{{1, 2}, {-1.0, 1.0}, 1}}, {10.0, 0.0});
  ASSERT_EQ(b.prepare(), 0);
  b.y[at(b.find_var("CONVERSION_RXN_1"))] = 50.0;
  b.y[at(b.find_var("EXTENT_OF_RXN_1"))] = 5.0;
  b.y[at(b.find_var("NET_GEN_NC4"))] = 5.0;
  b.y[at(b.find_var("NET_GEN_IC4"))] = -5.0;
  b.y[at(b.find_var("PROD.FLOW_NC4"))] = 5.0;
  b.y[at(b.find_var("PROD.FLOW_IC4"))] = 5.0;
  b.y[at(b.find_var("PROD.TOTAL_FLOW"))] = 10.0;
  ASSERT_EQ(b.call(KODE_RESID), 0);
  // Rows: MBAL_NC4, MBAL_IC4, EBAL, ENTH_OUTLET, OUTLET_PRESSURE, TOTAL,
  // NET_GEN_NC4, NET_GEN_IC4, CONVERSION_RXN_1.
  ASSERT_EQ(b.nf, 9);
  EXPECT_EQ(b.eqn_name(9), "R1.CONVERSION_RXN_1");
  for (int row : {1, 2, 5, 6, 7, 8, 9}) EXPECT_EQ(b.f[at(row)], 0.0) << b.eqn_name(row);
  // Moving the extent moves the rows by the stoichiometry.
  b.y[at(b.find_var("EXTENT_OF_RXN_1"))] = 6.0;
  ASSERT_EQ(b.call(KODE_RESID), 0);
  EXPECT_DOUBLE_EQ(b.f[at(9)], 1.0);
  EXPECT_DOUBLE_EQ(b.f[at(7)], -1.0);
  EXPECT_DOUBLE_EQ(b.f[at(8)], 1.0);
}

TEST_F(ReactorTest, ZeroCoefficientIsAProductEntry) {
  Block b = make_reactor({kMethaneToCO}, {0.1, 0.3, 1.0, 0.01, 0.02});
  ASSERT_EQ(b.prepare(), 0);
  // 2 reactant entries and 2 product entries, one of them with coefficient 0.
  const int nc = 5;
  EXPECT_EQ(b.nz, 2 * nc + nc + 4 + (nc + 3) + 3 + 2 * nc + 4 + 4);
  // The CO2 row holds its entry at the extent, with the value 0.
  const int row = b.nf - 1 - (nc - 4);  // NET_GEN_CO2
  ASSERT_EQ(b.eqn_name(row), "R1.NET_GEN_CO2");
  const int ext = b.find_var("EXTENT_OF_RXN_1");
  ASSERT_EQ(b.call(KODE_JACOB), 0);
  int found = 0;
  for (int k = 0; k < b.nz; ++k) {
    if (b.ijrow[static_cast<size_t>(k)] == row && b.ijcol[static_cast<size_t>(k)] == ext) {
      ++found;
      EXPECT_EQ(b.dfdy[static_cast<size_t>(k)], 0.0);
    }
  }
  EXPECT_EQ(found, 1);
}

// A component on both sides of one reaction (A + B -> 2 A) has one entry per
// occurrence; the solver sums them to the net coefficient.
TEST_F(ReactorTest, AutocatalyticReactionSumsItsEntries) {
  Block b = make_reactor({{{1, 2, 1}, {-1.0, -1.0, 2.0}, 2}}, {0.1, 0.3, 1.0, 0.01, 0.02});
  ASSERT_EQ(b.prepare(), 0);
  ASSERT_EQ(b.call(KODE_JACOB), 0);
  const int row = b.nf - 1 - 4;  // NET_GEN_CH4
  ASSERT_EQ(b.eqn_name(row), "R1.NET_GEN_CH4");
  const int ext = b.find_var("EXTENT_OF_RXN_1");
  double sum = 0.0;
  int n = 0;
  for (int k = 0; k < b.nz; ++k) {
    if (b.ijrow[static_cast<size_t>(k)] == row && b.ijcol[static_cast<size_t>(k)] == ext) {
      sum += b.dfdy[static_cast<size_t>(k)];
      ++n;
    }
  }
  EXPECT_EQ(n, 2);
  EXPECT_DOUBLE_EQ(sum, 1.0);  // consumption: 1 - 2 per unit of the key (O2)
  b.y[at(ext)] = 0.05;
  b.y[at(b.find_var("NET_GEN_CH4"))] = 0.0;
  ASSERT_EQ(b.call(KODE_RESID), 0);
  EXPECT_DOUBLE_EQ(b.f[at(row)], 0.05);
}

// Reaction numbers are written without leading zeros, up to 100 reactions.
TEST(ReactorNames, HundredReactions) {
  reset_host({"NC4", "IC4"});
  std::vector<Rxn> rx(100, Rxn{{1, 2}, {-1.0, 1.0}, 1});
  Block b = make_reactor(rx, {1.0, 0.5});
  ASSERT_EQ(b.prepare(), 0) << ::testing::PrintToString(standard_output());
  EXPECT_TRUE(standard_output().empty());
  const int ns = 2 * (2 + 3);
  EXPECT_EQ(b.ny, ns + 2 + 2 + 200);
  EXPECT_EQ(b.var_name(ns + 4 + 9), "R1.CONVERSION_RXN_9");
  EXPECT_EQ(b.var_name(ns + 4 + 10), "R1.CONVERSION_RXN_10");
  EXPECT_EQ(b.var_name(ns + 4 + 100), "R1.CONVERSION_RXN_100");
  EXPECT_EQ(b.var_name(ns + 4 + 100 + 1), "R1.EXTENT_OF_RXN_1");
  EXPECT_EQ(b.var_name(b.ny), "R1.EXTENT_OF_RXN_100");
  EXPECT_EQ(b.eqn_name(b.nf), "R1.CONVERSION_RXN_100");
  EXPECT_EQ(b.eqn_name(b.nf - 90), "R1.CONVERSION_RXN_10");
  EXPECT_EQ(b.eqn_name(b.nf - 91), "R1.CONVERSION_RXN_9");
  for (int r = 1; r <= 100; ++r) {
    b.y[at(b.find_var("CONVERSION_RXN_" + std::to_string(r)))] = 0.2;
    b.y[at(b.find_var("EXTENT_OF_RXN_" + std::to_string(r)))] = 0.002;
  }
  check_conformance(b);
}

TEST_F(ReactorTest, SequentialModeFixesTheInletAndItsHeatStream) {
  for (int32_t imode : {0, 1}) {
    Block b = make_reactor({kMethane}, {0.1, 0.3, 1.0, 0.0, 0.0}, 1, 1, imode);
    ASSERT_EQ(b.prepare(), 0);
    const int ninlet = 5 + 3 + 1;
    for (int i = 1; i <= ninlet; ++i) EXPECT_EQ(b.fixed(i), imode == 0) << b.var_name(i);
    for (int i = ninlet + 1; i <= b.ny; ++i) EXPECT_FALSE(b.fixed(i)) << b.var_name(i);
  }
}

TEST_F(ReactorTest, InitialisationDefaultsAndUserValues) {
  Block b = make_reactor({kMethane}, {0.1, 0.3, 1.0, 0.0, 0.0}, 0, 1);
  ASSERT_EQ(b.dimension(), 0);
  ASSERT_EQ(b.call(KODE_NAMES), 0);
  const int t = b.find_var("OUTLET_TEMP"), dp = b.find_var("REACTOR_DP");
  const int conv = b.find_var("CONVERSION_RXN_1"), ext = b.find_var("EXTENT_OF_RXN_1");
  const int ng = b.find_var("NET_GEN_O2"), pout = b.find_var("PROD.PRESSURE");
  const int hout = b.find_var("PROD.ENTHALPY"), qout = b.find_var("QOUT.VALUE");
  b.y[at(conv)] = 75.0;           // a user's value survives
  b.yub[at(t)] = 1500.0;          // and a user's bound
  b.y[at(pout)] = 1.5e5;          // an outlet guess
  b.fscl[7] = 42.0;               // OUTLET_PRESSURE's scale
  ASSERT_EQ(b.call(KODE_INIT), 0);
  EXPECT_EQ(b.y[at(t)], 600.0);  // the inlet temperature
  EXPECT_EQ(b.ylb[at(t)], 50.0);
  EXPECT_EQ(b.yub[at(t)], 1500.0);
  EXPECT_EQ(b.yscl[at(t)], 1000.0);
  EXPECT_EQ(b.y[at(dp)], 0.0);
  EXPECT_EQ(b.ylb[at(dp)], 0.0);
  EXPECT_EQ(b.yub[at(dp)], 1.0e6);
  EXPECT_EQ(b.y[at(conv)], 75.0);
  EXPECT_EQ(b.yub[at(conv)], 100.0);
  EXPECT_EQ(b.yscl[at(conv)], 1.0);
  EXPECT_EQ(b.y[at(ext)], 0.0);
  EXPECT_EQ(b.ylb[at(ext)], 0.0);
  EXPECT_EQ(b.yub[at(ext)], kRmiss);
  EXPECT_EQ(b.ylb[at(ng)], -kRmiss);
  EXPECT_EQ(b.ysbnd[at(ng)], 1.0);
  EXPECT_EQ(b.y[at(pout)], 1.5e5);
  EXPECT_EQ(b.y[at(hout)], b.y[at(b.find_var("FEED.ENTHALPY"))]);
  EXPECT_EQ(b.y[at(b.find_var("PROD.FLOW_O2"))], 0.3);
  EXPECT_EQ(b.y[at(qout)], 0.0);
  EXPECT_EQ(U3VGPT(&b.iyattr[at(t)]), 22);
  EXPECT_EQ(U3VGPT(&b.iyattr[at(dp)]), 75);
  EXPECT_EQ(U3VGPT(&b.iyattr[at(ng)]), 11);
  EXPECT_EQ(U3VGPT(&b.iyattr[at(conv)]), 44);
  EXPECT_EQ(U3VGPT(&b.iyattr[at(ext)]), 11);
  // Equation scales: balances, energy balance, then the reactor's.
  EXPECT_EQ(b.fscl[5], 1.0e8);   // EBAL: duty
  EXPECT_EQ(b.fscl[6], 1.0e8);   // ENTH_OUTLET: molar enthalpy
  EXPECT_EQ(b.fscl[7], 42.0);
  EXPECT_EQ(b.fscl[8], 1.0);     // OUTLET_TOTAL_MOLAR_FLOW
  EXPECT_EQ(b.fscl[static_cast<size_t>(b.nf - 1)], 1.0);
  // Every pattern entry inside the arrays, and no work area left behind.
  EXPECT_EQ(host::pool_areas(), 0);
}

TEST_F(ReactorTest, RequestsWithoutWorkDoNothing) {
  Block b = make_reactor({kMethane}, {0.1, 0.3, 1.0, 0.0, 0.0});
  ASSERT_EQ(b.prepare(), 0);
  const auto y = b.y, f = b.f;
  for (int32_t kode : {int32_t{KODE_CHECK}, int32_t{KODE_REPORT}, int32_t{55}}) {
    EXPECT_EQ(b.call(kode, 7), 7);
    EXPECT_EQ(b.y, y);
  }
  EXPECT_TRUE(messages().empty());
  EXPECT_TRUE(report().empty());
  EXPECT_TRUE(standard_output().empty());
}

// --- The examples ------------------------------------------------------------

const std::map<std::string, EntryFn> kEntries = {{"R3STOIC", R3STOIC}};

TEST(ReactorExamples, EveryExampleConvergesAndConforms) {
  for (const char* name : {"stoic/methane_combustion.toml", "stoic/steam_reforming.toml"}) {
    CaseRun r = run_case(example_path(name), kEntries);
    ASSERT_EQ(r.outcome, host::Outcome::Solved) << name << ": " << r.error;
    EXPECT_TRUE(r.solve.converged) << name;
    EXPECT_LE(r.solve.iterations, 6) << name;
    ASSERT_EQ(r.flowsheet->blocks().size(), 1u);
    Block& b = *r.flowsheet->blocks()[0];
    keep_outlet_flows_positive(b, 1.0e-3);
    SCOPED_TRACE(name);
    check_conformance(b);
  }
}

double element_flow(const std::vector<double>& v, const std::map<std::string, int>& atoms,
                    const std::vector<std::string>& ids) {
  double s = 0.0;
  for (size_t i = 0; i < ids.size(); ++i) {
    auto it = atoms.find(ids[i]);
    if (it != atoms.end()) s += it->second * v[i];
  }
  return s;
}

// Total enthalpy flow (W) of component flows f at T from the engine's
// ideal-gas enthalpies of the pure components.
double ideal_gas_enthalpy(const std::vector<std::string>& ids, const std::vector<double>& f,
                          double T) {
  const thermo::Databank& db = thermo::Databank::builtin();
  std::vector<const thermo::Component*> comps;
  for (const std::string& id : ids) comps.push_back(&db[db.find(id)]);
  auto model = thermo::make_model(thermo::Method::Ideal, comps);
  EXPECT_TRUE(model);
  if (!model) return 0.0;
  const size_t n = ids.size();
  double h = 0.0;
  for (size_t i = 0; i < n; ++i) {
    std::vector<double> x(n, 0.0);
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
  const std::vector<double>& in = r.stream("FUEL_AIR");
  const std::vector<double>& out = r.stream("FLUEGAS");
  const int nc = 5;
  // Elements C, H, O, N per component CH4, O2, N2, CO2, H2O.
  const std::map<std::string, std::map<std::string, int>> elements = {
      {"C", {{"CH4", 1}, {"CO2", 1}}},
      {"H", {{"CH4", 4}, {"H2O", 2}}},
      {"O", {{"O2", 2}, {"CO2", 2}, {"H2O", 1}}},
      {"N", {{"N2", 2}}}};
  for (const auto& [el, atoms] : elements) {
    const double a = element_flow(in, atoms, kCombustion), b = element_flow(out, atoms, kCombustion);
    EXPECT_NEAR(a, b, 1e-14 * std::max(1.0, a)) << el;
  }
  EXPECT_NEAR(out[0], 0.0, 1e-15);  // all the methane burnt
  // Independent flame temperature.
  auto enthalpy = [&](const std::vector<double>& f, double T) {
    return ideal_gas_enthalpy(kCombustion, f, T);
  };
  const std::vector<double> f0 = {0.1, 0.22, 0.8272, 0.0, 0.0};
  const std::vector<double> f1 = {0.0, 0.02, 0.8272, 0.1, 0.2};
  const double h0 = enthalpy(f0, 298.15);
  double lo = 298.15, hi = 4000.0;
  for (int it = 0; it < 100; ++it) {
    const double mid = 0.5 * (lo + hi);
    (enthalpy(f1, mid) < h0 ? lo : hi) = mid;
  }
  const double t_flame = 0.5 * (lo + hi);
  EXPECT_GT(t_flame, 2000.0);
  EXPECT_NEAR(r.value("BURNER.OUTLET_TEMP"), t_flame, 1.0);
  EXPECT_NEAR(out[static_cast<size_t>(nc + 1)], t_flame, 1.0);
  std::printf("flame temperature: model %.4f K, bisection %.4f K, %d iterations\n",
              r.value("BURNER.OUTLET_TEMP"), t_flame, r.solve.iterations);
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
  std::printf("reformer duty: model %.6e W, from the enthalpies %.6e W, %d iterations\n", q, dh,
              r.solve.iterations);
}

// --- Refused input -------------------------------------------------------------

std::vector<std::string> error_lines(const std::vector<std::string>& lines) {
  std::vector<std::string> want = {"", " ERROR in subroutine R3STOIC:"};
  for (const auto& l : lines) want.push_back("      " + l);
  return want;
}

// The dimension request refuses the block: ISTAT 1, counts unwritten, and
// every later request is refused too, writing nothing into the arrays.
void expect_refused(Block& b, const std::vector<std::string>& lines) {
  b.ny = -5;
  b.nf = -6;
  b.nz = -7;
  EXPECT_EQ(b.call(KODE_DIMEN), 1);
  EXPECT_EQ(b.ny, -5);
  EXPECT_EQ(b.nf, -6);
  EXPECT_EQ(b.nz, -7);
  EXPECT_EQ(messages(), error_lines(lines));
  b.ny = b.nf = b.nz = 0;
  for (int32_t kode : {KODE_NAMES, KODE_INIT, KODE_RESID, KODE_JACOB, KODE_STRMUPD}) {
    EXPECT_EQ(b.call(kode), 1);
    EXPECT_EQ(messages(), error_lines(lines));
  }
  EXPECT_EQ(host::pool_areas(), 0);
}

const std::vector<std::string> kBoxTop = {"", "+---------------------- ERROR ---------------------+", ""};
const std::vector<std::string> kBoxBottom = {"", "+--------------------------------------------------+"};

std::vector<std::string> box(const std::vector<std::string>& body) {
  std::vector<std::string> l = kBoxTop;
  l.insert(l.end(), body.begin(), body.end());
  l.insert(l.end(), kBoxBottom.begin(), kBoxBottom.end());
  return l;
}

TEST_F(ReactorTest, TwoPhaseOutletIsRefused) {
  Block b = make_reactor({kMethane}, {0.1, 0.3, 1.0, 0.0, 0.0}, 0, 0, 1, 3);
  expect_refused(b, {"Two-phase outlets (outlet phase option 3) are not supported.",
                     "The outlet phase option must be 1 (vapour) or 2 (liquid)."});
  const auto out = standard_output();
  ASSERT_FALSE(out.empty());
  EXPECT_EQ(out[0], " Not ready for two phase outlets");
}

TEST_F(ReactorTest, OtherPhaseOptionsAreRefused) {
  for (int32_t phase : {0, 4, -1}) {
    Block b = make_reactor({kMethane}, {0.1, 0.3, 1.0, 0.0, 0.0}, 0, 0, 1, phase);
    expect_refused(b, {"Invalid outlet phase option: " + std::to_string(phase) + ".",
                       "The outlet phase option must be 1 (vapour) or 2 (liquid)."});
    EXPECT_TRUE(standard_output().empty());
  }
  Block b = make_reactor({}, {0.1, 0.3, 1.0, 0.0, 0.0});
  b.ints = {1, 0, 0};  // the list ends before the phase option
  expect_refused(b, {"The outlet phase option is not given.",
                     "The outlet phase option must be 1 (vapour) or 2 (liquid)."});
  // A liquid outlet (2) is accepted.
  Block liq = make_reactor({kMethane}, {0.1, 0.3, 1.0, 0.0, 0.0}, 0, 0, 1, 2);
  EXPECT_EQ(liq.prepare(), 0);
}

TEST_F(ReactorTest, ReactionDataSwitchMakesAHeater) {
  for (int32_t sw : {1, -4}) {
    Block b = make_reactor({kMethane}, {0.1, 0.3, 1.0, 0.01, 0.02}, 1, 0, 1, 1, sw);
    ASSERT_EQ(b.dimension(), 0);
    EXPECT_EQ(messages(), (std::vector<std::string>{
                              "", " NOTE from R3STOIC:",
                              "      The reaction-data switch is " + std::to_string(sw) +
                                  ", not 0: no reactions are read,",
                              "      and the block is a heater with a pressure drop."}));
    EXPECT_EQ(b.ny, 2 * 8 + 1 + 2 + 5);
    ASSERT_EQ(b.call(KODE_NAMES), 0);
    ASSERT_EQ(b.call(KODE_INIT), 0);
    EXPECT_EQ(b.find_var("CONVERSION_RXN_1"), 0);
    EXPECT_TRUE(messages().empty());  // the note belongs to the dimension request
    b.y[at(b.find_var("OUTLET_TEMP"))] = 700.0;
    check_conformance(b);
  }
}

TEST_F(ReactorTest, NumberOfReactionsRefused) {
  {
    Block b = make_reactor({}, {0.1, 0.3, 1.0, 0.0, 0.0});
    b.ints = {1, 0, 0, 1, 0};
    expect_refused(b, {"The number of reactions is not given."});
  }
  {
    Block b = make_reactor({}, {0.1, 0.3, 1.0, 0.0, 0.0});
    b.ints = {1, 0, 0, 1, 0, -2};
    expect_refused(b, {"Invalid number of reactions: -2."});
  }
}

TEST_F(ReactorTest, MoreThanHundredReactionsBoxAndRefusal) {
  std::vector<Rxn> rx(101, kMethane);
  Block b = make_reactor(rx, {0.1, 0.3, 1.0, 0.0, 0.0});
  expect_refused(b, {"The number of reactions, 101, exceeds the maximum allowed (100)."});
  const auto out = standard_output();
  // One box per call (dimension, then the five refused requests).
  const std::vector<std::string> one = box({"  The number of reactions:   101",
                                            "  exceeds the maximum allowed:   100",
                                            "  Action: split the reactions over more than one block."});
  ASSERT_EQ(out.size(), 6 * one.size());
  EXPECT_EQ(std::vector<std::string>(out.begin(), out.begin() + static_cast<long>(one.size())), one);
}

TEST_F(ReactorTest, CoefficientLimitsBoxAndRefusal) {
  // 100 reactions of 4 reactants: the limit of 300 is passed at reaction 76.
  {
    std::vector<Rxn> rx(100, Rxn{{1, 2, 3, 5}, {-1.0, -1.0, -1.0, -1.0}, 1});
    Block b = make_reactor(rx, {0.1, 0.3, 1.0, 0.0, 0.0});
    expect_refused(b, {"The reactions exceed the maximum allowed coefficients (300 reactant",
                       "and 300 product entries in all); reading stopped at reaction 76."});
    const auto out = standard_output();
    const auto want = box({"  The number of reactant coefficients:   304",
                           "  exceeds the maximum allowed:   300",
                           "  Action: write the reaction with fewer species."});
    ASSERT_GE(out.size(), want.size());
    EXPECT_EQ(std::vector<std::string>(out.begin(), out.begin() + static_cast<long>(want.size())), want);
  }
  // Reactants and products past the limit together: two boxes.
  {
    std::vector<Rxn> rx(100, Rxn{{1, 2, 3, 4, 5, 1, 2, 3},
                                 {-1.0, -1.0, -1.0, -1.0, 1.0, 1.0, 1.0, 1.0}, 1});
    Block b = make_reactor(rx, {0.1, 0.3, 1.0, 0.0, 0.0});
    EXPECT_EQ(b.call(KODE_DIMEN), 1);
    auto want = box({"  The number of reactant coefficients:   304",
                     "  exceeds the maximum allowed:   300",
                     "  Action: write the reaction with fewer species."});
    const auto second = box({"  The number of  product coefficients:   304",
                             "  exceeds the maximum allowed:   300",
                             "  Action: write the reaction with fewer species."});
    want.insert(want.end(), second.begin(), second.end());
    EXPECT_EQ(standard_output(), want);
    messages();
  }
  // Exactly 300 of each is accepted.
  {
    std::vector<Rxn> rx(75, Rxn{{1, 2, 3, 5, 4, 1, 2, 3},
                                {-1.0, -1.0, -1.0, -1.0, 1.0, 1.0, 1.0, 1.0}, 1});
    Block b = make_reactor(rx, {0.1, 0.3, 1.0, 0.0, 0.0});
    EXPECT_EQ(b.prepare(), 0);
    EXPECT_TRUE(standard_output().empty());
  }
}

TEST_F(ReactorTest, ComponentOutsideTheListIsRefused) {
  for (int32_t c : {6, 0, -3, 201, 5000}) {
    Block b = make_reactor({kMethane, {{1, c}, {-1.0, 1.0}, 1}}, {0.1, 0.3, 1.0, 0.0, 0.0});
    expect_refused(b, {"Reaction 2: component number " + std::to_string(c) +
                       " is not in the block's component list."});
    EXPECT_TRUE(standard_output().empty());
  }
}

TEST_F(ReactorTest, KeyReactantNotAReactant) {
  const auto key_box = [](const std::string& r) {
    return box({"  The key reactant specified for reaction" + r,
                "  is not a reactant for the specified reaction.",
                "  The key reactant must be a reactant for the", "  specified reaction."});
  };
  // The key is a product of the reaction.
  {
    Block b = make_reactor({kMethane, {{1, 2, 4, 5}, {-1.0, -2.0, 1.0, 2.0}, 4}},
                           {0.1, 0.3, 1.0, 0.0, 0.0});
    EXPECT_EQ(b.call(KODE_DIMEN), 1);
    EXPECT_EQ(standard_output(), key_box("   2"));
    EXPECT_EQ(messages(),
              error_lines({"Reaction 2: the key reactant (component 4) is not a reactant of the "
                           "reaction."}));
  }
  // A reaction with no reactants, and a key that is not given.
  {
    Block b = make_reactor({{{4, 5}, {1.0, 2.0}, 4}}, {0.1, 0.3, 1.0, 0.0, 0.0});
    b.ints.pop_back();
    b.ints.pop_back();
    EXPECT_EQ(b.call(KODE_DIMEN), 1);
    EXPECT_EQ(standard_output(), key_box("   1"));
    EXPECT_EQ(messages(), error_lines({"Reaction 1: the key reactant is not given."}));
  }
}

TEST_F(ReactorTest, ShortOrBrokenReactionData) {
  {
    Block b = make_reactor({kMethane}, {0.1, 0.3, 1.0, 0.0, 0.0});
    b.reals.resize(3);  // the fourth coefficient is missing
    expect_refused(b, {"Reaction 1: stoichiometric coefficient 4 is missing or not a number."});
  }
  {
    Block b = make_reactor({kMethane}, {0.1, 0.3, 1.0, 0.0, 0.0});
    b.reals[1] = std::nan("");
    expect_refused(b, {"Reaction 1: stoichiometric coefficient 2 is missing or not a number."});
  }
  {
    Block b = make_reactor({kMethane}, {0.1, 0.3, 1.0, 0.0, 0.0});
    b.ints[6] = 2000000000;  // component count far past the end of INT
    expect_refused(b, {"Reaction 1: its component numbers run past the end of the integer data."});
  }
  {
    Block b = make_reactor({kMethane}, {0.1, 0.3, 1.0, 0.0, 0.0});
    b.ints[6] = -1;
    expect_refused(b, {"Reaction 1: invalid number of components: -1."});
  }
  {
    Block b = make_reactor({kMethane, kMethane}, {0.1, 0.3, 1.0, 0.0, 0.0});
    b.ints.resize(11);  // the list ends where reaction 2 begins
    expect_refused(b, {"Reaction 2: the number of its components is not given."});
  }
}

TEST_F(ReactorTest, ConnectivityAndModeRefused) {
  {
    Block b = make_reactor({kMethane}, {0.1, 0.3, 1.0, 0.0, 0.0});
    b.matout.clear();
    b.connect_streams();
    expect_refused(b, {"There must be exactly one material stream connected to the outlet of",
                       "the block."});
  }
  {
    Block b = make_reactor({kMethane}, {0.1, 0.3, 1.0, 0.0, 0.0});
    b.matin = {"FEED", "FEED2"};
    b.infin = {"Q1", "Q2"};
    b.connect_streams();
    expect_refused(b, {"There must be exactly one material stream connected to the inlet of",
                       "the block.",
                       "There may not be more than one information stream connected to the",
                       "inlet of the block."});
  }
  {
    Block b = make_reactor({kMethane}, {0.1, 0.3, 1.0, 0.0, 0.0}, 0, 0, 2);
    expect_refused(b, {"Invalid value entered for IMODE. IMODE must be either 0 or 1."});
  }
}

TEST_F(ReactorTest, ManyErrorsAreCappedWithANote) {
  std::vector<Rxn> rx;
  for (int r = 0; r < 12; ++r) rx.push_back({{1, 60 + r}, {-1.0, 1.0}, 1});
  Block b = make_reactor(rx, {0.1, 0.3, 1.0, 0.0, 0.0});
  EXPECT_EQ(b.call(KODE_DIMEN), 1);
  const auto m = messages();
  ASSERT_EQ(m.size(), 2u + 8u);
  EXPECT_EQ(m[2], "      Reaction 1: component number 60 is not in the block's component list.");
  EXPECT_EQ(m.back(), "      Further errors in the block's data are not shown.");
}

}  // namespace
}  // namespace r3::test
