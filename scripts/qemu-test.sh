#!/usr/bin/env bash
# The Linux hardware layer against a real kernel: boots Debian's own kernel (linux-image-amd64)
# in QEMU (software emulation, no KVM) from an initramfs made of Debian's busybox, the kernel's
# uhid and hid-generic modules, systemd-udevd and the project's binaries with the libraries they
# load. Inside, vfwu-uhid-tablet makes the "basic" scenario's tablet a real HID device through
# /dev/uhid; the updater finds it through udev and hidraw and updates its pen board through the
# real removal and arrival of the loader device.
#
# Usage: bash scripts/qemu-test.sh [BUILD_DIR]   (default build/default; built if needed)
# Exits non-zero, printing the guest's whole output, when any step fails.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build/default}"
cd "$here"

if [[ ! -x "$build/vfwu-hw-check" || ! -x "$build/vfwu-uhid-tablet" ]]; then
  cmake --preset default >/dev/null
  cmake --build --preset default --target vellum-fwupdater vfwu-hw-check vfwu-uhid-tablet
fi

. "$here/scripts/qemu-common.sh"
qemu_find_kernel
qemu_vendor_id "$build"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
root="$work/root"
qemu_make_root "$root" "$build/vellum-fwupdater" "$build/vfwu-hw-check" "$build/vfwu-uhid-tablet"
# In dependency order (hid first).
qemu_add_modules "$root" drivers/hid/hid drivers/hid/uhid drivers/hid/hid-generic

# The project's udev rules, as installed (with the build's vendor id).
cp "$build/udev/70-vellum-fwupdater.rules" "$root/etc/udev/rules.d/"
cp data/scenarios/basic/fw_loader.ini data/scenarios/basic/basic.pen "$root/data/"

