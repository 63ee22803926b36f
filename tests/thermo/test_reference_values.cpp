// The property methods against published data and hand calculations: the
// databank, ideal-gas water (JANAF), the IDEAL method's corresponding-states
// liquid, Peng-Robinson's vapour pressures, critical compressibility and
// departure functions, liquid densities, and the interaction parameters.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "host/case/case.h"
#include "tests/thermo/thermo_test_util.h"

namespace r3::thermo {
namespace {

using testing::lnphi;
using testing::model_of;
using testing::prop;
using testing::psat;
constexpr double R = kGasConstant;
const std::vector<double> kPure{1.0};

constexpr Phase L = Phase::Liquid, V = Phase::Vapour;

TEST(Databank, LookupAndParsing) {
  const Databank& db = Databank::builtin();
  EXPECT_EQ(db.find("h2o"), db.find("H2O"));
  EXPECT_DOUBLE_EQ(db[db.find("H2O")].mw, 18.015268);  // IF97's molar mass, shared by every method
  EXPECT_EQ(db.find("XYZ"), -1);
  EXPECT_EQ(db.find(""), -1);
  const std::string header =
      "id\tname\tformula\tCAS\tMW\tTc\tPc\tomega\tZc\tVc\tTb\tcp_a0\tcp_a1\tcp_a2\tcp_a3\tcp_a4\t"
      "cp_Tmin\tcp_Tmax\tHf_ig_298\tZRA\n";
  const std::string good =
      "X\tx\tX\t1-1-1\t10\t300\t1e6\t0.1\t0.3\t0.1\t200\t3.5\t0\t0\t0\t0\t50\t1000\t0\t0.27\n";
  std::string bad_tc = good, crlf = header + good;  // Windows line ends are accepted
  bad_tc.replace(bad_tc.find("\t300\t"), 5, "\tabc\t");
  for (size_t p = crlf.find('\n'); p != std::string::npos; p = crlf.find('\n', p + 2))
    crlf.replace(p, 1, "\r\n");
  const struct {
    std::string text;
    bool ok;
    const char* error;
  } cases[] = {{header + good, true, ""},
               {crlf, true, ""},
               {header + bad_tc, false, "Tc"},
               {header + good + good, false, ""},  // duplicate id
               {"id\tname\tMW\n", false, ""},      // missing columns
               {"", false, ""}};
  for (const auto& c : cases) {
    Databank out;
    std::string err;
    EXPECT_EQ(Databank::parse(c.text, out, err), c.ok) << c.text << err;
    EXPECT_NE(err.find(c.error), std::string::npos) << err;
    EXPECT_EQ(out.size(), c.ok ? 1 : 0);
    if (c.ok) {
      EXPECT_DOUBLE_EQ(out[0].zra, 0.27);
    }
  }
}

// Every row of reference_values.tsv: a published value with its source.
TEST(ReferenceValues, EveryPublishedValue) {
  std::ifstream in(std::string(R3_SOURCE_DIR) + "/tests/thermo/reference_values.tsv");
  int checked = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#' || line.rfind("check", 0) == 0) continue;
    std::istringstream ss(line);
    std::string check, method, id, Ts, Ps;
    double value, tol;
    ss >> check >> method >> id >> Ts >> Ps >> value >> tol;
    for (Method meth : {Method::Ideal, Method::PengRobinson}) {
      if (method != "both" && method != (meth == Method::Ideal ? "IDEAL" : "PENG-ROB")) continue;
      SCOPED_TRACE(line);
      std::vector<std::string> ids;
      std::vector<double> z;
      std::stringstream cs(id);
      for (std::string part; std::getline(cs, part, '+');) {
        ids.push_back(part.substr(0, part.find(':')));
        z.push_back(part.find(':') == std::string::npos ? 1.0 : std::stod(part.substr(part.find(':') + 1)));
      }
      auto m = model_of(meth, ids);
      ASSERT_TRUE(m);
      const Component& c = m->component(0);
      auto num = [](const std::string& t, double crit) {  // "0.9Tc": reduced
        return t == "-" ? NAN : std::stod(t) * (t.back() == 'c' ? crit : 1);
      };
      const double T = num(Ts, c.tc), P = num(Ps, c.pc);
      double got = NAN;
      FlashResult r;
      if (check == "rho_L") got = c.mw / prop(*m, 3, L, T, P);
      if (check == "psat") got = psat(*m, T);
      if (check == "z_V" || check == "z_L") got = prop(*m, 4, check == "z_V" ? V : L, T, P);
      if (check == "T_bub" && flash_pv(*m, P, 0.0, z, 300, r) == Status::Ok) got = r.T;
      if (check == "T_bub" && ids.size() == 2) {  // kij = 0 must miss by more
        const std::vector<BinaryInteraction> none{{ids[0], ids[1], 0.0}};
        auto m0 = make_model(meth, {&c, &m->component(1)}, nullptr, nullptr, &none);
        ASSERT_EQ(flash_pv(*m0, P, 0.0, z, 300, r), Status::Ok);
        EXPECT_GT(std::abs(r.T - value), 2 * std::abs(got - value));
      }
      if (check == "dH_ig") got = prop(*m, 0, V, T, P) - prop(*m, 0, V, kTref, P);
      if (check == "S_V") got = prop(*m, 1, V, T, P);
      if (check == "Cp_V" || check == "Cp_L") got = prop(*m, 2, check == "Cp_V" ? V : L, T, P);
      if (check == "dH_vap") got = prop(*m, 0, V, T, P) - prop(*m, 0, L, T, P);
      if (check == "H_L") got = prop(*m, 0, L, T, P);
      EXPECT_NEAR(got, value, tol * std::abs(value));
      ++checked;
    }
  }
  EXPECT_EQ(checked, 90);
}

// Ideal-gas water's reference state: H = Hf = -241.822 MJ/kmol and S = 0 at
// 298.15 K, 1 atm; pressure enters the entropy only as -R ln(P/P0).
TEST(IdealGas, WaterReferenceState) {
  auto m = model_of(Method::Ideal, {"H2O"});
  ASSERT_TRUE(m);
  EXPECT_NEAR(prop(*m, 0, V, kTref, 101325), -241822000, 1e-3);
  EXPECT_NEAR(prop(*m, 1, V, kTref, 101325), 0.0, 1e-9);
  EXPECT_NEAR(prop(*m, 1, V, 500, 1e6) - prop(*m, 1, V, 500, 101325), -R * std::log(1e6 / 101325),
              1e-6);
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
    std::vector<double> joints{c.cp_tmin, c.cp_tmax};
    if (c.cs16_tmax > c.cp_tmax) joints.push_back(c.cs16_tmax);
    for (double tj : joints)
      EXPECT_NEAR(prop(*m, 2, V, tj * (1 - 1e-9), 1e5), prop(*m, 2, V, tj * (1 + 1e-9), 1e5), 1e-3)
          << tj;
    for (double T : {20.0, c.cp_tmin, 300.0, 999.0, c.cp_tmax, 1001.0, 1400.0, 1700.0, 2500.0}) {
      const double cp = prop(*m, 2, V, T, 1e5), d = 1e-3;
      EXPECT_NEAR((prop(*m, 0, V, T + d, 1e5) - prop(*m, 0, V, T - d, 1e5)) / (2 * d), cp,
                  1e-5 * cp)
          << T;
      EXPECT_NEAR((prop(*m, 1, V, T + d, 1e5) - prop(*m, 1, V, T - d, 1e5)) / (2 * d), cp / T,
                  1e-5 * cp / T)
          << T;
    }
  }
}

