#!/usr/bin/env bash
# Builds Ravlio and runs every test. Usage: scripts/test.sh [build folder] [extra cmake args...]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/deps.sh" build
build="${1:-$root/build}"
shift || true
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
cmake --build "$build" --parallel
cd "$build"
ctest --output-on-failure --parallel "$(nproc)" --timeout 300
