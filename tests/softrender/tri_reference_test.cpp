// Every triangle variant against a plain reference on seeded random
// triangles, images and draw states. Which texel (or whether the solid
// colour) lands on a pixel comes from a mode-0 draw of the same triangle;
// what the pixel becomes comes from the per-channel rules.
#include <optional>
#include <random>

#include "blit32_reference.h"
#include "tri_test_util.h"

namespace {

using TriReference = TriTest;

constexpr int kDest = 24;
constexpr int kSrc = 12;

struct Rng {
  std::mt19937 gen;
  explicit Rng(uint32_t seed) : gen(seed) {}
  int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(gen); }
  uint32_t Word() { return gen(); }
  // Bytes that sit on the edges of the arithmetic more often than chance.
  int Byte() {
    static const int kEdges[] = {0, 1, 127, 128, 254, 255};
    return Int(0, 2) == 0 ? kEdges[Int(0, 5)] : Int(0, 255);
  }
  int Param() { return Byte() == 0 ? 255 : Byte(); }
};

std::array<TriangleVertex, 3> RandomTriangle(Rng& r) {
  std::array<TriangleVertex, 3> v;
  for (auto& p : v) p = TriV(r.Int(-6, kDest + 6), r.Int(0, kDest + 6), r.Int(-2, kSrc + 2), r.Int(-2, kSrc + 2));
  return v;
}

void RandomBrightness(Rng& r, bool white) {
  if (white) {
    SetTriBrightness(255, 255, 255);
    return;
  }
  int red = r.Byte(), green = r.Byte(), blue = r.Byte();
  if (red == 255 && green == 255 && blue == 255) blue = 254;
  SetTriBrightness(red, green, blue);
}

TEST_F(TriReference, TexturedDirect32VariantsMatchTheRules) {
  Rng r(20260101);
  int drawn = 0;
  for (int round = 0; round < 24; round++) {
    ResetTriDrawState(kDest, kDest);
    const auto v = RandomTriangle(r);

    // Texel (c, row) of the coordinate source records its own position.
    TriImage coords(kSrc, kSrc, MemImgType32), map(kDest, kDest, MemImgType32);
    for (int y = 0; y < kSrc; y++) {
      for (int x = 0; x < kSrc; x++) coords.At32(x, y) = 0x80000000u | y << 8 | x;
    }
    DrawTriangleMemImg(&map.img, &coords.img, v.data(), 0, nullptr, 0);

    TriImage blend(kSrc, kSrc, MemImgTypeBlend8), dest(kDest, kDest, MemImgType32);
    for (int y = 0; y < kSrc; y++) {
      for (int x = 0; x < kSrc; x++) blend.At8(x, y) = static_cast<uint8_t>(r.Byte());
    }
    for (int y = 0; y < kDest; y++) {
      for (int x = 0; x < kDest; x++) dest.At32(x, y) = r.Word();
    }

    for (int alphaFlag = 0; alphaFlag < 2; alphaFlag++) {
      TriImage src(kSrc, kSrc, MemImgType32, alphaFlag);
      for (int y = 0; y < kSrc; y++) {
        for (int x = 0; x < kSrc; x++) {
          src.At32(x, y) = (r.Word() & 0x00FFFFFFu) | static_cast<uint32_t>(r.Byte()) << 24;
        }
      }
      src.img.base->transparentColor = src.At32(r.Int(0, kSrc - 1), r.Int(0, kSrc - 1));
      for (int32_t mode : {BlendNone, BlendAlpha, BlendAdd, BlendSubtract}) {
        for (unsigned mods = 0; mods < 16; mods++) {
          if (((mods & ModAlpha) != 0) != (alphaFlag == 1)) continue;
          blit32test::RefDraw ref;
          ref.mode = mode;
          ref.param = r.Param();
          ref.alphaFlag = alphaFlag == 1;
          ref.transparentFlag = (mods & ModTransparent) != 0;
          ref.blendImage = (mods & ModBlendImage) != 0;
          ref.mmx = false;  // triangles have no exact subtract
          ref.transparent = src.img.base->transparentColor;
          SetTriMode(mode, ref.param);
          RandomBrightness(r, (mods & ModBrightness) == 0);
          for (int c = 0; c < 3; c++) ref.bright[c] = g_drawSettings.brightness[c];
          SetMemImgBorderTable(r.Byte(), r.Byte());

          TriImage out(kDest, kDest, MemImgType32);
          std::memcpy(out.img.pixels, dest.img.pixels, static_cast<size_t>(dest.img.base->pitch) * kDest);
          DrawTriangleMemImg(&out.img, &src.img, v.data(), ref.transparentFlag ? r.Int(1, 9) : 0,
                             ref.blendImage ? &blend.img : nullptr, 0);

          for (int y = 0; y < kDest; y++) {
            for (int x = 0; x < kDest; x++) {
              const uint32_t d = dest.At32(x, y), m = map.At32(x, y);
              uint32_t expected = d;
              if (m & 0x80000000u) {
                const int col = m & 0xFF, row = (m >> 8) & 0xFF;
                const uint32_t texel = src.At32(col, row);
                const uint32_t w = MemImgBorderTable[blend.At8(col, row)];
                expected = blit32test::RefPixel(ref, texel, texel, w, d).value_or(d);
                drawn++;
              }
              ASSERT_EQ(out.At32(x, y), expected)
                  << "round " << round << " mode " << mode << " p " << ref.param << " mods "
                  << mods << " at " << x << "," << y;
            }
          }
        }
      }
    }
  }
  EXPECT_GT(drawn, 5000);
}

