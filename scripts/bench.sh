#!/usr/bin/env bash
# Times GetInfo over HTTP on a generated 50,000-entry directory index (served by nginx on a
# loopback address) beside a raw WinINet download of the same page. Not a test: it prints
# figures and asserts nothing.
#   scripts/bench.sh [BUILD_DIR] [RUNS]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build/bench}"
runs="${2:-3}"
net="${BENCH_NET:-127.0.99}"

if [ ! -f "$build/build.ninja" ]; then
  cmake --preset mingw -B "$build" >/dev/null
fi
cmake --build "$build" -j2 --target bench_get_info >/dev/null

state="$build/bench-servers"
/usr/bin/python3 "$root/scripts/servers/servers.py" bench --net "$net" --dir "$state"
trap '/usr/bin/python3 "$root/scripts/servers/servers.py" stop --dir "$state"' EXIT
"$build/wine-run" "$build/bin/bench_get_info.exe" "http://$net.2/bench/" "$runs"
