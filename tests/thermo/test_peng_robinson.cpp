// The PENG-ROB method: vapour pressures against tabulated data, the critical
// compressibility, departure functions against integrals of the equation of
// state, Gibbs-energy consistency and every derivative against central
// differences.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "host/thermo/internal.h"
#include "tests/thermo/thermo_test_util.h"

namespace r3::thermo {
namespace {

using testing::check_gradients;
using testing::model_of;

constexpr double R = kGasConstant;

// Tabulated saturation pressures:
//   water (IAPWS-IF97): 453.15 K 1.0028 MPa, 550 K 6.1172 MPa, 373.15 K 0.101418 MPa;
//   propane (NIST, Lemmon et al. 2009): 231.04 K 0.101325 MPa, 300 K 0.9978 MPa;
//   n-butane (NIST, Buecker and Wagner 2006): 272.66 K 0.101325 MPa, 300 K 0.2582 MPa.
// PR with the standard alpha is within 2 % for these except water at its normal
// boiling point, where it is 4.9 % low (hydrogen bonding; held to 6 %).
TEST(PengRobinson, VapourPressuresAgainstTables) {
  const struct {
    const char* id;
    double T, p, tol;
  } pts[] = {{"H2O", 453.15, 1.0028e6, 0.02},  {"H2O", 550, 6.1172e6, 0.02},
             {"H2O", 373.15, 101418, 0.06},    {"C3H8", 231.04, 101325, 0.02},
             {"C3H8", 300, 0.9978e6, 0.02},    {"NC4", 272.66, 101325, 0.02},
             {"NC4", 300, 0.2582e6, 0.02}};
  for (const auto& pt : pts) {
    auto m = model_of(Method::PengRobinson, {pt.id});
    ASSERT_TRUE(m);
    double ps;
    ASSERT_EQ(m->vapour_pressure(0, pt.T, ps), Status::Ok) << pt.id << " " << pt.T;
    EXPECT_NEAR(ps, pt.p, pt.tol * pt.p) << pt.id << " " << pt.T;
    // At the vapour pressure the two roots have equal fugacities.
    std::vector<double> x{1}, lv(1), ll(1);
    ASSERT_EQ(m->ln_fugacity_coefficients(Phase::Vapour, pt.T, ps, x, lv), Status::Ok);
    ASSERT_EQ(m->ln_fugacity_coefficients(Phase::Liquid, pt.T, ps, x, ll), Status::Ok);
    EXPECT_NEAR(lv[0], ll[0], 1e-10);
    double zv, zl;
    ASSERT_EQ(m->compressibility(Phase::Vapour, pt.T, ps, x, zv), Status::Ok);
    ASSERT_EQ(m->compressibility(Phase::Liquid, pt.T, ps, x, zl), Status::Ok);
    EXPECT_LT(zl, 0.1);
    EXPECT_GT(zv, 0.5);
  }
  // Near the critical point, and no saturation above it.
  auto m = model_of(Method::PengRobinson, {"C3H8"});
  ASSERT_TRUE(m);
  const double tc = m->component(0).tc, pc = m->component(0).pc;
  double ps;
  ASSERT_EQ(m->vapour_pressure(0, 0.99 * tc, ps), Status::Ok);
  EXPECT_LT(ps, pc);
  EXPECT_GT(ps, 0.9 * pc);
  EXPECT_EQ(m->vapour_pressure(0, 1.01 * tc, ps), Status::Extrapolated);
  // Close to the critical point (narrow three-root range), at very low
  // reduced temperature (liquid root near 1e-10 of the vapour root), and for
  // the negative acentric factors of the quantum gases: a solution with equal
  // fugacities, increasing with temperature.
  for (const char* id : {"C3H8", "CH4", "HE", "H2", "NC10"}) {
    auto p = model_of(Method::PengRobinson, {id});
    ASSERT_TRUE(p);
    const double tcp = p->component(0).tc, pcp = p->component(0).pc;
    double last = 0;
    for (double tr : {0.3, 0.5, 0.9, 0.99, 0.999, 0.9999, 0.99999}) {
      SCOPED_TRACE(std::string(id) + " Tr=" + std::to_string(tr));
      ASSERT_EQ(p->vapour_pressure(0, tr * tcp, ps), Status::Ok);
      EXPECT_GT(ps, last);
      EXPECT_LT(ps, pcp);
      last = ps;
      std::vector<double> x{1}, lv(1), ll(1);
      ASSERT_EQ(p->ln_fugacity_coefficients(Phase::Vapour, tr * tcp, ps, x, lv), Status::Ok);
      ASSERT_EQ(p->ln_fugacity_coefficients(Phase::Liquid, tr * tcp, ps, x, ll), Status::Ok);
      EXPECT_NEAR(lv[0], ll[0], 1e-9);
    }
  }
}

// At its own critical point the equation of state has a triple root
// Zc = 0.30740 (Peng and Robinson 1976), for every component.
TEST(PengRobinson, CriticalCompressibility) {
  for (const char* id : {"CH4", "H2O", "NC10"}) {
    auto m = model_of(Method::PengRobinson, {id});
    ASSERT_TRUE(m);
    double z;
    ASSERT_EQ(m->compressibility(Phase::Vapour, m->component(0).tc, m->component(0).pc,
                                 std::vector<double>{1}, z),
              Status::Ok);
    EXPECT_NEAR(z, 0.30740, 2e-3) << id;
  }
}

// Published reduced-form departure functions for a pure PR fluid (as given
// e.g. in the "Departure function" article of Wikipedia):
//   (h - h_ig)/(R Tc) = Tr (Z-1) - 2.078 (1+k) sqrt(alpha) ln[(Z+2.414B)/(Z-0.414B)]
//   (s - s_ig)/R      = ln(Z-B) - 2.078 k ((1+k)/sqrt(Tr) - k) ln[(Z+2.414B)/(Z-0.414B)]
// with B = 0.07780 Pr/Tr (the constants are rounded to four figures there).
// The compressibility of saturated methane against Vargaftik's (1975) data as
// quoted by Koretsky: (Tr, Pr) = (0.9, 0.55) ZV 0.6746 ZL 0.0908, (0.8, 0.26)
// ZV 0.8124 ZL 0.0413, (0.7, 0.10) ZV 0.9029 ZL 0.0166.
TEST(PengRobinson, PublishedDepartureFormsAndMethaneCompressibility) {
  for (const char* id : {"CH4", "C3H8", "NC6"}) {
    auto m = model_of(Method::PengRobinson, {id});
    ASSERT_TRUE(m);
    const Component& c = m->component(0);
    const double k = 0.37464 + 1.54226 * c.omega - 0.26992 * c.omega * c.omega;
    const std::vector<double> x{1};
    for (double tr : {0.7, 0.9, 1.3})
      for (double pr : {0.05, 0.5, 2.0})
        for (Phase ph : {Phase::Vapour, Phase::Liquid}) {
          SCOPED_TRACE(std::string(id) + " " + std::to_string(tr) + " " + std::to_string(pr));
          const double T = tr * c.tc, P = pr * c.pc, B = 0.07780 * pr / tr;
          const double sa = 1 + k * (1 - std::sqrt(tr));
          double z, h, h0, s, s0;
          ASSERT_EQ(m->compressibility(ph, T, P, x, z), Status::Ok);
          ASSERT_EQ(m->enthalpy(ph, T, P, x, h), Status::Ok);
          // The ideal gas: the vapour root at 1 mPa.
          ASSERT_EQ(m->enthalpy(Phase::Vapour, T, 1e-3, x, h0), Status::Ok);
          ASSERT_EQ(m->entropy(ph, T, P, x, s), Status::Ok);
          ASSERT_EQ(m->entropy(Phase::Vapour, T, 1e-3, x, s0), Status::Ok);
          const double L = std::log((z + 2.414 * B) / (z - 0.414 * B));
          const double hd = R * c.tc * (tr * (z - 1) - 2.078 * (1 + k) * sa * L);
          const double sd = R * (std::log(z - B) - 2.078 * k * ((1 + k) / std::sqrt(tr) - k) * L);
          EXPECT_NEAR(h - h0, hd, 5e-4 * std::abs(hd) + 5e-4 * R * c.tc);
          EXPECT_NEAR(s - s0 + R * std::log(P / 1e-3), sd, 5e-4 * std::abs(sd) + 5e-4 * R);
        }
  }
  auto m = model_of(Method::PengRobinson, {"CH4"});
  ASSERT_TRUE(m);
  const Component& c = m->component(0);
  const struct {
    double tr, pr, zv, zl, tolv;
  } data[] = {{0.9, 0.55, 0.6746, 0.0908, 0.06},  // PR's vapour is 5.5 % denser this close to Tc
              {0.8, 0.26, 0.8124, 0.0413, 0.03},
              {0.7, 0.10, 0.9029, 0.0166, 0.03}};
  for (const auto& d : data) {
    double zv, zl;
    ASSERT_EQ(m->compressibility(Phase::Vapour, d.tr * c.tc, d.pr * c.pc, {std::vector<double>{1}}, zv),
              Status::Ok);
    ASSERT_EQ(m->compressibility(Phase::Liquid, d.tr * c.tc, d.pr * c.pc, {std::vector<double>{1}}, zl),
              Status::Ok);
    EXPECT_NEAR(zv, d.zv, d.tolv * d.zv) << d.tr;
    EXPECT_NEAR(zl, d.zl, 0.12 * d.zl) << d.tr;  // cubic liquids are 5-10 % too light
  }
}

// Departure functions against the equation of state integrated along the
// isotherm from zero pressure (Simpson's rule on the compressibility alone):
//   ln phi_i  from  sum x ln phi = int_0^P (Z-1)/P dP,
//   H - H_ig = -R T^2 int_0^P (dZ/dT)_P dP/P,  and G - G_ig = R T sum x ln phi.
TEST(PengRobinson, DeparturesMatchIntegralsOfTheEquationOfState) {
  const struct {
    std::vector<std::string> ids;
    std::vector<double> x;
    double T, P;
  } cases[] = {{{"C3H8"}, {1}, 350, 1.0e6},
               {{"CH4", "C2H6", "CO2"}, {0.8, 0.15, 0.05}, 260, 6e6},
               {{"N2", "NC4"}, {0.5, 0.5}, 450, 2e7}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ids[0] + " " + std::to_string(c.T));
    auto m = model_of(Method::PengRobinson, c.ids);
    ASSERT_TRUE(m);
    auto zf = [&](double T, double P) {
      double z;
      EXPECT_EQ(m->compressibility(Phase::Vapour, T, P, c.x, z), Status::Ok);
      return z;
    };
    const int N = 2000;
    const double p0 = 1e-3, h = (c.P - p0) / N;
    double lnphi = 0, hr = 0;
    for (int k = 0; k <= N; ++k) {
      const double p = p0 + k * h;
      const double w = (k == 0 || k == N) ? 1 : (k % 2 ? 4 : 2);
      lnphi += w * (zf(c.T, p) - 1) / p;
      const double dzdt = (zf(c.T + 0.01, p) - zf(c.T - 0.01, p)) / 0.02;
      hr += w * dzdt / p;
    }
    lnphi *= h / 3;
    hr *= -R * c.T * c.T * h / 3;
    const int n = m->size();
    std::vector<double> lp(n);
    ASSERT_EQ(m->ln_fugacity_coefficients(Phase::Vapour, c.T, c.P, c.x, lp), Status::Ok);
    double sum = 0;
    for (int i = 0; i < n; ++i) sum += c.x[i] * lp[i];
    EXPECT_NEAR(sum, lnphi, 1e-6 * (1 + std::abs(lnphi)));
    // Residual enthalpy and entropy: the property at P minus its value at
    // 1 mPa (where the residual parts are below 1e-3 J/kmol), entropy
    // corrected by the ideal-gas pressure term.
    double h1, h0, s1, s0;
    ASSERT_EQ(m->enthalpy(Phase::Vapour, c.T, c.P, c.x, h1), Status::Ok);
    ASSERT_EQ(m->enthalpy(Phase::Vapour, c.T, 1e-3, c.x, h0), Status::Ok);
    ASSERT_EQ(m->entropy(Phase::Vapour, c.T, c.P, c.x, s1), Status::Ok);
    ASSERT_EQ(m->entropy(Phase::Vapour, c.T, 1e-3, c.x, s0), Status::Ok);
    EXPECT_NEAR(h1 - h0, hr, 1e-5 * std::abs(hr) + 1.0);
    const double sr = s1 - s0 + R * std::log(c.P / 1e-3);
    EXPECT_NEAR((h1 - h0) - c.T * sr, R * c.T * sum, 1e-7 * std::abs(h1 - h0) + 1e-3);
  }
}

// G = H - T S is consistent with the fugacity coefficients between the two
// roots: (H - T S)_L - (H - T S)_V = R T sum x (ln phi_L - ln phi_V).
TEST(PengRobinson, GibbsEnergyOfBothRootsMatchesFugacities) {
  auto m = model_of(Method::PengRobinson, {"C3H8", "NC4", "NC6"});
  ASSERT_TRUE(m);
  const std::vector<double> x{0.2, 0.5, 0.3};
  for (double T : {280.0, 330.0})
    for (double P : {2e5, 6e5}) {
      double hl, hv, sl, sv;
      ASSERT_EQ(m->enthalpy(Phase::Liquid, T, P, x, hl), Status::Ok);
      ASSERT_EQ(m->enthalpy(Phase::Vapour, T, P, x, hv), Status::Ok);
      ASSERT_EQ(m->entropy(Phase::Liquid, T, P, x, sl), Status::Ok);
      ASSERT_EQ(m->entropy(Phase::Vapour, T, P, x, sv), Status::Ok);
      double zl, zv;
      ASSERT_EQ(m->compressibility(Phase::Liquid, T, P, x, zl), Status::Ok);
      ASSERT_EQ(m->compressibility(Phase::Vapour, T, P, x, zv), Status::Ok);
      ASSERT_LT(zl, 0.1);  // three roots: the liquid one is distinct
      ASSERT_GT(zv, 0.6);
      std::vector<double> ll(3), lv(3);
      ASSERT_EQ(m->ln_fugacity_coefficients(Phase::Liquid, T, P, x, ll), Status::Ok);
      ASSERT_EQ(m->ln_fugacity_coefficients(Phase::Vapour, T, P, x, lv), Status::Ok);
      double dg = 0;
      for (int i = 0; i < 3; ++i) dg += x[i] * (ll[i] - lv[i]);
      EXPECT_NEAR((hl - T * sl) - (hv - T * sv), R * T * dg, 1e-8 * std::abs(hv));
      // Well below the pseudo-critical temperature the liquid's molar volume
      // is the mole-fraction average of the pure liquids' (not the EOS root).
      double vl;
      ASSERT_EQ(m->molar_volume(Phase::Liquid, T, P, x, vl), Status::Ok);
      double vr = 0;
      for (int i = 0; i < 3; ++i) {
        std::vector<double> e(3, 0.0);
        e[i] = 1;
        double vi;
        ASSERT_EQ(m->molar_volume(Phase::Liquid, T, P, e, vi), Status::Ok);
        vr += x[i] * vi;
      }
      EXPECT_NEAR(vl, vr, 1e-12);
      double vv;
      ASSERT_EQ(m->molar_volume(Phase::Vapour, T, P, x, vv), Status::Ok);
      EXPECT_NEAR(vv, zv * R * T / P, 1e-12 * vv);
    }
}

TEST(PengRobinson, GradientsMatchCentralDifferences) {
  auto m = model_of(Method::PengRobinson, {"N2", "CO2", "CH4", "C3H8", "NC6", "H2O"});
  ASSERT_TRUE(m);
  const std::vector<double> gas{0.3, 0.2, 2.0, 0.3, 0.1, 0.05};  // unnormalised
  const std::vector<double> liq{0.01, 0.05, 0.1, 0.8, 2.0, 0.02};
  const struct {
    double T, P;
  } states[] = {{250, 1e5}, {300, 3e6}, {420, 1.5e7}, {600, 5e5}, {1200, 2e6}};
  for (const auto& s : states)
    for (Phase ph : {Phase::Vapour, Phase::Liquid}) {
      const std::string where = std::string(ph == Phase::Vapour ? "V" : "L") +
                                " T=" + std::to_string(s.T) + " P=" + std::to_string(s.P);
      check_gradients(*m, ph, s.T, s.P, gas, "gas " + where);
      check_gradients(*m, ph, s.T, s.P, liq, "liq " + where);
    }
  // With non-zero interaction parameters (the general mixing rule).
  ASSERT_TRUE(detail::set_binary_interaction(*m, 1, 2, 0.09));
  ASSERT_TRUE(detail::set_binary_interaction(*m, 5, 3, 0.5));
  check_gradients(*m, Phase::Vapour, 300, 3e6, gas, "kij gas");
  check_gradients(*m, Phase::Liquid, 280, 3e6, liq, "kij liq");
  auto ideal = model_of(Method::Ideal, {"CH4"});
  EXPECT_FALSE(detail::set_binary_interaction(*ideal, 0, 0, 0.1));
}

}  // namespace
}  // namespace r3::thermo
