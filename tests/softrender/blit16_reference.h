// Test helpers for the 16-bit blits: image access, and the blits' reference
// pixel: the field rules of pixel16_reference.h with the blits' transparent
// compare.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "tests/softrender/blit32_reference.h"
#include "tests/softrender/pixel16_reference.h"

namespace blit16test {

using blit32test::RefDraw;

// A 16-bit image (4-byte pixels with alpha) or a palette image of type 0.
struct Image16 : blit32test::Image {
  Image16(int w, int h, int palette = 0, int alpha = 0, uint32_t transparent = 0, int extra = 0)
      : Image(w, h, MemImgType16, palette, alpha, transparent, extra) {}
  uint16_t Get16(int x, int y) const {
    uint16_t v;
    std::memcpy(&v, Row(y) + x * 2, 2);
    return v;
  }
  void Set16(int x, int y, uint16_t v) { std::memcpy(Row(y) + x * 2, &v, 2); }
  void Fill16(uint16_t v) { FillMemImgRaw(&img, nullptr, v); }
  uint16_t* Palette16() const { return static_cast<uint16_t*>(img.base->palette); }
  std::vector<uint16_t> Pixels16() const {
    std::vector<uint16_t> out;
    for (int y = 0; y < img.height; y++)
      for (int x = 0; x < img.width; x++) out.push_back(Get16(x, y));
    return out;
  }
};

constexpr uint16_t Rgb16(int r, int g, int b) { return static_cast<uint16_t>(r << 11 | g << 5 | b); }

// The new destination word of a blit, or nullopt when it stays. The
// whole-word copies of a direct-colour source (mode 0, or 1 at 255, without
// blend image and brightness) compare the colour word with the transparent
// colour's low 16 bits; every other member with all 32.
inline std::optional<uint16_t> RefBlitPixel16(RefDraw r, uint32_t key, uint32_t color, uint32_t w,
                                              uint16_t dest) {
  const bool bright = !(r.bright[0] == 255 && r.bright[1] == 255 && r.bright[2] == 255);
  const bool copy = r.mode == 0 || (r.mode == 1 && r.param == 255);
  if (copy && !r.palette && !r.blendImage && !bright) r.transparent &= 0xFFFF;
  return pixel16test::RefPixel16(r, key, color, w, dest);
}

// Draw state of one 16-bit test, as the 32-bit tests set it up.
using Blit16Test = blit32test::Blit32Test;

}  // namespace blit16test
