#!/usr/bin/env bash
# Cross-builds the model library as a 32-bit Windows DLL with MinGW and checks
# its export table. Exits 77 (skipped) where the toolchain is not installed.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v i686-w64-mingw32-g++ >/dev/null; then
  echo "the i686 MinGW toolchain is not installed: Windows DLL check skipped"
  exit 77
fi
cmake -S . -B build-mingw -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-mingw
mapfile -t entries < build-mingw/models/entries.txt
scripts/check-dll-exports.sh build-mingw/models/r3models.dll "${entries[@]}"
