#!/usr/bin/env bash
# The Windows program against a real kernel's USB stack: boots Debian's own kernel in QEMU
# (scripts/qemu-common.sh) with the USB gadget modules of scripts/qemu-usb-test.sh, and the
# host's file system shared read-only over 9p (virtio). Inside, vfwu-usb-gadget makes the "basic"
# scenario's tablet a real composite USB device bound by usbhid (the pen board and the touch
# board's I2C bridge); Wine, run from the host's files in a chroot on the shared tree with the
# guest's /dev, /sys, /run (udev's database) and a tmpfs /tmp, sees their hidraw nodes through
# winebus like any HID device. VellumFWUpdater.exe then updates the
# pen board unattended (-path, -auto pen), through the device's real disconnection and its
# return as the loader on the vendor page. The Wine prefix is made on the host; the guest links
# its files from the share into its tmpfs (only the registry is copied, Wine rewrites it).
#
# Wine 8.0 (Debian 12) keeps no device tree that a program can walk: CM_Locate_DevNodeA/W fail
# (CR_FAILURE), CM_Get_Parent fails (CR_NO_SUCH_DEVNODE), CM_Get_Child and CM_Get_Sibling and
# SetupDiOpenDeviceInterfaceA/W are stubs ("stub" in Wine's fixme output), no device has
# DEVPKEY_Device_Parent, DEVPKEY_Device_ContainerId or a location (ERROR_NOT_FOUND,
# ERROR_INVALID_DATA), and SetupDiGetDevicePropertyKeys is not implemented; winebus answers only
# the device, hardware, compatible and instance id queries. Only the node itself can be found
# (SetupDiGetClassDevs and the interface detail's SP_DEVINFO_DATA, or SetupDiOpenDeviceInfoA on the
# instance id, then CM_Get_Device_IDA / SetupDiGetDeviceInstanceIdA). So every parent device id is
# empty: the touch interface is not grouped with the pen (the program says the touch board is not
# found, and goes on with the pen), and the returning loader is followed as the default tablet,
# which is right with the one tablet here.
# The ids Wine gives: pen HID\VID_FFFF&PID_0100&MI_00\261&VFWU0001&0&0, touch the same with MI_01,
# the returning loader HID\VID_FFFF&PID_0094&MI_00\0&VFWU0001&0&0 (winebus's instance id is
# version&serial&uid&index). In Wine's own structure, which none of those calls shows, each sits on
# winebus's WINEBUS\<same id> node, whose parent is the bus root ROOT\WINE\WINEBUS, shared by every
# HID device Wine has (its own mouse and keyboard too); even a Wine with a parent walk would thus
# put the topology file's level 2 on that shared root. The USB nodes that wineusb makes for the
# same device (USB\VID_FFFF&PID_0100\512&261&1&1) are a separate branch under ROOT\WINE\WINEUSB.
# Measured in the TCG guest: Wine's first program 20-45 s, the prefix linked in 2-3 s, the pen's
# interface listed by winebus in 7-11 s, the update 68-85 s to the program's exit as seen here
# (187 feature reports), boot to power-off 119-144 s, the whole script 134-161 s.
#
# Usage: bash scripts/qemu-wine-test.sh [BUILD_DIR] [MINGW_BUILD_DIR]
#        (defaults build/default and build/mingw; built if needed)
#        VFWU_WINE_START_DEBUG=CHANNELS shows Wine's debug output of its first start (e.g. +hid).
# Ends with "real-kernel basic pen wine-usbhid: updated OLD -> NEW" (versions as listed before
# and after by the Linux program); exits non-zero, printing the guest's whole output, without it.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$(realpath "${1:-$here/build/default}")"
mingw="$(realpath "${2:-$here/build/mingw}")"
cd "$here"

if [[ ! -x "$build/vellum-fwupdater" || ! -x "$build/vfwu-usb-gadget" ]]; then
  cmake --preset default >/dev/null
  cmake --build --preset default --target vellum-fwupdater vfwu-usb-gadget
