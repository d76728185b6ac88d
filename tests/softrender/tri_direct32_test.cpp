// Textured triangles from 32-bit direct-colour sources: the texture mapping
// (sampling, magnification, the quad's shared diagonal, the left clip) and
// each mode's pixel with its modifiers, worked out by hand.
#include <random>

#include "tri_test_util.h"

namespace {

using TriTexture = TriTest;
using TriDirect32 = TriTest;

// The two triangles of a graphic drawn onto a quadrilateral: TL, TR, BL then
// TR, BL, BR, with the source's corners as texture coordinates.
void DrawQuad(MEMIMG* dst, MEMIMG* src, TriangleVertex tl, TriangleVertex tr, TriangleVertex bl,
              TriangleVertex br, MEMIMG* blend = nullptr, int32_t transparentFlag = 0) {
  const TriangleVertex first[3] = {tl, tr, bl};
  const TriangleVertex second[3] = {tr, bl, br};
  DrawTriangleMemImg(dst, src, first, transparentFlag, blend, 0);
  DrawTriangleMemImg(dst, src, second, transparentFlag, blend, 0);
}

constexpr uint32_t kUntouched = 0x5A5A5A5A;

TEST_F(TriTexture, SameSizeQuadCopiesTheSourceAndNothingElse) {
  ResetTriDrawState(10, 10);
  TriImage src(8, 8, MemImgType32), dst(10, 10, MemImgType32);
  for (int y = 0; y < 8; y++) {
    for (int x = 0; x < 8; x++) src.At32(x, y) = 0x01000000u * (y + 1) + 0x10u * x + y;
  }
  dst.Fill(kUntouched);
  DrawQuad(&dst.img, &src.img, TriV(0, 0, 0, 0), TriV(8, 0, 8, 0), TriV(0, 8, 0, 8),
           TriV(8, 8, 8, 8));
  // Column 8 lies inside the spans but u there equals the source width.
  for (int y = 0; y < 10; y++) {
    for (int x = 0; x < 10; x++) {
      const uint32_t expected = x < 8 && y < 8 ? src.At32(x, y) : kUntouched;
      EXPECT_EQ(dst.At32(x, y), expected) << x << "," << y;
    }
  }
}

TEST_F(TriTexture, MagnificationSamplesFromTheTruncatedGradient) {
  // 2 x 2 source onto a 3 x 3 quad: du/dx = 2/3 truncates to 174762 units,
  // so columns 0..3 read source columns 0, 0, 1, 1 (x = 3 gives 524286,
  // just inside); rows 0..2 read 0, 0, 1; row 3 is the bottom vertices' row.
  ResetTriDrawState(6, 6);
  TriImage src(2, 2, MemImgType32), dst(6, 6, MemImgType32);
  src.At32(0, 0) = 0xA0;
  src.At32(1, 0) = 0xA1;
  src.At32(0, 1) = 0xB0;
  src.At32(1, 1) = 0xB1;
  dst.Fill(kUntouched);
  DrawQuad(&dst.img, &src.img, TriV(0, 0, 0, 0), TriV(3, 0, 2, 0), TriV(0, 3, 0, 2),
           TriV(3, 3, 2, 2));
  const uint32_t U = kUntouched;
  const uint32_t expected[6][6] = {
      {0xA0, 0xA0, 0xA1, 0xA1, U, U}, {0xA0, 0xA0, 0xA1, 0xA1, U, U},
      {0xB0, 0xB0, 0xB1, 0xB1, U, U}, {U, U, U, U, U, U},
      {U, U, U, U, U, U},             {U, U, U, U, U, U},
  };
  for (int y = 0; y < 6; y++) {
    for (int x = 0; x < 6; x++) EXPECT_EQ(dst.At32(x, y), expected[y][x]) << x << "," << y;
  }
}

TEST_F(TriTexture, ClippedSpansStartWithTheirOwnCoordinates) {
  ResetTriDrawState(12, 12);
  TriImage src(8, 8, MemImgType32), full(12, 12, MemImgType32), clipped(12, 12, MemImgType32);
  std::mt19937 rng(7);
  for (int y = 0; y < 8; y++) {
    for (int x = 0; x < 8; x++) src.At32(x, y) = rng();
  }
  const TriangleVertex v[3] = {TriV(-2, 1, 0, 0), TriV(11, 3, 7, 1), TriV(1, 11, 2, 7)};
  full.Fill(kUntouched);
  clipped.Fill(kUntouched);
  DrawTriangleMemImg(&full.img, &src.img, v, 0, nullptr, 0);
  g_drawSettings.drawArea = {3, 2, 9, 12};
  DrawTriangleMemImg(&clipped.img, &src.img, v, 0, nullptr, 0);
  int drawn = 0;
  for (int y = 0; y < 12; y++) {
    for (int x = 0; x < 12; x++) {
      const bool inside = x >= 3 && x < 9 && y >= 2;
      EXPECT_EQ(clipped.At32(x, y), inside ? full.At32(x, y) : kUntouched) << x << "," << y;
      drawn += inside && clipped.At32(x, y) != kUntouched;
    }
  }
  EXPECT_GT(drawn, 20);
}

TEST_F(TriTexture, BlendImageIsReadAtTheTexelsPosition) {
  // Source 2 x 2 white, magnified 2x by one triangle; border weights equal
  // the blend value (parameter 128, range 255). Mode 0 with B: 255 * w >> 8.
  ResetTriDrawState(8, 8);
  SetMemImgBorderTable(128, 255);
  TriImage src(2, 2, MemImgType32), dst(8, 8, MemImgType32), blend(2, 2, MemImgTypeBlend8);
  src.Fill(0x00FFFFFF);
  blend.At8(0, 0) = 0;
  blend.At8(1, 0) = 64;
  blend.At8(0, 1) = 128;
  blend.At8(1, 1) = 255;
  const TriangleVertex v[3] = {TriV(0, 0, 0, 0), TriV(8, 0, 4, 0), TriV(0, 8, 0, 4)};
  DrawTriangleMemImg(&dst.img, &src.img, v, 0, &blend.img, 0);
  const uint32_t byWeight[4] = {0, 0x3F3F3F, 0x7F7F7F, 0xFEFEFE};
  for (int y = 0; y < 4; y++) {
    for (int x = 0; x < 4; x++) {
      EXPECT_EQ(dst.At32(x, y), byWeight[(y / 2) * 2 + x / 2]) << x << "," << y;
    }
  }
  // A blend image that does not cover the source is refused.
  TriImage small(2, 1, MemImgTypeBlend8);
  dst.Fill(kUntouched);
  DrawTriangleMemImg(&dst.img, &src.img, v, 0, &small.img, 0);
  EXPECT_EQ(dst.At32(0, 0), kUntouched);
}

TEST_F(TriDirect32, CopyWithSourceAlphaAndTheTransparentFlag) {
  // A without T: alpha 255 is still a factor, 255*255 >> 8 = 254, top kept.
  EXPECT_EQ(DrawOneTexel({.dest = 0x12000000, .texel = 0xFFFFFFFF, .alphaFlag = 1}), 0x12FEFEFEu);
  // With T alpha 255 drops the factor: the whole texel is copied.
  EXPECT_EQ(DrawOneTexel({.dest = 0x12000000, .texel = 0xFFFFFFFF, .alphaFlag = 1, .transparentFlag = 1}),
            0xFFFFFFFFu);
  // Alpha 128, T: (0 + 255*128) >> 8 = 127.
  EXPECT_EQ(DrawOneTexel({.dest = 0x12000000, .texel = 0x80FFFFFF, .alphaFlag = 1, .transparentFlag = 1}),
            0x127F7F7Fu);
}

TEST_F(TriDirect32, AlphaZeroIsSkippedOnlyUnderTheTransparentFlag) {
  const uint32_t dest = 0x5A102030, texel = 0x00808080;
  for (int32_t mode : {BlendNone, BlendAlpha, BlendAdd, BlendSubtract}) {
    EXPECT_EQ(DrawOneTexel({.dest = dest, .texel = texel, .mode = mode, .param = 100, .alphaFlag = 1,
                    .transparentFlag = 1}),
              dest)
        << mode;
  }
  // Without T the factor is 0: the colour stays; the add and the subtract
  // still rewrite the whole pixel.
  EXPECT_EQ(DrawOneTexel({.dest = dest, .texel = texel, .mode = BlendNone, .alphaFlag = 1}), dest);
  EXPECT_EQ(DrawOneTexel({.dest = dest, .texel = texel, .mode = BlendAlpha, .param = 100, .alphaFlag = 1}),
            dest);
  EXPECT_EQ(DrawOneTexel({.dest = dest, .texel = texel, .mode = BlendAdd, .param = 100, .alphaFlag = 1}),
            0x00102030u);
  EXPECT_EQ(DrawOneTexel({.dest = dest, .texel = texel, .mode = BlendSubtract, .param = 100, .alphaFlag = 1}),
            0x00112130u);
}

TEST_F(TriDirect32, AlphaModeAndItsParameterCases) {
  EXPECT_EQ(DrawOneTexel({.dest = 0x33000064, .texel = 0x000000C8, .mode = BlendAlpha, .param = 128}),
            0x33000096u);  // 100 + (100*128 >> 8) = 150
  // 255 draws as mode 0, whole texel included; 0 draws nothing.
  EXPECT_EQ(DrawOneTexel({.dest = 0x33000064, .texel = 0x770000C8, .mode = BlendAlpha, .param = 255}),
            0x770000C8u);
  EXPECT_EQ(DrawOneTexel({.dest = 0x33000064, .texel = 0x770000C8, .mode = BlendAlpha, .param = 0}),
            0x33000064u);
  // Blend image and alpha, w = a = 255: at p = 254, 255^3 * 254 >> 24 = 251;
  // at p = 255 the mode-0 block runs, 255^3 >> 16 = 253.
  EXPECT_EQ(DrawOneTexel({.dest = 0, .texel = 0xFF0000FF, .mode = BlendAlpha, .param = 254, .alphaFlag = 1,
                  .blendValue = 255}),
            0x000000FBu);
  EXPECT_EQ(DrawOneTexel({.dest = 0, .texel = 0xFF0000FF, .mode = BlendAlpha, .param = 255, .alphaFlag = 1,
                  .blendValue = 255}),
            0x000000FDu);
}

TEST_F(TriDirect32, AddAndSubtractAtFullParameter) {
  // Blue 255 + 1 saturates and sets green's lowest bit; red 200 + 100
  // saturates and carries into the top byte.
  EXPECT_EQ(DrawOneTexel({.dest = 0x00640001, .texel = 0x00C800FF, .mode = BlendAdd}), 0x01FF01FFu);
  // Black subtracted: green and red take their lowest bit from the guards.
  EXPECT_EQ(DrawOneTexel({.dest = 0xAB123456, .texel = 0x00000000, .mode = BlendSubtract}), 0x00133556u);
  EXPECT_EQ(DrawOneTexel({.dest = 0xAB123456, .texel = 0xFFFFFFFF, .mode = BlendAdd, .param = 0}),
            0xAB123456u);
  EXPECT_EQ(DrawOneTexel({.dest = 0xAB123456, .texel = 0xFFFFFFFF, .mode = BlendSubtract, .param = 0}),
            0xAB123456u);
}

TEST_F(TriDirect32, ZeroBorderWeightInAddAndSubtract) {
  // Border (255, 255) gives weight 0 to blend value 0: the add keeps the
  // colour and clears the top byte, the subtract takes away black.
  const OneTexel add{.dest = 0xAB123456, .texel = 0x00FFFFFF, .mode = BlendAdd, .param = 200,
                  .blendValue = 0, .border = {255, 255}};
  OneTexel sub = add;
  sub.mode = BlendSubtract;
  EXPECT_EQ(DrawOneTexel(add), 0x00123456u);
  EXPECT_EQ(DrawOneTexel(sub), 0x00133556u);
}

TEST_F(TriDirect32, TransparentColourComparesTheWholeTexel) {
  const OneTexel base{.dest = 0x11111111, .texel = 0x00FF00FF, .transparentFlag = 1,
                   .transparent = 0x00FF00FF};
  EXPECT_EQ(DrawOneTexel(base), 0x11111111u);
  OneTexel topDiffers = base;
  topDiffers.texel = 0x01FF00FF;
  EXPECT_EQ(DrawOneTexel(topDiffers), 0x01FF00FFu);
  OneTexel flagOff = base;
  flagOff.transparentFlag = 0;
  EXPECT_EQ(DrawOneTexel(flagOff), 0x00FF00FFu);
  // With source alpha the colour is never compared: alpha 0x80 weighs it.
  OneTexel withAlpha = base;
  withAlpha.alphaFlag = 1;
  withAlpha.texel = withAlpha.transparent = 0x80FF00FF;
  EXPECT_EQ(DrawOneTexel(withAlpha), 0x11880888u);  // (17*256 + 238*128) >> 8 = 136; (17*256 - 17*128) >> 8 = 8
}

TEST_F(TriDirect32, BrightnessJustBelowWhiteModulates) {
  // Blue brightness 254: the copy becomes a three-byte write, top byte kept.
  EXPECT_EQ(DrawOneTexel({.dest = 0x11000000, .texel = 0x77FFFFFF, .bright = {255, 255, 254}}),
            0x11FFFFFEu);
  // Each channel by its own byte: red 200 under red brightness 128 -> 100.
  EXPECT_EQ(DrawOneTexel({.dest = 0, .texel = 0x00C8C8C8, .bright = {128, 255, 0}}), 0x0064C800u);
}

TEST_F(TriDirect32, RefusedImagesAndModesDrawNothing) {
  EXPECT_EQ(DrawOneTexel({.dest = 0x12345678, .texel = 0xFFFFFFFF, .mode = 7}), 0x12345678u);
  EXPECT_EQ(DrawOneTexel({.dest = 0x12345678, .texel = 0xFFFFFFFF, .mode = 12}), 0x12345678u);

  ResetTriDrawState(4, 4);
  const TriangleVertex v[3] = {TriV(0, 0, 0, 0), TriV(4, 0, 4, 0), TriV(0, 4, 0, 4)};
  TriImage src32(4, 4, MemImgType32), src16(4, 4, MemImgType16), src8(4, 4, MemImgTypeBlend8);
  src32.Fill(0xFFFFFFFF);
  src16.Fill(0xFFFF);
  src8.Fill(0xFF);
  TriImage dst32(4, 4, MemImgType32), dstAlpha(4, 4, MemImgType32, 1),
      dstPalette(4, 4, MemImgType32, 0, 1), dst8(4, 4, MemImgTypeBlend8);
  DrawTriangleMemImg(&dst32.img, &src16.img, v, 0, nullptr, 0);
  DrawTriangleMemImg(&dstAlpha.img, &src32.img, v, 0, nullptr, 0);
  DrawTriangleMemImg(&dstPalette.img, &src32.img, v, 0, nullptr, 0);
  DrawTriangleMemImg(&dst8.img, &src8.img, v, 0, nullptr, 0);
  EXPECT_EQ(dst32.At32(0, 0), 0u);
  EXPECT_EQ(dstAlpha.At32(0, 0), 0u);
  EXPECT_EQ(dstPalette.At8(0, 0), 0);
  EXPECT_EQ(dst8.At8(0, 0), 0);

  // Texture coordinates beyond -8192..8191 would overflow 14.18.
  const TriangleVertex far[3] = {TriV(0, 0, 0, 0), TriV(4, 0, 8192, 0), TriV(0, 4, 0, 4)};
  DrawTriangleMemImg(&dst32.img, &src32.img, far, 0, nullptr, 0);
  EXPECT_EQ(dst32.At32(0, 0), 0u);
  const TriangleVertex apart[3] = {TriV(0, 0, -5000, 0), TriV(4, 0, 4000, 0), TriV(0, 4, 0, 4)};
  DrawTriangleMemImg(&dst32.img, &src32.img, apart, 0, nullptr, 0);
  EXPECT_EQ(dst32.At32(0, 0), 0u);
}

}  // namespace
