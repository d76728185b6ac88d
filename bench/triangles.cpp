// Speed of the triangle rasteriser in megapixels per second, on the triangle
// cases of the performance anchors (section l): a 1024 x 768 destination
// tiled with solid quads (two calls each, the diagonal drawn by both, as a
// filled quadrilateral is), one full-screen quad, and sprites turned 30
// degrees at scale 1.5 drawn as the two textured triangles of a graphic
// (mode 0, nearest texel). The _alpha_sprite rows draw the anchors' ellipse
// sprite under the transparent flag; having no triangle case for it, the
// anchors' rotated blit of the same sprite is the yardstick.
//   taskset -c 7 build/bench_triangles --benchmark_min_time=0.2
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "bench/anchor_images.h"
#include "graphics/draw_settings.h"
#include "softrender/blend_tables.h"
#include "softrender/memimg.h"
#include "softrender/triangle.h"

namespace {

constexpr int kDstW = kAnchorDstW, kDstH = kAnchorDstH;
constexpr double kAngle = 30.0, kScale = 1.5;

// The destination tiled with w x h quads, each filled as two solid triangles
// the way a filled quadrilateral is: (P1, P2, P3) then (P4, P3, P2).
void SolidQuads(benchmark::State& state, int w, int h) {
  MEMIMG* const dst = StartAnchorCase();
  std::vector<std::array<TriangleVertex, 4>> quads;
  int64_t pixels = 0;
  for (int y = 0; y < kDstH; y += h) {
    for (int x = 0; x < kDstW; x += w) {
      const int x1 = std::min(x + w, kDstW), y1 = std::min(y + h, kDstH);
      quads.push_back({TriangleVertex{x, y, 0, 0}, TriangleVertex{x1, y, 0, 0},
                       TriangleVertex{x, y1, 0, 0}, TriangleVertex{x1, y1, 0, 0}});
      pixels += int64_t{x1 - x} * (y1 - y);
    }
  }
  for (auto _ : state) {
    for (const auto& q : quads) {
      const TriangleVertex first[3] = {q[0], q[1], q[2]};
      const TriangleVertex second[3] = {q[3], q[2], q[1]};
      DrawTriangleMemImg(dst, nullptr, first, 0, nullptr, 0xFF336699u);
      DrawTriangleMemImg(dst, nullptr, second, 0, nullptr, 0xFF336699u);
    }
    benchmark::ClobberMemory();
  }
  ReportAnchorPixels(state, pixels);
}

// Sprites of the source's size turned 30 degrees and scaled 1.5, on a grid of
// their scaled size (a screen-sized source: one, centred), each drawn as the
// two textured triangles of a graphic on a quadrilateral. Pixels counted are
// those the turned sprite covers, as the anchors count them.
void RotatedSprites(benchmark::State& state, int size, int alpha) {
  MEMIMG* const dst = StartAnchorCase();
  std::mt19937 rng(12345);
  MEMIMG src{};
  MakeAnchorSprite(&src, size, size, alpha, rng);
  const double th = kAngle * M_PI / 180.0, c = std::cos(th), sn = std::sin(th);
  const double sw = size * kScale, sh = size * kScale;
  std::vector<std::array<TriangleVertex, 4>> quads;
  int64_t pixels = 0;
  for (double cy = sh / 2; cy - sh / 2 < kDstH; cy += sh) {
    for (double cx = sw / 2; cx - sw / 2 < kDstW; cx += sw) {
      const int icx = static_cast<int>(cx), icy = static_cast<int>(cy);
      const double corner[4][2] = {{-sw / 2, -sh / 2}, {sw / 2, -sh / 2}, {-sw / 2, sh / 2}, {sw / 2, sh / 2}};
      const int uv[4][2] = {{0, 0}, {size, 0}, {0, size}, {size, size}};
      std::array<TriangleVertex, 4> q;
      for (int i = 0; i < 4; i++) {
        q[i] = TriangleVertex{static_cast<int32_t>(std::lround(icx + c * corner[i][0] - sn * corner[i][1])),
                              static_cast<int32_t>(std::lround(icy + sn * corner[i][0] + c * corner[i][1])),
                              uv[i][0], uv[i][1]};
      }
      quads.push_back(q);
      pixels += AnchorRotatedCoverage(icx, icy, size, size, kDstW, kDstH);
    }
  }
  for (auto _ : state) {
    for (const auto& q : quads) {
      const TriangleVertex first[3] = {q[0], q[1], q[2]};
      const TriangleVertex second[3] = {q[1], q[2], q[3]};
      DrawTriangleMemImg(dst, &src, first, alpha, nullptr, 0);
      DrawTriangleMemImg(dst, &src, second, alpha, nullptr, 0);
    }
    benchmark::ClobberMemory();
  }
  ReportAnchorPixels(state, pixels);
  ReleaseMemImg(&src);
}

void RegisterAll() {
  for (const std::pair<int, int>& size : {std::pair{64, 64}, std::pair{256, 256}, std::pair{kDstW, kDstH}}) {
    // Named copies: lambdas cannot capture structured bindings before clang 16.
    const int w = size.first, h = size.second;
    const std::string name = "l.tri_solid_quads@" + std::to_string(w) + "x" + std::to_string(h);
    benchmark::RegisterBenchmark(name.c_str(), [w, h](benchmark::State& s) { SolidQuads(s, w, h); })
        ->Unit(benchmark::kMicrosecond);
  }
  for (int size : {64, 256}) {
    const std::string at = "@" + std::to_string(size) + "x" + std::to_string(size);
    benchmark::RegisterBenchmark(("l.tri_textured_rot30_scale1.5" + at).c_str(),
                                 [size](benchmark::State& s) { RotatedSprites(s, size, 0); })
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("l.tri_textured_rot30_scale1.5_alpha_sprite" + at).c_str(),
                                 [size](benchmark::State& s) { RotatedSprites(s, size, 1); })
        ->Unit(benchmark::kMicrosecond);
  }
}

const bool g_registered = (RegisterAll(), true);

}  // namespace
