// The host's finite-difference engine: perturbation sizes from the variable
// scales, column grouping so that a Jacobian costs a few residual
// evaluations, structural pattern detection, and the comparison of an
// analytic Jacobian with a numerical one.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace r3::host::numeric {

// Residuals at a point; false when the evaluation fails.
using ResidualFn = std::function<bool(const std::vector<double>& y, std::vector<double>& f)>;

// A sparsity pattern, 1-based rows and columns, entries in a fixed order.
struct Pattern {
  std::vector<int> rows, cols;
  size_t size() const { return rows.size(); }
};

// Perturbation of each variable: rel * max(|y|, |scale|), never zero.
std::vector<double> perturbations(const std::vector<double>& y, const std::vector<double>& scale,
                                  double rel);

// Groups of columns no two of which share a row of the pattern (greedy
// colouring); one pair of residual evaluations per group gives the Jacobian.
std::vector<std::vector<int>> column_groups(int ny, const Pattern& p);

// Jacobian values in the order of the pattern by grouped central differences.
bool jacobian(const ResidualFn& fn, const std::vector<double>& y, const std::vector<double>& h,
              int nf, const Pattern& p, const std::vector<std::vector<int>>& groups,
              std::vector<double>& values);

// Entries whose central difference exceeds `threshold` (in the units of the
// residuals per unit variable times the perturbation), column by column.
bool detect_pattern(const ResidualFn& fn, const std::vector<double>& y,
                    const std::vector<double>& h, int nf, double threshold, Pattern& out);

struct Mismatch {
  int row, col;  // 1-based
  double analytic, numeric;
  bool outside_pattern;
};

// Compares analytic values (in the pattern's order) with central differences
// of the residuals, in scaled terms |a - n| * yscale/fscale <= abs + rel*|n|*yscale/fscale,
// including derivatives the pattern leaves out.
bool compare(const ResidualFn& fn, const std::vector<double>& y, const std::vector<double>& yscale,
             const std::vector<double>& fscale, const Pattern& p,
             const std::vector<double>& analytic, double rel_tol, double abs_tol,
             std::vector<Mismatch>& out, const std::vector<double>& lower = {});

}  // namespace r3::host::numeric
