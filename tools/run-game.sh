#!/usr/bin/env bash
# Installs what is missing, builds the game with its data and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARNOK_TESTS=OFF -DVARNOK_BENCH=OFF
cmake --build build -j "$(nproc)"
mkdir -p run
if [ -x build/make_game_data ]; then
  build/make_game_data run
fi
cd run && exec ../build/tamblor