fi
if [[ ! -f "$mingw/Win/VellumFWUpdater.exe" || ! -f "$mingw/Win/vfwu_dismiss.exe" ]]; then
  cmake --preset mingw >/dev/null
  cmake --build --preset mingw --target VellumFWUpdater vfwu_dismiss
fi

. "$here/scripts/qemu-common.sh"
qemu_find_kernel
qemu_vendor_id "$build"
wine64=/usr/lib/wine/wine64
[[ -x "$wine64" ]] || { echo "qemu-wine-test: $wine64 is missing (package wine64)" >&2; exit 1; }

work="$(mktemp -d)"
source scripts/wine-prefix.sh
wine_temp_files+=("$work")
wine_new_prefix qemu-wine
# No display in the guest: Wine's null graphics driver still makes the windows, so the dialog
# and its message boxes exist for the program and for vfwu_dismiss.
"$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
# winebus starts its udev bus (hidraw) only when its SDL bus is off: with SDL on, a failed SDL
# start (no libSDL2) leaves no HID bus but Wine's own mouse and keyboard.
"$wine" reg add 'HKLM\System\CurrentControlSet\Services\winebus' /v "Enable SDL" /t REG_DWORD /d 0 /f >/dev/null 2>&1
# Only the hidraw nodes: with the input subsystem watched too, the removal of the tablet's input
# device (an event without a device node) ends Wine 8.0's udev bus thread ("bus wait returned
# status 0xc0000005"), after which Wine sees neither the pen leave nor the loader arrive.
"$wine" reg add 'HKLM\System\CurrentControlSet\Services\winebus' /v DisableInput /t REG_DWORD /d 1 /f >/dev/null 2>&1
wineserver -w

root="$work/root"
qemu_make_root "$root" "$build/vellum-fwupdater" "$build/vfwu-usb-gadget"
mkdir -p "$root/sys/kernel/config" "$root/host"
# In dependency order; the init script loads them in the same order.
modules=(drivers/usb/common/usb-common drivers/usb/core/usbcore drivers/usb/gadget/udc/udc-core
  drivers/usb/gadget/udc/dummy_hcd fs/configfs/configfs drivers/usb/gadget/libcomposite
  drivers/usb/gadget/function/usb_f_fs drivers/hid/hid drivers/hid/usbhid/usbhid drivers/hid/hid-generic
  drivers/virtio/virtio_ring drivers/virtio/virtio drivers/virtio/virtio_pci_modern_dev
  drivers/virtio/virtio_pci_legacy_dev drivers/virtio/virtio_pci net/9p/9pnet net/9p/9pnet_virtio
  fs/netfs/netfs fs/fscache/fscache fs/9p/9p)
qemu_add_modules "$root" "${modules[@]}"
names=""
for m in "${modules[@]}"; do names="$names $(basename "$m")"; done

