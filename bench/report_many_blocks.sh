#!/usr/bin/env bash
# The report of the 300-block map (copies of the scale-0.07 block, about 188,880 findings
# with lines 62, points 3, texts 3, areas 7, limits 1 and 100): vexa-check without and with
# the default --report in turn, three times, with the page's size; then the page's size with
# --report-findings all and 0 once.
# Goal: the default page at most 8 MB and the run with it at most 2 x the plain run.
#   bench/report_many_blocks.sh BUILDDIR [WORKDIR]   (a Release build; the map as many_blocks.sh)
set -euo pipefail
build=$(cd "${1:?Usage: $0 BUILDDIR [WORKDIR]}" && pwd)
work=${2:-/tmp/vexa-many-blocks}
map=$work/map300
mkdir -p "$work"
[ -d "$map/LE_00300.blk" ] || "$build/bin/vexa-bench-gen" "$map" 0.07 --blocks 300 >/dev/null
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
seconds() { local s e; s=$EPOCHREALTIME; "$@" >/dev/null 2>&1 || true; e=$EPOCHREALTIME; awk "BEGIN { printf \"%.2f\", $e - $s }"; }
options=(--quiet --lines 62 --points 3 --texts 3 --areas 7 --length-limit 1 --area-limit 100)
for run in 1 2 3; do
  plain=$(seconds "$build/bin/vexa-check" "${options[@]}" "$map")
  report=$(seconds "$build/bin/vexa-check" "${options[@]}" --report "$out/report.html" "$map")
  size=$(stat -c %s "$out/report.html")
  awk -v p="$plain" -v r="$report" -v s="$size" -v n="$run" 'BEGIN {
    printf "run %d: plain %.2f s, with --report %.2f s (%.2f x; goal 2 x), page %.2f MB (goal 8 MB)\n",
      n, p, r, r / p, s / 1e6 }'
done
for n in all 0; do
  t=$(seconds "$build/bin/vexa-check" "${options[@]}" --report-findings "$n" --report "$out/report-$n.html" "$map")
  echo "--report-findings $n: $t s, page $(awk -v s="$(stat -c %s "$out/report-$n.html")" 'BEGIN { printf "%.2f", s / 1e6 }') MB"
done