// Liquid water at 300 K, 1 bar by the IDEAL method, by hand: Lee-Kesler with
// Tr = 300/647.14, ln(Psat/Pc) = f0 + w f1; at Tr = 0.7 it reproduces the
// acentric factor's definition, Psat = Pc 10^(-1-w) (0.9993 MPa, measured
// 0.9995 MPa at 453.0 K); Raoult: ln phi_L = ln(Psat/P), ln phi_V = 0. (The
// measured values: reference_values.tsv.)
TEST(IdealMethod, LiquidWaterByHand) {
  auto m = model_of(Method::Ideal, {"H2O"});
  ASSERT_TRUE(m);
  const double T = 300, P = 1e5, Tc = 647.14, Pc = 22064000, w = 0.344, tr = T / Tc;
  const double f0 = 5.92714 - 6.09648 / tr - 1.28862 * std::log(tr) + 0.169347 * std::pow(tr, 6);
  const double f1 = 15.2518 - 15.6875 / tr - 13.4721 * std::log(tr) + 0.43577 * std::pow(tr, 6);
  const double psat_hand = Pc * std::exp(f0 + w * f1);
  EXPECT_NEAR(psat(*m, T), psat_hand, 1e-9 * psat_hand);
  EXPECT_NEAR(psat(*m, 0.7 * Tc), Pc * std::pow(10.0, -1 - w), 0.01 * Pc * std::pow(10.0, -1 - w));
  EXPECT_NEAR(prop(*m, 4, L, T, P), P * prop(*m, 3, L, T, P) / (R * T), 1e-12);
  EXPECT_NEAR(lnphi(*m, L, T, P), std::log(psat_hand / P), 1e-9);
  EXPECT_EQ(lnphi(*m, V, T, P), 0.0);
}

