#!/usr/bin/env bash
# Builds the concurrency tests with ThreadSanitizer in build-tsan/ and runs
# them: blocks called from several threads at once must share no state.
set -euo pipefail
cd "$(dirname "$0")/.."
flags=(-DR3_THREAD_SANITIZE=ON -DR3_BUILD_BENCH=OFF)
if command -v ccache >/dev/null; then
  flags+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
fi
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${flags[@]}" >/dev/null
cmake --build build-tsan -j "$(nproc)" --target test_threads
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
build-tsan/tests/framework/test_threads
