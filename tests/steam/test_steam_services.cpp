// The steam-table host services: molar units against the IF97 routines, every
// derivative they return against finite differences, the five efficiency
// codes, failures reported as RMISS (never NaN), and the steam-table property
// method at the IF97 verification points in molar units.
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
  static double rmiss() { return r3::hs::rmiss(); }
};

struct Work {
  std::array<double, 10> r{};
};
Work twork(int32_t mode, double pa, double pb, double h, double g, double fac = 1.0) {
  Work w;
  w.r.fill(std::nan(""));
  SSS_TWORK(&mode, &pa, &pb, &h, &g, &fac, w.r.data());
  return w;
}

double enth(double T, double P, double frac = 1.0) {
  const double one = 1.0;
  double h = std::nan("");
  SSS_ENTH(&T, &P, &one, &frac, &h);
  return h;
}

TEST_F(SteamServices, IsentropicWorkInMolarUnitsMatchesTheSteamTables) {
  // Superheated inlet to a wet outlet, and superheated to superheated.
  struct Case {
    double pa, T, pb;
  };
  for (const Case& c : {Case{10e6, 800, 0.1e6}, Case{4e6, 700, 1e6}, Case{1e6, 500, 8e3}}) {
    st::State in;
    ASSERT_EQ(st::state_pT(c.pa, c.T, in), st::Status::Ok);
    st::State out;
    ASSERT_EQ(st::state_ps(c.pb, in.s, out), st::Status::Ok);
    const double G = 2.5;  // kmol/s
    const Work w = twork(1, c.pa, c.pb, in.h * kMw, G);
    EXPECT_EQ(w.r[9], 0.0);
    EXPECT_NEAR(w.r[0], G * kMw * (in.h - out.h), 1e-9 * std::fabs(w.r[0]));
    EXPECT_NEAR(w.r[5], out.h * kMw, 1e-6 * std::fabs(out.h * kMw));
    EXPECT_NEAR(w.r[6], out.T, 1e-6);
    EXPECT_NEAR(w.r[7], out.quality, 1e-9);
    EXPECT_NEAR(w.r[8], w.r[0] / G, 1e-9 * std::fabs(w.r[8]));
    // The factor multiplies the work.
    EXPECT_NEAR(twork(1, c.pa, c.pb, in.h * kMw, G, 0.5).r[0], 0.5 * w.r[0], 1e-9 * w.r[0]);
  }
}

TEST_F(SteamServices, IsentropicWorkDerivativesMatchCentralDifferences) {
  struct Case {
    double pa, h, pb, g;  // h in J/kmol
  };
  std::vector<Case> cases;
  for (auto [pa, T, pb] : {std::array<double, 3>{10e6, 800, 0.1e6},
                           {4e6, 700, 1e6},
                           {1e6, 500, 8e3},
                           {20e6, 900, 5e6}}) {
    st::State in;
    ASSERT_EQ(st::state_pT(pa, T, in), st::Status::Ok);
    cases.push_back({pa, in.h * kMw, pb, 1.7});
  }
  // A wet inlet (quality 0.9 at 0.5 MPa).
  {
    st::State sat;
    ASSERT_EQ(st::state_ph(0.5e6, 2.5e6, sat), st::Status::Ok);
    ASSERT_EQ(sat.region, 4);
    cases.push_back({0.5e6, 2.5e6 * kMw, 0.05e6, 0.8});
  }
  for (const Case& c : cases) {
    const Work w = twork(3, c.pa, c.pb, c.h, c.g);
    ASSERT_EQ(w.r[9], 0.0);
    auto W = [](double pa, double pb, double h, double g) { return twork(1, pa, pb, h, g).r[0]; };
    const double dpa = 1e-6 * c.pa, dpb = 1e-6 * c.pb, dh = 1e-7 * std::fabs(c.h), dg = 1e-6;
    const double n1 = (W(c.pa + dpa, c.pb, c.h, c.g) - W(c.pa - dpa, c.pb, c.h, c.g)) / (2 * dpa);
    const double n2 = (W(c.pa, c.pb + dpb, c.h, c.g) - W(c.pa, c.pb - dpb, c.h, c.g)) / (2 * dpb);
    const double n3 = (W(c.pa, c.pb, c.h + dh, c.g) - W(c.pa, c.pb, c.h - dh, c.g)) / (2 * dh);
    const double n4 = (W(c.pa, c.pb, c.h, c.g + dg) - W(c.pa, c.pb, c.h, c.g - dg)) / (2 * dg);
    EXPECT_NEAR(w.r[1], n1, 1e-5 * std::fabs(n1) + 1e-9) << c.pa << " " << c.pb;
    EXPECT_NEAR(w.r[2], n2, 1e-5 * std::fabs(n2) + 1e-9) << c.pa << " " << c.pb;
    EXPECT_NEAR(w.r[3], n3, 1e-5 * std::fabs(n3) + 1e-9) << c.pa << " " << c.pb;
    EXPECT_NEAR(w.r[4], n4, 1e-6 * std::fabs(n4)) << c.pa << " " << c.pb;
    // Mode 1 leaves the derivative slots at 0.
    const Work w1 = twork(1, c.pa, c.pb, c.h, c.g);
    for (int i = 1; i <= 4; ++i) EXPECT_EQ(w1.r[static_cast<size_t>(i)], 0.0);
  }
}

