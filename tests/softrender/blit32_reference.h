// Test helpers for the 32-bit blits: images, the draw state, and a slow
// reference of what a drawn pixel becomes, written straight from the rules
// (per channel, in 64-bit, without the packed masks).
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <algorithm>
#include <cstring>
#include <optional>
#include <random>
#include <vector>

#include "core/helpers.h"
#include "graphics/draw_settings.h"
#include "softrender/blend_tables.h"
#include "softrender/blit.h"
#include "softrender/memimg.h"
#include "softrender/pixel_spans32.h"

namespace blit32test {

// A memory image released with its owner.
struct Image {
  MEMIMG img{};
  Image(int w, int h, int type = MemImgType32, int palette = 0, int alpha = 0,
        uint32_t transparent = 0, int extra = 0) {
    EXPECT_EQ(CreateMemImg(&img, w, h, -1, transparent, type, palette, alpha, extra, nullptr), 0);
  }
  ~Image() { ReleaseMemImg(&img); }
  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;
  uint8_t* Row(int y) const { return img.pixels + static_cast<intptr_t>(y) * img.base->pitch; }
  uint32_t Get(int x, int y) const {
    uint32_t v;
    std::memcpy(&v, Row(y) + x * 4, 4);
    return v;
  }
  void Set(int x, int y, uint32_t v) { std::memcpy(Row(y) + x * 4, &v, 4); }
  uint8_t Get8(int x, int y) const { return Row(y)[x]; }
  void Set8(int x, int y, uint8_t v) { Row(y)[x] = v; }
  void Fill(uint32_t v) {
    for (int y = 0; y < img.height; y++)
      for (int x = 0; x < img.width; x++) Set(x, y, v);
  }
  uint32_t* Palette() const { return static_cast<uint32_t*>(img.base->palette); }
  std::vector<uint32_t> Pixels() const {
    std::vector<uint32_t> out;
    for (int y = 0; y < img.height; y++)
      for (int x = 0; x < img.width; x++) out.push_back(Get(x, y));
    return out;
  }
};

// Draw state of one test: mode 0, parameter 255, no brightness, draw area
// (0, 0, w, h), MMX as detected; restored at the end.
class Blit32Test : public ::testing::Test {
 protected:
  void SetUp() override {
    InitMemImgBlendTables();
    SetMemImgBorderTable(0, 0);
    saved_ = g_drawSettings;
    SetState(BlendNone, 255);
    SetBright(255, 255, 255);
    g_drawSettings.drawArea = {0, 0, 4096, 4096};
    SetMmxUsableForTest(1);
  }
  void TearDown() override {
    g_drawSettings = saved_;
    SetMmxUsableForTest(-1);
    SetBlitSpanLevelForTest(-1);
  }
  static void SetState(int32_t mode, int32_t param) {
    g_drawSettings.blendMode = mode;
    g_drawSettings.blendParam = param;
  }
  static void SetBright(uint8_t r, uint8_t g, uint8_t b) {
    g_drawSettings.brightness[0] = b;
    g_drawSettings.brightness[1] = g;
    g_drawSettings.brightness[2] = r;
  }
  static void SetArea(int l, int t, int r, int b) { g_drawSettings.drawArea = {l, t, r, b}; }

