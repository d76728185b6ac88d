#!/usr/bin/env bash
# Measures how well movies played through the library keep pictures and
# sound together: makes the movies (once), builds movie_sync, plays every
# scenario and prints a table (tools/movie-sync/README.md tells what the
# columns mean).
#
#   tools/movie-sync/run.sh [--build DIR] [--movies DIR] [--out DIR] [--only REGEX]
#                           [--cores N] [--load N | --fifth | --quarter]
#                           [--no-build] [--no-ffmpeg-bench]
#
#   --build DIR     the CMake build folder (default build-h3 in the source tree);
#                   configured with the benchmarks on when it has no cache yet
#   --movies DIR    where the movies are made (default <build>/movie-sync/movies)
#   --out DIR       where the runs go (default <build>/movie-sync/runs/<date>[-mode])
#   --only REGEX    only the scenarios whose name matches
#   --cores N       the player counts its decoder threads from N cores
#   --load N        N busy loops run beside the player for the whole sitting
#   --fifth         the player is pinned to one processor that four busy loops
#                   share with it: a fifth of one processor
#   --quarter       the player is stopped 30 ms of every 40 (SIGSTOP and
#                   SIGCONT from stop_start.py): a quarter of the machine
#   --no-ffmpeg-bench  skip timing ffmpeg's own decode of the 4K movie
set -euo pipefail

HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
BUILD="$ROOT/build-h3"
MOVIES=""
OUT=""
LOAD=0
SLOW=""
CORES=0
ONLY=""
DO_BUILD=1
FFMPEG_BENCH=1
while [[ $# -gt 0 ]]; do
  case $1 in
    --build) BUILD=$(realpath -m "$2"); shift 2 ;;
    --movies) MOVIES=$(realpath -m "$2"); shift 2 ;;
    --out) OUT=$(realpath -m "$2"); shift 2 ;;
    --load) LOAD=$2; shift 2 ;;
    --fifth) SLOW=fifth; shift ;;
    --quarter) SLOW=quarter; shift ;;
    --cores) CORES=$2; shift 2 ;;
    --only) ONLY=$2; shift 2 ;;
    --no-build) DO_BUILD=0; shift ;;
    --no-ffmpeg-bench) FFMPEG_BENCH=0; shift ;;
    -h|--help) sed -n '2,23p' "$0"; exit 0 ;;
    *) echo "unknown argument $1" >&2; exit 2 ;;
  esac
done
if [[ -n $SLOW && $LOAD != 0 ]]; then echo "--load goes with neither --fifth nor --quarter" >&2; exit 2; fi
MOVIES=${MOVIES:-$BUILD/movie-sync/movies}
MODE=""
[[ $LOAD != 0 ]] && MODE+="-load$LOAD"
[[ -n $SLOW ]] && MODE+="-$SLOW"
[[ $CORES != 0 ]] && MODE+="-cores$CORES"
OUT=${OUT:-$BUILD/movie-sync/runs/$(date +%Y%m%d-%H%M%S)$MODE}
# A slowed player may take several times the movie's length; the timeout
# only ends a run that would otherwise not end.
SLOWDOWN=1
[[ -n $SLOW || $LOAD -ge $(nproc) ]] && SLOWDOWN=4
# --fifth: the last processor, shared with four busy loops.
PIN_CPU=$(( $(nproc) - 1 ))

# ---- Load: busy loops, a stopper and a stopped player of our own, each
# ended by its id on the way out (the stopper lets its player go on as it
# ends, and a player left running alone is ended with it).
LOAD_PIDS=()
STOPPER_PID=""
PLAYER_PID=""
stop_load() {
  local pid
  if [[ -n $STOPPER_PID ]]; then kill "$STOPPER_PID" 2>/dev/null || true; wait "$STOPPER_PID" 2>/dev/null || true; fi
  if [[ -n $PLAYER_PID ]]; then kill "$PLAYER_PID" 2>/dev/null || true; wait "$PLAYER_PID" 2>/dev/null || true; fi
  STOPPER_PID=""
  PLAYER_PID=""
  for pid in "${LOAD_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${LOAD_PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
  LOAD_PIDS=()
}
trap stop_load EXIT
trap 'exit 130' INT TERM

