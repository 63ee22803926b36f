// Component databank: parsing of the tab-separated component table and the
// table compiled into the host.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <string>

#include "host/thermo/thermo.h"

namespace r3::thermo {
namespace detail {
extern const std::string_view kComponentsTsv;
}

namespace {

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\r' || s.front() == '\n')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\r' || s.back() == '\n')) s.remove_suffix(1);
  return s;
}

std::vector<std::string_view> split_tabs(std::string_view line) {
  std::vector<std::string_view> out;
  size_t start = 0;
  for (;;) {
    size_t tab = line.find('\t', start);
    out.push_back(trim(line.substr(start, tab == std::string_view::npos ? std::string_view::npos
                                                                        : tab - start)));
    if (tab == std::string_view::npos) break;
    start = tab + 1;
  }
  return out;
}

bool iequal(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

// A numeric field; an empty field reads as zero (optional correlations).
bool to_number(std::string_view s, double& v) {
  if (s.empty()) {
    v = 0;
    return true;
  }
  if (s.front() == '+') s.remove_prefix(1);
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  return ec == std::errc() && p == s.data() + s.size() && std::isfinite(v);
}

}  // namespace

bool Databank::parse(std::string_view tsv, Databank& out, std::string& error) {
  out.rows_.clear();
  // Text columns.
  const char* text_cols[] = {"id", "name", "formula", "CAS"};
  std::string Component::*text_members[] = {&Component::id, &Component::name,
                                             &Component::formula, &Component::cas};
  // Numeric columns: direct members, then array elements.
  struct Num {
    const char* name;
    bool required;
    double* (*get)(Component&);
  };
  static const Num nums[] = {
      {"MW", true, [](Component& c) { return &c.mw; }},
      {"Tc", true, [](Component& c) { return &c.tc; }},
      {"Pc", true, [](Component& c) { return &c.pc; }},
      {"omega", true, [](Component& c) { return &c.omega; }},
      {"Zc", true, [](Component& c) { return &c.zc; }},
      {"Vc", true, [](Component& c) { return &c.vc; }},
      {"Tb", true, [](Component& c) { return &c.tb; }},
      {"cp_a0", true, [](Component& c) { return &c.cp[0]; }},
      {"cp_a1", true, [](Component& c) { return &c.cp[1]; }},
      {"cp_a2", true, [](Component& c) { return &c.cp[2]; }},
      {"cp_a3", true, [](Component& c) { return &c.cp[3]; }},
      {"cp_a4", true, [](Component& c) { return &c.cp[4]; }},
      {"cp_Tmin", true, [](Component& c) { return &c.cp_tmin; }},
      {"cp_Tmax", true, [](Component& c) { return &c.cp_tmax; }},
      {"Hf_ig_298", true, [](Component& c) { return &c.hf298; }},
      {"ZRA", true, [](Component& c) { return &c.zra; }},
      {"cs16_A", false, [](Component& c) { return &c.cs16[0]; }},
      {"cs16_B", false, [](Component& c) { return &c.cs16[1]; }},
      {"cs16_C", false, [](Component& c) { return &c.cs16[2]; }},
      {"cs16_D", false, [](Component& c) { return &c.cs16[3]; }},
      {"cs16_E", false, [](Component& c) { return &c.cs16[4]; }},
      {"cs16_Tmin", false, [](Component& c) { return &c.cs16_tmin; }},
      {"cs16_Tmax", false, [](Component& c) { return &c.cs16_tmax; }},
      {"dens_C1", false, [](Component& c) { return &c.dens[0]; }},
      {"dens_C2", false, [](Component& c) { return &c.dens[1]; }},
      {"dens_C3", false, [](Component& c) { return &c.dens[2]; }},
      {"dens_C4", false, [](Component& c) { return &c.dens[3]; }},
      {"dens_Tmin", false, [](Component& c) { return &c.dens_tmin; }},
      {"dens_Tmax", false, [](Component& c) { return &c.dens_tmax; }},
  };
  constexpr int kText = 4;
  constexpr int kNum = static_cast<int>(sizeof(nums) / sizeof(nums[0]));

  size_t pos = 0;
  int line_no = 0;
  std::vector<int> text_col(kText, -1), num_col(kNum, -1);
  int dens_col = -1;  // liquid-density equation: DIPPR105, IF97 or empty
  bool have_header = false;
  while (pos < tsv.size()) {
    size_t eol = tsv.find('\n', pos);
    std::string_view line = tsv.substr(pos, eol == std::string_view::npos ? std::string_view::npos
                                                                           : eol - pos);
    pos = eol == std::string_view::npos ? tsv.size() : eol + 1;
    ++line_no;
    if (trim(line).empty()) continue;
    auto cols = split_tabs(line);
    if (!have_header) {
      for (int k = 0; k < kText; ++k)
        for (size_t c = 0; c < cols.size(); ++c)
          if (iequal(cols[c], text_cols[k])) text_col[k] = static_cast<int>(c);
      for (int k = 0; k < kNum; ++k)
        for (size_t c = 0; c < cols.size(); ++c)
          if (iequal(cols[c], nums[k].name)) num_col[k] = static_cast<int>(c);
      for (size_t c = 0; c < cols.size(); ++c)
        if (iequal(cols[c], "dens_eq")) dens_col = static_cast<int>(c);
      if (text_col[0] < 0) {
        error = "component table: no 'id' column in the header";
        return false;
      }
      for (int k = 0; k < kNum; ++k)
        if (nums[k].required && num_col[k] < 0) {
          error = std::string("component table: missing column ") + nums[k].name;
          return false;
        }
      have_header = true;
      continue;
    }
    Component c;
    auto bad = [&](const std::string& what) {
      error = "component table line " + std::to_string(line_no) + ": " + what;
      out.rows_.clear();
      return false;
    };
    for (int k = 0; k < kText; ++k) {
      int col = text_col[k];
      if (col >= 0 && static_cast<size_t>(col) < cols.size())
        c.*text_members[k] = std::string(cols[static_cast<size_t>(col)]);
    }
    if (c.id.empty()) return bad("empty id");
    for (int k = 0; k < kNum; ++k) {
      int col = num_col[k];
      if (col < 0) continue;
      std::string_view s =
          static_cast<size_t>(col) < cols.size() ? cols[static_cast<size_t>(col)] : std::string_view{};
      if (nums[k].required && s.empty()) return bad(std::string("empty ") + nums[k].name);
      if (!to_number(s, *nums[k].get(c)))
        return bad(std::string("bad number in ") + nums[k].name + ": '" + std::string(s) + "'");
    }
    if (!(c.mw > 0 && c.tc > 0 && c.pc > 0 && c.cp_tmax > c.cp_tmin && c.zra > 0 && c.zra < 1))
      return bad("unphysical constants for " + c.id);
    const std::string_view eq =
        dens_col >= 0 && static_cast<size_t>(dens_col) < cols.size() ? cols[static_cast<size_t>(dens_col)]
                                                                     : std::string_view{};
    if (iequal(eq, "DIPPR105")) {
      c.dens_form = Component::LiquidDensity::Dippr105;
      if (!(c.dens[0] > 0 && c.dens[1] > 0 && c.dens[1] < 1 && c.dens[2] > 0 && c.dens[3] > 0))
        return bad("DIPPR-105 liquid-density coefficients of " + c.id + " missing or unphysical");
    } else if (iequal(eq, "IF97")) {
      c.dens_form = Component::LiquidDensity::If97;
    } else if (!eq.empty()) {
      return bad("unknown liquid-density equation '" + std::string(eq) + "' (DIPPR105, IF97 or empty)");
    }
    if (out.find(c.id) >= 0) return bad("duplicate id " + c.id);
    out.rows_.push_back(std::move(c));
  }
  if (!have_header) {
    error = "component table: empty";
    return false;
  }
  return true;
}

const Databank& Databank::builtin() {
  static const Databank bank = [] {
    Databank b;
    std::string error;
    if (!parse(detail::kComponentsTsv, b, error)) b.rows_.clear();  // a build-time table: checked by tests
    return b;
  }();
  return bank;
}

int Databank::find(std::string_view id) const {
  for (size_t i = 0; i < rows_.size(); ++i)
    if (iequal(rows_[i].id, id)) return static_cast<int>(i);
  return -1;
}

}  // namespace r3::thermo
