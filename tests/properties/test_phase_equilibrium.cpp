// The phase-equilibrium equation set: initialisation against the engine's
// flashes, residuals at the flash solution, Jacobian against central
// differences in and out of the two-phase region, Newton solutions of the
// set's equations across phase boundaries, defaults and bad input. (Layout,
// names and pattern completeness: the conformance harness on the blocks
// that use the set, and the golden examples.)
#include <gtest/gtest.h>

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "framework/host_services.h"
#include "host/numeric/fd.h"
#include "host/services/context.h"
#include "host/thermo/thermo.h"
#include "tests/support/support.h"
#include "tests/thermo/thermo_test_util.h"

namespace r3::test {
namespace {

using thermo::Method;

const std::vector<double> kFeed = {0.2, 0.3, 0.3, 0.2};  // C2H6, C3H8, NC4, NC5

// One set on a small variable vector: component flows at 1..n, the enthalpy
// at n+1, the pressure at n+2, an outside temperature at n+3, then the set.
struct PmlSet {
  int32_t n, option, ipropset, iph, ipp, ipt, ny, nf = 0, nz = 0;
  std::vector<int32_t> idx, layout = std::vector<int32_t>(9, 0);
  std::vector<double> Y, sa, sb;

  PmlSet(int32_t ncomp, int32_t opt, Method m)
      : n(ncomp),
        option(opt),
        ipropset(static_cast<int32_t>(m)),
        iph(n + 1),
        ipp(n + 2),
        ipt(n + 3),
        ny(n + 3),
        sa(n, 0.0),
        sb(n, 0.0) {
    for (int i = 1; i <= n; ++i) idx.push_back(i);
    RTO_PMLDIM(&n, idx.data(), &option, &ny, &nf, &nz, layout.data());
    Y.assign(static_cast<size_t>(ny), 0.0);
  }
  int z0() const { return layout[8]; }
  int start() const { return layout[1]; }
  double& y(int position) { return Y[static_cast<size_t>(position - 1)]; }
  double& T() { return y(layout[0]); }
  double& beta() { return y(layout[1]); }
  double& Q() { return y(layout[2]); }
  double& yv(int i) { return y(z0() + n + 8 + i); }  // i from 1
  double& xl(int i) { return y(z0() + 3 * n + 13 + i); }
  double& lnk(int i) { return y(z0() + 2 * n + 13 + i); }

