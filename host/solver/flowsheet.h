// A flowsheet of blocks solved as one equation system: the request sequence
// per block (dimensions, names, initialisation), assembly of all blocks into
// one system in which a stream joining two blocks is one set of variables,
// the degrees-of-freedom check, and a Newton-Raphson solve in scaled
// variables with sparse LU, bounds, step bounds and backtracking.
#pragma once

#include <cstdio>
#include <functional>
#include <map>
#include <memory>
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

struct Variable {
  std::string name;
  double value = 0, lower = 0, upper = 0, scale = 1, step = 0;
  bool fixed = false;
  int32_t type = 0;
};

struct SolveReport {
  Outcome outcome = Outcome::Solved;
  bool converged = false;
  int iterations = 0;
  double residual_norm = 0;
  std::string message;  // why it stopped, when not solved
};

class Flowsheet {
 public:
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

  // Writes the solved values back into the streams (stream update of every
  // block) and asks every block for its report on the report unit.
  void update_streams();
  void write_reports();

  // Scaled residual norm at the current values (-1 when an evaluation fails).
  double residual_norm();

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
  int neq_ = 0;
  SpecRows specs_;  // the case's [[specs]], the last rows of the system
  int spec_row0() const { return neq_ - specs_.size(); }
};

}  // namespace r3::host
