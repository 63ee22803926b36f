// The reciprocating compressor's input check, initialisation (flags of the
// given quantities, pair selection and the six cases), property routines,
// report, and solved cases against a hand calculation. Messages and report
// lines: golden texts recip_compressor/check, init_errors and report.
#include <gtest/gtest.h>

#include <cmath>

#include "models/recip_compressor/recip_compressor.h"
#include "tests/recip_compressor/rcmp_test.h"

namespace r3::test::rcmp {
namespace {

namespace model = ::r3::recip_compressor;

// The cases are the headings of the golden text: "streams" (material in,
// out, information in, out), "int", and "components" (the check called
// directly with that many components: the host never hands more than 200,
// its component service refuses the list).
TEST_F(RcmpTest, CheckMessages) {
  const auto one_case = [&](const std::string& heading, const CaseHeading& c, Transcript& t) {
    t.heading(heading);
    if (c.has("components")) {
      model::State st;
      st.imode = st.izavg = 0;
      st.npass = 1;
      st.s.ncomp = c.ints("components").at(0);
      int32_t one = 1, zero = 0;
      Entry e{};
      e.NMATIN = e.NMATOUT = &one;
      e.NINFI = e.NINFOUT = &zero;
      t.add("istat " + std::to_string(model::R3RCMP_CHK(e, st)));
      t.add(messages());
      return;
    }
    const auto n = c.ints("streams");
    Block b("K1", R3RCMP);
    b.matin.assign(n.at(0), "FEED");
    b.matout.assign(n.at(1), "PROD");
    b.infin.assign(n.at(2), "W");
    b.infout.assign(n.at(3), "WO");
    b.ints = c.ints("int");
    b.connect_streams();
    t.add("istat " + std::to_string(b.call(KODE_CHECK)));
    const auto said = messages();
    t.add(said);
    // The dimension request refuses the block the same way, counts unwritten.
    b.ny = b.nf = b.nz = -5;
    if (b.call(KODE_DIMEN) != 0) {
      EXPECT_EQ(b.ny + b.nf + b.nz, -15) << heading;
    }
    EXPECT_EQ(messages(), said) << heading;
  };
  EXPECT_TRUE(run_golden_cases("recip_compressor/check", one_case));
}

// Bad feeds, failing property services and impossible given values (the
// cases are the headings of the golden text, see initialise_with; "work V"
// connects a work stream of that value): ISTAT and the messages. The work
// area is released whatever the outcome, and a failed initialisation leaves
// the block variables as they were (missing, unless the case gave them).
TEST_F(RcmpTest, InitialisationMessages) {
  const auto one_case = [&](const std::string& heading, const CaseHeading& c, Transcript& t) {
    t.heading(heading);
    Block b = make_compressor(c.has("work"));
    if (c.has("work")) b.set_info_inlet(0, c.number("work", 0.0));
    int32_t size = 13, h = 0, off1 = 0, off2 = 0;
    DMS_ALLOCR(&size, &h, &off1);
    DMS_FREEBD(&h);
    t.add("istat " + std::to_string(initialise_with(b, c)));
    t.add(messages());
    DMS_ALLOCR(&size, &h, &off2);
    DMS_FREEBD(&h);
    EXPECT_EQ(off1, off2) << heading;
    for (int v = b.ny - 28; v <= b.ny; ++v) {
      const std::string name = b.var_name(v).substr(3);
      EXPECT_TRUE(b.y[v - 1] == kRmiss || heading.find(name + " ") != std::string::npos) << name;
    }
  };
  EXPECT_TRUE(run_golden_cases("recip_compressor/init_errors", one_case));
  // A missing inlet temperature is found by flashing the inlet.
  Block b = make_compressor(false);
  const double T = b.smatin[4];
  b.smatin[4] = kRmiss;
  ASSERT_EQ(b.prepare(), 0) << ::testing::PrintToString(messages());
  EXPECT_NEAR(yv(b, "SUCT_TEMP"), T, 1e-6);
  EXPECT_TRUE(messages().empty());
}

// Targets of a realistic air compressor: 1 -> 3 bar, 440 K and the shaft
// power 431410.7 W that goes with them at a mechanical efficiency of 0.95.
constexpr double kEff = 0.8;

// The air compressor of air.toml with its cylinder data and the fixed
// values `fix` (TOML), solved as r3sim solves it.
CaseRun solve_air(const std::string& fix, bool work) {
  return run_case_text(file_text(std::string(R3_SOURCE_DIR) + "/tests/recip_compressor/air.toml") +
                           (work ? "info_inlets = [\"W\"]\n" : "") +
                           "fix = { MECH_EFF = 0.95, CLEARFRAC = 0.08, LOSSTERM = 0.04" + fix +
                           " }\n",
                       {{"R3RCMP", R3RCMP}});
}

// Each pair of given quantities selects its case ("pair"; the cases are the
// headings of the golden text recip_compressor/pairs, see initialise_with;
// "work V" a work stream of that value): the initial point is consistent in
// the pressures and the cylinder; from two fixed values the case solves to a
// compressor's solution within "iterations" (8 unless given). Guesses count
// below fixed values: those cases check the selection only.
TEST_F(RcmpTest, EveryPairIsReachedAndSolves) {
  Transcript t;
  for (const std::string& heading : golden_cases("recip_compressor/pairs")) {
    SCOPED_TRACE(heading);
    t.heading(heading);
    const CaseHeading c("fix MECH_EFF 0.95 CLEARFRAC 0.08 LOSSTERM 0.04; " + heading);
    const bool work = c.has("work");
    Block b = make_compressor(work);
    if (work) b.set_info_inlet(0, c.number("work", 0.0));
    ASSERT_EQ(initialise_with(b, c), 0);
    const int pair = static_cast<int>(c.number("pair", 0));
    EXPECT_EQ(model::state().last_case, pair);
    t.add(messages());
    const double pin = yv(b, "FEED.PRESSURE");
    EXPECT_NEAR(yv(b, "PRATIO") * pin, yv(b, "PROD.PRESSURE"), 1e-6 * pin);
    EXPECT_GE(yv(b, "VOL_EFF"), 0.001);
    if (c.has("ratio")) {
      EXPECT_DOUBLE_EQ(yv(b, "PROD.PRESSURE"), c.number("ratio", 0.0) * pin);
    }
    const auto fixed = c.words("fix");
    if (fixed.size() < 10) continue;  // the cylinder data and two more
    std::string fix;
    for (size_t k = 6; k + 1 < fixed.size(); k += 2)
      fix += ", \"" + fixed[k] + "\" = " + fixed[k + 1];
    const CaseRun r = solve_air(fix, work);
    ASSERT_EQ(r.outcome, host::Outcome::Solved) << r.error;
    EXPECT_EQ(model::state().last_case, pair);
    EXPECT_LE(r.solve.iterations, c.number("iterations", 8));
    for (size_t k = 6; k + 1 < fixed.size(); k += 2) {
      const std::string& n = fixed[k];
      EXPECT_EQ(r.value(n.find('.') == std::string::npos ? "K1." + n : n), std::stod(fixed[k + 1]));
    }
    EXPECT_GT(r.value("K1.DISCH_TEMP"), r.value("K1.SUCT_TEMP"));
    EXPECT_GT(r.value("PROD.PRESSURE"), pin);
    EXPECT_NEAR(r.value("K1.BHP") * 0.95, r.value("K1.IHP"), 1e-6 * r.value("K1.IHP"));
    if (work) {
      EXPECT_DOUBLE_EQ(r.value("K1.BHP"), -c.number("work", 0.0));
    }
  }
  EXPECT_TRUE(matches_golden_text("recip_compressor/pairs", t.lines));
}

// The number of passes: with one pass the discharge temperature of the
// pressure + efficiency case uses the suction heat-capacity ratio only; more
// passes use the mean of suction and discharge.
TEST_F(RcmpTest, PassesRepeatTheImplicitBlock) {
  double td[2] = {0, 0};
  for (int32_t npass : {1, 4}) {
    Block b = make_compressor(false, 0, npass);
    ASSERT_EQ(b.dimension(), 0);
    ASSERT_EQ(b.call(KODE_NAMES), 0);
    fix(b, "PRATIO", 3.0);
    fix(b, "POLY_EFF", kEff);
    ASSERT_EQ(b.call(KODE_INIT), 0);
    td[npass == 1 ? 0 : 1] = yv(b, "DISCH_TEMP");
    const double cp = yv(b, "SUCT_CP"), alpha_suct = (cp / (cp - kR) - 1.0) / (cp / (cp - kR));
    const double m = npass == 1 ? alpha_suct / kEff : yv(b, "MPOLY");
    EXPECT_NEAR(yv(b, "DISCH_TEMP"), 300.0 * std::pow(3.0, m), npass == 1 ? 1e-9 : 0.05);
  }
  EXPECT_GT(std::fabs(td[0] - td[1]), 0.1);
}

// Inputs the relations cannot divide by: a zero mechanical efficiency takes
// the default, an inlet power of zero gives nothing, and a work stream
// without a value leaves the choice to the other given quantities. A huge
// clearance would make the volumetric efficiency negative: it stops at
// 0.001; out-of-range cylinder data take the defaults 0.5 and 0.04.
TEST_F(RcmpTest, DegenerateInputsStayFinite) {
  for (double w : {1.0, 0.0, kRmiss}) {
    Block b = make_compressor(w != 1.0, 1);
    if (w != 1.0) b.set_info_inlet(0, w);
    const std::string given = "fix DISCH_TEMP 440 PROD.PRESSURE 3e5";
    ASSERT_EQ(initialise_with(b, CaseHeading(given + (w == 1.0 ? " MECH_EFF 0" : ""))), 0);
    EXPECT_EQ(model::state().last_case, 1);
    EXPECT_TRUE(messages().empty());
    for (int i = 1; i <= b.ny; ++i)
      EXPECT_TRUE(std::isfinite(b.y[static_cast<size_t>(i - 1)])) << b.var_name(i);
    if (w == 1.0) {
      EXPECT_EQ(yv(b, "MECH_EFF"), 0.0);  // the user's value stays in Y
      EXPECT_DOUBLE_EQ(yv(b, "BHP"), yv(b, "IHP"));
    } else {
      EXPECT_GT(yv(b, "POLY_EFF"), 0.5);
    }
  }
  Block b = make_compressor(false);
  ASSERT_EQ(initialise_with(b, CaseHeading("guess CLEARFRAC 5; fix PRATIO 6")), 0);
  EXPECT_EQ(yv(b, "VOL_EFF"), 0.001);
  EXPECT_DOUBLE_EQ(yv(b, "DISPLACE"), yv(b, "VOL_FLOW") / 0.001);
  EXPECT_DOUBLE_EQ(yv(b, "CLEARFRAC"), 5.0);
  Block c = make_compressor(false);
  ASSERT_EQ(initialise_with(c, CaseHeading("guess CLEARFRAC 11 LOSSTERM -0.1")), 0);
  EXPECT_EQ(yv(c, "CLEARFRAC"), 11.0);  // the user's value stays in Y
  EXPECT_EQ(model::state().saved[model::saved_index(model::CLEARFRAC)], 0.5);
  EXPECT_EQ(model::state().saved[model::saved_index(model::LOSSTERM)], 0.04);
  EXPECT_EQ(yv(c, "MECH_EFF"), 1.0);
}

// The report in SI and English units: 745699.87 W is 1000 hp and
// 7.865791e-3 m3/s is 1000 ft3/h; in English units both powers carry the
// first call's label. The examples' reports are compared by the golden
// test of every example.
TEST_F(RcmpTest, ReportInReportUnits) {
  Block b = make_compressor(false);
  ASSERT_EQ(b.prepare(), 0);
  const CaseHeading values(
      "IHP 708414.8765; BHP 745699.87; MECH_EFF 0.95; POLY_EFF 0.8; VOL_EFF 0.75; "
      "DISPLACE 0.007865790833333332; CLEARFRAC 0.08; LOSSTERM 0.04");
  for (const auto& [name, v] : values.fields) yv(b, name) = std::stod(v.at(0));
  Transcript t;
  for (auto units : {host::ReportUnits::SI, host::ReportUnits::ENG}) {
    host::run().report_units = units;
    t.heading(units == host::ReportUnits::SI ? "SI" : "ENG");
    ASSERT_EQ(b.call(KODE_REPORT), 0);
    t.add(report());
  }
  EXPECT_TRUE(messages().empty());
  EXPECT_TRUE(matches_golden_text("recip_compressor/report", t.lines));
}

// The compressor relations evaluated from the converged property values: the
// polytropic efficiency from the head and the gas power, the volumetric
// efficiency from the clearance re-expansion, the displacement and powers:
// an air compressor from pressure and temperature (mean compressibility),
// a natural-gas compressor from pressure and power (suction compressibility).
TEST(RcmpSolved, HandCalculation) {
  struct Case {
    const char* example;
    const char* feed;
    int izavg;
    std::vector<double> x;
  };
  for (const Case& c : {Case{"rcmp/pressure_temperature.toml", "AIR", 0, {0.78, 0.21, 0.01}},
                        Case{"rcmp/pressure_power.toml", "GAS", 1, {0.9, 0.07, 0.03}}}) {
    SCOPED_TRACE(c.example);
    const CaseRun r = run_case(example_path(c.example), {{"R3RCMP", R3RCMP}});
    ASSERT_EQ(r.outcome, host::Outcome::Solved) << r.error;
    auto v = [&](const std::string& n) { return r.value(n); };
    const std::string feed = c.feed;
    const double F = v(feed + ".TOTAL_FLOW"), Pin = v(feed + ".PRESSURE"),
                 Pout = v("DISCH.PRESSURE");
    const double Ts = v("K1.SUCT_TEMP"), Td = v("K1.DISCH_TEMP");
    // The property variables are the host's vapour properties at the solved states.
    const Monitor s = monitor(false, 2, c.x, Ts, Pin), d = monitor(false, 2, c.x, Td, Pout);
    EXPECT_NEAR(v("K1.SUCT_CP"), s.cp, 1e-7 * s.cp);
    EXPECT_NEAR(v("K1.DISCH_CP"), d.cp, 1e-7 * d.cp);
    EXPECT_NEAR(v("K1.SUCT_MOLV"), s.v, 1e-7 * s.v);
    EXPECT_NEAR(v("K1.DISCH_MOLV"), d.v, 1e-7 * d.v);
    EXPECT_NEAR(v(feed + ".ENTHALPY"), s.h, 1e-7 * std::fabs(s.h) + 1.0);
    EXPECT_NEAR(v("DISCH.ENTHALPY"), d.h, 1e-7 * std::fabs(d.h) + 1.0);
    // Hand calculation from those properties.
    const double mw = v("K1.MW");
    const double zs = Pin * s.v / (kR * Ts), zd = Pout * d.v / (kR * Td);
    const double zsel = c.izavg == 1 ? zs : 0.5 * (zs + zd);
    const double cpm = 0.5 * (s.cp + d.cp), k = cpm / (cpm - kR), alpha = (k - 1.0) / k;
    const double pr = Pout / Pin, ihp = F * (d.h - s.h), wt = F * mw;
    // Polytropic efficiency: eff * IHP = HEAD * WT with HEAD from m = alpha / eff.
    auto gap = [&](double eff) {
      const double m = alpha / eff;
      return eff * ihp - zsel * kR * Ts * (std::pow(pr, m) - 1.0) / (m * mw) * wt;
    };
    double lo = 0.2, hi = 1.5;
    ASSERT_LT(gap(lo) * gap(hi), 0.0);
    for (int i = 0; i < 200; ++i) {
      const double mid = 0.5 * (lo + hi);
      (gap(lo) * gap(mid) <= 0.0 ? hi : lo) = mid;
    }
    const double ve = 1.0 - v("K1.LOSSTERM") - pr / 100.0 - v("K1.CLEARFRAC") * (s.v / d.v - 1.0);
    EXPECT_NEAR(v("K1.SUCT_Z"), zs, 1e-9);
    EXPECT_NEAR(v("K1.KRATIO"), k, 1e-9);
    EXPECT_NEAR(v("K1.POLY_EFF"), 0.5 * (lo + hi), 1e-7);
    EXPECT_NEAR(v("K1.IHP"), ihp, 1e-6 * ihp);
    EXPECT_NEAR(v("K1.BHP"), ihp / v("K1.MECH_EFF"), 1e-6 * ihp);
    EXPECT_NEAR(v("K1.VOL_EFF"), ve, 1e-9);
    EXPECT_NEAR(v("K1.DISPLACE"), F * s.v / ve, 1e-8 * F * s.v / ve);
    EXPECT_NEAR(v("K1.VOL_FLOW"), F * s.v, 1e-9 * F * s.v);
  }
}

}  // namespace
}  // namespace r3::test::rcmp
