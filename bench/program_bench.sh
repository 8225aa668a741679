#!/bin/sh
# Program benchmark: a whole conversion of the 10-minute 5.1 stream (3/2 + LFE, 448 kbit/s, 48 kHz)
# in the running program QelpConvert against qelp convert of the same file with the same options,
# alternating in one run. The program runs as a user has it: its dialog in an X window under Xvfb
# (or on Qt's offscreen platform with --offscreen), its own format chooser answered with 16-bit PCM,
# Start clicked, then its event loop with the 1 ms conversion timer, painting, skin and status line
# until it is ready again (bench program_convert measures from the click to that moment). The
# options are the dialog's own at start: surround-compatible fold-down and peak normalization, so
# qelp runs with -s -n; --no-normalize leaves the normalization out of both.
# Prints each round, the best and median times and the ratio program / qelp of the best times
# (goal: at most 1.2), the processor seconds of both (qelp's whole process; the program's from the
# click to the end, without the X server's), and checks that both wrote the same WAVE file. It is a
# benchmark, not a test: nothing fails on a slow run.
#
#   bench/program_bench.sh [--offscreen] [--no-normalize] [BUILD_DIR] [ROUNDS]   (defaults: build, 5)
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
platform=xcb
normalize=yes
while [ $# -gt 0 ]; do
  case $1 in
    --offscreen) platform=offscreen; shift ;;
    --no-normalize) normalize=no; shift ;;
    *) break ;;
  esac
done
build=${1:-$root/build}
rounds=${2:-5}
out=$here/out
qelp=$build/bin/qelp
program=$build/bench/program_convert

# Under Xvfb: the script runs itself once more inside one X server for all rounds.
if [ "$platform" = xcb ] && [ "${QELP_BENCH_INNER:-}" != 1 ]; then
  command -v xvfb-run >/dev/null 2>&1 || { echo "program_bench: xvfb-run is missing (apt-get install xvfb)" >&2; exit 1; }
  flags=
  [ "$normalize" = no ] && flags=--no-normalize
  QELP_BENCH_INNER=1 exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" $flags "$build" "$rounds"
fi

for tool in ffmpeg "$qelp" "$program"; do
  if ! command -v "$tool" >/dev/null 2>&1 && [ ! -x "$tool" ]; then
    echo "program_bench: $tool is missing (build the project with Qt 6, install ffmpeg)" >&2
    exit 1
  fi
done
mkdir -p "$out"

# The same synthetic 5.1 programme as decode_bench.sh makes (and shares through bench/out).
in=$out/surround_448.ac3
if [ ! -s "$in" ]; then
  echo "program_bench: making $in" >&2
  ch() { echo "$3*(0.6*sin(2*PI*($1*t+$2*t*t))+0.3*sin(2*PI*$1*1.5*t)*sin(PI*t/7)+0.1*(2*random($1)-1))"; }
  expr="$(ch 220 3 0.5)|$(ch 330 5 0.5)|$(ch 440 2 0.4)|0.3*sin(2*PI*50*t)|$(ch 550 7 0.3)|$(ch 660 4 0.3)"
  ffmpeg -hide_banner -loglevel error -y -f lavfi -i "aevalsrc=exprs=$expr:s=48000:d=600:c=5.1" \
    -c:a ac3 -b:a 448k "$in.tmp.ac3"
  mv "$in.tmp.ac3" "$in"
fi

qelp_flags="-s -n"
program_flags=
if [ "$normalize" = no ]; then
  qelp_flags="-s"
  program_flags=--no-normalize
fi

seconds() { # CMD...: "WALL CPU" seconds of one run; CPU is user + system of the command
  start=$(date +%s.%N)
  # The shell's times builtin: its second line is the children's user and system time (0m0.59s).
  cpu=$(sh -c '"$@" >/dev/null 2>&1 || exit 1; times' sh "$@" |
    awk 'NR == 2 { split($1, u, /[ms]/); split($2, s, /[ms]/); printf "%.3f", u[1] * 60 + u[2] + s[1] * 60 + s[2] }') ||
    { echo "program_bench: '$*' failed" >&2; exit 1; }
  [ -n "$cpu" ] || { echo "program_bench: '$*' failed" >&2; exit 1; }
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" -v c="$cpu" 'BEGIN { printf "%.3f %s\n", b - a, c }'
}

rm -f "$out"/program.times "$out"/qelp_convert.times "$out"/program.cpu "$out"/qelp_convert.cpu
i=0
while [ "$i" -lt "$rounds" ]; do
  q=$(seconds "$qelp" convert -q -y $qelp_flags "$in" "$out/surround_448.qelp.wav") || exit 1
  tq=${q% *}
  cq=${q#* }
  line=$(QT_QPA_PLATFORM=$platform "$program" $program_flags "$in" "$out/surround_448.program.wav" 2>/dev/null) ||
    { echo "program_bench: program_convert failed: $line" >&2; exit 1; }
  line=$(echo "$line" | head -n 1)
  tp=${line%% s,*}
  cp=${line#*cpu }
  cp=${cp%% s,*}
  echo "$tq" >>"$out/qelp_convert.times"
  echo "$tp" >>"$out/program.times"
  echo "$cq" >>"$out/qelp_convert.cpu"
  echo "$cp" >>"$out/program.cpu"
  echo "round $((i + 1)): qelp convert $tq s, cpu $cq s; program $line"
  i=$((i + 1))
done
cmp -s "$out/surround_448.qelp.wav" "$out/surround_448.program.wav" || echo "program_bench: the two WAVE files differ" >&2
best() { sort -n "$1" | head -n 1; }
median() { sort -n "$1" | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }
awk -v tq="$(best "$out/qelp_convert.times")" -v tp="$(best "$out/program.times")" \
    -v mq="$(median "$out/qelp_convert.times")" -v mp="$(median "$out/program.times")" \
    -v cq="$(median "$out/qelp_convert.cpu")" -v cp="$(median "$out/program.cpu")" \
    -v r="$rounds" -v p="$platform" -v n="$normalize" 'BEGIN {
  printf "10-minute 5.1 stream, surround, normalize %s, %d alternating rounds, program on %s:\n", n, r, p
  printf "  best:   qelp convert %.3f s, program %.3f s, ratio %.3f (goal <= 1.2)\n", tq, tp, (tq > 0 ? tp / tq : 0)
  printf "  median: qelp convert %.3f s, program %.3f s, ratio %.3f\n", mq, mp, (mq > 0 ? mp / mq : 0)
  printf "  median cpu: qelp convert %.3f s, program %.3f s, ratio %.3f\n", cq, cp, (cq > 0 ? cp / cq : 0) }'
