#include "host/numeric/fd.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace r3::host::numeric {
namespace {

double usable_scale(double s) {
  return (std::isfinite(s) && std::fabs(s) > 0.0 && std::fabs(s) < 1.0e30) ? std::fabs(s) : 1.0;
}

}  // namespace

std::vector<double> perturbations(const std::vector<double>& y, const std::vector<double>& scale,
                                  double rel) {
  std::vector<double> h(y.size());
  for (size_t j = 0; j < y.size(); ++j) {
    const double s = j < scale.size() ? usable_scale(scale[j]) : 1.0;
    const double a = std::isfinite(y[j]) ? std::fabs(y[j]) : 0.0;
    h[j] = rel * std::max(a, s);
  }
  return h;
}

std::vector<std::vector<int>> column_groups(int ny, const Pattern& p) {
  std::vector<std::vector<int>> rows_of(static_cast<size_t>(ny) + 1);
  for (size_t k = 0; k < p.size(); ++k) {
    if (p.cols[k] >= 1 && p.cols[k] <= ny) rows_of[static_cast<size_t>(p.cols[k])].push_back(p.rows[k]);
  }
  std::vector<std::vector<int>> groups;
  std::vector<std::vector<char>> used;  // rows taken per group
  int maxrow = 0;
  for (int r : p.rows) maxrow = std::max(maxrow, r);
  for (int j = 1; j <= ny; ++j) {
    size_t g = 0;
    for (; g < groups.size(); ++g) {
      bool clash = false;
      for (int r : rows_of[static_cast<size_t>(j)]) clash = clash || used[g][static_cast<size_t>(r)];
      if (!clash) break;
    }
    if (g == groups.size()) {
      groups.emplace_back();
      used.emplace_back(static_cast<size_t>(maxrow) + 1, 0);
    }
    groups[g].push_back(j);
    for (int r : rows_of[static_cast<size_t>(j)]) used[g][static_cast<size_t>(r)] = 1;
  }
  return groups;
}

bool jacobian(const ResidualFn& fn, const std::vector<double>& y, const std::vector<double>& h,
              int nf, const Pattern& p, const std::vector<std::vector<int>>& groups,
              std::vector<double>& values) {
  values.assign(p.size(), 0.0);
  std::map<std::pair<int, int>, std::vector<size_t>> where;
  for (size_t k = 0; k < p.size(); ++k) where[{p.rows[k], p.cols[k]}].push_back(k);
  std::vector<double> yp = y, fp, fm;
  for (const auto& g : groups) {
    for (int j : g) yp[static_cast<size_t>(j - 1)] = y[static_cast<size_t>(j - 1)] + h[static_cast<size_t>(j - 1)];
    if (!fn(yp, fp)) return false;
    for (int j : g) yp[static_cast<size_t>(j - 1)] = y[static_cast<size_t>(j - 1)] - h[static_cast<size_t>(j - 1)];
    if (!fn(yp, fm)) return false;
    for (int j : g) yp[static_cast<size_t>(j - 1)] = y[static_cast<size_t>(j - 1)];
    for (int j : g) {
      for (int r = 1; r <= nf; ++r) {
        auto it = where.find({r, j});
        if (it == where.end()) continue;
        const double d = (fp[static_cast<size_t>(r - 1)] - fm[static_cast<size_t>(r - 1)]) /
                         (2.0 * h[static_cast<size_t>(j - 1)]);
        // Repeated entries share the derivative: the first carries it.
        values[it->second.front()] = d;
      }
    }
  }
  return true;
}

bool detect_pattern(const ResidualFn& fn, const std::vector<double>& y,
                    const std::vector<double>& h, int nf, double threshold, Pattern& out) {
  out = Pattern{};
  std::vector<double> yp = y, fp, fm;
  for (size_t j = 0; j < y.size(); ++j) {
    yp[j] = y[j] + h[j];
    if (!fn(yp, fp)) return false;
    yp[j] = y[j] - h[j];
    if (!fn(yp, fm)) return false;
    yp[j] = y[j];
    for (int r = 0; r < nf; ++r) {
      const double d = std::fabs(fp[static_cast<size_t>(r)] - fm[static_cast<size_t>(r)]);
      if (d > threshold) {
        out.rows.push_back(r + 1);
        out.cols.push_back(static_cast<int>(j) + 1);
      }
    }
  }
  return true;
}

bool compare(const ResidualFn& fn, const std::vector<double>& y, const std::vector<double>& yscale,
             const std::vector<double>& fscale, const Pattern& p,
             const std::vector<double>& analytic, double rel_tol, double abs_tol,
             std::vector<Mismatch>& out, const std::vector<double>& lower) {
  out.clear();
  const int nf = static_cast<int>(fscale.size());
  std::map<std::pair<int, int>, double> ana;
  for (size_t k = 0; k < p.size(); ++k) ana[{p.rows[k], p.cols[k]}] += analytic[k];
  const std::vector<double> h = perturbations(y, yscale, 1e-6);
  std::vector<double> yp = y, fp, fm, f0;
  if (!fn(y, f0)) return false;
  for (size_t j = 0; j < y.size(); ++j) {
    // At a lower bound (a flow at zero, say) the difference is taken on the
    // feasible side only.
    const bool one_sided = j < lower.size() && std::isfinite(lower[j]) &&
                           std::fabs(lower[j]) < 1.0e30 && y[j] - h[j] < lower[j];
    yp[j] = y[j] + h[j];
    if (!fn(yp, fp)) return false;
    if (one_sided) {
      fm = f0;
    } else {
      yp[j] = y[j] - h[j];
      if (!fn(yp, fm)) return false;
    }
    yp[j] = y[j];
    const double span = one_sided ? h[j] : 2.0 * h[j];
    for (int r = 1; r <= nf; ++r) {
      const double num = (fp[static_cast<size_t>(r - 1)] - fm[static_cast<size_t>(r - 1)]) / span;
      auto it = ana.find({r, static_cast<int>(j) + 1});
      const double a = it == ana.end() ? 0.0 : it->second;
      const double k = usable_scale(yscale[j]) / usable_scale(fscale[static_cast<size_t>(r - 1)]);
      if (!(std::fabs(a - num) * k <= abs_tol + rel_tol * std::fabs(num) * k)) {
        out.push_back({r, static_cast<int>(j) + 1, a, num, it == ana.end()});
      }
    }
  }
  return true;
}

}  // namespace r3::host::numeric
