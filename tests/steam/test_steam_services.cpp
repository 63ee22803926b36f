// The steam-table host services: molar units against the IF97 routines, every
// derivative they return against finite differences, the five efficiency
// codes, and failures reported as RMISS (never NaN).
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

#include "framework/host_services.h"
#include "host/steam/if97.h"
#include "host/thermo/thermo.h"
#include "tests/support/support.h"

namespace {

namespace st = r3::steam;
constexpr double kMw = 18.015268;

class SteamServices : public ::testing::Test {
 protected:
  void SetUp() override { r3::test::reset_host({"H2O"}, r3::thermo::Method::SteamTable); }
};

std::array<double, 10> twork(int32_t mode, double pa, double pb, double h, double g,
                             double fac = 1.0) {
  std::array<double, 10> r;
  r.fill(std::nan(""));
  SSS_TWORK(&mode, &pa, &pb, &h, &g, &fac, r.data());
  return r;
}

// A single-result service: its inputs by address, its result last.
template <typename F, typename... A>
double result(F service, A... in) {
  double r = std::nan("");
  service(&in..., &r);
  return r;
}
const auto enth = [](double T, double P, double frac = 1.0, double flow = 1.0) {
  return result(SSS_ENTH, T, P, flow, frac);
};
const auto volw = [](double T, double P, double q, int32_t opt = 1) {
  return result(SSS_VOLW, T, P, q, opt);
};
const auto tsat = [](double p) { return result(SSS_TSAT, p); };
const auto psatw = [](double T) { return result(SSS_PSATW, T); };
const auto dv = [](bool by_h, double p, double h) {
  return result(by_h ? SSS_DVDH : SSS_DVDP, p, h);
};
std::pair<double, double> phtx(double p, double h) {
  double T = std::nan(""), x = std::nan("");
  SSS_PHTX(&p, &h, &T, &x);
  return {T, x};
}

double mass_h(double p, double T) {
  st::State in;
  EXPECT_EQ(st::state_pT(p, T, in), st::Status::Ok);
  return in.h;
}

// Isentropic work W = factor G (h - h_s) with the outlet state of the tables,
// its derivatives (mode 3) against central differences, and none in mode 1.
// Superheated to wet and to superheated, wet to wet, region 3 to region 2,
// region 5 to region 2, and liquid compression (negative work).
TEST_F(SteamServices, IsentropicWorkAndItsDerivatives) {
  const struct {
    double pa, hmass, pb, G;  // Pa, J/kg, Pa, kmol/s
  } cases[] = {{10e6, mass_h(10e6, 800), 0.1e6, 2.5}, {4e6, mass_h(4e6, 700), 1e6, 1.7},
               {1e6, mass_h(1e6, 500), 8e3, 2.5},    {20e6, mass_h(20e6, 900), 5e6, 1.7},
               {0.5e6, 2.5e6, 0.05e6, 0.8},          {10e6, 3400e3, 1e6, 50},
               {3e6, 3200e3, 0.01e6, 20},            {1e6, 2600e3, 0.05e6, 10},
               {30e6, 2600e3, 5e6, 80},              {0.1e6, 400e3, 20e6, 30},
               {40e6, 4500e3, 3e6, 5}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.pa) + " -> " + std::to_string(c.pb) + " h " +
                 std::to_string(c.hmass));
    const double h = c.hmass * kMw;
    st::State in, out;
    ASSERT_EQ(st::state_ph(c.pa, c.hmass, in), st::Status::Ok);
    ASSERT_EQ(st::state_ps(c.pb, in.s, out), st::Status::Ok);
    const auto w = twork(1, c.pa, c.pb, h, c.G);
    EXPECT_EQ(w[9], 0.0);
    EXPECT_NEAR(w[0], c.G * kMw * (c.hmass - out.h), 1e-9 * std::fabs(w[0]));
    EXPECT_EQ(c.pb > c.pa, w[0] < 0);
    EXPECT_NEAR(w[5], out.h * kMw, 1e-6 * std::fabs(out.h * kMw));
    EXPECT_NEAR(w[6], out.T, 1e-6);
    EXPECT_NEAR(w[7], out.quality, 1e-9);
    EXPECT_NEAR(w[8], w[0] / c.G, 1e-9 * std::fabs(w[8]));
    EXPECT_NEAR(twork(1, c.pa, c.pb, h, c.G, 0.5)[0], 0.5 * w[0], 1e-9 * std::fabs(w[0]));
    for (int i = 1; i <= 4; ++i) EXPECT_EQ(w[static_cast<size_t>(i)], 0.0);
    const auto d = twork(3, c.pa, c.pb, h, c.G);
    ASSERT_EQ(d[9], 0.0);
    auto W = [](double pa, double pb, double hh, double g) { return twork(1, pa, pb, hh, g)[0]; };
    const double dpa = 1e-6 * c.pa, dpb = 1e-6 * c.pb, dh = 1e-7 * std::fabs(h), dg = 1e-6;
    const double n1 = (W(c.pa + dpa, c.pb, h, c.G) - W(c.pa - dpa, c.pb, h, c.G)) / (2 * dpa);
    const double n2 = (W(c.pa, c.pb + dpb, h, c.G) - W(c.pa, c.pb - dpb, h, c.G)) / (2 * dpb);
    const double n3 = (W(c.pa, c.pb, h + dh, c.G) - W(c.pa, c.pb, h - dh, c.G)) / (2 * dh);
    const double n4 = (W(c.pa, c.pb, h, c.G + dg) - W(c.pa, c.pb, h, c.G - dg)) / (2 * dg);
    EXPECT_NEAR(d[1], n1, 1e-5 * std::fabs(n1) + 1e-9) << "dW/dPa";
    EXPECT_NEAR(d[2], n2, 1e-5 * std::fabs(n2) + 1e-9) << "dW/dPb";
    EXPECT_NEAR(d[3], n3, 1e-5 * std::fabs(n3) + 1e-9 * c.G) << "dW/dh";
    EXPECT_NEAR(d[4], n4, 1e-6 * std::fabs(n4)) << "dW/dG";
  }
}

