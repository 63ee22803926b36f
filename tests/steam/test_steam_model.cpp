// The steam-table property method (STEAM-TA): molar values are the steam
// tables' times IF97's molar mass, the phase branches behave, ln phi has its
// limits, and the flashes cover the tables' whole range. (Gradients,
// consistency and bad input: the property-method suite of test_thermo.)
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "host/steam/if97.h"
#include "host/thermo/thermo.h"
#include "tests/thermo/thermo_test_util.h"

namespace r3::thermo {
namespace {

constexpr double kMw = 18.015268;
constexpr Phase L = Phase::Liquid, V = Phase::Vapour;

class SteamModel : public ::testing::Test {
 protected:
  void SetUp() override {
    model = testing::model_of(Method::SteamTable, {"H2O"});
    ASSERT_NE(model, nullptr);
  }
  double h(Phase ph, double T, double P, Status expect = Status::Ok) const {
    return testing::prop(*model, 0, ph, T, P, x, expect);
  }
  double psat(double T) const { return testing::psat(*model, T); }
  double lnphi(Phase ph, double T, double P) const { return testing::lnphi(*model, ph, T, P); }
  std::unique_ptr<Model> model;
  std::vector<double> x{1.0};
};

// States of regions 1, 2, 3 and 5 against the tables' own routines (whose
// published values the IF97 tests check) for every property; the molar mass
// is IF97's and the compressibility P v / (R_w T).
TEST_F(SteamModel, MolarValuesAreTheSteamTablesTimesMolecularWeight) {
  for (auto [ph, T, P] : {std::tuple{L, 300.0, 3e6},
                          {V, 700.0, 3e6},
                          {L, 640.0, 25e6},
                          {V, 1500.0, 30e6},
                          {V, 500.0, 1e6}}) {
    steam::State ref;
    ASSERT_EQ(steam::state_pT(P, T, ref), steam::Status::Ok);
    double val[5];  // H, S, Cp, V, Z
    for (int k = 0; k < 5; ++k) val[k] = testing::prop(*model, k, ph, T, P, x);
    EXPECT_NEAR(val[0], ref.h * kMw, 1e-9 * std::abs(ref.h * kMw) + 1e-6);
    EXPECT_NEAR(val[1], ref.s * kMw, 1e-9 * std::abs(ref.s * kMw) + 1e-9);
    EXPECT_NEAR(val[2], ref.cp * kMw, 1e-9 * val[2]);
    EXPECT_NEAR(val[3], ref.v * kMw, 1e-9 * val[3]);
    EXPECT_NEAR(val[4], P * ref.v / (steam::kR * T), 1e-12);
  }
  double mw;
  ASSERT_EQ(model->molecular_weight(x, mw), Status::Ok);
  EXPECT_EQ(mw, 18.015268);
  // Superheated steam at 1 MPa, 500 K: about 2891 kJ/kg in the steam tables.
  EXPECT_NEAR(h(V, 500, 1e6) / kMw, 2890.7e3, 3e3);
}

TEST_F(SteamModel, PhaseBranchesAndExtrapolation) {
  // Compressed liquid (psat(400 K) ~ 0.246 MPa): the vapour branch is
  // metastable, flagged, with the latent heat of order 40 MJ/kmol.
  double vl, vv;
  EXPECT_EQ(model->molar_volume(L, 400, 1e6, x, vl), Status::Ok);
  EXPECT_EQ(model->molar_volume(V, 400, 1e6, x, vv), Status::Extrapolated);
  EXPECT_GT(h(V, 400, 1e6, Status::Extrapolated) - h(L, 400, 1e6), 30e6);
  EXPECT_GT(vv, 50 * vl);
  // Superheated liquid and supercooled vapour in region 3.
  const double ps = psat(640);
  EXPECT_GT(h(V, 640, 0.98 * ps), h(L, 640, 0.98 * ps, Status::Extrapolated));
  EXPECT_GT(h(V, 640, 1.002 * ps, Status::Extrapolated), h(L, 640, 1.002 * ps));
  // Exactly on the saturation line each phase is its saturated state.
  for (double Ts : {373.15, 600.0, 640.0}) {
    const double p = psat(Ts), hl = h(L, Ts, p), hv = h(V, Ts, p);
    EXPECT_GT(hv - hl, 5e6) << Ts;  // latent heat, J/kmol
    steam::State l, g;
    ASSERT_EQ(steam::state_ph(p, hl / kMw - 1.0, l), steam::Status::Ok);
    ASSERT_EQ(steam::state_ph(p, hv / kMw + 1.0, g), steam::Status::Ok);
    EXPECT_EQ(l.quality, 0.0);
    EXPECT_EQ(g.quality, 1.0);
  }
  // Beyond the vapour spinodal of region 3 there is no light root: the
  // stable (liquid) state is returned, flagged. Supercritical: one fluid.
  EXPECT_EQ(h(V, 640, 1.05 * ps, Status::Extrapolated), h(L, 640, 1.05 * ps));
  EXPECT_EQ(h(L, 700, 30e6), h(V, 700, 30e6));
}

// ln phi: zero in the ideal-gas limit (regions 2 and 5), continuous across
// 1073.15 K within the regions' small inconsistency, and equal between the
// phases at saturation (the saturation equation and the basic equations agree
// to 1e-4 in g/RT).
TEST_F(SteamModel, FugacityCoefficient) {
  double lp[1], dT[1], dP[1], dx[1] = {99};
  LnPhiDerivatives d{dT, dP, dx};
  for (double T : {300.0, 800.0, 1073.2, 1500.0, 2200.0}) {
    ASSERT_EQ(model->ln_fugacity_coefficients(V, T, 0.01, x, lp, &d), Status::Ok);
    EXPECT_NEAR(lp[0], 0.0, 1e-6) << T;
    EXPECT_NEAR(dT[0], 0.0, 1e-8) << T;
    EXPECT_EQ(dx[0], 0.0);
  }
  EXPECT_NEAR(lnphi(V, 1073.15, 20e6), lnphi(V, 1073.16, 20e6), 1e-3);
  for (double T : {300.0, 450.0, 600.0, 640.0})
    EXPECT_NEAR(lnphi(L, T, psat(T)), lnphi(V, T, psat(T)), 1e-4) << T;
}

// Flashes over the saturation line down to the triple point (IAPWS R7-97(2012)
// Tables 35/36; 273.16 K at 611.657 Pa; 1000 Pa boils at 280.12 K and 101.325
// kPa at 373.1243 K), wet states from h and s at 1-101 kPa, and phase labels.
// (The tables' own flashes elsewhere: the IF97 round trips.)
TEST_F(SteamModel, FlashesOverTheWholeRange) {
  FlashResult r, l, g;
  const struct {
    double P, T, tol;
  } sat[] = {{611.657, 273.16, 5e-3},    {1000, 280.12, 5e-3},      {0.1e6, 372.755919, 1e-6},
             {101325, 373.1243, 1e-3},   {1e6, 453.035632, 1e-6},   {10e6, 584.149488, 1e-6}};
  for (const auto& c : sat)
    for (double beta : {0.0, 0.5, 1.0}) {
      ASSERT_EQ(flash_pv(*model, c.P, beta, x, 300, r), Status::Ok) << c.P;
      EXPECT_NEAR(r.T, c.T, c.tol) << c.P;
    }
  for (double P : {1e3, 2e3, 5e3, 10e3, 20e3, 50e3, 101325.0}) {
    ASSERT_EQ(flash_pv(*model, P, 0.0, x, 300, l), Status::Ok);
    ASSERT_EQ(flash_pv(*model, P, 1.0, x, 300, g), Status::Ok);
    for (double beta : {1e-6, 0.25, 0.3, 0.999}) {
      ASSERT_EQ(flash_ph(*model, P, l.H + beta * (g.H - l.H), x, 350, r), Status::Ok);
      EXPECT_NEAR(r.beta, beta, 1e-9) << P;
      EXPECT_NEAR(r.T, l.T, 1e-6) << P;
      ASSERT_EQ(flash_ps(*model, P, l.S + beta * (g.S - l.S), x, 300, r), Status::Ok);
      EXPECT_NEAR(r.beta, beta, 1e-9) << P;
    }
  }
  for (auto [T, beta] : {std::pair{350.0, 0.0}, {400.0, 1.0}}) {
    ASSERT_EQ(flash_tp(*model, T, 101325, x, r), Status::Ok);
    EXPECT_EQ(r.beta, beta);
    ASSERT_EQ(flash_ph(*model, 101325, r.H, x, 380, g), Status::Ok);
    EXPECT_NEAR(g.T, T, 1e-6);
  }
}

}  // namespace
}  // namespace r3::thermo
