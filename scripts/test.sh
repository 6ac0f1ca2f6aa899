#!/usr/bin/env bash
# Sets up the machine (idempotent), builds everything and runs every test: the suites
# under Wine, the host's archive and regex suites built natively under ASan and UBSan,
# a short pass of every fuzz target, and the Wine suites again on the checked build
# (ISPELL_SKIP_CHECKED_TESTS=1 still builds that one but does not run it). Where this machine
# cannot run 32-bit code, both Wine runs use the 64-bit builds.
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
  { cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" &&
    cmake --install "build/$preset" --strip >/dev/null; } || exit 1
fi
stage "tests under Wine ($preset)" ctest --preset "$preset" "$@"

native() { cmake --preset native >/dev/null && cmake --build --preset native && ctest --preset native; }
stage "native host tests (ASan, UBSan)" native

stage "fuzzing, 20 s per target" bash scripts/fuzz.sh 20

stage "reproducible: the shipped files built again in another folder" bash scripts/reproducible.sh

# The checked build of the same programs that run here (64-bit where 32-bit code cannot run).
checked="$preset-checked"
checked_build() { cmake --preset "$checked" >/dev/null && cmake --build --preset "$checked"; }
stage "checked build ($checked)" checked_build
if [[ ${ISPELL_SKIP_CHECKED_TESTS:-0} != 1 ]]; then
  stage "tests under Wine, checked build ($checked)" ctest --preset "$checked" "$@"
fi
exit $status
