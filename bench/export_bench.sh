#!/usr/bin/env bash
# Times the GIS export of the one-block benchmark map (vexa-info --export to a GeoPackage)
# against the check run over the same map (vexa-check lines 62, points 3, texts 3, areas 7)
# and against ogr2ogr copying the exported GeoPackage, with the peak memory of the export
# and of the copy (/usr/bin/time -v).
# Usage: bench/export_bench.sh BUILDDIR [SCALE]   (a Release build)
set -euo pipefail
build=${1:?build directory}
scale=${2:-1}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bin/vexa-bench-gen" "$work/map" "$scale" >/dev/null
seconds() { local s e; s=$EPOCHREALTIME; "$@" >/dev/null 2>&1 || true; e=$EPOCHREALTIME; awk "BEGIN { printf \"%.2f\", $e - $s }"; }
# "SECONDS PEAK_MB" of a command, from /usr/bin/time -v.
measured() {
  /usr/bin/time -v -o "$work/time" "$@" >/dev/null 2>&1 || true
  awk -F': ' '/Elapsed \(wall clock\)/ { n = split($2, t, ":"); s = t[n] + (n > 1 ? 60 * t[n - 1] : 0) }
              /Maximum resident set size/ { kb = $2 }
              END { printf "%.2f s %.0f MB", s, kb / 1024 }' "$work/time"
}
for run in 1 2 3; do
  check=$(seconds "$build/bin/vexa-check" --lines 62 --points 3 --texts 3 --areas 7 --length-limit 1 \
    --area-limit 100 "$work/map")
  rm -f "$work/map.gpkg" "$work/copy.gpkg"
  export=$(measured "$build/bin/vexa-info" "$work/map/LE_00001.blk" --export "$work/map.gpkg")
  copy=$(measured ogr2ogr -f GPKG "$work/copy.gpkg" "$work/map.gpkg")
  findings=$(seconds "$build/bin/vexa-check" --lines 62 --points 3 --texts 3 --areas 7 --length-limit 1 \
    --area-limit 100 --export "$work/findings.gpkg" "$work/map")
  echo "run $run: check $check s, vexa-info --export $export, ogr2ogr copy $copy, check with --export $findings s"
done
ogrinfo -so "$work/map.gpkg" | sed -n '3,$p'
