// The valve's input check (through the data manager's gate and error
// buffer) and its report, against the golden texts control_valve/check and
// control_valve/report.
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

namespace {

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

// The cases are the headings of the golden text: "streams" (material in,
// out, information in, out; 1 1 0 0 unless given), "int", "real", "ones"
// (that many reals of 1.0), "level" (the diagnostic level), "components"
// (the check called directly with that many components: the host never
// hands more than 200, its component service refuses the list).
TEST_F(ValveTest, CheckMessages) {
  Transcript t;
  const int32_t level = DMS_GLOBAL[5];
  for (const std::string& heading : golden_cases("control_valve/check")) {
    t.heading(heading);
    const CaseHeading c(heading);
    DMS_GLOBAL[5] = c.has("level") ? c.ints("level").at(0) : level;
    if (c.has("components")) {
      int32_t one = 1, zero = 0;
      Entry e{};
      e.NMATIN = e.NMATOUT = &one;
      e.NINFI = e.NINFOUT = &zero;
      control_valve::State st;
      st.s.ncomp = c.ints("components").at(0);
      t.add("istat " + std::to_string(control_valve::r3vchk(e, st)));
      t.add(take_gate_calls());
      t.add(messages());
      continue;
    }
    std::vector<int32_t> n =
        c.has("streams") ? c.ints("streams") : std::vector<int32_t>{1, 1, 0, 0};
    std::vector<double> reals = c.reals("real");
    if (c.has("ones")) reals.assign(static_cast<size_t>(c.ints("ones").at(0)), 1.0);
    Block b = connected(n.at(0), n.at(1), n.at(2), n.at(3), c.ints("int"), reals);
    const auto check = said(b, KODE_CHECK);
    t.add(check);
    // The dimension request says the same and, failing, leaves the counts
    // unwritten.
    b.ny = b.nz = -4;
    EXPECT_EQ(said(b, KODE_DIMEN), check) << heading;
    if (check[0] != "istat 0") {
      EXPECT_EQ(b.ny + b.nz, -8) << heading;
    }
  }
  DMS_GLOBAL[5] = level;
  EXPECT_TRUE(matches_golden_text("control_valve/check", t.lines));
}

// The report in the case's report units, both phases (the SI reports of
// every characteristic and phase are compared by the golden test of every
// example).
TEST_F(ValveTest, ReportInOtherUnits) {
  const CaseHeading values(
      "FEED.PRESSURE 2e6; PROD.PRESSURE 1.5e6; DELTAP 5e5; DP_PRED 4.5e5; DP_BIAS 5e4; "
      "VALVE_POS 55; VP_PRED 52.5; VP_BIAS 2.5; VOL_FLOW 0.125; WT_FLOW 8.25; FP 0.98; "
      "CVMAX 300; CV 123.456789; XT 0.7; XCHOKE 0.225; Y 0.875; FK 0.93");
  Transcript t;
  for (int32_t phase : {1, 2}) {
    Block b = make_valve(ValveInts{0, phase});
    ASSERT_EQ(b.prepare(), 0);
    for (const auto& [name, v] : values.fields) {
      if (b.find_var(name) != 0) yv(b, name) = std::stod(v.at(0));
    }
    host::run().report_units = host::ReportUnits::MET;
    t.heading(phase == 1 ? "vapour, MET units" : "liquid, MET units");
    EXPECT_EQ(b.call(KODE_REPORT), 0);
    t.add(report());
  }
  EXPECT_TRUE(matches_golden_text("control_valve/report", t.lines));
}

}  // namespace
}  // namespace r3::test
