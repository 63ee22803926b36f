// Single-row property equations (enthalpy, entropy and heat-capacity rows,
// the heat-capacity set) and the property monitors, against the engine, hand
// calculations and central differences. (Row patterns: the conformance
// harness on the blocks that use them.)
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "framework/host_services.h"
#include "host/services/context.h"
#include "host/thermo/thermo.h"
#include "tests/support/support.h"
#include "tests/thermo/thermo_test_util.h"

namespace r3::test {
namespace {

using thermo::Method;
using thermo::Phase;

const std::vector<int32_t> kIdx = {1, 2, 3};  // CH4, C3H8, NC5

using RowRes = void (*)(R3_RTO_ROW_PARAMS, const int32_t*, int32_t*, double*);
using RowJac = void (*)(R3_RTO_ROW_PARAMS, const double*, const double*, int32_t*, double*);

// One row call's state: x (3 entries), P, T and the property value.
struct RowState {
  int32_t phase, ipropset;
  std::vector<double> x;
  double P, T, prop;
};

// The row's residual (mode 0) or the property (mode 1), written to slot 5 of
// a vector and nowhere else.
double row_value(RowRes fn, const RowState& s, int32_t mode) {
  const int32_t n = 3, pword = 0;
  int32_t m = mode == 1 ? 5 : 4;  // residual: row m+1 with m advanced; evaluation: slot m
  std::vector<double> F(6, -7.0);
  fn(&n, &s.phase, &s.ipropset, kIdx.data(), s.x.data(), &s.P, &s.T, &s.prop, &pword, &mode, &m,
     F.data());
  EXPECT_EQ(m, 5);
  EXPECT_EQ(F[3], -7.0);
  EXPECT_EQ(F[5], -7.0);
  return F[4];
}

// Row derivatives (x..., P, T, property) from slot 3 on; k advanced by n + 3.
std::vector<double> row_jacobian(RowJac fn, const RowState& s) {
  const int32_t n = 3, pword = 0;
  const double fs = 1.0, ps = 1.0e6;
  int32_t k = 2;
  std::vector<double> d(9, -7.0);
  fn(&n, &s.phase, &s.ipropset, kIdx.data(), s.x.data(), &s.P, &s.T, &s.prop, &pword, &fs, &ps, &k,
     d.data());
  EXPECT_EQ(k, 8);
  EXPECT_EQ(d.back(), -7.0);
  for (double v : d) EXPECT_TRUE(std::isfinite(v));
  EXPECT_EQ(d[7], -1.0);  // d/d(property)
  return {d.begin() + 2, d.begin() + 7};
}

// Central differences of f over x..., P, T against the analytic derivatives,
// within rel |fd| + abs (abs: for x, P, T; rel 1e-5, for T relT).
void check_derivatives(const std::function<double(const RowState&)>& f, RowState s,
                       const std::vector<double>& d, const std::vector<double>& abs, double relT) {
  std::vector<double*> vars = {&s.x[0], &s.x[1], &s.x[2], &s.P, &s.T};
  for (size_t j = 0; j < vars.size(); ++j) {
    const double keep = *vars[j], h = j < 3 ? 1e-6 : 1e-6 * keep;
    *vars[j] = keep + h;
    const double fp = f(s);
    *vars[j] = keep - h;
    const double fm = f(s);
    *vars[j] = keep;
    const double fd = (fp - fm) / (2 * h);
    EXPECT_NEAR(d[j], fd, (j == 4 ? relT : 1e-5) * std::fabs(fd) + abs[j < 3 ? 0 : j - 2]) << j;
  }
}

class RowSets : public ::testing::TestWithParam<Method> {
 protected:
  void SetUp() override { reset_host({"CH4", "C3H8", "NC5"}, GetParam()); }
  int32_t method() const { return static_cast<int32_t>(GetParam()); }
};

// Unnormalised fractions: the rows evaluate at x / sum x; evaluation mode
// stores the property itself. A slot of 0 writes nothing.
TEST_P(RowSets, ResidualsAndEvaluationModeAgainstTheEngine) {
  const thermo::Model& eng = engine(GetParam(), 3);
  const std::vector<double> x = {0.5, 0.3, 0.4}, xn = {0.5 / 1.2, 0.3 / 1.2, 0.4 / 1.2};
  for (const int32_t phase : {1, 2}) {
    const Phase ph = static_cast<Phase>(phase);
    const RowState s{phase, method(), x, 2.0e6, 320.0, 1234.5};
    double h, sm, cp;
    ASSERT_NE(eng.enthalpy(ph, s.T, s.P, xn, h), thermo::Status::Failed);
    ASSERT_NE(eng.entropy(ph, s.T, s.P, xn, sm), thermo::Status::Failed);
    ASSERT_NE(eng.heat_capacity(ph, s.T, s.P, xn, cp), thermo::Status::Failed);
    for (auto [fn, v] :
         {std::pair<RowRes, double>{RTO_ENCRES, h}, {RTO_SMCRES, sm}, {RTO_CPRES, cp}}) {
      EXPECT_NEAR(row_value(fn, s, 0), v - s.prop, 1e-9 * std::fabs(v) + 1e-9);
      EXPECT_NEAR(row_value(fn, s, 1), v, 1e-9 * std::fabs(v) + 1e-9);
    }
  }
  const int32_t n = 3, phase = 1, ipropset = method(), pword = 0, eval = 1;
  const double P = 1e5, T = 400, v = 0;
  std::vector<double> X(4, -7.0);
  int32_t slot = 0;
  RTO_SMCRES(&n, &phase, &ipropset, kIdx.data(), x.data(), &P, &T, &v, &pword, &eval, &slot,
             X.data());
  EXPECT_EQ(X, std::vector<double>(4, -7.0));
}

TEST_P(RowSets, JacobiansMatchCentralDifferences) {
  for (auto [phase, T, P] :
       {std::tuple{1, 350.0, 2.0e6}, {1, 600.0, 5.0e4}, {2, 250.0, 2.0e6}, {2, 180.0, 3.0e6}}) {
    SCOPED_TRACE("phase " + std::to_string(phase) + " T " + std::to_string(T));
    RowState s{phase, method(), {0.5, 0.3, 0.4}, P, T, 0.0};
    for (auto [res, jac, f] : {std::tuple<RowRes, RowJac, double>{RTO_ENCRES, RTO_ENCJAC, 0.9},
                               {RTO_SMCRES, RTO_SMCJAC, 1.1}}) {
      s.prop = row_value(res, s, 1) * f;
      const double a = 1e-6 * (std::fabs(s.prop) + 1.0);
      check_derivatives([res = res](const RowState& t) { return row_value(res, t, 0); }, s,
                        row_jacobian(jac, s), {a, a, a}, 1e-5);
    }
  }
}

// Bad states: missing residuals and properties, finite derivatives; an
// unknown phase code or method is a failure too.
TEST_P(RowSets, BadStatesGiveMissingResidualsAndFiniteDerivatives) {
  const struct {
    const char* what;
    std::vector<double> x;
    double P, T;
    int32_t phase, method;
  } bad[] = {{"zero pressure", {0.2, 0.3, 0.5}, 0.0, 300.0, 1, method()},
             {"negative pressure", {0.2, 0.3, 0.5}, -1e5, 300.0, 1, method()},
             {"temperature below 1 K", {0.2, 0.3, 0.5}, 1e5, 0.5, 1, method()},
             {"composition summing to zero", {0.0, 0.0, 0.0}, 1e5, 300.0, 1, method()},
             {"not a number", {0.2, std::nan(""), 0.5}, 1e5, 300.0, 1, method()},
             {"phase code 3", {0.2, 0.3, 0.5}, 1e5, 300.0, 3, method()},
             {"method 9", {0.2, 0.3, 0.5}, 1e5, 300.0, 1, 9}};
  for (const auto& b : bad) {
    SCOPED_TRACE(b.what);
    const RowState s{b.phase, b.method, b.x, b.P, b.T, 1.0};
    for (RowRes fn : {RTO_ENCRES, RTO_SMCRES, RTO_CPRES}) {
      EXPECT_EQ(row_value(fn, s, 0), kRmiss);
      EXPECT_EQ(row_value(fn, s, 1), kRmiss);
    }
    if (b.phase == 1 && b.method == method()) {
      row_jacobian(RTO_ENCJAC, s);
      row_jacobian(RTO_SMCJAC, s);
    }
  }
}

// The heat-capacity set: action 3 its residual (Cp - property), action 4 its
// derivatives (x..., P, T, property).
double cpset_call(int32_t action, const RowState& s, std::vector<double>* d = nullptr) {
  const int32_t n = 3, ix = 1, ip = 4, it = 5, iprop = 6, pword = 0, zero = 0;
  const double pert = 1e-6, fs = 1, ps = 1e6, z16 = 0;
  int32_t m = 0, k = 0;
  std::vector<double> work(10), F(2, -7.0), D(8, -7.0);
  std::vector<int32_t> rows(8), cols(8);
  RTO_CPSET(&n, &s.phase, &s.ipropset, kIdx.data(), s.x.data(), &s.P, &s.T, &s.prop, &ix, &ip, &it,
            &iprop, &pert, &fs, &ps, &z16, &pword, &zero, &action, &m, &zero, &k, work.data(),
            &zero, &zero, &zero, rows.data(), cols.data(), F.data(), D.data());
  if (d) *d = D;
  return F[0];
}

TEST_P(RowSets, HeatCapacitySetJacobianMatchesCentralDifferences) {
  for (const int32_t phase : {1, 2}) {
    SCOPED_TRACE(phase);
    RowState s{phase, method(), {0.5, 0.3, 0.4}, 2.0e6, phase == 1 ? 400.0 : 250.0, 1e5};
    std::vector<double> d;
    cpset_call(4, s, &d);
    EXPECT_EQ(d[5], -1.0);
    const double cp = cpset_call(3, s) + 1e5;
    check_derivatives([](const RowState& t) { return cpset_call(3, t); }, s, d,
                      {1e-6 * cp, 1e-9 * cp, 1e-7 * cp}, 1e-4);
    // Bad states: missing residual, finite derivatives.
    for (auto [P, T, x] : {std::tuple{0.0, s.T, s.x},
                           {-1e5, s.T, s.x},
                           {s.P, 0.5, s.x},
                           {s.P, s.T, {0.0, 0.0, 0.0}}}) {
      const RowState b{phase, method(), x, P, T, 1.0};
      EXPECT_EQ(cpset_call(3, b), kRmiss);
      cpset_call(4, b, &d);
      for (double v : d) EXPECT_TRUE(std::isfinite(v));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Methods, RowSets, ::testing::Values(Method::Ideal, Method::PengRobinson),
                         thermo::testing::method_name);

// --- Property monitors -------------------------------------------------------

// IDEAL water: liquid volume at 300 K, 1 bar is water's 996.56 kg/m3
// (IAPWS); ideal-gas vapour V = RT/P and H = Hf + R * integral of the Cp/R
// polynomial; the vaporisation enthalpy at the normal boiling point is 40.66
// MJ/kmol measured (the Lee-Kesler slope times the Haggenmacher factor gives
// 43.2 MJ/kmol).
TEST(PropertyMonitors, WaterByHandWithIdealMethod) {
  reset_host({"H2O"}, Method::Ideal);
  const thermo::Databank& db = thermo::Databank::builtin();
  const thermo::Component& w = db[db.find("H2O")];
  const double T = 450.0, P = 2.0e5;
  const Monitor l = monitor(true, 1, {1.0}, 300.0, 1.0e5), v = monitor(false, 1, {2.0}, T, P);
  EXPECT_NEAR(l.v, 18.015268 / 996.56, 1e-4 * l.v);
  EXPECT_NEAR(v.v, 8314.4 * T / P, 1e-10 * v.v);
  double integral = 0.0, cp = 0.0;
  for (int k = 0; k < 5; ++k) {
    integral += w.cp[k] / (k + 1) * (std::pow(T, k + 1) - std::pow(298.15, k + 1));
    cp += w.cp[k] * std::pow(T, k);
  }
  EXPECT_NEAR(v.h, w.hf298 + 8314.462618 * integral, 1e-7 * std::fabs(v.h));
  EXPECT_NEAR(v.cp, 8314.462618 * cp, 1e-9 * v.cp);
  EXPECT_NEAR(
      monitor(false, 1, {1.0}, 373.15, 101325.0).h - monitor(true, 1, {1.0}, 373.15, 101325.0).h,
      40.66e6, 0.08 * 40.66e6);
}

// Both methods: the engine's values, the liquid volume the pure liquids
// mixed ideally; bad states come back as RMISS.
TEST(PropertyMonitors, HydrocarbonMixtureAgainstEngineAndIdealMixing) {
  const std::vector<double> x = {0.3, 0.5, 0.2};
  const double T = 280.0, P = 1.0e6;
  for (const Method m : {Method::Ideal, Method::PengRobinson}) {
    SCOPED_TRACE(static_cast<int>(m));
    reset_host({"C3H8", "NC4", "NC6"}, m);
    const thermo::Model& eng = engine(m, 3);
    const int32_t ipropset = static_cast<int32_t>(m);
    const Monitor l = monitor(true, ipropset, x, T, P), v = monitor(false, ipropset, x, T, P);
    double h, cp, vol, vm = 0.0;
    for (size_t i = 0; i < 3; ++i) {
      std::vector<double> e(3, 0.0);
      e[i] = 1.0;
      eng.molar_volume(Phase::Liquid, T, P, e, vol);
      vm += x[i] * vol;
    }
    EXPECT_NEAR(l.v, vm, 1e-12 * vm);
    for (auto [ph, mon] : {std::pair{Phase::Liquid, l}, {Phase::Vapour, v}}) {
      eng.enthalpy(ph, T, P, x, h);
      eng.heat_capacity(ph, T, P, x, cp);
      EXPECT_DOUBLE_EQ(mon.h, h);
      EXPECT_DOUBLE_EQ(mon.cp, cp);
    }
    eng.molar_volume(Phase::Vapour, T, P, x, vol);
    EXPECT_DOUBLE_EQ(v.v, vol);
    if (m == Method::Ideal) {
      EXPECT_NEAR(v.v, 8314.4 * T / P, 1e-10 * v.v);
    }
    for (const double badP : {0.0, -1e5}) {
      const Monitor b = monitor(false, ipropset, x, T, badP);
      EXPECT_EQ(b.h, kRmiss);
      EXPECT_EQ(b.cp, kRmiss);
      EXPECT_EQ(b.v, kRmiss);
    }
    EXPECT_EQ(monitor(true, ipropset, x, 0.5, P).h, kRmiss);
    EXPECT_EQ(monitor(true, ipropset, {0.0, 0.0, 0.0}, T, P).v, kRmiss);
  }
}

}  // namespace
}  // namespace r3::test
