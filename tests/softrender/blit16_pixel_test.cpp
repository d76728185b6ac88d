// Hand-worked pixels of every blend operation and modifier into R5G6B5
// images, drawn through the plain blit one pixel at a time.
#include <gtest/gtest.h>

#include "tests/softrender/blit16_reference.h"

namespace blit16test {
namespace {

constexpr uint16_t kWhite = 0xFFFF;

class Blit16Pixel : public Blit16Test {
 protected:
  // One source word over one destination word; the destination afterwards.
  uint16_t Draw(uint16_t src, uint16_t dst, int transparentFlag = 0, uint32_t transparent = 0,
                int blendValue = -1) {
    Image16 s(1, 1, 0, 0, transparent);
    s.Set16(0, 0, src);
    return DrawImage(s, dst, transparentFlag, blendValue);
  }
  // A source with alpha: the colour word and its alpha byte.
  uint16_t DrawAlpha(uint16_t src, uint8_t alpha, uint16_t dst, int transparentFlag = 0,
                     int blendValue = -1) {
    Image16 s(1, 1, 0, 1);
    s.Set(0, 0, uint32_t{src} | uint32_t{alpha} << 16 | 0xAB000000u);
    return DrawImage(s, dst, transparentFlag, blendValue);
  }
  uint16_t DrawIndexed(uint8_t index, uint16_t entry, uint16_t dst, int transparentFlag = 0,
                       uint32_t transparent = 0) {
    Image16 s(1, 1, 1, 0, transparent);
    s.Set8(0, 0, index);
    s.Palette16()[index] = entry;
    return DrawImage(s, dst, transparentFlag, -1);
  }