// 16-bit solid pixels from the field rules, the add and subtract field by
// field as their carries and borrows are described.
uint16_t RefSolid16(int32_t mode, int32_t p, uint32_t c, uint16_t dest) {
  const int max[3] = {31, 63, 31};
  const int shift[3] = {11, 5, 0};
  const int nBits[3] = {5, 6, 5};
  int d[3], s[3], out[3];
  for (int f = 0; f < 3; f++) {
    d[f] = (dest >> shift[f]) & max[f];
    s[f] = static_cast<int>(c >> shift[f]) & max[f];
  }
  auto lerp = [&](int x) { return p * x / 255; };
  if (mode == 1 && p == 255) mode = 0;
  switch (mode) {
    case 0: return static_cast<uint16_t>(c);
    case 1:
    case 10:
    case 11:
      for (int f = 0; f < 3; f++) {
        const int t = mode == 1 ? s[f] : mode == 10 ? max[f] - s[f] : (s[f] * d[f]) >> nBits[f];
        out[f] = d[f] + lerp(t - d[f]);
      }
      break;
    case 4:
      for (int f = 0; f < 3; f++) out[f] = (s[f] * d[f]) >> nBits[f];
      break;
    case 2: {
      int x[3];
      for (int f = 0; f < 3; f++) x[f] = p * s[f] / 255;
      const bool blueOver = x[2] + d[2] > 31;
      out[2] = blueOver ? 31 : x[2] + d[2];
      const int u = (x[1] >> 1) + (d[1] >> 1);
      const int lg = ((x[1] | d[1]) & 1) | (blueOver ? 1 : 0);
      out[1] = u <= 31 ? 2 * u + lg : 62 + lg;
      const int w = (x[0] >> 1) + (d[0] >> 1);
      const int lr = ((x[0] | d[0]) & 1) | (u > 31 ? 1 : 0);
      out[0] = w <= 15 ? 2 * w + lr : 31;
      break;
    }
    case 3: {
      int x[3];
      for (int f = 0; f < 3; f++) x[f] = p * s[f] / 255;
      out[2] = d[2] >= x[2] ? d[2] - x[2] : 0;
      const bool greenOk = (d[1] >> 1) >= (x[1] >> 1);
      out[1] = greenOk ? 2 * ((d[1] >> 1) - (x[1] >> 1)) : 0;
      out[0] = (d[0] >> 1) >= (x[0] >> 1) ? 2 * ((d[0] >> 1) - (x[0] >> 1)) + (greenOk ? 1 : 0) : 0;
      break;
    }
    default: return dest;
  }
  return static_cast<uint16_t>(out[0] << 11 | out[1] << 5 | out[2]);
}

