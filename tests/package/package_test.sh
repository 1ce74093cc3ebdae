#!/usr/bin/env bash
# The installed package as hosts use it. First the README's quick start, step by step from
# README.md itself: the install, tilo-keytool init, tilo-devserver, the C host built with
# the system's cc against the installed package and run, then the README's C++ sample in
# the same folder, both C++ programs built as engines build (C++17, -fno-exceptions
# -fno-rtti), with probes that the C++ API refuses a dropped status and a copied ad and
# that replacing its log callback leaks nothing. Then examples/c-host and examples/cpp-host, built with find_package(Tilo)
# and run against a backend of their own.
#   package_test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
src=$1 build=$2
work=$(mktemp -d)
source "$(dirname "$0")/host_env.sh"
trap cleanup_host_env EXIT

# The fenced block right after the line "<!-- KIND: NAME -->" of README.md.
block() {
  awk -v mark="<!-- $1: $2 -->" '
    $0 == mark { want = 1; next }
    want && /^```/ && !inside { inside = 1; next }
    inside && /^```/ { exit }
    inside { print }' "$src/README.md"
}
for step in install init devserver host.c run; do
  block quickstart "$step" >"$work/step-$step"
  [ -s "$work/step-$step" ] || fail "README.md has no quick-start block \"$step\""
done
block sample readme-sample.cpp >"$work/readme-sample.cpp"
[ -s "$work/readme-sample.cpp" ] || fail "README.md has no C++ sample"

# The quick start runs in a fresh folder that is also $HOME, so "$HOME/tilo" is inside it.
home=$work/home
mkdir -p "$home"
cd "$home"
export HOME=$home

# 1. Instead of "./tilo install" (a release build of its own), this build is installed;
#    the step's other lines (the environment) run as written.
grep -qx '\./tilo install "$HOME/tilo"' "$work/step-install" || fail "step 1 no longer installs into \"\$HOME/tilo\""
install_prefix "$HOME/tilo"
source <(grep -vx '\./tilo install "$HOME/tilo"' "$work/step-install")
[ "$(command -v tilo-keytool)" = "$prefix/bin/tilo-keytool" ] || fail "step 1 does not put the tools on PATH"

# 2. The bundle and the app info.
bash -euo pipefail "$work/step-init" >"$work/init.out" 2>&1 || { cat "$work/init.out" >&2; fail "step 2 failed"; }

# 3. The backend, on a free port rather than 8080: one command line, run as written.
[ "$(wc -l <"$work/step-devserver")" -eq 1 ] && grep -q -- '--port 8080 ' "$work/step-devserver" ||
  fail "step 3 is no longer one tilo-devserver command on port 8080"
read -r -a devserver <<<"$(sed 's/--port 8080 /--port 0 /' "$work/step-devserver")"
serve "$work/quickstart-server.log" "${devserver[@]}"

# 4. and 5. The host, pointed at that port, built and run as written.
for sample in "$work/step-host.c" "$work/readme-sample.cpp"; do
  grep -q 'http://127.0.0.1:8080' "$sample" || fail "$sample no longer uses the backend of step 3"
done
sed "s|http://127.0.0.1:8080|$url|" "$work/step-host.c" >host.c
# The bundle's TiloDemandURL names port 8080 too: the environment points it at this server.
grep -q '<string>http://127.0.0.1:8080/openrtb2/auction</string>' my-game/Info.plist ||
  fail "step 2 no longer points TiloDemandURL at the devserver's exchange"
export TILO_DEMAND_URL=$url/openrtb2/auction
if ! timeout 120 bash -euo pipefail "$work/step-run" >"$work/quickstart.out" 2>&1; then
  cat "$work/quickstart.out" >&2
  fail "the quick start's host did not build or run to completion"
fi
expect_lines "$work/quickstart.out" "loaded rewarded from Tilo House" "reward: " "dismissed"
expect_lines "$work/quickstart-server.log" "GET /sdk/init 200 " "POST /openrtb2/auction 200 " \
  "GET /openrtb2/notice/win 204 " "GET /openrtb2/notice/bill 204 "

