// Sweep throughput: points solved per second by run_sweep (the engine behind
// r3sim sweep and r3sim.sweep) on 1 and 2 worker processes, for the pump
// (equation based: Newton from the nearest solved point) and the centrifugal
// compressor on its curves. Worker start-up is part of every sweep.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <string>

#include "apps/r3sim/sweep.h"
#include "host/units/units.h"

#ifndef R3_SOURCE_DIR
#define R3_SOURCE_DIR "."
#endif

namespace {

// CPU seconds of this process and its finished workers: a per-point cost
// that does not depend on how busy the machine is.
double cpu_seconds() {
  double t = 0.0;
  for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
    rusage u{};
    getrusage(who, &u);
    t += static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + 1e-6 * static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
  }
  return t;
}

struct Study {
  const char* file;
  const char* grid;
};

const Study kStudies[] = {
    {"examples/pump_eo.toml",
     R"({"P1.BHP": {"from": 9e3, "to": 15e3, "steps": 50}, "FEED.TEMPERATURE": {"from": 290, "to": 340, "steps": 20},
         "outputs": ["P1.PUMP_EFF"], "chunk": 25})"},
    {"examples/ccmp/ccmp_curves_speed.toml",
     R"({"K1.SPEED": {"from": 9000, "to": 12000, "steps": 25}, "FEED.TOTAL_FLOW": {"from": 0.8, "to": 1.6, "steps": 40},
         "outputs": ["K1.PRATIO"], "chunk": 25})"},
};

void BM_Sweep(benchmark::State& state) {
  const Study& s = kStudies[state.range(0)];
  r3::sweep::Case c;
  r3::sweep::Grid grid;
  std::string error;
  if (!r3::host::load_case(std::string(R3_SOURCE_DIR) + "/" + s.file, c, error) ||
      !r3::sweep::parse_grid(nlohmann::ordered_json::parse(s.grid), grid, error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  r3::sweep::Options opt;
  opt.jobs = static_cast<int>(state.range(1));
  opt.progress = false;
  size_t points = 0, failed = 0;
  const double cpu0 = cpu_seconds();
  for (auto _ : state) {
    r3::sweep::Grid g = grid;
    if (!r3::sweep::run_sweep(c, g, opt, [&](const r3::sweep::Row& r) { ++points; failed += r.status != "converged"; },
                              error)) {
      state.SkipWithError(error.c_str());
      return;
    }
  }
  state.SetLabel(std::string(s.file) + ", " + std::to_string(grid.points.size()) + " points");
  state.counters["points/s"] = benchmark::Counter(static_cast<double>(points), benchmark::Counter::kIsRate);
  state.counters["cpu_ms/point"] = 1e3 * (cpu_seconds() - cpu0) / static_cast<double>(points);
  state.counters["failed"] = static_cast<double>(failed) / static_cast<double>(state.iterations());
}

}  // namespace

BENCHMARK(BM_Sweep)->ArgsProduct({{0, 1}, {1, 2}})->ArgNames({"case", "jobs"})->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