{
  qemu_init_start "hid uhid hid-generic"
  cat <<'INIT'
/lib/systemd/systemd-udevd --daemon || fail "udevd"
step udevd-started
cd /tmp
vfwu-uhid-tablet --scenario basic 2>/tmp/tablet.log &
tablet=$!
n=0
while [ ! -e /dev/hidraw0 ] && [ $n -lt 100 ]; do sleep 0.1; n=$((n + 1)); done
[ -e /dev/hidraw0 ] || { cat /tmp/tablet.log; fail "no hidraw node"; }
udevadm settle -t 10
step hidraw-present
udevadm info -q property /dev/hidraw0 | grep -q '^TAGS=.*:uaccess:' || fail "udev rules: no uaccess tag on the tablet's hidraw node"
step uaccess-tag
echo "VFWU-LIST-BEFORE"
vfwu-hw-check list /data/fw_loader.ini || { cat /tmp/tablet.log; fail "list before"; }
echo "VFWU-JSON-BEFORE"
vellum-fwupdater --topology /data/fw_loader.ini list --json || { cat /tmp/tablet.log; fail "vellum-fwupdater list before"; }
echo
echo "VFWU-UPDATE"
mkdir -p /tmp/logs
kill -USR1 $tablet; sleep 0.5
read start _ < /proc/uptime
vellum-fwupdater --topology /data/fw_loader.ini --log-dir /tmp/logs update --type pen /data/basic.pen --yes --verify > /tmp/update.out 2>&1
rc=$?
read end _ < /proc/uptime
kill -USR1 $tablet; sleep 0.5
echo "VFWU-UPDATE-SECONDS $(awk "BEGIN {print $end - $start}")"
cat /tmp/update.out
echo "VFWU-LOG"
cat /tmp/logs/*.txt
[ $rc -eq 0 ] || { cat /tmp/tablet.log; fail "vellum-fwupdater update exit $rc"; }
echo "update succeeded"
udevadm settle -t 10
echo "VFWU-LIST-AFTER"
vfwu-hw-check list /data/fw_loader.ini || { cat /tmp/tablet.log; fail "list after"; }
echo "VFWU-JSON-AFTER"
vellum-fwupdater --topology /data/fw_loader.ini list --json || { cat /tmp/tablet.log; fail "vellum-fwupdater list after"; }
echo
echo "VFWU-TABLET-LOG"
cat /tmp/tablet.log
kill $tablet
echo "VFWU-DONE"
poweroff -f
INIT
} > "$root/init"
qemu_boot "$work" 240

failed=""
check() { grep -q -- "$1" "$work/guest.txt" || failed="${failed}  missing: $2"$'\n'; }
check "^VFWU-DONE" "the guest reached the end"
check "^VFWU-STEP uaccess-tag" "the uaccess tag of the udev rules on the tablet's node"
grep -q "^VFWU-FAIL" "$work/guest.txt" && failed="${failed}  $(grep '^VFWU-FAIL' "$work/guest.txt")"$'\n'
before=$(sed -n '/^VFWU-LIST-BEFORE/,/^VFWU-UPDATE/p' "$work/guest.txt")
after=$(sed -n '/^VFWU-LIST-AFTER/,/^VFWU-TABLET-LOG/p' "$work/guest.txt")
grep -q "vid=$vid pid=0100 version=0105 page=ff0d usage=0001 loader=0" <<<"$before" ||
  failed="${failed}  list before the update: no pen board $vid:0100 version 1.05"$'\n'
grep -q "vid=$vid pid=0100 version=0110 page=ff0d usage=0001 loader=0" <<<"$after" ||
  failed="${failed}  list after the update: no pen board $vid:0100 version 1.10"$'\n'
states=$(sed -n '/^VFWU-LOG/,/^VFWU-LIST-AFTER/p' "$work/guest.txt" | grep -o '^\[STATE\] [0-9]*' | awk '{print $2}' | tr '\n' ' ')
grep -q "2 3 4 5 $" <<<"$states" || grep -q "2 3 4 5" <<<"$states" ||
  failed="${failed}  states 2 3 4 5 in order (got: $states)"$'\n'
grep -q "^update succeeded" "$work/guest.txt" || failed="${failed}  update succeeded"$'\n'
jsonBefore=$(sed -n '/^VFWU-JSON-BEFORE/,/^VFWU-UPDATE/p' "$work/guest.txt")
jsonAfter=$(sed -n '/^VFWU-JSON-AFTER/,/^VFWU-TABLET-LOG/p' "$work/guest.txt")
grep -q '"productId": *256' <<<"$jsonBefore" && grep -q '"version": *"1.05"' <<<"$jsonBefore" ||
  failed="${failed}  vellum-fwupdater list --json before: no pen board 0100 with version 1.05"$'\n'
grep -q '"version": *"1.10"' <<<"$jsonAfter" ||
  failed="${failed}  vellum-fwupdater list --json after: no version 1.10"$'\n'
grep -q "Programmed flash verified" "$work/guest.txt" ||
  failed="${failed}  the read-back verification (--verify)"$'\n'
grep -q "Detach Message (/dev/hidraw[0-9]*#1)" "$work/guest.txt" ||
  failed="${failed}  a removal event for the second top-level collection (path #1)"$'\n'
grep -q "IMPORTANT Attach Message (/dev/hidraw" "$work/guest.txt" ||
  failed="${failed}  an arrival event from udev during the update"$'\n'

if [[ -n "$failed" || $qrc -ne 0 ]]; then
  echo "=== guest output ==="
  cat "$work/guest.txt"
  echo "=== qemu-test FAILED (qemu exit $qrc, ${secs}s) ==="
  printf '%s' "$failed"
  exit 1
fi
grep -E '^(device |\[STATE\]|update |LOG (IMPORTANT|Ignored)|VFWU-UPDATE-SECONDS)' "$work/guest.txt"
# Feature reports per second through uhid: the tablet tool's count before and after the update
# (the same figure qemu-usb-test.sh prints for usbhid).
counts=($(sed -n 's/^vfwu-uhid-tablet: feature reports answered: //p' "$work/guest.txt"))
seconds=$(sed -n 's/^VFWU-UPDATE-SECONDS //p' "$work/guest.txt")
if [[ ${#counts[@]} -ge 2 && -n "$seconds" ]]; then
  echo "qemu-test: pen update $(awk -v n=$(( counts[1] - counts[0] )) -v s="$seconds" \
    'BEGIN {printf "%d feature reports in %.2f s (%.0f/s)", n, s, n / s}')"
fi
echo "qemu-test: passed on kernel $kver in ${secs}s (boot to power-off)"
echo "real-kernel basic pen uhid: updated 1.05 -> 1.10 (verified)"
