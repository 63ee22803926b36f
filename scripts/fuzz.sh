#!/usr/bin/env bash
# Fuzzing with libFuzzer: builds the targets of tests/fuzz with clang in
# build-fuzz/ and runs them, starting from the saved inputs in
# tests/fuzz/corpus/ (new inputs go to build-fuzz/corpus/).
#   scripts/fuzz.sh HOURS          campaign: HOURS shared among the eleven
#                                  model entries and the case loader
#   scripts/fuzz.sh --runs N       campaign: N executions of each model entry
#                                  and of the case loader, as many at once as
#                                  there are cores
#   scripts/fuzz.sh --seconds N    each target N seconds, entries all together (CI)
# Stops at the first sanitizer report or crash (with --runs: after the
# targets running then), naming the input saved under build-fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
export R3_DATA_DIR=$PWD/data
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# Leaks inside third-party libraries (UDUNITS-2) are suppressed, as in the
# sanitizer test run.
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
parallel=1
# An input slower than this counts as a hang. A long campaign runs beside
# other work, where a slow but finite input (a PH flash that takes its 200
# outer steps) can take minutes on a loaded machine.
timeout=300
case "${1:-}" in
  --seconds)
    limit=(-max_total_time="${2:?seconds}")
    timeout=60
    runs=("entries:" "case:")
    ;;
  --runs)
    limit=(-runs="${2:?executions}")
    parallel=$(nproc)
    runs=("case:")
    for m in 0 1 2 3 4 5 6 7 8 9 10; do runs+=("entries:$m"); done
    ;;
  *)
    limit=(-max_total_time="$(awk -v h="${1:-1}" 'BEGIN { printf "%d", h * 3600 / 12 }')")
    runs=("case:")
    for m in 0 1 2 3 4 5 6 7 8 9 10; do runs+=("entries:$m"); done
    ;;
esac
flags=()
command -v ccache >/dev/null && flags+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DR3_FUZZ=ON -DR3_BUILD_BENCH=OFF "${flags[@]}" >/dev/null
cmake --build build-fuzz -j "$(nproc)" --target fuzz_entries fuzz_case
mkdir -p build-fuzz/artifacts build-fuzz/corpus/entries build-fuzz/corpus/case

# One target (and model); prints its executions, any finding and the corpus size.
fuzz_one() {
  local target=$1 model=$2 rc=0
  local log="build-fuzz/fuzz_$target${model:+-$model}.log"
  R3_FUZZ_MODEL=$model "build-fuzz/tests/fuzz/fuzz_$target" "${limit[@]}" -timeout="$timeout" \
    -rss_limit_mb=2560 -max_len=8192 -print_final_stats=1 \
    -artifact_prefix="build-fuzz/artifacts/$target${model:+-$model}-" \
    "build-fuzz/corpus/$target" "tests/fuzz/corpus/$target" >"$log" 2>&1 || rc=$?
  {
    echo "== fuzz_$target ${model:+(model $model) }${limit[*]}"
    grep -E "stat::number_of_executed_units|SUMMARY|Test unit written|runtime error" "$log" || true
    echo "corpus: $(find "build-fuzz/corpus/$target" "tests/fuzz/corpus/$target" -type f | wc -l) inputs"
    [ $rc -eq 0 ] || echo "fuzz_$target${model:+ (model $model)} failed: see $log"
  } | cat
  return $rc
}

failed=0
for run in "${runs[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$parallel" ]; do wait -n || failed=1; done
  [ $failed -eq 0 ] || break
  fuzz_one "${run%%:*}" "${run#*:}" &
done
while [ "$(jobs -rp | wc -l)" -gt 0 ]; do wait -n || failed=1; done
wait || failed=1
exit $failed
