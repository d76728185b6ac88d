// Solid triangles: the colour through the brightness, then each blend mode's
// arithmetic into 32-bit and 16-bit pixels, worked out by hand.
#include "tri_test_util.h"

namespace {

using TriSolid32 = TriTest;
using TriSolid16 = TriTest;
using TriSolid = TriTest;

// A 4 x 4 triangle whose pixel (0, 0) is always covered.
const TriangleVertex kCorner[3] = {TriV(0, 0), TriV(4, 0), TriV(0, 4)};

// Pixel (0, 0) of a destination of the type filled with dest, after the draw.
uint32_t SolidPixel(int32_t type, uint32_t dest, uint32_t color, int32_t mode, int32_t param) {
  ResetTriDrawState(4, 4);
  SetTriMode(mode, param);
  TriImage dst(4, 4, type);
  dst.Fill(dest);
  DrawTriangleMemImg(&dst.img, nullptr, kCorner, 0, nullptr, color);
  return dst.Pixel(0, 0);
}
uint32_t Solid32(uint32_t dest, uint32_t color, int32_t mode, int32_t param) {
  return SolidPixel(MemImgType32, dest, color, mode, param);
}
uint16_t Solid16(uint16_t dest, uint32_t color, int32_t mode, int32_t param) {
  return static_cast<uint16_t>(SolidPixel(MemImgType16, dest, color, mode, param));
}

TEST_F(TriSolid32, ModesNoneAlphaMultiply) {
  EXPECT_EQ(Solid32(0x11223344, 0xAABBCCDD, BlendNone, 0), 0xAABBCCDDu);  // whole word
  EXPECT_EQ(Solid32(0x7F000000, 0x000000FF, BlendAlpha, 128), 0x7F00007Fu);  // 255*128 >> 8
  EXPECT_EQ(Solid32(0x7F000000, 0xAA0000FF, BlendAlpha, 255), 0xAA0000FFu);  // as mode 0
  EXPECT_EQ(Solid32(0x12345678, 0x000000FF, BlendAlpha, 0), 0x12345678u);
  EXPECT_EQ(Solid32(0x33FFFFFF, 0x00FFFFFF, BlendMultiply, 0), 0x33FEFEFEu);
  EXPECT_EQ(Solid32(0x00804020, 0x00FF8000, BlendMultiply, 77), 0x007F2000u);
}

TEST_F(TriSolid32, PackedAddAndSubtractKeepTheGuardBits) {
  // Green 1 + 1 = 1: the lowest bits are ORed.
  EXPECT_EQ(Solid32(0x00000100, 0x00000100, BlendAdd, 255), 0x00000100u);
  // Everything overflows; the carry out of red lands in the top byte.
  EXPECT_EQ(Solid32(0x00F0F0F0, 0x00202020, BlendAdd, 255), 0x01FFFFFFu);
  // The parameter scales the colour first: prod(128, 200) = 100.
  EXPECT_EQ(Solid32(0xEE000010, 0x00C8C8C8, BlendAdd, 128), 0x00646474u);
  EXPECT_EQ(Solid32(0x00102030, 0x00203040, BlendSubtract, 255), 0x00000000u);
  // (3,3,3) - (1,1,1): green and red take their lowest bit from the guards.
  EXPECT_EQ(Solid32(0xFF030303, 0x00010101, BlendSubtract, 255), 0x00030302u);
  EXPECT_EQ(Solid32(0x12345678, 0x00FFFFFF, BlendAdd, 0), 0x12345678u);
  EXPECT_EQ(Solid32(0x12345678, 0x00FFFFFF, BlendSubtract, 0), 0x12345678u);
}

TEST_F(TriSolid32, InvertedSourceAndMultiplyAlphaAtParameterZeroChangeNothing) {
  EXPECT_EQ(Solid32(0x12345678, 0x00ABCDEF, BlendInvertedSource, 0), 0x12345678u);
  EXPECT_EQ(Solid32(0x12345678, 0x00ABCDEF, BlendMultiplyAlpha, 0), 0x12345678u);
}

TEST_F(TriSolid32, BrightnessAppliesToTheColourOnce) {
  ResetTriDrawState(4, 4);
  SetTriBrightness(128, 255, 255);
  TriImage dst(4, 4, MemImgType32);
  DrawTriangleMemImg(&dst.img, nullptr, kCorner, 0, nullptr, 0xAAFF0000u);
  EXPECT_EQ(dst.At32(0, 0), 0xAA800000u);  // top byte carried in mode 0

  // Mode 10 inverts after the brightness: blue 255 under blue brightness 0
  // becomes 0, inverted 255; (0 * 256 + 255 * 255) >> 8 = 254.
  ResetTriDrawState(4, 4);
  SetTriMode(BlendInvertedSource, 255);
  SetTriBrightness(255, 255, 0);
  dst.Fill(0);
  DrawTriangleMemImg(&dst.img, nullptr, kCorner, 0, nullptr, 0x000000FFu);
  EXPECT_EQ(dst.At32(0, 0) & 0xFF, 254u);
}

TEST_F(TriSolid32, BlendImageAndTransparentFlagChangeNothing) {
  ResetTriDrawState(8, 8);
  SetTriMode(BlendAlpha, 100);
  TriImage plain(8, 8, MemImgType32), withBoth(8, 8, MemImgType32);
  TriImage blend(1, 1, MemImgTypeBlend8);  // too small for any source: unused here
  plain.Fill(0x00406080);
  withBoth.Fill(0x00406080);
  const TriangleVertex v[3] = {TriV(1, 0), TriV(7, 3), TriV(0, 7)};
  DrawTriangleMemImg(&plain.img, nullptr, v, 0, nullptr, 0x00FF8040u);
  DrawTriangleMemImg(&withBoth.img, nullptr, v, 1, &blend.img, 0x00FF8040u);
  EXPECT_EQ(TriCoverage(plain, 0x00406080), TriCoverage(withBoth, 0x00406080));
  for (int y = 0; y < 8; y++) {
    for (int x = 0; x < 8; x++) EXPECT_EQ(plain.At32(x, y), withBoth.At32(x, y));
  }
}

TEST_F(TriSolid16, ModesNoneAlphaMultiply) {
  EXPECT_EQ(Solid16(0x1234, 0xBEEF, BlendNone, 0), 0xBEEF);
  // Bits above 15 are dropped before the fields are split.
  EXPECT_EQ(Solid16(0x1234, 0xABCD5678u, BlendNone, 0), 0x5678);
  // Red 31 over 0 at p = 128: 0 + (31*128)/255 = 15; red 0 over 31: 31 - 15 = 16.
  EXPECT_EQ(Solid16(0x0000, 0xF800, BlendAlpha, 128), 15 << 11);
  EXPECT_EQ(Solid16(0xF800, 0x0000, BlendAlpha, 128), 16 << 11);
  // p = 200: 31 - (31*200)/255 = 31 - 24 = 7.
  EXPECT_EQ(Solid16(0xF800, 0x0000, BlendAlpha, 200), 7 << 11);
  EXPECT_EQ(Solid16(0x1234, 0xFFFF, BlendAlpha, 0), 0x1234);
  // White on white: red and blue 31*31 >> 5 = 30, green 63*63 >> 6 = 62.
  EXPECT_EQ(Solid16(0xFFFF, 0xFFFF, BlendMultiply, 0), (30 << 11) | (62 << 5) | 30);
}

TEST_F(TriSolid16, PackedAddAndSubtract) {
  EXPECT_EQ(Solid16(1 << 5, 1 << 5, BlendAdd, 255), 1 << 5);  // green 1 + 1 = 1
  // Blue 31 + 1 saturates and sets green's lowest bit.
  EXPECT_EQ(Solid16(31, 1, BlendAdd, 255), (1 << 5) | 31);
  // Green 63 + 63 saturates and sets red's lowest bit.
  EXPECT_EQ(Solid16(63 << 5, 63 << 5, BlendAdd, 255), (1 << 11) | (63 << 5));
  EXPECT_EQ(Solid16(16 << 11, 16 << 11, BlendAdd, 255), 31 << 11);
  // p scales each field: prod(128, 31) = 15.
  EXPECT_EQ(Solid16(0, 0xFFFF, BlendAdd, 128), (15 << 11) | (31 << 5) | 15);
  EXPECT_EQ(Solid16(0x1234, 0x0000, BlendSubtract, 255), 0x1A14);
  EXPECT_EQ(Solid16(0xFFFF, 0x0000, BlendSubtract, 255), 0xFFDF);
  EXPECT_EQ(Solid16(0xFFFF, 0xFFFF, BlendSubtract, 255), 0x0800);
  EXPECT_EQ(Solid16(0x1234, 0xFFFF, BlendSubtract, 0), 0x1234);
}

TEST_F(TriSolid16, BrightnessScalesEachFieldInItsOwnUnits) {
  EXPECT_EQ(Solid16(0x1234, 0xFFFF, BlendMultiplyAlpha, 0), 0x1234);
  ResetTriDrawState(4, 4);
  SetTriBrightness(128, 255, 255);
  TriImage dst(4, 4, MemImgType16);
  DrawTriangleMemImg(&dst.img, nullptr, kCorner, 0, nullptr, 0xF800);
  EXPECT_EQ(dst.At16(0, 0), 0x7800);
  // Green 63 under green brightness 128: (63*128)/255 = 31.
  SetTriBrightness(255, 128, 255);
  DrawTriangleMemImg(&dst.img, nullptr, kCorner, 0, nullptr, 0x07E0);
  EXPECT_EQ(dst.At16(0, 0), 31 << 5);
}

TEST_F(TriSolid, ModesWithoutMeaningAndRefusedImagesDrawNothing) {
  for (int32_t mode : {5, 7, 9, 12, -1}) {
    EXPECT_EQ(Solid32(0x12345678, 0xFFFFFFFF, mode, 128), 0x12345678u) << mode;
    EXPECT_EQ(Solid16(0x1234, 0xFFFF, mode, 128), 0x1234) << mode;
  }
  ResetTriDrawState(4, 4);
  TriImage withAlpha(4, 4, MemImgType32, 1);
  TriImage withPalette(4, 4, MemImgType32, 0, 1);
  TriImage blend8(4, 4, MemImgTypeBlend8);
  TriImage single16(4, 4, MemImgTypeSingle16);
  DrawTriangleMemImg(&withAlpha.img, nullptr, kCorner, 0, nullptr, 0xFFFFFFFF);
  DrawTriangleMemImg(&withPalette.img, nullptr, kCorner, 0, nullptr, 0xFFFFFFFF);
  DrawTriangleMemImg(&blend8.img, nullptr, kCorner, 0, nullptr, 0xFFFFFFFF);
  DrawTriangleMemImg(&single16.img, nullptr, kCorner, 0, nullptr, 0xFFFFFFFF);
  EXPECT_EQ(withAlpha.At32(0, 0), 0u);
  EXPECT_EQ(withPalette.At8(0, 0), 0);
  EXPECT_EQ(blend8.At8(0, 0), 0);
  EXPECT_EQ(single16.At16(0, 0), 0);
}

}  // namespace
