// Newton iteration cost of the flowsheet solver on N pumps in series
// (equation based, one system): residuals, Jacobian, sparse LU and the step.
#include <benchmark/benchmark.h>

#include <string>

#include "framework/entry_protocol.h"
#include "host/case/case.h"
#include "host/solver/flowsheet.h"
#include "host/units/units.h"

// The host lets a caller choose its sparse LU.
#define R3_BENCH_LU_CHOICE 1

extern "C" void R3PUMP(R3_ENTRY_PARAMS);

namespace {

// N pumps in series (NC6/NC7, 1 bar each), each with its efficiency or,
// with power, its power fixed.
std::string pumps_case(int n, bool power) {
  std::string t =
      "[properties]\nmethod = \"PENG-ROB\"\ncomponents = [\"NC6\", \"NC7\"]\n"
      "[streams.S0]\ntemperature = 300.0\npressure = 2.0e5\nflows = { NC6 = 0.6, NC7 = 0.4 }\n";
  for (int i = 1; i <= n; ++i) t += "[streams.S" + std::to_string(i) + "]\n";
  for (int i = 1; i <= n; ++i) {
    t += "[[blocks]]\nid = \"P" + std::to_string(i) + "\"\nmodel = \"R3PUMP\"\n";
    t += "inlets = [\"S" + std::to_string(i - 1) + "\"]\noutlets = [\"S" + std::to_string(i) + "\"]\n";
    t += std::string("int = [1, 1]\nfix = { DELTA_P = 1.0e5, ") + (power ? "BHP = 2.0e4" : "PUMP_EFF = 0.7") +
         ", DR_EFF = 1.0 }\n";
  }
  return t;
}

void BM_NewtonIteration(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  r3::host::units::reset();
  r3::host::units::capture(r3::host::units::kMessageUnit);
  r3::host::Case c;
  std::string error;
  if (!r3::host::parse_case(pumps_case(n, false), "series.toml", c, error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  r3::host::Flowsheet fs;
  auto resolve = [](const std::string&) { return static_cast<r3::EntryFn>(R3PUMP); };
  if (!fs.build(c, resolve, error) || fs.initialise(error) != r3::host::Outcome::Solved) {
    state.SkipWithError(error.c_str());
    return;
  }
  // Start one step away from the solution so that every iteration does the
  // full work (the pumps' outlet temperatures are perturbed).
  std::vector<double> x0 = fs.values();
  for (size_t i = 0; i < x0.size(); ++i) {
    if (fs.variables()[i].name.find("DISCH_TEMP") != std::string::npos) x0[i] += 1.0;
  }
#ifdef R3_BENCH_LU_CHOICE
  fs.use_klu(state.range(1) != 0);
#endif
  for (auto _ : state) {
    fs.set_values(x0);
    const auto rep = fs.solve(1, 0.0, nullptr);
    benchmark::DoNotOptimize(rep.residual_norm);
  }
  state.counters["variables"] = static_cast<double>(fs.variables().size());
  state.counters["us_per_pump"] = benchmark::Counter(
      static_cast<double>(n), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The second argument picks the sparse LU (0 Eigen's SparseLU, 1 KLU); the
// analysis is kept between the calls, so each one refactorises only.
BENCHMARK(BM_NewtonIteration)
    ->ArgNames({"N", "klu"})
    ->ArgsProduct({{1, 10, 100, 1000}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);

// N pumps in series (NC6/NC7, 1 bar each), the whole solve from a parsed
// case: set-up, initialisation, structure check and Newton to convergence.
// Variant 0 gives each pump's efficiency, variant 1 fixes each pump's power
// and finds its efficiency (no guess). The third argument picks the sparse
// LU: 0 Eigen's SparseLU, 1 KLU.
void BM_PumpsSolve(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const bool power = state.range(1) != 0;
  r3::host::units::reset();
  r3::host::units::capture(r3::host::units::kMessageUnit);
  r3::host::Case c;
  std::string error;
  if (!r3::host::parse_case(pumps_case(n, power), "pumps.toml", c, error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  auto resolve = [](const std::string&) { return static_cast<r3::EntryFn>(R3PUMP); };
  int iterations = 0;
  bool converged = true;
  for (auto _ : state) {
    r3::host::Flowsheet fs;
#ifdef R3_BENCH_LU_CHOICE
    fs.use_klu(state.range(2) != 0);
#endif
    if (!fs.build(c, resolve, error) || fs.initialise(error) != r3::host::Outcome::Solved ||
        fs.check_structure(error) != r3::host::Outcome::Solved) {
      state.SkipWithError(error.c_str());
      return;
    }
    const auto rep = fs.solve(c.solver.max_iterations, c.solver.tolerance, nullptr);
    iterations = rep.iterations;
    converged = converged && rep.converged;
    r3::host::units::take(r3::host::units::kMessageUnit);
  }
  state.counters["iterations"] = iterations;
  state.counters["converged"] = converged ? 1 : 0;
}

// The degrees-of-freedom and structure check alone (maximum matching) on N
// pumps in series with fixed powers.
void BM_StructureCheck(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  r3::host::units::reset();
  r3::host::units::capture(r3::host::units::kMessageUnit);
  r3::host::Case c;
  std::string error;
  r3::host::Flowsheet fs;
  auto resolve = [](const std::string&) { return static_cast<r3::EntryFn>(R3PUMP); };
  if (!r3::host::parse_case(pumps_case(n, true), "pumps.toml", c, error) || !fs.build(c, resolve, error) ||
      fs.initialise(error) != r3::host::Outcome::Solved) {
    state.SkipWithError(error.c_str());
    return;
  }
  for (auto _ : state) {
    if (fs.check_structure(error) != r3::host::Outcome::Solved) state.SkipWithError(error.c_str());
  }
}

BENCHMARK(BM_StructureCheck)->Arg(1000)->Arg(3000)->Arg(10000)->Unit(benchmark::kMillisecond);

BENCHMARK(BM_PumpsSolve)
    ->ArgNames({"N", "power", "klu"})
    ->ArgsProduct({{10, 100, 1000, 3000}, {0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
