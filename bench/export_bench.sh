#!/usr/bin/env bash
# Times the GIS export of the one-block benchmark map (vexa-info --export to a GeoPackage)
# against the check run over the same map (vexa-check lines 62, points 3, texts 3, areas 7).
# Usage: bench/export_bench.sh BUILDDIR [SCALE]   (a Release build)
set -euo pipefail
build=${1:?build directory}
scale=${2:-1}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bin/vexa-bench-gen" "$work/map" "$scale" >/dev/null
seconds() { local s e; s=$EPOCHREALTIME; "$@" >/dev/null 2>&1 || true; e=$EPOCHREALTIME; awk "BEGIN { printf \"%.2f\", $e - $s }"; }
for run in 1 2 3; do
  check=$(seconds "$build/bin/vexa-check" --lines 62 --points 3 --texts 3 --areas 7 --length-limit 1 \
    --area-limit 100 "$work/map")
  rm -f "$work/map.gpkg"
  export=$(seconds "$build/bin/vexa-info" "$work/map/LE_00001.blk" --export "$work/map.gpkg")
  findings=$(seconds "$build/bin/vexa-check" --lines 62 --points 3 --texts 3 --areas 7 --length-limit 1 \
    --area-limit 100 --export "$work/findings.gpkg" "$work/map")
  echo "run $run: check $check s, vexa-info --export $export s, check with --export $findings s"
done
ogrinfo -so "$work/map.gpkg" | sed -n '3,$p'
