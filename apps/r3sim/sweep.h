// Case studies: a case solved at many points (a grid of input values), and
// the one-point solve that the Python package shares with them.
//
// A point is the case with some inputs changed (set_input). Points are cut
// into chunks of consecutive grid points; within a chunk each point starts
// from the nearest point already solved in that chunk. The chunks are fixed by
// the grid alone, so the results do not depend on how many workers run them
// or in which order. Workers are processes today: the host keeps one run's
// state per process. solve_chunk is the whole unit of work, so once that
// state is per thread a pool of threads calling it can replace the processes
// in run_sweep (and the Python module's one-solve-at-a-time lock can go).
#pragma once

#include <cstdio>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "host/case/case.h"
#include "host/solver/flowsheet.h"

namespace r3::sweep {

using host::Case;

// Sets one input of a case:
//   BLOCK.VAR        a block's variable, fixed at the value
//   STREAM.VAR       a variable of a stream no block feeds from the case
//                    (a product such as PROD.PRESSURE), fixed on its block
//   FEED.TEMPERATURE, FEED.PRESSURE, FEED.VAPOUR_FRACTION, FEED.MASS_ENTHALPY,
//   FEED.TOTAL_FLOW (composition kept), FEED.FLOW_<COMPONENT>, INFO.VALUE
//                    a feed stream's conditions
// Case-insensitive for the feed keys. False with a message naming what the
// case has when NAME is none of these; a block variable the model does not
// have is reported when the point is set up.
bool set_input(Case& c, const std::string& name, double value, std::string& error);

// One solve of a case, as `r3sim run` does it. `code` is r3sim's exit code.
struct Solved {
  int code = 0;
  host::SolveReport report;
  bool prepared = false;         // the flowsheet was set up (the case and the models accepted)
  bool structure_error = false;  // degrees of freedom or a singular structure
  std::string error;             // the set-up's or the solver's message
};

// Sets up and solves `c` in `fsh`. When `start` has one value per variable,
// the free variables start from it unless the models' own initial point has
// a smaller residual. The streams are updated afterwards.
Solved solve_case(const Case& c, host::Flowsheet& fsh, const std::vector<double>* start,
                  std::FILE* progress);

// The results of a solve, as `r3sim run --json` writes them: the blocks'
// reports and the results.
nlohmann::json results(host::Flowsheet& fsh, const Solved& s);

// Status of a solve in words: "converged", "not converged", "specification
// error", "model failure", "bad input".
std::string state_of(const Solved& s);

// A named quantity of the solved flowsheet: a variable (P1.BHP) or a stream
// property (PROD.TEMPERATURE, PROD.DENSITY, ...). False when there is none.
bool output_value(host::Flowsheet& fsh, const std::string& name, double& value);

// The points of a study.
struct Grid {
  std::vector<std::string> names;             // inputs
  std::vector<std::vector<double>> points;    // one value per input, grid order
  std::vector<std::string> outputs;           // requested outputs (empty: every variable)
  int chunk = 8;                              // points per chunk
};

// Reads a grid from its JSON form (the Python dict, or a TOML grid file):
//   {"P1.DELTA_P": [4e5, 5e5],                         list
//    "FEED.TEMPERATURE": {"from": 290, "to": 330, "steps": 5},   range, ends included
//    "P1.PUMP_EFF": {"uniform": [0.6, 0.8]},           random draw
//    "P1.DR_EFF": {"normal": [0.95, 0.01]},            random draw (mean, sd)
//    "seed": 1, "samples": 100, "outputs": ["P1.BHP"], "chunk": 8}
// Lists and ranges combine as a full grid (the first name varies slowest);
// with random draws every grid point is repeated `samples` times, each with
// its own draws from a generator seeded with `seed`.
bool parse_grid(const nlohmann::ordered_json& spec, Grid& grid, std::string& error);
// The same from a TOML file: the inputs in a [grid] table, the rest at the top.
bool load_grid(const std::string& path, Grid& grid, std::string& error);

// One point's outcome.
struct Row {
  size_t index = 0;
  std::string status;        // state_of, or "worker died"
  int iterations = 0;
  double residual_norm = 0;  // NaN when not solved
  std::string message;       // why it failed
  std::vector<double> outputs;  // NaN unless converged
};

// Output names of a grid for a case: the requested ones, or every variable.
bool resolve_outputs(const Case& c, Grid& grid, std::string& error);

// Solves points [begin, end) of the grid in this process, in order, each
// warm-started from the nearest converged point before it in the range.
void solve_chunk(const Case& c, const Grid& grid, size_t begin, size_t end,
                 const std::function<void(Row&&)>& emit);

struct Options {
  int jobs = 1;
  bool progress = true;
  // A test hook: the worker that reaches this point dies (SIGKILL) first.
  long die_at = -1;
  // Asked between points: true stops the sweep ("interrupted").
  std::function<bool()> cancelled;
};

// Runs every chunk of the grid on `jobs` worker processes (in this process
// when jobs is 1) and hands each row to `on_row` as it comes (any order).
// Progress (points done, failed, rate, time left) goes to standard error.
// False with a message when the grid does not fit the case; no point runs
// then.
bool run_sweep(const Case& c, Grid& grid, const Options& opt, const std::function<void(const Row&)>& on_row,
               std::string& error);

}  // namespace r3::sweep

namespace CLI {
class App;
}

// r3sim sweep CASE --grid GRID.toml --jobs N --out results.csv
struct SweepOptions {
  std::string case_path, grid_path, out;
  int jobs = 1;
  long die_at = -1;
  bool quiet = false;
};
CLI::App* add_sweep_command(CLI::App& app, SweepOptions& o);
// Exit codes: 0 every point solved, 1 bad input, 3 some points failed.
int run_sweep_command(const SweepOptions& o);
