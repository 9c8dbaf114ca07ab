#!/usr/bin/env bash
# vtlog's metrics as Prometheus takes them: promtool accepts the file, and a
# node_exporter started here on 127.0.0.1 serves the values over HTTP.
# Usage: metrics_test.sh VTLOG
set -euo pipefail
vtlog=$1
for tool in promtool prometheus-node-exporter; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool missing (scripts/ensure-tools.sh installs it)"; exit 1; }
done
work=$(mktemp -d)
exporter=
cleanup() {
  local status=$?
  if [ -n "$exporter" ]; then kill "$exporter" 2>/dev/null; wait "$exporter" 2>/dev/null || true; fi
  rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

# A scratch installation whose log, generation and write-error file hold one
# run of each outcome; local time is UTC so that the stamps are Unix times.
export TZ=UTC
mkdir -p "$work"/{bin,suite/system,suite/private,data/log,textfile}
win() { printf '%s' "${1//\//\\}"; }
export VANTREL_V12="$(win "$work/bin");$(win "$work/suite");$(win "$work/data")"
utf16() { { printf '\xff\xfe'; printf "$1" | iconv -f UTF-8 -t UTF-16LE; } >"$2"; }
utf16 'runtime.orbeck.active=1\r\nruntime.rotate.active=1\r\nruntime.rotate.name.description=YYYYMMDD\r\n' \
  "$work/suite/private/logsetup_w.properties"
now=$(date +%s)
stamp() { date -u -d "@$((now - $1))" +%Y/%m/%d,%H:%M:%S.000; }
rec() {  # seconds-ago job status code
  printf '%s,%s,%s:HS-00-%s-%04d,,,,,,-Lid%s\\r\\n' "$(stamp "$1")" "$2" "$3" "$5" "$4" "$2"
}
success_ago=10801
utf16 "$(rec 10802 1 Information 101 01)$(rec $success_ago 1 Information 102 01)" \
  "$work/data/log/orbeck_20261201.log"
utf16 "$(rec 7200 2 Information 101 01)$(rec 7199 2 Error 2911 09)$(rec 3600 3 Information 101 01)\
$(rec 3599 3 Information 5 00)$(rec 108000 4 Information 101 01)$(rec 18000 6 Information 101 01)\
$(rec 14400 6 Information 101 01)$(rec 14400 6 Information 102 01)$(rec 600 5 Information 101 01)" \
  "$work/data/log/orbeck.log"
utf16 "$(rec 60 9 Warning 1284 02)" "$work/data/log/LogWriteError_9.log"
last_success=$((now - success_ago))
log_bytes=$(stat -c %s "$work/data/log/orbeck.log")

prom="$work/textfile/orbeck.prom"
"$vtlog" metrics --output "$prom" || fail "vtlog metrics exited with $?"
ls "$work/textfile"/*.tmp 2>/dev/null && fail "a temporary file was left beside the metrics"
promtool check metrics <"$prom" || fail "promtool rejects the metrics"

# The values, as the collector serves them.
expected=(
  'vtlog_runs_started_total{component="Orbeck"} 7'
  'vtlog_runs_succeeded_total{component="Orbeck"} 2'
  'vtlog_runs_failed_total{class="error",component="Orbeck"} 1'
  'vtlog_runs_failed_total{class="information",component="Orbeck"} 1'
  'vtlog_runs_failed_total{class="warning",component="Orbeck"} 1'
  'vtlog_runs_lost_total{component="Orbeck"} 1'
  'vtlog_runs_open{component="Orbeck"} 1'
  'vtlog_runs_open_too_long{component="Orbeck"} 1'
  'vtlog_error_file_records{component="Orbeck",file="write-error"} 1'
  "vtlog_last_success_timestamp_seconds{component=\"Orbeck\"} $last_success"
  "vtlog_log_size_bytes{component=\"Orbeck\"} $log_bytes"
  'vtlog_log_generations{component="Orbeck"} 1'
  'vtlog_check_errors{component="Orbeck"} 1'
  'vtlog_check_warnings{component="Orbeck"} 1'
  'node_textfile_scrape_error 0'
)
for port in $(shuf -i 21000-21999 -n 5); do
  prometheus-node-exporter --web.listen-address="127.0.0.1:$port" --collector.disable-defaults \
    --collector.textfile --collector.textfile.directory="$work/textfile" >"$work/exporter.log" 2>&1 &
  exporter=$!
  for _ in $(seq 50); do
    served=$(curl -sf "http://127.0.0.1:$port/metrics" 2>/dev/null) && break
    kill -0 "$exporter" 2>/dev/null || break
    sleep 0.1
  done
  [ -n "${served:-}" ] && break
  kill "$exporter" 2>/dev/null; wait "$exporter" 2>/dev/null || true; exporter=
done
if [ -z "${served:-}" ]; then
  cat "$work/exporter.log"
  echo "skipped: node_exporter could not be started on 127.0.0.1 (ports 21000-21999)"
  exit 0
fi
for line in "${expected[@]}"; do
  # node_exporter writes floats in Go's shortest form: 1.7e+09 for large values.
  name=${line% *} want=${line##* }
  got=$(awk -v n="$name" '$1 == n { print $2; exit }' <<<"$served")
  [ -n "$got" ] || fail "node_exporter does not serve $name"
  awk -v a="$got" -v b="$want" 'BEGIN { exit !(a + 0 == b + 0) }' || fail "$name is $got, not $want"
done
echo "metrics: promtool accepts them; node_exporter serves ${#expected[@]} values as written"
