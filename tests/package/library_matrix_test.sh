#!/usr/bin/env bash
# Every system library libtilo.so opens on first use, taken away in turn, under a host with
# a window and one without (matrix_host.c), and a host that forks while ads load: each run ends normally (exit 0, never 134 or a
# signal), the calls that needed the library answer TILO_STATUS_UNAVAILABLE naming why,
# and no call ever reached the library unchecked. Then stubs with a library's soname that
# lack one function it must have (an older copy): refused by the function's name.
#
# A library is taken away by binding /dev/null over its file in a private mount namespace
# (unshare -m, as root where permitted), else by an unusable file of its soname first on
# LD_LIBRARY_PATH. The runs are small processes, several at a time.
#   library_matrix_test.sh SOURCE_DIR BUILD_DIR MATRIX_HOST
set -euo pipefail
src=$1 build=$2 host=$3
work=$(mktemp -d)
source "$(dirname "$0")/host_env.sh"
trap cleanup_host_env EXIT
start_devserver

stubs=$build/generated/LazyStubs.S
[ -f "$stubs" ] || { echo "library matrix: libtilo.so links its libraries (no $stubs): skipped"; exit 77; }
# The tables make_lazy_stubs.py wrote: sonames, symbol names and each symbol's library.
python3 - "$stubs" >"$work/table" <<'PY'
import re, sys
text = open(sys.argv[1]).read()
names = re.findall(r'^\.Lname\d+:\n\t\.asciz "([^"]+)"', text, re.M)
libraries = re.findall(r'^\.Llibrary\d+:\n\t\.asciz "([^"]+)"', text, re.M)
owners = re.search(r'tilo_lazy_symbol_library:\n((?:\t\.byte \d+\n)+)', text).group(1)
owners = [int(n) for n in re.findall(r'\d+', owners)]
for index, library in enumerate(libraries):
    print(library, " ".join(name for name, owner in zip(names, owners) if owner == index))
PY
[ "$(wc -l <"$work/table")" -ge 5 ] || fail "the trampoline table names too few libraries: $(cat "$work/table")"

isolate=ldpath
if [ "$(id -u)" -eq 0 ] && unshare -m true 2>/dev/null; then isolate=mount; fi

# run NAME MODE KIND [LIBRARY PATH]: the host, in a container of its own, with nothing taken
# away (KIND none), LIBRARY's file at PATH made unusable (block) or the stub folder PATH
# first on LD_LIBRARY_PATH (stub). Leaves NAME.out, NAME.err and NAME.status.
run() {
  local name=$1 mode=$2 kind=$3 library=${4:-} path=${5:-} out=$work/$1 status=0
  mkdir -p "$work/container-$name"
  local command=("$host" "$work/bundle" "$work/container-$name" "$url" "$mode")
  if [ "$kind" = block ] && [ "$isolate" = mount ]; then
    command=(unshare -m sh -c 'mount --bind /dev/null "$1" && shift && exec "$@"' sh "$path"
             "${command[@]}")
  elif [ "$kind" = block ]; then
    path=$work/broken-$name
    mkdir -p "$path"
    printf 'not a library' >"$path/$library"
  fi
  if [ "$kind" = stub ] || { [ "$kind" = block ] && [ "$isolate" = ldpath ]; }; then
    LD_LIBRARY_PATH=$path "${command[@]}" >"$out.out" 2>"$out.err" || status=$?
  else
    "${command[@]}" >"$out.out" 2>"$out.err" || status=$?
  fi
  echo "$status" >"$out.status"
}
export -f run
export work host url isolate

ldconfig -p >"$work/ldcache"  # read whole: a reader that stops early would break the pipe
jobs=()
for mode in window headless fork; do jobs+=("baseline-$mode $mode none"); done
while read -r library _; do
  path=$(awk -v so="$library" '$1 == so && /x86-64/ { print $NF; exit }' "$work/ldcache")
  [ -n "$path" ] || fail "ldconfig knows no $library"
  path=$(readlink -f "$path")
  for mode in window headless; do jobs+=("$library-$mode $mode block $library $path"); done
done <"$work/table"

# Stubs: the first library of each kind with every function libtilo.so takes from it but
# its first one, under the real library's soname.
for pattern in libjpeg libcurl; do
  line=$(grep "^$pattern" "$work/table" | head -n 1) || continue
  read -r library missing rest <<<"$line"
  dir=$work/stub-$library
  mkdir -p "$dir"
  for symbol in $rest; do echo "void $symbol(void) {}"; done >"$dir/stub.c"
  cc -shared -fPIC -Wl,-soname,"$library" -o "$dir/$library" "$dir/stub.c"
  echo "$missing" >"$dir/missing"
  for mode in window headless; do jobs+=("stub-$library-$mode $mode stub $library $dir"); done
done

printf '%s\n' "${jobs[@]}" | xargs -P 4 -I{} bash -c 'run {}'

failures=0
check() {  # check NAME CONDITION MESSAGE
  if ! eval "$2"; then echo "library matrix: $1: $3" >&2; failures=$((failures + 1)); fi
}
for job in "${jobs[@]}"; do
  read -r name mode kind library path <<<"$job"
  out=$work/$name
  status=$(cat "$out.status")
  check "$name" '[ "$status" -eq 0 ]' "ended with $status: $(tail -n 3 "$out.err" "$out.out")"
  check "$name" '! grep -q "calls into it do nothing" "$out.err"' \
    "a call reached an unusable library unchecked: $(cat "$out.err")"
  check "$name" 'grep -q "^shutdown TILO_STATUS_OK" "$out.out"' "did not shut down normally"
  case $name in
    baseline-*)
      check "$name" '! grep -q UNAVAILABLE "$out.out"' "refused a call: $(grep UNAVAILABLE "$out.out")"
      check "$name" 'grep -q "initialized 1" "$out.out"' "did not initialize: $(cat "$out.out")"
      # The pool's cap, set before the start, holds; once started it is refused.
      check "$name" 'grep -q "^pool_threads 3$" "$out.out"' "$(grep pool_threads "$out.out") (cap 3)"
      check "$name" 'grep -q "^set_max_threads_started TILO_STATUS_ALREADY_STARTED" "$out.out"' \
        "the cap changed after the start"
      [ "$mode" != fork ] || check "$name" 'grep -q "^fork_child exited 0" "$out.out"' \
        "the forked child's calls were not all TILO_STATUS_FORKED: $(cat "$out.out")"
      ;;
    stub-*)
      missing=$(cat "$path/missing")
      check "$name" 'grep -q "TILO_STATUS_UNAVAILABLE.*it has no $missing" "$out.out"' \
        "no call was refused for the missing $missing: $(cat "$out.out")"
      ;;
    *)
      check "$name" 'grep -q "TILO_STATUS_UNAVAILABLE .*cannot be loaded" "$out.out"' \
        "no call was refused for it: $(cat "$out.out")"
      ;;
  esac
done
[ "$failures" -eq 0 ] || fail "$failures checks failed"
echo "library matrix: ${#jobs[@]} runs ($isolate), every one ended normally with named statuses"
