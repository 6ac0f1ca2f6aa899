#!/usr/bin/env bash
# Times GetInfo over HTTP on generated directory indexes (served by nginx or Apache on a
# loopback address) beside raw WinINet downloads of the same pages. Not a test: it prints
# figures and asserts nothing.
#   scripts/bench.sh [--entries N,N,...] [--style S] [--before DLL] [BUILD_DIR] [RUNS]
# Default: one index of 50,000 entries in nginx's stock listing, 3 runs. --style picks the
# listing: old (nginx with sizes in K/M, the classic layout), nginx-exact (nginx as it ships,
# sizes in bytes), apache-iso (Apache's <pre> lines with ISO dates) or fancyindex (nginx's
# fancyindex module as it ships: table rows, the size in bytes before the date). Per size it prints the
# benchmark's table and one line of key=value figures (style= first); at the end the size of
# dist/ispell.dll. With --before, each size is first timed with that other build of the
# plug-in (an older one, say), then with the build's own, back to back against the same server.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
entries="50000"
style="nginx-exact"
before=""
positional=()
while [ $# -gt 0 ]; do
  case "$1" in
    --entries) entries="$2"; shift 2 ;;
    --entries=*) entries="${1#--entries=}"; shift ;;
    --style) style="$2"; shift 2 ;;
    --style=*) style="${1#--style=}"; shift ;;
    --before) before="$(realpath "$2")"; shift 2 ;;
    --before=*) before="$(realpath "${1#--before=}")"; shift ;;
    *) positional+=("$1"); shift ;;
  esac
done
build="${positional[0]:-$root/build/bench}"
runs="${positional[1]:-3}"
net="${BENCH_NET:-127.0.99}"

. "$root/scripts/platform.sh"
if [ ! -f "$build/build.ninja" ]; then
  cmake --preset "$(runnable_preset)" -B "$build" >/dev/null
fi
cmake --build "$build" -j2 --target bench_get_info >/dev/null

state="$build/bench-servers"
/usr/bin/python3 "$root/scripts/servers/servers.py" bench --net "$net" --dir "$state" --entries "$entries" \
  --style "$style"
export BENCH_STYLE="$style"
trap '/usr/bin/python3 "$root/scripts/servers/servers.py" stop --dir "$state"' EXIT
status=0
for n in ${entries//,/ }; do
  if [ -n "$before" ]; then
    echo "## $n entries, before: $before"
    # Wine's drive Z: is the root of the file system.
    BENCH_DLL="Z:${before//\//\\}" "$build/wine-run" "$build/bin/bench_get_info.exe" \
      "http://$net.2/bench-$n/" "$runs" "$n" || status=$?
  fi
  echo "## $n entries"
  "$build/wine-run" "$build/bin/bench_get_info.exe" "http://$net.2/bench-$n/" "$runs" "$n" || status=$?
done
echo "dll_bytes=$(stat -c %s "$root/dist/ispell.dll")"
exit "$status"
