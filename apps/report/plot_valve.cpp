// The control valve's characteristic: flow coefficient against valve position.
#include <algorithm>
#include <cmath>

#include "apps/report/plots.h"

namespace r3::report {

namespace {

// CV/CVMAX of the closed-form characteristics at position v (percent).
double characteristic(int code, double v) {
  const double r = v / 100.0;
  switch (code) {
    case 2: return r * r;
    case 3: return std::sqrt(std::max(r, 0.0));
    case 4: return 0.1 * v / std::sqrt(1.0 + 0.0099 * v * v);
    case 5: {
      const double a = r * r * r * r;
      return std::sqrt(a / (2.0 - a));
    }
    case 6: return 1.0e-3 * v / std::sqrt(1.0 - 9.9e-5 * v * v);
    default: return r;
  }
}

// A monotone cubic through rising points (Fritsch-Carlson tangents), sampled.
Points monotone_cubic(const Points& p, int per_interval) {
  const size_t n = p.size();
  std::vector<double> d(n - 1), m(n);
  for (size_t k = 0; k + 1 < n; ++k) d[k] = (p[k + 1].second - p[k].second) / (p[k + 1].first - p[k].first);
  m[0] = d[0], m[n - 1] = d[n - 2];
  for (size_t k = 1; k + 1 < n; ++k) m[k] = 0.5 * (d[k - 1] + d[k]);
  for (size_t k = 0; k + 1 < n; ++k) {
    const double a = m[k] / d[k], b = m[k + 1] / d[k], s = a * a + b * b;
    if (s > 9.0) m[k] = 3.0 / std::sqrt(s) * a * d[k], m[k + 1] = 3.0 / std::sqrt(s) * b * d[k];
  }
  Points out;
  for (size_t k = 0; k + 1 < n; ++k) {
    const double h = p[k + 1].first - p[k].first;
    for (int i = 0; i < per_interval; ++i) {
      const double t = static_cast<double>(i) / per_interval, t2 = t * t, t3 = t2 * t;
      out.emplace_back(p[k].first + t * h, (2 * t3 - 3 * t2 + 1) * p[k].second + (t3 - 2 * t2 + t) * h * m[k] +
                                               (-2 * t3 + 3 * t2) * p[k + 1].second + (t3 - t2) * h * m[k + 1]);
    }
  }
  out.push_back(p.back());
  return out;
}

}  // namespace

std::optional<Figure> plot_control_valve(const BlockResults& b) {
  const double cvmax = b.var("CVMAX"), cv = b.var("CV"), vp = b.var("VP_PRED");
  if (!std::isfinite(cvmax) || !std::isfinite(cv) || !std::isfinite(vp)) return std::nullopt;
  static const char* const kNames[] = {"interpolated", "linear", "parabolic", "square root", "quick opening",
                                       "equal percentage", "hyperbolic"};
  int code = b.int_at(2, 1);
  if (code < 0 || code > 6) code = 1;
  // The table of the interpolated characteristic: (position %, CV/CVMAX) pairs.
  Points table;
  if (code == 0) {
    for (size_t i = 0; i + 1 < b.reals.size(); i += 2) {
      const double x = b.real_at(i), y = b.real_at(i + 1);
      if (std::isfinite(x) && std::isfinite(y)) table.emplace_back(x, y);
    }
  }
  Figure fig;
  fig.title = b.id + " (" + b.model + "): " + kNames[code] + " valve characteristic, CVMAX = " + number(cvmax, 5);
  Chart ch("Flow coefficient against valve position", "Valve position (characteristic), %", "Flow coefficient CV");
  ch.x_range(0, 100);
  ch.y_from_zero();
  Points curve;
  if (code != 0) {
    for (int i = 0; i <= 200; ++i) curve.emplace_back(0.5 * i, cvmax * characteristic(code, 0.5 * i));
  } else if (table.size() >= 2) {
    Points full;
    if (table.front().first > 0 && table.front().second > 0) full.emplace_back(0.0, 0.0);
    full.insert(full.end(), table.begin(), table.end());
    if (table.back().first < 100 && table.back().second < 1) full.emplace_back(100.0, 1.0);
    bool rising = true;
    for (size_t k = 0; k + 1 < full.size(); ++k) rising = rising && full[k + 1].first > full[k].first && full[k + 1].second > full[k].second;
    if (rising) {
      for (auto& [x, y] : full) y *= cvmax;
      curve = monotone_cubic(full, 20);
    }
  } else {
    for (int i = 0; i <= 100; ++i) curve.emplace_back(i, cvmax * i / 100.0);  // no table: linear
  }
  ch.line(curve, "c1 on", std::string(kNames[code]) + " characteristic");
  if (!table.empty()) {
    for (auto& [x, y] : table) y *= cvmax;
    ch.points(table, "c3", "table points");
  }
  ch.operating_point(vp, cv, xy_ref(value_ref(b.id + ".VP_PRED"), value_ref(b.id + ".CV")),
                     "operating point: " + number(vp) + " %, CV " + number(cv));
  const double pos = b.var("VALVE_POS");
  if (std::isfinite(pos) && std::fabs(pos - vp) > 1e-6) {
    ch.note(vp, 0.05 * cvmax, "valve position " + number(pos) + " % (bias " + number(pos - vp) + " %)");
  }
  fig.panels.push_back(std::move(ch));
  return fig;
}

}  // namespace r3::report
