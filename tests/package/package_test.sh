#!/usr/bin/env bash
# Installs the built SDK into a temporary prefix, builds examples/c-host and
# examples/cpp-host with find_package(Tilo) and the README's C and C++ samples (taken
# from README.md itself) with pkg-config, then runs all four against tilo-devserver.
#   package_test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
src=$1 build=$2
work=$(mktemp -d)
source "$(dirname "$0")/host_env.sh"
trap cleanup_host_env EXIT

# 1. Install: headers, libtilo.so.1 and its link, the CMake package and tilo.pc.
install_prefix

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
  cmake --build "$work/$example" >"$work/$example.build" 2>&1 ||
    { cat "$work/$example.build" >&2; fail "$example did not build"; }
done

# 4. A bundle sealed for the development backend, and the backend.
start_devserver

# 5. Each host runs to completion and prints, in order, what each ad did.
run() {
  local name=$1; shift
  local out=$work/$name.out
  if ! TILO_BUNDLE_DIR=$work/bundle TILO_APP_CONTAINER=$work/container-$name TILO_API_BASE_URL=$url \
       timeout 60 "$@" >"$out" 2>&1; then
    cat "$out" >&2
    fail "$name did not run to completion"
  fi
}
run readme-c "$work/readme-c"
expect_lines "$work/readme-c.out" "reward: 1 reward"
run readme-cpp "$work/readme-cpp"
expect_lines "$work/readme-cpp.out" "dismissed"
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
  "c-host: every ad shown"
run cpp-host "$work/cpp-host/tilo-cpp-host"
expect_lines "$work/cpp-host.out" \
  "interstitial loaded" "interstitial dismissed" "rewarded loaded" "rewarded dismissed" \
  "rewarded earned" "app open loaded" "app open dismissed" "banner loaded" \
  "native loaded" "native impression from AdMob" \
  "line banner loaded" "line banner impression from AdMob" \
  "light popup dismissed" "cpp-host: every ad shown"
for name in readme-c readme-cpp c-host cpp-host; do
  echo "$name: ok ($(wc -l <"$work/$name.out") lines)"
done
