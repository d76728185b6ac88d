// The YUV to RGB conversion against values worked out by hand from the
// BT.601 factors (14-bit tables for 4:2:0, the floating-point formula for
// other layouts), and the packing of planes into the device layouts.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "movie/yuv_convert.h"

namespace {

struct Rgb {
  int r, g, b;
  bool operator==(const Rgb&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Rgb& c) {
  return out << "(" << c.r << "," << c.g << "," << c.b << ")";
}

// Converts and reads back each pixel, checking the fourth byte is 255.
std::vector<Rgb> Convert(const YuvPlanes& planes, int width, int height) {
  InitYuvToRgbTables();
  std::vector<uint8_t> out(static_cast<size_t>(width * height * 4) + 8, 0xEE);
  ConvertYuvToBgrx(planes, out.data(), width * 4, width, height);
  std::vector<Rgb> pixels;
  for (int i = 0; i < width * height; i++) {
    EXPECT_EQ(out[i * 4 + 3], 255) << "pixel " << i;
    pixels.push_back({out[i * 4 + 2], out[i * 4 + 1], out[i * 4 + 0]});
  }
  EXPECT_EQ(out[width * height * 4], 0xEE) << "written past the picture";
  return pixels;
}

// 4 x 2 pixels in two 2 x 2 blocks: the left block grey chroma, the right
// one Cr 0. Sums below zero are cut toward zero before the clamp; luma 235
// gives 254, not 255.
TEST(YuvConvert, FixedPointBlocksShareTheirChroma) {
  const uint8_t y[8] = {16, 235, 0, 16, 255, 128, 235, 128};
  const uint8_t cb[2] = {128, 128};
  const uint8_t cr[2] = {128, 0};
  const YuvPlanes planes{y, cb, cr, 4, 2, 4, 2, 1, 2};
  const std::vector<Rgb> expected = {
      {0, 0, 0},       {254, 254, 254}, {0, 85, 0},  {0, 104, 0},
      {255, 255, 255}, {130, 130, 130}, {50, 255, 254}, {0, 234, 130},
  };
  EXPECT_EQ(Convert(planes, 4, 2), expected);
}

// Saturated and mid colours, each a 2 x 2 block of one (Y, Cb, Cr).
TEST(YuvConvert, FixedPointColours) {
  struct Case {
    uint8_t y, cb, cr;
    Rgb rgb;
  };
  const Case cases[] = {
      {81, 90, 240, {254, 0, 0}},   {145, 54, 34, {0, 255, 0}},     {41, 240, 110, {0, 0, 255}},
      {170, 166, 16, {0, 255, 255}}, {100, 150, 90, {37, 120, 142}}, {128, 128, 128, {130, 130, 130}},
  };
  for (const Case& c : cases) {
    const uint8_t y[4] = {c.y, c.y, c.y, c.y};
    const YuvPlanes planes{y, &c.cb, &c.cr, 2, 2, 2, 1, 1, 1};
    EXPECT_EQ(Convert(planes, 2, 2), std::vector<Rgb>(4, c.rgb)) << int(c.y) << " " << int(c.cb) << " " << int(c.cr);
  }
}

// 4:4:4 and 4:2:2 go through the formula; 4:2:2 takes every second chroma
// sample for two pixels. Strides wider than the rows are honoured.
TEST(YuvConvert, OtherLayoutsUseTheFormula) {
  const uint8_t y444[2] = {100, 81};
  const uint8_t cb444[2] = {150, 90};
  const uint8_t cr444[2] = {90, 240};
  EXPECT_EQ(Convert({y444, cb444, cr444, 2, 1, 2, 2, 1, 2}, 2, 1),
            (std::vector<Rgb>{{37, 120, 142}, {254, 0, 0}}));

  // Two rows of 4 luma, 2 chroma each, stride 8 and 5.
  const uint8_t y422[16] = {16, 235, 100, 100, 9, 9, 9, 9, 235, 16, 81, 81, 9, 9, 9, 9};
  const uint8_t cb422[10] = {128, 150, 9, 9, 9, 128, 90, 9, 9, 9};
  const uint8_t cr422[10] = {128, 90, 9, 9, 9, 128, 240, 9, 9, 9};
  EXPECT_EQ(Convert({y422, cb422, cr422, 4, 2, 8, 2, 2, 5}, 4, 2),
            (std::vector<Rgb>{{0, 0, 0}, {254, 254, 254}, {37, 120, 142}, {37, 120, 142},
                              {254, 254, 254}, {0, 0, 0}, {254, 0, 0}, {254, 0, 0}}));
}

// A 4 x 2 frame: luma 1..8, Cb 0xB0/0xB1, Cr 0xC0/0xC1.
TEST(YuvConvert, PackingIntoDeviceLayouts) {
  const uint8_t y[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  const uint8_t cb[2] = {0xB0, 0xB1};
  const uint8_t cr[2] = {0xC0, 0xC1};
  const YuvPlanes planes{y, cb, cr, 4, 2, 4, 2, 1, 2};
  struct Case {
    uint32_t fourCC;
    int pitch;
    std::vector<uint8_t> bytes;  // 0 where nothing is written
  };
  const Case cases[] = {
      // Luma rows at the pitch, then Cr and then Cb at half the pitch.
      {kFourCCYV12, 6, {1, 2, 3, 4, 0, 0, 5, 6, 7, 8, 0, 0, 0xC0, 0xC1, 0, 0xB0, 0xB1, 0}},
      {kFourCCYUY2, 8, {1, 0xB0, 2, 0xC0, 3, 0xB1, 4, 0xC1, 5, 0xB0, 6, 0xC0, 7, 0xB1, 8, 0xC1}},
      {kFourCCUYVY, 8, {0xB0, 1, 0xC0, 2, 0xB1, 3, 0xC1, 4, 0xB0, 5, 0xC0, 6, 0xB1, 7, 0xC1, 8}},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> out(c.bytes.size(), 0);
    EXPECT_TRUE(PackYuvPlanes(planes, c.fourCC, out.data(), c.pitch));
    EXPECT_EQ(out, c.bytes) << std::hex << c.fourCC;
  }
  // Only 4:2:0 frames are packed.
  std::vector<uint8_t> out(32, 0);
  EXPECT_FALSE(PackYuvPlanes({y, cb, cr, 4, 2, 4, 2, 2, 2}, kFourCCYUY2, out.data(), 8));
  EXPECT_EQ(out, std::vector<uint8_t>(32, 0));
}

}  // namespace