  void feed(const std::vector<double>& f, double h, double P, double Text = 0.0) {
    std::copy(f.begin(), f.end(), Y.begin());
    y(iph) = h;
    y(ipp) = P;
    y(ipt) = Text;
  }
  int32_t init(int32_t flag) {
    const int32_t arg31 = 0, maxit = 30, st = start();
    const double tol = 1e-4;
    int32_t ierr = 99;
    RTO_PMLINI(&n, idx.data(), idx.data(), &iph, &ipp, &ipropset, &arg31, &tol, &maxit, &flag,
               layout.data(), &st, sa.data(), sb.data(), Y.data(), &ierr);
    return ierr;
  }
  // Residuals, pattern and Jacobian, each checked to stop at its own end.
  std::vector<double> residuals(const std::vector<double>& at) {
    std::vector<double> F(static_cast<size_t>(nf) + 1, -7.0);
    int32_t m = 0, st = start();
    RTO_PMLRES(&n, idx.data(), idx.data(), &iph, &ipp, &ipt, layout.data(), sa.data(), sb.data(),
               &option, at.data(), &st, &m, F.data());
    EXPECT_EQ(m, nf);
    EXPECT_EQ(F.back(), -7.0);
    F.pop_back();
    return F;
  }
  std::vector<double> residuals() { return residuals(Y); }
  // The pattern and the Jacobian's values in its order, and dense (nf x ny).
  std::vector<double> jacobian_values(std::vector<int32_t>& rows, std::vector<int32_t>& cols) {
    std::vector<double> d(static_cast<size_t>(nz) + 1, -7.0);
    rows.assign(d.size(), -7);
    cols.assign(d.size(), -7);
    int32_t m = 0, k = 0, st = start();
    RTO_PMLSPR(&n, idx.data(), idx.data(), &iph, &ipp, &ipt, layout.data(), &option, &st, &m, &k,
               rows.data(), cols.data());
    EXPECT_EQ(k, nz);
    EXPECT_EQ(rows.back(), -7);
    rows.pop_back();
    cols.pop_back();
    k = 0;
    const double eps = 1e-7;
    RTO_PMLJAC(&n, idx.data(), idx.data(), &iph, &ipp, &ipt, layout.data(), sa.data(), sb.data(),
               &eps, &option, Y.data(), &st, &k, d.data());
    EXPECT_EQ(k, nz);
    EXPECT_EQ(d.back(), -7.0);
    d.pop_back();
    return d;
  }
  Eigen::MatrixXd jacobian() {
    std::vector<int32_t> rows, cols;
    const std::vector<double> d = jacobian_values(rows, cols);
    Eigen::MatrixXd A = Eigen::MatrixXd::Zero(nf, ny);
    for (size_t q = 0; q < rows.size(); ++q) A(rows[q] - 1, cols[q] - 1) += d[q];
    return A;
  }
  // Default scales of the variables (the caller's given, the set's filled)
  // and rows.
  void scales(std::vector<double>& yscl, std::vector<double>& fscl) {
    yscl.assign(static_cast<size_t>(ny), kRmiss);
    std::fill(yscl.begin(), yscl.begin() + n, 1.0);
    yscl[iph - 1] = 1e8;
    yscl[ipp - 1] = 1e6;
    yscl[ipt - 1] = 1e3;
    const int32_t st = start(), zero = 0;
    RTO_PMLXSCL(&n, layout.data(), &st, Y.data(), yscl.data());
    fscl.assign(static_cast<size_t>(nf), kRmiss);
    RTO_PMLRSCL(&n, layout.data(), &zero, fscl.data());
  }
};

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
      EXPECT_NEAR(s.yv(i), r.y[i - 1], 1e-7) << i;
    }
    if (r.beta < 1.0) {
      EXPECT_NEAR(s.xl(i), r.x[i - 1], 1e-7) << i;
    }
  }
}

class PhaseEquilibrium : public ::testing::TestWithParam<Method> {
 protected:
  void SetUp() override { reset_host({"C2H6", "C3H8", "NC4", "NC5"}, GetParam()); }
};

// Initialisation for each given-quantity flag against the engine's flashes,
// in the two-phase region and on both sides of it; the residuals vanish at
// the state it writes.
TEST_P(PhaseEquilibrium, InitialisationEqualsTheEngineFlashForEveryFlag) {
  const thermo::Model& eng = engine(GetParam(), 4);
  const double P = 1.0e6;
  for (const double T0 : {240.0, 320.0, 400.0}) {  // liquid, two-phase, vapour
    SCOPED_TRACE(T0);
    thermo::FlashResult r;
    ASSERT_NE(thermo::flash_tp(eng, T0, P, kFeed, r), thermo::Status::Failed);
    if (T0 == 320.0) {
      ASSERT_GT(r.beta, 0.05);
      ASSERT_LT(r.beta, 0.95);
    } else {
      ASSERT_EQ(r.beta, T0 < 300.0 ? 0.0 : 1.0);
    }
    // Temperature given (the enthalpy variable at 0: the duty is F * H, and
    // the total flow is 1); a single phase's fraction lies beyond [0, 1].
    PmlSet s(4, 0, GetParam());
    s.feed(kFeed, 0.0, P);
    s.T() = T0;
    ASSERT_EQ(s.init(2), 0);
    expect_state(s, r, 1e-9);
    EXPECT_NEAR(s.Q(), r.H, 1e-6 * std::fabs(r.H));
    EXPECT_TRUE(r.beta != 1.0 || s.beta() > 1.0);
    EXPECT_TRUE(r.beta != 0.0 || s.beta() < 0.0);
    EXPECT_LT(scaled_norm(s), 1e-9);
    for (int i = 0; i < 4; ++i) {
      EXPECT_NEAR(s.sb[i], kFeed[i], 1e-15);
      EXPECT_NEAR(s.sa[i], std::exp(s.lnk(i + 1)), 1e-12 * s.sa[i]);
    }
    // Enthalpy given: the same state, no duty.
    PmlSet e(4, 0, GetParam());
    e.feed(kFeed, r.H, P);
    e.T() = 300.0;
    ASSERT_EQ(e.init(1), 0);
    expect_state(e, r, 1e-6);
    EXPECT_NEAR(e.Q(), 0.0, 1e-6 * std::fabs(r.H));
    EXPECT_LT(scaled_norm(e), 1e-8);
    // Any other flag: the temperature when the set holds one, else the enthalpy.
    e.T() = T0;
    ASSERT_EQ(e.init(4), 0);
    expect_state(e, r, 1e-9);
    e.T() = kRmiss;
    ASSERT_EQ(e.init(4), 0);
    expect_state(e, r, 1e-6);
  }
  // Vapour fraction given.
  thermo::FlashResult r;
  ASSERT_NE(thermo::flash_pv(eng, P, 0.4, kFeed, 300.0, r), thermo::Status::Failed);
  PmlSet s(4, 0, GetParam());
  s.feed(kFeed, 0.0, P);
  s.beta() = 0.4;
  ASSERT_EQ(s.init(3), 0);
  expect_state(s, r, 1e-6);
  EXPECT_LT(scaled_norm(s), 1e-8);
}

