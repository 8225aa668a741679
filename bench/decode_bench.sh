#!/bin/sh
# Decoding benchmark: qelp convert against ffmpeg (single-threaded, dynamic range compression off)
# on two 10-minute streams made once from synthetic signals:
#   5.1 (3/2 + LFE) at 448 kbit/s, 48 kHz, and 2/0 at 192 kbit/s, 48 kHz.
# Times, alternating in one run, the conversion to a 16-bit stereo WAVE file and a plain decode
# (qelp's decoder alone through bench decode_only, ffmpeg to its null muxer), and prints the
# throughput ratio (ffmpeg seconds / qelp seconds, > 1 means qelp is faster) and each tool's peak
# resident memory. It is a benchmark, not a test: nothing fails on a slow run.
#
#   bench/decode_bench.sh [BUILD_DIR] [ROUNDS]     (defaults: build, 5)
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=${1:-$root/build}
rounds=${2:-5}
out=$here/out
qelp=$build/bin/qelp
decode_only=$build/bench/decode_only

for tool in ffmpeg /usr/bin/time "$qelp" "$decode_only"; do
  if ! command -v "$tool" >/dev/null 2>&1 && [ ! -x "$tool" ]; then
    echo "decode_bench: $tool is missing (build the project and install ffmpeg and time)" >&2
    exit 1
  fi
done
mkdir -p "$out"

# Synthetic programme: per channel a slow sweep, a steady tone and some noise, so that the bit
# allocation and the transform see a busy, changing spectrum; the LFE a low tone.
make_stream() { # name layout bitrate expressions...
  name=$1 layout=$2 rate=$3
  shift 3
  if [ ! -s "$out/$name.ac3" ]; then
    echo "decode_bench: making $out/$name.ac3" >&2
    expr=$(printf '%s|' "$@")
    ffmpeg -hide_banner -loglevel error -y -f lavfi \
      -i "aevalsrc=exprs=${expr%|}:s=48000:d=600:c=$layout" \
      -c:a ac3 -b:a "$rate" "$out/$name.ac3.tmp.ac3"
    mv "$out/$name.ac3.tmp.ac3" "$out/$name.ac3"
  fi
}
ch() { # base frequency, sweep rate, level
  echo "$3*(0.6*sin(2*PI*($1*t+$2*t*t))+0.3*sin(2*PI*$1*1.5*t)*sin(PI*t/7)+0.1*(2*random($1)-1))"
}
make_stream surround_448 5.1 448k \
  "$(ch 220 3 0.5)" "$(ch 330 5 0.5)" "$(ch 440 2 0.4)" "0.3*sin(2*PI*50*t)" \
  "$(ch 550 7 0.3)" "$(ch 660 4 0.3)"
make_stream stereo_192 stereo 192k "$(ch 261 6 0.6)" "$(ch 392 4 0.6)"

# run LABEL CMD...: wall seconds, CPU seconds (user + system) and peak RSS (KiB) appended to
# $out/LABEL.times
run() {
  label=$1
  shift
  /usr/bin/time -f "%e %U %S %M" -o "$out/time.tmp" "$@" >/dev/null 2>&1 || {
    echo "decode_bench: '$*' failed" >&2
    exit 1
  }
  awk '{ printf "%s %.2f %s\n", $1, $2 + $3, $4 }' "$out/time.tmp" >>"$out/$label.times"
}

# The shortest wall time, the shortest CPU time and the largest peak memory over the rounds.
best_wall() { cut -d' ' -f1 "$out/$1.times" | sort -n | head -n 1; }
best_cpu() { cut -d' ' -f2 "$out/$1.times" | sort -n | head -n 1; }
peak_mem() { cut -d' ' -f3 "$out/$1.times" | sort -n | tail -n 1; }

for name in surround_448 stereo_192; do
  in=$out/$name.ac3
  rm -f "$out/$name".*.times
  i=0
  while [ "$i" -lt "$rounds" ]; do
    run "$name.qelp" "$qelp" convert -q -y "$in" "$out/$name.qelp.wav"
    run "$name.ffmpeg" ffmpeg -hide_banner -loglevel error -y -threads 1 -drc_scale 0 -i "$in" \
      -ac 2 -c:a pcm_s16le "$out/$name.ffmpeg.wav"
    run "$name.qelp_decode" "$decode_only" "$in"
    run "$name.ffmpeg_decode" ffmpeg -hide_banner -loglevel error -threads 1 -drc_scale 0 -i "$in" \
      -f null -
    i=$((i + 1))
  done
done

echo "Best of $rounds alternating rounds on 10-minute streams. Ratio: ffmpeg time / qelp time, above 1"
echo "when qelp is faster; by wall time, and by CPU time (user + system), which a busy machine"
echo "disturbs less. Memory: peak resident set size."
for name in surround_448 stereo_192; do
  for job in convert decode; do
    if [ "$job" = convert ]; then q=$name.qelp f=$name.ffmpeg; else q=$name.qelp_decode f=$name.ffmpeg_decode; fi
    awk -v n="$name" -v j="$job" -v wq="$(best_wall "$q")" -v wf="$(best_wall "$f")" \
      -v cq="$(best_cpu "$q")" -v cf="$(best_cpu "$f")" -v mq="$(peak_mem "$q")" -v mf="$(peak_mem "$f")" 'BEGIN {
      printf "%-13s %-8s qelp %6.2f s wall %6.2f s cpu %5.1f MiB | ffmpeg %6.2f s wall %6.2f s cpu %5.1f MiB | ratio wall %.2f cpu %.2f\n",
        n, j, wq, cq, mq / 1024, wf, cf, mf / 1024, (wq > 0 ? wf / wq : 0), (cq > 0 ? cf / cq : 0) }'
  done
done
