#!/usr/bin/env bash
# Sets up the machine (idempotent), builds everything and runs every test under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
ctest --preset mingw "$@"
