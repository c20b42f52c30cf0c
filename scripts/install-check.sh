#!/usr/bin/env bash
# Checks the installed program: installs a build into a temporary prefix, validates the desktop
# entry, the metainfo and the manual page, checks the command line (--help, --version, an unknown
# option, no display), runs the installed disk-image tool, starts the installed program under a
# virtual X server against the local firmware service and compares its intro screen with the
# build's, starts it a second time and expects the first window raised, then makes the Debian
# package, checks its listing and lintian's verdict and (as root, when no ravlio package is
# installed already) installs it with apt-get and removes it again.
# Usage: scripts/install-check.sh [build folder]; KEEP=1 keeps its work folder (the screenshots,
# the package) for a look.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
self="$root/scripts/install-check.sh"

# The ids of the program's main windows, one a line.
main_window() { xwininfo -root -tree | awk '/"Ravlio": \("ravlio"/ {print $1}'; }
# Prints the id of the main window of the program running as process $1 once it shows; fails
# when the program ends first or no window shows within 30 s (the program is then ended).
wait_for_main_window() {
  local app="$1" window
  for _ in $(seq 1 60); do
    kill -0 "$app" 2>/dev/null || { echo "install-check: the program ended before its window showed" >&2; return 1; }
    window="$(main_window)"
    if [[ -n "$window" ]]; then
      echo "${window%%$'\n'*}"
      return
    fi
    sleep 0.5
  done
  echo "install-check: no main window within 30 s" >&2
  kill "$app"
  return 1
}

# --shoot <png> <program...>: runs inside the virtual X server. Waits for the main window, takes
# the screen once it has settled, checks the window carries an icon (unless expect_icon=0), then
# ends the program through its termination signal and expects a clean exit.
if [[ "${1:-}" == --shoot ]]; then
  out="$2"
  shift 2
  "$@" &
  app=$!
  window="$(wait_for_main_window "$app")" || exit 1
  previous=""
  for _ in $(seq 1 20); do
    sleep 1
    import -window root "$out.next.png"
    if [[ -n "$previous" ]] && compare -metric AE "$previous" "$out.next.png" null: 2>/dev/null; then break; fi
    mv "$out.next.png" "$out"
    previous="$out"
  done
  mv "$out.next.png" "$out"
  icon="$(xprop -id "$window" _NET_WM_ICON)"
  if [[ "${expect_icon:-1}" == 1 && "$icon" != *"Icon (16 x 16)"* ]]; then
    echo "install-check: the main window has no icon" >&2
    kill "$app"
    exit 1
  fi
  kill -TERM "$app"
  wait "$app"
  exit
fi

# --second-start <program>: runs inside the virtual X server. Starts the program, covers its
# window with another one that takes the focus, starts the program again and expects that start
# to end at once with status 0, the first copy still running with its one window, now above the
# other and with the focus.
if [[ "${1:-}" == --second-start ]]; then
  program="$2"
  "$program" &
  app=$!
  window="$(wait_for_main_window "$app")" || exit 1
  xmessage -geometry 1200x780+0+0 "over the first window" &
  other_app=$!
  other=""
  for _ in $(seq 1 40); do
    other="$(xwininfo -root -tree | awk '/\("xmessage" "Xmessage"\)/ {print $1; exit}')"
    [[ -n "$other" ]] && break
    sleep 0.25
  done
  # The top-level windows, topmost first.
  on_top() { xwininfo -root -children | awk -v a="$window" -v b="$other" '$1 == a || $1 == b {print $1; exit}'; }
  status=0
  if [[ -z "$other" ]]; then
    echo "install-check: the covering window did not show" >&2
    status=1
  else
    xdotool windowraise "$((other))" windowfocus --sync "$((other))"
    if [[ "$(on_top)" != "$other" || "$(xdotool getwindowfocus)" != "$((other))" ]]; then
      echo "install-check: the covering window is not above the first one with the focus" >&2
      status=1
    elif ! timeout 20 "$program"; then
      echo "install-check: the second start did not end with status 0" >&2
      status=1
    else
      for _ in $(seq 1 40); do
        [[ "$(on_top)" == "$window" && "$(xdotool getwindowfocus)" == "$((window))" ]] && break
        sleep 0.25
      done
      if [[ "$(on_top)" != "$window" ]]; then
        echo "install-check: the second start did not raise the first window" >&2
        status=1
      elif [[ "$(xdotool getwindowfocus)" != "$((window))" ]]; then
        echo "install-check: the second start did not give the first window the focus" >&2
        status=1
      elif [[ "$(main_window | wc -l)" != 1 ]] || ! kill -0 "$app" 2>/dev/null; then
        echo "install-check: after the second start there is not exactly the first copy's window" >&2
        status=1
      fi
    fi
  fi
  kill "$other_app" 2>/dev/null || true
  kill -TERM "$app"
  wait "$app" || status=1
  exit "$status"
