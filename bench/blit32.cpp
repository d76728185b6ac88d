// Speed of the 32-bit blits in megapixels per second: a 1024 x 768
// destination tiled with 64 x 64, 256 x 256 and 1024 x 768 sources, on the
// cases of the performance anchors (bench/README.md compares them).
//   taskset -c 7 build/bench_blit32 --benchmark_min_time=0.2
#include <benchmark/benchmark.h>

#include "bench/blit_tiles.h"

namespace {

const bool g_registered = RegisterTiledCases(
    {
        {"a.copy32", kOpaque, {}, 0, 1.0},
        {"b.alpha_pp_rand", kAlphaRand, {}, 1, 1.0},
        {"b.alpha_pp_sprite", kSprite, {}, 1, 1.0},
        {"b.alpha_pp_sprite_runtable", kSpriteRuns, {}, 1, 1.0},
        {"b2.alpha_pp_sprite_x_const96", kSprite, {BlendAlpha, kConstAlpha}, 1, 1.0},
        {"c.alpha_const96", kOpaque, {BlendAlpha, kConstAlpha}, 0, 1.0},
        {"d.add", kOpaque, {BlendAdd, 255}, 0, 1.0},
        {"d2.subtract_mmx", kOpaque, {BlendSubtract, 255}, 0, 1.0},
        {"d3.subtract_packed", kOpaque, {BlendSubtract, 255, kNoBrightness, 0}, 0, 1.0},
        {"d4.subtract_param128", kOpaque, {BlendSubtract, 128}, 0, 1.0},
        {"e.multiply", kOpaque, {BlendMultiply, 255}, 0, 1.0},
        {"k.brightness_copy", kOpaque, {BlendNone, 255, 200u << 16 | 150u << 8 | 100u}, 0, 1.0},
        {"f.stretch2x_copy", kOpaque, {}, 0, 2.0},
        {"f.stretch2x_alpha_sprite", kSprite, {}, 1, 2.0},
        {"f.stretch0.5x_copy", kOpaque, {}, 0, 0.5},
        {"f.stretch0.5x_alpha_sprite", kSprite, {}, 1, 0.5},
    },
    MemImgType32);

}  // namespace
