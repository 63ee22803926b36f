#include "tests/support/golden_text.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "framework/host_services.h"
#include "host/services/context.h"

namespace r3::test {

namespace {
std::string golden_path(const std::string& name) {
  return std::string(R3_SOURCE_DIR) + "/tests/golden/texts/" + name + ".txt";
}
}  // namespace

::testing::AssertionResult matches_golden_text(const std::string& name,
                                               const std::vector<std::string>& lines) {
  const std::string path = golden_path(name);
  const char* update = std::getenv("R3_GOLDEN_UPDATE");
  if (update != nullptr && std::string(update) == "1") {
    // Two cases that name the same file would silently keep the last one.
    static std::set<std::string> written;
    if (!written.insert(name).second) {
      return ::testing::AssertionFailure() << "golden text " << name << " written twice";
    }
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary);
    for (const auto& l : lines) out << l << '\n';
    return out ? ::testing::AssertionSuccess()
               : ::testing::AssertionFailure() << "cannot write " << path;
  }
  std::ifstream in(path, std::ios::binary);
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
    if (w != nullptr && (w->rfind("## ", 0) == 0 || w->rfind("== ", 0) == 0)) heading = *w;
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

void add_section(std::vector<std::string>& all, const std::string& title,
                 const std::vector<std::string>& lines) {
  all.push_back("== " + title);
  all.insert(all.end(), lines.begin(), lines.end());
}

CaseHeading::CaseHeading(const std::string& heading) {
  std::istringstream in(heading.substr(0, heading.find('#')));
  for (std::string field; std::getline(in, field, ';');) {
    std::istringstream f(field);
    std::string key;
    if (!(f >> key)) continue;
    auto& w = fields[key];
    for (std::string v; f >> v;) w.push_back(v);
  }
}

std::vector<std::string> CaseHeading::words(const std::string& key) const {
  const auto it = fields.find(key);
  return it == fields.end() ? std::vector<std::string>{} : it->second;
}

std::vector<int32_t> CaseHeading::ints(const std::string& key) const {
  std::vector<int32_t> out;
  for (const auto& w : words(key)) out.push_back(w == "IMISS" ? hs::imiss() : std::stoi(w));
  return out;
}

std::vector<double> CaseHeading::reals(const std::string& key) const {
  std::vector<double> out;
  for (const auto& w : words(key)) out.push_back(w == "RMISS" ? host::kRmiss : std::stod(w));
  return out;
}

double CaseHeading::number(const std::string& key, double otherwise) const {
  const auto v = reals(key);
  return v.empty() ? otherwise : v[0];
}

int32_t initialise_with(host::Block& b, const CaseHeading& c) {
  const size_t nc = static_cast<size_t>(b.ncomp());
  if (c.has("noflow")) std::fill(b.smatin.begin(), b.smatin.begin() + nc + 1, 0.0);
  const auto inlet = c.reals("inlet");
  for (size_t k = 0; k + 1 < inlet.size(); k += 2)
    b.smatin.at(nc + static_cast<size_t>(inlet[k])) = inlet[k + 1];
  if (b.dimension() != 0 || b.call(KODE_NAMES) != 0) return b.istat;
  auto pos = [&](const std::string& name) {
    const int p = b.find_var(name);
    EXPECT_NE(p, 0) << "no variable " << name;
    return p;
  };
  for (const std::string key : {"fix", "guess"}) {
    const auto w = c.words(key);
    for (size_t k = 0; k + 1 < w.size(); k += 2) {
      const int p = pos(w[k]);
      b.y.at(static_cast<size_t>(p - 1)) = w[k + 1] == "RMISS" ? host::kRmiss : std::stod(w[k + 1]);
      if (key == "fix") b.fix(p);
    }
  }
  for (const auto& name : c.words("unset")) b.fix(pos(name));
  for (const auto& op : c.words("fail")) host::fail_operation(op);
  const int32_t st = b.call(KODE_INIT);
  host::clear_failures();
  return st;
}

std::vector<std::string> golden_cases(const std::string& name) {
  std::ifstream in(golden_path(name));
  std::vector<std::string> out;
  for (std::string l; std::getline(in, l);) {
    if (l.rfind("## ", 0) == 0) out.push_back(l.substr(3));
  }
  EXPECT_FALSE(out.empty()) << "no cases in " << golden_path(name);
  return out;
}

namespace {
std::string num(double v) {
  if (v == host::kRmiss) return "RMISS";
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.12g", v);
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
