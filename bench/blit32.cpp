// Speed of the 32-bit blits in megapixels per second: a 1024 x 768
// destination tiled with 64 x 64, 256 x 256 and 1024 x 768 sources, on the
// cases of the performance anchors (bench/README.md compares them).
//   taskset -c 7 build/bench_blit32 --benchmark_min_time=0.2
#include <benchmark/benchmark.h>

#include "bench/blit_tiles.h"

namespace {

constexpr int kConstAlpha = 96;

// Registered before main.
void RegisterAll() {
  const auto opaque = &TiledSources::opaque, rand = &TiledSources::alphaRand;
  const auto sprite = &TiledSources::alphaSprite, runs = &TiledSources::spriteRuns;
  const std::vector<TiledCase> cases = {
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
  RegisterTiledCases(cases, MemImgType32);
}

const bool g_registered = (RegisterAll(), true);

}  // namespace
