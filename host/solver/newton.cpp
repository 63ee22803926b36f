// Newton-Raphson on the flowsheet's free variables, in scaled variables and
// scaled residuals.
//
// Step control: each variable's step is limited on its own, to its step bound
// (YSBND) times the larger of its scale and its current magnitude, so that a
// variable far from its start is not held to a crawl and one tightly bounded
// variable does not shorten the steps of all the others. The limited step is
// projected onto the bounds and searched along (halving) until the scaled
// residuals' sum of squares falls. A step that reduces the residuals by less
// than a tenth is checked against the whole Newton step judged by the
// simplified Newton correction (independent of the equations' scaling), and
// a singular Jacobian at the start is stepped past by Levenberg-Marquardt.
//
// Convergence: the largest scaled residual |f_i / FSCL_i| at or below the
// tolerance (and the last scaled step below 1e-5, so that the values have
// settled too). The test does not depend on the number of equations.
#include <Eigen/Sparse>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <Eigen/SparseCholesky>

#include "host/solver/flowsheet.h"
#include "host/solver/linear.h"

namespace r3::host {
namespace {

double max_abs(const std::vector<double>& v) {
  double m = 0.0;
  for (double e : v) m = std::max(m, std::fabs(e));
  return m;
}

double sum_squares(const std::vector<double>& v) {
  double s = 0.0;
  for (double e : v) s += e * e;
  return s;
}

size_t worst_index(const std::vector<double>& v) {
  size_t w = 0;
  for (size_t i = 1; i < v.size(); ++i) {
    if (std::fabs(v[i]) > std::fabs(v[w])) w = i;
  }
  return w;
}

// Iterations looked back over to tell a stall from slow progress.
constexpr int kStallWindow = 6;
// Relative fall of the residuals' norm over that window below which the
// solve has stalled.
constexpr double kStallFall = 1e-3;
// Largest scaled step after which the values count as settled.
constexpr double kSettledStep = 1e-5;
// A Newton step (limited or cut) that reduces the norm of the scaled
// residuals by less than this fraction points poorly; a Levenberg-Marquardt
// step is tried as well.
constexpr double kPoorFall = 0.1;

// Levenberg-Marquardt step in scaled variables: (J'J + mu D) d = J'r with
// D the diagonal of J'J (floored, so a column of zeros still gets a step of
// zero rather than a singular system). Large mu turns it towards steepest
// descent with short steps; small mu towards the Newton step. It exists also
// where J is singular (a recycle whose loop gain starts at exactly one).
bool marquardt_step(const Eigen::SparseMatrix<double>& J, const Eigen::VectorXd& r, double mu,
                    Eigen::VectorXd& d) {
  Eigen::SparseMatrix<double> A = Eigen::SparseMatrix<double>(J.transpose()) * J;
  const Eigen::VectorXd g = J.transpose() * r;
  double dmax = 0.0;
  for (Eigen::Index k = 0; k < A.cols(); ++k) dmax = std::max(dmax, A.coeff(k, k));
  if (!(dmax > 0.0) || !std::isfinite(dmax)) return false;
  for (Eigen::Index k = 0; k < A.cols(); ++k) {
    A.coeffRef(k, k) += mu * std::max(A.coeff(k, k), 1e-12 * dmax);
  }
  Eigen::SimplicialLDLT<Eigen::SparseMatrix<double>> ldlt(A);
  if (ldlt.info() != Eigen::Success) return false;
  d = ldlt.solve(g);
  return ldlt.info() == Eigen::Success && d.allFinite();
}

}  // namespace

SolveReport Flowsheet::solve(int max_iterations, double tolerance, std::FILE* progress) {
  SolveReport rep;
  rep.state = "not converged";
  std::vector<int> free;
  std::vector<int> col_of(vars_.size(), -1);
  for (size_t i = 0; i < vars_.size(); ++i) {
    if (!vars_[i].fixed) {
      col_of[i] = static_cast<int>(free.size());
      free.push_back(static_cast<int>(i));
    }
  }
  std::vector<double> x(vars_.size());
  for (size_t i = 0; i < vars_.size(); ++i) x[i] = vars_[i].value;
  if (start_.size() != x.size()) start_ = x;
  std::vector<double> f, fnew;
  if (!evaluate(x, f)) {
    rep.outcome = Outcome::NotSolved;
    rep.residual_norm = -1.0;
    if (failed_block_ >= 0) rep.failed_block = blocks_[static_cast<size_t>(failed_block_)]->id;
    rep.message = "the residuals cannot be evaluated at the initial point" +
                  (rep.failed_block.empty() ? std::string() : " (block " + rep.failed_block + ")");
    return rep;
  }
  auto worst = [&](const std::vector<double>& v) {
    return v.empty() ? std::string("-") : equation_name(static_cast<int>(worst_index(v)));
  };
  double fmax = max_abs(f), merit = sum_squares(f);
  if (progress) {
    std::fprintf(progress, "%5s  %-12s  %-12s  %s\n", "iter", "max resid", "max step", "worst equation");
    std::fprintf(progress, "%5d  %12.5e  %12s  %s\n", 0, fmax, "-", worst(f).c_str());
  }
  if (!lu_) lu_ = LinearSolver::make(LinearSolver::default_kind());
  std::vector<int> rows, cols;
  std::vector<double> vals;
  std::vector<Eigen::Triplet<double>> trip;
  std::vector<double> history{std::sqrt(merit)}, steps;
  std::vector<int> held_count(free.size(), 0);
  std::vector<double> dx(free.size()), dclip(free.size()), dl(free.size()), xt;
  mu_ = 1e-3;
  bool newton_seen = false;
  Eigen::VectorXd rhs(neq_), dxs;
  int it = 0;
  // Converged: the residuals within the tolerance, and the last step small
  // enough that the values have settled as well (a step of s leaves an error
  // of about s squared near a solution).
  double last_step = 0.0;
  const auto done = [&] { return fmax <= tolerance && last_step <= kSettledStep; };
  while (!done() && it < max_iterations) {
    ++it;
    if (static_cast<int>(free.size()) != neq_) {
      rep.message = "the system is not square: " + std::to_string(free.size()) + " free variables for " +
                    std::to_string(neq_) + " equations";
      break;
    }
    if (!jacobian(x, rows, cols, vals)) {
      if (failed_block_ >= 0) rep.failed_block = blocks_[static_cast<size_t>(failed_block_)]->id;
      rep.message = "the Jacobian cannot be evaluated at iteration " + std::to_string(it) +
                    (rep.failed_block.empty() ? std::string() : " (block " + rep.failed_block + ")");
      break;
    }
    trip.clear();
    trip.reserve(vals.size());
    for (size_t k = 0; k < vals.size(); ++k) {
      const int c = col_of[static_cast<size_t>(cols[k])];
      if (c >= 0) trip.emplace_back(rows[k], c, vals[k]);
    }
    Eigen::SparseMatrix<double> J(neq_, static_cast<int>(free.size()));
    J.setFromTriplets(trip.begin(), trip.end());
    J.makeCompressed();
    for (int i = 0; i < neq_; ++i) rhs[i] = -f[static_cast<size_t>(i)];
    const bool singular = !lu_->factorise(J) || !lu_->solve(rhs, dxs);
    if (singular) dxs = Eigen::VectorXd::Zero(static_cast<Eigen::Index>(free.size()));
    // A singular Jacobian at the start (a recycle's default split giving its
    // loop a gain of one) is stepped past; one met after Newton steps, with
    // variables pushed onto bounds, stops the solve for the diagnosis.
    if (singular && newton_seen) {
      rep.message = "the Jacobian is singular at iteration " + std::to_string(it);
      break;
    }
    newton_seen = newton_seen || !singular;
    // Unscaled Newton step, and the same step with each variable limited on
    // its own; `ratio` is the largest fraction of the whole step that keeps
    // every variable within its limit.
    for (size_t j = 0; j < free.size(); ++j) {
      dx[j] = dxs[static_cast<Eigen::Index>(j)] * safe_scale(vars_[static_cast<size_t>(free[j])].scale);
      if (!std::isfinite(dx[j])) dx[j] = 0.0;
    }
    if (release_guessed_bounds(x, dx, free, held_count, progress)) {
      history.assign(1, history.back());  // a new start for the stall test
      steps.clear();
    }
    double ratio = 1.0;
    for (size_t j = 0; j < free.size(); ++j) {
      const Variable& v = vars_[static_cast<size_t>(free[j])];
      const double xj = x[static_cast<size_t>(free[j])];
      dclip[j] = dx[j];
      if (v.step != kRmiss && v.step > 0.0) {
        const double bound = v.step * std::max(safe_scale(v.scale), std::fabs(xj));
        dclip[j] = std::clamp(dx[j], -bound, bound);
        if (std::fabs(dx[j]) > bound) ratio = std::min(ratio, bound / std::fabs(dx[j]));
      }
    }
    // A trial point x + a d, kept inside the bounds.
    double merit_t = merit;
    auto trial = [&](const std::vector<double>& d, double a) {
      xt = x;
      for (size_t j = 0; j < free.size(); ++j) {
        const Variable& v = vars_[static_cast<size_t>(free[j])];
        double nv = x[static_cast<size_t>(free[j])] + a * d[j];
        if (v.lower != kRmiss) nv = std::max(nv, v.lower);
        if (v.upper != kRmiss) nv = std::min(nv, v.upper);
        xt[static_cast<size_t>(free[j])] = nv;
      }
      if (!evaluate(xt, fnew)) return false;
      merit_t = sum_squares(fnew);
      return std::isfinite(merit_t);
    };
    const auto decrease = [&](double a) { return std::sqrt(merit_t) < (1.0 - 1e-4 * a) * std::sqrt(merit); };
    // First the step with each variable limited on its own, so that one
    // tightly limited variable does not hold back the others. When that does
    // not reduce the residuals, the whole Newton step shortened to the limits
    // (its direction kept), halved until the sum of squares of the scaled
    // residuals falls.
    bool accepted = !singular && ratio < 1.0 && trial(dclip, 1.0) && decrease(1.0);
    double alpha = ratio;
    if (!accepted && !singular) {
      for (int cut = 0; cut < 12 && !accepted; ++cut, alpha *= 0.5) {
        if (trial(dx, alpha) && (decrease(alpha) || cut == 11)) accepted = true;
      }
    }
    // A Newton step that reduces the residuals too little (the sum of
    // squares, which depends on how the equations are scaled, rejects it
    // when several variables must change by large factors at once): the
    // whole Newton step is judged instead by the Newton step that would
    // remain after it, the simplified correction J(x)^-1 f(x + dx) in scaled
    // variables, which does not depend on the equations' scaling. Each
    // variable goes at most 90 % of the way to a bound it would cross, not
    // onto it, where a model's equation may degenerate (a valve coefficient
    // at its lower limit).
    // Where there is no Newton step (a singular Jacobian at the start) or no
    // trial point can be evaluated: Levenberg-Marquardt steps, from the
    // damping that served last.
    // Where the residuals are already within the tolerance, the step only
    // settles the values, and the cut Newton step serves.
    if (singular || (fmax > tolerance && (!accepted || std::sqrt(merit_t) > (1.0 - kPoorFall) * std::sqrt(merit)))) {
      std::vector<double> xn, fn;
      double merit_n = merit;
      if (accepted) {
        xn = xt;
        fn = fnew;
        merit_n = merit_t;
      }
      bool better = false;
      for (size_t j = 0; j < free.size(); ++j) {
        const Variable& v = vars_[static_cast<size_t>(free[j])];
        const double xj = x[static_cast<size_t>(free[j])];
        dl[j] = dx[j];
        if (v.lower != kRmiss && xj + dl[j] < v.lower) dl[j] = 0.9 * std::min(0.0, v.lower - xj);
        if (v.upper != kRmiss && xj + dl[j] > v.upper) dl[j] = 0.9 * std::max(0.0, v.upper - xj);
      }
      if (!singular && trial(dl, 1.0)) {
        Eigen::VectorXd rt(neq_), ct;
        for (int i = 0; i < neq_; ++i) rt[i] = -fnew[static_cast<size_t>(i)];
        better = lu_->solve(rt, ct) && ct.allFinite() && ct.norm() <= 0.75 * dxs.norm();
      }
      for (int tries = 0; tries < 10 && !better && (singular || !accepted); ++tries) {
        if (marquardt_step(J, rhs, mu_, dxs)) {
          for (size_t j = 0; j < free.size(); ++j)
            dl[j] = dxs[static_cast<Eigen::Index>(j)] * safe_scale(vars_[static_cast<size_t>(free[j])].scale);
          better = trial(dl, 1.0) && decrease(0.0) && merit_t < merit_n;
        }
        if (better) {
          mu_ = std::max(mu_ * 0.1, 1e-10);
        } else {
          mu_ *= 10.0;
        }
      }
      if (better) {
        accepted = true;
      } else if (accepted) {
        xt.swap(xn);
        fnew.swap(fn);
        merit_t = merit_n;
      }
      if (!better && singular) {
        rep.message = "the Jacobian is singular at iteration " + std::to_string(it);
        break;
      }
    }
    if (!accepted) {
      rep.message = "no step reduces the residuals at iteration " + std::to_string(it);
      break;
    }
    double step = 0.0;
    for (size_t j = 0; j < free.size(); ++j) {
      const size_t g = static_cast<size_t>(free[j]);
      step = std::max(step, std::fabs(xt[g] - x[g]) / safe_scale(vars_[g].scale));
    }
    x.swap(xt);
    f.swap(fnew);
    merit = merit_t;
    fmax = max_abs(f);
    last_step = step;
    history.push_back(std::sqrt(merit));
    steps.push_back(step);

    if (progress) std::fprintf(progress, "%5d  %12.5e  %12.5e  %s\n", it, fmax, step, worst(f).c_str());
    // A stall: over the last iterations the residuals have stopped falling;
    // more iterations would repeat the same point.
    if (static_cast<int>(steps.size()) >= kStallWindow && fmax > tolerance &&
        history.back() > (1.0 - kStallFall) * history[history.size() - 1 - kStallWindow]) {
      rep.message = "the residuals stopped falling at iteration " + std::to_string(it);
      break;
    }
  }
  // Variables the last Newton step would have taken past a bound.
  held_.assign(vars_.size(), 0);
  for (size_t j = 0; j < free.size() && !steps.empty(); ++j) {
    const Variable& v = vars_[static_cast<size_t>(free[j])];
    const double nv = x[static_cast<size_t>(free[j])] + dx[j];
    if ((v.lower != kRmiss && nv < v.lower) || (v.upper != kRmiss && nv > v.upper)) held_[static_cast<size_t>(free[j])] = 1;
  }
  for (size_t i = 0; i < vars_.size(); ++i) vars_[i].value = x[i];
  to_blocks(x);
  rep.iterations = it;
  rep.residual_norm = fmax;
  rep.converged = fmax <= tolerance;
  rep.outcome = rep.converged ? Outcome::Solved : Outcome::NotSolved;
  if (rep.converged) {
    rep.state = "converged";
    rep.message.clear();
    return rep;
  }
  if (rep.message.empty()) rep.message = "not converged in " + std::to_string(max_iterations) + " iterations";
  if (!f.empty()) {
    const int w = static_cast<int>(worst_index(f));
    rep.failed_equation = equation_name(w);
    const int b = block_of_equation(w);
    if (rep.failed_block.empty() && b >= 0) rep.failed_block = blocks_[static_cast<size_t>(b)]->id;
  }
  rep.diagnosis = diagnose(x, f, history, steps, it < max_iterations);
  return rep;
}

// A block computes some bounds from its inlet conditions at its
// initialisation (a valve's pressure drop is bounded by its inlet pressure).
// When another block produces the inlet, those conditions were only a guess;
// a bound the Newton step keeps pushing against for two iterations running
// is then released, once, and the release is reported as a warning.
bool Flowsheet::release_guessed_bounds(const std::vector<double>& x, const std::vector<double>& dx,
                                       const std::vector<int>& free, std::vector<int>& held_count,
                                       std::FILE* progress) {
  bool released = false;
  for (size_t j = 0; j < free.size(); ++j) {
    Variable& v = vars_[static_cast<size_t>(free[j])];
    const double xj = x[static_cast<size_t>(free[j])];
    // Held: the full Newton step from the current point would cross it.
    const bool lo = v.lower != kRmiss && dx[j] < 0.0 && xj + dx[j] < v.lower;
    const bool hi = v.upper != kRmiss && dx[j] > 0.0 && xj + dx[j] > v.upper;
    held_count[j] = (lo || hi) ? held_count[j] + 1 : 0;
    if (held_count[j] < 2 || v.block < 0) continue;
    const BlockDef& d = case_.blocks[static_cast<size_t>(v.block)];
    if (v.name.rfind(d.id + ".", 0) != 0) continue;  // stream variables keep their bounds
    // The bound is one of the block's inlet conditions at the start, and
    // another block produces that inlet.
    const double bound = hi ? v.upper : v.lower;
    bool guessed_inlet = false;
    for (int g : links_[static_cast<size_t>(v.block)].vars) {
      const std::string sid = vars_[static_cast<size_t>(g)].name.substr(0, vars_[static_cast<size_t>(g)].name.find('.'));
      if (std::find(d.inlets.begin(), d.inlets.end(), sid) == d.inlets.end() || is_feed(sid)) continue;
      const double x0 = start_[static_cast<size_t>(g)];
      guessed_inlet = guessed_inlet || std::fabs(x0 - bound) <= 1e-9 * std::max(1.0, std::fabs(bound));
    }
    bool user_bound = false;
    for (const auto& [name, lim] : d.bounds) user_bound = user_bound || name == v.name || d.id + "." + name == v.name;
    if (!guessed_inlet || user_bound) continue;
    Warning w;
    w.block = d.id;
    w.variable = v.name;
    w.value = hi ? v.upper : v.lower;
    w.has_value = true;
    char buf[96];
    std::snprintf(buf, sizeof buf, "%.6g", w.value);
    w.message = std::string("the ") + (hi ? "upper" : "lower") + " bound " + buf + " " + unit_label(v.type) +
                " of " + v.name + ", which block " + d.id +
                " set from the guessed conditions of its inlet, held the solution back and was released";
    (hi ? v.upper : v.lower) = kRmiss;
    if (progress) std::fprintf(progress, "       %s\n", w.message.c_str());
    warnings_.push_back(w);
    held_count[j] = 0;
    released = true;
  }
  return released;
}

void Flowsheet::use_klu(bool klu) {
  lu_ = LinearSolver::make(klu ? LinearSolver::Kind::Klu : LinearSolver::Kind::EigenLu);
}

Diagnosis Flowsheet::diagnose(const std::vector<double>& x, const std::vector<double>& f,
                              const std::vector<double>& history, const std::vector<double>& steps,
                              bool stopped_early) const {
  Diagnosis d;
  for (size_t i = 0; i < vars_.size(); ++i) {
    const Variable& v = vars_[i];
    if (v.fixed) continue;
    const auto near = [](double a, double b) { return std::fabs(a - b) <= 1e-9 * std::max(1.0, std::fabs(b)); };
    const bool lo = v.lower != kRmiss && near(x[i], v.lower);
    const bool hi = v.upper != kRmiss && near(x[i], v.upper);
    if (!lo && !hi) continue;
    Diagnosis::OnBound b;
    b.variable = v.name;
    b.value = x[i];
    b.upper = hi;
    b.bound = hi ? v.upper : v.lower;
    b.units = unit_label(v.type);
    b.held = i < held_.size() && held_[i] != 0;
    if (v.block >= 0) {
      const BlockDef& def = case_.blocks[static_cast<size_t>(v.block)];
      bool from_case = false;
      for (const auto& [name, lim] : def.bounds) {
        from_case = from_case || name == v.name || def.id + "." + name == v.name;
      }
      b.block = def.id + (from_case ? " (the case's bounds)" : "");
    }
    d.on_bounds.push_back(b);
  }
  std::vector<size_t> idx(f.size());
  for (size_t i = 0; i < idx.size(); ++i) idx[i] = i;
  const size_t top = std::min<size_t>(5, idx.size());
  std::partial_sort(idx.begin(), idx.begin() + static_cast<long>(top), idx.end(),
                    [&](size_t a, size_t b) { return std::fabs(f[a]) > std::fabs(f[b]); });
  for (size_t k = 0; k < top; ++k) {
    const int row = static_cast<int>(idx[k]);
    const int b = block_of_equation(row);
    d.largest.push_back({equation_name(row), b >= 0 ? blocks_[static_cast<size_t>(b)]->id : "", f[idx[k]]});
  }
  if (!steps.empty()) {
    // Over the last few iterations (the first, from the initial point, left
    // out when there are others): did the residuals' norm still fall, and
    // were the steps still of any size?
    const size_t n = steps.size(), w = std::min<size_t>(kStallWindow - 1, n > 1 ? n - 1 : 1);
    double biggest = 0.0;
    for (size_t k = n - w; k < n; ++k) biggest = std::max(biggest, steps[k]);
    const double fall = history.back() / std::max(history[history.size() - 1 - w], 1e-300);
    d.verdict = (fall > 0.99 && biggest < 1e-3) ? "infeasible" : "slow";
    // Stopped early (a singular Jacobian, no step that reduces the
    // residuals) against bounds the Newton step points past: no solution
    // within the bounds is in reach.
    bool held = false;
    for (const auto& b : d.on_bounds) held = held || b.held;
    if (stopped_early && held) d.verdict = "infeasible";
    else if (stopped_early && d.verdict == "slow") d.verdict = "singular";
  }
  return d;
}

std::string Diagnosis::text() const {
  char buf[512];
  std::string s = "\n DIAGNOSIS\n";
  if (verdict == "infeasible") {
    s += "   The residuals stopped falling, held by the bounds below or with steps gone to zero:\n"
         "   the specifications look infeasible (no solution within the bounds), not merely slow.\n";
  } else if (verdict == "singular") {
    s += "   The solve stopped before the iterations ran out (see the status): the equations\n"
         "   have no usable Newton step here; check the specifications and the starting point.\n";
  } else if (verdict == "slow") {
    s += "   The residuals were still falling: the solve looks slow, not infeasible; raise\n"
         "   max_iterations or give a better guess.\n";
  }
  if (!on_bounds.empty()) {
    s += "   Variables on a bound:\n";
    for (size_t k = 0; k < on_bounds.size() && k < 10; ++k) {
      const OnBound& b = on_bounds[k];
      std::snprintf(buf, sizeof buf, "     %-24s = %.6g %s on its %s bound %.6g %s (set by block %s)%s\n",
                    b.variable.c_str(), b.value, b.units.c_str(), b.upper ? "upper" : "lower", b.bound,
                    b.units.c_str(), b.block.c_str(), b.held ? ";\n       the Newton step points past it: the solution needs it moved" : "");
      s += buf;
    }
    if (on_bounds.size() > 10) s += "     ... (" + std::to_string(on_bounds.size()) + " in all)\n";
  }
  for (const OnBound& b : on_bounds) {
    if (!b.held) continue;
    const size_t dot = b.variable.find('.');
    const std::string blk = b.block.substr(0, b.block.find(' '));
    const std::string local = dot == std::string::npos ? b.variable : b.variable.substr(dot + 1);
    s += "   If the bound of " + b.variable + " is not a real limit, widen it in block " + blk + ": bounds = { " +
         (b.variable.rfind(blk + ".", 0) == 0 ? local : "\"" + b.variable + "\"") + " = [lower, upper] }\n";
  }
  if (!largest.empty()) {
    s += "   Largest scaled residuals:\n";
    for (const Residual& r : largest) {
      std::snprintf(buf, sizeof buf, "     %-24s %13.5e  (block %s)\n", r.equation.c_str(), r.value, r.block.c_str());
      s += buf;
    }
  }
  return s;
}

void Flowsheet::finish_report(SolveReport& rep) {
  if (neq_ > 0 || !vars_.empty()) rep.residual_norm = residual_norm();
  if (rep.residual_norm < 0.0 && failed_block_ >= 0) rep.failed_block = blocks_[static_cast<size_t>(failed_block_)]->id;
}

}  // namespace r3::host
