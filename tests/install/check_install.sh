#!/usr/bin/env bash
# Installs the build into a temporary prefix, then
#   run:     copies the prefix elsewhere, removes the original, and runs an
#            example with the copied r3sim, which must load the copied library
#            and give the build tree's results;
#   consume: builds a project that finds the package with find_package() and
#            loads the installed library, and checks the .pc file's paths.
set -euo pipefail
mode=$1 build=$2 src=$3 cxx=$4
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
cmake --install "$build" --prefix "$tmp/prefix" >/dev/null
if [ "$mode" = run ]; then
  cp -a "$tmp/prefix" "$tmp/moved" && rm -rf "$tmp/prefix" && p=$tmp/moved && cd "$tmp"
  env -u R3_LIBRARY "$p/bin/r3sim" models | grep -x "Entries of $p/lib.*/libr3models.so.0:"
  env -u R3_LIBRARY "$p/bin/r3sim" run "$p/share/r3models/examples/pump.toml" --quiet --json installed.json >/dev/null
  "$build/apps/r3sim/r3sim" run "$src/examples/pump.toml" --quiet --json built.json >/dev/null
  cmp installed.json built.json
else
  cmake -S "$src/tests/install/consumer" -B "$tmp/b" -G Ninja -DCMAKE_CXX_COMPILER="$cxx" \
        -DCMAKE_PREFIX_PATH="$tmp/prefix" >/dev/null
  cmake --build "$tmp/b" >/dev/null && "$tmp/b/consumer"
  export PKG_CONFIG_PATH=$(echo "$tmp"/prefix/lib*/pkgconfig)
  test -e "$(pkg-config --variable=libdir r3models)/libr3models.so.0"
  test -e "$(pkg-config --variable=includedir r3models)/framework/host_services.h"
fi
