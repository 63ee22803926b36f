// The host's bracketed root search: each kind of step on functions with a
// known root, a jump, an interval without a root and a function that cannot
// be evaluated.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "host/numeric/root.h"

namespace r3::host::numeric {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(FindRoot, StepsAndEnds) {
  struct Case {
    const char* what;
    RootStep step;
    double (*f)(double);
    double (*df)(double);  // null: no slope reported
    RootStatus status;
    double root;  // NaN: not checked
  } cases[] = {
      {"Newton", RootStep::Newton, [](double x) { return x * x * x - 8; }, [](double x) { return 3 * x * x; },
       RootStatus::Converged, 2},
      {"secant", RootStep::Newton, [](double x) { return std::exp(x / 10) - 3; }, nullptr, RootStatus::Converged,
       10 * std::log(3.0)},
      {"bisection", RootStep::Bisect, [](double x) { return x * x * x - 8; }, nullptr, RootStatus::Narrowed, 2},
      {"geometric", RootStep::BisectGeometric, [](double x) { return std::log(x / 50); }, nullptr,
       RootStatus::Narrowed, 50},
      {"jump", RootStep::Newton, [](double x) { return x < 3 ? -1.0 : 1.0; }, nullptr, RootStatus::Narrowed, 3},
      {"no root", RootStep::Newton, [](double x) { return x + 1; }, [](double) { return 1.0; },
       RootStatus::Failed, kNaN},
      {"not evaluable", RootStep::Newton, [](double) { return kNaN; }, nullptr, RootStatus::Failed, kNaN},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RootOptions o;
    o.lo = 0.5;
    o.hi = 100;
    o.bracketed = c.step != RootStep::Newton;
    o.step = c.step;
    o.tol_f = o.bracketed ? 0.0 : 1e-12;  // the bisections end on the bracket's width
    o.tol_bracket = 1e-12;
    o.tol_step = 1e-14;
    o.accept_f = 1e-9;
    auto eval = [&](double x, double& F, double& slope) {
      F = c.f(x);
      if (c.df) slope = c.df(x);
      return std::isfinite(F);
    };
    const RootResult r = find_root(eval, 5.0, o);
    EXPECT_EQ(r.status, c.status);
    EXPECT_LE(r.lo, r.hi);
    if (r.status == RootStatus::Converged) {
      EXPECT_NEAR(r.x, c.root, 1e-10 * c.root);
    } else if (r.status == RootStatus::Narrowed) {
      EXPECT_NEAR(0.5 * (r.lo + r.hi), c.root, 1e-11 * c.root);
    }
  }
}

}  // namespace
}  // namespace r3::host::numeric
