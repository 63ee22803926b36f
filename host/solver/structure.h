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
  // Per global variable (optional): its block, its units, and whether it is a
  // feed-stream variable; used to rank and describe the advice.
  std::vector<std::string> var_block, var_units;
  std::vector<bool> var_feed;
};

// A maximum matching of rows to columns: greedy start, then Hopcroft-Karp
// phases with an explicit stack (no recursion, so long chains of blocks do
// not exhaust the call stack). match_row[r] is r's column or -1.
void maximum_matching(int nrows, int ncols, const std::vector<std::vector<int>>& row_cols,
                      std::vector<int>& match_row, std::vector<int>& match_col);

// How likely a user is to specify a variable, by its name: 0 for the
// parameters users usually give (efficiencies, coefficients, areas, biases),
// 1 for operating specifications (pressures, pressure differences and
// ratios, positions, speeds), 3 for computed quantities (powers, heads,
// duties, predictions, property and balance terms), 2 otherwise.
int specification_rank(const std::string& name);

// True when the system is square and structurally non-singular; otherwise a
// message that names the variables to fix or free (up to five, ranked), or
// the equations and variables that cannot be matched.
bool analyse_structure(const Structure& s, const std::vector<std::string>& var_names,
                       const std::vector<std::string>& eqn_names, std::string& message);

}  // namespace r3::host
