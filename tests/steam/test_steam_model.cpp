// The steam-table property method: molar values agree with the steam tables,
// the phase branches behave, gradients match finite differences, ln phi is
// consistent with h and v, and bad input or a wrong component list fails.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "host/steam/if97.h"
#include "host/thermo/thermo.h"

namespace r3::thermo {
namespace {

constexpr double kMw = 18.015268;

Component water() {
  Component c;
  c.id = "H2O";
  c.name = "water";
  c.mw = kMw;
  return c;
}

class SteamModel : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string err;
    model = make_steam_table_model({&w}, &err);
    ASSERT_NE(model, nullptr) << err;
    ASSERT_EQ(model->method(), Method::SteamTable);
  }
  Component w = water();
  std::unique_ptr<Model> model;
  std::vector<double> x{1.0};
};

TEST(SteamModelFactory, RejectsAnythingButWaterAlone) {
  Component h2o = water(), co2;
  co2.id = "CO2";
  std::string err;
  EXPECT_EQ(make_steam_table_model({&co2}, &err), nullptr);
  EXPECT_FALSE(err.empty());
  err.clear();
  EXPECT_EQ(make_steam_table_model({&h2o, &co2}, &err), nullptr);
  EXPECT_FALSE(err.empty());
  EXPECT_EQ(make_steam_table_model({}, &err), nullptr);
  EXPECT_NE(make_steam_table_model({&h2o}, nullptr), nullptr);
}

TEST_F(SteamModel, MolarValuesAreTheSteamTablesTimesMolecularWeight) {
  struct Case {
    Phase phase;
    double T, P;
  };
  for (const Case& c : {Case{Phase::Liquid, 300, 3e6}, Case{Phase::Vapour, 700, 3e6},
                        Case{Phase::Liquid, 640, 25e6}, Case{Phase::Vapour, 1500, 30e6}}) {
    steam::State ref;
    ASSERT_EQ(steam::state_pT(c.P, c.T, ref), steam::Status::Ok);
    double h, s, cp, v, z;
    ASSERT_EQ(model->enthalpy(c.phase, c.T, c.P, x, h), Status::Ok);
    ASSERT_EQ(model->entropy(c.phase, c.T, c.P, x, s), Status::Ok);
    ASSERT_EQ(model->heat_capacity(c.phase, c.T, c.P, x, cp), Status::Ok);
    ASSERT_EQ(model->molar_volume(c.phase, c.T, c.P, x, v), Status::Ok);
    ASSERT_EQ(model->compressibility(c.phase, c.T, c.P, x, z), Status::Ok);
    EXPECT_NEAR(h, ref.h * kMw, 1e-9 * std::abs(ref.h * kMw) + 1e-6);
    EXPECT_NEAR(s, ref.s * kMw, 1e-9 * std::abs(ref.s * kMw) + 1e-9);
    EXPECT_NEAR(cp, ref.cp * kMw, 1e-9 * cp);
    EXPECT_NEAR(v, ref.v * kMw, 1e-9 * v);
    EXPECT_NEAR(z, c.P * ref.v / (steam::kR * c.T), 1e-12);
  }
}

TEST_F(SteamModel, ReferenceStateIsTheTriplePointLiquid) {
  // u = h - P v and s vanish for the saturated liquid at 273.16 K.
  double ps, h, s, v;
  ASSERT_EQ(model->vapour_pressure(0, 273.16, ps), Status::Ok);
  EXPECT_NEAR(ps, 611.657, 0.01);
  ASSERT_EQ(model->enthalpy(Phase::Liquid, 273.16, ps, x, h), Status::Ok);
  ASSERT_EQ(model->entropy(Phase::Liquid, 273.16, ps, x, s), Status::Ok);
  ASSERT_EQ(model->molar_volume(Phase::Liquid, 273.16, ps, x, v), Status::Ok);
  EXPECT_NEAR(h - ps * v, 0.0, 0.5);  // J/kmol, well under 1e-4 kJ/kg
  EXPECT_NEAR(s, 0.0, 0.01);
}

