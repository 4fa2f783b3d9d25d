#!/usr/bin/env bash
# The Linux hardware layer against a real kernel's USB stack: boots Debian's own kernel in QEMU
# (scripts/qemu-common.sh) with dummy_hcd, libcomposite, FunctionFS and usbhid. Inside,
# vfwu-usb-gadget makes the "basic" scenario's tablet a real composite USB device (a gadget on
# dummy_hcd's controller): the pen board's HID interface and the touch board's I2C-bridge HID
# interface, both bound by usbhid, so every feature report is a real control transfer. The
# updater lists both boards as one tablet by the USB device tree, updates the pen board through
# the device's real disconnection and its return with the loader's descriptors, then the touch
# board through the bridge.
#
# Then the "bulk" scenario's pen board, whose normal interface is of the bulk loader's class: the
# gadget becomes a device with one vendor-class interface, which the updater finds by udev and
# drives through libusb and usbfs (the enter-loader and liveness requests are real control
# transfers); the board comes back over usbhid as its HID loader, is programmed, and returns as
# the vendor-class device with the new version.
#
# Usage: bash scripts/qemu-usb-test.sh [BUILD_DIR]   (default build/default; built if needed)
# Ends with one line per board and path; exits non-zero, printing the guest's whole output,
# when any of them is missing.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build/default}"
cd "$here"

if [[ ! -x "$build/vellum-fwupdater" || ! -x "$build/vfwu-usb-gadget" || ! -x "$build/vfwu-hw-check" ]]; then
  cmake --preset default >/dev/null
  cmake --build --preset default --target vellum-fwupdater vfwu-usb-gadget vfwu-hw-check
fi

. "$here/scripts/qemu-common.sh"
qemu_find_kernel
qemu_vendor_id "$build"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
root="$work/root"
qemu_make_root "$root" "$build/vellum-fwupdater" "$build/vfwu-usb-gadget" "$build/vfwu-hw-check"
mkdir -p "$root/sys/kernel/config"
# In dependency order; the init script loads them in the same order.
modules=(drivers/usb/common/usb-common drivers/usb/core/usbcore drivers/usb/gadget/udc/udc-core
  drivers/usb/gadget/udc/dummy_hcd fs/configfs/configfs drivers/usb/gadget/libcomposite
  drivers/usb/gadget/function/usb_f_fs drivers/hid/hid drivers/hid/usbhid/usbhid drivers/hid/hid-generic)
qemu_add_modules "$root" "${modules[@]}"
names=""
for m in "${modules[@]}"; do names="$names $(basename "$m")"; done

cp "$build/udev/70-vellum-fwupdater.rules" "$root/etc/udev/rules.d/"
cp data/scenarios/basic/basic.pen data/scenarios/basic/basic.touch data/scenarios/bulk/bulk.pen "$root/data/"
cp data/scenarios/bulk/fw_loader.ini "$root/data/bulk_fw_loader.ini"
# The tablet is one composite USB device here, and a USB device has one product id for all its
# interfaces: the touch board's I2C-bridge interface carries the pen board's (0100).
sed 's/"pid": "0101"/"pid": "0100"/' data/scenarios/basic/fw_loader.ini > "$root/data/fw_loader.ini"
grep -q '"pid": "0101"' "$root/data/fw_loader.ini" && { echo "qemu-usb-test: touch product id left in the topology" >&2; exit 1; }

