// The turbo-expander's variables, equations, Jacobian and the entry protocol
// around them, for both formulations.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "host/services/names.h"
#include "tests/turbo_expander/trex_test_util.h"

namespace r3::test::trex {
namespace {

struct Shape {
  int iphase, ninfout, ncomp;
};

class TrexShapes : public ::testing::TestWithParam<Shape> {};

// Counts from the formulation, conformance (names, pattern, Jacobian against
// differences) at the initial point of a fully specified block.
TEST_P(TrexShapes, CountsAndConformance) {
  const Shape sh = GetParam();
  // The two-phase formulation is checked where both outlet states lie inside
  // the two-phase region (the sets' vapour fraction has a kink at 0 and 1,
  // which central differences cannot follow): the rich gas from 240 K, and
  // liquid methane from 180 K.
  std::vector<double> flows = sh.iphase == 1 ? kLean : kRich;
  double T = sh.iphase == 1 ? 320.0 : 240.0;
  if (sh.ncomp == 1) {
    reset_host({"CH4"}, thermo::Method::PengRobinson);
    flows = {1.0};
    if (sh.iphase == 0) T = 180.0;
  } else {
    use_gas();
  }
  Block b = make_trex(sh.iphase, sh.ninfout, flows, T);
  ASSERT_EQ(prepare_with(b, standard_specs), 0) << ::testing::PrintToString(messages());
  const int n = sh.ncomp, m = sh.ninfout;
  const int nstream = 2 * (n + 3) + m;
  if (sh.iphase == 1) {
    EXPECT_EQ(b.ny, nstream + 12 + 2 * n);
    EXPECT_EQ(b.nf, n + 5 + 2 * n + m + 7);
    EXPECT_EQ(b.nz, 2 * n + 5 * (n + 3) + 7 * n + 2 * m + 18);
  } else {
    EXPECT_EQ(b.ny, nstream + 11 + 2 * (4 * n + 13));
    EXPECT_EQ(b.nf, (n + 1) + 4 + 8 + m + 2 * (4 * n + 12));
    EXPECT_EQ(b.nz, 2 * (n + 1) + 4 * (n + 3) + 21 + 2 * m + 2 * (2 * n * n + 22 * n + 30));
  }
  EXPECT_EQ(b.naux1, 0);
  EXPECT_EQ(b.naux2, 0);
  EXPECT_EQ(b.naux3, 0);
  check_conformance(b);
}

INSTANTIATE_TEST_SUITE_P(Trex, TrexShapes,
                         ::testing::Values(Shape{1, 0, 4}, Shape{1, 1, 4}, Shape{0, 0, 4},
                                           Shape{0, 1, 4}, Shape{1, 1, 1}, Shape{0, 1, 1}),
                         [](const ::testing::TestParamInfo<Shape>& i) {
                           return std::string(i.param.iphase ? "vapour" : "two_phase") + "_work" +
                                  std::to_string(i.param.ninfout) + "_" +
                                  std::to_string(i.param.ncomp) + "comp";
                         });

class TrexTest : public ::testing::Test {
 protected:
  void SetUp() override { use_gas(); }
};

TEST_F(TrexTest, VapourNamesFollowTheTables) {
  Block b = make_trex(1, 1);
  ASSERT_EQ(prepare_with(b, standard_specs), 0);
  const int first = 2 * 7 + 1 + 1;
  const char* vars[] = {"DHACT", "DHISEN", "SEFF", "IHP",   "BHP",   "MEFF",
                        "TIN",   "SMOL",   "SV",   "HSOUT", "TSOUT", "OUT_PROD_TEMP"};
  for (int i = 0; i < 12; ++i) EXPECT_EQ(b.var_name(first + i), std::string("X1.") + vars[i]);
  EXPECT_EQ(b.var_name(first + 12), "X1.FRAC_IN_CH4");
  EXPECT_EQ(b.var_name(first + 15), "X1.FRAC_IN_N2");
  EXPECT_EQ(b.var_name(first + 16), "X1.FRAC_OUT_CH4");
  const char* eqns[] = {"ENTH_IN",  "ENTR_IN",   "ENTR_OUT", "ENTH_OUT", "ENTH_SOUT", "ENERBAL",
                        "DHACTDEF", "DHISENDEF", "SEFF",     "BHPDEF",   "ENTRBAL",   "WORKSTR"};
  const int e0 = 4;  // four component balances
  for (int i = 0; i < 12; ++i) EXPECT_EQ(b.eqn_name(e0 + 1 + i), std::string("X1.") + eqns[i]);
  EXPECT_EQ(b.eqn_name(e0 + 13), "X1.FRAC_IN CH4");
  EXPECT_EQ(b.eqn_name(e0 + 17), "X1.FRAC_OUTCH4");
  EXPECT_EQ(b.eqn_name(b.nf), "X1.TOTFLOW");
}

TEST_F(TrexTest, TwoPhaseNamesCarryTheSetPrefixes) {
  Block b = make_trex(0, 0);
  ASSERT_EQ(prepare_with(b, standard_specs), 0);
  const int first = 2 * 7 + 1;
  const char* vars[] = {"DHACT", "DHISEN", "SEFF", "IHP", "BHP",  "MEFF",
                        "TIN",   "SMOL",   "SV",   "SL",  "HSOUT"};
  for (int i = 0; i < 11; ++i) EXPECT_EQ(b.var_name(first + i), std::string("X1.") + vars[i]);
  EXPECT_EQ(b.var_name(first + 11), "X1.ISEN_VFRAC");
  EXPECT_EQ(b.var_name(first + 12), "X1.ISEN_TEMP");
  const int o = first + 11 + 4 * 4 + 13;
  EXPECT_EQ(b.var_name(o), "X1.OUT_VFRAC");
  EXPECT_EQ(b.var_name(b.ny), "X1.OUT_X_N2");
  const char* eqns[] = {"ENTH_IN",   "ENTR_IN", "VAPENTR_OUT", "LIQENTR_OUT", "ENERBAL", "DHACTDEF",
                        "DHISENDEF", "SEFF",    "BHPDEF",      "ENTR_OUT",    "DUTYS",   "DUTY"};
  const int e0 = 5;  // four component balances and the total
  for (int i = 0; i < 12; ++i) EXPECT_EQ(b.eqn_name(e0 + 1 + i), std::string("X1.") + eqns[i]);
  EXPECT_EQ(b.eqn_name(e0 + 13), "X1.ISEN_TOTAL");
  EXPECT_EQ(b.eqn_name(b.nf), "X1.OUT_DUTYDEF");
}

TEST_F(TrexTest, MissingIphaseMeansTwoPhase) {
  Block b = make_trex(kImiss, 0);
  ASSERT_EQ(b.dimension(), 0);
  EXPECT_EQ(b.ny, 2 * 7 + 11 + 2 * (4 * 4 + 13));
}

// Calls the entry with an INT array of its own (the block rebuilds INT at
// every call), sized exactly so that a write past NINT is caught.
int32_t call_with_int(Block& b, int32_t kode, std::vector<int32_t>& intv) {
  int32_t nmatin = 1, ninfi = 0, nmatout = 1, ninfout = static_cast<int32_t>(b.infout.size());
  std::vector<int32_t> idi(2), ido(2), idw(2 * std::max<size_t>(b.infout.size(), 1), 0x20202020),
      idb(2), none(2, 0x20202020);
  host::text_to_words("GAS", idi.data(), 2);
  host::text_to_words("EXP", ido.data(), 2);
  host::text_to_words("X1", idb.data(), 2);
  int32_t ls = b.lstrm(), nsstrm = 1, issoff[1] = {0}, isstyp[1] = {1};
  int32_t nint = static_cast<int32_t>(intv.size()), nreal = static_cast<int32_t>(b.reals.size());
  int32_t ips[6] = {2, 0, 0, 0, 0, 0};
  int32_t scratch[64] = {};
  void* z = scratch;
  int32_t k = kode, istat = 0;
  b.entry(&nmatin, b.smatin.data(), &ninfi, b.sinfin.data(), &nmatout, b.smatout.data(), &ninfout,
          b.sinfout.data(), idi.data(), none.data(), ido.data(), idw.data(), &ls, &nsstrm, issoff,
          isstyp, &nint, intv.data(), &nreal, b.reals.data(), idb.data(), z, ips, z, z, z, z, z, z,
          z, scratch, z, z, &b.ilayer, z, z, &k, &b.naux1, &b.nf, &b.ny, &b.naux2, &b.naux3,
          b.y.data(), b.ylb.data(), b.yub.data(), b.yscl.data(), b.ysbnd.data(), b.iyattr.data(),
          b.f.data(), b.fscl.data(), z, &b.nz, b.ijrow.data(), b.ijcol.data(), b.dfdy.data(), z, z,
          z, &b.lname, z, b.varnam.data(), b.eqnnam.data(), &b.idiag, z, z, z, z, z, &b.ieval1,
          &b.ieval2, z, z, &istat);
  return istat;
}

TEST_F(TrexTest, DimensionWritesThePositionStoreIntoInt) {
  Block b = make_trex(0, 1);
  std::vector<int32_t> intv = {1, 37, 18};
  intv.insert(intv.end(), b.ints.begin(), b.ints.end());
  ASSERT_EQ(call_with_int(b, KODE_DIMEN, intv), 0);
  const int p = 4, n = 4;
  const int b0 = 2 * 7 + 1 + 1;
  EXPECT_EQ(intv[p + 4 - 1], b0);
  // Isentropic set: from the eleventh block variable on.
  const int z0s = b0 + 10;
  EXPECT_EQ(intv[p + 5 - 1], z0s + 2);           // temperature
  EXPECT_EQ(intv[p + 6 - 1], z0s + 1);           // vapour fraction
  EXPECT_EQ(intv[p + 13 - 1], z0s);              // anchor
  EXPECT_EQ(intv[p + 14 - 1], z0s);              // variable count at its start
  EXPECT_EQ(intv[p + 15 - 1], (n + 1) + 4 + 9);  // equations before it
  const int z0o = z0s + 4 * n + 13;
  EXPECT_EQ(intv[p + 16 - 1], z0o + 2);
  EXPECT_EQ(intv[p + 24 - 1], z0o);
  EXPECT_EQ(intv[p + 25 - 1], z0o);
  EXPECT_EQ(intv[p + 26 - 1], (n + 1) + 4 + 9 + 4 * n + 12);
  EXPECT_EQ(intv[p + 27 - 1], 0);  // nothing after the store
  EXPECT_EQ(b.ny, z0o + 4 * n + 13);
  // The vapour formulation keeps only the first block position.
  Block v = make_trex(1, 0);
  std::vector<int32_t> iv = {1, 37, 18};
  iv.insert(iv.end(), v.ints.begin(), v.ints.end());
  ASSERT_EQ(call_with_int(v, KODE_DIMEN, iv), 0);
  EXPECT_EQ(iv[p + 4 - 1], 2 * 7 + 1);
  EXPECT_EQ(iv[p + 5 - 1], 0);
}

// An INT array too short for the store fails the check and is never written
// (exact-size arrays under the sanitizer catch any write past NINT).
TEST_F(TrexTest, ShortIntIsNeitherWrittenNorReadPastItsEnd) {
  for (int len : {0, 1, 3, 5, 8, 20, 39}) {
    Block b = make_trex(0, 1);
    std::vector<int32_t> intv = {1, 37, 18};
    intv.insert(intv.end(), b.ints.begin(), b.ints.end());
    intv.resize(static_cast<size_t>(len));
    const std::vector<int32_t> before = intv;
    EXPECT_EQ(call_with_int(b, KODE_DIMEN, intv), 1) << len;
    EXPECT_EQ(intv, before) << len;
    messages();
    for (int32_t kode :
         std::initializer_list<int32_t>{KODE_NAMES, KODE_INIT, KODE_RESID, KODE_JACOB, KODE_STRMUPD,
                                        KODE_REPORT, KODE_CHECK, 55}) {
      call_with_int(b, kode, intv);
      EXPECT_EQ(intv, before) << len << " " << kode;
    }
  }
  messages();
  report();
}

// Arrays smaller than the block's dimensions are refused, not written past.
TEST_F(TrexTest, ArraysSmallerThanTheDimensionsAreRefused) {
  for (int iphase : {0, 1}) {
    Block b = make_trex(iphase, 1);
    ASSERT_EQ(prepare_with(b, standard_specs), 0);
    messages();
    b.nf -= 1;
    b.f.resize(static_cast<size_t>(b.nf));
    EXPECT_EQ(b.call(KODE_RESID), 1);
    b.nz -= 1;
    b.dfdy.resize(static_cast<size_t>(b.nz));
    EXPECT_EQ(b.call(KODE_JACOB), 1);
    b.ny -= 1;
    for (auto* v : {&b.y, &b.ylb, &b.yub, &b.yscl, &b.ysbnd}) v->resize(static_cast<size_t>(b.ny));
    b.iyattr.resize(static_cast<size_t>(b.ny));
    EXPECT_EQ(b.call(KODE_INIT), 1);
    EXPECT_EQ(b.call(KODE_STRMUPD), 1);
    EXPECT_EQ(b.call(KODE_REPORT), 0);
    const std::vector<std::string> m = messages();
    ASSERT_FALSE(m.empty());
    EXPECT_EQ(m[1], " Error in R3TREX: the block's arrays do not match its dimensions or streams.");
  }
  report();
}

// Pressures and temperatures reach the property rows as magnitudes; the
// Jacobian follows the sign.
TEST_F(TrexTest, NegativeTemperatureReachesThePropertyRowsAsItsMagnitude) {
  Block b = make_trex(1, 0);
  ASSERT_EQ(prepare_with(b, standard_specs), 0);
  const std::vector<double> f0 = residuals_at(b, b.y);
  std::vector<double> y = b.y;
  for (const char* t : {"TIN", "TSOUT", "OUT_PROD_TEMP"}) {
    y[static_cast<size_t>(var(b, t) - 1)] *= -1.0;
  }
  const std::vector<double> f1 = residuals_at(b, y);
  for (size_t i = 0; i < f0.size(); ++i)
    EXPECT_DOUBLE_EQ(f0[i], f1[i]) << b.eqn_name(static_cast<int>(i) + 1);
  b.y = y;
  ConformanceOptions opt;
  opt.extra_points = 0;
  check_conformance(b, opt);
}

// Outside [0, 1] the isentropic vapour fraction is clamped in ENTR_OUT and
// its derivative there is zero.
TEST_F(TrexTest, EntropyBalanceClampsTheVapourFraction) {
  Block b = make_trex(0, 0);
  ASSERT_EQ(prepare_with(b, standard_specs), 0);
  const int row = 5 + 10;  // ENTR_OUT
  ASSERT_EQ(b.eqn_name(row), "X1.ENTR_OUT");
  const int beta = var(b, "ISEN_VFRAC");
  for (double bv : {1.3, -0.4, 0.25}) {
    yv(b, "ISEN_VFRAC") = bv;
    const double sm = yv(b, "SMOL"), sv = yv(b, "SV"), sl = yv(b, "SL");
    const double bc = std::clamp(bv, 0.0, 1.0);
    const std::vector<double> f = residuals_at(b, b.y);
    EXPECT_DOUBLE_EQ(f[static_cast<size_t>(row - 1)], sm - sl - bc * (sv - sl));
    b.call(KODE_JACOB);
    for (int k = 0; k < b.nz; ++k) {
      if (b.ijrow[static_cast<size_t>(k)] == row && b.ijcol[static_cast<size_t>(k)] == beta) {
        EXPECT_DOUBLE_EQ(b.dfdy[static_cast<size_t>(k)], bv > 1.0 || bv < 0.0 ? 0.0 : sl - sv);
      }
    }
  }
}

// A user's bound, scale or step bound of a block variable survives the
// initialisation; missing ones take the defaults.
TEST_F(TrexTest, InitialisationKeepsTheUsersBoundsAndScales) {
  Block b = make_trex(1, 1);
  ASSERT_EQ(prepare_with(b,
                         [](Block& x) {
                           standard_specs(x);
                           x.ylb[static_cast<size_t>(var(x, "SEFF") - 1)] = 0.5;
                           x.yscl[static_cast<size_t>(var(x, "DHACT") - 1)] = 123.0;
                           x.ysbnd[static_cast<size_t>(var(x, "TIN") - 1)] = 0.3;
                         }),
            0);
  auto at = [&](const std::vector<double>& a, const char* n) {
    return a[static_cast<size_t>(var(b, n) - 1)];
  };
  EXPECT_EQ(at(b.ylb, "SEFF"), 0.5);
  EXPECT_EQ(at(b.yub, "SEFF"), 1.0);
  EXPECT_EQ(at(b.yscl, "DHACT"), 123.0);
  EXPECT_EQ(at(b.ysbnd, "TIN"), 0.3);
  EXPECT_EQ(at(b.ysbnd, "TSOUT"), 1.0);
  // Defaults from the global scales (Fs 1, Ts 1000, Hs 1e8).
  EXPECT_EQ(at(b.ylb, "DHACT"), -1.0e11);
  EXPECT_EQ(at(b.yscl, "IHP"), 1.0e8);
  EXPECT_EQ(at(b.ylb, "TIN"), 10.0);
  EXPECT_EQ(at(b.yub, "TIN"), 5000.0);
  EXPECT_EQ(at(b.yscl, "SMOL"), 1.0e5);
  EXPECT_EQ(at(b.yub, "SV"), 1.0e9);
  // The work stream: the initialisation's power, its own bounds and scale.
  EXPECT_EQ(at(b.y, "SHAFT.VALUE"), at(b.y, "BHP"));
  EXPECT_EQ(at(b.ylb, "SHAFT.VALUE"), -1.0e12);
  EXPECT_EQ(at(b.yub, "SHAFT.VALUE"), 1.0e12);
  EXPECT_EQ(at(b.ysbnd, "SHAFT.VALUE"), 1.0);
  EXPECT_EQ(at(b.yscl, "SHAFT.VALUE"), 1.0e8);
  // Equation scales: enthalpy rows Hs, entropy rows Hs/Ts, powers Hs Fs.
  EXPECT_EQ(b.fscl[4], 1.0e8);
  EXPECT_EQ(b.fscl[5], 1.0e5);
  EXPECT_EQ(b.fscl[9], 1.0e8);
  EXPECT_EQ(b.fscl[static_cast<size_t>(b.nf - 1)], 1.0);  // TOTFLOW, Fs
}

// Sequential-modular use fixes the inlet; equation-based use leaves it free.
TEST_F(TrexTest, ImodeZeroFixesTheInlet) {
  for (int32_t imode : {0, 1}) {
    Block b = make_trex(1, 0, kLean, 320.0, imode);
    ASSERT_EQ(prepare_with(b, standard_specs), 0);
    for (const char* n : {"GAS.TOTAL_FLOW", "GAS.FLOW_CH4", "GAS.ENTHALPY", "GAS.PRESSURE"}) {
      EXPECT_EQ(b.fixed(var(b, n)), imode == 0) << n;
    }
    EXPECT_FALSE(b.fixed(var(b, "EXP.ENTHALPY")));
  }
}

// The stream update writes the sets' per-component arrays into REAL, and the
// input check reads them back.
TEST_F(TrexTest, SavedSetArraysGoThroughReal) {
  Block b = make_trex(0, 0);
  ASSERT_EQ(prepare_with(b, standard_specs), 0);
  ASSERT_EQ(b.call(KODE_STRMUPD), 0);
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_NEAR(b.reals[2 + 4 * i + 1], kLean[i],
                1e-12);  // overall fractions of the isentropic set
    EXPECT_NEAR(b.reals[2 + 4 * i + 3], kLean[i], 1e-12);  // and of the actual-outlet set
    EXPECT_GT(b.reals[2 + 4 * i], 0.0);                    // equilibrium ratios
  }
  // A REAL array too short for them is left alone.
  Block s = make_trex(0, 0);
  ASSERT_EQ(prepare_with(s, standard_specs), 0);
  s.reals.resize(5);
  EXPECT_EQ(s.call(KODE_STRMUPD), 0);
  EXPECT_EQ(s.reals[2], 0.0);
  // The vapour formulation writes nothing there.
  Block v = make_trex(1, 0);
  ASSERT_EQ(prepare_with(v, standard_specs), 0);
  ASSERT_EQ(v.call(KODE_STRMUPD), 0);
  for (size_t i = 2; i < v.reals.size(); ++i) EXPECT_EQ(v.reals[i], 0.0);
  messages();
}

}  // namespace
}  // namespace r3::test::trex
