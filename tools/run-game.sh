#!/usr/bin/env bash
# Installs what is missing, builds the game with its data and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARNOK_TESTS=OFF -DVARNOK_BENCH=OFF
cmake --build build -j "$(nproc)"
# The game reads its data tree and writes config.ini in its working folder:
# the build folder, where the build makes the data.
cd build && exec ./tamblor
