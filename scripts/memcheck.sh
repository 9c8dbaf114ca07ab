#!/usr/bin/env bash
# Runs the native launcher end to end under valgrind's memcheck for a handful
# of representative jobs and fails on any memory error or leak. Builds
# nothing: give it the bin directory of a native build (default
# build/native/bin, which has no sanitizers). A launcher built with the
# sanitizers cannot run under valgrind; it is then run as it is, with leak
# detection on, so that the same jobs check that build.
#
# usage: scripts/memcheck.sh [BIN_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
bin=$(cd "${1:-build/native/bin}" && pwd)
launcher="$bin/qorvane"
[[ -x "$launcher" ]] || { echo "no launcher at $launcher" >&2; exit 2; }

sanitized=0
if ldd "$launcher" 2>/dev/null | grep libasan >/dev/null; then sanitized=1; fi
if ((sanitized == 0)) && ! command -v valgrind >/dev/null; then
  echo "valgrind is not installed" >&2
  exit 2
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/qv-memcheck.XXXXXX")
# QORVANE_MEMCHECK_KEEP=1 keeps the installations for a look afterwards.
if [[ -z ${QORVANE_MEMCHECK_KEEP:-} ]]; then
  trap 'rm -rf "$work"' EXIT
else
  echo "installations kept in $work"
fi

# UTF-16LE with byte-order mark and CR LF, as the suite writes the file.
write_logsetup() {
  local file=$1
  shift
  { printf '\xff\xfe'; printf '%s\r\n' "$@" | iconv -f UTF-8 -t UTF-16LE; } >"$file"
}

# A fresh installation under $work/<name>: program directory with the given
# engine library (or none), suite root with settings files, data root.
lay_out() {
  local root=$1 dll=$2
  shift 2
  mkdir -p "$root/bin" "$root/suite/system" "$root/suite/private" "$root/data/log"
  [[ $dll == none ]] || cp "$bin/$dll" "$root/bin/Qorvane.dll"
  printf '[Common]\r\nFromExec=0\r\n[Orbeck]\r\nErrorDisp=2\r\n' >"$root/suite/system/VantrelV12.ini"
  write_logsetup "$root/suite/private/logsetup_w.properties" "runtime.orbeck.active=1" "$@"
}

failures=0
# run NAME EXPECTED_RESULT DLL COMMAND_LINE [LOGSETUP LINE...]
run() {
  local name=$1 expected=$2 dll=$3 cmd=$4
  shift 4
  local root="$work/$name"
  lay_out "$root" "$dll" "$@"
  # A log for the rotation to move: size rotation with limit 0 rotates any log.
  printf '\xff\xfe' >"$root/data/log/orbeck.log"
  local report="$work/$name.report"
  local status=0
  if ((sanitized)); then
    VANTREL_V12="$root/bin;$root/suite;$root/data" \
      ASAN_OPTIONS=detect_leaks=1:exitcode=1 LSAN_OPTIONS=exitcode=1 \
      UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      "$launcher" "$cmd" 2>"$report" || status=$?
  else
    VANTREL_V12="$root/bin;$root/suite;$root/data" \
      valgrind --tool=memcheck --trace-children=no --leak-check=full \
      --show-leak-kinds=definite,indirect,possible \
      --errors-for-leak-kinds=definite,indirect,possible --error-exitcode=1 \
      --log-file="$report" "$launcher" "$cmd" 2>/dev/null || status=$?
  fi
  # The result reaches a POSIX parent as its low 8 bits; no job ends in 1,
  # which is the checker's own failure code.
  local want=$((expected & 255))
  local verdict="ok"
  if ((status != want)); then
    verdict="exit $status, expected $want"
  elif ((sanitized)) && grep -qE 'ERROR: (Address|Leak)Sanitizer|runtime error' "$report"; then
    verdict="sanitizer report"
  elif ((!sanitized)) && ! grep -q 'ERROR SUMMARY: 0 errors' "$report"; then
    verdict="memcheck errors"
  fi
  if [[ $verdict == ok ]]; then
    local summary="no error, no leak"
    if ((!sanitized)); then
      summary=$(grep -oE 'total heap usage: [0-9,]+ allocs, [0-9,]+ frees' "$report" || true)
    fi
    printf '%-28s exit %3d  %s\n' "$name" "$status" "$summary"
  else
    printf '%-28s FAILED: %s\n' "$name" "$verdict"
    cat "$report"
    failures=$((failures + 1))
  fi
}

if ((sanitized)); then
  echo "== $launcher (sanitizers)"
else
  echo "== $launcher under valgrind memcheck"
fi
run success 7 Qorvane.dll "-Lid1 -Xrc7"
run failure -5 Qorvane.dll "-Lid2 -Xrc-5"
run invalid-job-id -2911 Qorvane.dll "-Lid_bad! -Xrc7"
run api-259 -259 Qorvane.dll "-Lid3 -API -Xrc259"
run generated-job-number 7 Qorvane.dll "-Xrc7 -Lfnjob.log"
run rotation-on 7 Qorvane.dll "-Lid4 -Xrc7" \
  "runtime.rotate.active=1" "runtime.rotate.rule.sizeflg=1" "runtime.rotate.rule.size=0" \
  "runtime.rotate.times=1" "runtime.rotate.name.description=YYYYMMDD"
run error-only-failure -2911 Qorvane.dll "-Lid5 -Xrc-2911" "runtime.output.errcodeonly=1"
run missing-dll -2001 none "-Lid6 -Xrc7"
run missing-entry-point -2001 NoExport.dll "-Lid7 -Xrc7"
run log-refused -1283 Qorvane.dll "-Lid8 -Xrc7" "runtime.output.dir=$work/log-refused/nowhere/x"

if ((failures > 0)); then
  echo "$failures job(s) failed" >&2
  exit 1
fi