# ---- Movies and the program.
"$HERE/make-movies.sh" "$MOVIES"
if [[ $DO_BUILD == 1 ]]; then
  if [[ ! -f $BUILD/CMakeCache.txt ]]; then
    cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARNOK_TESTS=OFF -DVARNOK_BENCH=ON \
      -DVARNOK_SANITIZE=OFF -DVARNOK_TSAN=OFF -DVARNOK_FUZZ=OFF >/dev/null
  fi
  cmake --build "$BUILD" -j4 --target movie_sync >/dev/null
fi
PLAYER="$BUILD/movie_sync"
[[ -x $PLAYER ]] || { echo "no $PLAYER" >&2; exit 1; }
mkdir -p "$OUT"

for ((i = 0; i < LOAD; i++)); do
  yes >/dev/null &
  LOAD_PIDS+=($!)
done
if [[ $SLOW == fifth ]]; then
  for ((i = 0; i < 4; i++)); do
    taskset -c "$PIN_CPU" yes >/dev/null &
    LOAD_PIDS+=($!)
  done
fi
PLAYER_ARGS=()
[[ $CORES != 0 ]] && PLAYER_ARGS+=(--cores "$CORES")

# play ARGS...: the player, slowed as the sitting asks.
play() {
  case $SLOW in
    fifth) taskset -c "$PIN_CPU" "$PLAYER" "$@" ;;
    quarter)
      local status=0
      "$PLAYER" "$@" &
      PLAYER_PID=$!
      python3 "$HERE/stop_start.py" "$PLAYER_PID" --stop-ms 30 --period-ms 40 &
      STOPPER_PID=$!
      wait "$PLAYER_PID" || status=$?
      kill "$STOPPER_PID" 2>/dev/null || true
      wait "$STOPPER_PID" 2>/dev/null || true
      STOPPER_PID=""
      PLAYER_PID=""
      return "$status" ;;
    *) "$PLAYER" "$@" ;;
  esac
}

# ---- Scenarios: name, movie file, player options.
SCENARIOS=(
  "a720p60_aac         a720p60_aac.mkv"
  "a720p60_pcm         a720p60_pcm.mkv"
  "a720p60_aac_30s     a720p60_aac_30s.mkv"
  "a720p60_aac_mp4     a720p60_aac.mp4"
  "a720p60_pcm_mov     a720p60_pcm.mov"
  "a720p60_aac_10ms    a720p60_aac.mkv      --pace 10ms"
  "a720p60_aac_hold    a720p60_aac.mkv      --hold"
  "a720p60_aac_sdl     a720p60_aac.mkv      --audio sdl-disk"
  "b240p240            b240p240_aac.mkv"
  "b240p240_10ms       b240p240_aac.mkv     --pace 10ms"
  "c2160p30_hevc       c2160p30_hevc.mkv"
  "c2160p30_hevc_10ms  c2160p30_hevc.mkv    --pace 10ms"
  "d1080p30            d1080p30_aac.mkv"
  "d1080p30_mp4        d1080p30_aac.mp4"
  "d1080p30_hold       d1080p30_aac.mkv     --hold"
  "e_late25            e_late_sound_25.mkv"
  "e_late10            e_late_sound_10.mkv"
  "f_gap               f_sound_gap.mkv"
  "g_step_back         g_sound_step_back.mkv"
  "h_still             h_still_picture.mkv"
  "i_jump1000          i_sound_jump_1000.mkv"
  "i_jump1e9           i_sound_jump_1e9.mkv"
  "i_two_clocks        i_sound_two_clocks.mkv"
  "i_ts_joined         i_joined.ts"
  "i_ts_restart        i_sound_restart.ts"
  "j_sparse05          j_sparse_05.mkv"
  "j_sparse2           j_sparse_2.mkv"
  "k_sound10s          k_sound_10s_packets.mkv"
  "k_sound30s          k_sound_one_packet.mkv"
  "l_grow2160          l_grow_2160.mkv"
  "l_grow1080p10       l_grow_1080p10.mkv"
  "m_raw1080p50        m_raw_1080p50.avi"
  "m_raw1080p25        m_raw_1080p25.avi"
  "m_raw2160p25        m_raw_2160p25.avi"
  "n_sound_first_1     n_sound_first_1.mkv     --timeout 15"
  "n_sound_first_1024  n_sound_first_1024.mkv  --timeout 15"
  "o_8192              o_8192.mkv"
  "o_8192_k1           o_8192_k1.mkv"
)
# (The n_ movies last 300 s, all but their first 10 s a hum: what they
# measure is the open, so they are cut at 15 s.)

