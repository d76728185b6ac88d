// The title screen's frame, the costliest one the game draws: behind the
// seven letters, seven additive lights enlarged 8 to 9 times (about 2,200
// pixels across, each covering the whole screen), then the menu and the
// cursor. The game runs on the tests' scripted devices with the build's
// data; the letters are held still once they have landed, with the lights
// at their smallest (glow 0) or largest (glow 100, per cent). The present
// is left out (its cost is the window system's copy). The `limit` case is
// the least those seven layers can cost in this renderer: seven
// full-screen pictures with alpha added 1:1, neither turned nor enlarged.
// A frame must take under 16.7 ms to hold 60 frames a second.
#include <benchmark/benchmark.h>

#include "core/varnok.h"
#include "game/frame_loop.h"
#include "game/title_menu.h"
#include "tests/game/game_harness.h"

namespace {

// No state the title's letters take: they stay where they are.
constexpr int32_t kLetterHeld = 1;
// Enough for the last letter to fall from -50,000 to its place.
constexpr int kLandingFrames = 150;

void ReportFramesPerSecond(benchmark::State& state) {
  state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_TitleFrame(benchmark::State& state) {
  if (!HasGameData()) {
    state.SkipWithError("no game data in the build folder");
    return;
  }
  GameHarness game;
  game.presenter.keepFrames = false;
  game.Frames(kLandingFrames);
  const float glow = static_cast<float>(state.range(0)) / 100.0f;
  for (TitleLetter& letter : g_titleLetters) {
    letter.glow = glow;
    letter.state = kLetterHeld;
  }
  for (auto _ : state) RunFrame();
  ReportFramesPerSecond(state);
}
BENCHMARK(BM_TitleFrame)
    ->Name("title_frame")
    ->ArgName("glow")
    ->Arg(0)
    ->Arg(100)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_TitleLightsLimit(benchmark::State& state) {
  GameHarness game;
  SetCreateGraphAlphaChannel(1);
  const int32_t layer = MakeEmptyGraph(1024, 768);
  SetCreateGraphAlphaChannel(0);
  // Partly clear everywhere, like the lights' middles: every pixel is weighed.
  FillGraphWithColor(layer, 120, 160, 255, 128);
  SetBlendMode(2, 40);
  for (auto _ : state) {
    for (int i = 0; i < 7; i++) DrawGraphAt(0, 0, layer, 1);
  }
  ReportFramesPerSecond(state);
}
BENCHMARK(BM_TitleLightsLimit)->Name("limit")->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
