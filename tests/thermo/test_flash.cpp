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
constexpr Phase L = Phase::Liquid, V = Phase::Vapour;

class FlashTest : public ::testing::TestWithParam<Method> {};

// Equal fugacities of every component in the two phases of a two-phase
// result, and the material balance.
void expect_equilibrium(const Model& m, const FlashResult& r, const std::vector<double>& z) {
  const int n = m.size();
  ASSERT_GT(r.beta, 0.0);
  ASSERT_LT(r.beta, 1.0);
  std::vector<double> lpl(n), lpv(n);
  ASSERT_NE(m.ln_fugacity_coefficients(L, r.T, r.P, r.x, lpl), Status::Failed);
  ASSERT_NE(m.ln_fugacity_coefficients(V, r.T, r.P, r.y, lpv), Status::Failed);
  double zs = 0;
  for (double v : z) zs += v;
  for (int i = 0; i < n; ++i) {
    EXPECT_NEAR(std::log(r.x[i]) + lpl[i], std::log(r.y[i]) + lpv[i], 1e-8) << "component " << i;
    EXPECT_NEAR(r.beta * r.y[i] + (1 - r.beta) * r.x[i], z[i] / zs, 1e-10);
  }
}

// PH and PS flashes give back the temperature, split, H and S of a TP flash.
void expect_round_trip(const Model& m, const FlashResult& r, const std::vector<double>& z,
                       double guess) {
  FlashResult rh, rs;
  ASSERT_EQ(flash_ph(m, r.P, r.H, z, guess, rh), Status::Ok);
  EXPECT_NEAR(rh.T, r.T, 1e-6);
  EXPECT_NEAR(rh.beta, r.beta, 1e-7);
  EXPECT_NEAR(rh.H, r.H, 1e-3);
  EXPECT_NEAR(rh.S, r.S, 1e-3);  // the property not held is the state's too
  ASSERT_EQ(flash_ps(m, r.P, r.S, z, guess + 100, rs), Status::Ok);
  EXPECT_NEAR(rs.T, r.T, 1e-6);
  EXPECT_NEAR(rs.S, r.S, 1e-5);
  EXPECT_NEAR(rs.H, r.H, 1.0);
  EXPECT_NEAR(rs.beta, r.beta, 1e-7);
}

TEST_P(FlashTest, TwoPhaseHydrocarbonsSatisfyEquilibriumAndRoundTrip) {
  auto m = model_of(GetParam(), {"C3H8", "NC4", "NC5"});
  ASSERT_TRUE(m);
  const std::vector<double> z{0.6, 0.9, 0.5};  // unnormalised on purpose
  const double P = 5e5;
  FlashResult bub, dew, mid, back;
  ASSERT_EQ(flash_pv(*m, P, 0.0, z, 300, bub), Status::Ok);
  ASSERT_EQ(flash_pv(*m, P, 1.0, z, 300, dew), Status::Ok);
  ASSERT_EQ(flash_pv(*m, P, 0.4, z, 300, mid), Status::Ok);
  EXPECT_EQ(bub.beta, 0.0);
  EXPECT_EQ(dew.beta, 1.0);
  EXPECT_LT(bub.T, mid.T);
  EXPECT_LT(mid.T, dew.T);
  EXPECT_GT(bub.T, 250);
  EXPECT_LT(dew.T, 400);
  expect_equilibrium(*m, mid, z);
  ASSERT_EQ(flash_tp(*m, mid.T, P, z, back), Status::Ok);  // back to the fraction asked for
  EXPECT_NEAR(back.beta, 0.4, 1e-7);
  for (double T : {bub.T + 0.5, mid.T, 0.5 * (mid.T + dew.T), dew.T - 0.5}) {
    SCOPED_TRACE(T);
    FlashResult r;
    ASSERT_EQ(flash_tp(*m, T, P, z, r), Status::Ok);
    ASSERT_EQ(r.status, Status::Ok);
    expect_equilibrium(*m, r, z);
    expect_round_trip(*m, r, z, 280);
  }
  // Enthalpy is continuous across the bubble and dew points: |dH| <= Cp_eff
  // dT with the two-phase Cp_eff (latent heat included) below 2e6 J/(kmol K);
  // a jump would be of the order of 1e5 J/kmol.
  for (double Tb : {bub.T, dew.T}) {
    FlashResult a, b;
    ASSERT_EQ(flash_tp(*m, Tb - 1e-5, P, z, a), Status::Ok);
    ASSERT_EQ(flash_tp(*m, Tb + 1e-5, P, z, b), Status::Ok);
    EXPECT_NEAR(a.H, b.H, 2e-5 * 2e6) << Tb;
    EXPECT_NEAR(a.beta, b.beta, 1e-3);
  }
}

