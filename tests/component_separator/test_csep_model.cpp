// The component separator's variables, equations, initial values and
// solutions: counts and names for 1 to 20 outlets, the conformance harness
// on every example, conservation and outlet states against the property
// engine, the alpha-derivative floor and the solution-state word.
#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "host/thermo/thermo.h"
#include "tests/component_separator/csep_fixture.h"

namespace r3::test::csep {
namespace {

using host::Block;
using host::kRmiss;

// Synthetic components for a 200-component list: copies of databank rows
// under new identifiers.
void use_many_components(int n) {
  reset_host({"CH4"});
  static std::vector<thermo::Component> rows;
  const thermo::Databank& db = thermo::Databank::builtin();
  const char* base[] = {"CH4", "C2H6", "C3H8", "NC4"};
  rows.clear();
  for (int i = 0; i < n; ++i) {
    thermo::Component c = db[db.find(base[i % 4])];
    c.id = std::string("C").append(std::to_string(i + 1));  // appended: GCC 12 -Wrestrict false positive
    rows.push_back(c);
  }
  std::vector<const thermo::Component*> list;
  for (const auto& c : rows) list.push_back(&c);
  std::string error;
  ASSERT_TRUE(host::configure_run(list, thermo::Method::Ideal, error)) << error;
  host::reset_shared_areas();
}

struct Shape {
  int nc, no;
};

class SeparatorShapes : public ::testing::TestWithParam<Shape> {};

TEST_P(SeparatorShapes, CountsNamesAndConformance) {
  const auto [nc, no] = GetParam();
  if (nc == 3) {
    reset_host(kLight);
  } else {
    use_many_components(nc);
  }
  Block b = make_sep(no);
  ASSERT_EQ(b.prepare(), 0) << ::testing::PrintToString(messages());
  const int ns = (no + 1) * (nc + 3);
  EXPECT_EQ(b.ny, ns + no * (nc + 2) + 1);
  EXPECT_EQ(b.nf, nc + nc * no + 2 * no + 1 + no);
  EXPECT_EQ(b.nz, 4 * nc * no + 6 * no + (no - 1) * (nc + 1) + 4 + no * (nc + 3));
  if (no == 1) {
    // Before the enthalpy set: 2 NC + 3 equations and 4 NC + 10 non-zeros.
    EXPECT_EQ(b.nf - 1, 2 * nc + 3);
    EXPECT_EQ(b.nz - (nc + 3), 4 * nc + 10);
  }
  EXPECT_EQ(b.naux1, 0);
  EXPECT_EQ(b.naux2, 0);
  EXPECT_EQ(b.naux3, 0);
  const std::string c1 = nc == 3 ? "CH4" : "C1";
  const std::string c2 = nc == 3 ? "C2H6" : "C2";
  const std::string last = "OUT" + std::to_string(no);
  // Block variables: pressure drops, alphas component-major, temperatures, duty.
  EXPECT_EQ(b.var_name(ns + 1), "SEP.OUT1_DELTAP");
  EXPECT_EQ(b.var_name(ns + no), "SEP." + last + "_DELTAP");
  EXPECT_EQ(b.var_name(ns + no + 1), "SEP.ALPHA_OUT1." + c1);
  EXPECT_EQ(b.var_name(ns + no + no), "SEP.ALPHA_" + last + "." + c1);
  EXPECT_EQ(b.var_name(ns + no + no + 1), "SEP.ALPHA_OUT1." + c2);
  EXPECT_EQ(b.var_name(ns + no + nc * no + 1), "SEP.OUT1_TEMP");
  EXPECT_EQ(b.var_name(b.ny), "SEP.DUTY");
  // Equations.
  EXPECT_EQ(b.eqn_name(1), "SEP.SUMDIST_" + c1);
  EXPECT_EQ(b.eqn_name(nc + 1), "SEP.MATBAL");
  EXPECT_EQ(b.eqn_name(nc + 2), "SEP.DISTRIB_" + c1 + "_OUT1");
  EXPECT_EQ(b.eqn_name(nc + 2 + no), "SEP.DISTRIB_" + c2 + "_OUT1");
  const int dp = nc + 2 + nc * no;
  EXPECT_EQ(b.eqn_name(dp), "SEP.DP_OUT1");
  if (no > 1) {
    EXPECT_EQ(b.eqn_name(dp + no), "SEP.SUMOUT_OUT2");
  }
  EXPECT_EQ(b.eqn_name(dp + 2 * no - 1), "SEP.ENERBAL");
  EXPECT_EQ(b.eqn_name(dp + 2 * no), "SEP.ENTHALPY_OUT1");
  EXPECT_EQ(b.eqn_name(b.nf), "SEP.ENTHALPY_" + last);
  if (nc * no <= 100) check_conformance(b);
}

INSTANTIATE_TEST_SUITE_P(Separator, SeparatorShapes,
                         ::testing::Values(Shape{3, 1}, Shape{3, 2}, Shape{3, 5}, Shape{3, 20},
                                           Shape{200, 1}, Shape{200, 2}),
                         [](const ::testing::TestParamInfo<Shape>& i) {
                           return std::to_string(i.param.nc) + "comp_" +
                                  std::to_string(i.param.no) + "out";
                         });

class SeparatorTest : public ::testing::Test {
 protected:
  void SetUp() override { reset_host(kLight); }
};

TEST_F(SeparatorTest, CountsAreAddedToWhatTheHostPasses) {
  Block b = make_sep(2);
  ASSERT_EQ(b.dimension(), 0);
  const int nf = b.nf, nz = b.nz, ny = b.ny;
  b.nf = 5;
  b.nz = 7;
  b.ny = 1000;
  ASSERT_EQ(b.call(KODE_DIMEN), 0);
  EXPECT_EQ(b.nf, nf + 5);
  EXPECT_EQ(b.nz, nz + 7);
  EXPECT_EQ(b.ny, ny);  // NY is set, not added to
}

TEST_F(SeparatorTest, InitialValuesBoundsScalesAndTypes) {
  Block b = make_sep(2);
  ASSERT_EQ(b.dimension(), 0);
  ASSERT_EQ(b.call(KODE_NAMES), 0);
  // A user's values survive; a step bound of exactly 1 on an outlet stream
  // variable is replaced by the inlet's, another value stays.
  y(b, "OUT1_TEMP") = 320.0;
  b.ylb[static_cast<size_t>(var(b, "DUTY") - 1)] = -5.0;
  b.ysbnd[static_cast<size_t>(var(b, "OUT1.PRESSURE") - 1)] = 1.0;
  b.ysbnd[static_cast<size_t>(var(b, "OUT2.PRESSURE") - 1)] = 2.0;
  ASSERT_EQ(b.initialise(), 0);
  auto at = [&](const std::vector<double>& a, const std::string& n) {
    return a[static_cast<size_t>(var(b, n) - 1)];
  };
  auto type = [&](const std::string& n) { return (b.iyattr[static_cast<size_t>(var(b, n) - 1)] >> 8) & 0xFF; };
  struct Want {
    std::string name;
    double value, lb, ub, sb, scale;
    int type;
  };
  for (const Want& w : {Want{"OUT2_DELTAP", 0.0, 0.0, 2.0e5, 1.0, 1.0e6, 20},
                        Want{"ALPHA_OUT2.C3H8", 1.0, 0.0, 1.0, 1.0, 1.0, 44},
                        Want{"OUT2_TEMP", 300.0, 50.0, 5000.0, 1.0, 1000.0, 22},
                        Want{"OUT1_TEMP", 320.0, 50.0, 5000.0, 1.0, 1000.0, 22},
                        Want{"DUTY", 1.0e8, -5.0, 1.0e10, 1.0, 1.0e8, 13}}) {
    SCOPED_TRACE(w.name);
    EXPECT_EQ(at(b.y, w.name), w.value);
    EXPECT_EQ(at(b.ylb, w.name), w.lb);
    EXPECT_EQ(at(b.yub, w.name), w.ub);
    EXPECT_EQ(at(b.ysbnd, w.name), w.sb);
    EXPECT_EQ(at(b.yscl, w.name), w.scale);
    EXPECT_EQ(type(w.name), w.type);
  }
  // Outlet stream variables from the inlet's.
  for (const char* v : {"TOTAL_FLOW", "FLOW_C2H6", "ENTHALPY", "PRESSURE"}) {
    SCOPED_TRACE(v);
    const std::string in = std::string("FEED.") + v, out = std::string("OUT2.") + v;
    EXPECT_EQ(at(b.y, out), at(b.y, in));
    EXPECT_EQ(at(b.ylb, out), at(b.ylb, in));
    EXPECT_EQ(at(b.yub, out), at(b.yub, in));
    EXPECT_EQ(at(b.yscl, out), at(b.yscl, in));
    EXPECT_EQ(type(out), type(in));
  }
  EXPECT_EQ(at(b.ysbnd, "OUT1.PRESSURE"), at(b.ysbnd, "FEED.PRESSURE"));
  EXPECT_EQ(at(b.ysbnd, "OUT2.PRESSURE"), 2.0);
  // Equation scales by group.
  const std::vector<double> want = {1, 1, 1,                    // SUMDIST
                                    1,                          // MATBAL
                                    1, 1, 1, 1, 1, 1,           // DISTRIB
                                    1e6, 1e6,                   // DP
                                    1,                          // SUMOUT
                                    1e8,                        // ENERBAL
                                    1e8, 1e8};                  // enthalpies
  EXPECT_EQ(b.fscl, want);
  EXPECT_TRUE(messages().empty());
  EXPECT_TRUE(records(hs::second_message_unit()).empty());
}

// Re-using previous values (stored values, run mode -1) keeps what the block
// variables hold; one that holds nothing to re-use still gets its default, so
// no missing value reaches the solver.
TEST_F(SeparatorTest, ReusedValuesKeptMissingOnesDefaulted) {
  Block b = make_sep(2, {0, 0, 0, 1, -1, 0});
  ASSERT_EQ(b.dimension(), 0);
  ASSERT_EQ(b.call(KODE_NAMES), 0);
  y(b, "ALPHA_OUT1.CH4") = 0.25;
  y(b, "DUTY") = -3.0e5;
  ASSERT_EQ(b.initialise(), 0);
  EXPECT_EQ(y(b, "ALPHA_OUT1.CH4"), 0.25);
  EXPECT_EQ(y(b, "DUTY"), -3.0e5);
  EXPECT_EQ(y(b, "OUT2_TEMP"), 300.0);
  for (double v : b.y) EXPECT_NE(v, kRmiss);
  EXPECT_TRUE(messages().empty());
}

TEST_F(SeparatorTest, SequentialModularFixesTheInletOnly) {
  for (int32_t imode : {0, 1}) {
    Block b = make_sep(2, {0, 0, imode, 0, 0, 0});
    ASSERT_EQ(b.prepare(), 0);
    EXPECT_EQ(b.fixed(var(b, "FEED.TOTAL_FLOW")), imode == 0);
    EXPECT_EQ(b.fixed(var(b, "FEED.PRESSURE")), imode == 0);
    EXPECT_FALSE(b.fixed(var(b, "OUT1.TOTAL_FLOW")));
  }
}

// The derivative of alpha(i,k) f0(i) - fk(i) by alpha is the inlet flow,
// held at the limit of REAL(1) (1e-6 when not given) for an empty component.
TEST_F(SeparatorTest, AlphaDerivativeNeverBelowTheInletFlowLimit) {
  for (const std::vector<double>& reals : {std::vector<double>{}, std::vector<double>{kRmiss},
                                           std::vector<double>{1.0e-3}}) {
    Block b = make_sep(2);
    b.reals = reals;
    ASSERT_TRUE(b.set_material_inlet(0, {0.4, 0.0, 0.25}, 350.0, 2.0e5));
    ASSERT_EQ(b.prepare(), 0);
    ASSERT_EQ(b.call(KODE_JACOB), 0);
    const double floor = reals.empty() || reals[0] == kRmiss ? 1e-6 : 1e-3;
    auto entry = [&](const std::string& eqn, const std::string& v) {
      const int row = [&] {
        for (int m = 1; m <= b.nf; ++m) {
          if (b.eqn_name(m) == "SEP." + eqn) return m;
        }
        return 0;
      }();
      const int col = var(b, v);
      for (int q = 0; q < b.nz; ++q) {
        if (b.ijrow[static_cast<size_t>(q)] == row && b.ijcol[static_cast<size_t>(q)] == col) {
          return b.dfdy[static_cast<size_t>(q)];
        }
      }
      ADD_FAILURE() << eqn << " / " << v << " not in the pattern";
      return 0.0;
    };
    EXPECT_EQ(entry("DISTRIB_C2H6_OUT2", "ALPHA_OUT2.C2H6"), floor);
    EXPECT_EQ(entry("DISTRIB_CH4_OUT1", "ALPHA_OUT1.CH4"), 0.4);
    EXPECT_EQ(entry("DISTRIB_C3H8_OUT2", "ALPHA_OUT2.C3H8"), 0.25);
  }
}

TEST_F(SeparatorTest, SolutionStateWordAtTheStreamUpdate) {
  Block b = make_sep(2);
  ASSERT_EQ(b.prepare(), 0);
  ASSERT_EQ(b.call(KODE_RESID), 0);
  // The initial point is far from a solution.
  hs::ppexec_word(6) = 0;
  ASSERT_EQ(b.call(KODE_STRMUPD), 0);
  EXPECT_EQ(hs::ppexec_word(6), 1);
  // Small scaled residuals.
  std::fill(b.f.begin(), b.f.end(), 1e-4);
  b.call(KODE_STRMUPD);
  EXPECT_EQ(hs::ppexec_word(6), 2);
  // A residual that could not be evaluated, whatever the others are.
  b.f[3] = kRmiss;
  b.call(KODE_STRMUPD);
  EXPECT_EQ(hs::ppexec_word(6), 1);
  // An equation scale that is not positive ends the sum.
  b.f[3] = 0.0;
  b.fscl[2] = 0.0;
  b.call(KODE_STRMUPD);
  EXPECT_EQ(hs::ppexec_word(6), 1);
}

// --- The examples ---------------------------------------------------------

const std::map<std::string, EntryFn> kEntries = {{"R3CSEP", R3CSEP}};

struct Example {
  const char* file;
  const char* block;
  std::vector<std::string> components;
  std::vector<std::string> outlets;
  std::vector<int> phases;  // 1 vapour, 2 liquid
};

std::vector<Example> examples() {
  std::vector<std::string> twenty;
  for (int k = 1; k <= 20; ++k) twenty.push_back((k < 10 ? "GAS0" : "GAS") + std::to_string(k));
  return {
      {"csep/one_outlet.toml", "COOLER", {"C3H8", "NC4", "NC5", "NC6"}, {"PRODUCT"}, {2}},
      {"csep/two_outlets.toml", "SEP", {"CH4", "C2H6", "C3H8", "NC5", "NC7"}, {"GAS", "OIL"},
       {1, 2}},
      {"csep/five_outlets.toml",
       "FRAC",
       {"CH4", "C2H6", "C3H8", "NC4", "NC5", "NC6", "NC7"},
       {"FUEL", "ETHANE", "LPG", "NAPHTHA", "HEAVY"},
       {1, 1, 2, 2, 2}},
      {"csep/twenty_outlets.toml", "HEADER", {"N2", "CH4", "C2H6", "C3H8"}, twenty,
       std::vector<int>(20, 1)},
  };
}

class SeparatorExamples : public ::testing::TestWithParam<Example> {};

TEST_P(SeparatorExamples, ConvergesConservesAndAgreesWithTheEngine) {
  const Example& ex = GetParam();
  CaseRun r = run_case(example_path(ex.file), kEntries);
  ASSERT_EQ(r.outcome, host::Outcome::Solved) << r.error;
  EXPECT_TRUE(r.solve.converged);
  EXPECT_LE(r.solve.iterations, 4);
  EXPECT_EQ(hs::ppexec_word(6), 2);
  ASSERT_EQ(r.flowsheet->blocks().size(), 1u);
  Block& b = *r.flowsheet->blocks()[0];
  check_conformance(b);

  const std::string blk = std::string(ex.block) + ".";
  const size_t nc = ex.components.size();
  // Every component conserved.
  const std::vector<double>& feed = r.stream("FEED");
  for (size_t i = 0; i < nc; ++i) {
    double out = 0.0;
    for (const std::string& o : ex.outlets) out += r.stream(o)[i];
    EXPECT_NEAR(out, feed[i], 1e-13 * feed[i]) << ex.components[i];
  }
  // Energy: F0 h0 + DUTY = sum of Fk hk.
  const double in = r.value("FEED.TOTAL_FLOW") * r.value("FEED.ENTHALPY") +
                    r.value(blk + "DUTY");
  double out = 0.0;
  for (const std::string& o : ex.outlets) {
    out += r.value(o + ".TOTAL_FLOW") * r.value(o + ".ENTHALPY");
  }
  EXPECT_NEAR(in, out, 1e-10 * std::fabs(out));
  // Each outlet's enthalpy from the engine at its temperature, pressure and
  // composition in its declared phase, and the updated stream vector.
  const thermo::Databank& db = thermo::Databank::builtin();
  std::vector<const thermo::Component*> comps;
  for (const std::string& c : ex.components) comps.push_back(&db[db.find(c)]);
  auto model = thermo::make_model(thermo::Method::PengRobinson, comps);
  ASSERT_TRUE(model);
  for (size_t k = 0; k < ex.outlets.size(); ++k) {
    const std::string& o = ex.outlets[k];
    SCOPED_TRACE(o);
    const std::vector<double>& v = r.stream(o);
    const double T = r.value(blk + o + "_TEMP"), P = r.value(o + ".PRESSURE");
    const std::vector<double> x(v.begin(), v.begin() + static_cast<long>(nc));
    double h = 0.0;
    ASSERT_NE(model->enthalpy(ex.phases[k] == 2 ? thermo::Phase::Liquid : thermo::Phase::Vapour,
                              T, P, x, h),
              thermo::Status::Failed);
    const double hk = r.value(o + ".ENTHALPY");
    EXPECT_NEAR(hk, h, 1e-9 * std::fabs(h));
    // The host's PH flash of the updated stream finds the same temperature.
    EXPECT_NEAR(v[nc + 1], T, 1e-4);
    EXPECT_NEAR(v[nc + 2], P, 1e-6);
    EXPECT_NEAR(v[nc + 3] * v[nc + 8], hk, 1e-7 * std::fabs(hk));
    EXPECT_EQ(v[nc + 4], ex.phases[k] == 1 ? 1.0 : 0.0);  // vapour fraction
  }
  std::printf("%s: %d iterations, duty %.6e W\n", ex.file, r.solve.iterations,
              r.value(blk + "DUTY"));
}

INSTANTIATE_TEST_SUITE_P(Separator, SeparatorExamples, ::testing::ValuesIn(examples()),
                         [](const ::testing::TestParamInfo<Example>& i) {
                           return std::string(i.param.block);
                         });

// The split of the two-outlet example by hand: outlet flows are alpha times
// the feed's, the liquid keeps the rest, and the pressure drops are applied.
TEST(SeparatorHand, TwoOutletSplit) {
  CaseRun r = run_case(example_path("csep/two_outlets.toml"), kEntries);
  ASSERT_EQ(r.outcome, host::Outcome::Solved) << r.error;
  const std::vector<double> feed = {0.30, 0.20, 0.20, 0.15, 0.15};
  const std::vector<double> alpha = {0.99, 0.90, 0.60, 0.05, 0.01};
  double gas_total = 0.0;
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_NEAR(r.stream("GAS")[i], alpha[i] * feed[i], 1e-15);
    EXPECT_NEAR(r.stream("OIL")[i], (1.0 - alpha[i]) * feed[i], 1e-15);
    gas_total += alpha[i] * feed[i];
  }
  EXPECT_NEAR(r.value("GAS.TOTAL_FLOW"), gas_total, 1e-14);
  EXPECT_NEAR(r.value("OIL.TOTAL_FLOW"), 1.0 - gas_total, 1e-14);
  EXPECT_NEAR(r.value("OIL.PRESSURE"), 1.95e6, 1e-6);
  EXPECT_NEAR(r.value("GAS.PRESSURE"), 2.0e6, 1e-6);
  EXPECT_NEAR(r.value("SEP.ALPHA_OIL.C3H8"), 0.4, 1e-14);
}

}  // namespace
}  // namespace r3::test::csep
