// What one pixel drawn by the rotated blit becomes: the gate, the parameter
// cases, transparency, source alpha with and without the transparent flag,
// brightness, and the 16-bit field rules, each worked out by hand. A 1 x 1
// source drawn at angle 0, scale 1 lands on the centre pixel (1, 1).
#include "softrender/rotate_blit.h"
#include "tri_test_util.h"

namespace {

using RotPixel32 = TriTest;
using RotPixel16 = TriTest;
using RotGate = TriTest;

struct Draw {
  int32_t mode = 0, param = 255;
  int transparent = 0;
  uint8_t red = 255, green = 255, blue = 255;  // brightness
  const MEMIMG* blend = nullptr;
};

uint32_t Rot32(uint32_t dest, uint32_t source, const Draw& d, int alpha = 0, uint32_t key = 0) {
  ResetTriDrawState(3, 3);
  SetTriMode(d.mode, d.param);
  SetTriBrightness(d.red, d.green, d.blue);
  TriImage src(1, 1, MemImgType32, alpha, 0, key);
  src.At32(0, 0) = source;
  TriImage dst(3, 3, MemImgType32);
  dst.Fill(dest);
  RotateBlitMemImg(&dst.img, &src.img, 1, 1, 0.0f, 1.0f, d.transparent, 0,
                   const_cast<MEMIMG*>(d.blend));
  return dst.At32(1, 1);
}

// A 16-bit source with alpha holds the colour word and the alpha byte.
uint32_t Rot16(uint32_t dest, uint32_t source, const Draw& d, int alpha = 0, uint32_t key = 0) {
  ResetTriDrawState(3, 3);
  SetTriMode(d.mode, d.param);
  SetTriBrightness(d.red, d.green, d.blue);
  TriImage src(1, 1, MemImgType16, alpha, 0, key);
  if (alpha) {
    src.At32(0, 0) = source;
  } else {
    src.At16(0, 0) = static_cast<uint16_t>(source);
  }
  TriImage dst(3, 3, MemImgType16);
  dst.Fill(dest);
  RotateBlitMemImg(&dst.img, &src.img, 1, 1, 0.0f, 1.0f, d.transparent, 0,
                   const_cast<MEMIMG*>(d.blend));
  return dst.At16(1, 1);
}

uint32_t RotPalette(int type, uint32_t dest, uint32_t entry, const Draw& d) {
  ResetTriDrawState(3, 3);
  SetTriMode(d.mode, d.param);
  TriImage src(1, 1, type, 0, 1, 0x107);
  src.At8(0, 0) = 7;
  if (type == MemImgType32) {
    static_cast<uint32_t*>(src.img.base->palette)[7] = entry;
  } else {
    static_cast<uint16_t*>(src.img.base->palette)[7] = static_cast<uint16_t>(entry);
  }
  TriImage dst(3, 3, type);
  dst.Fill(dest);
  RotateBlitMemImg(&dst.img, &src.img, 1, 1, 0.0f, 1.0f, d.transparent, 0, nullptr);
  return type == MemImgType32 ? dst.At32(1, 1) : dst.At16(1, 1);
}

// A blend image whose one byte gives weight 255.
struct FullWeight {
  TriImage image{1, 1, MemImgTypeBlend8};
  FullWeight() { image.At8(0, 0) = 255; }
};

TEST_F(RotGate, MismatchedOrUnsuitableImagesDrawNothing) {
  ResetTriDrawState(3, 3);
  TriImage src32(1, 1, MemImgType32), src16(1, 1, MemImgType16);
  src32.Fill(0x00FFFFFF);
  src16.Fill(0xFFFF);
  TriImage dst32(3, 3, MemImgType32), dstAlpha(3, 3, MemImgType32, 1), dstPalette(3, 3, MemImgType32, 0, 1);
  RotateBlitMemImg(&dst32.img, &src16.img, 1, 1, 0.0f, 1.0f, 0, 0, nullptr);
  RotateBlitMemImg(&dstAlpha.img, &src32.img, 1, 1, 0.0f, 1.0f, 0, 0, nullptr);
  RotateBlitMemImg(&dstPalette.img, &src32.img, 1, 1, 0.0f, 1.0f, 0, 0, nullptr);
  EXPECT_EQ(dst32.At32(1, 1), 0u);
  EXPECT_EQ(dstAlpha.At32(1, 1), 0u);
  EXPECT_EQ(dstPalette.At8(1, 1), 0u);
  // A blend image smaller than the source could be read past its end.
  TriImage wide(2, 1, MemImgType32), smallBlend(1, 1, MemImgTypeBlend8);
  wide.Fill(0x00FFFFFF);
  RotateBlitMemImg(&dst32.img, &wide.img, 1, 1, 0.0f, 1.0f, 0, 0, &smallBlend.img);
  EXPECT_EQ(dst32.At32(1, 1), 0u);
}

TEST_F(RotPixel32, ParameterCasesOfTheBlend) {
  EXPECT_EQ(Rot32(0xAABBCCDD, 0x12345678, {.mode = 0}), 0x12345678u);  // whole pixel
  EXPECT_EQ(Rot32(0xAABBCCDD, 0x12345678, {.mode = 1, .param = 255}), 0x12345678u);
  EXPECT_EQ(Rot32(0xAABBCCDD, 0x12345678, {.mode = 1, .param = 0}), 0xAABBCCDDu);
  // 100 + floor(100 * 128 / 256) = 150; the top byte stays.
  EXPECT_EQ(Rot32(0x11000064, 0x220000C8, {.mode = 1, .param = 128}), 0x11000096u);
  // Modes 5 to 9 and above 11 draw nothing.
  EXPECT_EQ(Rot32(0x11223344, 0x00FFFFFF, {.mode = 7}), 0x11223344u);
  EXPECT_EQ(Rot32(0x11223344, 0x00FFFFFF, {.mode = 12}), 0x11223344u);
}

TEST_F(RotPixel32, AddSubtractMultiplyAndInvertedModes) {
  // prod(128, 200) = 100 added to 0x10.
  EXPECT_EQ(Rot32(0x00000010, 0x000000C8, {.mode = 2, .param = 128}), 0x00000074u);
  EXPECT_EQ(Rot32(0x00F0F0F0, 0x00202020, {.mode = 2, .param = 255}), 0x01FFFFFFu);
  // A direct source at parameter 0 leaves the target as it was.
  EXPECT_EQ(Rot32(0x80402010, 0x00FFFFFF, {.mode = 3, .param = 0}), 0x80402010u);
  // (3,3,3) - (1,1,1): green and red take their lowest bit from the guards.
  EXPECT_EQ(Rot32(0xFF030303, 0x00010101, {.mode = 3, .param = 255}), 0x00030302u);
  // 0x80 * 0x80 >> 8 = 0x40; the top byte stays.
  EXPECT_EQ(Rot32(0x7F808080, 0x00808080, {.mode = 4}), 0x7F404040u);
  // t = 0x80 * 0x80 >> 8 = 0x40; 0x80 + floor(-0x40 * 128 / 256) = 0x60.
  EXPECT_EQ(Rot32(0x7F000080, 0x00000080, {.mode = 11, .param = 128}), 0x7F000060u);
  // Blue 255 - 0x37 = 200, 0 + floor(200 * 128 / 256) = 100; green and red
  // move toward 255: 127.
  EXPECT_EQ(Rot32(0x00000000, 0x00000037, {.mode = 10, .param = 128}), 0x007F7F64u);
}

TEST_F(RotPixel32, PaletteSubtractAtParameterZeroStillRuns) {
  // x = 0: blue 0x10 stays, green and red gain their lowest bit, the top
  // byte clears.
  EXPECT_EQ(RotPalette(MemImgType32, 0x80402010, 0x00FFFFFF, {.mode = 3, .param = 0}), 0x00412110u);
  EXPECT_EQ(RotPalette(MemImgType32, 0x80402010, 0x00C0FFEE, {.mode = 0}), 0x00C0FFEEu);
}

TEST_F(RotPixel32, TransparentColourComparesAllFourBytes) {
  const uint32_t key = 0xFF00FF00;
  EXPECT_EQ(Rot32(0x11111111, 0xFF00FF00, {.transparent = 1}, 0, key), 0x11111111u);
  EXPECT_EQ(Rot32(0x11111111, 0x0000FF00, {.transparent = 1}, 0, key), 0x0000FF00u);
  // Without the flag no colour is skipped.
  EXPECT_EQ(Rot32(0x11111111, 0xFF00FF00, {.transparent = 0}, 0, key), 0xFF00FF00u);
}

TEST_F(RotPixel32, AlphaSourceWithAndWithoutTheTransparentFlag) {
  // Mode 1, p 128, alpha 255: with the flag the alpha factor drops (150);
  // without it 100 + floor(100 * 255 * 128 / 65536) = 149.
  EXPECT_EQ(Rot32(0x00000064, 0xFF0000C8, {.mode = 1, .param = 128, .transparent = 1}, 1), 0x00000096u);
  EXPECT_EQ(Rot32(0x00000064, 0xFF0000C8, {.mode = 1, .param = 128, .transparent = 0}, 1), 0x00000095u);
  // Mode 0, alpha 255: copied whole with the flag; floor(255 * 255 / 256)
  // without, the top byte kept.
  EXPECT_EQ(Rot32(0x00000000, 0xFF0000FF, {.transparent = 1}, 1), 0xFF0000FFu);
  EXPECT_EQ(Rot32(0x00000000, 0xFF0000FF, {.transparent = 0}, 1), 0x000000FEu);
  // Alpha 0: skipped with the flag, a zero move without it.
  EXPECT_EQ(Rot32(0x12345678, 0x00FFFFFF, {.transparent = 1}, 1), 0x12345678u);
  EXPECT_EQ(Rot32(0x12345678, 0x00FFFFFF, {.transparent = 0}, 1), 0x12345678u);
  // Alpha 128 in mode 0: 0 + floor(200 * 128 / 256) = 100 either way.
  EXPECT_EQ(Rot32(0x00000000, 0x800000C8, {.transparent = 1}, 1), 0x00000064u);
  EXPECT_EQ(Rot32(0x00000000, 0x800000C8, {.transparent = 0}, 1), 0x00000064u);
}

TEST_F(RotPixel32, MultiplyWithAlphaZeroBlackensEvenUnderTheFlag) {
  EXPECT_EQ(Rot32(0x7F808080, 0x00808080, {.mode = 4, .transparent = 1}, 1), 0x7F000000u);
  EXPECT_EQ(Rot32(0x7F808080, 0x00808080, {.mode = 4, .transparent = 0}, 1), 0x7F000000u);
  // Alpha 255: 0x80 * 0x80 >> 8 with the flag, * 255 >> 16 without.
  EXPECT_EQ(Rot32(0x7F808080, 0xFF808080, {.mode = 4, .transparent = 1}, 1), 0x7F404040u);
  EXPECT_EQ(Rot32(0x7F808080, 0xFF808080, {.mode = 4, .transparent = 0}, 1), 0x7F3F3F3Fu);
}

TEST_F(RotPixel32, BrightnessScalesTheSourceThroughTheProductTable) {
  // Red brightness 128: prod(128, 200) = 100; the destination's top byte stays.
  EXPECT_EQ(Rot32(0x5A000000, 0x12C8C8C8, {.red = 128}), 0x5A64C8C8u);
  // Mode 10 complements first: blue 255 - 55 = 200, prod(128, 200) = 100,
  // then floor(100 * 255 / 256) = 99 toward it; green and red 254.
  EXPECT_EQ(Rot32(0x00000000, 0x00000037, {.mode = 10, .param = 255, .blue = 128}), 0x00FEFE63u);
}

TEST_F(RotPixel16, LerpTableWithTheParameterAloneWeightedMoveOtherwise) {
  FullWeight w;
  // Red 31 over 0 at p 128: 31 * 128 / 255 = 15; red 0 over 31: 31 - 15 = 16.
  EXPECT_EQ(Rot16(0x0000, 0xF800, {.mode = 1, .param = 128}), 15u << 11);
  EXPECT_EQ(Rot16(0xF800, 0x0000, {.mode = 1, .param = 128}), 16u << 11);
  // p 200: 31 - 24 = 7 by the table; with weight 255
  // (31 * 65536 - 31 * 255 * 200) >> 16 = 6.
  EXPECT_EQ(Rot16(0xF800, 0x0000, {.mode = 1, .param = 200}), 7u << 11);
  EXPECT_EQ(Rot16(0xF800, 0x0000, {.mode = 1, .param = 200, .blend = &w.image.img}), 6u << 11);
  // Mode 0 with weight 255: 31 * 255 >> 8 = 30.
  EXPECT_EQ(Rot16(0x0000, 0xF800, {.mode = 0, .blend = &w.image.img}), 30u << 11);
}

TEST_F(RotPixel16, AlphaSourceWithAndWithoutTheTransparentFlag) {
  // Red 31, green 63, alpha 255: 30 and 62 as a weighted move, copied with the flag.
  EXPECT_EQ(Rot16(0x0000, 0x00FFFFE0, {.transparent = 0}, 1), (30u << 11) | (62u << 5));
  EXPECT_EQ(Rot16(0x0000, 0x00FFFFE0, {.transparent = 1}, 1), 0xFFE0u);
  // Alpha 0 is skipped with the flag.
  EXPECT_EQ(Rot16(0x1234, 0x0000FFFF, {.transparent = 1}, 1), 0x1234u);
  // Mode 4: alpha 0 blackens with or without the flag.
  EXPECT_EQ(Rot16(0xFFFF, 0x0000FFFF, {.mode = 4, .transparent = 1}, 1), 0x0000u);
  EXPECT_EQ(Rot16(0xFFFF, 0x0000FFFF, {.mode = 4, .transparent = 0}, 1), 0x0000u);
}

TEST_F(RotPixel16, FieldProductsPackedAddAndSubtract) {
  // 31 * 31 >> 5 = 30, 63 * 63 >> 6 = 62.
  EXPECT_EQ(Rot16(0xFFFF, 0xFFFF, {.mode = 4}), (30u << 11) | (62u << 5) | 30u);
  // Green 1 + 1 = 1 (an OR); red 16 + 16 saturates at 31.
  EXPECT_EQ(Rot16(0x0020, 0x0020, {.mode = 2, .param = 255}), 0x0020u);
  EXPECT_EQ(Rot16(0x8000, 0x8000, {.mode = 2, .param = 255}), 0xF800u);
  // Subtracting white from white leaves red 1.
  EXPECT_EQ(Rot16(0xFFFF, 0xFFFF, {.mode = 3, .param = 255}), 0x0800u);
  // A palette source at p 0 subtracts nothing but still sets the guard bits.
  EXPECT_EQ(RotPalette(MemImgType16, 0x1234, 0xFFFF, {.mode = 3, .param = 0}), 0x1A14u);
  EXPECT_EQ(Rot16(0x1234, 0xFFFF, {.mode = 3, .param = 0}), 0x1234u);
}

TEST_F(RotPixel16, BrightnessComesBeforeAlphaAndGreenIsPerField) {
  // Green 63 under green brightness 128: prod(128, 63) = 31.
  EXPECT_EQ(Rot16(0x0000, 0x07E0, {.green = 128}), 31u << 5);
  // Mode 2, red 3, alpha 128, red brightness 200, p 255: prod(200, 3) = 2,
  // (2 * 128) >> 8 = 1, prod(255, 1) = 1, added to red 0.
  EXPECT_EQ(Rot16(0x0000, 0x00801800, {.mode = 2, .param = 255, .red = 200}, 1), 1u << 11);
  // Mode 11, source green 1 over green 9, alpha 255, p 200:
  // t = 9 >> 6 = 0; (9 * 65536 - 9 * 255 * 200) >> 16 = 1.
  EXPECT_EQ(Rot16(9u << 5, 0x00FF0020, {.mode = 11, .param = 200}, 1), 1u << 5);
}

TEST_F(RotPixel16, TransparentColourComparesTheLow16Bits) {
  EXPECT_EQ(Rot16(0x1111, 0x5678, {.transparent = 1}, 0, 0x12345678), 0x1111u);
  EXPECT_EQ(Rot16(0x1111, 0x5679, {.transparent = 1}, 0, 0x12345678), 0x5679u);
  // In a palette source the index meets the whole colour: 0x107 never
  // matches index 7.
  EXPECT_EQ(RotPalette(MemImgType16, 0x1111, 0x2222, {.transparent = 1}), 0x2222u);
}

}  // namespace
