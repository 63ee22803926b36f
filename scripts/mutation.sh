#!/usr/bin/env bash
# Mutation testing of models/, framework/ and host/: how many small faults
# the tests catch.
#   scripts/mutation.sh [--seed S] [--count N] [--build DIR] [--list] [--log FILE]
# The same seed draws the same mutants; see scripts/mutation.py for what a
# mutant is and which tests run against it. It builds in build-mutation/.
set -euo pipefail
cd "$(dirname "$0")/.."
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
exec python3 scripts/mutation.py "$@"