TEST_F(SteamServices, SaturationEnthalpyStateAndVolume) {
  double ts = 0, ps = 0;
  const double p = 1e6, t = 453.0356;
  SSS_TSAT(&p, &ts);
  SSS_PSATW(&t, &ps);
  double ref;
  ASSERT_EQ(st::tsat(p, ref), st::Status::Ok);
  EXPECT_DOUBLE_EQ(ts, ref);
  ASSERT_EQ(st::psat(t, ref), st::Status::Ok);
  EXPECT_DOUBLE_EQ(ps, ref);

  // Enthalpy: the stable phase off the line, the indicator's phase on it.
  st::State s;
  ASSERT_EQ(st::state_pT(1e6, 500, s), st::Status::Ok);
  EXPECT_NEAR(enth(500, 1e6), s.h * kMw, 1e-6 * s.h * kMw);
  st::State liq;
  ASSERT_EQ(st::state_ph(1e6, 762.0e3, liq), st::Status::Ok);  // just below saturation
  const double hl = enth(ts, 1e6, 0.0), hv = enth(ts, 1e6, -1.0);
  EXPECT_NEAR(hl / kMw, 762.5e3, 1.5e3);   // saturated liquid at 1 MPa, 762.5 kJ/kg
  EXPECT_NEAR(hv / kMw, 2777.1e3, 1.5e3);  // saturated vapour, 2777.1 kJ/kg
  const double one = 3.0, frac = 1.0, T = 500, P = 1e6;
  double h3 = 0;
  SSS_ENTH(&T, &P, &one, &frac, &h3);
  EXPECT_NEAR(h3, 3.0 * enth(500, 1e6), 1e-9 * h3);

  // (P, h) -> T and quality, then the volume, in and out of the dome.
  for (double hmass : {2.2e6, 2.9e6, 0.5e6}) {
    const double h = hmass * kMw;
    double T2 = 0, x = 0, v = 0, vm = 0;
    SSS_PHTX(&p, &h, &T2, &x);
    ASSERT_EQ(st::state_ph(p, hmass, s), st::Status::Ok);
    EXPECT_NEAR(T2, s.T, 1e-9 * s.T);
    EXPECT_NEAR(x, s.quality, 1e-12);
    const int32_t o1 = 1, o2 = 2;
    SSS_VOLW(&T2, &p, &x, &o1, &v);
    SSS_VOLW(&T2, &p, &x, &o2, &vm);
    EXPECT_NEAR(v, s.v, 1e-8 * s.v) << hmass;
    EXPECT_NEAR(vm, s.v * kMw, 1e-8 * s.v * kMw);
  }
}

