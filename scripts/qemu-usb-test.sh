#!/usr/bin/env bash
# The Linux hardware layer against a real kernel's USB stack: boots Debian's own kernel in QEMU
# (scripts/qemu-common.sh) with dummy_hcd, libcomposite, FunctionFS and usbhid. Inside,
# vfwu-usb-gadget makes the "basic" scenario's pen board a real USB device (a gadget on
# dummy_hcd's controller, bound by usbhid), so every feature report is a real control transfer;
# the updater finds it through udev and hidraw and updates it through the device's real
# disconnection and its return with the loader's descriptors.
#
# Usage: bash scripts/qemu-usb-test.sh [BUILD_DIR]   (default build/default; built if needed)
# Ends with one line per board and path; exits non-zero, printing the guest's whole output,
# when any of them is missing.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build/default}"
cd "$here"

if [[ ! -x "$build/vellum-fwupdater" || ! -x "$build/vfwu-usb-gadget" ]]; then
  cmake --preset default >/dev/null
  cmake --build --preset default --target vellum-fwupdater vfwu-usb-gadget
fi

. "$here/scripts/qemu-common.sh"
qemu_find_kernel
qemu_vendor_id "$build"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
root="$work/root"
qemu_make_root "$root" "$build/vellum-fwupdater" "$build/vfwu-usb-gadget"
mkdir -p "$root/sys/kernel/config"
# In dependency order; the init script loads them in the same order.
modules=(drivers/usb/common/usb-common drivers/usb/core/usbcore drivers/usb/gadget/udc/udc-core
  drivers/usb/gadget/udc/dummy_hcd fs/configfs/configfs drivers/usb/gadget/libcomposite
  drivers/usb/gadget/function/usb_f_fs drivers/hid/hid drivers/hid/usbhid/usbhid drivers/hid/hid-generic)
qemu_add_modules "$root" "${modules[@]}"
names=""
for m in "${modules[@]}"; do names="$names $(basename "$m")"; done

cp "$build/udev/70-vellum-fwupdater.rules" "$root/etc/udev/rules.d/"
cp data/scenarios/basic/basic.pen "$root/data/"
# The tablet is one composite USB device here, and a USB device has one product id for all its
# interfaces: the touch board's I2C-bridge interface carries the pen board's (0100).
sed 's/"pid": "0101"/"pid": "0100"/' data/scenarios/basic/fw_loader.ini > "$root/data/fw_loader.ini"
grep -q '"pid": "0101"' "$root/data/fw_loader.ini" && { echo "qemu-usb-test: touch product id left in the topology" >&2; exit 1; }

