#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "softrender/memimg.h"

namespace {

std::vector<uint8_t> RunCodes(const MEMIMG& img) {
  std::vector<uint8_t> codes;
  const uint8_t* p = img.base->runTable;
  for (int row = 0; row < img.height; row++) {
    do codes.push_back(*p); while (*p++ != kRunRowEnd);
  }
  return codes;
}

void Put32(MEMIMG& img, int x, int y, uint32_t v) {
  std::memcpy(img.pixels + y * img.base->pitch + x * 4, &v, 4);
}

TEST(TransparencyRunTable, LongRunsSplitAtSixtyFourPixels) {
  MEMIMG img{};
  ASSERT_EQ(CreateMemImg(&img, 70, 2, -1, 0x00123456, MemImgType32, 0, 0, 1, nullptr), 0);
  for (int x = 0; x < 70; x++) {
    Put32(img, x, 0, 0x00123456);
    // The whole pixel is compared: another top byte is not transparent.
    Put32(img, x, 1, x < 66 ? 0x00123456 : 0xFF123456);
  }
  BuildTransparencyRunTable(&img);
  const std::vector<uint8_t> expect = {0x3F, 0x05, 0xC0, 0x3F, 0x01, 0x43, 0xC0};
  EXPECT_EQ(RunCodes(img), expect);
  ReleaseMemImg(&img);
}

TEST(TransparencyRunTable, AlphaClassesOfSixteenBitPixels) {
  MEMIMG img{};
  ASSERT_EQ(CreateMemImg(&img, 6, 1, -1, 0, MemImgType16, 0, 1, 1, nullptr), 0);
  const uint8_t alphas[6] = {0, 0, 255, 128, 128, 255};
  for (int x = 0; x < 6; x++) {
    img.pixels[x * 4 + 0] = 0;  // colour 0: alpha alone decides, not the key
    img.pixels[x * 4 + 1] = 0;
    img.pixels[x * 4 + 2] = alphas[x];
    img.pixels[x * 4 + 3] = 0;
  }
  BuildTransparencyRunTable(&img);
  const std::vector<uint8_t> expect = {0x01, 0x40, 0x81, 0x40, 0xC0};
  EXPECT_EQ(RunCodes(img), expect);
  ReleaseMemImg(&img);
}

TEST(TransparencyRunTable, AlphaOfThirtyTwoBitPixelsIsTheTopByte) {
  MEMIMG img{};
  ASSERT_EQ(CreateMemImg(&img, 4, 1, -1, 0, MemImgType32, 0, 1, 1, nullptr), 0);
  Put32(img, 0, 0, 0x01000000);
  Put32(img, 1, 0, 0xFE000000);
  Put32(img, 2, 0, 0x00FFFFFF);
  Put32(img, 3, 0, 0xFF000000);
  BuildTransparencyRunTable(&img);
  const std::vector<uint8_t> expect = {0x81, 0x00, 0x40, 0xC0};
  EXPECT_EQ(RunCodes(img), expect);
  ReleaseMemImg(&img);
}

TEST(TransparencyRunTable, PaletteAndSixteenBitKeys) {
  MEMIMG pal{};
  ASSERT_EQ(CreateMemImg(&pal, 4, 2, -1, 3, MemImgType32, 1, 0, 1, nullptr), 0);
  const uint8_t rows[2][4] = {{3, 3, 1, 3}, {0, 1, 2, 4}};
  for (int y = 0; y < 2; y++) std::memcpy(pal.pixels + y * pal.base->pitch, rows[y], 4);
  BuildTransparencyRunTable(&pal);
  const std::vector<uint8_t> palExpect = {0x01, 0x40, 0x00, 0xC0, 0x43, 0xC0};
  EXPECT_EQ(RunCodes(pal), palExpect);
  ReleaseMemImg(&pal);

  // A key wider than the pixel never matches.
  MEMIMG img{};
  ASSERT_EQ(CreateMemImg(&img, 3, 1, -1, 0x10000, MemImgType16, 0, 0, 1, nullptr), 0);
  std::memset(img.pixels, 0, 6);
  BuildTransparencyRunTable(&img);
  EXPECT_EQ(RunCodes(img), (std::vector<uint8_t>{0x42, 0xC0}));
  SetMemImgTransparentColor(&img, 0);
  BuildTransparencyRunTable(&img);
  EXPECT_EQ(RunCodes(img), (std::vector<uint8_t>{0x02, 0xC0}));
  ReleaseMemImg(&img);
}

TEST(TransparencyRunTable, UsableOnlyByTheViewItWasBuiltFrom) {
  MEMIMG img{};
  ASSERT_EQ(CreateMemImg(&img, 8, 8, -1, 0, MemImgType32, 0, 0, 1, nullptr), 0);
  MEMIMG left{}, right{};
  DeriveMemImg(&left, &img, 0, 0, 4, 4);
  DeriveMemImg(&right, &img, 4, 0, 4, 4);
  std::memset(img.pixels, 0, img.base->pitch * 8);
  BuildTransparencyRunTable(&left);
  img.base->runTableValid = 1;
  EXPECT_EQ(MemImgRunTableUsable(&left), 1);
  EXPECT_EQ(MemImgRunTableUsable(&right), 0);  // same size, other pixels
  EXPECT_EQ(MemImgRunTableUsable(&img), 0);

  // A new transparent colour makes the table stale; the same one does not.
  SetMemImgTransparentColor(&left, 0);
  EXPECT_EQ(MemImgRunTableUsable(&left), 1);
  SetMemImgTransparentColor(&left, 5);
  EXPECT_EQ(MemImgRunTableUsable(&left), 0);
  EXPECT_EQ(img.base->transparentColor, 5u);
  ReleaseMemImg(&left);
  ReleaseMemImg(&right);
  ReleaseMemImg(&img);
}

// The premultiplied buffer of a 2 x 1 image of the type with alpha, whose
// pixels are the 8 bytes given.
std::vector<uint8_t> Premultiplied(int32_t type, std::vector<uint8_t> pixels) {
  MEMIMG img{};
  if (CreateMemImg(&img, 2, 1, -1, 0, type, 0, 1, 1, nullptr) != 0) return {};
  std::memcpy(img.pixels, pixels.data(), 8);
  BuildPremultipliedBuffer(&img);
  std::vector<uint8_t> out(img.premulPixels, img.premulPixels + 8);
  ReleaseMemImg(&img);
  return out;
}

TEST(PremultipliedBuffer, ChannelsTimesAlphaOver256) {
  using Bytes = std::vector<uint8_t>;
  EXPECT_EQ(Premultiplied(MemImgType32, {200, 100, 50, 128, 255, 255, 255, 255}),
            (Bytes{100, 50, 25, 128, 254, 254, 254, 255}));
  // White at alpha 128: each field halves, 31 -> 15, 63 -> 31, 31 -> 15.
  // 0x8410 (red 16, green 32, blue 16) at alpha 64: 4, 8, 4.
  EXPECT_EQ(Premultiplied(MemImgType16, {0xFF, 0xFF, 128, 0x77, 0x10, 0x84, 64, 0x77}),
            (Bytes{0xEF, 0x7B, 128, 0, 0x04, 0x21, 64, 0}));
}

}  // namespace
