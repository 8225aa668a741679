#!/usr/bin/env bash
# Runs every fuzz target in DIR for SECONDS each. The corpus of a target lives in
# fuzz/corpus-<target>/ (git-ignored, grown by the runs) and starts from the seeds in fuzz/seeds/
# and the fixtures in tests/data; crashes go to fuzz/crashes/ and fail the run.
set -euo pipefail
dir=$1
seconds=${2:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$root/fuzz/crashes"
status=0
for target in "$dir"/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  corpus="$root/fuzz/corpus-$name"
  mkdir -p "$corpus"
  seeds=("$root/fuzz/seeds/$name")
  max_len=65536
  case $name in
    fuzz_decoder) seeds+=("$root/tests/data"); max_len=16384 ;;
    fuzz_normalizer|fuzz_writer_header) ;;
  esac
  existing=()
  for s in "${seeds[@]}"; do [ -d "$s" ] && existing+=("$s"); done
  echo "== $name for ${seconds}s"
  if ! "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=$max_len \
       -artifact_prefix="$root/fuzz/crashes/$name-" -print_final_stats=1 "$corpus" "${existing[@]}" \
       2>"$root/fuzz/$name.log"; then
    echo "$name: crash or error, see fuzz/$name.log and fuzz/crashes/"
    tail -40 "$root/fuzz/$name.log"
    status=1
  fi
  grep -E '^stat::(number_of_executed_units|average_exec_per_sec)' "$root/fuzz/$name.log" || true
done
exit $status
