// The plant blocks: the conformance harness over each block's shapes; the
// physics checked against the property engine and by hand; the plant
// examples' balances. (Bad input, the case file's design constraints and the
// mixer's and splitter's hand calculations: r3sim's rows, tests/apps.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "host/thermo/thermo.h"
#include "tests/support/support.h"

#define R3_ENTRIES(X) \
  X(HEATER)           \
  X(VALVE_DP) X(MIXER) X(SPLITTER) X(FLASH) X(R3PUMP) X(R3CCMP) X(R3STRB) X(R3VALV) X(R3HTUA)
#define R3_DECLARE(N) extern "C" void N(R3_ENTRY_PARAMS);
R3_ENTRIES(R3_DECLARE)

namespace r3::test {
namespace {

#define R3_PAIR(N) {#N, N},
const std::map<std::string, EntryFn> kEntries = {R3_ENTRIES(R3_PAIR)};

struct Shape {
  const char* model;
  int nin, nout, ninfi, ninfout;
  std::vector<double> reals;
  int dof;  // free variables left once the inlets are known
};

class BlockShapes : public ::testing::TestWithParam<Shape> {};

TEST_P(BlockShapes, ConformAndCountTheirDegreesOfFreedom) {
  const Shape sh = GetParam();
  reset_host({"C3H8", "NC5"}, thermo::Method::PengRobinson);
  host::Block b(sh.model, kEntries.at(sh.model));
  for (int k = 0; k < sh.nin; ++k) b.matin.push_back("IN" + std::to_string(k));
  for (int k = 0; k < sh.nout; ++k) b.matout.push_back("OUT" + std::to_string(k));
  b.infin.assign(static_cast<size_t>(sh.ninfi), "QI");
  b.infout.assign(static_cast<size_t>(sh.ninfout), "QO");
  b.reals = sh.reals;
  b.ipropset = 2;
  b.connect_streams();
  // Two-phase inlets at 5 bar, so that both phases take part; the first two tied.
  for (int k = 0; k < sh.nin; ++k) {
    ASSERT_TRUE(
        b.set_material_inlet(k, {0.5, 0.5 + 0.1 * k}, 320.0 + 5 * k, 5.0e5 + 1.0e4 * (k / 2)));
  }
  if (sh.ninfi) b.set_info_inlet(0, 1.0e6);
  ASSERT_EQ(b.prepare(), 0) << ::testing::PrintToString(messages());
  check_conformance(b);
  int fixed = 0;
  for (int i = 1; i <= b.ny; ++i) fixed += b.fixed(i) ? 1 : 0;
  EXPECT_EQ(b.ny - fixed - (sh.nin * 5 + sh.ninfi) - b.nf, sh.dof);
}

INSTANTIATE_TEST_SUITE_P(
    Plant, BlockShapes,
    ::testing::Values(Shape{"HEATER", 1, 1, 0, 0, {}, 2}, Shape{"HEATER", 1, 1, 1, 0, {}, 1},
                      Shape{"HEATER", 1, 1, 0, 1, {}, 2}, Shape{"VALVE_DP", 1, 1, 0, 0, {}, 1},
                      Shape{"MIXER", 3, 1, 0, 0, {}, 0}, Shape{"SPLITTER", 1, 3, 0, 0, {}, 2},
                      Shape{"SPLITTER", 1, 3, 0, 0, {0.2, 0.3}, 0},
                      Shape{"FLASH", 1, 2, 0, 0, {}, 2}, Shape{"FLASH", 1, 2, 1, 0, {}, 1}));

// Solves a case of the given blocks (TOML inline tables) and streams (lines of
// [streams]).
CaseRun solve(const std::string& comps, const std::string& blocks, const std::string& streams) {
  return run_case_text("blocks = [" + blocks +
                           "]\n[properties]\nmethod = \"PENG-ROB\"\ncomponents = [" + comps +
                           "]\n[streams]\n" + streams + "\n",
                       kEntries);
}

TEST(PlantPhysics, HeaterDutyIsTheEnginesEnthalpyChange) {
  const CaseRun r = solve(
      R"("C3H8", "NC5")",
      R"({ id = "H1", model = "HEATER", inlets = ["FEED"], outlets = ["OUT"], fix = { T_OUT = 345.0, DELTA_P = 3.0e4 } })",
      "FEED = { temperature = 300.0, pressure = 5.0e5, flows = { C3H8 = 0.4, NC5 = 0.6 } }\nOUT = "
      "{}");
  ASSERT_EQ(r.outcome, host::Outcome::Solved) << r.error;
  const thermo::Model& m = engine(thermo::Method::PengRobinson, 2);
  thermo::FlashResult in, out;
  ASSERT_NE(thermo::flash_tp(m, 300.0, 5.0e5, std::vector<double>{0.4, 0.6}, in),
            thermo::Status::Failed);
  ASSERT_NE(thermo::flash_tp(m, 345.0, 4.7e5, std::vector<double>{0.4, 0.6}, out),
            thermo::Status::Failed);
  EXPECT_NEAR(r.value("H1.DUTY"), out.H - in.H, 1e-6 * std::fabs(out.H - in.H));
  EXPECT_NEAR(std::clamp(r.value("H1.VFRAC_OUT"), 0.0, 1.0), out.beta, 1e-6);
  EXPECT_NEAR(r.stream("OUT")[4], 4.7e5, 1e-6);
}

TEST(PlantPhysics, FlashDrumIsTheStandalonePTFlash) {
  const CaseRun r = solve(
      R"("C2H6", "C3H8", "NC5")",
      R"({ id = "D1", model = "FLASH", inlets = ["FEED"], outlets = ["V", "L"], fix = { T_OUT = 330.0, DELTA_P = 2.0e5 } })",
      "FEED = { temperature = 300.0, pressure = 1.5e6, flows = { C2H6 = 0.3, C3H8 = 0.3, NC5 = 0.4 "
      "} }\nV = {}\nL = {}");
  ASSERT_EQ(r.outcome, host::Outcome::Solved) << r.error;
  const thermo::Model& m = engine(thermo::Method::PengRobinson, 3);
  thermo::FlashResult f;
  ASSERT_EQ(thermo::flash_tp(m, 330.0, 1.3e6, std::vector<double>{0.3, 0.3, 0.4}, f),
            thermo::Status::Ok);
  ASSERT_TRUE(f.beta > 0.05 && f.beta < 0.95);
  EXPECT_NEAR(r.value("D1.VFRAC"), f.beta, 1e-5);
  const char* c[] = {"C2H6", "C3H8", "NC5"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(r.value(std::string("V.FLOW_") + c[i]) / r.value("V.TOTAL_FLOW"), f.y[i], 1e-5)
        << c[i];
    EXPECT_NEAR(r.value(std::string("L.FLOW_") + c[i]) / r.value("L.TOTAL_FLOW"), f.x[i], 1e-5)
        << c[i];
  }
}

// Every block's material balance per component and energy balance, to 1e-9
// of its throughput.
class PlantExamples : public ::testing::TestWithParam<const char*> {};

TEST_P(PlantExamples, SolveWithClosedBalances) {
  CaseRun r = run_case(example_path(std::string("plant/") + GetParam() + ".toml"), kEntries);
  ASSERT_EQ(r.outcome, host::Outcome::Solved) << r.error;
  const host::Case& c = r.flowsheet->definition();
  const size_t n = c.components.size();
  // The energy a block puts into its fluid (the turbine takes its power out).
  const std::map<std::string, std::pair<const char*, double>> energy = {
      {"HEATER", {"DUTY", 1.0}},
      {"FLASH", {"DUTY", 1.0}},
      {"R3PUMP", {"BHP", 1.0}},
      {"R3CCMP", {"IHP", 1.0}},
      {"R3STRB", {"total_power", -1.0}}};
  for (const host::BlockDef& b : c.blocks) {
    if (b.inlets.empty()) continue;
    double scale = 0.0, fh = 0.0, fh_scale = 0.0;
    std::vector<double> bal(n, 0.0);
    for (int side = 0; side < 2; ++side) {
      const double sign = side == 0 ? 1.0 : -1.0;
      for (const std::string& s : side == 0 ? b.inlets : b.outlets) {
        for (size_t i = 0; i < n; ++i) bal[i] += sign * r.value(s + ".FLOW_" + c.components[i]);
        const double F = r.value(s + ".TOTAL_FLOW"), h = r.value(s + ".ENTHALPY");
        scale += side == 0 ? F : 0.0;
        fh += sign * F * h;
        fh_scale += std::fabs(F * h);
      }
    }
    for (size_t i = 0; i < n; ++i)
      EXPECT_NEAR(bal[i], 0.0, 1e-9 * scale) << b.id << " " << c.components[i];
    if (auto it = energy.find(b.model); it != energy.end())
      fh += it->second.second * r.value(b.id + "." + it->second.first);
    EXPECT_NEAR(fh, 0.0, 1e-9 * fh_scale) << b.id;
  }
}

INSTANTIATE_TEST_SUITE_P(Plant, PlantExamples,
                         ::testing::Values("compression_train", "steam_cycle", "letdown",
                                           "heat_integrated"));

}  // namespace
}  // namespace r3::test
