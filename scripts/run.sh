#!/usr/bin/env bash
# Builds Ravlio and runs it against the simulated camera and the local firmware service, which
# it starts on the port of FirmwareServiceURL in resources/Info.ini and stops afterwards.
# Without a display it runs under a virtual X server. RAVLIO_VOK_SCENARIO names another camera
# scenario (resources/scenarios/).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/deps.sh" run
build="$root/build"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" --parallel --target ravlio diskimage firmware-service firmware-packages

url="$(sed -n 's/^FirmwareServiceURL=//p' "$root/resources/Info.ini")"
port="${url##*:}"
port="${port%%/*}"
"$build/tools/firmware-service/firmware-service" --port "$port" \
  --catalogue "$root/tools/firmware-service/data/catalogue.json" \
  --packages "$build/tools/firmware-service/packages" &
service=$!
trap 'kill "$service" 2>/dev/null || true' EXIT

app=("$build/app/ravlio" "$@")
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  app=(xvfb-run -a -s "-screen 0 1280x800x24" "${app[@]}")
fi
"${app[@]}"
