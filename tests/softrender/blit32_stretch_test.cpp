// Stepping, mirroring, clipping and refusals of the stretched blit, and the
// run-table path of the plain blit.
#include <gtest/gtest.h>

#include "tests/softrender/blit32_reference.h"

namespace blit32test {
namespace {

constexpr uint32_t kBack = 0x00EEEEEE;

class Blit32Stretch : public Blit32Test {
 protected:
  // A one-row source whose pixel i holds blue = values[i].
  static void FillRow(Image& s, std::initializer_list<uint32_t> values) {
    int x = 0;
    for (uint32_t v : values) s.Set(x++, 0, v);
  }
  // Blue bytes of destination row y, pixels 0..n-1.
  static std::vector<uint32_t> Row(const Image& d, int y, int n) {
    std::vector<uint32_t> out;
    for (int x = 0; x < n; x++) out.push_back(d.Get(x, y) & 0xFF);
    return out;
  }
  static void Stretch(Image& d, const Image& s, IntRect r, int tflag = 0,
                      const MEMIMG* blend = nullptr) {
    StretchBlitMemImg(&d.img, &s.img, &r, tflag, blend);
  }
};

using V = std::vector<uint32_t>;

TEST_F(Blit32Stretch, EmptyRectanglesAndEmptySourcesDrawNothing) {
  Image s(4, 4), d(16, 16);
  s.Fill(0x00112233);
  d.Fill(kBack);
  Stretch(d, s, {10, 10, 10, 50});
  Stretch(d, s, {3, 7, 9, 7});
  Image empty(0, 3);
  Stretch(d, empty, {0, 0, 5, 5});
  Image flat(3, 0);
  Stretch(d, flat, {0, 0, 5, 5});
  for (uint32_t p : d.Pixels()) ASSERT_EQ(p, kBack);
}

TEST_F(Blit32Stretch, MagnifyRepeatsAndReduceSkipsByTheTwoRules) {
  Image s(8, 1), d(16, 2);
  FillRow(s, {0, 20, 40, 60, 80, 100, 120, 140});
  // 4 source pixels into 8: step 131072, each pixel twice.
  Image four(4, 1);
  FillRow(four, {10, 20, 30, 40});
  d.Fill(0);
  Stretch(d, four, {0, 0, 8, 1});
  EXPECT_EQ(Row(d, 0, 9), (V{10, 10, 20, 20, 30, 30, 40, 40, 0}));
  // 8 into 4 copying: the counter at exactly 0 keeps a pixel: 0, 1, 3, 5.
  d.Fill(0);
  Stretch(d, s, {0, 0, 4, 1});
  EXPECT_EQ(Row(d, 0, 5), (V{0, 20, 60, 100, 0}));
  // Mode 1 at 128 moves on at 0: 0, 2, 4, 6, each halved over black.
  SetState(BlendAlpha, 128);
  d.Fill(0);
  Stretch(d, s, {0, 0, 4, 1});
  EXPECT_EQ(Row(d, 0, 5), (V{0, 20, 40, 60, 0}));
  // A brightness also leaves the copy rule: 0, 2, 4, 6 unscaled (prod(255, x) = x in blue).
  SetState(BlendNone, 255);
  SetBright(254, 255, 255);
  d.Fill(0);
  Stretch(d, s, {0, 0, 4, 1});
  EXPECT_EQ(Row(d, 0, 5), (V{0, 40, 80, 120, 0}));
}

TEST_F(Blit32Stretch, RowsStepLikeColumns) {
  Image s(1, 8), d(2, 8);
  for (int y = 0; y < 8; y++) s.Set(0, y, static_cast<uint32_t>(y * 10));
  d.Fill(0);
  Stretch(d, s, {0, 0, 1, 4});
  EXPECT_EQ((V{d.Get(0, 0), d.Get(0, 1), d.Get(0, 2), d.Get(0, 3), d.Get(0, 4)}),
            (V{0, 10, 30, 50, 0}));
  SetState(BlendSubtract, 255);  // the full-strength subtract also keeps at 0
  d.Fill(0x00FFFFFF);
  Stretch(d, s, {0, 0, 1, 4});
  EXPECT_EQ((V{d.Get(0, 0) & 0xFF, d.Get(0, 1) & 0xFF, d.Get(0, 2) & 0xFF, d.Get(0, 3) & 0xFF}),
            (V{255, 245, 225, 205}));
  SetState(BlendSubtract, 254);  // the general subtract moves on: rows 0, 2, 4, 6
  d.Fill(0x00FFFFFF);
  Stretch(d, s, {0, 0, 1, 4});
  // prod(254, 20) = 19, prod(254, 40) = 39, prod(254, 60) = 59.
  EXPECT_EQ((V{d.Get(0, 0) & 0xFF, d.Get(0, 1) & 0xFF, d.Get(0, 2) & 0xFF, d.Get(0, 3) & 0xFF}),
            (V{255, 236, 216, 196}));
}

TEST_F(Blit32Stretch, MirroringReversesEachAxis) {
  Image s(3, 2), d(3, 2);
  for (int y = 0; y < 2; y++)
    for (int x = 0; x < 3; x++) s.Set(x, y, static_cast<uint32_t>(10 * y + x));
  // Same size but mirrored on x: no hand-over, drawn left-right reversed.
  d.Fill(kBack);
  Stretch(d, s, {3, 0, 0, 2});
  EXPECT_EQ(d.Pixels(), (V{2, 1, 0, 12, 11, 10}));
  d.Fill(kBack);
  Stretch(d, s, {0, 2, 3, 0});
  EXPECT_EQ(d.Pixels(), (V{10, 11, 12, 0, 1, 2}));
  d.Fill(kBack);
  Stretch(d, s, {3, 2, 0, 0});
  EXPECT_EQ(d.Pixels(), (V{12, 11, 10, 2, 1, 0}));
}

TEST_F(Blit32Stretch, ClippingSkipsSourcePixelsAndStartsPartWay) {
  Image s(4, 1), d(8, 1);
  FillRow(s, {10, 20, 30, 40});
  // Three destination pixels cut off on the left of a 2x draw: source pixel 1
  // shows once, then 2, 2, 3, 3.
  d.Fill(0);
  Stretch(d, s, {-3, 0, 5, 1});
  EXPECT_EQ(Row(d, 0, 6), (V{20, 30, 30, 40, 40, 0}));
  // Mirrored: the first drawn pixel is source 4 - 1 - 1 = 2.
  d.Fill(0);
  Stretch(d, s, {5, 0, -3, 1});
  EXPECT_EQ(Row(d, 0, 6), (V{30, 20, 20, 10, 10, 0}));
  // The draw area clips on the right and below without touching anything outside.
  SetArea(1, 0, 3, 1);
  d.Fill(0);
  Stretch(d, s, {0, 0, 8, 1});
  EXPECT_EQ(Row(d, 0, 8), (V{0, 10, 20, 0, 0, 0, 0, 0}));
  // A draw area beyond the destination is held inside it.
  SetArea(-5, -5, 100, 100);
  d.Fill(0);
  Stretch(d, s, {-2, -1, 14, 3});
  EXPECT_EQ(Row(d, 0, 8), (V{10, 10, 20, 20, 20, 20, 30, 30}));
}

TEST_F(Blit32Stretch, LargeExtentsStepWithoutOverflow) {
  Image s(5, 1), d(8, 1);
  FillRow(s, {10, 20, 30, 40, 50});
  // 65,535 wide: the step 858,980,352 and the cut-off 65,000 << 16 overflow
  // 32 signed bits; pixel k shows source k * 5 / 65535, all 4 here.
  d.Fill(0);
  Stretch(d, s, {-65000, 0, 535, 1});
  EXPECT_EQ(Row(d, 0, 8), (V{50, 50, 50, 50, 50, 50, 50, 50}));
  // One source pixel to 65,535: a step above 2^31.
  Image one(1, 1);
  one.Set(0, 0, 7);
  d.Fill(0);
  Stretch(d, one, {0, 0, 65535, 1});
  EXPECT_EQ(Row(d, 0, 8), (V{7, 7, 7, 7, 7, 7, 7, 7}));
  // 65,536 or more cannot be stepped: nothing is drawn.
  d.Fill(0);
  Stretch(d, one, {0, 0, 65536, 1});
  Stretch(d, one, {-2000000000, 0, 2000000000, 1});
  EXPECT_EQ(Row(d, 0, 8), (V{0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(Blit32Stretch, RefusedImagesAndModesDrawNothing) {
  Image s(2, 2), d(4, 4);
  s.Fill(0x00FFFFFF);
  Image d16(4, 4, MemImgType16), dPal(4, 4, MemImgType32, 1), dAlpha(4, 4, MemImgType32, 0, 1);
  d.Fill(kBack);
  dAlpha.Fill(0);
  std::memset(dPal.img.pixels, 0, dPal.img.base->pitch * 4);
  std::memset(d16.img.pixels, 0, d16.img.base->pitch * 4);
  Stretch(d16, s, {0, 0, 4, 4});
  Stretch(dPal, s, {0, 0, 4, 4});
  Stretch(dAlpha, s, {0, 0, 4, 4});
  EXPECT_EQ(d16.Row(0)[0], 0);
  EXPECT_EQ(dPal.Get8(0, 0), 0);
  EXPECT_EQ(dAlpha.Get(0, 0), 0u);
  // A blend image smaller than the source, or not 8-bit, is refused.
  Image small(1, 2, MemImgTypeBlend8), wrongType(2, 2);
  Stretch(d, s, {0, 0, 4, 4}, 0, &small.img);
  Stretch(d, s, {0, 0, 4, 4}, 0, &wrongType.img);
  for (int mode : {7, 12}) {
    SetState(mode, 128);
    Stretch(d, s, {0, 0, 4, 4});
  }
  SetState(BlendAdd, 0);
  Stretch(d, s, {0, 0, 4, 4});
  SetState(BlendSubtract, 0);
  Stretch(d, s, {0, 0, 4, 4});
  for (uint32_t p : d.Pixels()) ASSERT_EQ(p, kBack);
  // Mode 4 at 0 draws: 255 * 0xEE >> 8 = 0xED.
  SetState(BlendMultiply, 0);
  Stretch(d, s, {0, 0, 4, 4});
  EXPECT_EQ(d.Get(3, 3), 0x00EDEDEDu);
}

TEST_F(Blit32Stretch, PaletteSourcesSkipTheirTransparentIndexAndSubtractAtZero) {
  Image s(2, 1, MemImgType32, 1, 0, 1), d(4, 1);
  s.Set8(0, 0, 0);
  s.Set8(1, 0, 1);
  s.Palette()[0] = 0x00102030;
  s.Palette()[1] = 0x00405060;
  d.Fill(kBack);
  Stretch(d, s, {0, 0, 4, 1}, 1);
  EXPECT_EQ(d.Pixels(), (V{0x00102030, 0x00102030, kBack, kBack}));
  // Mode 3 at 0 draws palette sources: 0xEE keeps its upper bits, the guard bits add 1.
  SetState(BlendSubtract, 0);
  d.Fill(kBack);
  Stretch(d, s, {0, 0, 4, 1});
  EXPECT_EQ(d.Pixels(), (V{0x00EFEFEE, 0x00EFEFEE, 0x00EFEFEE, 0x00EFEFEE}));
}

TEST_F(Blit32Stretch, PaletteCopyHoldsEveryEntry) {
  SetState(BlendSubtract, 255);  // the variant that reads the copy
  Image first(2, 1, MemImgType32, 1), second(2, 1, MemImgType32, 1), d(4, 1);
  // Index 5 drawn twice as wide over the background.
  auto drawIndex5 = [&](Image& s) {
    s.Set8(0, 0, 5);
    s.Set8(1, 0, 5);
    d.Fill(kBack);
    Stretch(d, s, {0, 0, 4, 1});
    return d.Get(0, 0);
  };
  for (int i = 0; i < 256; i++) first.Palette()[i] = 0x00FFFFFF;
  first.img.base->paletteCount = 256;
  EXPECT_EQ(drawIndex5(first), 0u);
  // The second image counts only 2 entries but shows index 5.
  second.Palette()[5] = 0x00010203;
  second.img.base->paletteCount = 2;
  EXPECT_EQ(drawIndex5(second), 0x00EDECEBu);
}

TEST_F(Blit32Stretch, SameSizeGoesThroughThePlainBlitAndItsRunTable) {
  const uint32_t key = 0x00FF00FF;
  Image s(4, 1, MemImgType32, 0, 0, key, 1), d(4, 1);
  FillRow(s, {0x11, key, 0x33, 0x44});
  BuildTransparencyRunTable(&s.img);
  s.img.base->runTableValid = 1;
  // The table says pixel 0 is opaque; make it transparent behind its back, so
  // the drawn picture shows which path ran.
  s.Set(0, 0, key);
  d.Fill(kBack);
  Stretch(d, s, {0, 0, 4, 1}, 1);
  EXPECT_EQ(d.Pixels(), (V{key, kBack, 0x33, 0x44}));
  d.Fill(kBack);
  BlitMemImg(&d.img, &s.img, 0, 0, 1, nullptr);
  EXPECT_EQ(d.Pixels(), (V{key, kBack, 0x33, 0x44}));
  // Clipped, with any flag other than 1, or mirrored: per-pixel tests.
  SetArea(0, 0, 3, 1);
  d.Fill(kBack);
  BlitMemImg(&d.img, &s.img, 0, 0, 1, nullptr);
  EXPECT_EQ(d.Pixels(), (V{kBack, kBack, 0x33, kBack}));
  SetArea(0, 0, 4, 1);
  d.Fill(kBack);
  BlitMemImg(&d.img, &s.img, 0, 0, 2, nullptr);
  EXPECT_EQ(d.Pixels(), (V{kBack, kBack, 0x33, 0x44}));
  d.Fill(kBack);
  Stretch(d, s, {4, 0, 0, 1}, 1);
  EXPECT_EQ(d.Pixels(), (V{0x44, 0x33, kBack, kBack}));
}

TEST_F(Blit32Stretch, RunTableDrawsAlphaSpritesByClass) {
  // Alphas 0, 255, 128, 255, 0: skipped, copied whole, weighed, copied, skipped.
  Image s(5, 1, MemImgType32, 0, 1, 0, 1), d(5, 1);
  FillRow(s, {0x00FFFFFF, 0xFF102030, 0x80C8C8C8, 0xFF405060, 0x00000000});
  BuildTransparencyRunTable(&s.img);
  s.img.base->runTableValid = 1;
  d.Fill(0x07646464);
  BlitMemImg(&d.img, &s.img, 0, 0, 1, nullptr);
  EXPECT_EQ(d.Pixels(), (V{0x07646464, 0xFF102030, 0x07969696, 0xFF405060, 0x07646464}));
  // A run table that does not match the view is not read.
  s.img.base->runTableWidth = 4;
  d.Fill(0x07646464);
  BlitMemImg(&d.img, &s.img, 0, 0, 1, nullptr);
  EXPECT_EQ(d.Pixels(), (V{0x07646464, 0xFF102030, 0x07969696, 0xFF405060, 0x07646464}));
}

// The run-table draw at every span level against the reference: rows wider
// than one run code (several codes of a class), a row narrower than a
// register, and a table older than some of the pixels, whose classes still
// decide: opaque runs drawn as if alpha were not there, partial runs weighed
// by the alpha the pixel holds now, transparent runs left alone.
TEST_F(Blit32Stretch, RunTableDrawsByItsClassesAtEveryLevel) {
  struct Draw {
    int32_t mode, param;
    uint8_t bright;
  };
  const Draw draws[] = {{0, 255, 255}, {1, 128, 255}, {2, 200, 255}, {0, 255, 180}, {11, 77, 255}};
  std::mt19937 rng(34);
  for (int width : {5, 150}) {
    constexpr int kRows = 6;
    Image s(width, kRows, MemImgType32, 0, 1, 0, 1);
    std::vector<int> classes;  // per pixel, as the table was built
    for (int y = 0; y < kRows; y++) {
      for (int x = 0; x < width;) {
        const int cls = static_cast<int>(rng() % 3), length = 1 + static_cast<int>(rng() % 90);
        for (int k = 0; k < length && x < width; k++, x++) {
          const uint32_t alpha = cls == 0 ? 0 : (cls == 1 ? 255 : 1 + rng() % 254);
          s.Set(x, y, alpha << 24 | (EdgePixel(rng) & 0xFFFFFF));
          classes.push_back(cls);
        }
      }
    }
    BuildTransparencyRunTable(&s.img);
    s.img.base->runTableValid = 1;
    for (int i = 0; i < 40; i++) {
      const int x = static_cast<int>(rng() % width), y = static_cast<int>(rng() % kRows);
      s.Set(x, y, EdgePixel(rng));
    }
    std::vector<uint32_t> back;
    for (int i = 0; i < width * kRows; i++) back.push_back(EdgePixel(rng));
    for (const Draw& draw : draws) {
      RefDraw opaque;
      opaque.mode = draw.mode;
      opaque.param = draw.param;
      opaque.bright[0] = opaque.bright[1] = opaque.bright[2] = draw.bright;
      RefDraw partial = opaque;
      partial.alphaFlag = true;
      std::vector<uint32_t> expected;
      for (int y = 0, i = 0; y < kRows; y++) {
        for (int x = 0; x < width; x++, i++) {
          const uint32_t key = s.Get(x, y);
          std::optional<uint32_t> p;
          if (classes[i] != 0) p = RefPixel(classes[i] == 1 ? opaque : partial, key, key, 0, back[i]);
          expected.push_back(p ? *p : back[i]);
        }
      }
      for (int level = 0; level <= 3; level++) {
        SCOPED_TRACE(testing::Message() << "width " << width << " mode " << draw.mode << " level " << level);
        Image d(width, kRows);
        for (int y = 0, i = 0; y < kRows; y++)
          for (int x = 0; x < width; x++, i++) d.Set(x, y, back[i]);
        SetState(draw.mode, draw.param);
        SetBright(draw.bright, draw.bright, draw.bright);
        SetBlitSpanLevelForTest(level);
        BlitMemImg(&d.img, &s.img, 0, 0, 1, nullptr);
        EXPECT_EQ(d.Pixels(), expected);
      }
    }
  }
}

// The add at full strength at every span level against the reference, on
// rows wide enough for several turns of every kernel's loop and a ragged
// end, placed off the destination's line boundaries, with the transparent
// flag off and on.
TEST_F(Blit32Stretch, FullStrengthAddOverWideRowsAtEveryLevel) {
  std::mt19937 rng(35);
  constexpr uint32_t kKey = 0x00102030;
  for (int width : {37, 64, 101, 150}) {
    constexpr int kRows = 9, kX = 3, kY = 1;
    const int dw = width + 7, dh = kRows + 2;
    Image s(width, kRows, MemImgType32, 0, 0, kKey);
    for (int y = 0; y < kRows; y++)
      for (int x = 0; x < width; x++) s.Set(x, y, rng() % 5 == 0 ? kKey : EdgePixel(rng));
    std::vector<uint32_t> back;
    for (int i = 0; i < dw * dh; i++) back.push_back(EdgePixel(rng));
    for (bool flag : {false, true}) {
      RefDraw r;
      r.mode = BlendAdd;
      r.transparentFlag = flag;
      r.transparent = kKey;
      std::vector<uint32_t> expected = back;
      for (int y = 0; y < kRows; y++) {
        for (int x = 0; x < width; x++) {
          uint32_t& out = expected[(y + kY) * dw + x + kX];
          out = RefPixel(r, s.Get(x, y), s.Get(x, y), 0, out).value_or(out);
        }
      }
      for (int level = 0; level <= 3; level++) {
        SCOPED_TRACE(testing::Message() << "width " << width << " flag " << flag << " level " << level);
        Image d(dw, dh);
        for (int y = 0, i = 0; y < dh; y++)
          for (int x = 0; x < dw; x++, i++) d.Set(x, y, back[i]);
        SetState(BlendAdd, 255);
        SetBlitSpanLevelForTest(level);
        BlitMemImg(&d.img, &s.img, kX, kY, flag ? 1 : 0, nullptr);
        EXPECT_EQ(d.Pixels(), expected);
      }
    }
  }
}

TEST_F(Blit32Stretch, MalformedRunTableStaysInsideItsRow) {
  Image s(3, 2, MemImgType32, 0, 0, 0, 1), d(4, 2);
  s.Fill(0x00ABCDEF);
  BuildTransparencyRunTable(&s.img);
  s.img.base->runTableValid = 1;
  // Runs of 64 opaque pixels without row ends: each row stops at 3 pixels and
  // reading stops at the table's end.
  std::memset(s.img.base->runTable, 0x7F, (3 + 5) * 2);
  d.Fill(kBack);
  BlitMemImg(&d.img, &s.img, 0, 0, 1, nullptr);
  EXPECT_EQ(d.Get(3, 0), kBack);
  EXPECT_EQ(d.Get(3, 1), kBack);
  EXPECT_EQ(d.Get(2, 0), 0x00ABCDEFu);
}

}  // namespace
}  // namespace blit32test
