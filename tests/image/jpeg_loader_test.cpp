#include <gtest/gtest.h>

#include <cstdlib>

#include "core/memory.h"
#include "image/image_api.h"
#include "tests/support/image_files.h"

namespace {

int Channel(uint32_t pixel, int shift) { return static_cast<int>((pixel >> shift) & 0xFF); }

void ExpectNear(uint32_t pixel, int r, int g, int b, int tolerance) {
  EXPECT_NEAR(Channel(pixel, 16), r, tolerance) << std::hex << pixel;
  EXPECT_NEAR(Channel(pixel, 8), g, tolerance) << std::hex << pixel;
  EXPECT_NEAR(Channel(pixel, 0), b, tolerance) << std::hex << pixel;
}

class JpegLoad : public ::testing::Test {
 protected:
  void SetUp() override { blocksBefore_ = MemGetTotals().liveBlocks; }
  void TearDown() override {
    ReleaseGraphImage(&image);
    EXPECT_EQ(MemGetTotals().liveBlocks, blocksBefore_);
  }
  GraphImage image{};
  int64_t blocksBefore_ = 0;
};

TEST_F(JpegLoad, FlatGreyDecodesExactly) {
  // A flat block has only its DC term, which quality 100 keeps exactly.
  std::vector<uint8_t> file = EncodeJpeg(16, 8, 1, std::vector<uint8_t>(16 * 8, 128));
  ASSERT_EQ(LoadGraphImageFromMemory(file.data(), file.size(), &image), 0);
  EXPECT_EQ(image.width, 16);
  EXPECT_EQ(image.height, 8);
  EXPECT_EQ(image.format.alphaMask, 0u);
  EXPECT_EQ(image.format.redMask, 0xFF0000u);
  for (int y = 0; y < 8; y++)
    for (int x = 0; x < 16; x++) ASSERT_EQ(PixelAt(image, x, y) & 0xFFFFFF, 0x808080u);
}

TEST_F(JpegLoad, ColourHalvesKeepTheirColours) {
  // Left 8 columns orange, right 8 blue: blocks of one colour each.
  std::vector<uint8_t> samples;
  for (int y = 0; y < 8; y++)
    for (int x = 0; x < 16; x++) samples.insert(samples.end(), {x < 8 ? uint8_t(250) : uint8_t(20),
                                                                x < 8 ? uint8_t(128) : uint8_t(40),
                                                                x < 8 ? uint8_t(10) : uint8_t(200)});
  for (bool progressive : {false, true}) {
    std::vector<uint8_t> file = EncodeJpeg(16, 8, 3, samples, 100, progressive);
    ASSERT_EQ(LoadGraphImageFromMemory(file.data(), file.size(), &image), 0);
    ExpectNear(PixelAt(image, 2, 3), 250, 128, 10, 3);
    ExpectNear(PixelAt(image, 13, 5), 20, 40, 200, 3);
    ReleaseGraphImage(&image);
  }
}

TEST_F(JpegLoad, CmykWithAnAdobeMarkerIsInverted) {
  // Stored inverted: C = 255 and K = 255 mean no cyan ink and no black: red full.
  std::vector<uint8_t> samples;
  for (int i = 0; i < 64; i++) samples.insert(samples.end(), {255, 0, 255, 255});
  std::vector<uint8_t> file = EncodeJpeg(8, 8, 4, samples);
  ASSERT_EQ(LoadGraphImageFromMemory(file.data(), file.size(), &image), 0);
  ExpectNear(PixelAt(image, 4, 4), 255, 0, 255, 2);
}

}  // namespace
