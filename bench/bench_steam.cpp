// Steam-table timings: forward h(p, T) in regions 1 and 2 (full and lean),
// temperatures from (p, h) and (p, s) in regions 1, 2 and 3, and the
// isentropic work with its derivatives (a turbine stage evaluation). Inputs
// cycle through small tables so the branch predictor and the compiler cannot
// fold the work away.
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

// The lean whole-range call: v, h and s of the stable state, no cp or w.
void BM_StatePT_vhs_region1(benchmark::State& state) {
  const std::array<PT, 4> in = {{{3e6, 300}, {80e6, 300}, {3e6, 500}, {10e6, 420}}};
  size_t i = 0;
  StateVHS st;
  for (auto _ : state) {
    const PT& c = in[i++ & 3];
    state_pT_vhs(c.p, c.T, st);
    benchmark::DoNotOptimize(st.h);
  }
}
BENCHMARK(BM_StatePT_vhs_region1);

void BM_StatePT_vhs_region2(benchmark::State& state) {
  const std::array<PT, 4> in = {{{0.0035e6, 300}, {0.0035e6, 700}, {1e6, 700}, {5e6, 600}}};
  size_t i = 0;
  StateVHS st;
  for (auto _ : state) {
    const PT& c = in[i++ & 3];
    state_pT_vhs(c.p, c.T, st);
    benchmark::DoNotOptimize(st.h);
  }
}
BENCHMARK(BM_StatePT_vhs_region2);

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

// Region 1 and region 3 temperatures from (p, h), region 1, 2 and 3
// temperatures from (p, s), mostly at the inputs of the IAPWS verification
// tables; region 3 also at 20 MPa, a few kelvin from the saturation line.
const std::array<PH, 4> kRegion1PH = {{{3e6, 500e3}, {80e6, 500e3}, {80e6, 1500e3}, {10e6, 1000e3}}};
const std::array<PH, 4> kRegion3PH = {{{50e6, 2000e3}, {100e6, 2100e3}, {50e6, 2400e3}, {100e6, 2700e3}}};
const std::array<PH, 4> kRegion3PH20 = {{{20e6, 1700e3}, {20e6, 2500e3}, {20e6, 1750e3}, {20e6, 2450e3}}};
struct PS {
  double p, s;
};
const std::array<PS, 4> kRegion1PS = {{{3e6, 0.5e3}, {80e6, 0.5e3}, {80e6, 3e3}, {10e6, 2e3}}};
const std::array<PS, 4> kRegion2PS = {{{0.1e6, 7.5e3}, {2.5e6, 8e3}, {8e6, 6e3}, {20e6, 5.75e3}}};
const std::array<PS, 4> kRegion3PS = {{{50e6, 3.6e3}, {100e6, 4e3}, {50e6, 4.5e3}, {100e6, 5e3}}};
const std::array<PS, 4> kRegion3PS20 = {{{20e6, 3.8e3}, {20e6, 5.0e3}, {20e6, 3.9e3}, {20e6, 5.05e3}}};

template <const std::array<PH, 4>& in>
void BM_T_ph(benchmark::State& state) {
  size_t i = 0;
  double T = 0;
  for (auto _ : state) {
    const PH& c = in[i++ & 3];
    temperature_ph(c.p, c.h, T);
    benchmark::DoNotOptimize(T);
  }
}
BENCHMARK(BM_T_ph<kRegion1PH>)->Name("BM_Region1_T_ph");
BENCHMARK(BM_T_ph<kRegion3PH>)->Name("BM_Region3_T_ph");
BENCHMARK(BM_T_ph<kRegion3PH20>)->Name("BM_Region3_T_ph_20MPa");

template <const std::array<PH, 4>& in>
void BM_state_ph(benchmark::State& state) {
  size_t i = 0;
  State st;
  for (auto _ : state) {
    const PH& c = in[i++ & 3];
    state_ph(c.p, c.h, st);
    benchmark::DoNotOptimize(st.T);
  }
}
BENCHMARK(BM_state_ph<kRegion3PH>)->Name("BM_Region3_state_ph");

template <const std::array<PS, 4>& in>
void BM_T_ps(benchmark::State& state) {
  size_t i = 0;
  double T = 0;
  for (auto _ : state) {
    const PS& c = in[i++ & 3];
    temperature_ps(c.p, c.s, T);
    benchmark::DoNotOptimize(T);
  }
}
BENCHMARK(BM_T_ps<kRegion1PS>)->Name("BM_Region1_T_ps");
BENCHMARK(BM_T_ps<kRegion2PS>)->Name("BM_Region2_T_ps");
BENCHMARK(BM_T_ps<kRegion3PS>)->Name("BM_Region3_T_ps");
BENCHMARK(BM_T_ps<kRegion3PS20>)->Name("BM_Region3_T_ps_20MPa");

template <const std::array<PS, 4>& in>
void BM_state_ps(benchmark::State& state) {
  size_t i = 0;
  State st;
  for (auto _ : state) {
    const PS& c = in[i++ & 3];
    state_ps(c.p, c.s, st);
    benchmark::DoNotOptimize(st.T);
  }
}
BENCHMARK(BM_state_ps<kRegion3PS>)->Name("BM_Region3_state_ps");

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
