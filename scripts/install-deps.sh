#!/usr/bin/env bash
# Installs every package that building and testing Vexa needs (Debian 12, as root).
# Pass --wine to add the MinGW-w64 cross compiler and Wine for the Windows GIS-link test,
# --qgis to add QGIS's Python bindings for scripts/qgis-screenshots.py.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
packages=(
  cmake make g++ pkg-config
  libgtest-dev libgmock-dev
  libshp-dev            # dBASE tables (shapelib DBF API)
  mdbtools-dev          # Access (Jet 4) standard files
  libsqlite3-dev        # working copy of the standard
  qt6-base-dev          # windows
  qt6-translations-l10n # Qt's own Slovak texts (standard buttons and dialogs)
  xvfb xauth twm        # screenshots of the windows (twm draws their frames)
  clang libclang-rt-14-dev  # libFuzzer targets (scripts/fuzz.sh)
  python3               # fuzz seed corpora (scripts/fuzz-seeds.py)
  libgdal-dev gdal-bin  # GIS export of blocks and findings (ogrinfo in tests and scripts)
  libxml2-dev           # the tests read the HTML report back with its HTML parser
  libpng-dev            # reading map pictures back in the tests
  libcairo2-dev libpango1.0-dev fonts-dejavu-core  # the map view's drawing (Cairo, Pango, DejaVu Sans)
  help2man              # manual pages from the programs' --help
)
for option in "$@"; do
  case "$option" in
    --wine) packages+=(g++-mingw-w64-x86-64 wine wine64) ;;
    --qgis) packages+=(python3-qgis) ;;
  esac
done
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  apt-get update -qq
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
