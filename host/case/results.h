// Results of a run for people and programs: the stream table and the
// machine-readable results.
#pragma once

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "host/solver/flowsheet.h"

namespace r3::host {

// Stream identifiers in flow order: the feeds in the order the blocks take
// them, then each block's outlets in block order, then any others.
std::vector<std::string> stream_order(const Case& c);

// The table of solved streams in flow order, one column per stream, in the
// case's report units; information streams with their kind and value.
void write_stream_table(Flowsheet& fsh, std::FILE* out);

// The solved streams by identifier, in the case's report units.
nlohmann::json stream_json(Flowsheet& fsh);

// Adds the run's status, blocks, variables and streams to `j`. `prep` is the
// set-up's exit code (0 when the flowsheet was set up and solved).
void results_json(Flowsheet& fsh, const SolveReport& rep, int prep, nlohmann::json& j);

}  // namespace r3::host