// The analytic Jacobian against central differences of the residuals (the
// host's own comparison, in scaled terms), entries the pattern leaves out
// included.
void check_jacobian(PmlSet& s, const std::string& where) {
  std::vector<double> yscl, fscl;
  std::vector<int32_t> rows, cols;
  std::vector<host::numeric::Mismatch> bad;
  s.scales(yscl, fscl);
  const std::vector<double> d = s.jacobian_values(rows, cols);
  for (double v : d) ASSERT_TRUE(std::isfinite(v)) << where;
  auto fn = [&s](const std::vector<double>& y, std::vector<double>& f) {
    f = s.residuals(y);
    return std::find(f.begin(), f.end(), kRmiss) == f.end();
  };
  const host::numeric::Pattern p{{rows.begin(), rows.end()}, {cols.begin(), cols.end()}};
  ASSERT_TRUE(host::numeric::compare(fn, s.Y, yscl, fscl, p, d, 1e-4, 1e-6, bad)) << where;
  for (const auto& b : bad)
    ADD_FAILURE() << where << ": row " << b.row << " col " << b.col << " analytic " << b.analytic
                  << " numeric " << b.numeric
                  << (b.outside_pattern ? " (outside the pattern)" : "");
}

// At states near (not at) initialised solutions, in every region, both forms.
TEST_P(PhaseEquilibrium, JacobianMatchesCentralDifferencesInEveryRegion) {
  for (const int32_t option : {0, 1})
    for (const double T0 : {240.0, 320.0, 400.0}) {
      PmlSet s(4, option, GetParam());
      s.feed(kFeed, -1.0e8, 1.0e6, T0 + 3.0);
      s.T() = T0;
      ASSERT_EQ(s.init(2), 0);
      // Move off the solution: every set variable by a small, uneven amount.
      for (int q = s.z0() + 1; q <= s.ny; ++q) s.y(q) *= 1.0 + 1e-3 * std::sin(3.7 * q);
      s.y(1) *= 1.1;
      check_jacobian(s, "option " + std::to_string(option) + " T " + std::to_string(T0));
    }
}

