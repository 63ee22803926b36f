// Results of a run for people and programs: the stream table and the
// machine-readable results.
#pragma once

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "host/solver/flowsheet.h"

namespace r3::host {

// The run header that leads every output: title, property method, status,
// iterations and the final residual norm (the largest scaled residual).
void write_run_header(const Flowsheet& fsh, const SolveReport& rep, std::FILE* out);

// The line that stands above every block report and the stream table of a
// run that did not solve.
void write_unsolved_marker(const SolveReport& rep, std::FILE* out);

// Every block's report, each under the unsolved marker when the run did not
// solve; the diagnosis follows when there is one. `each`, when given,
// receives every block's report on its own.
std::string block_reports(Flowsheet& fsh, const SolveReport& rep, std::vector<std::string>* each = nullptr);

// Every warning about the run's inputs and results, one line each
// ("r3sim: warning: ...").
void write_warnings(const Flowsheet& fsh, std::FILE* out);


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

// The status object of the results: state, message, iterations, residual
// norm, failed block and equation, and the diagnosis.
nlohmann::json status_json(const SolveReport& rep);

}  // namespace r3::host
