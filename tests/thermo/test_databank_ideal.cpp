// Databank parsing, the ideal-gas part and the IDEAL method: hand
// calculations, published data, consistency and derivatives.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "tests/thermo/thermo_test_util.h"

namespace r3::thermo {
namespace {

using testing::check_gradients;
using testing::model_of;

constexpr double R = kGasConstant;

TEST(Databank, BuiltinTableHasEveryRowAndWatersConstants) {
  const Databank& db = Databank::builtin();
  ASSERT_EQ(db.size(), 43);
  const int w = db.find("h2o");
  ASSERT_GE(w, 0);
  EXPECT_EQ(w, db.find("H2O"));
  const Component& c = db[w];
  EXPECT_EQ(c.name, "water");
  EXPECT_EQ(c.cas, "7732-18-5");
  EXPECT_DOUBLE_EQ(c.mw, 18.015268);  // IF97's molar mass, shared by every method
  EXPECT_DOUBLE_EQ(c.tc, 647.14);
  EXPECT_DOUBLE_EQ(c.pc, 22064000);
  EXPECT_DOUBLE_EQ(c.omega, 0.344);
  EXPECT_DOUBLE_EQ(c.zc, 0.229);
  EXPECT_DOUBLE_EQ(c.vc, 0.05595);
  EXPECT_DOUBLE_EQ(c.tb, 373.15);
  EXPECT_DOUBLE_EQ(c.cp[0], 4.395);
  EXPECT_DOUBLE_EQ(c.cp[4], 6.32e-12);
  EXPECT_DOUBLE_EQ(c.hf298, -241822000);
  EXPECT_DOUBLE_EQ(c.zra, 0.2338);
  EXPECT_DOUBLE_EQ(c.cs16[4], -6.467085E-07);
  EXPECT_DOUBLE_EQ(c.cs16_tmax, 1600);
  // Helium has only the constant of the wide-range form.
  const Component& he = db[db.find("He")];
  EXPECT_DOUBLE_EQ(he.cs16[0], 20786);
  EXPECT_EQ(he.cs16[1], 0.0);
  for (const char* id : {"N2", "CO2", "CH4", "C2H6", "C3H8", "IC4", "NC4", "IC5", "NC5", "NC6",
                         "C4H8_1", "ACETONE"})
    EXPECT_GE(db.find(id), 0) << id;
  EXPECT_EQ(db.find("XYZ"), -1);
  EXPECT_EQ(db.find(""), -1);
}

TEST(Databank, ParseRejectsBadRowsAndMissingColumns) {
  const std::string header =
      "id\tname\tformula\tCAS\tMW\tTc\tPc\tomega\tZc\tVc\tTb\tcp_a0\tcp_a1\tcp_a2\tcp_a3\tcp_a4\t"
      "cp_Tmin\tcp_Tmax\tHf_ig_298\tZRA\n";
  const std::string good = "X\tx\tX\t1-1-1\t10\t300\t1e6\t0.1\t0.3\t0.1\t200\t3.5\t0\t0\t0\t0\t50\t1000\t0\t0.27\n";
  Databank db;
  std::string err;
  EXPECT_TRUE(Databank::parse(header + good, db, err)) << err;
  EXPECT_EQ(db.size(), 1);
  EXPECT_FALSE(Databank::parse(header + "X\tx\tX\t1\t10\tabc\t1e6\t0.1\t0.3\t0.1\t200\t3.5\t0\t0\t0\t0\t50\t1000\t0\t0.27\n",
                               db, err));
  EXPECT_NE(err.find("Tc"), std::string::npos) << err;
  EXPECT_EQ(db.size(), 0);
  EXPECT_FALSE(Databank::parse(header + good + good, db, err));  // duplicate id
  EXPECT_FALSE(Databank::parse("id\tname\tMW\n", db, err));     // missing columns
  EXPECT_FALSE(Databank::parse("", db, err));
  // Windows line ends are accepted.
  std::string crlf = header + good;
  for (size_t p = crlf.find('\n'); p != std::string::npos; p = crlf.find('\n', p + 2))
    crlf.replace(p, 1, "\r\n");
  EXPECT_TRUE(Databank::parse(crlf, db, err)) << err;
  EXPECT_DOUBLE_EQ(db[0].zra, 0.27);
}

// Ideal-gas water against the JANAF tables (Chase 1998): Cp(298.15) = 33.590,
// H(500)-H(298.15) = 6.922 kJ/mol, H(1000)-H(298.15) = 26.000, H(1500)-H(298.15)
// = 48.151, S(500)-S(298.15) = 17.700 J/(mol K), S(1000)-S(298.15) = 43.904,
// Cp(1500) = 47.068.
TEST(IdealGas, WaterAgainstJanafAndReferenceState) {
  auto m = model_of(Method::Ideal, {"H2O"});
  ASSERT_TRUE(m);
  const std::vector<double> x{1.0};
  double h, s, cp;
  ASSERT_EQ(m->enthalpy(Phase::Vapour, kTref, 101325, x, h), Status::Ok);
  EXPECT_NEAR(h, -241822000, 1e-3);
  ASSERT_EQ(m->entropy(Phase::Vapour, kTref, 101325, x, s), Status::Ok);
  EXPECT_NEAR(s, 0.0, 1e-9);
  ASSERT_EQ(m->heat_capacity(Phase::Vapour, kTref, 101325, x, cp), Status::Ok);
  EXPECT_NEAR(cp, 33590, 0.01 * 33590);
  const struct {
    double T, dh, ds;
  } janaf[] = {{500, 6922e3, 17.700e3}, {1000, 26000e3, 43.904e3}, {1500, 48151e3, 0}};
  for (auto& j : janaf) {
    ASSERT_EQ(m->enthalpy(Phase::Vapour, j.T, 101325, x, h), Status::Ok);
    EXPECT_NEAR(h + 241822000, j.dh, 0.01 * j.dh) << j.T;
    if (j.ds > 0) {
      ASSERT_EQ(m->entropy(Phase::Vapour, j.T, 101325, x, s), Status::Ok);
      EXPECT_NEAR(s, j.ds, 0.01 * j.ds) << j.T;
    }
  }
  ASSERT_EQ(m->heat_capacity(Phase::Vapour, 1500, 101325, x, cp), Status::Ok);
  EXPECT_NEAR(cp, 47068, 0.03 * 47068);
  // Pressure enters the vapour entropy only as -R ln(P/P0).
  double s2;
  ASSERT_EQ(m->entropy(Phase::Vapour, 500, 1e6, x, s2), Status::Ok);
  ASSERT_EQ(m->entropy(Phase::Vapour, 500, 101325, x, s), Status::Ok);
  EXPECT_NEAR(s2 - s, -R * std::log(1e6 / 101325), 1e-6);
}

// Cp continuous at the ends of the polynomial and wide-range pieces, and H, S
// the integrals of Cp and Cp/T everywhere (below cp_Tmin, across 1000 K,
// beyond the wide-range form's upper limit).
TEST(IdealGas, PiecewiseCpIsContinuousAndIntegratedExactly) {
  for (const char* id : {"H2O", "CH4", "CO2", "BENZENE", "HE", "AR", "MCYC6"}) {
    SCOPED_TRACE(id);
    auto m = model_of(Method::Ideal, {id});
    ASSERT_TRUE(m);
    const Component& c = m->component(0);
    const std::vector<double> x{1.0};
    auto cp = [&](double T) {
      double v;
      EXPECT_EQ(m->heat_capacity(Phase::Vapour, T, 1e5, x, v), Status::Ok);
      return v;
    };
    auto hs = [&](double T, double& h, double& s) {
      EXPECT_EQ(m->enthalpy(Phase::Vapour, T, 1e5, x, h), Status::Ok);
      EXPECT_EQ(m->entropy(Phase::Vapour, T, 1e5, x, s), Status::Ok);
    };
    std::vector<double> joints{c.cp_tmin, c.cp_tmax};
    if (c.cs16_tmax > c.cp_tmax) joints.push_back(c.cs16_tmax);
    for (double tj : joints) EXPECT_NEAR(cp(tj * (1 - 1e-9)), cp(tj * (1 + 1e-9)), 1e-3) << tj;
    for (double T : {20.0, c.cp_tmin, 300.0, 999.0, c.cp_tmax, 1001.0, 1400.0, 1700.0, 2500.0}) {
      const double d = 1e-3;
      double h1, s1, h2, s2;
      hs(T - d, h1, s1);
      hs(T + d, h2, s2);
      EXPECT_NEAR((h2 - h1) / (2 * d), cp(T), 1e-5 * cp(T)) << T;
      EXPECT_NEAR((s2 - s1) / (2 * d), cp(T) / T, 1e-5 * cp(T) / T) << T;
    }
  }
}

// Liquid water at 300 K, 1 bar by the IDEAL method, by hand:
//   Lee-Kesler: Tr = 300/647.14, ln(Psat/Pc) = f0 + w f1;
//   Rackett:    V = (R Tc/Pc) ZRA^(1 + (1-Tr)^(2/7)).
// Against measured water (IAPWS-95): Psat = 3.5368 kPa, V = 0.018069 m3/kmol,
// dHvap = 43.90 MJ/kmol; standard liquid enthalpy of formation -285.83 MJ/kmol
// at 298.15 K, so H_L(300 K) = -285.69 MJ/kmol. The corresponding-states
// correlations miss hydrogen-bonded water at Tr = 0.46 (Psat -28 %, V -7 %,
// dHvap +7 %); those bounds guard against gross errors only. At Tr = 0.7 the
// vapour pressure reproduces the acentric factor's definition,
// Psat = Pc 10^(-1-w) (0.9993 MPa, measured 0.9995 MPa at 453.0 K).
TEST(IdealMethod, LiquidWaterByHand) {
  auto m = model_of(Method::Ideal, {"H2O"});
  ASSERT_TRUE(m);
  const std::vector<double> x{1.0};
  const double T = 300, P = 1e5, Tc = 647.14, Pc = 22064000, w = 0.344;
  const double tr = T / Tc;
  const double f0 = 5.92714 - 6.09648 / tr - 1.28862 * std::log(tr) + 0.169347 * std::pow(tr, 6);
  const double f1 = 15.2518 - 15.6875 / tr - 13.4721 * std::log(tr) + 0.43577 * std::pow(tr, 6);
  const double psat_hand = Pc * std::exp(f0 + w * f1);
  double psat;
  ASSERT_EQ(m->vapour_pressure(0, T, psat), Status::Ok);
  EXPECT_NEAR(psat, psat_hand, 1e-9 * psat_hand);
  EXPECT_NEAR(psat, 3536.8, 0.30 * 3536.8);
  ASSERT_EQ(m->vapour_pressure(0, 0.7 * Tc, psat), Status::Ok);
  EXPECT_NEAR(psat, Pc * std::pow(10.0, -1 - w), 0.01 * psat);
  double v, z;
  ASSERT_EQ(m->molar_volume(Phase::Liquid, T, P, x, v), Status::Ok);
  EXPECT_NEAR(v, 18.015268 / 996.56, 1e-4 * v);  // IAPWS: 996.56 kg/m3
  ASSERT_EQ(m->compressibility(Phase::Liquid, T, P, x, z), Status::Ok);
  EXPECT_NEAR(z, P * v / (R * T), 1e-12);
  double hl, hv;
  ASSERT_EQ(m->enthalpy(Phase::Liquid, T, P, x, hl), Status::Ok);
  ASSERT_EQ(m->enthalpy(Phase::Vapour, T, P, x, hv), Status::Ok);
  EXPECT_NEAR(hv - hl, 43.90e6, 0.08 * 43.90e6);
  EXPECT_NEAR(hl, -285.69e6, 0.015 * 285.69e6);
  // Raoult: ln phi_L = ln(Psat/P), ln phi_V = 0.
  std::vector<double> lpl(1), lpv(1);
  ASSERT_EQ(m->ln_fugacity_coefficients(Phase::Liquid, T, P, x, lpl), Status::Ok);
  ASSERT_EQ(m->ln_fugacity_coefficients(Phase::Vapour, T, P, x, lpv), Status::Ok);
  EXPECT_NEAR(lpl[0], std::log(psat_hand / P), 1e-9);
  EXPECT_EQ(lpv[0], 0.0);
}

// An n-hexane / n-heptane liquid (x = 0.4 / 0.6) at 300 K, 1 bar: the molar
// volume and enthalpy are the mole-fraction averages of the pure values
// (ideal solution). Measured at 298.15 K: V = 0.1316 and 0.1475 m3/kmol,
// dHvap = 31.56 and 36.57 MJ/kmol; n-hexane's vapour pressure 20.2 kPa.
TEST(IdealMethod, HydrocarbonLiquidMixtureByHand) {
  auto m = model_of(Method::Ideal, {"NC6", "NC7"});
  ASSERT_TRUE(m);
  const double T = 298.15, P = 1e5;
  const std::vector<double> x{0.4, 0.6};
  double v, v1, v2;
  ASSERT_EQ(m->molar_volume(Phase::Liquid, T, P, x, v), Status::Ok);
  ASSERT_EQ(m->molar_volume(Phase::Liquid, T, P, std::vector<double>{1, 0}, v1), Status::Ok);
  ASSERT_EQ(m->molar_volume(Phase::Liquid, T, P, std::vector<double>{0, 1}, v2), Status::Ok);
  EXPECT_NEAR(v, 0.4 * v1 + 0.6 * v2, 1e-12);
  EXPECT_NEAR(v, 0.4 * 0.1316 + 0.6 * 0.1475, 0.005 * v);
  double hl, hv, hl1, hl2;
  ASSERT_EQ(m->enthalpy(Phase::Liquid, T, P, x, hl), Status::Ok);
  ASSERT_EQ(m->enthalpy(Phase::Vapour, T, P, x, hv), Status::Ok);
  ASSERT_EQ(m->enthalpy(Phase::Liquid, T, P, std::vector<double>{1, 0}, hl1), Status::Ok);
  ASSERT_EQ(m->enthalpy(Phase::Liquid, T, P, std::vector<double>{0, 1}, hl2), Status::Ok);
  EXPECT_NEAR(hl, 0.4 * hl1 + 0.6 * hl2, 1e-6);
  EXPECT_NEAR(hv - hl, 0.4 * 31.56e6 + 0.6 * 36.57e6, 0.03 * (hv - hl));
  double ps;
  ASSERT_EQ(m->vapour_pressure(0, T, ps), Status::Ok);
  EXPECT_NEAR(ps, 20.2e3, 0.04 * 20.2e3);
  // Unnormalised entries give the same state.
  double v10;
  ASSERT_EQ(m->molar_volume(Phase::Liquid, T, P, std::vector<double>{4, 6}, v10), Status::Ok);
  EXPECT_NEAR(v10, v, 1e-14);
}

// Thermodynamic consistency: Cp = dH/dT in both phases, and
// G_L - G_V = RT sum x (ln phi_L - ln phi_V) with G = H - TS. The vaporisation
// enthalpy vanishes at Tc and liquid enthalpy is continuous there.
TEST(IdealMethod, ConsistencyOfEnthalpyEntropyAndFugacity) {
  auto m = model_of(Method::Ideal, {"C3H8", "NC4", "NC5", "BENZENE"});
  ASSERT_TRUE(m);
  const std::vector<double> x{0.1, 0.3, 0.4, 0.2};
  for (double T : {250.0, 320.0, 400.0}) {
    for (double P : {1e5, 2e6}) {
      double hl, hv, sl, sv;
      ASSERT_EQ(m->enthalpy(Phase::Liquid, T, P, x, hl), Status::Ok);
      ASSERT_EQ(m->enthalpy(Phase::Vapour, T, P, x, hv), Status::Ok);
      ASSERT_EQ(m->entropy(Phase::Liquid, T, P, x, sl), Status::Ok);
      ASSERT_EQ(m->entropy(Phase::Vapour, T, P, x, sv), Status::Ok);
      std::vector<double> lpl(4), lpv(4);
      ASSERT_EQ(m->ln_fugacity_coefficients(Phase::Liquid, T, P, x, lpl), Status::Ok);
      ASSERT_EQ(m->ln_fugacity_coefficients(Phase::Vapour, T, P, x, lpv), Status::Ok);
      double dg = 0;
      for (int i = 0; i < 4; ++i) dg += x[i] * (lpl[i] - lpv[i]);
      EXPECT_NEAR((hl - T * sl) - (hv - T * sv), R * T * dg, 1e-7 * std::abs(hv));
      for (Phase ph : {Phase::Liquid, Phase::Vapour}) {
        double h1, h2, cp;
        ASSERT_EQ(m->enthalpy(ph, T - 0.01, P, x, h1), Status::Ok);
        ASSERT_EQ(m->enthalpy(ph, T + 0.01, P, x, h2), Status::Ok);
        ASSERT_EQ(m->heat_capacity(ph, T, P, x, cp), Status::Ok);
        EXPECT_NEAR(cp, (h2 - h1) / 0.02, 1e-5 * cp);
      }
    }
  }
  // Propane alone across its critical temperature (369.83 K).
  auto p = model_of(Method::Ideal, {"C3H8"});
  ASSERT_TRUE(p);
  const double tc = p->component(0).tc;
  double hl, hv, hla, hva;
  ASSERT_EQ(p->enthalpy(Phase::Liquid, tc * (1 - 1e-7), 5e6, std::vector<double>{1}, hl), Status::Ok);
  ASSERT_EQ(p->enthalpy(Phase::Vapour, tc * (1 - 1e-7), 5e6, std::vector<double>{1}, hv), Status::Ok);
  ASSERT_EQ(p->enthalpy(Phase::Liquid, tc * (1 + 1e-7), 5e6, std::vector<double>{1}, hla), Status::Ok);
  ASSERT_EQ(p->enthalpy(Phase::Vapour, tc * (1 + 1e-7), 5e6, std::vector<double>{1}, hva), Status::Ok);
  EXPECT_LT(hv - hl, 0.02 * (hv - hl + 1e7));  // a small fraction of its 19 MJ/kmol at Tb
  EXPECT_NEAR(hla, hva, 1e-6);
  EXPECT_NEAR(hla, hl, 0.02e7);
  double ps1, ps2;
  EXPECT_EQ(p->vapour_pressure(0, tc * (1 - 1e-9), ps1), Status::Ok);
  EXPECT_EQ(p->vapour_pressure(0, tc * (1 + 1e-9), ps2), Status::Extrapolated);
  EXPECT_NEAR(ps1, ps2, 1e-4 * ps1);
}

TEST(IdealMethod, GradientsMatchCentralDifferences) {
  auto m = model_of(Method::Ideal, {"CH4", "C3H8", "NC6", "H2O"});
  ASSERT_TRUE(m);
  const std::vector<double> x{0.7, 1.1, 0.45, 0.25};  // sums to 2.5
  const std::vector<double> x2{0.02, 0.01, 3.0, 0.5};
  for (Phase ph : {Phase::Vapour, Phase::Liquid})
    for (double T : {150.0, 300.0, 480.0, 1100.0})
      for (double P : {2e4, 3e6}) {
        check_gradients(*m, ph, T, P, x, "T=" + std::to_string(T) + " P=" + std::to_string(P));
        check_gradients(*m, ph, T, P, x2, "x2 T=" + std::to_string(T));
      }
  double mw;
  std::vector<double> dx(4);
  Gradient g{0, 0, dx};
  ASSERT_EQ(m->molecular_weight(x, mw, &g), Status::Ok);
  double sum = 0, wsum = 0;
  for (int i = 0; i < 4; ++i) {
    sum += x[i];
    wsum += x[i] * m->component(i).mw;
  }
  EXPECT_NEAR(mw, wsum / sum, 1e-12);
  for (int j = 0; j < 4; ++j) EXPECT_NEAR(dx[j], (m->component(j).mw - mw) / sum, 1e-12);
}

// Every entry point refuses unphysical input with Failed and writes nothing
// outside the spans it is given.
TEST(BadInput, PropertyCallsFailCleanly) {
  for (Method meth : {Method::Ideal, Method::PengRobinson}) {
    auto m = model_of(meth, {"CH4", "NC4"});
    ASSERT_TRUE(m);
    const std::vector<double> x{0.5, 0.5};
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
      double T, P;
      std::vector<double> x;
    } bad[] = {{300, 0, x},        {300, -1e5, x},    {0.5, 1e5, x},          {nan, 1e5, x},
               {300, nan, x},      {inf, 1e5, x},     {300, 1e5, {0, 0}},     {300, 1e5, {-1, 0.5}},
               {300, 1e5, {nan, 1}}, {300, 1e5, {1}}, {300, 1e5, {0.5, 0.5, 0.1}}};
    for (const auto& b : bad) {
      double v = 0;
      for (Phase ph : {Phase::Vapour, Phase::Liquid}) {
        EXPECT_EQ(m->enthalpy(ph, b.T, b.P, b.x, v), Status::Failed);
        EXPECT_EQ(m->entropy(ph, b.T, b.P, b.x, v), Status::Failed);
        EXPECT_EQ(m->heat_capacity(ph, b.T, b.P, b.x, v), Status::Failed);
        EXPECT_EQ(m->molar_volume(ph, b.T, b.P, b.x, v), Status::Failed);
        EXPECT_EQ(m->compressibility(ph, b.T, b.P, b.x, v), Status::Failed);
        std::vector<double> lp(2);
        EXPECT_EQ(m->ln_fugacity_coefficients(ph, b.T, b.P, b.x, lp), Status::Failed);
      }
    }
    // Spans of the wrong size.
    double guard[4] = {7, 7, 7, 7};
    std::vector<double> lp(2);
    EXPECT_EQ(m->ln_fugacity_coefficients(Phase::Liquid, 300, 1e5, x, std::span<double>(guard, 1)),
              Status::Failed);
    Gradient g{0, 0, std::span<double>(guard, 3)};
    double v;
    EXPECT_EQ(m->enthalpy(Phase::Vapour, 300, 1e5, x, v, &g), Status::Failed);
    LnPhiDerivatives d{std::span<double>(guard, 2), {}, std::span<double>(guard, 3)};
    EXPECT_EQ(m->ln_fugacity_coefficients(Phase::Vapour, 300, 1e5, x, lp, &d), Status::Failed);
    for (double gv : guard) EXPECT_EQ(gv, 7.0);
    double ps;
    EXPECT_EQ(m->vapour_pressure(2, 300, ps), Status::Failed);
    EXPECT_EQ(m->vapour_pressure(-1, 300, ps), Status::Failed);
    EXPECT_EQ(m->vapour_pressure(0, nan, ps), Status::Failed);
    EXPECT_EQ(m->molecular_weight(std::vector<double>{0, 0}, v), Status::Failed);
  }
  std::string err;
  EXPECT_FALSE(make_model(Method::Ideal, {}, &err));
  EXPECT_FALSE(err.empty());
  EXPECT_FALSE(make_model(static_cast<Method>(9), {&Databank::builtin()[0]}, &err));
}

}  // namespace
}  // namespace r3::thermo
