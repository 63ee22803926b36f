// Twu alpha functions of polar components: the published parameters
// compiled in from data/alpha.tsv.
#include <charconv>
#include <cmath>
#include <string>
#include <vector>

#include "host/thermo/internal.h"

namespace r3::thermo::detail {
extern const std::string_view kAlphaTsv;

namespace {

struct Row {
  std::string id;
  TwuAlpha p;
};

// The table's rows: id, L, M, N, source (header first). A row whose numbers
// do not parse, or that would give a non-positive exponent N*M, is skipped:
// the component keeps the standard alpha.
const std::vector<Row>& table() {
  static const std::vector<Row> rows = [] {
    std::vector<Row> out;
    std::string_view t = kAlphaTsv;
    bool header = true;
    while (!t.empty()) {
      const size_t eol = t.find('\n');
      std::string_view line = t.substr(0, eol);
      t.remove_prefix(eol == std::string_view::npos ? t.size() : eol + 1);
      if (header || line.empty()) {
        header = false;
        continue;
      }
      std::string_view f[4];
      for (auto& x : f) {
        const size_t tab = line.find('\t');
        x = line.substr(0, tab);
        line.remove_prefix(tab == std::string_view::npos ? line.size() : tab + 1);
      }
      double v[3];
      bool ok = true;
      for (int k = 0; k < 3; ++k) {
        auto [p, ec] = std::from_chars(f[k + 1].data(), f[k + 1].data() + f[k + 1].size(), v[k]);
        ok = ok && ec == std::errc() && std::isfinite(v[k]);
      }
      if (ok && v[1] * v[2] > 0) out.push_back({std::string(f[0]), {v[0], v[1], v[2]}});
    }
    return out;
  }();
  return rows;
}

}  // namespace

bool twu_alpha(std::string_view id, TwuAlpha& p) {
  for (const auto& r : table())
    if (r.id == id) {
      p = r.p;
      return true;
    }
  return false;
}

}  // namespace r3::thermo::detail