# The C++ sample, in the same folder against the same backend.
sed "s|http://127.0.0.1:8080|$url|" "$work/readme-sample.cpp" >readme-sample.cpp
read -r -a tilo_flags <<<"$(pkg-config --cflags --libs tilo)"
engine_flags=(-std=c++17 -fno-exceptions -fno-rtti -Wall -Wextra -Wpedantic -Werror)
c++ "${engine_flags[@]}" readme-sample.cpp "${tilo_flags[@]}" -Wl,-rpath,"$prefix/lib" -o readme-cpp
# What an engine build must refuse: a status dropped on the floor, a copied ad; the same
# lines written correctly build.
probe() {
  printf '#include <tilo/Tilo.hpp>\n#include <utility>\nint main() { %s return 0; }\n' "$1" >probe.cpp
  c++ "${engine_flags[@]}" -fsyntax-only probe.cpp $(pkg-config --cflags tilo) 2>"$work/probe.err"
}
probe '(void)tilo::Ads::setLogLevel(tilo::LogLevel::off);
  auto ad = tilo::RewardedAd::create("r"); tilo::RewardedAd kept = std::move(ad).value();' ||
  { cat "$work/probe.err" >&2; fail "the C++ API's correct use does not build"; }
for misuse in 'tilo::Ads::setLogLevel(tilo::LogLevel::off);' \
              'auto ad = tilo::RewardedAd::create("r"); auto copy = ad.value();'; do
  if probe "$misuse"; then fail "the C++ API accepts: $misuse"; fi
done
# The log callback is owned: replacing it a hundred times leaks nothing (LeakSanitizer).
cat >log-owner.cpp <<'CPP'
#include <tilo/Tilo.hpp>

#include <string>

int main() {
  int lines = 0;
  for (int i = 0; i < 100; ++i) {
    const std::string tag(64, static_cast<char>('a' + i % 26));  // a capture on the heap
    auto sink = [&lines, tag](tilo::LogLevel, const char*) { lines += tag.empty() ? 0 : 1; };
    if (tilo::Ads::setLogCallback(sink) != TILO_STATUS_OK) return 1;
  }
  return tilo::Ads::setLogCallback(nullptr) == TILO_STATUS_OK ? 0 : 1;
}
CPP
c++ "${engine_flags[@]}" -fsanitize=address log-owner.cpp "${tilo_flags[@]}" \
  -Wl,-rpath,"$prefix/lib" -o log-owner
ASAN_OPTIONS=detect_leaks=1 ./log-owner 2>"$work/log-owner.err" ||
  { cat "$work/log-owner.err" >&2; fail "replacing the C++ log callback leaks or fails"; }
timeout 60 ./readme-cpp >"$work/readme-cpp.out" 2>&1 || { cat "$work/readme-cpp.out" >&2; fail "readme-cpp did not run to completion"; }
expect_lines "$work/readme-cpp.out" "dismissed"

unset TILO_DEMAND_URL
# The README's test mode in the same folder: its scenario files and run lines as written,
# each line's output holding what its comment says it prints; then its two lines of code,
# built into a host that sets the scenario it is given.
for name in no-fill.json network-down.json revenue.json; do
  block testmode "$name" >"$name"
  [ -s "$name" ] || fail "README.md has no test-mode block \"$name\""