// Saturation line, enthalpy (the stable phase off the line, the indicator's
// phase on it: 762.5 and 2777.1 kJ/kg at 1 MPa; proportional to the flow),
// and (P, h) -> T, quality, volume in and out of the dome.
TEST_F(SteamServices, SaturationEnthalpyStateAndVolume) {
  double ref;
  ASSERT_EQ(st::tsat(1e6, ref), st::Status::Ok);
  EXPECT_DOUBLE_EQ(tsat(1e6), ref);
  ASSERT_EQ(st::psat(453.0356, ref), st::Status::Ok);
  EXPECT_DOUBLE_EQ(psatw(453.0356), ref);
  const double ts = tsat(1e6);
  EXPECT_NEAR(enth(500, 1e6), mass_h(1e6, 500) * kMw, 1e-6 * mass_h(1e6, 500) * kMw);
  EXPECT_NEAR(enth(ts, 1e6, 0.0) / kMw, 762.5e3, 1.5e3);
  EXPECT_NEAR(enth(ts, 1e6, -1.0) / kMw, 2777.1e3, 1.5e3);
  EXPECT_NEAR(enth(500, 1e6, 1.0, 3.0), 3.0 * enth(500, 1e6), 1e-9 * enth(500, 1e6, 1.0, 3.0));
  for (double hmass : {2.2e6, 2.9e6, 0.5e6}) {
    st::State s;
    ASSERT_EQ(st::state_ph(1e6, hmass, s), st::Status::Ok);
    const auto [T, x] = phtx(1e6, hmass * kMw);
    EXPECT_NEAR(T, s.T, 1e-9 * s.T);
    EXPECT_NEAR(x, s.quality, 1e-12);
    EXPECT_NEAR(volw(T, 1e6, x), s.v, 1e-8 * s.v) << hmass;
    EXPECT_NEAR(volw(T, 1e6, x, 2), s.v * kMw, 1e-8 * s.v * kMw);
  }
}

// dv/dh and dv/dP on (P, h) states in regions 1, 2, 3 (both sides), 5 and
// two-phase at low and high pressure, against central differences of the
// volume the services return.
TEST_F(SteamServices, VolumeDerivativesMatchCentralDifferences) {
  auto vol = [](double p, double h) {
    const auto [T, x] = phtx(p, h);
    return volw(T, p, x);
  };
  const double states[][2] = {{1e6, 3.0e6},   {0.1e6, 2.3e6}, {10e6, 1.0e6},   {0.01e6, 2.0e6},
                              {25e6, 2.6e6},  {5e6, 400e3},   {0.1e6, 2800e3}, {25e6, 1800e3},
                              {25e6, 2300e3}, {30e6, 5500e3}, {0.1e6, 1500e3}, {5e6, 2000e3},
                              {19e6, 2000e3}, {80e6, 3000e3}, {3e3, 2500e3}};  // Pa, J/kg
  for (auto [p, hmass] : states) {
    const double h = hmass * kMw, eh = 1e-6 * h, ep = 1e-6 * p;
    const double nh = (vol(p, h + eh) - vol(p, h - eh)) / (2 * eh);
    const double np = (vol(p + ep, h) - vol(p - ep, h)) / (2 * ep);
    EXPECT_NEAR(dv(true, p, h), nh, 1e-5 * std::fabs(nh)) << p << " " << hmass;
    EXPECT_NEAR(dv(false, p, h), np, 1e-5 * std::fabs(np)) << p << " " << hmass;
  }
}

