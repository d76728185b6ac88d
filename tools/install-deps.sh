#!/usr/bin/env bash
# Installs the Debian packages the library, the game, the tests and the
# benchmarks need, skipping the ones already present.
set -euo pipefail

packages=(
  build-essential cmake pkg-config ccache
  libsdl2-dev libfreetype-dev libfontconfig-dev
  libpng-dev libjpeg-dev zlib1g-dev
  libogg-dev libvorbis-dev libtheora-dev libmpg123-dev libtwolame-dev
  libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev
  fonts-ipafont-gothic
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xdotool
)
# --fuzz adds clang and its libFuzzer runtime for the fuzz/ targets (VARNOK_FUZZ=ON).
if [ "${1:-}" = "--fuzz" ]; then
  packages+=(clang libclang-rt-dev)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo_cmd apt-get update -qq
  $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
