// Requests a careless or hostile host may send, for every model: a report
// before any other request, and a block whose connections the model cannot
// serve, dimensioned anyway and then asked for its equations with arrays
// sized as for a well-connected twin. Nothing may be read or written outside
// the arrays (arrays are allocated at exactly the declared sizes, so the
// sanitizer build catches any stray access), and refusals are reported.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <tuple>

#include "framework/host_services.h"
#include "host/case/case.h"
#include "host/services/block.h"
#include "host/services/context.h"
#include "host/solver/flowsheet.h"
#include "host/units/units.h"
#include "tests/support/support.h"

extern "C" {
void R3PUMP(R3_ENTRY_PARAMS), R3RCMP(R3_ENTRY_PARAMS), R3CCMP(R3_ENTRY_PARAMS), R3VALV(R3_ENTRY_PARAMS);
void R3TREX(R3_ENTRY_PARAMS), R3STRB(R3_ENTRY_PARAMS), R3HTUA(R3_ENTRY_PARAMS), R3CSEP(R3_ENTRY_PARAMS);
void R3STOIC(R3_ENTRY_PARAMS), R3SKEW(R3_ENTRY_PARAMS);
}

namespace r3::test {
namespace {

// What a model does with a report request that comes first.
enum class FirstReport { Refused, KeptValues, NotAnswered };

struct Model {
  const char* example;  // a case whose first block is a well-connected block of the model
  FirstReport first_report;
  bool needs_material_streams = true;
  bool asks_component_list = true;  // the models that lay out their own streams do not
};

const std::map<std::string, EntryFn>& entries() {
  static const std::map<std::string, EntryFn> m = {
      {"R3PUMP", R3PUMP}, {"R3RCMP", R3RCMP}, {"R3CCMP", R3CCMP},   {"R3VALV", R3VALV},
      {"R3TREX", R3TREX}, {"R3STRB", R3STRB}, {"R3HTUA", R3HTUA},   {"R3CSEP", R3CSEP},
      {"R3STOIC", R3STOIC}, {"R3SKEW", R3SKEW}};
  return m;
}

// The first block of an example, built by the host but not yet called.
Block first_block(const char* example) {
  host::Case c;
  std::string error;
  EXPECT_TRUE(host::load_case(example_path(example), c, error)) << error;
  host::Flowsheet fs;
  EXPECT_TRUE(fs.build(c, [](const std::string& n) { return entries().count(n) ? entries().at(n) : nullptr; }, error))
      << error;
  host::units::reset();
  for (int32_t u : {host::units::kStandardOutput, host::units::kMessageUnit, host::units::kReportUnit,
                    host::units::kSecondMessageUnit})
    host::units::capture(u);
  return *fs.blocks().front();
}

// What a refused or ignored request must leave as it was.
auto state(const Block& b) { return std::tie(b.ny, b.nf, b.nz, b.y, b.f, b.dfdy, b.ijrow, b.varnam, b.smatout); }

void expect_nothing_written_on_the_units() {
  EXPECT_TRUE(messages().empty());
  EXPECT_TRUE(report().empty());
  EXPECT_TRUE(standard_output().empty());
}

class HostileRequests : public ::testing::TestWithParam<Model> {};

// The arrays are empty: a model that read Y would fault.
TEST_P(HostileRequests, ReportBeforeAnyOtherRequest) {
  Block b = first_block(GetParam().example);
  const FirstReport expected = GetParam().first_report;
  EXPECT_EQ(b.call(KODE_REPORT), expected == FirstReport::Refused ? 1 : 0);
  EXPECT_EQ(report().empty(), expected != FirstReport::KeptValues);
}

// A code that is no request: status as passed in, nothing written.
TEST_P(HostileRequests, UnknownRequestLeavesEverythingAlone) {
  Block b = first_block(GetParam().example);
  ASSERT_EQ(b.dimension(), 0);
  const Block before = b;
  EXPECT_EQ(b.call(55, 7), 7);
  EXPECT_EQ(state(b), state(before));
  expect_nothing_written_on_the_units();
}

// When the host cannot give the block's component list, every request ends
// with ISTAT = 1 and nothing written.
TEST_P(HostileRequests, ComponentListFailureWritesNothing) {
  if (!GetParam().asks_component_list) GTEST_SKIP() << "no component list asked for";
  Block b = first_block(GetParam().example);
  ASSERT_EQ(b.dimension(), 0);
  const Block before = b;
  for (int32_t kode : {KODE_DIMEN, KODE_NAMES, KODE_INIT, KODE_RESID, KODE_JACOB, KODE_STRMUPD,
                       KODE_CHECK, KODE_REPORT}) {
    host::fail_operation("U3GIDX_BLK");
    EXPECT_EQ(b.call(kode), 1) << "request " << kode;
    EXPECT_EQ(state(b), state(before));
  }
  host::clear_failures();
  expect_nothing_written_on_the_units();
}

// Connections the models cannot serve: no inlet, two inlets, no outlet.
const std::function<void(Block&)> kBadConnections[] = {
    [](Block& b) { b.matin.clear(); },
    [](Block& b) { b.matin.push_back(b.matin.front()); },
    [](Block& b) { b.matout.clear(); },
};

TEST_P(HostileRequests, UnservedConnectionsAreRefusedAtEveryRequest) {
  if (!GetParam().needs_material_streams) GTEST_SKIP() << "works without material streams";
  for (const auto& spoil : kBadConnections) {
    Block twin = first_block(GetParam().example);
    ASSERT_EQ(twin.dimension(), 0);
    Block b = twin;
    spoil(b);
    b.connect_streams();
    messages();
    standard_output();
    EXPECT_EQ(b.call(KODE_DIMEN), 1);
    const bool said = !messages().empty() || !standard_output().empty();
    EXPECT_TRUE(said) << "the dimension request refused the block without a word";
    // A host that goes on regardless, with the twin's arrays.
    b.nf = twin.nf, b.ny = twin.ny, b.nz = twin.nz;
    const std::vector<double> y = b.y;
    for (int32_t kode : {KODE_NAMES, KODE_INIT, KODE_RESID, KODE_JACOB, KODE_STRMUPD}) {
      EXPECT_EQ(b.call(kode), 1) << "request " << kode;
    }
    EXPECT_EQ(b.y, y) << "a refused request wrote the variables";
  }
}

INSTANTIATE_TEST_SUITE_P(
    AllModels, HostileRequests,
    ::testing::Values(Model{"pump/head.toml", FirstReport::Refused},
                      Model{"rcmp/defaults.toml", FirstReport::Refused},
                      Model{"ccmp/ccmp_pratio.toml", FirstReport::Refused},
                      Model{"valve/char1_linear.toml", FirstReport::Refused},
                      Model{"trex/two_phase_outlet.toml", FirstReport::KeptValues},
                      Model{"strb/standard.toml", FirstReport::Refused, true, false},
                      Model{"htua/counter_current.toml", FirstReport::KeptValues, false, false},
                      Model{"csep/two_outlets.toml", FirstReport::Refused},
                      Model{"stoic/methane_combustion.toml", FirstReport::NotAnswered},
                      Model{"skew/mass_open_knots.toml", FirstReport::Refused}),
    [](const ::testing::TestParamInfo<Model>& i) {
      std::string n = i.param.example;
      return n.substr(0, n.find('/'));
    });

// A host that passes the largest count of admission (inlet) or extraction
// (outlet) streams: the steam turbine's check refuses it before the count
// enters any arithmetic.
extern "C" void strb_huge_inlet_count(R3_ENTRY_PARAMS) {
  int32_t n = 2147483647;
  NMATIN = &n;
  R3STRB(R3_ENTRY_ARGS);
}
extern "C" void strb_huge_outlet_count(R3_ENTRY_PARAMS) {
  int32_t n = 2147483647;
  NMATOUT = &n;
  R3STRB(R3_ENTRY_ARGS);
}

TEST(HostileCounts, SteamTurbineStreamCountsAreRangeChecked) {
  for (EntryFn entry : {strb_huge_inlet_count, strb_huge_outlet_count}) {
    Block b = first_block("strb/standard.toml");
    b.entry = entry;
    standard_output();
    EXPECT_EQ(b.call(KODE_DIMEN), 1);
    EXPECT_FALSE(standard_output().empty());
  }
}

}  // namespace
}  // namespace r3::test
