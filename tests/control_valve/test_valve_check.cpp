// The valve's input check (through the data manager's gate and error
// buffer) and its report, against the golden texts valve/check and
// valve/report.
#include <gtest/gtest.h>

#include "models/control_valve/control_valve.h"
#include "tests/control_valve/valve_fixture.h"

namespace {
std::vector<std::string> gate_lines, print_counts;
}

// The data manager's gate and printer, seen through the linker's wrapping.
extern "C" int32_t __real_DMS_IRRCHK(const int32_t*, const int32_t*, const int32_t*, const int32_t*,
                                     const int32_t*, const int32_t*, const int32_t*,
                                     const int32_t*);
extern "C" void __real_DMS_ERRPRT(const int32_t*);

extern "C" int32_t __wrap_DMS_IRRCHK(const int32_t* routine, const int32_t* iclass,
                                     const int32_t* msgno, const int32_t* level,
                                     const int32_t* glevel, const int32_t* a6, const int32_t* a7,
                                     const int32_t* a8) {
  // The levels must be the data manager's own words 6 and 8.
  EXPECT_EQ(level, &DMS_GLOBAL[5]);
  EXPECT_EQ(glevel, &DMS_GLOBAL[7]);
  auto s = [](const int32_t* v) { return std::to_string(*v); };
  gate_lines.push_back("gate [" + std::string(reinterpret_cast<const char*>(routine), 8) +
                       "] class " + s(iclass) + " message " + s(msgno) + " levels " + s(level) +
                       " " + s(glevel) + " arguments " + s(a6) + " " + s(a7) + " " + s(a8));
  return __real_DMS_IRRCHK(routine, iclass, msgno, level, glevel, a6, a7, a8);
}

extern "C" void __wrap_DMS_ERRPRT(const int32_t* n) {
  print_counts.push_back(n ? std::to_string(*n) : "null");
  __real_DMS_ERRPRT(n);
}

namespace r3::test {

std::vector<std::string> take_gate_calls() {
  std::vector<std::string> out;
  out.swap(gate_lines);
  std::string p = "printed";
  for (const auto& n : print_counts) p += " " + n;
  out.push_back(p);
  print_counts.clear();
  return out;
}
}  // namespace r3::test

