// R3VALV: the valve characteristics as explicit curves CV/CVMAX = g(VP), used
// by the initialisation in both directions, and the interpolated
// characteristic (code 0) built from the user's table.
//
// The interpolated characteristic is a monotone cubic Hermite curve through
// the user's points (Fritsch-Carlson tangents): it passes through every
// point, is continuously differentiable, and rises wherever the table rises,
// so the position for a given CV/CVMAX is unique. The points (0 %, 0) and
// (100 %, 1) are added when the table stops short of them and they keep it
// rising. Outside the first and last point the curve continues as a straight
// line with the end tangent, so residuals and derivatives stay defined while
// a solver steps outside 0..100 %.
#include <cmath>

#include "framework/host_services.h"
#include "models/control_valve/control_valve.h"

namespace r3::control_valve {
namespace {

// Fritsch-Carlson tangents for strictly rising data.
void tangents(Curve& c) {
  const int n = c.n;
  double d[kMaxTablePairs + 2];
  for (int k = 0; k + 1 < n; ++k) d[k] = (c.y[k + 1] - c.y[k]) / (c.x[k + 1] - c.x[k]);
  c.m[0] = d[0];
  c.m[n - 1] = d[n - 2];
  for (int k = 1; k + 1 < n; ++k) c.m[k] = 0.5 * (d[k - 1] + d[k]);
  for (int k = 0; k + 1 < n; ++k) {
    const double a = c.m[k] / d[k], b = c.m[k + 1] / d[k];
    const double s = a * a + b * b;
    if (s > 9.0) {
      const double t = 3.0 / std::sqrt(s);
      c.m[k] = t * a * d[k];
      c.m[k + 1] = t * b * d[k];
    }
  }
}

// The table's value and slope at x.
double table_value(const Curve& c, double x, double* dydx) {
  const int n = c.n;
  if (x <= c.x[0]) {
    if (dydx) *dydx = c.m[0];
    return c.y[0] + c.m[0] * (x - c.x[0]);
  }
  if (x >= c.x[n - 1]) {
    if (dydx) *dydx = c.m[n - 1];
    return c.y[n - 1] + c.m[n - 1] * (x - c.x[n - 1]);
  }
  int k = 0;
  while (k + 2 < n && x > c.x[k + 1]) ++k;
  const double h = c.x[k + 1] - c.x[k];
  const double t = (x - c.x[k]) / h, t2 = t * t, t3 = t2 * t;
  const double y0 = c.y[k], y1 = c.y[k + 1], m0 = c.m[k] * h, m1 = c.m[k + 1] * h;
  if (dydx) {
    *dydx = ((6.0 * t2 - 6.0 * t) * y0 + (3.0 * t2 - 4.0 * t + 1.0) * m0 +
             (-6.0 * t2 + 6.0 * t) * y1 + (3.0 * t2 - 2.0 * t) * m1) /
            h;
  }
  return (2.0 * t3 - 3.0 * t2 + 1.0) * y0 + (t3 - 2.0 * t2 + t) * m0 + (-2.0 * t3 + 3.0 * t2) * y1 +
         (t3 - t2) * m1;
}

bool table_position(const Curve& c, double r, double& vp) {
  const int n = c.n;
  if (r <= c.y[0]) {
    if (!(c.m[0] > 0.0)) return false;
    vp = c.x[0] + (r - c.y[0]) / c.m[0];
    return true;
  }
  if (r >= c.y[n - 1]) {
    if (!(c.m[n - 1] > 0.0)) return false;
    vp = c.x[n - 1] + (r - c.y[n - 1]) / c.m[n - 1];
    return true;
  }
  int k = 0;
  while (k + 2 < n && r > c.y[k + 1]) ++k;
  // The curve rises on [x_k, x_k+1]: bisection to machine precision.
  double lo = c.x[k], hi = c.x[k + 1];
  for (int it = 0; it < 200 && hi - lo > 1e-13 * (1.0 + std::fabs(hi)); ++it) {
    const double mid = 0.5 * (lo + hi);
    if (table_value(c, mid, nullptr) < r) {
      lo = mid;
    } else {
      hi = mid;
    }
  }
  vp = 0.5 * (lo + hi);
  return true;
}

}  // namespace

int read_table(const Entry& e, int32_t r0, Curve& c) {
  c.n = 0;
  const int32_t nreal = *e.NREAL;
  if (r0 < 1 || nreal < r0) return 0;
  // Values given: up to the last one that is not missing.
  int32_t last = 0;
  for (int32_t i = r0; i <= nreal; ++i) {
    if (!hs::is_missing(e.REAL[i - 1])) last = i;
  }
  if (last == 0) return 0;
  const int32_t count = last - r0 + 1;
  if (count % 2 != 0 || count < 4 || count > 2 * kMaxTablePairs) return -1;
  const int pairs = count / 2;
  double x[kMaxTablePairs], y[kMaxTablePairs];
  for (int k = 0; k < pairs; ++k) {
    x[k] = e.REAL[r0 - 1 + 2 * k];
    y[k] = e.REAL[r0 + 2 * k];
    if (hs::is_missing(x[k]) || hs::is_missing(y[k]) || !std::isfinite(x[k]) ||
        !std::isfinite(y[k])) {
      return -1;
    }
    if (x[k] < 0.0 || x[k] > 100.0 || y[k] < 0.0) return -1;
    if (k > 0 && !(x[k] > x[k - 1] && y[k] > y[k - 1])) return -1;
  }
  int n = 0;
  if (x[0] > 0.0 && y[0] > 0.0) {
    c.x[n] = 0.0;
    c.y[n++] = 0.0;
  }
  for (int k = 0; k < pairs; ++k) {
    c.x[n] = x[k];
    c.y[n++] = y[k];
  }
  if (x[pairs - 1] < 100.0 && y[pairs - 1] < 1.0) {
    c.x[n] = 100.0;
    c.y[n++] = 1.0;
  }
  c.n = n;
  tangents(c);
  return 1;
}

double ratio(int32_t code, const Curve& c, double vp, double* dratio) {
  if (code == 0 && c.n >= 2) return table_value(c, vp, dratio);
  double r = std::nan(""), d = std::nan("");
  switch (code) {
    case 2:
      r = 1.0e-4 * vp * vp;
      d = 2.0e-4 * vp;
      break;
    case 3:
      if (vp > 0.0) {
        r = std::sqrt(0.01 * vp);
        d = 0.005 / r;
      }
      break;
    case 4: {
      const double q = 1.0 + 0.0099 * vp * vp;
      r = 0.1 * vp / std::sqrt(q);
      d = 0.1 / (q * std::sqrt(q));
      break;
    }
    case 5: {
      const double v4 = 1.0e-8 * vp * vp * vp * vp;
      if (vp >= 0.0 && v4 < 2.0) {
        r = std::sqrt(v4 / (2.0 - v4));
        d = r > 0.0 ? 4.0 * v4 / (vp * (2.0 - v4) * (2.0 - v4)) / r : 0.0;
      }
      break;
    }
    case 6: {
      const double q = 1.0 - 9.9e-5 * vp * vp;
      if (q > 0.0) {
        r = 1.0e-3 * vp / std::sqrt(q);
        d = 1.0e-3 / (q * std::sqrt(q));
      }
      break;
    }
    default:  // 1, and 0 without a table
      r = 0.01 * vp;
      d = 0.01;
      break;
  }
  if (dratio) *dratio = d;
  return r;
}

bool position(int32_t code, const Curve& c, double r, double& vp) {
  if (!std::isfinite(r) || r < 0.0) return false;
  if (code == 0 && c.n >= 2) return table_position(c, r, vp);
  double v = std::nan("");
  switch (code) {
    case 2:
      v = 100.0 * std::sqrt(r);
      break;
    case 3:
      v = 100.0 * r * r;
      break;
    case 4: {
      const double q = 0.01 - 0.0099 * r * r;
      if (q > 0.0) v = r / std::sqrt(q);
      break;
    }
    case 5:
      v = std::sqrt(std::sqrt(2.0 * r * r / (1.0e-8 * (1.0 + r * r))));
      break;
    case 6:
      v = r / std::sqrt(1.0e-6 + 9.9e-5 * r * r);
      break;
    default:
      v = 100.0 * r;
      break;
  }
  if (!std::isfinite(v)) return false;
  vp = v;
  return true;
}

}  // namespace r3::control_valve
