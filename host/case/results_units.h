// The self-describing parts of the results: what program wrote them, the
// case (title, method, components), the units of every quantity, and each
// block's variables with units, bounds and fixed or free.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "host/solver/flowsheet.h"

namespace r3::host {

// The results' layout version; raised when a key changes meaning or goes.
inline constexpr int kResultsSchemaVersion = 1;

// schema_version and program always; title, method, components, units and
// stream_order when the case was set up (`set_up`).
void case_json(const Flowsheet& fsh, bool set_up, nlohmann::json& j);

// Adds "variables" (name, value, unit, lower, upper, fixed) to every entry of
// j["blocks"], in the report units.
void block_variables_json(Flowsheet& fsh, nlohmann::json& j);

// The report unit and the value in it of a variable with a physical type.
std::string variable_unit(const Case& c, int32_t type);
double variable_shown(const Case& c, int32_t type, double si);

}  // namespace r3::host
