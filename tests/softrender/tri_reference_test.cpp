// Solid triangles in every mode against the plain references of the blits,
// on seeded random triangles, colours and draw states. Which pixels are
// covered comes from a mode-0 draw of the same triangle; what a covered pixel
// becomes comes from the per-channel rules with the prepared colour.
#include "blit32_reference.h"
#include "pixel16_reference.h"
#include "tri_test_util.h"

namespace {

using TriReference = TriTest;

constexpr int kDest = 24;

TEST_F(TriReference, SolidVariantsMatchTheRulesInBothDepths) {
  TriRng r(777);
  int covered = 0;
  for (int round = 0; round < 30; round++) {
    ResetTriDrawState(kDest, kDest);
    const auto v = RandomTriangle(r, kDest, 0);
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

      // The colour through the brightness, then the rules for a source
      // without modifiers (mode 10 inverts the prepared colour).
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

      for (int y = 0; y < kDest; y++) {
        for (int x = 0; x < kDest; x++) {
          const bool inside = map.At32(x, y) != 0;
          const uint32_t d32 = before32.At32(x, y);
          const uint16_t d16 = before16.At16(x, y);
          const uint32_t want32 =
              inside ? blit32test::RefPixel(ref, prepared, prepared, 0, d32).value_or(d32) : d32;
          const uint16_t want16 =
              inside ? pixel16test::RefPixel16(ref, prepared16, prepared16, 0, d16).value_or(d16) : d16;
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
