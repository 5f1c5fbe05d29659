#!/usr/bin/env bash
# Installs the dependencies, builds Vexa and runs it on the bundled sample map with the
# sample standard: the window when a display is present, else the batch check run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$(nproc)"
map=build/examples/map
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x build/bin/vexa ]; then
  exec build/bin/vexa "$map"
fi
# Exit status 1 means the check found faults, which the sample map has on purpose.
status=0
build/bin/vexa-check --lines 62 --points 3 --texts 3 --areas 7 --db 1 \
  --length-limit 1 --area-limit 100 "$map" || status=$?
if [ "$status" -gt 1 ]; then exit "$status"; fi
echo "Findings written to $map/Chyby.DBF"
