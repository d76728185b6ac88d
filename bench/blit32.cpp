// Speed of the 32-bit blits in megapixels per second: a 1024 x 768
// destination tiled with 64 x 64, 256 x 256 and 1024 x 768 sources, on the
// cases of the performance anchors (bench/README.md compares them).
//   taskset -c 7 build/bench_blit32 --benchmark_min_time=0.2
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "bench/blit_tiles.h"
#include "core/helpers.h"
#include "graphics/draw_settings.h"
#include "softrender/blend_tables.h"
#include "softrender/blit.h"
#include "softrender/memimg.h"

namespace {

constexpr int kDstW = 1024, kDstH = 768;
constexpr int kConstAlpha = 96;

struct Sources {
  int w, h;
  MEMIMG opaque{};      // X8R8G8B8, random colours
  MEMIMG alphaRand{};   // alpha flag, uniform random alpha
  MEMIMG alphaSprite{}; // alpha flag, ellipse: 255 inside, 0 outside, ~2 px ramp
  MEMIMG spriteRuns{};  // the sprite with its transparency run table
};

MEMIMG g_dst{};
std::vector<Sources*> g_sources;

void FillSource(MEMIMG* img, int w, int h, int alpha, int extra, std::mt19937& rng, int kind) {
  CreateMemImg(img, w, h, -1, 0, MemImgType32, 0, alpha, extra, nullptr);
  for (int y = 0; y < h; y++) {
    auto* row = reinterpret_cast<uint32_t*>(img->pixels + static_cast<intptr_t>(y) * img->base->pitch);
    for (int x = 0; x < w; x++) {
      const uint32_t c = rng() & 0xFFFFFF;
      uint32_t a = 0xFF;
      if (kind == 1) a = rng() >> 24;
      if (kind == 2) a = AnchorSpriteAlpha(x, y, w, h);
      row[x] = a << 24 | c;
    }
  }
  if (extra) {
    BuildTransparencyRunTable(img);
    img->base->runTableValid = 1;
  }
}

void Setup() {
  static bool done = false;
  if (done) return;
  done = true;
  MakeAnchorDestination(&g_dst);
  std::mt19937 rng(12345);
  for (auto [w, h] : {std::pair{64, 64}, std::pair{256, 256}, std::pair{kDstW, kDstH}}) {
    auto* s = new Sources{w, h};
    FillSource(&s->opaque, w, h, 0, 0, rng, 0);
    FillSource(&s->alphaRand, w, h, 1, 0, rng, 1);
    FillSource(&s->alphaSprite, w, h, 1, 0, rng, 2);
    FillSource(&s->spriteRuns, w, h, 1, 1, rng, 2);
    g_sources.push_back(s);
  }
}

// Registered before main; the images are made at the first run.
void RegisterAll() {
  auto opaque = [](Sources* s) { return &s->opaque; };
  auto rand = [](Sources* s) { return &s->alphaRand; };
  auto sprite = [](Sources* s) { return &s->alphaSprite; };
  auto runs = [](Sources* s) { return &s->spriteRuns; };
  const std::vector<TiledCase<Sources>> cases = {
      {"a.copy32", opaque, {}, 0, 1.0},
      {"b.alpha_pp_rand", rand, {}, 1, 1.0},
      {"b.alpha_pp_sprite", sprite, {}, 1, 1.0},
      {"b.alpha_pp_sprite_runtable", runs, {}, 1, 1.0},
      {"b2.alpha_pp_sprite_x_const96", sprite, {BlendAlpha, kConstAlpha}, 1, 1.0},
      {"c.alpha_const96", opaque, {BlendAlpha, kConstAlpha}, 0, 1.0},
      {"d.add", opaque, {BlendAdd, 255}, 0, 1.0},
      {"d2.subtract_mmx", opaque, {BlendSubtract, 255}, 0, 1.0},
      {"d3.subtract_packed", opaque, {BlendSubtract, 255, kNoBrightness, 0}, 0, 1.0},
      {"d4.subtract_param128", opaque, {BlendSubtract, 128}, 0, 1.0},
      {"e.multiply", opaque, {BlendMultiply, 255}, 0, 1.0},
      {"k.brightness_copy", opaque, {BlendNone, 255, 200u << 16 | 150u << 8 | 100u}, 0, 1.0},
      {"f.stretch2x_copy", opaque, {}, 0, 2.0},
      {"f.stretch2x_alpha_sprite", sprite, {}, 1, 2.0},
      {"f.stretch0.5x_copy", opaque, {}, 0, 0.5},
      {"f.stretch0.5x_alpha_sprite", sprite, {}, 1, 0.5},
  };
  RegisterTiledCases(cases, Setup, &g_dst, &g_sources);
}

const bool g_registered = (RegisterAll(), true);

}  // namespace
