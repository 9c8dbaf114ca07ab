#!/usr/bin/env bash
# Builds Qorvane, lays out a demo installation under build/demo/ and runs a
# few jobs through the Windows build under Wine and through the native build,
# printing each job's command line, exit code and what the engine received.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/ensure-tools.sh
export QORVANE_WINEPREFIX="$root/build/windows/wineprefix"

echo "== building"
cmake --preset native >/dev/null && cmake --build --preset native >/dev/null
cmake --preset windows >/dev/null && cmake --build --preset windows >/dev/null

demo="$root/build/demo"
rm -rf "$demo"
mkdir -p "$demo"/{bin-windows,bin-native,system,private,data/log}
cp build/windows/bin/Qorvane.exe build/windows/bin/Qorvane.dll "$demo/bin-windows/"
cp build/native/bin/qorvane build/native/bin/Qorvane.dll "$demo/bin-native/"
printf '[Common]\r\nErrorLevel=0\r\nExeRcode=0\r\n[Orbeck]\r\nProcDisp=2\r\nErrorDisp=2\r\n' \
  >"$demo/system/VantrelV12.ini"
# The log settings file is UTF-16LE with a byte-order mark; every line ends in CR LF.
printf '\xff\xfe' >"$demo/private/logsetup_w.properties"
printf '%s\r\n' runtime.orbeck.active=1 runtime.output.retrycount=200 \
  runtime.rotate.active=1 runtime.rotate.rule.sizeflg=1 runtime.rotate.rule.size=10 \
  runtime.rotate.times=5 runtime.rotate.name.description=YYYYMMDD |
  iconv -f UTF-8 -t UTF-16LE >>"$demo/private/logsetup_w.properties"

jobs=(
  '-Lid1001 -Xrc1'
  '-Lid1002 -Xrc-5'
  '-Lid1003 -Xrc259 -API'
  '-Lid1004 "-Lfn demo job.log" -Xrc7'
  '-Lidbad_id -Xrc1'
  '-Xms50 -Xrc3'
)

winpath() { echo "Z:${1//\//\\}"; }

run_jobs() { # build-name launcher program-dir suite-root data-root runner...
  local name=$1 launcher=$2 bin=$3 suite=$4 data=$5
  shift 5
  echo
  echo "== $name build"
  export VANTREL_V12="$bin;$suite;$data"
  local trace="$demo/trace-$name.txt"
  : >"$trace"
  export QORVANE_ENGINE_TRACE="$trace"
  [[ $name == windows ]] && QORVANE_ENGINE_TRACE=$(winpath "$trace")
  for job in "${jobs[@]}"; do
    local before after code
    before=$(wc -l <"$trace")
    code=$("$@" "$launcher" "$job")
    after=$(wc -l <"$trace")
    printf '%-40s exit %-6s ' "$job" "$code"
    if ((after > before)); then
      tail -n1 "$trace" | tr -d '\r'
    else
      echo "(engine not started)"
    fi
  done
  echo "-- execution log $demo/data/log/orbeck.log:"
  iconv -f UTF-16 -t UTF-8 "$demo/data/log/orbeck.log" | tr -d '\r' | sed 's/^/   /'
  rm -f "$demo/data/log/"*
}

run_jobs windows "$(winpath "$demo/bin-windows/Qorvane.exe")" "$(winpath "$demo/bin-windows")" \
  "$(winpath "$demo")" "$(winpath "$demo/data")" cmake/wine-run.sh build/windows/bin/run_job.exe
run_jobs native "$demo/bin-native/qorvane" "$demo/bin-native" "$demo" "$demo/data" \
  build/native/bin/run_job
echo
echo "(the native exit code is the low 8 bits that a POSIX parent receives)"