fi

"$root/scripts/deps.sh" install
build="${1:-$root/build}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --parallel 4 --target ravlio diskimage firmware-service firmware-packages

work="$(mktemp -d /tmp/ravlio-install-check.XXXXXX)"
service=""
cleanup() {
  [[ -z "$service" ]] || kill "$service" 2>/dev/null || true
  [[ -n "${KEEP:-}" ]] || rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "install-check: $*" >&2
  exit 1
}

echo "== cmake --install into a temporary prefix"
prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" --strip >/dev/null
layout=(bin/ravlio libexec/ravlio/diskimage share/ravlio/Info.ini share/ravlio/cameraCrawling.ini
        share/ravlio/en.lproj/Localizable.strings share/ravlio/ko.lproj/Localizable.strings
        share/ravlio/images/icon_app.svg share/ravlio/ui/IntroViewController.ui
        share/ravlio/scenarios/default.json
        share/applications/com.ravlio.updater.desktop
        share/icons/hicolor/scalable/apps/com.ravlio.updater.svg
        share/metainfo/com.ravlio.updater.metainfo.xml
        share/man/man1/ravlio.1.gz share/doc/ravlio/copyright share/doc/ravlio/changelog.gz)
for f in "${layout[@]}"; do
  [[ -e "$prefix/$f" ]] || fail "$f is not installed"
done
# Desktops find the running program's entry by the name the program gives: its bundle identifier.
id="$(sed -n 's/^CFBundleIdentifier=//p' "$prefix/share/ravlio/Info.ini")"
[[ "$id" == com.ravlio.updater ]] || fail "the bundle identifier $id does not name the desktop entry"
for program in bin/ravlio libexec/ravlio/diskimage; do
  ! grep -qF "$root" "$prefix/$program" || fail "$program holds a path of the source tree"
  ! grep -qF "$build" "$prefix/$program" || fail "$program holds a path of the build folder"
done

echo "== desktop entry and metainfo"
desktop-file-validate "$prefix/share/applications/com.ravlio.updater.desktop"
metainfo="$prefix/share/metainfo/com.ravlio.updater.metainfo.xml"
appstreamcli validate --no-net "$metainfo"
grep -q '<project_license>GPL-3.0-or-later</project_license>' "$metainfo" || fail "the metainfo names no licence"
grep -q '<developer id="[^"]' "$metainfo" || fail "the metainfo names no developer with an id"

echo "== manual page and package documents"
manual="$prefix/share/man/man1/ravlio.1.gz"
warnings="$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$manual" 2>&1 >"$work/manual.txt")"
[[ -z "$warnings" ]] || fail "the manual page has warnings: $warnings"
for word in --help --version RAVLIO_VOK_SCENARIO RAVLIO_RESOURCES RAVLIO_DISKIMAGE UserDefaults.ini \
            com.ravlio.updater/ Volumes; do
  grep -qF -- "$word" "$work/manual.txt" || fail "the manual page does not mention $word"
done
copyright="$prefix/share/doc/ravlio/copyright"
[[ "$(head -n 1 "$copyright")" == "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" ]] ||
  fail "the copyright file is not in the machine-readable format"
grep -qx 'License: GPL-3+' "$copyright" || fail "the copyright file names no GPL-3+ licence"
cmp -s "$root/LICENSE" /usr/share/common-licenses/GPL-3 || fail "LICENSE is not the GPL version 3"

# The programs run with folders of their own, never the user's.
export XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" RAVLIO_ATTACH_ROOT="$work/Volumes"
export XDG_RUNTIME_DIR="$work/runtime" LC_ALL=C.UTF-8
unset RAVLIO_RESOURCES RAVLIO_DISKIMAGE RAVLIO_VOK_SCENARIO
mkdir -p "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

echo "== the command line, without a display"
program="$prefix/bin/ravlio"
version="$(sed -n 's/^project(Ravlio VERSION \([^ ]*\) .*/\1/p' "$root/CMakeLists.txt")"
nodisplay=(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb)
[[ "$("${nodisplay[@]}" "$program" --version)" == "ravlio $version" ]] || fail "--version does not say ravlio $version"
grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo's newest release is not $version"
"${nodisplay[@]}" "$program" --help >"$work/help.txt" || fail "--help did not end with status 0"
grep -q '^Usage: ravlio \[options\]' "$work/help.txt" && grep -q -- '--version' "$work/help.txt" ||
  fail "--help does not show the usage"
status=0
"${nodisplay[@]}" "$program" --no-such-option >"$work/out.txt" 2>"$work/err.txt" || status=$?
[[ $status == 1 && ! -s "$work/out.txt" ]] && grep -q '^Usage: ravlio' "$work/err.txt" ||
  fail "an unknown option did not show the usage on standard error with status 1"
