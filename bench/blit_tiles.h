// The blit benchmarks of both depths: their sources, and the tiled draw that
// covers the anchors' destination with draws of one source, plain or
// stretched, under one draw state. A program gives its table of cases.
#pragma once
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "bench/anchor_images.h"
#include "core/helpers.h"
#include "graphics/draw_settings.h"
#include "softrender/blit.h"
#include "softrender/memimg.h"

struct BlitBenchState {
  int32_t mode = BlendNone;
  int32_t param = 255;
  uint32_t brightness = kNoBrightness;
  int mmx = 1;
};

inline void ApplyBlitBenchState(const BlitBenchState& st) {
  g_drawSettings.blendMode = st.mode;
  g_drawSettings.blendParam = st.param;
  g_drawSettings.brightness[0] = static_cast<uint8_t>(st.brightness);
  g_drawSettings.brightness[1] = static_cast<uint8_t>(st.brightness >> 8);
  g_drawSettings.brightness[2] = static_cast<uint8_t>(st.brightness >> 16);
  g_drawSettings.drawArea = {0, 0, kAnchorDstW, kAnchorDstH};
  SetMmxUsableForTest(st.mmx);
}

// Tiles dst with w x h draws of the source; scale 1 draws through the plain
// blit, others through the stretched blit. Reports Mpix/s.
inline void RunTiledBlits(benchmark::State& state, MEMIMG* dst, MEMIMG* src,
                          const BlitBenchState& st, int transparentFlag, double scale) {
  ApplyBlitBenchState(st);
  ResetAnchorDestination(dst);
  const int dw = static_cast<int>(src->width * scale), dh = static_cast<int>(src->height * scale);
  int64_t pixels = 0;
  for (int y = 0; y < kAnchorDstH; y += dh)
    for (int x = 0; x < kAnchorDstW; x += dw)
      pixels += int64_t{std::min(dw, kAnchorDstW - x)} * std::min(dh, kAnchorDstH - y);
  for (auto _ : state) {
    for (int y = 0; y < kAnchorDstH; y += dh) {
      for (int x = 0; x < kAnchorDstW; x += dw) {
        if (scale == 1.0) {
          BlitMemImg(dst, src, x, y, transparentFlag, nullptr);
        } else {
          const IntRect r{x, y, x + dw, y + dh};
          StretchBlitMemImg(dst, src, &r, transparentFlag, nullptr);
        }
      }
    }
    benchmark::ClobberMemory();
  }
  ReportAnchorPixels(state, pixels);
  SetMmxUsableForTest(-1);
}

// The sources of one size: random colours; random alpha; the anchors'
// sprite alpha; the sprite with its transparency run table.
struct TiledSources {
  MEMIMG opaque{};
  MEMIMG alphaRand{};
  MEMIMG alphaSprite{};
  MEMIMG spriteRuns{};
};

// A w x h source of random colours (X8R8G8B8, or R5G6B5 words); kind 1 with
// uniform random alpha, 2 with the sprite alpha (4-byte pixels in 16 bits,
// alpha in byte 2).
inline void MakeTiledSource(MEMIMG* img, int w, int h, int32_t colorType, int kind, int extra,
                            std::mt19937& rng) {
  const bool words = colorType == MemImgType16;
  CreateMemImg(img, w, h, -1, 0, colorType, 0, kind != 0, extra, nullptr);
  for (int y = 0; y < h; y++) {
    uint8_t* row = img->pixels + static_cast<intptr_t>(y) * img->base->pitch;
    for (int x = 0; x < w; x++) {
      const uint32_t c = rng() & (words ? 0xFFFFu : 0xFFFFFFu);
      uint32_t a = 0xFF;
      if (kind == 1) a = rng() >> 24;
      if (kind == 2) a = AnchorSpriteAlpha(x, y, w, h);
      if (words && kind == 0) {
        reinterpret_cast<uint16_t*>(row)[x] = static_cast<uint16_t>(c);
      } else {
        reinterpret_cast<uint32_t*>(row)[x] = a << (words ? 16 : 24) | c;
      }
    }
  }
  if (extra) {
    BuildTransparencyRunTable(img);
    img->base->runTableValid = 1;
  }
}

// Shorthands of the case tables, and the anchors' constant alpha.
constexpr MEMIMG TiledSources::*kOpaque = &TiledSources::opaque;
constexpr MEMIMG TiledSources::*kAlphaRand = &TiledSources::alphaRand;
constexpr MEMIMG TiledSources::*kSprite = &TiledSources::alphaSprite;
constexpr MEMIMG TiledSources::*kSpriteRuns = &TiledSources::spriteRuns;
constexpr int kConstAlpha = 96;

// One benchmark case: which source it draws, the draw state, the
// transparent flag and the scale (1: the plain blit).
struct TiledCase {
  const char* id;
  MEMIMG TiledSources::*source;
  BlitBenchState st;
  int transparentFlag;
  double scale;
};

// Registers id@64x64, id@256x256 and id@1024x768 for each case, drawn into
// the anchors' destination of the colour type; the images are made at the
// first run. Returns true, so that a program registers before main with
// a namespace-scope constant.
inline bool RegisterTiledCases(const std::vector<TiledCase>& cases, int32_t colorType) {
  static MEMIMG dst{};
  static TiledSources sources[3];
  static const char* const kSizes[] = {"@64x64", "@256x256", "@1024x768"};
  auto setup = [colorType] {
    if (dst.base) return;
    MakeAnchorDestination(&dst, colorType);
    std::mt19937 rng(12345);
    const int sizes[3][2] = {{64, 64}, {256, 256}, {kAnchorDstW, kAnchorDstH}};
    for (int i = 0; i < 3; i++) {
      const int w = sizes[i][0], h = sizes[i][1];
      MakeTiledSource(&sources[i].opaque, w, h, colorType, 0, 0, rng);
      MakeTiledSource(&sources[i].alphaRand, w, h, colorType, 1, 0, rng);
      MakeTiledSource(&sources[i].alphaSprite, w, h, colorType, 2, 0, rng);
      MakeTiledSource(&sources[i].spriteRuns, w, h, colorType, 2, 1, rng);
    }
  };
  for (const TiledCase& c : cases) {
    for (int size = 0; size < 3; size++) {
      const std::string name = std::string(c.id) + kSizes[size];
      benchmark::RegisterBenchmark(name.c_str(), [c, size, setup](benchmark::State& state) {
        setup();
        RunTiledBlits(state, &dst, &(sources[size].*c.source), c.st, c.transparentFlag, c.scale);
      })->Unit(benchmark::kMicrosecond);
    }
  }
  return true;
}
