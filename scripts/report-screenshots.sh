#!/usr/bin/env bash
# Pictures of the check report of the bundled sample map as a reader gets it: vexa-check
# --report on a copy of the map, the page printed to PDF (A4) by headless Chromium and
# its first page and first page of findings rasterised (sprava-1.png, sprava-chyby.png).
# Installs Debian's chromium and poppler-utils when missing; not part of the tests.
#   scripts/report-screenshots.sh [OUTDIR]      (default docs/screenshots; BUILD_DIR default build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
out=${1:-docs/screenshots}
if ! command -v chromium >/dev/null || ! command -v pdftoppm >/dev/null; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends chromium poppler-utils fonts-dejavu-core
fi
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release
fi
cmake --build "$build" --target vexa-check sample_map -j"$(nproc)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$build/examples/map" "$work/map"
rm -f "$work/map/Chyby.DBF"
status=0
"$build/bin/vexa-check" --quiet --lines 63 --points 3 --texts 3 --areas 7 --length-limit 0.5 --area-limit 10 \
  --report "$work/sprava.html" "$work/map" >/dev/null || status=$?
[ "$status" -le 3 ] || { echo "vexa-check failed ($status)" >&2; exit 1; }
chromium --headless=new --no-sandbox --disable-gpu --no-pdf-header-footer \
  --print-to-pdf="$work/sprava.pdf" "file://$work/sprava.html" 2>/dev/null
pages=$(pdfinfo "$work/sprava.pdf" | sed -n 's/^Pages: *//p')
findings=1
for ((p = 1; p <= pages; p++)); do
  if pdftotext -f "$p" -l "$p" "$work/sprava.pdf" - | grep -q "Chyby podľa blokov"; then findings=$p; break; fi
done
mkdir -p "$out"
pdftoppm -r 80 -png -f 1 -l 1 -singlefile "$work/sprava.pdf" "$out/sprava-1"
pdftoppm -r 80 -png -f "$findings" -l "$findings" -singlefile "$work/sprava.pdf" "$out/sprava-chyby"
echo "$pages pages; findings from page $findings: $out/sprava-1.png $out/sprava-chyby.png"
