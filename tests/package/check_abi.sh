#!/usr/bin/env bash
# libtilo.so against the ABI baseline kept in the repository (abi/libtilo.abi), through
# libabigail's abidiff: fails on any change that hosts compiled against the baseline would
# feel (a function removed, a parameter, return or struct changed), passes additions (new
# functions; new enumerators are harmless to abidiff). A struct that grows at its end, as
# the size-prefixed ones may, shows as a change too: review it, then regenerate the
# baseline with ./tilo abi-baseline.
#   check_abi.sh BASELINE LIBRARY
# The library must carry DWARF (a debug build); without it abidiff would compare symbols
# only, so that is a failure rather than a pass.
set -uo pipefail
baseline=$1 library=$2
command -v abidiff >/dev/null || { echo "abidiff missing: scripts/bootstrap test installs abigail-tools" >&2; exit 1; }
# The baseline holds the public types only (abidw --headers-dir dropped the others when it
# was written) and file names without folders, so that no machine's paths are in the
# repository. abidiff's own header filter (--headers-dir1/2) would then take every type of
# the baseline for private and hide its changes: the library is compared whole instead,
# which for an export list of C functions reaches the public types alone.
report=$(abidiff --no-added-syms --fail-no-debug-info --exported-interfaces-only \
  "$baseline" "$library" 2>&1)
status=$?
[ -n "$report" ] && echo "$report"
# abidiff's exit status is a bit set: 1 error, 2 usage error, 4 ABI change, 8 incompatible.
if (( status & 3 )); then
  echo "abidiff could not compare $library with $baseline (exit $status)" >&2
  exit 1
fi
if (( status & 12 )); then
  echo "libtilo.so changed the ABI of $baseline (exit $status: 4 change, 8 incompatible);" \
       "if the change is intended and compatible, regenerate it with ./tilo abi-baseline" >&2
  exit 1
fi
echo "libtilo.so keeps the ABI of $baseline"
