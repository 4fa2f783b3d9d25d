#!/usr/bin/env bash
# The Windows Installer package under Wine, in a fresh prefix on a virtual display: msiexec
# installs it unattended (per machine); the program, its topology file, the scenarios, the Start
# menu entry and the entry of installed programs are there; the installed program runs the
# unattended simulated pen update (message 2105, exit code 0); msiexec removes it and none of it
# is left.
#   bash scripts/msi-check.sh [BUILD_DIR]   (default build/mingw: its msi target and vfwu_dismiss.exe)
set -euo pipefail
cd "$(dirname "$0")/.."
version=$(sed -n 's/^project(VellumFWUpdater VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
build="$(realpath "${1:-build/mingw}")"
msi="$build/VellumFWUpdater-$version-x64.msi"
dismiss="$build/Win/vfwu_dismiss.exe"
for f in "$msi" "$dismiss"; do
  [[ -f "$f" ]] || { echo "msi-check: $f is missing (cmake --build --preset mingw --target msi vfwu_dismiss)" >&2; exit 1; }
done
source scripts/wine-prefix.sh
wine_new_prefix msi
inner=$(mktemp /tmp/vfwu-msi-run.XXXXXX.sh)
wine_temp_files+=("$inner")

# The simulated pen interface as an installer passes it (as in scripts/wine-check.sh).
simpath='hid#vid_ffff+pid_0100#8+sim0001+0+0000#{4d1e55b2-f16f-11cf-88cb-001111000030}'
cat >"$inner" <<INNER
set -u
wine="$wine"
msi=\$("\$wine" winepath -w "$msi" 2>/dev/null | tr -d '\r')
dir="\$WINEPREFIX/drive_c/Program Files/Vellum Firmware Update Utility"
# The package asks for the Start menu of all users (ALLUSERS=1); Wine's msiexec puts shortcuts in
# the user's Start menu whatever the context: either place counts.
entry() { (cd "\$WINEPREFIX/drive_c" && find ProgramData users -path '*/Start Menu/Programs/Vellum Firmware Update Utility.lnk' 2>/dev/null); }
uninstall='HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall'
ok=0
fail() { echo "msi-check: FAILED: \$*" >&2; ok=1; }
arp() { "\$wine" reg query "\$uninstall" /s 2>/dev/null | tr -d '\r' | grep -c "DisplayName.*Vellum Firmware Update Utility"; }
# Installed per machine: the product is registered under HKLM, not under the user's key.
machine() { "\$wine" reg query 'HKLM\Software\Classes\Installer\Products' /s 2>/dev/null | tr -d '\r' |
  grep -c "ProductName.*Vellum Firmware Update Utility"; }

t0=\$SECONDS
"\$wine" msiexec /i "\$msi" /qn; rc=\$?
echo "msi-check: msiexec /i \$(basename "$msi") /qn -> exit \$rc in \$((SECONDS - t0)) s"
[[ \$rc == 0 ]] || fail "msiexec /i ended with \$rc"
for f in VellumFWUpdater.exe fw_loader.ini scenarios/basic/fw_loader.ini scenarios/basic/basic.pen \
         scenarios/protocol1/protocol1.airoflash scenarios/two-tablets/basic.touch; do
  [[ -f "\$dir/\$f" ]] || fail "not installed: Program Files/Vellum Firmware Update Utility/\$f"
done
[[ -n "\$(entry)" ]] || fail "no Start menu entry"
[[ \$(arp) == 1 ]] || fail "no entry in the installed programs (Uninstall key)"
[[ \$(machine) == 1 ]] || fail "not registered per machine (HKLM\\Software\\Classes\\Installer\\Products)"
echo "msi-check: installed per machine: \$(cd "\$dir" && find . -type f | wc -l) files in C:/Program Files/Vellum Firmware Update Utility, Start menu entry \$(entry), installed-programs entry"

# The installed program, started in its folder as the Start menu entry starts it.
t0=\$SECONDS
(cd "\$dir" && "\$wine" ./VellumFWUpdater.exe -simulate -path '$simpath' -auto pen) & pid=\$!
shown=\$("\$wine" "$dismiss" "Vellum Firmware Update Utility" 120 | tr -d '\r')
wait \$pid; rc=\$?
echo "msi-check: installed VellumFWUpdater.exe -simulate -path ... -auto pen -> exit \$rc, message: \$shown (\$((SECONDS - t0)) s)"
[[ \$rc == 0 && "\$shown" == "Firmware was successfully updated." ]] || fail "the unattended simulated update"

t0=\$SECONDS
"\$wine" msiexec /x "\$msi" /qn; rc=\$?
echo "msi-check: msiexec /x /qn -> exit \$rc in \$((SECONDS - t0)) s"
[[ \$rc == 0 ]] || fail "msiexec /x ended with \$rc"
[[ ! -e "\$dir" ]] || fail "left after removal: \$(cd "\$dir" && find . | tr '\n' ' ')"
[[ -z "\$(entry)" ]] || fail "the Start menu entry is left"
[[ \$(arp) == 0 ]] || fail "the installed-programs entry is left"
[[ \$(machine) == 0 ]] || fail "the product registration is left"
"\$wine" reg query 'HKLM\\Software\\Vellum' >/dev/null 2>&1 && fail "the registry key HKLM\\Software\\Vellum is left"
exit \$ok
INNER
t0=$SECONDS
if timeout 600 xvfb-run -a bash "$inner"; then
  echo "msi-check: passed in $((SECONDS - t0)) s"
else
  echo "msi-check: FAILED" >&2
  exit 1
fi
