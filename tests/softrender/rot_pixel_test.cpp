// What one pixel drawn by the rotated blit becomes where it differs from the
// blits or the issue asks for a hand-worked case: the gate, transparency,
// source alpha with and without the transparent flag, the multiply of alpha
// 0, and the 16-bit rules without the blits' orderings. A 1 x 1 source drawn
// at angle 0, scale 1 lands on the centre pixel (1, 1).
#include "softrender/rotate_blit.h"
#include "tri_test_util.h"

namespace {

using RotPixel32 = TriTest;
using RotPixel16 = TriTest;
using RotGate = TriTest;

// A 16-bit source with alpha holds the colour word and the alpha byte.
uint32_t RotPixel(int32_t type, uint32_t dest, uint32_t source, const PixelCase& d, int alpha,
                  uint32_t key) {
  d.Set(3, 3);
  TriImage src(1, 1, type, alpha, 0, key);
  src.SetPixel(0, 0, source);
  TriImage dst(3, 3, type);
  dst.Fill(dest);
  RotateBlitMemImg(&dst.img, &src.img, 1, 1, 0.0f, 1.0f, d.transparent, 0, nullptr);
  return dst.Pixel(1, 1);
}
uint32_t Rot32(uint32_t dest, uint32_t source, const PixelCase& d, int alpha = 0, uint32_t key = 0) {
  return RotPixel(MemImgType32, dest, source, d, alpha, key);
}
uint32_t Rot16(uint32_t dest, uint32_t source, const PixelCase& d, int alpha = 0, uint32_t key = 0) {
  return RotPixel(MemImgType16, dest, source, d, alpha, key);
}

uint32_t RotPalette(int type, uint32_t dest, uint32_t entry, const PixelCase& d) {
  d.Set(3, 3);
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
  return dst.Pixel(1, 1);
}

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

TEST_F(RotPixel32, PaletteSubtractAtParameterZeroStillRuns) {
  // x = 0: blue 0x10 stays, green and red gain their lowest bit, the top
  // byte clears; a direct source draws nothing.
  EXPECT_EQ(RotPalette(MemImgType32, 0x80402010, 0x00FFFFFF, {.mode = 3, .param = 0}), 0x00412110u);
  EXPECT_EQ(Rot32(0x80402010, 0x00FFFFFF, {.mode = 3, .param = 0}), 0x80402010u);
  EXPECT_EQ(RotPalette(MemImgType16, 0x1234, 0xFFFF, {.mode = 3, .param = 0}), 0x1A14u);
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
