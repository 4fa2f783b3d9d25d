#!/usr/bin/env bash
# Runs the Windows build under Wine: the test programs of the cross build, then VellumFWUpdater.exe on a
# virtual display, once without a tablet (must show text 2200 and end with 1) and once on the
# simulated tablet, unattended, asked to close and to end the session while it waits for the
# loader and while it programs (must refuse, show text 2105, end with 0 and leave a whole log).
# Message boxes are answered by build/mingw/Win/vfwu_dismiss.exe, which also prints their text
# and sends the close and end-of-session messages for the checks.
#
#   bash scripts/wine-check.sh [BUILD_DIR]     (default build/mingw; needs the mingw preset built)
set -euo pipefail
cd "$(dirname "$0")/.."
build="$(realpath "${1:-build/mingw}")"
win="$build/Win"
for f in "$win/VellumFWUpdater.exe" "$win/vfwu_dismiss.exe"; do
  [[ -f "$f" ]] || { echo "wine-check: $f is missing (cmake --build --preset mingw)" >&2; exit 1; }
done
source scripts/wine-prefix.sh
wine_new_prefix wine

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
title="Vellum Firmware Update Utility 2.22"
# The program's temporary folder, where its log files go.
temp=\$(find "$WINEPREFIX/drive_c/users" -maxdepth 4 -type d -name Temp | head -1)
# The test programs (the Windows ones open windows too); they find the sources' data files
# through the tree's absolute path, which Wine maps to its drive Z:.
t0=\$SECONDS
count=0
for t in "$build"/tests/test_*.exe "$build"/tests/win/test_*.exe; do
  [[ -f "\$t" ]] || continue
  name=\$(basename "\$t")
  count=\$((count + 1))
  # A crash under Wine's debugger may still end with 0: a run passed only if it got to its summary.
  if timeout 300 "$wine" "\$t" --gtest_brief=1 >"/tmp/vfwu-\$name.log" 2>&1 &&
    grep -aq '^\[  PASSED  \]' "/tmp/vfwu-\$name.log"; then
    echo "wine-check: \$name passed (\$(grep -aEo '[0-9]+ tests? from [0-9]+ test suites? ran' "/tmp/vfwu-\$name.log" | head -1))"
  else
    echo "wine-check: \$name FAILED" >&2
    grep -av fixme "/tmp/vfwu-\$name.log" >&2
    ok=1
  fi
done
echo "wine-check: \$count test programs in \$((SECONDS - t0)) s"
# Threads that end, again and again: the dialog's tests start a worker per update. A fault at
# thread exit (a thread_local with a destructor crashed this build's threads at exit, once in
# some 30 to 130 runs) shows only over many runs; every run must pass.
t0=\$SECONDS
repeats=200
timeout 300 "$wine" "$build/tests/test_dialog.exe" --gtest_brief=1 --gtest_repeat=\$repeats >/tmp/vfwu-repeat.log 2>&1
passed=\$(grep -ac '^\[  PASSED  \]' /tmp/vfwu-repeat.log)
echo "wine-check: test_dialog.exe repeated: \$passed of \$repeats runs passed in \$((SECONDS - t0)) s"
if [[ \$passed != "\$repeats" ]]; then
  grep -av fixme /tmp/vfwu-repeat.log | grep -av -E '^\[  PASSED|tests? from' | head -40 >&2
  ok=1
fi
t0=\$SECONDS
run 1 "Error: No supported tablet is connected.  Please connect a tablet." || ok=1
# The unattended update on the simulated tablet, and while it is busy (waiting for the loader,
# then programming) the close box, Escape and the end of the session: all refused, so the update
# runs on and the program ends with 0 after text 2105. The log file is whole: every line ends in
# CR LF (the device description inside one message too), and it ends with the run's end (the
# success state, then the pen's checksums and the empty line after them).
[[ -n "\$temp" ]] && rm -f "\$temp"/VellumFWUpdater_*.txt
t1=\$SECONDS
"$wine" ./VellumFWUpdater.exe -simulate -path '$simpath' -auto pen & pid=\$!
shown=\$("$wine" ./vfwu_dismiss.exe --busy "\$title" "Waiting for Loader Mode" --busy "\$title" "Programming" \\
  "Vellum Firmware Update Utility" 120 | tr -d '\r')
wait \$pid; rc=\$?
echo "wine-check: unattended update closed while busy -> exit \$rc in \$((SECONDS - t1)) s, shown:"
echo "\$shown" | sed 's/^/  /'
expected=\$(printf '%s\n' 'busy "Waiting for Loader Mode": end of session refused' \\
  'busy "Programming": end of session refused' 'Firmware was successfully updated.')
[[ \$rc == 0 && "\$shown" == "\$expected" ]] || { echo "wine-check: closing while busy was not refused" >&2; ok=1; }
logs=("\${temp:-/nonexistent}"/VellumFWUpdater_*.txt)
if [[ \${#logs[@]} == 1 && -f "\${logs[0]}" ]]; then
  log=\${logs[0]}
  feeds=\$(tr -cd '\n' <"\$log" | wc -c)
  crlf=\$(grep -c \$'\r\$' "\$log")
  crcrlf=\$(grep -c \$'\r\r\$' "\$log")
  described=\$(grep -c \$'^\tSectors = [0-9]*\r\$' "\$log")
  mapfile -t last < <(tail -n 3 "\$log" | tr -d '\r')
  echo "wine-check: log \$(basename "\$log"): \$feeds lines, \$crlf end in CR LF, \$crcrlf in CR CR LF, \$described description lines with CR LF; last lines:"
  printf '  | %s\n' "\${last[@]}"
  [[ \$feeds -gt 0 && \$crlf == \$feeds && \$crcrlf == 0 && \$described -gt 0 ]] || { echo "wine-check: log lines do not all end in CR LF" >&2; ok=1; }
  penline='^pen: old checksum: 0x[0-9a-f]{8}; new checksum: 0x[0-9a-f]{8}\$'
  [[ \${#last[@]} == 3 && "\${last[0]}" == "[STATE] 5" && "\${last[1]}" =~ \$penline && -z "\${last[2]}" ]] ||
    { echo "wine-check: the log does not end with the run's end" >&2; ok=1; }
else
  echo "wine-check: expected one log file in \$temp, found: \${logs[*]}" >&2
  ok=1
fi
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