 private:
  DrawSettings saved_{};
};

// Everything that decides one drawn pixel.
struct RefDraw {
  int32_t mode = 0;
  int32_t param = 255;
  uint8_t bright[3] = {255, 255, 255};  // blue, green, red
  bool palette = false;
  bool alphaFlag = false;
  bool transparentFlag = false;
  bool blendImage = false;
  bool mmx = true;
  uint32_t transparent = 0;
  bool orderings = true;  // the 16-bit blits' two orderings (the rotated blit has neither)
};

inline uint32_t Byte(uint32_t v, int i) { return (v >> (8 * i)) & 0xFF; }

// Byte values where the rules have edges, and random ones between them.
inline uint32_t EdgeByte(std::mt19937& rng) {
  static const uint32_t kEdges[] = {0, 1, 2, 127, 128, 129, 254, 255};
  return rng() % 3 == 0 ? rng() & 0xFF : kEdges[rng() % 8];
}
inline uint32_t EdgePixel(std::mt19937& rng) {
  return EdgeByte(rng) | EdgeByte(rng) << 8 | EdgeByte(rng) << 16 | EdgeByte(rng) << 24;
}

inline bool RefDrawsNothing(const RefDraw& r) {
  const uint32_t m = static_cast<uint32_t>(r.mode);
  if (m > 11 || (m >= 5 && m <= 9)) return true;
  if (m == 1 && r.param == 0) return true;
  if (m == 2 && r.param == 0) return true;
  if (m == 3 && r.param == 0 && !r.palette) return true;
  return false;
}

// How the transparent flag and the source alpha a treat a pixel: nullopt
// when it is skipped, else whether a is one of its weights.
inline std::optional<bool> RefAlphaWeighs(const RefDraw& r, uint32_t key, int64_t a) {
  const bool hasAlpha = r.alphaFlag && !r.palette;
  if (!r.transparentFlag) return hasAlpha;
  if (hasAlpha) return a == 0 ? std::nullopt : std::optional<bool>(a != 255);
  return key == r.transparent ? std::nullopt : std::optional<bool>(false);
}

// The mode that draws (mode 1 at 255 draws as mode 0).
inline int RefMode(const RefDraw& r) { return r.mode == 1 && r.param == 255 ? 0 : r.mode; }
inline bool RefBright(const RefDraw& r) {
  return !(r.bright[0] == 255 && r.bright[1] == 255 && r.bright[2] == 255);
}

// The new destination pixel, or nullopt when it stays as it was. key is the
// raw source pixel (palette sources: the index), color its colour (palette
// sources: the entry), w the blend-image weight.
inline std::optional<uint32_t> RefPixel(const RefDraw& r, uint32_t key, uint32_t color, uint32_t w,
                                        uint32_t d) {
  if (RefDrawsNothing(r)) return std::nullopt;
  const bool hasAlpha = r.alphaFlag && !r.palette;
  const int64_t a = hasAlpha ? Byte(key, 3) : 255;
  const std::optional<bool> weighs = RefAlphaWeighs(r, key, a);
  if (!weighs) return std::nullopt;
  const bool alphaFactor = *weighs;
  const int mode = RefMode(r);
  const bool bright = RefBright(r);

  if (mode == 3 && r.param == 255 && !r.blendImage && !bright && !hasAlpha) {
    uint32_t out = 0;
    if (r.mmx) {
      for (int i = 0; i < 4; i++) {
        const int64_t v = int64_t{Byte(d, i)} - Byte(color, i);
        out |= static_cast<uint32_t>(v < 0 ? 0 : v) << (8 * i);
      }
      return out;
    }
  }

  // Factors in force and their product.
  std::vector<int64_t> factors;
  if (mode == 1 || mode == 2 || mode == 3 || mode == 10 || mode == 11) factors.push_back(r.param);
  if (r.blendImage) factors.push_back(w);
  if (alphaFactor) factors.push_back(a);
  int64_t f = 1;
  for (int64_t x : factors) f *= x;
  const int k = 8 * static_cast<int>(factors.size());

  int64_t s[3], dc[3];
  for (int c = 0; c < 3; c++) {
    int64_t v = Byte(color, c);
    if (mode == 10) v = 255 - v;
    if (bright) v = r.bright[c] * v / 255;
    s[c] = v;
    dc[c] = Byte(d, c);
  }
  auto move = [&](int64_t dv, int64_t t) { return (dv * (int64_t{1} << k) + (t - dv) * f) >> k; };
  auto keepTop = [&](const int64_t* out) {
    return (d & 0xFF000000u) | static_cast<uint32_t>(out[0]) | static_cast<uint32_t>(out[1]) << 8 |
           static_cast<uint32_t>(out[2]) << 16;
  };
  int64_t out[3];
  switch (mode) {
    case 0:
      if (factors.empty() && !bright) return color;
      for (int c = 0; c < 3; c++) out[c] = factors.empty() ? s[c] : move(dc[c], s[c]);
      return keepTop(out);
    case 1:
    case 10:
      for (int c = 0; c < 3; c++) out[c] = move(dc[c], s[c]);
      return keepTop(out);
    case 11:
      for (int c = 0; c < 3; c++) out[c] = move(dc[c], (s[c] * dc[c]) >> 8);
      return keepTop(out);
    case 4:
      for (int c = 0; c < 3; c++) out[c] = (s[c] * dc[c] * f) >> (8 + k);
      return keepTop(out);
    default:
      break;
  }
  // Modes 2 and 3: the weighted source x, then the saturating byte rules.
  int64_t x[3];
  for (int c = 0; c < 3; c++) x[c] = factors.size() == 1 ? r.param * s[c] / 255 : (s[c] * f) >> k;
  if (mode == 3 && r.param == 255 && !r.blendImage && !bright && !hasAlpha) {
    for (int c = 0; c < 3; c++) x[c] = Byte(color, c);  // the raw source, not through the table
  }
  uint32_t res = 0;
  if (mode == 2) {
    const bool blueOver = x[0] + dc[0] > 255;
    res |= static_cast<uint32_t>(blueOver ? 255 : x[0] + dc[0]);
    bool below = blueOver;
    for (int c = 1; c < 3; c++) {
      const int64_t sum = (x[c] & 0xFE) + (dc[c] & 0xFE);
      int64_t v;
      const bool over = sum > 255;
      if (over) {
        v = 255;
      } else {
        v = sum | ((x[c] | dc[c]) & 1) | (below ? 1 : 0);
      }
      res |= static_cast<uint32_t>(v) << (8 * c);
      below = over;
    }
    res |= (below ? 1u : 0u) << 24;
  } else {
    res |= static_cast<uint32_t>(dc[0] >= x[0] ? dc[0] - x[0] : 0);
    bool lowBit = dc[0] >= x[0];
    for (int c = 1; c < 3; c++) {
      const int64_t dh = dc[c] >> 1, xh = x[c] >> 1;
      const int64_t v = dh >= xh ? 2 * (dh - xh) + (lowBit ? 1 : 0) : 0;
      res |= static_cast<uint32_t>(v) << (8 * c);
      lowBit = dh >= xh;
    }
  }
  return res;
}

// The source columns (or rows) drawn at the destination positions of a
// clipped extent that starts cut pixels after the unclipped edge. With
// X = r + j * 65536 (r: the cut's remainder) the general variants take
// floor(X / step); the copy variants keep a pixel while the counter is
// exactly 0: when they move (n < floor), they move at least one pixel and
// stop at the first n with step * (n + 1) >= X.
inline std::vector<int64_t> RefSourceIndices(int64_t step, int64_t cut, int64_t count,
                                             bool keepOnZero) {
  const int64_t skip = (cut << 16) / step, rem = (cut << 16) % step;
  std::vector<int64_t> out;
  int64_t n = 0;
  for (int64_t j = 0; j < count; j++) {
    if (j > 0) {
      const int64_t x = rem + (j << 16);
      const int64_t floorN = x / step, ceilN = (x + step - 1) / step - 1;
      if (!keepOnZero) {
        n = floorN;
      } else if (n < floorN) {
        n = std::max(n + 1, ceilN);
      }
    }
    out.push_back(skip + n);
  }
  return out;
}

// Whether a draw uses the copy stepping: mode 0 (or 1 at 255) without blend
// image, brightness and alpha, or mode 3 at 255 likewise.
inline bool RefKeepsOnZero(const RefDraw& r) {
  const bool bright = RefBright(r);
  const bool hasAlpha = r.alphaFlag && !r.palette;
  if (r.blendImage || bright || hasAlpha) return false;
  return r.mode == 0 || (r.mode == 1 && r.param == 255) || (r.mode == 3 && r.param == 255);
}

}  // namespace blit32test
