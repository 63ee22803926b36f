// Loading a case whose blocks reference many streams: every reference is
// looked up, so the time per reference must not grow with the case.
#include <benchmark/benchmark.h>

#include <string>

#include "host/case/case.h"

namespace {

// `refs` streams, each the outlet of one of refs/1000 blocks.
std::string case_text(int64_t refs) {
  std::string s = "[properties]\nmethod = \"IDEAL\"\ncomponents = [\"H2O\"]\n[streams]\n";
  // Built by appending: GCC 12 reports false overlaps in chains of operator+.
  for (int64_t i = 0; i < refs; ++i) {
    s += 'S';
    s += std::to_string(i);
    s += " = {}\n";
  }
  for (int64_t b = 0; b < refs / 1000; ++b) {
    s += "[[blocks]]\nid = \"B";
    s += std::to_string(b);
    s += "\"\nmodel = \"R3PUMP\"\noutlets = [";
    for (int64_t k = 0; k < 1000; ++k) {
      s += k ? ", \"S" : "\"S";
      s += std::to_string(b * 1000 + k);
      s += '"';
    }
    s += "]\n";
  }
  return s;
}

void BM_LoadCaseStreamReferences(benchmark::State& state) {
  const std::string text = case_text(state.range(0));
  for (auto _ : state) {
    r3::host::Case c;
    std::string error;
    if (!r3::host::parse_case(text, "many.toml", c, error)) state.SkipWithError(error.c_str());
    benchmark::DoNotOptimize(c.streams.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_LoadCaseStreamReferences)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
