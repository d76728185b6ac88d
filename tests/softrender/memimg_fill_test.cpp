#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "softrender/memimg.h"

namespace {

uint32_t Pixel32(const MEMIMG& img, int x, int y) {
  uint32_t v;
  std::memcpy(&v, img.pixels + y * img.base->pitch + x * 4, 4);
  return v;
}

uint16_t Pixel16(const MEMIMG& img, int x, int y) {
  uint16_t v;
  std::memcpy(&v, img.pixels + y * img.base->pitch + x * 2, 2);
  return v;
}

TEST(MemImgFill, RectangleOfFourBytePixels) {
  MEMIMG img{};
  ASSERT_EQ(CreateMemImg(&img, 6, 6, -1, 0, MemImgType32, 0, 0, 0, nullptr), 0);
  FillMemImgRaw(&img, nullptr, 0x11223344);
  const IntRect r{2, 2, 4, 5};
  FillMemImgRaw(&img, &r, 0x00FF00FF);
  int written = 0;
  for (int y = 0; y < 6; y++) {
    for (int x = 0; x < 6; x++) {
      const bool inside = x >= 2 && x < 4 && y >= 2 && y < 5;
      EXPECT_EQ(Pixel32(img, x, y), inside ? 0x00FF00FFu : 0x11223344u) << x << "," << y;
      written += inside;
    }
  }
  EXPECT_EQ(written, 6);
  ReleaseMemImg(&img);
}

TEST(MemImgFill, ClipsToTheImageAndSkipsEmptyRectangles) {
  MEMIMG img{};
  ASSERT_EQ(CreateMemImg(&img, 5, 4, -1, 0, MemImgType16, 0, 0, 0, nullptr), 0);
  FillMemImgRaw(&img, nullptr, 0xABCD1234);  // low 16 bits only
  EXPECT_EQ(Pixel16(img, 4, 3), 0x1234);

  const IntRect hanging{-3, -3, 2, 100};
  FillMemImgRaw(&img, &hanging, 0x7);
  for (int y = 0; y < 4; y++) {
    for (int x = 0; x < 5; x++) EXPECT_EQ(Pixel16(img, x, y), x < 2 ? 0x7 : 0x1234);
  }

  // Wholly outside, and inverted: nothing.
  const IntRect outside{5, 0, 9, 4};
  const IntRect inverted{4, 3, 1, 0};
  FillMemImgRaw(&img, &outside, 0x9);
  FillMemImgRaw(&img, &inverted, 0x9);
  for (int y = 0; y < 4; y++) {
    for (int x = 0; x < 5; x++) EXPECT_NE(Pixel16(img, x, y), 0x9);
  }
  ReleaseMemImg(&img);
}

TEST(MemImgFill, ViewsClipToTheirOwnSize) {
  MEMIMG img{};
  ASSERT_EQ(CreateMemImg(&img, 8, 8, -1, 0, MemImgTypeBlend8, 0, 0, 0, nullptr), 0);
  FillMemImgRaw(&img, nullptr, 0);
  MEMIMG view{};
  DeriveMemImg(&view, &img, 3, 2, 2, 3);
  const IntRect big{-10, -10, 100, 100};
  FillMemImgRaw(&view, &big, 0x1FF);  // low byte
  int count = 0;
  for (int y = 0; y < 8; y++) {
    for (int x = 0; x < 8; x++) {
      const uint8_t v = img.pixels[y * img.base->pitch + x];
      const bool inside = x >= 3 && x < 5 && y >= 2 && y < 5;
      EXPECT_EQ(v, inside ? 0xFF : 0) << x << "," << y;
      count += inside;
    }
  }
  EXPECT_EQ(count, 6);
  ReleaseMemImg(&view);
  ReleaseMemImg(&img);
}

}  // namespace
