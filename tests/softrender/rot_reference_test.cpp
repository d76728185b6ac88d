// Every generated variant of the rotated blit, in both depths, against plain
// references of the per-pixel rules, on seeded random images and draw
// states. The draws are turned by 0 or by a half turn (scale 1 or -1), where
// the placement is known: scale 1 puts source (i, j) on
// (cx - W/2 + i, cy - H/2 + j), scale -1 on (cx + W/2 - i, cy + H/2 - j)
// (W/2, H/2 truncated).
#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <vector>

#include "softrender/rotate_blit.h"
#include "tests/softrender/blit32_reference.h"

namespace blit32test {
namespace {

uint32_t EdgeByte(std::mt19937& rng) {
  static const uint32_t kEdges[] = {0, 1, 2, 127, 128, 129, 254, 255};
  return rng() % 3 == 0 ? rng() & 0xFF : kEdges[rng() % 8];
}

uint32_t Field(uint32_t v, int c) {
  static const int kShift[3] = {0, 5, 11}, kBits[3] = {5, 6, 5};
  return (v >> kShift[c]) & ((1u << kBits[c]) - 1);
}
uint32_t Pack565(const int64_t f[3]) {
  return static_cast<uint32_t>(f[2]) << 11 | static_cast<uint32_t>(f[1]) << 5 | static_cast<uint32_t>(f[0]);
}

// The 16-bit rules written out per field. key: the colour word (with the
// alpha in bits 16-23 for alpha sources) or the palette index; color: the
// colour word or palette entry.
std::optional<uint32_t> Ref16(const RefDraw& r, uint32_t key, uint32_t color, uint32_t w, uint32_t d) {
  if (RefDrawsNothing(r)) return std::nullopt;
  const bool hasAlpha = r.alphaFlag && !r.palette;
  const int64_t a = hasAlpha ? (key >> 16) & 0xFF : 255;
  bool alphaFactor = hasAlpha;
  if (r.transparentFlag) {
    if (hasAlpha) {
      if (a == 0 && r.mode != 4) return std::nullopt;
      if (a == 255) alphaFactor = false;
    } else if (r.palette ? key == r.transparent : (key & 0xFFFF) == (r.transparent & 0xFFFF)) {
      return std::nullopt;
    }
  }
  const int mode = r.mode == 1 && r.param == 255 ? 0 : r.mode;
  const bool bright = !(r.bright[0] == 255 && r.bright[1] == 255 && r.bright[2] == 255);
  int64_t weight = 1;
  int shift = 0;
  if (r.blendImage) {
    weight *= w;
    shift += 8;
  }
  if (alphaFactor) {
    weight *= a;
    shift += 8;
  }
  if (mode == 0 && shift == 0 && !bright) return color;
  static const int kBits[3] = {5, 6, 5};
  int64_t s[3], dc[3], out[3];
  for (int c = 0; c < 3; c++) {
    const int64_t max = (1 << kBits[c]) - 1;
    s[c] = Field(color, c);
    if (mode == 10) s[c] = max - s[c];
    if (bright) s[c] = r.bright[c] * s[c] / 255;
    dc[c] = Field(d, c);
  }
  const int64_t p = r.param;
  switch (mode) {
    case 0:
      for (int c = 0; c < 3; c++) {
        out[c] = shift == 0 ? s[c] : (dc[c] * (int64_t{1} << shift) + (s[c] - dc[c]) * weight) >> shift;
      }
      return Pack565(out);
    case 1:
    case 10:
    case 11:
      for (int c = 0; c < 3; c++) {
        const int64_t t = mode == 11 ? (s[c] * dc[c]) >> kBits[c] : s[c];
        out[c] = shift == 0 ? dc[c] + (t - dc[c]) * p / 255
                            : (dc[c] * (int64_t{1} << (shift + 8)) + (t - dc[c]) * weight * p) >> (shift + 8);
      }
      return Pack565(out);
    case 4:
      for (int c = 0; c < 3; c++) out[c] = (s[c] * dc[c] * weight) >> (kBits[c] + shift);
      return Pack565(out);
    default:
      break;
  }
  int64_t x[3];
  for (int c = 0; c < 3; c++) x[c] = p * ((s[c] * weight) >> shift) / 255;
  if (mode == 2) {
    const bool blueOver = x[0] + dc[0] > 31;
    out[0] = blueOver ? 31 : x[0] + dc[0];
    const int64_t u = (x[1] >> 1) + (dc[1] >> 1);
    const int64_t lg = ((x[1] | dc[1]) & 1) | (blueOver ? 1 : 0);
    out[1] = u <= 31 ? 2 * u + lg : 62 + lg;
    const int64_t v = (x[2] >> 1) + (dc[2] >> 1);
    const int64_t lr = ((x[2] | dc[2]) & 1) | (u > 31 ? 1 : 0);
    out[2] = v <= 15 ? 2 * v + lr : 31;
  } else {
    out[0] = dc[0] >= x[0] ? dc[0] - x[0] : 0;
    const bool greenKept = (dc[1] >> 1) >= (x[1] >> 1);
    out[1] = greenKept ? 2 * ((dc[1] >> 1) - (x[1] >> 1)) : 0;
    out[2] = (dc[2] >> 1) >= (x[2] >> 1) ? 2 * ((dc[2] >> 1) - (x[2] >> 1)) + (greenKept ? 1 : 0) : 0;
  }
  return Pack565(out);
}

// The 32-bit rules are the blits' reference without an MMX form, except
// that a multiply turns an alpha-0 pixel black even under the flag.
std::optional<uint32_t> Ref32(RefDraw r, uint32_t key, uint32_t color, uint32_t w, uint32_t d) {
  r.mmx = false;
  if (r.mode == 4 && r.alphaFlag && !r.palette && r.transparentFlag && (key >> 24) == 0) {
    r.transparentFlag = false;
  }
  return RefPixel(r, key, color, w, d);
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
  c.dstW = c.srcW + 12;
  c.dstH = c.srcH + 12;
  c.cx = static_cast<int>(rng() % c.dstW);
  c.cy = static_cast<int>(rng() % c.dstH);
  c.scale = rng() % 2 ? 1.0f : -1.0f;
  c.area = {static_cast<int>(rng() % 4), static_cast<int>(rng() % 4), c.dstW - static_cast<int>(rng() % 4),
            c.dstH - static_cast<int>(rng() % 4)};
  c.spanLevel = static_cast<int>(rng() % 4) - 1;
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
    auto randomPixel = [&] {
      return EdgeByte(rng) | EdgeByte(rng) << 8 | EdgeByte(rng) << 16 | EdgeByte(rng) << 24;
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
        const int i = c.scale > 0 ? x - c.cx + c.srcW / 2 : c.cx + c.srcW / 2 - x;
        const int j = c.scale > 0 ? y - c.cy + c.srcH / 2 : c.cy + c.srcH / 2 - y;
        const bool inArea = x >= c.area.left && x < c.area.right && y >= c.area.top && y < c.area.bottom;
        if (inArea && i >= 0 && i < c.srcW && j >= 0 && j < c.srcH) {
          const uint32_t key = readSrc(i, j);
          uint32_t color = key & colorMask;
          if (r.palette) {
            color = c.type == MemImgType32 ? src.Palette()[key]
                                           : static_cast<uint16_t*>(src.img.base->palette)[key];
          }
          const uint32_t w = MemImgBorderTable[blend.Get8(i, j)];
          const auto got = c.type == MemImgType32 ? Ref32(rr, key, color, w, d) : Ref16(rr, key, color, w, d);
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
