#!/usr/bin/env bash
# The whole shipping path through a collector no one here wrote. Three
# launcher chains run jobs that rotate the log at every run; vtlog follows
# with a cursor and appends
# JSON lines to a file that one rsyslog reads (imfile) and forwards over TCP
# on 127.0.0.1 to a second rsyslog that writes them to the central file.
# vtlog is stopped by pid (SIGTERM, as a service manager stops it) and started
# again several times. At the end every record on disk must be in the central
# file exactly once.
# usage: collector_test.sh NATIVE_BIN_DIR  (qorvane, Qorvane.dll, vtlog)
set -euo pipefail
bin=$(cd "$1" && pwd)
skip() {
  echo "SKIP: $*"
  exit 77
}
rsyslogd=$(command -v rsyslogd || echo /usr/sbin/rsyslogd)
[[ -x $rsyslogd ]] || skip "rsyslogd is not installed (scripts/ensure-tools.sh installs rsyslog)"

work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work"/{bin,suite/system,suite/private,data/log/rotated,relay,central}
cp "$bin/qorvane" "$bin/Qorvane.dll" "$work/bin/"
printf '[Common]\r\nErrorLevel=0\r\n[Orbeck]\r\nProcDisp=2\r\nErrorDisp=2\r\n' \
  >"$work/suite/system/VantrelV12.ini"
{
  printf '\xff\xfe'
  printf '%s\r\n' runtime.orbeck.active=1 runtime.output.retrycount=200 runtime.rotate.active=1 \
    "runtime.rotate.dir=$work/data/log/rotated" runtime.rotate.rule.sizeflg=1 \
    runtime.rotate.rule.size=0 runtime.rotate.name.description=YYYYMMDD |
    iconv -f UTF-8 -t UTF-16LE
} >"$work/suite/private/logsetup_w.properties"
export VANTREL_V12="$work/bin;$work/suite;$work/data"

port=
for p in $(shuf -i 20000-20999 -n 40); do
  if ! (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null; then port=$p && break; fi
done
[[ -n $port ]] || skip "no free port in 20000-20999"

cat >"$work/central.conf" <<CONF
global(workDirectory="$work/central")
module(load="imtcp")
template(name="raw" type="string" string="%msg:2:\$%\n")
input(type="imtcp" address="127.0.0.1" port="$port" ruleset="store")
ruleset(name="store") { action(type="omfile" file="$work/central.jsonl" template="raw") }
CONF
cat >"$work/relay.conf" <<CONF
global(workDirectory="$work/relay")
module(load="imfile" PollingInterval="1")
input(type="imfile" File="$work/spool.jsonl" Tag="orbeck" ruleset="ship")
ruleset(name="ship") {
  action(type="omfwd" target="127.0.0.1" port="$port" protocol="tcp"
         queue.type="LinkedList" action.resumeRetryCount="-1" action.resumeInterval="1")
}
CONF
for name in central relay; do
  "$rsyslogd" -n -f "$work/$name.conf" -i "$work/$name.pid" >"$work/$name.out" 2>&1 &
  pids+=($!)
done
sleep 1
for p in "${pids[@]}"; do
  kill -0 "$p" 2>/dev/null || skip "rsyslogd refused to start: $(cat "$work"/*.out)"
done

jobs_per_chain=${JOBS:-40}
chain() { # n
  for ((i = 0; i < jobs_per_chain; ++i)); do
    "$work/bin/qorvane" "-LidJ$1 -Xrc3 -tag$1-$i" >/dev/null 2>&1 || true
  done
}
for c in 1 2 3; do chain "$c" & done
jobpids=$(jobs -p | tail -3)

vtlog=("$bin/vtlog" show --follow --error-files --format json --cursor-file "$work/cursor")
restarts=0
while kill -0 $jobpids 2>/dev/null; do
  "${vtlog[@]}" >>"$work/spool.jsonl" 2>>"$work/vtlog.err" &
  shipper=$!
  sleep "0.$((RANDOM % 9 + 1))"
  kill -TERM "$shipper"
  # 143: the signal came before vtlog watched for it (a slow start), which
  # ends it at once, as a kill would; the audit below holds it to the same.
  rc=0
  wait "$shipper" || rc=$?
  ((rc == 0 || rc == 143)) || { echo "vtlog exited with $rc"; cat "$work/vtlog.err"; exit 1; }
  restarts=$((restarts + 1))
done
wait $jobpids
"$bin/vtlog" show --error-files --format json --cursor-file "$work/cursor" \
  >>"$work/spool.jsonl" 2>>"$work/vtlog.err"

# Every record on disk, by the tag of its command line and its code.
on_disk() {
  for f in "$work"/data/log/orbeck.log "$work"/data/log/rotated/* "$work"/data/log/Log*Error_* \
    "$work"/suite/private/Log*Error_*; do
    [[ -f $f ]] || continue
    iconv -f UTF-16LE -t UTF-8 "$f" | tr -d '\r\357\273\277'
  done | sed -n 's/^[^,]*,[^,]*,[^,]*,[A-Za-z]*:[A-Z]*-[0-9]*-[0-9]*-\([0-9]*\),,,,,,.*-tag\([0-9-]*\).*/\2 \1/p' |
    sed 's/ 0*\([0-9]\)/ \1/' | sort
}
in_central() {
  sed -n 's/.*"job":"[^"]*".*"code":\([0-9]*\).*-tag\([0-9-]*\).*/\2 \1/p' "$work/central.jsonl" |
    sort
}
expected=$(on_disk)
count=$(printf '%s\n' "$expected" | grep -c . || true)
for ((t = 0; t < 60; ++t)); do
  [[ $(in_central | grep -c . || true) -ge $count ]] && break
  sleep 1
done
got=$(in_central)
if [[ $got != "$expected" ]]; then
  echo "FAIL: the central file differs from the records on disk (< disk, > central):"
  diff <(printf '%s\n' "$expected") <(printf '%s\n' "$got") | head -20
  echo "vtlog said:" && head -20 "$work/vtlog.err"
  exit 1
fi
echo "$count records on disk, each once in the central file; vtlog restarted $restarts times"
