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

// A pure-component property that must evaluate with the given status
// (k: 0 H, 1 S, 2 Cp, 3 V, 4 Z).
inline double prop(const Model& m, int k, Phase ph, double T, double P,
                   const std::vector<double>& x = {1.0}, Status expect = Status::Ok) {
  double v = NAN;
  const Status s = k == 4 ? m.compressibility(ph, T, P, x, v) : property(m, k, ph, T, P, x, v);
  EXPECT_EQ(s, expect) << k << " T=" << T << " P=" << P;
  return v;
}
inline double psat(const Model& m, double T, Status expect = Status::Ok) {
  double p = NAN;
  EXPECT_EQ(m.vapour_pressure(0, T, p), expect) << T;
  return p;
}
inline double lnphi(const Model& m, Phase ph, double T, double P) {
  double lp[1] = {NAN};
  EXPECT_EQ(m.ln_fugacity_coefficients(ph, T, P, std::vector<double>{1.0}, lp), Status::Ok)
      << T << " " << P;
  return lp[0];
}

// Test names of the suites parameterised by method.
inline std::string method_name(const ::testing::TestParamInfo<Method>& info) {
  return info.param == Method::Ideal ? "Ideal" : "PengRobinson";
}

// H, S, Cp, V and ln phi_1..n at one state; with d, their analytic
// derivatives by T, P and each x_j (d[0], d[1], d[2 + j], each 4 + n long).
inline std::vector<double> outputs(const Model& m, Phase ph, double T, double P,
                                   const std::vector<double>& x,
                                   std::vector<std::vector<double>>* d = nullptr) {
  const size_t n = x.size();
  std::vector<double> out(4 + n), dx(n), lT(n), lP(n), lX(n * n);
  if (d) d->assign(2 + n, std::vector<double>(4 + n));
  for (int k = 0; k < 4; ++k) {
    Gradient g{0, 0, dx};
    EXPECT_NE(property(m, k, ph, T, P, x, out[k], d ? &g : nullptr), Status::Failed) << k;
    if (d) {
      (*d)[0][k] = g.dT;
      (*d)[1][k] = g.dP;
      for (size_t j = 0; j < n; ++j) (*d)[2 + j][k] = dx[j];
    }
  }
  LnPhiDerivatives ld{lT, lP, lX};
  std::span<double> lp(out.data() + 4, n);
  EXPECT_NE(m.ln_fugacity_coefficients(ph, T, P, x, lp, d ? &ld : nullptr), Status::Failed);
  for (size_t i = 0; d && i < n; ++i) {
    (*d)[0][4 + i] = lT[i];
    (*d)[1][4 + i] = lP[i];
    for (size_t j = 0; j < n; ++j) (*d)[2 + j][4 + i] = lX[i * n + j];
  }
  return out;
}

// Central-difference check of every analytic derivative the model returns
// (H, S, Cp, V and ln phi by T, P and each x_j) at one state, with the
// composition handed in as given (it need not be normalised). Tolerance:
// tol * r (|fd| + s / u), u the variable (T, P or sum x), r and s 2e-6 and
// |value| + 1e-3 for the properties, 1e-6 and 1 for ln phi.
inline void check_gradients(const Model& m, Phase ph, double T, double P,
                            const std::vector<double>& x, const std::string& where,
                            double tol = 1) {
  SCOPED_TRACE(where);
  const char* names[] = {"H", "S", "Cp", "V"};
  std::vector<std::vector<double>> d;
  const std::vector<double> v0 = outputs(m, ph, T, P, x, &d), bare = outputs(m, ph, T, P, x);
  for (size_t k = 0; k < v0.size(); ++k)  // values without derivatives: the same numbers
    EXPECT_NEAR(bare[k], v0[k], 1e-12 * std::abs(v0[k])) << k;
  double sx = 0;
  for (double v : x) sx += v;
  for (size_t j = 0; j < d.size(); ++j) {
    const double u = j == 0 ? T : j == 1 ? P : sx, h = 1e-5 * u;
    double tp = T, pp = P, tm = T, pm = P;
    auto xp = x, xm = x;
    if (j == 0) tp += h, tm -= h;
    if (j == 1) pp += h, pm -= h;
    if (j >= 2) xp[j - 2] += h, xm[j - 2] -= h;
    if (j >= 2 && xm[j - 2] < 0) continue;
    const std::vector<double> a = outputs(m, ph, tp, pp, xp), b = outputs(m, ph, tm, pm, xm);
    for (size_t k = 0; k < v0.size(); ++k) {
      const double fd = (a[k] - b[k]) / (2 * h), r = k < 4 ? 2e-6 : 1e-6;
      const double s = k < 4 ? std::abs(v0[k]) + 1e-3 : 1.0;
      EXPECT_NEAR(d[j][k], fd, tol * r * (std::abs(fd) + s / u))
          << (k < 4 ? std::string(names[k]) : std::string("ln phi ").append(std::to_string(k - 4)))
          << " by " << (j == 0 ? "T" : j == 1 ? "P" : std::string("x").append(std::to_string(j - 2)));
    }
  }
}

}  // namespace r3::thermo::testing
