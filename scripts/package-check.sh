#!/usr/bin/env bash
# The Debian package as a user meets it, on this machine (as root): apt installs it; the program
# on the PATH updates the simulated tablet's pen board with the installed scenarios; man finds
# the page, bash-completion loads the completion, the udev rules carry the vendor id; apt purges
# it and every path the package brought is gone again (the folders it shares with the system stay).
#   bash scripts/package-check.sh [DEB]   (default: the one scripts/build-deb.sh built)
# VFWU_DEFAULT_VENDOR_ID=0xNNNN: the vendor id the package was built for (default 0xFFFF).
set -euo pipefail
cd "$(dirname "$0")/.."
version=$(sed -n 's/^project(VellumFWUpdater VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
deb=$(realpath "${1:-build/packages/vellum-fwupdater_${version}_$(dpkg --print-architecture).deb}")
[[ -f "$deb" ]] || { echo "package-check: $deb is missing (bash scripts/build-deb.sh)" >&2; exit 1; }
[[ $(id -u) -eq 0 ]] || { echo "package-check: run as root (it installs and purges the package)" >&2; exit 1; }
if dpkg-query -W -f='${Status}' vellum-fwupdater 2>/dev/null | grep -qv "not-installed"; then
  # A user's installation is left alone; on CI's machine it is a leftover of an interrupted run.
  if [[ "${CI:-}" != true ]]; then
    echo "package-check: vellum-fwupdater is installed already; remove it first (apt-get purge vellum-fwupdater)" >&2
    exit 1
  fi
  echo "package-check: purging the vellum-fwupdater installed before this run"
  DEBIAN_FRONTEND=noninteractive apt-get purge -y -q vellum-fwupdater >/dev/null
fi
t0=$SECONDS; step() { echo "package-check: [$((SECONDS - t0)) s] $*"; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "package-check: FAILED: $*" >&2; failures=$((failures + 1)); }

# Which of the package's paths are there before it is installed: those are the system's.
dpkg-deb --fsys-tarfile "$deb" | tar -t | sed -e 's#^\./#/#' -e 's#/$##' -e '/^$/d' | sort -u >"$work/paths"
while read -r p; do [[ -e "$p" || -L "$p" ]] && echo "$p"; done <"$work/paths" >"$work/before"

export DEBIAN_FRONTEND=noninteractive
apt-get install -y -q "$deb" >"$work/install.log" 2>&1 || { cat "$work/install.log"; echo "package-check: apt-get install failed" >&2; exit 1; }
step "installed"
echo "package-check: installed $(dpkg-query -W -f='${Package} ${Version}, depends: ${Depends}' vellum-fwupdater)"
[[ -S /run/udev/control ]] || echo "package-check: (no running udev here: the maintainer scripts skip the reload)"

# The program on the PATH, with the installed scenarios (no source tree to fall back to).
[[ "$(command -v vellum-fwupdater)" == /usr/bin/vellum-fwupdater ]] || fail "vellum-fwupdater is not /usr/bin/vellum-fwupdater"
if (cd "$work" && env -u VFWU_DATA_DIR vellum-fwupdater --simulate update --type pen \
      /usr/share/vellum-fwupdater/scenarios/basic/basic.pen --yes --log-dir "$work") >"$work/update.txt" 2>&1; then
  grep -E "Firmware Version|Checksum" "$work/update.txt" | sed 's/^/package-check:   /'
  grep -q "Firmware Version: 1.05 -> 1.10" "$work/update.txt" || fail "the update did not report 1.05 -> 1.10"
else
  cat "$work/update.txt"
  fail "vellum-fwupdater --simulate update ended with an error"
fi
[[ "$(vellum-fwupdater --version)" == "vellum-fwupdater $version" ]] || fail "--version is not $version"

# The manual page, found by man.
page=$(man -w vellum-fwupdater 2>/dev/null || true)
[[ "$page" == /usr/share/man/man1/vellum-fwupdater.1.gz ]] || fail "man -w vellum-fwupdater found '$page'"
man -l "$page" 2>&1 | grep -q -- "--simulate" || fail "the manual page does not render"
echo "package-check: manual page $page"

# The completion, where bash-completion looks for it, loaded on demand as in an interactive shell.
dir=$(pkg-config --variable=completionsdir bash-completion)
[[ -f "$dir/vellum-fwupdater" ]] || fail "no completion in $dir"
loaded=$(bash -c 'source /usr/share/bash-completion/bash_completion; __load_completion vellum-fwupdater && complete -p vellum-fwupdater' 2>&1 || true)
[[ "$loaded" == "complete -F _vellum_fwupdater vellum-fwupdater" ]] || fail "bash-completion did not load the completion ($loaded)"
echo "package-check: completion $dir/vellum-fwupdater ($loaded)"

# The udev rules with the build's vendor id, where udev reads a package's rules.
vid=${VFWU_DEFAULT_VENDOR_ID:-0xFFFF}
vid=$(printf '%04x' "$((vid))")
rules=/usr/lib/udev/rules.d/70-vellum-fwupdater.rules
grep -q "KERNELS==\"????:${vid^^}:????.\*\", TAG+=\"uaccess\"" "$rules" && grep -q "ATTR{idVendor}==\"$vid\"" "$rules" ||
  fail "$rules does not carry vendor id $vid"
copyright=/usr/share/doc/vellum-fwupdater/copyright
head -1 "$copyright" | grep -q "^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" ||
  fail "$copyright is not in the machine-readable format"

# Purge: the package is gone from dpkg's records and from the disk.
dpkg -L vellum-fwupdater | grep -vx "/\." | sort -u >"$work/listed"
apt-get purge -y -q vellum-fwupdater >"$work/purge.log" 2>&1 || { cat "$work/purge.log"; fail "apt-get purge failed"; }
step "purged"
status=$(dpkg-query -W -f='${Status}' vellum-fwupdater 2>/dev/null || true)
[[ -z "$status" || "$status" == *not-installed ]] || fail "dpkg still records vellum-fwupdater ($status)"
left=0
while read -r p; do
  if grep -qxF "$p" "$work/before"; then
    [[ -e "$p" ]] || fail "$p, there before the package, is gone"
  elif [[ -e "$p" || -L "$p" ]]; then
    fail "$p is left after the purge"
    left=$((left + 1))
  fi
done < <(sort -u "$work/paths" "$work/listed")
echo "package-check: purged; $(wc -l <"$work/listed") listed paths checked, $left left"

if ((failures)); then
  echo "package-check: $failures check(s) failed" >&2
  exit 1
fi
echo "package-check: passed in $((SECONDS - t0)) s"
