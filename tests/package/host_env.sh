# Shared by the package tests (sourced): an installed copy of the SDK, a bundle sealed for
# the development backend, and tilo-devserver running on a free loopback port.
# Callers set `work` (a scratch folder) and `build` (the build tree) and install
# cleanup_host_env on EXIT.
servers=()

cleanup_host_env() {
  local pid
  for pid in "${servers[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  if [ -z "${TILO_PACKAGE_KEEP:-}" ]; then rm -rf "$work"; else echo "kept $work" >&2; fi
}

fail() { echo "package test: $*" >&2; exit 1; }

# install_prefix [PREFIX]: headers, libtilo.so.1 and its link, the CMake package, tilo.pc,
# the licence, third-party notices and README under share/doc/tilo, and the tools into PREFIX (default $work/prefix), which is left in $prefix.
install_prefix() {
  prefix=${1:-$work/prefix}
  cmake --install "$build" --prefix "$prefix" >/dev/null
  for f in include/tilo/tilo.h include/tilo/tilo_fullscreen_ads.h include/tilo/tilo_views.h \
           include/tilo/Tilo.hpp include/tilo/TiloFullScreenAds.hpp include/tilo/TiloViews.hpp lib/libtilo.so lib/libtilo.so.1 \
           lib/cmake/Tilo/TiloConfig.cmake lib/pkgconfig/tilo.pc \
           share/doc/tilo/LICENSE share/doc/tilo/THIRD_PARTY_NOTICES.md share/doc/tilo/README.md; do
    [ -e "$prefix/$f" ] || fail "missing $f"
  done
  [ -L "$prefix/lib/libtilo.so" ] || fail "lib/libtilo.so is not a link"
  for tool in tilo-demo tilo-devserver tilo-keytool tilo-render; do
    [ -x "$prefix/bin/$tool" ] || fail "missing bin/$tool"
    "$prefix/bin/$tool" --help >/dev/null || fail "installed $tool does not run"
  done
}

# Each expected line of the output file $1, in this order.
expect_lines() {
  local out=$1 from=1 line; shift
  for line in "$@"; do
    local at
    at=$(tail -n +"$from" "$out" | grep -n -m1 -F -- "$line" | cut -d: -f1) ||
      { cat "$out" >&2; fail "$(basename "$out" .out) printed no \"$line\" after line $from"; }
    from=$((from + at))
  done
}

# serve LOG ARGS...: starts tilo-devserver with ARGS (--port 0 among them) in the
# background, writing LOG, and sets $url once it listens.
serve() {
  local log=$1; shift
  : >"$log"  # before the server opens it: the first read below must not fail under set -e
  "$@" >"$log" 2>&1 &
  servers+=($!)
  url=
  for _ in $(seq 100); do
    url=$(sed -n 's/^tilo-devserver listening on //p' "$log")
    [ -n "$url" ] && return 0
    sleep 0.05
  done
  fail "tilo-devserver did not start: $(cat "$log")"
}

# $work/bundle with one unit per ad kind the hosts use, and tilo-devserver serving its app
# info at $url.
start_devserver() {
  local key=package-test-app-key
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
  {"tiloAdUnitId": "native-main", "mediationAdUnitId": "gad/native", "name": "N", "type": "native", "refreshInterval": 0},
  {"tiloAdUnitId": "line-banner-main", "mediationAdUnitId": "gad/line-banner", "name": "LB", "type": "native", "refreshInterval": 0},
  {"tiloAdUnitId": "light-popup-main", "mediationAdUnitId": "gad/light-popup", "name": "L", "type": "lightPopup"}],
 "feeRate": 0.15}
JSON
  serve "$work/server.log" "$build/tilo-devserver" --port 0 --app-key "$key" \
    --app-info "$work/app-info.json" "$@"
}
