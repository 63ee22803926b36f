// A flowsheet of blocks solved as one equation system: the request sequence
// per block (dimensions, names, initialisation), assembly of all blocks into
// one system in which a stream joining two blocks is one set of variables,
// the degrees-of-freedom check, and a Newton-Raphson solve in scaled
// variables with sparse LU, bounds, step bounds and backtracking.
#pragma once

#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "framework/entry_protocol.h"
#include "host/case/case.h"
#include "host/services/block.h"
#include "host/solver/specs.h"

namespace r3::host {

// How a run ended; the values are r3sim's exit codes.
enum class Outcome : int {
  Solved = 0,
  BadInput = 1,       // case file or names
  ModelError = 2,     // a model answered ISTAT = 1
  NotSolved = 3,      // no convergence, degrees of freedom, singularity
};

// A variable's or an equation's scale as the solver uses it: a missing,
// zero or non-finite scale counts as 1.
inline double safe_scale(double s) { return (s == kRmiss || !(std::fabs(s) > 0.0)) ? 1.0 : std::fabs(s); }

struct Variable {
  std::string name;
  double value = 0, lower = 0, upper = 0, scale = 1, step = 0;
  bool fixed = false;
  int32_t type = 0;
  int block = -1;  // the block whose values (and bounds) the variable took
};

// Why a run that did not solve stopped, by name.
struct Diagnosis {
  struct OnBound {
    std::string variable, block, units;
    double value = 0, bound = 0;
    bool upper = false;
    bool held = false;  // the last Newton step pointed past the bound
  };
  struct Residual {
    std::string equation, block;
    double value = 0;  // scaled residual
  };
  std::vector<OnBound> on_bounds;     // free variables sitting on a bound
  std::vector<Residual> largest;      // largest scaled residuals, largest first
  // "infeasible" when the residuals stopped falling while the steps went to
  // zero, or the solve stopped early against bounds the Newton step points
  // past; "slow" when they were still falling as the iterations ran out;
  // "singular" when it stopped early otherwise; "" when no iteration was made.
  std::string verdict;
  std::string text() const;  // several lines, for people
};

struct SolveReport {
  Outcome outcome = Outcome::Solved;
  bool converged = false;
  int iterations = 0;
  // Largest scaled residual |f_i / FSCL_i| at the final point: the quantity
  // the convergence test compares with the tolerance. Negative when the
  // residuals cannot be evaluated there.
  double residual_norm = 0;
  std::string message;  // why it stopped, when not solved
  // "converged", "not converged", "specification error", "model failure"
  // or "bad input".
  std::string state = "converged";
  std::string failed_block, failed_equation;  // empty when none
  std::optional<Diagnosis> diagnosis;  // set when the solve did not converge
};

// A warning about an input a user has almost certainly got wrong; the run
// goes on.
struct Warning {
  std::string block, variable;
  double value = 0;
  bool has_value = false;
  std::string message;
};

class LinearSolver;

class Flowsheet {
 public:
  Flowsheet();
  ~Flowsheet();
  Flowsheet(const Flowsheet&) = delete;
  Flowsheet& operator=(const Flowsheet&) = delete;
  using Resolver = std::function<EntryFn(const std::string& model)>;

  // Sets up the run (components, method, report units) and one host block per
  // case block. False with a message when a model is not in the library.
  bool build(const Case& c, const Resolver& resolve, std::string& error);

  // Dimensions, names and initialisation of every block (upstream blocks
  // first), the case's specifications applied, then the assembly into one
  // system. A model's failure gives ModelError, a bad name BadInput.
  Outcome initialise(std::string& error);

  // Degrees of freedom and structural check; Solved when square and
  // structurally non-singular, otherwise NotSolved with a message naming the
  // specifications missing or in surplus.
  Outcome check_structure(std::string& error) const;

  // Newton-Raphson from the current values. Progress lines go to `progress`
  // unless it is null.
  SolveReport solve(int max_iterations, double tolerance, std::FILE* progress);

  // The sparse LU used by solve(): KLU (true) or Eigen's SparseLU (false).
  // KLU is the default when the host has it; a request for KLU without it
  // keeps SparseLU.
  void use_klu(bool klu);

  // Writes the solved values back into the streams (stream update of every
  // block) and asks every block for its report on the report unit.
  void update_streams();
  void write_reports();

