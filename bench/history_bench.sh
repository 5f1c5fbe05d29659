#!/usr/bin/env bash
# The history on the 300-block map (copies of the scale-0.07 block, about 188,880 findings
# with lines 62, points 3, texts 3, areas 7, limits 1 and 100), three rounds in turn: `cat`
# of the map's files; vexa-check with no history (.vexa removed: the run writes the first);
# vexa-check again on that history (nothing changed), with what it added to .vexa; then
# `vexa-review MAP compare` of the two runs and the statuses the error browser reads
# (vexa-bench-review --read).
# Goals: the run with a history at most 1.10 x the run without one and at most 6 x cat;
# an unchanged run adds at most 1 MB to .vexa; compare under 0.5 s.
# BASE=OTHERBUILDDIR times the same with another build (the one before a change) in the
# same rounds, for the ratios on a noisy machine.
#   bench/history_bench.sh BUILDDIR [WORKDIR]   (a Release build; the map as many_blocks.sh)
set -euo pipefail
build=$(cd "${1:?Usage: $0 BUILDDIR [WORKDIR]}" && pwd)
work=${2:-/tmp/vexa-many-blocks}
map=$work/map300
mkdir -p "$work"
[ -d "$map/LE_00300.blk" ] || "$build/bin/vexa-bench-gen" "$map" 0.07 --blocks 300 >/dev/null
seconds() { local s e; s=$EPOCHREALTIME; "$@" >/dev/null 2>&1 || true; e=$EPOCHREALTIME; awk "BEGIN { printf \"%.2f\", $e - $s }"; }
options=(--quiet --lines 62 --points 3 --texts 3 --areas 7 --length-limit 1 --area-limit 100)
catmap() { find "$map" -path "$map/.vexa" -prune -o -type f -print0 | xargs -0 cat >/dev/null; }
size() { du -sb "$map/.vexa" | cut -f1; }
builds=("$build")
[ -n "${BASE:-}" ] && builds+=("$(cd "$BASE" && pwd)")
for run in 1 2 3; do
  c=$(seconds catmap)
  for b in "${builds[@]}"; do
    rm -rf "$map/.vexa"
    plain=$(seconds "$b/bin/vexa-check" "${options[@]}" "$map")
    before=$(size)
    kept=$(seconds "$b/bin/vexa-check" "${options[@]}" "$map")
    after=$(size)
    compare=$(seconds "$b/bin/vexa-review" "$map" compare --json)
    awk -v c="$c" -v p="$plain" -v k="$kept" -v b="$before" -v a="$after" -v m="$compare" -v n="$run" -v w="$b" 'BEGIN {
      printf "round %d, %s: cat %.2f s; no history %.2f s; with history %.2f s (%.2f x, goal 1.10; %.1f x cat, goal 6)\n",
        n, w, c, p, k, k / p, k / c
      printf "  .vexa %.2f MB after the first run, +%.3f MB by the unchanged run (goal 1 MB); compare %.2f s (goal 0.5)\n",
        b / 1e6, (a - b) / 1e6, m }'
  done
done
"$build/bin/vexa-check" "${options[@]}" "$map" >/dev/null 2>&1 || true
"$build/bin/vexa-bench-review" "$map" --read
