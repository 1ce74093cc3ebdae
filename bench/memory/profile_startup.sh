#!/bin/bash
# Profiles which of libtilo.so's functions a host's start runs (load, initialize, five idle
# seconds) and writes them, in the library's present order, to cmake/startup-functions.txt,
# which the release link places together (cmake/StartupOrder.cmake). Run it after a change
# that moves the start's work, then rebuild and compare bench_resident_memory_bench.
#
#   bench/memory/profile_startup.sh [BUILD_DIR]   (default build/release; needs valgrind)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/release}
for tool in valgrind nm; do
  command -v $tool >/dev/null || { echo "profile_startup: $tool is missing (apt-get install valgrind)" >&2; exit 1; }
done
[ -x "$build/bench_resident_memory_bench" ] ||
  { echo "profile_startup: build $build first (./tilo bench builds it)" >&2; exit 1; }
work=$(mktemp -d)
trap 'kill $bench ${host:-} 2>/dev/null || true; rm -rf "$work"' EXIT
# The bench writes a bundle and starts a backend; its host then idles long enough for the
# profiled run below to use the same bundle and backend, with a container of its own.
"$build/bench_resident_memory_bench" 120 >"$work/bench.log" 2>&1 &
bench=$!
for _ in $(seq 100); do
  host=$(pgrep -n -f "tilo-resident-host /" || true)  # the newest: this bench's
  [ -n "$host" ] && break
  sleep 0.2
done
[ -n "${host:-}" ] || { echo "profile_startup: the bench's host did not start" >&2; cat "$work/bench.log" >&2; exit 1; }
mapfile -d '' args </proc/$host/cmdline
mkdir "$work/container"  # a first start, as the bench's host makes
echo "profile_startup: running the host's start under callgrind (about a minute)" >&2
valgrind --tool=callgrind --demangle=no --callgrind-out-file="$work/callgrind.out" \
  "${args[0]}" "${args[1]}" "${args[2]}" "$work/container" "${args[4]}" 5 >"$work/host.log" 2>&1 ||
  { echo "profile_startup: the profiled host failed:" >&2; tail "$work/host.log" >&2; exit 1; }
nm --defined-only "${args[1]}" >"$work/symbols"
python3 - "$work/callgrind.out" "$work/symbols" cmake/startup-functions.txt <<'PY'
import re, sys
profile, symbols, out = sys.argv[1:]
names, objects, ran, current = {}, {}, set(), [None, None]
def name(table, rest):
    m = re.match(r"\((\d+)\)(?: (.*))?", rest)
    if not m:
        return rest
    if m.group(2) is not None:
        table[m.group(1)] = m.group(2)
    return table.get(m.group(1))
for line in open(profile, errors="replace"):
    key, _, rest = line.partition("=")
    if key in ("ob", "cob"):
        value = name(objects, rest.strip())
        if key == "ob":
            current[0] = value
    elif key in ("fn", "cfn"):
        value = name(names, rest.strip())
        if key == "fn":
            current[1] = value
            if current[0] and "libtilo" in current[0]:
                ran.add(value.split("'")[0])
address = {}
for line in open(symbols):
    parts = line.split()
    if len(parts) == 3 and parts[1] in "tTwW":
        address.setdefault(parts[2], int(parts[0], 16))
order = sorted((address[n], n) for n in ran if n in address)
with open(out, "w") as f:
    f.write("# libtilo.so functions a host's start runs (load, initialize, idle), in the order the\n"
            "# release link places them first; written by bench/memory/profile_startup.sh.\n")
    for _, n in order:
        f.write(n + "\n")
print("profile_startup: %d functions written to %s" % (len(order), out), file=sys.stderr)
PY
