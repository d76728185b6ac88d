// Textured triangles from direct-colour sources in the multiply (4),
// inverted-source (10) and multiply-blend (11) modes, both depths, one texel
// over one pixel, worked out by hand.
#include "tri_test_util.h"

namespace {

using Tri2Multiply = TriTest;

constexpr uint32_t P16(uint32_t r, uint32_t g, uint32_t b) { return r << 11 | g << 5 | b; }

OneTexel T32(uint32_t dest, uint32_t texel, int32_t mode, int32_t param = 255) {
  return OneTexel{.dest = dest, .texel = texel, .mode = mode, .param = param};
}
OneTexel T16(uint32_t dest, uint32_t word, int32_t mode, int32_t param = 255) {
  OneTexel t = T32(dest, word, mode, param);
  t.type = MemImgType16;
  return t;
}
OneTexel Alpha(OneTexel t, uint32_t alpha, int32_t transparentFlag) {
  t.alphaFlag = 1;
  t.transparentFlag = transparentFlag;
  t.texel = t.type == MemImgType32 ? (t.texel & 0xFFFFFFu) | alpha << 24 : t.texel | alpha << 16;
  return t;
}

TEST_F(Tri2Multiply, MultiplyByTheWeightsInForce) {
  // 255*255 >> 8 = 254; with alpha 255 as a weight 255^3 >> 16 = 253; under
  // T alpha 255 drops out again. The top byte stays.
  EXPECT_EQ(DrawOneTexel(T32(0x12FFFFFF, 0x00FFFFFF, BlendMultiply)), 0x12FEFEFEu);
  EXPECT_EQ(DrawOneTexel(Alpha(T32(0x12FFFFFF, 0xFFFFFF, BlendMultiply), 255, 0)), 0x12FDFDFDu);
  EXPECT_EQ(DrawOneTexel(Alpha(T32(0x12FFFFFF, 0xFFFFFF, BlendMultiply), 255, 1)), 0x12FEFEFEu);
  // 16 bits: red and blue 31*31 >> 5 = 30, green 63*63 >> 6 = 62.
  EXPECT_EQ(DrawOneTexel(T16(0xFFFF, 0xFFFF, BlendMultiply)), P16(30, 62, 30));
  // The parameter plays no part.
  EXPECT_EQ(DrawOneTexel(T32(0x00C0C0C0, 0x00804020, BlendMultiply, 0)),
            DrawOneTexel(T32(0x00C0C0C0, 0x00804020, BlendMultiply, 255)));
}

TEST_F(Tri2Multiply, AlphaZeroIsAWeightEvenUnderTheTransparentFlag) {
  for (int32_t flag : {0, 1}) {
    // Multiply: black, in both depths.
    EXPECT_EQ(DrawOneTexel(Alpha(T32(0x12FFFFFF, 0xFFFFFF, BlendMultiply), 0, flag)), 0x12000000u);
    EXPECT_EQ(DrawOneTexel(Alpha(T16(0xFFFF, 0xFFFF, BlendMultiply), 0, flag)), 0u);
    // Inverted source and multiply blend: the pixel keeps its value.
    for (int32_t mode : {BlendInvertedSource, BlendMultiplyAlpha}) {
      EXPECT_EQ(DrawOneTexel(Alpha(T32(0x12345678, 0x000000, mode, 200), 0, flag)), 0x12345678u);
      EXPECT_EQ(DrawOneTexel(Alpha(T16(0x1234, 0, mode, 200), 0, flag)), 0x1234u);
    }
  }
}

TEST_F(Tri2Multiply, InvertedSourceAndMultiplyBlendByTheParameter) {
  // Parameter 0: nothing moves.
  for (int32_t mode : {BlendInvertedSource, BlendMultiplyAlpha}) {
    EXPECT_EQ(DrawOneTexel(T32(0x12345678, 0x00FF00FF, mode, 0)), 0x12345678u);
    EXPECT_EQ(DrawOneTexel(T16(0x1234, 0xF81F, mode, 0)), 0x1234u);
  }
  // Black onto black at 255: 32 bits floor(255*255/256) = 254; 16 bits the
  // lerp table divides by 255 and reaches the maximum.
  EXPECT_EQ(DrawOneTexel(T32(0x77000000, 0, BlendInvertedSource)), 0x77FEFEFEu);
  EXPECT_EQ(DrawOneTexel(T16(0, 0, BlendInvertedSource)), 0xFFFFu);
  // Multiply blend, source 0 over 255 at parameter 1: floor(-255/256) = -1.
  EXPECT_EQ(DrawOneTexel(T32(0x000000FF, 0, BlendMultiplyAlpha, 1)), 0x000000FEu);
}

TEST_F(Tri2Multiply, InvertedSourceTakesTheBrightnessAfterInverting) {
  // Red brightness 0: red's source value is 0 whatever the texel, so red
  // moves toward 0: 200 + floor(-200*128/256) = 100. Green (texel 0, so 255)
  // moves from 0 to 127; blue (texel 255, so 0) stays 0.
  OneTexel t = T32(0x00C80000, 0x000000FF, BlendInvertedSource, 128);
  t.bright[0] = 0;
  EXPECT_EQ(DrawOneTexel(t), 0x00647F00u);
}

TEST_F(Tri2Multiply, SixteenBitMultiplyBlendKeepsGreenInPlaceWithAlphaOnly) {
  // Source green 1 over green 9, alpha 255, p 200: in place
  // 9 + floor((4 - 288)*255*200 / 2^21) = 2, where the field rule gives
  // 9 + floor(-9*255*200 / 65536) = 1.
  const OneTexel t = Alpha(T16(P16(0, 9, 0), P16(0, 1, 0), BlendMultiplyAlpha, 200), 255, 0);
  EXPECT_EQ(DrawOneTexel(t), P16(0, 2, 0));
  // A brightness, even one that leaves green alone, takes the field rule.
  OneTexel bright = t;
  bright.bright[2] = 254;
  EXPECT_EQ(DrawOneTexel(bright), P16(0, 1, 0));
}

TEST_F(Tri2Multiply, TransparentColourAndTopByte) {
  // Colour bytes equal to the key but another top byte: drawn, 128*255 >> 8
  // = 127.
  OneTexel t = T32(0xAAFFFFFF, 0x00808080, BlendMultiply);
  t.transparentFlag = 1;
  t.transparent = 0x01808080;
  EXPECT_EQ(DrawOneTexel(t), 0xAA7F7F7Fu);
  t.transparent = 0x00808080;
  EXPECT_EQ(DrawOneTexel(t), 0xAAFFFFFFu);
  // 16 bits: the word widened with zeros is the key, so a transparent colour
  // of 0x10000 or more matches none. (16, 32, 16) times white: 15, 31, 15.
  OneTexel word = T16(0xFFFF, P16(16, 32, 16), BlendMultiply);
  word.transparentFlag = 1;
  word.transparent = P16(16, 32, 16);
  EXPECT_EQ(DrawOneTexel(word), 0xFFFFu);
  word.transparent |= 0x10000;
  EXPECT_EQ(DrawOneTexel(word), P16(15, 31, 15));
  // With source alpha the key is never compared.
  OneTexel alpha = Alpha(T32(0x00FFFFFF, 0x808080, BlendMultiply), 255, 1);
  alpha.transparent = 0xFF808080;
  EXPECT_EQ(DrawOneTexel(alpha), 0x007F7F7Fu);
}

TEST_F(Tri2Multiply, ZeroBorderWeight) {
  // Border (255, 255) gives blend value 0 the weight 0: the multiply writes
  // 0 (top byte kept), the other two leave the pixel.
  auto weighed = [](OneTexel t) {
    t.blendValue = 0;
    t.border[0] = t.border[1] = 255;
    return DrawOneTexel(t);
  };
  EXPECT_EQ(weighed(T32(0x5AFFFFFF, 0xFFFFFF, BlendMultiply)), 0x5A000000u);
  EXPECT_EQ(weighed(T16(0xFFFF, 0xFFFF, BlendMultiply)), 0u);
  for (int32_t mode : {BlendInvertedSource, BlendMultiplyAlpha}) {
    EXPECT_EQ(weighed(T32(0x5A123456, 0x000000, mode, 255)), 0x5A123456u);
    EXPECT_EQ(weighed(T16(0x1234, 0, mode, 255)), 0x1234u);
  }
}

}  // namespace