TEST_F(SteamServices, VolumeDerivativesMatchCentralDifferences) {
  const int32_t o1 = 1;
  auto vol = [&](double p, double h) {
    double T = 0, x = 0, v = 0;
    SSS_PHTX(&p, &h, &T, &x);
    SSS_VOLW(&T, &p, &x, &o1, &v);
    return v;
  };
  for (auto [p, hmass] : {std::array<double, 2>{1e6, 3.0e6},
                          {0.1e6, 2.3e6},
                          {10e6, 1.0e6},
                          {0.01e6, 2.0e6},
                          {25e6, 2.6e6}}) {
    const double h = hmass * kMw;
    double dvdh = 0, dvdp = 0;
    SSS_DVDH(&p, &h, &dvdh);
    SSS_DVDP(&p, &h, &dvdp);
    const double eh = 1e-6 * h, ep = 1e-6 * p;
    const double nh = (vol(p, h + eh) - vol(p, h - eh)) / (2 * eh);
    const double np = (vol(p + ep, h) - vol(p - ep, h)) / (2 * ep);
    EXPECT_NEAR(dvdh, nh, 1e-4 * std::fabs(nh)) << p << " " << hmass;
    EXPECT_NEAR(dvdp, np, 1e-4 * std::fabs(np)) << p << " " << hmass;
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
  st::State in;
  ASSERT_EQ(st::state_pT(4e6, 700, in), st::Status::Ok);
  const double hin = in.h * kMw, pin = 4e6, pout = 0.5e6;
  const double dhs = twork(1, pin, pout, hin, 1.0).r[0] / kMw;  // J/kg
  Eff e;
  // 1: the value itself, whatever the state.
  EXPECT_EQ(e(1, 0.73, 1e6, hin, pin, pout), 0.73);
  // 2: water rate (kg/J): eta = 1 / (wr dh_s).
  const double wr = 1.0 / (0.8 * dhs);
  EXPECT_NEAR(e(2, wr, 1e6, hin, pin, pout), 0.8, 1e-12);
  // 3: efficiency curve, piecewise linear in power and flat beyond.
  e.ex = {3e6, 1e6, 2e6};  // any order
  e.ey = {0.78, 0.6, 0.7};
  EXPECT_NEAR(e(3, 0, 1.5e6, hin, pin, pout), 0.65, 1e-12);
  EXPECT_NEAR(e(3, 0, 2.5e6, hin, pin, pout), 0.74, 1e-12);
  EXPECT_EQ(e(3, 0, 0.2e6, hin, pin, pout), 0.6);
  EXPECT_EQ(e(3, 0, 9e6, hin, pin, pout), 0.78);
  // 4: water-rate curve, then as code 2.
  e.wx = {1e6, 2e6};
  e.wy = {1.0 / (0.5 * dhs), 1.0 / (0.9 * dhs)};
  EXPECT_NEAR(e(4, 0, 1e6, hin, pin, pout), 0.5, 1e-12);
  EXPECT_NEAR(e(4, 0, 5e6, hin, pin, pout), 0.9, 1e-12);
  const double mid = 1.0 / (0.5 * (e.wy[0] + e.wy[1]) * dhs);
  EXPECT_NEAR(e(4, 0, 1.5e6, hin, pin, pout), mid, 1e-12);
  // 6: the relative-efficiency correlation.
  Eff r;
  const double nu = M_PI * 1.0 * 50.0 / std::sqrt(2 * 0.5 * (dhs + std::sqrt(dhs * dhs + 1e6)));
  const double rr = nu / 0.5, fv = 2 * rr / (1 + rr * rr);
  EXPECT_NEAR(r(6, 0, 5e6, hin, pin, pout), 0.85 * fv, 1e-12);  // design power and speed
  const double x = 2.0, c = 1.0 - 0.5 * (x - 1) * (x - 1) / (1 + (x - 1) * (x - 1));
  EXPECT_NEAR(r(6, 0, 10e6, hin, pin, pout), 0.85 * fv * c, 1e-12);
  r.rel[1] = 100.0;  // twice the design speed with exponent 1: 1/cosh(ln 2) = 0.8
  const double rr2 = 2 * rr, fv2 = 2 * rr2 / (1 + rr2 * rr2);
  EXPECT_NEAR(r(6, 0, 5e6, hin, pin, pout), 0.85 * fv2 * 0.8, 1e-12);
  // With a relative-efficiency curve, the curve gives the part-load factor.
  r.rel[1] = 50.0;
  r.ex = {1e6, 5e6};
  r.ey = {0.5, 1.0};
  EXPECT_NEAR(r(6, 0, 3e6, hin, pin, pout), 0.85 * fv * 0.75, 1e-12);
}

TEST_F(SteamServices, RelativeEfficiencyIsSmoothAndBounded) {
  Eff r;
  st::State in;
  ASSERT_EQ(st::state_pT(10e6, 800, in), st::Status::Ok);
  const double hin = in.h * kMw;
  for (double pout : {9.99e6, 9e6, 5e6, 1e6, 0.1e6, 0.01e6}) {
    for (double power : {0.0, 1e3, 1e6, 5e6, 1e8, -2e6}) {
      for (double n : {0.0, 1.0, 3.0}) {
        for (double speed : {1.0, 50.0, 400.0}) {
          r.rel[1] = speed;
          r.rel[5] = n;
          const double eta = r(6, 0, power, hin, 10e6, pout);
          EXPECT_GT(eta, 0.0);
          EXPECT_LE(eta, 1.0);
        }
      }
    }
  }
  // Smooth in power: small changes give small changes.
  r.rel[1] = 50.0;
  r.rel[5] = 1.0;
  double prev = r(6, 0, 1e5, hin, 10e6, 1e6);
  for (double power = 1e5; power < 2e7; power *= 1.1) {
    const double eta = r(6, 0, power, hin, 10e6, 1e6);
    EXPECT_LT(std::fabs(eta - prev), 0.05);
    prev = eta;
    const double d = 1e-3 * power;
    const double slope =
        (r(6, 0, power + d, hin, 10e6, 1e6) - r(6, 0, power - d, hin, 10e6, 1e6)) / (2 * d);
    EXPECT_TRUE(std::isfinite(slope));
  }
}

TEST_F(SteamServices, BadInputGivesMissingResultsNeverNaN) {
  const double rm = rmiss();
  st::State in;
  ASSERT_EQ(st::state_pT(4e6, 700, in), st::Status::Ok);
  const double h = in.h * kMw;
  // Isentropic work: pressure above 100 MPa, negative, zero; unknown mode; NaN enthalpy.
  for (const Work& w : {twork(1, 150e6, 1e6, h, 1), twork(3, -4e6, 1e6, h, 1),
                        twork(1, 4e6, 0.0, h, 1), twork(2, 4e6, 1e6, h, 1),
                        twork(3, 4e6, 1e6, std::nan(""), 1), twork(1, 4e6, 1e6, 1e12, 1)}) {
    EXPECT_LT(w.r[9], 0.0);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(w.r[static_cast<size_t>(i)], rm);
  }
  // Enthalpy above 2273.15 K, above 100 MPa, at a negative pressure.
  EXPECT_EQ(enth(2300, 1e6), rm);
  EXPECT_EQ(enth(500, 120e6), rm);
  EXPECT_EQ(enth(500, -1e5), rm);
  EXPECT_EQ(enth(std::nan(""), 1e5), rm);
  double v = 0, t = 0, x = 0, d = 0;
  const int32_t o1 = 1, o9 = 9;
  double T = 2300, P = 1e6, q = 1, pbad = 101e6, hh = h, pneg = -1.0;
  SSS_VOLW(&T, &P, &q, &o1, &v);
  EXPECT_EQ(v, rm);
  T = 500;
  SSS_VOLW(&T, &P, &q, &o9, &v);
  EXPECT_EQ(v, rm);
  SSS_PHTX(&pbad, &hh, &t, &x);
  EXPECT_EQ(t, rm);
  EXPECT_EQ(x, rm);
  SSS_TSAT(&pneg, &t);
  EXPECT_EQ(t, rm);
  double pc = 23e6;
  SSS_TSAT(&pc, &t);
  EXPECT_EQ(t, rm);
  SSS_PSATW(&T, &t);
  EXPECT_LT(t, rm);
  T = 700;  // above the critical temperature
  SSS_PSATW(&T, &t);
  EXPECT_EQ(t, rm);
  SSS_DVDH(&pbad, &hh, &d);
  EXPECT_EQ(d, rm);
  SSS_DVDP(&pneg, &hh, &d);
  EXPECT_EQ(d, rm);
  // Efficiency: no expansion for a water rate, missing curve points, an
  // unknown code, a correlation parameter out of range.
  Eff e;
  EXPECT_EQ(e(2, 1e-6, 1e6, h, 4e6, 4e6), rm);
  EXPECT_EQ(e(2, 0.0, 1e6, h, 4e6, 1e6), rm);
  EXPECT_EQ(e(3, 0, 1e6, h, 4e6, 1e6), rm);  // no points
  e.ex = {1e6, rm};
  e.ey = {0.5, 0.6};
  EXPECT_EQ(e(3, 0, 1e6, h, 4e6, 1e6), rm);
  EXPECT_EQ(e(5, 0.7, 1e6, h, 4e6, 1e6), rm);
  EXPECT_EQ(e(1, -0.1, 1e6, h, 4e6, 1e6), rm);
  Eff r;
  r.rel[0] = 1.2;
  EXPECT_EQ(r(6, 0, 1e6, h, 4e6, 1e6), rm);
  r.rel[0] = 0.8;
  r.rel[2] = rm;
  EXPECT_EQ(r(6, 0, 1e6, h, 4e6, 1e6), rm);
  EXPECT_EQ(e(2, 1e-6, 1e6, h, 150e6, 1e6), rm);
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

// The steam-table property method (r3sim props --method STEAM-TA) at the
// IF97 verification points and at 1 MPa, 500 K, in molar units.
TEST(SteamTableMethod, VerificationValuesInMolarUnits) {
  const auto& db = r3::thermo::Databank::builtin();
  const int k = db.find("H2O");
  ASSERT_GE(k, 0);
  std::string err;
  auto model = r3::thermo::make_model(r3::thermo::Method::SteamTable, {&db[k]}, &err);
  ASSERT_NE(model, nullptr) << err;
  const std::vector<double> z{1.0};
  struct Ref {
    double T, P, v, h, s;  // m3/kg, kJ/kg, kJ/(kg K) from the IF97 verification tables
  };
  for (const Ref& c : {Ref{300, 3e6, 0.100215168e-2, 0.115331273e3, 0.392294792},
                       Ref{300, 80e6, 0.971180894e-3, 0.184142828e3, 0.368563852},
                       Ref{500, 3e6, 0.120241800e-2, 0.975542239e3, 0.258041912e1},
                       Ref{300, 0.0035e6, 0.394913866e2, 0.254991145e4, 0.852238967e1},
                       Ref{700, 0.0035e6, 0.923015898e2, 0.333568375e4, 0.101749996e2},
                       Ref{700, 30e6, 0.542946619e-2, 0.263149474e4, 0.517540298e1}}) {
    r3::thermo::FlashResult r;
    ASSERT_NE(r3::thermo::flash_tp(*model, c.T, c.P, z, r), r3::thermo::Status::Failed);
    EXPECT_NEAR(r.H, c.h * 1e3 * kMw, 1e-8 * std::fabs(c.h * 1e3 * kMw)) << c.T << " " << c.P;
    EXPECT_NEAR(r.S, c.s * 1e3 * kMw, 1e-8 * std::fabs(c.s * 1e3 * kMw)) << c.T << " " << c.P;
    const r3::thermo::Phase ph =
        r.beta > 0.5 ? r3::thermo::Phase::Vapour : r3::thermo::Phase::Liquid;
    double v = 0;
    ASSERT_NE(model->molar_volume(ph, c.T, c.P, z, v, nullptr), r3::thermo::Status::Failed);
    EXPECT_NEAR(v, c.v * kMw, 1e-8 * c.v * kMw) << c.T << " " << c.P;
  }
  // The command's own state: 1 MPa, 500 K, superheated vapour.
  r3::thermo::FlashResult r;
  ASSERT_NE(r3::thermo::flash_tp(*model, 500, 1e6, z, r), r3::thermo::Status::Failed);
  st::State s;
  ASSERT_EQ(st::state_pT(1e6, 500, s), st::Status::Ok);
  EXPECT_EQ(r.beta, 1.0);
  EXPECT_NEAR(r.H, s.h * kMw, 1e-9 * s.h * kMw);
  EXPECT_NEAR(r.S, s.s * kMw, 1e-9 * s.s * kMw);
  EXPECT_NEAR(s.h, 2890.7e3, 3e3);  // steam tables: about 2891 kJ/kg
}

}  // namespace

namespace r3::thermo {
namespace {

// Flashes of the steam-table method at the range's edges: the
// high-temperature region (IAPWS R7-97(2012) Table 42), the saturation line
// down to the triple point (Tables 35/36; 273.16 K at 611.657 Pa; 1000 Pa
// boils at 280.12 K), wet states at 1-50 kPa, and IF97's molar mass.
TEST(SteamTableMethod, FlashesOverTheWholeRange) {
  const auto& db = Databank::builtin();
  auto m = make_model(Method::SteamTable, {&db[db.find("H2O")]});
  const std::vector<double> z{1.0};
  FlashResult r, l, g;
  for (const auto& c : std::vector<std::array<double, 4>>{{1500, 0.5e6, 0.521976855e4, 0.965408875e1},
                                                          {1500, 30e6, 0.516723514e4, 0.772970133e1},
                                                          {2000, 30e6, 0.657122604e4, 0.853640523e1}}) {
    ASSERT_EQ(flash_ph(*m, c[1], c[2] * 1e3 * kMw, z, 300, r), Status::Ok) << c[0];
    EXPECT_NEAR(r.T, c[0], 2e-9 * c[0]);
    ASSERT_EQ(flash_ps(*m, c[1], c[3] * 1e3 * kMw, z, 300, r), Status::Ok) << c[0];
    EXPECT_NEAR(r.T, c[0], 2e-9 * c[0]);
  }
  for (const auto& c : std::vector<std::array<double, 2>>{
           {611.657, 273.16}, {1000, 280.12}, {0.1e6, 372.755919}, {1e6, 453.035632}, {10e6, 584.149488}})
    for (double beta : {0.0, 0.5, 1.0}) {
      ASSERT_EQ(flash_pv(*m, c[0], beta, z, 300, r), Status::Ok) << c[0];
      EXPECT_NEAR(r.T, c[1], c[0] < 1e4 ? 5e-3 : 1e-6) << c[0];
    }
  for (double P : {1e3, 2e3, 5e3, 10e3, 20e3, 50e3}) {
    ASSERT_EQ(flash_pv(*m, P, 0.0, z, 300, l), Status::Ok);
    ASSERT_EQ(flash_pv(*m, P, 1.0, z, 300, g), Status::Ok);
    for (double beta : {1e-6, 0.3, 0.999}) {
      ASSERT_EQ(flash_ph(*m, P, l.H + beta * (g.H - l.H), z, 300, r), Status::Ok);
      EXPECT_NEAR(r.beta, beta, 1e-9) << P;
      ASSERT_EQ(flash_ps(*m, P, l.S + beta * (g.S - l.S), z, 300, r), Status::Ok);
      EXPECT_NEAR(r.beta, beta, 1e-9) << P;
    }
  }
  double mw;
  ASSERT_EQ(m->molecular_weight(z, mw), Status::Ok);
  EXPECT_EQ(mw, 18.015268);
}

}  // namespace
}  // namespace r3::thermo
