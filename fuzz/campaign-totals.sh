#!/usr/bin/env bash
# Adds up the executions per target (and per build) from a campaign's logs:
#   fuzz/campaign-totals.sh WORK
# A log cut short has no final stats; its last status line's count is taken instead.
set -euo pipefail
logs=$1/logs
for log in "$logs"/*.log; do
  base=$(basename "$log" .log)
  target=${base%%.*}
  rest=${base#*.}
  build=${rest%%.*}
  n=$(grep -o '^stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)
  [ -n "$n" ] || n=$(grep -o '^#[0-9]*' "$log" | tail -n 1 | tr -d '#' || true)
  echo "$target $build ${n:-0}"
done | awk '{ t[$1] += $3; b[$1 " " $2] += $3; all += $3; if ($1 ~ /^fuzz_decoder/) dec += $3 }
  END {
    for (k in b) printf "%-40s %12d\n", k, b[k]
    print "--"
    for (k in t) printf "%-40s %12d\n", k, t[k]
    printf "%-40s %12d\n%-40s %12d\n", "decoder targets", dec, "total", all
  }' 
