#!/usr/bin/env bash
# The main window's check run against vexa-check on the 300-block map, in turn, three times:
#   bench/window_bench.sh BUILDDIR [WORKDIR]
# Both check lines 62, points 3, texts 3, areas 7 with the limits 1 and 100 (default workers);
# the window's time runs from "Kontrola" until the error browser is shown and drawn.
set -euo pipefail
build=${1:?BUILDDIR}
work=${2:-/tmp/vexa-window-bench}
mkdir -p "$work"
[ -d "$work/map300/LE_00300.blk" ] || "$build/bin/vexa-bench-gen" "$work/map300" 0.07 --blocks 300 >/dev/null
for i in 1 2 3; do
  rm -f "$work/map300/Chyby.DBF"
  start=$(date +%s.%N)
  "$build/bin/vexa-check" --quiet --lines 62 --points 3 --texts 3 --areas 7 --length-limit 1 --area-limit 100 \
    "$work/map300" >/dev/null 2>&1 || true
  end=$(date +%s.%N)
  cli=$(echo "$end - $start" | bc)
  rm -f "$work/map300/Chyby.DBF"
  win=$(QT_QPA_PLATFORM=offscreen "$build/bin/vexa-bench-window" "$work/map300" | sed -n 's/.*browser was shown: \([0-9.]*\) s.*/\1/p')
  printf 'vexa-check %.3f s, window %.3f s, ratio %.2f\n' "$cli" "$win" "$(echo "$win / $cli" | bc -l)"
done
