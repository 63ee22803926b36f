#include "host/solver/linear.h"

#include <Eigen/SparseLU>
#include <cmath>

#ifdef R3_HAVE_KLU
#include <klu.h>
#endif

namespace r3::host {

bool LinearSolver::same_pattern(const Eigen::SparseMatrix<double>& J) {
  const int n = static_cast<int>(J.outerSize());
  const int nnz = static_cast<int>(J.nonZeros());
  const bool same = static_cast<int>(outer_.size()) == n + 1 && static_cast<int>(inner_.size()) == nnz &&
                    std::equal(outer_.begin(), outer_.end(), J.outerIndexPtr()) &&
                    std::equal(inner_.begin(), inner_.end(), J.innerIndexPtr());
  if (!same) {
    outer_.assign(J.outerIndexPtr(), J.outerIndexPtr() + n + 1);
    inner_.assign(J.innerIndexPtr(), J.innerIndexPtr() + nnz);
  }
  return same;
}

namespace {

class EigenLu final : public LinearSolver {
 public:
  bool factorise(const Eigen::SparseMatrix<double>& J) override {
    if (!same_pattern(J)) {
      lu_.analyzePattern(J);
      ++analyses_;
    }
    lu_.factorize(J);
    return lu_.info() == Eigen::Success;
  }
  bool solve(const Eigen::VectorXd& b, Eigen::VectorXd& x) override {
    x = lu_.solve(b);
    return lu_.info() == Eigen::Success;
  }

 private:
  Eigen::SparseLU<Eigen::SparseMatrix<double>, Eigen::COLAMDOrdering<int>> lu_;
};

#ifdef R3_HAVE_KLU
// KLU: analysis (block-triangular form and ordering) once per pattern, a full
// factorisation with pivoting once, then numeric refactorisations with the
// same pivots while they stay well conditioned.
class Klu final : public LinearSolver {
 public:
  Klu() { klu_defaults(&common_); }
  ~Klu() override { release(); }
  bool factorise(const Eigen::SparseMatrix<double>& J) override {
    const int n = static_cast<int>(J.rows());
    if (J.rows() != J.cols()) return false;
    n_ = n;
    if (!same_pattern(J) || symbolic_ == nullptr) {
      release();
      symbolic_ = klu_analyze(n, const_cast<int*>(J.outerIndexPtr()), const_cast<int*>(J.innerIndexPtr()), &common_);
      ++analyses_;
      if (symbolic_ == nullptr) return false;
    }
    int* ap = const_cast<int*>(J.outerIndexPtr());
    int* ai = const_cast<int*>(J.innerIndexPtr());
    double* ax = const_cast<double*>(J.valuePtr());
    if (numeric_ != nullptr && klu_refactor(ap, ai, ax, symbolic_, numeric_, &common_) &&
        klu_rcond(symbolic_, numeric_, &common_) && common_.rcond > 1e-12) {
      return true;
    }
    if (numeric_ != nullptr) klu_free_numeric(&numeric_, &common_);
    numeric_ = klu_factor(ap, ai, ax, symbolic_, &common_);
    return numeric_ != nullptr && common_.status == KLU_OK;
  }
  bool solve(const Eigen::VectorXd& b, Eigen::VectorXd& x) override {
    if (numeric_ == nullptr) return false;
    x = b;
    return klu_solve(symbolic_, numeric_, n_, 1, x.data(), &common_) != 0;
  }

 private:
  void release() {
    if (numeric_ != nullptr) klu_free_numeric(&numeric_, &common_);
    if (symbolic_ != nullptr) klu_free_symbolic(&symbolic_, &common_);
  }
  klu_common common_;
  klu_symbolic* symbolic_ = nullptr;
  klu_numeric* numeric_ = nullptr;
  int n_ = 0;
};
#endif

}  // namespace

LinearSolver::Kind LinearSolver::default_kind() {
#ifdef R3_HAVE_KLU
  return Kind::Klu;
#else
  return Kind::EigenLu;
#endif
}

std::unique_ptr<LinearSolver> LinearSolver::make(Kind kind) {
#ifdef R3_HAVE_KLU
  if (kind == Kind::Klu) return std::make_unique<Klu>();
#endif
  (void)kind;
  return std::make_unique<EigenLu>();
}

}  // namespace r3::host
