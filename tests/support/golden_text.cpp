#include "tests/support/golden_text.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "host/services/context.h"

namespace r3::test {

::testing::AssertionResult matches_golden(const std::vector<std::string>& lines,
                                          const std::string& name) {
  const std::string path = std::string(R3_SOURCE_DIR) + "/tests/golden/texts/" + name + ".txt";
  const char* update = std::getenv("R3_GOLDEN_UPDATE");
  if (update != nullptr && std::string(update) == "1") {
    std::ofstream out(path);
    for (const auto& l : lines) out << l << '\n';
    return out ? ::testing::AssertionSuccess()
               : ::testing::AssertionFailure() << "cannot write " << path;
  }
  std::ifstream in(path);
  if (!in) {
    return ::testing::AssertionFailure()
           << "no golden file " << path << " (R3_GOLDEN_UPDATE=1 writes it)";
  }
  std::vector<std::string> want;
  for (std::string l; std::getline(in, l);) want.push_back(l);
  std::ostringstream diff;
  int shown = 0;
  std::string heading;
  for (size_t i = 0; i < std::max(want.size(), lines.size()) && shown < 8; ++i) {
    const std::string* w = i < want.size() ? &want[i] : nullptr;
    const std::string* g = i < lines.size() ? &lines[i] : nullptr;
    if (w != nullptr && w->rfind("## ", 0) == 0) heading = *w;
    if (w != nullptr && g != nullptr && *w == *g) continue;
    ++shown;
    diff << "\n  line " << i + 1 << (heading.empty() ? "" : " (under " + heading + ")")
         << "\n    expected: " << (w ? "[" + *w + "]" : "(end of file)")
         << "\n    actual:   " << (g ? "[" + *g + "]" : "(no more lines)");
  }
  if (shown == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << path << " differs (" << lines.size() << " lines against "
                                       << want.size() << "):" << diff.str();
}

namespace {
std::string num(double v) {
  if (v == host::kRmiss) return "RMISS";
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.10g", v);
  return buf;
}
}  // namespace

std::vector<std::string> block_state(const host::Block& b) {
  std::vector<std::string> out;
  for (int i = 1; i <= b.ny; ++i) {
    const size_t k = static_cast<size_t>(i - 1);
    const int32_t type = (b.iyattr[k] >> 8) & 0xFF;
    out.push_back("Y " + std::to_string(i) + " " + b.var_name(i) + " = " + num(b.y[k]) + " [" +
                  num(b.ylb[k]) + ", " + num(b.yub[k]) + "] scale " + num(b.yscl[k]) + " step " +
                  num(b.ysbnd[k]) + " type " + std::to_string(type) + (b.fixed(i) ? " fixed" : ""));
  }
  for (int i = 1; i <= b.nf; ++i) {
    out.push_back("F " + std::to_string(i) + " " + b.eqn_name(i) + " scale " +
                  num(b.fscl[static_cast<size_t>(i - 1)]));
  }
  return out;
}

}  // namespace r3::test
