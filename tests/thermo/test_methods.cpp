// Every property method through the one Model interface: analytic gradients
// against central differences, thermodynamic consistency (Cp = dH/dT,
// Z = PV/RT, G = H - TS against the fugacity coefficients of both roots), bad
// input refused without writing outside the caller's spans, and no
// allocation in property and gradient calls (the global allocation functions
// of this test program count their calls).
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "host/steam/if97.h"
#include "host/thermo/internal.h"
#include "tests/thermo/thermo_test_util.h"

namespace {
std::atomic<long> g_allocations{0};
}

// AddressSanitizer brings its own allocation functions; the count is taken
// in the normal build only.
#if !defined(__SANITIZE_ADDRESS__)
#define R3_COUNT_ALLOCATIONS 1
// None of them inlined: where GCC 12 sees malloc() or free() behind only one
// of a new/delete pair it reports a mismatch (-Wmismatched-new-delete).
[[gnu::noinline]] void* operator new(std::size_t n) {
  ++g_allocations;
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
[[gnu::noinline]] void* operator new[](std::size_t n) { return operator new(n); }
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete[](void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
#endif

namespace r3::thermo {
namespace {

using testing::check_gradients;
using testing::model_of;
using testing::property;

const double kNan = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

struct State {
  Phase ph;
  double T, P;
};
struct BadState {
  double T, P;
  std::vector<double> x;
};

using TP = std::vector<std::pair<double, double>>;
TP grid(std::initializer_list<double> Ts, std::initializer_list<double> Ps) {
  TP out;
  for (double T : Ts)
    for (double P : Ps) out.push_back({T, P});
  return out;
}
std::vector<State> both_phases(const TP& tp) {
  std::vector<State> out;
  for (auto [T, P] : tp)
    for (Phase ph : {Phase::Vapour, Phase::Liquid}) out.push_back({ph, T, P});
  return out;
}

struct MethodCase {
  const char* name;
  Method method;
  std::vector<std::string> ids;
  std::vector<std::vector<double>> x;  // unnormalised on purpose
  std::vector<State> states;
  double tol;  // scale of the gradient tolerances
  // A fluid and states (T, P) where the liquid and vapour roots differ.
  std::vector<std::string> mix;
  std::vector<double> mix_x;
  TP mix_states;
  double gibbs_tol;           // relative to |H_V|
  double R;                   // the method's gas constant, J/(kmol K)
  std::vector<BadState> bad;  // refused besides the states every method refuses
};

const MethodCase kCases[] = {
    {"Ideal", Method::Ideal, {"CH4", "C3H8", "NC6", "H2O"},
     {{0.7, 1.1, 0.45, 0.25}, {0.02, 0.01, 3.0, 0.5}},
     both_phases(grid({150, 300, 480, 1100}, {2e4, 3e6})), 1,
     {"C3H8", "NC4", "NC5", "BENZENE"}, {0.1, 0.3, 0.4, 0.2},
     grid({250, 320, 400}, {1e5, 2e6}), 1e-7, kGasConstant,
     {{300, 1e5, {0, 0, 0, 0}}, {300, 1e5, {-1, 0.5, 0.5, 0.5}}}},
    // (Water and methanol take the Twu alpha, the others the standard one.)
    {"PengRobinson", Method::PengRobinson, {"N2", "CO2", "CH4", "C3H8", "NC6", "H2O", "MEOH"},
     {{0.3, 0.2, 2.0, 0.3, 0.1, 0.05, 0.04}, {0.01, 0.05, 0.1, 0.8, 2.0, 0.02, 0.1}},
     both_phases({{250, 1e5}, {300, 3e6}, {420, 1.5e7}, {600, 5e5}, {1200, 2e6}}), 1,
     {"C3H8", "NC4", "NC6"}, {0.2, 0.5, 0.3}, grid({280, 330}, {2e5, 6e5}), 1e-8, kGasConstant,
     {{300, 1e5, {0, 0, 0, 0, 0, 0, 0}}, {300, 1e5, {-1, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5}}}},
    // Water: stable and metastable branches in regions 1, 2, 3 and 5.
    {"SteamTable", Method::SteamTable, {"H2O"}, {{1.0}},
     {{Phase::Liquid, 350, 5e6}, {Phase::Vapour, 500, 1e6}, {Phase::Vapour, 400, 1e6},
      {Phase::Liquid, 450, 0.5e6}, {Phase::Liquid, 650, 40e6}, {Phase::Vapour, 660, 20e6},
      {Phase::Vapour, 1200, 20e6}, {Phase::Liquid, 630, 20e6}, {Phase::Liquid, 645, 30e6},
      {Phase::Vapour, 1600, 5e6}},
     5, {"H2O"}, {1.0},
     {{400, 1e6}, {450, 5e5}, {640, 2e7}}, 1e-9, steam::kR * 18.015268,
     // Beyond the tables: 2273.15 K, 50 MPa above 1073.15 K, 273.15 K, 100 MPa.
     {{2300, 1e5, {1}}, {1200, 60e6, {1}}, {250, 1e5, {1}}, {300, 101e6, {1}}}},
};

void PrintTo(const MethodCase& c, std::ostream* os) { *os << c.name; }

class PropertyMethod : public ::testing::TestWithParam<MethodCase> {};

// Unnormalised compositions over each method's range of states; the
// molecular weight's composition derivative by hand.
TEST_P(PropertyMethod, GradientsMatchCentralDifferences) {
  const MethodCase& c = GetParam();
  auto m = model_of(c.method, c.ids);
  ASSERT_TRUE(m);
  for (const State& s : c.states)
    for (size_t k = 0; k < c.x.size(); ++k)
      check_gradients(*m, s.ph, s.T, s.P, c.x[k],
                      std::string("x")
                          .append(std::to_string(k))
                          .append(s.ph == Phase::Vapour ? " V T=" : " L T=")
                          .append(std::to_string(s.T))
                          .append(" P=")
                          .append(std::to_string(s.P)),
                      c.tol);
  const std::vector<double>& x = c.x[0];
  const int n = m->size();
  double mw, sum = 0, wsum = 0;
  std::vector<double> dx(n);
  Gradient g{0, 0, dx};
  ASSERT_EQ(m->molecular_weight(x, mw, &g), Status::Ok);
  for (int i = 0; i < n; ++i) {
    sum += x[i];
    wsum += x[i] * m->component(i).mw;
  }
  EXPECT_NEAR(mw, wsum / sum, 1e-12);
  for (int j = 0; j < n; ++j) EXPECT_NEAR(dx[j], (m->component(j).mw - mw) / sum, 1e-12);
  if (c.method == Method::PengRobinson) {
    // With non-zero interaction parameters (the general mixing rule).
    ASSERT_TRUE(detail::set_binary_interaction(*m, 1, 2, 0.09));
    ASSERT_TRUE(detail::set_binary_interaction(*m, 5, 3, 0.5));
    check_gradients(*m, Phase::Vapour, 300, 3e6, c.x[0], "kij gas");
    check_gradients(*m, Phase::Liquid, 280, 3e6, c.x[1], "kij liq");
    // The standard alpha alone (its own mixing sums), with the databank's kij.
    auto gas = model_of(c.method, {"N2", "CO2", "CH4", "C3H8"});
    check_gradients(*gas, Phase::Vapour, 300, 3e6, {0.3, 0.2, 2.0, 0.3}, "standard gas");
    check_gradients(*gas, Phase::Liquid, 230, 3e6, {0.01, 0.3, 0.1, 0.8}, "standard liq");
  } else {
    EXPECT_FALSE(detail::set_binary_interaction(*m, 0, 0, 0.1));
  }
}

// (H - TS)_L - (H - TS)_V = RT sum x (ln phi_L - ln phi_V) between two
// distinct roots; Cp = dH/dT, dS/dT = Cp/T and Z = PV/RT in both.
TEST_P(PropertyMethod, ConsistencyOfEnthalpyEntropyVolumeAndFugacity) {
  const MethodCase& c = GetParam();
  auto m = model_of(c.method, c.mix);
  ASSERT_TRUE(m);
  const std::vector<double>& x = c.mix_x;  // normalised
  for (auto [T, P] : c.mix_states) {
    SCOPED_TRACE("T=" + std::to_string(T) + " P=" + std::to_string(P));
    std::vector<std::vector<double>> dl, dv;
    const auto l = testing::outputs(*m, Phase::Liquid, T, P, x, &dl);
    const auto v = testing::outputs(*m, Phase::Vapour, T, P, x, &dv);
    for (auto [o, d, ph] : {std::tuple{&l, &dl, Phase::Liquid}, {&v, &dv, Phase::Vapour}}) {
      const double cp = (*o)[2];
      double z;
      ASSERT_NE(m->compressibility(ph, T, P, x, z), Status::Failed);
      EXPECT_NEAR((*d)[0][0], cp, 1e-6 * cp);
      // (The IDEAL liquid's entropy is the vapour's less the vaporisation
      // entropy, and PENG-ROB's liquid volume is not the cubic root's.)
      if (ph == Phase::Vapour || c.method == Method::SteamTable) {
        EXPECT_NEAR((*d)[0][1], cp / T, 1e-6 * cp / T);
        EXPECT_NEAR(z, P * (*o)[3] / (c.R * T), 1e-12 * z);
      }
    }
    ASSERT_GT(std::abs(v[0] - l[0]), 1e6);  // two distinct roots
    double dg = 0;
    for (size_t i = 0; i < x.size(); ++i) dg += x[i] * (l[4 + i] - v[4 + i]);
    EXPECT_NEAR((l[0] - T * l[1]) - (v[0] - T * v[1]), c.R * T * dg, c.gibbs_tol * std::abs(v[0]));
  }
}

// Every entry point refuses unphysical input with Failed and writes nothing
// outside the spans it is given.
TEST_P(PropertyMethod, BadInputFailsCleanly) {
  const MethodCase& c = GetParam();
  auto m = model_of(c.method, c.ids);
  ASSERT_TRUE(m);
  const int n = m->size();
  const std::vector<double> x = c.x[0];
  std::vector<double> with_nan = x, shorter(x.begin(), x.end() - 1), longer = x, negative = x;
  with_nan[0] = kNan;
  negative[0] = -1.0;
  longer.push_back(0.1);
  std::vector<BadState> bad = {{300, 0, x},        {300, -1e5, x},      {0.5, 1e5, x},
                               {kNan, 1e5, x},     {300, kNan, x},      {kInf, 1e5, x},
                               {300, 1e5, with_nan}, {300, 1e5, shorter}, {300, 1e5, longer},
                               {300, 1e5, std::vector<double>(x.size(), 0.0)},
                               {300, 1e5, negative}};
  bad.insert(bad.end(), c.bad.begin(), c.bad.end());
  for (const auto& b : bad) {
    SCOPED_TRACE("T=" + std::to_string(b.T) + " P=" + std::to_string(b.P) + " n=" +
                 std::to_string(b.x.size()));
    double v = 0;
    std::vector<double> lp(n);
    for (Phase ph : {Phase::Vapour, Phase::Liquid}) {
      for (int k = 0; k < 4; ++k)
        EXPECT_EQ(property(*m, k, ph, b.T, b.P, b.x, v), Status::Failed) << k;
      EXPECT_EQ(m->compressibility(ph, b.T, b.P, b.x, v), Status::Failed);
      EXPECT_EQ(m->ln_fugacity_coefficients(ph, b.T, b.P, b.x, lp), Status::Failed);
    }
  }
  double guard[4] = {7, 7, 7, 7}, v, ps;
  std::vector<double> lp(n);
  EXPECT_EQ(
      m->ln_fugacity_coefficients(Phase::Liquid, 300, 1e5, x, std::span<double>(guard, n - 1)),
      Status::Failed);
  if (n > 1) {  // (a single component's composition derivatives are zero, in any span)
    Gradient g{0, 0, std::span<double>(guard, n - 1)};
    EXPECT_EQ(m->enthalpy(Phase::Vapour, 300, 1e5, x, v, &g), Status::Failed);
    LnPhiDerivatives d{std::span<double>(guard, n - 1), {}, std::span<double>(guard, 3)};
    EXPECT_EQ(m->ln_fugacity_coefficients(Phase::Vapour, 300, 1e5, x, lp, &d), Status::Failed);
    EXPECT_EQ(m->molecular_weight(std::vector<double>(n, 0.0), v), Status::Failed);
  }
  for (double gv : guard) EXPECT_EQ(gv, 7.0);
  EXPECT_EQ(m->vapour_pressure(n, 300, ps), Status::Failed);
  EXPECT_EQ(m->vapour_pressure(-1, 300, ps), Status::Failed);
  EXPECT_EQ(m->vapour_pressure(0, kNan, ps), Status::Failed);
  if (c.method == Method::SteamTable) {
    EXPECT_EQ(m->vapour_pressure(0, 700, ps), Status::Failed);
  }
}

TEST_P(PropertyMethod, PropertyAndGradientCallsAllocateNothing) {
#if !defined(R3_COUNT_ALLOCATIONS)
  GTEST_SKIP() << "allocations are counted in the build without AddressSanitizer";
#endif
  const MethodCase& c = GetParam();
  auto m = model_of(c.method, c.ids);
  ASSERT_TRUE(m);
  const size_t n = c.ids.size();
  std::vector<double> x = c.x[0], dx(n), lp(n), dT(n), dP(n), dX(n * n);
  Gradient g{0, 0, dx};
  LnPhiDerivatives d{dT, dP, dX};
  double v;
  const long before = g_allocations.load();
  for (const State& s : c.states) {
    for (int k = 0; k < 4; ++k)
      EXPECT_NE(property(*m, k, s.ph, s.T, s.P, x, v, &g), Status::Failed);
    EXPECT_NE(m->compressibility(s.ph, s.T, s.P, x, v), Status::Failed);
    EXPECT_NE(m->ln_fugacity_coefficients(s.ph, s.T, s.P, x, lp, &d), Status::Failed);
    EXPECT_EQ(m->molecular_weight(x, v, &g), Status::Ok);
  }
  EXPECT_NE(m->vapour_pressure(0, 300, v), Status::Failed);
  EXPECT_EQ(g_allocations.load(), before);
}

INSTANTIATE_TEST_SUITE_P(All, PropertyMethod, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// No model from an empty list or an unknown method; the steam tables take
// water alone.
TEST(MakeModel, RefusesBadComponentListsAndMethods) {
  const Databank& db = Databank::builtin();
  const Component *w = &db[db.find("H2O")], *co2 = &db[db.find("CO2")];
  std::string err;
  EXPECT_FALSE(make_model(Method::Ideal, {}, &err));
  EXPECT_FALSE(err.empty());
  EXPECT_FALSE(make_model(static_cast<Method>(9), {w}, &err));
  for (const auto& list : {std::vector<const Component*>{co2}, {w, co2}, {}}) {
    err.clear();
    EXPECT_FALSE(make_model(Method::SteamTable, list, &err));
    EXPECT_FALSE(err.empty());
  }
  auto m = make_model(Method::SteamTable, {w});
  ASSERT_TRUE(m);
  EXPECT_EQ(m->method(), Method::SteamTable);
}

}  // namespace
}  // namespace r3::thermo