// An n-hexane / n-heptane liquid (x = 0.4 / 0.6) at 298.15 K, 1 bar: volume
// and enthalpy are the mole-fraction averages of the pure values (ideal
// solution). Measured: V = 0.1316 and 0.1475 m3/kmol, dHvap = 31.56 and 36.57
// MJ/kmol.
TEST(IdealMethod, HydrocarbonLiquidMixtureByHand) {
  auto m = model_of(Method::Ideal, {"NC6", "NC7"});
  ASSERT_TRUE(m);
  const double T = 298.15, P = 1e5;
  const std::vector<double> x{0.4, 0.6}, a{1, 0}, b{0, 1};
  const double v = prop(*m, 3, L, T, P, x), hl = prop(*m, 0, L, T, P, x);
  EXPECT_NEAR(v, 0.4 * prop(*m, 3, L, T, P, a) + 0.6 * prop(*m, 3, L, T, P, b), 1e-12);
  EXPECT_NEAR(v, 0.4 * 0.1316 + 0.6 * 0.1475, 0.005 * v);
  EXPECT_NEAR(hl, 0.4 * prop(*m, 0, L, T, P, a) + 0.6 * prop(*m, 0, L, T, P, b), 1e-6);
  EXPECT_NEAR(prop(*m, 0, V, T, P, x) - hl, 0.4 * 31.56e6 + 0.6 * 36.57e6, 0.03 * 34.6e6);
  EXPECT_NEAR(prop(*m, 3, L, T, P, {4, 6}), v, 1e-14);  // unnormalised: the same state
}

// Propane across its critical temperature (369.83 K): the vaporisation
// enthalpy vanishes, the liquid enthalpy is continuous, and above Tc the
// vapour pressure is an extrapolation continuous with it.
TEST(IdealMethod, PropaneAcrossItsCriticalTemperature) {
  auto p = model_of(Method::Ideal, {"C3H8"});
  ASSERT_TRUE(p);
  const double tc = p->component(0).tc, lo = tc * (1 - 1e-7), hi = tc * (1 + 1e-7);
  const double hl = prop(*p, 0, L, lo, 5e6), hv = prop(*p, 0, V, lo, 5e6);
  EXPECT_LT(hv - hl, 0.02 * (hv - hl + 1e7));  // a small fraction of its 19 MJ/kmol at Tb
  EXPECT_NEAR(prop(*p, 0, L, hi, 5e6), prop(*p, 0, V, hi, 5e6), 1e-6);
  EXPECT_NEAR(prop(*p, 0, L, hi, 5e6), hl, 0.02e7);
  const double ps1 = psat(*p, tc * (1 - 1e-9));
  EXPECT_NEAR(psat(*p, tc * (1 + 1e-9), Status::Extrapolated), ps1, 1e-4 * ps1);
}

