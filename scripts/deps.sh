#!/usr/bin/env bash
# Installs what building (and, with "run", running) Ravlio needs on Debian 12, only where it is
# missing. Usage: scripts/deps.sh [build|run|bench|install|fuzz]
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev libxcb1-dev
          libgtest-dev libgmock-dev zlib1g-dev libbz2-dev liblzma-dev libdeflate-dev 7zip genisoimage
          qt6-translations-l10n fonts-noto-core fonts-noto-cjk)
# The screens use Noto Sans and Noto Sans CJK KR; the layout tests measure text in them.
if [[ "${1:-build}" == bench ]]; then
  # The download benchmark measures curl beside the program; the start-up benchmark watches a
  # virtual X server for the windows it maps, with a session bus.
  packages+=(curl xvfb xauth dbus-daemon)
fi
if [[ "${1:-build}" == fuzz ]]; then
  # The fuzz targets build with clang and link libFuzzer and the sanitizers from its runtime.
  packages+=(clang libclang-rt-14-dev)
fi
if [[ "${1:-build}" == run ]]; then
  # A window needs an X server when there is no display.
  packages+=(xvfb xauth)
fi
if [[ "${1:-build}" == install ]]; then
  # The install check: a virtual X server with screenshots, window properties and a window
  # raised by hand, the desktop entry and metainfo validators, the manual page reader, what
  # CPack's Debian packages need (dpkg-shlibdeps, file) and lintian for the package.
  packages+=(xvfb xauth x11-utils xdotool imagemagick desktop-file-utils appstream man-db dpkg-dev file lintian)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
fi
