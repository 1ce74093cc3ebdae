#!/usr/bin/env bash
# libtilo.so exports the C ABI and nothing else, and every function the C headers declare.
#   check_exports.sh LIBRARY INCLUDE_DIR   (the folder of tilo.h and the headers it includes)
set -euo pipefail
library=$1 headers=$2
exported=$(nm -D --defined-only "$library" | awk '{print $NF}' | sed 's/@.*//' | sort -u)
private=$(grep -v -e '^tilo_' -e '^TILO_1$' <<<"$exported" || true)
if [ -n "$private" ]; then
  echo "libtilo.so exports symbols outside the public API:" >&2
  head -20 <<<"$private" >&2
  exit 1
fi
declared=$(cat "$headers"/*.h | grep '^TILO_API' | grep -oE '\btilo_[a-z0-9_]+\(' | tr -d '(' | sort -u)
missing=$(comm -23 <(echo "$declared") <(echo "$exported"))
if [ -n "$missing" ]; then
  echo "declared in $headers but not exported: $missing" >&2
  exit 1
fi
echo "exports: $(wc -l <<<"$exported") symbols, all public; $(wc -l <<<"$declared") functions declared"
