#!/usr/bin/env bash
# Builds the project in every configuration (Debug, RelWithDebInfo, Release,
# MinSizeRel) with GCC and with Clang, warnings as errors, each in
# build-<compiler>-<configuration>/ (e.g. build-clang-release/).
#   scripts/configs.sh                        all of them, every target
#   scripts/configs.sh -c clang -b Release    some of them (-c and -b repeat)
#   scripts/configs.sh -t "r3sim r3models"    only these targets
set -euo pipefail
cd "$(dirname "$0")/.."
compilers=() configs=() targets=()
while getopts c:b:t: opt; do
  case $opt in
    c) compilers+=("$OPTARG") ;;
    b) configs+=("$OPTARG") ;;
    t) read -ra targets <<< "$OPTARG"; targets=(--target "${targets[@]}") ;;
    *) sed -n 2,8p "$0"; exit 1 ;;
  esac
done
[ ${#compilers[@]} -gt 0 ] || compilers=(gcc clang)
[ ${#configs[@]} -gt 0 ] || configs=(Debug RelWithDebInfo Release MinSizeRel)
flags=(-DR3_WERROR=ON)
if command -v ccache >/dev/null; then
  flags+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
fi
for cc in "${compilers[@]}"; do
  case $cc in
    gcc) cxx=g++ ;;
    clang) cxx=clang++ ;;
    *) echo "configs.sh: unknown compiler $cc (gcc or clang)"; exit 1 ;;
  esac
  for cfg in "${configs[@]}"; do
    dir=build-$cc-${cfg,,}
    echo "== $cc $cfg in $dir"
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$cfg" -DCMAKE_CXX_COMPILER="$cxx" "${flags[@]}" >/dev/null
    cmake --build "$dir" -j "$(nproc)" "${targets[@]}"
  done
done
