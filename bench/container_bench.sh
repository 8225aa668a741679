#!/bin/sh
# Container benchmark: qelp convert of a 10-minute 5.1 stream (448 kbit/s) from a Matroska file
# against the same stream raw, alternating in one run; prints each one's CPU seconds (user + system,
# the best of ROUNDS) and the ratio mkv / raw (1.10 or less is the goal: demuxing costs little next
# to decoding). Also the IEC 61937 WAVE of the same stream, and what a container costs once per file
# (measured on a 1-second stream) apart from the demuxing. A benchmark, not a test.
#
#   bench/container_bench.sh [BUILD_DIR] [ROUNDS]     (defaults: build, 5)
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=${1:-$root/build}
rounds=${2:-5}
out=$here/out
qelp=$build/bin/qelp
mkdir -p "$out"

raw=$out/container_51.ac3
if [ ! -s "$raw" ]; then
  echo "container_bench: making $raw" >&2
  ffmpeg -hide_banner -loglevel error -y -f lavfi \
    -i "aevalsrc=exprs=0.3*sin(2*PI*(200+50*t)*t)|0.3*sin(2*PI*330*t)+0.05*(random(1)*2-1)|0.2*sin(2*PI*440*t)|0.5*sin(2*PI*60*t)|0.2*sin(2*PI*550*t)+0.05*(random(2)*2-1)|0.2*sin(2*PI*660*t):s=48000:d=600:c=5.1" \
    -c:a ac3 -b:a 448k "$raw"
fi
[ -s "$out/container_51.mkv" ] || ffmpeg -hide_banner -loglevel error -y -i "$raw" -c copy "$out/container_51.mkv"
if [ ! -s "$out/container_51_spdif.wav" ]; then
  ffmpeg -hide_banner -loglevel error -y -i "$raw" -c copy -f spdif "$out/container_51.spdif"
  ffmpeg -hide_banner -loglevel error -y -f s16le -ar 48000 -ac 2 -i "$out/container_51.spdif" -c copy \
    "$out/container_51_spdif.wav"
  rm -f "$out/container_51.spdif"
fi

# One second of the same stream, raw and in Matroska: what a container costs once per file (loading
# libavformat with its dependencies, opening and probing the file) apart from the demuxing itself.
[ -s "$out/container_1s.ac3" ] || ffmpeg -hide_banner -loglevel error -y -i "$raw" -t 1 -c copy "$out/container_1s.ac3"
[ -s "$out/container_1s.mkv" ] || ffmpeg -hide_banner -loglevel error -y -i "$out/container_1s.ac3" -c copy "$out/container_1s.mkv"

# cpu FILE: user + system seconds of one conversion
cpu() {
  /usr/bin/time -f "%U %S" -o "$out/time.txt" "$qelp" convert -q -y "$1" "$out/container_out.wav"
  awk '{ printf "%.3f\n", $1 + $2 }' "$out/time.txt"
}

best_raw=999999 best_mkv=999999 best_iec=999999 best_short_raw=999999 best_short_mkv=999999
i=0
while [ "$i" -lt "$rounds" ]; do
  r=$(cpu "$raw"); m=$(cpu "$out/container_51.mkv"); w=$(cpu "$out/container_51_spdif.wav")
  best_raw=$(echo "$r $best_raw" | awk '{ print ($1 < $2) ? $1 : $2 }')
  best_mkv=$(echo "$m $best_mkv" | awk '{ print ($1 < $2) ? $1 : $2 }')
  best_iec=$(echo "$w $best_iec" | awk '{ print ($1 < $2) ? $1 : $2 }')
  sr=$(cpu "$out/container_1s.ac3"); sm=$(cpu "$out/container_1s.mkv")
  best_short_raw=$(echo "$sr $best_short_raw" | awk '{ print ($1 < $2) ? $1 : $2 }')
  best_short_mkv=$(echo "$sm $best_short_mkv" | awk '{ print ($1 < $2) ? $1 : $2 }')
  i=$((i + 1))
done
echo "raw .ac3          $best_raw s CPU"
echo "Matroska .mkv     $best_mkv s CPU  (mkv / raw = $(echo "$best_mkv $best_raw" | awk '{ printf "%.3f", $1 / $2 }'))"
echo "IEC 61937 WAVE    $best_iec s CPU  (wav / raw = $(echo "$best_iec $best_raw" | awk '{ printf "%.3f", $1 / $2 }'))"
fixed=$(echo "$best_short_mkv $best_short_raw" | awk '{ d = $1 - $2; printf "%.3f", (d > 0 ? d : 0) }')
echo "once per container file (1-second .mkv less 1-second raw): $fixed s CPU"
echo "Matroska demuxing alone: mkv less that / raw = $(echo "$best_mkv $fixed $best_raw" | awk '{ printf "%.3f", ($1 - $2) / $3 }')"
