// The component separator: refused connections and parameters, warnings after
// the initialisation, initial values, the alpha-derivative floor, the
// solution-state word, and the examples against the property engine and by
// hand.
#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "framework/host_services.h"
#include "host/thermo/thermo.h"
#include "tests/support/support.h"

extern "C" void R3CSEP(R3_ENTRY_PARAMS);

namespace r3::test {
namespace {

using host::Block;
using host::kRmiss;
using Lines = std::vector<std::string>;
using Values = std::map<std::string, double>;

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

// Position of a variable by its text after the block prefix (fails if absent).
int var(const Block& b, const std::string& text) {
  const int p = b.find_var(text);
  EXPECT_GT(p, 0) << text;
  return std::max(p, 1);
}
double& at(std::vector<double>& a, const Block& b, const std::string& text) { return a[var(b, text) - 1]; }
double& y(Block& b, const std::string& text) { return at(b.y, b, text); }

class Separator : public ::testing::Test {
 protected:
  void SetUp() override { reset_host({"CH4", "C2H6", "C3H8"}); }
  // The same records on the second message unit and on the message unit.
  static void expect_both_units(const Lines& want) {
    EXPECT_EQ(records(hs::second_message_unit()), want);
    EXPECT_EQ(messages(), want);
  }
};

// --- Refused connections and parameters -------------------------------------

// The connection checks end the request with status 1, writing their lines
// to both units and leaving the counts as they were; a check request gives
// the same. Two inlets and an information stream: only the first failure.
TEST_F(Separator, ConnectionErrorsStopTheRequest) {
  const std::string p = " !! i3cchk: a component separator ";
  const Lines two_inlets = {p + "may have no more than            1  material input streams."};
  const struct {
    int nin, nout;
    bool info_in, info_out;
    Lines want;
  } cases[] = {
      {0, 2, false, false, {p + "must have at least one material ", " !! i3cchk: input stream."}},
      {2, 2, false, false, two_inlets},
      {1, 0, false, false, {p + "must have at least one material ", " !! i3cchk: output stream."}},
      {1, 21, false, false, {p + "may have no more than           20  material output streams."}},
      {1, 2, true, false, {p + "cannot have any inlet ", " !! i3cchk: information streams."}},
      {1, 2, false, true, {p + "cannot have any outlet ", " !! i3cchk: information streams."}},
      {2, 2, true, true, two_inlets},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.want));
    for (int32_t kode : {KODE_DIMEN, KODE_CHECK}) {
      Block b = make_sep(c.nout, kNoInts, c.nin, c.info_in, c.info_out);
      b.ny = 42, b.nf = 43, b.nz = 44, b.naux1 = 9;
      EXPECT_EQ(b.call(kode), 1);
      EXPECT_EQ(std::vector<int32_t>({b.ny, b.nf, b.nz, b.naux1}), std::vector<int32_t>({42, 43, 44, 9}));
      expect_both_units(c.want);
    }
  }
  // Refused connections at the other requests: status 1, silently.
  for (auto [nin, nout] : {std::pair{2, 2}, std::pair{1, 21}, std::pair{0, 2}, std::pair{1, 0}}) {
    for (int32_t kode : {KODE_NAMES, KODE_INIT, KODE_RESID, KODE_STRMUPD, KODE_JACOB, KODE_REPORT}) {
      Block b = make_sep(nout, kNoInts, nin);
      EXPECT_EQ(b.call(kode), 1) << nin << " " << nout << " " << kode;
    }
  }
  expect_both_units({});
  EXPECT_TRUE(report().empty());
}

TEST_F(Separator, ParameterErrorsAreReportedAndTheRequestGoesOn) {
  const std::string p = " !! i3cchk: ";
  const Lines all = {p + "error in imode.  valid values are:", p + "0 = sequential modular",
                     p + "1 = equation based", p + "iprmst cannot be less than -1.",
                     p + "irunmd cannot be less than -1.", p + "valid values are:",
                     p + " 0 = use default parameters", p + "-1 = use previous calculated parameters",
                     p + "+i = use latest parameters calculated ", p + "within the last i runs"};
  Block b = make_sep(2, {0, 0, 5, -2, -3, 0});
  ASSERT_EQ(b.dimension(), 0);
  EXPECT_GT(b.ny, 0);
  expect_both_units(all);
  // One at a time, and through the check request.
  Block c = make_sep(2, {0, 0, 5, 0, 0, 0});
  c.naux1 = c.naux2 = c.naux3 = 9;
  EXPECT_EQ(c.call(KODE_CHECK), 0);
  EXPECT_EQ(c.naux1, 0);
  EXPECT_EQ(c.naux3, 0);
  expect_both_units(Lines(all.begin(), all.begin() + 3));
  Block d = make_sep(2, {0, 0, 1, -1, -1, 0});
  EXPECT_EQ(d.call(KODE_CHECK), 0);
  expect_both_units({});
  // Parameters the user left out take 0: no message.
  Block e = make_sep(2, {0, 0});
  EXPECT_EQ(e.dimension(), 0);
  expect_both_units({});
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
  expect_both_units({});
}

