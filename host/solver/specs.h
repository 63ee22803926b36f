// The case's [[specs]] as equations of the flowsheet: each relation
// left - sum(c * v) - constant = 0 is one more row after the blocks' rows,
// scaled by the left variable's scale; a design specification also frees the
// variable it names.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "host/case/case.h"

namespace r3::host {

struct Variable;

class SpecRows {
 public:
  // Resolves the names against the flowsheet's variables and frees the
  // variables the design specifications name. A stream's TEMPERATURE or
  // VFRAC is the T_OUT or VFRAC_OUT of the block that produces the stream,
  // where that block has one. False with a message naming the case line and
  // the unknown variable.
  bool bind(const Case& c, std::vector<Variable>& vars, const std::map<std::string, int>& index,
            const std::map<std::string, std::string>& producers, std::string& error);
  int size() const { return static_cast<int>(rows_.size()); }
  // Scaled residuals written at f[offset...].
  void residuals(const std::vector<double>& x, const std::vector<Variable>& vars, int offset,
                 std::vector<double>& f) const;
  // Scaled Jacobian entries (row, global variable, value) appended.
  void jacobian(const std::vector<Variable>& vars, int offset, std::vector<int>& rows,
                std::vector<int>& cols, std::vector<double>& vals) const;
  // Name of spec row r (0-based): "SPEC_n (line L: relation)".
  std::string name(int r) const;

 private:
  struct Row {
    std::vector<std::pair<int, double>> coef;  // global variable, coefficient
    double constant = 0.0;
    int scale_var = 0;
    std::string name;
  };
  std::vector<Row> rows_;
};

}  // namespace r3::host
