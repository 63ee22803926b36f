// The pump's variables, equations and the entry protocol around them.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "framework/host_services.h"
#include "host/services/block.h"
#include "host/services/context.h"
#include "tests/support/support.h"

extern "C" void R3PUMP(R3_ENTRY_PARAMS);

namespace r3::test {
namespace {

using host::Block;
using host::kRmiss;

// A pump on one water-like feed: `ninfi`/`ninfout` information streams.
Block make_pump(int ninfi, int ninfout, int32_t imode = 0, int32_t npass = 1) {
  Block b("P1", R3PUMP);
  b.matin = {"FEED"};
  b.matout = {"PROD"};
  if (ninfi) b.infin = {"WIN"};
  if (ninfout) b.infout = {"WOUT"};
  b.ints = {imode, npass};
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
const std::vector<thermo::Component>& many_components(int n) {
  static std::vector<thermo::Component> rows;
  if (static_cast<int>(rows.size()) < n) {
    const thermo::Databank& db = thermo::Databank::builtin();
    const char* base[] = {"H2O", "NC6", "NC7", "BENZENE"};
    rows.clear();
    for (int i = 0; i < n; ++i) {
      int k = db.find(base[i % 4]);
      if (k < 0) k = db.find("H2O");
      thermo::Component c = db[k];
      c.id = std::string("C").append(std::to_string(i + 1));  // appended: GCC 12 -Wrestrict false positive
      c.mw *= 1.0 + 0.001 * i;
      rows.push_back(c);
    }
  }
  return rows;
}

void use_many_components(int n) {
  reset_host({"H2O"});
  std::vector<const thermo::Component*> list;
  for (int i = 0; i < n; ++i) list.push_back(&many_components(n)[static_cast<size_t>(i)]);
  std::string error;
  ASSERT_TRUE(host::configure_run(list, thermo::Method::Ideal, error)) << error;
  host::reset_shared_areas();
}

struct Shape {
  int ncomp, ninfi, ninfout;
};

class PumpShapes : public ::testing::TestWithParam<Shape> {};

TEST_P(PumpShapes, CountsAndConformance) {
  const Shape sh = GetParam();
  if (sh.ncomp == 1) {
    reset_host({"H2O"});
  } else if (sh.ncomp == 3) {
    reset_host({"H2O", "NC6", "NC7"});
  } else {
    use_many_components(sh.ncomp);
  }
  Block b = make_pump(sh.ninfi, sh.ninfout);
  ASSERT_EQ(b.prepare(), 0) << ::testing::PrintToString(messages());
  const int nc = sh.ncomp, ninfo = sh.ninfi + sh.ninfout;
  EXPECT_EQ(b.ny, 2 * (nc + 3) + ninfo + 13);
  EXPECT_EQ(b.nf, (nc + 1) + 4 + 8 + ninfo);
  // Balances, two enthalpy sets, molecular weight, volume, 26 pump entries.
  EXPECT_EQ(b.nz, 2 * (nc + 1) + 2 * (nc + 3) + (nc + 1) + (nc + 3) + 26 + 2 * ninfo);
  EXPECT_EQ(b.naux1, 0);
  check_conformance(b);
  // The pump's equation names close up when only the outlet stream is there.
  const int first_pump_eqn = (nc + 1) + 4 + 1;
  EXPECT_EQ(b.eqn_name(first_pump_eqn), "P1.CALC_HEAD");
  if (sh.ninfout == 1 && sh.ninfi == 0) {
    EXPECT_EQ(b.eqn_name(first_pump_eqn + 8), "P1.POW_BAL_OUT");
  }
  if (sh.ninfi == 1) {
    EXPECT_EQ(b.eqn_name(first_pump_eqn + 8), "P1.POW_BAL_IN");
  }
}

INSTANTIATE_TEST_SUITE_P(Pump, PumpShapes,
                         ::testing::Values(Shape{1, 0, 0}, Shape{1, 1, 0}, Shape{1, 0, 1},
                                           Shape{3, 0, 0}, Shape{3, 1, 0}, Shape{3, 0, 1},
                                           Shape{200, 0, 0}, Shape{200, 1, 0},
                                           Shape{200, 0, 1}),
                         [](const ::testing::TestParamInfo<Shape>& i) {
                           return std::to_string(i.param.ncomp) + "comp_in" +
                                  std::to_string(i.param.ninfi) + "_out" +
                                  std::to_string(i.param.ninfout);
                         });

class PumpTest : public HostTest {};

TEST_F(PumpTest, NamesFollowTheTables) {
  Block b = make_pump(0, 1);
  ASSERT_EQ(b.prepare(), 0);
  const char* vars[] = {"SUCT_TEMP", "SUCT_MOLV", "MW",       "DISCH_TEMP", "P_RATIO",
                        "DELTA_P",   "P_HEAD",    "RHO",      "MASS_FLOW",  "PUMP_EFF",
                        "BHP",       "DR_EFF",    "EHP"};
  const int n = b.ny - 13;
  for (int v = 0; v < 13; ++v) EXPECT_EQ(b.var_name(n + 1 + v), std::string("P1.") + vars[v]);
  EXPECT_EQ(b.var_name(1), "FEED.TOTAL_FLOW");
  EXPECT_EQ(b.var_name(2), "FEED.FLOW_H2O");
  EXPECT_EQ(b.var_name(n), "WOUT.VALUE");
  const char* eqns[] = {"MBAL_H2O",    "MBAL_TOTAL",  "LIQENTH_SUCT",   "LIQENTH_DISCH",
                        "MOLWT",       "LIQVM_SUCT",  "CALC_HEAD",      "P_RATIO_DEF",
                        "DELTA_P_DEF", "CALC_RHO",    "CALC_BHP",       "CALC_MASS_FLOW",
                        "CALC_EHP",    "ENER_BAL",    "POW_BAL_OUT"};
  for (int i = 0; i < 15; ++i) EXPECT_EQ(b.eqn_name(i + 1), std::string("P1.") + eqns[i]);
}

TEST_F(PumpTest, FailedCheckLeavesCountsUnwritten) {
  Block b = make_pump(0, 0);
  b.ints = {2, 1};  // IMODE out of range
  b.ny = -5;
  b.nf = -6;
  b.nz = -7;
  EXPECT_EQ(b.call(KODE_DIMEN), 1);
  EXPECT_EQ(b.ny, -5);
  EXPECT_EQ(b.nf, -6);
  EXPECT_EQ(b.nz, -7);
  const auto m = messages();
  ASSERT_EQ(m.size(), 3u);
  EXPECT_EQ(m[0], "");
  EXPECT_EQ(m[1], " ERROR in subroutine R3PUMP_CHK:");
  EXPECT_EQ(m[2], "      Invalid value entered for IMODE. IMODE must be either 0 or 1.");
}

TEST_F(PumpTest, CheckMessagesInOrder) {
  struct Case {
    int nin, nout, ninfi, ninfout;
    std::vector<int32_t> ints;
    std::vector<std::string> lines;
  };
  const std::vector<Case> cases = {
      {2, 1, 0, 0, {0, 1},
       {"There must be exactly one material stream connected to the inlet of", "the block."}},
      {1, 0, 0, 0, {0, 1},
       {"There must be exactly one material stream connected to the outlet of", "the block."}},
      {1, 1, 2, 0, {0, 1},
       {"There may not be more than one information stream connected to the",
        "inlet of the block."}},
      {1, 1, 0, 2, {0, 1},
       {"There may not be more than one information stream connected to the",
        "outlet of the block."}},
      {1, 1, 1, 1, {0, 1},
       {"There may not be more than one information stream connected to the",
        "the block (total)."}},
      {1, 1, 0, 0, {0, 51},
       {"Invalid value entered for NPASS. NPASS must be between 0 and 50."}},
      // Parameters missing beyond NINT are the integer missing marker.
      {1, 1, 0, 0, {}, {"Invalid value entered for IMODE. IMODE must be either 0 or 1."}},
      {1, 1, 0, 0, {1}, {"Invalid value entered for NPASS. NPASS must be between 0 and 50."}},
  };
  for (const Case& c : cases) {
    Block b("P1", R3PUMP);
    b.matin.assign(static_cast<size_t>(c.nin), "FEED");
    b.matout.assign(static_cast<size_t>(c.nout), "PROD");
    b.infin.assign(static_cast<size_t>(c.ninfi), "W");
    b.infout.assign(static_cast<size_t>(c.ninfout), "W");
    b.ints = c.ints;
    b.connect_streams();
    EXPECT_EQ(b.call(KODE_CHECK), 1);
    std::vector<std::string> want = {"", " ERROR in subroutine R3PUMP_CHK:"};
    for (const auto& l : c.lines) want.push_back("      " + l);
    EXPECT_EQ(messages(), want);
  }
  Block ok = make_pump(1, 0);
  EXPECT_EQ(ok.call(KODE_CHECK), 0);
  EXPECT_TRUE(messages().empty());
}

TEST_F(PumpTest, NegativeStreamCountIsRefused) {
  Block b = make_pump(0, 0);
  // A host that hands a negative count: the descriptors are refused.
  b.infin.clear();
  std::vector<double> none;
  int32_t nmatin = 1, ninfi = -3, nmatout = 1, ninfout = 0;
  (void)nmatin, (void)ninfi, (void)nmatout, (void)ninfout, (void)none;
  int32_t d[4][16];
  int32_t ncomp = 1, idx = 1, istat = 0, zero = 0;
  int32_t ids[2] = {0x20202020, 0x20202020};
  U3SDESC1(&nmatin, &ninfi, &nmatout, &ninfout, &zero, &zero, &ncomp, &idx, ids, ids, ids, ids,
           &istat, d[0], d[1], d[2], d[3]);
  EXPECT_EQ(istat, 1);
  const auto m = messages();
  ASSERT_FALSE(m.empty());
  EXPECT_NE(m.back().find("negative"), std::string::npos);
}

TEST_F(PumpTest, TooManyComponentsAreRefused) {
  // The host refuses a run of more than 200 components with a message...
  std::vector<const thermo::Component*> list;
  for (int i = 0; i < 201; ++i) list.push_back(&many_components(201)[static_cast<size_t>(i)]);
  std::string error;
  EXPECT_FALSE(host::configure_run(list, thermo::Method::Ideal, error));
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
    for (int i = 1; i <= ninlet; ++i) {
      EXPECT_EQ(b.fixed(i), imode == 0) << b.var_name(i) << " in mode " << imode;
    }
    for (int i = ninlet + 1; i <= b.ny; ++i) EXPECT_FALSE(b.fixed(i)) << b.var_name(i);
  }
}

TEST_F(PumpTest, UserValuesSurviveInitialisation) {
  Block b = make_pump(0, 1);
  ASSERT_EQ(b.dimension(), 0);
  ASSERT_EQ(b.call(KODE_NAMES), 0);
  const int n = b.ny - 13;
  const int rho = n + 8, eff = n + 10, outp = b.ncomp() + 3 + b.ncomp() + 3;
  b.ylb[static_cast<size_t>(rho - 1)] = 900.0;
  b.yub[static_cast<size_t>(rho - 1)] = 1100.0;
  b.yscl[static_cast<size_t>(eff - 1)] = 0.5;
  b.ysbnd[static_cast<size_t>(eff - 1)] = 0.1;
  b.fscl[3] = 123.0;
  b.ylb[static_cast<size_t>(outp - 1)] = 2.0e5;     // a bound on the outlet pressure survives
  b.yscl[static_cast<size_t>(outp - 1)] = 7.0;      // a scale is replaced by the inlet's
  b.ysbnd[static_cast<size_t>(outp - 2)] = 0.0;     // a zero step bound is replaced
  ASSERT_EQ(b.call(KODE_INIT), 0) << ::testing::PrintToString(messages());
  EXPECT_EQ(b.ylb[static_cast<size_t>(rho - 1)], 900.0);
  EXPECT_EQ(b.yub[static_cast<size_t>(rho - 1)], 1100.0);
  EXPECT_EQ(b.yscl[static_cast<size_t>(eff - 1)], 0.5);
  EXPECT_EQ(b.ysbnd[static_cast<size_t>(eff - 1)], 0.1);
  EXPECT_EQ(b.fscl[3], 123.0);
  EXPECT_EQ(b.ylb[static_cast<size_t>(outp - 1)], 2.0e5);
  const int inp = b.ncomp() + 3;
  EXPECT_EQ(b.yscl[static_cast<size_t>(outp - 1)], b.yscl[static_cast<size_t>(inp - 1)]);
  EXPECT_EQ(b.ysbnd[static_cast<size_t>(outp - 2)], b.ysbnd[static_cast<size_t>(inp - 2)]);
  const auto out = standard_output();
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0], " !! R3PUMP_ISO - Warning: Stream variable scale ");
  EXPECT_EQ(out[1], " !! factors entered via Y sentence are ignored");
  // Default equation scales where none was given.
  EXPECT_EQ(b.fscl[2], 1.0e6);  // LIQENTH_SUCT: Hs/100
  EXPECT_EQ(b.fscl[b.nf - 1], 1000.0);  // POW_BAL_OUT: 10*Fs*Ph
}

TEST_F(PumpTest, MissingAndNaNValuesNeverCrash) {
  Block b = make_pump(1, 1);
  b.infout = {"WOUT"};
  b.infin.clear();
  b.connect_streams();
  std::vector<double> flows = {1.0};
  ASSERT_TRUE(b.set_material_inlet(0, flows, 300.0, 1.0e5));
  ASSERT_EQ(b.prepare(), 0);
  std::vector<double> y = b.y;
  y[0] = kRmiss;
  y[3] = std::numeric_limits<double>::quiet_NaN();
  b.y = y;
  EXPECT_EQ(b.call(KODE_RESID), 0);
  EXPECT_EQ(b.call(KODE_JACOB), 0);
  EXPECT_EQ(b.call(KODE_STRMUPD), 0);
  EXPECT_EQ(b.call(KODE_REPORT), 0);
}

}  // namespace
}  // namespace r3::test
