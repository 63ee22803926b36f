// The pump's variables, equations and the entry protocol around them.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "framework/host_services.h"
#include "host/services/context.h"
#include "tests/support/golden_text.h"
#include "tests/support/model_blocks.h"
#include "tests/support/support.h"

extern "C" void R3PUMP(R3_ENTRY_PARAMS);

namespace r3::test {
namespace {

using host::Block;
using host::kRmiss;

// A pump on one water-like feed: `ninfi`/`ninfout` information streams.
Block make_pump(int ninfi, int ninfout, int32_t imode = 0) {
  Block b("P1", R3PUMP);
  b.matin = {"FEED"};
  b.matout = {"PROD"};
  if (ninfi) b.infin = {"WIN"};
  if (ninfout) b.infout = {"WOUT"};
  b.ints = {imode, 1};
  b.ipropset = 1;
  b.connect_streams();
  std::vector<double> flows(static_cast<size_t>(b.ncomp()), 0.0);
  for (size_t i = 0; i < flows.size(); ++i) flows[i] = 1.0 / static_cast<double>(i + 1);
  EXPECT_TRUE(b.set_material_inlet(0, flows, 300.0, 1.0e5));
  if (ninfi) b.set_info_inlet(0, -2000.0);
  return b;
}

// Synthetic components for large lists: copies of liquid-forming databank
// rows under new identifiers.
std::vector<const thermo::Component*> many_components(int n) {
  static std::vector<thermo::Component> rows;
  if (rows.empty()) {
    const thermo::Databank& db = thermo::Databank::builtin();
    const char* base[] = {"H2O", "NC6", "NC7", "BENZENE"};
    for (int i = 0; i < 201; ++i) {
      const int k = db.find(base[i % 4]);
      thermo::Component c = db[k < 0 ? db.find("H2O") : k];
      c.id = std::string("C").append(
          std::to_string(i + 1));  // appended: GCC 12 -Wrestrict false positive
      c.mw *= 1.0 + 0.001 * i;
      rows.push_back(c);
    }
  }
  std::vector<const thermo::Component*> list;
  for (int i = 0; i < n; ++i) list.push_back(&rows[static_cast<size_t>(i)]);
  return list;
}

struct Shape {
  int ncomp, ninfi, ninfout;
};

class PumpShapes : public ::testing::TestWithParam<Shape> {};

// Names, pattern and Jacobian against differences, up to the host's largest
// component list; the names of the small shapes against their golden text.
TEST_P(PumpShapes, Conformance) {
  const Shape sh = GetParam();
  reset_host(sh.ncomp == 3 ? std::vector<std::string>{"H2O", "NC6", "NC7"}
                           : std::vector<std::string>{"H2O"});
  if (sh.ncomp == 200) {
    std::string error;
    ASSERT_TRUE(host::configure_run(many_components(200), thermo::Method::Ideal, error)) << error;
    host::reset_shared_areas();
  }
  Block b = make_pump(sh.ninfi, sh.ninfout);
  ASSERT_EQ(b.prepare(), 0) << ::testing::PrintToString(messages());
  check_conformance(b);
  if (sh.ncomp < 200) {
    EXPECT_TRUE(matches_golden_text("pump/names_" + std::to_string(sh.ncomp) + "comp_in" +
                                        std::to_string(sh.ninfi) + "_out" +
                                        std::to_string(sh.ninfout),
                                    names_of(b)));
  }
}

INSTANTIATE_TEST_SUITE_P(Pump, PumpShapes,
                         ::testing::Values(Shape{1, 0, 0}, Shape{1, 1, 0}, Shape{1, 0, 1},
                                           Shape{3, 0, 0}, Shape{3, 1, 0}, Shape{3, 0, 1},
                                           Shape{200, 0, 0}, Shape{200, 1, 0}, Shape{200, 0, 1}));

class PumpTest : public HostTest {};

// Every finding of the check at the dimension request (counts left
// unwritten) and at the check request; parameters missing beyond NINT are
// the integer missing marker.
TEST_F(PumpTest, CheckFindings) {
  struct Case {
    int nin, nout, ninfi, ninfout;
    std::vector<int32_t> ints;
  };
  const Case cases[] = {{2, 1, 0, 0, {0, 1}}, {1, 0, 0, 0, {0, 1}}, {1, 1, 2, 0, {0, 1}},
                        {1, 1, 0, 2, {0, 1}}, {1, 1, 1, 1, {0, 1}}, {1, 1, 0, 0, {0, 51}},
                        {1, 1, 0, 0, {2, 1}}, {1, 1, 0, 0, {}},     {1, 1, 0, 0, {1}}};
  std::vector<std::string> all;
  for (const Case& c : cases) {
    Block b("P1", R3PUMP);
    b.matin.assign(static_cast<size_t>(c.nin), "FEED");
    b.matout.assign(static_cast<size_t>(c.nout), "PROD");
    b.infin.assign(static_cast<size_t>(c.ninfi), "W");
    b.infout.assign(static_cast<size_t>(c.ninfout), "W");
    b.ints = c.ints;
    b.connect_streams();
    const std::string what =
        ::testing::PrintToString(std::vector<int>{c.nin, c.nout, c.ninfi, c.ninfout}) + " ints " +
        ::testing::PrintToString(c.ints);
    b.ny = b.nf = b.nz = -5;
    EXPECT_EQ(b.call(KODE_DIMEN), 1) << what;
    EXPECT_EQ(std::vector<int>({b.ny, b.nf, b.nz}), std::vector<int>(3, -5)) << what;
    add_section(all, "dimension " + what, messages());
    EXPECT_EQ(b.call(KODE_CHECK), 1) << what;
    add_section(all, "check " + what, messages());
  }
  EXPECT_TRUE(matches_golden_text("pump/check_findings", all));
  Block ok = make_pump(1, 0);
  EXPECT_EQ(ok.call(KODE_CHECK), 0);
  EXPECT_TRUE(messages().empty());
}

TEST_F(PumpTest, NegativeStreamCountIsRefused) {
  // A host that hands a negative count: the descriptors are refused.
  int32_t nmatin = 1, ninfi = -3, nmatout = 1, ninfout = 0, d[4][16];
  int32_t ncomp = 1, idx = 1, istat = 0, zero = 0, ids[2] = {0x20202020, 0x20202020};
  U3SDESC1(&nmatin, &ninfi, &nmatout, &ninfout, &zero, &zero, &ncomp, &idx, ids, ids, ids, ids,
           &istat, d[0], d[1], d[2], d[3]);
  EXPECT_EQ(istat, 1);
  const auto m = messages();
  ASSERT_FALSE(m.empty());
  EXPECT_NE(m.back().find("negative"), std::string::npos);
}

TEST_F(PumpTest, TooManyComponentsAreRefused) {
  // The host refuses a run of more than 200 components with a message...
  std::string error;
  EXPECT_FALSE(host::configure_run(many_components(201), thermo::Method::Ideal, error));
  EXPECT_NE(error.find("too many components"), std::string::npos) << error;
  // ...and a component list the host cannot give ends every request with
  // ISTAT = 1 and nothing written.
  Block b = make_pump(0, 0);
  host::fail_operation("U3GIDX_BLK");
  EXPECT_EQ(b.call(KODE_DIMEN), 1);
  EXPECT_EQ(b.ny, 0);
}

TEST_F(PumpTest, SequentialModeFixesTheInlet) {
  for (int32_t imode : {0, 1}) {
    Block b = make_pump(1, 0, imode);
    ASSERT_EQ(b.prepare(), 0);
    const int ninlet = b.ncomp() + 3 + 1;  // material inlet and its information stream
    for (int i = 1; i <= b.ny; ++i)
      EXPECT_EQ(b.fixed(i), imode == 0 && i <= ninlet) << b.var_name(i);
  }
}

TEST_F(PumpTest, UserValuesSurviveInitialisation) {
  Block b = make_pump(0, 1);
  const int outp = 2 * (b.ncomp() + 3), inp = b.ncomp() + 3;
  ASSERT_EQ(prepare_with(b,
                         [&](Block& x) {
                           x.ylb[var(x, "RHO") - 1] = 900.0;
                           x.yub[var(x, "RHO") - 1] = 1100.0;
                           x.yscl[var(x, "PUMP_EFF") - 1] = 0.5;
                           x.ysbnd[var(x, "PUMP_EFF") - 1] = 0.1;
                           x.fscl[3] = 123.0;
                           x.ylb[outp - 1] = 2.0e5;  // a bound on the outlet pressure survives
                           x.yscl[outp - 1] = 7.0;   // a scale is replaced by the inlet's
                           x.ysbnd[outp - 2] = 0.0;  // a zero step bound is replaced
                         }),
            0)
      << ::testing::PrintToString(messages());
  EXPECT_EQ(at(b, b.ylb, "RHO"), 900.0);
  EXPECT_EQ(at(b, b.yub, "RHO"), 1100.0);
  EXPECT_EQ(at(b, b.yscl, "PUMP_EFF"), 0.5);
  EXPECT_EQ(at(b, b.ysbnd, "PUMP_EFF"), 0.1);
  EXPECT_EQ(b.fscl[3], 123.0);
  EXPECT_EQ(b.ylb[outp - 1], 2.0e5);
  EXPECT_EQ(b.yscl[outp - 1], b.yscl[inp - 1]);
  EXPECT_EQ(b.ysbnd[outp - 2], b.ysbnd[inp - 2]);
  EXPECT_EQ(standard_output(),
            (std::vector<std::string>{" !! R3PUMP_ISO - Warning: Stream variable scale ",
                                      " !! factors entered via Y sentence are ignored"}));
  // Default equation scales where none was given.
  EXPECT_EQ(b.fscl[2], 1.0e6);          // LIQENTH_SUCT: Hs/100
  EXPECT_EQ(b.fscl[b.nf - 1], 1000.0);  // POW_BAL_OUT: 10*Fs*Ph
}

}  // namespace
}  // namespace r3::test
