#!/usr/bin/env bash
# Times vexa-check --report on the one-block benchmark map against the plain run (the same
# options: lines 62, points 3, texts 3, areas 7, limits 1 and 100) and gives the page's size.
# Goal: the run with its report at most 3 x the plain run + 2 s, the page under 20 MB with
# the default 300 pictures.
# Usage: bench/report_bench.sh BUILDDIR [SCALE]   (a Release build)
set -euo pipefail
build=${1:?build directory}
scale=${2:-1}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bin/vexa-bench-gen" "$work/map" "$scale" >/dev/null
seconds() { local s e; s=$EPOCHREALTIME; "$@" >/dev/null 2>&1 || true; e=$EPOCHREALTIME; awk "BEGIN { printf \"%.2f\", $e - $s }"; }
options=(--quiet --lines 62 --points 3 --texts 3 --areas 7 --length-limit 1 --area-limit 100)
for run in 1 2 3; do
  plain=$(seconds "$build/bin/vexa-check" "${options[@]}" "$work/map")
  rm -f "$work/report.html"
  report=$(seconds "$build/bin/vexa-check" "${options[@]}" --report "$work/report.html" "$work/map")
  size=$(stat -c %s "$work/report.html")
  awk -v p="$plain" -v r="$report" -v s="$size" -v n="$run" 'BEGIN {
    printf "run %d: plain %.2f s, with --report %.2f s (limit 3 x plain + 2 s = %.2f s), page %.1f MB\n",
      n, p, r, 3 * p + 2, s / 1e6 }'
done
