#include "tests/support/golden_text.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

namespace r3::test {

::testing::AssertionResult matches_golden_text(const std::string& name,
                                               const std::vector<std::string>& lines) {
  const std::filesystem::path path =
      std::filesystem::path(R3_SOURCE_DIR) / "tests" / "golden" / "texts" / (name + ".txt");
  const char* update = std::getenv("R3_UPDATE_GOLDEN");
  if (update != nullptr && std::string(update) == "1") {
    // Two cases that name the same file would silently keep the last one.
    static std::set<std::string> written;
    if (!written.insert(name).second) {
      return ::testing::AssertionFailure() << "golden text " << name << " written twice";
    }
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    for (const std::string& l : lines) out << l << '\n';
    if (!out) return ::testing::AssertionFailure() << "cannot write " << path;
    return ::testing::AssertionSuccess();
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) return ::testing::AssertionFailure() << "no golden text " << path;
  std::vector<std::string> want;
  for (std::string l; std::getline(in, l);) want.push_back(l);
  std::string section = "(start)";
  for (size_t i = 0; i < std::max(want.size(), lines.size()); ++i) {
    const std::string* w = i < want.size() ? &want[i] : nullptr;
    const std::string* g = i < lines.size() ? &lines[i] : nullptr;
    if (w != nullptr && g != nullptr && *w == *g) {
      if (w->rfind("== ", 0) == 0) section = *w;
      continue;
    }
    return ::testing::AssertionFailure()
           << path.string() << " line " << i + 1 << " (after " << section << "):\n  expected ["
           << (w ? *w : "<end of file>") << "]\n  actual   [" << (g ? *g : "<no more lines>")
           << "]";
  }
  return ::testing::AssertionSuccess();
}

void add_section(std::vector<std::string>& all, const std::string& title,
                 const std::vector<std::string>& lines) {
  all.push_back("== " + title);
  all.insert(all.end(), lines.begin(), lines.end());
}

}  // namespace r3::test
