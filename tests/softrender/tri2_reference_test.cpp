// Every textured triangle variant (direct and palette sources, both depths,
// every drawn mode and modifier set) against the plain references of the
// blits, on seeded random triangles, images and draw states. Which texel
// lands on a pixel comes from a mode-0 draw of the same triangle from a
// source whose texels hold their own positions.
#include <cstring>

#include "blit32_reference.h"
#include "pixel16_reference.h"
#include "tri_test_util.h"

namespace {

using Tri2Reference = TriTest;

constexpr int kDest = 24;
constexpr int kSrc = 12;

struct SourceKind {
  const char* name;
  int32_t type;
  int32_t palette;
  int32_t alpha;
};

constexpr SourceKind kKinds[] = {
    {"direct32", MemImgType32, 0, 0}, {"direct32 alpha", MemImgType32, 0, 1},
    {"palette32", MemImgType32, 1, 0}, {"direct16", MemImgType16, 0, 0},
    {"direct16 alpha", MemImgType16, 0, 1}, {"palette16", MemImgType16, 1, 0},
};

// The raw texel (palette: the index) and its colour (palette: the entry).
struct Texel {
  uint32_t key;
  uint32_t color;
};

Texel ReadTexel(const TriImage& src, const SourceKind& kind, int x, int y) {
  if (kind.palette) {
    const uint32_t index = src.At8(x, y);
    const uint8_t* entry = static_cast<const uint8_t*>(src.img.base->palette) +
                           index * (kind.type == MemImgType32 ? 4 : 2);
    uint32_t color = 0;
    std::memcpy(&color, entry, kind.type == MemImgType32 ? 4 : 2);
    return {index, color};
  }
  if (kind.type == MemImgType32) return {src.At32(x, y), src.At32(x, y)};
  if (kind.alpha) {
    uint32_t key;
    std::memcpy(&key, src.Row(y) + 4 * x, 4);
    return {key, key & 0xFFFF};
  }
  return {src.At16(x, y), src.At16(x, y)};
}

void FillSource(TriImage& src, const SourceKind& kind, TriRng& r) {
  for (int y = 0; y < kSrc; y++) {
    for (int x = 0; x < kSrc; x++) {
      if (kind.palette) {
        src.At8(x, y) = static_cast<uint8_t>(r.Int(0, 9));  // a few indices, so some repeat
      } else if (kind.type == MemImgType32) {
        src.At32(x, y) = (r.Word() & 0x00FFFFFFu) | static_cast<uint32_t>(r.Byte()) << 24;
      } else if (kind.alpha) {
        const uint32_t word = (r.Word() & 0xFF00FFFFu) | static_cast<uint32_t>(r.Byte()) << 16;
        std::memcpy(src.Row(y) + 4 * x, &word, 4);
      } else {
        src.At16(x, y) = static_cast<uint16_t>(r.Word());
      }
    }
  }
  if (kind.palette) {
    auto* palette = static_cast<uint8_t*>(src.img.base->palette);
    for (int i = 0; i < 256; i++) {
      const uint32_t entry = r.Word();
      std::memcpy(palette + i * (kind.type == MemImgType32 ? 4 : 2), &entry,
                  kind.type == MemImgType32 ? 4 : 2);
    }
  }
  // Usually a texel's own key; sometimes one that only matches in its low
  // bits (16-bit keys and indices are widened, so it never matches).
  const Texel t = ReadTexel(src, kind, r.Int(0, kSrc - 1), r.Int(0, kSrc - 1));
  const bool wide = kind.palette || (kind.type == MemImgType16 && !kind.alpha);
  src.img.base->transparentColor = wide && r.Int(0, 3) == 0 ? t.key | 0x10000u : t.key;
}

TEST_F(Tri2Reference, TexturedVariantsMatchTheRules) {
  TriRng r(20260214);
  int drawn = 0;
  for (int round = 0; round < 14; round++) {
    ResetTriDrawState(kDest, kDest);
    const auto v = RandomTriangle(r, kDest, kSrc);

    TriImage coords(kSrc, kSrc, MemImgType32), map(kDest, kDest, MemImgType32);
    for (int y = 0; y < kSrc; y++) {
      for (int x = 0; x < kSrc; x++) coords.At32(x, y) = 0x80000000u | y << 8 | x;
    }
    DrawTriangleMemImg(&map.img, &coords.img, v.data(), 0, nullptr, 0);

    TriImage blend(kSrc, kSrc, MemImgTypeBlend8);
    for (int y = 0; y < kSrc; y++) {
      for (int x = 0; x < kSrc; x++) blend.At8(x, y) = static_cast<uint8_t>(r.Byte());
    }

    for (const SourceKind& kind : kKinds) {
      const bool wide = kind.type == MemImgType32;
      TriImage src(kSrc, kSrc, kind.type, kind.alpha, kind.palette);
      FillSource(src, kind, r);
      TriImage dest(kDest, kDest, kind.type);
      for (int y = 0; y < kDest; y++) {
        for (int x = 0; x < kDest; x++) {
          if (wide) {
            dest.At32(x, y) = r.Word();
          } else {
            dest.At16(x, y) = static_cast<uint16_t>(r.Word());
          }
        }
      }
      const bool alphaSource = kind.alpha && !kind.palette;

      for (int32_t mode : {0, 1, 2, 3, 4, 10, 11, 7}) {
        for (unsigned mods = 0; mods < 16; mods++) {
          if (((mods & ModAlpha) != 0) != alphaSource) continue;
          blit32test::RefDraw ref;
          ref.mode = mode;
          ref.param = r.Int(0, 4) == 0 ? 0 : r.Param();
          ref.palette = kind.palette != 0;
          ref.alphaFlag = kind.alpha != 0;
          ref.transparentFlag = (mods & ModTransparent) != 0;
          ref.blendImage = (mods & ModBlendImage) != 0;
          ref.mmx = false;  // triangles have no exact subtract
          ref.transparent = src.img.base->transparentColor;
          SetTriMode(mode, ref.param);
          RandomBrightness(r, (mods & ModBrightness) == 0);
          for (int c = 0; c < 3; c++) ref.bright[c] = g_drawSettings.brightness[c];
          SetMemImgBorderTable(r.Byte(), r.Byte());

          TriImage out(kDest, kDest, kind.type);
          std::memcpy(out.img.pixels, dest.img.pixels,
                      static_cast<size_t>(dest.img.base->pitch) * kDest);
          DrawTriangleMemImg(&out.img, &src.img, v.data(), ref.transparentFlag ? r.Int(1, 9) : 0,
                             ref.blendImage ? &blend.img : nullptr, 0);

          for (int y = 0; y < kDest; y++) {
            for (int x = 0; x < kDest; x++) {
              const uint32_t m = map.At32(x, y);
              const uint32_t d = dest.Pixel(x, y);
              uint32_t expected = d;
              if (m & 0x80000000u) {
                const int col = m & 0xFF, row = (m >> 8) & 0xFF;
                const Texel t = ReadTexel(src, kind, col, row);
                const uint32_t w = MemImgBorderTable[blend.At8(col, row)];
                // Modes 4, 10 and 11 weigh an alpha of 0 under the transparent
                // flag instead of skipping it: as without the flag.
                blit32test::RefDraw pixelRef = ref;
                const uint32_t a = wide ? t.key >> 24 : (t.key >> 16) & 0xFF;
                if (alphaSource && (mode == 4 || mode == 10 || mode == 11) && a == 0) {
                  pixelRef.transparentFlag = false;
                }
                if (wide) {
                  expected = blit32test::RefPixel(pixelRef, t.key, t.color, w, d).value_or(d);
                } else {
                  expected = pixel16test::RefPixel16(pixelRef, t.key, t.color, w,
                                                     static_cast<uint16_t>(d))
                                 .value_or(static_cast<uint16_t>(d));
                }
                drawn++;
              }
              const uint32_t got = out.Pixel(x, y);
              ASSERT_EQ(got, expected) << kind.name << " round " << round << " mode " << mode
                                       << " p " << ref.param << " mods " << mods << " at " << x
                                       << "," << y;
            }
          }
        }
      }
    }
  }
  EXPECT_GT(drawn, 20000);

}

}  // namespace
