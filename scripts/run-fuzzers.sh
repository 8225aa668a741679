#!/usr/bin/env bash
# Runs every fuzz target in DIR for SECONDS each:  scripts/run-fuzzers.sh DIR [SECONDS]
# A target's corpus grows in fuzz/corpus-<target>/ (git-ignored) and starts from the committed,
# minimised corpus in fuzz/corpus/<target>/ and the seeds in fuzz/seeds/; crashes go to
# fuzz/crashes/ and fail the run.
# Also answers for fuzz/campaign.sh:  --seed-dirs TARGET  and  --options TARGET.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

# The read-only corpus folders of a target that exist, one a line.
seed_dirs() {
  local name=$1 dirs=("$root/fuzz/corpus/$1" "$root/fuzz/seeds/$1")
  case $name in
    fuzz_decoder|fuzz_decoder_parse|fuzz_stream_info) dirs+=("$root/fuzz/seeds/ac3") ;;
  esac
  for d in "${dirs[@]}"; do [ -d "$d" ] && echo "$d"; done
  return 0
}

# libFuzzer options of a target: input size limit and dictionary.
options() {
  case $1 in
    fuzz_decoder|fuzz_decoder_parse) echo "-max_len=4096 -dict=$root/fuzz/ac3.dict" ;;
    fuzz_stream_info) echo "-max_len=8192 -dict=$root/fuzz/ac3.dict" ;;
    *) echo "-max_len=65536" ;;
  esac
}

case ${1:-} in
  --seed-dirs) seed_dirs "$2"; exit 0 ;;
  --options) options "$2"; exit 0 ;;
esac

dir=$1
seconds=${2:-60}
mkdir -p "$root/fuzz/crashes"
status=0
for target in "$dir"/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  corpus="$root/fuzz/corpus-$name"
  mkdir -p "$corpus"
  mapfile -t seeds < <(seed_dirs "$name")
  echo "== $name for ${seconds}s"
  # shellcheck disable=SC2046  # the options are words
  if ! ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=8} \
       "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 $(options "$name") \
       -artifact_prefix="$root/fuzz/crashes/$name-" -print_final_stats=1 "$corpus" "${seeds[@]}" \
       2>"$root/fuzz/$name.log"; then
    echo "$name: crash or error, see fuzz/$name.log and fuzz/crashes/"
    tail -40 "$root/fuzz/$name.log"
    status=1
  fi
  grep -E '^stat::(number_of_executed_units|average_exec_per_sec)' "$root/fuzz/$name.log" || true
done
exit $status
