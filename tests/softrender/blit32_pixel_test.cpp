// Hand-worked pixels of every blend operation and modifier into 32-bit
// images, drawn through the plain blit one pixel at a time.
#include <gtest/gtest.h>

#include "softrender/pixel_ops32.h"
#include "tests/softrender/blit32_reference.h"

namespace blit32test {
namespace {

class Blit32Pixel : public Blit32Test {
 protected:
  // One source pixel over one destination pixel; the destination afterwards.
  uint32_t Draw(uint32_t src, uint32_t dst, int alpha = 0, int transparentFlag = 0,
                uint32_t transparent = 0, int blendValue = -1) {
    Image s(1, 1, MemImgType32, 0, alpha, transparent);
    Image d(1, 1);
    s.Set(0, 0, src);
    d.Set(0, 0, dst);
    Image b(1, 1, MemImgTypeBlend8);
    b.Set8(0, 0, static_cast<uint8_t>(blendValue < 0 ? 0 : blendValue));
    BlitMemImg(&d.img, &s.img, 0, 0, transparentFlag, blendValue < 0 ? nullptr : &b.img);
    return d.Get(0, 0);
  }
  uint32_t DrawIndexed(uint8_t index, uint32_t entry, uint32_t dst, int transparentFlag = 0,
                       uint32_t transparent = 0) {
    Image s(1, 1, MemImgType32, 1, 0, transparent);
    Image d(1, 1);
    s.Set8(0, 0, index);
    s.Palette()[index] = entry;
    d.Set(0, 0, dst);
    BlitMemImg(&d.img, &s.img, 0, 0, transparentFlag, nullptr);
    return d.Get(0, 0);
  }
};

TEST_F(Blit32Pixel, CopyWritesTheWholePixelUnlessWeightedOrModulated) {
  EXPECT_EQ(Draw(0xAB102030, 0x11223344), 0xAB102030u);
  // Brightness (red 128): red prod(128, 255) = 128, green and blue as they were;
  // the destination keeps its top byte.
  SetBright(128, 255, 255);
  EXPECT_EQ(Draw(0xABFF2030, 0x11223344), 0x11802030u);
  // (255, 255, 254) is a brightness too: blue prod(254, 0x30) = 47.
  SetBright(255, 255, 254);
  EXPECT_EQ(Draw(0xAB102030, 0x11000000), 0x1110202Fu);
}

TEST_F(Blit32Pixel, CopyWithSourceAlphaDependsOnTheTransparentFlag) {
  // Without the flag alpha 255 is still a factor: (0 * 256 + 255 * 255) >> 8 = 254.
  EXPECT_EQ(Draw(0xFFFFFFFF, 0x00000000, 1, 0), 0x00FEFEFEu);
  // With it the pixel is copied whole, top byte 255 included.
  EXPECT_EQ(Draw(0xFFFFFFFF, 0x00000000, 1, 1), 0xFFFFFFFFu);
  // Alpha 0 is skipped with the flag, weighs 0 without it.
  EXPECT_EQ(Draw(0x00FFFFFF, 0x22446688, 1, 1), 0x22446688u);
  EXPECT_EQ(Draw(0x00FFFFFF, 0x22446688, 1, 0), 0x22446688u);
  // Alpha 128, source 200 over 100: (100 * 256 + 100 * 128) >> 8 = 150.
  EXPECT_EQ(Draw(0x80C8C8C8, 0x07646464, 1, 1), 0x07969696u);
}

TEST_F(Blit32Pixel, AlphaMovesTowardTheSourceByTheParameter) {
  SetState(BlendAlpha, 128);
  // (100 * 256 + (200 - 100) * 128) >> 8 = 150; downward (0 - 255): (65280 - 32640) >> 8 = 127.
  EXPECT_EQ(Draw(0x00C800FF, 0x996400FF), 0x999600FFu);
  EXPECT_EQ(Draw(0x00000000, 0x00FF0000), 0x007F0000u);
  SetState(BlendAlpha, 255);  // runs the copy
  EXPECT_EQ(Draw(0xAB102030, 0x11223344), 0xAB102030u);
  SetState(BlendAlpha, 0);  // nothing drawn
  EXPECT_EQ(Draw(0xAB102030, 0x11223344), 0x11223344u);
}

TEST_F(Blit32Pixel, AlphaWithThreeFactorsUsesTheFullProduct) {
  // p = w = a = 255: 255^4 >> 24 = 252 for 255 over 0.
  SetState(BlendAlpha, 255);
  // Mode 1 at 255 is the copy, whose factors are w and a: 255^3 >> 16 = 253.
  EXPECT_EQ(Draw(0xFFFFFFFF, 0x00000000, 1, 0, 0, 255), 0x00FDFDFDu);
  BlendState32 st = MakeBlendState32(255, kNoBrightness);
  EXPECT_EQ((BlendPixel32<BlendOp::Alpha, true, true, false>(0, 0xFFFFFF, 255, 255, st)),
            0x00FCFCFCu);
  // Border table with parameter 128, range 0: values up to 127 weigh 0, 128 weighs 128.
  SetMemImgBorderTable(128, 0);
  SetState(BlendAlpha, 128);
  EXPECT_EQ(Draw(0x00C8C8C8, 0x00646464, 0, 0, 0, 127), 0x00646464u);
  // (100 * 65536 + 100 * 128 * 128) >> 16 = 125.
  EXPECT_EQ(Draw(0x00C8C8C8, 0x00646464, 0, 0, 0, 128), 0x007D7D7Du);
}

TEST_F(Blit32Pixel, AddSaturatesWithOrOfTheLowestBits) {
  SetState(BlendAdd, 255);
  // green 1 + 1 = 1; blue 255 + 1 = 255 and sets green's lowest bit;
  // red 128 + 128 = 255 and the top byte becomes 1.
  EXPECT_EQ(Draw(0x00000100, 0x00000100), 0x00000100u);
  EXPECT_EQ(Draw(0x00000001, 0x000000FF), 0x000001FFu);
  EXPECT_EQ(Draw(0x00800000, 0x77800000), 0x01FF0000u);
  // The source's top byte plays no part: 0x10 + 0x20 in every channel.
  EXPECT_EQ(Draw(0xFF101010, 0x00202020), 0x00303030u);
  // Parameter 128 scales through the product table: prod(128, 200) = 100; 100 + 50 = 150.
  SetState(BlendAdd, 128);
  EXPECT_EQ(Draw(0x000000C8, 0x00000032), 0x00000096u);
  // With a blend weight 128: (200 * 128 * 255) >> 16 = 99, plus 50.
  SetMemImgBorderTable(128, 0);
  SetState(BlendAdd, 255);
  EXPECT_EQ(Draw(0x000000C8, 0x00000032, 0, 0, 0, 128), 0x00000095u);
  SetState(BlendAdd, 0);
  EXPECT_EQ(Draw(0x00FFFFFF, 0x00123456), 0x00123456u);
}

TEST_F(Blit32Pixel, SubtractFloorsWithGuardBitsOrExactlyOnMmx) {
  SetState(BlendSubtract, 128);
  // Subtracting prod(128, 0) = 0 from (0x12, 0x34, 0x56): green 2 * 0x1A + 1 = 0x35,
  // red 2 * 9 + 1 = 0x13, top byte 0.
  EXPECT_EQ(Draw(0x00000000, 0xAB123456), 0x00133556u);
  // (3, 3, 3) - (1, 1, 1) at 255 without MMX: blue 2, green and red 2 * 1 + 1 = 3.
  SetState(BlendSubtract, 255);
  SetMmxUsableForTest(0);
  EXPECT_EQ(Draw(0x00010101, 0x00030303), 0x00030302u);
  EXPECT_EQ(Draw(0x00203040, 0x00102030), 0x00000000u);
  EXPECT_EQ(Draw(0x30000000, 0xAB123456), 0x00133556u);
  // With MMX all four bytes subtract exactly: 0xAB - 0x30 = 0x7B.
  SetMmxUsableForTest(1);
  EXPECT_EQ(Draw(0x00010101, 0x00030303), 0x00020202u);
  EXPECT_EQ(Draw(0x30000000, 0xAB123456), 0x7B123456u);
  EXPECT_EQ(Draw(0xFF203040, 0x10102030), 0x00000000u);
  // A brightness turns the exact form off: prod(254, 0) = 0, so the guard bits show.
  SetBright(255, 255, 254);
  EXPECT_EQ(Draw(0x00000000, 0xAB123456), 0x00133556u);
  SetBright(255, 255, 255);
  SetState(BlendSubtract, 0);
  EXPECT_EQ(Draw(0x00FFFFFF, 0x00123456), 0x00123456u);
}

TEST_F(Blit32Pixel, PaletteSubtractAtZeroStillDraws) {
  SetState(BlendSubtract, 0);
  EXPECT_EQ(DrawIndexed(3, 0x00FFFFFF, 0xAB123456), 0x00133556u);
  // Mode 3 at 255 subtracts the whole palette entry, top byte too on MMX.
  SetState(BlendSubtract, 255);
  EXPECT_EQ(DrawIndexed(3, 0x30010101, 0xAB030303), 0x7B020202u);
}

TEST_F(Blit32Pixel, MultiplyShiftsByEightPerFactor) {
  SetState(BlendMultiply, 0);  // the parameter plays no part
  // 255 * 255 >> 8 = 254; 200 * 100 >> 8 = 78.
  EXPECT_EQ(Draw(0x00FFFFFF, 0x33FFFFFF), 0x33FEFEFEu);
  EXPECT_EQ(Draw(0x000000C8, 0x00000064), 0x0000004Eu);
  // Alpha 255 without the transparent flag: 255^3 >> 16 = 253; with it 254.
  EXPECT_EQ(Draw(0xFFFFFFFF, 0x00FFFFFF, 1, 0), 0x00FDFDFDu);
  EXPECT_EQ(Draw(0xFFFFFFFF, 0x00FFFFFF, 1, 1), 0x00FEFEFEu);
  // Alpha 0 blackens without the flag and is skipped with it.
  EXPECT_EQ(Draw(0x00FFFFFF, 0x55123456, 1, 0), 0x55000000u);
  EXPECT_EQ(Draw(0x00FFFFFF, 0x55123456, 1, 1), 0x55123456u);
  // Blend weight 128: 200 * 100 * 128 >> 16 = 39.
  SetMemImgBorderTable(128, 0);
  EXPECT_EQ(Draw(0x000000C8, 0x00000064, 0, 0, 0, 128), 0x00000027u);
}

TEST_F(Blit32Pixel, InvertedSourceAndMultiplyAlpha) {
  // Mode 10 at 255, black over black: (255 * 255) >> 8 = 254.
  SetState(BlendInvertedSource, 255);
  EXPECT_EQ(Draw(0x00000000, 0x00000000), 0x00FEFEFEu);
  // Inverted before the brightness: 255 - 55 = 200, prod(128, 200) = 100, then p = 128 over 0: 50.
  SetState(BlendInvertedSource, 128);
  SetBright(255, 255, 128);
  EXPECT_EQ(Draw(0x00FFFF37, 0x00000000), 0x00000032u);
  SetBright(255, 255, 255);
  // p = 0 leaves the destination as it was.
  SetState(BlendInvertedSource, 0);
  EXPECT_EQ(Draw(0x00000000, 0x00123456), 0x00123456u);
  // Mode 11, destination 255, source 0, p = 1: t = 0, (65280 - 255) >> 8 = 254.
  SetState(BlendMultiplyAlpha, 1);
  EXPECT_EQ(Draw(0x00000000, 0x000000FF), 0x000000FEu);
  // p = 128, source 128, destination 200: t = 100, (51200 - 12800) >> 8 = 150.
  SetState(BlendMultiplyAlpha, 128);
  EXPECT_EQ(Draw(0x00000080, 0x000000C8), 0x00000096u);
}

TEST_F(Blit32Pixel, ModesWithoutMeaningDrawNothing) {
  for (int mode : {5, 6, 7, 8, 9, 12, 255, -1, -11}) {
    SetState(mode, 128);
    EXPECT_EQ(Draw(0x00FFFFFF, 0x00123456), 0x00123456u) << mode;
  }
}

TEST_F(Blit32Pixel, TransparentColourComparesTheWholePixel) {
  EXPECT_EQ(Draw(0x00FF00FF, 0x00123456, 0, 1, 0x00FF00FF), 0x00123456u);
  // Differs only in the top byte: drawn.
  EXPECT_EQ(Draw(0x01FF00FF, 0x00123456, 0, 1, 0x00FF00FF), 0x01FF00FFu);
  // Without the flag the colour is drawn.
  EXPECT_EQ(Draw(0x00FF00FF, 0x00123456, 0, 0, 0x00FF00FF), 0x00FF00FFu);
  // A palette index equal to the transparent colour is skipped; a colour above 255 never matches.
  EXPECT_EQ(DrawIndexed(7, 0x00ABCDEF, 0x00123456, 1, 7), 0x00123456u);
  EXPECT_EQ(DrawIndexed(7, 0x00ABCDEF, 0x00123456, 1, 0x107), 0x00ABCDEFu);
}

TEST(Blit32PackedOps, MasksMatchTheByteRules) {
  // Each carry and borrow case of the three channels at once.
  // Blue overflows; green and red add their upper seven bits (0xFE) and OR the rest.
  EXPECT_EQ(PackedAdd32(0x00FFFFFF, 0x00010101), 0x00FFFFFFu);
  EXPECT_EQ(PackedAdd32(0x00000000, 0x00000000), 0x00000000u);
  EXPECT_EQ(PackedAdd32(0x007F7F7F, 0x00010101), 0x007F7F80u);
  // Nothing borrows: the guard bits set green's and red's lowest bit.
  EXPECT_EQ(PackedSubtract32(0x00000000, 0x00000000), 0x00010100u);
  // Blue borrows (green's bit stays 0); green's upper bits do not (red's bit is 1).
  EXPECT_EQ(PackedSubtract32(0x00010101, 0x00000000), 0x00010000u);
  EXPECT_EQ(ExactSubtract32(0x01020304, 0x01010101), 0x00000000u);
  EXPECT_EQ(ExactSubtract32(0x01010101, 0xFF050505), 0xFE040404u);
}

}  // namespace
}  // namespace blit32test