{
  qemu_init_start "$names" "cat /tmp/gadget.log /tmp/gadget-bulk.log 2>/dev/null; dmesg | tail -40"
  cat <<'INIT'
mount -t configfs none /sys/kernel/config || fail "mount configfs"
# One update between two of the gadget's report counts: prints MARKER and its seconds, the
# program's output goes to OUT; the program's exit code is the result.
mkdir -p /tmp/logs /tmp/logs-touch /tmp/logs-bulk
timedUpdate() { # MARKER OUT vellum-fwupdater-ARGUMENTS...
  marker=$1 out=$2
  shift 2
  kill -USR1 $gadget; sleep 0.5
  read start _ < /proc/uptime
  vellum-fwupdater "$@" > $out 2>&1
  code=$?
  read end _ < /proc/uptime
  kill -USR1 $gadget; sleep 0.5
  echo "$marker $(awk "BEGIN {print $end - $start}")"
  return $code
}
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
timedUpdate VFWU-UPDATE-SECONDS /tmp/update.out --topology /data/fw_loader.ini --log-dir /tmp/logs update --type pen /data/basic.pen --yes --verify
rc=$?
cat /tmp/update.out
echo "VFWU-LOG"
cat /tmp/logs/*.txt
[ $rc -eq 0 ] || fail "vellum-fwupdater update exit $rc"
echo "update succeeded"
udevadm settle -t 10
echo "VFWU-JSON-AFTER"
vellum-fwupdater --topology /data/fw_loader.ini list --json || fail "vellum-fwupdater list after"
echo
echo "VFWU-TOUCH-UPDATE"
timedUpdate VFWU-TOUCH-SECONDS /tmp/touch.out --topology /data/fw_loader.ini --log-dir /tmp/logs-touch update --type touch /data/basic.touch --yes --verify
echo "touch update exit $?"
cat /tmp/touch.out
udevadm settle -t 10
echo "VFWU-JSON-TOUCH"
vellum-fwupdater --topology /data/fw_loader.ini list --json
echo
echo "VFWU-GADGET-LOG"
cat /tmp/gadget.log
kill $gadget
wait $gadget
# The bulk scenario: the same gadget directory and FunctionFS mount, other descriptors.
vendorInterface() {
  for i in /sys/bus/usb/devices/*:1.0; do
    [ "$(cat $i/bInterfaceClass 2>/dev/null)" = ff ] && echo $i
  done
}
waitVendorInterface() {
  n=0
  while [ -z "$(vendorInterface)" ] && [ $n -lt 200 ]; do sleep 0.1; n=$((n + 1)); done
  [ -n "$(vendorInterface)" ] && udevadm settle -t 10
}
read bulkStart _ < /proc/uptime
vfwu-usb-gadget --scenario bulk --board pen 2>/tmp/gadget-bulk.log &
gadget=$!
waitVendorInterface || fail "no vendor-class USB interface for the bulk pen board"
step vendor-interface-present
echo "VFWU-BULK-TREE"
for d in /sys/bus/usb/devices/*; do
  [ -f $d/idVendor ] && echo "usb $(basename $d) $(cat $d/idVendor):$(cat $d/idProduct) bcdDevice=$(cat $d/bcdDevice)"
  [ -f $d/bInterfaceClass ] && echo "usb-interface $(basename $d) class=$(cat $d/bInterfaceClass)"
done
ls /dev/bus/usb/*
echo "VFWU-BULK-JSON-BEFORE"
vellum-fwupdater --topology /data/bulk_fw_loader.ini list --json || fail "vellum-fwupdater list (bulk) before"
echo
echo "VFWU-BULK-UPDATE"
timedUpdate VFWU-BULK-UPDATE-SECONDS /tmp/bulk.out --topology /data/bulk_fw_loader.ini --log-dir /tmp/logs-bulk update --type pen /data/bulk.pen --yes --verify
echo "bulk update exit $?"
cat /tmp/bulk.out
echo "VFWU-BULK-LOG"
cat /tmp/logs-bulk/*.txt
waitVendorInterface || echo "no vendor-class USB interface after the bulk update"
echo "VFWU-BULK-JSON-AFTER"
vellum-fwupdater --topology /data/bulk_fw_loader.ini list --json
echo
echo "VFWU-BULK-REQUESTS"
vfwu-hw-check bulk-requests /data/bulk_fw_loader.ini
echo "VFWU-BULK-GADGET-LOG"
cat /tmp/gadget-bulk.log
kill $gadget
wait $gadget
read bulkEnd _ < /proc/uptime
echo "VFWU-BULK-PART-SECONDS $(awk "BEGIN {print $bulkEnd - $bulkStart}")"
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
grep -q "^vfwu-usb-gadget: cannot" "$work/guest.txt" &&
  failed="${failed}  $(grep -m1 '^vfwu-usb-gadget: cannot' "$work/guest.txt")"$'\n'
# FunctionFS acknowledges a SET_REPORT's data before the board sees it: a refused one reached
# the updater as a success.
grep -q "refused SET_REPORT\|refused vendor request" "$work/guest.txt" && failed="${failed}  $(grep -m1 'refused SET_REPORT' "$work/guest.txt")"$'\n'
grep -q "^VFWU-FAIL" "$work/guest.txt" && failed="${failed}  $(grep '^VFWU-FAIL' "$work/guest.txt")"$'\n'
jsonBefore=$(sed -n '/^VFWU-JSON-BEFORE/,/^VFWU-UPDATE/p' "$work/guest.txt")
jsonAfter=$(sed -n '/^VFWU-JSON-AFTER/,/^VFWU-TOUCH-UPDATE/p' "$work/guest.txt")
touchOut=$(sed -n '/^VFWU-TOUCH-UPDATE/,/^VFWU-JSON-TOUCH/p' "$work/guest.txt")
tree=$(sed -n '/^VFWU-USB-TREE/,/^VFWU-JSON-BEFORE/p' "$work/guest.txt")
pen="basic pen usbhid"
touchBoard="basic touch usbhid"
touchOk=1
# The touch board behind the I2C bridge switches in place: programmed through the bridge's
# reports on the composite device's second interface, checked by its checksums read back.
grep -q "^touch update exit 0" <<<"$touchOut" && grep -q "Verified: *yes" <<<"$touchOut" ||
  { touchOk=0; failed="${failed}  $touchBoard: update --type touch --verify did not succeed"$'\n'; }
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

# The bulk pen board: listed as the vendor-class device (product 0105 = 261), switched into its
# loader by the enter-loader request, back as the HID loader, and listed with its new version.
bulk="bulk pen usbhid+libusb"
bulkOk=1
bulkBefore=$(sed -n '/^VFWU-BULK-JSON-BEFORE/,/^VFWU-BULK-UPDATE$/p' "$work/guest.txt")
bulkAfter=$(sed -n '/^VFWU-BULK-JSON-AFTER/,/^VFWU-BULK-GADGET-LOG/p' "$work/guest.txt")
bulkGadget=$(sed -n '/^VFWU-BULK-GADGET-LOG/,/^VFWU-DONE/p' "$work/guest.txt")
bulkVersion() { grep -Eo '"pen": *\{[^}]*"interface": *"BULK"[^}]*"productId": *261[^}]*"version": *"[^"]*"' |
  sed 's/.*"version": *"\([^"]*\)"/\1/'; }
bulkFrom=$(bulkVersion <<<"$bulkBefore" || true)
bulkTo=$(bulkVersion <<<"$bulkAfter" || true)
[[ -n "$bulkFrom" ]] || { bulkOk=0; failed="${failed}  $bulk: list --json before: no BULK pen board 0105"$'\n'; }
[[ -n "$bulkTo" ]] || { bulkOk=0; failed="${failed}  $bulk: list --json after: no BULK pen board 0105"$'\n'; }
[[ -n "$bulkFrom" && "$bulkFrom" == "$bulkTo" ]] &&
  { bulkOk=0; failed="${failed}  $bulk: the version did not change ($bulkFrom)"$'\n'; }
grep -q "^bulk update exit 0" "$work/guest.txt" || { bulkOk=0; failed="${failed}  $bulk: update exit 0"$'\n'; }
sed -n '/^VFWU-BULK-UPDATE$/,/^VFWU-BULK-JSON-AFTER/p' "$work/guest.txt" | grep -q "Programmed flash verified" ||
  { bulkOk=0; failed="${failed}  $bulk: the read-back verification (--verify)"$'\n'; }
# Unbound as the vendor-class device, bound as the HID loader, unbound and bound back with the
# vendor-class interface.
[[ $(grep -E "^vfwu-usb-gadget: (un)?bound $vid:0(105|094)" <<<"$bulkGadget" | sed -E 's/^vfwu-usb-gadget: ((un)?bound) ([0-9a-f:]*).*/\1 \3/' | tr '\n' ' ') == \
   "bound $vid:0105 unbound $vid:0105 bound $vid:0094 unbound $vid:0094 bound $vid:0105 "* ]] ||
  { bulkOk=0; failed="${failed}  $bulk: the gadget's disconnection, return as the HID loader and return as the vendor-class device"$'\n'; }
grep -q "^vfwu-usb-gadget: bound $vid:0105 .* vendor page" <<<"$bulkGadget" ||
  { bulkOk=0; failed="${failed}  $bulk: no vendor-class interface bound"$'\n'; }
# The other two requests of the class, and a refusal: the liveness check's data stage comes in
# from the board, the unknown request is stalled by the board and fails on the host.
requestsOk=1
grep -q "^bulk-requests: liveness answered, unknown request refused, reset accepted" "$work/guest.txt" &&
  grep -q "^vfwu-usb-gadget: stalled vendor request c1 02" <<<"$bulkGadget" ||
  { requestsOk=0; failed="${failed}  $bulk: liveness check, refused request and reset over the wire"$'\n'; }

# Feature reports per second through usbhid: the gadget's count before and after each update.
counts=($(sed -n 's/^vfwu-usb-gadget: feature reports answered: //p' "$work/guest.txt"))
rate() { # SECONDS-MARKER FIRST-COUNT-INDEX
  local s; s=$(sed -n "s/^$1 //p" "$work/guest.txt")
  [[ ${#counts[@]} -ge $(( $2 + 2 )) && -n "$s" ]] &&
    awk -v n=$(( counts[$2 + 1] - counts[$2] )) -v s="$s" 'BEGIN {printf "%d feature reports in %.2f s (%.0f/s)", n, s, n / s}'
}
if [[ -n "$failed" || $qrc -ne 0 ]]; then
  echo "=== guest output ==="
  cat "$work/guest.txt"
  echo "=== qemu-usb-test FAILED (qemu exit $qrc, ${secs}s) ==="
  printf '%s' "$failed"
  exit 1
fi
grep -E '^(usb |hidraw|VFWU-(UPDATE|TOUCH|BULK-UPDATE|BULK-PART)-SECONDS|\[STATE\]|update |vfwu-usb-gadget: (un)?bound)' "$work/guest.txt"
echo "qemu-usb-test: kernel $kver, ${secs}s boot to power-off"
echo "qemu-usb-test: pen update $(rate VFWU-UPDATE-SECONDS 0); touch update $(rate VFWU-TOUCH-SECONDS 2)"
echo "qemu-usb-test: bulk pen update $(rate VFWU-BULK-UPDATE-SECONDS 4), $(sed -n 's/^vfwu-usb-gadget: vendor requests answered: //p' "$work/guest.txt" | tail -1) vendor request(s)"
[[ $grouped -eq 1 ]] && echo "real-kernel $touch: one tablet by the USB device tree (list --json)"
[[ $ok -eq 1 ]] && echo "real-kernel $pen: updated 1.05 -> 1.10 (verified)"
# A USB device has one bcdDevice for all its interfaces: the version listed for the touch
# interface is the device's (the pen board's), not the touch board's own.
[[ $touchOk -eq 1 ]] && echo "real-kernel $touchBoard: programmed and verified by checksum (listed version $(grep -o 'Firmware Version: [0-9.]* -> [0-9.]*' <<<"$touchOut" | sed 's/Firmware Version: //') is the device's bcdDevice)"
[[ $bulkOk -eq 1 ]] && echo "real-kernel $bulk: updated $bulkFrom -> $bulkTo (verified)"
[[ $requestsOk -eq 1 ]] && echo "real-kernel $bulk: liveness check answered, unknown request stalled, reset accepted"
