#!/bin/sh
# Conversion benchmark over varied content: qelp convert against ffmpeg (one thread, dynamic range
# compression off), both writing a 16-bit stereo WAVE file, on the twenty streams that
# make_varied_streams.sh makes (five kinds of programme, each as 5.1 at 448 and 640 kbit/s, 2/0 at
# 192 kbit/s and 1/0 at 96 kbit/s, three minutes each). Rounds alternate the two tools on every
# stream; each tool's best wall and CPU time count. Prints per stream the times, the ratio
# (ffmpeg time / qelp time: above 1 when qelp is faster) and peak resident memory, then the
# smallest ratio per layout. It is a benchmark, not a test: nothing fails on a slow run.
#
#   bench/varied_bench.sh [BUILD_DIR] [ROUNDS] [QELP_OPTIONS...]    (defaults: build, 5)
#
# QELP_OPTIONS go to qelp convert as they are (for example -s to time the surround fold-down).
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=${1:-$root/build}
rounds=${2:-5}
[ $# -ge 2 ] && shift 2 || shift $#
qelp=$build/bin/qelp
out=$here/out/varied

for tool in ffmpeg /usr/bin/time "$qelp"; do
  if ! command -v "$tool" >/dev/null 2>&1 && [ ! -x "$tool" ]; then
    echo "varied_bench: $tool is missing (build the project and install ffmpeg and time)" >&2
    exit 1
  fi
done
streams=$("$here/make_varied_streams.sh" "$out")

# run LABEL CMD...: wall seconds, CPU seconds (user + system) and peak RSS (KiB) appended to
# $out/LABEL.times
run() {
  label=$1
  shift
  # time -v gives CPU time and memory; its wall clock has only hundredths, so take it here.
  start=$(date +%s.%N)
  /usr/bin/time -v -o "$out/time.tmp" "$@" >/dev/null 2>&1 || {
    echo "varied_bench: '$*' failed" >&2
    exit 1
  }
  end=$(date +%s.%N)
  awk -F': ' -v wall="$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')" '
    /User time/ { user = $2 } /System time/ { sys = $2 } /Maximum resident/ { rss = $2 }
    END { printf "%.3f %.3f %d\n", wall, user + sys, rss }' "$out/time.tmp" >>"$out/$label.times"
}
best() { cut -d' ' -f"$2" "$out/$1.times" | sort -n | head -n 1; }
peak() { cut -d' ' -f3 "$out/$1.times" | sort -n | tail -n 1; }

for in in $streams; do
  name=$(basename "$in" .ac3)
  rm -f "$out/$name".*.times
done
i=0
while [ "$i" -lt "$rounds" ]; do
  for in in $streams; do
    name=$(basename "$in" .ac3)
    run "$name.qelp" "$qelp" convert -q -y "$@" "$in" "$out/$name.qelp.wav"
    run "$name.ffmpeg" ffmpeg -hide_banner -loglevel error -y -threads 1 -drc_scale 0 -i "$in" \
      -ac 2 -c:a pcm_s16le "$out/$name.ffmpeg.wav"
  done
  i=$((i + 1))
done
rm -f "$out"/*.qelp.wav "$out"/*.ffmpeg.wav "$out/time.tmp"

echo "Best of $rounds alternating rounds, 3-minute streams. Ratio: ffmpeg time / qelp time (above 1 when"
echo "qelp is faster), by wall time and by CPU time (user + system). Memory: peak resident set size."
printf '%-22s %9s %9s %8s | %9s %9s %8s | %6s %6s\n' stream "qelp wall" cpu MiB "ffmpeg" cpu MiB wall cpu
for in in $streams; do
  name=$(basename "$in" .ac3)
  awk -v n="$name" -v wq="$(best "$name.qelp" 1)" -v cq="$(best "$name.qelp" 2)" -v mq="$(peak "$name.qelp")" \
    -v wf="$(best "$name.ffmpeg" 1)" -v cf="$(best "$name.ffmpeg" 2)" -v mf="$(peak "$name.ffmpeg")" 'BEGIN {
    printf "%-22s %8.3fs %8.3fs %8.1f | %8.3fs %8.3fs %8.1f | %6.2f %6.2f\n",
      n, wq, cq, mq / 1024, wf, cf, mf / 1024, (wq > 0 ? wf / wq : 0), (cq > 0 ? cf / cq : 0) }'
done | tee "$out/summary.txt"
echo
echo "Smallest ratio per layout (wall / cpu), largest qelp peak memory:"
awk '{ split($1, p, "."); layout = p[2] "." p[3]; wall = $(NF - 1); cpu = $NF; mem = $4
       if (!(layout in w) || wall < w[layout]) w[layout] = wall
       if (!(layout in c) || cpu < c[layout]) c[layout] = cpu
       if (mem > m[layout]) m[layout] = mem }
     END { for (l in w) printf "  %-4s %5.2f / %5.2f   %5.1f MiB\n", l, w[l], c[l], m[l] }' "$out/summary.txt" | sort
