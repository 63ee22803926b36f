// The reciprocating compressor's input check, initialisation (flags of the
// given quantities, pair selection and the six cases), property routines,
// report, and solved cases against a hand calculation.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "framework/host_services.h"
#include "framework/records.h"
#include "host/services/context.h"
#include "models/recip_compressor/recip_compressor.h"
#include "tests/recip_compressor/rcmp_test_util.h"

namespace r3::test::rcmp {
namespace {

class RcmpIni : public ::testing::Test {
 protected:
  void SetUp() override { air_host(); }
};

std::vector<std::string> ini_error(const std::string& text) {
  return {"", " Error in R3RCMP_INI:", " " + text};
}
std::vector<std::string> inprops_error(const std::string& text) {
  return {"", " Error in R3RCMP_INPROPS: " + text, "",
          " Error in R3RCMP_INI:", " Initialization of inlet stream properties failed."};
}

// --- Input check -------------------------------------------------------------

TEST_F(RcmpIni, CheckMessagesInOrder) {
  struct Case {
    int nin, nout, ninfi, ninfout;
    std::vector<int32_t> ints;
    std::vector<std::string> lines;
  };
  const std::vector<Case> cases = {
      {0,
       1,
       0,
       0,
       {0, 1, 0},
       {"There must be exactly one material stream connected to the inlet of", "the block."}},
      {1,
       2,
       0,
       0,
       {0, 1, 0},
       {"There must be exactly one material stream connected to the outlet of", "the block."}},
      {1,
       1,
       2,
       0,
       {0, 1, 0},
       {"There may not be more than one information stream connected to the",
        "inlet of the block."}},
      {1, 1, 0, 1, {0, 1, 0}, {"Outlet information streams are not allowed."}},
      {1, 1, 0, 0, {2, 1, 0}, {"Invalid value entered for IMODE. IMODE must be either 0 or 1."}},
      {1, 1, 0, 0, {0, 0, 0}, {"Invalid value entered for NPASS. NPASS must be between 1 and 50."}},
      {1,
       1,
       0,
       0,
       {0, 51, 0},
       {"Invalid value entered for NPASS. NPASS must be between 1 and 50."}},
      {1, 1, 0, 0, {0, 1, 2}, {"Invalid value entered for IZAVG. IZAVG must be either 0 or 1."}},
      // Parameters beyond NINT are the integer missing marker.
      {1, 1, 0, 0, {}, {"Invalid value entered for IMODE. IMODE must be either 0 or 1."}},
      {1, 1, 0, 0, {1, 50}, {"Invalid value entered for IZAVG. IZAVG must be either 0 or 1."}},
  };
  for (const Case& c : cases) {
    Block b("K1", R3RCMP);
    b.matin.assign(static_cast<size_t>(c.nin), "FEED");
    b.matout.assign(static_cast<size_t>(c.nout), "PROD");
    b.infin.assign(static_cast<size_t>(c.ninfi), "W");
    b.infout.assign(static_cast<size_t>(c.ninfout), "WO");
    b.ints = c.ints;
    b.connect_streams();
    EXPECT_EQ(b.call(KODE_CHECK), 1);
    std::vector<std::string> want = {"", " ERROR in subroutine R3RCMP_CHK:"};
    for (const auto& l : c.lines) want.push_back("      " + l);
    EXPECT_EQ(messages(), want);
    // The dimension request refuses the block the same way, counts unwritten.
    b.ny = -5;
    b.nf = -6;
    b.nz = -7;
    EXPECT_EQ(b.call(KODE_DIMEN), 1);
    EXPECT_EQ(b.ny, -5);
    EXPECT_EQ(b.nf, -6);
    EXPECT_EQ(b.nz, -7);
    EXPECT_EQ(messages(), want);
  }
  Block ok = make_compressor(true);
  EXPECT_EQ(ok.call(KODE_CHECK), 0);
  EXPECT_TRUE(messages().empty());
}

// The component limit: the host never hands more than 200 components (the
// set-up refuses a list it cannot hold, writing nothing), and the check
// names the limit for a list outside 1..200.
TEST_F(RcmpIni, ComponentLimit) {
  ::r3::recip_compressor::State st;
  st.imode = 0;
  st.npass = 1;
  st.izavg = 0;
  int32_t one = 1, zero = 0;
  Entry e{};
  e.NMATIN = &one;
  e.NMATOUT = &one;
  e.NINFI = &zero;
  e.NINFOUT = &zero;
  for (int32_t n : {0, 201, 5000}) {
    st.s.ncomp = n;
    EXPECT_EQ(::r3::recip_compressor::R3RCMP_CHK(e, st), 1);
    const std::vector<std::string> want = {
        "", " ERROR in subroutine R3RCMP_CHK:",
        "      The total number of non-zero components must be between 1 and 200."};
    EXPECT_EQ(messages(), want);
  }
  st.s.ncomp = 200;
  EXPECT_EQ(::r3::recip_compressor::R3RCMP_CHK(e, st), 0);
  // More than 200 in the run: the component list cannot be given.
  Block b = make_compressor(false);
  host::fail_operation("U3GIDX_BLK");
  EXPECT_EQ(b.call(KODE_DIMEN), 1);
  EXPECT_EQ(b.ny, 0);
  EXPECT_TRUE(messages().empty());
}

// --- Initialisation errors ---------------------------------------------------

struct IniCase {
  const char* what;
  std::function<void(Block&)> before;  // after names, before the initialisation
  std::vector<std::string> want;
  bool work = false;
  const char* fail = nullptr;  // host operation made to fail once
};

TEST_F(RcmpIni, InitialisationMessages) {
  const int ncf = 3;
  auto inlet = [&](int k, double v) {
    return [k, v](Block& b) { b.smatin[static_cast<size_t>(ncf + k)] = v; };
  };
  const std::vector<IniCase> cases = {
      {"fixed without value",
       [](Block& b) {
         b.fix(b.find_var("DISCH_TEMP"));
         b.fix(b.find_var("PROD.PRESSURE"));
       },
       {"", " Error in R3RCMP_INI:", " Block variable number 12 is fixed but its value is missing.",
        "",
        " Error in R3RCMP_INI:", " Block variable number 17 is fixed but its value is missing."}},
      {"feed pressure",
       inlet(2, -1.0e5),
       {"", " Error in R3RCMP_INI: The feed pressure is negative."}},
      {"flow", inlet(0, 0.0), inprops_error("Invalid total molar flow.")},
      {"temperature", inlet(1, -5.0), inprops_error("Invalid stream temperature.")},
      {"pressure", inlet(2, kRmiss), inprops_error("Invalid stream pressure.")},
      {"density", inlet(7, 0.0), inprops_error("Invalid mass density.")},
      {"molecular weight", inlet(8, -1.0), inprops_error("Invalid molecular weight.")},
      {"heat capacity", nullptr, inprops_error("Invalid heat capacity."), false, "PPMON_ENTHV"},
      {"volume monitor fails", inlet(7, kRmiss), inprops_error("Invalid mass density."), false,
       "PPMON_VOLV"},
      {"outlet pressure", [](Block& b) { fix(b, "PROD.PRESSURE", 1.0e5); },
       ini_error("The outlet pressure is fixed but its value is missing or below the inlet "
                 "pressure.")},
      {"ratio", [](Block& b) { fix(b, "PRATIO", 1.0); },
       ini_error("The pressure ratio is fixed but its value is missing or below unity.")},
      {"both pressures",
       [](Block& b) {
         fix(b, "PROD.PRESSURE", 3.0e5);
         fix(b, "PRATIO", 3.0);
       },
       ini_error("The outlet pressure and the pressure ratio are both fixed.")},
      {"temperature zero", [](Block& b) { fix(b, "DISCH_TEMP", 0.0); },
       ini_error("The outlet temperature is fixed but its value is missing or negative.")},
      {"efficiency", [](Block& b) { fix(b, "POLY_EFF", -0.5); },
       ini_error("The polytropic efficiency is fixed but its value is missing or negative.")},
      {"power", [](Block& b) { fix(b, "BHP", -1.0); },
       ini_error("The brake horsepower is fixed but its value is missing or negative.")},
      {"positive inlet power", [](Block& b) { var(b, "W.VALUE") = 1000.0; },
       ini_error("The inlet stream power is positive. Power supplied to a compressor is "
                 "negative."),
       true},
      {"discharge flash",
       [](Block& b) {
         fix(b, "PROD.PRESSURE", 3.0e5);
         fix(b, "BHP", 4.3e5);
       },
       {"", " Warning in R3RCMP_OUTPROPS: Flash calculation failed.", "",
        " Error in R3RCMP_OUTPROPS: Invalid temperature."},
       false,
       "FLSH_FLASH"},
      {"discharge heat capacity",
       [](Block& b) {
         fix(b, "PROD.PRESSURE", 3.0e5);
         fix(b, "DISCH_TEMP", 0.5);  // usable for the flags, below the property range
       },
       {"", " Error in R3RCMP_OUTPROPS: Invalid heat capacity."}},
      {"discharge enthalpy",
       [](Block& b) {
         b.smatin[static_cast<size_t>(ncf + 3)] = kRmiss;  // inlet enthalpy unknown
         fix(b, "PROD.PRESSURE", 3.0e5);
         fix(b, "BHP", 4.3e5);
       },
       {"", " Error in R3RCMP_OUTPROPS: Discharge enthalpy is missing."}},
      {"discharge volume",
       nullptr,
       {"", " Error in R3RCMP_OUTPROPS: Invalid molar volume."},
       false,
       "PPMON_VOLV"},
  };
  for (const IniCase& c : cases) {
    SCOPED_TRACE(c.what);
    air_host();
    Block b = make_compressor(c.work);
    if (c.work) b.set_info_inlet(0, 1000.0);
    ASSERT_EQ(b.dimension(), 0);
    ASSERT_EQ(b.call(KODE_NAMES), 0);
    if (c.before) c.before(b);
    if (c.fail) host::fail_operation(c.fail);
    // The work area is released whatever the outcome: the pool's first free
    // place is the same before and after.
    int32_t size = ncf + 10, h = 0, off1 = 0, off2 = 0;
    DMS_ALLOCR(&size, &h, &off1);
    DMS_FREEBD(&h);
    const auto y_before = b.y;
    EXPECT_EQ(b.call(KODE_INIT), 1);
    EXPECT_EQ(messages(), c.want);
    DMS_ALLOCR(&size, &h, &off2);
    DMS_FREEBD(&h);
    EXPECT_EQ(off1, off2);
    // A failed initialisation leaves the block variables as they were.
    for (int v = b.ny - 28; v <= b.ny; ++v) {
      EXPECT_EQ(b.y[static_cast<size_t>(v - 1)], y_before[static_cast<size_t>(v - 1)]);
    }
  }
}

// A missing inlet temperature is found by flashing the inlet; a failed flash
// is a warning and then the temperature is invalid.
TEST_F(RcmpIni, InletFlash) {
  Block b = make_compressor(false);
  const double T = b.smatin[4];
  b.smatin[4] = kRmiss;
  ASSERT_EQ(b.prepare(), 0) << ::testing::PrintToString(messages());
  EXPECT_NEAR(var(b, "SUCT_TEMP"), T, 1e-6);
  EXPECT_TRUE(messages().empty());
  Block c = make_compressor(false);
  c.smatin[4] = kRmiss;
  host::fail_operation("FLSH_FLASH");
  EXPECT_EQ(c.prepare(), 1);
  std::vector<std::string> want = {"", " Warning in R3RCMP_INPROPS: Inlet stream flash failed."};
  for (const auto& l : inprops_error("Invalid stream temperature.")) want.push_back(l);
  EXPECT_EQ(messages(), want);
}

// --- Pair selection and the six cases ----------------------------------------

struct PairCase {
  const char* what;
  int expected;                       // selected pair
  std::function<void(Block&)> given;  // before the initialisation
  std::function<void(Block&)> close;  // after it: fixes that square the system
  bool work = false;
  int max_iterations = 8;
};

// Targets of a realistic air compressor: 1 -> 3 bar, 440 K and the shaft
// power that goes with them at a mechanical efficiency of 0.95.
constexpr double kPout = 3.0e5, kTd = 440.0, kBhp = 431410.7, kEff = 0.8;

TEST_F(RcmpIni, EveryPairIsReachedAndSolves) {
  auto fixer = [](std::vector<std::pair<const char*, double>> f) {
    return [f](Block& b) {
      for (const auto& [n, v] : f) fix(b, n, v);
    };
  };
  auto fix_at_value = [](std::vector<const char*> names) {
    return [names](Block& b) {
      for (const char* n : names) b.fix(b.find_var(n));
    };
  };
  const std::vector<PairCase> cases = {
      {"temperature + pressure", 1, fixer({{"PROD.PRESSURE", kPout}, {"DISCH_TEMP", kTd}}), {}},
      {"pressure + power", 2, fixer({{"PROD.PRESSURE", kPout}, {"BHP", kBhp}}), {}},
      {"pressure + efficiency", 3, fixer({{"PRATIO", 3.0}, {"POLY_EFF", kEff}}), {}},
      // Temperature and power fix the enthalpy rise; the pressure then hangs
      // on the small pressure dependence of the gas enthalpy, so the solver
      // needs more (step-bounded) iterations.
      {"temperature + power", 4, fixer({{"DISCH_TEMP", kTd}, {"BHP", kBhp}}), {}, false, 25},
      {"power + efficiency", 5, fixer({{"BHP", kBhp}, {"POLY_EFF", kEff}}), {}},
      {"temperature + efficiency", 6, fixer({{"DISCH_TEMP", kTd}, {"POLY_EFF", kEff}}), {}},
      {"temperature + inlet work stream", 4, fixer({{"DISCH_TEMP", kTd}}), {}, true, 25},
      {"nothing: ratio 5 and efficiency 0.72", 3,
       [](Block& b) {
         // The default ratio puts the discharge above the default 500 K bound.
         b.yub[static_cast<size_t>(b.find_var("DISCH_TEMP") - 1)] = 800.0;
       },
       fix_at_value({"PRATIO", "POLY_EFF"})},
      {"unfixed pressure only: efficiency 0.72", 3,
       [](Block& b) { var(b, "PROD.PRESSURE") = kPout; },
       fix_at_value({"PROD.PRESSURE", "POLY_EFF"})},
      {"unfixed pressure and fixed temperature (5) beat power and efficiency guesses (4)", 1,
       [](Block& b) {
         var(b, "PROD.PRESSURE") = kPout;
         fix(b, "DISCH_TEMP", kTd);
         var(b, "BHP") = kBhp;
         var(b, "POLY_EFF") = kEff;
       },
       fix_at_value({"PROD.PRESSURE"})},
      {"unfixed ratio wins over nothing", 3, [](Block& b) { var(b, "PRATIO") = 3.0; },
       fix_at_value({"PRATIO", "POLY_EFF"})},
  };
  for (const PairCase& c : cases) {
    SCOPED_TRACE(c.what);
    air_host();
    Block b = make_compressor(c.work);
    if (c.work) b.set_info_inlet(0, -kBhp);
    ASSERT_EQ(b.dimension(), 0);
    ASSERT_EQ(b.call(KODE_NAMES), 0);
    fix_cylinder(b);
    c.given(b);
    ASSERT_EQ(b.call(KODE_INIT), 0) << ::testing::PrintToString(messages());
    EXPECT_EQ(::r3::recip_compressor::state().last_case, c.expected);
    EXPECT_TRUE(messages().empty());
    // The initial point is consistent in the pressures and the cylinder.
    const double pin = var(b, "FEED.PRESSURE");
    EXPECT_NEAR(var(b, "PRATIO") * pin, var(b, "PROD.PRESSURE"), 1e-6 * pin);
    EXPECT_GE(var(b, "VOL_EFF"), 0.001);
    if (c.close) c.close(b);
    const std::vector<double> y0 = b.y;
    const Solution s = solve(b);
    EXPECT_TRUE(s.converged) << s.why << " norm " << s.norm;
    EXPECT_LE(s.iterations, c.max_iterations);
    std::printf("[ pair %d ] %s: %d iterations\n", c.expected, c.what, s.iterations);
    // The fixed values are kept, the solution is a compressor's.
    for (int i = 1; i <= b.ny; ++i) {
      if (b.fixed(i)) {
        EXPECT_EQ(b.y[static_cast<size_t>(i - 1)], y0[static_cast<size_t>(i - 1)]);
      }
    }
    EXPECT_GT(var(b, "DISCH_TEMP"), var(b, "SUCT_TEMP"));
    EXPECT_GT(var(b, "PROD.PRESSURE"), pin);
    EXPECT_NEAR(var(b, "BHP") * 0.95, var(b, "IHP"), 1e-6 * var(b, "IHP"));
    if (c.work) {
      EXPECT_DOUBLE_EQ(var(b, "BHP"), kBhp);
    }
  }
}

// The number of passes: with one pass the discharge temperature of the
// pressure + efficiency case uses the suction heat-capacity ratio only; more
// passes use the mean of suction and discharge.
TEST_F(RcmpIni, PassesRepeatTheImplicitBlock) {
  double td[2] = {0, 0};
  for (int32_t npass : {1, 4}) {
    air_host();
    Block b = make_compressor(false, 0, npass);
    ASSERT_EQ(b.dimension(), 0);
    ASSERT_EQ(b.call(KODE_NAMES), 0);
    fix(b, "PRATIO", 3.0);
    fix(b, "POLY_EFF", kEff);
    ASSERT_EQ(b.call(KODE_INIT), 0);
    td[npass == 1 ? 0 : 1] = var(b, "DISCH_TEMP");
    if (npass == 1) {
      const double cp = var(b, "SUCT_CP");
      const double alpha_suct = (cp / (cp - kR) - 1.0) / (cp / (cp - kR));
      EXPECT_NEAR(var(b, "DISCH_TEMP"), 300.0 * std::pow(3.0, alpha_suct / kEff), 1e-9);
    } else {
      EXPECT_NEAR(var(b, "DISCH_TEMP"), 300.0 * std::pow(3.0, var(b, "MPOLY")), 0.05);
    }
  }
  EXPECT_GT(std::fabs(td[0] - td[1]), 0.1);
}

// Inputs the relations cannot divide by: a zero mechanical efficiency takes
// the default, an inlet power of zero gives nothing, and a work stream
// without a value leaves the choice to the other given quantities.
TEST_F(RcmpIni, DegenerateInputsStayFinite) {
  {
    Block b = make_compressor(false);
    ASSERT_EQ(b.dimension(), 0);
    ASSERT_EQ(b.call(KODE_NAMES), 0);
    fix(b, "MECH_EFF", 0.0);
    fix(b, "DISCH_TEMP", kTd);
    fix(b, "PROD.PRESSURE", kPout);
    ASSERT_EQ(b.call(KODE_INIT), 0);
    EXPECT_EQ(var(b, "MECH_EFF"), 0.0);  // the user's value stays in Y
    EXPECT_TRUE(std::isfinite(var(b, "BHP")));
    EXPECT_DOUBLE_EQ(var(b, "BHP"), var(b, "IHP"));
  }
  for (double w : {0.0, kRmiss}) {
    air_host();
    Block b = make_compressor(true, 1);
    b.set_info_inlet(0, w);
    ASSERT_EQ(b.dimension(), 0);
    ASSERT_EQ(b.call(KODE_NAMES), 0);
    fix(b, "DISCH_TEMP", kTd);
    fix(b, "PROD.PRESSURE", kPout);
    ASSERT_EQ(b.call(KODE_INIT), 0) << ::testing::PrintToString(messages());
    EXPECT_EQ(::r3::recip_compressor::state().last_case, 1);
    EXPECT_TRUE(messages().empty());
    for (int i = 1; i <= b.ny; ++i) {
      EXPECT_TRUE(std::isfinite(b.y[static_cast<size_t>(i - 1)])) << b.var_name(i);
    }
    EXPECT_GT(var(b, "POLY_EFF"), 0.5);
  }
}

// The volumetric efficiency of the initialisation never falls below 0.001:
// a huge clearance would make it negative.
TEST_F(RcmpIni, VolumetricEfficiencyFloor) {
  Block b = make_compressor(false);
  ASSERT_EQ(b.dimension(), 0);
  ASSERT_EQ(b.call(KODE_NAMES), 0);
  var(b, "CLEARFRAC") = 5.0;
  fix(b, "PRATIO", 6.0);
  ASSERT_EQ(b.call(KODE_INIT), 0);
  EXPECT_EQ(var(b, "VOL_EFF"), 0.001);
  EXPECT_DOUBLE_EQ(var(b, "DISPLACE"), var(b, "VOL_FLOW") / 0.001);
  EXPECT_DOUBLE_EQ(var(b, "CLEARFRAC"), 5.0);
  // Out of range, missing: the defaults 0.5 and 0.04; mechanical efficiency 1.
  Block c = make_compressor(false);
  ASSERT_EQ(c.dimension(), 0);
  ASSERT_EQ(c.call(KODE_NAMES), 0);
  var(c, "CLEARFRAC") = 11.0;
  var(c, "LOSSTERM") = -0.1;
  ASSERT_EQ(c.call(KODE_INIT), 0);
  EXPECT_EQ(var(c, "CLEARFRAC"), 11.0);  // the user's value stays in Y
  const auto& saved = ::r3::recip_compressor::state().saved;
  EXPECT_EQ(saved[::r3::recip_compressor::saved_index(::r3::recip_compressor::CLEARFRAC)], 0.5);
  EXPECT_EQ(saved[::r3::recip_compressor::saved_index(::r3::recip_compressor::LOSSTERM)], 0.04);
  EXPECT_EQ(var(c, "MECH_EFF"), 1.0);
}

// --- Report ---------------------------------------------------------------------

std::string line(const std::string& label, double v) {
  return rec::Record().x(4).a(label, 31).x(1).e1p(v, 13, 6).str();
}

TEST_F(RcmpIni, ReportInReportUnits) {
  Block b = make_compressor(false);
  ASSERT_EQ(b.dimension(), 0);
  ASSERT_EQ(b.call(KODE_NAMES), 0);
  fix_cylinder(b);
  fix(b, "PROD.PRESSURE", kPout);
  fix(b, "DISCH_TEMP", kTd);
  ASSERT_EQ(b.call(KODE_INIT), 0);
  ASSERT_TRUE(solve(b).converged);
  report();
  ASSERT_EQ(b.call(KODE_REPORT), 0);
  const double ihp = var(b, "IHP"), bhp = var(b, "BHP"), disp = var(b, "DISPLACE");
  const std::vector<std::string> want = {
      "",
      "                      ***       R3RCMP RESULTS      ***",
      line("INDICATED HORSEPOWER(W       ) ", ihp),
      line("BRAKE HORSEPOWER(W       )     ", bhp),
      "    MECHANICAL EFFICIENCY            9.500000E-01",
      line("POLYTROPIC EFFICIENCY          ", var(b, "POLY_EFF")),
      "",
      line("VOLUMETRIC EFFICIENCY          ", var(b, "VOL_EFF")),
      line("DISPLACEMENT(m3/s    )         ", disp),
      "    CLEARANCE FRACTION               8.000000E-02",
      "    VOLUMETRIC EFFICIENCY LOSS TERM  4.000000E-02"};
  EXPECT_EQ(report(), want);
  EXPECT_TRUE(messages().empty());
  // English units: both powers in HP under the first call's label, the
  // displacement in cubic feet per hour.
  host::run().report_units = host::ReportUnits::ENG;
  ASSERT_EQ(b.call(KODE_REPORT), 0);
  const auto r = report();
  ASSERT_EQ(r.size(), 11u);
  EXPECT_EQ(r[2].substr(0, 35), "    INDICATED HORSEPOWER(hp      ) ");
  EXPECT_EQ(r[3].substr(0, 35), "    BRAKE HORSEPOWER(hp      )     ");
  EXPECT_EQ(r[8].substr(0, 35), "    DISPLACEMENT(ft3/h   )         ");
  EXPECT_NEAR(std::stod(r[3].substr(36)), bhp / 745.69987, 1e-3 * bhp / 745.69987);
  EXPECT_NEAR(std::stod(r[8].substr(36)), disp * 3600.0 / 0.028316847, 1e-3 * disp * 127133.0);
  EXPECT_EQ(r[4], want[4]);
}

// --- Solved cases against a hand calculation ----------------------------------

struct Props {
  double cp, v, h;
};

// Vapour properties at (T, P) of a composition, straight from the host's
// property monitors.
Props vapour(double T, double P, const std::vector<double>& x) {
  const int32_t n = static_cast<int32_t>(x.size());
  std::vector<int32_t> idx(x.size());
  for (int32_t i = 0; i < n; ++i) idx[static_cast<size_t>(i)] = i + 1;
  int32_t ipropset = 2, code = 3, vcode = 1, ist = 0;
  Props p{};
  double v2 = 0.0;
  PPMON_ENTHV(&T, &P, x.data(), &n, idx.data(), &ipropset, &PPEXEC_USER[8], PPEXEC_KBASE, &code,
              &p.h, &p.cp, &ist);
  PPMON_VOLV(&T, &P, x.data(), &n, idx.data(), &ipropset, &PPEXEC_USER[8], &vcode, &p.v, &v2, &ist);
  return p;
}

// The compressor relations evaluated from the converged property values: the
// polytropic efficiency from the head and the gas power, the volumetric
// efficiency from the clearance re-expansion, the displacement and powers.
void check_against_hand_calculation(const std::string& example, const std::string& feed,
                                    const std::string& prod, int izavg,
                                    const std::vector<double>& x) {
  const CaseRun r = run_case(example_path(example), {{"R3RCMP", R3RCMP}});
  ASSERT_EQ(r.outcome, host::Outcome::Solved) << r.error;
  ASSERT_TRUE(r.solve.converged);
  EXPECT_LE(r.solve.iterations, 6);
  auto v = [&](const std::string& n) { return r.value(n); };
  const double F = v(feed + ".TOTAL_FLOW"), Pin = v(feed + ".PRESSURE"),
               Pout = v(prod + ".PRESSURE");
  const double Hin = v(feed + ".ENTHALPY"), Hout = v(prod + ".ENTHALPY");
  const double Ts = v("K1.SUCT_TEMP"), Td = v("K1.DISCH_TEMP");
  // The property variables are the host's vapour properties at the solved states.
  const Props s = vapour(Ts, Pin, x), d = vapour(Td, Pout, x);
  EXPECT_NEAR(v("K1.SUCT_CP"), s.cp, 1e-7 * s.cp);
  EXPECT_NEAR(v("K1.DISCH_CP"), d.cp, 1e-7 * d.cp);
  EXPECT_NEAR(v("K1.SUCT_MOLV"), s.v, 1e-7 * s.v);
  EXPECT_NEAR(v("K1.DISCH_MOLV"), d.v, 1e-7 * d.v);
  EXPECT_NEAR(Hin, s.h, 1e-7 * std::fabs(s.h) + 1.0);
  EXPECT_NEAR(Hout, d.h, 1e-7 * std::fabs(d.h) + 1.0);
  // Hand calculation from those properties.
  const double mw = v("K1.MW");
  const double zs = Pin * s.v / (kR * Ts), zd = Pout * d.v / (kR * Td);
  const double zsel = izavg == 1 ? zs : 0.5 * (zs + zd);
  const double cpm = 0.5 * (s.cp + d.cp);
  const double k = cpm / (cpm - kR), alpha = (k - 1.0) / k;
  const double pr = Pout / Pin;
  const double ihp = F * (d.h - s.h);
  const double wt = F * mw;
  // Polytropic efficiency: eff * IHP = HEAD * WT with HEAD from m = alpha / eff.
  auto gap = [&](double eff) {
    const double m = alpha / eff;
    const double head = zsel * kR * Ts * (std::pow(pr, m) - 1.0) / (m * mw);
    return eff * ihp - head * wt;
  };
  double lo = 0.2, hi = 1.5;
  ASSERT_LT(gap(lo) * gap(hi), 0.0);
  for (int i = 0; i < 200; ++i) {
    const double mid = 0.5 * (lo + hi);
    (gap(lo) * gap(mid) <= 0.0 ? hi : lo) = mid;
  }
  const double eff = 0.5 * (lo + hi);
  const double mech = v("K1.MECH_EFF"), cf = v("K1.CLEARFRAC"), loss = v("K1.LOSSTERM");
  const double ve = 1.0 - loss - pr / 100.0 - cf * (s.v / d.v - 1.0);
  const double disp = F * s.v / ve;
  EXPECT_NEAR(v("K1.SUCT_Z"), zs, 1e-9);
  EXPECT_NEAR(v("K1.KRATIO"), k, 1e-9);
  EXPECT_NEAR(v("K1.POLY_EFF"), eff, 1e-7);
  EXPECT_NEAR(v("K1.IHP"), ihp, 1e-6 * ihp);
  EXPECT_NEAR(v("K1.BHP"), ihp / mech, 1e-6 * ihp);
  EXPECT_NEAR(v("K1.VOL_EFF"), ve, 1e-9);
  EXPECT_NEAR(v("K1.DISPLACE"), disp, 1e-8 * disp);
  EXPECT_NEAR(v("K1.VOL_FLOW"), F * s.v, 1e-9 * F * s.v);
  // The report shows the same numbers.
  ASSERT_GE(r.report.size(), 11u);
  EXPECT_EQ(r.report[3], line("BRAKE HORSEPOWER(W       )     ", v("K1.BHP")));
  EXPECT_EQ(r.report[7], line("VOLUMETRIC EFFICIENCY          ", v("K1.VOL_EFF")));
}

TEST(RcmpSolved, AirCompressorFromPressureAndTemperature) {
  check_against_hand_calculation("rcmp/pressure_temperature.toml", "AIR", "DISCH", 0,
                                 {0.78, 0.21, 0.01});
}

TEST(RcmpSolved, NaturalGasCompressorFromPressureAndPower) {
  check_against_hand_calculation("rcmp/pressure_power.toml", "GAS", "DISCH", 1, {0.9, 0.07, 0.03});
}

TEST(RcmpSolved, DefaultsSolve) {
  const CaseRun r = run_case(example_path("rcmp/defaults.toml"), {{"R3RCMP", R3RCMP}});
  ASSERT_EQ(r.outcome, host::Outcome::Solved) << r.error;
  EXPECT_DOUBLE_EQ(r.value("K1.PRATIO"), 5.0);
  EXPECT_DOUBLE_EQ(r.value("DISCH.PRESSURE"), 5.0e5);
  EXPECT_GT(r.value("K1.VOL_EFF"), 0.01);
}

}  // namespace
}  // namespace r3::test::rcmp
