#!/usr/bin/env bash
# Installs the Debian packages that the full build, the tests and the benchmarks need.
# Idempotent, and quiet when everything is present.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config git python3
  libgtest-dev libgmock-dev
  ffmpeg sox time
  libavcodec-dev libavformat-dev libavutil-dev libswresample-dev
  libasound2-dev alsa-utils
  qt6-base-dev qt6-base-dev-tools libgl-dev fonts-dejavu-core fonts-liberation
  xvfb xauth x11-apps imagemagick
  clang libclang-rt-14-dev valgrind
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; fi
echo "install-deps: installing ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
