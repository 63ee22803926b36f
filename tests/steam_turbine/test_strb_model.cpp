// The turbine's layout, equations and Jacobian (conformance harness on every
// example and on blocks of each efficiency code), the solved steam states
// against the IF97 routines, the energy balances, the initial values, the
// stream update, the report, and bad values at the residual request.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "framework/host_services.h"
#include "host/steam/if97.h"
#include "tests/steam_turbine/strb_fixture.h"
#include "tests/support/support.h"

namespace r3::test::strb {
namespace {

namespace st = r3::steam;

class Strb : public ::testing::Test {
 protected:
  void SetUp() override { reset_host({"H2O"}, thermo::Method::SteamTable); }
};

double y(const host::Block& b, const std::string& name) {
  const int i = b.find_var(name);
  EXPECT_NE(i, 0) << name;
  return i ? b.y[static_cast<size_t>(i - 1)] : std::nan("");
}
void set(host::Block& b, const std::string& name, double v, bool fix = true) {
  const int i = b.find_var(name);
  ASSERT_NE(i, 0) << name;
  b.y[static_cast<size_t>(i - 1)] = v;
  if (fix) b.fix(i);
}

// --- Dimensions and names ------------------------------------------------------

TEST_F(Strb, DimensionsOfEachType) {
  struct Case {
    int iturb;
    std::vector<int32_t> codes;
    int nin, ninfi, ninfout;
    int ny, nf, nz;
  };
  const std::vector<Case> cases = {
      {1, {3}, 1, 0, 0, 12, 6, 25},     {1, {1}, 1, 0, 0, 13, 6, 26},
      {1, {2}, 1, 1, 0, 14, 7, 28},     {1, {4}, 1, 0, 1, 13, 7, 27},
      {1, {1}, 1, 1, 1, 15, 7, 29},     {2, {1}, 1, 0, 0, 17, 8, 36},
      {2, {5}, 1, 0, 0, 16, 8, 35},     {3, {1, 2}, 2, 0, 0, 25, 13, 63},
      {3, {3, 4}, 2, 0, 0, 23, 13, 61}, {3, {1, 3}, 2, 1, 1, 26, 14, 65},
  };
  for (const Case& c : cases) {
    Params p;
    p.iturb = c.iturb;
    p.codes = c.codes;
    p.ne = p.nw = 1;
    p.effx = {1e6};
    p.effy = {0.8};
    p.wrx = {1e6};
    p.wry = {3e-6};
    p.relpar = {0.85, 50, 1, 2e7, 50, 1, 0.15};
    p.t_in.assign(static_cast<size_t>(c.nin), kRmiss);
    std::vector<std::vector<double>> feeds(static_cast<size_t>(c.nin), {700.0, 4e6, 1.0});
    host::Block b = make_turbine(p, feeds, c.ninfi, c.ninfout);
    ASSERT_EQ(b.dimension(), 0);
    EXPECT_EQ(b.ny, c.ny) << c.iturb << " " << c.codes[0];
    EXPECT_EQ(b.nf, c.nf) << c.iturb << " " << c.codes[0];
    EXPECT_EQ(b.nz, c.nz) << c.iturb << " " << c.codes[0];
    EXPECT_EQ(b.naux1, 0);
  }
}

TEST_F(Strb, NamesOfTheAdmissionTurbine) {
  Params p;
  p.iturb = 3;
  p.codes = {1, 2};
  p.t_in = {kRmiss, kRmiss};
  host::Block b = make_turbine(p, {{800, 10e6, 1.0}, {600, 2e6, 0.5}}, 1, 1);
  ASSERT_EQ(b.prepare(), 0);
  std::vector<std::string> v, eq;
  for (int i = 1; i <= b.ny; ++i) v.push_back(b.var_name(i));
  for (int i = 1; i <= b.nf; ++i) eq.push_back(b.eqn_name(i));
  const std::vector<std::string> ev = {
      "S1.FLOW_H2O",    "S1.TOTAL_FLOW",   "S1.ENTHALPY",     "S1.PRESSURE",     "S2.FLOW_H2O",
      "S2.TOTAL_FLOW",  "S2.ENTHALPY",     "S2.PRESSURE",     "OUT.FLOW_H2O",    "OUT.TOTAL_FLOW",
      "OUT.ENTHALPY",   "OUT.PRESSURE",    "WIN.VALUE",       "WOUT.VALUE",      "T1.pres_drop_1",
      "T1.pres_drop_2", "T1.efficiency_1", "T1.efficiency_2", "T1.loss_flow",    "T1.total_power",
      "T1.eff_spec_1",  "T1.wr_spec_2",    "T1.stage1_power", "T1.stage2_power", "T1.out_enth_int",
      "T1.in_enth_int", "T1.admi_frac"};
  EXPECT_EQ(v, ev);
  const std::vector<std::string> ee = {"T1.BAL_OUT.FLOW_H2O", "T1.BAL_OUT.TOTAL_FLOW",
                                       "T1.BAL_OUT.ENTHALPY", "T1.enerbal_1",
                                       "T1.enerbal_2",        "T1.BAL_OUT.PRESSURE",
                                       "T1.presbal_1",        "T1.presbal_2",
                                       "T1.work_vs_fl_1",     "T1.work_vs_fl_2",
                                       "T1.eff1_calc",        "T1.eff2_calc",
                                       "T1.work_calc",        "T1.adm_frac"};
  EXPECT_EQ(eq, ee);
}

// --- Examples: solved, conformant, and on the steam tables ---------------------

CaseRun solve_example(const std::string& name) {
  CaseRun r = run_case(example_path("strb/" + name + ".toml"), {{"R3STRB", R3STRB}});
  EXPECT_EQ(r.outcome, host::Outcome::Solved) << name << ": " << r.error << r.solve.message;
  return r;
}

// Forward differences of the efficiency rows (steps of 0.1 %, the turbine's
// own rule) differ from central ones by up to about a per cent.
ConformanceOptions loose() {
  ConformanceOptions o;
  o.rel_tol = 2e-2;
  o.abs_tol = 1e-6;
  return o;
}

TEST_F(Strb, StandardExampleMatchesTheSteamTables) {
  CaseRun r = solve_example("standard");
  ASSERT_TRUE(r.flowsheet);
  EXPECT_LE(r.solve.iterations, 5);
  host::Block& b = *r.flowsheet->blocks()[0];
  const double h1 = y(b, "HPSTEAM.ENTHALPY"), ho = y(b, "EXHAUST.ENTHALPY");
  const double F = y(b, "EXHAUST.FLOW_H2O"), Pt = y(b, "T1.total_power");
  // Inlet: the IF97 state at 4 MPa, 700 K.
  st::State in;
  ASSERT_EQ(st::state_pT(4e6, 700, in), st::Status::Ok);
  EXPECT_NEAR(h1, in.h * kMw, 1e-9 * h1);
  // Power = efficiency x isentropic work, recomputed from IF97.
  st::State out_s;
  ASSERT_EQ(st::state_ps(5e5, in.s, out_s), st::Status::Ok);
  const double Ws = F * kMw * (in.h - out_s.h);
  EXPECT_NEAR(Pt, 0.8 * Ws, 1e-6 * Pt);
  // Energy balance: power = flow x enthalpy drop.
  EXPECT_NEAR(Pt, F * (h1 - ho), 1e-6 * Pt);
  // The exhaust stream after the update: the IF97 state at (P_o, h_o).
  st::State ex;
  ASSERT_EQ(st::state_ph(5e5, ho / kMw, ex), st::Status::Ok);
  const auto& v = r.stream("EXHAUST");
  EXPECT_NEAR(v[2], ex.T, 1e-4);
  EXPECT_NEAR(v[3], 5e5, 1e-6);
  EXPECT_NEAR(v[1], 1.0, 1e-12);
  // Hand check: about 511 kJ/kg isentropic drop, 7.37 MW.
  EXPECT_NEAR(Pt, 7.366e6, 2e3);
  check_conformance(b);
  // The report: the title, then one line per variable.
  ASSERT_GE(r.report.size(), 14u);
  EXPECT_EQ(r.report[0], "*** results ***");
  EXPECT_EQ(r.report[12].substr(0, 24), "  12  T1.total_power    ");
}

TEST_F(Strb, CondensingExampleClosesItsBalances) {
  CaseRun r = solve_example("condensing");
  ASSERT_TRUE(r.flowsheet);
  host::Block& b = *r.flowsheet->blocks()[0];
  const double h1 = y(b, "MAIN.ENTHALPY"), ho = y(b, "COND.ENTHALPY");
  const double F = y(b, "COND.FLOW_H2O"), Pt = y(b, "T2.total_power");
  const double pu = y(b, "T2.power_unitfl"), eta = y(b, "T2.efficiency");
  EXPECT_NEAR(Pt, F * (h1 - ho), 1e-6 * Pt);
  EXPECT_NEAR(Pt, (pu - 3.6e5) * F, 1e-6 * Pt);
  // Power per unit flow = efficiency x isentropic drop per kmol (IF97).
  st::State in, out_s;
  ASSERT_EQ(st::state_ph(8e6, h1 / kMw, in), st::Status::Ok);
  EXPECT_NEAR(in.T, 800.0, 1e-6);
  ASSERT_EQ(st::state_ps(1e4, in.s, out_s), st::Status::Ok);
  EXPECT_NEAR(pu, eta * kMw * (in.h - out_s.h), 1e-6 * pu);
  EXPECT_GT(eta, 0.5);
  EXPECT_LT(eta, 1.0);
  // The flow-passing parameter reproduces the flow.
  const double A = y(b, "T2.area_parm"), dP = y(b, "T2.pres_drop");
  const double M = 18.015268;  // the host's molecular weight of water
  EXPECT_NEAR(F * std::sqrt(in.v * M * 8e6), A * std::sqrt((8e6 + 1e4) * dP), 1e-6 * A * 8e6);
  // Wet exhaust.
  st::State ex;
  ASSERT_EQ(st::state_ph(1e4, ho / kMw, ex), st::Status::Ok);
  EXPECT_EQ(ex.region, 4);
  EXPECT_NEAR(r.stream("COND")[5], ex.quality, 1e-5);
  check_conformance(b, loose());
}

TEST_F(Strb, AdmissionExampleClosesItsBalances) {
  CaseRun r = solve_example("admission");
  ASSERT_TRUE(r.flowsheet);
  host::Block& b = *r.flowsheet->blocks()[0];
  const double h1 = y(b, "HP.ENTHALPY"), h2 = y(b, "ADMIT.ENTHALPY"), ho = y(b, "LPEXH.ENTHALPY");
  const double F1 = y(b, "HP.FLOW_H2O"), F2 = y(b, "ADMIT.FLOW_H2O"), Fo = y(b, "LPEXH.FLOW_H2O");
  const double Pt = y(b, "T3.total_power"), S1 = y(b, "T3.stage1_power"),
               S2 = y(b, "T3.stage2_power");
  const double hx = y(b, "T3.out_enth_int"), hm = y(b, "T3.in_enth_int");
  EXPECT_NEAR(Fo, F1 + F2, 1e-12);
  EXPECT_NEAR(Pt, F1 * h1 + F2 * h2 - Fo * ho, 1e-6 * Pt);
  EXPECT_NEAR(Pt, S1 + S2, 1e-6 * Pt);
  EXPECT_NEAR(S1, F1 * (h1 - hx), 1e-6 * S1);
  EXPECT_NEAR(Fo * hm, F1 * hx + F2 * h2, 1e-6 * Fo * hm);
  EXPECT_NEAR(y(b, "T3.admi_frac"), 0.5, 1e-12);
  // Stage 1 at its water rate: eta = 1 / (wr x isentropic drop per kg).
  st::State in, s1;
  ASSERT_EQ(st::state_ph(1e7, h1 / kMw, in), st::Status::Ok);
  ASSERT_EQ(st::state_ps(2e6, in.s, s1), st::Status::Ok);
  EXPECT_NEAR(y(b, "T3.efficiency_1"), 1.0 / (2.7e-6 * (in.h - s1.h)), 1e-9);
  EXPECT_NEAR(S1, y(b, "T3.efficiency_1") * F1 * kMw * (in.h - s1.h), 1e-6 * S1);
  // Stage 2 at 0.82 from the mixed state.
  st::State mix, s2;
  ASSERT_EQ(st::state_ph(2e6, hm / kMw, mix), st::Status::Ok);
  ASSERT_EQ(st::state_ps(2e5, mix.s, s2), st::Status::Ok);
  EXPECT_NEAR(S2, 0.82 * Fo * kMw * (mix.h - s2.h), 1e-6 * S2);
  check_conformance(b, loose());
}

TEST_F(Strb, WaterRateCurveExampleDrivesItsWorkStream) {
  CaseRun r = solve_example("water_rate_curve");
  ASSERT_TRUE(r.flowsheet);
  host::Block& b = *r.flowsheet->blocks()[0];
  const double h1 = y(b, "STEAM.ENTHALPY"), ho = y(b, "EXH.ENTHALPY");
  const double F = y(b, "EXH.FLOW_H2O"), Pt = y(b, "T4.total_power");
  EXPECT_NEAR(Pt, F * (h1 - ho), 1e-6 * Pt);
  // The work balance W_in - P_t - W_out = 0 without an inlet work stream.
  EXPECT_NEAR(y(b, "SHAFT.VALUE"), -Pt, 1e-6 * Pt);
  EXPECT_NEAR(r.value("SHAFT.VALUE"), -Pt, 1e-6 * Pt);
  // Efficiency from the water rate interpolated at the power.
  st::State in, out_s;
  ASSERT_EQ(st::state_pT(6e6, 750, in), st::Status::Ok);
  ASSERT_EQ(st::state_ps(1e6, in.s, out_s), st::Status::Ok);
  const double wr = 3.0e-6 + (2.4e-6 - 3.0e-6) * (Pt - 2e6) / 8e6;
  EXPECT_NEAR(y(b, "T4.efficiency"), 1.0 / (wr * (in.h - out_s.h)), 1e-9);
  // Sequential-modular: the block fixed its inlet.
  EXPECT_TRUE(b.fixed(b.find_var("STEAM.PRESSURE")));
  check_conformance(b, loose());
}

TEST_F(Strb, TurbinesInSeriesShareTheirStream) {
  CaseRun r = solve_example("series");
  ASSERT_TRUE(r.flowsheet);
  EXPECT_LE(r.solve.iterations, 5);
  const double h1 = r.value("MAIN.ENTHALPY"), hip = r.value("IP.ENTHALPY"),
               hc = r.value("COND.ENTHALPY");
  const double P1 = r.value("T1.total_power"), P2 = r.value("T2.total_power");
  EXPECT_NEAR(P1, h1 - hip, 1e-6 * P1);
  EXPECT_NEAR(P2, hip - hc, 1e-6 * P2);
  // The second turbine expands the first one's exhaust: its efficiency
  // against the IF97 isentropic drop from the intermediate state.
  st::State ip, out_s;
  ASSERT_EQ(st::state_ph(1e6, hip / kMw, ip), st::Status::Ok);
  ASSERT_EQ(st::state_ps(1e4, ip.s, out_s), st::Status::Ok);
  EXPECT_NEAR(r.value("T2.power_unitfl"), 0.85 * kMw * (ip.h - out_s.h), 1e-6 * P2);
  for (auto& b : r.flowsheet->blocks()) check_conformance(*b);
}

// --- Conformance of each efficiency code, with work streams ------------------

TEST_F(Strb, JacobianOfEveryCodeAndWorkStreams) {
  struct Case {
    int iturb;
    std::vector<int32_t> codes;
    int ninfi, ninfout;
  };
  for (const Case& c : std::vector<Case>{{1, {1}, 1, 1},
                                         {1, {2}, 0, 1},
                                         {1, {3}, 1, 0},
                                         {1, {4}, 0, 0},
                                         {1, {5}, 0, 0},
                                         {2, {2}, 0, 0},
                                         {2, {4}, 1, 1},
                                         {3, {3, 4}, 0, 0},
                                         {3, {4, 2}, 1, 1}}) {
    Params p;
    p.iturb = c.iturb;
    p.codes = c.codes;
    p.ne = 3;
    p.effx = {1e6, 5e6, 2e7};
    p.effy = {0.7, 0.8, 0.85};
    p.nw = 2;
    p.wrx = {1e6, 2e7};
    p.wry = {4e-6, 3e-6};
    p.relpar = {0.85, 50, 1.2, 2e7, 50, 1, 0.15};
    std::vector<std::vector<double>> feeds = {{780.0, 8e6, 1.0}};
    if (c.iturb == 3) {
      feeds.push_back({620.0, 2e6, 0.4});
      p.t_in = {kRmiss, kRmiss};
    }
    host::Block b = make_turbine(p, feeds, c.ninfi, c.ninfout);
    ASSERT_EQ(b.dimension(), 0);
    ASSERT_EQ(b.call(KODE_NAMES), 0);
    set(b, "OUT.PRESSURE", c.iturb == 2 ? 2e4 : 5e5, false);
    // A water rate is of order 1e-6 kg/J: scaled as such.
    for (const char* w : {"T1.wr_spec", "T1.wr_spec_1", "T1.wr_spec_2"}) {
      const int i = b.find_var(w);
      if (i) b.yscl[static_cast<size_t>(i - 1)] = 1e-6;
    }
    ASSERT_EQ(b.call(KODE_INIT), 0);
    SCOPED_TRACE("type " + std::to_string(c.iturb) + " code " + std::to_string(c.codes[0]));
    check_conformance(b, loose());
  }
}

// --- Initial values ----------------------------------------------------------------

TEST_F(Strb, InitialValuesFromStreamsAndDefaults) {
  Params p;
  p.imode = 0;
  host::Block b = make_turbine(p, {{700.0, 4e6, 2.0}});
  ASSERT_EQ(b.prepare(), 0);
  // Inlet from its stream, fixed in sequential-modular use.
  EXPECT_EQ(y(b, "S1.FLOW_H2O"), 2.0);
  EXPECT_EQ(y(b, "S1.TOTAL_FLOW"), 2.0);
  EXPECT_EQ(y(b, "S1.PRESSURE"), 4e6);
  st::State in;
  ASSERT_EQ(st::state_pT(4e6, 700, in), st::Status::Ok);
  EXPECT_NEAR(y(b, "S1.ENTHALPY"), in.h * kMw, 1e-9 * in.h * kMw);
  for (int i = 1; i <= 4; ++i) EXPECT_TRUE(b.fixed(i));
  EXPECT_FALSE(b.fixed(5));
  // Outlet: half the inlet pressure, 1 K above saturation.
  EXPECT_EQ(y(b, "OUT.PRESSURE"), 2e6);
  double ts;
  ASSERT_EQ(st::tsat(2e6, ts), st::Status::Ok);
  st::State out;
  ASSERT_EQ(st::state_pT(2e6, ts + 1.0, out), st::Status::Ok);
  EXPECT_NEAR(y(b, "OUT.ENTHALPY"), out.h * kMw, 1e-6 * out.h * kMw);
  EXPECT_EQ(y(b, "OUT.FLOW_H2O"), 2.0);
  EXPECT_EQ(y(b, "T1.pres_drop"), 2e6);
  EXPECT_EQ(y(b, "T1.loss_flow"), 0.0);
  EXPECT_EQ(y(b, "T1.eff_spec"), 1.0);
  EXPECT_EQ(y(b, "T1.efficiency"), 1.0);
  EXPECT_NEAR(y(b, "T1.total_power"), 2.0 * (in.h - out.h) * kMw, 1e-3);
  // Bounds, scales and types.
  const int h = b.find_var("S1.ENTHALPY"), e = b.find_var("T1.efficiency");
  const int f = b.find_var("OUT.FLOW_H2O"), dp = b.find_var("T1.pres_drop");
  EXPECT_EQ(b.ylb[static_cast<size_t>(h - 1)], -2.877e8);
  EXPECT_EQ(b.yscl[static_cast<size_t>(h - 1)], 1e8);
  EXPECT_EQ((b.iyattr[static_cast<size_t>(h - 1)] >> 8) & 0xFF, 6);
  EXPECT_EQ(b.ylb[static_cast<size_t>(e - 1)], 1e-5);
  EXPECT_EQ(b.yub[static_cast<size_t>(e - 1)], 1.0);
  EXPECT_EQ(b.ylb[static_cast<size_t>(f - 1)], -200000.0);
  EXPECT_EQ(b.ylb[static_cast<size_t>(dp - 1)], DMS_RGLOB[1]);
  EXPECT_EQ((b.iyattr[static_cast<size_t>(dp - 1)] >> 8) & 0xFF, 75);
  for (int i = 0; i < b.nf; ++i) EXPECT_NE(b.fscl[static_cast<size_t>(i)], kRmiss);
}

TEST_F(Strb, InitialValuesWithoutStreamData) {
  Params p;
  p.iturb = 2;
  host::Block b = make_turbine(p, {{700.0, 4e6, 1.0}});
  std::fill(b.smatin.begin(), b.smatin.end(), kRmiss);
  ASSERT_EQ(b.dimension(), 0);
  ASSERT_EQ(b.call(KODE_NAMES), 0);
  // Inlet and outlet pressures nearly equal: the area parameter starts at 0.1.
  set(b, "OUT.PRESSURE", 1e6 - 1e-4, false);
  ASSERT_EQ(b.call(KODE_INIT), 0);
  EXPECT_EQ(y(b, "S1.FLOW_H2O"), 1.0);
  EXPECT_EQ(y(b, "S1.PRESSURE"), 1e6);
  EXPECT_EQ(y(b, "T1.area_parm"), static_cast<double>(0.1f));
  EXPECT_EQ(y(b, "T1.moist_loss"), 0.0);
  // The inlet enthalpy at 20 K above saturation.
  double ts;
  ASSERT_EQ(st::tsat(1e6, ts), st::Status::Ok);
  st::State in;
  ASSERT_EQ(st::state_pT(1e6, ts + 20.0, in), st::Status::Ok);
  EXPECT_NEAR(y(b, "S1.ENTHALPY"), in.h * kMw, 1e-6 * in.h * kMw);
}

TEST_F(Strb, EnglishUnitTemperatureEstimates) {
  // 800 F inlet and 300 F outlet estimates, used when the streams hold no
  // enthalpy: (F / 1.8) + 255.37222 K.
  Params p;
  p.units = 1;
  p.t_in = {800.0};
  p.t_out = 300.0;
  host::Block b = make_turbine(p, {{700.0, 4e6, 1.0}});
  b.smatin[4] = kRmiss;  // no inlet mass enthalpy
  ASSERT_EQ(b.dimension(), 0);
  ASSERT_EQ(b.call(KODE_NAMES), 0);
  set(b, "OUT.PRESSURE", 1e4, false);
  ASSERT_EQ(b.call(KODE_INIT), 0);
  st::State in, out;
  ASSERT_EQ(st::state_pT(4e6, 800.0 / 1.8 + 255.37222, in), st::Status::Ok);
  ASSERT_EQ(st::state_pT(1e4, 300.0 / 1.8 + 255.37222, out), st::Status::Ok);
  EXPECT_NEAR(y(b, "S1.ENTHALPY"), in.h * kMw, 1e-6 * in.h * kMw);
  EXPECT_NEAR(y(b, "OUT.ENTHALPY"), out.h * kMw, 1e-6 * out.h * kMw);
}

TEST_F(Strb, TinyModelledEfficiencyStartsAtOneHalf) {
  Params p;
  p.codes = {2};
  host::Block b = make_turbine(p, {{700.0, 4e6, 1.0}});
  ASSERT_EQ(b.dimension(), 0);
  ASSERT_EQ(b.call(KODE_NAMES), 0);
  set(b, "T1.wr_spec", 1.0);  // 1 kg/J: an efficiency of about 2e-6
  ASSERT_EQ(b.call(KODE_INIT), 0);
  EXPECT_EQ(y(b, "T1.efficiency"), 0.5);
  // The same block at a sensible water rate starts at the modelled value.
  host::Block c = make_turbine(p, {{700.0, 4e6, 1.0}});
  ASSERT_EQ(c.dimension(), 0);
  ASSERT_EQ(c.call(KODE_NAMES), 0);
  set(c, "T1.wr_spec", 8e-6);
  ASSERT_EQ(c.call(KODE_INIT), 0);
  EXPECT_GT(y(c, "T1.efficiency"), 0.3);
  EXPECT_LT(y(c, "T1.efficiency"), 1.0);
}

// --- Stream update and report -------------------------------------------------------

TEST_F(Strb, StreamUpdateFlashesTheOutletAndWritesTheWork) {
  Params p;
  host::Block b = make_turbine(p, {{700.0, 4e6, 1.0}}, 0, 1);
  ASSERT_EQ(b.prepare(), 0);
  set(b, "OUT.PRESSURE", 5e5, false);
  set(b, "OUT.ENTHALPY", 2.8e6 * kMw, false);
  set(b, "OUT.TOTAL_FLOW", 0.9, false);
  set(b, "OUT.FLOW_H2O", 0.9, false);
  set(b, "WOUT.VALUE", -3e6, false);
  b.smatout[2] = 450.0;  // a temperature left from before is not used
  ASSERT_EQ(b.call(KODE_STRMUPD), 0);
  const auto& v = b.smatout;
  st::State s;
  ASSERT_EQ(st::state_ph(5e5, 2.8e6, s), st::Status::Ok);
  EXPECT_NEAR(v[0], 0.9, 1e-12);
  EXPECT_NEAR(v[1], 0.9, 1e-12);
  EXPECT_NEAR(v[2], s.T, 1e-3);
  EXPECT_EQ(v[3], 5e5);
  EXPECT_NEAR(v[4], 2.8e6 * kMw / 18.015268, 1e-3);
  EXPECT_EQ(b.sinfout[0], -3e6);
  // No flow: the vector is written without a flash.
  set(b, "OUT.TOTAL_FLOW", 0.0, false);
  set(b, "OUT.FLOW_H2O", 0.0, false);
  ASSERT_EQ(b.call(KODE_STRMUPD), 0);
  EXPECT_EQ(b.smatout[1], 0.0);
  EXPECT_EQ(b.smatout[2], kRmiss);
}

TEST_F(Strb, ReportListsEveryVariable) {
  Params p;
  host::Block b = make_turbine(p, {{700.0, 4e6, 1.0}});
  ASSERT_EQ(b.prepare(), 0);
  report();
  ASSERT_EQ(b.call(KODE_REPORT), 0);
  const auto r = report();
  ASSERT_EQ(r.size(), static_cast<size_t>(b.ny + 1));
  EXPECT_EQ(r[0], "*** results ***");
  EXPECT_EQ(r[1], "   1  S1.FLOW_H2O                 1.00000000E+00");
  EXPECT_EQ(r[4], "   4  S1.PRESSURE                 4.00000000E+06");
}

// --- Bad values at the residual and Jacobian requests ---------------------------------

TEST_F(Strb, OutOfRangeStatesAreReportedNeverNaN) {
  for (int iturb : {1, 2, 3}) {
    Params p;
    p.iturb = iturb;
    std::vector<std::vector<double>> feeds = {{780.0, 8e6, 1.0}};
    if (iturb == 3) {
      feeds.push_back({620.0, 2e6, 0.4});
      p.codes = {1, 1};
      p.t_in = {kRmiss, kRmiss};
    }
    host::Block b = make_turbine(p, feeds);
    ASSERT_EQ(b.prepare(), 0);
    const std::vector<double> y0 = b.y;
    struct Bad {
      const char* var;
      std::vector<double> values;
    };
    for (const Bad& bd : {Bad{"S1.PRESSURE", {2e8, -1e5, 0.0}}, Bad{"S1.ENTHALPY", {2e8, -1e7}},
                          Bad{"OUT.PRESSURE", {2e8, -1e5, 0.0}}}) {
      const char* var = bd.var;
      for (double bad : bd.values) {
        b.y = y0;
        set(b, var, bad, false);
        b.ieval1 = b.ieval2 = 0;
        EXPECT_EQ(b.call(KODE_RESID), 0);
        for (double f : b.f) EXPECT_TRUE(std::isfinite(f)) << var << " " << bad;
        EXPECT_EQ(b.ieval1, 1) << iturb << " " << var << " " << bad;
        b.ieval1 = 0;
        EXPECT_EQ(b.call(KODE_JACOB), 0);
        for (double d : b.dfdy) EXPECT_TRUE(std::isfinite(d)) << var << " " << bad;
        EXPECT_EQ(b.ieval1, 1);
      }
    }
    // A zero efficiency is an evaluation failure, not an infinite residual.
    b.y = y0;
    set(b, iturb == 3 ? "T1.efficiency_1" : "T1.efficiency", 0.0, false);
    b.ieval1 = 0;
    b.call(KODE_RESID);
    EXPECT_EQ(b.ieval1, 1);
    for (double f : b.f) EXPECT_TRUE(std::isfinite(f));
    // A valid point is no failure.
    b.y = y0;
    b.ieval1 = 0;
    b.call(KODE_RESID);
    b.call(KODE_JACOB);
    EXPECT_EQ(b.ieval1, 0);
  }
}

}  // namespace
}  // namespace r3::test::strb
