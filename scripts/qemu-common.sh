# Shared by the real-kernel tests (scripts/qemu-test.sh, scripts/qemu-usb-test.sh): Debian's own
# kernel (linux-image-amd64) booted in QEMU (software emulation, no KVM) from an initramfs made
# of Debian's busybox, systemd-udevd, chosen kernel modules and the project's binaries with the
# libraries they load. Source it; every function reports on stderr and returns non-zero on failure.

# Sets kver and kernel: the newest kernel that the linux-image package put in /boot, with modules.
qemu_find_kernel() {
  kver=""
  local k
  for k in $(ls /lib/modules 2>/dev/null | sort -V -r); do
    if [[ -f "/boot/vmlinuz-$k" && -d "/lib/modules/$k/kernel/drivers/hid" ]]; then kver="$k"; break; fi
  done
  if [[ -z "$kver" ]]; then
    echo "$(basename "$0"): no kernel image with modules found (package linux-image-amd64)" >&2
    return 1
  fi
  kernel="/boot/vmlinuz-$kver"
  [[ -r "$kernel" ]] || { echo "$(basename "$0"): cannot read $kernel" >&2; return 1; }
}

# Sets vid: the build's default vendor id as four lower-case hex digits.
qemu_vendor_id() {
  local build="$1"
  vid=$(sed -n 's/^VFWU_DEFAULT_VENDOR_ID:STRING=0[xX]//p' "$build/CMakeCache.txt" | tr 'A-F' 'a-f')
  vid=$(printf '%04x' "$((16#${vid:-ffff}))")
}

# qemu_make_root ROOT BINARY...: the file tree with busybox, systemd-udevd (udevadm under
# another name), the binaries in /bin and every shared library they load at its own path.
qemu_make_root() {
  local root="$1"; shift
  mkdir -p "$root"/{bin,sbin,dev,proc,sys,run,tmp,data,modules,lib/systemd,etc/udev/rules.d}
  cp /bin/busybox "$root/bin/busybox"
  cp /usr/bin/udevadm "$root/bin/udevadm"
  ln -s /bin/udevadm "$root/lib/systemd/systemd-udevd"
  local b
  for b in "$@"; do cp "$b" "$root/bin/"; done
  for b in /usr/bin/udevadm "$@"; do
    ldd "$b" | awk '/=> \// {print $3} /^\t\/lib/ {print $1}'
  done | sort -u | while read -r lib; do
    mkdir -p "$root$(dirname "$lib")"
    cp -L "$lib" "$root$lib"
  done
  # The loader path is /lib64/ld-linux-x86-64.so.2 on amd64.
  if [[ -e /lib64/ld-linux-x86-64.so.2 && ! -e "$root/lib64/ld-linux-x86-64.so.2" ]]; then
    mkdir -p "$root/lib64"; cp -L /lib64/ld-linux-x86-64.so.2 "$root/lib64/"
  fi
}

# qemu_add_modules ROOT PATH...: kernel modules by their path under /lib/modules/$kver/kernel
# without the extension (e.g. drivers/hid/hid), uncompressed to ROOT/modules/NAME.ko.
qemu_add_modules() {
  local root="$1"; shift
  local m f
  for m in "$@"; do
    f=$(ls "/lib/modules/$kver/kernel/$m".ko* 2>/dev/null | head -1)
    [[ -n "$f" ]] || { echo "$(basename "$0"): module $m missing for $kver" >&2; return 1; }
    case "$f" in
      *.ko) cp "$f" "$root/modules/$(basename "$m").ko" ;;
      *.ko.xz) xz -dc "$f" > "$root/modules/$(basename "$m").ko" ;;
      *.ko.zst) zstd -dqc "$f" > "$root/modules/$(basename "$m").ko" ;;
      *.ko.gz) gzip -dc "$f" > "$root/modules/$(basename "$m").ko" ;;
    esac
  done
}

# qemu_boot WORK TIMEOUT [QEMU-ARG...]: packs WORK/root (its /init must exist) and boots it with
# $qemu_memory MiB (default 512) and the extra arguments; sets qrc (QEMU's exit status), secs
# (boot to power-off) and leaves the guest's console in WORK/guest.txt.
qemu_boot() {
  local work="$1" limit="$2"
  shift 2
  chmod +x "$work/root/init"
  (cd "$work/root" && find . | cpio -o -H newc --quiet | gzip -1) > "$work/initrd.gz"
  local out="$work/guest.log" start
  start=$(date +%s)
  set +e
  timeout "$limit" qemu-system-x86_64 -accel tcg -m "${qemu_memory:-512}" -smp 1 -nodefaults -display none -no-reboot \
    -serial "file:$out" -kernel "$kernel" -initrd "$work/initrd.gz" \
    -append "console=ttyS0 panic=-1 rdinit=/init quiet loglevel=1" "$@" </dev/null
  qrc=$?
  set -e
  secs=$(( $(date +%s) - start ))
  tr -d '\r' < "$out" > "$work/guest.txt"
}

# qemu_init_start MODULES [FAIL_EXTRA]: prints the start of a guest's /init (busybox applets,
# the kernel's file systems, the step and fail helpers, the modules loaded in order). FAIL_EXTRA
# is shell run by fail before the power-off (what to show of a failure).
qemu_init_start() {
  local modules="$1" extra="${2:-}"
  cat <<EOF
#!/bin/busybox sh
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
mount -t tmpfs run /run
mount -t tmpfs tmp /tmp
echo 1 > /proc/sys/kernel/printk
step() { echo "VFWU-STEP \$*"; }
fail() { echo "VFWU-FAIL \$*"; ${extra:+$extra; }poweroff -f; }
for m in $modules; do insmod /modules/\$m.ko || fail "insmod \$m"; done
EOF
}
