#!/usr/bin/env bash
# Builds examples/sdl-host against an installed copy of the SDK and runs its game loop
# headless (SDL's offscreen video driver, software renderer) against tilo-devserver: the
# banner must load and its pixels reach the frame, and the scripted R and P presses must
# show a rewarded ad (with its reward) and a light popup. A banner unit the backend does
# not know must fail the same check. Exits 77 (skipped) without SDL2's development files.
#   sdl_host_test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
src=$1 build=$2
if ! pkg-config --exists sdl2 2>/dev/null; then
  echo "sdl-host: SDL2 development files not installed (libsdl2-dev); skipped"
  exit 77
fi
work=$(mktemp -d)
source "$(dirname "$0")/host_env.sh"
trap cleanup_host_env EXIT

install_prefix
cmake -S "$src/examples/sdl-host" -B "$work/sdl-host" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/sdl-host" >/dev/null

# Bad arguments stop it before anything starts.
for args in "--press R" "--press Q@x" "--click 10,20" "--scale 4" "--size 50x50" "--frames 0" \
            "--bogus"; do
  status=0
  # shellcheck disable=SC2086
  "$work/sdl-host/tilo-sdl-host" $args >"$work/args.out" 2>&1 || status=$?
  [ "$status" -eq 2 ] || fail "tilo-sdl-host $args exited $status, not 2"
done

start_devserver

export SDL_VIDEODRIVER=offscreen SDL_RENDER_DRIVER=software SDL_AUDIODRIVER=dummy
# Frames are paced near 60 per second; every wait inside is counted in frames.
host() {
  local name=$1; shift
  TILO_BUNDLE_DIR=$work/bundle TILO_APP_CONTAINER=$work/container-$name TILO_API_BASE_URL=$url \
    timeout 120 "$work/sdl-host/tilo-sdl-host" --scale 2 "$@" >"$work/$name.out" 2>&1
}

status=0
# 400 x 640 points at scale 2: the banner (320 x 50 points, pinned to the bottom) has its
# centre at (400, 1230) in the 800 x 1280 pixel window. The rewarded ad stays until the
# tap on its close button, 34 points in from the right edge and 22 below the top: (732, 44)
# in pixels, scripted well after R so that the ad is up by then.
host play --frames 600 --press R@30 --press P@60 --click 400,1230@0 --click 400,300@0 \
  --click 732,44@240 --check-banner || status=$?
[ "$status" -eq 0 ] || { cat "$work/play.out" >&2; fail "sdl-host exited $status"; }
# Each chain is in cause-and-effect order; the chains interleave as the backend answers.
out=$work/play.out
expect_lines "$out" "offscreen video, software renderer"
expect_lines "$out" "sdl-host: initialized"
expect_lines "$out" "banner: loaded (unit banner-main"
expect_lines "$out" "rewarded: loaded" "press R" "rewarded: shown" "rewarded: paid 0.010625 USD" \
  "rewarded: reward" "click at (732, 44)" "tap at (366, 22) pt: handled by the ad" \
  "rewarded: dismissed"
expect_lines "$out" "press P" "light popup: loading" "light popup: loaded" "light popup: shown"
# The banner may report the click from inside the tap, before the tap's own line.
expect_lines "$out" "click at (400, 1230)" "banner: clicked"
expect_lines "$out" "click at (400, 1230)" "tap at (200, 615) pt: handled by the ad"
expect_lines "$out" "click at (400, 300)" "tap at (200, 150) pt: not on an ad"
expect_lines "$out" "sdl-host: 600 frames" "banner check: ok"
# Frames where nothing on the SDK's window changed upload nothing.
uploads=$(sed -n 's/^sdl-host: 600 frames, \([0-9]*\) with pixels to upload$/\1/p' "$out")
[ -n "$uploads" ] && [ "$uploads" -gt 0 ] && [ "$uploads" -lt 300 ] ||
  fail "uploads on ${uploads:-no} of 600 frames: idle frames should upload nothing"
echo "sdl-host: ok ($(grep 'banner check' "$work/play.out"); $uploads frames uploaded)"

status=0
host unknown --frames 240 --banner-unit no-such-banner --check-banner || status=$?
[ "$status" -eq 1 ] || { cat "$work/unknown.out" >&2; fail "an unknown banner unit exited $status"; }
expect_lines "$work/unknown.out" "banner check: FAILED: the banner did not load"
echo "sdl-host without a banner: fails as it should"
