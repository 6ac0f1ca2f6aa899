#!/usr/bin/env bash
# Builds the fuzz targets (preset fuzz: clang, libFuzzer, ASan, UBSan) and runs
# each on its corpus for SECONDS (default 30), one after the other. Prints one
# line per target; exits non-zero when any target crashed, leaked, hit
# undefined behaviour or timed out, leaving the reproducer in
# build/fuzz/findings/<target>/. The working corpora live in build/fuzz/corpus/
# (seeded from tests/fuzz/corpus/, growing from run to run).
# Usage: scripts/fuzz.sh [SECONDS] [TARGET...]
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
shift || true
targets=("$@")
((${#targets[@]})) || targets=(xz lzma2 tar unpack regex index url listing ini)

cmake --preset fuzz >/dev/null || exit 1
cmake --build --preset fuzz >/dev/null || { cmake --build --preset fuzz; exit 1; }

out=build/fuzz
mkdir -p "$out/logs" "$out/tmp"
failed=0
for target in "${targets[@]}"; do
  corpus=$out/corpus/$target findings=$out/findings/$target log=$out/logs/$target.log
  mkdir -p "$corpus" "$findings"
  cp -n tests/fuzz/corpus/"$target"/* "$corpus"/
  dict=()
  case $target in
    tar | unpack) dict=(-dict=tests/fuzz/tar.dict) ;;
    regex) dict=(-dict=tests/fuzz/regex.dict) ;;
    index) dict=(-dict=tests/fuzz/index.dict) ;;
  esac
  before=$(find "$findings" -type f | wc -l)
  # The unpack target's scratch folders go under build/ too.
  TMPDIR=$PWD/$out/tmp "$out/tests/fuzz/fuzz_$target" "${dict[@]}" \
    -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2560 -print_final_stats=1 \
    -artifact_prefix="$findings/" "$corpus" >"$log" 2>&1
  status=$?
  after=$(find "$findings" -type f ! -name 'slow-unit-*' | wc -l)
  crashes=$((after - before))
  ((status != 0 && crashes == 0)) && crashes=1
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  added=$(sed -n 's/^stat::new_units_added: *//p' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  echo "fuzz $target: runs=${runs:-0} new_inputs=${added:-0} crashes=$crashes cov=${cov:-?} ft=${ft:-?}"
  if ((crashes)); then
    failed=1
    echo "  see $log; reproducer in $findings/" >&2
  fi
done
exit $failed
