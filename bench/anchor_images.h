// Source pixels shared by the renderer benchmarks, made as the performance
// anchors make theirs.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>

#include <benchmark/benchmark.h>

#include "graphics/draw_settings.h"
#include "softrender/blend_tables.h"
#include "softrender/memimg.h"

constexpr int kAnchorDstW = 1024, kAnchorDstH = 768;

// Builds the tables (border weight 255 everywhere) and makes the anchors'
// 1024 x 768 destination: X8R8G8B8, or R5G6B5 for the 16-bit cases.
inline void MakeAnchorDestination(MEMIMG* dst, int32_t colorType = MemImgType32) {
  InitMemImgBlendTables();
  SetMemImgBorderTable(0, 0);
  CreateMemImg(dst, kAnchorDstW, kAnchorDstH, -1, 0, colorType, 0, 0, 0, nullptr);
}

// The anchors' destination colour (0x404040) before every case.
inline void ResetAnchorDestination(MEMIMG* dst) {
  FillMemImgRaw(dst, nullptr, dst->base->colorType == MemImgType16 ? 0x4208u : 0xFF404040u);
}

// Where the triangle and rotate/fill cases start: the 32-bit destination
// (made at first use) in the anchors' colour, and the default draw state.
inline MEMIMG* StartAnchorCase() {
  static MEMIMG dst{};
  if (!dst.base) MakeAnchorDestination(&dst);
  SetDefaultDrawSettings(kAnchorDstW, kAnchorDstH);
  ResetAnchorDestination(&dst);
  return &dst;
}

// The Mpix/s counter of a case that draws `pixels` pixels per iteration.
inline void ReportAnchorPixels(benchmark::State& state, int64_t pixels) {
  state.counters["px"] = static_cast<double>(pixels);
  state.counters["Mpix/s"] =
      benchmark::Counter(static_cast<double>(pixels) / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

// The anchors' sprite alpha at (x, y) of a w x h image: an ellipse, 255
// inside, 0 outside, with a ramp of about 2 pixels.
inline uint32_t AnchorSpriteAlpha(int x, int y, int w, int h) {
  const double radius = std::min(w, h) / 2.0;
  const double nx = (x + 0.5 - w / 2.0) / (w / 2.0), ny = (y + 0.5 - h / 2.0) / (h / 2.0);
  const double r = std::sqrt(nx * nx + ny * ny);
  return static_cast<uint32_t>(std::clamp(std::lround((1.0 - r) * radius * 128.0 + 128.0), 0L, 255L));
}

// A w x h X8R8G8B8 source of random colours; with alpha, the sprite alpha
// in the top byte (else 255).
inline void MakeAnchorSprite(MEMIMG* img, int w, int h, int alpha, std::mt19937& rng) {
  CreateMemImg(img, w, h, -1, 0, MemImgType32, 0, alpha, 0, nullptr);
  for (int y = 0; y < h; y++) {
    auto* row = reinterpret_cast<uint32_t*>(img->pixels + static_cast<intptr_t>(y) * img->base->pitch);
    for (int x = 0; x < w; x++) {
      const uint32_t a = alpha ? AnchorSpriteAlpha(x, y, w, h) : 0xFF;
      row[x] = a << 24 | (rng() & 0xFFFFFF);
    }
  }
}

// The anchors' turned sprite: a w x h source turned 30 degrees, scaled 1.5
// and centred on (cx, cy). Counts the destination pixels (of a dstW x dstH
// image) whose centres map inside the source, as the anchors count them.
inline int64_t AnchorRotatedCoverage(int cx, int cy, int w, int h, int dstW, int dstH) {
  const double th = 30.0 * M_PI / 180.0, c = std::cos(th), sn = std::sin(th), k = 1.0 / 1.5;
  const double sw = w * 1.5, sh = h * 1.5;
  const double hx = (sw * c + sh * sn) / 2, hy = (sw * sn + sh * c) / 2;
  const int x0 = std::max(0, static_cast<int>(std::floor(cx - hx)) - 1);
  const int y0 = std::max(0, static_cast<int>(std::floor(cy - hy)) - 1);
  const int x1 = std::min(dstW, static_cast<int>(std::ceil(cx + hx)) + 1);
  const int y1 = std::min(dstH, static_cast<int>(std::ceil(cy + hy)) + 1);
  int64_t covered = 0;
  for (int y = y0; y < y1; y++) {
    for (int x = x0; x < x1; x++) {
      const double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
      const double u = k * (c * dx + sn * dy) + w / 2.0, v = k * (-sn * dx + c * dy) + h / 2.0;
      covered += u >= 0 && u < w && v >= 0 && v < h;
    }
  }
  return covered;
}
