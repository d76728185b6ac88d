// Textured triangles from palette images into 32-bit and 16-bit images, one
// texel over one pixel, worked out by hand.
#include "tri_test_util.h"

namespace {

using Tri2Palette = TriTest;

constexpr uint32_t P16(uint32_t r, uint32_t g, uint32_t b) { return r << 11 | g << 5 | b; }
constexpr uint32_t kWhite16 = P16(31, 63, 31);

// Index 7 of a palette source, its entry given.
OneTexel Pal32(uint32_t dest, uint32_t entry, int32_t mode = BlendNone, int32_t param = 255) {
  OneTexel t{.dest = dest, .texel = 7, .mode = mode, .param = param};
  t.palette = 1;
  t.entry = entry;
  return t;
}
OneTexel Pal16(uint32_t dest, uint32_t entry, int32_t mode = BlendNone, int32_t param = 255) {
  OneTexel t = Pal32(dest, entry, mode, param);
  t.type = MemImgType16;
  return t;
}
OneTexel Weighed(OneTexel t, int blendValue, int border) {
  t.blendValue = blendValue;
  t.border[0] = t.border[1] = border;
  return t;
}

TEST_F(Tri2Palette, AlphaModeShiftsIn32BitsAndUsesTheLerpTableIn16) {
  // 32 bits, p = 128: 100 + (100*128 >> 8) = 150; 255*128 >> 8 = 127;
  // p = 254: 255*254 >> 8 = 253. The top byte is kept.
  EXPECT_EQ(DrawOneTexel(Pal32(0x11000064, 0x000000C8, BlendAlpha, 128)), 0x11000096u);
  EXPECT_EQ(DrawOneTexel(Pal32(0x11000000, 0x000000FF, BlendAlpha, 128)), 0x1100007Fu);
  EXPECT_EQ(DrawOneTexel(Pal32(0x11000000, 0x000000FF, BlendAlpha, 254)), 0x110000FDu);
  // 16 bits, p = 128: red 31*128/255 = 15, green 63*128/255 = 31; p = 254:
  // 30 and 62.
  EXPECT_EQ(DrawOneTexel(Pal16(0, P16(31, 63, 0), BlendAlpha, 128)), P16(15, 31, 0));
  EXPECT_EQ(DrawOneTexel(Pal16(0, P16(31, 63, 0), BlendAlpha, 254)), P16(30, 62, 0));
  // 255 draws as mode 0, a 32-bit entry's top byte included; 0 draws nothing.
  EXPECT_EQ(DrawOneTexel(Pal32(0x11223344, 0xAABBCCDD, BlendAlpha, 255)), 0xAABBCCDDu);
  EXPECT_EQ(DrawOneTexel(Pal16(0x1234, 0xABCD, BlendAlpha, 255)), 0xABCDu);
  EXPECT_EQ(DrawOneTexel(Pal32(0x11223344, 0xAABBCCDD, BlendAlpha, 0)), 0x11223344u);
  EXPECT_EQ(DrawOneTexel(Pal16(0x1234, 0xABCD, BlendAlpha, 0)), 0x1234u);
}

TEST_F(Tri2Palette, CopyUnderABlendImage) {
  // Weight 255: 255*255 >> 8 = 254 and 31*255 >> 8 = 30; weight 0 keeps.
  EXPECT_EQ(DrawOneTexel(Weighed(Pal32(0x11000000, 0xFF0000FF), 0, 0)), 0x110000FEu);
  EXPECT_EQ(DrawOneTexel(Weighed(Pal16(0, P16(31, 0, 0)), 0, 0)), P16(30, 0, 0));
  EXPECT_EQ(DrawOneTexel(Weighed(Pal32(0x11223344, 0xFFFFFFFF), 0, 255)), 0x11223344u);
  EXPECT_EQ(DrawOneTexel(Weighed(Pal16(0x1234, 0xFFFF), 0, 255)), 0x1234u);
}

TEST_F(Tri2Palette, SubtractDrawsEvenAtParameterZero) {
  // Nothing is taken away, but green and red get their guard bits and the
  // top byte becomes 0.
  EXPECT_EQ(DrawOneTexel(Pal32(0x99123456, 0x00FFFFFF, BlendSubtract, 0)), 0x00133556u);
  EXPECT_EQ(DrawOneTexel(Pal16(0x1234, 0xFFFF, BlendSubtract, 0)), 0x1A14u);
  EXPECT_EQ(DrawOneTexel(Pal16(0xFFFF, 0xFFFF, BlendSubtract, 0)), 0xFFDFu);
  // The add at 0 draws nothing.
  EXPECT_EQ(DrawOneTexel(Pal32(0x99123456, 0x00FFFFFF, BlendAdd, 0)), 0x99123456u);
}

TEST_F(Tri2Palette, AddInBothDepths) {
  // Weight 0: 32-bit pixels keep their colours, the top byte becomes 0;
  // 16-bit pixels are unchanged.
  EXPECT_EQ(DrawOneTexel(Weighed(Pal32(0x99123456, 0x00FFFFFF, BlendAdd, 200), 0, 255)),
            0x00123456u);
  EXPECT_EQ(DrawOneTexel(Weighed(Pal16(0x1234, 0xFFFF, BlendAdd, 200), 0, 255)), 0x1234u);
  // Green 2 onto 62 saturates to 62, onto 63 to 63; both carry into red's
  // lowest bit: red 0 becomes 1, red 5 stays 5.
  EXPECT_EQ(DrawOneTexel(Pal16(P16(0, 62, 0), P16(0, 2, 0), BlendAdd)), P16(1, 62, 0));
  EXPECT_EQ(DrawOneTexel(Pal16(P16(5, 63, 0), P16(0, 2, 0), BlendAdd)), P16(5, 63, 0));
  // Full source, w = 128, p = 128 (border 128/255: weight = blend value):
  // 32 bits 255*128*128 >> 16 = 63; 16 bits p after the weight, red
  // prod(128, 31*128 >> 8 = 15) = 7, green prod(128, 31) = 15.
  OneTexel add32 = Pal32(0, 0x00FFFFFF, BlendAdd, 128);
  add32.blendValue = 128;
  add32.border[0] = 128;
  add32.border[1] = 255;
  EXPECT_EQ(DrawOneTexel(add32), 0x003F3F3Fu);
  OneTexel add16 = add32;
  add16.type = MemImgType16;
  add16.entry = kWhite16;
  EXPECT_EQ(DrawOneTexel(add16), P16(7, 15, 7));
}

TEST_F(Tri2Palette, MultiplyInvertedAndMultiplyBlend) {
  // Weight 0 multiplies to black, the top byte kept.
  EXPECT_EQ(DrawOneTexel(Weighed(Pal32(0x5AFFFFFF, 0x00FFFFFF, BlendMultiply), 0, 255)),
            0x5A000000u);
  EXPECT_EQ(DrawOneTexel(Weighed(Pal16(0xFFFF, 0xFFFF, BlendMultiply), 0, 255)), 0u);
  // The multiply ignores p = 0; the other two leave every pixel at p = 0.
  EXPECT_EQ(DrawOneTexel(Pal32(0x00FFFFFF, 0x00808080, BlendMultiply, 0)), 0x007F7F7Fu);
  EXPECT_EQ(DrawOneTexel(Pal16(0xFFFF, P16(16, 32, 16), BlendMultiply, 0)), P16(15, 31, 15));
  for (int32_t mode : {BlendInvertedSource, BlendMultiplyAlpha}) {
    EXPECT_EQ(DrawOneTexel(Pal32(0x12345678, 0x00FF00FF, mode, 0)), 0x12345678u);
    EXPECT_EQ(DrawOneTexel(Pal16(0x1234, 0xF81F, mode, 0)), 0x1234u);
  }
  // Inverted entry, then the brightness: green 63 - 0 = 63 under green
  // brightness 128 is 31; the move at 255 reaches it (lerp by 255).
  OneTexel inverted = Pal16(0, 0, BlendInvertedSource);
  inverted.bright[1] = 128;
  EXPECT_EQ(DrawOneTexel(inverted), P16(31, 31, 31));
}

TEST_F(Tri2Palette, BrightnessJustBelowWhiteKeepsTheTopByte) {
  OneTexel t = Pal32(0x11000000, 0x77FFFFFF);
  t.bright[2] = 254;
  EXPECT_EQ(DrawOneTexel(t), 0x11FFFFFEu);
}

TEST_F(Tri2Palette, TransparentIndex) {
  OneTexel t = Pal32(0x11111111, 0x00ABCDEF);
  t.transparentFlag = 1;
  t.transparent = 7;
  EXPECT_EQ(DrawOneTexel(t), 0x11111111u);
  // Above 255 nothing matches an index; without the flag index 7 is drawn.
  t.transparent = 0x107;
  EXPECT_EQ(DrawOneTexel(t), 0x00ABCDEFu);
  t.transparent = 7;
  t.transparentFlag = 0;
  EXPECT_EQ(DrawOneTexel(t), 0x00ABCDEFu);
}

TEST_F(Tri2Palette, ThePaletteIsReadInPlace) {
  ResetTriDrawState(4, 4);
  TriImage src(1, 1, MemImgType16, 0, 1), dst(4, 4, MemImgType16);
  auto* palette = static_cast<uint16_t*>(src.img.base->palette);
  ASSERT_NE(palette, nullptr);
  src.At8(0, 0) = 3;
  const TriangleVertex v[3] = {TriV(0, 0, 0, 0), TriV(4, 0, 4, 0), TriV(0, 4, 0, 4)};
  palette[3] = 0x1111;
  DrawTriangleMemImg(&dst.img, &src.img, v, 0, nullptr, 0);
  EXPECT_EQ(dst.At16(0, 0), 0x1111u);
  // A changed entry shows in the next draw, under a subtract at 255 too.
  palette[3] = 0x0841;
  DrawTriangleMemImg(&dst.img, &src.img, v, 0, nullptr, 0);
  EXPECT_EQ(dst.At16(0, 0), 0x0841u);
  SetTriMode(BlendSubtract, 255);
  dst.Fill(0xFFFF);
  DrawTriangleMemImg(&dst.img, &src.img, v, 0, nullptr, 0);
  // (1, 2, 1) from white: blue 30, green 2*(31 - 1) = 60, red 2*15 + 1.
  EXPECT_EQ(dst.At16(0, 0), P16(31, 60, 30));

  // A palette source without its palette draws nothing.
  src.img.base->palette = nullptr;
  dst.Fill(0x5555);
  DrawTriangleMemImg(&dst.img, &src.img, v, 0, nullptr, 0);
  src.img.base->palette = palette;
  EXPECT_EQ(dst.At16(0, 0), 0x5555u);
}

}  // namespace
