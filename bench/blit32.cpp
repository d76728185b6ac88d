// Speed of the 32-bit blits in megapixels per second: a 1024 x 768
// destination tiled with 64 x 64, 256 x 256 and 1024 x 768 sources, on the
// cases of the performance anchors (sections a to f and k), through
// BlitMemImg and, for the f cases, StretchBlitMemImg. Blend modes as the
// game sets them: a.copy32 mode 0; b.alpha_pp_* mode 0 with an alpha source
// under the transparent flag; b2 the same in mode 1 at 96; c mode 1 at 96
// from an opaque source; d.add mode 2 at 255; e.multiply mode 4 (set against
// pixman's component-alpha IN_REVERSE, which computes d x s like it);
// k.brightness_copy mode 0 with brightness (200, 150, 100). The _runtable
// row draws the sprite through its transparency run table, set against the
// plain sprite and SDL's RLE surface. The subtracts have no anchor: d2 the
// byte-wise form of MMX processors, d3 the packed form, d4 parameter 128.
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
