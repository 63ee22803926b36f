// The reciprocating compressor's variables, equations, pattern and the entry
// protocol around them; the conformance harness on every example.
#include <gtest/gtest.h>

#include <filesystem>
#include <limits>

#include "framework/host_services.h"
#include "host/case/case.h"
#include "host/solver/flowsheet.h"
#include "tests/recip_compressor/rcmp_test_util.h"

namespace r3::test::rcmp {
namespace {

class RcmpTest : public ::testing::Test {
 protected:
  void SetUp() override { air_host(); }
};

// Counts, names and the place of the power balance with and without an
// inlet work stream.
TEST_F(RcmpTest, DimensionsAndNames) {
  for (bool work : {false, true}) {
    Block b = make_compressor(work);
    if (work) b.set_info_inlet(0, -4.0e5);
    ASSERT_EQ(b.prepare(), 0) << ::testing::PrintToString(messages());
    const int nc = 3, ninfi = work ? 1 : 0;
    EXPECT_EQ(b.ny, 2 * (nc + 3) + ninfi + 29);
    EXPECT_EQ(b.nf, (nc + 1) + 7 + 19 + ninfi);
    // Balances; two Cp, two enthalpy, one MW and two volume sets; 63 or 65.
    EXPECT_EQ(b.nz, 2 * (nc + 1) + 6 * (nc + 3) + (nc + 1) + 63 + 2 * ninfi);
    EXPECT_EQ(b.naux1, 0);
    EXPECT_EQ(b.naux2, 0);
    EXPECT_EQ(b.naux3, 0);
    const char* vars[] = {"SUCT_TEMP", "SUCT_CP",    "SUCT_MOLV", "MW",       "DISCH_TEMP",
                          "DISCH_CP",  "DISCH_MOLV", "SUCT_Z",    "DISCH_Z",  "Z_MEAN",
                          "CP_MEAN",   "KRATIO",     "ALPHA",     "MPOLY",    "PRATIO",
                          "LN_PRATIO", "LN_PR_EXP",  "PR_EXP",    "POLY_EFF", "HEAD",
                          "WT_FLOW",   "IHP",        "MECH_EFF",  "BHP",      "CLEARFRAC",
                          "LOSSTERM",  "VOL_EFF",    "VOL_FLOW",  "DISPLACE"};
    const int n = b.ny - 29;
    for (int v = 0; v < 29; ++v) EXPECT_EQ(b.var_name(n + 1 + v), std::string("K1.") + vars[v]);
    const char* eqns[] = {
        "VAPCP_SUCT",  "VAPCP_DISCH", "VAPENTH_SUCT", "VAPENTH_DISCH", "MOLWT",     "VAPVM_SUCT",
        "VAPVM_DISCH", "CALC_SUCT_Z", "CALC_DISCH_Z", "AVG_Z",         "AVG_CP",    "CALC_K",
        "ALPHA_DEF",   "PRESS_RATIO", "PRATIO_EXP",   "PRATIO_POW",    "POWER_EXP", "MPOLY_DEF",
        "POLY_COMP",   "WTFLOW_DEF",  "IHP",          "BHP",           "ENERBAL",   "VOL_EFF",
        "VOL_FLOW",    "DISPLACE",    "POWERBAL"};
    const int m0 = nc + 1;
    for (int q = 0; q < 26 + ninfi; ++q) {
      EXPECT_EQ(b.eqn_name(m0 + 1 + q), std::string("K1.") + eqns[q]);
    }
    if (work) {
      EXPECT_EQ(b.var_name(nc + 4), "W.VALUE");
    }
    // The power balance is the last pattern pair: W_in and BHP.
    if (work) {
      EXPECT_EQ(b.ijrow[static_cast<size_t>(b.nz - 1)], b.nf);
      EXPECT_EQ(b.ijcol[static_cast<size_t>(b.nz - 2)], b.find_var("W.VALUE"));
      EXPECT_EQ(b.ijcol[static_cast<size_t>(b.nz - 1)], b.find_var("BHP"));
    }
  }
}

// The head equation's compressibility follows IZAVG in the residual and in
// the pattern; the initialisation does not depend on it.
TEST_F(RcmpTest, IzavgSelectsTheHeadCompressibility) {
  std::vector<double> y_init[2];
  for (int32_t izavg : {0, 1}) {
    Block b = make_compressor(false, 0, 5, izavg);
    ASSERT_EQ(b.prepare(), 0);
    y_init[izavg] = b.y;
    // POLY_COMP's second entry (table entry 33) is the selected compressibility.
    const int row = (3 + 1) + 7 + 12;
    std::vector<int> cols;
    for (int k = 0; k < b.nz; ++k) {
      if (b.ijrow[static_cast<size_t>(k)] == row) cols.push_back(b.ijcol[static_cast<size_t>(k)]);
    }
    ASSERT_EQ(cols.size(), 6u);
    EXPECT_EQ(cols[0], b.find_var("SUCT_TEMP"));
    EXPECT_EQ(cols[1], b.find_var(izavg == 1 ? "SUCT_Z" : "Z_MEAN"));
    // The residual moves with the selected compressibility only.
    const std::vector<double> f0 = residuals_at(b, b.y);
    std::vector<double> y = b.y;
    y[static_cast<size_t>(b.find_var(izavg == 1 ? "Z_MEAN" : "SUCT_Z") - 1)] *= 1.1;
    std::vector<double> f1 = residuals_at(b, y);
    EXPECT_EQ(f1[static_cast<size_t>(row - 1)], f0[static_cast<size_t>(row - 1)]);
    y = b.y;
    y[static_cast<size_t>(b.find_var(izavg == 1 ? "SUCT_Z" : "Z_MEAN") - 1)] *= 1.1;
    f1 = residuals_at(b, y);
    EXPECT_NE(f1[static_cast<size_t>(row - 1)], f0[static_cast<size_t>(row - 1)]);
  }
  EXPECT_EQ(y_init[0], y_init[1]);
}

// The conformance harness on every example, with and without an inlet work
// stream, for both head compressibilities.
TEST(RcmpExamples, ConformanceOnEveryExample) {
  namespace fs = std::filesystem;
  std::vector<std::string> cases;
  for (const auto& ent : fs::directory_iterator(example_path("rcmp"))) {
    if (ent.path().extension() == ".toml") cases.push_back(ent.path().string());
  }
  ASSERT_GE(cases.size(), 3u);
  for (const std::string& path : cases) {
    for (bool work : {false, true}) {
      for (int32_t izavg : {0, 1}) {
        SCOPED_TRACE(path + (work ? " with work stream" : "") + " IZAVG " + std::to_string(izavg));
        host::Case c;
        std::string error;
        ASSERT_TRUE(host::load_case(path, c, error)) << error;
        ASSERT_EQ(c.blocks.size(), 1u);
        host::BlockDef& d = c.blocks[0];
        ASSERT_EQ(d.ints.size(), 3u);
        d.ints[2] = izavg;
        if (work) {
          // A driver delivering the shaft power the example would need.
          host::StreamDef w;
          w.id = "SHAFT";
          w.kind = host::StreamDef::Kind::Work;
          w.value = -4.0e5;
          c.streams.push_back(w);
          d.info_inlets = {"SHAFT"};
        }
        reset_host(c.components, c.method);
        host::Flowsheet fs;
        ASSERT_TRUE(fs.build(
            c, [](const std::string&) { return EntryFn(R3RCMP); }, error))
            << error;
        ASSERT_EQ(fs.initialise(error), host::Outcome::Solved) << error;
        Block& b = *fs.blocks()[0];
        EXPECT_EQ(b.nf, static_cast<int>(c.components.size()) + 1 + 26 + (work ? 1 : 0));
        check_conformance(b);
      }
    }
  }
}

// Outlet stream variables: values from the initialisation, bounds kept, a
// step bound of 1.0 replaced like a missing one, scales always the inlet's
// (with a warning when the user gave one).
TEST_F(RcmpTest, OutletStreamInitialisation) {
  Block b = make_compressor(false);
  ASSERT_EQ(b.dimension(), 0);
  ASSERT_EQ(b.call(KODE_NAMES), 0);
  const int outp = b.find_var("PROD.PRESSURE"), outh = b.find_var("PROD.ENTHALPY");
  const int outf = b.find_var("PROD.TOTAL_FLOW"), inf = b.find_var("FEED.TOTAL_FLOW");
  const int inp = b.find_var("FEED.PRESSURE"), inh = b.find_var("FEED.ENTHALPY");
  auto at = [](std::vector<double>& a, int p) -> double& { return a[static_cast<size_t>(p - 1)]; };
  at(b.ylb, outp) = 1.5e5;   // a user bound survives
  at(b.ysbnd, outp) = 1.0;   // the untouched default step bound: replaced
  at(b.ysbnd, outh) = 0.25;  // a real step bound survives
  at(b.yscl, outf) = 7.0;    // replaced by the inlet's, with a warning
  ASSERT_EQ(b.call(KODE_INIT), 0) << ::testing::PrintToString(messages());
  EXPECT_EQ(at(b.ylb, outp), 1.5e5);
  EXPECT_EQ(at(b.ysbnd, outp), at(b.ysbnd, inp));
  EXPECT_NE(at(b.ysbnd, inp), 1.0);
  EXPECT_EQ(at(b.ysbnd, outh), 0.25);
  EXPECT_EQ(at(b.yscl, outf), at(b.yscl, inf));
  EXPECT_EQ(at(b.yub, outh), at(b.yub, inh));
  const std::vector<std::string> want = {
      "", " WARNING IN R3RCMP_ISO:",
      " Stream variable scale factors entered via Y sentence are ignored"};
  EXPECT_EQ(messages(), want);
  EXPECT_TRUE(standard_output().empty());
  // Nothing given: ratio 5 and the discharge enthalpy of the initialisation.
  EXPECT_DOUBLE_EQ(at(b.y, outp), 5.0 * at(b.y, inp));
  EXPECT_GT(at(b.y, outh), at(b.y, inh));
  EXPECT_EQ(at(b.y, outf), at(b.y, inf));
  // User values survive: give P_out and a scale, run again.
  Block c = make_compressor(false);
  ASSERT_EQ(c.dimension(), 0);
  ASSERT_EQ(c.call(KODE_NAMES), 0);
  at(c.y, outp) = 2.5e5;
  const int eff = c.find_var("POLY_EFF");
  at(c.ylb, eff) = 0.5;
  at(c.yscl, eff) = 0.3;
  at(c.ysbnd, eff) = 0.2;
  c.fscl[5] = 123.0;
  ASSERT_EQ(c.call(KODE_INIT), 0);
  EXPECT_EQ(at(c.y, outp), 2.5e5);
  EXPECT_DOUBLE_EQ(var(c, "PRATIO"), 2.5);
  EXPECT_EQ(at(c.ylb, eff), 0.5);
  EXPECT_EQ(at(c.yscl, eff), 0.3);
  EXPECT_EQ(at(c.ysbnd, eff), 0.2);
  EXPECT_EQ(c.fscl[5], 123.0);
  EXPECT_EQ(at(c.ysbnd, c.find_var("HEAD")), 1.0);
  EXPECT_TRUE(messages().empty());
}

// Sequential-modular use fixes the inlet (work stream included); equation
// based does not.
TEST_F(RcmpTest, SequentialModeFixesTheInlet) {
  for (int32_t imode : {0, 1}) {
    Block b = make_compressor(true, imode);
    b.set_info_inlet(0, -4.0e5);
    ASSERT_EQ(b.prepare(), 0);
    const int ninlet = b.ncomp() + 3 + 1;
    for (int i = 1; i <= ninlet; ++i) EXPECT_EQ(b.fixed(i), imode == 0) << b.var_name(i);
    for (int i = ninlet + 1; i <= b.ny; ++i) EXPECT_FALSE(b.fixed(i)) << b.var_name(i);
  }
}

// The residual and Jacobian requests take whatever Y holds, missing and NaN
// values included, without failing; the stream update and the report too.
TEST_F(RcmpTest, MissingAndNaNValuesNeverCrash) {
  Block b = make_compressor(true);
  b.set_info_inlet(0, -4.0e5);
  ASSERT_EQ(b.prepare(), 0);
  std::vector<double> y = b.y;
  y[0] = kRmiss;
  y[3] = std::numeric_limits<double>::quiet_NaN();
  y[static_cast<size_t>(b.find_var("LN_PRATIO") - 1)] = 1.0e6;
  b.y = y;
  EXPECT_EQ(b.call(KODE_RESID), 0);
  EXPECT_EQ(b.call(KODE_JACOB), 0);
  EXPECT_EQ(b.call(KODE_STRMUPD), 0);
  EXPECT_EQ(b.call(KODE_REPORT), 0);
  EXPECT_EQ(b.ieval1, 0);
  EXPECT_EQ(b.ieval2, 0);
}

// A host that skips the dimension request's refusal: requests on a block
// with the wrong connections write nothing through absent stream positions.
}  // namespace
}  // namespace r3::test::rcmp