// No saturation above the critical point; close to it (narrow three-root
// range), at very low reduced temperature (liquid root near 1e-10 of the
// vapour root), and for the negative acentric factors of the quantum gases:
// equal fugacities, below Pc, increasing with temperature. (The tabulated
// vapour pressures: reference_values.tsv.)
TEST(PengRobinson, VapourPressuresUpToTheCriticalPoint) {
  auto m = model_of(Method::PengRobinson, {"C3H8"});
  ASSERT_TRUE(m);
  EXPECT_GT(psat(*m, 0.99 * m->component(0).tc), 0.9 * m->component(0).pc);
  psat(*m, 1.01 * m->component(0).tc, Status::Extrapolated);
  for (const char* id : {"C3H8", "CH4", "HE", "H2", "NC10"}) {
    auto p = model_of(Method::PengRobinson, {id});
    ASSERT_TRUE(p);
    double last = 0;
    for (double tr : {0.3, 0.5, 0.9, 0.99, 0.999, 0.9999, 0.99999}) {
      SCOPED_TRACE(std::string(id) + " Tr=" + std::to_string(tr));
      const double T = tr * p->component(0).tc, ps = psat(*p, T);
      EXPECT_GT(ps, last);
      EXPECT_LT(ps, p->component(0).pc);
      last = ps;
      EXPECT_NEAR(lnphi(*p, V, T, ps), lnphi(*p, L, T, ps), 1e-9);
    }
  }
}

// Published reduced-form departure functions for a pure PR fluid (as given
// e.g. in the "Departure function" article of Wikipedia):
//   (h - h_ig)/(R Tc) = Tr (Z-1) - 2.078 (1+k) sqrt(alpha) ln[(Z+2.414B)/(Z-0.414B)]
//   (s - s_ig)/R      = ln(Z-B) - 2.078 k ((1+k)/sqrt(Tr) - k) ln[(Z+2.414B)/(Z-0.414B)]
// with B = 0.07780 Pr/Tr (the constants are rounded to four figures there);
// the ideal gas is the vapour root at 1 mPa.
TEST(PengRobinson, PublishedDepartureForms) {
  for (const char* id : {"CH4", "C3H8", "NC6"}) {
    auto m = model_of(Method::PengRobinson, {id});
    ASSERT_TRUE(m);
    const Component& c = m->component(0);
    const double k = 0.37464 + 1.54226 * c.omega - 0.26992 * c.omega * c.omega;
    for (double tr : {0.7, 0.9, 1.3})
      for (double pr : {0.05, 0.5, 2.0})
        for (Phase ph : {V, L}) {
          SCOPED_TRACE(std::string(id) + " " + std::to_string(tr) + " " + std::to_string(pr));
          const double T = tr * c.tc, P = pr * c.pc, B = 0.07780 * pr / tr;
          const double z = prop(*m, 4, ph, T, P), sa = 1 + k * (1 - std::sqrt(tr));
          const double Lg = std::log((z + 2.414 * B) / (z - 0.414 * B));
          const double hd = R * c.tc * (tr * (z - 1) - 2.078 * (1 + k) * sa * Lg);
          const double sd = R * (std::log(z - B) - 2.078 * k * ((1 + k) / std::sqrt(tr) - k) * Lg);
          EXPECT_NEAR(prop(*m, 0, ph, T, P) - prop(*m, 0, V, T, 1e-3), hd,
                      5e-4 * std::abs(hd) + 5e-4 * R * c.tc);
          EXPECT_NEAR(prop(*m, 1, ph, T, P) - prop(*m, 1, V, T, 1e-3) + R * std::log(P / 1e-3), sd,
                      5e-4 * std::abs(sd) + 5e-4 * R);
        }
  }
}