// Newton on the set's rows (plus, for the open form, the caller's closing row
// Q = 0) with the set's own variables unknown (and, for the closed form, the
// enthalpy too), steps limited by the default step bounds, clipped to the
// default bounds and, as the host's solver does, halved while the set cannot
// evaluate the state. Returns the iterations, or <= 0 on failure.
int solve(PmlSet& s, bool with_h) {
  // (Filled after construction: sized construction here makes GCC 12 report
  // a false -Wfree-nonheap-object when optimising.)
  std::vector<double> yscl, fscl, lb, ub, sb;
  lb.assign(s.Y.size(), kRmiss), ub.assign(s.Y.size(), kRmiss), sb.assign(s.Y.size(), kRmiss);
  s.scales(yscl, fscl);
  const int32_t st = s.start();
  RTO_PMLXBND(&s.n, s.layout.data(), &st, s.Y.data(), lb.data(), ub.data(), sb.data());
  std::vector<int> unknown;
  for (int q = s.z0() + 1; q <= s.ny; ++q) unknown.push_back(q - 1);
  if (with_h) unknown.push_back(s.iph - 1);
  if (!with_h) fscl.push_back(1e8);
  const int nu = static_cast<int>(unknown.size());
  for (int it = 1; it <= 60; ++it) {
    std::vector<double> F = s.residuals();
    if (!with_h) F.push_back(s.Q());
    EXPECT_EQ(static_cast<int>(F.size()), nu);
    if (std::find(F.begin(), F.end(), kRmiss) != F.end()) return -1;
    Eigen::VectorXd b(nu);
    for (int i = 0; i < nu; ++i) b(i) = -F[i] / fscl[i];
    if (b.lpNorm<Eigen::Infinity>() < 1e-11) return it;
    const Eigen::MatrixXd J = s.jacobian();
    Eigen::MatrixXd A = Eigen::MatrixXd::Zero(nu, nu);
    for (int j = 0; j < nu; ++j) {
      for (int i = 0; i < s.nf; ++i) A(i, j) = J(i, unknown[j]) * yscl[unknown[j]] / fscl[i];
      if (!with_h && unknown[j] == s.layout[2] - 1) A(nu - 1, j) = yscl[unknown[j]] / fscl[nu - 1];
    }
    const Eigen::VectorXd dx = A.fullPivLu().solve(b);
    double alpha = 1.0;
    for (int j = 0; j < nu; ++j) {
      const int q = unknown[j];
      if (sb[q] != kRmiss) alpha = std::min(alpha, sb[q] / std::max(std::fabs(dx(j)), 1e-300));
    }
    const std::vector<double> base = s.Y;
    for (int cut = 0; cut < 12; ++cut, alpha *= 0.5) {
      for (int j = 0; j < nu; ++j) {
        const int q = unknown[j];
        double v = base[q] + alpha * dx(j) * yscl[q];
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
// The closed form with the outside temperature fixed yields the enthalpy.
TEST_P(PhaseEquilibrium, NewtonOnTheSetReachesTheFlashAcrossPhaseBoundaries) {
  const thermo::Model& eng = engine(GetParam(), 4);
  const double P = 1.0e6;
  for (auto [from, to] :
       {std::pair{320.0, 420.0}, {320.0, 230.0}, {420.0, 310.0}, {230.0, 330.0}, {300.0, 345.0}}) {
    SCOPED_TRACE(std::to_string(from) + " -> " + std::to_string(to));
    thermo::FlashResult target;
    ASSERT_NE(thermo::flash_tp(eng, to, P, kFeed, target), thermo::Status::Failed);
    PmlSet s(4, 0, GetParam());
    s.feed(kFeed, target.H, P);
    s.T() = from;
    ASSERT_EQ(s.init(2), 0);
    const int its = solve(s, false);
    EXPECT_GT(its, 0);
    EXPECT_LT(its, 40);
    expect_state(s, target, 1e-6);
  }
  for (const double T : {230.0, 320.0, 420.0}) {
    SCOPED_TRACE(T);
    thermo::FlashResult target;
    ASSERT_NE(thermo::flash_tp(eng, T, P, kFeed, target), thermo::Status::Failed);
    PmlSet s(4, 4, GetParam());
    s.feed(kFeed, 0.0, P, T);
    s.T() = 330.0;
    ASSERT_EQ(s.init(2), 0);
    EXPECT_GT(solve(s, true), 0);
    EXPECT_NEAR(s.y(s.iph), target.H, 1e-7 * std::fabs(target.H));
    expect_state(s, target, 1e-6);
  }
}

// Defaults fill only the set's own, missing entries: a given scale or bound
// is kept; row scales start after the count handed in and stop at the set's
// last row; attributes mark temperature (22) and duty (13).
TEST_P(PhaseEquilibrium, DefaultsFillOnlyMissingEntries) {
  PmlSet s(4, 4, GetParam());
  const int32_t st = s.start(), three = 3;
  const size_t iT = s.layout[0] - 1, ib = s.layout[1] - 1;
  std::vector<double> scl(s.Y.size(), kRmiss), lb = scl, ub = scl, sbnd = scl,
                                               fscl(s.nf + 5, kRmiss);
  std::vector<int32_t> attr(s.Y.size(), 0);
  scl[iT] = 123.0;
  lb[ib] = -0.5;
  fscl[4] = 7.0;
  RTO_PMLXSCL(&s.n, s.layout.data(), &st, s.Y.data(), scl.data());
  RTO_PMLXBND(&s.n, s.layout.data(), &st, s.Y.data(), lb.data(), ub.data(), sbnd.data());
  RTO_PMLXPP(&s.n, s.layout.data(), &st, attr.data());
  RTO_PMLRSCL(&s.n, s.layout.data(), &three, fscl.data());
  EXPECT_EQ(scl[iT], 123.0);
  EXPECT_EQ(lb[ib], -0.5);
  EXPECT_EQ(ub[ib], 3.0);
  for (int q = 0; q < s.ny; ++q) {
    const bool own = q >= s.z0();
    EXPECT_EQ(scl[q] != kRmiss, own) << q;
    EXPECT_EQ(sbnd[q] != kRmiss, own) << q;
    EXPECT_TRUE(!own || lb[q] < ub[q]) << q;
  }
  EXPECT_EQ(U3VGPT(&attr[iT]), 22);
  EXPECT_EQ(U3VGPT(&attr[s.layout[2] - 1]), 13);
  EXPECT_EQ(U3VGPT(&attr[0]), 0);
  EXPECT_EQ(fscl[2], kRmiss);
  EXPECT_EQ(fscl[3], 1.0);  // TOTAL: the flow scale
  EXPECT_EQ(fscl[4], 7.0);
  EXPECT_NE(fscl[s.nf + 2], kRmiss);
  EXPECT_EQ(fscl[s.nf + 3], kRmiss);
}

TEST_P(PhaseEquilibrium, BadInputGivesFailureOrMissingResidualsNeverNaN) {
  PmlSet s(4, 1, GetParam());
  s.feed(kFeed, 0.0, 1.0e6, 320.0);
  s.T() = 320.0;
  ASSERT_EQ(s.init(2), 0);
  const std::vector<double> good = s.Y;
  // Some residuals missing, all finite; with no flow, all finite.
  const std::pair<const char*, std::function<void()>> states[] = {
      {"zero pressure", [&] { s.y(s.ipp) = 0.0; }},
      {"temperature below 1 K", [&] { s.T() = 0.5; }},
      {"liquid composition summing to zero", [&] { for (int i = 1; i <= 4; ++i) s.xl(i) = 0.0; }},
      {"pressure not a number", [&] { s.y(s.ipp) = std::nan(""); }},
      {"no flow", [&] { std::fill(s.Y.begin(), s.Y.begin() + 4, 0.0); }}};
  for (const auto& [what, change] : states) {
    SCOPED_TRACE(what);
    s.Y = good;
    change();
    const std::vector<double> F = s.residuals();
    for (double v : F) EXPECT_TRUE(std::isfinite(v));
    EXPECT_TRUE(std::string(what) == "no flow" || std::count(F.begin(), F.end(), kRmiss) > 0);
    EXPECT_TRUE(s.jacobian().allFinite());
  }
  // The initialisation refuses and leaves everything as it was.
  const struct {
    const char* what;
    int32_t flag;
    std::vector<double> flows;
    double P, T, h;
  } bad[] = {{"zero flows", 2, {0, 0, 0, 0}, 1e6, 320.0, 0.0},
             {"negative flow", 2, {0.2, -0.1, 0.3, 0.2}, 1e6, 320.0, 0.0},
             {"zero pressure", 2, kFeed, 0.0, 320.0, 0.0},
             {"temperature below 1 K", 2, kFeed, 1e6, 0.5, 0.0},
             {"missing enthalpy", 1, kFeed, 1e6, 320.0, kRmiss},
             {"vapour fraction out of range", 3, kFeed, 1e6, 320.0, 0.0},
             {"nothing given", 4, kFeed, 1e6, kRmiss, kRmiss}};
  for (const auto& b : bad) {
    SCOPED_TRACE(b.what);
    PmlSet t(4, 0, GetParam());
    t.feed(b.flows, b.h, b.P);
    t.T() = b.T;
    t.beta() = 1.5;
    t.sa.assign(4, 0.25);
    const std::vector<double> before = t.Y;
    EXPECT_EQ(t.init(b.flag), -1);
    EXPECT_EQ(t.Y, before);
    EXPECT_EQ(t.sa, std::vector<double>(4, 0.25));
  }
}

// A pure component: two-phase only at its saturation temperature; the set
// reaches the dome from superheated vapour and leaves it for the liquid.
TEST_P(PhaseEquilibrium, PureComponentAcrossItsSaturationTemperature) {
  reset_host({"C3H8"}, GetParam());
  const thermo::Model& eng = engine(GetParam(), 1);
  const double P = 1.0e6;
  const std::vector<double> f = {1.5};
  thermo::FlashResult dome;
  ASSERT_NE(thermo::flash_pv(eng, P, 0.6, f, 300.0, dome), thermo::Status::Failed);
  for (const double to : {dome.H, dome.H - 2.0e7, dome.H + 1.0e7}) {
    SCOPED_TRACE(to);
    thermo::FlashResult target;
    ASSERT_NE(thermo::flash_ph(eng, P, to, f, 300.0, target), thermo::Status::Failed);
    PmlSet s(1, 0, GetParam());
    s.feed(f, to, P);
    ASSERT_EQ(s.init(1), 0);
    expect_state(s, target, 1e-6);
    EXPECT_LT(scaled_norm(s), 1e-7);
    s.y(s.iph) = to;  // from a superheated start
    s.T() = dome.T + 40.0;
    ASSERT_EQ(s.init(2), 0);
    EXPECT_GT(s.beta(), 1.0);
    EXPECT_GT(solve(s, false), 0);
    expect_state(s, target, 1e-5);
  }
}

INSTANTIATE_TEST_SUITE_P(Methods, PhaseEquilibrium,
                         ::testing::Values(Method::Ideal, Method::PengRobinson),
                         thermo::testing::method_name);

// Water on the steam tables, inside the dome, from the enthalpy. The tables'
// saturation line and their phase equations agree to about 1e-4 in ln K; the
// set's own solution lies within 0.01 K of the flash.
TEST(PhaseEquilibriumSteam, TwoPhaseWaterFromItsEnthalpy) {
  reset_host({"H2O"}, Method::SteamTable);
  const double P = 1.0e5;
  thermo::FlashResult r;
  ASSERT_NE(
      thermo::flash_pv(engine(Method::SteamTable, 1), P, 0.3, std::vector<double>{1.0}, 370.0, r),
      thermo::Status::Failed);
  PmlSet s(1, 0, Method::SteamTable);
  s.feed({2.0}, r.H, P);
  ASSERT_EQ(s.init(1), 0);
  EXPECT_NEAR(s.T(), r.T, 1e-6);
  EXPECT_NEAR(s.beta(), 0.3, 1e-7);
  EXPECT_LT(scaled_norm(s), 1e-3);
  EXPECT_GT(solve(s, false), 0);
  EXPECT_NEAR(s.T(), r.T, 0.01);
  EXPECT_NEAR(s.beta(), 0.3, 1e-3);
  s.beta() = 0.35;
  s.T() += 0.01;
  check_jacobian(s, "steam");
}

}  // namespace
}  // namespace r3::test
