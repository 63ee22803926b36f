#include "host/case/specs.h"

#include <cctype>
#include <cstdlib>
#include <sstream>

namespace r3::host {

bool parse_linear(const std::string& text, SpecDef& spec, std::string& message) {
  // Terms separated by + and - at the top level; a term is a number, a name,
  // or number * name (or name * number).
  size_t i = 0;
  const size_t n = text.size();
  auto skip = [&] {
    while (i < n && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  };
  auto is_name_char = [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.' || c == '-';
  };
  bool any = false;
  double sign = 1.0;
  skip();
  if (i < n && (text[i] == '+' || text[i] == '-')) sign = text[i++] == '-' ? -1.0 : 1.0;
  while (true) {
    double coef = 1.0;
    std::string name;
    bool has_number = false;
    for (int factor = 0; factor < 2; ++factor) {
      skip();
      if (i >= n) break;
      char* end = nullptr;
      const double v = std::strtod(text.c_str() + i, &end);
      const size_t used = static_cast<size_t>(end - (text.c_str() + i));
      if (used > 0 && !(std::isalpha(static_cast<unsigned char>(text[i])))) {
        if (has_number) break;
        coef *= v;
        has_number = true;
        i += used;
      } else if (std::isalpha(static_cast<unsigned char>(text[i])) || text[i] == '_') {
        if (!name.empty()) break;
        const size_t s = i;
        // A name ends at blanks, *, or a sign that follows a blank.
        while (i < n && is_name_char(text[i]) && !(text[i] == '-' && i > s && text[i - 1] == ' ')) ++i;
        name = text.substr(s, i - s);
      } else {
        break;
      }
      skip();
      if (i < n && text[i] == '*') {
        ++i;
        continue;
      }
      break;
    }
    if (name.empty() && !has_number) {
      message = "expected a number or a variable name at \"" + text.substr(i) + "\" in \"" + text + "\"";
      return false;
    }
    if (name.empty()) {
      spec.constant += sign * coef;
    } else {
      spec.terms.emplace_back(sign * coef, name);
    }
    any = true;
    skip();
    if (i >= n) break;
    if (text[i] != '+' && text[i] != '-') {
      message = "expected + or - at \"" + text.substr(i) + "\" in \"" + text + "\"";
      return false;
    }
    sign = text[i++] == '-' ? -1.0 : 1.0;
  }
  if (!any) {
    message = "the relation \"" + text + "\" is empty";
    return false;
  }
  return true;
}

bool read_specs(const toml::table& root, std::vector<SpecDef>& out, int& line, std::string& message) {
  const toml::node* sn = root.get("specs");
  if (sn == nullptr) return true;
  line = static_cast<int>(sn->source().begin.line);
  const toml::array* a = sn->as_array();
  if (a == nullptr) {
    message = "specs must be written as [[specs]] tables";
    return false;
  }
  for (const toml::node& node : *a) {
    line = static_cast<int>(node.source().begin.line);
    const toml::table* t = node.as_table();
    if (t == nullptr) {
      message = "specs must be written as [[specs]] tables";
      return false;
    }
    SpecDef spec;
    spec.line = line;
    int relations = 0;
    for (const auto& [key, value] : *t) {
      const std::string k(key.str());
      line = static_cast<int>(value.source().begin.line);
      if (k == "free") {
        const auto* f = value.as_string();
        if (f == nullptr) {
          message = "free must name one variable";
          return false;
        }
        spec.free = f->get();
        continue;
      }
      ++relations;
      spec.left = k;
      std::ostringstream text;
      if (const auto* s = value.as_string()) {
        if (!parse_linear(s->get(), spec, message)) return false;
        text << k << " = " << s->get();
      } else if (value.is_number()) {
        spec.constant = value.value<double>().value_or(0.0);
        text << k << " = " << spec.constant;
      } else {
        message = "the value of " + k + " must be a number or a relation in quotes";
        return false;
      }
      spec.text = text.str();
    }
    if (relations != 1) {
      line = spec.line;
      message = "a [[specs]] table holds one relation \"VARIABLE\" = \"EXPRESSION\" (and optionally free = \"VARIABLE\"), not " +
                std::to_string(relations);
      return false;
    }
    out.push_back(std::move(spec));
  }
  return true;
}

}  // namespace r3::host
