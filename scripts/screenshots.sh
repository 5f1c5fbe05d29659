#!/usr/bin/env bash
# Pictures of the three windows (main window, error browser, rename dialog) taken
# under Xvfb on the bundled sample map. The small window manager twm draws the
# window frames and captions when it is installed.
#   scripts/screenshots.sh [OUTDIR]      (default docs/screenshots; BUILD_DIR default build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
out=${1:-docs/screenshots}
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release
fi
cmake --build "$build" --target vexa vexa_screenshots sample_map -j"$(nproc)"
mkdir -p "$out"
if ! command -v twm >/dev/null; then
  echo "twm is not installed: the pictures show no window frames or captions" >&2
fi
# twm with the fixed fonts of xfonts-base (its default fonts may be missing).
twmrc=$(mktemp)
trap 'rm -f "$twmrc"' EXIT
cat >"$twmrc" <<'TWMRC'
TitleFont "-misc-fixed-bold-r-normal--13-*-*-*-*-*-*-*"
MenuFont "-misc-fixed-medium-r-normal--13-*-*-*-*-*-*-*"
IconFont "-misc-fixed-medium-r-normal--13-*-*-*-*-*-*-*"
ResizeFont "-misc-fixed-medium-r-normal--13-*-*-*-*-*-*-*"
IconManagerFont "-misc-fixed-medium-r-normal--13-*-*-*-*-*-*-*"
NoGrabServer
DecorateTransients
Color { TitleBackground "navy" TitleForeground "white" BorderColor "gray40" }
TWMRC
export LANG=C.UTF-8
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  if command -v twm >/dev/null; then twm -f "$3" >/dev/null 2>&1 & sleep 1; fi
  "$0" "$1" "$2"' "$build/bin/vexa_screenshots" "$build/examples/map" "$out" "$twmrc"
ls -l "$out"