// A 200-component list, the most the host gives a block (synthetic copies of
// databank rows), is accepted with one and with two outlets.
TEST(SeparatorShapes, TwoHundredComponents) {
  reset_host({"CH4"});
  static std::vector<thermo::Component> rows;
  const thermo::Databank& db = thermo::Databank::builtin();
  const char* base[] = {"CH4", "C2H6", "C3H8", "NC4"};
  std::vector<const thermo::Component*> list;
  rows.clear();
  for (int i = 0; i < 200; ++i) {
    rows.push_back(db[db.find(base[i % 4])]);
    rows.back().id = std::string("C").append(std::to_string(i + 1));  // appended: GCC 12 -Wrestrict false positive
  }
  for (const auto& c : rows) list.push_back(&c);
  std::string error;
  ASSERT_TRUE(host::configure_run(list, thermo::Method::Ideal, error)) << error;
  host::reset_shared_areas();
  for (int nout : {1, 2}) {
    Block b = make_sep(nout);
    EXPECT_EQ(b.prepare(), 0) << ::testing::PrintToString(messages());
    EXPECT_EQ(b.var_name(b.ny), "SEP.DUTY");
  }
}

// --- Warnings after the initialisation ----------------------------------------

// Dimension and names, the fixed values and scales, then the initialisation.
void initialise_with(Block& b, const Values& fixed, const Values& scales = {}) {
  ASSERT_EQ(b.dimension(), 0);
  ASSERT_EQ(b.call(KODE_NAMES), 0);
  for (const auto& [n, v] : fixed) y(b, n) = v, b.fix(var(b, n));
  for (const auto& [n, v] : scales) at(b.yscl, b, n) = v;
  ASSERT_EQ(b.initialise(), 0);
}

// Fixed alphas summing above 1, renormalised when asked (before the
// feasibility check); a fixed outlet flow counts in full, a fixed alpha times
// the inlet flow (0.5 kmol/s of C2H6); the message gate only silences; sums
// exact to round-off are not reported.
TEST_F(Separator, WarningsOnFixedAlphasAndOutletFlows) {
  const std::string w = " Warning: ";
  const Lines infeasible_c2h6 = {w + "Specified alphas and outlet flows for component C2H6",
                                 "          are infeasible based on its current inlet flow.",
                                 w + "Block bypassed on this flowsheet iteration."};
  const Values c2h6 = {{"OUT1.FLOW_C2H6", 0.3}, {"ALPHA_OUT2.C2H6", 0.5}, {"ALPHA_OUT1.C3H8", 0.4},
                       {"ALPHA_OUT2.C3H8", 0.4}};
  const struct {
    int nout;
    int32_t renormalise, idiag;
    Values fixed;
    Lines want;
    Values after;
  } cases[] = {
      {2, 0, 4, {{"ALPHA_OUT1.CH4", 0.6}, {"ALPHA_OUT2.CH4", 0.6}, {"ALPHA_OUT1.C3H8", 0.3}},
       {w + "Specified alphas for component CH4      exceed 1.", w + "Alphas will not be renormalized.",
        w + "Specified alphas and outlet flows for component CH4",
        "          are infeasible based on its current inlet flow.", w + "Block bypassed on this flowsheet iteration."},
       {{"ALPHA_OUT1.CH4", 0.6}, {"ALPHA_OUT2.CH4", 0.6}}},
      {3, 1, 4,
       {{"ALPHA_OUT1.CH4", 0.6}, {"ALPHA_OUT2.CH4", 0.6}, {"ALPHA_OUT1.C2H6", 0.9}, {"ALPHA_OUT3.C2H6", 0.3},
        {"ALPHA_OUT1.C3H8", 0.3}},
       {w + "Specified alphas for component CH4      exceed 1.", w + "Specified alphas for component C2H6     exceed 1.",
        w + "Alphas will be renormalized."},
       {{"ALPHA_OUT1.CH4", 0.5}, {"ALPHA_OUT2.CH4", 0.5}, {"ALPHA_OUT1.C2H6", 0.75}, {"ALPHA_OUT3.C2H6", 0.25},
        {"ALPHA_OUT2.C2H6", 1.0} /* free: untouched */, {"ALPHA_OUT1.C3H8", 0.3}}},
      {2, 0, 4, c2h6, infeasible_c2h6, {}},
      {2, 0, 0, c2h6, {}, {}},
      {2, 1, 0, {{"ALPHA_OUT1.CH4", 0.8}, {"ALPHA_OUT2.CH4", 0.8}}, {}, {{"ALPHA_OUT1.CH4", 0.5}}},
      {3, 0, 4, {{"ALPHA_OUT1.C2H6", 0.05}, {"ALPHA_OUT2.C2H6", 0.90}, {"ALPHA_OUT3.C2H6", 0.05}}, {}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.fixed));
    reset_host({"CH4", "C2H6", "C3H8"});
    Block b = make_sep(c.nout, {0, 0, 0, 0, 0, c.renormalise});
    b.idiag = c.idiag;
    initialise_with(b, c.fixed);
    EXPECT_EQ(messages(), c.want);
    EXPECT_TRUE(records(hs::second_message_unit()).empty());
    for (const auto& [n, v] : c.after) EXPECT_NEAR(y(b, n), v, 1e-15) << n;
    EXPECT_EQ(b.istat, 0);
  }
}