// Departure functions against the equation of state integrated along the
// isotherm from zero pressure (Simpson's rule on the compressibility alone):
//   ln phi_i  from  sum x ln phi = int_0^P (Z-1)/P dP,
//   H - H_ig = -R T^2 int_0^P (dZ/dT)_P dP/P,  and G - G_ig = R T sum x ln phi;
// residual parts: the property at P minus its value at 1 mPa (where they are
// below 1e-3 J/kmol), entropy corrected by the ideal-gas pressure term.
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
    auto zf = [&](double T, double P) { return prop(*m, 4, V, T, P, c.x); };
    const int N = 2000;
    const double p0 = 1e-3, h = (c.P - p0) / N;
    double lnphi_int = 0, hr = 0;
    for (int k = 0; k <= N; ++k) {
      const double p = p0 + k * h, w = (k == 0 || k == N) ? 1 : (k % 2 ? 4 : 2);
      lnphi_int += w * (zf(c.T, p) - 1) / p;
      hr += w * (zf(c.T + 0.01, p) - zf(c.T - 0.01, p)) / 0.02 / p;
    }
    lnphi_int *= h / 3;
    hr *= -R * c.T * c.T * h / 3;
    std::vector<double> lp(m->size());
    ASSERT_EQ(m->ln_fugacity_coefficients(V, c.T, c.P, c.x, lp), Status::Ok);
    double sum = 0;
    for (int i = 0; i < m->size(); ++i) sum += c.x[i] * lp[i];
    EXPECT_NEAR(sum, lnphi_int, 1e-6 * (1 + std::abs(lnphi_int)));
    const double dh = prop(*m, 0, V, c.T, c.P, c.x) - prop(*m, 0, V, c.T, 1e-3, c.x);
    const double sr =
        prop(*m, 1, V, c.T, c.P, c.x) - prop(*m, 1, V, c.T, 1e-3, c.x) + R * std::log(c.P / 1e-3);
    EXPECT_NEAR(dh, hr, 1e-5 * std::abs(hr) + 1.0);
    EXPECT_NEAR(dh - c.T * sr, R * c.T * sum, 1e-7 * std::abs(dh) + 1e-3);
  }
}

// Methane at 250 K and 20 MPa (Tr = 1.31) is a dense fluid: a liquid call
// gives the equation of state's volume, which moves with T. Over
// 0.9-1.1 Tc no step between neighbouring temperatures exceeds what the
// slopes allow (no jump), and the derivatives hold inside the passage.
TEST(LiquidDensity, AboveTheCriticalTemperatureTheEquationOfState) {
  auto m = model_of(Method::PengRobinson, {"CH4"});
  ASSERT_TRUE(m);
  const double v1 = prop(*m, 3, L, 250, 20e6), z = prop(*m, 4, L, 250, 20e6);
  EXPECT_NEAR(v1, z * R * 250 / 20e6, 1e-12 * v1);
  EXPECT_GT(prop(*m, 3, L, 260, 20e6), v1 * 1.03);
  for (const char* id : {"CH4", "NC6"}) {
    auto p = model_of(Method::PengRobinson, {id});
    ASSERT_TRUE(p);
    const double tc = p->component(0).tc, P = 1.2 * p->component(0).pc, dT = 1e-4 * tc;
    double prev = 0, slope = 0;
    for (double T = 0.9 * tc; T <= 1.1 * tc; T += dT) {
      double v;
      Gradient g;
      ASSERT_EQ(p->molar_volume(L, T, P, kPure, v, &g), Status::Ok);
      EXPECT_LE(std::abs(v - prev),
                prev > 0 ? 1.2 * std::max(std::abs(g.dT), std::abs(slope)) * dT : v)
          << T;
      prev = v;
      slope = g.dT;
    }
  }
  auto mix = model_of(Method::PengRobinson, {"C3H8", "NC4"});
  for (double T : {362.0, 380.0, 400.0})
    testing::check_gradients(*mix, L, T, 5e6, {0.6, 0.4}, "mix");
}

