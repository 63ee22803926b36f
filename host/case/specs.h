// The case file's [[specs]] tables: relations between any variables of the
// flowsheet, each one more equation of the system.
//
//   [[specs]]
//   "HX1.T_COLD_OUT" = "S5.TEMPERATURE"      # an equality
//   [[specs]]
//   "P1.DELTA_P" = "2 * P2.DELTA_P + 1.0e4"  # a linear relation
//   [[specs]]
//   "S7.TEMPERATURE" = 320.0                 # a design specification: the
//   free = "H1.DUTY"                         # target met by freeing H1.DUTY
#pragma once

#include <string>
#include <toml++/toml.h>
#include <utility>
#include <vector>

namespace r3::host {

// left = sum of coefficient * variable + constant.
struct SpecDef {
  int line = 0;
  std::string left;
  std::vector<std::pair<double, std::string>> terms;
  double constant = 0.0;
  std::string free;  // a fixed variable the relation frees ("" when none)
  std::string text;  // the relation as written, for messages
};

// Reads the root's [[specs]] into `out`. False with the line and the message
// when a table is malformed.
bool read_specs(const toml::table& root, std::vector<SpecDef>& out, int& line, std::string& message);

// Parses a linear expression "a * X + b * Y - c" (coefficients and constants
// are numbers; variables are flowsheet names). False with a message.
bool parse_linear(const std::string& text, SpecDef& spec, std::string& message);

}  // namespace r3::host
