#!/usr/bin/env bash
# Installs what is needed, builds the program and runs it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-debian.sh
cmake --preset default >/dev/null
cmake --build --preset default --target vellum-fwupdater
./build/default/vellum-fwupdater --version
./build/default/vellum-fwupdater --help
