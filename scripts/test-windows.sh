#!/usr/bin/env bash
# Cross-builds the GIS link and its Windows test with MinGW-w64 and runs the test under
# Wine against the fake TopoL program (DDEML client, user32/kernel32 platform).
# Not part of the default test run (.ci/run runs it); needs: bash scripts/install-deps.sh --wine
# Environment: VEXA_WIN_BUILD (build directory, default build-windows), WINEPREFIX
# (default: a private prefix inside the build directory, set up on first use, headless).
set -euo pipefail
cd "$(dirname "$0")/.."
for tool in x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-gcc-posix wine wineboot wineserver; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "test-windows: $tool not found (install with: bash scripts/install-deps.sh --wine)" >&2
    exit 2
  fi
done

build="${VEXA_WIN_BUILD:-build-windows}"
case "$build" in /*) ;; *) build="$PWD/$build" ;; esac
private_prefix=0
if [ -z "${WINEPREFIX:-}" ]; then
  export WINEPREFIX="$build/wineprefix"
  private_prefix=1
fi
export WINEDEBUG="${WINEDEBUG:--all}"

cmake -S tests/gislink/windows -B "$build" -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64.cmake" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)"

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  # Headless: no X server is needed with the null graphics driver.
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null
  wineserver -w
fi

status=0
# The test speaks the ANSI code page of the link's users (1250): Wine takes it from the locale name.
(cd "$build/bin" && env LANG=sk_SK.UTF-8 LC_ALL=sk_SK.UTF-8 wine ./vexa_gislink_wintests.exe "$@") | tr -d '\r' || status=$?
if [ "$private_prefix" = 1 ]; then
  wineserver -k 2>/dev/null || true  # a fake TopoL left behind by a failed test
fi
exit "$status"