// Neopentane has no coefficients: a warning names it (its Rackett volume:
// reference_values.tsv). Water gives no warning.
TEST(LiquidDensity, MissingCoefficientsFallBackWithAWarning) {
  const Databank& db = Databank::builtin();
  std::string error, warning;
  auto m = make_model(Method::PengRobinson, {&db[db.find("NEOC5")]}, &error, &warning);
  ASSERT_TRUE(m) << error;
  EXPECT_NE(warning.find("NEOC5"), std::string::npos);
  make_model(Method::PengRobinson, {&db[db.find("H2O")]}, &error, &warning);
  EXPECT_TRUE(warning.empty());
}

double bubble_temperature(const std::vector<std::string>& ids, const std::vector<double>& z,
                          double P) {
  FlashResult r;
  EXPECT_EQ(flash_pv(*model_of(Method::PengRobinson, ids), P, 0.0, z, 280, r), Status::Ok);
  return r.T;
}

// The table (DECHEMA VI p589: CO2/propane 0.1315, either order) sets a
// model's kij as an override of the same value does; an override of 0
// restores kij = 0, with which the 0.3/0.7 liquid at 2 MPa boils over 10 K
// higher (CO2/propane deviates positively from Raoult's law).
TEST(Interaction, TableAndOverrides) {
  bool found = false;
  EXPECT_DOUBLE_EQ(databank_kij("c3h8", "CO2", &found), 0.1315);
  EXPECT_TRUE(found);
  EXPECT_EQ(databank_kij("C3H8", "NC4", &found), 0.0);
  EXPECT_FALSE(found);
  const std::vector<std::string> ids{"CO2", "C3H8"};
  const std::vector<double> z{0.3, 0.7};
  set_interaction_overrides({});
  const double t_table = bubble_temperature(ids, z, 2e6);
  set_interaction_overrides({{"CO2", "C3H8", 0.1315}});
  EXPECT_DOUBLE_EQ(bubble_temperature(ids, z, 2e6), t_table);
  set_interaction_overrides({{"C3H8", "CO2", 0.0}});
  EXPECT_GT(bubble_temperature(ids, z, 2e6) - t_table, 10.0);
  set_interaction_overrides({});
}

// The case key: pairs of the case's components, -1 < kij < 1; errors carry
// the line of the offending entry.
TEST(Interaction, CaseKeyAndItsErrors) {
  const std::string head = "[properties]\ncomponents = [\"CO2\", \"CH4\", \"N2\"]\nkij = { ";
  const std::string tail =
      " }\n[streams.F]\ntemperature = 300.0\npressure = 1e5\nflows = { CH4 = 1.0 }\n[streams.P]\n"
      "[[blocks]]\nid = \"B\"\nmodel = \"R3VALVE\"\ninlets = [\"F\"]\noutlets = [\"P\"]\n";
  const std::pair<const char*, const char*> cases[] = {
      {"\"CO2/CH4\" = 0.09, \"N2/CH4\" = 0.03", ""},
      {"\"CO2/C3H8\" = 0.1", ":3: kij pair 'CO2/C3H8': 'C3H8' is not one"},
      {"\"CO2-CH4\" = 0.1", ":3: kij pair 'CO2-CH4' is not of the form"},
      {"\"CO2/CO2\" = 0.1", ":3: kij pair 'CO2/CO2' names one component"},
      {"\"CO2/CH4\" = 1.0", ":3: kij of 'CO2/CH4' must lie strictly"},
      {"\"CO2/CH4\" = \"x\"", ":3: kij of CO2/CH4 must be a number"}};
  for (const auto& [kij, expected] : cases) {
    host::Case out;
    std::string error;
    EXPECT_EQ(host::parse_case(head + kij + tail, "k.toml", out, error), *expected == '\0')
        << error;
    EXPECT_NE(error.find(expected), std::string::npos) << error;
  }
  EXPECT_EQ(interaction_overrides().size(), 2u);  // the good case's pairs
  host::Case out;
  std::string error;
  ASSERT_TRUE(host::parse_case(head + tail, "k.toml", out, error)) << error;
  EXPECT_TRUE(interaction_overrides().empty());
}

}  // namespace
}  // namespace r3::thermo