// Efficiency evaluations with a small helper holding the curve tables.
struct Eff {
  std::vector<double> ex, ey, wx, wy;
  std::array<double, 7> rel{0.85, 50.0, 1.0, 5e6, 50.0, 1.0, 0.5};
  double operator()(int32_t code, double value, double power, double hin, double pin,
                    double pout) const {
    const int32_t ne = static_cast<int32_t>(ex.size()), nw = static_cast<int32_t>(wx.size());
    double eta = std::nan("");
    SSS_EFFTRB(&code, &value, &power, &hin, &pin, &pout, ex.data(), ey.data(), &ne, wx.data(),
               wy.data(), &nw, rel.data(), nullptr, &eta);
    return eta;
  }
};

TEST_F(SteamServices, EfficiencyCodes) {
  const double hin = mass_h(4e6, 700) * kMw, pin = 4e6, pout = 0.5e6;
  const double dhs = twork(1, pin, pout, hin, 1.0)[0] / kMw;  // J/kg
  Eff e;
  EXPECT_EQ(e(1, 0.73, 1e6, hin, pin, pout), 0.73);  // 1: the value itself
  // 2: water rate (kg/J): eta = 1 / (wr dh_s).
  EXPECT_NEAR(e(2, 1.0 / (0.8 * dhs), 1e6, hin, pin, pout), 0.8, 1e-12);
  // 3: efficiency curve (points in any order), piecewise linear in power and
  // flat beyond.
  e.ex = {3e6, 1e6, 2e6};
  e.ey = {0.78, 0.6, 0.7};
  for (auto [power, eta] : {std::pair{1.5e6, 0.65}, {2.5e6, 0.74}, {0.2e6, 0.6}, {9e6, 0.78}})
    EXPECT_NEAR(e(3, 0, power, hin, pin, pout), eta, 1e-12) << power;
  // 4: water-rate curve, then as code 2.
  e.wx = {1e6, 2e6};
  e.wy = {1.0 / (0.5 * dhs), 1.0 / (0.9 * dhs)};
  const double mid = 1.0 / (0.5 * (e.wy[0] + e.wy[1]) * dhs);
  for (auto [power, eta] : {std::pair{1e6, 0.5}, {5e6, 0.9}, {1.5e6, mid}})
    EXPECT_NEAR(e(4, 0, power, hin, pin, pout), eta, 1e-12) << power;
  // 6: the relative-efficiency correlation, at design power and speed, at
  // twice the power, at twice the speed with exponent 1 (1/cosh(ln 2) = 0.8),
  // and with a relative-efficiency curve giving the part-load factor.
  Eff r;
  const double nu = M_PI * 1.0 * 50.0 / std::sqrt(2 * 0.5 * (dhs + std::sqrt(dhs * dhs + 1e6)));
  const double rr = nu / 0.5, fv = 2 * rr / (1 + rr * rr), rr2 = 2 * rr,
               fv2 = 2 * rr2 / (1 + rr2 * rr2);
  EXPECT_NEAR(r(6, 0, 5e6, hin, pin, pout), 0.85 * fv, 1e-12);
  const double x = 2.0, c = 1.0 - 0.5 * (x - 1) * (x - 1) / (1 + (x - 1) * (x - 1));
  EXPECT_NEAR(r(6, 0, 10e6, hin, pin, pout), 0.85 * fv * c, 1e-12);
  r.rel[1] = 100.0;
  EXPECT_NEAR(r(6, 0, 5e6, hin, pin, pout), 0.85 * fv2 * 0.8, 1e-12);
  r.rel[1] = 50.0;
  r.ex = {1e6, 5e6};
  r.ey = {0.5, 1.0};
  EXPECT_NEAR(r(6, 0, 3e6, hin, pin, pout), 0.85 * fv * 0.75, 1e-12);
}

