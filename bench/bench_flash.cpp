// Flash timings on a 10-component natural gas (Peng-Robinson): a two-phase
// TP flash, and PH and PS flashes at the enthalpy and entropy of that state
// started 10 K away (the outer temperature loop around TP flashes).
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "host/thermo/thermo.h"

namespace {

using namespace r3::thermo;

const std::vector<std::string> kIds{"N2", "CO2", "CH4", "C2H6", "C3H8",
                                    "IC4", "NC4", "IC5", "NC5", "NC6"};
const std::vector<double> kGas{0.010, 0.015, 0.800, 0.070, 0.040,
                               0.015, 0.020, 0.008, 0.007, 0.015};
constexpr double kT = 230.0, kP = 4e6, kTstart = 240.0;

std::unique_ptr<Model> natural_gas() {
  const Databank& db = Databank::builtin();
  std::vector<const Component*> comps;
  for (const auto& id : kIds) comps.push_back(&db[db.find(id)]);
  return make_model(Method::PengRobinson, comps);
}

void BM_FlashTP_TwoPhase(benchmark::State& state) {
  auto m = natural_gas();
  FlashResult r;
  flash_tp(*m, kT, kP, kGas, r);
  state.counters["beta"] = r.beta;
  for (auto _ : state) {
    flash_tp(*m, kT, kP, kGas, r);
    benchmark::DoNotOptimize(r.beta);
  }
}
BENCHMARK(BM_FlashTP_TwoPhase);

void BM_FlashPH_TwoPhase(benchmark::State& state) {
  auto m = natural_gas();
  FlashResult r;
  flash_tp(*m, kT, kP, kGas, r);
  const double h = r.H;
  state.counters["beta"] = r.beta;
  for (auto _ : state) {
    flash_ph(*m, kP, h, kGas, kTstart, r);
    benchmark::DoNotOptimize(r.T);
  }
}
BENCHMARK(BM_FlashPH_TwoPhase);

void BM_FlashPS_TwoPhase(benchmark::State& state) {
  auto m = natural_gas();
  FlashResult r;
  flash_tp(*m, kT, kP, kGas, r);
  const double s = r.S;
  state.counters["beta"] = r.beta;
  for (auto _ : state) {
    flash_ps(*m, kP, s, kGas, kTstart, r);
    benchmark::DoNotOptimize(r.T);
  }
}
BENCHMARK(BM_FlashPS_TwoPhase);

}  // namespace

BENCHMARK_MAIN();
