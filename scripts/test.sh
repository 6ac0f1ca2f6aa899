#!/usr/bin/env bash
# Sets up the machine (idempotent), builds everything and runs every test: the suites
# under Wine, the host's archive and regex suites built natively under ASan and UBSan,
# a short pass of every fuzz target, and the Wine suites again on the checked build
# (ISPELL_SKIP_CHECKED_TESTS=1 still builds that one but does not run it).
# Arguments go to both Wine runs of CTest. Every stage runs; the exit status is
# non-zero when any failed.
set -uo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh || exit 1
bash scripts/build.sh || exit 1
. scripts/platform.sh
status=0
stage() {
  echo "== $1"
  shift
  "$@" || { status=1; echo "== failed: $*"; }
}
preset=$(runnable_preset)
if [ "$preset" != mingw ]; then
  explain_64bit_fallback test.sh
  cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" || exit 1
fi
# Create the Wine prefix now (a minute or so the first time), not inside a timed test.
"build/$preset/wine-run" cmd /c exit >/dev/null 2>&1 || true
stage "tests under Wine ($preset)" ctest --preset "$preset" "$@"

native() { cmake --preset native >/dev/null && cmake --build --preset native && ctest --preset native; }
stage "native host tests (ASan, UBSan)" native

stage "fuzzing, 20 s per target" bash scripts/fuzz.sh 20

checked_build() { cmake --preset mingw-checked >/dev/null && cmake --build --preset mingw-checked; }
stage "checked build" checked_build
if [ "$preset" != mingw ]; then
  echo "== the checked build is 32-bit: built, not run on this machine"
elif [[ ${ISPELL_SKIP_CHECKED_TESTS:-0} != 1 ]]; then
  build/mingw-checked/wine-run cmd /c exit >/dev/null 2>&1 || true
  stage "tests under Wine, checked build" ctest --preset mingw-checked "$@"
fi
exit $status
