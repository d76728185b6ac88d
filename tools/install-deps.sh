#!/usr/bin/env bash
# Installs the Debian packages the library, the game, the tests and the
# benchmarks need, skipping the ones already present.
set -euo pipefail

packages=(
  build-essential cmake pkg-config ccache
  libsdl2-dev libx11-dev libxrandr-dev libfreetype-dev libfontconfig-dev
  libpng-dev libjpeg-dev zlib1g-dev
  libogg-dev libvorbis-dev libtheora-dev libmpg123-dev libtwolame-dev
  libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev
  fonts-ipafont-gothic
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xdotool openbox
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
  # A freshly booted machine often runs its own updates: wait for their lock
  # rather than fail at once. The install waits by itself (DPkg::Lock::Timeout);
  # the update does not wait on the package lists' lock, so it is tried again.
  lock_wait=600
  echo "Waiting up to ${lock_wait} s for the package manager's lock if another install holds it"
  waited=0
  until update_log=$($sudo_cmd apt-get -o DPkg::Lock::Timeout="$lock_wait" update -qq 2>&1); do
    if ! grep -q "Could not get lock" <<<"$update_log" || [ "$waited" -ge "$lock_wait" ]; then
      echo "$update_log" >&2
      exit 1
    fi
    sleep 5
    waited=$((waited + 5))
  done
  [ -n "$update_log" ] && echo "$update_log"
  $sudo_cmd apt-get -o DPkg::Lock::Timeout="$lock_wait" install -y -qq --no-install-recommends "${missing[@]}"
fi
