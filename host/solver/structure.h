// Structural analysis of an equation system: a maximum matching of equations
// to free variables shows which specifications are missing or in surplus and
// which equations and variables make a square system structurally singular.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace r3::host {

struct Structure {
  int nrows = 0;
  std::vector<int> free;                       // global indices of the free variables
  std::vector<std::pair<int, int>> entries;    // (row, global variable) of the pattern
};

// True when the system is square and structurally non-singular; otherwise a
// message that names the variables to fix or free, or the equations and
// variables that cannot be matched.
bool analyse_structure(const Structure& s, const std::vector<std::string>& var_names,
                       const std::vector<std::string>& eqn_names, std::string& message);

}  // namespace r3::host