done
block testmode run >"$work/testmode-run"
[ "$(grep -c '  # prints ' "$work/testmode-run")" -eq 3 ] || fail "the test-mode run block changed"
while IFS= read -r line; do
  command=${line%%#*} expected=${line##*# prints }
  timeout 60 bash -c "$command" >"$work/testmode.out" 2>&1 || true
  grep -qF -- "$expected" "$work/testmode.out" ||
    { cat "$work/testmode.out" >&2; fail "\"$command\" did not print \"$expected\""; }
done <"$work/testmode-run"
block testmode set.c >"$work/set.c"
block testmode set.cpp >"$work/set.cpp"
{ printf '#include <stdio.h>\n#include <tilo/tilo.h>\nint main(int argc, char** argv) {\n'
  printf '  const char* json = argc > 1 ? argv[1] : NULL;\n'
  cat "$work/set.c"
  printf '  return s == TILO_STATUS_OK ? 0 : 1;\n}\n'; } >set-scenario.c
{ printf '#include <tilo/Tilo.hpp>\n\n#include <cstdio>\n#include <string>\n\n'
  printf 'int main(int argc, char** argv) {\n  const std::string json = argc > 1 ? argv[1] : "";\n'
  cat "$work/set.cpp"
  printf '  return 0;\n}\n'; } >set-scenario.cpp
cc -std=c11 -Wall -Wextra -Werror set-scenario.c "${tilo_flags[@]}" -Wl,-rpath,"$prefix/lib" -o set-scenario
c++ "${engine_flags[@]}" set-scenario.cpp "${tilo_flags[@]}" -Wl,-rpath,"$prefix/lib" -o set-scenario-cpp
./set-scenario '{"units":{"x":{"delay":5}}}' >"$work/set.out" 2>&1 && fail "a misspelt key was taken"
./set-scenario-cpp '{"unit":{}}' >>"$work/set.out" 2>&1
./set-scenario '{"default":{"result":"error"}}' >>"$work/set.out" 2>&1 || fail "a good scenario was refused"
expect_lines "$work/set.out" "units.x.delay: unknown key; the keys here are result" \
  "unit: unknown key; the keys here are start, default, units"

# The examples, through the CMake package, against a bundle and backend of their own.
for example in c-host cpp-host; do
  cmake -S "$src/examples/$example" -B "$work/$example" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
  cmake --build "$work/$example" >"$work/$example.build" 2>&1 ||
    { cat "$work/$example.build" >&2; fail "$example did not build"; }
done
start_devserver
run() {
  local name=$1; shift
  local out=$work/$name.out
  if ! TILO_BUNDLE_DIR=$work/bundle TILO_APP_CONTAINER=$work/container-$name TILO_API_BASE_URL=$url \
       timeout 60 "$@" >"$out" 2>&1; then
    cat "$out" >&2
    fail "$name did not run to completion"
  fi
}
run c-host "$work/c-host/tilo-c-host"
expect_lines "$work/c-host.out" \
  "interstitial loaded: format 1 unit interstitial-main" "interstitial dismissed" \
  "rewarded loaded: format 2 unit rewarded-main" "rewarded earned" "rewarded dismissed" \
  "app_open loaded: format 4 unit app-open-main" "app_open dismissed" \
  "banner loaded: format 0 unit banner-main network AdMob" \
  "light popup loaded" "light popup shown" "light popup dismissed" \
  "native loaded: format 3 unit native-main" "native impression: format 3 unit native-main network AdMob" \
  "line banner loaded: format 3 unit line-banner-main" \
  "line banner impression: format 3 unit line-banner-main network AdMob" \
  "own native loaded: format 3 unit native-main" \
  "own native impression: format 3 unit native-main network AdMob" \
  "c-host: every ad shown"
run cpp-host "$work/cpp-host/tilo-cpp-host"
expect_lines "$work/cpp-host.out" \
  "interstitial loaded" "interstitial dismissed" "rewarded loaded" "rewarded dismissed" \
  "rewarded earned" "app open loaded" "app open dismissed" "banner loaded" \
  "native loaded" "native impression from AdMob" \
  "line banner loaded" "line banner impression from AdMob" \
  "light popup dismissed" "own native impression" "cpp-host: every ad shown"
for name in quickstart readme-cpp testmode c-host cpp-host; do
  echo "$name: ok ($(wc -l <"$work/$name.out") lines)"
done
