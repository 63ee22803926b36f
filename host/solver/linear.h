// The sparse linear solve of a Newton iteration. The symbolic analysis
// (ordering, and with KLU the block-triangular form) is kept while the
// Jacobian's pattern stays the same, across iterations and across solves, so
// an iteration refactorises numerically only.
#pragma once

#include <Eigen/Sparse>
#include <memory>
#include <vector>

namespace r3::host {

class LinearSolver {
 public:
  enum class Kind { EigenLu, Klu };
  // KLU when the host was built with it, otherwise Eigen's SparseLU.
  static Kind default_kind();
  static std::unique_ptr<LinearSolver> make(Kind kind);
  virtual ~LinearSolver() = default;
  // Factorises J (compressed, column major); false when it is singular.
  // The analysis is redone only when J's pattern differs from the last one.
  virtual bool factorise(const Eigen::SparseMatrix<double>& J) = 0;
  // Solves J x = b with the last factorisation; false on failure.
  virtual bool solve(const Eigen::VectorXd& b, Eigen::VectorXd& x) = 0;
  // How many symbolic analyses have been made (for tests and benchmarks).
  int analyses() const { return analyses_; }

 protected:
  bool same_pattern(const Eigen::SparseMatrix<double>& J);
  int analyses_ = 0;

 private:
  std::vector<int> outer_, inner_;
};

}  // namespace r3::host
