#!/usr/bin/env bash
# Builds the project and runs the test suite.
#   scripts/test.sh             normal build in build/
#   scripts/test.sh --sanitize  AddressSanitizer (with leak detection) + UndefinedBehaviorSanitizer
#                               build in build-asan/
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build
flags=(-DR3_WERROR=ON)
if [ "${1:-}" = "--sanitize" ]; then
  dir=build-asan
  flags+=(-DR3_SANITIZE=ON -DR3_BUILD_BENCH=OFF)
fi
# ccache keeps compiled objects between runs (and between CI runs on one machine).
if command -v ccache >/dev/null; then
  flags+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
fi
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${flags[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# Leaks inside third-party libraries (UDUNITS-2 keeps part of its unit
# database unreachable) are not ours to fix; every other leak fails a test.
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
ctest --test-dir "$dir" --output-on-failure -j "$(nproc)"
