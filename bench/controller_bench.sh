#!/bin/sh
# Controller benchmark: a whole conversion of the 10-minute 5.1 stream (3/2 + LFE, 448 kbit/s,
# 48 kHz) driven by the converter dialog's controller (bench controller_convert: 25 frames per
# tick, the display texts formatted and handed over after every frame) against qelp convert of
# the same file, alternating in one run. Prints the best times and the ratio controller / qelp;
# the controller's slicing and display refresh should cost at most 20 % (ratio <= 1.2).
# It is a benchmark, not a test: nothing fails on a slow run.
#
#   bench/controller_bench.sh [BUILD_DIR] [ROUNDS]     (defaults: build, 5)
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=${1:-$root/build}
rounds=${2:-5}
out=$here/out
qelp=$build/bin/qelp
controller=$build/bench/controller_convert

for tool in ffmpeg "$qelp" "$controller"; do
  if ! command -v "$tool" >/dev/null 2>&1 && [ ! -x "$tool" ]; then
    echo "controller_bench: $tool is missing (build the project with Qt-less or full set-up, install ffmpeg)" >&2
    exit 1
  fi
done
mkdir -p "$out"

# The same synthetic 5.1 programme as decode_bench.sh makes (and shares through bench/out).
in=$out/surround_448.ac3
if [ ! -s "$in" ]; then
  echo "controller_bench: making $in" >&2
  ch() { echo "$3*(0.6*sin(2*PI*($1*t+$2*t*t))+0.3*sin(2*PI*$1*1.5*t)*sin(PI*t/7)+0.1*(2*random($1)-1))"; }
  expr="$(ch 220 3 0.5)|$(ch 330 5 0.5)|$(ch 440 2 0.4)|0.3*sin(2*PI*50*t)|$(ch 550 7 0.3)|$(ch 660 4 0.3)"
  ffmpeg -hide_banner -loglevel error -y -f lavfi -i "aevalsrc=exprs=$expr:s=48000:d=600:c=5.1" \
    -c:a ac3 -b:a 448k "$in.tmp.ac3"
  mv "$in.tmp.ac3" "$in"
fi

seconds() { # CMD...: wall seconds of one run
  start=$(date +%s.%N)
  "$@" >/dev/null 2>&1 || { echo "controller_bench: '$*' failed" >&2; exit 1; }
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f\n", b - a }'
}

rm -f "$out"/controller.times "$out"/qelp_convert.times
i=0
while [ "$i" -lt "$rounds" ]; do
  seconds "$qelp" convert -q -y "$in" "$out/surround_448.qelp.wav" >>"$out/qelp_convert.times"
  seconds "$controller" "$in" "$out/surround_448.controller.wav" >>"$out/controller.times"
  i=$((i + 1))
done
tq=$(sort -n "$out/qelp_convert.times" | head -n 1)
tc=$(sort -n "$out/controller.times" | head -n 1)
cmp -s "$out/surround_448.qelp.wav" "$out/surround_448.controller.wav" || echo "controller_bench: the two WAVE files differ" >&2
awk -v tq="$tq" -v tc="$tc" -v r="$rounds" 'BEGIN {
  printf "Best of %d alternating rounds, 10-minute 5.1 stream: qelp convert %.3f s, controller %.3f s, ratio %.3f (target <= 1.2)\n",
    r, tq, tc, (tq > 0 ? tc / tq : 0) }'
