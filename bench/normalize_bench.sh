#!/usr/bin/env bash
# Peak normalization of a 16-bit stereo WAVE file of about 1 GiB: qelp normalize (in place) against
# sox IN OUT gain -n and against a plain read-and-rewrite of the file (cp), in one run.
#
#   bench/normalize_bench.sh [BUILD_DIR]     (default: build)
#
# The files live in bench/out/ (git-ignored); the input is made once and kept for later runs.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=${1:-$root/build}
qelp=$build/bin/qelp
out=$here/out
input=$out/normalize_in.wav
work=$out/normalize_work.wav
sox_out=$out/normalize_sox.wav
seconds=5592   # 5592 s x 192000 bytes/s = 1.0 GiB of data

[ -x "$qelp" ] || { echo "normalize_bench: $qelp not found; build first" >&2; exit 1; }
command -v sox >/dev/null || { echo "normalize_bench: sox not found" >&2; exit 1; }
mkdir -p "$out"

expected=$((46 + seconds * 192000))
if [ ! -f "$input" ] || [ "$(stat -c %s "$input")" -ne "$expected" ]; then
  echo "Making $input ($seconds s of 16-bit stereo at 48 kHz, peak 12000)..."
  python3 - "$input" "$seconds" <<'PY'
import math, struct, sys
path, seconds = sys.argv[1], int(sys.argv[2])
rate = 48000
# One second of two tones at a peak below full scale, repeated: normalization has work to do.
second = bytearray()
for i in range(rate):
    left = int(8000 * math.sin(2 * math.pi * 440 * i / rate) + 4000 * math.sin(2 * math.pi * 1250 * i / rate))
    right = int(-6000 * math.sin(2 * math.pi * 660 * i / rate) + 3000 * math.sin(2 * math.pi * 97 * i / rate))
    second += struct.pack('<hh', left, right)
data = len(second) * seconds
header = (b'RIFF' + struct.pack('<I', 38 + data) + b'WAVE' + b'fmt ' + struct.pack('<IHHIIHHH', 18, 1, 2, rate, rate * 4, 4, 16, 0)
          + b'data' + struct.pack('<I', data))
with open(path, 'wb') as f:
    f.write(header)
    block = bytes(second) * 16
    for _ in range(seconds // 16):
        f.write(block)
    f.write(bytes(second) * (seconds % 16))
PY
fi

now() { date +%s.%N; }
elapsed() { echo "$2 - $1" | bc -l; }

# Everything reads the input from the page cache: warm it once.
cat "$input" >/dev/null

rm -f "$work" "$sox_out"
t0=$(now); cp "$input" "$work"; t1=$(now)
t_cp=$(elapsed "$t0" "$t1")

t0=$(now); "$qelp" normalize -q "$work"; t1=$(now)
t_qelp=$(elapsed "$t0" "$t1")

t0=$(now); sox "$input" "$sox_out" gain -n; t1=$(now)
t_sox=$(elapsed "$t0" "$t1")

size_mib=$(( $(stat -c %s "$input") / 1048576 ))
printf 'file: %s (%d MiB, 16-bit stereo)\n' "$input" "$size_mib"
printf '%-28s %8.2f s\n' "cp (read and rewrite)" "$t_cp" "qelp normalize (peak)" "$t_qelp" "sox IN OUT gain -n" "$t_sox"
printf 'qelp is %.1fx faster than sox gain -n (target: at least 3x)\n' "$(echo "$t_sox / $t_qelp" | bc -l)"
printf 'qelp takes %.2fx the time of cp\n' "$(echo "$t_qelp / $t_cp" | bc -l)"

# Both must have reached full scale: the peak of the normalized file, read back by sox.
printf 'peak after qelp: %s, after sox: %s (1.0 = full scale)\n' \
  "$(sox "$work" -n stat 2>&1 | awk '/Maximum amplitude/ {max=$3} /Minimum amplitude/ {min=-$3} END {print (max > min ? max : min)}')" \
  "$(sox "$sox_out" -n stat 2>&1 | awk '/Maximum amplitude/ {max=$3} /Minimum amplitude/ {min=-$3} END {print (max > min ? max : min)}')"
rm -f "$work" "$sox_out"
