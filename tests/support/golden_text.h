// Golden texts: lines a test produces, compared with a committed plain text
// file; cases written as the headings of such a file; and a readable dump of
// a prepared block to compare that way.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "host/services/block.h"

namespace r3::test {

// Compares `lines` with tests/golden/texts/<name>.txt line by line (every
// character, trailing blanks included) and names the first differences and
// the "## " or "== " heading they lie under. With R3_GOLDEN_UPDATE=1 in the
// environment the file is rewritten instead, after an intended change.
::testing::AssertionResult matches_golden_text(const std::string& name,
                                               const std::vector<std::string>& lines);

// Appends "== title" and then `lines` to `all`: many cases in one file.
void add_section(std::vector<std::string>& all, const std::string& title,
                 const std::vector<std::string>& lines);

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

// A case written as its heading in a golden text, so that the inputs and the
// lines they give sit together: "## key value value; key value  # note".
// Fields are separated by ';', the first word of a field is its key; RMISS
// and IMISS stand for the host's missing markers; '#' starts a note.
struct CaseHeading {
  explicit CaseHeading(const std::string& heading);
  bool has(const std::string& key) const { return fields.count(key) != 0; }
  std::vector<std::string> words(const std::string& key) const;  // empty when absent
  std::vector<int32_t> ints(const std::string& key) const;
  std::vector<double> reals(const std::string& key) const;
  double number(const std::string& key, double otherwise) const;  // the first value
  std::map<std::string, std::vector<std::string>> fields;
};

// The case headings of tests/golden/texts/<name>.txt (without "## "), in
// order: a test runs these cases and compares its transcript with the file.
std::vector<std::string> golden_cases(const std::string& name);

// Runs one_case(heading, case, transcript) for every case heading of
// tests/golden/texts/<name>.txt, then compares the transcript with the file.
template <class Fn>
bool run_golden_cases(const std::string& name, Fn&& one_case) {
  Transcript t;
  for (const std::string& heading : golden_cases(name)) one_case(heading, CaseHeading(heading), t);
  return matches_golden_text(name, t.lines);
}

// Initialises a block as a case heading describes it. Before the dimension
// request: "inlet K V ..." sets entry K after the component flows of the
// inlet vector (0 total flow, 1 temperature, 2 pressure, 3 enthalpy, 7 mass
// density, 8 molecular weight), "noflow" zeroes the flows. After the names:
// "fix NAME V ..." fixes variables at values, "guess NAME V ..." sets them
// unfixed, "unset NAME ..." fixes them without a value; "fail OPERATION"
// makes that host operation fail. Returns the initialisation's ISTAT (host
// failures cleared again), or the first failed request's.
int32_t initialise_with(host::Block& b, const CaseHeading& c);

// One line per variable (position, name, value, bounds, scale, step bound,
// physical type, fixed) and per equation (position, name, scale), values
// to twelve significant digits, "RMISS" for the missing marker.
std::vector<std::string> block_state(const host::Block& b);

}  // namespace r3::test
