#!/usr/bin/env bash
# Configures and builds the plug-in, the reference host and the tests (MinGW-w64, i686).
# Leaves dist/ispell.dll and dist/plugin-host.exe.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset mingw >/dev/null
cmake --build --preset mingw
cmake --install build/mingw --strip >/dev/null
