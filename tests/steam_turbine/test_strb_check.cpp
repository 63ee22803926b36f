// The turbine's input check: every message, in its order, at the check and
// the dimension requests; what passes; and the blocks it refuses afterwards.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/host_services.h"
#include "tests/steam_turbine/strb_fixture.h"
#include "tests/support/support.h"

namespace r3::test::strb {
namespace {

using Lines = std::vector<std::string>;

class StrbCheck : public ::testing::Test {
 protected:
  void SetUp() override { reset_host({"H2O"}, thermo::Method::SteamTable); }

  // The check's output for a parameter set and stream counts.
  Lines check(const Params& p, int nin = 1, int ninfi = 0, int ninfout = 0,
              int32_t* istat = nullptr) {
    std::vector<std::vector<double>> feeds(static_cast<size_t>(nin), {700.0, 4e6, 1.0});
    host::Block b = make_turbine(p, feeds, ninfi, ninfout);
    b.infin.assign(static_cast<size_t>(ninfi), "W");
    b.infout.assign(static_cast<size_t>(ninfout), "W");
    standard_output();
    const int32_t rc = b.call(KODE_CHECK);
    if (istat) *istat = rc;
    EXPECT_EQ(b.naux1, 0);
    return standard_output();
  }
};

Lines with_prefix(Lines l) {
  l[0] = " !! i3tchk: " + l[0];
  for (size_t i = 1; i < l.size(); ++i) l[i] = " " + l[i];
  return l;
}

const Lines kCodes = {"1 = fixed value specification", "2 = water rate specification",
                      "3 = user efficiency curve", "4 = user water-rate curve",
                      "5 = user relative efficiency curve"};

TEST_F(StrbCheck, EveryMessage) {
  struct Case {
    std::string what;
    Params p;
    int nin = 1, ninfi = 0, ninfout = 0;
    Lines expected;  // whole records
  };
  std::vector<Case> cases;
  auto add = [&](std::string what, auto tweak, Lines lines, int nin = 1, int ninfi = 0,
                 int ninfout = 0) {
    Params p;
    tweak(p);
    cases.push_back({std::move(what), p, nin, ninfi, ninfout, std::move(lines)});
  };
  add(
      "imode", [](Params& p) { p.imode = 2; },
      with_prefix(
          {"error in imode.  valid values are:", "0 = sequential modular", "1 = equation based"}));
  add(
      "irunmd", [](Params& p) { p.irunmd = -2; },
      with_prefix({"irunmd cannot be less than -1.", "valid values are:",
                   " 0 = use default parameters", "-1 = use previous calculated parameters",
                   "+i = use latest parameters calculated ", "within the last i runs"}));
  add("npass", [](Params& p) { p.npass = 51; },
      {" !! i3tchk: no more than 50 sequential initialization passes permitted",
       " !! i3tchk: please reset the npass value in the input file int array"});
  add(
      "iturb", [](Params& p) { p.iturb = 4; },
      with_prefix({"error in iturb. valid values are:", "1 = standard turbine",
                   "2 = condensing turbine", "3 = admission turbine"}));
  add(
      "two inlets, standard",
      [](Params& p) {
        p.codes = {1, 1};
      },
      with_prefix({"only a single inlet material stream is permitted",
                   "            for standard/condensing turbine"}),
      2);
  add(
      "one inlet, admission", [](Params& p) { p.iturb = 3; },
      with_prefix(
          {"two material inlet material streams are needed", "            for admission turbine"}));
  add(
      "two work inlets", [](Params&) {},
      with_prefix({"only a single inlet information (work) stream is permitted"}), 1, 2);
  add(
      "two work outlets", [](Params&) {},
      with_prefix({"only a single outlet information (work) stream is permitted"}), 1, 0, 2);
  Lines codes5 = {"error in efficiency code. valid values are:"};
  codes5.insert(codes5.end(), kCodes.begin(), kCodes.end());
  add(
      "code 6", [](Params& p) { p.codes = {6}; }, with_prefix(codes5));
  Lines codes4s1 = {"error in efficiency code for stage1. valid values are:"};
  codes4s1.insert(codes4s1.end(), kCodes.begin(), kCodes.end() - 1);
  add(
      "admission code 5",
      [](Params& p) {
        p.iturb = 3;
        p.codes = {5, 1};
        p.t_in = {kRmiss, kRmiss};
      },
      with_prefix(codes4s1), 2);
  add(
      "eff curve empty", [](Params& p) { p.codes = {3}; },
      with_prefix({"error: 0 user eff-curve data points entered"}));
  add(
      "rel curve empty", [](Params& p) { p.codes = {5}; },
      with_prefix({"error: 0 user eff-curve data points entered"}));
  add(
      "wr curve empty", [](Params& p) { p.codes = {4}; },
      with_prefix({"error: 0 user wr-curve data points entered"}));
  Lines codes4s2 = {"error in efficiency code for stage2. valid values are:"};
  codes4s2.insert(codes4s2.end(), kCodes.begin(), kCodes.end() - 1);
  auto adm = [](Params& p, int c2) {
    p.iturb = 3;
    p.codes = {1, c2};
    p.t_in = {kRmiss, kRmiss};
  };
  add(
      "stage 2 code 0", [&](Params& p) { adm(p, 0); }, with_prefix(codes4s2), 2);
  add(
      "stage 2 eff curve", [&](Params& p) { adm(p, 3); },
      with_prefix({"error: no user eff-curve data points entered"}), 2);
  add(
      "stage 2 wr curve", [&](Params& p) { adm(p, 4); },
      with_prefix({"error: no user wr-curve data points entered"}), 2);
  add("101 points", [](Params& p) { p.nw = 101; },
      {" !! i3tchk: no more than 100 points are permitted in user efficiency curve",
       " !! i3tchk: please compress the user efficiency curve"});
  add(
      "eff curve missing point",
      [](Params& p) {
        p.ne = 2;
        p.effx = {1e6, 2e6};
        p.effy = {0.7};  // the second efficiency lies beyond REAL
      },
      with_prefix({"error: efficiency curve has missing data points"}));
  add(
      "wr curve missing point",
      [](Params& p) {
        p.nw = 2;
        p.wrx = {1e6, kRmiss};
        p.wry = {3e-6, 3e-6};
      },
      with_prefix({"error: water rate curve has missing data points"}));
  const char* rel[7] = {"reference efficiency", "blade speed",        "blade diameter",
                        "design power",         "design blade speed", "speed exponent",
                        "reference speed-param"};
  for (int k = 0; k < 7; ++k) {
    add(
        std::string("rel-eff ") + rel[k],
        [k](Params& p) {
          p.codes = {5};
          p.ne = 1;
          p.effx = {1e6};
          p.effy = {1.0};
          p.relpar = {0.85, 50, 1, 2e7, 50, 1, 0.15};
          p.relpar[static_cast<size_t>(k)] = kRmiss;
        },
        with_prefix({std::string("error in rel-eff: ") + rel[k] + " value is missing"}));
  }
  for (const Case& c : cases) {
    int32_t rc = 0;
    const Lines out = check(c.p, c.nin, c.ninfi, c.ninfout, &rc);
    EXPECT_EQ(rc, 1) << c.what;
    EXPECT_EQ(out, c.expected) << c.what;
  }
}

TEST_F(StrbCheck, WhatPasses) {
  int32_t rc = 1;
  // A curve with no points passes unless a stage uses it.
  Params p;
  EXPECT_TRUE(check(p, 1, 1, 1, &rc).empty());
  EXPECT_EQ(rc, 0);
  // A missing NPASS counts as 1.
  host::Block b = make_turbine(p, {{700.0, 4e6, 1.0}});
  b.ints[4] = hs::imiss();
  standard_output();
  EXPECT_EQ(b.call(KODE_CHECK), 0);
  EXPECT_TRUE(standard_output().empty());
  // With the units option, a missing parameter stays missing: the blade
  // speed is reported missing, not converted.
  Params r;
  r.units = 1;
  r.codes = {5};
  r.ne = 1;
  r.effx = {1e3};
  r.effy = {1.0};
  r.relpar = {0.85, kRmiss, 1, 2e4, 3000, 1, 0.15};
  EXPECT_EQ(check(r, 1, 0, 0, &rc),
            with_prefix({"error in rel-eff: blade speed value is missing"}));
  r.relpar[1] = 3000;  // rpm
  EXPECT_TRUE(check(r, 1, 0, 0, &rc).empty());
  EXPECT_EQ(rc, 0);
}

TEST_F(StrbCheck, DimensionRequestChecksFirstAndRefusedBlocksWriteNothing) {
  Params p;
  p.imode = 7;
  host::Block b = make_turbine(p, {{700.0, 4e6, 1.0}});
  b.ny = b.nf = b.nz = -5;
  standard_output();
  EXPECT_EQ(b.call(KODE_DIMEN), 1);
  EXPECT_EQ(b.ny, -5);
  EXPECT_EQ(b.nf, -5);
  EXPECT_EQ(b.nz, -5);
  EXPECT_EQ(standard_output().size(), 3u);
  // The other requests of a refused block end with ISTAT = 1 and no output.
  for (int32_t k : {KODE_NAMES, KODE_INIT, KODE_RESID, KODE_JACOB, KODE_STRMUPD, KODE_REPORT}) {
    EXPECT_EQ(b.call(k), 1) << k;
  }
  EXPECT_TRUE(standard_output().empty());
  EXPECT_TRUE(report().empty());
  // An unknown request leaves ISTAT as it was.
  EXPECT_EQ(b.call(55, 7), 7);
}

TEST_F(StrbCheck, BlocksTheLayoutCannotServeAreRefused) {
  // No outlet stream.
  Params p;
  host::Block b = make_turbine(p, {{700.0, 4e6, 1.0}});
  b.matout.clear();
  b.connect_streams();
  standard_output();
  EXPECT_EQ(b.call(KODE_DIMEN), 1);
  EXPECT_EQ(standard_output(), with_prefix({"one outlet material stream is needed"}));
  // No inlet stream.
  host::Block c = make_turbine(p, {});
  EXPECT_EQ(c.call(KODE_DIMEN), 1);
  EXPECT_EQ(standard_output(), with_prefix({"one inlet material stream is needed"}));
  // Arrays sized for another layout: the requests are refused.
  host::Block d = make_turbine(p, {{700.0, 4e6, 1.0}});
  ASSERT_EQ(d.prepare(), 0);
  d.infout = {"WOUT"};
  d.connect_streams();
  EXPECT_EQ(d.call(KODE_RESID), 1);
  EXPECT_EQ(d.call(KODE_JACOB), 1);
}

TEST_F(StrbCheck, WaterMustBeAComponent) {
  reset_host({"N2"}, thermo::Method::Ideal);
  Params p;
  host::Block b("T1", R3STRB);
  b.matin = {"S1"};
  b.matout = {"OUT"};
  b.ints = int_params(p);
  b.reals = real_params(p);
  b.connect_streams();
  standard_output();
  EXPECT_EQ(b.call(KODE_DIMEN), 1);
  EXPECT_EQ(standard_output(), with_prefix({"water (h2o) must be one of the components"}));
}

}  // namespace
}  // namespace r3::test::strb
