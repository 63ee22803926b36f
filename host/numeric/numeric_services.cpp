// The host's numeric services for the numeric layer: pattern detection and
// Jacobians by perturbation in reverse communication (the caller evaluates
// the residuals whenever the task word comes back as 1), variable groups,
// perturbation tolerances, comparisons of analytic against numerical
// results, and the table of layer configurations.
#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "framework/host_services.h"
#include "host/numeric/fd.h"
#include "host/numeric/layers.h"
#include "host/services/context.h"
#include "host/services/names.h"
#include "host/units/units.h"

namespace r3::host {
namespace {

// Per thread, as every run-time area, so that two runs on two threads keep
// their own layers and groups.
std::vector<LayerConfig>& layers() {
  thread_local std::vector<LayerConfig> l;
  return l;
}

thread_local int64_t g_evaluations = 0;

// Variable groups: the pattern they were made for and the columns of each group.
struct Groups {
  int32_t ny = 0, nf = 0;  // the block's sizes when the groups were made
  std::vector<int> rows, cols;
  std::vector<std::vector<int>> members;
};
std::map<int32_t, Groups>& group_table() {
  thread_local std::map<int32_t, Groups> t;
  return t;
}
thread_local int32_t g_next_group = 1;

void message(const std::string& line) { units::write(PPEXEC_USER[10], line); }

double usable(double v) { return (std::isfinite(v) && std::fabs(v) < 1.0e30) ? std::fabs(v) : 0.0; }

double perturbation(double y, double scale, double rel) {
  const double s = usable(scale) > 0.0 ? usable(scale) : 1.0;
  return rel * std::max(usable(y), s);
}

std::string slot_name(const char* names, int32_t lname, int i) {
  if (names == nullptr || lname <= 0 || i < 1) return "?";
  return trim(std::string_view(names + static_cast<size_t>(i - 1) * 4 * static_cast<size_t>(lname),
                               4 * static_cast<size_t>(lname)));
}

std::string pad(std::string s, size_t w) {
  if (s.size() < w) s.append(w - s.size(), ' ');
  return s;
}

// State of the pattern detection in progress.
struct PatternRun {
  int nf = 0, ny = 0;
  std::vector<double> y0, f0, h;
  std::vector<std::vector<char>> hit;  // per column, rows that changed
  int column = -1;
  int point = 0;  // 0: +h, 1: -2.3h
  int points = 2;
};
PatternRun g_pat;

// State of the Jacobian in progress.
struct JacobianRun {
  int32_t handle = -1;
  int ny = 0;
  bool central = false;
  std::vector<double> y0, f0, fplus, h;
  int group = -1;  // -1: base point
  int side = 0;    // central differences: 0 plus, 1 minus
};
JacobianRun g_jac;

// Entries of a pattern that the arrays of the block being called hold: a
// count larger than the arrays (a pattern detection that found more
// non-zeros than were reserved) is never read past them.
int32_t held(int32_t nz) { return call_ny() < 0 ? nz : std::min(nz, call_pattern_capacity()); }

// Groups are used only on the arrays they were made for: a block dimensioned
// again (another NY or NF, or a pattern array shorter than the groups) must
// be initialised again before its Jacobian is perturbed.
bool groups_fit(const Groups& g) {
  const int32_t ny = call_ny(), nf = call_nf(), cap = call_pattern_capacity();
  if (ny < 0) return true;  // not called through a block: nothing to compare
  if (g.ny == ny && g.nf == nf && static_cast<int32_t>(g.cols.size()) <= cap) return true;
  message(" Variable groups were made for NY = " + std::to_string(g.ny) + ", NF = " + std::to_string(g.nf) +
          ", NZ = " + std::to_string(g.cols.size()) + "; the block now has NY = " + std::to_string(ny) +
          ", NF = " + std::to_string(nf) + ", NZ = " + std::to_string(cap) + ". Initialise it again.");
  return false;
}

}  // namespace

int32_t register_layer(const LayerConfig& c) {
  layers().push_back(c);
  return static_cast<int32_t>(layers().size());
}

LayerConfig* layer(int32_t id) {
  if (id < 1 || id > static_cast<int32_t>(layers().size())) return nullptr;
  return &layers()[static_cast<size_t>(id - 1)];
}

void reset_layers() {
  layers().clear();
  group_table().clear();
}

int64_t numeric_evaluations() { return g_evaluations; }
void reset_numeric_evaluations() { g_evaluations = 0; }

}  // namespace r3::host

using namespace r3::host;

