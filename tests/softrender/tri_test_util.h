// Helpers of the triangle tests: images, the draw state, coverage maps.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <array>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "graphics/draw_settings.h"
#include "softrender/blend_tables.h"
#include "softrender/memimg.h"
#include "softrender/triangle.h"
#include "blit32_reference.h"

// A MEMIMG released at scope end, its pixels cleared.
struct TriImage : blit32test::Image {
  TriImage(int32_t width, int32_t height, int32_t type, int32_t alpha = 0, int32_t palette = 0,
           uint32_t transparent = 0)
      : Image(width, height, type, palette, alpha, transparent) {
    std::memset(img.pixels, 0, static_cast<size_t>(img.base->pitch) * height);
  }
  uint32_t& At32(int32_t x, int32_t y) const { return reinterpret_cast<uint32_t*>(Row(y))[x]; }
  uint16_t& At16(int32_t x, int32_t y) const { return reinterpret_cast<uint16_t*>(Row(y))[x]; }
  uint8_t& At8(int32_t x, int32_t y) const { return Row(y)[x]; }
  // A pixel of the image's size (a 16-bit one with alpha: 4 bytes).
  uint32_t Pixel(int32_t x, int32_t y) const {
    const int bytes = MemImgBytesPerPixel(img.base);
    uint32_t v = 0;
    std::memcpy(&v, Row(y) + x * bytes, bytes);
    return v;
  }
  void SetPixel(int32_t x, int32_t y, uint32_t v) {
    const int bytes = MemImgBytesPerPixel(img.base);
    std::memcpy(Row(y) + x * bytes, &v, bytes);
  }
  // Any pixel size.
  void Fill(uint32_t value) { FillMemImgRaw(&img, nullptr, value); }
};

// Tables built, default draw state with the draw area (0, 0, width, height),
// border table of weight 255 everywhere.
inline void ResetTriDrawState(int32_t width, int32_t height) {
  static const int built = InitMemImgBlendTables();
  (void)built;
  SetDefaultDrawSettings(width, height);
  g_drawSettings.blendImage = nullptr;
  SetMemImgBorderTable(0, 0);
}

inline void SetTriMode(int32_t mode, int32_t param) {
  g_drawSettings.blendMode = mode;
  g_drawSettings.blendParam = param;
}

inline void SetTriBrightness(int red, int green, int blue) {
  g_drawSettings.brightness[0] = static_cast<uint8_t>(blue);
  g_drawSettings.brightness[1] = static_cast<uint8_t>(green);
  g_drawSettings.brightness[2] = static_cast<uint8_t>(red);
}

// The draw state of one hand-worked pixel case.
struct PixelCase {
  int32_t mode = 0, param = 255;
  int transparent = 0;
  uint8_t red = 255, green = 255, blue = 255;  // brightness
  // Tables, a width x height draw area, and this mode and brightness.
  void Set(int32_t width, int32_t height) const {
    ResetTriDrawState(width, height);
    SetTriMode(mode, param);
    SetTriBrightness(red, green, blue);
  }
};

// Pixel map of a 32-bit image: '#' where the pixel differs from `untouched`.
inline std::vector<std::string> TriCoverage(const TriImage& image, uint32_t untouched = 0) {
  std::vector<std::string> rows;
  for (int32_t y = 0; y < image.img.height; y++) {
    std::string row;
    for (int32_t x = 0; x < image.img.width; x++) row += image.At32(x, y) != untouched ? '#' : '.';
    rows.push_back(row);
  }
  return rows;
}

// Saves the draw state and gives it back afterwards.
using TriTest = blit32test::Blit32Test;

inline TriangleVertex TriV(int32_t x, int32_t y, int32_t u = 0, int32_t v = 0) {
  return TriangleVertex{x, y, u, v};
}

// Seeded random values for the reference tests.
struct TriRng {
  std::mt19937 gen;
  explicit TriRng(uint32_t seed) : gen(seed) {}
  int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(gen); }
  uint32_t Word() { return gen(); }
  // Bytes that sit on the edges of the arithmetic more often than chance.
  int Byte() {
    static const int kEdges[] = {0, 1, 127, 128, 254, 255};
    return Int(0, 2) == 0 ? kEdges[Int(0, 5)] : Int(0, 255);
  }
  int Param() { return Byte() == 0 ? 255 : Byte(); }
};

// Vertices around a dest x dest image (above its top too), texture
// coordinates a little beyond a src x src source.
inline std::array<TriangleVertex, 3> RandomTriangle(TriRng& r, int dest, int src) {
  std::array<TriangleVertex, 3> v;
  for (auto& p : v) {
    p = TriV(r.Int(-6, dest + 6), r.Int(-6, dest + 6), r.Int(-2, src + 2), r.Int(-2, src + 2));
  }
  return v;
}

// White, or a random brightness that is not white.
inline void RandomBrightness(TriRng& r, bool white) {
  if (white) {
    SetTriBrightness(255, 255, 255);
    return;
  }
  int red = r.Byte(), green = r.Byte(), blue = r.Byte();
  if (red == 255 && green == 255 && blue == 255) blue = 254;
  SetTriBrightness(red, green, blue);
}

// One texel drawn over one destination pixel: the triangle maps pixel (0, 0)
// to texel (0, 0) and every other pixel outside the 1 x 1 source.
struct OneTexel {
  uint32_t dest;
  // 32-bit: the pixel; 16-bit: the word (with alpha: word | alpha << 16);
  // palette sources: the index.
  uint32_t texel;
  int32_t mode = BlendNone;
  int32_t param = 255;
  int32_t alphaFlag = 0;
  int32_t transparentFlag = 0;
  uint32_t transparent = 0;
  int blendValue = -1;              // with a blend image of this value
  int bright[3] = {255, 255, 255};  // red, green, blue
  int border[2] = {0, 0};           // border parameter and range
  int32_t type = MemImgType32;      // of the source and the destination
  int32_t palette = 0;
  uint32_t entry = 0;  // palette sources: the entry at the texel's index
};

// The destination pixel (0, 0) after the draw.
inline uint32_t DrawOneTexel(const OneTexel& t) {
  ResetTriDrawState(4, 4);
  SetTriMode(t.mode, t.param);
  SetTriBrightness(t.bright[0], t.bright[1], t.bright[2]);
  SetMemImgBorderTable(t.border[0], t.border[1]);
  const bool wide = t.type == MemImgType32;
  TriImage src(1, 1, t.type, t.alphaFlag, t.palette, t.transparent);
  TriImage dst(4, 4, t.type), blend(1, 1, MemImgTypeBlend8);
  if (t.palette) {
    src.At8(0, 0) = static_cast<uint8_t>(t.texel);
    std::memcpy(static_cast<uint8_t*>(src.img.base->palette) + (t.texel & 0xFF) * (wide ? 4 : 2),
                &t.entry, wide ? 4 : 2);
  } else {
    src.SetPixel(0, 0, t.texel);
  }
  dst.Fill(t.dest);
  blend.At8(0, 0) = static_cast<uint8_t>(t.blendValue);
  const TriangleVertex v[3] = {TriV(0, 0, 0, 0), TriV(4, 0, 4, 0), TriV(0, 4, 0, 4)};
  DrawTriangleMemImg(&dst.img, &src.img, v, t.transparentFlag,
                     t.blendValue >= 0 ? &blend.img : nullptr, 0);
  EXPECT_EQ(dst.Pixel(1, 0), t.dest);  // outside the source
  return dst.Pixel(0, 0);
}
