// Binary interaction parameters: the published table compiled in from
// data/kij.tsv, user overrides, and their checks.
#include <cctype>
#include <charconv>
#include <cmath>
#include <string>
#include <vector>

#include "host/thermo/internal.h"

namespace r3::thermo {
namespace detail {
extern const std::string_view kKijTsv;
}

namespace {

bool iequal(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

bool same_pair(const BinaryInteraction& p, std::string_view a, std::string_view b) {
  return (iequal(p.a, a) && iequal(p.b, b)) || (iequal(p.a, b) && iequal(p.b, a));
}

// The table's rows: id1, id2, kij, source (header first; a malformed row is
// skipped, and the table test catches it).
const std::vector<BinaryInteraction>& table() {
  static const std::vector<BinaryInteraction> rows = [] {
    std::vector<BinaryInteraction> out;
    detail::for_each_tsv_row<3>(detail::kKijTsv, [&](const std::array<std::string_view, 3>& f) {
      double k = 0;
      auto [p, ec] = std::from_chars(f[2].data(), f[2].data() + f[2].size(), k);
      if (ec == std::errc() && std::abs(k) < 1) out.push_back({std::string(f[0]), std::string(f[1]), k});
    });
    return out;
  }();
  return rows;
}

// Per thread, as the runs that set them.
std::vector<BinaryInteraction>& overrides() {
  thread_local std::vector<BinaryInteraction> list;
  return list;
}

}  // namespace

double databank_kij(std::string_view a, std::string_view b, bool* found) {
  for (const auto& p : table())
    if (same_pair(p, a, b)) {
      if (found) *found = true;
      return p.kij;
    }
  if (found) *found = false;
  return 0.0;
}

std::string check_interaction(std::string_view pair, double kij, const std::vector<std::string>& ids,
                              BinaryInteraction& out) {
  const size_t slash = pair.find('/');
  if (slash == std::string_view::npos || pair.find('/', slash + 1) != std::string_view::npos ||
      slash == 0 || slash + 1 == pair.size())
    return "kij pair '" + std::string(pair) + "' is not of the form \"A/B\"";
  const std::string_view a = pair.substr(0, slash), b = pair.substr(slash + 1);
  for (std::string_view id : {a, b}) {
    bool known = false;
    for (const auto& c : ids) known = known || iequal(c, id);
    if (!known) return "kij pair '" + std::string(pair) + "': '" + std::string(id) + "' is not one of the components";
  }
  if (iequal(a, b)) return "kij pair '" + std::string(pair) + "' names one component twice";
  if (!(std::isfinite(kij) && kij > -1 && kij < 1))
    return "kij of '" + std::string(pair) + "' must lie strictly between -1 and 1";
  out = {std::string(a), std::string(b), kij};
  return {};
}

void set_interaction_overrides(std::vector<BinaryInteraction> pairs) { overrides() = std::move(pairs); }

const std::vector<BinaryInteraction>& interaction_overrides() { return overrides(); }

double detail::model_kij(const Component& a, const Component& b,
                         const std::vector<BinaryInteraction>& list) {
  for (const auto& p : list)
    if (same_pair(p, a.id, b.id)) return p.kij;
  return databank_kij(a.id, b.id);
}

}  // namespace r3::thermo
