#!/usr/bin/env bash
# Times ogr2ogr -f GPKG reading the one-block benchmark map through the GDAL driver
# (build/gdalplugins/ogr_Vexa.so) against vexa-info --export writing the same block, three
# times in turn, with the peak memory of each (/usr/bin/time -v) and the ratio of the times.
# Usage: bench/gdaldriver_bench.sh BUILDDIR [SCALE]   (a Release build)
set -euo pipefail
build=$(cd "${1:?build directory}" && pwd)
scale=${2:-1}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bin/vexa-bench-gen" "$work/map" "$scale" >/dev/null
block="$work/map/LE_00001.blk"
export GDAL_DRIVER_PATH="$build/gdalplugins"
# "SECONDS MB" of a command, from /usr/bin/time -v.
measured() {
  /usr/bin/time -v -o "$work/time" "$@" >/dev/null 2>&1 || echo "failed: $*" >&2
  awk -F': ' '/Elapsed \(wall clock\)/ { n = split($2, t, ":"); s = t[n] + (n > 1 ? 60 * t[n - 1] : 0) }
              /Maximum resident set size/ { kb = $2 }
              END { printf "%.2f %.0f\n", s, kb / 1024 }' "$work/time"
}
for run in 1 2 3; do
  rm -f "$work/export.gpkg" "$work/driver.gpkg"
  read -r es em < <(measured "$build/bin/vexa-info" "$block" --export "$work/export.gpkg")
  read -r ds dm < <(measured ogr2ogr -f GPKG "$work/driver.gpkg" "$block")
  echo "run $run: vexa-info --export $es s $em MB, ogr2ogr through the driver $ds s $dm MB," \
       "ratio $(awk "BEGIN { printf \"%.2f\", $ds / $es }")"
done
uptime
