#include <gtest/gtest.h>
#include <png.h>

#include "core/memory.h"
#include "image/image_api.h"
#include "image/image_loader.h"
#include "tests/support/image_files.h"

namespace {

constexpr uint32_t kAlphaMask = 0xFF000000u;

class PngLoad : public ::testing::Test {
 protected:
  void SetUp() override { blocksBefore_ = MemGetTotals().liveBlocks; }
  void TearDown() override {
    ReleaseGraphImage(&image);
    EXPECT_EQ(MemGetTotals().liveBlocks, blocksBefore_);
  }
  void Load(const PngParams& params) {
    std::vector<uint8_t> file = EncodePng(params);
    ASSERT_EQ(LoadGraphImageFromMemory(file.data(), file.size(), &image), 0);
    ASSERT_EQ(image.width, static_cast<int32_t>(params.width));
    ASSERT_EQ(image.height, static_cast<int32_t>(params.height));
    ASSERT_EQ(image.format.bitsPerPixel, 32);
    ASSERT_EQ(image.pitch, image.width * 4);
  }
  GraphImage image{};
  int64_t blocksBefore_ = 0;
};

TEST_F(PngLoad, RgbComesOutAsX8R8G8B8) {
  PngParams params;
  params.width = 2;
  params.height = 2;
  params.samples = {255, 0, 0, 0, 255, 0, 0, 0, 255, 10, 20, 30};
  Load(params);
  EXPECT_EQ(image.format.alphaMask, 0u);
  EXPECT_EQ(image.format.redMask, 0xFF0000u);
  EXPECT_EQ(PixelAt(image, 0, 0) & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(PixelAt(image, 1, 0) & 0xFFFFFF, 0x00FF00u);
  EXPECT_EQ(PixelAt(image, 0, 1) & 0xFFFFFF, 0x0000FFu);
  EXPECT_EQ(PixelAt(image, 1, 1) & 0xFFFFFF, 0x0A141Eu);
}

TEST_F(PngLoad, RgbaKeepsItsAlpha) {
  PngParams params;
  params.width = 2;
  params.colorType = PNG_COLOR_TYPE_RGBA;
  params.samples = {1, 2, 3, 4, 200, 100, 50, 255};
  Load(params);
  EXPECT_EQ(image.format.alphaMask, kAlphaMask);
  EXPECT_EQ(PixelAt(image, 0, 0), 0x04010203u);
  EXPECT_EQ(PixelAt(image, 1, 0), 0xFFC86432u);
}

TEST_F(PngLoad, GreyOfEveryDepthSpreadsToRgb) {
  PngParams params;
  params.colorType = PNG_COLOR_TYPE_GRAY;
  params.width = 4;
  params.bitDepth = 1;
  params.samples = {0xA0};  // 1, 0, 1, 0
  Load(params);
  EXPECT_EQ(PixelAt(image, 0, 0) & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(PixelAt(image, 1, 0) & 0xFFFFFF, 0u);
  EXPECT_EQ(PixelAt(image, 2, 0) & 0xFFFFFF, 0xFFFFFFu);
  ReleaseGraphImage(&image);

  params.bitDepth = 2;
  params.samples = {0x1B};  // 0, 1, 2, 3 -> 0x00, 0x55, 0xAA, 0xFF
  Load(params);
  EXPECT_EQ(PixelAt(image, 1, 0) & 0xFFFFFF, 0x555555u);
  EXPECT_EQ(PixelAt(image, 2, 0) & 0xFFFFFF, 0xAAAAAAu);
  ReleaseGraphImage(&image);

  params.bitDepth = 16;
  params.width = 1;
  params.samples = {0xAB, 0xCD};  // the high byte survives
  Load(params);
  EXPECT_EQ(PixelAt(image, 0, 0) & 0xFFFFFF, 0xABABABu);
  EXPECT_EQ(image.format.alphaMask, 0u);
}

TEST_F(PngLoad, GreyWithAlphaAndSixteenBitSamples) {
  PngParams params;
  params.colorType = PNG_COLOR_TYPE_GRAY_ALPHA;
  params.samples = {0x40, 0x80};
  Load(params);
  EXPECT_EQ(PixelAt(image, 0, 0), 0x80404040u);
  ReleaseGraphImage(&image);

  params.colorType = PNG_COLOR_TYPE_RGBA;
  params.bitDepth = 16;
  params.samples = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0x7F, 0xFF};
  Load(params);
  EXPECT_EQ(PixelAt(image, 0, 0), 0x7F12569Au);
}

TEST_F(PngLoad, PaletteWithTransparencyGetsAlpha) {
  PngParams params;
  params.colorType = PNG_COLOR_TYPE_PALETTE;
  params.bitDepth = 2;
  params.width = 3;
  params.palette = {255, 0, 0, 0, 255, 0, 0, 0, 255};
  params.paletteAlpha = {0x00, 0x80};  // the third entry stays opaque
  params.samples = {0x18};             // 0, 1, 2
  Load(params);
  EXPECT_EQ(image.format.alphaMask, kAlphaMask);
  EXPECT_EQ(PixelAt(image, 0, 0), 0x00FF0000u);
  EXPECT_EQ(PixelAt(image, 1, 0), 0x8000FF00u);
  EXPECT_EQ(PixelAt(image, 2, 0), 0xFF0000FFu);
  ReleaseGraphImage(&image);

  params.paletteAlpha.clear();
  Load(params);
  EXPECT_EQ(image.format.alphaMask, 0u);
  EXPECT_EQ(PixelAt(image, 0, 0) & 0xFFFFFF, 0xFF0000u);
}

TEST_F(PngLoad, ATransparentColourBecomesAlphaZero) {
  PngParams params;
  params.width = 2;
  params.samples = {0, 0, 0, 1, 1, 1};
  params.hasTransparentColor = true;
  Load(params);
  EXPECT_EQ(image.format.alphaMask, kAlphaMask);
  EXPECT_EQ(PixelAt(image, 0, 0), 0x00000000u);
  EXPECT_EQ(PixelAt(image, 1, 0), 0xFF010101u);
}

TEST_F(PngLoad, InterlacedMatchesPlain) {
  PngParams params;
  params.width = 9;
  params.height = 7;
  for (uint32_t i = 0; i < params.width * params.height; i++) {
    params.samples.insert(params.samples.end(), {uint8_t(i * 3), uint8_t(i * 5), uint8_t(255 - i)});
  }
  Load(params);
  GraphImage plain = image;
  image = {};
  params.interlace = true;
  Load(params);
  for (int y = 0; y < 7; y++)
    for (int x = 0; x < 9; x++) EXPECT_EQ(PixelAt(image, x, y), PixelAt(plain, x, y));
  ReleaseGraphImage(&plain);
}

}  // namespace
