#!/usr/bin/env bash
# A plugin host loads libtilo.so with dlopen, uses it, shuts it down while an analytics
# upload is out and unloads it: no thread of the SDK and no mapping of the library may
# remain, and a second copy loaded afterwards starts afresh (unload_host.c). The events of
# the interrupted upload stay on disk and a later run delivers them, each exactly once.
# Then 20 reloads in one process, which must not leak.
#   unload_test.sh SOURCE_DIR BUILD_DIR UNLOAD_HOST
set -euo pipefail
src=$1 build=$2 host=$3
work=$(mktemp -d)
source "$(dirname "$0")/host_env.sh"
trap cleanup_host_env EXIT
key=package-test-app-key

# Two backends over one event database: the first holds every answer back, so the upload
# is still out when the host shuts down; the second answers at once.
start_devserver --db "$work/events.db" --delay-ms 1500
slow=$url
serve "$work/server-fast.log" "$build/tilo-devserver" --port 0 --app-key "$key" \
  --app-info "$work/app-info.json" --db "$work/events.db"
fast=$url
mkdir -p "$work/container"

"$host" "$build/libtilo.so" "$work/bundle" "$work/container" "$slow" upload ||
  fail "the host that shut down during an upload failed"

ids() {  # the event ids of a JSON document with an "events" list, one a line
  python3 -c 'import json, sys; [print(e["eventId"]) for e in json.load(sys.stdin)["events"]]'
}
"$build/tilo-keytool" events --app-key "$key" --container "$work/container" | ids | sort >"$work/kept"
[ -s "$work/kept" ] || fail "the shutdown left no unsent event on disk"

"$host" "$build/libtilo.so" "$work/bundle" "$work/container" "$fast" deliver "$work/stop" &
deliverer=$!
delivered=
for _ in $(seq 600); do
  python3 -c 'import urllib.request, sys; sys.stdout.write(urllib.request.urlopen(sys.argv[1] + "/dev/events").read().decode())' \
    "$fast" | ids | sort >"$work/stored"
  if [ -z "$(comm -23 "$work/kept" <(sort -u "$work/stored"))" ]; then delivered=1; break; fi
  sleep 0.1
done
touch "$work/stop"
wait "$deliverer" || fail "the host that delivered the kept events failed"
[ -n "$delivered" ] || fail "events kept by the shutdown never reached the backend: $(comm -23 "$work/kept" <(sort -u "$work/stored") | head -3)"
duplicates=$(uniq -d "$work/stored")
[ -z "$duplicates" ] || fail "events stored twice: $duplicates"
left=$("$build/tilo-keytool" events --app-key "$key" --container "$work/container" | ids)
[ -z "$left" ] || fail "delivered events are still on disk: $left"
echo "unload test: $(wc -l <"$work/kept") events kept across the shutdown, delivered once"

# An editor that reloads the plugin: 20 lives in one process leave no descriptor open and
# the heap within 50 kB a cycle of where the first left it.
mkdir -p "$work/container-reload"
"$host" "$build/libtilo.so" "$work/bundle" "$work/container-reload" "$fast" cycles 20 \
  >"$work/reload.out" 2>&1 || { cat "$work/reload.out" >&2; fail "reloading leaks"; }
tail -n 1 "$work/reload.out"
