// Twu alpha functions of polar components: the parameters
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
    for_each_tsv_row<4>(kAlphaTsv, [&](const std::array<std::string_view, 4>& f) {
      double v[3];
      bool ok = true;
      for (int k = 0; k < 3; ++k) {
        auto [p, ec] = std::from_chars(f[k + 1].data(), f[k + 1].data() + f[k + 1].size(), v[k]);
        ok = ok && ec == std::errc() && std::isfinite(v[k]);
      }
      if (ok && v[1] * v[2] > 0) out.push_back({std::string(f[0]), {v[0], v[1], v[2]}});
    });
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