extern "C" {

void U3NU_GET_PUBPAR(const int32_t* id, int32_t* ideriv, int32_t* icheck, int32_t* cfg) {
  const LayerConfig* c = layer(*id);
  *ideriv = c ? c->derivatives : 0;
  *icheck = c ? c->check : 0;
  for (int i = 0; i < 6; ++i) cfg[i] = c ? c->cfg[i] : 0;
}

intptr_t U3NU_GET_FPMODL(const int32_t* id) {
  const LayerConfig* c = layer(*id);
  return c ? c->user_entry : 0;
}

int32_t U3NU_GET_FPMDL1(const int32_t* id) {
  const LayerConfig* c = layer(*id);
  return c ? c->second : 0;
}

void U3NU_PUT_NBVGRP(const int32_t* id, const int32_t* handle) {
  if (LayerConfig* c = layer(*id)) c->groups = *handle;
}

void U3NU_GET_NBVGRP(const int32_t* id, int32_t* handle) {
  const LayerConfig* c = layer(*id);
  *handle = c ? c->groups : -1;
}

void U3GPERTOL(double* tol) {
  for (int i = 0; i < 100; ++i) tol[i] = 0.0;
  tol[0] = 1.0e-7;  // relative perturbation of the Jacobian
  tol[1] = 1.0e-3;  // relative perturbation of the pattern detection
}

void U3NU_CHK_PAT(const int32_t* nf, const int32_t* ny, const int32_t* nz, const int32_t* IJROW,
                  const int32_t* IJCOL, int32_t* ierr) {
  *ierr = 0;
  if (*nz < 0) {
    message(" Sparsity pattern check: the number of non-zeros is negative.");
    *ierr = 1;
    return;
  }
  if (held(*nz) < *nz) {
    message(" Sparsity pattern check: " + std::to_string(*nz) + " non-zeros, room for " +
            std::to_string(held(*nz)) + ".");
    *ierr = 1;
    return;
  }
  std::map<std::pair<int, int>, int> seen;
  for (int32_t k = 0; k < *nz; ++k) {
    const int r = IJROW[k], c = IJCOL[k];
    std::string why;
    if (r < 1 || r > *nf) why = "row outside 1.." + std::to_string(*nf);
    else if (c < 1 || c > *ny) why = "column outside 1.." + std::to_string(*ny);
    else if (!seen.emplace(std::pair{r, c}, k).second) why = "entry repeated";
    if (!why.empty()) {
      if (*ierr == 0) message(" Sparsity pattern check: invalid entries");
      message("   entry " + std::to_string(k + 1) + " (" + std::to_string(r) + ", " +
              std::to_string(c) + "): " + why);
      *ierr = 1;
    }
  }
}

void U3NU_CMP_PAT(const int32_t* nf, const int32_t* lname, const char* varnam, const char* eqnnam,
                  const int32_t* nzk, const int32_t* ijrowk, const int32_t* ijcolk,
                  const int32_t* label1, const int32_t* label2, const int32_t* nz,
                  const int32_t* IJROW, const int32_t* IJCOL) {
  (void)nf;
  const std::string l1 = trim(words_to_text(label1, 2)), l2 = trim(words_to_text(label2, 2));
  std::map<std::pair<int, int>, int> in;  // bit 1: current pattern, bit 2: kept pattern
  for (int32_t k = 0; k < held(*nz); ++k) in[{IJROW[k], IJCOL[k]}] |= 1;
  for (int32_t k = 0; k < *nzk; ++k) in[{ijrowk[k], ijcolk[k]}] |= 2;
  int differences = 0;
  for (const auto& [rc, bits] : in) {
    if (bits == 3) continue;
    if (differences++ == 0) {
      message(" Sparsity pattern comparison: " + l1 + " against " + l2);
      message("   " + pad("EQUATION", 32) + " " + pad("VARIABLE", 32) + " " + pad(l1, 9) + l2);
    }
    message("   " + pad(slot_name(eqnnam, *lname, rc.first), 32) + " " +
            pad(slot_name(varnam, *lname, rc.second), 32) + " " +
            pad((bits & 1) ? "yes" : "no", 9) + ((bits & 2) ? "yes" : "no"));
  }
  message(" Sparsity pattern comparison: " + std::to_string(differences) + " difference(s) in " +
          std::to_string(in.size()) + " entries");
}

void U3NU_CMP_JAC(const int32_t* lname, const char* varnam, const char* eqnnam, const int32_t* nz,
                  const int32_t* IJROW, const int32_t* IJCOL, const int32_t* label1,
                  const int32_t* label2, const double* kept, const double* DFDY) {
  const std::string l1 = trim(words_to_text(label1, 2)), l2 = trim(words_to_text(label2, 2));
  int differences = 0;
  for (int32_t k = 0; k < held(*nz); ++k) {
    const double n = DFDY[k], a = kept[k];
    const double tol = 1.0e-4 * std::max(std::fabs(n), std::fabs(a)) + 1.0e-8;
    if (std::fabs(n - a) <= tol) continue;
    if (differences++ == 0) {
      message(" Jacobian comparison: " + l1 + " against " + l2);
      message("   " + pad("EQUATION", 32) + " " + pad("VARIABLE", 32) + " " + pad(l1, 16) + l2);
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "%-16.8e%.8e", n, a);
    message("   " + pad(slot_name(eqnnam, *lname, IJROW[k]), 32) + " " +
            pad(slot_name(varnam, *lname, IJCOL[k]), 32) + " " + buf);
  }
  message(" Jacobian comparison: " + std::to_string(differences) + " difference(s) in " +
          std::to_string(*nz) + " entries");
}

void U3VGRP(const int32_t* nf, const int32_t* ny, const int32_t* nz, const int32_t* IJROW,
            const int32_t* IJCOL, int32_t* handle, int32_t* ierr) {
  *ierr = 0;
  *handle = -1;
  if (*nz < 0 || *ny < 0 || *nf < 0 || held(*nz) < *nz) {
    *ierr = 1;
    return;
  }
  Groups g;
  numeric::Pattern p;
  for (int32_t k = 0; k < *nz; ++k) {
    if (IJROW[k] < 1 || IJROW[k] > *nf || IJCOL[k] < 1 || IJCOL[k] > *ny) {
      *ierr = 1;
      return;
    }
    p.rows.push_back(IJROW[k]);
    p.cols.push_back(IJCOL[k]);
  }
  g.members = numeric::column_groups(*ny, p);
  g.rows = p.rows;
  g.cols = p.cols;
  g.ny = *ny;
  g.nf = *nf;
  *handle = g_next_group++;
  group_table()[*handle] = std::move(g);
}

void U3FGRP(int32_t* handle) {
  group_table().erase(*handle);
  *handle = -1;
}

void U3NPAT(const int32_t* nf, const int32_t* ny, double* ywork, const double* YSCL,
            const int32_t*, const double* fwork, int32_t* nz, int32_t* IJROW, int32_t* IJCOL,
            const double* tol, const int32_t*, const int32_t*, const int32_t*,
            const int32_t* cfg4, int32_t*, int32_t* task, int32_t* ierr) {
  PatternRun& r = g_pat;
  *ierr = 0;
  if (*task == 0) {
    r = PatternRun{};
    r.nf = *nf;
    r.ny = *ny;
    if (r.nf < 0 || r.ny < 0) {
      *ierr = 1;
      return;
    }
    r.points = (cfg4 != nullptr && *cfg4 == 1) ? 1 : 2;
    r.y0.assign(ywork, ywork + r.ny);
    r.h.resize(static_cast<size_t>(r.ny));
    const double rel = (tol != nullptr && tol[1] > 0.0) ? tol[1] : 1.0e-3;
    for (int j = 0; j < r.ny; ++j) {
      r.h[static_cast<size_t>(j)] = perturbation(r.y0[static_cast<size_t>(j)], YSCL[j], rel);
    }
    r.hit.assign(static_cast<size_t>(r.ny), std::vector<char>(static_cast<size_t>(r.nf), 0));
    r.column = -1;
    *task = 1;  // the base point
    ++g_evaluations;
    return;
  }
  if (*task != 1) {
    *ierr = 1;
    return;
  }
  for (int i = 0; i < r.nf; ++i) {
    if (!std::isfinite(fwork[i])) {
      *ierr = 1;
      return;
    }
  }
  if (r.column < 0) {
    r.f0.assign(fwork, fwork + r.nf);
    r.column = 0;
    r.point = 0;
  } else {
    auto& rows = r.hit[static_cast<size_t>(r.column)];
    for (int i = 0; i < r.nf; ++i) {
      if (fwork[i] != r.f0[static_cast<size_t>(i)]) rows[static_cast<size_t>(i)] = 1;
    }
    ywork[r.column] = r.y0[static_cast<size_t>(r.column)];
    if (r.point + 1 < r.points) {
      ++r.point;
    } else {
      ++r.column;
      r.point = 0;
    }
  }
  if (r.column < r.ny) {
    // A second point on the other side, at another distance, catches
    // dependences whose slope vanishes at the base point.
    const double h = r.h[static_cast<size_t>(r.column)];
    ywork[r.column] = r.y0[static_cast<size_t>(r.column)] + (r.point == 0 ? h : -2.3 * h);
    *task = 1;
    ++g_evaluations;
    return;
  }
  // Done: the pattern, column by column, never beyond the host's arrays.
  const int32_t capacity = call_pattern_capacity();
  int32_t k = 0;
  for (int j = 0; j < r.ny; ++j) {
    for (int i = 0; i < r.nf; ++i) {
      if (!r.hit[static_cast<size_t>(j)][static_cast<size_t>(i)]) continue;
      if (k < capacity) {
        IJROW[k] = i + 1;
        IJCOL[k] = j + 1;
      }
      ++k;
    }
  }
  *nz = k;
  std::copy(r.y0.begin(), r.y0.end(), ywork);
  *task = 2;
}

void U3NJAC(const int32_t* handle, double* ywork, const double* YSCL, const int32_t*,
            const double* fwork, const int32_t*, const double* tol, const int32_t* cfg1,
            double* DFDY, int32_t* task, int32_t* ierr) {
  JacobianRun& r = g_jac;
  *ierr = 0;
  auto it = group_table().find(*handle);
  if (it == group_table().end()) {
    *ierr = 1;
    return;
  }
  const Groups& g = it->second;
  if (!groups_fit(g)) {
    *ierr = 1;
    return;
  }
  if (*task == 0) {
    r = JacobianRun{};
    r.handle = *handle;
    r.central = cfg1 != nullptr && *cfg1 == 1;
    int ny = 0;
    for (const auto& m : g.members) {
      for (int j : m) ny = std::max(ny, j);
    }
    r.ny = ny;
    r.y0.assign(ywork, ywork + ny);
    const double rel = (tol != nullptr && tol[0] > 0.0) ? tol[0] : 1.0e-7;
    r.h.resize(static_cast<size_t>(ny));
    for (int j = 0; j < ny; ++j) r.h[static_cast<size_t>(j)] = perturbation(r.y0[static_cast<size_t>(j)], YSCL[j], rel);
    r.group = -1;
    *task = 1;  // the base point (forward differences) or the first group
    if (r.central) {
      r.group = 0;
      r.side = 0;
      if (g.members.empty()) {
        *task = 2;
        return;
      }
      for (int j : g.members[0]) ywork[j - 1] = r.y0[static_cast<size_t>(j - 1)] + r.h[static_cast<size_t>(j - 1)];
    }
    ++g_evaluations;
    return;
  }
  if (*task != 1 || r.handle != *handle) {
    *ierr = 1;
    return;
  }
  int nf = 0;
  for (int row : g.rows) nf = std::max(nf, row);
  for (int i = 0; i < nf; ++i) {
    if (!std::isfinite(fwork[i])) {
      *ierr = 1;
      std::copy(r.y0.begin(), r.y0.end(), ywork);
      return;
    }
  }
  auto store = [&](const std::vector<int>& cols, const double* fa, const double* fb, double div) {
    for (size_t k = 0; k < g.cols.size(); ++k) {
      const int c = g.cols[k];
      if (std::find(cols.begin(), cols.end(), c) == cols.end()) continue;
      const int row = g.rows[k] - 1;
      DFDY[k] = (fa[row] - fb[row]) / (div * r.h[static_cast<size_t>(c - 1)]);
    }
  };
  if (!r.central) {
    if (r.group < 0) {
      r.f0.assign(fwork, fwork + nf);
    } else {
      const auto& cols = g.members[static_cast<size_t>(r.group)];
      store(cols, fwork, r.f0.data(), 1.0);
      for (int j : cols) ywork[j - 1] = r.y0[static_cast<size_t>(j - 1)];
    }
    ++r.group;
  } else {
    const auto& cols = g.members[static_cast<size_t>(r.group)];
    if (r.side == 0) {
      r.fplus.assign(fwork, fwork + nf);
      for (int j : cols) ywork[j - 1] = r.y0[static_cast<size_t>(j - 1)] - r.h[static_cast<size_t>(j - 1)];
      r.side = 1;
      *task = 1;
      ++g_evaluations;
      return;
    }
    store(cols, r.fplus.data(), fwork, 2.0);
    for (int j : cols) ywork[j - 1] = r.y0[static_cast<size_t>(j - 1)];
    r.side = 0;
    ++r.group;
  }
  if (r.group < static_cast<int>(g.members.size())) {
    const int sign = 1;
    for (int j : g.members[static_cast<size_t>(r.group)]) {
      ywork[j - 1] = r.y0[static_cast<size_t>(j - 1)] + sign * r.h[static_cast<size_t>(j - 1)];
    }
    *task = 1;
    ++g_evaluations;
    return;
  }
  std::copy(r.y0.begin(), r.y0.end(), ywork);
  *task = 2;
}

}  // extern "C"
