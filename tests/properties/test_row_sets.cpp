// Single-row property equations (enthalpy, entropy and heat-capacity rows,
// the heat-capacity set) and the property monitors, against the engine, hand
// calculations and central differences.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "framework/host_services.h"
#include "host/services/context.h"
#include "host/thermo/thermo.h"
#include "tests/support/support.h"

namespace r3::test {
namespace {

using host::kRmiss;
using thermo::Method;
using thermo::Phase;

const std::vector<std::string> kGas = {"CH4", "C3H8", "NC5"};

std::vector<int32_t> list_of(int n) {
  std::vector<int32_t> idx(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) idx[static_cast<size_t>(i)] = i + 1;
  return idx;
}

const thermo::Model& engine(Method m, int n) {
  const std::vector<int32_t> idx = list_of(n);
  const thermo::Model* model = host::model_for(static_cast<int32_t>(m), idx);
  EXPECT_NE(model, nullptr);
  return *model;
}

using RowRes = void (*)(R3_RTO_ROW_PARAMS, const int32_t*, int32_t*, double*);
using RowJac = void (*)(R3_RTO_ROW_PARAMS, const double*, const double*, int32_t*, double*);

// One row call with its state: x (n entries), P, T and the property value.
struct RowState {
  int32_t n, phase, ipropset;
  std::vector<double> x;
  double P, T, prop;
};

double row_value(RowRes fn, const RowState& s, int32_t mode) {
  const std::vector<int32_t> idx = list_of(s.n);
  const int32_t pword = 0;
  // Residual: row m+1 = 5 with m = 4 advanced; evaluation: slot m = 5, m kept.
  int32_t m = mode == 1 ? 5 : 4;
  std::vector<double> F(6, -7.0);
  fn(&s.n, &s.phase, &s.ipropset, idx.data(), s.x.data(), &s.P, &s.T, &s.prop, &pword, &mode, &m,
     F.data());
  EXPECT_EQ(m, 5);
  EXPECT_EQ(F[3], -7.0);
  EXPECT_EQ(F[5], -7.0);
  return F[4];
}

// Analytic row derivatives (x..., P, T, property) against central differences
// of the residual.
void check_row_jacobian(RowRes res, RowJac jac, RowState s, const std::string& where) {
  SCOPED_TRACE(where);
  const std::vector<int32_t> idx = list_of(s.n);
  const int32_t pword = 0;
  const double fs = 1.0, ps = 1.0e6;
  int32_t k = 2;
  std::vector<double> d(static_cast<size_t>(s.n) + 6, -7.0);
  jac(&s.n, &s.phase, &s.ipropset, idx.data(), s.x.data(), &s.P, &s.T, &s.prop, &pword, &fs, &ps,
      &k, d.data());
  ASSERT_EQ(k, s.n + 5);
  EXPECT_EQ(d.back(), -7.0);
  const double f0 = row_value(res, s, 0);
  ASSERT_NE(f0, kRmiss);
  auto fd = [&](double& v, double h) {
    const double keep = v;
    v = keep + h;
    const double fp = row_value(res, s, 0);
    v = keep - h;
    const double fm = row_value(res, s, 0);
    v = keep;
    return (fp - fm) / (2 * h);
  };
  auto near = [&](double a, double b, const char* what) {
    EXPECT_NEAR(a, b, 1e-5 * std::fabs(b) + 1e-6 * (std::fabs(s.prop) + 1.0)) << what;
  };
  for (int i = 0; i < s.n; ++i) {
    near(d[static_cast<size_t>(2 + i)], fd(s.x[static_cast<size_t>(i)], 1e-6), "composition");
  }
  near(d[static_cast<size_t>(2 + s.n)], fd(s.P, 1e-6 * s.P), "pressure");
  near(d[static_cast<size_t>(3 + s.n)], fd(s.T, 1e-6 * s.T), "temperature");
  EXPECT_EQ(d[static_cast<size_t>(4 + s.n)], -1.0);
}

class RowSets : public ::testing::TestWithParam<Method> {
 protected:
  void SetUp() override { reset_host(kGas, GetParam()); }
  int32_t method() const { return static_cast<int32_t>(GetParam()); }
};

TEST_P(RowSets, DimensionsAndPatternFollowTheEnthalpySetOrder) {
  int32_t n = 3, nf = 5, ny = 7, nz = 11;
  RTO_ENCDIM(&n, &nf, &ny, &nz);
  RTO_SMCDIM(&n, &nf, &ny, &nz);
  EXPECT_EQ(nf, 7);
  EXPECT_EQ(ny, 7);
  EXPECT_EQ(nz, 11 + 2 * (n + 3));
  const std::vector<int32_t> idx = list_of(3);
  const std::vector<double> x = {0.2, 0.3, 0.5};
  const double p = 1e5, t = 300, h = 0;
  const int32_t phase = 1, pword = 0, ix = 20, ip = 9, it = 31, iprop = 40;
  const int32_t ipropset = method();
  int32_t m = 2, k = 1;
  std::vector<int32_t> rows(8, 0), cols(8, 0);
  RTO_SMCSPR(&n, &phase, &ipropset, idx.data(), x.data(), &p, &t, &h, &pword, &ix, &ip, &it, &iprop,
             &m, &k, rows.data(), cols.data());
  EXPECT_EQ(m, 3);
  EXPECT_EQ(k, 7);
  EXPECT_EQ(cols, (std::vector<int32_t>{0, 20, 21, 22, 9, 31, 40, 0}));
  EXPECT_EQ(rows, (std::vector<int32_t>{0, 3, 3, 3, 3, 3, 3, 0}));
}

TEST_P(RowSets, ResidualsAndEvaluationModeAgainstTheEngine) {
  const thermo::Model& eng = engine(GetParam(), 3);
  // Unnormalised fractions: the rows evaluate at x / sum x.
  const std::vector<double> x = {0.5, 0.3, 0.4};
  const std::vector<double> xn = {0.5 / 1.2, 0.3 / 1.2, 0.4 / 1.2};
  for (const int32_t phase : {1, 2}) {
    const Phase ph = static_cast<Phase>(phase);
    RowState s{3, phase, method(), x, 2.0e6, 320.0, 1234.5};
    double h, sm, cp;
    ASSERT_NE(eng.enthalpy(ph, s.T, s.P, xn, h), thermo::Status::Failed);
    ASSERT_NE(eng.entropy(ph, s.T, s.P, xn, sm), thermo::Status::Failed);
    ASSERT_NE(eng.heat_capacity(ph, s.T, s.P, xn, cp), thermo::Status::Failed);
    EXPECT_NEAR(row_value(RTO_ENCRES, s, 0), h - s.prop, 1e-9 * std::fabs(h));
    EXPECT_NEAR(row_value(RTO_SMCRES, s, 0), sm - s.prop, 1e-9 * std::fabs(sm) + 1e-9);
    EXPECT_NEAR(row_value(RTO_CPRES, s, 0), cp - s.prop, 1e-9 * cp);
    // Evaluation mode stores the property itself.
    EXPECT_NEAR(row_value(RTO_ENCRES, s, 1), h, 1e-9 * std::fabs(h));
    EXPECT_NEAR(row_value(RTO_SMCRES, s, 1), sm, 1e-9 * std::fabs(sm) + 1e-9);
    EXPECT_NEAR(row_value(RTO_CPRES, s, 1), cp, 1e-9 * cp);
  }
  // Evaluation into the last slot of a vector writes exactly that slot; a
  // position of 0 writes nothing.
  const std::vector<int32_t> idx = list_of(3);
  const int32_t n = 3, phase = 1, ipropset = method(), pword = 0, eval = 1;
  const double P = 1e5, T = 400, v = 0;
  std::vector<double> X(4, -7.0);
  int32_t slot = 4;
  RTO_CPRES(&n, &phase, &ipropset, idx.data(), x.data(), &P, &T, &v, &pword, &eval, &slot,
            X.data());
  EXPECT_EQ(slot, 4);
  EXPECT_GT(X[3], 0.0);
  EXPECT_EQ(X[2], -7.0);
  slot = 0;
  X.assign(4, -7.0);
  RTO_SMCRES(&n, &phase, &ipropset, idx.data(), x.data(), &P, &T, &v, &pword, &eval, &slot,
             X.data());
  EXPECT_EQ(X, std::vector<double>(4, -7.0));
}

TEST_P(RowSets, JacobiansMatchCentralDifferences) {
  struct Case {
    int32_t phase;
    double T, P;
  } cases[] = {{1, 350.0, 2.0e6}, {1, 600.0, 5.0e4}, {2, 250.0, 2.0e6}, {2, 180.0, 3.0e6}};
  for (const Case& c : cases) {
    RowState s{3, c.phase, method(), {0.5, 0.3, 0.4}, c.P, c.T, 0.0};
    const std::string where = "phase " + std::to_string(c.phase) + " T " + std::to_string(c.T);
    s.prop = row_value(RTO_ENCRES, s, 1) * 0.9;
    check_row_jacobian(RTO_ENCRES, RTO_ENCJAC, s, where + " enthalpy");
    s.prop = row_value(RTO_SMCRES, s, 1) * 1.1;
    check_row_jacobian(RTO_SMCRES, RTO_SMCJAC, s, where + " entropy");
  }
}

TEST_P(RowSets, BadStatesGiveMissingResidualsAndFiniteDerivatives) {
  struct Bad {
    const char* what;
    std::vector<double> x;
    double P, T;
  } bad[] = {{"zero pressure", {0.2, 0.3, 0.5}, 0.0, 300.0},
             {"negative pressure", {0.2, 0.3, 0.5}, -1e5, 300.0},
             {"temperature below 1 K", {0.2, 0.3, 0.5}, 1e5, 0.5},
             {"composition summing to zero", {0.0, 0.0, 0.0}, 1e5, 300.0},
             {"not a number", {0.2, std::nan(""), 0.5}, 1e5, 300.0}};
  for (const Bad& b : bad) {
    SCOPED_TRACE(b.what);
    RowState s{3, 1, method(), b.x, b.P, b.T, 1.0};
    for (RowRes fn : {RTO_ENCRES, RTO_SMCRES, RTO_CPRES}) {
      EXPECT_EQ(row_value(fn, s, 0), kRmiss);
      EXPECT_EQ(row_value(fn, s, 1), kRmiss);
    }
    const std::vector<int32_t> idx = list_of(3);
    const int32_t pword = 0;
    const double fs = 1, ps = 1;
    for (RowJac fn : {RTO_ENCJAC, RTO_SMCJAC}) {
      int32_t k = 0;
      std::vector<double> d(6, -7.0);
      fn(&s.n, &s.phase, &s.ipropset, idx.data(), s.x.data(), &s.P, &s.T, &s.prop, &pword, &fs, &ps,
         &k, d.data());
      EXPECT_EQ(k, 6);
      for (double v : d) EXPECT_TRUE(std::isfinite(v));
      EXPECT_EQ(d[5], -1.0);
    }
  }
  // An unknown phase code or method is a failure too.
  RowState s{3, 3, method(), {0.2, 0.3, 0.5}, 1e5, 300.0, 1.0};
  EXPECT_EQ(row_value(RTO_ENCRES, s, 0), kRmiss);
  s.phase = 1;
  s.ipropset = 9;
  EXPECT_EQ(row_value(RTO_CPRES, s, 1), kRmiss);
}

// The heat-capacity set (30 positions), Jacobian against central differences.
double cpset_call(int32_t action, const RowState& s, const std::vector<double>& x, double P,
                  double T, double prop, std::vector<double>* d) {
  const std::vector<int32_t> idx = list_of(s.n);
  const int32_t ix = 1, ip = 4, it = 5, iprop = 6, pword = 0, zero = 0;
  const double pert = 1e-6, fs = 1, ps = 1e6, z16 = 0;
  int32_t m = 0, k = 0;
  std::vector<double> work(10), F(2, -7.0), D(8, -7.0);
  std::vector<int32_t> rows(8), cols(8);
  RTO_CPSET(&s.n, &s.phase, &s.ipropset, idx.data(), x.data(), &P, &T, &prop, &ix, &ip, &it, &iprop,
            &pert, &fs, &ps, &z16, &pword, &zero, &action, &m, &zero, &k, work.data(), &zero, &zero,
            &zero, rows.data(), cols.data(), F.data(), D.data());
  if (d) *d = D;
  return F[0];
}

TEST_P(RowSets, HeatCapacitySetJacobianMatchesCentralDifferences) {
  for (const int32_t phase : {1, 2}) {
    SCOPED_TRACE(phase);
    RowState s{3, phase, method(), {0.5, 0.3, 0.4}, 2.0e6, phase == 1 ? 400.0 : 250.0, 0.0};
    std::vector<double> d;
    cpset_call(4, s, s.x, s.P, s.T, 0.0, &d);
    auto f = [&](const std::vector<double>& x, double P, double T) {
      return cpset_call(3, s, x, P, T, 1e5, nullptr);
    };
    const double cp = f(s.x, s.P, s.T) + 1e5;
    for (int i = 0; i < 3; ++i) {
      std::vector<double> xp = s.x, xm = s.x;
      xp[static_cast<size_t>(i)] += 1e-6;
      xm[static_cast<size_t>(i)] -= 1e-6;
      const double fd = (f(xp, s.P, s.T) - f(xm, s.P, s.T)) / 2e-6;
      EXPECT_NEAR(d[static_cast<size_t>(i)], fd, 1e-5 * std::fabs(fd) + 1e-6 * cp);
    }
    const double hP = 1e-6 * s.P, hT = 1e-6 * s.T;
    const double fdP = (f(s.x, s.P + hP, s.T) - f(s.x, s.P - hP, s.T)) / (2 * hP);
    const double fdT = (f(s.x, s.P, s.T + hT) - f(s.x, s.P, s.T - hT)) / (2 * hT);
    EXPECT_NEAR(d[3], fdP, 1e-5 * std::fabs(fdP) + 1e-9 * cp);
    EXPECT_NEAR(d[4], fdT, 1e-4 * std::fabs(fdT) + 1e-7 * cp);
    EXPECT_EQ(d[5], -1.0);
    // Bad states: RMISS residual, finite derivatives.
    for (const double badP : {0.0, -1e5}) {
      EXPECT_EQ(cpset_call(3, s, s.x, badP, s.T, 1.0, nullptr), kRmiss);
      cpset_call(4, s, s.x, badP, s.T, 1.0, &d);
      for (double v : d) EXPECT_TRUE(std::isfinite(v));
    }
    EXPECT_EQ(cpset_call(3, s, s.x, s.P, 0.5, 1.0, nullptr), kRmiss);
    EXPECT_EQ(cpset_call(3, s, {0.0, 0.0, 0.0}, s.P, s.T, 1.0, nullptr), kRmiss);
  }
}

INSTANTIATE_TEST_SUITE_P(Methods, RowSets, ::testing::Values(Method::Ideal, Method::PengRobinson),
                         [](const auto& info) {
                           return info.param == Method::Ideal ? std::string("Ideal")
                                                              : std::string("PengRobinson");
                         });

// --- Property monitors -------------------------------------------------------

struct Monitor {
  double h = kRmiss, cp = kRmiss, v = kRmiss;
};

Monitor monitor(bool liquid, int32_t ipropset, const std::vector<double>& x, double T, double P) {
  const int32_t n = static_cast<int32_t>(x.size());
  const std::vector<int32_t> idx = list_of(n);
  const int32_t pword = 0, code3 = 3, code1 = 1;
  int32_t istat = 0;
  Monitor r;
  double v2 = 0;
  if (liquid) {
    PPMON_ENTHL(&T, &P, x.data(), &n, idx.data(), &ipropset, &pword, PPEXEC_KBASE, &code3, &r.h,
                &r.cp, &istat);
    PPMON_VOLL(&T, &P, x.data(), &n, idx.data(), &ipropset, &pword, &code1, &r.v, &v2, &istat);
  } else {
    PPMON_ENTHV(&T, &P, x.data(), &n, idx.data(), &ipropset, &pword, PPEXEC_KBASE, &code3, &r.h,
                &r.cp, &istat);
    PPMON_VOLV(&T, &P, x.data(), &n, idx.data(), &ipropset, &pword, &code1, &r.v, &v2, &istat);
  }
  EXPECT_EQ(istat, 0);
  return r;
}

TEST(PropertyMonitors, WaterByHandWithIdealMethod) {
  reset_host({"H2O"}, Method::Ideal);
  const thermo::Databank& db = thermo::Databank::builtin();
  const thermo::Component& w = db[db.find("H2O")];
  const int32_t ideal = 1;
  // Liquid volume at 300 K, 1 bar: water's 996.56 kg/m3 (IAPWS).
  const Monitor l = monitor(true, ideal, {1.0}, 300.0, 1.0e5);
  EXPECT_NEAR(l.v, 18.015268 / 996.56, 1e-4 * l.v);
  // Ideal-gas vapour: V = RT/P; H = Hf + R * integral of the Cp/R polynomial.
  const double T = 450.0, P = 2.0e5;
  const Monitor v = monitor(false, ideal, {2.0}, T, P);
  EXPECT_NEAR(v.v, 8314.4 * T / P, 1e-10 * v.v);
  double integral = 0.0, cp = 0.0;
  for (int k = 0; k < 5; ++k) {
    integral += w.cp[k] / (k + 1) * (std::pow(T, k + 1) - std::pow(298.15, k + 1));
    cp += w.cp[k] * std::pow(T, k);
  }
  EXPECT_NEAR(v.h, w.hf298 + 8314.462618 * integral, 1e-7 * std::fabs(v.h));
  EXPECT_NEAR(v.cp, 8314.462618 * cp, 1e-9 * v.cp);
  // Vaporisation enthalpy at the normal boiling point: 40.66 MJ/kmol measured;
  // the Lee-Kesler slope times the Haggenmacher factor gives 43.2 MJ/kmol.
  const Monitor lb = monitor(true, ideal, {1.0}, 373.15, 101325.0);
  const Monitor vb = monitor(false, ideal, {1.0}, 373.15, 101325.0);
  EXPECT_NEAR(vb.h - lb.h, 40.66e6, 0.08 * 40.66e6);
}

TEST(PropertyMonitors, HydrocarbonMixtureAgainstEngineAndIdealMixing) {
  const std::vector<std::string> ids = {"C3H8", "NC4", "NC6"};
  const std::vector<double> x = {0.3, 0.5, 0.2};
  for (const Method m : {Method::Ideal, Method::PengRobinson}) {
    SCOPED_TRACE(static_cast<int>(m));
    reset_host(ids, m);
    const thermo::Model& eng = engine(m, 3);
    const int32_t ipropset = static_cast<int32_t>(m);
    const double T = 280.0, P = 1.0e6;
    const Monitor l = monitor(true, ipropset, x, T, P);
    const Monitor v = monitor(false, ipropset, x, T, P);
    double h, cp, vol, vm = 0.0;
    for (size_t i = 0; i < ids.size(); ++i) {
      std::vector<double> e(ids.size(), 0.0);
      e[i] = 1.0;
      eng.molar_volume(Phase::Liquid, T, P, e, vol);
      vm += x[i] * vol;
    }
    EXPECT_NEAR(l.v, vm, 1e-12 * vm);  // both methods: the pure liquids mixed ideally
    eng.enthalpy(Phase::Liquid, T, P, x, h);
    eng.heat_capacity(Phase::Liquid, T, P, x, cp);
    EXPECT_DOUBLE_EQ(l.h, h);
    EXPECT_DOUBLE_EQ(l.cp, cp);
    eng.enthalpy(Phase::Vapour, T, P, x, h);
    eng.heat_capacity(Phase::Vapour, T, P, x, cp);
    eng.molar_volume(Phase::Vapour, T, P, x, vol);
    EXPECT_DOUBLE_EQ(v.h, h);
    EXPECT_DOUBLE_EQ(v.cp, cp);
    EXPECT_DOUBLE_EQ(v.v, vol);
    if (m == Method::Ideal) {
      EXPECT_NEAR(v.v, 8314.4 * T / P, 1e-10 * v.v);
    }
    // Bad states come back as RMISS.
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