TEST_F(Separator, OutletScaleGivenByTheUserIsReplaced) {
  Block b = make_sep(2);
  initialise_with(b, {}, {{"OUT2.PRESSURE", 5.0}});
  expect_both_units({" !! R3CISO - Warning: Stream variable scale ", " !! factors entered via Y sentence are ignored"});
  EXPECT_EQ(at(b.yscl, b, "OUT2.PRESSURE"), at(b.yscl, b, "FEED.PRESSURE"));
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

TEST_F(Separator, InitialValuesFromTheUserAndTheInlet) {
  Block b = make_sep(2);
  ASSERT_EQ(b.dimension(), 0);
  ASSERT_EQ(b.call(KODE_NAMES), 0);
  // A user's values survive; a step bound of exactly 1 on an outlet stream
  // variable is replaced by the inlet's, another value stays.
  y(b, "OUT1_TEMP") = 320.0;
  at(b.ylb, b, "DUTY") = -5.0;
  at(b.ysbnd, b, "OUT1.PRESSURE") = 1.0;
  at(b.ysbnd, b, "OUT2.PRESSURE") = 2.0;
  ASSERT_EQ(b.initialise(), 0);
  const auto type = [&](const std::string& n) { return (b.iyattr[var(b, n) - 1] >> 8) & 0xFF; };
  const auto all = [&](const std::string& n) {
    return std::vector<double>{y(b, n), at(b.ylb, b, n), at(b.yub, b, n), at(b.ysbnd, b, n), at(b.yscl, b, n),
                               static_cast<double>(type(n))};
  };
  EXPECT_EQ(y(b, "OUT1_TEMP"), 320.0);
  EXPECT_EQ(at(b.ylb, b, "DUTY"), -5.0);
  // Outlet stream variables from the inlet's, but for the step bound.
  for (const char* v : {"TOTAL_FLOW", "FLOW_C2H6", "ENTHALPY", "PRESSURE"}) {
    std::vector<double> out = all(std::string("OUT2.") + v), in = all(std::string("FEED.") + v);
    out[3] = in[3] = 0.0;
    EXPECT_EQ(out, in) << v;
  }
  EXPECT_EQ(at(b.ysbnd, b, "OUT1.PRESSURE"), at(b.ysbnd, b, "FEED.PRESSURE"));
  EXPECT_EQ(at(b.ysbnd, b, "OUT2.PRESSURE"), 2.0);
  expect_both_units({});
}

// Re-using previous values (stored values, run mode -1) keeps what the block
// variables hold; one that holds nothing to re-use still gets its default, so
// no missing value reaches the solver.
TEST_F(Separator, ReusedValuesKeptMissingOnesDefaulted) {
  Block b = make_sep(2, {0, 0, 0, 1, -1, 0});
  ASSERT_EQ(b.dimension(), 0);
  ASSERT_EQ(b.call(KODE_NAMES), 0);
  y(b, "ALPHA_OUT1.CH4") = 0.25;
  y(b, "DUTY") = -3.0e5;
  ASSERT_EQ(b.initialise(), 0);
  EXPECT_EQ(y(b, "ALPHA_OUT1.CH4"), 0.25);
  EXPECT_EQ(y(b, "DUTY"), -3.0e5);
  EXPECT_EQ(y(b, "OUT2_TEMP"), 300.0);
  for (double v : b.y) EXPECT_NE(v, kRmiss);
  EXPECT_TRUE(messages().empty());
}

TEST_F(Separator, SequentialModularFixesTheInletOnly) {
  for (int32_t imode : {0, 1}) {
    Block b = make_sep(2, {0, 0, imode, 0, 0, 0});
    ASSERT_EQ(b.prepare(), 0);
    EXPECT_EQ(b.fixed(var(b, "FEED.TOTAL_FLOW")), imode == 0);
    EXPECT_EQ(b.fixed(var(b, "FEED.PRESSURE")), imode == 0);
    EXPECT_FALSE(b.fixed(var(b, "OUT1.TOTAL_FLOW")));
  }
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
    EXPECT_EQ(entry("DISTRIB_C2H6_OUT2", "ALPHA_OUT2.C2H6"), reals.empty() || reals[0] == kRmiss ? 1e-6 : 1e-3);
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

struct Example {
  const char* file;
  const char* block;
  std::vector<std::string> components, outlets;
  std::vector<int> phases;  // 1 vapour, 2 liquid
};

std::vector<Example> examples() {
  std::vector<std::string> twenty;
  for (int k = 1; k <= 20; ++k) twenty.push_back((k < 10 ? "GAS0" : "GAS") + std::to_string(k));
  return {{"csep/one_outlet.toml", "COOLER", {"C3H8", "NC4", "NC5", "NC6"}, {"PRODUCT"}, {2}},
          {"csep/two_outlets.toml", "SEP", {"CH4", "C2H6", "C3H8", "NC5", "NC7"}, {"GAS", "OIL"}, {1, 2}},
          {"csep/five_outlets.toml", "FRAC", {"CH4", "C2H6", "C3H8", "NC4", "NC5", "NC6", "NC7"},
           {"FUEL", "ETHANE", "LPG", "NAPHTHA", "HEAVY"}, {1, 1, 2, 2, 2}},
          {"csep/twenty_outlets.toml", "HEADER", {"N2", "CH4", "C2H6", "C3H8"}, twenty, std::vector<int>(20, 1)}};
}

class SeparatorExamples : public ::testing::TestWithParam<Example> {};

// Converged, every component and the energy conserved, each outlet's
// enthalpy from the engine at its temperature, pressure and composition in
// its declared phase, and the updated stream vector flashed back to it.
TEST_P(SeparatorExamples, ConvergesConservesAndAgreesWithTheEngine) {
  const Example& ex = GetParam();
  CaseRun r = run_case(example_path(ex.file), kEntries);
  ASSERT_EQ(r.outcome, host::Outcome::Solved) << r.error;
  EXPECT_TRUE(r.solve.converged);
  EXPECT_LE(r.solve.iterations, 4);
  EXPECT_EQ(hs::ppexec_word(6), 2);
  ASSERT_EQ(r.flowsheet->blocks().size(), 1u);
  check_conformance(*r.flowsheet->blocks()[0]);
  const std::string blk = std::string(ex.block) + ".";
  const size_t nc = ex.components.size();
  const std::vector<double>& feed = r.stream("FEED");
  for (size_t i = 0; i < nc; ++i) {
    double out = 0.0;
    for (const std::string& o : ex.outlets) out += r.stream(o)[i];
    EXPECT_NEAR(out, feed[i], 1e-13 * feed[i]) << ex.components[i];
  }
  // Energy: F0 h0 + DUTY = sum of Fk hk.
  double out = 0.0;
  for (const std::string& o : ex.outlets) out += r.value(o + ".TOTAL_FLOW") * r.value(o + ".ENTHALPY");
  EXPECT_NEAR(r.value("FEED.TOTAL_FLOW") * r.value("FEED.ENTHALPY") + r.value(blk + "DUTY"), out, 1e-10 * std::fabs(out));
  const thermo::Databank& db = thermo::Databank::builtin();
  std::vector<const thermo::Component*> comps;
  for (const std::string& c : ex.components) comps.push_back(&db[db.find(c)]);
  auto model = thermo::make_model(thermo::Method::PengRobinson, comps);
  ASSERT_TRUE(model);
  for (size_t k = 0; k < ex.outlets.size(); ++k) {
    const std::string& o = ex.outlets[k];
    SCOPED_TRACE(o);
    const std::vector<double>& v = r.stream(o);
    const double T = r.value(blk + o + "_TEMP"), P = r.value(o + ".PRESSURE"), hk = r.value(o + ".ENTHALPY");
    double h = 0.0;
    ASSERT_NE(model->enthalpy(ex.phases[k] == 2 ? thermo::Phase::Liquid : thermo::Phase::Vapour, T, P,
                              std::vector<double>(v.begin(), v.begin() + nc), h),
              thermo::Status::Failed);
    EXPECT_NEAR(hk, h, 1e-9 * std::fabs(h));
    EXPECT_NEAR(v[nc + 1], T, 1e-4);
    EXPECT_NEAR(v[nc + 2], P, 1e-6);
    EXPECT_NEAR(v[nc + 3] * v[nc + 8], hk, 1e-7 * std::fabs(hk));
    EXPECT_EQ(v[nc + 4], ex.phases[k] == 1 ? 1.0 : 0.0);  // vapour fraction
  }
}

INSTANTIATE_TEST_SUITE_P(Separator, SeparatorExamples, ::testing::ValuesIn(examples()),
                         [](const ::testing::TestParamInfo<Example>& i) { return std::string(i.param.block); });

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
