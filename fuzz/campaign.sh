#!/usr/bin/env bash
# A long fuzzing campaign in the background, at the lowest priority: one worker runs the given
# targets in turn, SEGMENT seconds each, until STOP_FILE exists or UNTIL (epoch seconds) passes.
# Corpora, logs and crashes live under WORK (outside the repository); fuzz/campaign-totals.sh adds
# up the executions per target from the logs.
#   fuzz/campaign.sh WORK BUILD_DIR SEGMENT UNTIL target...
# Each target's corpus starts from its seeds in fuzz/seeds and from the committed corpus.
set -uo pipefail
work=$1 build=$2 segment=$3 until=$4
shift 4
root=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$work/logs" "$work/crashes"
tag=$(basename "$build")
round=0
while [ ! -e "$work/STOP" ] && [ "$(date +%s)" -lt "$until" ]; do
  for target in "$@"; do
    [ -e "$work/STOP" ] && break
    [ "$(date +%s)" -lt "$until" ] || break
    corpus="$work/corpus/$target"
    mkdir -p "$corpus"
    extra=()
    for d in $("$root/scripts/run-fuzzers.sh" --seed-dirs "$target"); do extra+=("$d"); done
    log="$work/logs/$target.$tag.$(date +%Y%m%d-%H%M%S).log"
    left=$(( until - $(date +%s) ))
    time=$(( left < segment ? left : segment ))
    [ "$time" -gt 5 ] || break
    ASAN_OPTIONS=quarantine_size_mb=8:detect_leaks=0 \
      nice -n 19 "$build/fuzz/$target" -max_total_time="$time" -timeout=10 -rss_limit_mb=1024 \
      $("$root/scripts/run-fuzzers.sh" --options "$target") -print_final_stats=1 \
      -artifact_prefix="$work/crashes/$target-" "$corpus" "${extra[@]}" >"$log" 2>&1
    echo "$(date +%T) $target ($tag) exit $? $(grep -o '^stat::number_of_executed_units: *[0-9]*' "$log")" >> "$work/progress"
  done
  round=$((round + 1))
done