TEST_F(TriReference, SolidVariantsMatchTheRulesInBothDepths) {
  Rng r(777);
  int covered = 0;
  for (int round = 0; round < 30; round++) {
    ResetTriDrawState(kDest, kDest);
    const auto v = RandomTriangle(r);
    TriImage map(kDest, kDest, MemImgType32);
    DrawTriangleMemImg(&map.img, nullptr, v.data(), 0, nullptr, 0xFFFFFFFFu);
    for (int y = 0; y < kDest; y++) {
      for (int x = 0; x < kDest; x++) covered += map.At32(x, y) != 0;
    }

    for (int32_t mode : {0, 1, 2, 3, 4, 10, 11, 6}) {
      const int32_t param = r.Int(0, 3) == 0 ? 0 : r.Param();
      SetTriMode(mode, param);
      RandomBrightness(r, r.Int(0, 1) == 0);
      const uint8_t* bright = g_drawSettings.brightness;  // blue, green, red

      // 32 bits: the colour through the brightness, then the blit rules
      // for a source without modifiers.
      const uint32_t color32 = r.Word();
      uint32_t prepared = color32 & 0xFF000000u;
      for (int c = 0; c < 3; c++) prepared |= (bright[c] * ((color32 >> (8 * c)) & 0xFF) / 255) << (8 * c);
      blit32test::RefDraw ref;
      ref.mode = mode;
      ref.param = param;
      ref.mmx = false;
      TriImage out32(kDest, kDest, MemImgType32), before32(kDest, kDest, MemImgType32);
      for (int y = 0; y < kDest; y++) {
        for (int x = 0; x < kDest; x++) before32.At32(x, y) = out32.At32(x, y) = r.Word();
      }
      DrawTriangleMemImg(&out32.img, nullptr, v.data(), 0, nullptr, color32);

      // 16 bits: colour bits above 15 are dropped.
      const uint32_t color16 = r.Word();
      const uint32_t c16 = color16 & 0xFFFF;
      const uint32_t prepared16 = (bright[2] * (c16 >> 11) / 255) << 11 |
                                  (bright[1] * ((c16 >> 5) & 63) / 255) << 5 |
                                  bright[0] * (c16 & 31) / 255;
      TriImage out16(kDest, kDest, MemImgType16), before16(kDest, kDest, MemImgType16);
      for (int y = 0; y < kDest; y++) {
        for (int x = 0; x < kDest; x++) {
          before16.At16(x, y) = out16.At16(x, y) = static_cast<uint16_t>(r.Word());
        }
      }
      DrawTriangleMemImg(&out16.img, nullptr, v.data(), 0, nullptr, color16);

      const bool drawsNothing = blit32test::RefDrawsNothing(ref);
      for (int y = 0; y < kDest; y++) {
        for (int x = 0; x < kDest; x++) {
          const bool drawn = map.At32(x, y) != 0 && !drawsNothing;
          const uint32_t d32 = before32.At32(x, y);
          const uint16_t d16 = before16.At16(x, y);
          const uint32_t want32 =
              drawn ? blit32test::RefPixel(ref, prepared, prepared, 0, d32).value_or(d32) : d32;
          const uint16_t want16 = drawn ? RefSolid16(mode, param, prepared16, d16) : d16;
          ASSERT_EQ(out32.At32(x, y), want32)
              << "round " << round << " mode " << mode << " p " << param << " at " << x << "," << y;
          ASSERT_EQ(out16.At16(x, y), want16)
              << "round " << round << " mode " << mode << " p " << param << " at " << x << "," << y;
        }
      }
    }
  }
  EXPECT_GT(covered, 500);
}

}  // namespace
