#!/usr/bin/env bash
# The shared model library as a host loads it: it exports the model entries,
# leaves the host operations undefined (resolved against the loading program)
# and needs nothing beyond the C and C++ run-time libraries.
set -u
lib="$1"
entries=$(cat "$2")
fail=0
exports=$(nm -D --defined-only "$lib" | awk '$2 == "T" {print $3}')
for entry in $entries; do
  echo "$exports" | grep -qx "$entry" || { echo "entry $entry not exported"; fail=1; }
done
# Nothing else of the library's own code is exported.
extra=$(echo "$exports" | grep -v -x -E 'R3[A-Z]+|_init|_fini' | grep -v -E '^(__asan|__ubsan|__sanitizer|__lsan)' || true)
[ -z "$extra" ] || { echo "unexpected exports: $extra"; fail=1; }
undefined=$(nm -D --undefined-only "$lib" | awk '{print $2}')
for op in U3GIDX_BLK U3SDESC1 U3GSCL RTO_ENSET FLSH_FLASH PPEXEC_USER; do
  echo "$undefined" | grep -qx "$op" || { echo "host operation $op is not left undefined"; fail=1; }
done
needed=$(readelf -d "$lib" | awk '/NEEDED/ {gsub(/[\[\]]/, "", $5); print $5}')
for n in $needed; do
  case "$n" in
    # The dynamic loader provides the per-thread shared areas' accesses.
    libstdc++.so.*|libm.so.*|libgcc_s.so.*|libc.so.*|ld-linux*.so.*|libasan.so.*|libubsan.so.*) ;;
    *) echo "unexpected dependency: $n"; fail=1 ;;
  esac
done
[ $fail -eq 0 ] && echo "library check passed"
exit $fail
