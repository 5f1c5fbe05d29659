#!/usr/bin/env bash
# Builds Vexa with AddressSanitizer and UndefinedBehaviorSanitizer (CMake preset "sanitize",
# binary directory build-asan) and runs the whole test suite under them. Any undefined
# behaviour aborts the test that meets it (-fno-sanitize-recover=undefined), any leak fails
# it (LeakSanitizer, suppressions for system libraries only in scripts/lsan.supp).
# Usage: bash scripts/sanitize.sh [--no-deps] [ctest arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = "--no-deps" ]; then shift; else bash scripts/install-deps.sh; fi
cmake --preset sanitize
cmake --build --preset sanitize -j"$(nproc)"
# The test preset sets QT_QPA_PLATFORM=offscreen and the sanitizer options.
ctest --preset sanitize -j"$(nproc)" "$@"