status=0
"${nodisplay[@]}" "$program" >"$work/out.txt" 2>"$work/err.txt" || status=$?
[[ $status == 1 && "$(wc -l <"$work/err.txt")" == 1 ]] && grep -q 'display' "$work/err.txt" ||
  fail "without a display: status $status, $(cat "$work/err.txt")"

echo "== the installed disk-image tool"
tool="$prefix/libexec/ravlio/diskimage"
mkdir -p "$work/card/PRIVATE"
printf 'firmware' >"$work/card/PRIVATE/FIRMWARE.BIN"
"$tool" create "$work/card" "$work/package.dmg" >/dev/null
mounted="$("$tool" attach "file://$work/package.dmg")"
[[ "$(cat "$mounted/PRIVATE/FIRMWARE.BIN")" == firmware ]] || fail "attach did not show the image's files"
"$tool" detach "$mounted" >/dev/null
[[ ! -e "$mounted" ]] || fail "detach left $mounted"

echo "== the installed program's intro screen"
# A port of its own, away from the default one a run of scripts/run.sh may hold; a taken port
# ends the service at once, and the next one is tried.
for _ in 1 2 3 4 5; do
  port=$((20000 + RANDOM % 30000))
  "$build/tools/firmware-service/firmware-service" --port "$port" \
    --catalogue "$root/tools/firmware-service/data/catalogue.json" \
    --packages "$build/tools/firmware-service/packages" >"$work/service.log" 2>&1 &
  service=$!
  sleep 0.5
  kill -0 "$service" 2>/dev/null && break
  service=""
done
[[ -n "$service" ]] || fail "the firmware service did not start: $(cat "$work/service.log")"
sed -i "s|^FirmwareServiceURL=.*|FirmwareServiceURL=http://127.0.0.1:$port|" "$prefix/share/ravlio/Info.ini"
shoot() {
  timeout 90 xvfb-run -a -s "-screen 0 1280x800x24" "$self" --shoot "$@"
}
shoot "$work/installed.png" "$prefix/bin/ravlio"
shoot "$work/build.png" "$build/app/ravlio"
RAVLIO_RESOURCES="$work/no-resources" expect_icon=0 shoot "$work/bare.png" "$prefix/bin/ravlio"
same() { compare -metric AE "$1" "$2" null: 2>/dev/null; }
echo "== a second start brings the first window forward"
timeout 120 xvfb-run -a -s "-screen 0 1280x800x24" "$self" --second-start "$prefix/bin/ravlio"
same "$work/installed.png" "$work/build.png" || fail "the installed program's intro differs from the build's"
! same "$work/installed.png" "$work/bare.png" || fail "the intro looks the same without resources"

echo "== cpack -G DEB"
(cd "$build" && cpack -G DEB -B "$work/deb" >/dev/null)
deb="$(ls "$work"/deb/ravlio_*.deb)"
listing="$(dpkg-deb -c "$deb" | awk '{print $6}')"
for f in "${layout[@]}"; do
  grep -qx "./usr/$f" <<<"$listing" || fail "the package lacks /usr/$f"
done
! grep -qE 'tests_|bench_|firmware-service|make-firmware-packages' <<<"$listing" || fail "the package holds test or service programs"
echo "== lintian"
# No error and no warning; the informational notes are shown (see README for those that stay).
lintian --fail-on error,warning --display-info --pedantic "$deb" || fail "lintian finds fault with the package"
dpkg-deb -f "$deb" Description | awk 'length > 80 {exit 1}' || fail "the description has lines over 80 columns"
[[ "$(dpkg-deb -f "$deb" Version)" == "$version" ]] || fail "the package's version is not $version"
depends="$(dpkg-deb -f "$deb" Depends)"
for d in 7zip libqt6widgets6 libqt6network6 libqt6svg6; do
  grep -q "\b$d\b" <<<"$depends" || fail "the package does not depend on $d ($depends)"
done

if [[ $(id -u) -eq 0 ]] && ! dpkg-query -W ravlio >/dev/null 2>&1; then
  echo "== apt-get install and remove"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >/dev/null
  installed="$(dpkg -L ravlio)"
  grep -qx /usr/bin/ravlio <<<"$installed" || fail "dpkg -L ravlio lacks /usr/bin/ravlio"
  shoot "$work/system.png" /usr/bin/ravlio
  DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq ravlio >/dev/null
  [[ "$(dpkg-query -W -f='${Status}' ravlio 2>/dev/null || true)" != *"ok installed"* ]] || fail "ravlio is still installed"
  for f in "${layout[@]}" libexec/ravlio share/ravlio; do
    [[ ! -e "/usr/$f" ]] || fail "/usr/$f is left after removal"
  done
  same "$work/system.png" "$work/build.png" || fail "the packaged program's intro differs from the build's"
fi
echo "install-check: passed"
