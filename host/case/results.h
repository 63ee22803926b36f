// Results of a run for people and programs: the stream table and the
// machine-readable results.
#pragma once

#include <cstdio>
#include <nlohmann/json.hpp>

#include "host/solver/flowsheet.h"

namespace r3::host {

// The table of solved streams, one column per stream.
void write_stream_table(Flowsheet& fsh, std::FILE* out);

// The solved streams by identifier.
nlohmann::json stream_json(Flowsheet& fsh);

// Adds the run's status, blocks, variables and streams to `j`. `prep` is the
// set-up's exit code (0 when the flowsheet was set up and solved).
void results_json(Flowsheet& fsh, const SolveReport& rep, int prep, nlohmann::json& j);

}  // namespace r3::host
