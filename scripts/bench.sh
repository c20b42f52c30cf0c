#!/usr/bin/env bash
# Builds and runs the benchmarks: the copy onto a card against cp + sync, the download from the
# local firmware service against curl, the extraction against a bare 7zz, and live view's memory
# over the simulated camera. They measure; they are not tests, and CI does not run them.
# Usage: scripts/bench.sh [copy|download|extraction|liveview ...]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/deps.sh" bench
build="$root/build"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
which=("$@")
((${#which[@]})) || which=(copy download extraction liveview)
targets=()
for b in "${which[@]}"; do targets+=("bench_$b"); done
cmake --build "$build" --parallel --target "${targets[@]}"
for b in "${which[@]}"; do
  echo "== $b"
  "$build/bench/bench_$b"
done