TEST_F(SteamModel, PhaseBranchesAndExtrapolation) {
  const double T = 400, P = 1e6;  // compressed liquid: psat(400 K) ~ 0.246 MPa
  double hl, hv, vl, vv;
  EXPECT_EQ(model->enthalpy(Phase::Liquid, T, P, x, hl), Status::Ok);
  EXPECT_EQ(model->enthalpy(Phase::Vapour, T, P, x, hv), Status::Extrapolated);
  EXPECT_EQ(model->molar_volume(Phase::Liquid, T, P, x, vl), Status::Ok);
  EXPECT_EQ(model->molar_volume(Phase::Vapour, T, P, x, vv), Status::Extrapolated);
  EXPECT_GT(hv - hl, 30e6);  // latent heat of order 40 MJ/kmol
  EXPECT_GT(vv, 50 * vl);
  // Superheated liquid in region 3 and supercooled vapour in region 3.
  double ps;
  ASSERT_EQ(model->vapour_pressure(0, 640, ps), Status::Ok);
  EXPECT_EQ(model->enthalpy(Phase::Liquid, 640, 0.98 * ps, x, hl), Status::Extrapolated);
  EXPECT_EQ(model->enthalpy(Phase::Vapour, 640, 0.98 * ps, x, hv), Status::Ok);
  EXPECT_GT(hv, hl);
  EXPECT_EQ(model->enthalpy(Phase::Vapour, 640, 1.002 * ps, x, hv), Status::Extrapolated);
  EXPECT_EQ(model->enthalpy(Phase::Liquid, 640, 1.002 * ps, x, hl), Status::Ok);
  EXPECT_GT(hv, hl);
  // Exactly on the saturation line each phase is its saturated state.
  for (double Ts : {373.15, 600.0, 640.0}) {
    ASSERT_EQ(model->vapour_pressure(0, Ts, ps), Status::Ok);
    ASSERT_EQ(model->enthalpy(Phase::Liquid, Ts, ps, x, hl), Status::Ok);
    ASSERT_EQ(model->enthalpy(Phase::Vapour, Ts, ps, x, hv), Status::Ok);
    EXPECT_GT(hv - hl, 5e6) << Ts;  // latent heat, J/kmol
    steam::State l, g;
    ASSERT_EQ(steam::state_ph(ps, hl / kMw - 1.0, l), steam::Status::Ok);
    ASSERT_EQ(steam::state_ph(ps, hv / kMw + 1.0, g), steam::Status::Ok);
    EXPECT_EQ(l.quality, 0.0);
    EXPECT_EQ(g.quality, 1.0);
  }
  // Beyond the vapour spinodal of region 3 there is no light root: the
  // stable (liquid) state is returned, flagged.
  ASSERT_EQ(model->vapour_pressure(0, 640, ps), Status::Ok);
  EXPECT_EQ(model->enthalpy(Phase::Vapour, 640, 1.05 * ps, x, hv), Status::Extrapolated);
  ASSERT_EQ(model->enthalpy(Phase::Liquid, 640, 1.05 * ps, x, hl), Status::Ok);
  EXPECT_EQ(hv, hl);
  // Supercritical: one fluid.
  EXPECT_EQ(model->enthalpy(Phase::Liquid, 700, 30e6, x, hl), Status::Ok);
  EXPECT_EQ(model->enthalpy(Phase::Vapour, 700, 30e6, x, hv), Status::Ok);
  EXPECT_EQ(hl, hv);
}

// Every gradient against central differences, on both branches, in stable
// and metastable states and in regions 1, 2, 3 and 5.
TEST_F(SteamModel, GradientsMatchFiniteDifferences) {
  struct Case {
    Phase phase;
    double T, P;
  };
  const Case cases[] = {{Phase::Liquid, 350, 5e6},   {Phase::Vapour, 500, 1e6},
                        {Phase::Vapour, 400, 1e6},   {Phase::Liquid, 450, 0.5e6},
                        {Phase::Liquid, 650, 40e6},  {Phase::Vapour, 660, 20e6},
                        {Phase::Vapour, 1200, 20e6}, {Phase::Liquid, 630, 20e6}};
  // The four properties by index (a switch: arrays of member-function
  // pointers trip the bounds sanitizer of some compilers).
  auto call = [&](int k, Phase ph, double T, double P, double& v, Gradient* g) {
    switch (k) {
      case 0:
        return model->enthalpy(ph, T, P, x, v, g);
      case 1:
        return model->entropy(ph, T, P, x, v, g);
      case 2:
        return model->heat_capacity(ph, T, P, x, v, g);
      default:
        return model->molar_volume(ph, T, P, x, v, g);
    }
  };
  const char* names[] = {"h", "s", "cp", "v"};
  for (const Case& c : cases) {
    for (int k = 0; k < 4; ++k) {
      double val, dxv = 99;
      Gradient g;
      g.dx = std::span<double>(&dxv, 1);
      const Status s0 = call(k, c.phase, c.T, c.P, val, &g);
      ASSERT_NE(s0, Status::Failed) << names[k] << " T=" << c.T << " P=" << c.P;
      const double dT = 1e-3, dP = 1e-6 * c.P;
      double a, b;
      call(k, c.phase, c.T + dT, c.P, a, nullptr);
      call(k, c.phase, c.T - dT, c.P, b, nullptr);
      const double fdT = (a - b) / (2 * dT);
      call(k, c.phase, c.T, c.P + dP, a, nullptr);
      call(k, c.phase, c.T, c.P - dP, b, nullptr);
      const double fdP = (a - b) / (2 * dP);
      EXPECT_NEAR(g.dT, fdT, 1e-5 * std::abs(fdT) + 1e-9 * std::abs(val) + 1e-12)
          << names[k] << " dT at T=" << c.T << " P=" << c.P;
      EXPECT_NEAR(g.dP, fdP, 1e-5 * std::abs(fdP) + 1e-12 * std::abs(val) + 1e-15)
          << names[k] << " dP at T=" << c.T << " P=" << c.P;
      EXPECT_EQ(dxv, 0.0);
    }
  }
}