cp "$build/udev/70-vellum-fwupdater.rules" "$root/etc/udev/rules.d/"
cp data/scenarios/basic/basic.pen "$root/data/"
# The tablet is one composite USB device here (the pen board's HID interface and the touch board's
# I2C-bridge interface, as in qemu-usb-test.sh), and a USB device has one product id for all its
# interfaces: the touch board's interface carries the pen board's (0100).
sed 's/"pid": "0101"/"pid": "0100"/' data/scenarios/basic/fw_loader.ini > "$root/data/fw_loader.ini"
grep -q '"pid": "0101"' "$root/data/fw_loader.ini" && { echo "qemu-wine-test: touch product id left in the topology" >&2; exit 1; }
# In the chroot the guest's own tmpfs covers /tmp, and the host's /tmp is seen at /tmp/hosttmp (a
# clone or build tree under /tmp, as CI's may be, is found there).
inChroot() { case "$1" in /tmp/*) echo "/tmp/hosttmp/${1#/tmp/}" ;; *) echo "$1" ;; esac; }
cat > "$root/data/wine.env" <<ENV
prefix=$(basename "$WINEPREFIX")
exe=$(inChroot "$mingw/Win/VellumFWUpdater.exe")
dismiss=$(inChroot "$mingw/Win/vfwu_dismiss.exe")
vid=$vid
startDebug=${VFWU_WINE_START_DEBUG:--all}
ENV

# Run by the host's shell inside the chroot.
cat > "$root/data/wine-run.sh" <<'RUN'
. /tmp/wine.env
export HOME=/tmp/home USER=root WINEPREFIX=/tmp/prefix WINEDEBUG=-all LC_ALL=C.UTF-8 PATH=/usr/bin:/bin
export WINEDLLOVERRIDES="winemenubuilder.exe=d"
mkdir -p "$HOME"
now() { cut -d' ' -f1 /proc/uptime; }
since() { awk -v a="$1" -v b="$(now)" 'BEGIN {printf "%.1f", b - a}'; }
t=$(now)
cp -rs "/tmp/hosttmp/$prefix" "$WINEPREFIX" || exit 10
for f in "$WINEPREFIX"/*.reg; do cp --remove-destination "$(readlink "$f")" "$f" || exit 10; done
# cp -rs made the drive links absolute links into the host's prefix, which is read-only here: C:
# must be this copy's drive_c, or the program cannot write its log.
ln -sfn ../drive_c "$WINEPREFIX/dosdevices/c:" || exit 10
echo "VFWU-WINE-PREFIX-SECONDS $(since "$t")"
t=$(now)
/usr/lib/wine/wineserver -p || exit 11
WINEDEBUG="$startDebug" timeout 300 /usr/lib/wine/wine64 cmd /c echo wine-started 2>/tmp/wine-start.err | tr -d '\r'
echo "VFWU-WINE-START-SECONDS $(since "$t")"
# The HID class's device interfaces as Wine's device manager registered them: ##?#HID#...
key='HKLM\System\CurrentControlSet\Control\DeviceClasses\{4D1E55B2-F16F-11CF-88CB-001111000030}'
t=$(now)
n=0
while :; do
  timeout 120 /usr/lib/wine/wine64 reg query "$key" | tr -d '\r' > /tmp/interfaces.txt
  path=$(sed -n 's/.*\\##?#\(HID#VID_'"$(echo "$vid" | tr a-f A-F)"'&PID_0100&MI_00#[^\\]*\)$/\1/ip' /tmp/interfaces.txt | head -1)
  n=$((n + 1))
  [ -n "$path" ] || [ $n -ge 4 ] && break
  sleep 2
done
echo "VFWU-WINE-HID-INTERFACES ($(since "$t") s, $n queries)"
cat /tmp/interfaces.txt
[ "$startDebug" = -all ] || { echo "VFWU-WINE-START-DEBUG"; grep -a -i -E "udev|hidraw|sdl|main loop|err:" /tmp/wine-start.err | head -60; tail -n 15 /tmp/wine-start.err; }
[ -n "$path" ] || { echo "VFWU-WINE-NO-PEN-INTERFACE"; exit 12; }
# As an installer passes it: no \\?\ prefix, "&" written as "+".
arg=$(echo "$path" | tr '&' '+')
echo "VFWU-WINE-PATH $arg"
mkdir -p /tmp/run && cp /tmp/fw_loader.ini /tmp/basic.pen /tmp/run/ && cd /tmp/run || exit 13
t=$(now)
timeout 540 /usr/lib/wine/wine64 "$exe" -path "$arg" -auto pen > /tmp/program.out 2>&1 &
pid=$!
# Every message box the program shows is answered (one vfwu_dismiss each) while it runs.
: > /tmp/shown.txt
while kill -0 $pid 2>/dev/null; do
  timeout 60 /usr/lib/wine/wine64 "$dismiss" "Vellum Firmware Update Utility" 30 2>&1 | tr -d '\r' >> /tmp/shown.txt
done
wait $pid
rc=$?
echo "VFWU-WINE-UPDATE-SECONDS $(since "$t")"
echo "VFWU-WINE-EXIT $rc"
echo "VFWU-WINE-SHOWN"
cat /tmp/shown.txt
echo "VFWU-WINE-OUTPUT"
tr -d '\r' < /tmp/program.out | grep -v fixme | tail -20
echo "VFWU-WINE-LOG"
find "$WINEPREFIX/drive_c" -name 'VellumFWUpdater_*.txt' -exec cat {} \; | tr -d '\r'
echo "VFWU-WINE-LOG-END"
/usr/lib/wine/wineserver -k
exit 0
RUN

{
  qemu_init_start "$names" "cat /tmp/gadget.log 2>/dev/null; dmesg | tail -40"
  cat <<'INIT'
mount -t configfs none /sys/kernel/config || fail "mount configfs"
read t0 _ < /proc/uptime
mount -t 9p -o trans=virtio,version=9p2000.L,ro,cache=loose,msize=512000 host /host || fail "mount 9p"
step host-mounted
/lib/systemd/systemd-udevd --daemon || fail "udevd"
# The chroot: the host's programs and libraries, this kernel's devices and views, udev's
# database, and a writable /tmp in which the host's /tmp (the prefix) stays visible.
mkdir -p /dev/shm /tmp/hosttmp
mount -t tmpfs shm /dev/shm
mount --bind /host/tmp /tmp/hosttmp || fail "bind the host's /tmp"
mount -o rbind /dev /host/dev || fail "bind /dev"
mount -t proc proc /host/proc
mount -t sysfs sys /host/sys
mount --bind /run /host/run
mount -o rbind /tmp /host/tmp || fail "bind /tmp"
cp /data/wine.env /data/wine-run.sh /data/fw_loader.ini /data/basic.pen /tmp/
. /tmp/wine.env
cd /tmp
vfwu-usb-gadget --scenario basic --board pen --board touch 2>/tmp/gadget.log &
gadget=$!
n=0
while [ ! -e /dev/hidraw1 ] && [ $n -lt 200 ]; do sleep 0.1; n=$((n + 1)); done
[ -e /dev/hidraw1 ] || fail "no hidraw nodes for the pen and touch interfaces"
udevadm settle -t 10
step hidraw-present
echo "VFWU-JSON-BEFORE"
vellum-fwupdater --topology /data/fw_loader.ini list --json || fail "vellum-fwupdater list before"
echo
kill -USR1 $gadget; sleep 0.5
# Progress while Wine works: the gadget's binds and reports answered, the program's last log line.
(
  while sleep 20; do
    kill -USR1 $gadget; sleep 0.3
    read u _ < /proc/uptime
    echo "VFWU-PROGRESS $u s: $(grep -c bound /tmp/gadget.log) (un)binds, $(sed -n 's/.*reports answered: //p' /tmp/gadget.log | tail -1) reports; log: $(find /tmp/prefix/drive_c -name 'VellumFWUpdater_*.txt' -exec cat {} \; 2>/dev/null | tr -d '\r' | grep -v '^$' | tail -1 | cut -c1-90)"
  done
) &
monitor=$!
chroot /host /bin/sh /tmp/wine-run.sh
echo "VFWU-WINE-RUN-EXIT $?"
kill $monitor
kill -USR1 $gadget; sleep 0.5
udevadm settle -t 10
echo "VFWU-JSON-AFTER"
vellum-fwupdater --topology /data/fw_loader.ini list --json || fail "vellum-fwupdater list after"
echo
echo "VFWU-GADGET-LOG"
cat /tmp/gadget.log
kill $gadget
wait $gadget
read t1 _ < /proc/uptime
echo "VFWU-GUEST-SECONDS $(awk "BEGIN {print $t1 - $t0}")"
echo "VFWU-DONE"
poweroff -f
INIT
} > "$root/init"

qemu_memory=2048
qemu_boot "$work" 780 -virtfs "local,path=/,mount_tag=host,security_model=none,readonly=on,multidevs=remap"
# VFWU_GUEST_LOG=FILE keeps the guest's whole console output.
[[ -n "${VFWU_GUEST_LOG:-}" ]] && cp "$work/guest.txt" "$VFWU_GUEST_LOG"

g="$work/guest.txt"
failed=""
check() { grep -q -- "$1" "$g" || failed="${failed}  missing: $2"$'\n'; }
check "^VFWU-DONE" "the guest reached the end"
check "^wine-started" "Wine started a program in the guest"
check "^VFWU-WINE-EXIT 0$" "VellumFWUpdater.exe exit 0"
grep -q "^VFWU-FAIL" "$g" && failed="${failed}  $(grep '^VFWU-FAIL' "$g")"$'\n'
grep -q "^vfwu-usb-gadget: cannot" "$g" && failed="${failed}  $(grep -m1 '^vfwu-usb-gadget: cannot' "$g")"$'\n'
# FunctionFS acknowledges a SET_REPORT's data before the board sees it: a refused one reached
# the program as a success.
grep -q "refused SET_REPORT" "$g" && failed="${failed}  $(grep -m1 'refused SET_REPORT' "$g")"$'\n'
shown=$(sed -n '/^VFWU-WINE-SHOWN/,/^VFWU-WINE-OUTPUT/p' "$g")
grep -q "^Firmware was successfully updated\.$" <<<"$shown" ||
  failed="${failed}  missing: the message \"Firmware was successfully updated.\""$'\n'
# The log is whole: it ends with the success state and the pen's checksums.
log=$(sed -n '/^VFWU-WINE-LOG$/,/^VFWU-WINE-LOG-END/p' "$g" | sed '1d;$d')
mapfile -t last < <(grep -v '^$' <<<"$log" | tail -n 2)
[[ ${#last[@]} == 2 && "${last[0]}" == "[STATE] 5" &&
   "${last[1]}" =~ ^pen:\ old\ checksum:\ 0x[0-9a-f]{8}\;\ new\ checksum:\ 0x[0-9a-f]{8}$ ]] ||
  failed="${failed}  the program's log does not end with the success state and the pen's checksums"$'\n'
gadget=$(sed -n '/^VFWU-GADGET-LOG/,/^VFWU-DONE/p' "$g")
[[ $(grep -E "^vfwu-usb-gadget: (un)?bound $vid:0(100|094)" <<<"$gadget" | sed -E 's/^vfwu-usb-gadget: ((un)?bound) ([0-9a-f:]*).*/\1 \3/' | uniq | tr '\n' ' ') == \
   "bound $vid:0100 unbound $vid:0100 bound $vid:0094 unbound $vid:0094 bound $vid:0100 "* ]] ||
  failed="${failed}  the gadget's disconnection, return as the loader and return as the pen board"$'\n'
penVersion() { grep -Eo '"pen": *\{[^}]*"productId": *256[^}]*"version": *"[^"]*"' | sed 's/.*"version": *"\([^"]*\)"/\1/'; }
from=$(sed -n '/^VFWU-JSON-BEFORE/,/^VFWU-WINE/p' "$g" | penVersion || true)
to=$(sed -n '/^VFWU-JSON-AFTER/,/^VFWU-GADGET-LOG/p' "$g" | penVersion || true)
[[ -n "$from" && -n "$to" ]] || failed="${failed}  list --json before or after: no pen board 0100"$'\n'
[[ -n "$from" && "$from" == "$to" ]] && failed="${failed}  the version did not change ($from)"$'\n'

if [[ -n "$failed" || $qrc -ne 0 ]]; then
  echo "=== guest output ==="
  cat "$g"
  echo "=== qemu-wine-test FAILED (qemu exit $qrc, ${secs}s) ==="
  printf '%s' "$failed"
  exit 1
fi
counts=($(sed -n 's/^vfwu-usb-gadget: feature reports answered: //p' "$g"))
grep -E '^(VFWU-(WINE-(PATH|EXIT)|PROGRESS)|vfwu-usb-gadget: (un)?bound)' "$g"
seconds() { sed -n "s/^$1 //p" "$g"; }
echo "qemu-wine-test: kernel $kver, ${secs}s boot to power-off; in the guest: prefix linked in $(seconds VFWU-WINE-PREFIX-SECONDS) s," \
  "Wine's first program $(seconds VFWU-WINE-START-SECONDS) s, the update $(seconds VFWU-WINE-UPDATE-SECONDS) s" \
  "($(( ${counts[-1]:-0} - ${counts[0]:-0} )) feature reports)"
echo "real-kernel basic pen wine-usbhid: updated $from -> $to"
