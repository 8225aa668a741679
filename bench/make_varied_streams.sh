#!/bin/sh
# Makes the varied benchmark streams once, with ffmpeg's AC-3 encoder, into OUT_DIR (default
# bench/out/varied): five kinds of programme, each as 5.1 at 448 and 640 kbit/s, 2/0 at 192 kbit/s
# and 1/0 at 96 kbit/s, all 48 kHz and DURATION seconds long (default 180). Streams already there
# are kept. Prints the paths of the streams, one per line.
#
# The kinds, every channel a little different so that no two channels code alike:
#   speech   voiced syllables on a gliding pitch with fricative noise, in phrases with pauses
#   music    three-note chords of harmonic tones struck every half second (sharp attacks, so the
#            encoder switches blocks), changing every two seconds, with a low bass on the LFE
#   pink     pink noise
#   tones    a short tone every few seconds, silence in between
#   silence  a noise floor 60 dB down with a short burst every ten seconds
#
#   bench/make_varied_streams.sh [OUT_DIR] [DURATION]
set -eu

here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here/out/varied}
duration=${2:-180}
mkdir -p "$out"

# One channel of a kind; $2 makes the channels differ (0 to 5).
channel() { # kind index
  k=$2
  case $1 in
    speech)
      f0=$((110 + 23 * k))
      pitch="($f0*t-($f0*0.2/(2*PI*0.3))*cos(2*PI*0.3*t+$k))"
      voice="0.5*sin(2*PI*$pitch)+0.25*sin(4*PI*$pitch)+0.15*sin(6*PI*$pitch)+0.08*sin(10*PI*$pitch)"
      syllable="pow(abs(sin(PI*(3.3+0.2*$k)*t)),2)"
      hiss="0.15*(2*random($k)-1)*lt(mod(t*(3.3+0.2*$k),1),0.18)"
      echo "0.6*lt(mod(t+0.4*$k,3.3),2.5)*($syllable*($voice)+$hiss)"
      ;;
    music)
      root="(98+12*$k)*pow(2,trunc(mod(t/2,4))*5/12)"
      note() { echo "0.5*sin(2*PI*$1*t)+0.25*sin(4*PI*$1*t)+0.12*sin(6*PI*$1*t)"; }
      strike="exp(-5*mod(t+0.05*$k,0.5))"
      click="0.3*(2*random($k)-1)*exp(-90*mod(t+0.05*$k,0.5))"
      echo "0.25*$strike*($(note "$root")+$(note "$root*1.26")+$(note "$root*1.5"))+$click"
      ;;
    tones)
      period="(2.7+0.3*$k)"
      freq="(400+1600*abs(sin(1.7*trunc(t/$period)+$k)))"
      echo "0.5*lt(mod(t,$period),0.3)*sin(2*PI*$freq*t)"
      ;;
    silence)
      echo "0.001*(2*random($k)-1)+0.3*lt(mod(t+$k,10),0.2)*sin(2*PI*(700+100*$k)*t)"
      ;;
  esac
}

lfe() { # kind
  case $1 in
    music) echo "0.4*exp(-4*mod(t,0.5))*sin(2*PI*49*pow(2,trunc(mod(t/2,4))*5/12)*t)" ;;
    pink) echo "" ;;
    *) echo "0.05*sin(2*PI*40*t)" ;;
  esac
}

# The kind's six-channel source (FL FR FC LFE BL BR) as a 32-bit float WAVE file.
make_source() { # kind
  src=$out/$1.source.wav
  [ -s "$src" ] && return 0
  echo "make_varied_streams: making $src" >&2
  if [ "$1" = pink ]; then
    ffmpeg -hide_banner -loglevel error -y \
      -f lavfi -i "anoisesrc=c=pink:a=0.3:r=48000:d=$duration:s=1" \
      -f lavfi -i "anoisesrc=c=pink:a=0.3:r=48000:d=$duration:s=2" \
      -f lavfi -i "anoisesrc=c=pink:a=0.25:r=48000:d=$duration:s=3" \
      -f lavfi -i "anoisesrc=c=brown:a=0.2:r=48000:d=$duration:s=4" \
      -f lavfi -i "anoisesrc=c=pink:a=0.2:r=48000:d=$duration:s=5" \
      -f lavfi -i "anoisesrc=c=pink:a=0.2:r=48000:d=$duration:s=6" \
      -filter_complex "join=inputs=6:channel_layout=5.1" -c:a pcm_f32le "$src.tmp.wav"
  else
    exprs="$(channel "$1" 0)|$(channel "$1" 1)|$(channel "$1" 2)|$(lfe "$1")|$(channel "$1" 3)|$(channel "$1" 4)"
    # Commas inside the expressions would end the filter: escape them.
    exprs=$(printf '%s' "$exprs" | sed 's/,/\\,/g')
    ffmpeg -hide_banner -loglevel error -y -f lavfi \
      -i "aevalsrc=exprs=$exprs:s=48000:d=$duration:c=5.1" -c:a pcm_f32le "$src.tmp.wav"
  fi
  mv "$src.tmp.wav" "$src"
}

encode() { # kind name channels bitrate
  dest=$out/$2.ac3
  if [ ! -s "$dest" ]; then
    echo "make_varied_streams: making $dest" >&2
    case $3 in
      6) mix="" ;;
      2) mix="-af pan=stereo|c0=c0|c1=c1" ;;
      1) mix="-af pan=mono|c0=c2" ;;
    esac
    # shellcheck disable=SC2086
    ffmpeg -hide_banner -loglevel error -y -i "$out/$1.source.wav" $mix -c:a ac3 -b:a "$4" "$dest.tmp.ac3"
    mv "$dest.tmp.ac3" "$dest"
  fi
  echo "$dest"
}

for kind in speech music pink tones silence; do
  make_source "$kind"
  encode "$kind" "$kind.5.1.448" 6 448k
  encode "$kind" "$kind.5.1.640" 6 640k
  encode "$kind" "$kind.2.0.192" 2 192k
  encode "$kind" "$kind.1.0.96" 1 96k
done
