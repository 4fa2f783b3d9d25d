#!/usr/bin/env bash
# Runs the Windows build under Wine: the test programs of the cross build, then VellumFWUpdater.exe on a
# virtual display, once without a tablet (must show text 2200 and end with 1) and once on the
# simulated tablet, unattended (must show text 2105 and end with 0). Message boxes are answered
# by build/mingw/Win/vfwu_dismiss.exe, which also prints their text for the checks.
#
#   bash scripts/wine-check.sh [BUILD_DIR]     (default build/mingw; needs the mingw preset built)
set -euo pipefail
cd "$(dirname "$0")/.."
build="$(realpath "${1:-build/mingw}")"
win="$build/Win"
for f in "$win/VellumFWUpdater.exe" "$win/vfwu_dismiss.exe"; do
  [[ -f "$f" ]] || { echo "wine-check: $f is missing (cmake --build --preset mingw)" >&2; exit 1; }
done
wine=$(command -v wine64 || true)
[[ -n "$wine" ]] || wine=$(command -v wine)

# A UTF-8 locale: Wine names files in the locale's character set (the tests use non-ASCII names).
export WINEDEBUG=-all LC_ALL=C.UTF-8
WINEPREFIX=$(mktemp -d /tmp/vfwu-wine.XXXXXX)
export WINEPREFIX
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT

t0=$SECONDS
timeout 180 "$wine" wineboot -i >/dev/null 2>&1 || true
# The prefix's wineserver and desktop process were started without a display: let them end, so
# that the runs on the virtual display start their own.
timeout 60 wineserver -w || true
echo "wine-check: prefix created in $((SECONDS - t0)) s"

status=0

# --- the program on a virtual display ------------------------------------------------------------
# The simulated pen interface as an installer passes it: no \\?\ prefix, "&" written as "+".
simpath='hid#vid_ffff+pid_0100#8+sim0001+0+0000#{4d1e55b2-f16f-11cf-88cb-001111000030}'
inner=$(mktemp /tmp/vfwu-wine-run.XXXXXX.sh)
cat >"$inner" <<INNER
set -u
cd "$win"
run() { # expected-code expected-text args...
  local code=\$1 text=\$2; shift 2
  "$wine" ./VellumFWUpdater.exe "\$@" & local pid=\$!
  local shown
  shown=\$("$wine" ./vfwu_dismiss.exe "Vellum Firmware Update Utility" 120 | tr -d '\r')
  wait \$pid; local rc=\$?
  echo "wine-check: VellumFWUpdater.exe \$* -> exit \$rc, message: \$shown"
  [[ \$rc == "\$code" && "\$shown" == "\$text" ]]
}
ok=0
# The test programs (the Windows ones open windows too); they find the sources' data files
# through the tree's absolute path, which Wine maps to its drive Z:.
t0=\$SECONDS
count=0
for t in "$build"/tests/test_*.exe "$build"/tests/win/test_*.exe; do
  [[ -f "\$t" ]] || continue
  name=\$(basename "\$t")
  count=\$((count + 1))
  if timeout 300 "$wine" "\$t" --gtest_brief=1 >"/tmp/vfwu-\$name.log" 2>&1; then
    echo "wine-check: \$name passed (\$(grep -aEo '[0-9]+ tests? from [0-9]+ test suites? ran' "/tmp/vfwu-\$name.log" | head -1))"
  else
    echo "wine-check: \$name FAILED" >&2
    grep -av fixme "/tmp/vfwu-\$name.log" >&2
    ok=1
  fi
done
echo "wine-check: \$count test programs in \$((SECONDS - t0)) s"
t0=\$SECONDS
run 1 "Error: No supported tablet is connected.  Please connect a tablet." || ok=1
run 0 "Firmware was successfully updated." -simulate -path '$simpath' -auto pen || ok=1
# One copy at a time: a second start while the dialog is open ends at once with -1 (255 as
# the shell sees it); the first then closes by its close command with 2.
"$wine" ./VellumFWUpdater.exe -simulate & first=\$!
if "$wine" ./vfwu_dismiss.exe --press 0 "Vellum Firmware Update Utility 2.22" 120 >/dev/null; then
  "$wine" ./VellumFWUpdater.exe -simulate; second=\$?
  "$wine" ./vfwu_dismiss.exe --press 2 "Vellum Firmware Update Utility 2.22" 30 >/dev/null
  wait \$first; rc=\$?
  echo "wine-check: second copy -> exit \$second; first copy closed -> exit \$rc"
  [[ \$second == 255 && \$rc == 2 ]] || ok=1
else
  echo "wine-check: the interactive dialog did not appear" >&2
  ok=1
fi
echo "wine-check: program runs in \$((SECONDS - t0)) s"
exit \$ok
INNER
t0=$SECONDS
if timeout 900 xvfb-run -a bash "$inner"; then
  echo "wine-check: passed in $((SECONDS - t0)) s"
else
  echo "wine-check: FAILED" >&2
  status=1
fi
rm -f "$inner"
exit $status
