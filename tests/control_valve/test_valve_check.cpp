// The valve's input check (through the data manager's gate and error
// buffer) and its report.
#include <gtest/gtest.h>

#include "models/control_valve/control_valve.h"
#include "tests/control_valve/valve_fixture.h"

namespace r3::test {
namespace {

using host::Block;

// A valve with the given connections and parameters (nothing else set).
Block connected(int nin, int nout, int ninfi, int ninfout, std::vector<int32_t> ints) {
  Block b("V1", R3VALV);
  b.matin.assign(static_cast<size_t>(nin), "FEED");
  b.matout.assign(static_cast<size_t>(nout), "PROD");
  b.infin.assign(static_cast<size_t>(ninfi), "W");
  b.infout.assign(static_cast<size_t>(ninfout), "W2");
  b.ints = std::move(ints);
  b.connect_streams();
  return b;
}

struct Expected {
  int32_t msgno, nprint;
  std::vector<std::string> lines;
};

std::vector<std::string> indented(const std::vector<std::string>& lines) {
  std::vector<std::string> v;
  for (const auto& l : lines) v.push_back("      " + l);
  return v;
}

// The gate was asked once per failed check, with the class numbers, the
// data manager's levels and 0, 0, 2; the printer was given the line count
// of the table; the message unit holds the lines in order.
void expect_messages(const std::vector<Expected>& want) {
  ASSERT_EQ(gate_calls().size(), want.size());
  ASSERT_EQ(print_calls().size(), want.size());
  std::vector<std::string> lines;
  for (size_t i = 0; i < want.size(); ++i) {
    const GateCall& g = gate_calls()[i];
    EXPECT_EQ(g.routine, "r3vchk  ");
    EXPECT_EQ(g.iclass, 2);
    EXPECT_EQ(g.msgno, want[i].msgno) << "check " << i;
    EXPECT_EQ(g.level, DMS_GLOBAL[5]);
    EXPECT_EQ(g.glevel, DMS_GLOBAL[7]);
    EXPECT_EQ(g.a6, 0);
    EXPECT_EQ(g.a7, 0);
    EXPECT_EQ(g.a8, 2);
    EXPECT_EQ(print_calls()[i], want[i].nprint) << "check " << i;
    for (const auto& l : indented(want[i].lines)) lines.push_back(l);
  }
  EXPECT_EQ(messages(), lines);
}

class ValveCheck : public ValveTest {};

TEST_F(ValveCheck, EveryMessageWithItsClassAndPrintArgument) {
  struct Case {
    int nin, nout, ninfi, ninfout;
    std::vector<int32_t> ints;
    Expected want;
  };
  const std::vector<Case> cases = {
      {2, 1, 0, 0, {},
       {1, 3, {"R3VALV requires one material inlet stream.", "This block has   2 connected."}}},
      {1, 0, 0, 0, {},
       {1, 3, {"R3VALV requires one material outlet stream.", "This block has   0 connected."}}},
      {1, 1, 1, 0, {},
       {1, 3, {"R3VALV cannot have any inlet info. streams.", "This block has   1 connected."}}},
      {1, 1, 0, 3, {},
       {1, 3, {"R3VALV cannot have any outlet info. streams.", "This block has   3 connected."}}},
      {1, 1, 0, 0, {2},
       {1, 3,
        {"INT param. for simulation mode   2 is invalid.",
         "Allowed values are 0 (sequential modular)", "and 1 (simultaneous flowsheet)"}}},
      {1, 1, 0, 0, {0, 3},
       {4, 2,
        {"INT param. for inlet phase   3 is invalid.",
         "Allowed values are 1 (vapor) and 2 (liquid)"}}},
      {1, 1, 0, 0, {0, 1, 7},
       {5, 2, {"INT param. for valve char. eqn.   7 is invalid.", "Allowed values are 0 thru 6"}}},
      {1, 1, 0, 0, {0, 1, -1},
       {5, 2, {"INT param. for valve char. eqn.  -1 is invalid.", "Allowed values are 0 thru 6"}}},
      {1, 1, 0, 0, {0, 1, 1, 2},
       {6, 2,
        {"INT param. for valve direction   2 is invalid.",
         "Allowed values are 0 (direct) and 1 (reverse)"}}},
      {1, 1, 0, 0, {0, 1, 1, 0, -1},
       {6, 2,
        {"INT param. for choke enforcement  -1 is invalid.",
         "Allowed values are 0 (warn) and 1 (enforce)"}}},
      {1, 1, 0, 0, {0, 1, 1, 0, 1, -1},
       {6, 2, {"INT param. for # of seq. passes  -1 is invalid.", "Value must be >= 0"}}},
      // A number wider than its three-character field prints asterisks.
      {1, 1, 0, 0, {1000},
       {1, 3,
        {"INT param. for simulation mode *** is invalid.",
         "Allowed values are 0 (sequential modular)", "and 1 (simultaneous flowsheet)"}}},
  };
  for (const Case& c : cases) {
    for (int32_t kode : {KODE_CHECK, KODE_DIMEN}) {
      gate_calls().clear();
      print_calls().clear();
      Block b = connected(c.nin, c.nout, c.ninfi, c.ninfout, c.ints);
      b.ny = b.nf = b.nz = -4;
      EXPECT_EQ(b.call(kode), 1) << c.want.lines[0];
      expect_messages({c.want});
      // A failed check at the dimension request leaves the counts unwritten.
      EXPECT_EQ(b.ny, -4);
      EXPECT_EQ(b.nz, -4);
    }
  }
}

// More than 200 components: the host never hands such a list (its component
// service refuses it), so the check is called directly.
TEST_F(ValveCheck, TooManyComponents) {
  int32_t one = 1, zero = 0;
  Entry e{};
  e.NMATIN = &one;
  e.NMATOUT = &one;
  e.NINFI = &zero;
  e.NINFOUT = &zero;
  control_valve::State st;
  st.s.ncomp = 201;
  EXPECT_EQ(control_valve::r3vchk(e, st), 1);
  expect_messages({{1, 3, {"R3VALV can only support 200 components.",
                           "This block has 201 components."}}});
  st.s.ncomp = 200;
  gate_calls().clear();
  print_calls().clear();
  EXPECT_EQ(control_valve::r3vchk(e, st), 0);
  EXPECT_TRUE(gate_calls().empty());
}

TEST_F(ValveCheck, DefaultsAndValidParametersPass) {
  // Missing parameters (beyond NINT or the missing marker) take defaults.
  for (std::vector<int32_t> ints :
       {std::vector<int32_t>{}, {hs::imiss(), hs::imiss(), hs::imiss(), hs::imiss(), hs::imiss(),
                                 hs::imiss()},
        {1, 2, 6, 1, 0, 0}, {0, 1, 0, 0, 1, 50}}) {
    Block b = connected(1, 1, 0, 0, ints);
    EXPECT_EQ(b.call(KODE_CHECK), 0);
    EXPECT_TRUE(gate_calls().empty());
    EXPECT_TRUE(messages().empty());
  }
}

// Every check runs: two inlets and an information stream give both
// messages, in the order of the table, and the passes message comes last
// whatever else is wrong.
TEST_F(ValveCheck, EveryCheckRuns) {
  Block b = connected(2, 1, 1, 0, {});
  EXPECT_EQ(b.call(KODE_CHECK), 1);
  expect_messages(
      {{1, 3, {"R3VALV requires one material inlet stream.", "This block has   2 connected."}},
       {1, 3, {"R3VALV cannot have any inlet info. streams.", "This block has   1 connected."}}});
  gate_calls().clear();
  print_calls().clear();
  Block all = connected(1, 1, 0, 0, {5, 9, 8, 7, 6, -1});
  EXPECT_EQ(all.call(KODE_DIMEN), 1);
  ASSERT_EQ(gate_calls().size(), 6u);
  const auto m = messages();
  ASSERT_EQ(m.size(), 13u);
  EXPECT_EQ(m[11], "      INT param. for # of seq. passes  -1 is invalid.");
  EXPECT_EQ(m[12], "      Value must be >= 0");
}

// The gate decides: at diagnostic level 0 nothing is written, the check
// still fails.
TEST_F(ValveCheck, SilentGateStillFails) {
  DMS_GLOBAL[5] = 0;
  Block b = connected(2, 1, 1, 0, {0, 1, 1, 0, 1, -1});
  EXPECT_EQ(b.call(KODE_CHECK), 1);
  EXPECT_EQ(gate_calls().size(), 3u);
  EXPECT_TRUE(print_calls().empty());
  EXPECT_TRUE(messages().empty());
}

TEST_F(ValveCheck, CharacteristicTableIsChecked) {
  const std::vector<std::string> lines = {"REAL params. for valve char. 0 are invalid.",
                                          "Give 2 to 50 pairs (position %, CV/CVMAX), both",
                                          "rising, positions 0 thru 100, CV/CVMAX >= 0"};
  const std::vector<std::vector<double>> bad = {
      {10.0, 0.1, 50.0},                  // odd count
      {50.0, 0.5},                        // one pair
      {10.0, 0.1, 5.0, 0.2},              // positions not rising
      {10.0, 0.3, 50.0, 0.2},             // values not rising
      {-5.0, 0.0, 50.0, 0.5},             // position below 0
      {10.0, 0.1, 120.0, 0.9},            // position above 100
      {10.0, -0.1, 50.0, 0.5},            // negative value
      {10.0, host::kRmiss, 50.0, 0.5},    // a gap
      std::vector<double>(102, 1.0),      // too many pairs
  };
  for (const auto& table : bad) {
    gate_calls().clear();
    print_calls().clear();
    Block b = connected(1, 1, 0, 0, {0, 1, 0});
    b.reals = table;
    EXPECT_EQ(b.call(KODE_CHECK), 1) << ::testing::PrintToString(table);
    expect_messages({{5, 3, lines}});
  }
  // Good tables, trailing missing values, no table, or a table on another
  // characteristic.
  for (const auto& table : {std::vector<double>{0.0, 0.0, 100.0, 1.0},
                            std::vector<double>{10.0, 0.1, 50.0, 0.4, host::kRmiss},
                            std::vector<double>{}}) {
    Block b = connected(1, 1, 0, 0, {0, 1, 0});
    b.reals = table;
    EXPECT_EQ(b.call(KODE_CHECK), 0);
  }
  Block other = connected(1, 1, 0, 0, {0, 1, 3});
  other.reals = {10.0, 0.3, 5.0, 0.2};
  EXPECT_EQ(other.call(KODE_CHECK), 0);
  EXPECT_TRUE(messages().empty());
}

// Requests that need the equations refuse a block the check refuses,
// writing the check's messages, and never touch the host arrays.
TEST_F(ValveCheck, BadStructureNeverReachesTheEquations) {
  Block b = connected(2, 1, 1, 0, {});
  for (int32_t kode : {KODE_NAMES, KODE_INIT, KODE_RESID, KODE_JACOB, KODE_STRMUPD, KODE_REPORT}) {
    gate_calls().clear();
    print_calls().clear();
    EXPECT_EQ(b.call(kode), 1) << kode;
    EXPECT_EQ(gate_calls().size(), 2u);
    EXPECT_EQ(messages().size(), 4u);
    EXPECT_TRUE(report().empty());
  }
}

// --- Report ---------------------------------------------------------------------

std::vector<std::string> report_for(int32_t phase, int32_t chr) {
  ValveInts p;
  p.phase = phase;
  p.chr = chr;
  Block b = make_valve(p);
  EXPECT_EQ(b.prepare(), 0);
  y(b, "FEED.PRESSURE") = 2.0e6;
  y(b, "PROD.PRESSURE") = 1.5e6;
  y(b, "DELTAP") = 5.0e5;
  y(b, "DP_PRED") = 4.5e5;
  y(b, "DP_BIAS") = 5.0e4;
  y(b, "VALVE_POS") = 55.0;
  y(b, "VP_PRED") = 52.5;
  y(b, "VP_BIAS") = 2.5;
  y(b, "VOL_FLOW") = 0.125;
  y(b, "WT_FLOW") = 8.25;
  y(b, "FP") = 0.98;
  y(b, "CVMAX") = 300.0;
  y(b, "CV") = 123.456789;
  if (phase == 1) {
    y(b, "XT") = 0.7;
    y(b, "XCHOKE") = 0.225;
    y(b, "Y") = 0.875;
    y(b, "FK") = 0.93;
  }
  report();
  EXPECT_EQ(b.call(KODE_REPORT), 0);
  return report();
}

TEST_F(ValveCheck, ReportForEveryCharacteristicAndPhase) {
  const char* names[] = {"interpolated", "linear",           "parabolic", "square root",
                         "quick opening", "equal percentage", "hyperbolic"};
  for (int32_t phase : {1, 2}) {
    for (int32_t chr = 0; chr <= 6; ++chr) {
      std::vector<std::string> want = {
          "",
          "                      ***       R3VALV RESULTS      ***",
          "",
          phase == 1 ? "  The inlet phase is vapor." : "  The inlet phase is liquid.",
          std::string("  The valve characteristic is ") + names[chr] + ".",
          "",
          "    INLET PRESSURE(Pa)  2.000000E+06",
          "    OUTLET PRESSURE(Pa)  1.500000E+06",
          "    PRESSURE DROP (ACTUAL)(Pa)  5.000000E+05",
          "    PRESSURE DROP (PREDICTED)(Pa)  4.500000E+05",
          "    PRESSURE DROP (BIAS)(Pa)  5.000000E+04",
          "",
          "    VALVE POSITION (ACTUAL) (%)  5.500000E+01",
          "    VALVE POSITION (PREDICTED) (%)  5.250000E+01",
          "    VALVE POSITION (BIAS)(%)  2.500000E+00",
          "",
          "    VOLUMETRIC FLOW(m3/s)  1.250000E-01",
          "    WEIGHT FLOW(kg/s)  8.250000E+00",
          "",
          "    PIPE GEOMETRY FACTOR  9.800000E-01",
          "    MAXIMUM VALVE FLOW COEFFICIENT  3.000000E+02",
          "    ACTUAL VALVE FLOW COEFFICIENT  1.234568E+02",
      };
      if (phase == 1) {
        for (const char* l : {"", "    TERMINAL PRESSURE DROP RATIO (XT)  7.000000E-01",
                              "    ACTUAL PRESSURE DROP RATIO (X)  2.250000E-01",
                              "    EXPANSION FACTOR (Y)  8.750000E-01",
                              "    HEAT CAPACITY CORRECTION FACTOR (FK)  9.300000E-01"}) {
          want.push_back(l);
        }
      }
      want.push_back("");
      EXPECT_EQ(report_for(phase, chr), want) << "phase " << phase << ", characteristic " << chr;
    }
  }
}

TEST_F(ValveCheck, ReportInTheCaseUnits) {
  ValveInts p;
  p.phase = 2;
  Block b = make_valve(p);
  ASSERT_EQ(b.prepare(), 0);
  host::run().report_units = host::ReportUnits::MET;
  y(b, "FEED.PRESSURE") = 2.0e6;
  y(b, "WT_FLOW") = 2.5;
  report();
  ASSERT_EQ(b.call(KODE_REPORT), 0);
  const auto r = report();
  ASSERT_GT(r.size(), 17u);
  EXPECT_EQ(r[6], "    INLET PRESSURE(bar)  2.000000E+01");
  EXPECT_EQ(r[17], "    WEIGHT FLOW(kg/h)  9.000000E+03");
}

}  // namespace
}  // namespace r3::test
