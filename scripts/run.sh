#!/usr/bin/env bash
# Builds Ravlio and runs it against the simulated camera. Without a display it runs under a
# virtual X server. RAVLIO_VOK_SCENARIO names another camera scenario (resources/scenarios/).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/deps.sh" run
build="$root/build"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" --parallel --target ravlio
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  exec xvfb-run -a -s "-screen 0 1280x800x24" "$build/app/ravlio" "$@"
fi
exec "$build/app/ravlio" "$@"
