#!/usr/bin/env bash
# The GTK window's unattended form end to end: vellum-fwupdater-gtk --simulate -path PATH -auto pen
# on a virtual display (Xvfb) must update the simulated basic tablet's pen board and exit 0.
# PATH is the pen board's interface path as the command-line program lists it, written the
# installers' way (without "\\?\", "&" as "+").
# Usage: bash scripts/gtk-check.sh [BUILD_DIR]   (default build/default, already built)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/default}"
for program in vellum-fwupdater vellum-fwupdater-gtk; do
    [ -x "$build/$program" ] || { echo "gtk-check: $build/$program not built" >&2; exit 1; }
done
logs="$(mktemp -d)"
trap 'rm -rf "$logs"' EXIT
# The first interface path the plain listing shows is the first tablet's pen board.
path="$("$build/vellum-fwupdater" --simulate list | sed -n 's/^ *\\\\?\\\(hid#.*\)$/\1/p' | head -n 1 | tr '&' '+')"
[ -n "$path" ] || { echo "gtk-check: no simulated pen board listed" >&2; exit 1; }
start=$(date +%s)
set +e
GTK_A11Y=none timeout 120 xvfb-run -a "$build/vellum-fwupdater-gtk" --simulate --log-dir "$logs" -path "$path" -auto pen
code=$?
set -e
echo "gtk-check: exit code $code after $(( $(date +%s) - start )) s"
log="$(ls "$logs"/VellumFWUpdater_*.txt 2>/dev/null | head -n 1)"
if [ "$code" -ne 0 ] || [ -z "$log" ] || ! grep -q '^\[STATE\] 5' "$log"; then
    echo "gtk-check: the unattended pen update did not succeed" >&2
    [ -n "$log" ] && tail -n 30 "$log" >&2
    exit 1
fi
echo "gtk-check: unattended pen update succeeded (states: $(grep -o '^\[STATE\] [0-9]' "$log" | cut -c9- | tr '\n' ' '))"
