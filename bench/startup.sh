#!/usr/bin/env bash
# Whole-process time of `r3sim run examples/pump.toml` against a bare
# `r3sim --version`: median of N runs each (default 20), in milliseconds.
#   bench/startup.sh [BUILD_DIR] [N]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
n=${2:-20}
python3 - "$build/apps/r3sim/r3sim" "$n" <<'PY'
import statistics, subprocess, sys, time
exe, n = sys.argv[1], int(sys.argv[2])
def median_ms(args):
    times = []
    for _ in range(n):
        t = time.perf_counter()
        subprocess.run([exe] + args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
        times.append((time.perf_counter() - t) * 1e3)
    return statistics.median(times)
version = median_ms(["--version"])
run = median_ms(["run", "examples/pump.toml", "--quiet"])
print(f"r3sim --version               {version:7.2f} ms (median of {n})")
print(f"r3sim run examples/pump.toml  {run:7.2f} ms (median of {n})")
print(f"ratio                         {run / version:7.2f} (goal <= 2)")
PY
