#!/usr/bin/env bash
# Sets up the machine (idempotent), builds everything and runs every test under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
# Create the Wine prefix now (a minute or so the first time), not inside a timed test.
build/mingw/wine-run cmd /c exit >/dev/null 2>&1 || true
ctest --preset mingw "$@"
