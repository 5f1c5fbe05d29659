#!/usr/bin/env bash
# Builds the libFuzzer targets (CMake preset "fuzz": clang with ASan + UBSan, build-fuzz/),
# makes their seed corpora from the sample map and the test standard, and runs each target
# for a bounded time. Any crash, leak, undefined behaviour or timeout fails the script.
# Usage: bash scripts/fuzz.sh [SECONDS_PER_TARGET]   (default 30)
# Needs the sample map of a normal build (build/examples/map; made here if missing).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"
map=build/examples/map
if [ ! -d "$map" ]; then
  cmake --preset release >/dev/null
  cmake --build build -j"$(nproc)" --target sample_map
fi
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$(nproc)" >/dev/null
corpus=build-fuzz/corpus
rm -rf "$corpus"
python3 scripts/fuzz-seeds.py "$map" "$corpus"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
status=0
for target in block render dbf access_sql standard gdaldriver review; do
  seeds="$corpus/$target"
  [ "$target" = render ] && seeds="$corpus/block"  # the map view reads the blocks fuzz_block reads
  work="build-fuzz/work/$target"
  rm -rf "$work"
  mkdir -p "$work"
  echo "== fuzz_$target: ${seconds}s"
  if ! build-fuzz/bin/fuzz_$target "$work" "$seeds" \
      -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 -max_len=262144 \
      -artifact_prefix="build-fuzz/work/$target-" -print_final_stats=1 >"build-fuzz/work/$target.log" 2>&1; then
    status=1
    echo "fuzz_$target FAILED:"
    tail -n 60 "build-fuzz/work/$target.log"
  fi
  grep -E "^(stat::number_of_executed_units|stat::peak_rss_mb)|^#[0-9]+ *DONE" "build-fuzz/work/$target.log" || true
done
exit $status
