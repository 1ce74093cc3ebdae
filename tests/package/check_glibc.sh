#!/usr/bin/env bash
# The newest glibc symbol version libtilo.so asks for is at most MAX, so that the library
# loads on that glibc (2.35: Ubuntu 22.04). Packed relative relocations would add
# GLIBC_ABI_DT_RELR (2.36), and so would a newly used function such as arc4random.
#   check_glibc.sh LIBTILO MAX
set -euo pipefail
library=$1 max=$2
# Imported symbols' versions (-T) and the version references (-p), where packed
# relocations show as GLIBC_ABI_DT_RELR with no symbol of their own.
if objdump -p "$library" | grep -q 'GLIBC_ABI_DT_RELR'; then
  echo "check_glibc: $library has packed relative relocations (GLIBC_ABI_DT_RELR, glibc 2.36)" >&2
  exit 1
fi
versions=$({ objdump -T "$library"; objdump -p "$library"; } | grep -o 'GLIBC_[0-9][0-9.]*' | sort -u -V)
[ -n "$versions" ] || { echo "check_glibc: objdump -T $library names no glibc version" >&2; exit 1; }
newest=$(sed 's/^GLIBC_//' <<<"$versions" | sort -V | tail -n 1)
if [ "$(printf '%s\n%s\n' "$newest" "$max" | sort -V | tail -n 1)" != "$max" ]; then
  echo "check_glibc: $library needs glibc $newest, above $max, for:" >&2
  objdump -T "$library" | grep -F "GLIBC_$newest" >&2
  exit 1
fi
echo "check_glibc: the newest glibc version libtilo.so names is $newest (at most $max)"
