// Every generated variant of the rotated blit, in both depths, against plain
// references of the per-pixel rules, on seeded random images and draw
// states. The draws are turned by 0 or by a half turn (a negative scale), at
// scales whose steps are exact in 14.18 fixed point (1, 2 and 4), where the
// placement is known: destination x takes source column
// W/2 + floor((x - cx) / scale), and likewise for rows (W/2, H/2 truncated).
// The enlarged draws repeat each source row on several destination rows.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <optional>
#include <random>
#include <vector>

#include "softrender/rotate_blit.h"
#include "tests/softrender/blit32_reference.h"
#include "tests/softrender/pixel16_reference.h"

namespace blit32test {
namespace {


// The blits' references, with the rotated blit's differences: a multiply
// turns an alpha-0 pixel black even under the transparent flag, a 16-bit
// colour word meets the transparent colour's low 16 bits, the 32-bit
// subtract has no MMX form and the 16-bit rules none of the blits' orderings.
std::optional<uint32_t> RefRotated(RefDraw r, int type, uint32_t key, uint32_t color, uint32_t w,
                                   uint32_t d) {
  const bool hasAlpha = r.alphaFlag && !r.palette;
  const uint32_t alpha = type == MemImgType32 ? key >> 24 : (key >> 16) & 0xFF;
  if (r.mode == 4 && hasAlpha && r.transparentFlag && alpha == 0) r.transparentFlag = false;
  r.mmx = false;
  if (type == MemImgType32) return RefPixel(r, key, color, w, d);
  if (!r.palette) r.transparent &= 0xFFFF;
  r.orderings = false;
  return pixel16test::RefPixel16(r, key, color, w, static_cast<uint16_t>(d));
}

struct RotCase {
  RefDraw ref;
  int type;
  int srcW, srcH;
  int dstW, dstH;
  int cx, cy;
  float scale;
  IntRect area;
  int spanLevel;  // -1: the best the processor has
};

RotCase RandomCase(std::mt19937& rng) {
  static const int kModes[] = {0, 1, 1, 2, 3, 3, 4, 10, 11, 5, 12};
  static const int kParams[] = {0, 1, 127, 128, 254, 255, 255};
  RotCase c{};
  c.type = rng() % 2 ? MemImgType32 : MemImgType16;
  c.ref.mode = kModes[rng() % 11];
  c.ref.param = rng() % 8 == 7 ? static_cast<int>(rng() % 256) : kParams[rng() % 7];
  if (rng() % 2) {
    for (auto& b : c.ref.bright) b = static_cast<uint8_t>(EdgeByte(rng));
  }
  c.ref.palette = rng() % 3 == 0;
  c.ref.alphaFlag = !c.ref.palette && rng() % 2;
  c.ref.transparentFlag = rng() % 2;
  c.ref.blendImage = rng() % 3 == 0;
  // Rows wider than one gathered run now and then.
  c.srcW = rng() % 16 == 0 ? 600 + static_cast<int>(rng() % 100) : 1 + static_cast<int>(rng() % 9);
  c.srcH = 1 + rng() % 9;
  static const float kScales[] = {1.0f, -1.0f, 2.0f, -2.0f, 4.0f};
  c.scale = kScales[rng() % 5];
  const int k = static_cast<int>(std::fabs(c.scale));
  c.dstW = c.srcW * k + 12;
  c.dstH = c.srcH * k + 12;
  c.cx = static_cast<int>(rng() % c.dstW);
  c.cy = static_cast<int>(rng() % c.dstH);
  c.area = {static_cast<int>(rng() % 4), static_cast<int>(rng() % 4), c.dstW - static_cast<int>(rng() % 4),
            c.dstH - static_cast<int>(rng() % 4)};
  c.spanLevel = static_cast<int>(rng() % 5) - 1;
  return c;
}

class RotReference : public Blit32Test {
 protected:
  void Run(const RotCase& c, std::mt19937& rng) {
    const RefDraw& r = c.ref;
    const bool wide = c.type == MemImgType32 || (r.alphaFlag && !r.palette);
    Image src(c.srcW, c.srcH, c.type, r.palette, r.alphaFlag, 0);
    Image dst(c.dstW, c.dstH, c.type);
    Image blend(c.srcW, c.srcH, MemImgTypeBlend8);
    const uint32_t colorMask = c.type == MemImgType32 ? 0xFFFFFFFFu : 0xFFFFu;
    // 16-bit colour words from edge field values; the alpha byte an edge byte.
    auto randomPixel = [&] {
      if (c.type == MemImgType32 || r.palette) return EdgePixel(rng);
      return pixel16test::EdgeWord(rng) | EdgeByte(rng) << 16 | EdgeByte(rng) << 24;
    };
    auto readSrc = [&](int x, int y) -> uint32_t {
      if (r.palette) return src.Row(y)[x];
      uint32_t v = 0;
      std::memcpy(&v, src.Row(y) + x * (wide ? 4 : 2), wide ? 4 : 2);
      return v;
    };
    auto readDst = [&](int x, int y) -> uint32_t {
      uint32_t v = 0;
      std::memcpy(&v, dst.Row(y) + x * (c.type == MemImgType32 ? 4 : 2), c.type == MemImgType32 ? 4 : 2);
      return v;
    };
    // Source pixels, some equal to the transparent colour.
    std::vector<uint32_t> keys;
    const uint32_t transparent = r.palette ? rng() % 260 : randomPixel();
    for (int y = 0; y < c.srcH; y++) {
      for (int x = 0; x < c.srcW; x++) {
        uint32_t v = rng() % 5 == 0 ? transparent : randomPixel();
        if (r.palette) {
          src.Row(y)[x] = static_cast<uint8_t>(v);
        } else {
          std::memcpy(src.Row(y) + x * (wide ? 4 : 2), &v, wide ? 4 : 2);
        }
        blend.Set8(x, y, static_cast<uint8_t>(EdgeByte(rng)));
      }
    }
    if (r.palette) {
      for (int i = 0; i < 256; i++) {
        const uint32_t e = randomPixel();
        if (c.type == MemImgType32) {
          src.Palette()[i] = e;
        } else {
          static_cast<uint16_t*>(src.img.base->palette)[i] = static_cast<uint16_t>(e);
        }
      }
    }
    src.img.base->transparentColor = transparent;
    for (int y = 0; y < c.dstH; y++) {
      for (int x = 0; x < c.dstW; x++) {
        const uint32_t v = randomPixel();
        std::memcpy(dst.Row(y) + x * (c.type == MemImgType32 ? 4 : 2), &v, c.type == MemImgType32 ? 4 : 2);
      }
    }
    const uint32_t border = EdgeByte(rng), range = EdgeByte(rng);
    SetMemImgBorderTable(static_cast<int32_t>(border), static_cast<int32_t>(range));
    SetState(r.mode, r.param);
    SetBright(r.bright[2], r.bright[1], r.bright[0]);
    g_drawSettings.drawArea = c.area;
    SetBlitSpanLevelForTest(c.spanLevel);

    std::vector<uint32_t> before;
    for (int y = 0; y < c.dstH; y++)
      for (int x = 0; x < c.dstW; x++) before.push_back(readDst(x, y));
    RefDraw rr = r;
    rr.transparent = transparent;
    RotateBlitMemImg(&dst.img, &src.img, c.cx, c.cy, 0.0f, c.scale, r.transparentFlag ? 1 : 0, 0,
                     r.blendImage ? &blend.img : nullptr);

    for (int y = 0; y < c.dstH; y++) {
      for (int x = 0; x < c.dstW; x++) {
        const uint32_t d = before[static_cast<size_t>(y) * c.dstW + x];
        uint32_t want = d;
        const int scale = static_cast<int>(c.scale);
        const auto floorDiv = [](int a, int b) { return (a - ((a % b + b) % b)) / b; };
        const int i = c.srcW / 2 + floorDiv(scale > 0 ? x - c.cx : c.cx - x, std::abs(scale));
        const int j = c.srcH / 2 + floorDiv(scale > 0 ? y - c.cy : c.cy - y, std::abs(scale));
        const bool inArea = x >= c.area.left && x < c.area.right && y >= c.area.top && y < c.area.bottom;
        if (inArea && i >= 0 && i < c.srcW && j >= 0 && j < c.srcH) {
          const uint32_t key = readSrc(i, j);
          uint32_t color = key & colorMask;
          if (r.palette) {
            color = c.type == MemImgType32 ? src.Palette()[key]
                                           : static_cast<uint16_t*>(src.img.base->palette)[key];
          }
          const uint32_t w = MemImgBorderTable[blend.Get8(i, j)];
          const auto got = RefRotated(rr, c.type, key, color, w, d);
          if (got) want = *got & colorMask;
        }
        ASSERT_EQ(readDst(x, y), want)
            << "pixel " << x << "," << y << " type " << c.type << " mode " << r.mode << " param " << r.param
            << " palette " << r.palette << " alpha " << r.alphaFlag << " T " << r.transparentFlag
            << " blend " << r.blendImage << " bright " << int{r.bright[2]} << "," << int{r.bright[1]} << ","
            << int{r.bright[0]} << " scale " << c.scale << " spans " << c.spanLevel;
      }
    }
  }
};

TEST_F(RotReference, RandomDrawsMatchTheReference) {
  std::mt19937 rng(20261207);
  for (int n = 0; n < 1500; n++) {
    const RotCase c = RandomCase(rng);
    Run(c, rng);
    if (HasFatalFailure()) return;
  }
}

}  // namespace
}  // namespace blit32test
