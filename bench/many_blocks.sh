#!/usr/bin/env bash
# The many-block benchmark: maps of 150 and of 300 blocks of about 7,000 lines each (copies
# of the benchmark block at scale 0.07), every element option checked with one worker and
# with one per core, each run against reading the map's files (as cat does).
#   bench/many_blocks.sh BUILDDIR [WORKDIR]
# The maps are written under WORKDIR (default /tmp/vexa-many-blocks) unless already there.
set -euo pipefail
build=$(cd "${1:?Usage: $0 BUILDDIR [WORKDIR]}" && pwd)
work=${2:-/tmp/vexa-many-blocks}
mkdir -p "$work"
for n in 150 300; do
  [ -d "$work/map$n/LE_$(printf %05d "$n").blk" ] || "$build/bin/vexa-bench-gen" "$work/map$n" 0.07 --blocks "$n" >/dev/null
done
cores=$(nproc)
declare -A first
for round in 1 2; do
  for n in 150 300; do
    for jobs in 1 "$cores"; do
      out=$("$build/bin/vexa-bench" "$work/map$n" --jobs "$jobs")
      secs=$(sed -n 's/^lines 62, points 3, texts 3, areas 7: .*block(s), \([0-9.]*\) s.*/\1/p' <<<"$out")
      ratio=$(sed -n 's/.*first run \/ reading = \([0-9.]*\).*/\1/p' <<<"$out")
      echo "round $round: $n blocks, $jobs worker(s): $secs s (every element option), $ratio x reading the files"
      first["$n-$jobs"]=$secs
    done
  done
  for jobs in 1 "$cores"; do
    awk -v a="${first[150-$jobs]}" -v b="${first[300-$jobs]}" -v j="$jobs" \
      'BEGIN { printf "round %d: 300 blocks / 150 blocks with %s worker(s): %.2f\n", '"$round"', j, b / a }'
  done
done
