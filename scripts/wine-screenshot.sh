#!/usr/bin/env bash
# Screenshots of VellumFWUpdater.exe under Wine on a virtual display, on the simulated tablet:
#   OUT_DIR/dialog.png       the interactive dialog (-simulate)
#   OUT_DIR/status-strip.png the unattended status strip while the update runs
#
#   bash scripts/wine-screenshot.sh [OUT_DIR] [BUILD_DIR]   (defaults: build/screenshots, build/mingw)
# Needs the mingw preset built, wine, xvfb and imagemagick (scripts/packages.txt).
set -euo pipefail
cd "$(dirname "$0")/.."
out="$(realpath -m "${1:-build/screenshots}")"
build="${2:-build/mingw}"
mkdir -p "$out"
# A UTF-8 locale: Wine names files in the locale's character set (the tests use non-ASCII names).
export WINEDEBUG=-all LC_ALL=C.UTF-8
WINEPREFIX=$(mktemp -d /tmp/vfwu-wine.XXXXXX)
export WINEPREFIX
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$WINEPREFIX"' EXIT
wine wineboot -i >/dev/null 2>&1 || true
wineserver -w || true

simpath='hid#vid_ffff+pid_0100#8+sim0001+0+0000#{4d1e55b2-f16f-11cf-88cb-001111000030}'
inner=$(mktemp /tmp/vfwu-shot.XXXXXX.sh)
cat >"$inner" <<INNER
set -u
cd "$build/Win"
# A Wine virtual desktop draws the window frames and captions (the display has no window manager).
wine explorer /desktop=vfwu,800x700 ./VellumFWUpdater.exe -simulate >/dev/null 2>&1 &
sleep 6
import -window root "$out/dialog.png"
wineserver -k >/dev/null 2>&1
wait
wine explorer /desktop=vfwu,800x700 ./VellumFWUpdater.exe -simulate -path '$simpath' -auto pen >/dev/null 2>&1 &
sleep 8
import -window root "$out/status-strip.png"
wineserver -k >/dev/null 2>&1
wait
INNER
xvfb-run -a -s "-screen 0 800x700x24" bash "$inner"
rm -f "$inner"
echo "screenshots in $out"
