// Flashes: phase equilibrium conditions, round trips between flash types,
// pure components, phase labels and bad input, for every property method.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "tests/thermo/thermo_test_util.h"

namespace r3::thermo {
namespace {

using testing::model_of;

class FlashTest : public ::testing::TestWithParam<Method> {};

// Equal fugacities of every component in the two phases of a two-phase
// result, and the material balance.
void expect_equilibrium(const Model& m, const FlashResult& r, const std::vector<double>& z) {
  const int n = m.size();
  ASSERT_GT(r.beta, 0.0);
  ASSERT_LT(r.beta, 1.0);
  std::vector<double> lpl(n), lpv(n);
  ASSERT_NE(m.ln_fugacity_coefficients(Phase::Liquid, r.T, r.P, r.x, lpl), Status::Failed);
  ASSERT_NE(m.ln_fugacity_coefficients(Phase::Vapour, r.T, r.P, r.y, lpv), Status::Failed);
  double zs = 0;
  for (double v : z) zs += v;
  for (int i = 0; i < n; ++i) {
    EXPECT_NEAR(std::log(r.x[i]) + lpl[i], std::log(r.y[i]) + lpv[i], 1e-8) << "component " << i;
    EXPECT_NEAR(r.beta * r.y[i] + (1 - r.beta) * r.x[i], z[i] / zs, 1e-10);
  }
}

TEST_P(FlashTest, TwoPhaseHydrocarbonsSatisfyEquilibriumAndRoundTrip) {
  auto m = model_of(GetParam(), {"C3H8", "NC4", "NC5"});
  ASSERT_TRUE(m);
  const std::vector<double> z{0.6, 0.9, 0.5};  // unnormalised on purpose
  const double P = 5e5;
  // Bubble and dew points bracket a two-phase region.
  FlashResult bub, dew, mid;
  ASSERT_EQ(flash_pv(*m, P, 0.0, z, 300, bub), Status::Ok);
  ASSERT_EQ(flash_pv(*m, P, 1.0, z, 300, dew), Status::Ok);
  ASSERT_EQ(flash_pv(*m, P, 0.4, z, 300, mid), Status::Ok);
  EXPECT_LT(bub.T, mid.T);
  EXPECT_LT(mid.T, dew.T);
  EXPECT_GT(bub.T, 250);
  EXPECT_LT(dew.T, 400);
  for (double T : {bub.T + 0.5, mid.T, 0.5 * (mid.T + dew.T), dew.T - 0.5}) {
    SCOPED_TRACE(T);
    FlashResult r;
    ASSERT_EQ(flash_tp(*m, T, P, z, r), Status::Ok);
    ASSERT_EQ(r.status, Status::Ok);
    expect_equilibrium(*m, r, z);
    // PH and PS give back the temperature and split.
    FlashResult rh, rs;
    ASSERT_EQ(flash_ph(*m, P, r.H, z, 280, rh), Status::Ok);
    EXPECT_NEAR(rh.T, T, 1e-6);
    EXPECT_NEAR(rh.beta, r.beta, 1e-7);
    EXPECT_NEAR(rh.H, r.H, 1e-3);
    ASSERT_EQ(flash_ps(*m, P, r.S, z, 380, rs), Status::Ok);
    EXPECT_NEAR(rs.T, T, 1e-6);
    EXPECT_NEAR(rs.S, r.S, 1e-5);
  }
  // The PV temperature flashes back to the vapour fraction asked for.
  FlashResult back;
  ASSERT_EQ(flash_tp(*m, mid.T, P, z, back), Status::Ok);
  EXPECT_NEAR(back.beta, 0.4, 1e-7);
  expect_equilibrium(*m, mid, z);
  // Bubble point: vapour fraction zero, incipient vapour in equilibrium.
  EXPECT_EQ(bub.beta, 0.0);
  EXPECT_EQ(dew.beta, 1.0);
  // Enthalpy is continuous across the bubble and dew points.
  for (double Tb : {bub.T, dew.T}) {
    FlashResult a, b;
    ASSERT_EQ(flash_tp(*m, Tb - 1e-5, P, z, a), Status::Ok);
    ASSERT_EQ(flash_tp(*m, Tb + 1e-5, P, z, b), Status::Ok);
    // |dH| <= Cp_eff dT with the two-phase Cp_eff (latent heat included)
    // below 2e6 J/(kmol K); a jump would be of the order of 1e5 J/kmol.
    EXPECT_NEAR(a.H, b.H, 2e-5 * 2e6) << Tb;
    EXPECT_NEAR(a.beta, b.beta, 1e-3);
  }
}

TEST_P(FlashTest, SinglePhaseLabelsAndRoundTrips) {
  auto m = model_of(GetParam(), {"CH4", "C2H6", "C3H8", "NC4"});
  ASSERT_TRUE(m);
  const std::vector<double> z{0.1, 0.2, 0.3, 0.4};
  FlashResult r;
  // Subcooled liquid and superheated vapour.
  ASSERT_EQ(flash_tp(*m, 200, 3e6, z, r), Status::Ok);
  EXPECT_EQ(r.beta, 0.0);
  EXPECT_EQ(r.x, r.y);
  double h;
  ASSERT_EQ(m->enthalpy(Phase::Liquid, 200, 3e6, z, h), Status::Ok);
  EXPECT_NEAR(r.H, h, 1e-6);
  FlashResult rh;
  ASSERT_EQ(flash_ph(*m, 3e6, r.H, z, 300, rh), Status::Ok);
  EXPECT_NEAR(rh.T, 200, 1e-6);
  EXPECT_EQ(rh.beta, 0.0);
  ASSERT_EQ(flash_tp(*m, 450, 2e5, z, r), Status::Ok);
  EXPECT_EQ(r.beta, 1.0);
  ASSERT_EQ(m->enthalpy(Phase::Vapour, 450, 2e5, z, h), Status::Ok);
  EXPECT_NEAR(r.H, h, 1e-6);
  ASSERT_EQ(flash_ps(*m, 2e5, r.S, z, 300, rh), Status::Ok);
  EXPECT_NEAR(rh.T, 450, 1e-6);
  EXPECT_EQ(rh.beta, 1.0);
}

// A pure component boils at one temperature: the PH flash inside the dome
// returns the saturation temperature and the vapour fraction from the
// enthalpy; a feed with all other entries zero behaves the same way.
TEST_P(FlashTest, PureComponentInsideTheDome) {
  for (auto ids : {std::vector<std::string>{"H2O"}, std::vector<std::string>{"NC4", "H2O"}}) {
    auto m = model_of(GetParam(), ids);
    ASSERT_TRUE(m);
    const int k = ids.size() == 1 ? 0 : 1;
    std::vector<double> z(ids.size(), 0.0);
    z[k] = 2.0;
    const double P = 101325;
    double tsat = 0;
    {
      // Saturation temperature from the model's own vapour pressure.
      double lo = 300, hi = 500;
      for (int it = 0; it < 200; ++it) {
        double mid = 0.5 * (lo + hi), ps;
        ASSERT_NE(m->vapour_pressure(k, mid, ps), Status::Failed);
        (ps < P ? lo : hi) = mid;
      }
      tsat = 0.5 * (lo + hi);
    }
    double hl, hv;
    ASSERT_EQ(m->enthalpy(Phase::Liquid, tsat, P, z, hl), Status::Ok);
    ASSERT_EQ(m->enthalpy(Phase::Vapour, tsat, P, z, hv), Status::Ok);
    ASSERT_GT(hv - hl, 3e7);
    FlashResult r;
    ASSERT_EQ(flash_ph(*m, P, hl + 0.3 * (hv - hl), z, 350, r), Status::Ok);
    EXPECT_NEAR(r.T, tsat, 1e-6);
    EXPECT_NEAR(r.beta, 0.3, 1e-8);
    EXPECT_NEAR(r.H, hl + 0.3 * (hv - hl), 1e-3);
    FlashResult rs;
    ASSERT_EQ(flash_ps(*m, P, r.S, z, 350, rs), Status::Ok);
    EXPECT_NEAR(rs.T, tsat, 1e-6);
    EXPECT_NEAR(rs.beta, 0.3, 1e-7);
    FlashResult rv;
    ASSERT_EQ(flash_pv(*m, P, 0.3, z, 350, rv), Status::Ok);
    EXPECT_NEAR(rv.T, tsat, 1e-6);
    EXPECT_NEAR(rv.H, r.H, 1e-2);
    // Outside the dome: subcooled liquid and superheated vapour.
    ASSERT_EQ(flash_ph(*m, P, hl - 1e6, z, 350, r), Status::Ok);
    EXPECT_EQ(r.beta, 0.0);
    EXPECT_LT(r.T, tsat);
    ASSERT_EQ(flash_ph(*m, P, hv + 1e6, z, 350, r), Status::Ok);
    EXPECT_EQ(r.beta, 1.0);
    EXPECT_GT(r.T, tsat);
    ASSERT_EQ(flash_tp(*m, tsat - 1, P, z, r), Status::Ok);
    EXPECT_EQ(r.beta, 0.0);
    ASSERT_EQ(flash_tp(*m, tsat + 1, P, z, r), Status::Ok);
    EXPECT_EQ(r.beta, 1.0);
  }
}

// A mixture of one component listed twice boils at one temperature like the
// pure component: the flashes must find that temperature and take the
// vapour fraction from the enthalpy.
TEST_P(FlashTest, MixtureBehavingLikeAPureComponent) {
  auto pure = model_of(GetParam(), {"NC4"});
  auto twice = model_of(GetParam(), {"NC4", "NC4"});
  ASSERT_TRUE(pure && twice);
  const double P = 2e5;
  FlashResult sat;
  ASSERT_EQ(flash_pv(*pure, P, 0.5, std::vector<double>{1}, 300, sat), Status::Ok);
  const std::vector<double> z{0.3, 0.7};
  double hl, hv;
  ASSERT_EQ(twice->enthalpy(Phase::Liquid, sat.T, P, z, hl), Status::Ok);
  ASSERT_EQ(twice->enthalpy(Phase::Vapour, sat.T, P, z, hv), Status::Ok);
  FlashResult r;
  ASSERT_EQ(flash_ph(*twice, P, hl + 0.6 * (hv - hl), z, 250, r), Status::Ok);
  EXPECT_NEAR(r.T, sat.T, 1e-6);
  EXPECT_NEAR(r.beta, 0.6, 1e-6);
  EXPECT_NEAR(r.H, hl + 0.6 * (hv - hl), 1.0);
  ASSERT_EQ(flash_pv(*twice, P, 0.6, z, 250, r), Status::Ok);
  EXPECT_NEAR(r.T, sat.T, 1e-6);
  EXPECT_NEAR(r.H, hl + 0.6 * (hv - hl), 50.0);
  ASSERT_EQ(flash_pv(*twice, P, 0.0, z, 250, r), Status::Ok);
  EXPECT_NEAR(r.T, sat.T, 1e-6);
}

TEST_P(FlashTest, BadInputFails) {
  auto m = model_of(GetParam(), {"C3H8", "NC4"});
  ASSERT_TRUE(m);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<double> z{0.5, 0.5}, zero{0, 0}, neg{-0.5, 1}, shortz{1};
  FlashResult r;
  EXPECT_EQ(flash_tp(*m, 300, 0, z, r), Status::Failed);
  EXPECT_EQ(r.status, Status::Failed);
  EXPECT_EQ(flash_tp(*m, 0.1, 1e5, z, r), Status::Failed);
  EXPECT_EQ(flash_tp(*m, nan, 1e5, z, r), Status::Failed);
  EXPECT_EQ(flash_tp(*m, 300, 1e5, zero, r), Status::Failed);
  EXPECT_EQ(flash_tp(*m, 300, 1e5, neg, r), Status::Failed);
  EXPECT_EQ(flash_tp(*m, 300, 1e5, shortz, r), Status::Failed);
  EXPECT_EQ(flash_ph(*m, -1, 0, z, 300, r), Status::Failed);
  EXPECT_EQ(flash_ph(*m, 1e5, nan, z, 300, r), Status::Failed);
  EXPECT_EQ(flash_ps(*m, 1e5, nan, z, 300, r), Status::Failed);
  EXPECT_EQ(flash_ps(*m, 1e5, 0, zero, 300, r), Status::Failed);
  EXPECT_EQ(flash_pv(*m, 1e5, 1.5, z, 300, r), Status::Failed);
  EXPECT_EQ(flash_pv(*m, 1e5, nan, z, 300, r), Status::Failed);
  EXPECT_EQ(flash_pv(*m, 0, 0.5, z, 300, r), Status::Failed);
  // No temperature gives an enthalpy this low: not converged, reported.
  EXPECT_EQ(flash_ph(*m, 1e5, -1e12, z, 300, r), Status::Failed);
  EXPECT_EQ(r.status, Status::Failed);
  // A bad guess is only a guess.
  EXPECT_EQ(flash_tp(*m, 300, 1e5, z, r), Status::Ok);
  FlashResult r2;
  EXPECT_EQ(flash_ph(*m, 1e5, r.H, z, nan, r2), Status::Ok);
  EXPECT_NEAR(r2.T, 300, 1e-6);
}

// Tangent-plane distance of trial composition w from feed z (both roots of
// each, the lower Gibbs energy taken), in units of RT.
double tpd(const Model& m, double T, double P, const std::vector<double>& z,
           const std::vector<double>& w) {
  const int n = m.size();
  auto mu = [&](const std::vector<double>& x, std::vector<double>& out) {
    std::vector<double> lv(n), ll(n);
    EXPECT_NE(m.ln_fugacity_coefficients(Phase::Vapour, T, P, x, lv), Status::Failed);
    EXPECT_NE(m.ln_fugacity_coefficients(Phase::Liquid, T, P, x, ll), Status::Failed);
    double gv = 0, gl = 0;
    for (int i = 0; i < n; ++i) {
      gv += x[i] * lv[i];
      gl += x[i] * ll[i];
    }
    out = gv < gl ? lv : ll;
    for (int i = 0; i < n; ++i) out[i] += std::log(x[i]);
  };
  std::vector<double> mz, mw;
  mu(z, mz);
  mu(w, mw);
  double t = 0;
  for (int i = 0; i < n; ++i) t += w[i] * (mw[i] - mz[i]);
  return t;
}

// Stability analysis: wherever the flash returns one phase, no trial
// composition of a binary lowers the Gibbs energy (scan of the tangent-plane
// distance); where it returns two, each phase is itself stable and the split
// lowers the Gibbs energy of the feed.
TEST(PengRobinsonFlash, StabilityAgainstTangentPlaneScan) {
  auto m = model_of(Method::PengRobinson, {"CH4", "NC5"});
  ASSERT_TRUE(m);
  int one = 0, two = 0;
  for (double zc1 : {0.05, 0.3, 0.6, 0.9})
    for (double T : {220.0, 300.0, 380.0, 440.0})
      for (double P : {5e5, 3e6, 8e6, 1.4e7}) {
        SCOPED_TRACE(std::to_string(zc1) + " " + std::to_string(T) + " " + std::to_string(P));
        const std::vector<double> z{zc1, 1 - zc1};
        FlashResult r;
        ASSERT_EQ(flash_tp(*m, T, P, z, r), Status::Ok);
        if (r.beta == 0.0 || r.beta == 1.0) {
          ++one;
          double tmin = 1e300;
          for (int k = 1; k < 400; ++k) {
            const double w1 = k / 400.0;
            tmin = std::min(tmin, tpd(*m, T, P, z, {w1, 1 - w1}));
          }
          EXPECT_GT(tmin, -1e-7);
        } else {
          ++two;
          expect_equilibrium(*m, r, z);
          for (const auto* ph : {&r.x, &r.y}) {
            double tmin = 1e300;
            for (int k = 1; k < 400; ++k) {
              const double w1 = k / 400.0;
              tmin = std::min(tmin, tpd(*m, T, P, *ph, {w1, 1 - w1}));
            }
            EXPECT_GT(tmin, -1e-7);
          }
          // Gibbs energy (over RT) of the split below the feed's.
          std::vector<double> ll(2), lv(2);
          ASSERT_EQ(m->ln_fugacity_coefficients(Phase::Liquid, T, P, r.x, ll), Status::Ok);
          ASSERT_EQ(m->ln_fugacity_coefficients(Phase::Vapour, T, P, r.y, lv), Status::Ok);
          double g2 = 0;
          for (int i = 0; i < 2; ++i)
            g2 += (1 - r.beta) * r.x[i] * (std::log(r.x[i]) + ll[i]) +
                  r.beta * r.y[i] * (std::log(r.y[i]) + lv[i]);
          std::vector<double> lz(2), lzl(2);
          ASSERT_EQ(m->ln_fugacity_coefficients(Phase::Vapour, T, P, z, lz), Status::Ok);
          ASSERT_EQ(m->ln_fugacity_coefficients(Phase::Liquid, T, P, z, lzl), Status::Ok);
          double gv = 0, gl = 0;
          for (int i = 0; i < 2; ++i) {
            gv += z[i] * (std::log(z[i]) + lz[i]);
            gl += z[i] * (std::log(z[i]) + lzl[i]);
          }
          EXPECT_LT(g2, std::min(gv, gl) + 1e-12);
        }
      }
  EXPECT_GT(one, 10);
  EXPECT_GT(two, 10);
}

// A 10-component natural gas: two phases at 230 K / 4 MPa with equal
// fugacities, round trips through PH and PS; vapour above its dew point
// (about 321 K at 4 MPa: 1.5 % n-hexane).
TEST(PengRobinsonFlash, NaturalGas) {
  auto m = model_of(Method::PengRobinson,
                    {"N2", "CO2", "CH4", "C2H6", "C3H8", "IC4", "NC4", "IC5", "NC5", "NC6"});
  ASSERT_TRUE(m);
  const std::vector<double> z{1.0, 1.5, 80, 7, 4, 1.5, 2, 0.8, 0.7, 1.5};
  FlashResult r;
  ASSERT_EQ(flash_tp(*m, 230, 4e6, z, r), Status::Ok);
  expect_equilibrium(*m, r, z);
  EXPECT_GT(r.beta, 0.5);
  EXPECT_GT(r.x[9], r.y[9]);  // the heaviest concentrates in the liquid
  FlashResult rh, rs;
  ASSERT_EQ(flash_ph(*m, 4e6, r.H, z, 260, rh), Status::Ok);
  EXPECT_NEAR(rh.T, 230, 1e-6);
  EXPECT_NEAR(rh.beta, r.beta, 1e-7);
  ASSERT_EQ(flash_ps(*m, 4e6, r.S, z, 200, rs), Status::Ok);
  EXPECT_NEAR(rs.T, 230, 1e-6);
  ASSERT_EQ(flash_tp(*m, 350, 4e6, z, r), Status::Ok);
  EXPECT_EQ(r.beta, 1.0);
  // Dew point at 4 MPa lies between the two.
  FlashResult dew;
  ASSERT_EQ(flash_pv(*m, 4e6, 1.0, z, 250, dew), Status::Ok);
  EXPECT_GT(dew.T, 230);
  EXPECT_LT(dew.T, 350);
  ASSERT_EQ(flash_tp(*m, dew.T - 0.5, 4e6, z, r), Status::Ok);
  EXPECT_GT(r.beta, 0.9);
  EXPECT_LT(r.beta, 1.0);
  ASSERT_EQ(flash_tp(*m, dew.T + 0.5, 4e6, z, r), Status::Ok);
  EXPECT_EQ(r.beta, 1.0);
}

// No bubble point exists for 48 % carbon monoxide in toluene at 2.5 MPa (two
// phases down to 20 K): the PV flash must say so rather than return a
// temperature where the flash shows no phase boundary.
TEST(PengRobinsonFlash, NoBubblePointIsAFailure) {
  auto m = model_of(Method::PengRobinson, {"TOLUENE", "CO"});
  ASSERT_TRUE(m);
  const std::vector<double> z{0.719296, 0.658444};
  FlashResult r;
  ASSERT_EQ(flash_tp(*m, 30, 2.5e6, z, r), Status::Ok);
  EXPECT_GT(r.beta, 0.4);
  EXPECT_EQ(flash_pv(*m, 2.5e6, 0.0, z, 297, r), Status::Failed);
  EXPECT_EQ(r.status, Status::Failed);
  // Its dew point does exist.
  ASSERT_EQ(flash_pv(*m, 2.5e6, 1.0, z, 297, r), Status::Ok);
  FlashResult below;
  ASSERT_EQ(flash_tp(*m, r.T - 0.01, 2.5e6, z, below), Status::Ok);
  EXPECT_GT(below.beta, 0.99);
  EXPECT_LT(below.beta, 1.0);
}

// Single-phase labels beyond the critical point follow the molar volume:
// vapour when it exceeds the mole-average critical volume, else liquid.
TEST(PengRobinsonFlash, SupercriticalLabels) {
  auto m = model_of(Method::PengRobinson, {"CO2"});
  ASSERT_TRUE(m);
  const std::vector<double> z{1};
  FlashResult r;
  ASSERT_EQ(flash_tp(*m, 350, 2e6, z, r), Status::Ok);
  EXPECT_EQ(r.beta, 1.0);
  ASSERT_EQ(flash_tp(*m, 320, 2.5e7, z, r), Status::Ok);  // dense, about 0.05 m3/kmol
  EXPECT_EQ(r.beta, 0.0);
  ASSERT_EQ(flash_tp(*m, 250, 3e6, z, r), Status::Ok);  // compressed liquid below Tc
  EXPECT_EQ(r.beta, 0.0);
  // PH across the pseudo-critical region at 10 MPa is continuous and round-trips.
  for (double T : {290.0, 305.0, 315.0, 330.0, 400.0}) {
    ASSERT_EQ(flash_tp(*m, T, 1e7, z, r), Status::Ok);
    FlashResult rh;
    ASSERT_EQ(flash_ph(*m, 1e7, r.H, z, 300, rh), Status::Ok) << T;
    EXPECT_NEAR(rh.T, T, 1e-6);
  }
}

// The flashes use only the Model interface: the steam-table method is
// flashed like any other. IF97 saturation temperature at 101.325 kPa:
// 373.1243 K.
TEST(SteamTableFlash, PureWaterThroughTheModelInterface) {
  const Databank& db = Databank::builtin();
  std::string err;
  auto m = make_model(Method::SteamTable, {&db[db.find("H2O")]}, &err);
  if (!m) GTEST_SKIP() << err;
  const std::vector<double> z{1};
  const double P = 101325;
  double hl, hv;
  ASSERT_NE(m->enthalpy(Phase::Liquid, 373.1243, P, z, hl), Status::Failed);
  ASSERT_NE(m->enthalpy(Phase::Vapour, 373.1243, P, z, hv), Status::Failed);
  FlashResult r;
  ASSERT_EQ(flash_ph(*m, P, 0.25 * hv + 0.75 * hl, z, 350, r), Status::Ok);
  EXPECT_NEAR(r.T, 373.1243, 1e-3);
  EXPECT_NEAR(r.beta, 0.25, 1e-4);
  FlashResult rs;
  ASSERT_EQ(flash_ps(*m, P, r.S, z, 300, rs), Status::Ok);
  EXPECT_NEAR(rs.T, r.T, 1e-6);
  EXPECT_NEAR(rs.beta, r.beta, 1e-6);
  ASSERT_EQ(flash_tp(*m, 350, P, z, r), Status::Ok);
  EXPECT_EQ(r.beta, 0.0);
  ASSERT_EQ(flash_tp(*m, 400, P, z, r), Status::Ok);
  EXPECT_EQ(r.beta, 1.0);
  FlashResult rh;
  ASSERT_EQ(flash_ph(*m, P, r.H, z, 380, rh), Status::Ok);
  EXPECT_NEAR(rh.T, 400, 1e-6);
  ASSERT_EQ(flash_pv(*m, P, 1.0, z, 380, rh), Status::Ok);
  EXPECT_NEAR(rh.T, 373.1243, 1e-3);
}

INSTANTIATE_TEST_SUITE_P(Methods, FlashTest, ::testing::Values(Method::Ideal, Method::PengRobinson),
                         [](const auto& info) {
                           return info.param == Method::Ideal ? std::string("Ideal")
                                                              : std::string("PengRobinson");
                         });

}  // namespace
}  // namespace r3::thermo
