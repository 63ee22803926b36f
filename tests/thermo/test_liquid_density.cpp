// Liquid densities of both methods against handbook and IAPWS values, the
// passage to the equation of state above the (pseudo-)critical temperature,
// and the fallback for a component without coefficients.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tests/thermo/thermo_test_util.h"

namespace r3::thermo {
namespace {

using testing::model_of;

// Densities (kg/m3) at 25 C and 1 atm from the CRC Handbook of Chemistry and
// Physics; water's, saturated and compressed, from IAPWS.
TEST(LiquidDensity, HandbookAndIapwsValuesWithinHalfAPercent) {
  struct Ref {
    const char* id;
    double T, P, rho;
  };
  const Ref refs[] = {
      {"H2O", 298.15, 101325, 997.05}, {"MEOH", 298.15, 101325, 786.6},  {"ETOH", 298.15, 101325, 785.1},
      {"ACETONE", 298.15, 101325, 784.5}, {"BENZENE", 298.15, 101325, 873.6},
      {"TOLUENE", 298.15, 101325, 862.2}, {"NC6", 298.15, 101325, 655.0}, {"NC7", 298.15, 101325, 679.5},
      {"NC8", 298.15, 101325, 698.6},  {"NC10", 298.15, 101325, 726.4}, {"CYC6", 298.15, 101325, 773.9},
      {"PXYLENE", 298.15, 101325, 856.7}, {"H2O", 275, 101325, 999.94},  {"H2O", 300, 20e6, 1005.3},
      {"H2O", 373.15, 101418, 958.35}, {"H2O", 450, 932.2e3, 890.3},   {"H2O", 550, 6.1178e6, 756.0},
      {"H2O", 600, 12.345e6, 649.4}};
  for (Method meth : {Method::Ideal, Method::PengRobinson})
    for (const Ref& r : refs) {
      auto m = model_of(meth, {r.id});
      double v = NAN;
      ASSERT_EQ(m->molar_volume(Phase::Liquid, r.T, r.P, std::vector<double>{1.0}, v), Status::Ok);
      EXPECT_NEAR(m->component(0).mw / v, r.rho, 0.005 * r.rho) << r.id << " T=" << r.T << " P=" << r.P;
    }
}

// Methane at 250 K and 20 MPa (Tr = 1.31) is a dense fluid: a liquid call
// gives the equation of state's volume (Z = 0.677), which moves with T. Over
// 0.9-1.1 Tc no step between neighbouring temperatures exceeds what the
// slopes allow (no jump), and the derivatives hold inside the passage.
TEST(LiquidDensity, AboveTheCriticalTemperatureTheEquationOfState) {
  auto m = model_of(Method::PengRobinson, {"CH4"});
  const std::vector<double> x{1.0};
  double v1, v2, z;
  ASSERT_EQ(m->molar_volume(Phase::Liquid, 250, 20e6, x, v1), Status::Ok);
  ASSERT_EQ(m->compressibility(Phase::Liquid, 250, 20e6, x, z), Status::Ok);
  EXPECT_NEAR(v1, z * kGasConstant * 250 / 20e6, 1e-12 * v1);
  EXPECT_NEAR(z, 0.677, 0.005);
  ASSERT_EQ(m->molar_volume(Phase::Liquid, 260, 20e6, x, v2), Status::Ok);
  EXPECT_GT(v2, v1 * 1.03);
  for (const char* id : {"CH4", "NC6"}) {
    auto p = model_of(Method::PengRobinson, {id});
    const double tc = p->component(0).tc, P = 1.2 * p->component(0).pc, dT = 1e-4 * tc;
    double prev = 0, slope = 0;
    for (double T = 0.9 * tc; T <= 1.1 * tc; T += dT) {
      double v;
      Gradient g;
      ASSERT_EQ(p->molar_volume(Phase::Liquid, T, P, x, v, &g), Status::Ok);
      EXPECT_LE(std::abs(v - prev), prev > 0 ? 1.2 * std::max(std::abs(g.dT), std::abs(slope)) * dT : v) << T;
      prev = v;
      slope = g.dT;
    }
  }
  auto mix = model_of(Method::PengRobinson, {"C3H8", "NC4"});
  for (double T : {362.0, 380.0, 400.0}) testing::check_gradients(*mix, Phase::Liquid, T, 5e6, {0.6, 0.4}, "mix");
}

// Neopentane has no coefficients: a warning names it, and its liquid volume
// (Rackett) is finite and near the measured 590 kg/m3 at 283 K.
TEST(LiquidDensity, MissingCoefficientsFallBackWithAWarning) {
  const Databank& db = Databank::builtin();
  std::string error, warning;
  auto m = make_model(Method::PengRobinson, {&db[db.find("NEOC5")]}, &error, &warning);
  ASSERT_TRUE(m) << error;
  EXPECT_NE(warning.find("NEOC5"), std::string::npos);
  double v = NAN;
  ASSERT_EQ(m->molar_volume(Phase::Liquid, 283.15, 2e5, std::vector<double>{1.0}, v), Status::Ok);
  EXPECT_NEAR(72.15 / v, 590, 0.03 * 590);
  make_model(Method::PengRobinson, {&db[db.find("H2O")]}, &error, &warning);
  EXPECT_TRUE(warning.empty());
}

}  // namespace
}  // namespace r3::thermo
