#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "image/color_format.h"
#include "image/graph_image.h"

namespace {

ColorFormat Format(int bits, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
  ColorFormat f{};
  SetupColorFormat(&f, bits, r, g, b, a);
  return f;
}

const ColorFormat kRgb565 = Format(16, 0xF800, 0x07E0, 0x001F, 0);
const ColorFormat kXrgb = Format(32, 0xFF0000, 0xFF00, 0xFF, 0);
const ColorFormat kArgb = Format(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u);
const ColorFormat kRgb565A8 = Format(32, 0xF800, 0x07E0, 0x001F, 0xFF0000);
const ColorFormat kArgb4444 = Format(16, 0x0F00, 0x00F0, 0x000F, 0xF000);
const ColorFormat kArgb1555 = Format(16, 0x7C00, 0x03E0, 0x001F, 0x8000);
const ColorFormat kSingle8 = Format(8, 0xFF, 0xFF, 0xFF, 0xFF);
const ColorFormat kSingle16 = Format(16, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF);

struct Options {
  const void* alpha = nullptr;
  int32_t alphaPitch = 0;
  const ColorFormat* alphaFormat = nullptr;
  int32_t mirror = 0, keyToAlpha = 0;
  uint32_t key = 0;
  int32_t dither = 0, colorZero = 0, alphaFromRed = 0, skipKey = 0, remap = 0;
};

// Converts one row of pixels (32-bit values, stored in each format's size).
template <typename Out, typename In>
std::vector<Out> Row(const ColorFormat& to, const ColorFormat& from, const std::vector<In>& in,
                     const Options& o = {}, Out fill = 0) {
  std::vector<Out> out(in.size(), fill);
  IntRect rect{0, 0, static_cast<int32_t>(in.size()), 1};
  int result = ConvertPixelRect(out.data(), 0, &to, in.data(), 0, &from, o.alpha, o.alphaPitch, o.alphaFormat, 0,
                                0, &rect, o.mirror, o.keyToAlpha, o.key, o.dither, o.colorZero, o.alphaFromRed,
                                o.skipKey, o.remap);
  EXPECT_EQ(result, 0);
  return out;
}

using V16 = std::vector<uint16_t>;
using V32 = std::vector<uint32_t>;
using V8 = std::vector<uint8_t>;

TEST(SetupColorFormat, ShiftsWidthsBytesAndUnusedBitsComeFromTheMasks) {
  EXPECT_EQ(kRgb565.bitsPerPixel, 16);
  EXPECT_EQ(kRgb565.bytesPerPixel, 2);
  EXPECT_EQ(kRgb565.redShift, 11);
  EXPECT_EQ(kRgb565.greenShift, 5);
  EXPECT_EQ(kRgb565.redWidth, 5);
  EXPECT_EQ(kRgb565.greenWidth, 6);
  EXPECT_EQ(kRgb565.alphaWidth, 0);
  EXPECT_EQ(kRgb565.unusedMask, 0u);
  EXPECT_EQ(kXrgb.unusedMask, 0xFF000000u);
  EXPECT_EQ(kRgb565A8.bytesPerPixel, 4);
  EXPECT_EQ(kRgb565A8.alphaShift, 16);
  EXPECT_EQ(kRgb565A8.alphaWidth, 8);
  EXPECT_EQ(kRgb565A8.unusedMask, 0xFF000000u);
  EXPECT_EQ(kArgb4444.alphaShift, 12);
  EXPECT_EQ(kArgb4444.redShift, 8);

  ColorFormat palette{};
  palette.palette[7] = {1, 2, 3, 4};
  SetupColorFormat(&palette, 8, 0xFF0000, 0xFF00, 0xFF, 0);
  EXPECT_EQ(palette.bytesPerPixel, 1);
  EXPECT_EQ(palette.palette[7].red, 3);  // kept
  EXPECT_TRUE(IsPaletteColorFormat(&palette));
  EXPECT_FALSE(IsPaletteColorFormat(&kSingle8));
  EXPECT_FALSE(IsPaletteColorFormat(&kRgb565));
}

TEST(ConvertPixelRect, SixteenToThirtyTwoBitsRepeatsTheTopBits) {
  EXPECT_EQ(Row<uint32_t>(kXrgb, kRgb565, V16{0xF81F, 0x8410, 0x07E0, 0x0000}),
            (V32{0x00FF00FF, 0x00848284, 0x0000FF00, 0x00000000}));
  // Into a format with alpha the missing alpha is full.
  EXPECT_EQ(Row<uint32_t>(kArgb, kRgb565, V16{0x8410}), (V32{0xFF848284}));
  EXPECT_EQ(Row<uint32_t>(kRgb565A8, kRgb565, V16{0xF81F}), (V32{0x00FFF81F}));
  EXPECT_EQ(Row<uint32_t>(kArgb, kArgb4444, V16{0x8F71}), (V32{0x88FF7711}));
}

TEST(ConvertPixelRect, ThirtyTwoToSixteenBitsKeepsTheTopBits) {
  EXPECT_EQ(Row<uint16_t>(kRgb565, kXrgb, V32{0x00FF8040, 0xAB123456}), (V16{0xFC08, 0x11AA}));
  EXPECT_EQ(Row<uint16_t>(kArgb4444, kArgb, V32{0x80FF7F10}), (V16{0x8F71}));
  EXPECT_EQ(Row<uint16_t>(kArgb1555, kArgb, V32{0x80FF0000, 0x7F00FF00}), (V16{0xFC00, 0x03E0}));
  EXPECT_EQ(Row<uint32_t>(kRgb565A8, kArgb, V32{0x80FF8040}), (V32{0x0080FC08}));
}

TEST(ConvertPixelRect, AlphaIsAddedDroppedOrKeptAndUnusedBitsAreZero) {
  EXPECT_EQ(Row<uint32_t>(kArgb, kXrgb, V32{0x00123456, 0x77123456}), (V32{0xFF123456, 0xFF123456}));
  EXPECT_EQ(Row<uint32_t>(kXrgb, kArgb, V32{0x80123456}), (V32{0x00123456}));
  EXPECT_EQ(Row<uint32_t>(kArgb, kArgb, V32{0x80123456}), (V32{0x80123456}));
  EXPECT_EQ(Row<uint32_t>(kXrgb, kXrgb, V32{0xEE123456}), (V32{0x00123456}));
}

TEST(ConvertPixelRect, TheTransparentColourTurnsIntoAlphaZero) {
  Options o;
  o.keyToAlpha = 1;
  o.key = 0x00FF00FF;
  EXPECT_EQ(Row<uint32_t>(kArgb, kXrgb, V32{0x00FF00FF, 0x00FF00FE}, o), (V32{0x00FF00FF, 0xFFFF00FE}));
  // Compared in the destination's colour bits: F8 and FF are the same 5-bit red.
  o.key = 0xF81F;
  EXPECT_EQ(Row<uint32_t>(kRgb565A8, kXrgb, V32{0x00FF00FF, 0x00F800F8, 0x00FF00F0}, o),
            (V32{0x0000F81F, 0x0000F81F, 0x00FFF81E}));
  // A destination without alpha ignores the flag.
  EXPECT_EQ(Row<uint16_t>(kRgb565, kXrgb, V32{0x00FF00FF}, o), (V16{0xF81F}));
}

TEST(ConvertPixelRect, SkippedKeyPixelsLeaveTheDestination) {
  Options o;
  o.skipKey = 1;
  o.key = 0x00FF00FF;
  EXPECT_EQ(Row<uint32_t>(kXrgb, kXrgb, V32{0x00FF00FF, 0x00010203}, o, 0xDEADBEEFu),
            (V32{0xDEADBEEF, 0x00010203}));
}

TEST(ConvertPixelRect, SingleChannelImagesTakeTheRedChannelAsAlpha) {
  Options o;
  o.colorZero = 1;
  o.alphaFromRed = 1;
  EXPECT_EQ(Row<uint8_t>(kSingle8, kXrgb, V32{0x00AB1234, 0x00FF0000}, o), (V8{0xAB, 0xFF}));
  EXPECT_EQ(Row<uint16_t>(kSingle16, kXrgb, V32{0x00AB1234}, o), (V16{0xABAB}));
  // Colour forced to 0 alone keeps the source alpha.
  Options zero;
  zero.colorZero = 1;
  EXPECT_EQ(Row<uint32_t>(kArgb, kArgb, V32{0x80123456}, zero), (V32{0x80000000}));
}

TEST(ConvertPixelRect, AnAlphaImageGivesTheAlpha) {
  const V8 alpha8{0x40, 0x00};
  Options o;
  o.alpha = alpha8.data();
  o.alphaFormat = &kSingle8;
  EXPECT_EQ(Row<uint32_t>(kArgb, kXrgb, V32{0x00102030, 0x00FFFFFF}, o), (V32{0x40102030, 0x00FFFFFF}));
  const V32 alpha32{0x00C0FFFF};  // its red channel counts
  o.alpha = alpha32.data();
  o.alphaFormat = &kXrgb;
  o.keyToAlpha = 1;  // the alpha image wins
  o.key = 0x00102030;
  EXPECT_EQ(Row<uint32_t>(kArgb, kXrgb, V32{0x00102030}, o), (V32{0xC0102030}));
  EXPECT_EQ(Row<uint32_t>(kRgb565A8, kXrgb, V32{0x00FFFFFF}, o), (V32{0x00C0FFFF}));
}

TEST(ConvertPixelRect, MirroringReversesEachRow) {
  Options o;
  o.mirror = 1;
  EXPECT_EQ(Row<uint32_t>(kXrgb, kXrgb, V32{1, 2, 3}, o), (V32{3, 2, 1}));
  EXPECT_EQ(Row<uint16_t>(kRgb565, kXrgb, V32{0x00FF0000, 0, 0x000000FF}, o), (V16{0x001F, 0, 0xF800}));
}

TEST(ConvertPixelRect, PaletteSourcesLookUpTheirEntries) {
  ColorFormat palette = Format(8, 0xFF0000, 0xFF00, 0xFF, 0);
  palette.palette[5] = {1, 2, 3, 4};
  EXPECT_EQ(Row<uint32_t>(kArgb, palette, V8{5}), (V32{0xFF030201}));
  ColorFormat paletteWithAlpha = Format(8, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u);
  paletteWithAlpha.palette[5] = {1, 2, 3, 4};
  EXPECT_EQ(Row<uint32_t>(kArgb, paletteWithAlpha, V8{5}), (V32{0x04030201}));
  EXPECT_EQ(Row<uint16_t>(kRgb565, palette, V8{5}), (V16{0x0000}));
}

TEST(ConvertPixelRect, IndexCopiesReturnTheHighestIndexOrRemapByNearestColour) {
  ColorFormat palette = Format(8, 0xFF0000, 0xFF00, 0xFF, 0);
  V8 src{3, 9, 1, 0, 2, 8};
  V8 dest(6, 0xEE);
  IntRect rect{0, 0, 3, 2};
  EXPECT_EQ(ConvertPixelRect(dest.data(), 3, &palette, src.data(), 3, &palette, nullptr, 0, nullptr, 0, 0, &rect,
                             0, 0, 0, 0, 0, 0, 0, 0),
            9);
  EXPECT_EQ(dest, src);

  ColorFormat from = palette, to = palette;
  from.palette[0] = {10, 10, 10, 0};
  from.palette[1] = {0, 0, 250, 0};  // red
  to.palette[0] = {0, 0, 255, 0};    // red; every other entry is black
  V8 indices{0, 1};
  V8 out(2);
  rect = {0, 0, 2, 1};
  EXPECT_EQ(ConvertPixelRect(out.data(), 2, &to, indices.data(), 2, &from, nullptr, 0, nullptr, 0, 0, &rect, 0, 0,
                             0, 0, 0, 0, 0, 1),
            0);
  EXPECT_EQ(out, (V8{1, 0}));
}

TEST(ConvertPixelRect, RectanglesAndPositionsAreHonouredAndEmptyOnesFail) {
  // 3 x 2 source, rectangle (1, 0)-(3, 2) to (1, 1) of a 4 x 3 destination.
  V32 src{1, 2, 3, 4, 5, 6};
  V32 dest(12, 0);
  IntRect rect{1, 0, 3, 2};
  ASSERT_EQ(ConvertPixelRect(dest.data(), 16, &kXrgb, src.data(), 12, &kXrgb, nullptr, 0, nullptr, 1, 1, &rect, 0,
                             0, 0, 0, 0, 0, 0, 0),
            0);
  EXPECT_EQ(dest, (V32{0, 0, 0, 0, 0, 2, 3, 0, 0, 5, 6, 0}));
  for (IntRect empty : {IntRect{1, 1, 1, 2}, IntRect{0, 2, 3, 2}, IntRect{2, 0, 1, 2}}) {
    EXPECT_EQ(ConvertPixelRect(dest.data(), 16, &kXrgb, src.data(), 12, &kXrgb, nullptr, 0, nullptr, 0, 0, &empty,
                               0, 0, 0, 0, 0, 0, 0, 0),
              -1);
  }
  ColorFormat palette = Format(8, 0xFF0000, 0xFF00, 0xFF, 0);
  EXPECT_EQ(ConvertPixelRect(dest.data(), 16, &palette, src.data(), 12, &kXrgb, nullptr, 0, nullptr, 0, 0, &rect, 0,
                             0, 0, 0, 0, 0, 0, 0),
            -1);
}

TEST(ConvertPixelRect, OrderedDitherSpreadsWhatNarrowingLoses) {
  // Red 4 of 255 is half a 5-bit step: the 4 x 4 pattern lifts the cells whose
  // threshold is 8 or more, a checkerboard.
  V32 src(16, 0x00040000);
  std::vector<uint16_t> dest(16);
  IntRect rect{0, 0, 4, 4};
  ASSERT_EQ(ConvertPixelRect(dest.data(), 8, &kRgb565, src.data(), 16, &kXrgb, nullptr, 0, nullptr, 0, 0, &rect, 0,
                             0, 0, 1, 0, 0, 0, 0),
            0);
  for (int y = 0; y < 4; y++)
    for (int x = 0; x < 4; x++) EXPECT_EQ(dest[y * 4 + x], (x + y) % 2 ? 0x0800 : 0x0000) << x << "," << y;
  // Nothing is lost going wider, so nothing moves.
  Options o;
  o.dither = 1;
  EXPECT_EQ(Row<uint32_t>(kXrgb, kRgb565, V16{0x0800, 0xFFFF}, o), (V32{0x00080000, 0x00FFFFFF}));
}

// The layouts the kernels add, by hand, in both kernel tables: R5G6B5 with
// an alpha byte to and from A8R8G8B8 (5 bits widen by repeating their top
// bits, 8 narrow to their top 5 or 6), the alpha from a 32-bit alpha
// image's red channel.
TEST(ConvertPixelRect, SixteenBitsWithAnAlphaByteByHand) {
  const V32 argbAlpha{0x1234ABCDu};
  for (int level : {1, 2}) {
    SetPixelConvertLevelForTest(level);
    EXPECT_EQ(Row<uint32_t>(kArgb, kRgb565A8, V32{0x00C0F81Fu, 0xFF0007E0u}), (V32{0xC0FF00FFu, 0x0000FF00u}));
    EXPECT_EQ(Row<uint32_t>(kRgb565A8, kArgb, V32{0x80FF8040u, 0x01070301u}), (V32{0x0080FC08u, 0x00010000u}));
    Options o;
    o.alpha = argbAlpha.data();
    o.alphaFormat = &kArgb;
    EXPECT_EQ(Row<uint32_t>(kRgb565A8, kXrgb, V32{0xFFFF8040u}, o), (V32{0x0034FC08u}));
  }
  SetPixelConvertLevelForTest(-1);
}

// The generated kernels, baseline and AVX2, must write exactly what the
// general conversion writes: every pair of layouts they cover, with the
// alpha from the source, from an alpha image, or from red into a single
// channel; rows long enough for the vector loops and their tails, at
// offsets in source and destination, and whole images without gaps between
// their rows.
TEST(ConvertPixelRect, KernelsMatchTheGeneralConversion) {
  const ColorFormat* formats[] = {&kRgb565, &kXrgb, &kArgb, &kRgb565A8, &kSingle8};
  uint32_t seed = 2024;
  auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
  std::vector<uint8_t> alphaImage(64 * 8 * 4);
  for (auto& b : alphaImage) b = static_cast<uint8_t>(next() >> 24);
  for (const ColorFormat* from : formats) {
    for (const ColorFormat* to : formats) {
      for (int variant = 0; variant < 16; variant++) {
        const bool gapless = variant >= 8;
        const int level = 1 + variant % 2, alphaKind = variant / 2 % 4;  // none, Xrgb, Argb image, red
        Options o;
        if (alphaKind == 1 || alphaKind == 2) {
          o.alpha = alphaImage.data();
          o.alphaPitch = 64 * 4;
          o.alphaFormat = alphaKind == 1 ? &kXrgb : &kArgb;
        }
        o.colorZero = o.alphaFromRed = alphaKind == 3;
        o.dither = variant == 5;  // lossless pairs keep their kernel under a dither
        const int w = gapless ? 64 : 37 + static_cast<int>(next() % 8), h = 5;
        std::vector<uint8_t> src(64 * 8 * 4);
        for (auto& b : src) b = static_cast<uint8_t>(next() >> 24);
        IntRect rect{gapless ? 0 : static_cast<int32_t>(next() % 5), static_cast<int32_t>(next() % 3), 0, 0};
        rect.right = rect.left + w;
        rect.bottom = rect.top + h;
        const int32_t dx = gapless ? 0 : next() % 3, dy = next() % 2;
        const int32_t srcPitch = 64 * from->bytesPerPixel, destPitch = 64 * to->bytesPerPixel;
        std::vector<uint8_t> fast(destPitch * (h + 1), 0x5A), general = fast;
        auto convert = [&](std::vector<uint8_t>& out) {
          return ConvertPixelRect(out.data(), destPitch, to, src.data(), srcPitch, from, o.alpha, o.alphaPitch,
                                  o.alphaFormat, dx, dy, &rect, 0, 0, 0, o.dither, o.colorZero, o.alphaFromRed, 0, 0);
        };
        SetPixelConvertLevelForTest(level);
        const int fastResult = convert(fast);
        SetPixelConvertLevelForTest(0);
        const int generalResult = convert(general);
        SetPixelConvertLevelForTest(-1);
        EXPECT_EQ(fastResult, generalResult);
        ASSERT_EQ(fast, general) << from->bitsPerPixel << "/" << from->alphaMask << " -> " << to->bitsPerPixel
                                 << "/" << to->alphaMask << " variant " << variant;
      }
    }
  }
}

TEST(GraphImage, CreateClearAndRelease) {
  GraphImage image;
  ASSERT_EQ(CreateGraphImage(3, 2, &image), 0);
  EXPECT_EQ(image.format.bitsPerPixel, 32);
  EXPECT_EQ(image.format.redMask, 0xFF0000u);
  EXPECT_EQ(image.format.alphaMask, 0u);
  EXPECT_EQ(image.pitch, 12);
  EXPECT_EQ(image.mipMapCount, 0);
  std::memset(image.pixels, 0xFF, 24);
  EXPECT_EQ(ClearGraphImageRect(&image, 1, 0, 5, 1), 0);  // clipped to the image
  auto* p = static_cast<uint32_t*>(image.pixels);
  EXPECT_EQ((V32(p, p + 6)), (V32{0xFFFFFFFF, 0, 0, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF}));
  EXPECT_EQ(ClearGraphImageRect(&image, -1, 1, 2, 5), 0);
  EXPECT_EQ((V32(p, p + 6)), (V32{0xFFFFFFFF, 0, 0, 0, 0xFFFFFFFF, 0xFFFFFFFF}));
  EXPECT_EQ(ReleaseGraphImage(&image), 0);
  EXPECT_EQ(image.pixels, nullptr);
  EXPECT_EQ(image.width, 0);
  EXPECT_EQ(CreateGraphImage(0, 5, &image), -1);
  EXPECT_EQ(CreateGraphImage(5, -1, &image), -1);
  EXPECT_EQ(CreateGraphImage(100000, 100000, &image), -1);
}

}  // namespace
