#!/usr/bin/env bash
# Pictures of the check report as a reader gets it, printed to PDF (A4) by headless Chromium
# and rasterised:
#  - the bundled sample map (vexa-check --report on a copy): its first page and first page
#    of findings (sprava-1.png, sprava-chyby.png);
#  - one benchmark block of scale 0.2 (1,114 findings with the options of bench/, the default findings per block):
#    its first page, first page of findings and last page (sprava-velka-1.png,
#    sprava-velka-chyby.png, sprava-velka-koniec.png) and its page count.
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
cmake --build "$build" --target vexa-check vexa-bench-gen sample_map -j"$(nproc)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"

# Prints NAME.html to NAME.pdf; sets pages and findings (the first page of findings).
print() {
  chromium --headless=new --no-sandbox --disable-gpu --no-pdf-header-footer \
    --print-to-pdf="$work/$1.pdf" "file://$work/$1.html" 2>/dev/null
  pages=$(pdfinfo "$work/$1.pdf" | sed -n 's/^Pages: *//p')
  findings=1
  for ((p = 1; p <= pages; p++)); do
    if pdftotext -f "$p" -l "$p" "$work/$1.pdf" - | grep -q "Chyby podľa blokov"; then findings=$p; break; fi
  done
}
page() { pdftoppm -r 80 -png -f "$2" -l "$2" -singlefile "$work/$1.pdf" "$out/$3"; }

cp -r "$build/examples/map" "$work/map"
rm -f "$work/map/Chyby.DBF"
status=0
"$build/bin/vexa-check" --quiet --lines 63 --points 3 --texts 3 --areas 7 --length-limit 0.5 --area-limit 10 \
  --report "$work/sprava.html" "$work/map" >/dev/null || status=$?
[ "$status" -le 3 ] || { echo "vexa-check failed ($status)" >&2; exit 1; }
print sprava
page sprava 1 sprava-1
page sprava "$findings" sprava-chyby
echo "sample map: $pages pages; findings from page $findings: $out/sprava-1.png $out/sprava-chyby.png"

"$build/bin/vexa-bench-gen" "$work/velka" 0.2 >/dev/null
status=0
big=(--quiet --lines 62 --points 3 --texts 3 --areas 7 --length-limit 1 --area-limit 100)  # as bench/
"$build/bin/vexa-check" "${big[@]}" --report "$work/velka.html" "$work/velka" >/dev/null || status=$?
[ "$status" -le 3 ] || { echo "vexa-check failed ($status)" >&2; exit 1; }
print velka
page velka 1 sprava-velka-1
page velka "$findings" sprava-velka-chyby
page velka "$pages" sprava-velka-koniec
echo "scale-0.2 block: $(grep -c '<tr><td>' "$work/velka.html") table rows, $(stat -c %s "$work/velka.html") bytes," \
  "$pages pages (goal at most 40); findings from page $findings"
# The same block with every finding listed, for comparison (no pictures kept).
"$build/bin/vexa-check" "${big[@]}" --report-findings all --report "$work/vsetky.html" "$work/velka" >/dev/null || true
print vsetky
echo "scale-0.2 block, --report-findings all: $(stat -c %s "$work/vsetky.html") bytes, $pages pages"
