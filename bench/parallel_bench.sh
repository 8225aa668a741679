#!/bin/sh
# Batch benchmark: `qelp convert -j 2 -o DIR` of eight 3-minute streams against `-j 1`, in
# alternating rounds (the order of the two flips every round). Prints each run's wall and CPU time
# (user + system), the speed-up of -j 2 by the best and by the median wall time, the load average
# before and after (the machine may be shared: CPU time tells what the work cost, wall time what the
# user waits), and checks after every round that both batches wrote the same bytes. It is a
# benchmark, not a test: nothing fails on a slow run, only on different outputs.
#
#   [ORDER=mixed] bench/parallel_bench.sh [BUILD_DIR] [ROUNDS] [STREAMS_DIR]
#                                                 (defaults: build, 5, bench/out/varied)
#
# The eight streams (5.1, 2/0 and 1/0, five kinds of programme) are copied from STREAMS_DIR, which
# make_varied_streams.sh fills (it is made when it is the default and missing), into
# bench/out/parallel/in; nothing is written into STREAMS_DIR.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=${1:-$root/build}
rounds=${2:-5}
streams_dir=${3:-$here/out/varied}
qelp=$build/bin/qelp
out=$here/out/parallel

for tool in /usr/bin/time cmp "$qelp"; do
  if ! command -v "$tool" >/dev/null 2>&1 && [ ! -x "$tool" ]; then
    echo "parallel_bench: $tool is missing (build the project and install time)" >&2
    exit 1
  fi
done
[ $# -ge 3 ] || "$here/make_varied_streams.sh" "$streams_dir" >/dev/null

# Files are handed out in the order given; the 5.1 streams (the most work) come first, so that the
# two threads end together, as a batch ordered that way does (ORDER=mixed interleaves the layouts,
# which leaves one thread with a 5.1 stream at the end).
if [ "${ORDER:-}" = mixed ]; then
  names="music.5.1.448 speech.5.1.640 pink.2.0.192 tones.1.0.96 silence.5.1.640 music.2.0.192 speech.1.0.96 pink.5.1.448"
else
  names="music.5.1.448 speech.5.1.640 silence.5.1.640 pink.5.1.448 pink.2.0.192 music.2.0.192 tones.1.0.96 speech.1.0.96"
fi
mkdir -p "$out/in"
inputs=
for name in $names; do
  if [ ! -f "$streams_dir/$name.ac3" ]; then
    echo "parallel_bench: $streams_dir/$name.ac3 is missing" >&2
    exit 1
  fi
  cmp -s "$streams_dir/$name.ac3" "$out/in/$name.ac3" 2>/dev/null || cp "$streams_dir/$name.ac3" "$out/in/$name.ac3"
  inputs="$inputs $out/in/$name.ac3"
done

# run JOBS: converts the eight into $out/jJOBS and appends wall seconds and CPU seconds to
# $out/jJOBS.times
run() {
  jobs=$1
  rm -rf "$out/j$jobs"
  mkdir -p "$out/j$jobs"
  start=$(date +%s.%N)
  # shellcheck disable=SC2086
  /usr/bin/time -f '%U %S' -o "$out/time.tmp" "$qelp" convert -q -y -j "$jobs" -o "$out/j$jobs" $inputs || {
    echo "parallel_bench: qelp convert -j $jobs failed" >&2
    exit 1
  }
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" '{ printf "%.3f %.3f\n", b - a, $1 + $2 }' "$out/time.tmp" >>"$out/j$jobs.times"
}

same_outputs() {
  for name in $names; do
    if ! cmp -s "$out/j1/$name.wav" "$out/j2/$name.wav"; then
      echo "parallel_bench: $name.wav differs between -j 1 and -j 2" >&2
      exit 1
    fi
  done
}

rm -f "$out/j1.times" "$out/j2.times"
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
i=0
while [ "$i" -lt "$rounds" ]; do
  if [ $((i % 2)) -eq 0 ]; then
    run 1
    run 2
  else
    run 2
    run 1
  fi
  same_outputs
  i=$((i + 1))
done
load_after=$(cut -d' ' -f1-3 /proc/loadavg)
rm -rf "$out/j1" "$out/j2" "$out/time.tmp"

# stat FILE FIELD: best, median and largest of a column
stat() { cut -d' ' -f"$2" "$1" | sort -n | awk '{ v[NR] = $1 } END { printf "%.3f %.3f %.3f\n", v[1], v[int((NR + 1) / 2)], v[NR] }'; }

echo "qelp convert -j 1 / -j 2 -o DIR, eight 3-minute streams, $rounds alternating rounds ($(nproc) processors)"
echo "load average before: $load_before; after: $load_after"
printf '%-6s %28s | %28s\n' "" "wall s (best median worst)" "cpu s (best median worst)"
for j in 1 2; do
  printf '%-6s %28s | %28s\n' "-j $j" "$(stat "$out/j$j.times" 1)" "$(stat "$out/j$j.times" 2)"
done
awk -v b1="$(stat "$out/j1.times" 1 | cut -d' ' -f1)" -v b2="$(stat "$out/j2.times" 1 | cut -d' ' -f1)" \
  -v m1="$(stat "$out/j1.times" 1 | cut -d' ' -f2)" -v m2="$(stat "$out/j2.times" 1 | cut -d' ' -f2)" 'BEGIN {
  printf "speed-up of -j 2: %.2fx by the best wall time, %.2fx by the median\n", b1 / b2, m1 / m2 }'
echo "outputs: identical in every round"
