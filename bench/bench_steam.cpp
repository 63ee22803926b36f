// Steam-table timings: forward h(p, T) in regions 1 and 2 (full and lean),
// temperatures from (p, h) and (p, s) in regions 1, 2 and 3, and the
// isentropic work with its derivatives (a turbine stage evaluation). Inputs
// cycle through tables of four so the branch predictor and the compiler
// cannot fold the work away.
#include <benchmark/benchmark.h>

#include <array>

#include "framework/host_services.h"
#include "host/steam/if97.h"

namespace {

using namespace r3::steam;

struct PT {
  double p, T;
};
struct PH {
  double p, h;
};
struct PS {
  double p, s;
};
struct Stage {
  double Pa, Pb, h, G;
};

// Times one call per input, the inputs of `in` taken in turn; `call`
// returns the value that must not be optimised away.
template <const auto& in, auto call>
void BM_each(benchmark::State& state) {
  size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(call(in[i++ & 3]));
}

// Inputs, mostly those of the IAPWS verification tables; region 3 also at
// 20 MPa, a few kelvin from the saturation line.
constexpr std::array<PT, 4> kRegion1PT = {{{3e6, 300}, {80e6, 300}, {3e6, 500}, {10e6, 420}}};
constexpr std::array<PT, 4> kRegion2PT = {{{0.0035e6, 300}, {0.0035e6, 700}, {30e6, 700}, {5e6, 600}}};
// Region 2 below the B23 line, for the whole-range calls.
constexpr std::array<PT, 4> kRegion2PTLow = {{{0.0035e6, 300}, {0.0035e6, 700}, {1e6, 700}, {5e6, 600}}};
constexpr std::array<PH, 4> kRegion1PH = {{{3e6, 500e3}, {80e6, 500e3}, {80e6, 1500e3}, {10e6, 1000e3}}};
constexpr std::array<PH, 4> kRegion2PH = {{{0.001e6, 3000e3}, {3e6, 3000e3}, {5e6, 3500e3}, {25e6, 3500e3}}};
constexpr std::array<PH, 4> kRegion3PH = {{{50e6, 2000e3}, {100e6, 2100e3}, {50e6, 2400e3}, {100e6, 2700e3}}};
constexpr std::array<PH, 4> kRegion3PH20 = {{{20e6, 1700e3}, {20e6, 2500e3}, {20e6, 1750e3}, {20e6, 2450e3}}};
constexpr std::array<PS, 4> kRegion1PS = {{{3e6, 0.5e3}, {80e6, 0.5e3}, {80e6, 3e3}, {10e6, 2e3}}};
constexpr std::array<PS, 4> kRegion2PS = {{{0.1e6, 7.5e3}, {2.5e6, 8e3}, {8e6, 6e3}, {20e6, 5.75e3}}};
constexpr std::array<PS, 4> kRegion3PS = {{{50e6, 3.6e3}, {100e6, 4e3}, {50e6, 4.5e3}, {100e6, 5e3}}};
constexpr std::array<PS, 4> kRegion3PS20 = {{{20e6, 3.8e3}, {20e6, 5.0e3}, {20e6, 3.9e3}, {20e6, 5.05e3}}};
constexpr std::array<Stage, 4> kStages = {
    {{10e6, 1e6, 3400e3, 50}, {3e6, 0.5e6, 3200e3, 20}, {16e6, 4e6, 3500e3, 80}, {1e6, 0.2e6, 3000e3, 10}}};
// Expansions ending in the wet region (two-phase outlet state and partials).
constexpr std::array<Stage, 4> kWetStages = {
    {{3e6, 0.01e6, 3200e3, 20}, {1e6, 0.05e6, 2900e3, 10}, {5e6, 0.1e6, 3100e3, 30}, {2e6, 0.02e6, 3000e3, 15}}};
// The host service a turbine block calls for its work rows: molar enthalpy and flow.
constexpr double kMw = 18.015268;
constexpr std::array<Stage, 4> kMolarStages = {{{10e6, 1e6, 3400e3 * kMw, 2.8},
                                                {3e6, 0.5e6, 3200e3 * kMw, 1.1},
                                                {3e6, 0.01e6, 3200e3 * kMw, 1.1},
                                                {1e6, 0.05e6, 2900e3 * kMw, 0.6}}};

// The calls timed; the states they fill are kept between calls, as a caller's would be.
State g_st;
StateVHS g_vhs;
double region1(const PT& c) { region1_pT(c.p, c.T, g_st); return g_st.h; }
double region2(const PT& c) { region2_pT(c.p, c.T, g_st); return g_st.h; }
// The whole-range entry point (range check, region choice, then the equation).
double whole_range(const PT& c) { state_pT(c.p, c.T, g_st); return g_st.h; }
// The lean whole-range call: v, h and s of the stable state, no cp or w.
double lean(const PT& c) { state_pT_vhs(c.p, c.T, g_vhs); return g_vhs.h; }
// Backward temperature refined on the basic equation (consistent to round-off).
double t_ph(const PH& c) { double T = 0; temperature_ph(c.p, c.h, T); return T; }
double t_ps(const PS& c) { double T = 0; temperature_ps(c.p, c.s, T); return T; }
// The full states from (p, h) and (p, s).
double state_from_ph(const PH& c) { state_ph(c.p, c.h, g_st); return g_st.T; }
double state_from_ps(const PS& c) { state_ps(c.p, c.s, g_st); return g_st.T; }
// The raw explicit backward equation of region 2, for comparison.
double backward(const PH& c) { double T = 0; backward_T_ph(2, c.p, c.h, T); return T; }
double work(const Stage& c) { IsentropicWork w; isentropic_work(c.Pa, c.Pb, c.h, c.G, w); return w.dW_dPa; }
// SSS_TWORK in mode 3: work and its four derivatives.
double sss_twork(const Stage& c) {
  const int32_t mode = 3;
  const double fac = 1.0;
  double r[10];
  SSS_TWORK(&mode, &c.Pa, &c.Pb, &c.h, &c.G, &fac, r);
  return r[1];
}

BENCHMARK(BM_each<kRegion1PT, region1>)->Name("BM_Region1_h_pT");
BENCHMARK(BM_each<kRegion2PT, region2>)->Name("BM_Region2_h_pT");
BENCHMARK(BM_each<kRegion1PT, whole_range>)->Name("BM_StatePT_region1");
BENCHMARK(BM_each<kRegion2PTLow, whole_range>)->Name("BM_StatePT_region2");
BENCHMARK(BM_each<kRegion1PT, lean>)->Name("BM_StatePT_vhs_region1");
BENCHMARK(BM_each<kRegion2PTLow, lean>)->Name("BM_StatePT_vhs_region2");
BENCHMARK(BM_each<kRegion2PH, t_ph>)->Name("BM_Region2_T_ph");
BENCHMARK(BM_each<kRegion2PH, state_from_ph>)->Name("BM_Region2_state_ph");
BENCHMARK(BM_each<kRegion2PH, backward>)->Name("BM_Region2_T_ph_backward_equation");
BENCHMARK(BM_each<kRegion1PH, t_ph>)->Name("BM_Region1_T_ph");
BENCHMARK(BM_each<kRegion3PH, t_ph>)->Name("BM_Region3_T_ph");
BENCHMARK(BM_each<kRegion3PH20, t_ph>)->Name("BM_Region3_T_ph_20MPa");
BENCHMARK(BM_each<kRegion3PH, state_from_ph>)->Name("BM_Region3_state_ph");
BENCHMARK(BM_each<kRegion1PS, t_ps>)->Name("BM_Region1_T_ps");
BENCHMARK(BM_each<kRegion2PS, t_ps>)->Name("BM_Region2_T_ps");
BENCHMARK(BM_each<kRegion3PS, t_ps>)->Name("BM_Region3_T_ps");
BENCHMARK(BM_each<kRegion3PS20, t_ps>)->Name("BM_Region3_T_ps_20MPa");
BENCHMARK(BM_each<kRegion3PS, state_from_ps>)->Name("BM_Region3_state_ps");
BENCHMARK(BM_each<kStages, work>)->Name("BM_IsentropicWork");
BENCHMARK(BM_each<kWetStages, work>)->Name("BM_IsentropicWork_wet_outlet");
BENCHMARK(BM_each<kMolarStages, sss_twork>)->Name("BM_SSS_TWORK_mode3");

}  // namespace

BENCHMARK_MAIN();
