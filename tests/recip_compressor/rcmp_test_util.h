// Shared pieces of the reciprocating-compressor tests: an air compressor
// block, named access to its variables and a small Newton solver for one
// block.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "framework/host_services.h"
#include "host/services/block.h"
#include "tests/support/support.h"

extern "C" void R3RCMP(R3_ENTRY_PARAMS);

namespace r3::test::rcmp {

using host::Block;
using host::kRmiss;

inline constexpr double kR = 8314.4;

// Air (N2/O2/AR, Peng-Robinson) at 300 K and 1 bar, 0.1 kmol/s.
inline void air_host() {
  reset_host({"N2", "O2", "AR"}, thermo::Method::PengRobinson);
}

inline Block make_compressor(bool work_inlet, int32_t imode = 0, int32_t npass = 5,
                             int32_t izavg = 0) {
  Block b("K1", R3RCMP);
  b.matin = {"FEED"};
  b.matout = {"PROD"};
  if (work_inlet) b.infin = {"W"};
  b.ints = {imode, npass, izavg};
  b.ipropset = 2;
  b.connect_streams();
  const std::vector<double> flows = {0.078, 0.021, 0.001};
  EXPECT_TRUE(b.set_material_inlet(0, flows, 300.0, 1.0e5));
  return b;
}

inline double& var(Block& b, const std::string& name) {
  const int p = b.find_var(name);
  EXPECT_NE(p, 0) << name;
  return b.y.at(static_cast<size_t>(p > 0 ? p - 1 : 0));
}

// Fixes a variable at a value (before the initialisation: a user's value).
inline void fix(Block& b, const std::string& name, double value) {
  const int p = b.find_var(name);
  ASSERT_NE(p, 0) << name;
  b.y[static_cast<size_t>(p - 1)] = value;
  b.fix(p);
}

// The cylinder and drive data every solved case fixes.
inline void fix_cylinder(Block& b) {
  fix(b, "MECH_EFF", 0.95);
  fix(b, "CLEARFRAC", 0.08);
  fix(b, "LOSSTERM", 0.04);
}

struct Solution {
  bool converged = false;
  int iterations = 0;
  double norm = 0.0;
  std::string why;
};

inline double scaled_norm(Block& b) {
  b.call(KODE_RESID);
  double s = 0.0;
  for (size_t r = 0; r < b.f.size(); ++r) {
    const double v = b.f[r] / b.fscl[r];
    if (!std::isfinite(v)) return INFINITY;
    s += v * v;
  }
  return std::sqrt(s);
}

// Newton-Raphson on the block's free variables in scaled terms, with step
// bounds, bounds and backtracking, as the flowsheet solver does.
inline Solution solve(Block& b, int max_iterations = 40, double tol = 1e-9) {
  Solution out;
  std::vector<int> col_of(static_cast<size_t>(b.ny), -1);
  std::vector<int> free;
  for (int i = 1; i <= b.ny; ++i) {
    if (!b.fixed(i)) {
      col_of[static_cast<size_t>(i - 1)] = static_cast<int>(free.size());
      free.push_back(i - 1);
    }
  }
  const int n = b.nf;
  if (static_cast<int>(free.size()) != n) {
    out.why =
        "not square: " + std::to_string(free.size()) + " free, " + std::to_string(n) + " equations";
    return out;
  }
  for (int it = 0; it <= max_iterations; ++it) {
    const double n0 = scaled_norm(b);
    out.norm = n0;
    out.iterations = it;
    if (n0 < tol) {
      out.converged = true;
      return out;
    }
    const std::vector<double> f0 = b.f;
    b.call(KODE_JACOB);
    std::vector<double> a(static_cast<size_t>(n) * static_cast<size_t>(n), 0.0),
        rhs(static_cast<size_t>(n));
    for (size_t k = 0; k < b.dfdy.size(); ++k) {
      const int r = b.ijrow[k] - 1, c = b.ijcol[k] - 1;
      const int fc = col_of[static_cast<size_t>(c)];
      if (fc < 0) continue;
      a[static_cast<size_t>(r) * n + fc] +=
          b.dfdy[k] * b.yscl[static_cast<size_t>(c)] / b.fscl[static_cast<size_t>(r)];
    }
    for (int r = 0; r < n; ++r)
      rhs[static_cast<size_t>(r)] = -f0[static_cast<size_t>(r)] / b.fscl[static_cast<size_t>(r)];
    // Gaussian elimination with partial pivoting.
    for (int c = 0; c < n; ++c) {
      int piv = c;
      for (int r = c + 1; r < n; ++r) {
        if (std::fabs(a[static_cast<size_t>(r) * n + c]) >
            std::fabs(a[static_cast<size_t>(piv) * n + c]))
          piv = r;
      }
      if (a[static_cast<size_t>(piv) * n + c] == 0.0) {
        out.why = "singular Jacobian at column " + b.var_name(free[static_cast<size_t>(c)] + 1);
        return out;
      }
      if (piv != c) {
        for (int k = 0; k < n; ++k)
          std::swap(a[static_cast<size_t>(c) * n + k], a[static_cast<size_t>(piv) * n + k]);
        std::swap(rhs[static_cast<size_t>(c)], rhs[static_cast<size_t>(piv)]);
      }
      for (int r = c + 1; r < n; ++r) {
        const double q = a[static_cast<size_t>(r) * n + c] / a[static_cast<size_t>(c) * n + c];
        if (q == 0.0) continue;
        for (int k = c; k < n; ++k)
          a[static_cast<size_t>(r) * n + k] -= q * a[static_cast<size_t>(c) * n + k];
        rhs[static_cast<size_t>(r)] -= q * rhs[static_cast<size_t>(c)];
      }
    }
    std::vector<double> dz(static_cast<size_t>(n));
    for (int r = n - 1; r >= 0; --r) {
      double s = rhs[static_cast<size_t>(r)];
      for (int k = r + 1; k < n; ++k)
        s -= a[static_cast<size_t>(r) * n + k] * dz[static_cast<size_t>(k)];
      dz[static_cast<size_t>(r)] = s / a[static_cast<size_t>(r) * n + r];
    }
    double lam = 1.0;
    for (int k = 0; k < n; ++k) {
      const double sb = b.ysbnd[static_cast<size_t>(free[static_cast<size_t>(k)])];
      const double d = std::fabs(dz[static_cast<size_t>(k)]);
      if (sb > 0.0 && d > sb) lam = std::min(lam, sb / d);
    }
    const std::vector<double> y0 = b.y;
    bool accepted = false;
    for (int tries = 0; tries < 30 && !accepted; ++tries, lam *= 0.5) {
      b.y = y0;
      for (int k = 0; k < n; ++k) {
        const size_t j = static_cast<size_t>(free[static_cast<size_t>(k)]);
        double v = y0[j] + lam * dz[static_cast<size_t>(k)] * b.yscl[j];
        v = std::min(std::max(v, b.ylb[j]), b.yub[j]);
        b.y[j] = v;
      }
      accepted = scaled_norm(b) < n0;
    }
    if (!accepted) {
      b.y = y0;
      out.why = "no descent at iteration " + std::to_string(it);
      return out;
    }
  }
  out.why = "iteration limit";
  return out;
}

}  // namespace r3::test::rcmp
