// Speed of the blits into R5G6B5 images in megapixels per second: the
// anchors' 1024 x 768 16-bit destination tiled with 64 x 64, 256 x 256 and
// 1024 x 768 sources (section i). i.copy16 is mode 0 from an R5G6B5 image,
// i.alpha_const96_565 mode 1 at 96; the alpha cases draw as the game does,
// mode 0 under the transparent flag, from a 16-bit image with alpha (the
// R5G6B5 word and an alpha byte in 4 bytes), set against the anchors' 8888
// source onto 565. i.add16 and the stretched sprite have no anchor.
//   taskset -c 7 build/bench_blit16 --benchmark_min_time=0.2
#include <benchmark/benchmark.h>

#include "bench/blit_tiles.h"

namespace {

const bool g_registered = RegisterTiledCases(
    {
        {"i.copy16", kOpaque, {}, 0, 1.0},
        {"i.alpha_const96_565", kOpaque, {BlendAlpha, kConstAlpha}, 0, 1.0},
        {"i.alpha_pp_rand_565", kAlphaRand, {}, 1, 1.0},
        {"i.alpha_pp_sprite_565", kSprite, {}, 1, 1.0},
        {"i.alpha_pp_sprite_runtable_565", kSpriteRuns, {}, 1, 1.0},
        {"i.add16", kOpaque, {BlendAdd, 255}, 0, 1.0},
        {"i.stretch2x_alpha_sprite_565", kSprite, {}, 1, 2.0},
    },
    MemImgType16);

}  // namespace
