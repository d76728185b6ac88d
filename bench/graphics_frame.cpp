// A busy frame of the game through the public draw calls at 1024 x 768: a
// full-screen fill, 200 turned sprites of 64 x 64 with alpha, 100 lines.
// Reported in frames per second; the present is left out (its cost is the
// window system's copy).
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <utility>
#include <vector>

#include "bench/anchor_images.h"
#include "core/core_api.h"
#include "graphics/graphics_api.h"
#include "graphics/screen.h"
#include "image/graph_image.h"
#include "platform/scripted_present.h"
#include "platform/scripted_window.h"

namespace {

constexpr int kSpriteCount = 200, kLineCount = 100, kSpriteSide = 64;

struct Sprite {
  float x, y, angle;
};
struct Line {
  int x1, y1, x2, y2;
};

struct Scene {
  ScriptedWindow window;
  ScriptedPresenter presenter;
  int sprite = -1;
  std::vector<Sprite> sprites;
  std::vector<Line> lines;
  int background = 0, lineColor = 0;
};

// A sprite of the anchors' ellipse alpha over a colour gradient.
int MakeSprite() {
  SetCreateGraphAlphaChannel(1);
  const int graph = MakeEmptyGraph(kSpriteSide, kSpriteSide);
  SetCreateGraphAlphaChannel(0);
  GraphImage image;
  CreateGraphImage(kSpriteSide, kSpriteSide, &image);
  SetupColorFormat(&image.format, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u);
  for (int y = 0; y < kSpriteSide; y++) {
    auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(image.pixels) + y * image.pitch);
    for (int x = 0; x < kSpriteSide; x++) {
      row[x] = AnchorSpriteAlpha(x, y, kSpriteSide, kSpriteSide) << 24 | static_cast<uint32_t>(x * 4) << 16 |
               static_cast<uint32_t>(y * 4) << 8 | 0x80;
    }
  }
  ReloadImageIntoGraph(&image, nullptr, nullptr, 0, 0, graph);
  ReleaseGraphImage(&image);
  return graph;
}

Scene* StartScene() {
  auto* scene = new Scene;
  SetPlatformWindow(&scene->window);
  SetPlatformPresenter(&scene->presenter);
  EnableLogFile(0);
  ChangeWindowMode(1);
  SetScreenMode(kAnchorDstW, kAnchorDstH, 32, 60);
  if (LibraryInit() != 0) return nullptr;
  scene->sprite = MakeSprite();
  std::mt19937 rng(12345);
  std::uniform_real_distribution<float> x(0, kAnchorDstW), y(0, kAnchorDstH), turn(0, 6.28318f);
  for (int i = 0; i < kSpriteCount; i++) scene->sprites.push_back({x(rng), y(rng), turn(rng)});
  for (int i = 0; i < kLineCount; i++) {
    scene->lines.push_back({static_cast<int>(x(rng)), static_cast<int>(y(rng)), static_cast<int>(x(rng)),
                            static_cast<int>(y(rng))});
  }
  scene->background = PackRgbToScreenColor(16, 16, 16);
  scene->lineColor = PackRgbToScreenColor(255, 0, 0);
  return scene;
}

void EndScene(Scene* scene) {
  LibraryEnd();
  SetPlatformPresenter(nullptr);
  SetPlatformWindow(nullptr);
  delete scene;
}

// Parts of the frame, to see where its time goes.
enum FramePart { kFill = 1, kSprites = 2, kLinesPart = 4, kWholeFrame = 7 };

void DrawFrame(const Scene& scene, int parts) {
  SetBlendMode(1, 255);
  if (parts & kFill) DrawRectangle(0, 0, kAnchorDstW, kAnchorDstH, scene.background, 1);
  if (parts & kSprites) {
    for (const Sprite& s : scene.sprites) DrawGraphRotatedFloat(s.x, s.y, 1.0, s.angle, scene.sprite, 1, 0);
  }
  SetBlendMode(2, 160);
  if (parts & kLinesPart) {
    for (const Line& l : scene.lines) DrawLine(l.x1, l.y1, l.x2, l.y2, scene.lineColor, 1);
  }
}

void BusyFrame(benchmark::State& state, int parts) {
  Scene* scene = StartScene();
  if (!scene) {
    state.SkipWithError("the library did not start");
    return;
  }
  for (auto _ : state) {
    DrawFrame(*scene, parts);
    benchmark::DoNotOptimize(GetBackScreenImage()->pixels[0]);
  }
  state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  EndScene(scene);
}

// Named as the anchors' frame cases.
const bool g_registered = [] {
  const std::pair<const char*, int> parts[] = {
      {"frame.whole", kWholeFrame}, {"frame.fill", kFill}, {"frame.sprites", kSprites}, {"frame.lines", kLinesPart}};
  for (const auto& [name, part] : parts) {
    benchmark::RegisterBenchmark(name, [part = part](benchmark::State& state) { BusyFrame(state, part); })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
  }
  return true;
}();

}  // namespace
