#!/usr/bin/env bash
# Builds both builds and runs every test: the native build under
# AddressSanitizer and UndefinedBehaviorSanitizer, the fuzz targets briefly,
# and the Windows build under Wine. Ends with CTest's summary.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/ensure-tools.sh

export QORVANE_WINEPREFIX="$root/build/windows/wineprefix"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

echo "== native build (sanitizers)"
cmake --preset native-asan >/dev/null
cmake --build --preset native-asan

echo "== fuzz targets (clang, libFuzzer)"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
scripts/fuzz.sh 20

echo "== Windows build (mingw-w64)"
cmake --preset windows >/dev/null
cmake --build --preset windows
# Create the Wine prefix once, outside any timed test.
cmake/wine-run.sh build/windows/bin/exit_with.exe 0 >/dev/null 2>&1 || true

echo "== native tests"
ctest --preset native-asan -j2

echo "== Windows tests under Wine"
ctest --preset windows -j2

# ---- release packages (scripts/package_test.sh) ----
echo "== release packages: build, install into scratch directories, run a job"
scripts/package_test.sh
