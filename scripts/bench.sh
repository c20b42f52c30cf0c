#!/usr/bin/env bash
# Builds and runs the benchmarks: the copy onto a card against cp + sync, the download from the
# local firmware service against curl, the extraction against a bare 7zz (an incompressible
# package, and compressible ones in zlib and in bzip2 chunks), live view's memory over the
# simulated camera, and the start-up against a bare Qt window (on a virtual X server). Each runs
# to its end; the goals any of them missed are listed at the end, and then the exit status is 1.
# They measure; they are not tests, and CI does not run them.
# Usage: scripts/bench.sh [copy|download|extraction|liveview|startup ...]
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
all=(copy download extraction liveview startup)
which=("$@")
((${#which[@]})) || which=("${all[@]}")
for b in "${which[@]}"; do
  [[ " ${all[*]} " == *" $b "* ]] || { echo "bench.sh: no benchmark '$b' (${all[*]})" >&2; exit 2; }
done
set -e
"$root/scripts/deps.sh" bench
build="$root/build"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
targets=()
for b in "${which[@]}"; do targets+=("bench_$b"); done
cmake --build "$build" --parallel --target "${targets[@]}"
set +e

log="$(mktemp)"
trap 'rm -f "$log"' EXIT
failed=()
for b in "${which[@]}"; do
  echo "== $b"
  case "$b" in
    startup)
      # A virtual X server of its own, and a session bus as on a desktop: without one, Qt's
      # accessibility bridge tries to start a bus at the first label.
      command=(dbus-run-session -- xvfb-run -a -s "-screen 0 1280x800x24" "$build/bench/bench_startup"
               --text-reference "$build/bench/bench_bare_window" "$build/app/ravlio") ;;
    *) command=("$build/bench/bench_$b") ;;
  esac
  "${command[@]}" 2>&1 | tee -a "$log"
  status=${PIPESTATUS[0]}
  ((status == 0)) || failed+=("$b (exit status $status)")
done

echo "== summary"
grep '^MISSED ' "$log" || true
if ((${#failed[@]})); then
  printf 'missed or failed: %s\n' "${failed[@]}"
  exit 1
fi
echo "every benchmark met its goals"
