// Case files: a flowsheet of blocks and streams, written by hand in TOML.
// Loading checks the file's structure and values; every error names the file,
// the line and what was expected.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "host/case/specs.h"
#include "host/services/context.h"
#include "host/thermo/thermo.h"
#include "host/units/quantity.h"

namespace r3::host {

struct StreamDef {
  enum class Kind { Material, Work, Heat };
  std::string id;
  Kind kind = Kind::Material;
  int line = 0;
  // Material streams (SI values); absent values are initial guesses only.
  std::optional<double> temperature, pressure, vapour_fraction, mass_enthalpy;
  std::optional<std::vector<double>> flows;  // component molar flows, kmol/s
  // Information streams: power or duty, W.
  std::optional<double> value;
  bool has_conditions() const {
    return flows && pressure && (temperature || vapour_fraction || mass_enthalpy);
  }
};

// A block value written with a unit ("15 bar"). Its SI value in fix, guess or
// bounds is converted by the unit alone; once the block has given its
// variables their physical types, the value is checked against the type
// (and converted again where the type tells more, as for a temperature
// difference in degC).
struct MeasuredValue {
  enum class Use { Fix, Guess, Lower, Upper };
  std::string name;
  Use use = Use::Fix;
  double number = 0;
  std::string unit;
  int line = 0;
};

struct BlockDef {
  std::string id;
  std::string model;
  int line = 0;
  std::vector<std::string> inlets, outlets, info_inlets, info_outlets;
  std::vector<int32_t> ints;
  std::vector<double> reals;
  std::optional<int32_t> diagnostic_level;
  // Variable name -> value, in the order written.
  std::vector<std::pair<std::string, double>> fix, guess, scale;
  std::vector<std::pair<std::string, std::pair<double, double>>> bounds;
  std::map<std::string, int> name_lines;  // line of each name, for messages
  std::vector<MeasuredValue> measured;     // the values written with units
  // A numeric-layer block (model R3NUML): the wrapped user model and how its
  // derivatives are obtained.
  std::string user_model;
  int32_t derivatives = 2;
  int32_t check = 0;
};

struct SolverSettings {
  int max_iterations = 50;
  double tolerance = 1.0e-9;
  // Relative tolerance of r3sim check's comparison of analytic and
  // finite-difference Jacobians.
  double check_tolerance = 1.0e-4;
};

struct Case {
  std::string path;
  std::string title;
  thermo::Method method = thermo::Method::PengRobinson;
  std::vector<std::string> components;
  // [properties] kij: the Peng-Robinson interaction parameters over the
  // databank's, which the case's run uses.
  std::vector<thermo::BinaryInteraction> kij;
  // Further user-model libraries, as given and resolved against the case's folder.
  std::vector<std::string> libraries;
  ReportUnits report_units = ReportUnits::SI;
  // The report units of the stream table, the JSON and the models' reports:
  // the set, with the [report] table's choices per quantity.
  uom::ReportUnits report;
  std::vector<StreamDef> streams;
  std::vector<BlockDef> blocks;
  SolverSettings solver;
  // Feed-stream variables the case releases ("FEED.TOTAL_FLOW", ...), with
  // the line of each, for messages.
  std::vector<std::pair<std::string, int>> free;
  std::vector<SpecDef> specs;  // [[specs]]: relations between variables

  // The stream of an identifier, or null: through an index kept beside
  // `streams` and rebuilt when the list has changed since it was made.
  const StreamDef* stream(const std::string& id) const;

 private:
  mutable std::unordered_map<std::string, size_t> stream_index_;
  mutable size_t indexed_ = 0;  // streams.size() when the index was made
};

// Reads and checks a case file. On failure returns false with a message of
// the form "FILE:LINE: what was expected".
bool load_case(const std::string& path, Case& out, std::string& error);
// The same from text (the path is used in messages only).
bool parse_case(const std::string& text, const std::string& path, Case& out, std::string& error);

}  // namespace r3::host
