#include "host/solver/structure.h"

#include <algorithm>
#include <array>
#include <climits>
#include <set>

namespace r3::host {
namespace {

std::string list(const std::vector<std::string>& names, size_t limit = 20) {
  std::string s;
  for (size_t i = 0; i < names.size() && i < limit; ++i) s += (i ? ", " : "") + names[i];
  if (names.size() > limit) s += ", ... (" + std::to_string(names.size()) + " in all)";
  return s;
}

bool has(const std::string& s, const char* part) { return s.find(part) != std::string::npos; }

// "NAME (block B, UNITS)" for the advice.
std::string describe(const Structure& s, const std::vector<std::string>& names, int g) {
  const size_t i = static_cast<size_t>(g);
  std::string d = names[i];
  std::string extra;
  if (i < s.var_block.size() && !s.var_block[i].empty()) extra = "block " + s.var_block[i];
  if (i < s.var_units.size() && !s.var_units[i].empty()) extra += (extra.empty() ? "" : ", ") + s.var_units[i];
  return extra.empty() ? d : d + " (" + extra + ")";
}

}  // namespace

int specification_rank(const std::string& full) {
  const size_t dot = full.find('.');
  const std::string n = dot == std::string::npos ? full : full.substr(dot + 1);
  std::string u = n;
  for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  // Computed quantities first: a prediction or a property term is never a
  // specification even when its name holds a specification's word.
  for (const char* w : {"PRED", "BHP", "EHP", "IHP", "POWER", "HEAD", "DUTY", "FLSH_", "ISEN_", "OUT_",
                        "DENS", "RHO", "MOLV", "_CP", "CP_", "MW", "ENTH", "KRATIO", "_Z", "LOSS",
                        "MASSIN", "MASSOUT", "COMPIN", "COMPOUT", "NET_GEN", "EXTENT", "Q_", "DHACT",
                        "DHISEN", "QACT", "LN_", "SV", "SL", "SMOL", "HSOUT", "TSOUT", "DTMEAN", "VOL_FLOW"}) {
    if (has(u, w)) return 3;
  }
  for (const char* w : {"EFF", "AREA", "CVMAX", "BIAS", "LEVEL"}) {
    if (has(u, w)) return 0;
  }
  for (const char* w : {"U", "FT", "FP", "XT", "FK"}) {
    if (u == w) return 0;
  }
  for (const char* w : {"DELTA_P", "DELTAP", "DP", "PRES", "RATIO", "POS", "SPEED", "DROP"}) {
    if (has(u, w)) return 1;
  }
  return 2;
}

void maximum_matching(int nrows, int ncols, const std::vector<std::vector<int>>& row_cols,
                      std::vector<int>& match_row, std::vector<int>& match_col) {
  match_row.assign(static_cast<size_t>(nrows), -1);
  match_col.assign(static_cast<size_t>(ncols), -1);
  // Greedy start: most rows of a flowsheet are matched here.
  for (int r = 0; r < nrows; ++r) {
    for (int c : row_cols[static_cast<size_t>(r)]) {
      if (match_col[static_cast<size_t>(c)] < 0) {
        match_col[static_cast<size_t>(c)] = r;
        match_row[static_cast<size_t>(r)] = c;
        break;
      }
    }
  }
  constexpr int kInf = INT_MAX;
  std::vector<int> dist(static_cast<size_t>(nrows)), next(static_cast<size_t>(nrows)), queue, stack;
  for (;;) {
    // Breadth-first layers from the unmatched rows along alternating paths.
    queue.clear();
    for (int r = 0; r < nrows; ++r) {
      dist[static_cast<size_t>(r)] = match_row[static_cast<size_t>(r)] < 0 ? 0 : kInf;
      if (dist[static_cast<size_t>(r)] == 0) queue.push_back(r);
    }
    bool found = false;
    for (size_t q = 0; q < queue.size(); ++q) {
      const int r = queue[q];
      for (int c : row_cols[static_cast<size_t>(r)]) {
        const int r2 = match_col[static_cast<size_t>(c)];
        if (r2 < 0) {
          found = true;
        } else if (dist[static_cast<size_t>(r2)] == kInf) {
          dist[static_cast<size_t>(r2)] = dist[static_cast<size_t>(r)] + 1;
          queue.push_back(r2);
        }
      }
    }
    if (!found) break;
    // Vertex-disjoint shortest augmenting paths, depth first with a stack.
    std::fill(next.begin(), next.end(), 0);
    for (int root = 0; root < nrows; ++root) {
      if (match_row[static_cast<size_t>(root)] >= 0) continue;
      stack.assign(1, root);
      while (!stack.empty()) {
        const int r = stack.back();
        const auto& adj = row_cols[static_cast<size_t>(r)];
        int& k = next[static_cast<size_t>(r)];
        if (k >= static_cast<int>(adj.size())) {
          dist[static_cast<size_t>(r)] = kInf;  // a dead end for this phase
          stack.pop_back();
          continue;
        }
        const int c = adj[static_cast<size_t>(k++)];
        const int r2 = match_col[static_cast<size_t>(c)];
        if (r2 < 0) {
          // Augment along the rows on the stack, each with its last column.
          for (int rr : stack) {
            const int cc = row_cols[static_cast<size_t>(rr)][static_cast<size_t>(next[static_cast<size_t>(rr)] - 1)];
            match_row[static_cast<size_t>(rr)] = cc;
            match_col[static_cast<size_t>(cc)] = rr;
          }
          stack.clear();
        } else if (dist[static_cast<size_t>(r2)] == dist[static_cast<size_t>(r)] + 1) {
          stack.push_back(r2);
        }
      }
    }
  }
}

bool analyse_structure(const Structure& s, const std::vector<std::string>& var_names,
                       const std::vector<std::string>& eqn_names, std::string& message) {
  const int nrows = s.nrows;
  const int ncols = static_cast<int>(s.free.size());
  std::vector<int> col_of(var_names.size(), -1);
  for (int j = 0; j < ncols; ++j) col_of[static_cast<size_t>(s.free[static_cast<size_t>(j)])] = j;
  std::vector<std::vector<int>> row_cols(static_cast<size_t>(nrows)), col_rows(static_cast<size_t>(ncols));
  std::vector<std::vector<int>> row_fixed(static_cast<size_t>(nrows));
  for (const auto& [r, g] : s.entries) {
    if (r < 0 || r >= nrows || g < 0 || g >= static_cast<int>(var_names.size())) continue;
    const int c = col_of[static_cast<size_t>(g)];
    if (c >= 0) {
      row_cols[static_cast<size_t>(r)].push_back(c);
      col_rows[static_cast<size_t>(c)].push_back(r);
    } else {
      row_fixed[static_cast<size_t>(r)].push_back(g);
    }
  }
  std::vector<int> match_row, match_col;
  maximum_matching(nrows, ncols, row_cols, match_row, match_col);
  std::vector<std::string> unmatched_vars, unmatched_eqns;
  for (int j = 0; j < ncols; ++j) {
    if (match_col[static_cast<size_t>(j)] < 0) unmatched_vars.push_back(var_names[static_cast<size_t>(s.free[static_cast<size_t>(j)])]);
  }
  for (int r = 0; r < nrows; ++r) {
    if (match_row[static_cast<size_t>(r)] < 0) unmatched_eqns.push_back(eqn_names[static_cast<size_t>(r)]);
  }
  const auto is_feed = [&](int g) { return static_cast<size_t>(g) < s.var_feed.size() && s.var_feed[static_cast<size_t>(g)]; };
  if (ncols > nrows) {
    // Every free variable that some maximum matching leaves unmatched can be
    // fixed: those reachable from an unmatched variable along alternating
    // paths (variable -> its equation -> that equation's matched variable).
    std::vector<char> seen(static_cast<size_t>(ncols), 0);
    std::vector<int> queue;
    for (int j = 0; j < ncols; ++j) {
      if (match_col[static_cast<size_t>(j)] < 0) {
        seen[static_cast<size_t>(j)] = 1;
        queue.push_back(j);
      }
    }
    for (size_t q = 0; q < queue.size(); ++q) {
      for (int r : col_rows[static_cast<size_t>(queue[q])]) {
        const int c2 = match_row[static_cast<size_t>(r)];
        if (c2 >= 0 && !seen[static_cast<size_t>(c2)]) {
          seen[static_cast<size_t>(c2)] = 1;
          queue.push_back(c2);
        }
      }
    }
    std::vector<std::array<int, 3>> ranked;  // rank, feed, global index
    for (int j : queue) {
      const int g = s.free[static_cast<size_t>(j)];
      ranked.push_back({specification_rank(var_names[static_cast<size_t>(g)]), is_feed(g) ? 1 : 0, g});
    }
    std::stable_sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) {
      return a[1] != b[1] ? a[1] < b[1] : a[0] < b[0];
    });
    std::vector<std::string> advice;
    for (const auto& e : ranked) advice.push_back(describe(s, var_names, e[2]));
    message = std::to_string(ncols - nrows) + " specification(s) missing: " +
              std::to_string(ncols) + " free variables for " + std::to_string(nrows) +
              " equations; fix " + std::to_string(ncols - nrows) + " of: " + list(advice, 5);
    return false;
  }
  if (nrows > ncols) {
    // Equations reachable from an unmatched equation along alternating paths
    // (equation -> its free variable -> that variable's matched equation):
    // freeing a fixed variable of any of them adds the missing unknown.
    std::vector<char> seen(static_cast<size_t>(nrows), 0);
    std::vector<int> queue;
    for (int r = 0; r < nrows; ++r) {
      if (match_row[static_cast<size_t>(r)] < 0) {
        seen[static_cast<size_t>(r)] = 1;
        queue.push_back(r);
      }
    }
    for (size_t q = 0; q < queue.size(); ++q) {
      for (int c : row_cols[static_cast<size_t>(queue[q])]) {
        const int r2 = match_col[static_cast<size_t>(c)];
        if (r2 >= 0 && !seen[static_cast<size_t>(r2)]) {
          seen[static_cast<size_t>(r2)] = 1;
          queue.push_back(r2);
        }
      }
    }
    std::set<int> candidates;
    for (int r : queue) {
      for (int g : row_fixed[static_cast<size_t>(r)]) candidates.insert(g);
    }
    // A user's specification of a computed quantity is the likeliest surplus;
    // feed-stream variables come last.
    std::vector<std::array<int, 3>> ranked;
    for (int g : candidates) ranked.push_back({is_feed(g) ? 1 : 0, 3 - specification_rank(var_names[static_cast<size_t>(g)]), g});
    std::stable_sort(ranked.begin(), ranked.end());
    std::vector<std::string> advice;
    for (const auto& e : ranked) advice.push_back(describe(s, var_names, e[2]));
    message = std::to_string(nrows - ncols) + " specification(s) too many: " +
              std::to_string(ncols) + " free variables for " + std::to_string(nrows) +
              " equations; free " + std::to_string(nrows - ncols) + " of the fixed variables " +
              list(advice, 5) + " (equations left without a variable: " + list(unmatched_eqns) + ")";
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