// Within (0, 1] for any pressure ratio, power (negative included), speed and
// exponent; smooth in power.
TEST_F(SteamServices, RelativeEfficiencyIsSmoothAndBounded) {
  Eff r;
  const double hin = mass_h(10e6, 800) * kMw;
  for (double pout : {9.99e6, 9e6, 5e6, 1e6, 0.1e6, 0.01e6})
    for (double power : {0.0, 1e3, 1e6, 5e6, 1e8, -2e6})
      for (double n : {0.0, 1.0, 3.0})
        for (double speed : {1.0, 50.0, 400.0}) {
          r.rel[1] = speed;
          r.rel[5] = n;
          const double eta = r(6, 0, power, hin, 10e6, pout);
          EXPECT_GT(eta, 0.0);
          EXPECT_LE(eta, 1.0);
        }
  r.rel[1] = 50.0;
  r.rel[5] = 1.0;
  double prev = r(6, 0, 1e5, hin, 10e6, 1e6);
  for (double power = 1e5; power < 2e7; power *= 1.1) {
    const double eta = r(6, 0, power, hin, 10e6, 1e6), d = 1e-3 * power;
    EXPECT_LT(std::fabs(eta - prev), 0.05);
    prev = eta;
    EXPECT_TRUE(std::isfinite(
        (r(6, 0, power + d, hin, 10e6, 1e6) - r(6, 0, power - d, hin, 10e6, 1e6)) / (2 * d)));
  }
}

TEST_F(SteamServices, BadInputGivesMissingResultsNeverNaN) {
  const double rm = r3::hs::rmiss();
  const double h = mass_h(4e6, 700) * kMw;
  // Isentropic work: pressure above 100 MPa, negative, zero; unknown mode;
  // NaN enthalpy; no outlet state.
  for (const auto& w : {twork(1, 150e6, 1e6, h, 1), twork(3, -4e6, 1e6, h, 1),
                        twork(1, 4e6, 0.0, h, 1), twork(2, 4e6, 1e6, h, 1),
                        twork(3, 4e6, 1e6, std::nan(""), 1), twork(1, 4e6, 1e6, 1e12, 1)}) {
    EXPECT_LT(w[9], 0.0);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(w[static_cast<size_t>(i)], rm);
  }
  // Enthalpy above 2273.15 K, above 100 MPa, at a negative pressure, NaN.
  for (double v : {enth(2300, 1e6), enth(500, 120e6), enth(500, -1e5), enth(std::nan(""), 1e5)})
    EXPECT_EQ(v, rm);
  // Volume above 2273.15 K or with an unknown option; (P, h) state above 100
  // MPa; saturation temperature at a negative pressure or above critical;
  // saturation pressure above the critical temperature; volume derivatives
  // out of range.
  for (double v :
       {volw(2300, 1e6, 1), volw(500, 1e6, 1, 9), phtx(101e6, h).first, phtx(101e6, h).second,
        tsat(-1.0), tsat(23e6), psatw(700), dv(true, 101e6, h), dv(false, -1.0, h)})
    EXPECT_EQ(v, rm);
  EXPECT_LT(psatw(500), rm);
  // Efficiency: no expansion for a water rate, a zero water rate, missing
  // curve points, an unknown code, a negative value, a correlation parameter
  // out of range or missing, an inlet pressure above the range.
  Eff e, r1, r2, bad_curve;
  bad_curve.ex = {1e6, rm};
  bad_curve.ey = {0.5, 0.6};
  r1.rel[0] = 1.2;
  r2.rel[2] = rm;
  for (double eta :
       {e(2, 1e-6, 1e6, h, 4e6, 4e6), e(2, 0.0, 1e6, h, 4e6, 1e6), e(3, 0, 1e6, h, 4e6, 1e6),
        bad_curve(3, 0, 1e6, h, 4e6, 1e6), e(5, 0.7, 1e6, h, 4e6, 1e6),
        e(1, -0.1, 1e6, h, 4e6, 1e6), r1(6, 0, 1e6, h, 4e6, 1e6), r2(6, 0, 1e6, h, 4e6, 1e6),
        e(2, 1e-6, 1e6, h, 150e6, 1e6)})
    EXPECT_EQ(eta, rm);
  // Nothing was written to the message unit at the default diagnostic level;
  // a level of 5 writes one line per failure.
  EXPECT_TRUE(r3::test::messages().empty());
  SSS_SBDIAG[0] = 5;
  EXPECT_EQ(enth(2300, 1e6), rm);
  const auto m = r3::test::messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_NE(m[0].find("SSS_ENTH"), std::string::npos);
  SSS_SBDIAG[0] = 0;
}

}  // namespace
