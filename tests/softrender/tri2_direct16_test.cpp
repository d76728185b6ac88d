// Textured triangles from 16-bit direct-colour sources in modes 0 to 3, one
// texel over one pixel, worked out by hand from the field rules.
#include "tri_test_util.h"

namespace {

using Tri2Direct16 = TriTest;

constexpr uint32_t P16(uint32_t r, uint32_t g, uint32_t b) { return r << 11 | g << 5 | b; }
constexpr uint32_t kWhite = P16(31, 63, 31);

// A 16-bit texel; with alpha the word goes in bytes 0-1 and alpha in byte 2.
OneTexel T16(uint32_t dest, uint32_t word, int32_t mode = BlendNone, int32_t param = 255) {
  OneTexel t{.dest = dest, .texel = word, .mode = mode, .param = param};
  t.type = MemImgType16;
  return t;
}
OneTexel A16(uint32_t dest, uint32_t word, uint32_t alpha, int32_t mode = BlendNone,
             int32_t param = 255) {
  OneTexel t = T16(dest, word | alpha << 16, mode, param);
  t.alphaFlag = 1;
  return t;
}

TEST_F(Tri2Direct16, CopyWithSourceAlpha) {
  // Without T alpha 255 is still a weight: 31*255 >> 8 = 30, 63*255 >> 8 = 62.
  EXPECT_EQ(DrawOneTexel(A16(0, kWhite, 255)), P16(30, 62, 30));
  OneTexel copied = A16(0, kWhite, 255);
  copied.transparentFlag = 1;
  EXPECT_EQ(DrawOneTexel(copied), kWhite);
}

TEST_F(Tri2Direct16, AlphaZeroAndWeightZero) {
  const uint32_t dest = P16(2, 17, 20);  // 0x1234
  for (int32_t mode : {BlendNone, BlendAlpha, BlendAdd, BlendSubtract}) {
    // Under T alpha 0 is skipped.
    OneTexel skipped = A16(dest, kWhite, 0, mode, 100);
    skipped.transparentFlag = 1;
    EXPECT_EQ(DrawOneTexel(skipped), dest) << mode;
    // Without T it weighs 0: the colour stays, except that the subtract of
    // nothing clears green's lowest bit and sets red's (green did not borrow).
    const uint32_t weighed = mode == BlendSubtract ? P16(3, 16, 20) : dest;
    EXPECT_EQ(DrawOneTexel(A16(dest, kWhite, 0, mode, 100)), weighed) << mode;
    // A blend-image weight of 0 does the same, with or without T.
    for (int32_t flag : {0, 1}) {
      OneTexel blended = T16(dest, kWhite, mode, 100);
      blended.transparentFlag = flag;
      blended.blendValue = 0;
      blended.border[0] = blended.border[1] = 255;
      EXPECT_EQ(DrawOneTexel(blended), weighed) << mode << " T " << flag;
    }
  }
}

TEST_F(Tri2Direct16, TransparentColourComparesAll32Bits) {
  OneTexel t = T16(0x1111, 0xABCD);
  t.transparentFlag = 1;
  t.transparent = 0xABCD;
  EXPECT_EQ(DrawOneTexel(t), 0x1111u);
  // Bit 16 set: the word matches only the low half, so it is drawn, in the
  // plain copy and under a blend alike.
  t.transparent = 0x1ABCD;
  EXPECT_EQ(DrawOneTexel(t), 0xABCDu);
  t.mode = BlendAlpha;
  t.param = 128;
  EXPECT_NE(DrawOneTexel(t), 0x1111u);
  // With source alpha the colour is never compared.
  OneTexel withAlpha = A16(0, 0xABCD, 255);
  withAlpha.transparentFlag = 1;
  withAlpha.transparent = 0xFFABCD;
  EXPECT_EQ(DrawOneTexel(withAlpha), 0xABCDu);
}

TEST_F(Tri2Direct16, AlphaModeGoesThroughTheLerpTable) {
  // p = 128: 31*128/255 = 15 up from 0; 31 - 15 = 16 down from 31.
  EXPECT_EQ(DrawOneTexel(T16(0, P16(31, 0, 0), BlendAlpha, 128)), P16(15, 0, 0));
  EXPECT_EQ(DrawOneTexel(T16(P16(31, 0, 0), 0, BlendAlpha, 128)), P16(16, 0, 0));
  // 255 draws as mode 0; 0 draws nothing.
  EXPECT_EQ(DrawOneTexel(T16(0x1234, 0xABCD, BlendAlpha, 255)), 0xABCDu);
  EXPECT_EQ(DrawOneTexel(T16(0x1234, 0xABCD, BlendAlpha, 0)), 0x1234u);
  // Blend image and alpha, w = a = 255, p = 254: 31*255*255*254 >> 24 = 30.
  OneTexel both = A16(0, P16(31, 0, 0), 255, BlendAlpha, 254);
  both.blendValue = 0;
  EXPECT_EQ(DrawOneTexel(both), P16(30, 0, 0));
}

TEST_F(Tri2Direct16, AddAndSubtractAtFullParameter) {
  // Blue 31 + 1 stays 31 and sets green's lowest bit; red 16 + 16 = 31;
  // green 1 + 1 = 1.
  EXPECT_EQ(DrawOneTexel(T16(P16(16, 0, 31), P16(16, 0, 1), BlendAdd)), P16(31, 1, 31));
  EXPECT_EQ(DrawOneTexel(T16(P16(0, 1, 0), P16(0, 1, 0), BlendAdd)), P16(0, 1, 0));
  // Black from (2, 17, 20) gives (3, 16, 20); white from white leaves red 1;
  // black from white leaves green 62.
  EXPECT_EQ(DrawOneTexel(T16(P16(2, 17, 20), 0, BlendSubtract)), P16(3, 16, 20));
  EXPECT_EQ(DrawOneTexel(T16(kWhite, kWhite, BlendSubtract)), P16(1, 0, 0));
  EXPECT_EQ(DrawOneTexel(T16(kWhite, 0, BlendSubtract)), 0xFFDFu);
  // Parameter 0 draws nothing.
  EXPECT_EQ(DrawOneTexel(T16(0x1234, kWhite, BlendAdd, 0)), 0x1234u);
  EXPECT_EQ(DrawOneTexel(T16(0x1234, kWhite, BlendSubtract, 0)), 0x1234u);
}

TEST_F(Tri2Direct16, AddAndSubtractWeighAlphaBeforeBrightness) {
  // Red and blue 3, alpha 128, their brightness 200, p 255: 3*128 >> 8 = 1,
  // then 200*1/255 = 0. Brightness first would give 200*3/255 = 2, then
  // 2*128 >> 8 = 1: red 1 and blue 1 added, blue 5 - 1 = 4 subtracted.
  OneTexel t = A16(0, P16(3, 0, 3), 128, BlendAdd);
  t.bright[0] = t.bright[2] = 200;
  EXPECT_EQ(DrawOneTexel(t), 0u);
  t.mode = BlendSubtract;
  t.dest = P16(5, 0, 5);
  EXPECT_EQ(DrawOneTexel(t), P16(5, 0, 5));
}

TEST_F(Tri2Direct16, BrightnessScalesFieldsInTheirOwnUnits) {
  // (255, 255, 254) is not white: blue 31 becomes 30.
  OneTexel t = T16(0, kWhite);
  t.bright[2] = 254;
  EXPECT_EQ(DrawOneTexel(t), P16(31, 63, 30));
  // Green 63 under green brightness 128 becomes 31.
  OneTexel green = T16(0, kWhite);
  green.bright[1] = 128;
  EXPECT_EQ(DrawOneTexel(green), P16(31, 31, 31));
}

}  // namespace
