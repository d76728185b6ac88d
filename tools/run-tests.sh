#!/usr/bin/env bash
# Installs what is missing, builds the library, the game and the tests, and
# runs every test twice: in a normal build and under AddressSanitizer and
# UndefinedBehaviorSanitizer; the movie tests, whose decoder threads share
# words with the main thread, run a third time under ThreadSanitizer.
# Headless: SDL runs its dummy video and audio drivers.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh

jobs=${JOBS:-$(nproc)}
export SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy
# Leaks of system libraries only; ours are always reported.
export LSAN_OPTIONS="suppressions=$PWD/tools/lsan-suppressions.txt:print_suppressions=0"

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
(cd build && ctest --output-on-failure -j "$jobs" --timeout 300)

cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DVARNOK_SANITIZE=ON -DVARNOK_BENCH=OFF \
  -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g"
cmake --build build-sanitize -j "$jobs"
(cd build-sanitize && ctest --output-on-failure -j "$jobs" --timeout 600)

cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DVARNOK_TSAN=ON -DVARNOK_BENCH=OFF \
  -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g"
cmake --build build-tsan -j "$jobs" --target test_movie
(cd build-tsan && ctest --output-on-failure -j "$jobs" --timeout 600 -L "^movie$")
