#!/usr/bin/env bash
# Installs what the project needs to build and test (Debian packages).
set -euo pipefail
packages=(cmake ninja-build g++ clang gfortran libgtest-dev libgmock-dev libbenchmark-dev libudunits2-dev python3-jsonschema
          libeigen3-dev libsuitesparse-dev libtomlplusplus-dev nlohmann-json3-dev libcli11-dev
          g++-mingw-w64-i686 ccache chromium python3 pkgconf dpkg-dev
          pybind11-dev python3-pybind11 python3-pytest python3-distributed
          libclang-rt-14-dev)  # libFuzzer's run time for clang: scripts/fuzz.sh
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
