// The host's bracketed search for a root of one increasing function of one
// positive variable (a temperature, a pressure), used by the flashes' outer
// loops and the phase-boundary and saturation searches.
//
// The function is evaluated as eval(x, F, slope) -> bool (false: it cannot
// be evaluated there, and the search fails); slope is dF/dx when the function
// knows it, else left at 0. The bracket [lo, hi] holds the last points with
// F < 0 (lo) and F >= 0 (hi).
//
// Steps (RootStep):
//   Newton  From x: Newton with the reported slope, else a secant slope from
//           the previous point, else 10 % towards the root; limited to
//           [0.7 x, 1.4 x] and to [RootOptions::lo, hi]. Once both ends are
//           known, a step that leaves the bracket is replaced by Illinois
//           false position (the end not moved for two steps has its F
//           halved), and by bisection when the bracket did not halve in
//           three steps or false position leaves it too.
//   Bisect, BisectGeometric
//           The arithmetic or geometric midpoint of a bracket known from the
//           start (RootOptions::bracketed); x0 is not used.
//
// Ends (RootResult::status):
//   Converged  |F| <= tol_f + tol_slope * x * slope at the point x; or
//              (Newton) a step of at most tol_step * x, with |F| <= accept_f
//              at the point before it (x is then the point after the step).
//   Narrowed   the bracket is at most tol_bracket * hi wide without |F|
//              meeting the tolerance: a root to that width for a continuous
//              function (bisection's normal end), a jump of F across the
//              bracket for one that is not. x = hi.
//   Failed     the function could not be evaluated, a step stalled with |F|
//              above accept_f, or (Newton) the search reached an end of
//              [lo, hi] without finding a sign change there.
//   Exhausted  max_iter evaluations without one of the above.
// The final bracket is reported whatever the end.
#pragma once

#include <algorithm>
#include <cmath>
#include <limits>

namespace r3::host::numeric {

enum class RootStep { Newton, Bisect, BisectGeometric };
enum class RootStatus { Converged, Narrowed, Failed, Exhausted };

struct RootOptions {
  double lo = 0, hi = 0;   // the interval searched (0 < lo < hi)
  bool bracketed = false;  // F(lo) < 0 <= F(hi) is known (needed by the bisections)
  RootStep step = RootStep::Newton;
  double tol_f = 0, tol_slope = 0;  // converged: |F| <= tol_f + tol_slope * x * slope
  double tol_bracket = 0;           // narrowed: hi - lo <= tol_bracket * hi
  double tol_step = 0;              // Newton: a step |dx| <= tol_step * x ends the search ...
  double accept_f = 0;              // ... converged when |F| <= accept_f
  int max_iter = 200;               // evaluations
};

struct RootResult {
  RootStatus status = RootStatus::Failed;
  double x = 0;           // the root (Converged), hi (Narrowed), the last point otherwise
  double lo = 0, hi = 0;  // the final bracket
};

// The midpoint of [lo, hi] a bisection step takes: geometric for
// BisectGeometric, arithmetic otherwise.
inline double bracket_midpoint(RootStep step, double lo, double hi) {
  return step == RootStep::BisectGeometric ? std::sqrt(lo * hi) : 0.5 * (lo + hi);
}

template <class Eval>
RootResult find_root(Eval&& eval, double x0, const RootOptions& o) {
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  double lo = o.lo, hi = o.hi, flo = kNaN, fhi = kNaN;
  bool have_lo = o.bracketed, have_hi = o.bracketed;
  const bool newton = o.step == RootStep::Newton;
  double x = newton ? std::clamp(x0, o.lo, o.hi) : bracket_midpoint(o.step, lo, hi);
  double xp = 0, fp = 0;
  bool have_prev = false;
  int side = 0;          // end of the bracket moved last (-1 lo, +1 hi), for Illinois
  double width_ref = 0;  // bracket width three steps ago: bisect if it did not halve
  int since_ref = 0;
  auto end = [&](RootStatus s, double at) { return RootResult{s, at, lo, hi}; };
  for (int it = 0; it < o.max_iter; ++it) {
    double slope = 0, F;
    if (!eval(x, F, slope)) return end(RootStatus::Failed, x);
    const double tol_here = o.tol_f + (slope > 0 && std::isfinite(slope) ? o.tol_slope * x * slope : 0.0);
    if (std::abs(F) <= tol_here) return end(RootStatus::Converged, x);
    if (F < 0) {
      lo = x;
      flo = F;
      have_lo = true;
      if (side == -1 && have_hi) fhi *= 0.5;  // Illinois: the other end is stale
      side = -1;
    } else {
      hi = x;
      fhi = F;
      have_hi = true;
      if (side == 1 && have_lo) flo *= 0.5;
      side = 1;
    }
    if (have_lo && have_hi && hi - lo <= o.tol_bracket * hi) return end(RootStatus::Narrowed, hi);
    if (!newton) {
      x = bracket_midpoint(o.step, lo, hi);
      continue;
    }
    if (!(slope > 0 && std::isfinite(slope)) && have_prev && x != xp) {
      const double sec = (F - fp) / (x - xp);
      if (sec > 0 && std::isfinite(sec)) slope = sec;
    }
    double xn;
    if (slope > 0 && std::isfinite(slope)) {
      xn = x - F / slope;
      xn = std::clamp(xn, 0.7 * x, 1.4 * x);
    } else {
      xn = F > 0 ? 0.9 * x : 1.1 * x;
    }
    if (have_lo && have_hi) {
      const double width = hi - lo;
      if (width_ref == 0) width_ref = width;
      bool slow = false;
      if (++since_ref >= 3) {
        slow = width > 0.5 * width_ref;
        width_ref = width;
        since_ref = 0;
      }
      if (slow) {
        xn = 0.5 * (lo + hi);
      } else if (!(xn > lo && xn < hi)) {
        xn = lo - flo * (hi - lo) / (fhi - flo);  // Illinois false position
        if (!(xn > lo && xn < hi)) xn = 0.5 * (lo + hi);
      }
    } else {
      xn = std::clamp(xn, o.lo, o.hi);
      if ((!have_hi && x >= o.hi) || (!have_lo && x <= o.lo)) return end(RootStatus::Failed, x);
    }
    xp = x;
    fp = F;
    have_prev = true;
    if (std::abs(xn - x) <= o.tol_step * x)
      return end(std::abs(F) <= o.accept_f ? RootStatus::Converged : RootStatus::Failed, xn);
    x = xn;
  }
  return end(RootStatus::Exhausted, x);
}

// Bisection (arithmetic or geometric midpoints) of [lo, hi], known to hold
// F(lo) < 0 <= F(hi), until the bracket is at most tol_bracket * hi wide or
// max_iter evaluations are spent. eval(x, F) -> bool, as for find_root.
// x is the point where F is zero (Converged), else the midpoint of the final
// bracket.
template <class Eval>
RootResult bisect(Eval&& eval, double lo, double hi, double tol_bracket, int max_iter = 200,
                  RootStep step = RootStep::Bisect) {
  const RootOptions o{.lo = lo, .hi = hi, .bracketed = true, .step = step, .tol_bracket = tol_bracket,
                      .max_iter = max_iter};
  RootResult r = find_root([&](double x, double& F, double&) { return eval(x, F); }, lo, o);
  if (r.status != RootStatus::Converged) r.x = bracket_midpoint(step, r.lo, r.hi);
  return r;
}

}  // namespace r3::host::numeric
