// The HTML report of a run and single-block SVG plots: what r3sim writes with
// `run --html` and `plot`. Everything comes from the solved flowsheet, the
// case's inputs and the blocks' own report text; nothing here calls a model.
#pragma once

#include <string>
#include <vector>

#include "host/solver/flowsheet.h"

namespace r3::report {

// Empty when a file can be created at `path` (its folder exists); otherwise
// why not. Checked before a run so that no solve is wasted.
std::string check_output_path(const std::string& path);

// One self-contained page: header, flowsheet diagram, stream table, each
// block's report, the plots. `block_reports` holds each block's report text,
// in the case's order. False with a message when the file cannot be written.
bool write_html_report(host::Flowsheet& fsh, const host::SolveReport& rep,
                       const std::vector<std::string>& block_reports, const std::string& path,
                       std::string& error);

// The flowsheet as an inline SVG diagram, blocks left to right in flow order.
std::string flowsheet_svg(const host::Case& c);

enum class PlotOutcome { Written, NoSuchBlock, NothingToPlot, CannotWrite };
// One block's plot as a standalone SVG file.
PlotOutcome write_block_plot(host::Flowsheet& fsh, bool solved, const std::string& block,
                             const std::string& path, std::string& error);

}  // namespace r3::report
