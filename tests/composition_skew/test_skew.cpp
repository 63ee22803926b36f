// The composition skew: conformance in every basis and knot mode, the rows
// and the interpolation by hand, the examples, defaults and knot checks,
// refused parameters, work areas, evaluation failures and the report.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "framework/host_services.h"
#include "host/data_manager/data_manager.h"
#include "tests/support/golden_text.h"
#include "tests/support/model_blocks.h"
#include "tests/support/support.h"

extern "C" void R3SKEW(R3_ENTRY_PARAMS);

namespace r3::test {
namespace {

using host::kImiss;

const std::vector<std::string> kComps = {"NC5", "NC7", "TOLUENE", "NC10"};
const std::map<std::string, EntryFn> kEntries = {{"R3SKEW", R3SKEW}};

struct Options {
  int32_t nknots = 3, icomp = 0, iknot = 0, imbal = 0;
  std::vector<double> tknot = {300.0, 400.0, 460.0};
  std::vector<double> tint = {kRmiss, kRmiss, kRmiss, kRmiss};  // normal boiling points
};

// A skew SK1 from FEED (0.1, 0.3, 0.2, 0.4 kmol/s at 320 K and 3 bar) to PROD.
Block make_skew(const Options& o, int32_t imode = 0) {
  Block b("SK1", R3SKEW);
  b.matin = {"FEED"};
  b.matout = {"PROD"};
  b.ints = {imode, o.nknots, o.icomp, o.iknot, o.imbal, kImiss, kImiss, kImiss};
  b.reals = o.tknot;
  b.reals.insert(b.reals.end(), o.tint.begin(), o.tint.end());
  b.ipropset = 1;
  b.connect_streams();
  EXPECT_TRUE(b.set_material_inlet(0, {0.1, 0.3, 0.2, 0.4}, 320.0, 3.0e5));
  return b;
}

// The residual of an equation by its text after the block prefix.
double& row(Block& b, const std::string& name) {
  return b.f[static_cast<size_t>(eqn(b, name) - 1)];
}

class Skew : public ::testing::Test {
 protected:
  void SetUp() override { reset_host(kComps); }
};

// Every basis (mole, mass, standard volume) with fixed and open knots, with
// and without the mass balance: every row holds at the initial point (unit
// factors, the outlet set flashed at TOUT), the composition rows are on the
// basis asked for, and with the factors skewed away from 1 every derivative
// conforms.
TEST_F(Skew, ConsistentAtTheInitialPointAndConformsInEveryMode) {
  const std::array<int32_t, 3> modes[] = {{0, 0, 0}, {1, 0, 1}, {2, 0, 0},
                                          {0, 1, 1}, {1, 1, 0}, {2, 1, 1}};
  for (auto [icomp, iknot, imbal] : modes) {
    SCOPED_TRACE(::testing::Message() << icomp << iknot << imbal);
    reset_host(kComps);
    Options o;
    o.icomp = icomp, o.iknot = iknot, o.imbal = imbal;
    Block b = make_skew(o);
    ASSERT_EQ(b.prepare(), 0);
    EXPECT_EQ(b.find_var("TKNOT_1") > 0, iknot == 1);
    EXPECT_EQ(find_eqn(b, "MBAL") > 0, imbal == 1);
    EXPECT_EQ(find_eqn(b, "COMPOUT_NC10"), 0);  // the last outlet fraction follows from the others
    ASSERT_EQ(b.call(KODE_RESID), 0);
    const int own = find_eqn(b, "FLASH_DUTY");  // the rows before the outlet set's
    ASSERT_GT(own, 0);
    for (int r = 0; r < b.nf; ++r)  // unscaled to 1e-9, the outlet set's scaled to 1e-6
      EXPECT_NEAR(r < own ? b.f[r] : b.f[r] / b.fscl[r], 0.0, r < own ? 1e-9 : 1e-6)
          << b.eqn_name(r + 1);
    // With mass fractions the inlet composition row of NC7 reads x0 MASSIN - f0 MW.
    yv(b, "NC7.COMPIN") += 0.01;
    ASSERT_EQ(b.call(KODE_RESID), 0);
    const double total = yv(b, icomp == 0 ? "FEED.TOTAL_FLOW" : icomp == 1 ? "MASSIN" : "STDVIN");
    EXPECT_NEAR(row(b, "COMPIN_NC7"), 0.01 * total, 1e-12 * total);
    yv(b, "NC7.COMPIN") -= 0.01;
    yv(b, "XKNOT_1") = 0.8;
    yv(b, "XKNOT_2") = 1.3;
    yv(b, "XKNOT_3") = 0.9;
    check_conformance(b);
  }
}

TEST_F(Skew, InterpolationBetweenAndBeyondKnots) {
  // Two knots at 300 and 400 K with values 1 and 2.
  Options o;
  o.nknots = 2;
  o.tknot = {300.0, 400.0};
  o.tint = {350.0, 300.0, 400.0, 380.0};
  Block b = make_skew(o);
  ASSERT_EQ(b.prepare(), 0);
  yv(b, "XKNOT_1") = 1.0;
  yv(b, "XKNOT_2") = 2.0;
  const auto interp = [&](const std::string& c, double s) {
    yv(b, c + ".SKEW") = s;
    EXPECT_EQ(b.call(KODE_RESID), 0);
    return row(b, "INTERP_" + c);
  };
  EXPECT_NEAR(interp("NC5", 1.5), 0.0, 1e-12);
  EXPECT_NEAR(interp("NC5", 1.6), 0.1 * 100.0, 1e-9);  // scaled by the interval
  EXPECT_NEAR(interp("NC7", 1.0), 0.0, 1e-12);         // at the knots the values themselves
  EXPECT_NEAR(interp("TOLUENE", 2.0), 0.0, 1e-12);
  b.reals[2] = 250.0;  // below the first knot the first interval is extended
  EXPECT_NEAR(interp("NC5", 0.5), 0.0, 1e-12);
  b.reals[2] = 450.0;  // above the last, the last
  EXPECT_NEAR(interp("NC5", 2.5), 0.0, 1e-12);
  EXPECT_EQ(b.ieval1, 0);
}

// Components whose interpolation temperatures sit on the knots take the knot
// values; the outlet is the normalised product.
TEST_F(Skew, SolvedSkewReproducesTheKnotValuesAtTheKnots) {
  Options o;
  o.nknots = 4;
  o.tknot = o.tint = {300.0, 350.0, 400.0, 460.0};
  o.imbal = 1;
  Block b = make_skew(o);
  ASSERT_EQ(b.prepare(), 0);
  const double xk[] = {1.2, 0.7, 1.0, 1.6};
  double cn = 0.0, x0[4];
  for (int i = 0; i < 4; ++i) {
    yv(b, "XKNOT_" + std::to_string(i + 1)) = xk[i];
    x0[i] = yv(b, kComps[i] + ".COMPIN");
    cn += xk[i] * x0[i];
  }
  for (int i = 0; i < 4; ++i) {
    yv(b, kComps[i] + ".SKEW") = xk[i];
    yv(b, kComps[i] + ".COMPOUT") = xk[i] * x0[i] / cn;
  }
  yv(b, "CNORM") = cn;
  ASSERT_EQ(b.call(KODE_RESID), 0);
  for (const char* r : {"INTERP_NC5", "INTERP_NC7", "INTERP_TOLUENE", "INTERP_NC10", "NORML",
                        "SKEW_NC5", "SKEW_NC10"})
    EXPECT_NEAR(row(b, r), 0.0, 1e-12) << r;
}

TEST_F(Skew, MoleBasisOutletByHand) {
  const CaseRun r = run_case(example_path("skew/mole_fixed_knots.toml"), kEntries);
  ASSERT_EQ(r.outcome, host::Outcome::Solved) << r.error;
  const double x5 = r.value("SK1.NC5.COMPOUT");
  EXPECT_NEAR(x5, r.value("SK1.NC5.SKEW") * r.value("SK1.NC5.COMPIN") / r.value("SK1.CNORM"),
              1e-10);
  const std::vector<double>& out = r.stream("PROD");
  double total = 0.0;
  for (int i = 0; i < 8; ++i) total += out[i];
  EXPECT_NEAR(out[0] / total, x5, 1e-8);
}

TEST_F(Skew, MassBasisCaseKeepsTheMassFlowAndSkewsMassFractions) {
  const CaseRun r = run_case(example_path("skew/mass_open_knots.toml"), kEntries);
  ASSERT_EQ(r.outcome, host::Outcome::Solved) << r.error;
  // Knots fixed at 309.22, 355, 400, 447.3 K with values 1.25, 1.1, 0.9, free:
  // NC7 (Tb 371.57 K) lies in the second interval.
  EXPECT_NEAR(r.value("SK2.NC7.SKEW"), 1.1 + (0.9 - 1.1) * (371.57 - 355.0) / (400.0 - 355.0),
              1e-9);
  EXPECT_NEAR(r.value("SK2.MASSOUT"), r.value("SK2.MASSIN"), 1e-9);
  // The free heavy-end knot value meets the outlet NC10 mass fraction; NC10
  // sits on the last knot, so its factor is that value.
  EXPECT_NEAR(r.value("SK2.NC10.COMPOUT"), 0.075, 1e-12);
  EXPECT_NEAR(r.value("SK2.NC10.SKEW"), r.value("SK2.XKNOT_4"), 1e-9);
  EXPECT_NEAR(r.value("SK2.XKNOT_4"), 0.633, 0.001);
  // Outlet mass fractions from the outlet stream.
  const std::vector<double>& out = r.stream("PROD");
  const double mw[] = {72.15, 86.177, 100.204, 114.231, 128.258, 142.285, 78.114, 92.141, 106.167};
  double mass = 0.0;
  for (int i = 0; i < 9; ++i) mass += out[i] * mw[i];
  EXPECT_NEAR(out[2] * mw[2] / mass, r.value("SK2.NC7.COMPOUT"), 1e-6);
  EXPECT_NEAR(r.value("PROD.PRESSURE"), 4.2e5, 1e-6);
}

// --- Defaults, initial values, knot checks and refused parameters -------------

TEST_F(Skew, DefaultTemperaturesAndEvenKnots) {
  Options o;
  o.tknot = {kRmiss, 300.0, kRmiss};
  o.tint = {250.0, kRmiss, 450.0, 300.0};
  Block b = make_skew(o);
  ASSERT_EQ(b.dimension(), 0);
  EXPECT_NEAR(b.reals[4], 371.57,
              0.01);  // a missing interpolation temperature: the normal boiling point
  EXPECT_EQ(std::vector<double>(b.reals.begin(), b.reals.begin() + 3),
            std::vector<double>({250.0, 350.0, 450.0}));
  EXPECT_TRUE(messages().empty());
}

// Mass fractions from the inlet's flows and molar masses; the inlet fixed
// only in sequential-modular use.
TEST_F(Skew, InitialValuesOnAMassBasis) {
  for (int32_t imode : {0, 1}) {
    reset_host(kComps);
    Options o;
    o.icomp = 1, o.iknot = 1;
    Block b = make_skew(o, imode);
    ASSERT_EQ(b.prepare(), 0);
    const double M = 0.1 * 72.15 + 0.3 * 100.204 + 0.2 * 92.141 + 0.4 * 142.285;
    EXPECT_NEAR(yv(b, "MASSIN"), M, 1e-9);
    EXPECT_NEAR(yv(b, "MASSOUT"), M, 1e-9);
    EXPECT_NEAR(yv(b, "NC7.COMPIN"), 0.3 * 100.204 / M, 1e-12);
    EXPECT_NEAR(yv(b, "NC7.COMPOUT"), 0.3 * 100.204 / M, 1e-12);
    EXPECT_EQ(b.fixed(b.find_var("FEED.FLOW_NC7")), imode == 0);
    EXPECT_FALSE(b.fixed(b.find_var("PROD.FLOW_NC7")));
  }
}

// Knot checks and bad parameters stop the dimension request with their
// message, the counts untouched; an INT too short for the work-area
// identifiers fails every request cleanly (the cases are the headings of the
// golden text composition_skew/refused: "nknots", "icomp", "iknot" as in
// INT, "tknot", "tint" the temperatures, "nreal", "nint" REAL and INT cut to
// that length).
TEST_F(Skew, KnotChecksAndBadParametersStopTheDimensionRequest) {
  const auto one_case = [&](const std::string& heading, const CaseHeading& c, Transcript& t) {
    t.heading(heading);
    reset_host(kComps);
    Options o;
    if (c.has("nknots")) o.nknots = c.ints("nknots").at(0);
    o.icomp = static_cast<int32_t>(c.number("icomp", 0));
    o.iknot = static_cast<int32_t>(c.number("iknot", 0));
    if (c.has("tknot")) o.tknot = c.reals("tknot"), o.tint = c.reals("tint");
    Block b = make_skew(o);
    b.reals.resize(static_cast<size_t>(c.number("nreal", 7)));
    if (c.has("nint")) {
      b.ints.resize(static_cast<size_t>(c.number("nint", 0)));
      for (int32_t kode : {KODE_DIMEN, KODE_NAMES, KODE_INIT, KODE_RESID, KODE_JACOB, KODE_REPORT})
        EXPECT_EQ(b.call(kode), 1) << heading;
      EXPECT_EQ(host::pool_areas(), 0);
    } else {
      b.nf = b.ny = b.nz = -5;
      EXPECT_EQ(b.call(KODE_DIMEN), 1) << heading;
      EXPECT_EQ(b.ny, -5);
    }
    t.add(messages());
  };
  EXPECT_TRUE(run_golden_cases("composition_skew/refused", one_case));
}

// --- Work areas ---------------------------------------------------------------

// The work areas persist through their identifiers in INT; losing the
// integer area, where the numbering lives, is reported, not guessed, and a
// new dimension request renumbers into fresh areas; no work space left is
// reported (golden text composition_skew/work_areas).
TEST_F(Skew, WorkAreas) {
  Block b = make_skew(Options{});
  ASSERT_EQ(b.prepare(), 0);
  int32_t hr = b.ints[6], hi = b.ints[7];
  EXPECT_GT(hr, 0);
  EXPECT_GT(hi, 0);
  EXPECT_EQ(host::pool_areas(), 2);
  for (int n = 0; n < 3; ++n) ASSERT_EQ(b.call(KODE_RESID), 0);
  EXPECT_EQ(b.ints[6], hr);
  EXPECT_EQ(b.ints[7], hi);
  EXPECT_EQ(host::pool_areas(), 2);
  DMS_FREEBD(&hi);
  DMS_FREEBD(&hr);
  Transcript t;
  t.heading("areas freed");
  EXPECT_EQ(b.call(KODE_RESID), 1);
  t.add(messages());
  ASSERT_EQ(b.prepare(), 0);
  EXPECT_EQ(b.call(KODE_RESID), 0);
  t.heading("the whole pool taken first");
  int32_t size = host::pool_free(), h = 0, off = 0;
  DMS_ALLOCR(&size, &h, &off);
  ASSERT_GT(h, 0);
  Block c = make_skew(Options{});
  EXPECT_EQ(c.call(KODE_DIMEN), 1);
  t.add(messages());
  EXPECT_EQ(host::pool_areas(), 3);  // the first block's two and the whole pool: none added
  EXPECT_EQ(c.ints[6], kImiss);
  DMS_FREEBD(&h);
  EXPECT_EQ(c.prepare(), 0);
  EXPECT_TRUE(matches_golden_text("composition_skew/work_areas", t.lines));
}

// --- Evaluation failures and the report ------------------------------------------

TEST_F(Skew, UnplacedInterpolationTemperatureGives999AndKeepsIstat) {
  Options o;
  o.iknot = 1;
  o.tint = {300.0, 350.0, 400.0, 450.0};
  Block b = make_skew(o);
  ASSERT_EQ(b.prepare(), 0);
  // Finite knots always place a temperature (the end intervals extend):
  yv(b, "TKNOT_1") = 500.0;
  EXPECT_EQ(b.call(KODE_RESID), 0);
  EXPECT_EQ(b.ieval1, 0);
  // a knot temperature without a value places none.
  yv(b, "TKNOT_1") = 300.0;
  yv(b, "TKNOT_2") = yv(b, "TKNOT_3") = std::nan("");
  std::fill(b.f.begin(), b.f.end(), -7.0);
  std::fill(b.dfdy.begin(), b.dfdy.end(), -7.0);
  messages();
  for (int32_t kode : {KODE_RESID, KODE_JACOB}) {
    b.ieval1 = b.ieval2 = 0;
    EXPECT_EQ(b.call(kode), 0);  // ISTAT keeps the value it came with
    EXPECT_EQ(b.ieval1, 999);
    EXPECT_EQ(b.ieval2, 999);
    EXPECT_TRUE(matches_golden_text("composition_skew/unplaced", messages()));
  }
  EXPECT_EQ(std::count(b.f.begin(), b.f.end(), -7.0), b.nf);
  EXPECT_EQ(std::count(b.dfdy.begin(), b.dfdy.end(), -7.0), b.nz);
  // A good point afterwards: the words are not cleared by the model.
  yv(b, "TKNOT_2") = 400.0;
  yv(b, "TKNOT_3") = 460.0;
  EXPECT_EQ(b.call(KODE_RESID), 0);
  EXPECT_EQ(b.ieval1, 999);
}

// The report away from a solution (its layout at a solution is in the
// examples' golden outputs): the values at the current point, the vapour
// fraction clamped (golden text composition_skew/report).
TEST_F(Skew, ReportShowsTheCurrentPoint) {
  Options o;
  o.icomp = 1;
  o.tint = {300.0, 350.0, 400.0, 450.0};
  Block b = make_skew(o);
  ASSERT_EQ(b.prepare(), 0);
  yv(b, "XKNOT_2") = 2.0;
  yv(b, "NC7.SKEW") = 1.5;
  yv(b, "FLSH_VFRAC") = 1.25;
  report();
  ASSERT_EQ(b.call(KODE_REPORT), 0);
  EXPECT_TRUE(matches_golden_text("composition_skew/report", report()));
}

}  // namespace
}  // namespace r3::test
