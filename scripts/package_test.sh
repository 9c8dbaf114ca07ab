#!/usr/bin/env bash
# Package test: builds the release packages (scripts/package.sh), installs each
# into a scratch directory as an operator would, with a real installation
# around it, runs jobs through it and vtlog check on it.
#   Windows: the zip unpacked and run under Wine; the testkit's sample engine
#            is copied in as Qorvane.dll (only here, never in a package).
#            The .msi installed, repaired, upgraded (by a package of a higher
#            version made here), refused as a downgrade and uninstalled with
#            Wine's msiexec in a private prefix, into a program directory
#            that holds the suite's Qorvane.dll, which must stay as it was.
#   Linux:   the .deb unpacked with dpkg-deb -x, the .tar.gz compared with it,
#            and cmake --install into a prefix.
# The packages are signed with a throw-away certificate and verified; every
# set is checked against its SHA256SUMS. Also checks that the version
# resources, vtlog --version and the package names give the one version of
# CMakeLists.txt.
# usage: scripts/package_test.sh [windows|native]...   (both when none is named)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
export QORVANE_WINEPREFIX="${QORVANE_WINEPREFIX:-$root/build/windows/wineprefix}"
builds=("$@")
((${#builds[@]})) || builds=(windows native)
mkdir -p build
scratch=$(mktemp -d "$root/build/package-test.XXXXXX")
# The private prefix's wineserver may still be writing its registry: wait for it.
trap '[[ -d $scratch/wineprefix ]] && WINEPREFIX=$scratch/wineprefix /usr/lib/wine/wineserver -w; rm -rf "$scratch"' EXIT

# A throw-away code-signing certificate; its password must show in no output.
password=$(openssl rand -hex 12)
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$scratch/key.pem" -out "$scratch/cert.pem" \
  -days 2 -subj "/CN=Qorvane package test" 2>/dev/null
openssl pkcs12 -export -inkey "$scratch/key.pem" -in "$scratch/cert.pem" -out "$scratch/sign.pfx" \
  -passout "pass:$password"
QORVANE_SIGN_PFX=$scratch/sign.pfx QORVANE_SIGN_PASSWORD=$password scripts/package.sh "${builds[@]}" 2>&1 |
  tee "$scratch/package.log"

version=$(sed -n 's/^project(Qorvane VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
failures=0
pass() { echo "  ok: $*"; }
fail() {
  echo "  FAILED: $*"
  failures=$((failures + 1))
}
expect() { # description actual expected
  if [[ $2 == "$3" ]]; then pass "$1"; else fail "$1: got [$2], expected [$3]"; fi
}

# The files below a directory, one line, relative names.
files_in() { # dir
  if [[ -d $1 ]]; then (cd "$1" && find . -type f | LC_ALL=C sort | tr '\n' ' '); else echo "(no directory $1)"; fi
}

if grep -qF "$password" "$scratch/package.log"; then fail "the signing password shows in the output"; fi

# Every package of a set has its line in SHA256SUMS, and each line holds.
check_sums() { # dir
  local listed present
  listed=$(awk '{print $2}' "$1/SHA256SUMS" 2>/dev/null | sort | tr '\n' ' ')
  present=$(cd "$1" && shopt -s nullglob && printf '%s\n' *.zip *.msi *.tar.gz *.deb | sort | tr '\n' ' ')
  expect "SHA256SUMS lists every package of $1" "$listed" "$present"
  (cd "$1" && sha256sum --quiet -c SHA256SUMS) && pass "sha256sum -c SHA256SUMS" || fail "sha256sum -c in $1"
}

# Signed with the throw-away certificate; a changed byte breaks the signature;
# without a certificate nothing is signed or changed.
check_signatures() { # file...
  local file
  for file in "$@"; do
    osslsigncode verify -CAfile "$scratch/cert.pem" -in "$file" >/dev/null 2>&1 &&
      pass "$(basename "$file") signature verifies" || fail "$(basename "$file"): signature does not verify"
  done
  cp "$1" "$scratch/changed.exe"
  printf '\xA5' | dd of="$scratch/changed.exe" bs=1 seek=4096 conv=notrunc status=none
  osslsigncode verify -CAfile "$scratch/cert.pem" -in "$scratch/changed.exe" >/dev/null 2>&1 &&
    fail "a changed byte still verifies" || pass "a changed byte fails verification"
  cp "$scratch/changed.exe" "$scratch/unsigned.exe"
  out=$(QORVANE_SIGN_PFX='' scripts/sign.sh "$scratch/unsigned.exe")
  [[ $out == unsigned* ]] && cmp -s "$scratch/changed.exe" "$scratch/unsigned.exe" &&
    pass "without a certificate: unsigned, and said so" || fail "without a certificate: $out"
}

# The sample log settings file in the launcher's one form: byte-order mark,
# UTF-16LE, CR LF after every line, the last one included.
check_properties() { # file
  [[ -f $1 ]] || { fail "no $1"; return; }
  local hex
  hex=$(od -An -tx1 -v "$1" | tr -d ' \n')
  [[ $hex == fffe* && $hex == *0d000a00 ]] || { fail "$1: no byte-order mark or no CR LF at the end"; return; }
  local text
  text=$(tail -c +3 "$1" | iconv -f UTF-16LE -t UTF-8)
  if grep -q $'[^\r]$' <<<"$text" || grep -q '^#' <<<"$text"; then
    fail "$1: a line without CR LF, or a comment line"
  else
    pass "samples/logsetup_w.properties is UTF-16LE with byte-order mark and CR LF"
  fi
}

# One installation: program directory, suite root with the samples in place,
# data root. Prints nothing; the caller runs jobs in it.
lay_out() { # base program-dir
  mkdir -p "$1/Vantrel/system" "$1/Vantrel/private" "$1/VantrelData"
  cp "$2/samples/VantrelV12.ini" "$1/Vantrel/system/"
  cp "$2/samples/logsetup_w.properties" "$1/Vantrel/private/"
}

# Runs the jobs and the checks of one installed build. "run" runs a program
# of the build (under Wine or natively), "path" spells a path for it.
exercise() { # launcher vtlog run_job success-exit failure-exit
  local launcher=$1 vtlog=$2 runner=$3 code out
  code=0
  out=$(run "$vtlog" check 2>&1) || code=$?
  expect "vtlog check before the first job exits 0" "$code" 0
  [[ $code == 0 ]] || printf '%s\n' "$out" | sed -n '/^findings/,$p'
  expect "job -Xrc1 exits with the engine's result" "$(run "$runner" "$(path "$launcher")" "-Lid4711 -Xrc1" | tr -d '\r')" "$4"
  expect "job -Xrc-5 exits with the engine's result" "$(run "$runner" "$(path "$launcher")" "-Lid4712 -Xrc-5" | tr -d '\r')" "$5"
  out=$(run "$vtlog" jobs | tr -d '\r') || true
  grep -q '^4711 .* success ' <<<"$out" && grep -q '^4712 .* failed -5 ' <<<"$out" &&
    pass "vtlog jobs: 4711 success, 4712 failed -5" || fail "vtlog jobs: $out"
  code=0
  run "$vtlog" check >/dev/null 2>&1 || code=$?
  expect "vtlog check after the jobs exits 0" "$code" 0
  code=0
  out=$(run "$vtlog" --version 2>&1 | tr -d '\r') || code=$?
  if [[ $code == 0 ]] && grep -qw -- "$version" <<<"$out"; then
    pass "vtlog --version names $version"
  elif [[ $code == 2 && $out == *sage* ]]; then
    echo "  skipped: this vtlog has no --version (usage error)"
  else
    fail "vtlog --version (exit $code): $out"
  fi
}

# The installer package under Wine's msiexec, in a prefix of its own (its
# registry collects what the package installs). msiexec runs through run_job
# for its full exit code: 1603 (refused) arrives as 67 through wine64 itself.
msiexec() { run "$kit/run_job.exe" 'C:\windows\system32\msiexec.exe' "$*" | tr -d '\r'; }
# The entries of Programs and Features that carry the package's name:
# "product-code|version|publisher" per line.
installed_products() {
  run reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s /reg:64 | tr -d '\r' |
    awk '/^HKEY/ {key = $0; sub(/.*\\/, "", key); name = ""} $1 == "DisplayName" {name = substr($0, index($0, $3))}
         $1 == "DisplayVersion" {version = $3} $1 == "Publisher" && name ~ /Orbeck launcher/ {print key "|" version "|" $3}'
}
msi_installed() { # step version job: the programs, the entry, a job, the engine
  local bin=$msi/Vantrel/bin
  expect "$1: files in the program directory" "$(files_in "$bin")" \
    "./Qorvane.dll ./Qorvane.exe ./Qorvane/operators.md ./Qorvane/samples/VantrelV12.ini ./Qorvane/samples/logsetup_w.properties ./vtlog.exe "
  expect "$1: Programs and Features" "$(installed_products | cut -d'|' -f2-)" "$2|Vantrel"
  expect "$1: Qorvane.exe version resource" "$(run "$kit/file_version.exe" "$(path "$bin/Qorvane.exe")" | tr -d '\r' | sed -n 3p)" \
    "FileVersion $version"
  expect "$1: a job runs" "$(run "$kit/run_job.exe" "$(path "$bin/Qorvane.exe")" "-Lid$3 -Xrc1" | tr -d '\r')" 1
  cmp -s "$kit/sample_engine.dll" "$bin/Qorvane.dll" && pass "$1: Qorvane.dll unchanged" || fail "$1: Qorvane.dll changed"
}
test_msi() { # release-dir
  local package=$1/Qorvane-$version-x64.msi next bin=$msi/Vantrel/bin
  next=${version%.*}.$((${version##*.} + 1))
  unzip -q "$1/Qorvane-$version-win64.zip" -d "$scratch/next"
  # wixl takes no absolute source directory.
  local source
  source=$(realpath --relative-to=. "$scratch/next/Qorvane-$version-win64")
  wixl -a x64 -D Version="$next" -D ProductCode="$(cat /proc/sys/kernel/random/uuid)" \
    -D SourceDir="$source" -o "$scratch/Qorvane-$next-x64.msi" "$1/Qorvane.wxs"
  wixl -a x64 -D SourceDir="$source" -o "$scratch/rebuilt.msi" "$1/Qorvane.wxs"
  lay_out "$msi" "$pkg"
  mkdir -p "$bin"
  cp "$kit/sample_engine.dll" "$bin/Qorvane.dll"
  export VANTREL_V12="$(path "$bin");$(path "$msi/Vantrel");$(path "$msi/VantrelData")"
  expect "msiexec /i INSTALLDIR=... /qn" "$(msiexec /i "$(path "$package")" /qn "INSTALLDIR=$(path "$bin")")" 0
  msi_installed install "$version" 4721
  # Another build of the installed version is that product, not a second one.
  code=$(msiexec /i "$(path "$scratch/rebuilt.msi")" /qn)
  [[ $code == 0 || $code == 1638 ]] && pass "a rebuild of $version: exit $code" || fail "a rebuild of $version: exit $code"
  msi_installed "a rebuild of $version" "$version" 4725
  # Wine's msiexec /f takes no product code; REINSTALL is what /f sets.
  rm "$bin/Qorvane.exe"
  expect "repair with no INSTALLDIR" "$(msiexec /i "$(path "$package")" REINSTALL=ALL REINSTALLMODE=omus /qn)" 0
  msi_installed repair "$version" 4722
  expect "upgrade to $next with no INSTALLDIR" "$(msiexec /i "$(path "$scratch/Qorvane-$next-x64.msi")" /qn)" 0
  msi_installed upgrade "$next" 4723
  expect "downgrade to $version refused" "$(msiexec /i "$(path "$package")" /qn)" 1603
  msi_installed "after the refused downgrade" "$next" 4724
  expect "uninstall by product code, no properties" "$(msiexec /x "$(installed_products | cut -d'|' -f1)" /qn)" 0
  expect "after uninstall: only the engine is left" "$(files_in "$bin")" "./Qorvane.dll "
  expect "after uninstall: no entry in Programs and Features" "$(installed_products)" ""
  cmp -s "$kit/sample_engine.dll" "$bin/Qorvane.dll" && pass "Qorvane.dll byte-for-byte the same at the end" ||
    fail "Qorvane.dll changed by the package"
  [[ ! -e $WINEPREFIX/drive_c/Vantrel ]] && pass "nothing went to the default directory" ||
    fail "files in the default directory C:\\Vantrel"
}

for build in "${builds[@]}"; do
  dir=build/$build-release
  check_sums "$dir"
  if [[ $build == windows ]]; then
    echo "== Windows package, under Wine"
    base=Qorvane-$version-win64
    [[ -f $dir/$base.zip && -f $dir/$base-testkit.zip ]] && pass "$base.zip and its testkit" ||
      fail "no $dir/$base.zip or $base-testkit.zip"
    if unzip -Z1 "$dir/$base.zip" | grep -qi '\.dll$'; then
      fail "$base.zip holds a library: $(unzip -Z1 "$dir/$base.zip" | grep -i '\.dll$')"
    else
      pass "$base.zip holds no library (no Qorvane.dll)"
    fi
    unzip -q "$dir/$base.zip" -d "$scratch/win"
    unzip -q "$dir/$base-testkit.zip" -d "$scratch/win-testkit"
    pkg=$scratch/win/$base kit=$scratch/win-testkit/$base/testkit
    check_properties "$pkg/samples/logsetup_w.properties"
    # The guide's layout: the programs beside the suite's engine.
    lay_out "$scratch/win" "$pkg"
    bin=$scratch/win/Vantrel/bin
    mkdir -p "$bin"
    cp "$pkg/Qorvane.exe" "$pkg/vtlog.exe" "$bin/"
    cp "$kit/sample_engine.dll" "$bin/Qorvane.dll"
    run() { cmake/wine-run.sh "$@"; }
    path() { echo "Z:${1//\//\\}"; }
    export VANTREL_V12="$(path "$bin");$(path "$scratch/win/Vantrel");$(path "$scratch/win/VantrelData")"
    for exe in Qorvane vtlog; do
      expect "$exe.exe version resource" "$(run "$kit/file_version.exe" "$(path "$bin/$exe.exe")" | tr -d '\r' | tr '\n' '|')" \
        "fixed $version.0|ProductName Vantrel V12|FileVersion $version|ProductVersion $version|"
    done
    # All 32 bits of the exit code, through GetExitCodeProcess.
    exercise "$bin/Qorvane.exe" "$bin/vtlog.exe" "$kit/run_job.exe" 1 -5
    check_signatures "$pkg/Qorvane.exe" "$pkg/vtlog.exe" "$dir/Qorvane-$version-x64.msi"
    msi=$scratch/msi
    export WINEPREFIX=$scratch/wineprefix
    test_msi "$dir"
    unset WINEPREFIX
  else
    echo "== Linux packages"
    base=Qorvane-$version-linux-x86_64
    deb=$dir/qorvane_${version}_amd64.deb
    [[ -f $deb && -f $dir/$base.tar.gz && -f $dir/$base-testkit.tar.gz ]] &&
      pass "$(basename "$deb"), $base.tar.gz and its testkit" || fail "packages missing in $dir"
    mkdir -p "$scratch/deb" "$scratch/tgz" "$scratch/kit"
    dpkg-deb -x "$deb" "$scratch/deb"
    tar -xzf "$dir/$base.tar.gz" -C "$scratch/tgz"
    tar -xzf "$dir/$base-testkit.tar.gz" -C "$scratch/kit"
    expect ".deb and .tar.gz hold the same files" \
      "$(files_in "$scratch/deb/opt/vantrel")" "$(files_in "$scratch/tgz/$base")"
    if find "$scratch/deb" "$scratch/tgz" -iname '*.dll' | grep -q .; then
      fail "a runtime package holds a library"
    else
      pass "the runtime packages hold no library (no Qorvane.dll)"
    fi
    pkg=$scratch/deb/opt/vantrel
    check_properties "$pkg/samples/logsetup_w.properties"
    cp "$scratch/kit/$base/testkit/sample_engine.dll" "$pkg/bin/Qorvane.dll"
    lay_out "$scratch/linux" "$pkg"
    run() { "$@"; }
    path() { echo "$1"; }
    export VANTREL_V12="$pkg/bin;$scratch/linux/Vantrel;$scratch/linux/VantrelData"
    # A POSIX parent sees the low 8 bits: -5 arrives as 251.
    exercise "$pkg/bin/qorvane" "$pkg/bin/vtlog" "$scratch/kit/$base/testkit/run_job" 1 251
    cmake --install "$dir" --prefix "$scratch/prefix" >/dev/null
    expect "cmake --install into a prefix" "$(files_in "$scratch/prefix")" "$(files_in "$scratch/tgz/$base")"
  fi
done

echo
if ((failures)); then
  echo "package test: $failures failed"
  exit 1
fi
echo "package test: passed"
