// Helpers shared by the property-engine tests.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "host/thermo/thermo.h"

namespace r3::thermo::testing {

inline std::unique_ptr<Model> model_of(Method m, const std::vector<std::string>& ids) {
  const Databank& db = Databank::builtin();
  std::vector<const Component*> comps;
  for (const auto& id : ids) {
    const int k = db.find(id);
    EXPECT_GE(k, 0) << id;
    if (k < 0) return nullptr;
    comps.push_back(&db[k]);
  }
  std::string err;
  auto model = make_model(m, comps, &err);
  EXPECT_TRUE(model) << err;
  return model;
}

// One of H, S, Cp, V (k = 0..3) by index (a switch: arrays of member-function
// pointers trip the bounds sanitizer of some compilers).
inline Status property(const Model& m, int k, Phase ph, double T, double P,
                       std::span<const double> x, double& v, Gradient* g = nullptr) {
  switch (k) {
    case 0: return m.enthalpy(ph, T, P, x, v, g);
    case 1: return m.entropy(ph, T, P, x, v, g);
    case 2: return m.heat_capacity(ph, T, P, x, v, g);
    default: return m.molar_volume(ph, T, P, x, v, g);
  }
}

// Central-difference check of every analytic derivative the model returns
// (H, S, Cp, V and ln phi) at one state, with the composition handed in as
// given (it need not be normalised); tol scales the relative tolerances.
inline void check_gradients(const Model& m, Phase ph, double T, double P,
                            const std::vector<double>& x, const std::string& where, double tol = 1) {
  SCOPED_TRACE(where);
  const int n = m.size();
  const char* names[] = {"H", "S", "Cp", "V"};
  const double hT = 1e-5 * T, hP = 1e-5 * P;
  double sx = 0;
  for (double v : x) sx += v;
  for (int f = 0; f < 4; ++f) {
    SCOPED_TRACE(names[f]);
    std::vector<double> dx(n);
    Gradient g{0, 0, dx};
    double v0;
    ASSERT_NE(property(m, f, ph, T, P, x, v0, &g), Status::Failed);
    ASSERT_TRUE(std::isfinite(v0));
    auto eval = [&](double t, double p, const std::vector<double>& xx) {
      double v = 0.0;
      EXPECT_NE(property(m, f, ph, t, p, xx, v), Status::Failed);
      return v;
    };
    const double fdT = (eval(T + hT, P, x) - eval(T - hT, P, x)) / (2 * hT);
    const double fdP = (eval(T, P + hP, x) - eval(T, P - hP, x)) / (2 * hP);
    const double scale = std::abs(v0) + 1e-3;
    EXPECT_NEAR(g.dT, fdT, tol * 2e-6 * (std::abs(fdT) + scale / T)) << "d/dT";
    EXPECT_NEAR(g.dP, fdP, tol * 2e-6 * (std::abs(fdP) + scale / P)) << "d/dP";
    for (int j = 0; j < n; ++j) {
      const double h = 1e-5 * sx;
      auto xp = x, xm = x;
      xp[j] += h;
      xm[j] -= h;
      if (xm[j] < 0) continue;
      const double fd = (eval(T, P, xp) - eval(T, P, xm)) / (2 * h);
      EXPECT_NEAR(dx[j], fd, tol * 2e-6 * (std::abs(fd) + scale / sx)) << "d/dx" << j;
    }
  }
  std::vector<double> lp(n), dT(n), dP(n), dX(n * n);
  LnPhiDerivatives d{dT, dP, dX};
  ASSERT_NE(m.ln_fugacity_coefficients(ph, T, P, x, lp, &d), Status::Failed);
  auto lnphi = [&](double t, double p, const std::vector<double>& xx) {
    std::vector<double> out(n);
    EXPECT_NE(m.ln_fugacity_coefficients(ph, t, p, xx, out), Status::Failed);
    return out;
  };
  auto a = lnphi(T + hT, P, x), b = lnphi(T - hT, P, x);
  auto c = lnphi(T, P + hP, x), e = lnphi(T, P - hP, x);
  for (int i = 0; i < n; ++i) {
    EXPECT_NEAR(dT[i], (a[i] - b[i]) / (2 * hT), tol * 1e-6 * (std::abs(dT[i]) + 1.0 / T)) << "lnphi dT " << i;
    EXPECT_NEAR(dP[i], (c[i] - e[i]) / (2 * hP), tol * 1e-6 * (std::abs(dP[i]) + 1.0 / P)) << "lnphi dP " << i;
  }
  for (int j = 0; j < n; ++j) {
    const double h = 1e-5 * sx;
    auto xp = x, xm = x;
    xp[j] += h;
    xm[j] -= h;
    if (xm[j] < 0) continue;
    auto p1 = lnphi(T, P, xp), p2 = lnphi(T, P, xm);
    for (int i = 0; i < n; ++i)
      EXPECT_NEAR(dX[i * n + j], (p1[i] - p2[i]) / (2 * h), tol * 1e-6 * (std::abs(dX[i * n + j]) + 1.0 / sx))
          << "lnphi d" << i << "/dx" << j;
  }
}

}  // namespace r3::thermo::testing