// A pure component boils at one temperature (from the model's own vapour
// pressure): the PH, PS and PV flashes inside the dome return it and the
// vapour fraction; a feed with all other entries zero behaves the same way.
TEST_P(FlashTest, PureComponentInsideTheDome) {
  for (auto ids : {std::vector<std::string>{"H2O"}, std::vector<std::string>{"NC4", "H2O"}}) {
    auto m = model_of(GetParam(), ids);
    ASSERT_TRUE(m);
    const int k = ids.size() == 1 ? 0 : 1;
    std::vector<double> z(ids.size(), 0.0);
    z[k] = 2.0;
    const double P = 101325;
    double lo = 300, hi = 500, hl, hv;
    for (int it = 0; it < 200; ++it) {
      double mid = 0.5 * (lo + hi), ps;
      ASSERT_NE(m->vapour_pressure(k, mid, ps), Status::Failed);
      (ps < P ? lo : hi) = mid;
    }
    const double tsat = 0.5 * (lo + hi);
    ASSERT_EQ(m->enthalpy(L, tsat, P, z, hl), Status::Ok);
    ASSERT_EQ(m->enthalpy(V, tsat, P, z, hv), Status::Ok);
    ASSERT_GT(hv - hl, 3e7);
    FlashResult r, rs, rv;
    ASSERT_EQ(flash_ph(*m, P, hl + 0.3 * (hv - hl), z, 350, r), Status::Ok);
    EXPECT_NEAR(r.T, tsat, 1e-6);
    EXPECT_NEAR(r.beta, 0.3, 1e-8);
    EXPECT_NEAR(r.H, hl + 0.3 * (hv - hl), 1e-3);
    ASSERT_EQ(flash_ps(*m, P, r.S, z, 350, rs), Status::Ok);
    EXPECT_NEAR(rs.T, tsat, 1e-6);
    EXPECT_NEAR(rs.beta, 0.3, 1e-7);
    ASSERT_EQ(flash_pv(*m, P, 0.3, z, 350, rv), Status::Ok);
    EXPECT_NEAR(rv.T, tsat, 1e-6);
    EXPECT_NEAR(rv.H, r.H, 1e-2);
    // Outside the dome: subcooled liquid and superheated vapour.
    for (double dh : {-1e6, 1e6}) {
      ASSERT_EQ(flash_ph(*m, P, (dh < 0 ? hl : hv) + dh, z, 350, r), Status::Ok);
      EXPECT_EQ(r.beta, dh < 0 ? 0.0 : 1.0);
      EXPECT_EQ(r.T > tsat, dh > 0);
      ASSERT_EQ(flash_tp(*m, tsat + dh * 1e-6, P, z, r), Status::Ok);
      EXPECT_EQ(r.beta, dh < 0 ? 0.0 : 1.0);
    }
  }
}

// One component listed twice boils at one temperature like the pure
// component: the flashes find it and take the vapour fraction from the
// enthalpy.
TEST_P(FlashTest, MixtureBehavingLikeAPureComponent) {
  auto pure = model_of(GetParam(), {"NC4"});
  auto twice = model_of(GetParam(), {"NC4", "NC4"});
  ASSERT_TRUE(pure && twice);
  const double P = 2e5;
  const std::vector<double> z{0.3, 0.7};
  FlashResult sat, r;
  double hl, hv;
  ASSERT_EQ(flash_pv(*pure, P, 0.5, std::vector<double>{1}, 300, sat), Status::Ok);
  ASSERT_EQ(twice->enthalpy(L, sat.T, P, z, hl), Status::Ok);
  ASSERT_EQ(twice->enthalpy(V, sat.T, P, z, hv), Status::Ok);
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
  // The last: no temperature gives an enthalpy this low, not converged.
  const Status got[] = {flash_tp(*m, 300, 0, z, r),     flash_tp(*m, 0.1, 1e5, z, r),
                        flash_tp(*m, nan, 1e5, z, r),   flash_tp(*m, 300, 1e5, zero, r),
                        flash_tp(*m, 300, 1e5, neg, r), flash_tp(*m, 300, 1e5, shortz, r),
                        flash_ph(*m, -1, 0, z, 300, r), flash_ph(*m, 1e5, nan, z, 300, r),
                        flash_ps(*m, 1e5, nan, z, 300, r), flash_ps(*m, 1e5, 0, zero, 300, r),
                        flash_pv(*m, 1e5, 1.5, z, 300, r), flash_pv(*m, 1e5, nan, z, 300, r),
                        flash_pv(*m, 0, 0.5, z, 300, r), flash_ph(*m, 1e5, -1e12, z, 300, r)};
  for (size_t i = 0; i < std::size(got); ++i) EXPECT_EQ(got[i], Status::Failed) << i;
  EXPECT_EQ(r.status, Status::Failed);
  // A bad guess is only a guess.
  FlashResult r2;
  EXPECT_EQ(flash_tp(*m, 300, 1e5, z, r), Status::Ok);
  EXPECT_EQ(flash_ph(*m, 1e5, r.H, z, nan, r2), Status::Ok);
  EXPECT_NEAR(r2.T, 300, 1e-6);
}

INSTANTIATE_TEST_SUITE_P(Methods, FlashTest, ::testing::Values(Method::Ideal, Method::PengRobinson),
                         testing::method_name);