{
  echo "date: $(date -Is)"
  echo "tree: $(git -C "$ROOT" rev-parse --short HEAD 2>/dev/null)$(git -C "$ROOT" diff --quiet 2>/dev/null || echo ' (with changes)')"
  echo "machine: $(nproc) CPUs, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
  echo "load: $LOAD busy loops; load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
  case $SLOW in
    fifth) echo "slowed: the player pinned to processor $PIN_CPU with 4 busy loops pinned there too (a fifth of it)" ;;
    quarter) echo "slowed: the player stopped 30 ms of every 40 (a quarter of the time)" ;;
  esac
  echo "decoder cores: $([[ $CORES == 0 ]] && echo "the machine's" || echo "$CORES")"
} | tee "$OUT/sitting.txt"

RUNS=()
for line in "${SCENARIOS[@]}"; do
  read -r name file opts <<<"$line"
  [[ -n $ONLY && ! $name =~ $ONLY ]] && continue
  seconds=$(awk -F'\t' -v f="$file" '$2 == f { print $6 }' "$MOVIES/movies.tsv")
  timeout=$(( ${seconds:-10} * 3 * SLOWDOWN + 10 ))
  rm -rf "${OUT:?}/$name"
  echo "$name: load average before $(cut -d' ' -f1-3 /proc/loadavg)" >>"$OUT/loadavg.txt"
  # shellcheck disable=SC2086
  if play --movie "$MOVIES/$file" --out "$OUT/$name" --timeout "$timeout" "${PLAYER_ARGS[@]}" $opts; then
    RUNS+=("$OUT/$name")
  else
    echo "$name: the player failed" >&2
  fi
  if [[ $FFMPEG_BENCH == 1 && $name == c2160p30_hevc ]]; then
    # FFmpeg's own decode of the same file in the same sitting, for scale.
    echo "ffmpeg decode of $file (video only, to null):" | tee "$OUT/ffmpeg-decode.txt"
    frames=$(awk -F'\t' -v f="$file" '$2 == f { print $7 }' "$MOVIES/movies.tsv")
    for threads in 1 2 4 8; do
      rtime=$(ffmpeg -hide_banner -nostdin -benchmark -threads "$threads" -i "$MOVIES/$file" -an -f null - 2>&1 |
        sed -n 's/.*rtime=\([0-9.]*\)s.*/\1/p' | tail -1)
      awk -v t="$threads" -v r="$rtime" -v f="$frames" \
        'BEGIN { printf "  -threads %d: %.2f s for %d pictures, %.1f pictures/s\n", t, r, f, f / r }' |
        tee -a "$OUT/ffmpeg-decode.txt"
    done
  fi
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)" | tee -a "$OUT/sitting.txt"
stop_load

python3 "$HERE/analyse.py" --movies "$MOVIES" "${RUNS[@]}" >"$OUT/details.txt"
python3 "$HERE/analyse.py" --table-only --movies "$MOVIES" "${RUNS[@]}" | tee "$OUT/table.txt"
echo "details: $OUT/details.txt"
