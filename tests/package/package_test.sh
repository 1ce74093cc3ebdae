#!/usr/bin/env bash
# Installs the built SDK into a temporary prefix, builds examples/c-host and
# examples/cpp-host with find_package(Tilo) and the README's C and C++ samples (taken
# from README.md itself) with pkg-config, then runs all four against tilo-devserver.
#   package_test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
src=$1 build=$2
work=$(mktemp -d)
server=
cleanup() {
  if [ -n "$server" ]; then kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true; fi
  if [ -z "${TILO_PACKAGE_KEEP:-}" ]; then rm -rf "$work"; else echo "kept $work" >&2; fi
}
trap cleanup EXIT
fail() { echo "package test: $*" >&2; exit 1; }

# 1. Install: headers, libtilo.so.1 and its link, the CMake package and tilo.pc.
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
for f in include/tilo/tilo.h include/tilo/Tilo.hpp lib/libtilo.so lib/libtilo.so.1 \
         lib/cmake/Tilo/TiloConfig.cmake lib/pkgconfig/tilo.pc; do
  [ -e "$prefix/$f" ] || fail "missing $f"
done
[ -L "$prefix/lib/libtilo.so" ] || fail "lib/libtilo.so is not a link"

# 2. The README's samples: each fenced block right after a "<!-- sample: NAME -->" line.
extract() {
  awk -v name="$1" '
    $0 == "<!-- sample: " name " -->" { want = 1; next }
    want && /^```/ && !inside { inside = 1; next }
    inside && /^```/ { exit }
    inside { print }' "$src/README.md"
}
extract readme-sample.c >"$work/readme-sample.c"
extract readme-sample.cpp >"$work/readme-sample.cpp"
[ -s "$work/readme-sample.c" ] && [ -s "$work/readme-sample.cpp" ] || fail "README samples not found"
export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
read -r -a tilo_flags <<<"$(pkg-config --cflags --libs tilo)"
cc -std=c11 -Wall -Wextra -Wpedantic -Werror "$work/readme-sample.c" "${tilo_flags[@]}" \
  -Wl,-rpath,"$prefix/lib" -o "$work/readme-c"
c++ -std=c++17 -Wall -Wextra -Wpedantic -Werror "$work/readme-sample.cpp" "${tilo_flags[@]}" \
  -Wl,-rpath,"$prefix/lib" -o "$work/readme-cpp"

# 3. The examples, through the CMake package.
for example in c-host cpp-host; do
  cmake -S "$src/examples/$example" -B "$work/$example" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
  cmake --build "$work/$example" >/dev/null
done

# 4. A bundle sealed for the development backend, with one unit per ad kind.
key=package-test-app-key
mkdir -p "$work/bundle"
cat >"$work/bundle/Info.plist" <<PLIST
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0"><dict>
<key>TiloAppKey</key><string>$key</string>
<key>CFBundleIdentifier</key><string>com.tilo.examples</string>
</dict></plist>
PLIST
cat >"$work/config.json" <<JSON
{"appKey": "$key", "platform": "ios", "storeId": "1234567890",
 "storeUrl": "https://apps.example.com/app/1234567890",
 "admobKey": "ca-app-pub-0000000000000000~0000000000"}
JSON
"$build/tilo-keytool" keyfile --app-key "$key" --config "$work/config.json" \
  --out "$work/bundle/ios-tilo-key.txt"
cat >"$work/app-info.json" <<'JSON'
{"adUnits": [
  {"tiloAdUnitId": "interstitial-main", "mediationAdUnitId": "gad/interstitial", "name": "I", "type": "interstitial"},
  {"tiloAdUnitId": "rewarded-main", "mediationAdUnitId": "gad/rewarded", "name": "R", "type": "rewarded"},
  {"tiloAdUnitId": "app-open-main", "mediationAdUnitId": "gad/app-open", "name": "O", "type": "appOpen"},
  {"tiloAdUnitId": "banner-main", "mediationAdUnitId": "gad/banner", "name": "B", "type": "banner", "refreshInterval": 0},
  {"tiloAdUnitId": "native-main", "mediationAdUnitId": "gad/native", "name": "N", "type": "native", "refreshInterval": 0}],
 "feeRate": 0.15}
JSON
"$build/tilo-devserver" --port 0 --app-key "$key" --app-info "$work/app-info.json" \
  >"$work/server.log" 2>&1 &
server=$!
url=
for _ in $(seq 100); do
  url=$(sed -n 's/^tilo-devserver listening on //p' "$work/server.log")
  [ -n "$url" ] && break
  sleep 0.05
done
[ -n "$url" ] || fail "tilo-devserver did not start: $(cat "$work/server.log")"

# 5. Each host runs to completion.
run() {
  local name=$1 expect=$2; shift 2
  local out=$work/$name.out
  if ! TILO_BUNDLE_DIR=$work/bundle TILO_APP_CONTAINER=$work/container-$name TILO_API_BASE_URL=$url \
       timeout 60 "$@" >"$out" 2>&1; then
    cat "$out" >&2
    fail "$name did not run to completion"
  fi
  grep -q -- "$expect" "$out" || { cat "$out" >&2; fail "$name printed no \"$expect\""; }
  echo "$name: ok ($(wc -l <"$out") lines)"
}
run readme-c "reward: 1 reward" "$work/readme-c"
run readme-cpp "dismissed" "$work/readme-cpp"
run c-host "c-host: every ad shown" "$work/c-host/tilo-c-host"
run cpp-host "cpp-host: every ad shown" "$work/cpp-host/tilo-cpp-host"
