// Helpers of the triangle tests: images, the draw state, coverage maps.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
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
