// The steam turbine: the input check, the equations and Jacobian of every
// efficiency code, the solved examples against the IF97 routines, the
// initial values, the stream update, and bad values at the residual request.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "framework/host_services.h"
#include "host/steam/if97.h"
#include "tests/support/golden_text.h"
#include "tests/support/model_blocks.h"
#include "tests/support/support.h"

extern "C" void R3STRB(R3_ENTRY_PARAMS);

namespace r3::test {
namespace {

namespace st = r3::steam;

constexpr double kMw = 18.015268;  // the steam tables' molar mass

// The integer and real parameters as the block reads them.
struct Params {
  int32_t imode = 1, irunmd = 0, units = 0, npass = 1, iturb = 1, ne = 0, nw = 0;
  std::vector<int32_t> codes{1};
  double t_out = kRmiss;
  std::vector<double> t_in{kRmiss};
  std::vector<double> relpar;  // seven values when given
  std::vector<double> effx, effy, wrx, wry;
};

// Curves and relative-efficiency parameters that every code can use.
const Params kCurves = {.ne = 3,
                        .nw = 2,
                        .relpar = {0.85, 50, 1.2, 2e7, 50, 1, 0.15},
                        .effx = {1e6, 5e6, 2e7},
                        .effy = {0.7, 0.8, 0.85},
                        .wrx = {1e6, 2e7},
                        .wry = {4e-6, 3e-6}};

// A block with feeds at (T, P, flow) per inlet and one outlet; work streams
// by count; the steam-table method.
Block make_turbine(const Params& p, const std::vector<std::vector<double>>& feeds, int ninfi = 0,
                   int ninfout = 0) {
  Block b("T1", R3STRB);
  for (size_t i = 0; i < feeds.size(); ++i)
    b.matin.push_back(std::string("S").append(std::to_string(i + 1)));
  b.matout = {"OUT"};
  b.infin.assign(static_cast<size_t>(ninfi), "WIN");
  b.infout.assign(static_cast<size_t>(ninfout), "WOUT");
  b.ints = {p.imode, 0, p.irunmd, p.units, p.npass, p.iturb, p.ne, p.nw};
  b.ints.insert(b.ints.end(), p.codes.begin(), p.codes.end());
  std::vector<double> rel = p.relpar;
  rel.resize(7, kRmiss);
  const std::vector<double>& relc = rel;
  b.reals = {p.t_out};
  for (const auto* v : {&p.t_in, &relc, &p.effx, &p.effy, &p.wrx, &p.wry}) {
    b.reals.insert(b.reals.end(), v->begin(), v->end());
  }
  b.ipropset = 3;
  b.connect_streams();
  for (size_t i = 0; i < feeds.size(); ++i) {
    EXPECT_TRUE(b.set_material_inlet(static_cast<int>(i), {feeds[i][2]}, feeds[i][0], feeds[i][1]));
  }
  return b;
}

// The parameters a golden text's case heading gives, over `p`: the integers
// by their names, "codes", "tin", "tout", "relpar" and the curves' points.
Params params_of(const CaseHeading& c, Params p = {}) {
  for (auto [key, v] :
       {std::pair{"imode", &p.imode}, std::pair{"irunmd", &p.irunmd}, std::pair{"units", &p.units},
        std::pair{"npass", &p.npass}, std::pair{"iturb", &p.iturb}, std::pair{"ne", &p.ne},
        std::pair{"nw", &p.nw}}) {
    if (c.has(key)) *v = c.ints(key).at(0);
  }
  if (c.has("codes")) p.codes = c.ints("codes");
  for (auto [key, v] :
       {std::pair{"tin", &p.t_in}, std::pair{"relpar", &p.relpar}, std::pair{"effx", &p.effx},
        std::pair{"effy", &p.effy}, std::pair{"wrx", &p.wrx}, std::pair{"wry", &p.wry}}) {
    if (c.has(key)) *v = c.reals(key);
  }
  p.t_out = c.number("tout", p.t_out);
  return p;
}

const std::vector<double> kFeed = {700.0, 4e6, 1.0};

class Strb : public ::testing::Test {
 protected:
  void SetUp() override { reset_host({"H2O"}, thermo::Method::SteamTable); }
};

// Every message of the check for the golden text's cases, in its order, at
// the check and at the dimension request (counts left unwritten); the other
// requests of a refused block end with ISTAT = 1 and write nothing.
TEST_F(Strb, EveryCheckMessage) {
  Transcript t;
  for (const std::string& h : golden_cases("strb/check_messages")) {
    const CaseHeading c(h);
    const auto nin = static_cast<size_t>(c.number("nin", 1));
    Block b = make_turbine(params_of(c), std::vector<std::vector<double>>(nin, kFeed),
                           static_cast<int>(c.number("ninfi", 0)),
                           static_cast<int>(c.number("ninfout", 0)));
    t.heading(h);
    t.add("istat " + std::to_string(b.call(KODE_CHECK)));
    EXPECT_EQ(b.naux1, 0) << h;
    add_section(t.lines, "check", standard_output());
    if (b.istat == 0) continue;
    b.ny = b.nf = b.nz = -5;
    EXPECT_EQ(b.call(KODE_DIMEN), 1) << h;
    EXPECT_EQ(std::vector<int>({b.ny, b.nf, b.nz}), std::vector<int>(3, -5)) << h;
    add_section(t.lines, "dimension request", standard_output());
    for (int32_t k : {KODE_NAMES, KODE_INIT, KODE_RESID, KODE_JACOB, KODE_STRMUPD, KODE_REPORT}) {
      EXPECT_EQ(b.call(k), 1) << h << " " << k;
    }
    EXPECT_TRUE(standard_output().empty()) << h;
    EXPECT_TRUE(report().empty()) << h;
  }
  // No outlet stream.
  Block b = make_turbine({}, {kFeed});
  b.matout.clear();
  b.connect_streams();
  EXPECT_EQ(b.call(KODE_DIMEN), 1);
  add_section(t.lines, "no outlet, dimension request", standard_output());
  // Water must be a component.
  reset_host({"N2"}, thermo::Method::Ideal);
  Block n2 = make_turbine({}, {});
  n2.matin = {"S1"};
  n2.connect_streams();
  EXPECT_EQ(n2.call(KODE_DIMEN), 1);
  add_section(t.lines, "no water, dimension request", standard_output());
  EXPECT_TRUE(matches_golden_text("strb/check_messages", t.lines));
}

TEST_F(Strb, ArraysSizedForAnotherLayoutAreRefused) {
  Block d = make_turbine({}, {kFeed});
  ASSERT_EQ(d.prepare(), 0);
  d.infout = {"WOUT"};
  d.connect_streams();
  EXPECT_EQ(d.call(KODE_RESID), 1);
  EXPECT_EQ(d.call(KODE_JACOB), 1);
}

// Names against the golden text, pattern and Jacobian of its cases.
TEST_F(Strb, JacobianOfEveryCodeAndWorkStreams) {
  const auto one_case = [&](const std::string& h, const CaseHeading& c, Transcript& t) {
    const Params p = params_of(c, kCurves);
    std::vector<std::vector<double>> feeds = {{780.0, 8e6, 1.0}};
    if (p.iturb == 3) feeds.push_back({620.0, 2e6, 0.4});
    Block b = make_turbine(p, feeds, static_cast<int>(c.number("ninfi", 0)),
                           static_cast<int>(c.number("ninfout", 0)));
    SCOPED_TRACE(h);
    ASSERT_EQ(prepare_with(b,
                           [&](Block& x) {
                             yv(x, "OUT.PRESSURE") = p.iturb == 2 ? 2e4 : 5e5;
                             // A water rate is of order 1e-6 kg/J: scaled as such.
                             for (const char* w : {"T1.wr_spec", "T1.wr_spec_1", "T1.wr_spec_2"}) {
                               if (x.find_var(w)) x.yscl[x.find_var(w) - 1] = 1e-6;
                             }
                           }),
              0);
    // Forward differences of the efficiency rows (steps of 0.1 %, the
    // turbine's own rule) differ from central ones by up to about a per cent.
    check_conformance(b, {.abs_tol = 1e-6, .rel_tol = 2e-2});
    t.heading(h);
    t.add(names_of(b));
  };
  EXPECT_TRUE(run_golden_cases("strb/names", one_case));
}

CaseRun solve_example(const std::string& name) {
  CaseRun r = run_case(example_path("strb/" + name + ".toml"), {{"R3STRB", R3STRB}});
  EXPECT_EQ(r.outcome, host::Outcome::Solved) << name << ": " << r.error << r.solve.message;
  return r;
}

// The IF97 state at (P, T) or (P, h per kmol), and the isentropic state at P
// from a state.
st::State pT(double P, double T) {
  st::State s;
  EXPECT_EQ(st::state_pT(P, T, s), st::Status::Ok) << P << " " << T;
  return s;
}
st::State ph(double P, double h_molar) {
  st::State s;
  EXPECT_EQ(st::state_ph(P, h_molar / kMw, s), st::Status::Ok) << P << " " << h_molar;
  return s;
}
st::State isentropic(double P, const st::State& from) {
  st::State s;
  EXPECT_EQ(st::state_ps(P, from.s, s), st::Status::Ok) << P;
  return s;
}

TEST_F(Strb, StandardExampleMatchesTheSteamTables) {
  CaseRun r = solve_example("standard");
  ASSERT_TRUE(r.flowsheet);
  const double h1 = r.value("HPSTEAM.ENTHALPY"), ho = r.value("EXHAUST.ENTHALPY");
  const double F = r.value("EXHAUST.FLOW_H2O"), Pt = r.value("T1.total_power");
  // Inlet: the IF97 state at 4 MPa, 700 K.
  const st::State in = pT(4e6, 700);
  EXPECT_NEAR(h1, in.h * kMw, 1e-9 * h1);
  // Power = efficiency x isentropic work, recomputed from IF97; and the
  // energy balance, power = flow x enthalpy drop.
  EXPECT_NEAR(Pt, 0.8 * F * kMw * (in.h - isentropic(5e5, in).h), 1e-6 * Pt);
  EXPECT_NEAR(Pt, F * (h1 - ho), 1e-6 * Pt);
  // The exhaust stream after the update: the IF97 state at (P_o, h_o).
  const auto& v = r.stream("EXHAUST");
  EXPECT_NEAR(v[2], ph(5e5, ho).T, 1e-4);
  EXPECT_NEAR(v[3], 5e5, 1e-6);
  EXPECT_NEAR(v[1], 1.0, 1e-12);
  // Hand check: about 511 kJ/kg isentropic drop, 7.37 MW.
  EXPECT_NEAR(Pt, 7.366e6, 2e3);
}

TEST_F(Strb, CondensingExampleClosesItsBalances) {
  CaseRun r = solve_example("condensing");
  ASSERT_TRUE(r.flowsheet);
  const double h1 = r.value("MAIN.ENTHALPY"), ho = r.value("COND.ENTHALPY");
  const double F = r.value("COND.FLOW_H2O"), Pt = r.value("T2.total_power");
  const double pu = r.value("T2.power_unitfl"), eta = r.value("T2.efficiency");
  EXPECT_NEAR(Pt, F * (h1 - ho), 1e-6 * Pt);
  EXPECT_NEAR(Pt, (pu - 3.6e5) * F, 1e-6 * Pt);
  // Power per unit flow = efficiency x isentropic drop per kmol (IF97).
  const st::State in = ph(8e6, h1);
  EXPECT_NEAR(in.T, 800.0, 1e-6);
  EXPECT_NEAR(pu, eta * kMw * (in.h - isentropic(1e4, in).h), 1e-6 * pu);
  EXPECT_GT(eta, 0.5);
  EXPECT_LT(eta, 1.0);
  // The flow-passing parameter reproduces the flow.
  const double A = r.value("T2.area_parm"), dP = r.value("T2.pres_drop");
  EXPECT_NEAR(F * std::sqrt(in.v * kMw * 8e6), A * std::sqrt((8e6 + 1e4) * dP), 1e-6 * A * 8e6);
  // Wet exhaust.
  const st::State ex = ph(1e4, ho);
  EXPECT_EQ(ex.region, 4);
  EXPECT_NEAR(r.stream("COND")[5], ex.quality, 1e-5);
}

TEST_F(Strb, AdmissionExampleClosesItsBalances) {
  CaseRun r = solve_example("admission");
  ASSERT_TRUE(r.flowsheet);
  auto v = [&](const char* n) { return r.value(n); };
  const double h1 = v("HP.ENTHALPY"), h2 = v("ADMIT.ENTHALPY"), ho = v("LPEXH.ENTHALPY");
  const double F1 = v("HP.FLOW_H2O"), F2 = v("ADMIT.FLOW_H2O"), Fo = v("LPEXH.FLOW_H2O");
  const double Pt = v("T3.total_power"), S1 = v("T3.stage1_power"), S2 = v("T3.stage2_power");
  const double hx = v("T3.out_enth_int"), hm = v("T3.in_enth_int");
  EXPECT_NEAR(Fo, F1 + F2, 1e-12);
  EXPECT_NEAR(Pt, F1 * h1 + F2 * h2 - Fo * ho, 1e-6 * Pt);
  EXPECT_NEAR(Pt, S1 + S2, 1e-6 * Pt);
  EXPECT_NEAR(S1, F1 * (h1 - hx), 1e-6 * S1);
  EXPECT_NEAR(Fo * hm, F1 * hx + F2 * h2, 1e-6 * Fo * hm);
  EXPECT_NEAR(v("T3.admi_frac"), 0.5, 1e-12);
  // Stage 1 at its water rate: eta = 1 / (wr x isentropic drop per kg).
  const st::State in = ph(1e7, h1), s1 = isentropic(2e6, in);
  EXPECT_NEAR(v("T3.efficiency_1"), 1.0 / (2.7e-6 * (in.h - s1.h)), 1e-9);
  EXPECT_NEAR(S1, v("T3.efficiency_1") * F1 * kMw * (in.h - s1.h), 1e-6 * S1);
  // Stage 2 at 0.82 from the mixed state.
  const st::State mix = ph(2e6, hm);
  EXPECT_NEAR(S2, 0.82 * Fo * kMw * (mix.h - isentropic(2e5, mix).h), 1e-6 * S2);
}

TEST_F(Strb, WaterRateCurveExampleDrivesItsWorkStream) {
  CaseRun r = solve_example("water_rate_curve");
  ASSERT_TRUE(r.flowsheet);
  const double h1 = r.value("STEAM.ENTHALPY"), ho = r.value("EXH.ENTHALPY");
  const double F = r.value("EXH.FLOW_H2O"), Pt = r.value("T4.total_power");
  EXPECT_NEAR(Pt, F * (h1 - ho), 1e-6 * Pt);
  // The work balance W_in - P_t - W_out = 0 without an inlet work stream.
  EXPECT_NEAR(r.value("SHAFT.VALUE"), -Pt, 1e-6 * Pt);
  // Efficiency from the water rate interpolated at the power.
  const st::State in = pT(6e6, 750);
  const double wr = 3.0e-6 + (2.4e-6 - 3.0e-6) * (Pt - 2e6) / 8e6;
  EXPECT_NEAR(r.value("T4.efficiency"), 1.0 / (wr * (in.h - isentropic(1e6, in).h)), 1e-9);
  // Sequential-modular: the block fixed its inlet.
  const Block& b = *r.flowsheet->blocks()[0];
  EXPECT_TRUE(b.fixed(b.find_var("STEAM.PRESSURE")));
}

TEST_F(Strb, TurbinesInSeriesShareTheirStream) {
  CaseRun r = solve_example("series");
  ASSERT_TRUE(r.flowsheet);
  const double h1 = r.value("MAIN.ENTHALPY"), hip = r.value("IP.ENTHALPY");
  const double P1 = r.value("T1.total_power"), P2 = r.value("T2.total_power");
  EXPECT_NEAR(P1, h1 - hip, 1e-6 * P1);
  EXPECT_NEAR(P2, hip - r.value("COND.ENTHALPY"), 1e-6 * P2);
  // The second turbine expands the first one's exhaust: its efficiency
  // against the IF97 isentropic drop from the intermediate state.
  const st::State ip = ph(1e6, hip);
  EXPECT_NEAR(r.value("T2.power_unitfl"), 0.85 * kMw * (ip.h - isentropic(1e4, ip).h), 1e-6 * P2);
}

// The initial points of the golden text's cases (the notes there say why);
// their enthalpies on the steam tables.
TEST_F(Strb, InitialPoints) {
  std::vector<Block> cases;  // "flow" of the feed, inlet entries "spoil" [from, to) missing
  const auto one_case = [&](const std::string& h, const CaseHeading& c, Transcript& t) {
    Block& b = cases.emplace_back(make_turbine(params_of(c), {{700.0, 4e6, c.number("flow", 1)}}));
    const auto spoil = c.ints("spoil");
    if (!spoil.empty()) std::fill(b.smatin.begin() + spoil[0], b.smatin.begin() + spoil[1], kRmiss);
    ASSERT_EQ(initialise_with(b, c), 0) << h;
    t.heading(h);
    t.add(block_state(b));
  };
  EXPECT_TRUE(run_golden_cases("strb/initial_points", one_case));
  ASSERT_GE(cases.size(), 3u);
  double ts1, ts2;
  ASSERT_EQ(st::tsat(1e6, ts1), st::Status::Ok);
  ASSERT_EQ(st::tsat(2e6, ts2), st::Status::Ok);
  const st::State in = pT(4e6, 700), out = pT(2e6, ts2 + 1.0);
  const std::pair<double, double> enthalpies[] = {
      {yv(cases[0], "S1.ENTHALPY"), in.h},
      {yv(cases[0], "OUT.ENTHALPY"), out.h},
      {yv(cases[0], "T1.total_power") / 2.0, in.h - out.h},
      {yv(cases[1], "S1.ENTHALPY"), pT(1e6, ts1 + 20.0).h},
      {yv(cases[2], "S1.ENTHALPY"), pT(4e6, 800.0 / 1.8 + 255.37222).h},
      {yv(cases[2], "OUT.ENTHALPY"), pT(1e4, 300.0 / 1.8 + 255.37222).h}};
  for (const auto& [h, want] : enthalpies) EXPECT_NEAR(h, want * kMw, 1e-6 * std::fabs(want * kMw));
  EXPECT_EQ(at(cases[0], cases[0].ylb, "T1.pres_drop"), DMS_RGLOB[1]);
}

TEST_F(Strb, StreamUpdateFlashesTheOutletAndWritesTheWork) {
  Block b = make_turbine({}, {kFeed}, 0, 1);
  ASSERT_EQ(b.prepare(), 0);
  yv(b, "OUT.PRESSURE") = 5e5;
  yv(b, "OUT.ENTHALPY") = 2.8e6 * kMw;
  yv(b, "OUT.TOTAL_FLOW") = yv(b, "OUT.FLOW_H2O") = 0.9;
  yv(b, "WOUT.VALUE") = -3e6;
  b.smatout[2] = 450.0;  // a temperature left from before is not used
  ASSERT_EQ(b.call(KODE_STRMUPD), 0);
  const auto& v = b.smatout;
  EXPECT_NEAR(v[0], 0.9, 1e-12);
  EXPECT_NEAR(v[1], 0.9, 1e-12);
  EXPECT_NEAR(v[2], ph(5e5, 2.8e6 * kMw).T, 1e-3);
  EXPECT_EQ(v[3], 5e5);
  EXPECT_NEAR(v[4], 2.8e6 * kMw / 18.015268, 1e-3);
  EXPECT_EQ(b.sinfout[0], -3e6);
  // No flow: the vector is written without a flash.
  yv(b, "OUT.TOTAL_FLOW") = yv(b, "OUT.FLOW_H2O") = 0.0;
  ASSERT_EQ(b.call(KODE_STRMUPD), 0);
  EXPECT_EQ(b.smatout[1], 0.0);
  EXPECT_EQ(b.smatout[2], kRmiss);
}

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
    Block b = make_turbine(p, feeds);
    ASSERT_EQ(b.prepare(), 0);
    const std::vector<double> y0 = b.y;
    // A zero efficiency is an evaluation failure, not an infinite residual.
    const std::pair<const char*, std::vector<double>> bad[] = {
        {"S1.PRESSURE", {2e8, -1e5, 0.0}},
        {"S1.ENTHALPY", {2e8, -1e7}},
        {"OUT.PRESSURE", {2e8, -1e5, 0.0}},
        {iturb == 3 ? "T1.efficiency_1" : "T1.efficiency", {0.0}}};
    for (const auto& [name, values] : bad) {
      for (double value : values) {
        SCOPED_TRACE(std::to_string(iturb) + " " + name + " " + std::to_string(value));
        b.y = y0;
        yv(b, name) = value;
        b.ieval1 = b.ieval2 = 0;
        EXPECT_EQ(b.call(KODE_RESID), 0);
        for (double f : b.f) EXPECT_TRUE(std::isfinite(f));
        EXPECT_EQ(b.ieval1, 1);
        if (value == 0.0 && std::string(name).find("eff") != std::string::npos) continue;
        b.ieval1 = 0;
        EXPECT_EQ(b.call(KODE_JACOB), 0);
        for (double d : b.dfdy) EXPECT_TRUE(std::isfinite(d));
        EXPECT_EQ(b.ieval1, 1);
      }
    }
    // A valid point is no failure.
    b.y = y0;
    b.ieval1 = 0;
    b.call(KODE_RESID);
    b.call(KODE_JACOB);
    EXPECT_EQ(b.ieval1, 0);
  }
}

}  // namespace
}  // namespace r3::test
