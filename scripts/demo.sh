#!/usr/bin/env bash
# Builds Qorvane, lays out a demo installation under build/demo/ and runs a
# few jobs through the Windows build under Wine and through the native build,
# printing each job's command line, exit code and what the engine received.
# Two last jobs run with a size limit of 0 MiB, so each of them rotates the log
# it finds; the rotated generations and the live log are printed as UTF-8.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/ensure-tools.sh
export QORVANE_WINEPREFIX="$root/build/windows/wineprefix"

# Quiet unless it fails; then its output says why the demo stops.
build() { # preset
  local out
  if ! out=$({ cmake --preset "$1" && cmake --build --preset "$1"; } 2>&1); then
    printf '%s\n' "$out" | tail -n 40
    echo "== the $1 build failed"
    exit 1
  fi
}

echo "== building"
build native
build windows

demo="$root/build/demo"
rm -rf "$demo"
mkdir -p "$demo"/{bin-windows,bin-native,system,private,data/log}
cp build/windows/bin/Qorvane.exe build/windows/bin/Qorvane.dll "$demo/bin-windows/"
cp build/native/bin/qorvane build/native/bin/Qorvane.dll "$demo/bin-native/"
printf '[Common]\r\nErrorLevel=0\r\nExeRcode=0\r\n[Orbeck]\r\nProcDisp=2\r\nErrorDisp=2\r\n' \
  >"$demo/system/VantrelV12.ini"

# The log settings file is UTF-16LE with a byte-order mark; every line ends in
# CR LF. Rotation by size into <data root>\log\rotated, named orbeck_YYYYMMDD.log.
write_logsetup() { # size-limit-MiB data-root (as the build spells paths)
  local file="$demo/private/logsetup_w.properties"
  printf '\xff\xfe' >"$file"
  printf '%s\r\n' runtime.orbeck.active=1 runtime.output.retrycount=200 \
    runtime.rotate.active=1 "runtime.rotate.dir=$2\\log\\rotated" \
    runtime.rotate.rule.sizeflg=1 "runtime.rotate.rule.size=$1" \
    runtime.rotate.times=5 runtime.rotate.name.description=YYYYMMDD |
    iconv -f UTF-8 -t UTF-16LE >>"$file"
}

jobs=(
  '-Lid1001 -Xrc1'
  '-Lid1002 -Xrc-5'
  '-Lid1003 -Xrc259 -API'
  '-Lid1004 -Lfn"demo job.log" -Xrc7'
  '-Lidbad_id -Xrc1'
  '-Xms50 -Xrc3'
)
rotating_jobs=(
  '-Lid2001 -Xrc1'
  '-Lid2002 -Xrc1'
)

winpath() { echo "Z:${1//\//\\}"; }

print_log() { # file
  iconv -f UTF-16 -t UTF-8 "$1" | tr -d '\r' | sed 's/^/   /'
}

# One job of the current build; run_jobs sets trace and launcher.
run_one() { # runner...
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
}

run_jobs() { # build-name launcher program-dir suite-root data-root runner...
  local name=$1 launcher=$2 bin=$3 suite=$4 data=$5
  shift 5
  echo
  echo "== $name build"
  export VANTREL_V12="$bin;$suite;$data"
  local trace="$demo/trace-$name.txt" job
  : >"$trace"
  export QORVANE_ENGINE_TRACE="$trace"
  [[ $name == windows ]] && QORVANE_ENGINE_TRACE=$(winpath "$trace")
  write_logsetup 10 "$data"
  for job in "${jobs[@]}"; do run_one "$@"; done
  echo "-- runtime.rotate.rule.size=0 from here on: every job that finds a log rotates it"
  write_logsetup 0 "$data"
  for job in "${rotating_jobs[@]}"; do run_one "$@"; done

  local log="$demo/data/log" file
  echo "-- output directory $log: $(cd "$log" && ls -pm)"
  echo "-- rotation directory $log/rotated, oldest first: $(cd "$log/rotated" && ls -trm)"
  while IFS= read -r file; do
    echo "-- rotated generation $file:"
    print_log "$log/rotated/$file"
  done < <(cd "$log/rotated" && ls -tr)
  echo "-- execution log $log/orbeck.log:"
  print_log "$log/orbeck.log"
  echo "-- log of the -Lfn job, $log/demo job.log (rotation leaves it alone):"
  print_log "$log/demo job.log"
  # vtlog reads the same installation as the launcher; check exits 1 on
  # warnings and 2 on errors, which the demo shows instead of stopping.
  local vtlog=(build/native/bin/vtlog) rc
  [[ $name == windows ]] && vtlog=(cmake/wine-run.sh build/windows/bin/vtlog.exe)
  echo "-- vtlog jobs:"
  rc=0
  "${vtlog[@]}" jobs 2>&1 | tr -d '\r' | sed 's/^/   /' || rc=$?
  echo "-- vtlog check:"
  rc=0
  "${vtlog[@]}" check >"$demo/check.txt" 2>&1 || rc=$?
  tr -d '\r' <"$demo/check.txt" | sed 's/^/   /'
  echo "   (vtlog check exit code $rc)"
  rm -rf "${log:?}"/*
}

run_jobs windows "$(winpath "$demo/bin-windows/Qorvane.exe")" "$(winpath "$demo/bin-windows")" \
  "$(winpath "$demo")" "$(winpath "$demo/data")" cmake/wine-run.sh build/windows/bin/run_job.exe
run_jobs native "$demo/bin-native/qorvane" "$demo/bin-native" "$demo" "$demo/data" \
  build/native/bin/run_job
echo
echo "(the native exit code is the low 8 bits that a POSIX parent receives)"
