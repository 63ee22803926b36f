// Steam-table timings: forward h(p, T) in regions 1 and 2, backward T(p, h)
// in region 2, and the isentropic work with its derivatives (a turbine stage
// evaluation). Inputs cycle through small tables so the branch predictor and
// the compiler cannot fold the work away.
#include <benchmark/benchmark.h>

#include <array>

#include "framework/host_services.h"
#include "host/steam/if97.h"

namespace {

using namespace r3::steam;

struct PT {
  double p, T;
};

void BM_Region1_h_pT(benchmark::State& state) {
  const std::array<PT, 4> in = {{{3e6, 300}, {80e6, 300}, {3e6, 500}, {10e6, 420}}};
  size_t i = 0;
  State st;
  for (auto _ : state) {
    const PT& c = in[i++ & 3];
    region1_pT(c.p, c.T, st);
    benchmark::DoNotOptimize(st.h);
  }
}
BENCHMARK(BM_Region1_h_pT);

void BM_Region2_h_pT(benchmark::State& state) {
  const std::array<PT, 4> in = {{{0.0035e6, 300}, {0.0035e6, 700}, {30e6, 700}, {5e6, 600}}};
  size_t i = 0;
  State st;
  for (auto _ : state) {
    const PT& c = in[i++ & 3];
    region2_pT(c.p, c.T, st);
    benchmark::DoNotOptimize(st.h);
  }
}
BENCHMARK(BM_Region2_h_pT);

// The whole-range entry point (range check, region choice, then the equation).
void BM_StatePT_region1(benchmark::State& state) {
  const std::array<PT, 4> in = {{{3e6, 300}, {80e6, 300}, {3e6, 500}, {10e6, 420}}};
  size_t i = 0;
  State st;
  for (auto _ : state) {
    const PT& c = in[i++ & 3];
    state_pT(c.p, c.T, st);
    benchmark::DoNotOptimize(st.h);
  }
}
BENCHMARK(BM_StatePT_region1);

void BM_StatePT_region2(benchmark::State& state) {
  const std::array<PT, 4> in = {{{0.0035e6, 300}, {0.0035e6, 700}, {1e6, 700}, {5e6, 600}}};
  size_t i = 0;
  State st;
  for (auto _ : state) {
    const PT& c = in[i++ & 3];
    state_pT(c.p, c.T, st);
    benchmark::DoNotOptimize(st.h);
  }
}
BENCHMARK(BM_StatePT_region2);

struct PH {
  double p, h;
};
const std::array<PH, 4> kRegion2PH = {{{0.001e6, 3000e3}, {3e6, 3000e3}, {5e6, 3500e3}, {25e6, 3500e3}}};

// Backward temperature refined on the basic equation (consistent to round-off).
void BM_Region2_T_ph(benchmark::State& state) {
  size_t i = 0;
  double T = 0;
  for (auto _ : state) {
    const PH& c = kRegion2PH[i++ & 3];
    temperature_ph(c.p, c.h, T);
    benchmark::DoNotOptimize(T);
  }
}
BENCHMARK(BM_Region2_T_ph);

// The full state from (p, h).
void BM_Region2_state_ph(benchmark::State& state) {
  size_t i = 0;
  State st;
  for (auto _ : state) {
    const PH& c = kRegion2PH[i++ & 3];
    state_ph(c.p, c.h, st);
    benchmark::DoNotOptimize(st.T);
  }
}
BENCHMARK(BM_Region2_state_ph);

// The raw explicit backward equation, for comparison.
void BM_Region2_T_ph_backward_equation(benchmark::State& state) {
  size_t i = 0;
  double T = 0;
  for (auto _ : state) {
    const PH& c = kRegion2PH[i++ & 3];
    backward_T_ph(2, c.p, c.h, T);
    benchmark::DoNotOptimize(T);
  }
}
BENCHMARK(BM_Region2_T_ph_backward_equation);

struct Stage {
  double Pa, Pb, h, G;
};

void BM_IsentropicWork(benchmark::State& state) {
  const std::array<Stage, 4> in = {{{10e6, 1e6, 3400e3, 50},
                                    {3e6, 0.5e6, 3200e3, 20},
                                    {16e6, 4e6, 3500e3, 80},
                                    {1e6, 0.2e6, 3000e3, 10}}};
  size_t i = 0;
  IsentropicWork w;
  for (auto _ : state) {
    const Stage& c = in[i++ & 3];
    isentropic_work(c.Pa, c.Pb, c.h, c.G, w);
    benchmark::DoNotOptimize(w.dW_dPa);
  }
}
BENCHMARK(BM_IsentropicWork);

// Expansion ending in the wet region (two-phase outlet state and partials).
void BM_IsentropicWork_wet_outlet(benchmark::State& state) {
  const std::array<Stage, 4> in = {{{3e6, 0.01e6, 3200e3, 20},
                                    {1e6, 0.05e6, 2900e3, 10},
                                    {5e6, 0.1e6, 3100e3, 30},
                                    {2e6, 0.02e6, 3000e3, 15}}};
  size_t i = 0;
  IsentropicWork w;
  for (auto _ : state) {
    const Stage& c = in[i++ & 3];
    isentropic_work(c.Pa, c.Pb, c.h, c.G, w);
    benchmark::DoNotOptimize(w.dW_dPa);
  }
}
BENCHMARK(BM_IsentropicWork_wet_outlet);

// The host service a turbine block calls for its work rows: SSS_TWORK in
// mode 3 (work and its four derivatives), molar enthalpy and flow.
void BM_SSS_TWORK_mode3(benchmark::State& state) {
  constexpr double kMw = 18.015268;
  const std::array<Stage, 4> in = {{{10e6, 1e6, 3400e3 * kMw, 2.8},
                                    {3e6, 0.5e6, 3200e3 * kMw, 1.1},
                                    {3e6, 0.01e6, 3200e3 * kMw, 1.1},
                                    {1e6, 0.05e6, 2900e3 * kMw, 0.6}}};
  const int32_t mode = 3;
  const double fac = 1.0;
  double r[10];
  size_t i = 0;
  for (auto _ : state) {
    const Stage& c = in[i++ & 3];
    SSS_TWORK(&mode, &c.Pa, &c.Pb, &c.h, &c.G, &fac, r);
    benchmark::DoNotOptimize(r[1]);
  }
}
BENCHMARK(BM_SSS_TWORK_mode3);

}  // namespace

BENCHMARK_MAIN();
