#!/usr/bin/env bash
# Rewrites the expected outputs of every example case (tests/golden/expected/)
# from the current build, after a change that is meant to alter them; review
# the difference with `git diff tests/golden` before committing it.
#   scripts/update-golden.sh [BUILD_DIR]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
cmake --build "$dir" --target r3sim r3models
R3_GOLDEN_UPDATE=1 ctest --test-dir "$dir" -L golden -j 2 --output-on-failure
git status --short tests/golden
