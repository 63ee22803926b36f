// The component separator's input check, its warnings after the
// initialisation, refused input and the report.
#include <gtest/gtest.h>

#include <map>

#include "host/thermo/thermo.h"
#include "tests/component_separator/csep_fixture.h"

namespace r3::test::csep {
namespace {

using host::Block;
using host::kRmiss;
using Lines = std::vector<std::string>;

class SeparatorCheck : public ::testing::Test {
 protected:
  void SetUp() override { reset_host(kLight); }
  // Records on the second message unit and on the message unit.
  static void expect_both_units(const Lines& want) {
    EXPECT_EQ(records(hs::second_message_unit()), want);
    EXPECT_EQ(messages(), want);
  }
};

Block with_streams(int nin, int nout, int ninfi, int ninfout, std::vector<int32_t> ints = {0, 0, 0, 0, 0, 0}) {
  Block b("SEP", R3CSEP);
  for (int k = 1; k <= nin; ++k) b.matin.push_back("IN" + std::to_string(k));
  for (int k = 1; k <= nout; ++k) b.matout.push_back("OUT" + std::to_string(k));
  if (ninfi) b.infin = {"Q"};
  if (ninfout) b.infout = {"W"};
  b.ints = std::move(ints);
  b.ipropset = 1;
  b.connect_streams();
  for (int k = 0; k < nin; ++k) EXPECT_TRUE(b.set_material_inlet(k, {0.5, 0.3, 0.2}, 350.0, 2.0e5));
  return b;
}

// The connection checks end the request with status 1, writing their lines
// to both units and leaving NY, NF and NZ as they were; a check request gives
// the same.
TEST_F(SeparatorCheck, ConnectionErrorsStopTheRequest) {
  const std::string p = " !! i3cchk: ";
  struct Case {
    int nin, nout, ninfi, ninfout;
    Lines want;
  };
  const std::vector<Case> cases = {
      {0, 2, 0, 0,
       {p + "a component separator must have at least one material ", p + "input stream."}},
      {2, 2, 0, 0,
       {p + "a component separator may have no more than            1  material input streams."}},
      {1, 0, 0, 0,
       {p + "a component separator must have at least one material ", p + "output stream."}},
      {1, 21, 0, 0,
       {p + "a component separator may have no more than           20  material output streams."}},
      {1, 2, 1, 0,
       {p + "a component separator cannot have any inlet ", p + "information streams."}},
      {1, 2, 0, 1,
       {p + "a component separator cannot have any outlet ", p + "information streams."}},
      // Two inlets and an information stream: only the first failure.
      {2, 2, 1, 1,
       {p + "a component separator may have no more than            1  material input streams."}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.want));
    for (int32_t kode : {KODE_DIMEN, KODE_CHECK}) {
      Block b = with_streams(c.nin, c.nout, c.ninfi, c.ninfout);
      b.ny = 42;
      b.nf = 43;
      b.nz = 44;
      b.naux1 = 9;
      EXPECT_EQ(b.call(kode), 1);
      EXPECT_EQ(b.ny, 42);
      EXPECT_EQ(b.nf, 43);
      EXPECT_EQ(b.nz, 44);
      EXPECT_EQ(b.naux1, 9);
      expect_both_units(c.want);
    }
  }
}

TEST_F(SeparatorCheck, ParameterErrorsAreReportedAndTheRequestGoesOn) {
  const std::string p = " !! i3cchk: ";
  const Lines all = {p + "error in imode.  valid values are:",
                     p + "0 = sequential modular",
                     p + "1 = equation based",
                     p + "iprmst cannot be less than -1.",
                     p + "irunmd cannot be less than -1.",
                     p + "valid values are:",
                     p + " 0 = use default parameters",
                     p + "-1 = use previous calculated parameters",
                     p + "+i = use latest parameters calculated ",
                     p + "within the last i runs"};
  Block b = with_streams(1, 2, 0, 0, {0, 0, 5, -2, -3, 0});
  ASSERT_EQ(b.dimension(), 0);
  EXPECT_GT(b.ny, 0);
  expect_both_units(all);
  // One at a time, and through the check request.
  Block c = with_streams(1, 2, 0, 0, {0, 0, 5, 0, 0, 0});
  c.naux1 = c.naux2 = c.naux3 = 9;
  EXPECT_EQ(c.call(KODE_CHECK), 0);
  EXPECT_EQ(c.naux1, 0);
  EXPECT_EQ(c.naux3, 0);
  expect_both_units(Lines(all.begin(), all.begin() + 3));
  Block d = with_streams(1, 2, 0, 0, {0, 0, 1, -1, -1, 0});
  EXPECT_EQ(d.call(KODE_CHECK), 0);
  expect_both_units({});
  // Parameters the user left out take 0: no message.
  Block e = with_streams(1, 2, 0, 0, {0, 0});
  EXPECT_EQ(e.dimension(), 0);
  expect_both_units({});
}

// Refused input never crashes: the requests other than the dimension and
// check requests refuse a connection they cannot hold, silently.
TEST_F(SeparatorCheck, RefusedConnectionsAtEveryRequest) {
  for (auto [nin, nout] : {std::pair{2, 2}, std::pair{1, 21}, std::pair{0, 2}, std::pair{1, 0}}) {
    for (int32_t kode : {KODE_NAMES, KODE_INIT, KODE_RESID, KODE_STRMUPD, KODE_JACOB, KODE_REPORT}) {
      Block b = with_streams(nin, nout, 0, 0);
      EXPECT_EQ(b.call(kode), 1) << nin << " " << nout << " " << kode;
    }
  }
  expect_both_units({});
  EXPECT_TRUE(report().empty());
}

// Requests made on arrays the dimension request has not sized are refused.
TEST_F(SeparatorCheck, RequestsBeforeTheDimensionRequestAreRefused) {
  for (int32_t kode : {KODE_NAMES, KODE_INIT, KODE_RESID, KODE_STRMUPD, KODE_JACOB, KODE_REPORT}) {
    Block b = with_streams(1, 2, 0, 0);
    EXPECT_EQ(b.call(kode), 1) << kode;
  }
  // Arrays one equation short.
  Block b = with_streams(1, 2, 0, 0);
  ASSERT_EQ(b.prepare(), 0);
  b.nf -= 1;
  b.f.pop_back();
  b.fscl.pop_back();
  EXPECT_EQ(b.call(KODE_RESID), 1);
  b.nf += 1;
  b.f.push_back(0.0);
  b.fscl.push_back(kRmiss);
  EXPECT_EQ(b.call(KODE_RESID), 0);
  EXPECT_TRUE(report().empty());
  expect_both_units({});
}

// More than 200 components: the host's component list does not fit the
// limit of 200 it is given and it reports a failure; every request then ends
// with status 1 and nothing written, before the check could count them.
TEST_F(SeparatorCheck, MoreThan200ComponentsAreRefused) {
  for (int32_t kode : {KODE_DIMEN, KODE_CHECK, KODE_NAMES, KODE_INIT, KODE_REPORT}) {
    Block b = with_streams(1, 2, 0, 0);
    b.ny = 42;
    host::fail_operation("U3GIDX_BLK");
    EXPECT_EQ(b.call(kode), 1);
    EXPECT_EQ(b.ny, 42);
  }
  expect_both_units({});
  EXPECT_TRUE(report().empty());
}

// --- Warnings after the initialisation ------------------------------------------

// Dimension and names, the fixed values, then the initialisation.
void initialise_with(Block& b, const std::map<std::string, double>& fixed,
                     const std::map<std::string, double>& scales = {}) {
  ASSERT_EQ(b.dimension(), 0);
  ASSERT_EQ(b.call(KODE_NAMES), 0);
  for (const auto& [n, v] : fixed) {
    y(b, n) = v;
    b.fix(var(b, n));
  }
  for (const auto& [n, v] : scales) b.yscl[static_cast<size_t>(var(b, n) - 1)] = v;
  ASSERT_EQ(b.initialise(), 0);
}

TEST_F(SeparatorCheck, FixedAlphasAboveOneWithoutRenormalising) {
  Block b = make_sep(2);
  initialise_with(b, {{"ALPHA_OUT1.CH4", 0.6}, {"ALPHA_OUT2.CH4", 0.6}, {"ALPHA_OUT1.C3H8", 0.3}});
  EXPECT_EQ(messages(),
            (Lines{" Warning: Specified alphas for component CH4      exceed 1.",
                   " Warning: Alphas will not be renormalized.",
                   " Warning: Specified alphas and outlet flows for component CH4",
                   "          are infeasible based on its current inlet flow.",
                   " Warning: Block bypassed on this flowsheet iteration."}));
  EXPECT_EQ(y(b, "ALPHA_OUT1.CH4"), 0.6);
  EXPECT_EQ(y(b, "ALPHA_OUT2.CH4"), 0.6);
  EXPECT_EQ(b.istat, 0);
}

TEST_F(SeparatorCheck, FixedAlphasAboveOneRenormalised) {
  Block b = make_sep(3, {0, 0, 0, 0, 0, 1});
  initialise_with(b, {{"ALPHA_OUT1.CH4", 0.6},
                      {"ALPHA_OUT2.CH4", 0.6},
                      {"ALPHA_OUT1.C2H6", 0.9},
                      {"ALPHA_OUT3.C2H6", 0.3},
                      {"ALPHA_OUT1.C3H8", 0.3}});
  // Renormalised before the feasibility check, which then passes.
  EXPECT_EQ(messages(), (Lines{" Warning: Specified alphas for component CH4      exceed 1.",
                               " Warning: Specified alphas for component C2H6     exceed 1.",
                               " Warning: Alphas will be renormalized."}));
  EXPECT_EQ(y(b, "ALPHA_OUT1.CH4"), 0.5);
  EXPECT_EQ(y(b, "ALPHA_OUT2.CH4"), 0.5);
  EXPECT_NEAR(y(b, "ALPHA_OUT1.C2H6"), 0.75, 1e-15);
  EXPECT_NEAR(y(b, "ALPHA_OUT3.C2H6"), 0.25, 1e-15);
  EXPECT_EQ(y(b, "ALPHA_OUT2.C2H6"), 1.0);  // free: untouched
  EXPECT_EQ(y(b, "ALPHA_OUT1.C3H8"), 0.3);
  EXPECT_TRUE(records(hs::second_message_unit()).empty());
}

TEST_F(SeparatorCheck, InfeasibleOutletFlowAndTheMessageGate) {
  // A fixed outlet flow counts in full; a fixed alpha counts times the inlet
  // flow (0.5 kmol/s of C2H6 here).
  for (int32_t idiag : {4, 0}) {
    Block b = make_sep(2);
    b.idiag = idiag;
    initialise_with(b, {{"OUT1.FLOW_C2H6", 0.3}, {"ALPHA_OUT2.C2H6", 0.5},
                        {"ALPHA_OUT1.C3H8", 0.4}, {"ALPHA_OUT2.C3H8", 0.4}});
    if (idiag == 0) {
      EXPECT_TRUE(messages().empty());
    } else {
      EXPECT_EQ(messages(),
                (Lines{" Warning: Specified alphas and outlet flows for component C2H6",
                       "          are infeasible based on its current inlet flow.",
                       " Warning: Block bypassed on this flowsheet iteration."}));
    }
  }
  // The gate only silences: renormalising still happens at level 0.
  Block b = make_sep(2, {0, 0, 0, 0, 0, 1});
  b.idiag = 0;
  initialise_with(b, {{"ALPHA_OUT1.CH4", 0.8}, {"ALPHA_OUT2.CH4", 0.8}});
  EXPECT_TRUE(messages().empty());
  EXPECT_EQ(y(b, "ALPHA_OUT1.CH4"), 0.5);
}

TEST_F(SeparatorCheck, SumsExactToRoundOffAreNotReported) {
  Block b = make_sep(3);
  initialise_with(b, {{"ALPHA_OUT1.C2H6", 0.05}, {"ALPHA_OUT2.C2H6", 0.90},
                      {"ALPHA_OUT3.C2H6", 0.05}});
  EXPECT_TRUE(messages().empty());
}

TEST_F(SeparatorCheck, OutletScaleGivenByTheUserIsReplaced) {
  Block b = make_sep(2);
  initialise_with(b, {}, {{"OUT2.PRESSURE", 5.0}});
  const Lines want = {" !! R3CISO - Warning: Stream variable scale ",
                      " !! factors entered via Y sentence are ignored"};
  expect_both_units(want);
  EXPECT_EQ(b.yscl[static_cast<size_t>(var(b, "OUT2.PRESSURE") - 1)],
            b.yscl[static_cast<size_t>(var(b, "FEED.PRESSURE") - 1)]);
}

// --- Report -------------------------------------------------------------------------

const std::map<std::string, EntryFn> kEntries = {{"R3CSEP", R3CSEP}};

TEST(SeparatorReport, TwoOutletsOneBlockOfColumns) {
  CaseRun r = run_case(example_path("csep/two_outlets.toml"), kEntries);
  ASSERT_EQ(r.outcome, host::Outcome::Solved) << r.error;
  const Lines want = {
      "",
      "                      ***       R3CSEP RESULTS      ***",
      "",
      "HEAT DUTY            W          9.348966E+05",
      "",
      "SEPARATION FACTORS (ALPHAS):",
      "COMPONENT ID            GAS        OIL        SUM     ",
      "CH4                      0.99000    0.01000    1.00000",
      "C2H6                     0.90000    0.10000    1.00000",
      "C3H8                     0.60000    0.40000    1.00000",
      "NC5                      0.05000    0.95000    1.00000",
      "NC7                      0.01000    0.99000    1.00000",
      "DELTAP       Pa        0.000     5.0000E+04",
      "TEMP         K         330.0      300.0    ",
      "PHASE                  VAPOR      LIQUID   ",
      "",
  };
  ASSERT_GE(r.report.size(), want.size());
  EXPECT_EQ(Lines(r.report.begin(), r.report.begin() + static_cast<long>(want.size())), want);
  // The same block in MET units.
  Block& b = *r.flowsheet->blocks()[0];
  report();
  host::run().report_units = host::ReportUnits::MET;
  b.call(KODE_REPORT);
  const Lines met = report();
  ASSERT_GE(met.size(), 15u);
  EXPECT_EQ(met[3], "HEAT DUTY            kW         9.348966E+02");
  EXPECT_EQ(met[12], "DELTAP       bar       0.000     0.5000    ");
  EXPECT_EQ(met[13], "TEMP         degC      56.85      26.85    ");
}

TEST(SeparatorReport, FiveOutletsSumInASecondBlock) {
  CaseRun r = run_case(example_path("csep/five_outlets.toml"), kEntries);
  ASSERT_EQ(r.outcome, host::Outcome::Solved) << r.error;
  const Lines& rep = r.report;
  ASSERT_GE(rep.size(), 27u);
  EXPECT_EQ(rep[6], "COMPONENT ID            FUEL       ETHANE     LPG        NAPHTHA    HEAVY   ");
  EXPECT_EQ(rep[13], "NC7                      0.00000    0.00000    0.00000    0.02000    0.98000");
  EXPECT_EQ(rep[16], "PHASE                  VAPOR      VAPOR      LIQUID     LIQUID     LIQUID   ");
  const Lines second = {"",
                        "SEPARATION FACTORS (ALPHAS):",
                        "COMPONENT ID            SUM     ",
                        "CH4                      1.00000",
                        "C2H6                     1.00000",
                        "C3H8                     1.00000",
                        "NC4                      1.00000",
                        "NC5                      1.00000",
                        "NC6                      1.00000",
                        "NC7                      1.00000",
                        ""};
  EXPECT_EQ(Lines(rep.begin() + 17, rep.begin() + 28), second);
}

TEST(SeparatorReport, TwentyOutletsFiveBlocks) {
  CaseRun r = run_case(example_path("csep/twenty_outlets.toml"), kEntries);
  ASSERT_EQ(r.outcome, host::Outcome::Solved) << r.error;
  int blocks = 0, phase_lines = 0;
  for (const std::string& l : r.report) {
    blocks += l == "SEPARATION FACTORS (ALPHAS):";
    phase_lines += l.rfind("PHASE", 0) == 0;
  }
  EXPECT_EQ(blocks, 5);
  EXPECT_EQ(phase_lines, 4);
}

}  // namespace
}  // namespace r3::test::csep
