// Every generated 16-bit variant of the plain, run-table and stretched blits
// against the reference, on seeded random images, draw states and rectangles.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "tests/softrender/blit16_reference.h"

namespace blit16test {
namespace {

using blit32test::EdgeByte;
using blit32test::RefKeepsOnZero;
using blit32test::RefSourceIndices;
using pixel16test::EdgeWord;

constexpr int kDstW = 41, kDstH = 17;


struct Case {
  RefDraw ref;
  int srcW, srcH;
  int borderParam, borderRange;
  IntRect area;
  bool stretch;
  bool runTable;
  int spanLevel;  // 0 scalar, 1 SSE2, 2 AVX2
  IntRect rect;  // stretch rectangle, or (x, y) of the plain blit
};

Case RandomCase(std::mt19937& rng) {
  static const int kModes[] = {0, 1, 1, 2, 3, 3, 4, 10, 11, 11, 5, 9, 12, -3};
  static const int kParams[] = {0, 1, 127, 128, 200, 254, 255, 255};
  Case c{};
  c.ref.mode = kModes[rng() % 14];
  c.ref.param = rng() % 8 == 7 ? static_cast<int>(rng() % 256) : kParams[rng() % 8];
  switch (rng() % 4) {
    case 0:
      c.ref.bright[0] = 254;
      c.ref.bright[1] = c.ref.bright[2] = 255;
      break;
    case 1:
      for (auto& b : c.ref.bright) b = static_cast<uint8_t>(EdgeByte(rng));
      break;
    default:
      c.ref.bright[0] = c.ref.bright[1] = c.ref.bright[2] = 255;
  }
  c.ref.palette = rng() % 3 == 0;
  c.ref.alphaFlag = rng() % 2;
  c.ref.transparentFlag = rng() % 2;
  c.ref.blendImage = rng() % 3 == 0;
  c.ref.mmx = rng() % 2;  // plays no part in 16 bits
  c.srcW = rng() % 4 == 0 ? 16 + rng() % 24 : 1 + rng() % 9;  // wide ones reach the vector spans
  c.srcH = 1 + rng() % 9;
  c.borderParam = EdgeByte(rng);
  c.borderRange = EdgeByte(rng);
  const int l = rng() % 6, t = rng() % 6;
  c.area = {l, t, kDstW - static_cast<int>(rng() % 6), kDstH - static_cast<int>(rng() % 6)};
  c.stretch = rng() % 2;
  c.runTable = !c.stretch && c.ref.transparentFlag && rng() % 2;
  c.spanLevel = static_cast<int>(rng() % 3);
  auto coord = [&](int extent) { return static_cast<int>(rng() % (extent + 8)) - 4; };
  if (c.stretch) {
    c.rect = {coord(kDstW), coord(kDstH), coord(kDstW), coord(kDstH)};
    if (rng() % 4 == 0) {  // the same size, unmirrored: handed to the plain blit
      c.rect.right = c.rect.left + c.srcW;
      c.rect.bottom = c.rect.top + c.srcH;
    }
  } else {
    c.rect = {coord(kDstW), coord(kDstH), 0, 0};
  }
  return c;
}

class Blit16Reference : public Blit16Test {
 protected:
  // Draws one case and compares the whole destination with the reference.
  void RunCase(const Case& c, std::mt19937& rng, int caseNo) {
    SCOPED_TRACE(::testing::Message()
                 << "case " << caseNo << " mode " << c.ref.mode << " param " << c.ref.param
                 << " bright " << int{c.ref.bright[2]} << "," << int{c.ref.bright[1]} << ","
                 << int{c.ref.bright[0]} << " palette " << c.ref.palette << " alpha "
                 << c.ref.alphaFlag << " T " << c.ref.transparentFlag << " B "
                 << c.ref.blendImage << " stretch " << c.stretch << " runTable " << c.runTable
                 << " spans " << c.spanLevel
                 << " src " << c.srcW << "x" << c.srcH << " rect " << c.rect.left << ","
                 << c.rect.top << "," << c.rect.right << "," << c.rect.bottom);
    RefDraw ref = c.ref;
    Image16 src(c.srcW, c.srcH, ref.palette, ref.alphaFlag, 0, c.runTable ? 1 : 0);
    Image16 dst(kDstW, kDstH);
    blit32test::Image blend(c.srcW + static_cast<int>(rng() % 3),
                            c.srcH + static_cast<int>(rng() % 3), MemImgTypeBlend8);
    for (int y = 0; y < blend.img.height; y++)
      for (int x = 0; x < blend.img.width; x++) blend.Set8(x, y, static_cast<uint8_t>(EdgeByte(rng)));
    for (int y = 0; y < kDstH; y++)
      for (int x = 0; x < kDstW; x++) dst.Set16(x, y, EdgeWord(rng));
    const bool alphaPixels = ref.alphaFlag && !ref.palette;
    if (ref.palette) {
      for (int i = 0; i < 256; i++) src.Palette16()[i] = EdgeWord(rng);
      for (int y = 0; y < c.srcH; y++)
        for (int x = 0; x < c.srcW; x++) src.Set8(x, y, static_cast<uint8_t>(rng() % 6));
      ref.transparent = rng() % 8 == 0 ? 0x100 + rng() % 4 : rng() % 6;
    } else if (alphaPixels) {
      for (int y = 0; y < c.srcH; y++)
        for (int x = 0; x < c.srcW; x++) src.Set(x, y, EdgeWord(rng) | EdgeByte(rng) << 16 | (rng() & 0xFF) << 24);
      ref.transparent = src.Get(rng() % c.srcW, rng() % c.srcH);
    } else {
      for (int y = 0; y < c.srcH; y++)
        for (int x = 0; x < c.srcW; x++) src.Set16(x, y, EdgeWord(rng));
      ref.transparent = src.Get16(rng() % c.srcW, rng() % c.srcH);
      // Set bits above the word: only the whole-word copies still match.
      if (rng() % 4 == 0) ref.transparent |= (1 + rng() % 0xFFFF) << 16;
    }
    src.img.base->transparentColor = ref.transparent;
    if (c.runTable) {
      BuildTransparencyRunTable(&src.img);
      src.img.base->runTableValid = 1;
    }
    SetMemImgBorderTable(c.borderParam, c.borderRange);
    SetState(ref.mode, ref.param);
    SetBright(ref.bright[2], ref.bright[1], ref.bright[0]);
    SetArea(c.area.left, c.area.top, c.area.right, c.area.bottom);
    SetMmxUsableForTest(ref.mmx ? 1 : 0);
    SetBlitSpanLevelForTest(c.spanLevel);

    std::vector<uint16_t> expect = dst.Pixels16();
    auto apply = [&](int dx, int dy, int sx, int sy) {
      uint32_t key, color;
      if (ref.palette) {
        key = src.Get8(sx, sy);
        color = src.Palette16()[key];
      } else if (alphaPixels) {
        key = src.Get(sx, sy);
        color = key & 0xFFFF;
      } else {
        key = color = src.Get16(sx, sy);
      }
      const uint32_t w = MemImgBorderTable[blend.Get8(sx, sy)];
      const auto out = RefBlitPixel16(ref, key, color, w, expect[dy * kDstW + dx]);
      if (out) expect[dy * kDstW + dx] = *out;
    };
    auto inArea = [&](int x, int y) {
      return x >= c.area.left && x < c.area.right && y >= c.area.top && y < c.area.bottom;
    };
    auto plainRef = [&](int x0, int y0) {
      for (int sy = 0; sy < c.srcH; sy++)
        for (int sx = 0; sx < c.srcW; sx++)
          if (inArea(x0 + sx, y0 + sy)) apply(x0 + sx, y0 + sy, sx, sy);
    };

    const MEMIMG* blendImg = ref.blendImage ? &blend.img : nullptr;
    const int tflag = ref.transparentFlag ? 1 : 0;
    if (!c.stretch) {
      BlitMemImg(&dst.img, &src.img, c.rect.left, c.rect.top, tflag, blendImg);
      plainRef(c.rect.left, c.rect.top);
    } else {
      StretchBlitMemImg(&dst.img, &src.img, &c.rect, tflag, blendImg);
      const int l = std::min(c.rect.left, c.rect.right), r = std::max(c.rect.left, c.rect.right);
      const int t = std::min(c.rect.top, c.rect.bottom), b = std::max(c.rect.top, c.rect.bottom);
      const bool mirrorX = c.rect.left > c.rect.right, mirrorY = c.rect.top > c.rect.bottom;
      if (r - l == c.srcW && b - t == c.srcH && !mirrorX && !mirrorY) {
        plainRef(l, t);
      } else if (r > l && b > t) {
        const int64_t stepX = (int64_t{r - l} << 16) / c.srcW, stepY = (int64_t{b - t} << 16) / c.srcH;
        const int cl = std::max(l, c.area.left), ct = std::max(t, c.area.top);
        const bool keep = RefKeepsOnZero(ref);
        const auto cols = RefSourceIndices(stepX, cl - l, std::max(0, std::min(r, c.area.right) - cl), keep);
        const auto rows = RefSourceIndices(stepY, ct - t, std::max(0, std::min(b, c.area.bottom) - ct), keep);
        for (int dy = ct; dy < std::min(b, c.area.bottom); dy++) {
          for (int dx = cl; dx < std::min(r, c.area.right); dx++) {
            int64_t sx = cols[dx - cl];
            int64_t sy = rows[dy - ct];
            ASSERT_LT(sx, c.srcW);
            ASSERT_LT(sy, c.srcH);
            if (mirrorX) sx = c.srcW - 1 - sx;
            if (mirrorY) sy = c.srcH - 1 - sy;
            apply(dx, dy, static_cast<int>(sx), static_cast<int>(sy));
          }
        }
      }
    }
    const std::vector<uint16_t> got = dst.Pixels16();
    for (int i = 0; i < kDstW * kDstH; i++) {
      ASSERT_EQ(got[i], expect[i]) << "pixel " << i % kDstW << "," << i / kDstW;
    }
  }
};

TEST_F(Blit16Reference, RandomDrawsMatchTheReference) {
  std::mt19937 rng(20261208);
  for (int i = 0; i < 5000; i++) {
    const Case c = RandomCase(rng);
    RunCase(c, rng, i);
    if (HasFatalFailure()) return;
  }
}

// Each operation and modifier combination, each source kind, plain (with and
// without the run table) and stretched, at the parameter's edges.
TEST_F(Blit16Reference, EveryCombinationMatchesTheReference) {
  std::mt19937 rng(16);
  int caseNo = 0;
  for (int mode : {0, 1, 2, 3, 4, 10, 11}) {
    for (int param : {0, 1, 128, 255}) {
      for (unsigned mods = 0; mods < 16; mods++) {
        for (int variant = 0; variant < 18; variant++) {
          Case c = RandomCase(rng);
          c.ref.mode = mode;
          c.ref.param = param;
          c.ref.blendImage = mods & 1;
          if (mods & 2) {
            c.ref.bright[0] = 200;
          } else {
            c.ref.bright[0] = c.ref.bright[1] = c.ref.bright[2] = 255;
          }
          c.ref.alphaFlag = mods & 4;
          c.ref.transparentFlag = mods & 8;
          c.ref.palette = variant % 3 == 2;
          if (c.ref.palette && c.ref.alphaFlag) continue;  // the same draw as without alpha
          c.stretch = variant % 6 >= 3;
          c.runTable = !c.stretch && c.ref.transparentFlag && variant % 6 == 1;
          c.spanLevel = variant / 6;
          c.srcW = 9 + rng() % 28;
          c.srcH = 3;
          c.area = {0, 0, kDstW, kDstH};
          if (c.stretch) c.rect = {1, 2, 1 + 2 * c.srcW, 2 + c.srcH / 2 + 1};
          else c.rect = {1, 1, 0, 0};
          RunCase(c, rng, caseNo++);
          if (HasFatalFailure()) return;
        }
      }
    }
  }
}

}  // namespace
}  // namespace blit16test
