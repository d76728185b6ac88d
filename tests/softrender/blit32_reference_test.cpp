// Every generated 32-bit variant of the plain, run-table and stretched blits
// against the reference, on seeded random images, draw states and rectangles.
#include <gtest/gtest.h>

#include <random>

#include "tests/softrender/blit32_reference.h"
#include "tests/softrender/blit_reference_driver.h"

namespace blit32test {
namespace {

using blitref::Case;

struct Depth32 {
  using Pixel = uint32_t;
  static constexpr int kDstW = 23, kDstH = 17;
  static constexpr int kModes[] = {0, 1, 1, 2, 3, 3, 4, 10, 11, 5, 9, 12, -3};
  static constexpr int kParams[] = {0, 1, 127, 128, 254, 255, 255};
  static constexpr bool kWideSources = true;  // they reach the halving copy that picks every other word

  static Image MakeImage(int w, int h, int palette, int alpha, int extra) {
    return Image(w, h, MemImgType32, palette, alpha, 0, extra);
  }
  static uint32_t RandomPixel(std::mt19937& rng) { return EdgePixel(rng); }
  static void Set(Image& image, int x, int y, uint32_t v) { image.Set(x, y, v); }
  static uint32_t* Palette(const Image& image) { return image.Palette(); }
  static std::vector<uint32_t> Pixels(const Image& image) { return image.Pixels(); }

  static void FillDirectSource(Image& src, const Case& c, RefDraw& ref, std::mt19937& rng) {
    for (int y = 0; y < c.srcH; y++)
      for (int x = 0; x < c.srcW; x++) src.Set(x, y, EdgePixel(rng));
    ref.transparent = src.Get(rng() % c.srcW, rng() % c.srcH);
    if (rng() % 4 == 0) ref.transparent ^= 0x01000000;  // differs in the top byte only
  }
  static void DirectSource(const Image& src, const RefDraw&, int x, int y, uint32_t* key, uint32_t* color) {
    *key = *color = src.Get(x, y);
  }
  static std::optional<uint32_t> Ref(const RefDraw& r, uint32_t key, uint32_t color, uint32_t w,
                                     uint32_t dest) {
    return RefPixel(r, key, color, w, dest);
  }
};

class Blit32Reference : public blitref::BlitReference<Depth32> {};

TEST_F(Blit32Reference, RandomDrawsMatchTheReference) { RunRandomCases(20261207, 6000); }

// Each operation and modifier combination at least once, plain and stretched.
TEST_F(Blit32Reference, EveryCombinationMatchesTheReference) {
  std::mt19937 rng(7);
  RunCombinations(rng, {1, 128, 255}, 32, [&](Case& c, int variant) {
    c.ref.palette = variant & 1;
    c.ref.mmx = variant & 2;
    c.stretch = variant & 4;
    c.runTable = !c.stretch && c.ref.transparentFlag && (variant & 2);
    c.spanLevel = variant / 8;
    // Rows wide enough for a whole register of the widest kernels too.
    c.srcW = 9 + rng() % (c.spanLevel == 3 ? 30 : 12);
    return true;
  });
}

}  // namespace
}  // namespace blit32test
