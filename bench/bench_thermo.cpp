// Property-engine timings: Peng-Robinson property calls with all their
// derivatives and without any, for a 10-component natural gas, and two-phase
// TP, PH and PS flashes of the same gas.
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

std::unique_ptr<Model> natural_gas() {
  const Databank& db = Databank::builtin();
  std::vector<const Component*> comps;
  for (const auto& id : kIds) comps.push_back(&db[db.find(id)]);
  return make_model(Method::PengRobinson, comps);
}

// Enthalpy with its T, P and composition derivatives, then ln phi with all
// of its derivatives (the two calls a unit model's Jacobian makes per phase).
void BM_PrEnthalpyWithGradient(benchmark::State& state) {
  auto m = natural_gas();
  std::vector<double> dx(10);
  Gradient g{0, 0, dx};
  double h;
  for (auto _ : state) {
    m->enthalpy(Phase::Vapour, 250.0, 4e6, kGas, h, &g);
    benchmark::DoNotOptimize(h);
    benchmark::DoNotOptimize(dx.data());
  }
}
BENCHMARK(BM_PrEnthalpyWithGradient);

void BM_PrLnPhiWithDerivatives(benchmark::State& state) {
  auto m = natural_gas();
  std::vector<double> lp(10), dT(10), dP(10), dX(100);
  LnPhiDerivatives d{dT, dP, dX};
  for (auto _ : state) {
    m->ln_fugacity_coefficients(Phase::Liquid, 250.0, 4e6, kGas, lp, &d);
    benchmark::DoNotOptimize(lp.data());
    benchmark::DoNotOptimize(dX.data());
  }
}
BENCHMARK(BM_PrLnPhiWithDerivatives);

// The values alone (what a flash's successive substitution asks for).
void BM_PrLnPhiValue(benchmark::State& state) {
  auto m = natural_gas();
  std::vector<double> lp(10);
  for (auto _ : state) {
    m->ln_fugacity_coefficients(Phase::Liquid, 250.0, 4e6, kGas, lp);
    benchmark::DoNotOptimize(lp.data());
  }
}
BENCHMARK(BM_PrLnPhiValue);

void BM_PrEnthalpyValue(benchmark::State& state) {
  auto m = natural_gas();
  double h;
  for (auto _ : state) {
    m->enthalpy(Phase::Vapour, 250.0, 4e6, kGas, h);
    benchmark::DoNotOptimize(h);
  }
}
BENCHMARK(BM_PrEnthalpyValue);

// Flashes of the same gas: a two-phase TP flash at 230 K and 4 MPa, and PH
// and PS flashes at that state's enthalpy and entropy started 10 K away (the
// outer temperature loop around TP flashes).
enum class Spec { TP, PH, PS };
template <Spec spec>
void BM_Flash(benchmark::State& state) {
  constexpr double kT = 230.0, kP = 4e6, kTstart = 240.0;
  auto m = natural_gas();
  FlashResult r;
  flash_tp(*m, kT, kP, kGas, r);
  const double h = r.H, s = r.S;
  state.counters["beta"] = r.beta;
  for (auto _ : state) {
    if constexpr (spec == Spec::TP) flash_tp(*m, kT, kP, kGas, r);
    if constexpr (spec == Spec::PH) flash_ph(*m, kP, h, kGas, kTstart, r);
    if constexpr (spec == Spec::PS) flash_ps(*m, kP, s, kGas, kTstart, r);
    benchmark::DoNotOptimize(r.T);
  }
}
BENCHMARK(BM_Flash<Spec::TP>)->Name("BM_FlashTP_TwoPhase");
BENCHMARK(BM_Flash<Spec::PH>)->Name("BM_FlashPH_TwoPhase");
BENCHMARK(BM_Flash<Spec::PS>)->Name("BM_FlashPS_TwoPhase");

}  // namespace

BENCHMARK_MAIN();
