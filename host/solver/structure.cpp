#include "host/solver/structure.h"

#include <algorithm>
#include <functional>
#include <set>

namespace r3::host {
namespace {

std::string list(const std::vector<std::string>& names, size_t limit = 20) {
  std::string s;
  for (size_t i = 0; i < names.size() && i < limit; ++i) s += (i ? ", " : "") + names[i];
  if (names.size() > limit) s += ", ... (" + std::to_string(names.size()) + " in all)";
  return s;
}

}  // namespace

bool analyse_structure(const Structure& s, const std::vector<std::string>& var_names,
                       const std::vector<std::string>& eqn_names, std::string& message) {
  const int nrows = s.nrows;
  const int ncols = static_cast<int>(s.free.size());
  std::vector<int> col_of(var_names.size(), -1);
  for (int j = 0; j < ncols; ++j) col_of[static_cast<size_t>(s.free[static_cast<size_t>(j)])] = j;
  std::vector<std::vector<int>> row_cols(static_cast<size_t>(nrows));
  std::vector<std::vector<int>> row_fixed(static_cast<size_t>(nrows));
  for (const auto& [r, g] : s.entries) {
    if (r < 0 || r >= nrows || g < 0 || g >= static_cast<int>(var_names.size())) continue;
    const int c = col_of[static_cast<size_t>(g)];
    if (c >= 0) {
      row_cols[static_cast<size_t>(r)].push_back(c);
    } else {
      row_fixed[static_cast<size_t>(r)].push_back(g);
    }
  }
  // Maximum matching by augmenting paths (Kuhn's algorithm).
  std::vector<int> match_col(static_cast<size_t>(ncols), -1), match_row(static_cast<size_t>(nrows), -1);
  std::vector<int> seen(static_cast<size_t>(ncols), -1);
  std::function<bool(int, int)> augment = [&](int r, int stamp) {
    for (int c : row_cols[static_cast<size_t>(r)]) {
      if (seen[static_cast<size_t>(c)] == stamp) continue;
      seen[static_cast<size_t>(c)] = stamp;
      if (match_col[static_cast<size_t>(c)] < 0 || augment(match_col[static_cast<size_t>(c)], stamp)) {
        match_col[static_cast<size_t>(c)] = r;
        match_row[static_cast<size_t>(r)] = c;
        return true;
      }
    }
    return false;
  };
  for (int r = 0; r < nrows; ++r) augment(r, r);
  std::vector<std::string> unmatched_vars, unmatched_eqns;
  for (int j = 0; j < ncols; ++j) {
    if (match_col[static_cast<size_t>(j)] < 0) unmatched_vars.push_back(var_names[static_cast<size_t>(s.free[static_cast<size_t>(j)])]);
  }
  for (int r = 0; r < nrows; ++r) {
    if (match_row[static_cast<size_t>(r)] < 0) unmatched_eqns.push_back(eqn_names[static_cast<size_t>(r)]);
  }
  if (ncols > nrows) {
    message = std::to_string(ncols - nrows) + " specification(s) missing: " +
              std::to_string(ncols) + " free variables for " + std::to_string(nrows) +
              " equations; fix " + std::to_string(ncols - nrows) + " of: " + list(unmatched_vars);
    return false;
  }
  if (nrows > ncols) {
    std::set<std::string> candidates;
    for (int r = 0; r < nrows; ++r) {
      if (match_row[static_cast<size_t>(r)] >= 0) continue;
      for (int g : row_fixed[static_cast<size_t>(r)]) candidates.insert(var_names[static_cast<size_t>(g)]);
    }
    message = std::to_string(nrows - ncols) + " specification(s) too many: " +
              std::to_string(ncols) + " free variables for " + std::to_string(nrows) +
              " equations; free " + std::to_string(nrows - ncols) + " of the fixed variables " +
              list(std::vector<std::string>(candidates.begin(), candidates.end())) +
              " (equations left without a variable: " + list(unmatched_eqns) + ")";
    return false;
  }
  if (!unmatched_eqns.empty()) {
    message = "the system is structurally singular: equations " + list(unmatched_eqns) +
              " cannot be matched to the variables " + list(unmatched_vars) +
              "; fix other variables or free some of the fixed ones";
    return false;
  }
  return true;
}

}  // namespace r3::host
