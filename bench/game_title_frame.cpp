// The title screen's frame, the costliest one the game draws: behind the
// seven letters, seven additive lights enlarged 8 to 9 times (about 2,200
// pixels across, each covering the whole screen), then the menu and the
// cursor. The game runs from the build folder, where its data is made, on
// scripted devices; the letters are held still once they have landed, with
// the lights at their smallest (glow 0) or largest (glow 100, per cent).
// The present is left out (its cost is the window system's copy). The
// `limit` case is the least those seven layers can cost in this renderer:
// seven full-screen pictures with alpha added 1:1, neither turned nor
// enlarged. A frame must take under 16.7 ms to hold 60 frames a second.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "core/core_api.h"
#include "game/frame_loop.h"
#include "game/title_menu.h"
#include "graphics/graphics_api.h"
#include "graphics/screen.h"
#include "platform/audio_device.h"
#include "platform/input_device.h"
#include "platform/present.h"
#include "platform/scripted_window.h"

namespace {

class DiscardingPresenter : public PlatformPresenter {
 public:
  int Open(int, int, int) override { return 0; }
  void Close() override {}
  int Present(const uint8_t*, int) override { return 0; }
  int ReadBack(std::vector<uint32_t>*, int*, int*) override { return -1; }
  void ForgetWindow() override {}
};

// The game started in a scratch folder that holds the build's data tree and
// a windowed config.ini; everything is undone when it goes.
class StartedGame {
 public:
  StartedGame() : start_(std::filesystem::current_path()) {
    char name[] = "/tmp/bench_title_XXXXXX";
    if (!mkdtemp(name)) return;
    folder_ = name;
    const std::filesystem::path data = std::filesystem::path(TAMBLOR_BUILD_DIR) / "data";
    if (!std::filesystem::exists(data / "graphic" / "title" / "titleLogo_light.png")) return;
    std::filesystem::create_directory_symlink(data, folder_ / "data");
    std::ofstream(folder_ / "config.ini", std::ios::binary) << "#FULLSCREEN_MODE\r\n0\r\n";
    std::filesystem::current_path(folder_);
    SetPlatformWindow(&window_);
    SetPlatformPresenter(&presenter_);
    SetInputBackend(&devices_);
    SetPresentPacingForTest(0);
    AudioSelectOutput(AudioOutputKind::Manual);
    // A copy of the game running on this machine holds the program's name.
    SetAllowMultipleInstances(1);
    started_ = GameInit() == 0;
  }
  ~StartedGame() {
    LibraryEnd();
    AudioSelectOutput(AudioOutputKind::Sdl);
    SetPresentPacingForTest(1);
    SetInputBackend(nullptr);
    SetPlatformPresenter(nullptr);
    SetPlatformWindow(nullptr);
    std::filesystem::current_path(start_);
    if (!folder_.empty()) std::filesystem::remove_all(folder_);
  }
  // Why the game is not running, or null when it is.
  const char* Failure() const {
    if (folder_.empty()) return "no scratch folder";
    if (!std::filesystem::exists(folder_ / "data")) return "no game data in the build folder";
    return started_ ? nullptr : "the game did not start";
  }

 private:
  std::filesystem::path start_, folder_;
  ScriptedWindow window_;
  DiscardingPresenter presenter_;
  ScriptedInputBackend devices_;
  bool started_ = false;
};

// No state the title's letters take: they stay where they are.
constexpr int32_t kLetterHeld = 1;
// Enough for the last letter to fall from -50,000 to its place.
constexpr int kLandingFrames = 150;

void ReportFramesPerSecond(benchmark::State& state) {
  state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_TitleFrame(benchmark::State& state) {
  StartedGame game;
  if (const char* failure = game.Failure()) {
    state.SkipWithError(failure);
    return;
  }
  for (int i = 0; i < kLandingFrames; i++) RunFrame();
  const float glow = static_cast<float>(state.range(0)) / 100.0f;
  for (TitleLetter& letter : g_titleLetters) {
    letter.glow = glow;
    letter.state = kLetterHeld;
  }
  for (auto _ : state) RunFrame();
  ReportFramesPerSecond(state);
}
BENCHMARK(BM_TitleFrame)->Name("title_frame")->ArgName("glow")->Arg(0)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_TitleLightsLimit(benchmark::State& state) {
  StartedGame game;
  if (const char* failure = game.Failure()) {
    state.SkipWithError(failure);
    return;
  }
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
