#!/usr/bin/env bash
# Builds the Debian package vellum-fwupdater (the Release build of the program, warnings as
# errors, Debian's hardening flags) and checks it with lintian, which must report no error and no warning.
#   bash scripts/build-deb.sh          -> build/packages/vellum-fwupdater_<version>_<arch>.deb
# VFWU_DEFAULT_VENDOR_ID=0xNNNN in the environment builds the package for that USB vendor id.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-debian.sh

# One version: the project's, which the package's changelog must carry.
version=$(sed -n 's/^project(VellumFWUpdater VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
packaged=$(dpkg-parsechangelog -l debian/changelog -S Version)
if [[ "$version" != "$packaged" ]]; then
  echo "build-deb: CMakeLists.txt says $version, debian/changelog $packaged: add a changelog entry" >&2
  exit 1
fi

# dpkg-buildpackage writes its results beside the source tree: build a copy of the tree (without
# builds and the repository) inside build/packages.
out=build/packages
work="$out/deb"
src="$work/vellum-fwupdater-$version"
rm -rf "$work"
mkdir -p "$src"
tar --exclude=./build --exclude=./.git --exclude=./.cache -cf - . | tar -xf - -C "$src"

# debhelper gives the build a HOME of its own: a ccache used as compiler launcher keeps the
# caller's configuration and cache.
if [[ "${CMAKE_CXX_COMPILER_LAUNCHER:-}" == *ccache* ]]; then
  export CCACHE_DIR="${CCACHE_DIR:-$(ccache -k cache_dir)}"
  conf="${XDG_CONFIG_HOME:-$HOME/.config}/ccache/ccache.conf"
  [[ -n "${CCACHE_CONFIGPATH:-}" || ! -f "$conf" ]] || export CCACHE_CONFIGPATH="$conf"
fi

t0=$SECONDS
(cd "$src" && VFWU_WARNINGS_AS_ERRORS=ON dpkg-buildpackage -b --no-sign -jauto)
echo "build-deb: package built in $((SECONDS - t0)) s"

arch=$(dpkg-architecture -qDEB_HOST_ARCH)
deb="$out/vellum-fwupdater_${version}_${arch}.deb"
mv "$work/vellum-fwupdater_${version}_${arch}.deb" "$deb"
mv "$work"/vellum-fwupdater-dbgsym_"${version}"_"${arch}".*deb "$out/" 2>/dev/null || true

t0=$SECONDS
lintian --fail-on error,warning --display-info --tag-display-limit 0 "$deb"
echo "build-deb: lintian passed in $((SECONDS - t0)) s"
rm -rf "$work"
echo "build-deb: $deb"
