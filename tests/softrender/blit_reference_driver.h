// The seeded comparison of the plain, run-table and stretched blits with the
// reference, for either depth: random images, draw states and rectangles
// drawn into a small destination, which is compared whole. A depth gives
//   Pixel; kDstW, kDstH; kModes, kParams (the states drawn at random);
//   kWideSources (also sources of 16 to 39 columns);
//   MakeImage(w, h, palette, alpha, extra); RandomPixel(rng); Set(image, x, y, pixel);
//   Palette(image); Pixels(image);
//   FillDirectSource(src, case, ref, rng): pixels and ref.transparent;
//   DirectSource(src, ref, x, y, &key, &color); Ref(ref, key, color, weight, dest).
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <iterator>
#include <random>
#include <vector>

#include "tests/softrender/blit32_reference.h"

namespace blitref {

using blit32test::EdgeByte;
using blit32test::RefDraw;

struct Case {
  RefDraw ref;
  int srcW, srcH;
  int borderParam, borderRange;
  IntRect area;
  bool stretch;
  bool runTable;
  int spanLevel;  // 0 scalar, 1 SSE2, 2 AVX2, 3 AVX-512 (capped at the run's level)
  IntRect rect;  // stretch rectangle, or (x, y) of the plain blit
};

template <class Depth>
Case RandomCase(std::mt19937& rng) {
  constexpr int kDstW = Depth::kDstW, kDstH = Depth::kDstH;
  Case c{};
  c.ref.mode = Depth::kModes[rng() % std::size(Depth::kModes)];
  c.ref.param = rng() % 8 == 7 ? static_cast<int>(rng() % 256) : Depth::kParams[rng() % std::size(Depth::kParams)];
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
  c.ref.mmx = rng() % 2;
  c.srcW = Depth::kWideSources && rng() % 4 == 0 ? 16 + rng() % 24 : 1 + rng() % 9;
  c.srcH = 1 + rng() % 9;
  c.borderParam = EdgeByte(rng);
  c.borderRange = EdgeByte(rng);
  const int l = rng() % 6, t = rng() % 6;
  c.area = {l, t, kDstW - static_cast<int>(rng() % 6), kDstH - static_cast<int>(rng() % 6)};
  c.stretch = rng() % 2;
  c.runTable = !c.stretch && c.ref.transparentFlag && rng() % 2;
  c.spanLevel = static_cast<int>(rng() % 4);
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

template <class Depth>
class BlitReference : public blit32test::Blit32Test {
 protected:
  using Pixel = typename Depth::Pixel;
  static constexpr int kDstW = Depth::kDstW, kDstH = Depth::kDstH;

  // Draws one case and compares the whole destination with the reference.
  void RunCase(const Case& c, std::mt19937& rng, int caseNo) {
    SCOPED_TRACE(::testing::Message()
                 << "case " << caseNo << " mode " << c.ref.mode << " param " << c.ref.param
                 << " bright " << int{c.ref.bright[2]} << "," << int{c.ref.bright[1]} << ","
                 << int{c.ref.bright[0]} << " palette " << c.ref.palette << " alpha "
                 << c.ref.alphaFlag << " T " << c.ref.transparentFlag << " B "
                 << c.ref.blendImage << " mmx " << c.ref.mmx << " stretch " << c.stretch
                 << " runTable " << c.runTable << " spans " << c.spanLevel
                 << " src " << c.srcW << "x" << c.srcH << " rect " << c.rect.left << ","
                 << c.rect.top << "," << c.rect.right << "," << c.rect.bottom);
    RefDraw ref = c.ref;
    auto src = Depth::MakeImage(c.srcW, c.srcH, ref.palette, ref.alphaFlag, c.runTable ? 1 : 0);
    auto dst = Depth::MakeImage(kDstW, kDstH, 0, 0, 0);
    blit32test::Image blend(c.srcW + static_cast<int>(rng() % 3),
                            c.srcH + static_cast<int>(rng() % 3), MemImgTypeBlend8);
    for (int y = 0; y < blend.img.height; y++)
      for (int x = 0; x < blend.img.width; x++) blend.Set8(x, y, static_cast<uint8_t>(EdgeByte(rng)));
    for (int y = 0; y < kDstH; y++)
      for (int x = 0; x < kDstW; x++) Depth::Set(dst, x, y, Depth::RandomPixel(rng));
    if (ref.palette) {
      for (int i = 0; i < 256; i++) Depth::Palette(src)[i] = Depth::RandomPixel(rng);
      for (int y = 0; y < c.srcH; y++)
        for (int x = 0; x < c.srcW; x++) src.Set8(x, y, static_cast<uint8_t>(rng() % 6));
      ref.transparent = rng() % 8 == 0 ? 0x100 + rng() % 4 : rng() % 6;
    } else {
      Depth::FillDirectSource(src, c, ref, rng);
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

    std::vector<Pixel> expect = Depth::Pixels(dst);
    auto apply = [&](int dx, int dy, int sx, int sy) {
      uint32_t key, color;
      if (ref.palette) {
        key = src.Get8(sx, sy);
        color = Depth::Palette(src)[key];
      } else {
        Depth::DirectSource(src, ref, sx, sy, &key, &color);
      }
      const uint32_t w = MemImgBorderTable[blend.Get8(sx, sy)];
      const auto out = Depth::Ref(ref, key, color, w, expect[dy * kDstW + dx]);
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
        const bool keep = blit32test::RefKeepsOnZero(ref);
        const auto cols =
            blit32test::RefSourceIndices(stepX, cl - l, std::max(0, std::min(r, c.area.right) - cl), keep);
        const auto rows =
            blit32test::RefSourceIndices(stepY, ct - t, std::max(0, std::min(b, c.area.bottom) - ct), keep);
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
    const std::vector<Pixel> got = Depth::Pixels(dst);
    for (int i = 0; i < kDstW * kDstH; i++) {
      ASSERT_EQ(got[i], expect[i]) << "pixel " << i % kDstW << "," << i / kDstW;
    }
  }

  void RunRandomCases(uint32_t seed, int count) {
    std::mt19937 rng(seed);
    for (int i = 0; i < count; i++) {
      const Case c = RandomCase<Depth>(rng);
      RunCase(c, rng, i);
      if (HasFatalFailure()) return;
    }
  }

  // Each operation at each parameter under each set of modifiers (blend
  // image, brightness, alpha, transparent flag), variants cases each, from
  // a source of three rows over the whole destination. vary(case, variant)
  // sets what the variant decides (source kind, stretch, run table, spans,
  // width) and returns false to skip it.
  template <class Vary>
  void RunCombinations(std::mt19937& rng, std::initializer_list<int> params, int variants, Vary vary) {
    int caseNo = 0;
    for (int mode : {0, 1, 2, 3, 4, 10, 11}) {
      for (int param : params) {
        for (unsigned mods = 0; mods < 16; mods++) {
          for (int variant = 0; variant < variants; variant++) {
            Case c = RandomCase<Depth>(rng);
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
            if (!vary(c, variant)) continue;
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
};

}  // namespace blitref
