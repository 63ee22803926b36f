// The component separator: refused connections and parameters, warnings after
// the initialisation, initial values, the alpha-derivative floor, the
// solution-state word, and the examples against the property engine and by
// hand.
#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "framework/host_services.h"
#include "host/thermo/thermo.h"
#include "tests/support/golden_text.h"
#include "tests/support/model_blocks.h"
#include "tests/support/support.h"

extern "C" void R3CSEP(R3_ENTRY_PARAMS);

namespace r3::test {
namespace {

const std::map<std::string, EntryFn> kEntries = {{"R3CSEP", R3CSEP}};
const std::vector<int32_t> kNoInts = {0, 0, 0, 0, 0, 0};

// A separator SEP with `nin` inlets (FEED, FEED2, ...) of 1, 1/2, 1/3 ...
// kmol/s at 350 K and 2 bar, `nout` outlets OUT1..OUTn and, when asked,
// information streams. `ints` are the model integers after the host's header.
Block make_sep(int nout, std::vector<int32_t> ints = kNoInts, int nin = 1, bool info_in = false,
               bool info_out = false) {
  Block b("SEP", R3CSEP);
  for (int k = 1; k <= nin; ++k) b.matin.push_back(k == 1 ? "FEED" : "FEED" + std::to_string(k));
  for (int k = 1; k <= nout; ++k) b.matout.push_back("OUT" + std::to_string(k));
  if (info_in) b.infin = {"Q"};
  if (info_out) b.infout = {"W"};
  b.ints = std::move(ints);
  b.ipropset = 1;
  b.connect_streams();
  std::vector<double> flows(b.ncomp());
  for (size_t i = 0; i < flows.size(); ++i) flows[i] = 1.0 / static_cast<double>(i + 1);
  for (int k = 0; k < nin; ++k) EXPECT_TRUE(b.set_material_inlet(k, flows, 350.0, 2.0e5));
  return b;
}

class Separator : public ::testing::Test {
 protected:
  void SetUp() override { reset_host({"CH4", "C2H6", "C3H8"}); }
  // The records of the message unit, the same as the second message unit's.
  static Lines both_units() {
    const Lines second = records(hs::second_message_unit()), m = messages();
    EXPECT_EQ(second, m);
    return m;
  }
};

// --- Messages: golden text component_separator/messages ------------------------

// The cases are the headings of the golden text, see initialise_with.
// Refused connections ("streams": material in, out, information in, out)
// end the request with status 1, counts untouched, a check request the
// same, the other requests silently; parameter errors ("int") are reported and the request goes on;
// warnings after the initialisation ("outlets", 2 unless given;
// "renormalise" as in INT; "idiag" the diagnostic level; "after NAME V"
// values after the initialisation): fixed alphas above 1, renormalised when
// asked; a fixed outlet flow counts in full, a fixed alpha times the inlet
// flow; the message gate only silences; sums exact to round-off are not
// reported. An outlet scale given by the user ("scale") is replaced by the
// inlet's.
TEST_F(Separator, Messages) {
  const auto one_case = [&](const std::string& heading, const CaseHeading& c, Transcript& t) {
    SCOPED_TRACE(heading);
    t.heading(heading);
    const auto n = c.ints("streams");
    for (int32_t kode : {KODE_DIMEN, KODE_CHECK}) {
      if (n.empty()) break;
      Block b = make_sep(n.at(1), kNoInts, n.at(0), n.at(2) != 0, n.at(3) != 0);
      b.ny = 42, b.nf = 43, b.nz = 44, b.naux1 = 9;
      EXPECT_EQ(b.call(kode), 1);
      EXPECT_EQ(std::vector<int32_t>({b.ny, b.nf, b.nz, b.naux1}),
                std::vector<int32_t>({42, 43, 44, 9}));
      const Lines m = both_units();
      if (kode == KODE_DIMEN) t.add(m);
    }
    // At the other requests: status 1, silently.
    for (int32_t kode :
         {KODE_NAMES, KODE_INIT, KODE_RESID, KODE_STRMUPD, KODE_JACOB, KODE_REPORT}) {
      if (n.empty()) break;
      Block b = make_sep(n.at(1), kNoInts, n.at(0), n.at(2) != 0, n.at(3) != 0);
      EXPECT_EQ(b.call(kode), 1) << kode;
      EXPECT_EQ(both_units(), Lines{});
      EXPECT_TRUE(report().empty());
    }
    if (c.has("int")) {
      Block b = make_sep(2, c.ints("int"));
      b.naux1 = b.naux2 = b.naux3 = 9;
      EXPECT_EQ(b.call(KODE_CHECK), 0);
      EXPECT_EQ(b.naux1, 0);
      EXPECT_EQ(b.naux3, 0);
      const Lines m = both_units();
      ASSERT_EQ(b.dimension(), 0);
      EXPECT_GT(b.ny, 0);
      EXPECT_EQ(both_units(), m);
      t.add(m);
    }
    if (c.has("streams") || c.has("int")) return;
    reset_host({"CH4", "C2H6", "C3H8"});
    Block b = make_sep(static_cast<int>(c.number("outlets", 2)),
                       {0, 0, 0, 0, 0, static_cast<int32_t>(c.number("renormalise", 0))});
    b.idiag = static_cast<int32_t>(c.number("idiag", 4));
    if (c.has("scale")) {  // given after the names
      const auto w = c.words("scale");
      ASSERT_EQ(b.dimension(), 0);
      ASSERT_EQ(b.call(KODE_NAMES), 0);
      at(b, b.yscl, w.at(0)) = std::stod(w.at(1));
      ASSERT_EQ(b.initialise(), 0);
      t.add(both_units());
      EXPECT_EQ(at(b, b.yscl, w.at(0)), at(b, b.yscl, "FEED.PRESSURE"));
      return;
    }
    ASSERT_EQ(initialise_with(b, c), 0);
    t.add(messages());
    EXPECT_TRUE(records(hs::second_message_unit()).empty());
    const auto after = c.words("after");
    for (size_t k = 0; k + 1 < after.size(); k += 2)
      EXPECT_NEAR(yv(b, after[k]), std::stod(after[k + 1]), 1e-15) << after[k];
  };
  EXPECT_TRUE(run_golden_cases("component_separator/messages", one_case));
}

// Requests made on arrays the dimension request has not sized, or one
// equation short, are refused.
TEST_F(Separator, RequestsOnUnsizedArraysAreRefused) {
  for (int32_t kode : {KODE_NAMES, KODE_INIT, KODE_RESID, KODE_STRMUPD, KODE_JACOB, KODE_REPORT}) {
    Block b = make_sep(2);
    EXPECT_EQ(b.call(kode), 1) << kode;
  }
  Block b = make_sep(2);
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
  EXPECT_EQ(both_units(), Lines{});
}

// A 200-component list, the most the host gives a block (synthetic copies of
// databank rows), is accepted with one and with two outlets.
TEST(SeparatorShapes, TwoHundredComponents) {
  reset_host({"CH4"});
  const auto list = synthetic_components({"CH4", "C2H6", "C3H8", "NC4"}, 200);
  std::string error;
  ASSERT_TRUE(host::configure_run(list, thermo::Method::Ideal, error)) << error;
  host::reset_shared_areas();
  for (int nout : {1, 2}) {
    Block b = make_sep(nout);
    EXPECT_EQ(b.prepare(), 0) << ::testing::PrintToString(messages());
    EXPECT_EQ(b.var_name(b.ny), "SEP.DUTY");
  }
}

// --- Dimensions, initial values, derivatives, solution state -------------------

TEST_F(Separator, CountsAreAddedToWhatTheHostPasses) {
  Block b = make_sep(2);
  ASSERT_EQ(b.dimension(), 0);
  const int nf = b.nf, nz = b.nz, ny = b.ny;
  b.nf = 5, b.nz = 7, b.ny = 1000;
  ASSERT_EQ(b.call(KODE_DIMEN), 0);
  EXPECT_EQ(b.nf, nf + 5);
  EXPECT_EQ(b.nz, nz + 7);
  EXPECT_EQ(b.ny, ny);  // NY is set, not added to
}

// Values, bounds, scales, step bounds, types and fixed flags after the
// initialisation (golden text component_separator/prepared): outlet stream
// variables from the inlet's, a step bound of exactly 1 on an outlet stream
// variable replaced by the inlet's; the user's values kept; in sequential
// modular use the inlet fixed; values re-used (stored values, run mode -1)
// kept, one that holds nothing to re-use defaulted.
TEST_F(Separator, PreparedState) {
  Transcript t;
  for (const std::vector<int32_t>& ints : std::vector<std::vector<int32_t>>{
           {0, 0, 0, 0, 0, 0}, {0, 0, 1, 0, 0, 0}, {0, 0, 1, 1, -1, 0}}) {
    t.heading("int " + ::testing::PrintToString(ints));
    Block b = make_sep(2, ints);
    ASSERT_EQ(b.dimension(), 0);
    ASSERT_EQ(b.call(KODE_NAMES), 0);
    yv(b, "OUT1_TEMP") = 320.0;
    yv(b, "ALPHA_OUT1.CH4") = 0.25;
    yv(b, "DUTY") = -3.0e5;
    at(b, b.ylb, "DUTY") = -5.0;
    at(b, b.ysbnd, "OUT1.PRESSURE") = 1.0;
    at(b, b.ysbnd, "OUT2.PRESSURE") = 2.0;
    ASSERT_EQ(b.initialise(), 0);
    for (double v : b.y) EXPECT_NE(v, kRmiss);
    t.add(block_state(b));
  }
  EXPECT_EQ(both_units(), Lines{});
  EXPECT_TRUE(matches_golden_text("component_separator/prepared", t.lines));
}

// The derivative of alpha(i,k) f0(i) - fk(i) by alpha is the inlet flow,
// held at the limit of REAL(1) (1e-6 when not given) for an empty component.
TEST_F(Separator, AlphaDerivativeNeverBelowTheInletFlowLimit) {
  for (const std::vector<double>& reals : {std::vector<double>{}, {kRmiss}, {1.0e-3}}) {
    Block b = make_sep(2);
    b.reals = reals;
    ASSERT_TRUE(b.set_material_inlet(0, {0.4, 0.0, 0.25}, 350.0, 2.0e5));
    ASSERT_EQ(b.prepare(), 0);
    ASSERT_EQ(b.call(KODE_JACOB), 0);
    const auto entry = [&](const std::string& eqn, const std::string& v) {
      for (int q = 0; q < b.nz; ++q)
        if (b.eqn_name(b.ijrow[q]) == "SEP." + eqn && b.ijcol[q] == var(b, v)) return b.dfdy[q];
      ADD_FAILURE() << eqn << " / " << v << " not in the pattern";
      return 0.0;
    };
    EXPECT_EQ(entry("DISTRIB_C2H6_OUT2", "ALPHA_OUT2.C2H6"),
              reals.empty() || reals[0] == kRmiss ? 1e-6 : 1e-3);
    EXPECT_EQ(entry("DISTRIB_CH4_OUT1", "ALPHA_OUT1.CH4"), 0.4);
    EXPECT_EQ(entry("DISTRIB_C3H8_OUT2", "ALPHA_OUT2.C3H8"), 0.25);
  }
}

TEST_F(Separator, SolutionStateWordAtTheStreamUpdate) {
  Block b = make_sep(2);
  ASSERT_EQ(b.prepare(), 0);
  ASSERT_EQ(b.call(KODE_RESID), 0);
  const auto state = [&] {
    b.call(KODE_STRMUPD);
    return hs::ppexec_word(6);
  };
  hs::ppexec_word(6) = 0;
  EXPECT_EQ(state(), 1);  // the initial point is far from a solution
  std::fill(b.f.begin(), b.f.end(), 1e-4);
  EXPECT_EQ(state(), 2);  // small scaled residuals
  b.f[3] = kRmiss;
  EXPECT_EQ(state(), 1);  // a residual that could not be evaluated
  b.f[3] = 0.0;
  b.fscl[2] = 0.0;
  EXPECT_EQ(state(), 1);  // an equation scale that is not positive ends the sum
}

// --- The examples ----------------------------------------------------------

class SeparatorExamples : public ::testing::TestWithParam<std::string> {};

// Converged, every component and the energy conserved, each outlet's
// enthalpy from the engine at its temperature, pressure and composition in
// its declared phase (INT after the six words; vapour unless given), and the
// updated stream vector flashed back to it.
TEST_P(SeparatorExamples, ConvergesConservesAndAgreesWithTheEngine) {
  CaseRun r = run_case(example_path("csep/" + GetParam() + ".toml"), kEntries);
  ASSERT_EQ(r.outcome, host::Outcome::Solved) << r.error;
  EXPECT_TRUE(r.solve.converged);
  EXPECT_LE(r.solve.iterations, 4);
  EXPECT_EQ(hs::ppexec_word(6), 2);
  ASSERT_EQ(r.flowsheet->blocks().size(), 1u);
  Block& sep = *r.flowsheet->blocks()[0];
  check_conformance(sep);
  const std::string blk = sep.id + ".";
  const std::vector<const thermo::Component*> comps = host::run().components;
  const size_t nc = comps.size();
  const std::vector<double>& feed = r.stream("FEED");
  for (size_t i = 0; i < nc; ++i) {
    double out = 0.0;
    for (const std::string& o : sep.matout) out += r.stream(o)[i];
    EXPECT_NEAR(out, feed[i], 1e-13 * feed[i]) << comps[i]->id;
  }
  // Energy: F0 h0 + DUTY = sum of Fk hk.
  double out = 0.0;
  for (const std::string& o : sep.matout)
    out += r.value(o + ".TOTAL_FLOW") * r.value(o + ".ENTHALPY");
  EXPECT_NEAR(r.value("FEED.TOTAL_FLOW") * r.value("FEED.ENTHALPY") + r.value(blk + "DUTY"), out,
              1e-10 * std::fabs(out));
  auto model = thermo::make_model(thermo::Method::PengRobinson, comps);
  ASSERT_TRUE(model);
  for (size_t k = 0; k < sep.matout.size(); ++k) {
    const std::string& o = sep.matout[k];
    SCOPED_TRACE(o);
    const bool liquid = sep.ints.size() > 6 + k && sep.ints[6 + k] == 2;
    const std::vector<double>& v = r.stream(o);
    const double T = r.value(blk + o + "_TEMP"), P = r.value(o + ".PRESSURE"),
                 hk = r.value(o + ".ENTHALPY");
    double h = 0.0;
    ASSERT_NE(model->enthalpy(liquid ? thermo::Phase::Liquid : thermo::Phase::Vapour, T, P,
                              std::vector<double>(v.begin(), v.begin() + nc), h),
              thermo::Status::Failed);
    EXPECT_NEAR(hk, h, 1e-9 * std::fabs(h));
    EXPECT_NEAR(v[nc + 1], T, 1e-4);
    EXPECT_NEAR(v[nc + 2], P, 1e-6);
    EXPECT_NEAR(v[nc + 3] * v[nc + 8], hk, 1e-7 * std::fabs(hk));
    EXPECT_EQ(v[nc + 4], liquid ? 0.0 : 1.0);  // vapour fraction
  }
}

INSTANTIATE_TEST_SUITE_P(Separator, SeparatorExamples,
                         ::testing::Values("one_outlet", "two_outlets", "five_outlets",
                                           "twenty_outlets"));

// The split of the two-outlet example by hand: outlet flows are alpha times
// the feed's, the liquid keeps the rest, and the pressure drops are applied.
TEST(SeparatorHand, TwoOutletSplit) {
  CaseRun r = run_case(example_path("csep/two_outlets.toml"), kEntries);
  ASSERT_EQ(r.outcome, host::Outcome::Solved) << r.error;
  const double feed[] = {0.30, 0.20, 0.20, 0.15, 0.15}, alpha[] = {0.99, 0.90, 0.60, 0.05, 0.01};
  double gas_total = 0.0;
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_NEAR(r.stream("GAS")[i], alpha[i] * feed[i], 1e-15);
    EXPECT_NEAR(r.stream("OIL")[i], (1.0 - alpha[i]) * feed[i], 1e-15);
    gas_total += alpha[i] * feed[i];
  }
  EXPECT_NEAR(r.value("GAS.TOTAL_FLOW"), gas_total, 1e-14);
  EXPECT_NEAR(r.value("OIL.TOTAL_FLOW"), 1.0 - gas_total, 1e-14);
  EXPECT_NEAR(r.value("OIL.PRESSURE"), 1.95e6, 1e-6);
  EXPECT_NEAR(r.value("GAS.PRESSURE"), 2.0e6, 1e-6);
  EXPECT_NEAR(r.value("SEP.ALPHA_OIL.C3H8"), 0.4, 1e-14);
}

}  // namespace
}  // namespace r3::test
