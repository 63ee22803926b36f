#include "host/case/suggest.h"

#include <algorithm>
#include <cctype>

namespace r3::host {

namespace {

size_t distance(const std::string& a, const std::string& b) {
  std::vector<size_t> prev(b.size() + 1), cur(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) prev[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    cur[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const bool same = std::toupper(static_cast<unsigned char>(a[i - 1])) ==
                        std::toupper(static_cast<unsigned char>(b[j - 1]));
      cur[j] = std::min({prev[j] + 1, cur[j - 1] + 1, prev[j - 1] + (same ? 0 : 1)});
    }
    std::swap(prev, cur);
  }
  return prev[b.size()];
}

}  // namespace

std::vector<std::string> nearest_names(const std::string& name,
                                       const std::vector<std::string>& names) {
  // Close means at most a third of the name's letters differ (at least 2).
  const size_t limit = std::max<size_t>(2, name.size() / 3);
  std::vector<std::pair<size_t, std::string>> close;
  for (const std::string& n : names) {
    const size_t d = distance(name, n);
    if (d <= limit) close.emplace_back(d, n);
  }
  std::stable_sort(close.begin(), close.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::string> out;
  for (size_t i = 0; i < close.size() && out.size() < 3; ++i) {
    if (std::find(out.begin(), out.end(), close[i].second) == out.end())
      out.push_back(close[i].second);
  }
  return out;
}

std::string did_you_mean(const std::string& name, const std::vector<std::string>& names) {
  const std::vector<std::string> near = nearest_names(name, names);
  if (near.empty()) return {};
  std::string s = " (did you mean ";
  for (size_t i = 0; i < near.size(); ++i)
    s += (i == 0 ? "" : i + 1 == near.size() ? " or " : ", ") + near[i];
  return s + "?)";
}

}  // namespace r3::host
