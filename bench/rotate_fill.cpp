// Speed of the rotated blit and the box fill in megapixels per second, on the
// cases of the performance anchors (sections g and h): sprites
// turned 30 degrees at scale 1.5 on a grid of their scaled size (a
// screen-sized source: one, centred), opaque and with the sprite alpha under
// the transparent flag; and a 1024 x 768 destination tiled with opaque and
// translucent (mode 1 at 96) boxes of the source's size. Rotated pixels are
// counted as the anchors count them: those the turned sprite covers.
//   taskset -c 7 build/bench_rotate_fill --benchmark_min_time=0.3
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "bench/anchor_images.h"
#include "graphics/draw_settings.h"
#include "softrender/box_line.h"
#include "softrender/memimg.h"
#include "softrender/rotate_blit.h"

namespace {

constexpr int kDstW = kAnchorDstW, kDstH = kAnchorDstH;
constexpr double kAngle = 30.0, kScale = 1.5;

// Turned sprites, placed and counted as the anchors place and count theirs
// (pixel centres inside the turned source).
void RotatedSprites(benchmark::State& state, int w, int h, int alpha) {
  MEMIMG* const dst = StartAnchorCase();
  std::mt19937 rng(12345);
  MEMIMG src{};
  MakeAnchorSprite(&src, w, h, alpha, rng);
  const double th = kAngle * M_PI / 180.0;
  const double sw = w * kScale, sh = h * kScale;
  std::vector<std::pair<int, int>> centres;
  if (sw >= kDstW) {
    centres.push_back({kDstW / 2, kDstH / 2});
  } else {
    for (double y = sh / 2; y - sh / 2 < kDstH; y += sh)
      for (double x = sw / 2; x - sw / 2 < kDstW; x += sw) centres.push_back({static_cast<int>(x), static_cast<int>(y)});
  }
  int64_t pixels = 0;
  for (auto [cx, cy] : centres) pixels += AnchorRotatedCoverage(cx, cy, w, h, kDstW, kDstH);
  const float angle = static_cast<float>(th);
  for (auto _ : state) {
    for (auto [cx, cy] : centres) {
      RotateBlitMemImg(dst, &src, cx, cy, angle, static_cast<float>(kScale), alpha, 0, nullptr);
    }
    benchmark::ClobberMemory();
  }
  ReportAnchorPixels(state, pixels);
  ReleaseMemImg(&src);
}

// The destination tiled with w x h boxes.
void Boxes(benchmark::State& state, int w, int h, int mode, int param) {
  MEMIMG* const dst = StartAnchorCase();
  g_drawSettings.blendMode = mode;
  g_drawSettings.blendParam = param;
  std::vector<IntRect> boxes;
  for (int y = 0; y < kDstH; y += h)
    for (int x = 0; x < kDstW; x += w) boxes.push_back({x, y, std::min(x + w, kDstW), std::min(y + h, kDstH)});
  for (auto _ : state) {
    for (const IntRect& r : boxes) FillBoxMemImg(dst, &r, static_cast<int32_t>(0xFF336699u));
    benchmark::ClobberMemory();
  }
  ReportAnchorPixels(state, int64_t{kDstW} * kDstH);
}

void RegisterAll() {
  for (const std::pair<int, int>& size : {std::pair{64, 64}, std::pair{256, 256}, std::pair{kDstW, kDstH}}) {
    // Named copies: lambdas cannot capture structured bindings before clang 16.
    const int w = size.first, h = size.second;
    const std::string at = "@" + std::to_string(w) + "x" + std::to_string(h);
    benchmark::RegisterBenchmark(("g.rotate30_scale1.5_copy" + at).c_str(),
                                 [w, h](benchmark::State& s) { RotatedSprites(s, w, h, 0); })
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("g.rotate30_scale1.5_alpha_sprite" + at).c_str(),
                                 [w, h](benchmark::State& s) { RotatedSprites(s, w, h, 1); })
        ->Unit(benchmark::kMicrosecond);
  }
  for (const std::pair<int, int>& size : {std::pair{64, 64}, std::pair{256, 256}, std::pair{kDstW, kDstH}}) {
    const int w = size.first, h = size.second;
    const std::string at = "@" + std::to_string(w) + "x" + std::to_string(h);
    benchmark::RegisterBenchmark(("h.fill_opaque" + at).c_str(),
                                 [w, h](benchmark::State& s) { Boxes(s, w, h, BlendNone, 255); })
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("h.fill_alpha96" + at).c_str(),
                                 [w, h](benchmark::State& s) { Boxes(s, w, h, BlendAlpha, 96); })
        ->Unit(benchmark::kMicrosecond);
  }
}

const bool g_registered = (RegisterAll(), true);

}  // namespace