// ln phi: zero in the ideal-gas limit, equal between the phases at
// saturation, and its derivatives match finite differences.
TEST_F(SteamModel, FugacityCoefficient) {
  double lp[1], dT[1], dP[1], dx[1] = {99};
  LnPhiDerivatives d{dT, dP, dx};
  // The ideal-gas limit, in region 2 and in region 5.
  for (double T : {300.0, 800.0, 1073.2, 1500.0, 2200.0}) {
    ASSERT_EQ(model->ln_fugacity_coefficients(Phase::Vapour, T, 0.01, x, lp, &d), Status::Ok);
    EXPECT_NEAR(lp[0], 0.0, 1e-6) << T;
    EXPECT_NEAR(dT[0], 0.0, 1e-8) << T;
  }
  // Across the 1073.15 K boundary ln phi moves only by the regions' small
  // inconsistency.
  double below[1], above[1];
  ASSERT_EQ(model->ln_fugacity_coefficients(Phase::Vapour, 1073.15, 20e6, x, below), Status::Ok);
  ASSERT_EQ(model->ln_fugacity_coefficients(Phase::Vapour, 1073.16, 20e6, x, above), Status::Ok);
  EXPECT_NEAR(below[0], above[0], 1e-3);
  for (double T : {300.0, 450.0, 600.0, 640.0}) {
    double ps, ll[1], lv[1];
    ASSERT_EQ(model->vapour_pressure(0, T, ps), Status::Ok);
    ASSERT_NE(model->ln_fugacity_coefficients(Phase::Liquid, T, ps, x, ll), Status::Failed);
    ASSERT_NE(model->ln_fugacity_coefficients(Phase::Vapour, T, ps, x, lv), Status::Failed);
    // The saturation equation and the basic equations agree to 1e-4 in g/RT.
    EXPECT_NEAR(ll[0], lv[0], 1e-4) << T;
  }
  for (auto [ph, T, P] : {std::tuple{Phase::Liquid, 350.0, 2e6}, std::tuple{Phase::Vapour, 550.0, 3e6},
                          std::tuple{Phase::Liquid, 645.0, 30e6}, std::tuple{Phase::Vapour, 1600.0, 5e6}}) {
    ASSERT_EQ(model->ln_fugacity_coefficients(ph, T, P, x, lp, &d), Status::Ok);
    EXPECT_EQ(dx[0], 0.0);
    double a[1], b[1];
    model->ln_fugacity_coefficients(ph, T + 1e-3, P, x, a);
    model->ln_fugacity_coefficients(ph, T - 1e-3, P, x, b);
    EXPECT_NEAR(dT[0], (a[0] - b[0]) / 2e-3, 1e-6 * std::abs(dT[0]) + 1e-9);
    model->ln_fugacity_coefficients(ph, T, P * (1 + 1e-6), x, a);
    model->ln_fugacity_coefficients(ph, T, P * (1 - 1e-6), x, b);
    EXPECT_NEAR(dP[0], (a[0] - b[0]) / (2e-6 * P), 1e-6 * std::abs(dP[0]) + 1e-14);
  }
}

TEST_F(SteamModel, BadInputFails) {
  double v, lp[1];
  const double nan = std::nan("");
  EXPECT_EQ(model->molar_volume(Phase::Liquid, nan, 1e5, x, v), Status::Failed);
  EXPECT_EQ(model->molar_volume(Phase::Liquid, 300, -1, x, v), Status::Failed);
  EXPECT_EQ(model->molar_volume(Phase::Liquid, 300, 0, x, v), Status::Failed);
  EXPECT_EQ(model->molar_volume(Phase::Vapour, 2300, 1e5, x, v), Status::Failed);
  EXPECT_EQ(model->molar_volume(Phase::Vapour, 1200, 60e6, x, v), Status::Failed);
  EXPECT_EQ(model->molar_volume(Phase::Liquid, 250, 1e5, x, v), Status::Failed);
  EXPECT_EQ(model->molar_volume(Phase::Liquid, 300, 101e6, x, v), Status::Failed);
  std::vector<double> two{0.5, 0.5}, bad{nan};
  EXPECT_EQ(model->molar_volume(Phase::Liquid, 300, 1e5, two, v), Status::Failed);
  EXPECT_EQ(model->molar_volume(Phase::Liquid, 300, 1e5, bad, v), Status::Failed);
  EXPECT_EQ(model->ln_fugacity_coefficients(Phase::Liquid, 300, 1e5, x, std::span<double>()),
            Status::Failed);
  EXPECT_EQ(model->ln_fugacity_coefficients(Phase::Liquid, nan, 1e5, x, lp), Status::Failed);
  double ps;
  EXPECT_EQ(model->vapour_pressure(1, 300, ps), Status::Failed);
  EXPECT_EQ(model->vapour_pressure(0, 700, ps), Status::Failed);
  EXPECT_EQ(model->vapour_pressure(0, nan, ps), Status::Failed);
}

}  // namespace
}  // namespace r3::thermo
