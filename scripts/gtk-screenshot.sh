#!/usr/bin/env bash
# Screenshots of the GTK window (vellum-fwupdater-gtk) before and after a simulated pen update,
# saved in build/screenshots/ (gtk-before.png, gtk-after.png). The window test draws them on a
# virtual display (Xvfb) with the window's own renderer, so no window-manager frame appears.
# Usage: bash scripts/gtk-screenshot.sh [BUILD_DIR]   (default build/default, already built)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/default}"
test_program="$build/Linux/Gtk/test_gtk"
if [ ! -x "$test_program" ]; then
    echo "gtk-screenshot: $test_program not built (cmake --build $build --target test_gtk)" >&2
    exit 1
fi
out="$PWD/build/screenshots"
mkdir -p "$out"
rm -f "$out/gtk-before.png" "$out/gtk-after.png"
# GTK_A11Y=none: no accessibility bus on a bare virtual display.
VFWU_GTK_SCREENSHOTS="$out" GTK_A11Y=none xvfb-run -a -s "-screen 0 1280x1024x24" \
    "$test_program" --gtest_filter='GtkDialogView.InteractivePenUpdateThroughTheMainLoop' --gtest_brief=1
for shot in gtk-before.png gtk-after.png; do
    [ -s "$out/$shot" ] || { echo "gtk-screenshot: $shot was not saved" >&2; exit 1; }
done
echo "gtk-screenshot: $out/gtk-before.png $out/gtk-after.png"
