#!/usr/bin/env bash
# Builds the release packages with the release presets, CPack and wixl:
#   build/windows-release/Qorvane-<version>-win64.zip          Qorvane.exe, vtlog.exe, guide, samples
#   build/windows-release/Qorvane-<version>-x64.msi            the same files, as a Windows Installer package
#   build/windows-release/Qorvane-<version>-win64-testkit.zip  sample engine, test programs
#   build/native-release/Qorvane-<version>-linux-x86_64.tar.gz (and -testkit), qorvane_<version>_amd64.deb
# and SHA256SUMS beside each set. The Windows programs and the .msi are signed
# when QORVANE_SIGN_PFX names a certificate (scripts/sign.sh), else unsigned.
# Only what the packages hold is built (the target "release"), not the tests.
# usage: scripts/package.sh [windows|native]...   (both when none is named)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/ensure-tools.sh
# The Windows build runs its sample writer under Wine.
export QORVANE_WINEPREFIX="${QORVANE_WINEPREFIX:-$root/build/windows/wineprefix}"

# The installer package, made from the runtime zip's files so that both hold
# the same (signed) programs; the WiX source is the one the build filled in.
build_msi() { # release-dir version
  local dir=$1 version=$2 stage=$1/msi-stage
  rm -rf "$stage"
  unzip -q "$dir/Qorvane-$version-win64.zip" -d "$stage"
  wixl -a x64 -D SourceDir="$stage/Qorvane-$version-win64" -o "$dir/Qorvane-$version-x64.msi" "$dir/Qorvane.wxs"
  scripts/sign.sh "$dir/Qorvane-$version-x64.msi"
  rm -rf "$stage"
}

builds=("$@")
((${#builds[@]})) || builds=(windows native)
for build in "${builds[@]}"; do
  preset=$build-release
  dir=build/$preset
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target release
  rm -f "$dir"/*.zip "$dir"/*.msi "$dir"/*.tar.gz "$dir"/*.deb "$dir/SHA256SUMS"
  cpack --preset "$preset" | { grep -E "^(un)?signed" || true; }
  version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$dir/CPackConfig.cmake")
  [[ $build == windows ]] && build_msi "$dir" "$version"
  (cd "$dir" && shopt -s nullglob && packages=(*.zip *.msi *.tar.gz *.deb) && sha256sum -- "${packages[@]}" >SHA256SUMS)
  ls -l "$dir"/*.zip "$dir"/*.msi "$dir"/*.tar.gz "$dir"/*.deb "$dir/SHA256SUMS" 2>/dev/null || true
done
