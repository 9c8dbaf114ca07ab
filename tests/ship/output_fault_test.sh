#!/usr/bin/env bash
# A shipper whose output cannot be written, for real: standard output on a
# full volume (/dev/full) and a pipe whose reader has gone while SIGPIPE is
# ignored, as service managers often run programs. vtlog must exit non-zero,
# say so, and leave the cursor where it was, so the next run ships every record.
# Usage: output_fault_test.sh VTLOG-COMMAND...
set -uo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
printf '\xff\xfe' >log
printf '%s\r\n' '2026/12/05,18:31:54.123,1,Information:HS-00-01-0101,,,,,,-a' \
  '2026/12/05,18:31:54.200,1,Information:HS-00-01-0102,,,,,,-a' | iconv -f UTF-8 -t UTF-16LE >>log
ship() { "$@" show --file log --cursor-file cursor; }
fail=0
expect_refused() { # WHAT RC
  if [[ $2 == 0 ]] || [[ -e cursor ]] || ! grep -q "could not be written" err; then
    echo "FAIL: $1: exit $2, cursor $( [[ -e cursor ]] && echo written || echo absent ): $(cat err)"
    fail=1
  fi
}
ship "$@" >/dev/full 2>err
expect_refused "full volume" $?
(trap '' PIPE; { sleep 1; ship "$@" 2>err; echo $? >rc; } | true)
expect_refused "closed pipe" "$(cat rc)"
ship "$@" >out 2>err
lines=$(grep -c 'Information:HS-00-01-010[12]' out)
[[ $lines == 2 ]] || { echo "FAIL: the next run shipped $lines of 2 records: $(cat err)"; fail=1; }
((fail == 0)) && echo "passed: nothing shipped was lost to a failed output"
exit $fail