 private:
  uint16_t DrawImage(const Image16& s, uint16_t dst, int transparentFlag, int blendValue) {
    Image16 d(1, 1);
    d.Set16(0, 0, dst);
    blit32test::Image b(1, 1, MemImgTypeBlend8);
    b.Set8(0, 0, static_cast<uint8_t>(blendValue < 0 ? 0 : blendValue));
    BlitMemImg(&d.img, &s.img, 0, 0, transparentFlag, blendValue < 0 ? nullptr : &b.img);
    return d.Get16(0, 0);
  }
};

TEST_F(Blit16Pixel, CopyWritesTheWordUnlessWeightedOrModulated) {
  EXPECT_EQ(Draw(0x1234, 0xFFFF), 0x1234);
  // Green brightness 128: green 63 becomes prod(128, 63) = 31, in its own units.
  SetBright(255, 128, 255);
  EXPECT_EQ(Draw(Rgb16(31, 63, 31), 0), Rgb16(31, 31, 31));
  // (255, 255, 254) is a brightness too: blue prod(254, 31) = 30.
  SetBright(255, 255, 254);
  EXPECT_EQ(Draw(Rgb16(31, 63, 31), 0), Rgb16(31, 63, 30));
  // Blend weight 255: (0 * 256 + 31 * 255) >> 8 = 30 in red, 62 in green.
  SetBright(255, 255, 255);
  EXPECT_EQ(Draw(Rgb16(31, 63, 0), 0, 0, 0, 255), Rgb16(30, 62, 0));
}

TEST_F(Blit16Pixel, CopyWithSourceAlphaDependsOnTheTransparentFlag) {
  // Without the flag alpha 255 is a weight: red 31 * 255 >> 8 = 30, green 62.
  EXPECT_EQ(DrawAlpha(Rgb16(31, 63, 0), 255, 0, 0), Rgb16(30, 62, 0));
  // With it the colour word is copied.
  EXPECT_EQ(DrawAlpha(Rgb16(31, 63, 0), 255, 0, 1), Rgb16(31, 63, 0));
  // Alpha 0: skipped with the flag, a weight of 0 without it.
  EXPECT_EQ(DrawAlpha(kWhite, 0, 0x1234, 1), 0x1234);
  EXPECT_EQ(DrawAlpha(kWhite, 0, 0x1234, 0), 0x1234);
  // Alpha 128, red 31 over 10: (10 * 256 + 21 * 128) >> 8 = 20.
  EXPECT_EQ(DrawAlpha(Rgb16(31, 0, 0), 128, Rgb16(10, 0, 0), 1), Rgb16(20, 0, 0));
}

TEST_F(Blit16Pixel, AlphaMovesThroughTheLerpTable) {
  SetState(BlendAlpha, 128);
  // 0 + 128 * 31 / 255 = 15; downward 31 + (128 * -31) / 255 = 31 - 15 = 16.
  EXPECT_EQ(Draw(Rgb16(31, 0, 0), Rgb16(0, 0, 0)), Rgb16(15, 0, 0));
  EXPECT_EQ(Draw(Rgb16(0, 0, 0), Rgb16(31, 0, 0)), Rgb16(16, 0, 0));
  // p = 200: 31 - 24 = 7 through the table; with blend weight 255 the one
  // shift, (31 * 65536 - 31 * 255 * 200) >> 16 = 6.
  SetState(BlendAlpha, 200);
  EXPECT_EQ(Draw(Rgb16(0, 0, 0), Rgb16(31, 0, 0)), Rgb16(7, 0, 0));
  EXPECT_EQ(Draw(Rgb16(0, 0, 0), Rgb16(31, 0, 0), 0, 0, 255), Rgb16(6, 0, 0));
  SetState(BlendAlpha, 255);  // the copy
  EXPECT_EQ(Draw(0x1234, 0xFFFF), 0x1234);
  SetState(BlendAlpha, 0);  // nothing
  EXPECT_EQ(Draw(0x1234, 0xFFFF), 0xFFFF);
}

TEST_F(Blit16Pixel, AddSaturatesWithOrOfTheLowestBits) {
  SetState(BlendAdd, 255);
  // Green 1 + 1 = 1; blue 31 + 1 = 31 and green's lowest bit set;
  // green 63 + 63 = 63 and red's lowest bit set; red 16 + 16 = 31.
  EXPECT_EQ(Draw(Rgb16(0, 1, 0), Rgb16(0, 1, 0)), Rgb16(0, 1, 0));
  EXPECT_EQ(Draw(Rgb16(0, 0, 1), Rgb16(0, 0, 31)), Rgb16(0, 1, 31));
  EXPECT_EQ(Draw(Rgb16(0, 63, 0), Rgb16(0, 63, 0)), Rgb16(1, 63, 0));
  EXPECT_EQ(Draw(Rgb16(16, 0, 0), Rgb16(16, 0, 0)), Rgb16(31, 0, 0));
  // Green 40 + 40 saturates at 62 when neither lowest bit is set.
  EXPECT_EQ(Draw(Rgb16(0, 40, 0), Rgb16(0, 40, 0)), Rgb16(1, 62, 0));
  // p = 128 through the product table: prod(128, 31) = 15, plus 3.
  SetState(BlendAdd, 128);
  EXPECT_EQ(Draw(Rgb16(0, 0, 31), Rgb16(0, 0, 3)), Rgb16(0, 0, 18));
  // With a weight, p after the weighting: prod(200, (31 * 255) >> 8) = prod(200, 30) = 23,
  // where one shift of all three would give (31 * 255 * 200) >> 16 = 24.
  SetState(BlendAdd, 200);
  EXPECT_EQ(Draw(Rgb16(0, 0, 31), 0, 0, 0, 255), Rgb16(0, 0, 23));
  SetState(BlendAdd, 0);
  EXPECT_EQ(Draw(kWhite, 0x1234), 0x1234);
}

TEST_F(Blit16Pixel, SubtractFloorsWithGuardBits) {
  SetState(BlendSubtract, 128);
  // Subtracting 0 from red 2, green 17, blue 20: red 3, green 16, blue 20.
  EXPECT_EQ(Draw(0, 0x1234), 0x1A14);
  SetState(BlendSubtract, 255);  // the full-strength members
  EXPECT_EQ(Draw(0, kWhite), 0xFFDF);
  EXPECT_EQ(Draw(kWhite, kWhite), 0x0800);
  // Blue 3 - 5 floors at 0; green 20 - 7 = 2 * (10 - 3) = 14; red 9 - 2 = 2 * 3 + 1 = 7.
  EXPECT_EQ(Draw(Rgb16(2, 7, 5), Rgb16(9, 20, 3)), Rgb16(7, 14, 0));
  // No byte-wise form in 16 bits: the MMX flag changes nothing.
  SetMmxUsableForTest(0);
  EXPECT_EQ(Draw(kWhite, kWhite), 0x0800);
  SetState(BlendSubtract, 0);
  EXPECT_EQ(Draw(kWhite, 0x1234), 0x1234);
}

TEST_F(Blit16Pixel, PaletteSubtractAtZeroStillDraws) {
  SetState(BlendSubtract, 0);
  EXPECT_EQ(DrawIndexed(3, kWhite, 0x1234), 0x1A14);
  SetState(BlendSubtract, 255);
  EXPECT_EQ(DrawIndexed(3, kWhite, kWhite), 0x0800);
}

TEST_F(Blit16Pixel, MultiplyDividesByTheFieldRange) {
  SetState(BlendMultiply, 0);  // the parameter plays no part
  // Red 31 * 31 >> 5 = 30, green 63 * 63 >> 6 = 62, blue 30.
  EXPECT_EQ(Draw(kWhite, kWhite), Rgb16(30, 62, 30));
  // Alpha 0 blackens without the flag and is skipped with it.
  EXPECT_EQ(DrawAlpha(kWhite, 0, 0x1234, 0), 0);
  EXPECT_EQ(DrawAlpha(kWhite, 0, 0x1234, 1), 0x1234);
  // Alpha 128: 31 * 31 * 128 >> 13 = 15; green 63 * 63 * 128 >> 14 = 31.
  EXPECT_EQ(DrawAlpha(kWhite, 128, kWhite, 0), Rgb16(15, 31, 15));
}

TEST_F(Blit16Pixel, InvertedSourceAndMultiplyAlpha) {
  // Mode 10 at 128, black over black: 0 + 128 * 31 / 255 = 15, green 31.
  SetState(BlendInvertedSource, 128);
  EXPECT_EQ(Draw(0, 0), Rgb16(15, 31, 15));
  // Inverted before the brightness: 31 - 11 = 20, prod(128, 20) = 10, then p 255 moves all the way.
  SetState(BlendInvertedSource, 255);
  SetBright(128, 255, 255);
  EXPECT_EQ(Draw(Rgb16(11, 63, 31), 0), Rgb16(10, 0, 0));
  SetBright(255, 255, 255);
  // p = 0 leaves the destination as it was.
  SetState(BlendInvertedSource, 0);
  EXPECT_EQ(Draw(0, 0x1234), 0x1234);
  // Mode 11 at 255: t = 31 * 20 >> 5 = 19, 20 + (255 * -1) / 255 = 19; green t = 63 * 40 >> 6 = 39.
  SetState(BlendMultiplyAlpha, 255);
  EXPECT_EQ(Draw(Rgb16(31, 63, 0), Rgb16(20, 40, 0)), Rgb16(19, 39, 0));
}

TEST_F(Blit16Pixel, AlphaComesBeforeTheBrightnessInAddAndSubtract) {
  // Red 31, alpha 128, red brightness 200, p 255: prod(200, (31 * 128) >> 8) =
  // prod(200, 15) = 11, where the brightness first would give (24 * 128) >> 8 = 12.
  SetBright(200, 255, 255);
  SetState(BlendAdd, 255);
  EXPECT_EQ(DrawAlpha(Rgb16(31, 0, 0), 128, 0), Rgb16(11, 0, 0));
  // Subtracted from red 31: 2 * (15 - 5) + 1 = 21 (12 would give 19).
  SetState(BlendSubtract, 255);
  EXPECT_EQ(DrawAlpha(Rgb16(31, 0, 0), 128, Rgb16(31, 0, 0)), Rgb16(21, 0, 0));
  // Red 3: prod(200, 1) = 0 alpha first; brightness first it would be 1.
  SetState(BlendAdd, 255);
  EXPECT_EQ(DrawAlpha(Rgb16(3, 0, 0), 128, 0), 0);
  // With a blend image the brightness comes first: prod(200, 4) = 3, (3 * 255 * 128) >> 16 = 1;
  // alpha first would give prod(200, 2) = 1, (1 * 255) >> 8 = 0.
  EXPECT_EQ(DrawAlpha(Rgb16(4, 0, 0), 128, 0, 0, 255), Rgb16(1, 0, 0));
  // Under the transparent flag alpha 255 is no weight: prod(200, 31) = 24.
  EXPECT_EQ(DrawAlpha(Rgb16(31, 0, 0), 255, 0, 1), Rgb16(24, 0, 0));
}

TEST_F(Blit16Pixel, MultiplyAlphaComputesGreenInPlace) {
  // Source green 1 over green 9, alpha 255, p 200: green 2 in place, 1 by the fields.
  SetState(BlendMultiplyAlpha, 200);
  EXPECT_EQ(DrawAlpha(Rgb16(0, 1, 0), 255, Rgb16(0, 9, 0), 0), Rgb16(0, 2, 0));
  // Under the transparent flag alpha 255 is no weight: the lerp, 9 + (200 * -9) / 255 = 2.
  EXPECT_EQ(DrawAlpha(Rgb16(0, 1, 0), 255, Rgb16(0, 9, 0), 1), Rgb16(0, 2, 0));
  // With a brightness the fields' rule: (9 * 65536 - 9 * 255 * 200) >> 16 = 1.
  SetBright(255, 255, 254);
  EXPECT_EQ(DrawAlpha(Rgb16(0, 1, 0), 255, Rgb16(0, 9, 0), 0), Rgb16(0, 1, 0));
  // With a blend image (weight 128) the fields' rule too: t = 0,
  // (9 * 2^24 - 9 * 128 * 255 * 200) >> 24 = 5.
  SetBright(255, 255, 255);
  SetMemImgBorderTable(128, 255);  // entry b = b
  EXPECT_EQ(DrawAlpha(Rgb16(0, 1, 0), 255, Rgb16(0, 9, 0), 0, 128), Rgb16(0, 5, 0));
}

TEST_F(Blit16Pixel, ModesWithoutMeaningDrawNothing) {
  for (int mode : {5, 6, 7, 8, 9, 12, 255, -1, -11}) {
    SetState(mode, 128);
    EXPECT_EQ(Draw(kWhite, 0x1234), 0x1234) << mode;
  }
}

TEST_F(Blit16Pixel, TransparentKeyWidthDependsOnTheMember) {
  EXPECT_EQ(Draw(0xF81F, 0x1234, 1, 0xF81F), 0x1234);
  // Bits above the word: the whole-word copies compare the low 16 bits and skip ...
  EXPECT_EQ(Draw(0xF81F, 0x1234, 1, 0x1F81F), 0x1234);
  SetState(BlendAlpha, 255);
  EXPECT_EQ(Draw(0xF81F, 0x1234, 1, 0x1F81F), 0x1234);
  // ... every other member compares all 32 bits and draws.
  SetState(BlendAlpha, 254);
  EXPECT_EQ(Draw(0xF81F, 0, 1, 0x1F81F), Rgb16(30, 0, 30));
  SetState(BlendNone, 0);
  SetBright(255, 255, 254);
  EXPECT_EQ(Draw(0xF81F, 0, 1, 0x1F81F), Rgb16(31, 0, 30));
  SetBright(255, 255, 255);
  EXPECT_EQ(Draw(0xF81F, 0, 1, 0x1F81F, 255), Rgb16(30, 0, 30));
  // A palette index compares with all 32 bits in every member.
  EXPECT_EQ(DrawIndexed(7, 0xABCD, 0x1234, 1, 7), 0x1234);
  EXPECT_EQ(DrawIndexed(7, 0xABCD, 0x1234, 1, 0x107), 0xABCD);
}

TEST_F(Blit16Pixel, WholeWordCopyWithTheRunTableSkipsByTheLowBits) {
  // The run table compares all 32 bits and marks the pixel opaque; the copy
  // members still skip it, with or without the table.
  Image16 s(2, 1, 0, 0, 0x1F81F, 1);
  s.Set16(0, 0, 0xF81F);
  s.Set16(1, 0, 0x0001);
  BuildTransparencyRunTable(&s.img);
  s.img.base->runTableValid = 1;
  Image16 d(2, 1);
  d.Fill16(0x1234);
  BlitMemImg(&d.img, &s.img, 0, 0, 1, nullptr);
  EXPECT_EQ(d.Get16(0, 0), 0x1234);
  EXPECT_EQ(d.Get16(1, 0), 0x0001);
}

}  // namespace
}  // namespace blit16test