  // Largest scaled residual at the current values (-1 when an evaluation
  // fails).
  double residual_norm();
  // Fills the state, residual norm and failed block/equation of a report for
  // a run stopped before or by the solve (a structure error, say).
  void finish_report(SolveReport& rep);
  // Warnings found while setting up the run (suspicious inputs).
  const std::vector<Warning>& warnings() const { return warnings_; }

  const std::vector<Variable>& variables() const { return vars_; }
  // Current values of all variables, and setting them back (same order).
  std::vector<double> values() const;
  void set_values(const std::vector<double>& x);
  int equation_count() const { return neq_; }
  std::vector<std::unique_ptr<Block>>& blocks() { return blocks_; }
  const Case& definition() const { return case_; }
  // Stream vector of a stream after the update (LSTRM reals, or one value).
  const std::vector<double>* stream_vector(const std::string& id) const;
  std::string equation_name(int global_row) const;
  int block_of_equation(int global_row) const;
  // SI unit label of a variable type (empty when dimensionless or unknown).
  static std::string unit_label(int32_t type);

 private:
  struct BlockLink {
    int block;              // index into blocks_
    std::vector<int> vars;  // local variable (0-based) -> global variable
    int eq_offset = 0;      // first global equation of the block (0-based)
  };
  bool evaluate(const std::vector<double>& x, std::vector<double>& f);
  bool jacobian(const std::vector<double>& x, std::vector<int>& rows, std::vector<int>& cols,
                std::vector<double>& vals);
  void to_blocks(const std::vector<double>& x);
  bool fill_feed(Block& b, int k, const StreamDef& s, std::string& error);
  std::vector<int> order() const;
  bool is_feed(const std::string& stream) const;
  bool produced_by_block(const std::string& var_name) const;

  Case case_;
  std::vector<std::unique_ptr<Block>> blocks_;
  std::vector<BlockLink> links_;
  std::vector<Variable> vars_;
  std::map<std::string, int> var_index_;
  std::map<std::string, std::vector<double>> streams_;  // latest vector of each stream
  std::map<std::string, int> producer_;                 // stream -> block index
  std::map<std::string, const StreamDef*> stream_def_;  // stream id -> its definition
  std::vector<int> eq_start_;                           // first equation of each block
  std::vector<Warning> warnings_;
  double mu_ = 1e-3;  // Levenberg-Marquardt damping carried between iterations
  std::unique_ptr<LinearSolver> lu_;              // kept between iterations and solves
  std::vector<double> start_;  // values after the initialisation
  std::vector<char> held_;                              // held at a bound by the last step
  int failed_block_ = -1;                               // block whose evaluation failed last
  const StreamDef* stream_def(const std::string& id) const;
  // A feed whose total flow the case frees: its component flows follow the
  // total at the feed's composition, FLOW_i - z_i TOTAL_FLOW = 0, one
  // equation per component appended after the blocks' equations.
  struct Composition {
    std::string stream;
    int total = -1;
    std::vector<int> flows;  // global variables of the component flows
    std::vector<double> z;
  };
  std::vector<Composition> compositions_;
  int blocks_neq_ = 0;  // equations of the blocks (the compositions follow)
  bool apply_free(std::string& error);
  void composition_residuals(const std::vector<double>& x, std::vector<double>& f) const;
  void composition_jacobian(std::vector<int>& rows, std::vector<int>& cols, std::vector<double>& vals) const;
  std::string composition_name(int k) const;
  Outcome initialise_pass(std::string& error);
  Outcome assemble(std::string& error);
  static constexpr int kTearPasses = 4;  // initialisation passes round a torn recycle
  bool torn_ = false;
  bool tear_stream(Block& b, int k, const std::string& sid, std::string& error);
  void check_results();
  void warn(const std::string& block, const std::string& variable, double value, bool has_value,
            const std::string& message);
  bool release_guessed_bounds(const std::vector<double>& x, const std::vector<double>& dx,
                              const std::vector<int>& free, std::vector<int>& held_count, std::FILE* progress);
  void check_inputs();
  Diagnosis diagnose(const std::vector<double>& x, const std::vector<double>& f,
                     const std::vector<double>& history, const std::vector<double>& steps,
                     bool stopped_early) const;
  int neq_ = 0;
  SpecRows specs_;  // the case's [[specs]], the last rows of the system
  int spec_row0() const { return neq_ - specs_.size(); }
};

}  // namespace r3::host
