#!/usr/bin/env bash
# Installs what is missing, builds the library, the game and the tests, and
# runs every test twice: in a normal build and under AddressSanitizer and
# UndefinedBehaviorSanitizer; the movie tests, whose decoder threads share
# words with the main thread, run a third time under ThreadSanitizer. Last,
# the fuzz targets are built with clang and each runs a few seconds on its
# seed corpus, so that they keep building and running; an input that runs
# longer than the timeout fails the run with that input.
# Headless: SDL runs its dummy video and audio drivers.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh --fuzz

jobs=${JOBS:-$(nproc)}
export SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy
# Leaks of system libraries only; ours are always reported.
export LSAN_OPTIONS="suppressions=$PWD/tools/lsan-suppressions.txt:print_suppressions=0"
# The race detector sees the libraries built without it (FFmpeg, SDL) only
# through the C library calls they make, memcpy, memset, free, and not the
# atomics by which FFmpeg's decoding threads hand their buffers on: every
# such buffer would look raced, some freed in FFmpeg's own functions, some
# in nameless ones that no suppression can name. Those calls' accesses are
# left out; locks taken in the libraries still order threads, and every
# access our own code makes is checked, in the callbacks that FFmpeg runs
# too, on its threads or ours (tests/movie/decoder_callback_race_test.cpp).
export TSAN_OPTIONS="ignore_noninstrumented_modules=1"

# Each stage sets every option it depends on, whatever its folder's cache
# holds (tools/run-game.sh leaves the tests off in build/), and a stage that
# finds no test fails. The checking builds keep only line tables for their
# reports: full debug information would cost a quarter of their build.
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARNOK_TESTS=ON -DVARNOK_BENCH=ON \
  -DVARNOK_SANITIZE=OFF -DVARNOK_TSAN=OFF -DVARNOK_FUZZ=OFF
cmake --build build -j "$jobs"
(cd build && ctest --output-on-failure --no-tests=error -j "$jobs" --timeout 300)

cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DVARNOK_TESTS=ON -DVARNOK_SANITIZE=ON -DVARNOK_BENCH=OFF \
  -DVARNOK_TSAN=OFF -DVARNOK_FUZZ=OFF -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1"
cmake --build build-sanitize -j "$jobs"
(cd build-sanitize && ctest --output-on-failure --no-tests=error -j "$jobs" --timeout 600)

cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DVARNOK_TESTS=ON -DVARNOK_TSAN=ON -DVARNOK_BENCH=OFF \
  -DVARNOK_SANITIZE=OFF -DVARNOK_FUZZ=OFF -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1"
cmake --build build-tsan -j "$jobs" --target test_movie
(cd build-tsan && ctest --output-on-failure --no-tests=error -j "$jobs" --timeout 600 -L "^movie$")

# The fuzz targets only: the library is built once more, with clang.
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARNOK_FUZZ=ON \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" -DVARNOK_TESTS=OFF -DVARNOK_BENCH=OFF -DVARNOK_SANITIZE=OFF \
  -DVARNOK_TSAN=OFF
fuzz_names=()
for source in fuzz/*_fuzz.cpp; do
  fuzz_names+=("$(basename "$source" _fuzz.cpp)")
done
cmake --build build-fuzz -j "$jobs" --target "${fuzz_names[@]/#/fuzz_}"
# Seeds of the targets that read files; the others start from nothing.
seeds_of() {
  case "$1" in
    png | jpeg) echo tests/data/images/* tests/data/bad_images/* ;;
    wav | mp3 | ogg) echo tests/data/sound/* tests/data/bad_sounds/* ;;
    theora) echo build/test_movies/{gray420,odd420,color444,sound420}.ogv ;;
    media_open)
      echo build/test_movies/{colors.avi,colors.mp4,colors40.mp4,colors.m2v,tone.avi,changing.mov,rgba16.mov} \
        tests/data/movie_texts/* ;;
  esac
}
# Seconds one input may take. media_open runs the player's deadlines on a
# clock that moves at each read, so they pass in no wall time; what one
# input takes is the work between the reads, which the sanitizers slow.
fuzz_timeout=25
for name in "${fuzz_names[@]}"; do
  corpus=build-fuzz/corpus/$name
  rm -rf "$corpus"
  mkdir -p "$corpus"
  seeds=$(seeds_of "$name")
  [ -n "$seeds" ] && cp $seeds "$corpus"/
  if ! build-fuzz/fuzz_"$name" -max_total_time=3 -timeout="$fuzz_timeout" -print_final_stats=1 "$corpus" \
    > "$corpus.log" 2>&1; then
    cat "$corpus.log"
    echo "fuzz_$name failed" >&2
    exit 1
  fi
  echo "fuzz_$name: $(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$corpus.log" | grep -o '[0-9]*$') runs"
done
