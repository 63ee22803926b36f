// Equilibrium flashes through the Model interface only (so any property
// method, the steam tables included, can be flashed): tangent-plane stability
// analysis, Rachford-Rice with successive substitution and a Newton finish,
// and outer loops on temperature for the PH, PS and PV flashes.
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include <Eigen/LU>

#include "host/numeric/root.h"
#include "host/thermo/internal.h"

namespace r3::thermo {

namespace {

namespace num = host::numeric;

constexpr double kTmin = 5.0;     // K, lower limit of the temperature searches
constexpr double kTmax = 6000.0;  // K, upper limit
constexpr double kTiny = 1e-14;   // feed fractions at or below this (relative) are traces

bool ok(Status s) { return s != Status::Failed; }

using RowMatrix = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;

// Solves m x m systems held row-major by LU factorisation with partial
// pivoting. The factors and the permuted right-hand side are kept, so
// repeated solves of one size allocate nothing. The substitutions take the
// factors' terms in the order Gaussian elimination applies them (forward by
// columns, backward by rows from the diagonal out): Eigen's triangular
// solvers sum them in another order, and the two-phase Newton's last digits
// follow the rounding of its steps.
struct LinearSolver {
  Eigen::PartialPivLU<RowMatrix> lu;
  Eigen::VectorXd y;
  // Solution in b. False when a pivot is zero or not a number, or the
  // solution is not finite.
  bool solve(const double* a, double* b, int m) {
    lu.compute(Eigen::Map<const RowMatrix>(a, m, m));
    const RowMatrix& f = lu.matrixLU();
    if (!(f.diagonal().array().abs() > 0).all()) return false;
    y.resize(m);
    const auto& perm = lu.permutationP().indices();  // row i of a is row perm[i] of the factors
    for (int i = 0; i < m; ++i) y[perm[i]] = b[i];
    for (int k = 0; k < m; ++k)
      for (int i = k + 1; i < m; ++i) y[i] -= f(i, k) * y[k];
    for (int k = m - 1; k >= 0; --k) {
      double s = y[k];
      for (int j = k + 1; j < m; ++j) s -= f(k, j) * y[j];
      b[k] = y[k] = s / f(k, k);
    }
    return std::isfinite(b[0]);
  }
};

struct Ctx {
  const Model& m;
  int n;
  std::vector<double> z, K, lnK, x, y, lpl, lpv, w, d, t1, t2, jac, g, dv, v, l, dxl, dxv, dtl,
      dtv, dvdt;
  std::vector<double> lnz, lw;             // ln z of the feed, ln w of the stability trial
  std::vector<double> rr_k, rr_a, rr_b;   // Rachford-Rice terms K-1, z(K-1), z(K-1)^2
  std::vector<int> active;
  LinearSolver linear;                    // the two-phase Newton's systems
  bool have_dvdt = false;  // dvdt holds d(vapour moles)/dT of the last two-phase solution
  explicit Ctx(const Model& model)
      : m(model), n(model.size()), z(n), K(n), lnK(n), x(n), y(n), lpl(n), lpv(n), w(n), d(n),
        t1(n), t2(n), jac(static_cast<size_t>(n) * n), g(n), dv(n), v(n), l(n),
        dxl(static_cast<size_t>(n) * n), dxv(static_cast<size_t>(n) * n), dtl(n), dtv(n),
        dvdt(n), lnz(n), lw(n), rr_k(n), rr_a(n), rr_b(n) {}
};

bool normalise_feed(Ctx& c, std::span<const double> zin) {
  double s;
  if (!detail::valid_state(300.0, 1e5, zin, c.n, s)) return false;
  c.active.clear();
  for (int i = 0; i < c.n; ++i) {
    c.z[i] = zin[i] / s;
    if (c.z[i] > kTiny) {
      c.active.push_back(i);
      c.lnz[i] = std::log(c.z[i]);
    }
  }
  return !c.active.empty();
}

bool valid_tp(double T, double P) {
  return std::isfinite(T) && T >= 1.0 && std::isfinite(P) && P > 0;
}

// Wilson's K-value estimate.
double wilson_k(const Component& c, double T, double P) {
  return c.pc / P * std::exp(5.373 * (1.0 + c.omega) * (1.0 - c.tc / T));
}

// Rachford-Rice: the root of sum z (K-1)/(1+beta(K-1)) between the
// asymptotes (negative flash allowed). False when no root exists there.
bool rachford_rice(Ctx& c, double& beta) {
  double kmin = std::numeric_limits<double>::infinity(), kmax = 0;
  // The per-component factors of the sums, once per call (the same products
  // in the same order as the terms below need them).
  const int m = static_cast<int>(c.active.size());
  for (int a = 0; a < m; ++a) {
    const int i = c.active[a];
    kmin = std::min(kmin, c.K[i]);
    kmax = std::max(kmax, c.K[i]);
    const double km = c.K[i] - 1.0;
    c.rr_k[a] = km;
    c.rr_a[a] = c.z[i] * km;
    c.rr_b[a] = c.rr_a[a] * km;
  }
  if (!(kmax > 1.0 && kmin < 1.0)) return false;
  double lo = 1.0 / (1.0 - kmax), hi = 1.0 / (1.0 - kmin);
  const double *rk = c.rr_k.data(), *ra = c.rr_a.data(), *rb = c.rr_b.data();
  auto f = [&](double b, double& df) {
    double s = 0;
    df = 0;
    for (int a = 0; a < m; ++a) {
      const double den = 1.0 + b * rk[a];
      s += ra[a] / den;
      df -= rb[a] / (den * den);
    }
    return s;
  };
  double b = std::clamp(beta, lo + 1e-12 * (hi - lo), hi - 1e-12 * (hi - lo));
  if (!std::isfinite(b)) b = 0.5 * (lo + hi);
  for (int it = 0; it < 200; ++it) {
    double df;
    const double fv = f(b, df);
    if (fv > 0) lo = b; else hi = b;
    double bn = b - fv / df;
    if (!(bn > lo && bn < hi)) bn = 0.5 * (lo + hi);
    if (std::abs(bn - b) <= 1e-15 * (1.0 + std::abs(b))) {
      beta = bn;
      return true;
    }
    b = bn;
  }
  beta = b;
  return true;
}

// Phase compositions from K and beta.
void split(Ctx& c, double beta) {
  double sx = 0, sy = 0;
  for (int i = 0; i < c.n; ++i) {
    c.x[i] = c.z[i] / (1.0 + beta * (c.K[i] - 1.0));
    c.y[i] = c.K[i] * c.x[i];
    sx += c.x[i];
    sy += c.y[i];
  }
  for (int i = 0; i < c.n; ++i) {
    c.x[i] /= sx;
    c.y[i] /= sy;
  }
}

double dot(std::span<const double> a, std::span<const double> b) {
  double s = 0;
  for (size_t i = 0; i < a.size(); ++i) s += a[i] * b[i];
  return s;
}

// The phase a single-phase fluid of composition z is given: the root with
// the lower Gibbs energy; when both calls give the same state (one root), a
// pseudo-critical rule: vapour when the molar volume is at least the molar
// average of the critical volumes.
bool label_single(Ctx& c, double T, double P, Phase& ph) {
  const bool okv = ok(c.m.ln_fugacity_coefficients(Phase::Vapour, T, P, c.z, c.lpv));
  const bool okl = ok(c.m.ln_fugacity_coefficients(Phase::Liquid, T, P, c.z, c.lpl));
  if (!okv && !okl) return false;
  if (okv != okl) {
    ph = okv ? Phase::Vapour : Phase::Liquid;
    return true;
  }
  const double gv = dot(c.z, c.lpv), gl = dot(c.z, c.lpl);
  if (std::abs(gv - gl) > 1e-10 * (1.0 + std::abs(gv))) {
    ph = gv < gl ? Phase::Vapour : Phase::Liquid;
    return true;
  }
  double zf;
  if (!ok(c.m.compressibility(Phase::Vapour, T, P, c.z, zf))) return false;
  double vpc = 0;
  for (int i = 0; i < c.n; ++i) vpc += c.z[i] * c.m.component(i).vc;
  ph = zf * kGasConstant * T / P >= vpc ? Phase::Vapour : Phase::Liquid;
  return true;
}

// Michelsen's tangent-plane test from one trial phase (initial W in c.w).
// Returns true when the feed is unstable; then c.w holds the trial phase's
// mole numbers.
bool trial_unstable(Ctx& c, double T, double P, Phase trial, bool& failed) {
  failed = false;
  for (int it = 0; it < 300; ++it) {
    double sw = 0;
    for (int i = 0; i < c.n; ++i) sw += c.w[i];
    if (!(sw > 0) || !std::isfinite(sw)) return false;
    if (!ok(c.m.ln_fugacity_coefficients(trial, T, P, c.w, c.t1))) {
      failed = true;
      return false;
    }
    // ln w is the exponent w was made from in the previous step; only the
    // initial estimate needs a logarithm.
    double err = 0, sn = 0, triv = 0;
    for (int i : c.active) {
      const double lw = c.d[i] - c.t1[i];
      err = std::max(err, std::abs(lw - (it > 0 ? c.lw[i] : std::log(c.w[i]))));
      c.lw[i] = lw;
      c.w[i] = std::exp(lw);
      sn += c.w[i];
    }
    const double lsn = std::log(sn);
    for (int i : c.active) {
      const double r = (c.lw[i] - lsn) - c.lnz[i];
      triv += r * r;
    }
    if (triv < 1e-8) return false;  // collapsed onto the feed
    if (err < 1e-10) return sn > 1.0 + 1e-8;
    // Unstable without iterating to round-off: sum w well above 1, or above
    // 1 by 1e-4 once ln w moves by less than 1e-7 a step (far more margin
    // than the remaining steps of a linear convergence can take away).
    if (it > 4 && (sn > 1.0 + 1e-3 || (err < 1e-7 && sn > 1.0 + 1e-4))) return true;
  }
  return false;
}

// Newton on the vapour mole numbers v (liquid l = z - v): equal fugacities.
// Starts from c.K / beta; on success leaves K, beta, x, y consistent.
bool newton_two_phase(Ctx& c, double T, double P, double& beta) {
  const int n = c.n, m = static_cast<int>(c.active.size());
  for (int i = 0; i < n; ++i) {
    c.v[i] = beta * c.y[i];
    c.l[i] = c.z[i] - c.v[i];
    if (c.z[i] <= kTiny) c.v[i] = c.l[i] = 0;
  }
  for (int i : c.active)
    if (!(c.v[i] > 0 && c.l[i] > 0)) return false;
  double last = std::numeric_limits<double>::infinity();
  for (int it = 0; it < 30; ++it) {
    LnPhiDerivatives dl{c.dtl, {}, c.dxl}, dvv{c.dtv, {}, c.dxv};
    if (!ok(c.m.ln_fugacity_coefficients(Phase::Liquid, T, P, c.l, c.lpl, &dl))) return false;
    if (!ok(c.m.ln_fugacity_coefficients(Phase::Vapour, T, P, c.v, c.lpv, &dvv))) return false;
    double V = 0, L = 0;
    for (int i : c.active) {
      V += c.v[i];
      L += c.l[i];
    }
    double res = 0;
    for (int a = 0; a < m; ++a) {
      const int i = c.active[a];
      c.g[a] = std::log(c.v[i] / V) + c.lpv[i] - std::log(c.l[i] / L) - c.lpl[i];
      res = std::max(res, std::abs(c.g[a]));
      for (int b = 0; b < m; ++b) {
        const int j = c.active[b];
        c.jac[a * m + b] = -1.0 / V - 1.0 / L + c.dxv[i * n + j] + c.dxl[i * n + j] +
                           (a == b ? 1.0 / c.v[i] + 1.0 / c.l[i] : 0.0);
      }
    }
    if (!std::isfinite(res)) return false;
    if (res < 1e-11) {
      beta = V;
      for (int i = 0; i < n; ++i) {
        c.y[i] = c.v[i] / V;
        c.x[i] = c.l[i] / L;
        c.lnK[i] = c.lpl[i] - c.lpv[i];
        c.K[i] = std::exp(c.lnK[i]);
        c.dvdt[i] = 0;
      }
      // Sensitivity of the split to temperature: J dv/dT = -(dg/dT).
      for (int a = 0; a < m; ++a) c.g[a] = -(c.dtv[c.active[a]] - c.dtl[c.active[a]]);
      c.have_dvdt = c.linear.solve(c.jac.data(), c.g.data(), m);
      if (c.have_dvdt)
        for (int a = 0; a < m; ++a) c.dvdt[c.active[a]] = c.g[a];
      return true;
    }
    if (it > 3 && res > 0.5 * last) return false;  // not converging quadratically
    last = res;
    for (int a = 0; a < m; ++a) c.g[a] = -c.g[a];
    if (!c.linear.solve(c.jac.data(), c.g.data(), m)) return false;
    double lam = 1.0;
    for (int a = 0; a < m; ++a) {
      const int i = c.active[a];
      const double dvi = c.g[a];
      if (c.v[i] + lam * dvi <= 0) lam = std::min(lam, 0.9 * c.v[i] / -dvi);
      if (c.l[i] - lam * dvi <= 0) lam = std::min(lam, 0.9 * c.l[i] / dvi);
    }
    for (int a = 0; a < m; ++a) {
      const int i = c.active[a];
      c.v[i] += lam * c.g[a];
      c.l[i] = c.z[i] - c.v[i];
    }
  }
  return false;
}

// Successive substitution from c.K, then Newton. Returns true with a
// converged split; beta may lie outside (0, 1) (negative flash).
bool two_phase(Ctx& c, double T, double P, double& beta) {
  beta = 0.5;
  // After a Newton attempt fails, the next waits until successive
  // substitution has cut the error tenfold: retrying at every step, each
  // failing, made a flash of an unphysical state take minutes.
  double newton_ceiling = std::numeric_limits<double>::infinity();
  for (int it = 0; it < 2000; ++it) {
    if (!rachford_rice(c, beta)) return false;
    split(c, beta);
    if (!ok(c.m.ln_fugacity_coefficients(Phase::Liquid, T, P, c.x, c.lpl))) return false;
    if (!ok(c.m.ln_fugacity_coefficients(Phase::Vapour, T, P, c.y, c.lpv))) return false;
    double err = 0, triv = 0;
    for (int i : c.active) {
      const double lk = c.lpl[i] - c.lpv[i];
      err += (lk - c.lnK[i]) * (lk - c.lnK[i]);
      triv += lk * lk;
      c.lnK[i] = lk;
      c.K[i] = std::exp(lk);
    }
    if (triv < 1e-10) return false;  // trivial solution
    if (err < 1e-24) {
      rachford_rice(c, beta);
      split(c, beta);
      return true;
    }
    if ((err < 1e-6 || (it > 30 && err < 1e-3)) && err < newton_ceiling && beta > 0 && beta < 1) {
      Ctx& cc = c;
      double b = beta;
      if (newton_two_phase(cc, T, P, b)) {
        beta = b;
        return true;
      }
      newton_ceiling = 0.1 * err;
    }
  }
  return false;
}

void fill_single(Ctx& c, Phase ph, double T, double P, FlashResult& r) {
  r.T = T;
  r.P = P;
  r.beta = ph == Phase::Vapour ? 1.0 : 0.0;
  r.x = c.z;
  r.y = c.z;
}

// The mixture's enthalpy and/or entropy from those of the phases present.
bool mixture_props(Ctx& c, FlashResult& r, bool want_h, bool want_s) {
  const double b = r.beta;
  double hv = 0, hl = 0, sv = 0, sl = 0;
  if (b > 0) {
    if ((want_h && !ok(c.m.enthalpy(Phase::Vapour, r.T, r.P, r.y, hv))) ||
        (want_s && !ok(c.m.entropy(Phase::Vapour, r.T, r.P, r.y, sv))))
      return false;
  }
  if (b < 1) {
    if ((want_h && !ok(c.m.enthalpy(Phase::Liquid, r.T, r.P, r.x, hl))) ||
        (want_s && !ok(c.m.entropy(Phase::Liquid, r.T, r.P, r.x, sl))))
      return false;
  }
  if (want_h) r.H = b * hv + (1 - b) * hl;
  if (want_s) r.S = b * sv + (1 - b) * sl;
  return (!want_h || std::isfinite(r.H)) && (!want_s || std::isfinite(r.S));
}

bool mixture_hs(Ctx& c, FlashResult& r) { return mixture_props(c, r, true, true); }

// TP flash on a normalised feed in c. warm: c.K holds K-values of a nearby
// two-phase solution to try before the stability analysis. props: evaluate
// the mixture's H and S (an outer loop that needs only one of them, with its
// slope, evaluates it itself).
bool tp_core(Ctx& c, double T, double P, FlashResult& r, bool warm, bool props = true) {
  r.status = Status::Failed;
  c.have_dvdt = false;
  if (!valid_tp(T, P)) return false;
  if (c.active.size() > 1) {
    if (warm) {
      for (int i = 0; i < c.n; ++i) c.lnK[i] = std::log(c.K[i]);
      double beta;
      if (two_phase(c, T, P, beta) && beta > 0 && beta < 1) {
        r.T = T;
        r.P = P;
        r.beta = beta;
        r.x = c.x;
        r.y = c.y;
        if (props && !mixture_hs(c, r)) return false;
        r.status = Status::Ok;
        return true;
      }
    }
    Phase ph;
    if (!label_single(c, T, P, ph)) return false;
    // Stability of the feed in its lower-Gibbs state.
    const auto& lpf = ph == Phase::Vapour ? c.lpv : c.lpl;
    for (int i = 0; i < c.n; ++i) c.d[i] = c.z[i] > kTiny ? c.lnz[i] + lpf[i] : 0.0;
    bool unstable = false, failed = false;
    std::vector<double>& kinit = c.t2;
    for (int i = 0; i < c.n; ++i) kinit[i] = wilson_k(c.m.component(i), T, P);
    for (int trial = 0; trial < 2 && !unstable; ++trial) {
      const Phase tp = trial == 0 ? Phase::Vapour : Phase::Liquid;
      for (int i = 0; i < c.n; ++i)
        c.w[i] = c.z[i] > kTiny ? (trial == 0 ? c.z[i] * kinit[i] : c.z[i] / kinit[i]) : 0.0;
      unstable = trial_unstable(c, T, P, tp, failed);
      if (failed) return false;
      if (unstable) {
        double sw = 0;
        for (int i : c.active) sw += c.w[i];
        for (int i = 0; i < c.n; ++i) {
          if (c.z[i] <= kTiny) {
            c.K[i] = kinit[i];
          } else {
            const double wi = c.w[i] / sw;
            c.K[i] = trial == 0 ? wi / c.z[i] : c.z[i] / wi;
          }
          c.lnK[i] = std::log(c.K[i]);
        }
      }
    }
    if (unstable) {
      double beta;
      if (two_phase(c, T, P, beta) && beta > 0 && beta < 1) {
        r.T = T;
        r.P = P;
        r.beta = beta;
        r.x = c.x;
        r.y = c.y;
        if (props && !mixture_hs(c, r)) return false;
        r.status = Status::Ok;
        return true;
      }
    }
    fill_single(c, ph, T, P, r);
  } else {
    Phase ph;
    if (!label_single(c, T, P, ph)) return false;
    fill_single(c, ph, T, P, r);
  }
  if (props && !mixture_hs(c, r)) return false;
  r.status = Status::Ok;
  return true;
}

// Saturation temperature of component i at P from the model's vapour
// pressure (secant in 1/T). False above the critical pressure.
bool saturation_temperature(const Model& m, int i, double P, double& T) {
  const Component& cp = m.component(i);
  if (!(P < cp.pc)) return false;
  auto g = [&](double u, double& val) {
    double ps;
    if (m.vapour_pressure(i, 1.0 / u, ps) != Status::Ok || !(ps > 0)) return false;
    val = std::log(ps / P);
    return true;
  };
  const double umin = 1.0 / cp.tc;  // 1/T may not go below this (T < Tc)
  double u0 = (1.0 - std::log(P / cp.pc) / (5.373 * (1.0 + cp.omega))) / cp.tc;
  u0 = std::max(u0, umin * (1 + 1e-6));
  double g0;
  if (!g(u0, g0)) return false;
  double u1 = u0 * (1.0 + 1e-3), g1;
  if (!g(u1, g1)) return false;
  for (int it = 0; it < 100; ++it) {
    if (std::abs(g1) < 1e-13) {
      T = 1.0 / u1;
      return true;
    }
    const double slope = (g1 - g0) / (u1 - u0);
    if (!(slope < 0) || !std::isfinite(slope)) return false;
    double u2 = u1 - g1 / slope;
    u2 = std::clamp(u2, std::max(umin * (1 + 1e-9), 0.5 * u1), 2.0 * u1);
    if (u2 == u1) {
      T = 1.0 / u1;
      return std::abs(g1) < 1e-9;
    }
    double g2;
    if (!g(u2, g2)) return false;
    u0 = u1;
    g0 = g1;
    u1 = u2;
    g1 = g2;
  }
  return false;
}

enum class Fixed { H, S };  // the property held at its target value

double fixed_value(const FlashResult& r, Fixed f) { return f == Fixed::H ? r.H : r.S; }

// Single-phase property of the named phase at T.
bool phase_value(Ctx& c, Phase ph, double T, double P, Fixed s, double& v, double* dvdT) {
  Gradient gr;
  Status st = s == Fixed::H ? c.m.enthalpy(ph, T, P, c.z, v, &gr) : c.m.entropy(ph, T, P, c.z, v, &gr);
  if (dvdT) *dvdT = gr.dT;
  return ok(st) && std::isfinite(v);
}

// The held property (H or S) of the mixture at a TP solution, stored in r,
// and its temperature derivative at fixed P and feed (0 when unknown). A
// single phase: one call gives the value and its own derivative. Two phases
// (transfer: c.dvdt holds d(vapour moles)/dT of this solution): the value
// from the phase compositions, and the slope from the phases' mole numbers
// v, l: their own derivatives plus the transfer of dv_i/dT moles between
// them at their partial molar values. The slope's calls take the mole
// numbers: the same derivative from the gradients at the fractions differs
// in rounding, and the outer iteration's last digits follow its slope.
bool fixed_with_slope(Ctx& c, FlashResult& r, Fixed f, bool transfer, double& slope) {
  const double b = r.beta;
  const bool two = b > 0 && b < 1;
  auto prop = [&](Phase ph, std::span<const double> x, double& v, Gradient* g) {
    return ok(f == Fixed::H ? c.m.enthalpy(ph, r.T, r.P, x, v, g)
                            : c.m.entropy(ph, r.T, r.P, x, v, g));
  };
  Gradient gv, gl;
  double fv = 0, fl = 0;
  if (b > 0 && !prop(Phase::Vapour, r.y, fv, two ? nullptr : &gv)) return false;
  if (b < 1 && !prop(Phase::Liquid, r.x, fl, two ? nullptr : &gl)) return false;
  const double value = b * fv + (1 - b) * fl;
  if (!std::isfinite(value)) return false;
  (f == Fixed::H ? r.H : r.S) = value;
  slope = 0;
  if (!two) {
    const double d = b >= 1 ? gv.dT : gl.dT;
    if (std::isfinite(d)) slope = d;
    return true;
  }
  if (!transfer) return true;
  const double V = b, L = 1 - b;
  for (int i = 0; i < c.n; ++i) {
    c.v[i] = V * r.y[i];
    c.l[i] = L * r.x[i];
  }
  Gradient mv{0, 0, c.t1}, ml{0, 0, c.t2};
  double mfv, mfl;
  if (!prop(Phase::Vapour, c.v, mfv, &mv) || !prop(Phase::Liquid, c.l, mfl, &ml)) return true;
  double sl = V * mv.dT + L * ml.dT;
  for (int i : c.active) sl += c.dvdt[i] * ((mfv + V * mv.dx[i]) - (mfl + L * ml.dx[i]));
  if (std::isfinite(sl)) slope = sl;
  return true;
}

// Solves F(T) = 0 for an increasing F between kTmin and kTmax by the host's
// bracketed search (Newton with the slope eval gives, <= 0: unknown, kept in
// the bracket by Illinois false position and bisection). Converged when F is
// within tolF plus what a 1e-12 relative temperature resolution allows on a
// steep (two-phase) curve. Returns the search's end: Converged, or Narrowed
// on a jump (the bracket narrows to 1e-11 T without F reaching zero) with T
// at the jump; anything else is a failure.
template <class Eval>
num::RootStatus solve_increasing(Eval&& eval, double& T, double tolF) {
  num::RootOptions o;
  o.lo = kTmin;
  o.hi = kTmax;
  o.tol_f = tolF;
  o.tol_slope = 1e-12;
  o.tol_bracket = 1e-11;
  o.tol_step = 1e-13;
  o.accept_f = 1e3 * tolF;
  const num::RootResult r = num::find_root(eval, T, o);
  T = r.x;
  return r.status;
}

// PH / PS flash.
Status flash_p_fixed(const Model& m, double P, double target, std::span<const double> zin,
                    double T_guess, FlashResult& r, Fixed fixed) {
  r = FlashResult{};
  r.status = Status::Failed;
  if (m.own_flash(fixed == Fixed::H ? Model::FlashSpec::PH : Model::FlashSpec::PS, P, target, zin, r))
    return r.status;
  Ctx c(m);
  if (!normalise_feed(c, zin) || !std::isfinite(P) || !(P > 0) || !std::isfinite(target))
    return Status::Failed;
  r.P = P;
  const double tol_scale = fixed == Fixed::H ? 1e-10 * kGasConstant * 300.0 : 1e-10 * kGasConstant;
  double T = std::isfinite(T_guess) && T_guess >= kTmin && T_guess <= kTmax ? T_guess : 300.0;

  // A single component: saturation temperature and the vapour fraction from
  // target when it lies between the saturated states.
  if (c.active.size() == 1) {
    const int i = c.active[0];
    double ts;
    if (saturation_temperature(m, i, P, ts)) {
      double vl, vv;
      if (!phase_value(c, Phase::Liquid, ts, P, fixed, vl, nullptr) ||
          !phase_value(c, Phase::Vapour, ts, P, fixed, vv, nullptr))
        return Status::Failed;
      if (target >= vl && target <= vv && vv > vl) {
        r.T = ts;
        r.beta = (target - vl) / (vv - vl);
        r.x = c.z;
        r.y = c.z;
        if (!mixture_hs(c, r)) return Status::Failed;
        r.status = Status::Ok;
        return r.status;
      }
      T = target < vl ? std::min(T, ts) : std::max(T, ts);
    }
  }

  bool warm = false;
  FlashResult cur;
  double last_t = -1;
  // Each outer step: the TP split, then the held property and its slope
  // (the other property only for the final state).
  auto eval = [&](double t, double& F, double& slope) {
    last_t = t;
    if (!tp_core(c, t, P, cur, warm, false)) return false;
    warm = cur.beta > 0 && cur.beta < 1;
    if (!fixed_with_slope(c, cur, fixed, warm && c.have_dvdt, slope)) return false;
    F = fixed_value(cur, fixed) - target;
    return true;
  };
  const num::RootStatus end = solve_increasing(eval, T, tol_scale);
  if (end != num::RootStatus::Converged && end != num::RootStatus::Narrowed) return Status::Failed;
  if (end == num::RootStatus::Narrowed) {
    // The property jumps at T: the mixture boils like a pure component. Only
    // when it is all liquid just below and all vapour at T; any other jump
    // is a flash that did not find a consistent solution.
    FlashResult below;
    if (!tp_core(c, T * (1 - 1e-10), P, below, false) || below.beta != 0.0 ||
        !tp_core(c, T, P, cur, false) || cur.beta != 1.0)
      return Status::Failed;
    double vl, vv;
    if (!phase_value(c, Phase::Liquid, T, P, fixed, vl, nullptr) ||
        !phase_value(c, Phase::Vapour, T, P, fixed, vv, nullptr) || !(vv > vl))
      return Status::Failed;
    r.T = T;
    r.beta = std::clamp((target - vl) / (vv - vl), 0.0, 1.0);
    r.x = c.z;
    r.y = c.z;
    if (!mixture_hs(c, r)) return Status::Failed;
    r.status = Status::Ok;
    return r.status;
  }
  // The solution is the last state evaluated; re-evaluate otherwise.
  if (T == last_t && cur.status == Status::Ok) {
    r = cur;
    if (!mixture_props(c, r, fixed == Fixed::S, fixed == Fixed::H)) return Status::Failed;
  } else if (!tp_core(c, T, P, r, warm)) {
    return Status::Failed;
  }
  r.status = Status::Ok;
  return r.status;
}

}  // namespace

Status flash_tp(const Model& m, double T, double P, std::span<const double> z, FlashResult& r) {
  r = FlashResult{};
  if (m.own_flash(Model::FlashSpec::TP, P, T, z, r)) return r.status;
  Ctx c(m);
  if (!normalise_feed(c, z) || !valid_tp(T, P)) return r.status = Status::Failed;
  if (!tp_core(c, T, P, r, false)) return r.status = Status::Failed;
  return r.status;
}

Status flash_ph(const Model& m, double P, double H, std::span<const double> z, double T_guess,
                FlashResult& r) {
  return flash_p_fixed(m, P, H, z, T_guess, r, Fixed::H);
}

Status flash_ps(const Model& m, double P, double S, std::span<const double> z, double T_guess,
                FlashResult& r) {
  return flash_p_fixed(m, P, S, z, T_guess, r, Fixed::S);
}

namespace {
bool pv_newton(Ctx& c, double P, double beta, double T, FlashResult& r);
Status pv_by_tp_flashes(Ctx& c, double P, double beta, double T0, FlashResult& r);
}  // namespace

Status flash_pv(const Model& m, double P, double beta, std::span<const double> zin, double T_guess,
                FlashResult& r) {
  r = FlashResult{};
  if (!(beta >= 0 && beta <= 1)) return r.status = Status::Failed;
  if (m.own_flash(Model::FlashSpec::PV, P, beta, zin, r)) return r.status;
  Ctx c(m);
  if (!normalise_feed(c, zin) || !std::isfinite(P) || !(P > 0)) return r.status = Status::Failed;
  r.P = P;
  if (c.active.size() == 1) {
    double ts;
    if (!saturation_temperature(m, c.active[0], P, ts)) return r.status = Status::Failed;
    r.T = ts;
    r.beta = beta;
    r.x = c.z;
    r.y = c.z;
    if (!mixture_hs(c, r)) return r.status = Status::Failed;
    return r.status = Status::Ok;
  }
  // Initial temperature and K from Wilson's correlation.
  auto wilson_f = [&](double T) {
    double f = 0;
    for (int i : c.active) {
      const double k = wilson_k(m.component(i), T, P);
      f += c.z[i] * (k - 1) / (1 + beta * (k - 1));
    }
    return f;
  };
  double T = std::isfinite(T_guess) && T_guess >= kTmin && T_guess <= kTmax ? T_guess : 300.0;
  if (wilson_f(kTmin) < 0 && wilson_f(kTmax) > 0) {
    // A hundred geometric bisections (to the resolution of a double).
    auto f = [&](double t, double& v) {
      v = wilson_f(t);
      return true;
    };
    T = num::bisect(f, kTmin, kTmax, 0, 100, num::RootStep::BisectGeometric).x;
  }
  const double t_start = T;
  if (pv_newton(c, P, beta, T, r)) {
    // Accept only what a TP flash confirms: the feed all liquid just below a
    // bubble point, all vapour just above a dew point, the same vapour
    // fraction in between (a bubble point of a liquid that would itself
    // split is no phase boundary).
    FlashResult chk;
    const double tc = beta == 0 ? r.T * (1 - 1e-7) : beta == 1 ? r.T * (1 + 1e-7) : r.T;
    if (tp_core(c, tc, P, chk, false) &&
        (beta == 0   ? chk.beta == 0.0
         : beta == 1 ? chk.beta == 1.0
                     : std::abs(chk.beta - beta) < 1e-6))
      return r.status;
  }
  r = FlashResult{};
  r.P = P;
  return pv_by_tp_flashes(c, P, beta, t_start, r);
}

namespace {

// Newton on T for the Rachford-Rice function at fixed beta, compositions by
// successive substitution, from Wilson K-values at T.
bool pv_newton(Ctx& c, double P, double beta, double T, FlashResult& r) {
  const Model& m = c.m;
  for (int i = 0; i < c.n; ++i) c.K[i] = wilson_k(m.component(i), T, P);
  split(c, beta);
  std::vector<double> dtl(c.n), dtv(c.n);
  for (int it = 0; it < 500; ++it) {
    LnPhiDerivatives dl{dtl, {}, {}}, dv{dtv, {}, {}};
    if (!ok(m.ln_fugacity_coefficients(Phase::Liquid, T, P, c.x, c.lpl, &dl)) ||
        !ok(m.ln_fugacity_coefficients(Phase::Vapour, T, P, c.y, c.lpv, &dv)))
      return false;
    double F = 0, dF = 0, triv = 0;
    for (int i : c.active) {
      const double lk = c.lpl[i] - c.lpv[i];
      c.K[i] = std::exp(lk);
      triv += lk * lk;
      const double den = 1 + beta * (c.K[i] - 1);
      F += c.z[i] * (c.K[i] - 1) / den;
      dF += c.z[i] * c.K[i] * (dtl[i] - dtv[i]) / (den * den);
    }
    if (triv < 1e-10 || !std::isfinite(F)) return false;
    double dT = dF > 0 ? -F / dF : (F > 0 ? -0.05 * T : 0.05 * T);
    dT = std::clamp(dT, -0.1 * T, 0.1 * T);
    // Compositions from the current K.
    double dcomp = 0;
    for (int i = 0; i < c.n; ++i) {
      c.t1[i] = c.x[i];
      c.w[i] = c.y[i];
    }
    split(c, beta);
    for (int i = 0; i < c.n; ++i) dcomp += std::abs(c.x[i] - c.t1[i]) + std::abs(c.y[i] - c.w[i]);
    if (std::abs(dT) < 1e-10 * T && dcomp < 1e-11 && std::abs(F) < 1e-10) {
      r.T = T;
      r.beta = beta;
      r.x = c.x;
      r.y = c.y;
      if (!mixture_hs(c, r)) return false;
      r.status = Status::Ok;
      return true;
    }
    T += dT;
    if (T < kTmin || T > kTmax) return false;
  }
  return false;
}

// Fallback: TP flashes. For 0 < beta < 1 the temperature where the TP
// flash's vapour fraction equals beta; for the bubble (dew) point the
// temperature where vapour (liquid) first appears, by bisection.
Status pv_by_tp_flashes(Ctx& c, double P, double beta, double T0, FlashResult& r) {
  FlashResult cur;
  bool warm = false;
  auto flash_at = [&](double t) {
    if (!tp_core(c, t, P, cur, warm)) return false;
    warm = cur.beta > 0 && cur.beta < 1;
    return true;
  };
  r.status = Status::Failed;
  if (beta > 0 && beta < 1) {
    double T = T0;
    auto eval = [&](double t, double& F, double& slope) {
      if (!flash_at(t)) return false;
      F = cur.beta - beta;
      slope = 0;
      return true;
    };
    const num::RootStatus end = solve_increasing(eval, T, 1e-11);
    if ((end != num::RootStatus::Converged && end != num::RootStatus::Narrowed) || !flash_at(T))
      return Status::Failed;
    if (end == num::RootStatus::Narrowed) {
      // The vapour fraction jumps from 0 to 1 at T: the mixture boils like a
      // pure component, any fraction of it vaporised at this temperature.
      // A relabelled single phase (one root, continuous properties) is not a
      // phase change: the enthalpy must jump.
      FlashResult below;
      if (!tp_core(c, T * (1 - 1e-10), P, below, false) || below.beta != 0.0 ||
          !flash_at(T) || cur.beta != 1.0 || !(cur.H - below.H > 1e-3 * kGasConstant * T))
        return Status::Failed;
      r = cur;
      r.T = T;
      r.beta = beta;
      r.x = c.z;
      r.y = c.z;
      if (!mixture_hs(c, r)) return Status::Failed;
      return r.status = Status::Ok;
    }
    if (!(cur.beta > 0 && cur.beta < 1)) return Status::Failed;
    r = cur;
    return r.status = Status::Ok;
  }
  // Bubble point: lo all liquid, hi two-phase (or vapour); dew point: lo
  // liquid or two-phase, hi all vapour.
  auto inside = [&](double t, bool& in) {
    if (!flash_at(t)) return false;
    in = beta == 0 ? cur.beta > 0 : cur.beta >= 1;
    return true;
  };
  double lo = T0, hi = T0;
  bool in;
  if (!inside(T0, in)) return Status::Failed;
  for (int it = 0; it < 200; ++it) {
    if (in) {
      hi = lo;
      lo = std::max(kTmin, lo / 1.05);
      if (!inside(lo, in)) return Status::Failed;
      if (!in) break;
      if (lo <= kTmin) return Status::Failed;
    } else {
      lo = hi;
      hi = std::min(kTmax, hi * 1.05);
      if (!inside(hi, in)) return Status::Failed;
      if (in) break;
      if (hi >= kTmax) return Status::Failed;
    }
  }
  if (!(hi > lo)) return Status::Failed;
  {
    auto f = [&](double t, double& v) {
      if (!inside(t, in)) return false;
      v = in ? 1.0 : -1.0;
      return true;
    };
    const num::RootResult r = num::bisect(f, lo, hi, 1e-10, 100);
    if (r.status == num::RootStatus::Failed) return Status::Failed;
    lo = r.lo;
    hi = r.hi;
  }
  // The incipient phase's composition from the two-phase side. Without a
  // two-phase side the boundary must be a genuine jump from liquid to vapour
  // (a pure-like mixture), not a relabelled single phase.
  FlashResult other;
  if (!tp_core(c, beta == 0 ? lo : hi, P, other, false)) return Status::Failed;
  const double t = beta == 0 ? hi : lo;
  if (!flash_at(t)) return Status::Failed;
  const bool two = cur.beta > 0 && cur.beta < 1;
  // The new phase must appear continuously (a vapour fraction jumping to a
  // finite value marks a split the flash found on one side only).
  if (two && (beta == 0 ? cur.beta > 1e-4 : cur.beta < 1 - 1e-4)) return Status::Failed;
  if (!two) {
    const FlashResult& l = beta == 0 ? other : cur;
    const FlashResult& v = beta == 0 ? cur : other;
    if (!(l.beta == 0.0 && v.beta == 1.0 && v.H - l.H > 1e-3 * kGasConstant * t))
      return Status::Failed;
  }
  r = cur;
  r.T = t;
  r.beta = beta;
  if (beta == 0) {
    r.x = c.z;
    if (!two) r.y = c.z;
  } else {
    r.y = c.z;
    if (!two) r.x = c.z;
  }
  if (!mixture_hs(c, r)) return Status::Failed;
  return r.status = Status::Ok;
}

}  // namespace

}  // namespace r3::thermo
