#!/usr/bin/env bash
# Makes the AC-3 fixtures in this folder and samples/demo.ac3 from synthetic signals with FFmpeg's
# AC-3 encoder, plus the damaged streams the tests need. The outputs are committed so that the tests
# do not depend on the encoder's version; run this again only to change the set.
#
#   tests/data/make_fixtures.sh             (from the repository root; needs ffmpeg and python3)
#   tests/data/make_fixtures.sh containers  (only the container, burst and E-AC-3 files in
#                                            tests/data/containers, from the committed streams)
#
# Signals: each channel carries its own tone (channel n at 220·(n+1) Hz), a slow sweep from 2 to
# 14 kHz so that coupling has high-frequency content to work on, and a little noise. Envelopes
# differ per channel so that a wrong channel order shows up. The LFE channel carries 60 Hz.
set -euo pipefail
cd "$(dirname "$0")"
DATA=$PWD
ROOT=$(cd ../.. && pwd)

ff() { ffmpeg -hide_banner -loglevel error -y "$@"; }

# The AC-3 streams of existing fixtures in the containers people meet (the stream copied, not
# re-encoded, so that a conversion must equal the raw stream's byte for byte), WAVE files of
# IEC 61937 bursts (FFmpeg's spdif muxer, wrapped in a WAVE header as 16-bit stereo PCM), a file
# with two AC-3 tracks and an AAC track, and streams in codecs qelp refuses.
containers() {
  local C=$DATA/containers s=$DATA/stereo_48k_192.ac3 m=$DATA/3f2r_lfe_48k_448.ac3
  mkdir -p "$C"
  ff -i "$s" -c copy "$C/stereo.mkv"
  ff -i "$s" -c copy "$C/stereo.mp4"
  ff -i "$s" -c copy -f mov "$C/stereo.mov"
  ff -i "$s" -c copy -f vob "$C/stereo.vob"
  ff -i "$s" -c copy -f mpeg "$C/stereo.mpg"
  ff -i "$s" -c copy -f mpegts "$C/stereo.ts"
  ff -i "$s" -c copy -f mpegts -mpegts_m2ts_mode 1 "$C/stereo.m2ts"
  ff -i "$s" -c copy "$C/stereo.avi"
  ff -i "$ROOT/samples/demo.ac3" -c copy -f vob "$C/demo.vob"
  # A video track in front of the audio, as in a film.
  ff -f lavfi -i "color=c=gray:s=64x48:r=5:d=2" -i "$m" -map 0:v -map 1:a -c:v mpeg4 -c:a copy -shortest \
     "$C/video_51.mkv"
  # Track 1 AC-3 stereo, track 2 AC-3 5.1, track 3 AAC; languages on each.
  ff -i "$s" -i "$m" -f lavfi -i "sine=f=440:d=2" -map 0:a -map 1:a -map 2:a -c:a:0 copy -c:a:1 copy \
     -c:a:2 aac -b:a:2 64k -metadata:s:a:0 language=eng -metadata:s:a:1 language=deu \
     -metadata:s:a:2 language=fra "$C/multi.mkv"
  # E-AC-3: a raw stream, a track, and AAC alone (no AC-3 track at all).
  ff -f lavfi -i "sine=f=440:d=0.5" -ac 2 -c:a eac3 -b:a 96k "$C/tone.eac3"
  ff -i "$C/tone.eac3" -i "$s" -map 0:a -map 1:a -c copy "$C/eac3_then_ac3.mka"
  ff -f lavfi -i "sine=f=440:d=1" -c:a aac -b:a 64k "$C/aac_only.mp4"
  # IEC 61937 bursts in WAVE: AC-3 5.1, and E-AC-3 and DTS (a tenth of a second of each).
  spdif_wav "$m" "$C/spdif_51.wav"
  ff -f lavfi -i "sine=f=440:d=0.1" -ac 2 -c:a eac3 -b:a 96k "$C/short.eac3"
  spdif_wav "$C/short.eac3" "$C/spdif_eac3.wav"
  ff -f lavfi -i "sine=f=440:d=0.1" -ac 2 -ar 48000 -c:a dca -strict -2 "$C/short.dts"
  spdif_wav "$C/short.dts" "$C/spdif_dts.wav"
  rm -f "$C/short.eac3" "$C/short.dts"
  ls -l "$C"
}

# spdif_wav STREAM OUT: STREAM's frames as IEC 61937 bursts in a 16-bit stereo WAVE file.
spdif_wav() {
  ff -i "$1" -c copy -f spdif "$2.spdif"
  ff -f s16le -ar 48000 -ac 2 -i "$2.spdif" -c copy "$2"
  rm -f "$2.spdif"
}

if [[ "${1:-}" == containers ]]; then
  containers
  exit 0
fi

# signal LAYOUT CHANNELS RATE SECONDS: an aevalsrc expression list for that many channels
signal() {
  local channels=$1 lfe_index=$2 exprs=() n
  for ((n = 0; n < channels; n++)); do
    if [[ $n == "$lfe_index" ]]; then
      exprs+=("0.5*sin(2*PI*60*t)")
    else
      local f=$((220 * (n + 1)))
      exprs+=("(0.25+0.15*sin(2*PI*$((n + 1))*0.37*t))*sin(2*PI*$f*t)+0.08*sin(2*PI*(2000+6000*t/4)*t*(1+0.$n))+0.02*(random($n)*2-1)")
    fi
  done
  local IFS='|'
  echo "${exprs[*]}"
}

