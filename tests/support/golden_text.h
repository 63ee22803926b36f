// Golden texts: lines a test produces, compared with a committed plain text
// file, and a readable dump of a prepared block to compare that way.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/services/block.h"

namespace r3::test {

// Compares `lines` with tests/golden/texts/<name>.txt line by line (every
// character, trailing blanks included) and names the first differences.
// With R3_GOLDEN_UPDATE=1 in the environment the file is rewritten instead.
::testing::AssertionResult matches_golden(const std::vector<std::string>& lines,
                                          const std::string& name);

// Collects the lines of several cases for one golden file: a "## label"
// heading per case, then the case's lines.
struct Transcript {
  std::vector<std::string> lines;
  void heading(const std::string& label) { lines.push_back("## " + label); }
  void add(const std::string& line) { lines.push_back(line); }
  void add(const std::vector<std::string>& more) {
    lines.insert(lines.end(), more.begin(), more.end());
  }
};

// One line per variable (position, name, value, bounds, scale, step bound,
// physical type, fixed) and per equation (position, name, scale), values
// to ten significant digits, "RMISS" for the missing marker.
std::vector<std::string> block_state(const host::Block& b);

}  // namespace r3::test
