// Golden text files: records a test produces (messages, report lines)
// compared with a plain text file, one record per line.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace r3::test {

// Compares `lines` with tests/golden/texts/<name>.txt. The failure names the
// first differing line and the section ("== title" line) it lies in. With
// R3_UPDATE_GOLDEN=1 in the environment the file is rewritten instead, after
// an intended change of output.
::testing::AssertionResult matches_golden_text(const std::string& name,
                                               const std::vector<std::string>& lines);

// Appends "== title" and then `lines` to `all`: many cases in one file.
void add_section(std::vector<std::string>& all, const std::string& title,
                 const std::vector<std::string>& lines);

}  // namespace r3::test