# encode NAME LAYOUT CHANNELS LFE_INDEX RATE KBPS SECONDS [extra ffmpeg options]
encode() {
  local name=$1 layout=$2 channels=$3 lfe=$4 rate=$5 kbps=$6 seconds=$7
  shift 7
  ff -f lavfi -i "aevalsrc=$(signal "$channels" "$lfe"):s=$rate:d=$seconds" \
     -af "aformat=channel_layouts=$layout" -c:a ac3 -b:a "${kbps}k" "$@" "$DATA/$name.ac3"
}

# Every layout the encoder takes, acmod 1..7, with and without LFE (LFE index in FFmpeg's order).
encode mono_48k_96          mono            1 -1 48000  96 2
encode mono_lfe_48k_128     "FC+LFE"        2  1 48000 128 2
encode stereo_48k_192       stereo          2 -1 48000 192 2
encode stereo_lfe_48k_192   2.1             3  2 48000 192 2
encode 3f_48k_256           3.0             3 -1 48000 256 2
encode 2f1r_48k_256         "3.0(back)"     3 -1 48000 256 2
encode 2f1r_lfe_48k_256     "FL+FR+LFE+BC"  4  2 48000 256 2
encode 3f_lfe_48k_320       3.1             4  3 48000 320 2
encode 3f1r_48k_320         4.0             4 -1 48000 320 2
encode 3f1r_lfe_48k_384     4.1             5  3 48000 384 2
encode 2f2r_48k_320         quad            4 -1 48000 320 2
encode 3f2r_48k_384         5.0             5 -1 48000 384 2
encode 3f2r_lfe_48k_448     5.1             6  3 48000 448 2

# Sampling rates and bit rates at both ends of the table.
encode stereo_44k_192       stereo          2 -1 44100 192 2
encode stereo_44k_32        stereo          2 -1 44100  32 2
encode 3f2r_lfe_44k_640     5.1             6  3 44100 640 2
encode stereo_32k_96        stereo          2 -1 32000  96 2
encode 3f2r_lfe_32k_384     5.1             6  3 32000 384 2
encode mono_48k_32          mono            1 -1 48000  32 2
encode 3f2r_lfe_48k_640     5.1             6  3 48000 640 2

# Coupling forced on and off, with different start bands; rematrixing off.
encode stereo_cpl_48k_128   stereo          2 -1 48000 128 2 -channel_coupling 1 -cpl_start_band 0
encode stereo_cpl2_48k_96   stereo          2 -1 48000  96 2 -channel_coupling 1 -cpl_start_band 2
encode stereo_nocpl_48k_96  stereo          2 -1 48000  96 2 -channel_coupling 0
encode stereo_norematrix_48k_192 stereo     2 -1 48000 192 2 -stereo_rematrixing 0
encode 3f2r_lfe_cpl_48k_256 5.1             6  3 48000 256 2 -channel_coupling 1 -cpl_start_band 3
encode 3f2r_lfe_nocpl_48k_448 5.1           6  3 48000 448 2 -channel_coupling 0

# Mix levels other than the defaults (cmixlev 2 and surmixlev 2: -6 dB centre, no surround).
encode 3f2r_mixlev_48k_384  5.0             5 -1 48000 384 2 -center_mixlev 0.5 -surround_mixlev 0

# A language code and another service kind in the bit stream information are not settable through
# the encoder; the frame writer of the tests covers those fields.

# The sample of the quick start: five seconds of 5.1.
encode demo_tmp             5.1             6  3 48000 448 5
mkdir -p "$ROOT/samples"
mv "$DATA/demo_tmp.ac3" "$ROOT/samples/demo.ac3"

# An E-AC-3 stream (bsid 16), which the decoder names and refuses.
ff -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=1" -ac 2 -c:a eac3 -b:a 192k -f eac3 \
   "$DATA/eac3_48k_192.eac3"

# Damaged streams, cut from the clean ones.
python3 - "$DATA" <<'PY'
import sys, os, random
d = sys.argv[1]
def read(n): return open(os.path.join(d, n), 'rb').read()
def write(n, b): open(os.path.join(d, n), 'wb').write(b)
rng = random.Random(1234)

clean = read('stereo_48k_192.ac3')          # 768-byte frames
frame = 768
# Junk (no sync word in it) before the first frame.
junk = bytes(rng.choice([b for b in range(256) if b not in (0x0B, 0x77)]) for _ in range(1000))
write('damaged_junk_start.ac3', junk + clean)
# One flipped bit in the middle of frame 10: its CRC fails, the others decode.
b = bytearray(clean); b[10 * frame + 300] ^= 0x10
write('damaged_bitflip_frame10.ac3', bytes(b))
# The last frame cut short.
write('damaged_truncated_last.ac3', clean[:len(clean) - frame // 2])
# Zero padding up to a multiple of 2047 bytes: the reader's last chunk is all zeros.
small = read('mono_48k_32.ac3')              # 128-byte frames
pad = (-len(small)) % 2047
write('len_multiple_2047.ac3', small + bytes(pad))
# Shorter than one input chunk: ten 128-byte frames.
write('short_1280.ac3', small[:10 * 128])
# Junk between frames, after frame 5.
write('damaged_junk_between.ac3', clean[:5 * frame] + junk[:333] + clean[5 * frame:])
PY

ls -l "$DATA"/*.ac3 "$DATA"/*.eac3 "$ROOT/samples/demo.ac3"
containers
