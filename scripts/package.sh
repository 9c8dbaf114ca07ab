#!/usr/bin/env bash
# Builds the release packages with the release presets and CPack:
#   build/windows-release/Qorvane-<version>-win64.zip          Qorvane.exe, vtlog.exe, guide, samples
#   build/windows-release/Qorvane-<version>-win64-testkit.zip  sample engine, test programs
#   build/native-release/Qorvane-<version>-linux-x86_64.tar.gz (and -testkit), qorvane_<version>_amd64.deb
# Only what the packages hold is built (the target "release"), not the tests.
# usage: scripts/package.sh [windows|native]...   (both when none is named)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/ensure-tools.sh
# The Windows build runs its sample writer under Wine.
export QORVANE_WINEPREFIX="${QORVANE_WINEPREFIX:-$root/build/windows/wineprefix}"

builds=("$@")
((${#builds[@]})) || builds=(windows native)
for build in "${builds[@]}"; do
  preset=$build-release
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target release
  cpack --preset "$preset" >/dev/null
  ls -l build/"$preset"/*.zip build/"$preset"/*.tar.gz build/"$preset"/*.deb 2>/dev/null || true
done
