#!/usr/bin/env bash
# Builds the check tests and vexa-check with ThreadSanitizer (CMake preset "tsan",
# binary directory build-tsan) and runs the tests of the parallel check run under it:
# any data race fails them.
# Usage: bash scripts/tsan.sh [--no-deps]
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = "--no-deps" ]; then shift; else bash scripts/install-deps.sh; fi
cmake --preset tsan
cmake --build build-tsan -j"$(nproc)" --target vexa_checks_tests vexa-check
cd build-tsan
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  ctest -j"$(nproc)" --output-on-failure -R '^(ParallelRun|CheckRun|VexaCheck)\.' "$@"
