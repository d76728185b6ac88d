// A round at CARNIVAL, watched: 32 computer creatures, from the state one
// minute (3,600 frames) into a round seeded alike every run, on one core.
// `round_frame` is a whole frame of the loop (input, the world's update,
// every drawing, the cursor; the present shows nothing), `round_logic` the
// world's update alone. Both go on from where the round stands, frame after
// frame, and report frames a second from the median frame time (and that
// median in milliseconds); a frame must take under 16.7 ms to hold 60 frames
// a second. The game runs on the tests' scripted devices with the build's
// data; the present is left out (its cost is the window system's copy).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "game/frame_loop.h"
#include "game/game_state.h"
#include "tests/game/game_harness.h"

namespace {

constexpr int kWarmFrames = 3600;
// Ten seconds of the round each: the same frames in every sitting, the
// frame case first, then the update alone.
constexpr int kTimedFrames = 600;

// The one game of the program, brought to the minute's state on first use.
const char* RoundOneMinuteIn() {
  if (!HasGameData()) return "no game data in the build folder";
  static GameHarness game(HarnessOptions().Seed(kWarmFrames));
  static bool started = false;
  if (!started) {
    game.presenter.keepFrames = false;
    ApplyDifficultyRow(g_gameState.settings, kDifficultyRows[kDifficultyCarnival], 1);
    SwitchScene(g_gameState, kSceneRound);
    game.Frames(kWarmFrames);
    started = true;
  }
  return g_gameState.scene == kSceneRound ? nullptr : "the round has ended";
}

template <typename Step>
void TimeFrames(benchmark::State& state, Step step) {
  if (const char* failure = RoundOneMinuteIn()) {
    state.SkipWithError(failure);
    return;
  }
  std::vector<double> milliseconds;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    step();
    milliseconds.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  auto middle = milliseconds.begin() + static_cast<std::ptrdiff_t>(milliseconds.size() / 2);
  std::nth_element(milliseconds.begin(), middle, milliseconds.end());
  state.counters["median_ms"] = *middle;
  state.counters["fps"] = 1000.0 / *middle;
}

void BM_RoundFrame(benchmark::State& state) { TimeFrames(state, [] { RunFrame(); }); }
BENCHMARK(BM_RoundFrame)->Name("round_frame")->Iterations(kTimedFrames)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RoundLogic(benchmark::State& state) { TimeFrames(state, [] { UpdateRound(); }); }
BENCHMARK(BM_RoundLogic)->Name("round_logic")->Iterations(kTimedFrames)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
