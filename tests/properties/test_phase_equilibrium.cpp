// The phase-equilibrium equation set: layout and counts, initialisation
// against the engine's flashes, residuals at the flash solution, Jacobian
// against central differences in and out of the two-phase region, Newton
// solutions of the set's equations, defaults and bad input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "framework/host_services.h"
#include "host/services/context.h"
#include "host/thermo/thermo.h"
#include "tests/support/support.h"

namespace r3::test {
namespace {

using host::kRmiss;
using thermo::Method;

const std::vector<std::string> kMix = {"C2H6", "C3H8", "NC4", "NC5"};

// One set on a small variable vector: component flows at 1..n, the enthalpy
// at n+1, the pressure at n+2, an outside temperature at n+3, then the set.
struct PmlSet {
  int32_t n;
  int32_t option;
  int32_t ipropset;
  std::vector<int32_t> idx, flows, layout = std::vector<int32_t>(9, 0);
  int32_t iph, ipp, ipt, ny = 0, nf = 0, nz = 0;
  std::vector<double> Y, sa, sb;

  PmlSet(int32_t ncomp, int32_t opt, Method m)
      : n(ncomp), option(opt), ipropset(static_cast<int32_t>(m)) {
    for (int i = 0; i < n; ++i) {
      idx.push_back(i + 1);
      flows.push_back(i + 1);
    }
    iph = n + 1;
    ipp = n + 2;
    ipt = n + 3;
    ny = n + 3;
    RTO_PMLDIM(&n, idx.data(), &option, &ny, &nf, &nz, layout.data());
    Y.assign(static_cast<size_t>(ny), 0.0);
    sa.assign(static_cast<size_t>(n), 0.0);
    sb.assign(static_cast<size_t>(n), 0.0);
  }
  int z0() const { return layout[8]; }
  double& y(int position) { return Y[static_cast<size_t>(position - 1)]; }
  double& T() { return y(layout[0]); }
  double& beta() { return y(layout[1]); }
  double& Q() { return y(layout[2]); }
  double& zf(int i) { return y(z0() + 4 + i); }  // i from 1
  double& yv(int i) { return y(z0() + n + 8 + i); }
  double& xl(int i) { return y(z0() + 3 * n + 13 + i); }
  double& lnk(int i) { return y(z0() + 2 * n + 13 + i); }
  double& hmix() { return y(z0() + 2 * n + 13); }

