// The composition skew: numbering, equations in every basis and knot mode,
// interpolation, knot checks, work areas, evaluation failures and report.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "framework/host_services.h"
#include "host/data_manager/data_manager.h"
#include "host/services/block.h"
#include "host/services/context.h"
#include "tests/support/support.h"

extern "C" void R3SKEW(R3_ENTRY_PARAMS);

namespace r3::test {
namespace {

using host::Block;
using host::kImiss;
using host::kRmiss;

const std::vector<std::string> kComps = {"NC5", "NC7", "TOLUENE", "NC10"};

struct Options {
  int32_t nknots = 3, icomp = 0, iknot = 0, imbal = 0;
  std::vector<double> tknot = {300.0, 400.0, 460.0};
  std::vector<double> tint = {kRmiss, kRmiss, kRmiss, kRmiss};  // normal boiling points
};

Block make_skew(const Options& o, int32_t imode = 0) {
  Block b("SK1", R3SKEW);
  b.matin = {"FEED"};
  b.matout = {"PROD"};
  b.ints = {imode, o.nknots, o.icomp, o.iknot, o.imbal, kImiss, kImiss, kImiss};
  b.reals = o.tknot;
  b.reals.insert(b.reals.end(), o.tint.begin(), o.tint.end());
  b.ipropset = 1;  // the method of reset_host
  b.connect_streams();
  EXPECT_TRUE(b.set_material_inlet(0, {0.1, 0.3, 0.2, 0.4}, 320.0, 3.0e5));
  return b;
}

double& var(Block& b, const std::string& name) {
  const int p = b.find_var(name);
  EXPECT_GT(p, 0) << name;
  return b.y[static_cast<size_t>(std::max(p, 1) - 1)];
}

int eqn(const Block& b, const std::string& name) {
  for (int r = 1; r <= b.nf; ++r) {
    if (b.eqn_name(r) == "SK1." + name) return r;
  }
  ADD_FAILURE() << "no equation " << name;
  return 1;
}

class Skew : public ::testing::Test {
 protected:
  void SetUp() override { reset_host(kComps); }
};

// --- Shape, names and conformance in every basis and knot mode ---------------

struct Mode {
  int32_t icomp, iknot, imbal;
};

class SkewModes : public ::testing::TestWithParam<Mode> {
 protected:
  void SetUp() override { reset_host(kComps); }
};

TEST_P(SkewModes, CountsNamesAndConformance) {
  const Mode md = GetParam();
  Options o;
  o.icomp = md.icomp;
  o.iknot = md.iknot;
  o.imbal = md.imbal;
  Block b = make_skew(o);
  ASSERT_EQ(b.prepare(), 0);
  const int nc = 4, nk = 3;
  // Stream variables (2 (NC + 3)), block variables, then the set's 4n + 13.
  const int nblock = 2 + nc + (md.iknot == 1 ? nk : 0) + nk + 2 * nc + 6;
  EXPECT_EQ(b.ny, 2 * (nc + 3) + nblock + 4 * nc + 13);
  EXPECT_EQ(b.nf, 4 * nc + 7 + md.imbal + 4 * nc + 14);
  EXPECT_EQ(b.var_name(2 * (nc + 3) + 1), "SK1.MASSIN");
  EXPECT_GT(b.find_var("NC5.SKEW"), 0);
  EXPECT_GT(b.find_var("XKNOT_3"), 0);
  EXPECT_EQ(b.find_var("TKNOT_1") > 0, md.iknot == 1);
  EXPECT_GT(b.find_var("TOLUENE.COMPOUT"), 0);
  EXPECT_GT(b.find_var("FLSH_VFRAC"), 0);
  EXPECT_EQ(b.eqn_name(3), "SK1.COMPIN_NC5");
  EXPECT_EQ(b.eqn_name(2 + 2 * nc + 2), "SK1.SKEW_NC5");
  EXPECT_EQ(b.eqn_name(3 * nc + 7), "SK1.COMPOUT_NC5");
  eqn(b, "COMPOUT_TOLUENE");
  for (int r = 1; r <= b.nf; ++r) EXPECT_NE(b.eqn_name(r), "SK1.COMPOUT_NC10");
  bool has_mbal = false;
  for (int r = 1; r <= b.nf; ++r) has_mbal = has_mbal || b.eqn_name(r) == "SK1.MBAL";
  EXPECT_EQ(has_mbal, md.imbal == 1);
  // Skew the factors away from 1 so every derivative is exercised.
  var(b, "XKNOT_1") = 0.8;
  var(b, "XKNOT_2") = 1.3;
  var(b, "XKNOT_3") = 0.9;
  check_conformance(b);
}

INSTANTIATE_TEST_SUITE_P(Bases, SkewModes,
                         ::testing::Values(Mode{0, 0, 0}, Mode{1, 0, 1}, Mode{2, 0, 0},
                                           Mode{0, 1, 1}, Mode{1, 1, 0}, Mode{2, 1, 1}));

// --- Equations --------------------------------------------------------------

TEST_F(Skew, ResidualsVanishAtTheSkewedSolutionOnEachBasis) {
  for (int icomp = 0; icomp <= 2; ++icomp) {
    reset_host(kComps);
    Options o;
    o.icomp = icomp;
    o.tint = {300.0, 350.0, 400.0, 460.0};
    Block b = make_skew(o);
    ASSERT_EQ(b.prepare(), 0);
    ASSERT_EQ(b.call(KODE_RESID), 0);
    // At the initial point (unit factors) only the set's rows may be off.
    const int own = eqn(b, "FLASH_DUTY");
    for (int r = 1; r <= own; ++r)
      EXPECT_NEAR(b.f[static_cast<size_t>(r - 1)], 0.0, 1e-9) << icomp << " " << b.eqn_name(r);
    // The basis of the composition rows: with mass fractions the inlet
    // composition row of NC7 reads x0 MASSIN - f0 MW.
    const double x0 = var(b, "NC7.COMPIN");
    var(b, "NC7.COMPIN") = x0 + 0.01;
    ASSERT_EQ(b.call(KODE_RESID), 0);
    const double total = icomp == 0   ? var(b, "FEED.TOTAL_FLOW")
                         : icomp == 1 ? var(b, "MASSIN")
                                      : var(b, "STDVIN");
    EXPECT_NEAR(b.f[static_cast<size_t>(eqn(b, "COMPIN_NC7") - 1)], 0.01 * total, 1e-12 * total);
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
  var(b, "XKNOT_1") = 1.0;
  var(b, "XKNOT_2") = 2.0;
  auto interp = [&](const std::string& c, double s) {
    var(b, c + ".SKEW") = s;
    EXPECT_EQ(b.call(KODE_RESID), 0);
    return b.f[static_cast<size_t>(eqn(b, "INTERP_" + c) - 1)];
  };
  EXPECT_NEAR(interp("NC5", 1.5), 0.0, 1e-12);
  EXPECT_NEAR(interp("NC5", 1.6), 0.1 * 100.0, 1e-9);  // scaled by the interval
  EXPECT_NEAR(interp("NC7", 1.0), 0.0, 1e-12);         // at the knots the values themselves
  EXPECT_NEAR(interp("TOLUENE", 2.0), 0.0, 1e-12);
  // Below the first knot the first interval is extended: 250 K gives 0.5.
  b.reals[2] = 250.0;
  EXPECT_NEAR(interp("NC5", 0.5), 0.0, 1e-12);
  // Above the last, the last: 450 K gives 2.5.
  b.reals[2] = 450.0;
  EXPECT_NEAR(interp("NC5", 2.5), 0.0, 1e-12);
  EXPECT_EQ(b.ieval1, 0);
}

TEST_F(Skew, SolvedSkewReproducesTheInterpolatedFactorsAtTheKnots) {
  // Components whose interpolation temperatures sit on the knots take the
  // knot values; the outlet is the normalised product.
  Options o;
  o.nknots = 4;
  o.tknot = {300.0, 350.0, 400.0, 460.0};
  o.tint = {300.0, 350.0, 400.0, 460.0};
  o.imbal = 1;
  Block b = make_skew(o);
  b.ints[0] = 0;
  ASSERT_EQ(b.prepare(), 0);
  const std::vector<double> xk = {1.2, 0.7, 1.0, 1.6};
  for (int j = 0; j < 4; ++j) {
    var(b, "XKNOT_" + std::to_string(j + 1)) = xk[static_cast<size_t>(j)];
  }
  // Newton on the linear block rows with the set left as initialised: the
  // skew rows do not depend on the set, so solve them by hand here.
  double cn = 0.0;
  std::vector<double> x0(4);
  for (int i = 0; i < 4; ++i) {
    x0[static_cast<size_t>(i)] = var(b, kComps[static_cast<size_t>(i)] + ".COMPIN");
    cn += xk[static_cast<size_t>(i)] * x0[static_cast<size_t>(i)];
  }
  for (int i = 0; i < 4; ++i) {
    const std::string c = kComps[static_cast<size_t>(i)];
    var(b, c + ".SKEW") = xk[static_cast<size_t>(i)];
    var(b, c + ".COMPOUT") = xk[static_cast<size_t>(i)] * x0[static_cast<size_t>(i)] / cn;
  }
  var(b, "CNORM") = cn;
  ASSERT_EQ(b.call(KODE_RESID), 0);
  for (const char* r : {"INTERP_NC5", "INTERP_NC7", "INTERP_TOLUENE", "INTERP_NC10", "NORML",
                        "SKEW_NC5", "SKEW_NC10"}) {
    EXPECT_NEAR(b.f[static_cast<size_t>(eqn(b, r) - 1)], 0.0, 1e-12) << r;
  }
}

TEST_F(Skew, CaseSolvesWithTheSkewedOutlet) {
  const CaseRun r = run_case(example_path("skew/mole_fixed_knots.toml"), {{"R3SKEW", R3SKEW}});
  ASSERT_EQ(r.outcome, host::Outcome::Solved) << r.error;
  // Hand calculation of the outlet mole fractions from the solved inlet.
  const double x5 = r.value("SK1.NC5.COMPOUT"), s5 = r.value("SK1.NC5.SKEW");
  const double x0 = r.value("SK1.NC5.COMPIN"), cn = r.value("SK1.CNORM");
  EXPECT_NEAR(x5, s5 * x0 / cn, 1e-10);
  const std::vector<double>& out = r.stream("PROD");
  double total = 0.0;
  for (int i = 0; i < 8; ++i) total += out[static_cast<size_t>(i)];
  EXPECT_NEAR(out[0] / total, x5, 1e-8);
}

TEST_F(Skew, ExamplesSolveAndPassTheHarness) {
  for (const char* ex : {"skew/mole_fixed_knots.toml", "skew/mass_open_knots.toml"}) {
    CaseRun r = run_case(example_path(ex), {{"R3SKEW", R3SKEW}});
    ASSERT_EQ(r.outcome, host::Outcome::Solved) << ex << ": " << r.error;
    EXPECT_LE(r.solve.iterations, 8) << ex;
    check_conformance(*r.flowsheet->blocks()[0]);
  }
}

TEST_F(Skew, MassBasisCaseKeepsTheMassFlowAndSkewsMassFractions) {
  const CaseRun r = run_case(example_path("skew/mass_open_knots.toml"), {{"R3SKEW", R3SKEW}});
  ASSERT_EQ(r.outcome, host::Outcome::Solved) << r.error;
  // Knots fixed at 309.22, 355, 400, 447.3 K with values 1.25, 1.1, 0.9, free:
  // NC7 (Tb 371.57 K) lies in the second interval.
  const double s7 = 1.1 + (0.9 - 1.1) * (371.57 - 355.0) / (400.0 - 355.0);
  EXPECT_NEAR(r.value("SK2.NC7.SKEW"), s7, 1e-9);
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
  for (int i = 0; i < 9; ++i) mass += out[static_cast<size_t>(i)] * mw[i];
  EXPECT_NEAR(out[2] * mw[2] / mass, r.value("SK2.NC7.COMPOUT"), 1e-6);
  EXPECT_NEAR(r.value("PROD.PRESSURE"), 4.2e5, 1e-6);
  // With open knots the report shows the solved knot temperatures (the
  // evenly spaced values left in REAL put the second knot at 355.24 K).
  const auto at = std::find(r.report.begin(), r.report.end(), " Knot   Temp [K]     Value");
  ASSERT_TRUE(at != r.report.end() && r.report.end() - at > 3);
  EXPECT_EQ(at[3], "    2   3.550E+02   1.100E+00");
}

// --- Defaults, knot spacing and knot checks ---------------------------------

TEST_F(Skew, DefaultTemperaturesAndEvenKnots) {
  Options o;
  o.tknot = {kRmiss, 300.0, kRmiss};
  o.tint = {250.0, kRmiss, 450.0, 300.0};
  Block b = make_skew(o);
  ASSERT_EQ(b.dimension(), 0);
  // Missing interpolation temperatures take the normal boiling point.
  EXPECT_NEAR(b.reals[4], 371.57, 0.01);
  EXPECT_DOUBLE_EQ(b.reals[0], 250.0);
  EXPECT_DOUBLE_EQ(b.reals[1], 350.0);
  EXPECT_DOUBLE_EQ(b.reals[2], 450.0);
  EXPECT_TRUE(messages().empty());
}

TEST_F(Skew, InitialValuesBoundsAndScales) {
  for (int32_t imode : {0, 1}) {
    reset_host(kComps);
    Options o;
    o.icomp = 1;
    o.iknot = 1;
    Block b = make_skew(o, imode);
    ASSERT_EQ(b.prepare(), 0);
    const double mw[] = {72.15, 100.204, 92.141, 142.285};
    const double f[] = {0.1, 0.3, 0.2, 0.4};
    double M = 0.0;
    for (int i = 0; i < 4; ++i) M += f[i] * mw[i];
    EXPECT_NEAR(var(b, "MASSIN"), M, 1e-9);
    EXPECT_NEAR(var(b, "MASSOUT"), M, 1e-9);
    EXPECT_NEAR(var(b, "NC7.COMPIN"), 0.3 * 100.204 / M, 1e-12);
    EXPECT_NEAR(var(b, "NC7.COMPOUT"), 0.3 * 100.204 / M, 1e-12);
    EXPECT_DOUBLE_EQ(var(b, "TOUT"), 320.0);
    EXPECT_DOUBLE_EQ(var(b, "TKNOT_2"), 400.0);
    const int tk = b.find_var("TKNOT_2") - 1;
    EXPECT_DOUBLE_EQ(b.yub[static_cast<size_t>(tk)], 600.0);
    EXPECT_EQ(U3VGPT(&b.iyattr[static_cast<size_t>(tk)]), 22);
    const int sk = b.find_var("NC5.SKEW") - 1;
    EXPECT_DOUBLE_EQ(b.y[static_cast<size_t>(sk)], 1.0);
    EXPECT_DOUBLE_EQ(b.yub[static_cast<size_t>(sk)], 10.0);
    // Inlet fixed only in sequential-modular use; the outlet paired with it.
    EXPECT_EQ(b.fixed(b.find_var("FEED.FLOW_NC7")), imode == 0);
    EXPECT_FALSE(b.fixed(b.find_var("PROD.FLOW_NC7")));
    EXPECT_DOUBLE_EQ(var(b, "PROD.FLOW_NC7"), 0.3);
    EXPECT_DOUBLE_EQ(var(b, "PROD.PRESSURE"), 3.0e5);
    EXPECT_DOUBLE_EQ(b.fscl[static_cast<size_t>(eqn(b, "PDROP") - 1)], 1.0e6);
    EXPECT_DOUBLE_EQ(b.fscl[static_cast<size_t>(eqn(b, "INTERP_NC5") - 1)], 1.0);
    // The outlet set starts flashed at TOUT with the outlet enthalpy matching,
    // so with unit factors every row holds already.
    ASSERT_EQ(b.call(KODE_RESID), 0);
    for (int r = 1; r <= b.nf; ++r) {
      EXPECT_NEAR(b.f[static_cast<size_t>(r - 1)] / b.fscl[static_cast<size_t>(r - 1)], 0.0, 1e-6)
          << b.eqn_name(r);
    }
  }
}

TEST_F(Skew, KnotChecksWriteTheirMessagesAndStopTheDimensionRequest) {
  struct Case {
    std::vector<double> tk, ti;
    std::vector<std::string> text;
  };
  const std::vector<Case> cases = {
      {{300.0, 300.0, 460.0},
       {300.0, 350.0, 400.0, 450.0},
       {"", "     ERROR-(r3skew):  knot point temperatures must be",
        "     entered in increasing order.",
        "     tknot(  2)= 3.00000E+02 <= tknot(  1)= 3.00000E+02"}},
      {{320.0, 400.0, 460.0},
       {300.0, 350.0, 310.0, 450.0},
       {"", "     ERROR-(r3skew):  knot point temperatures do not",
        "     cover range of interpolation temperatures.",
        "     tknot(1) > minimum tint(  1)= 3.00000E+02"}},
      {{300.0, 400.0, 440.0},
       {300.0, 350.0, 455.0, 450.0},
       {"", "     ERROR-(r3skew):  knot point temperatures do not",
        "     cover range of interpolation temperatures.",
        "     tknot(nknots) < maximum tint(  3)= 4.55000E+02"}},
  };
  for (const Case& c : cases) {
    reset_host(kComps);
    Options o;
    o.tknot = c.tk;
    o.tint = c.ti;
    Block b = make_skew(o);
    b.nf = b.ny = b.nz = -5;
    EXPECT_EQ(b.call(KODE_DIMEN), 1);
    EXPECT_EQ(messages(), c.text);
    EXPECT_EQ(b.ny, -5);  // counts untouched
  }
}

TEST_F(Skew, BadParametersAreRejectedWithoutWritingOutsideTheArrays) {
  // Too few knots, an unknown basis or knot flag, REAL too short.
  struct Case {
    int32_t nknots, icomp, iknot;
    size_t nreal;
    std::string first;
  };
  const std::vector<Case> cases = {
      {1, 0, 0, 7, "     ERROR-(r3skew):  at least two knot points are required."},
      {kImiss, 0, 0, 7, "     ERROR-(r3skew):  at least two knot points are required."},
      {3, 3, 0, 7, "     ERROR-(r3skew):  composition type must be 0, 1 or 2."},
      {3, 0, 2, 7, "     ERROR-(r3skew):  knot temperature flag must be 0 or 1."},
      {3, 0, 0, 5, "     ERROR-(r3skew):  the real parameter array is too short for"},
  };
  for (const Case& c : cases) {
    reset_host(kComps);
    Options o;
    o.nknots = c.nknots;
    o.icomp = c.icomp;
    o.iknot = c.iknot;
    Block b = make_skew(o);
    b.reals.resize(c.nreal);
    EXPECT_EQ(b.call(KODE_DIMEN), 1);
    const auto msg = messages();
    ASSERT_GE(msg.size(), 2u);
    EXPECT_EQ(msg[1], c.first);
  }
  // INT too short for the work-area identifiers: every request fails cleanly.
  for (size_t nint : {0u, 3u, 6u, 7u}) {
    reset_host(kComps);
    Block b = make_skew(Options{});
    b.ints.resize(nint);
    for (int32_t kode : {KODE_DIMEN, KODE_NAMES, KODE_INIT, KODE_RESID, KODE_JACOB, KODE_REPORT}) {
      EXPECT_EQ(b.call(kode), 1);
    }
    const auto msg = messages();
    ASSERT_GE(msg.size(), 3u);
    EXPECT_EQ(msg[1], "     ERROR-(r3skew):  the integer parameter array is too short");
    EXPECT_EQ(msg[2], "     to keep the identifiers of the work areas.");
    EXPECT_EQ(host::pool_areas(), 0);
  }
}

// --- Work areas ---------------------------------------------------------------

TEST_F(Skew, WorkAreasPersistThroughTheIdentifiersInInt) {
  Block b = make_skew(Options{});
  ASSERT_EQ(b.prepare(), 0);
  const int32_t hr = b.ints[6], hi = b.ints[7];
  EXPECT_GT(hr, 0);
  EXPECT_GT(hi, 0);
  EXPECT_EQ(host::pool_areas(), 2);
  for (int n = 0; n < 3; ++n) ASSERT_EQ(b.call(KODE_RESID), 0);
  EXPECT_EQ(b.ints[6], hr);
  EXPECT_EQ(b.ints[7], hi);
  EXPECT_EQ(host::pool_areas(), 2);
  // The numbering lives in the integer area: losing it is reported, not
  // guessed.
  int32_t h = hi;
  DMS_FREEBD(&h);
  int32_t h2 = hr;
  DMS_FREEBD(&h2);
  messages();
  EXPECT_EQ(b.call(KODE_RESID), 1);
  const auto msg = messages();
  ASSERT_GE(msg.size(), 2u);
  EXPECT_EQ(msg.back(), "     the dimension request must come first.");
  EXPECT_EQ(msg[msg.size() - 2],
            "     ERROR-(r3skew):  the block's variable numbering is missing or out of date;");
  // A new dimension request renumbers into fresh areas.
  ASSERT_EQ(b.prepare(), 0);
  EXPECT_EQ(b.call(KODE_RESID), 0);
}

TEST_F(Skew, NoWorkSpaceIsReported) {
  // Take the whole pool first.
  int32_t size = host::pool_free(), h = 0, off = 0;
  DMS_ALLOCR(&size, &h, &off);
  ASSERT_GT(h, 0);
  Block b = make_skew(Options{});
  EXPECT_EQ(b.call(KODE_DIMEN), 1);
  const auto msg = messages();
  ASSERT_FALSE(msg.empty());
  EXPECT_EQ(msg.back(), "     ERROR-(r3skew):  no work space for the block.");
  EXPECT_EQ(host::pool_areas(), 1);
  EXPECT_EQ(b.ints[6], kImiss);
  DMS_FREEBD(&h);
  EXPECT_EQ(b.prepare(), 0);
}

// --- Evaluation failures -------------------------------------------------------

TEST_F(Skew, UnplacedInterpolationTemperatureGives999AndKeepsIstat) {
  Options o;
  o.iknot = 1;
  o.tint = {300.0, 350.0, 400.0, 450.0};
  Block b = make_skew(o);
  ASSERT_EQ(b.prepare(), 0);
  // Finite knots always place a temperature (the end intervals extend):
  var(b, "TKNOT_1") = 500.0;
  EXPECT_EQ(b.call(KODE_RESID), 0);
  EXPECT_EQ(b.ieval1, 0);
  // a knot temperature without a value places none.
  var(b, "TKNOT_1") = 300.0;
  var(b, "TKNOT_2") = std::nan("");
  var(b, "TKNOT_3") = std::nan("");
  std::fill(b.f.begin(), b.f.end(), -7.0);
  std::fill(b.dfdy.begin(), b.dfdy.end(), -7.0);
  messages();
  for (int32_t kode : {KODE_RESID, KODE_JACOB}) {
    b.ieval1 = b.ieval2 = 0;
    EXPECT_EQ(b.call(kode), 0);  // ISTAT keeps the value it came with
    EXPECT_EQ(b.ieval1, 999);
    EXPECT_EQ(b.ieval2, 999);
    EXPECT_EQ(messages(), (std::vector<std::string>{
                              "", "     ERROR-(r3skew_findknot):  interpolation temperature   1",
                              "     went unassigned.  possible interpolation temperature",
                              "     outside range of knot point temperatures."}));
  }
  for (double v : b.f) EXPECT_EQ(v, -7.0);
  for (double v : b.dfdy) EXPECT_EQ(v, -7.0);
  // A good point afterwards: the words are not cleared by the model.
  var(b, "TKNOT_2") = 400.0;
  var(b, "TKNOT_3") = 460.0;
  EXPECT_EQ(b.call(KODE_RESID), 0);
  EXPECT_EQ(b.ieval1, 999);
}

// --- Report -------------------------------------------------------------------

TEST_F(Skew, Report) {
  Options o;
  o.icomp = 1;
  o.tknot = {300.0, 400.0, 460.0};
  o.tint = {300.0, 350.0, 400.0, 450.0};
  Block b = make_skew(o);
  ASSERT_EQ(b.prepare(), 0);
  var(b, "XKNOT_2") = 2.0;
  var(b, "NC7.SKEW") = 1.5;
  const double vf = b.y[static_cast<size_t>(b.find_var("FLSH_VFRAC") - 1)];
  report();
  ASSERT_EQ(b.call(KODE_REPORT), 0);
  const auto rep = report();
  ASSERT_EQ(rep.size(), 39u);
  const std::string dash = "---------------";
  EXPECT_EQ(rep[0], " R3SKEW block report:");
  EXPECT_EQ(rep[1], " Input data ------------------------------------------------" + dash);
  EXPECT_EQ(rep[2], " Number of knot points   (nknots) =            3");
  EXPECT_EQ(rep[3], " Number of components    (ncf)    =            4");
  EXPECT_EQ(rep[4], " Composition type        (icomp)  =            1");
  EXPECT_EQ(rep[5], "        0 = mole fraction");
  EXPECT_EQ(rep[8], " Knot temperature flag   (iknot)  =            0");
  EXPECT_EQ(rep[9], "        0 = knot temps *not* variables");
  EXPECT_EQ(rep[12], "        0 = do not enforce mass balance");
  EXPECT_EQ(rep[14], " Knot point data -------------------------------------------" + dash);
  EXPECT_EQ(rep[15], " Knot   Temp [K]     Value");
  EXPECT_EQ(rep[16], " ----  ----------  ----------");
  EXPECT_EQ(rep[18], "    2   4.000E+02   2.000E+00");
  EXPECT_EQ(rep[20], " Component data --------------------------------------------" + dash);
  EXPECT_EQ(rep[21], " Comp ID    Tint [K]      Xin         Skew        Xout");
  EXPECT_EQ(rep[22], " --------  ----------  ----------  ----------  ----------");
  EXPECT_EQ(rep[24].substr(0, 21), " NC7        3.500E+02");
  EXPECT_EQ(rep[24].substr(35, 10), " 1.500E+00");
  EXPECT_EQ(rep[27], " Normalization factor =    1.0000000000000000     ");
  EXPECT_EQ(rep[28], " Inlet stream data -----------------------------------------" + dash);
  EXPECT_EQ(rep[29].substr(0, 29), " Molar flow     [Kmol/sec] = ");
  EXPECT_EQ(rep[32], " Outlet stream data ----------------------------------------" + dash);
  EXPECT_EQ(rep[33], " Temperature    [K]        =    320.00000000000000     ");
  EXPECT_EQ(rep[34].substr(0, 29), " Vapor fraction [Unitless] = ");
  EXPECT_EQ(std::stod(rep[34].substr(29)), std::clamp(vf, 0.0, 1.0));
  EXPECT_EQ(rep[35], " Pressure       [Pa]       =    300000.00000000000     ");
  EXPECT_EQ(rep[38].substr(0, 29), " STDVOL flow    [m^3/sec]  = ");
}

}  // namespace
}  // namespace r3::test
