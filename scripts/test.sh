#!/usr/bin/env bash
# Sets up the machine (idempotent), builds everything and runs every test under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
. scripts/platform.sh
preset=$(runnable_preset)
if [ "$preset" != mingw ]; then
  explain_64bit_fallback test.sh
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
fi
# Create the Wine prefix now (a minute or so the first time), not inside a timed test.
"build/$preset/wine-run" cmd /c exit >/dev/null 2>&1 || true
ctest --preset "$preset" "$@"