  void feed(const std::vector<double>& f, double h, double P, double Text = 0.0) {
    for (int i = 0; i < n; ++i) Y[static_cast<size_t>(i)] = f[static_cast<size_t>(i)];
    y(iph) = h;
    y(ipp) = P;
    y(ipt) = Text;
  }
  int32_t init(int32_t flag) {
    const int32_t arg31 = 0, maxit = 30;
    const double tol = 1e-4;
    const int32_t start = layout[1];
    int32_t ierr = 99;
    RTO_PMLINI(&n, idx.data(), flows.data(), &iph, &ipp, &ipropset, &arg31, &tol, &maxit, &flag,
               layout.data(), &start, sa.data(), sb.data(), Y.data(), &ierr);
    return ierr;
  }
  std::vector<double> residuals(const std::vector<double>& at) {
    std::vector<double> F(static_cast<size_t>(nf) + 1, -7.0);
    int32_t m = 0;
    const int32_t start = layout[1];
    RTO_PMLRES(&n, idx.data(), flows.data(), &iph, &ipp, &ipt, layout.data(), sa.data(), sb.data(),
               &option, at.data(), &start, &m, F.data());
    EXPECT_EQ(m, nf);
    EXPECT_EQ(F.back(), -7.0);
    F.pop_back();
    return F;
  }
  std::vector<double> residuals() { return residuals(Y); }
  void pattern(std::vector<int32_t>& rows, std::vector<int32_t>& cols) {
    rows.assign(static_cast<size_t>(nz) + 1, -7);
    cols.assign(static_cast<size_t>(nz) + 1, -7);
    int32_t m = 0, k = 0;
    const int32_t start = layout[1];
    RTO_PMLSPR(&n, idx.data(), flows.data(), &iph, &ipp, &ipt, layout.data(), &option, &start, &m,
               &k, rows.data(), cols.data());
    EXPECT_EQ(m, nf);
    EXPECT_EQ(k, nz);
    EXPECT_EQ(rows.back(), -7);
    rows.pop_back();
    cols.pop_back();
  }
  std::vector<double> jacobian(const std::vector<double>& at) {
    std::vector<double> d(static_cast<size_t>(nz) + 1, -7.0);
    int32_t k = 0;
    const int32_t start = layout[1];
    const double eps = 1e-7;
    RTO_PMLJAC(&n, idx.data(), flows.data(), &iph, &ipp, &ipt, layout.data(), sa.data(), sb.data(),
               &eps, &option, at.data(), &start, &k, d.data());
    EXPECT_EQ(k, nz);
    EXPECT_EQ(d.back(), -7.0);
    d.pop_back();
    return d;
  }
  // Default scales of the variables and rows (every entry missing before).
  void scales(std::vector<double>& yscl, std::vector<double>& fscl) {
    yscl.assign(static_cast<size_t>(ny), kRmiss);
    for (int i = 0; i < n + 3; ++i) yscl[static_cast<size_t>(i)] = 1.0;
    yscl[static_cast<size_t>(iph - 1)] = 1e8;
    yscl[static_cast<size_t>(ipp - 1)] = 1e6;
    yscl[static_cast<size_t>(ipt - 1)] = 1e3;
    const int32_t start = layout[1], zero = 0;
    RTO_PMLXSCL(&n, layout.data(), &start, Y.data(), yscl.data());
    fscl.assign(static_cast<size_t>(nf), kRmiss);
    RTO_PMLRSCL(&n, layout.data(), &zero, fscl.data());
  }
};

std::vector<double> feed_flows() {
  return {0.2, 0.3, 0.3, 0.2};
}

const thermo::Model& engine(Method m, int n) {
  std::vector<int32_t> idx;
  for (int i = 0; i < n; ++i) idx.push_back(i + 1);
  const thermo::Model* model = host::model_for(static_cast<int32_t>(m), idx);
  EXPECT_NE(model, nullptr);
  return *model;
}

// Largest scaled residual.
double scaled_norm(PmlSet& s) {
  std::vector<double> yscl, fscl;
  s.scales(yscl, fscl);
  const std::vector<double> F = s.residuals();
  double worst = 0.0;
  for (size_t i = 0; i < F.size(); ++i) worst = std::max(worst, std::fabs(F[i] / fscl[i]));
  return worst;
}

// The set's state against an engine flash result: temperature, clamped vapour
// fraction, the present phases' compositions.
void expect_state(PmlSet& s, const thermo::FlashResult& r, double ttol) {
  EXPECT_NEAR(s.T(), r.T, ttol);
  EXPECT_NEAR(std::clamp(s.beta(), 0.0, 1.0), r.beta, 1e-7);
  if (r.beta > 0.0 && r.beta < 1.0) {
    EXPECT_GT(s.beta(), 0.0);
    EXPECT_LT(s.beta(), 1.0);
  }
  for (int i = 1; i <= s.n; ++i) {
    if (r.beta > 0.0) {
      EXPECT_NEAR(s.yv(i), r.y[static_cast<size_t>(i - 1)], 1e-7) << i;
    }
    if (r.beta < 1.0) {
      EXPECT_NEAR(s.xl(i), r.x[static_cast<size_t>(i - 1)], 1e-7) << i;
    }
  }
}

class PhaseEquilibrium : public ::testing::TestWithParam<Method> {
 protected:
  void SetUp() override { reset_host(kMix, GetParam()); }
  Method method() const { return GetParam(); }
};

TEST_P(PhaseEquilibrium, LayoutCountsPatternAndNames) {
  for (const int32_t option : {0, 4}) {
    SCOPED_TRACE(option);
    PmlSet s(4, option, method());
    const int n = 4;
    const bool closed = option != 0;
    EXPECT_EQ(s.ny, n + 3 + 4 * n + 13);
    EXPECT_EQ(s.nf, 4 * n + 12 + (closed ? 2 : 0));
    EXPECT_EQ(s.nz, 2 * n * n + 22 * n + 30 + (closed ? 3 : 0));
    const int z0 = n + 3;
    EXPECT_EQ(s.layout, (std::vector<int32_t>{z0 + 2, z0 + 1, z0 + 3, z0 + 4, z0 + n + 5,
                                              z0 + 2 * n + 9, z0 + 2 * n + 14, s.nf, z0}));
    std::vector<int32_t> rows, cols;
    s.pattern(rows, cols);
    std::set<std::pair<int, int>> seen;
    std::set<int> rows_seen, cols_seen;
    for (size_t k = 0; k < rows.size(); ++k) {
      EXPECT_GE(rows[k], 1);
      EXPECT_LE(rows[k], s.nf);
      EXPECT_GE(cols[k], 1);
      EXPECT_LE(cols[k], s.ny);
      EXPECT_TRUE(seen.insert({rows[k], cols[k]}).second) << rows[k] << "," << cols[k];
      rows_seen.insert(rows[k]);
      cols_seen.insert(cols[k]);
    }
    EXPECT_EQ(static_cast<int>(rows_seen.size()), s.nf);
    for (int q = z0 + 1; q <= s.ny; ++q) EXPECT_TRUE(cols_seen.count(q)) << q;

    // Names: every variable of the set and every row, with the prefix.
    const int32_t lname = 8;
    std::vector<char> varnam(static_cast<size_t>(s.ny) * 32, ' '),
        eqnnam(static_cast<size_t>(s.nf + 2) * 32, ' ');
    int32_t idblk[2], prefix, m = 1;
    std::memcpy(idblk, "EXP1    ", 8);
    std::memcpy(&prefix, "OUT ", 4);
    std::vector<int32_t> cids(2 * static_cast<size_t>(n));
    std::memcpy(cids.data(), "C2H6    C3H8    NC4     NC5     ", 32);
    const int32_t start = s.layout[1];
    RTO_PMLNAM(&s.n, s.idx.data(), cids.data(), s.layout.data(), &prefix, &start, idblk, &lname,
               varnam.data(), eqnnam.data(), &m);
    EXPECT_EQ(m, s.nf + 1);
    auto var = [&](int q) {
      std::string t(varnam.data() + (q - 1) * 32, 32);
      return t.substr(0, t.find_last_not_of(' ') + 1);
    };
    auto eqn = [&](int r) {
      std::string t(eqnnam.data() + (r - 1) * 32, 32);
      return t.substr(0, t.find_last_not_of(' ') + 1);
    };
    EXPECT_EQ(var(s.layout[0]), "EXP1.OUT_TEMP");
    EXPECT_EQ(var(s.layout[1]), "EXP1.OUT_VFRAC");
    EXPECT_EQ(var(z0 + 4 + 2), "EXP1.OUT_Z_C3H8");
    EXPECT_EQ(var(z0 + n + 8 + 4), "EXP1.OUT_Y_NC5");
    EXPECT_EQ(var(z0 + 3 * n + 13 + 1), "EXP1.OUT_X_C2H6");
    for (int q = z0 + 1; q <= s.ny; ++q) EXPECT_EQ(var(q).rfind("EXP1.OUT_", 0), 0u) << q;
    EXPECT_EQ(eqn(1), "");
    EXPECT_EQ(eqn(2), "EXP1.OUT_TOTAL");
    EXPECT_EQ(eqn(s.nf + 1), closed ? "EXP1.OUT_ADIAB" : "EXP1.OUT_DUTYDEF");
    EXPECT_EQ(eqn(s.nf + 2), "");
  }
}

// Initialisation for each given-quantity flag against the engine's flashes,
// in the two-phase region and on both sides of it; the residuals vanish at
// the state it writes.
TEST_P(PhaseEquilibrium, InitialisationEqualsTheEngineFlashForEveryFlag) {
  const thermo::Model& eng = engine(method(), 4);
  const std::vector<double> f = feed_flows();
  const double P = 1.0e6;
  for (const double T0 : {240.0, 320.0, 400.0}) {  // liquid, two-phase, vapour
    SCOPED_TRACE(T0);
    thermo::FlashResult r;
    ASSERT_NE(thermo::flash_tp(eng, T0, P, f, r), thermo::Status::Failed);
    if (T0 == 320.0) {
      ASSERT_GT(r.beta, 0.05);
      ASSERT_LT(r.beta, 0.95);
    } else {
      ASSERT_EQ(r.beta, T0 < 300.0 ? 0.0 : 1.0);
    }
    // Temperature given (the enthalpy variable at 0: the duty is F * H).
    PmlSet s(4, 0, method());
    s.feed(f, 0.0, P);
    s.T() = T0;
    ASSERT_EQ(s.init(2), 0);
    expect_state(s, r, 1e-9);
    EXPECT_NEAR(s.Q() / 1.0, r.H, 1e-6 * std::fabs(r.H));  // total flow 1
    if (r.beta == 1.0) {
      EXPECT_GT(s.beta(), 1.0);
    }
    if (r.beta == 0.0) {
      EXPECT_LT(s.beta(), 0.0);
    }
    EXPECT_LT(scaled_norm(s), 1e-9);
    for (int i = 1; i <= 4; ++i) {
      EXPECT_NEAR(s.sb[static_cast<size_t>(i - 1)], f[static_cast<size_t>(i - 1)], 1e-15);
      EXPECT_NEAR(s.sa[static_cast<size_t>(i - 1)], std::exp(s.lnk(i)),
                  1e-12 * s.sa[static_cast<size_t>(i - 1)]);
    }
    // Enthalpy given: the same state, no duty.
    PmlSet e(4, 0, method());
    e.feed(f, r.H, P);
    e.T() = 300.0;
    ASSERT_EQ(e.init(1), 0);
    expect_state(e, r, 1e-6);
    EXPECT_NEAR(e.Q(), 0.0, 1e-6 * std::fabs(r.H));
    EXPECT_LT(scaled_norm(e), 1e-8);
    // Any other flag: the temperature when the set holds one.
    PmlSet a(4, 0, method());
    a.feed(f, r.H, P);
    a.T() = T0;
    ASSERT_EQ(a.init(4), 0);
    expect_state(a, r, 1e-9);
    a.T() = kRmiss;
    ASSERT_EQ(a.init(4), 0);  // none: the enthalpy
    expect_state(a, r, 1e-6);
  }
  // Vapour fraction given.
  thermo::FlashResult r;
  ASSERT_NE(thermo::flash_pv(eng, P, 0.4, f, 300.0, r), thermo::Status::Failed);
  PmlSet s(4, 0, method());
  s.feed(f, 0.0, P);
  s.beta() = 0.4;
  ASSERT_EQ(s.init(3), 0);
  expect_state(s, r, 1e-6);
  EXPECT_LT(scaled_norm(s), 1e-8);
}

// Central differences of the residuals against the analytic Jacobian, at
// states near (not at) initialised solutions, in every region and both forms.
void check_jacobian(PmlSet& s, const std::string& where) {
  SCOPED_TRACE(where);
  std::vector<double> yscl, fscl;
  s.scales(yscl, fscl);
  std::vector<int32_t> rows, cols;
  s.pattern(rows, cols);
  const std::vector<double> d = s.jacobian(s.Y);
  const size_t nf = static_cast<size_t>(s.nf), ny = static_cast<size_t>(s.ny);
  std::vector<double> A(nf * ny, 0.0);
  for (size_t k = 0; k < rows.size(); ++k) {
    ASSERT_TRUE(std::isfinite(d[k]));
    A[static_cast<size_t>(rows[k] - 1) * ny + static_cast<size_t>(cols[k] - 1)] += d[k];
  }
  std::set<std::pair<int, int>> in_pattern;
  for (size_t k = 0; k < rows.size(); ++k) in_pattern.insert({rows[k], cols[k]});
  for (size_t j = 0; j < ny; ++j) {
    std::vector<double> yp = s.Y, ym = s.Y;
    const double v = s.Y[j];
    double h = 1e-6 * std::max(std::fabs(v), 1e-3 * yscl[j]);
    if (v > 0.0 && yscl[j] == 1.0) h = std::min(h, 0.25 * v);  // keep fractions positive
    yp[j] = v + h;
    ym[j] = v - h;
    const std::vector<double> fp = s.residuals(yp), fm = s.residuals(ym);
    for (size_t i = 0; i < nf; ++i) {
      ASSERT_NE(fp[i], kRmiss);
      ASSERT_NE(fm[i], kRmiss);
      const double num = (fp[i] - fm[i]) / (2 * h) * yscl[j] / fscl[i];
      const double ana = A[i * ny + j] * yscl[j] / fscl[i];
      EXPECT_NEAR(ana, num, 1e-6 + 1e-4 * std::fabs(num)) << "row " << i + 1 << " col " << j + 1;
      if (std::fabs(num) > 1e-8) {
        EXPECT_TRUE(in_pattern.count({static_cast<int>(i + 1), static_cast<int>(j + 1)}))
            << "row " << i + 1 << " col " << j + 1;
      }
    }
  }
}

TEST_P(PhaseEquilibrium, JacobianMatchesCentralDifferencesInEveryRegion) {
  const std::vector<double> f = feed_flows();
  for (const int32_t option : {0, 1}) {
    for (const double T0 : {240.0, 320.0, 400.0}) {
      PmlSet s(4, option, method());
      s.feed(f, -1.0e8, 1.0e6, T0 + 3.0);
      s.T() = T0;
      ASSERT_EQ(s.init(2), 0);
      // Move off the solution: every set variable by a small, uneven amount.
      for (int q = s.z0() + 1; q <= s.ny; ++q) {
        s.y(q) *= 1.0 + 1e-3 * std::sin(3.7 * q);
      }
      s.y(1) *= 1.1;
      check_jacobian(s, "option " + std::to_string(option) + " T " + std::to_string(T0));
    }
  }
}

// Dense Newton on the set's rows (plus, for the open form, the caller's
// closing row Q = 0) with the set's own variables unknown (and, for the closed
// form, the enthalpy too), steps limited and kept inside the default bounds.
int solve(PmlSet& s, bool with_h) {
  std::vector<double> yscl, fscl;
  s.scales(yscl, fscl);
  const int32_t start = s.layout[1];
  // Filled after construction: sized construction here makes GCC 12 report a
  // false -Wfree-nonheap-object when optimising.
  std::vector<double> lb, ub, sb;
  lb.assign(s.Y.size(), kRmiss), ub.assign(s.Y.size(), kRmiss), sb.assign(s.Y.size(), kRmiss);
  RTO_PMLXBND(&s.n, s.layout.data(), &start, s.Y.data(), lb.data(), ub.data(), sb.data());
  std::vector<int> unknown;
  for (int q = s.z0() + 1; q <= s.ny; ++q) unknown.push_back(q);
  if (with_h) unknown.push_back(s.iph);
  const int nu = static_cast<int>(unknown.size());
  std::vector<int> where(s.Y.size() + 1, -1);
  for (int j = 0; j < nu; ++j) where[static_cast<size_t>(unknown[static_cast<size_t>(j)])] = j;
  std::vector<int32_t> rows, cols;
  s.pattern(rows, cols);
  for (int it = 1; it <= 60; ++it) {
    std::vector<double> F = s.residuals();
    if (!with_h) F.push_back(s.Q());
    const int ne = static_cast<int>(F.size());
    EXPECT_EQ(ne, nu);
    std::vector<double> fs = fscl;
    if (!with_h) fs.push_back(1e8);
    double worst = 0.0;
    for (int i = 0; i < ne; ++i) {
      if (F[static_cast<size_t>(i)] == kRmiss) return -1;
      worst = std::max(worst, std::fabs(F[static_cast<size_t>(i)] / fs[static_cast<size_t>(i)]));
    }
    if (worst < 1e-11) return it;
    const std::vector<double> d = s.jacobian(s.Y);
    std::vector<double> A(static_cast<size_t>(ne * nu), 0.0);
    for (size_t k = 0; k < rows.size(); ++k) {
      const int j = where[static_cast<size_t>(cols[k])];
      if (j >= 0) A[static_cast<size_t>((rows[k] - 1) * nu + j)] += d[k];
    }
    if (!with_h)
      A[static_cast<size_t>((ne - 1) * nu + where[static_cast<size_t>(s.layout[2])])] = 1.0;
    // Scaled system, Gaussian elimination with partial pivoting.
    std::vector<double> b(static_cast<size_t>(ne));
    for (int i = 0; i < ne; ++i) {
      b[static_cast<size_t>(i)] = -F[static_cast<size_t>(i)] / fs[static_cast<size_t>(i)];
      for (int j = 0; j < nu; ++j) {
        A[static_cast<size_t>(i * nu + j)] *=
            yscl[static_cast<size_t>(unknown[static_cast<size_t>(j)] - 1)] /
            fs[static_cast<size_t>(i)];
      }
    }
    for (int c = 0; c < nu; ++c) {
      int piv = c;
      for (int i = c + 1; i < ne; ++i) {
        if (std::fabs(A[static_cast<size_t>(i * nu + c)]) >
            std::fabs(A[static_cast<size_t>(piv * nu + c)]))
          piv = i;
      }
      if (std::fabs(A[static_cast<size_t>(piv * nu + c)]) < 1e-300) return -2;
      for (int j = 0; j < nu; ++j)
        std::swap(A[static_cast<size_t>(c * nu + j)], A[static_cast<size_t>(piv * nu + j)]);
      std::swap(b[static_cast<size_t>(c)], b[static_cast<size_t>(piv)]);
      for (int i = c + 1; i < ne; ++i) {
        const double fct = A[static_cast<size_t>(i * nu + c)] / A[static_cast<size_t>(c * nu + c)];
        for (int j = c; j < nu; ++j)
          A[static_cast<size_t>(i * nu + j)] -= fct * A[static_cast<size_t>(c * nu + j)];
        b[static_cast<size_t>(i)] -= fct * b[static_cast<size_t>(c)];
      }
    }
    std::vector<double> dx(static_cast<size_t>(nu));
    for (int c = nu - 1; c >= 0; --c) {
      double v = b[static_cast<size_t>(c)];
      for (int j = c + 1; j < nu; ++j)
        v -= A[static_cast<size_t>(c * nu + j)] * dx[static_cast<size_t>(j)];
      dx[static_cast<size_t>(c)] = v / A[static_cast<size_t>(c * nu + c)];
    }
    double alpha = 1.0;
    for (int j = 0; j < nu; ++j) {
      const size_t q = static_cast<size_t>(unknown[static_cast<size_t>(j)] - 1);
      dx[static_cast<size_t>(j)] *= yscl[q];
      if (sb[q] != kRmiss && std::fabs(dx[static_cast<size_t>(j)]) > sb[q] * yscl[q]) {
        alpha = std::min(alpha, sb[q] * yscl[q] / std::fabs(dx[static_cast<size_t>(j)]));
      }
    }
    // As the host's solver: a step into a state the set cannot evaluate is
    // halved.
    const std::vector<double> base = s.Y;
    for (int cut = 0; cut < 12; ++cut, alpha *= 0.5) {
      for (int j = 0; j < nu; ++j) {
        const size_t q = static_cast<size_t>(unknown[static_cast<size_t>(j)] - 1);
        double v = base[q] + alpha * dx[static_cast<size_t>(j)];
        if (lb[q] != kRmiss) v = std::max(v, lb[q]);
        if (ub[q] != kRmiss) v = std::min(v, ub[q]);
        s.Y[q] = v;
      }
      const std::vector<double> trial = s.residuals();
      if (std::find(trial.begin(), trial.end(), kRmiss) == trial.end()) break;
    }
  }
  return 0;
}

// Solving the equations from a state in one region for an enthalpy in
// another gives the engine's PH flash: the set crosses the phase boundaries.
TEST_P(PhaseEquilibrium, NewtonOnTheSetReachesTheFlashAcrossPhaseBoundaries) {
  const thermo::Model& eng = engine(method(), 4);
  const std::vector<double> f = feed_flows();
  const double P = 1.0e6;
  struct Case {
    double from, to;
  } cases[] = {{320.0, 420.0}, {320.0, 230.0}, {420.0, 310.0}, {230.0, 330.0}, {300.0, 345.0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.from) + " -> " + std::to_string(c.to));
    thermo::FlashResult target;
    ASSERT_NE(thermo::flash_tp(eng, c.to, P, f, target), thermo::Status::Failed);
    PmlSet s(4, 0, method());
    s.feed(f, target.H, P);
    s.T() = c.from;
    ASSERT_EQ(s.init(2), 0);
    const int its = solve(s, false);
    EXPECT_GT(its, 0);
    EXPECT_LT(its, 40);
    expect_state(s, target, 1e-6);
  }
  // The closed form with the outside temperature fixed yields the enthalpy.
  for (const double T : {230.0, 320.0, 420.0}) {
    SCOPED_TRACE(T);
    thermo::FlashResult target;
    ASSERT_NE(thermo::flash_tp(eng, T, P, f, target), thermo::Status::Failed);
    PmlSet s(4, 4, method());
    s.feed(f, 0.0, P, T);
    s.T() = 330.0;
    ASSERT_EQ(s.init(2), 0);
    const int its = solve(s, true);
    EXPECT_GT(its, 0);
    EXPECT_NEAR(s.y(s.iph), target.H, 1e-7 * std::fabs(target.H));
    expect_state(s, target, 1e-6);
  }
}

TEST_P(PhaseEquilibrium, DefaultsFillOnlyMissingEntries) {
  PmlSet s(4, 4, method());
  const int32_t start = s.layout[1], zero = 3;
  std::vector<double> scl(s.Y.size(), kRmiss), lb(s.Y.size(), kRmiss), ub(s.Y.size(), kRmiss),
      sbnd(s.Y.size(), kRmiss);
  scl[static_cast<size_t>(s.layout[0] - 1)] = 123.0;
  lb[static_cast<size_t>(s.layout[1] - 1)] = -0.5;
  RTO_PMLXSCL(&s.n, s.layout.data(), &start, s.Y.data(), scl.data());
  RTO_PMLXBND(&s.n, s.layout.data(), &start, s.Y.data(), lb.data(), ub.data(), sbnd.data());
  EXPECT_EQ(scl[static_cast<size_t>(s.layout[0] - 1)], 123.0);
  EXPECT_EQ(lb[static_cast<size_t>(s.layout[1] - 1)], -0.5);
  EXPECT_EQ(ub[static_cast<size_t>(s.layout[1] - 1)], 3.0);
  for (int q = 1; q <= s.ny; ++q) {
    const size_t i = static_cast<size_t>(q - 1);
    const bool own = q > s.z0();
    EXPECT_EQ(scl[i] != kRmiss, own) << q;
    EXPECT_EQ(sbnd[i] != kRmiss, own) << q;
    if (own) {
      EXPECT_LT(lb[i], ub[i]) << q;
    }
  }
  std::vector<int32_t> attr(s.Y.size(), 0);
  RTO_PMLXPP(&s.n, s.layout.data(), &start, attr.data());
  EXPECT_EQ(U3VGPT(&attr[static_cast<size_t>(s.layout[0] - 1)]), 22);
  EXPECT_EQ(U3VGPT(&attr[static_cast<size_t>(s.layout[2] - 1)]), 13);
  EXPECT_EQ(U3VGPT(&attr[0]), 0);
  // Row scales start after the count handed in and stop at the set's last row.
  std::vector<double> fscl(static_cast<size_t>(s.nf) + 5, kRmiss);
  fscl[4] = 7.0;
  RTO_PMLRSCL(&s.n, s.layout.data(), &zero, fscl.data());
  EXPECT_EQ(fscl[2], kRmiss);
  EXPECT_EQ(fscl[3], 1.0);  // TOTAL: the flow scale
  EXPECT_EQ(fscl[4], 7.0);
  EXPECT_NE(fscl[static_cast<size_t>(s.nf) + 2], kRmiss);
  EXPECT_EQ(fscl[static_cast<size_t>(s.nf) + 3], kRmiss);
}

TEST_P(PhaseEquilibrium, BadInputGivesFailureOrMissingResidualsNeverNaN) {
  const std::vector<double> f = feed_flows();
  PmlSet s(4, 1, method());
  s.feed(f, 0.0, 1.0e6, 320.0);
  s.T() = 320.0;
  ASSERT_EQ(s.init(2), 0);
  const std::vector<double> good = s.Y;
  auto all_finite_or_missing = [&](const char* what) {
    SCOPED_TRACE(what);
    const std::vector<double> F = s.residuals();
    int missing = 0;
    for (double v : F) {
      EXPECT_TRUE(std::isfinite(v));
      if (v == kRmiss) ++missing;
    }
    for (double v : s.jacobian(s.Y)) EXPECT_TRUE(std::isfinite(v));
    return missing;
  };
  s.y(s.ipp) = 0.0;
  EXPECT_GT(all_finite_or_missing("zero pressure"), 0);
  s.Y = good;
  s.T() = 0.5;
  EXPECT_GT(all_finite_or_missing("temperature below 1 K"), 0);
  s.Y = good;
  for (int i = 1; i <= 4; ++i) s.xl(i) = 0.0;
  EXPECT_GT(all_finite_or_missing("liquid composition summing to zero"), 0);
  s.Y = good;
  s.y(s.ipp) = std::nan("");
  EXPECT_GT(all_finite_or_missing("pressure not a number"), 0);
  s.Y = good;
  for (int i = 1; i <= 4; ++i) s.Y[static_cast<size_t>(i - 1)] = 0.0;
  all_finite_or_missing("no flow");

  // The initialisation refuses and leaves everything as it was.
  struct Bad {
    const char* what;
    int32_t flag;
    std::vector<double> flows;
    double P, T, h;
  } bad[] = {{"zero flows", 2, {0, 0, 0, 0}, 1e6, 320.0, 0.0},
             {"negative flow", 2, {0.2, -0.1, 0.3, 0.2}, 1e6, 320.0, 0.0},
             {"zero pressure", 2, f, 0.0, 320.0, 0.0},
             {"temperature below 1 K", 2, f, 1e6, 0.5, 0.0},
             {"missing enthalpy", 1, f, 1e6, 320.0, kRmiss},
             {"vapour fraction out of range", 3, f, 1e6, 320.0, 0.0},
             {"nothing given", 4, f, 1e6, kRmiss, kRmiss}};
  for (const Bad& b : bad) {
    SCOPED_TRACE(b.what);
    PmlSet t(4, 0, method());
    t.feed(b.flows, b.h, b.P);
    t.T() = b.T;
    t.beta() = 1.5;
    const std::vector<double> before = t.Y;
    t.sa.assign(4, 0.25);
    EXPECT_EQ(t.init(b.flag), -1);
    EXPECT_EQ(t.Y, before);
    EXPECT_EQ(t.sa, std::vector<double>(4, 0.25));
  }
}

// A pure component: two-phase only at its saturation temperature; the set
// reaches the dome from superheated vapour and leaves it for the liquid.
TEST_P(PhaseEquilibrium, PureComponentAcrossItsSaturationTemperature) {
  reset_host({"C3H8"}, method());
  const thermo::Model& eng = engine(method(), 1);
  const double P = 1.0e6;
  const std::vector<double> f = {1.5};
  thermo::FlashResult dome;
  ASSERT_NE(thermo::flash_pv(eng, P, 0.6, f, 300.0, dome), thermo::Status::Failed);
  for (const double to : {dome.H, dome.H - 2.0e7, dome.H + 1.0e7}) {
    SCOPED_TRACE(to);
    thermo::FlashResult target;
    ASSERT_NE(thermo::flash_ph(eng, P, to, f, 300.0, target), thermo::Status::Failed);
    PmlSet s(1, 0, method());
    s.feed(f, to, P);
    ASSERT_EQ(s.init(1), 0);
    expect_state(s, target, 1e-6);
    EXPECT_LT(scaled_norm(s), 1e-7);
    // From a superheated start.
    s.y(s.iph) = to;
    s.T() = dome.T + 40.0;
    ASSERT_EQ(s.init(2), 0);
    EXPECT_GT(s.beta(), 1.0);
    EXPECT_GT(solve(s, false), 0);
    expect_state(s, target, 1e-5);
  }
}

INSTANTIATE_TEST_SUITE_P(Methods, PhaseEquilibrium,
                         ::testing::Values(Method::Ideal, Method::PengRobinson),
                         [](const auto& info) {
                           return info.param == Method::Ideal ? std::string("Ideal")
                                                              : std::string("PengRobinson");
                         });

// Water on the steam tables: inside the dome, from the enthalpy.
TEST(PhaseEquilibriumSteam, TwoPhaseWaterFromItsEnthalpy) {
  reset_host({"H2O"}, Method::SteamTable);
  const thermo::Model& eng = engine(Method::SteamTable, 1);
  const double P = 1.0e5;
  thermo::FlashResult r;
  ASSERT_NE(thermo::flash_pv(eng, P, 0.3, std::vector<double>{1.0}, 370.0, r),
            thermo::Status::Failed);
  PmlSet s(1, 0, Method::SteamTable);
  s.feed({2.0}, r.H, P);
  ASSERT_EQ(s.init(1), 0);
  EXPECT_NEAR(s.T(), r.T, 1e-6);
  EXPECT_NEAR(s.beta(), 0.3, 1e-7);
  // The tables' saturation line and their phase equations agree to about
  // 1e-4 in ln K; the set's own solution lies within 0.01 K of the flash.
  EXPECT_LT(scaled_norm(s), 1e-3);
  const int its = solve(s, false);
  EXPECT_GT(its, 0);
  EXPECT_NEAR(s.T(), r.T, 0.01);
  EXPECT_NEAR(s.beta(), 0.3, 1e-3);
  s.beta() = 0.35;
  s.T() += 0.01;
  check_jacobian(s, "steam");
}

}  // namespace
}  // namespace r3::test
