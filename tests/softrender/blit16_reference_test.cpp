// Every generated 16-bit variant of the plain, run-table and stretched blits
// against the reference, on seeded random images, draw states and rectangles.
#include <gtest/gtest.h>

#include <random>

#include "tests/softrender/blit16_reference.h"
#include "tests/softrender/blit_reference_driver.h"

namespace blit16test {
namespace {

using blit32test::EdgeByte;
using blitref::Case;
using pixel16test::EdgeWord;

struct Depth16 {
  using Pixel = uint16_t;
  static constexpr int kDstW = 41, kDstH = 17;
  static constexpr int kModes[] = {0, 1, 1, 2, 3, 3, 4, 10, 11, 11, 5, 9, 12, -3};
  static constexpr int kParams[] = {0, 1, 127, 128, 200, 254, 255, 255};
  static constexpr bool kWideSources = true;  // they reach the vector spans

  static Image16 MakeImage(int w, int h, int palette, int alpha, int extra) {
    return Image16(w, h, palette, alpha, 0, extra);
  }
  static uint16_t RandomPixel(std::mt19937& rng) { return EdgeWord(rng); }
  static void Set(Image16& image, int x, int y, uint16_t v) { image.Set16(x, y, v); }
  static uint16_t* Palette(const Image16& image) { return image.Palette16(); }
  static std::vector<uint16_t> Pixels(const Image16& image) { return image.Pixels16(); }

  // Colour words, or with alpha 4-byte pixels (alpha in byte 2).
  static void FillDirectSource(Image16& src, const Case& c, RefDraw& ref, std::mt19937& rng) {
    if (ref.alphaFlag) {
      for (int y = 0; y < c.srcH; y++)
        for (int x = 0; x < c.srcW; x++) src.Set(x, y, EdgeWord(rng) | EdgeByte(rng) << 16 | (rng() & 0xFF) << 24);
      ref.transparent = src.Get(rng() % c.srcW, rng() % c.srcH);
    } else {
      for (int y = 0; y < c.srcH; y++)
        for (int x = 0; x < c.srcW; x++) src.Set16(x, y, EdgeWord(rng));
      ref.transparent = src.Get16(rng() % c.srcW, rng() % c.srcH);
      // Set bits above the word: only the whole-word copies still match.
      if (rng() % 4 == 0) ref.transparent |= (1 + rng() % 0xFFFF) << 16;
    }
  }
  static void DirectSource(const Image16& src, const RefDraw& ref, int x, int y, uint32_t* key,
                           uint32_t* color) {
    if (ref.alphaFlag) {
      *key = src.Get(x, y);
      *color = *key & 0xFFFF;
    } else {
      *key = *color = src.Get16(x, y);
    }
  }
  static std::optional<uint16_t> Ref(const RefDraw& r, uint32_t key, uint32_t color, uint32_t w,
                                     uint16_t dest) {
    return RefBlitPixel16(r, key, color, w, dest);
  }
};

class Blit16Reference : public blitref::BlitReference<Depth16> {};

TEST_F(Blit16Reference, RandomDrawsMatchTheReference) { RunRandomCases(20261208, 5000); }

// Each operation and modifier combination, each source kind, plain (with and
// without the run table) and stretched, at the parameter's edges.
TEST_F(Blit16Reference, EveryCombinationMatchesTheReference) {
  std::mt19937 rng(16);
  RunCombinations(rng, {0, 1, 128, 255}, 24, [&](Case& c, int variant) {
    c.ref.palette = variant % 3 == 2;
    if (c.ref.palette && c.ref.alphaFlag) return false;  // the same draw as without alpha
    c.stretch = variant % 6 >= 3;
    c.runTable = !c.stretch && c.ref.transparentFlag && variant % 6 == 1;
    c.spanLevel = variant / 6;
    c.srcW = 9 + rng() % (c.spanLevel == 3 ? 60 : 28);
    return true;
  });
}

}  // namespace
}  // namespace blit16test
