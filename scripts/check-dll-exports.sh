#!/usr/bin/env bash
# Reads a DLL's export table and checks that every entry named is exported
# under its plain name and its decorated name (_NAME@292) at the same address.
#   scripts/check-dll-exports.sh r3models.dll R3PUMP R3VALV ...
set -u
dll="$1"
shift
objdump=$(command -v i686-w64-mingw32-objdump || command -v objdump)
table=$("$objdump" -p "$dll") || { echo "cannot read $dll"; exit 1; }
# Ordinal index -> address, then name -> ordinal index.
declare -A rva
while read -r idx addr; do rva[$idx]=$addr; done < <(
  echo "$table" | sed -n '/Export Address Table --/,/^$/p' |
  sed -n 's/^[[:space:]]*\[[[:space:]]*\([0-9]*\)\][[:space:]]*+base\[[[:space:]]*[0-9]*\][[:space:]]*\([0-9a-f]*\).*/\1 \2/p')
declare -A addr_of
while read -r idx name; do addr_of[$name]=${rva[$idx]:-}; done < <(
  echo "$table" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  sed -n 's/^[[:space:]]*\[[[:space:]]*\([0-9]*\)\][[:space:]]*\([^[:space:]]*\).*/\1 \2/p')
fail=0
for e in "$@"; do
  plain=${addr_of[$e]:-}
  decorated=${addr_of[_$e@292]:-}
  if [ -z "$plain" ]; then echo "$e: not exported"; fail=1; continue; fi
  if [ -z "$decorated" ]; then echo "_$e@292: not exported"; fail=1; continue; fi
  if [ "$plain" != "$decorated" ]; then echo "$e at $plain but _$e@292 at $decorated"; fail=1; continue; fi
  echo "$e and _$e@292 at $plain"
done
[ $fail -eq 0 ] && echo "$# entries exported under both names"
exit $fail
