// Speed of the blits into R5G6B5 images in megapixels per second: the
// anchors' 1024 x 768 16-bit destination tiled with 64 x 64, 256 x 256 and
// 1024 x 768 sources (section i; bench/README.md compares them).
//   taskset -c 7 build/bench_blit16 --benchmark_min_time=0.2
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "bench/blit_tiles.h"

namespace {

constexpr int kConstAlpha = 96;

struct Sources {
  MEMIMG opaque{};       // R5G6B5, random colours
  MEMIMG alphaRand{};    // with alpha (4-byte pixels), uniform random alpha
  MEMIMG alphaSprite{};  // with alpha, the anchors' ellipse sprite
  MEMIMG spriteRuns{};   // the sprite with its transparency run table
};

MEMIMG g_dst{};
std::vector<Sources*> g_sources;

// kind 0 opaque, 1 random alpha, 2 sprite alpha.
void FillSource(MEMIMG* img, int w, int h, int extra, std::mt19937& rng, int kind) {
  CreateMemImg(img, w, h, -1, 0, MemImgType16, 0, kind != 0, extra, nullptr);
  for (int y = 0; y < h; y++) {
    uint8_t* row = img->pixels + static_cast<intptr_t>(y) * img->base->pitch;
    for (int x = 0; x < w; x++) {
      const uint32_t c = rng() & 0xFFFF;
      if (kind == 0) {
        reinterpret_cast<uint16_t*>(row)[x] = static_cast<uint16_t>(c);
      } else {
        const uint32_t a = kind == 1 ? rng() >> 24 : AnchorSpriteAlpha(x, y, w, h);
        reinterpret_cast<uint32_t*>(row)[x] = a << 16 | c;
      }
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
  MakeAnchorDestination(&g_dst, MemImgType16);
  std::mt19937 rng(12345);
  for (auto [w, h] : {std::pair{64, 64}, std::pair{256, 256}, std::pair{kAnchorDstW, kAnchorDstH}}) {
    auto* s = new Sources;
    FillSource(&s->opaque, w, h, 0, rng, 0);
    FillSource(&s->alphaRand, w, h, 0, rng, 1);
    FillSource(&s->alphaSprite, w, h, 0, rng, 2);
    FillSource(&s->spriteRuns, w, h, 1, rng, 2);
    g_sources.push_back(s);
  }
}

// Registered before main; the images are made at the first run. The alpha
// cases draw as the game does: mode 0 under the transparent flag.
void RegisterAll() {
  auto opaque = [](Sources* s) { return &s->opaque; };
  auto rand = [](Sources* s) { return &s->alphaRand; };
  auto sprite = [](Sources* s) { return &s->alphaSprite; };
  auto runs = [](Sources* s) { return &s->spriteRuns; };
  const std::vector<TiledCase<Sources>> cases = {
      {"i.copy16", opaque, {}, 0, 1.0},
      {"i.alpha_const96_565", opaque, {BlendAlpha, kConstAlpha}, 0, 1.0},
      {"i.alpha_pp_rand_565", rand, {}, 1, 1.0},
      {"i.alpha_pp_sprite_565", sprite, {}, 1, 1.0},
      {"i.alpha_pp_sprite_runtable_565", runs, {}, 1, 1.0},
      {"i.add16", opaque, {BlendAdd, 255}, 0, 1.0},
      {"i.stretch2x_alpha_sprite_565", sprite, {}, 1, 2.0},
  };
  RegisterTiledCases(cases, Setup, &g_dst, &g_sources);
}

const bool g_registered = (RegisterAll(), true);

}  // namespace
