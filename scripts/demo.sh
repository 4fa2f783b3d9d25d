#!/usr/bin/env bash
# Installs what is needed, builds the program and runs a simulated update of the basic tablet's
# pen board end to end: the tablet as found, then the update with the versions before and after.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-debian.sh
cmake --preset default >/dev/null
cmake --build --preset default --target vellum-fwupdater
program=./build/default/vellum-fwupdater
"$program" --version
echo
echo "== vellum-fwupdater --simulate list"
"$program" --simulate list
echo
echo "== vellum-fwupdater --simulate update --type pen data/scenarios/basic/basic.pen --yes"
"$program" --simulate update --type pen data/scenarios/basic/basic.pen --yes
