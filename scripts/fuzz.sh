#!/usr/bin/env bash
# Runs every fuzz target of build/fuzz for the given number of seconds each
# (default 20). A crash or sanitizer report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
shopt -s nullglob
targets=(build/fuzz/bin/fuzz_*)
if ((${#targets[@]} == 0)); then
  echo "no fuzz targets built" >&2
  exit 1
fi
for t in "${targets[@]}"; do
  name=$(basename "$t")
  corpus="build/fuzz/corpus/$name"
  mkdir -p "$corpus"
  seeds=()
  [[ -d "fuzz/corpus/$name" ]] && seeds=("fuzz/corpus/$name")
  "$t" -max_total_time="$seconds" -print_final_stats=1 "$corpus" "${seeds[@]}" \
    >"build/fuzz/$name.log" 2>&1 || { tail -40 "build/fuzz/$name.log"; exit 1; }
  runs=$(grep -m1 'stat::number_of_executed_units' "build/fuzz/$name.log" | awk '{print $2}')
  echo "fuzz $name: ${runs:-?} inputs in ${seconds}s, no finding"
done