namespace r3::test {
namespace {

using host::Block;

// A valve with the given connections and parameters (nothing else set).
Block connected(int nin, int nout, int ninfi, int ninfout, std::vector<int32_t> ints,
                std::vector<double> reals = {}) {
  Block b("V1", R3VALV);
  b.matin.assign(static_cast<size_t>(nin), "FEED");
  b.matout.assign(static_cast<size_t>(nout), "PROD");
  b.infin.assign(static_cast<size_t>(ninfi), "W");
  b.infout.assign(static_cast<size_t>(ninfout), "W2");
  b.ints = std::move(ints);
  b.reals = std::move(reals);
  b.connect_streams();
  return b;
}

// ISTAT of a request, the gate's calls and the message unit's lines.
std::vector<std::string> said(Block& b, int32_t kode) {
  std::vector<std::string> t = {"istat " + std::to_string(b.call(kode))};
  for (const auto& l : take_gate_calls()) t.push_back(l);
  for (const auto& l : messages()) t.push_back(l);
  return t;
}

TEST_F(ValveTest, CheckMessages) {
  const int32_t m = hs::imiss();
  const double r = host::kRmiss;
  struct Case {
    const char* what;
    int nin, nout, ninfi, ninfout;
    std::vector<int32_t> ints;
    std::vector<double> reals;
  };
  const std::vector<Case> cases = {
      {"two inlets", 2, 1, 0, 0, {}, {}},
      {"no outlet", 1, 0, 0, 0, {}, {}},
      {"an inlet information stream", 1, 1, 1, 0, {}, {}},
      {"three outlet information streams", 1, 1, 0, 3, {}, {}},
      {"mode 2", 1, 1, 0, 0, {2}, {}},
      {"mode 1000: asterisks in the three-character field", 1, 1, 0, 0, {1000}, {}},
      {"phase 3", 1, 1, 0, 0, {0, 3}, {}},
      {"characteristic 7", 1, 1, 0, 0, {0, 1, 7}, {}},
      {"characteristic -1", 1, 1, 0, 0, {0, 1, -1}, {}},
      {"direction 2", 1, 1, 0, 0, {0, 1, 1, 2}, {}},
      {"choke -1", 1, 1, 0, 0, {0, 1, 1, 0, -1}, {}},
      {"passes -1", 1, 1, 0, 0, {0, 1, 1, 0, 1, -1}, {}},
      {"every check runs, in table order", 2, 1, 1, 0, {}, {}},
      {"all parameters wrong: the passes last", 1, 1, 0, 0, {5, 9, 8, 7, 6, -1}, {}},
      // Missing parameters (beyond NINT or the marker) take defaults.
      {"no parameters", 1, 1, 0, 0, {}, {}},
      {"missing markers", 1, 1, 0, 0, {m, m, m, m, m, m}, {}},
      {"valid limits", 1, 1, 0, 0, {1, 2, 6, 1, 0, 0}, {}},
      {"valid, 50 passes", 1, 1, 0, 0, {0, 1, 0, 0, 1, 50}, {}},
      // Characteristic 0's table of (position %, CV/CVMAX) pairs.
      {"table: odd count", 1, 1, 0, 0, {0, 1, 0}, {10.0, 0.1, 50.0}},
      {"table: one pair", 1, 1, 0, 0, {0, 1, 0}, {50.0, 0.5}},
      {"table: positions not rising", 1, 1, 0, 0, {0, 1, 0}, {10.0, 0.1, 5.0, 0.2}},
      {"table: values not rising", 1, 1, 0, 0, {0, 1, 0}, {10.0, 0.3, 50.0, 0.2}},
      {"table: position below 0", 1, 1, 0, 0, {0, 1, 0}, {-5.0, 0.0, 50.0, 0.5}},
      {"table: position above 100", 1, 1, 0, 0, {0, 1, 0}, {10.0, 0.1, 120.0, 0.9}},
      {"table: negative value", 1, 1, 0, 0, {0, 1, 0}, {10.0, -0.1, 50.0, 0.5}},
      {"table: a gap", 1, 1, 0, 0, {0, 1, 0}, {10.0, r, 50.0, 0.5}},
      {"table: 51 pairs", 1, 1, 0, 0, {0, 1, 0}, std::vector<double>(102, 1.0)},
      {"table: good", 1, 1, 0, 0, {0, 1, 0}, {0.0, 0.0, 100.0, 1.0}},
      {"table: trailing missing value", 1, 1, 0, 0, {0, 1, 0}, {10.0, 0.1, 50.0, 0.4, r}},
      {"table: bad, on characteristic 3", 1, 1, 0, 0, {0, 1, 3}, {10.0, 0.3, 5.0, 0.2}},
  };
  Transcript t;
  for (const Case& c : cases) {
    t.heading(c.what);
    Block b = connected(c.nin, c.nout, c.ninfi, c.ninfout, c.ints, c.reals);
    const auto check = said(b, KODE_CHECK);
    t.add(check);
    // The dimension request says the same and, failing, leaves the counts
    // unwritten.
    b.ny = b.nz = -4;
    EXPECT_EQ(said(b, KODE_DIMEN), check) << c.what;
    if (check[0] != "istat 0") {
      EXPECT_EQ(b.ny + b.nz, -8) << c.what;
    }
  }
  // The gate decides: at diagnostic level 0 nothing is written, the check
  // still fails.
  t.heading("diagnostic level 0");
  const int32_t level = DMS_GLOBAL[5];
  DMS_GLOBAL[5] = 0;
  Block silent = connected(2, 1, 1, 0, {0, 1, 1, 0, 1, -1});
  t.add(said(silent, KODE_CHECK));
  // More than 200 components: the host never hands such a list (its
  // component service refuses it), so the check is called directly.
  DMS_GLOBAL[5] = level;
  int32_t one = 1, zero = 0;
  Entry e{};
  e.NMATIN = e.NMATOUT = &one;
  e.NINFI = e.NINFOUT = &zero;
  control_valve::State st;
  for (int n : {201, 200}) {
    t.heading(std::to_string(n) + " components");
    st.s.ncomp = n;
    t.add("istat " + std::to_string(control_valve::r3vchk(e, st)));
    t.add(take_gate_calls());
    t.add(messages());
  }
  EXPECT_TRUE(matches_golden(t.lines, "control_valve/check"));
}

// The report in the case's report units, both phases (the SI reports of
// every characteristic and phase are compared by the golden test of every
// example).
TEST_F(ValveTest, ReportInOtherUnits) {
  const char* names[] = {"FEED.PRESSURE",
                         "PROD.PRESSURE",
                         "DELTAP",
                         "DP_PRED",
                         "DP_BIAS",
                         "VALVE_POS",
                         "VP_PRED",
                         "VP_BIAS",
                         "VOL_FLOW",
                         "WT_FLOW",
                         "FP",
                         "CVMAX",
                         "CV",
                         "XT",
                         "XCHOKE",
                         "Y",
                         "FK"};
  const double values[] = {2.0e6, 1.5e6, 5.0e5, 4.5e5,      5.0e4, 55.0,  52.5,  2.5, 0.125,
                           8.25,  0.98,  300.0, 123.456789, 0.7,   0.225, 0.875, 0.93};
  Transcript t;
  for (int32_t phase : {1, 2}) {
    Block b = make_valve(ValveInts{0, phase});
    ASSERT_EQ(b.prepare(), 0);
    for (size_t i = 0; i < std::size(names); ++i) {
      if (b.find_var(names[i]) != 0) y(b, names[i]) = values[i];
    }
    host::run().report_units = host::ReportUnits::MET;
    t.heading(phase == 1 ? "vapour, MET units" : "liquid, MET units");
    EXPECT_EQ(b.call(KODE_REPORT), 0);
    t.add(report());
  }
  EXPECT_TRUE(matches_golden(t.lines, "control_valve/report"));
}

}  // namespace
}  // namespace r3::test
