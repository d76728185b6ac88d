// The tiled draw of the blit benchmarks: the anchors' destination covered
// with draws of one source, plain or stretched, under one draw state.
#pragma once
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
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

// One benchmark case over a program's set of source images.
template <class Sources>
struct TiledCase {
  const char* id;
  MEMIMG* (*source)(Sources*);
  BlitBenchState st;
  int transparentFlag;
  double scale;
};

// Registers id@64x64, id@256x256 and id@1024x768 for each case: sources[0..2]
// hold the images of those sizes, made by setup at the first run.
template <class Sources>
void RegisterTiledCases(const std::vector<TiledCase<Sources>>& cases, void (*setup)(), MEMIMG* dst,
                        const std::vector<Sources*>* sources) {
  static const char* const kSizes[] = {"@64x64", "@256x256", "@1024x768"};
  for (const TiledCase<Sources>& c : cases) {
    for (int size = 0; size < 3; size++) {
      const std::string name = std::string(c.id) + kSizes[size];
      benchmark::RegisterBenchmark(name.c_str(), [c, size, setup, dst, sources](benchmark::State& state) {
        setup();
        RunTiledBlits(state, dst, c.source((*sources)[size]), c.st, c.transparentFlag, c.scale);
      })->Unit(benchmark::kMicrosecond);
    }
  }
}