// Gibbs energy over RT of composition x, the lower root's; mu gets the
// chemical potentials over RT (ln x + ln phi).
double gibbs(const Model& m, double T, double P, const std::vector<double>& x,
             std::vector<double>* mu = nullptr, const Phase* only = nullptr) {
  double best = 1e300;
  for (Phase ph : {V, L}) {
    if (only && ph != *only) continue;
    std::vector<double> lp(m.size());
    EXPECT_NE(m.ln_fugacity_coefficients(ph, T, P, x, lp), Status::Failed);
    double g = 0;
    for (int i = 0; i < m.size(); ++i) g += x[i] * (lp[i] += std::log(x[i]));
    if (g < best) {
      best = g;
      if (mu) *mu = lp;
    }
  }
  return best;
}

// Smallest tangent-plane distance from composition z over a scan of binary
// trial compositions.
double min_tpd(const Model& m, double T, double P, const std::vector<double>& z) {
  std::vector<double> mz, mw;
  gibbs(m, T, P, z, &mz);
  double tmin = 1e300;
  for (int k = 1; k < 400; ++k) {
    const std::vector<double> w{k / 400.0, 1 - k / 400.0};
    gibbs(m, T, P, w, &mw);
    tmin = std::min(tmin, w[0] * (mw[0] - mz[0]) + w[1] * (mw[1] - mz[1]));
  }
  return tmin;
}

// Stability: wherever the flash returns one phase, no trial composition of
// the binary lowers the Gibbs energy; where it returns two, each phase is
// itself stable and the split lowers the Gibbs energy of the feed.
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
          EXPECT_GT(min_tpd(*m, T, P, z), -1e-7);
          continue;
        }
        ++two;
        expect_equilibrium(*m, r, z);
        EXPECT_GT(min_tpd(*m, T, P, r.x), -1e-7);
        EXPECT_GT(min_tpd(*m, T, P, r.y), -1e-7);
        const double g2 = (1 - r.beta) * gibbs(*m, T, P, r.x, nullptr, &L) +
                          r.beta * gibbs(*m, T, P, r.y, nullptr, &V);
        EXPECT_LT(g2, gibbs(*m, T, P, z) + 1e-12);
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
  FlashResult r, dew;
  ASSERT_EQ(flash_tp(*m, 230, 4e6, z, r), Status::Ok);
  expect_equilibrium(*m, r, z);
  EXPECT_GT(r.beta, 0.5);
  EXPECT_GT(r.x[9], r.y[9]);  // the heaviest concentrates in the liquid
  expect_round_trip(*m, r, z, 260);
  ASSERT_EQ(flash_tp(*m, 350, 4e6, z, r), Status::Ok);
  EXPECT_EQ(r.beta, 1.0);
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
// temperature where the flash shows no phase boundary. Its dew point exists.
TEST(PengRobinsonFlash, NoBubblePointIsAFailure) {
  auto m = model_of(Method::PengRobinson, {"TOLUENE", "CO"});
  ASSERT_TRUE(m);
  const std::vector<double> z{0.719296, 0.658444};
  FlashResult r, below;
  ASSERT_EQ(flash_tp(*m, 30, 2.5e6, z, r), Status::Ok);
  EXPECT_GT(r.beta, 0.4);
  EXPECT_EQ(flash_pv(*m, 2.5e6, 0.0, z, 297, r), Status::Failed);
  EXPECT_EQ(r.status, Status::Failed);
  ASSERT_EQ(flash_pv(*m, 2.5e6, 1.0, z, 297, r), Status::Ok);
  ASSERT_EQ(flash_tp(*m, r.T - 0.01, 2.5e6, z, below), Status::Ok);
  EXPECT_GT(below.beta, 0.99);
  EXPECT_LT(below.beta, 1.0);
}

// Single-phase labels beyond the critical point follow the molar volume:
// vapour when it exceeds the mole-average critical volume, else liquid. PH
// across the pseudo-critical region at 10 MPa round-trips.
TEST(PengRobinsonFlash, SupercriticalLabels) {
  auto m = model_of(Method::PengRobinson, {"CO2"});
  ASSERT_TRUE(m);
  const std::vector<double> z{1};
  FlashResult r, rh;
  // Gas; dense, about 0.05 m3/kmol; compressed liquid below Tc.
  for (auto [T, P, beta] : {std::tuple{350.0, 2e6, 1.0}, {320.0, 2.5e7, 0.0}, {250.0, 3e6, 0.0}}) {
    ASSERT_EQ(flash_tp(*m, T, P, z, r), Status::Ok);
    EXPECT_EQ(r.beta, beta) << T;
  }
  for (double T : {290.0, 305.0, 315.0, 330.0, 400.0}) {
    ASSERT_EQ(flash_tp(*m, T, 1e7, z, r), Status::Ok);
    ASSERT_EQ(flash_ph(*m, 1e7, r.H, z, 300, rh), Status::Ok) << T;
    EXPECT_NEAR(rh.T, T, 1e-6);
  }
}

}  // namespace
}  // namespace r3::thermo
