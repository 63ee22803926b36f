#!/usr/bin/env bash
# Rewrites the expected outputs of every example case (tests/golden/expected/)
# and the golden texts the unit tests compare with (tests/golden/texts/,
# tests/units/golden/) from the current build, after a change that is meant
# to alter them; review the difference with `git diff tests` before committing.
#   scripts/update-golden.sh [BUILD_DIR]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
cmake --build "$dir"
R3_GOLDEN_UPDATE=1 ctest --test-dir "$dir" -j 2 --output-on-failure
git status --short tests
