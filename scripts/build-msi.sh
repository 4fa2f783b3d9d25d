#!/usr/bin/env bash
# Builds the Windows Installer package of VellumFWUpdater.exe on Linux: the mingw-w64 cross build
# of the program, then msitools' wixl.
#   bash scripts/build-msi.sh     -> build/packages/VellumFWUpdater-<version>-x64.msi
# -DVFWU_TOPOLOGY_FILE=... on the mingw preset names the topology file installed beside the program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-debian.sh
version=$(sed -n 's/^project(VellumFWUpdater VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
cmake --preset mingw >/dev/null
cmake --build --preset mingw --target msi vfwu_dismiss
mkdir -p build/packages
cp "build/mingw/VellumFWUpdater-$version-x64.msi" build/packages/
echo "build-msi: build/packages/VellumFWUpdater-$version-x64.msi"
