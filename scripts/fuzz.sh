#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs them together, a minute each by default.
# A finding fails with its log, the reproducer's path and a hexdump.
# Usage: scripts/fuzz.sh [seconds]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
seconds="${1:-60}"
unset TSAN_OPTIONS
scripts/deps.sh fuzz
cmake -S "$root" -B "$root/build-fuzz" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DRAVLIO_FUZZ=ON -DRAVLIO_TESTS=OFF
fuzzers=(catalogue_answer version_order strings_file scenario hfs_catalog udif_tables)
cmake --build "$root/build-fuzz" --parallel --target "${fuzzers[@]/#/fuzz_}"
# All at once; new inputs go to a scratch corpus, the seeds stay as committed.
export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions="$root/.ci/lsan.supp"
runs="$root/build-fuzz/runs"
rm -rf "$runs"
pids=()
for f in "${fuzzers[@]}"; do
  mkdir -p "$runs/$f/corpus" "$runs/$f/findings"
  (cd "$runs/$f" && "$root/build-fuzz/fuzz/fuzz_$f" -max_total_time="$seconds" -print_final_stats=1 \
     -artifact_prefix="$runs/$f/findings/" corpus "$root/fuzz/corpus/$f" >log 2>&1) &
  pids+=($!)
done
found=0
for i in "${!fuzzers[@]}"; do
  f=${fuzzers[$i]}
  status=0
  wait "${pids[$i]}" || status=$?
  findings=("$runs/$f/findings"/*)
  if ((status != 0)) || [[ -e ${findings[0]} ]]; then
    found=1
    echo "-- fuzz_$f found a fault (exit $status):"
    tail -n 80 "$runs/$f/log"
    for reproducer in "${findings[@]}"; do
      [[ -e $reproducer ]] || continue
      echo "-- reproducer $reproducer (replay: build-fuzz/fuzz/fuzz_$f $reproducer)"
      od -A x -t x1z -v "$reproducer" | head -n 256 || true
    done
  else
    echo "fuzz_$f: $(grep -m1 '^Done' "$runs/$f/log" || echo done)"
  fi
done
exit "$found"