{
  echo '#!/bin/busybox sh'
  echo "modules=\"$names\""
  cat <<'INIT'
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
mount -t tmpfs run /run
mount -t tmpfs tmp /tmp
echo 1 > /proc/sys/kernel/printk
step() { echo "VFWU-STEP $*"; }
fail() { echo "VFWU-FAIL $*"; cat /tmp/gadget.log 2>/dev/null; dmesg | tail -40; poweroff -f; }
for m in $modules; do insmod /modules/$m.ko || fail "insmod $m"; done
mount -t configfs none /sys/kernel/config || fail "mount configfs"
/lib/systemd/systemd-udevd --daemon || fail "udevd"
step udevd-started
cd /tmp
vfwu-usb-gadget --scenario basic --board pen --board touch 2>/tmp/gadget.log &
gadget=$!
n=0
while [ ! -e /dev/hidraw1 ] && [ $n -lt 200 ]; do sleep 0.1; n=$((n + 1)); done
[ -e /dev/hidraw1 ] || fail "no hidraw nodes for the pen and touch interfaces"
udevadm settle -t 10
step hidraw-present
echo "VFWU-USB-TREE"
for d in /sys/bus/usb/devices/*; do
  [ -f $d/idVendor ] && echo "usb $(basename $d) $(cat $d/idVendor):$(cat $d/idProduct) bcdDevice=$(cat $d/bcdDevice)"
done
for h in /sys/class/hidraw/hidraw*; do echo "$(basename $h) -> $(readlink -f $h/device)"; done
echo "VFWU-JSON-BEFORE"
vellum-fwupdater --topology /data/fw_loader.ini list --json || fail "vellum-fwupdater list before"
echo
echo "VFWU-UPDATE"
mkdir -p /tmp/logs
read start _ < /proc/uptime
vellum-fwupdater --topology /data/fw_loader.ini --log-dir /tmp/logs update --type pen /data/basic.pen --yes --verify > /tmp/update.out 2>&1
rc=$?
read end _ < /proc/uptime
echo "VFWU-UPDATE-SECONDS $(awk "BEGIN {print $end - $start}")"
cat /tmp/update.out
echo "VFWU-LOG"
cat /tmp/logs/*.txt
[ $rc -eq 0 ] || fail "vellum-fwupdater update exit $rc"
echo "update succeeded"
udevadm settle -t 10
echo "VFWU-JSON-AFTER"
vellum-fwupdater --topology /data/fw_loader.ini list --json || fail "vellum-fwupdater list after"
echo
echo "VFWU-GADGET-LOG"
cat /tmp/gadget.log
kill $gadget
echo "VFWU-DONE"
poweroff -f
INIT
} > "$root/init"

qemu_boot "$work" 420
# VFWU_GUEST_LOG=FILE keeps the guest's whole console output.
[[ -n "${VFWU_GUEST_LOG:-}" ]] && cp "$work/guest.txt" "$VFWU_GUEST_LOG"

failed=""
check() { grep -q -- "$1" "$work/guest.txt" || failed="${failed}  missing: $2"$'\n'; }
check "^VFWU-DONE" "the guest reached the end"
grep -q "^VFWU-FAIL" "$work/guest.txt" && failed="${failed}  $(grep '^VFWU-FAIL' "$work/guest.txt")"$'\n'
jsonBefore=$(sed -n '/^VFWU-JSON-BEFORE/,/^VFWU-UPDATE/p' "$work/guest.txt")
jsonAfter=$(sed -n '/^VFWU-JSON-AFTER/,/^VFWU-GADGET-LOG/p' "$work/guest.txt")
tree=$(sed -n '/^VFWU-USB-TREE/,/^VFWU-JSON-BEFORE/p' "$work/guest.txt")
pen="basic pen usbhid"
ok=1
touch="basic pen+touch usbhid"
grouped=1
grep -q "^hidraw. -> .*/usb[0-9]*/[0-9-]*/[0-9-]*:1.1/" <<<"$tree" ||
  { grouped=0; failed="${failed}  $touch: no hidraw node on the composite device's second interface"$'\n'; }
[[ $(grep -o '"name"' <<<"$jsonBefore" | wc -l) -eq 1 ]] && grep -q '"touch": *{' <<<"$jsonBefore" && grep -q '"pen": *{' <<<"$jsonBefore" ||
  { grouped=0; failed="${failed}  $touch: list --json before: not one tablet with a pen and a touch board"$'\n'; }
grep -q "^usb .* $vid:0100 bcdDevice=0105" <<<"$tree" && grep -q "^hidraw. -> .*/usb[0-9]*/.*:1.0/" <<<"$tree" ||
  { ok=0; failed="${failed}  $pen: no USB device $vid:0100 bcdDevice 0105 with a hidraw node below it"$'\n'; }
grep -Eq '"pen": *\{[^}]*"productId": *256[^}]*"version": *"1\.05"' <<<"$jsonBefore" ||
  { ok=0; failed="${failed}  $pen: list --json before: no pen board 0100 with version 1.05"$'\n'; }
grep -Eq '"pen": *\{[^}]*"version": *"1\.10"' <<<"$jsonAfter" ||
  { ok=0; failed="${failed}  $pen: list --json after: no version 1.10"$'\n'; }
grep -q "^update succeeded" "$work/guest.txt" || { ok=0; failed="${failed}  $pen: update succeeded"$'\n'; }
grep -q "Programmed flash verified" "$work/guest.txt" ||
  { ok=0; failed="${failed}  $pen: the read-back verification (--verify)"$'\n'; }
grep -q "unbound $vid:0100" "$work/guest.txt" && grep -q "bound $vid:0094" "$work/guest.txt" ||
  { ok=0; failed="${failed}  $pen: the gadget's disconnection and return as the loader"$'\n'; }
grep -q "IMPORTANT Attach Message (/dev/hidraw" "$work/guest.txt" ||
  { ok=0; failed="${failed}  $pen: an arrival event from udev during the update"$'\n'; }

if [[ -n "$failed" || $qrc -ne 0 ]]; then
  echo "=== guest output ==="
  cat "$work/guest.txt"
  echo "=== qemu-usb-test FAILED (qemu exit $qrc, ${secs}s) ==="
  printf '%s' "$failed"
  exit 1
fi
grep -E '^(usb |hidraw|VFWU-UPDATE-SECONDS|\[STATE\]|update |vfwu-usb-gadget: (un)?bound)' "$work/guest.txt"
echo "qemu-usb-test: kernel $kver, ${secs}s boot to power-off"
[[ $grouped -eq 1 ]] && echo "real-kernel $touch: one tablet by the USB device tree (list --json)"
[[ $ok -eq 1 ]] && echo "real-kernel $pen: updated 1.05 -> 1.10 (verified)"
