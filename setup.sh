#!/usr/bin/env bash
# Installs the Debian packages SkyRail needs to build, run and test.
# Idempotent and quiet when everything is present; runs apt-get directly as
# root and through sudo otherwise.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config ccache googletest libgtest-dev
  libsdl1.2-dev libsdl-mixer1.2-dev libx11-dev libxext-dev
  libegl-dev libgles-dev libegl-mesa0 libgl1-mesa-dri
  libpng-dev zlib1g-dev
  libvorbisidec-dev libvorbis-dev libogg-dev vorbis-tools
  libkissfft-dev
  libavformat-dev libavcodec-dev libswresample-dev ffmpeg flac
  libts-dev libiniparser-dev
  libfreetype-dev fonts-dejavu-core
  xvfb xauth xdotool
  desktop-file-utils
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then SUDO=(); else SUDO=(sudo); fi
echo "setup: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" apt-get update -qq
"${SUDO[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
