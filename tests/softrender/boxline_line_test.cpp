// Lines: the stepping in every octant with the end point left out, clipping
// through the line equations (including the stray start pixel it can leave),
// outlines that meet at corners, the list form and the pixel steps of the
// destination kinds. Pixel lists are worked out from the error-term rule.
#include <set>
#include <utility>
#include <vector>

#include "softrender/box_line.h"
#include "tri_test_util.h"

namespace {

using Line = TriTest;
using Pixels = std::set<std::pair<int, int>>;

constexpr uint32_t kInk = 0x00ABCDEF;

// The pixels of a 32-bit image that are not 0.
Pixels Drawn(const TriImage& image) {
  Pixels out;
  for (int y = 0; y < image.img.height; y++)
    for (int x = 0; x < image.img.width; x++)
      if (image.At32(x, y) != 0) out.insert({x, y});
  return out;
}

Pixels DrawOne(int x1, int y1, int x2, int y2, IntRect area = {0, 0, 20, 20}) {
  ResetTriDrawState(20, 20);
  g_drawSettings.drawArea = area;
  TriImage dst(20, 20, MemImgType32);
  DrawLineMemImg(&dst.img, x1, y1, x2, y2, static_cast<int32_t>(kInk));
  return Drawn(dst);
}

TEST_F(Line, EndPointIsLeftOut) {
  Pixels row;
  for (int x = 0; x < 10; x++) row.insert({x, 0});
  EXPECT_EQ(DrawOne(0, 0, 10, 0), row);
  EXPECT_EQ(DrawOne(0, 0, 0, 0), Pixels{});
  // The minor coordinate steps once the error reaches the major length.
  EXPECT_EQ(DrawOne(0, 0, 4, 2), (Pixels{{0, 0}, {1, 0}, {2, 1}, {3, 1}}));
  // Equal lengths step diagonally.
  EXPECT_EQ(DrawOne(0, 0, 3, 3), (Pixels{{0, 0}, {1, 1}, {2, 2}}));
}

TEST_F(Line, EveryOctant) {
  EXPECT_EQ(DrawOne(10, 10, 14, 12), (Pixels{{10, 10}, {11, 10}, {12, 11}, {13, 11}}));
  EXPECT_EQ(DrawOne(10, 10, 6, 12), (Pixels{{10, 10}, {9, 10}, {8, 11}, {7, 11}}));
  EXPECT_EQ(DrawOne(10, 10, 6, 8), (Pixels{{10, 10}, {9, 10}, {8, 9}, {7, 9}}));
  EXPECT_EQ(DrawOne(10, 10, 14, 8), (Pixels{{10, 10}, {11, 10}, {12, 9}, {13, 9}}));
  EXPECT_EQ(DrawOne(10, 10, 12, 14), (Pixels{{10, 10}, {10, 11}, {11, 12}, {11, 13}}));
  EXPECT_EQ(DrawOne(10, 10, 8, 14), (Pixels{{10, 10}, {10, 11}, {9, 12}, {9, 13}}));
  EXPECT_EQ(DrawOne(10, 10, 8, 6), (Pixels{{10, 10}, {10, 9}, {9, 8}, {9, 7}}));
  EXPECT_EQ(DrawOne(10, 10, 12, 6), (Pixels{{10, 10}, {10, 9}, {11, 8}, {11, 7}}));
}

TEST_F(Line, ClippedThroughTheLineEquations) {
  // Area (2, 2)-(8, 8), line (0, 0)-(10, 5): the start moves to x 2 (y 1),
  // then to y 2 (x 4); the end to x 8 (y 4). The same pixels as the
  // unclipped line inside the area.
  EXPECT_EQ(DrawOne(0, 0, 10, 5, {2, 2, 8, 8}), (Pixels{{4, 2}, {5, 2}, {6, 3}, {7, 3}}));
  // Wholly outside: rejected.
  EXPECT_EQ(DrawOne(10, 0, 20, 5, {2, 2, 8, 8}), Pixels{});
  EXPECT_EQ(DrawOne(0, 9, 19, 19, {2, 2, 8, 8}), Pixels{});
}

TEST_F(Line, ClippedStartCanLeaveAStrayPixel) {
  // (0, 0)-(3, 10) cut at x = 1: y1 = trunc(10 / 3) = 3, and the line is
  // stepped afresh from (1, 3). (1, 3) is not a pixel of the whole line,
  // which reaches x = 1 only at y = 4.
  EXPECT_EQ(DrawOne(0, 0, 3, 10, {1, 0, 20, 20}),
            (Pixels{{1, 3}, {1, 4}, {1, 5}, {1, 6}, {2, 7}, {2, 8}, {2, 9}}));
  EXPECT_EQ(DrawOne(0, 0, 3, 10), (Pixels{{0, 0}, {0, 1}, {0, 2}, {0, 3}, {1, 4}, {1, 5}, {1, 6},
                                           {2, 7}, {2, 8}, {2, 9}}));
}

TEST_F(Line, OutlineBrightensEachCornerOnce) {
  ResetTriDrawState(10, 8);
  SetTriMode(2, 255);
  TriImage dst(10, 8, MemImgType32);
  const LineRecord edges[4] = {{2, 2, 6, 2, 0x101010, 0},
                               {6, 2, 6, 5, 0x101010, 0},
                               {6, 5, 2, 5, 0x101010, 0},
                               {2, 5, 2, 2, 0x101010, 0}};
  DrawLineListMemImg(&dst.img, edges, 4);
  for (int y = 0; y < 8; y++) {
    for (int x = 0; x < 10; x++) {
      const bool edge = ((y == 2 || y == 5) && x >= 2 && x <= 6) || ((x == 2 || x == 6) && y >= 2 && y <= 5);
      ASSERT_EQ(dst.At32(x, y), edge ? 0x00101010u : 0u) << x << "," << y;
    }
  }
}

TEST_F(Line, ListDrawsInOrderAndIgnoresEmptyCounts) {
  ResetTriDrawState(6, 2);
  TriImage dst(6, 2, MemImgType32);
  const LineRecord lines[2] = {{0, 0, 4, 0, 0x111111, 99}, {2, 0, 6, 0, 0x222222, 0}};
  DrawLineListMemImg(&dst.img, lines, 0);
  DrawLineListMemImg(&dst.img, lines, -1);
  EXPECT_EQ(Drawn(dst), Pixels{});
  DrawLineListMemImg(&dst.img, lines, 2);
  const uint32_t want[6] = {0x111111, 0x111111, 0x222222, 0x222222, 0x222222, 0x222222};
  for (int x = 0; x < 6; x++) EXPECT_EQ(dst.At32(x, 0), want[x]) << x;
}

TEST_F(Line, BlendModesAndBrightnessAsTheBoxFill) {
  ResetTriDrawState(4, 1);
  TriImage dst(4, 1, MemImgType32);
  dst.Fill(0x80402010);
  SetTriMode(1, 128);
  SetTriBrightness(128, 255, 255);
  DrawLineMemImg(&dst.img, 0, 0, 2, 0, 0x00F0E0D0);
  EXPECT_EQ(dst.At32(0, 0), 0x805C7F6Fu);
  EXPECT_EQ(dst.At32(1, 0), 0x805C7F6Fu);
  EXPECT_EQ(dst.At32(2, 0), 0x80402010u);
  SetTriMode(1, 0);
  DrawLineMemImg(&dst.img, 0, 0, 4, 0, 0x00FFFFFF);
  EXPECT_EQ(dst.At32(3, 0), 0x80402010u);
}

TEST_F(Line, PixelStepsOfEachDestinationKind) {
  ResetTriDrawState(4, 3);
  // 16-bit pixels.
  TriImage d16(4, 3, MemImgType16);
  DrawLineMemImg(&d16.img, 0, 0, 3, 3, 0xF81F);
  EXPECT_EQ(d16.At16(1, 1), 0xF81Fu);
  EXPECT_EQ(d16.At16(2, 1), 0u);
  // A 32-bit image with alpha: the colour's fourth byte lands in the alpha.
  TriImage a32(4, 3, MemImgType32, 1);
  DrawLineMemImg(&a32.img, 0, 1, 4, 1, static_cast<int32_t>(0x7F123456));
  EXPECT_EQ(a32.At32(3, 1), 0x7F123456u);
  // A 16-bit image with alpha steps 4 bytes and writes the colour word.
  TriImage a16(4, 3, MemImgType16, 1);
  a16.At32(2, 2) = 0xAB000000u;
  DrawLineMemImg(&a16.img, 0, 2, 4, 2, 0x1234);
  EXPECT_EQ(a16.At32(2, 2), 0xAB001234u);
  // Palette images are refused: their 1-byte pixels cannot take the colour.
  TriImage pal(4, 3, MemImgType32, 0, 1);
  DrawLineMemImg(&pal.img, 0, 0, 4, 0, 0x7F);
  EXPECT_EQ(pal.At8(0, 0), 0u);
}

TEST_F(Line, ExtremeCoordinatesStayInsideTheArea) {
  ResetTriDrawState(20, 20);
  g_drawSettings.drawArea = {3, 4, 15, 16};
  TriImage dst(20, 20, MemImgType32);
  const int32_t v[] = {INT32_MIN, -100000, 0, 9, 100000, INT32_MAX};
  for (int32_t x1 : v)
    for (int32_t y1 : v)
      for (int32_t x2 : v)
        for (int32_t y2 : v) DrawLineMemImg(&dst.img, x1, y1, x2, y2, static_cast<int32_t>(kInk));
  for (const auto& [x, y] : Drawn(dst)) {
    ASSERT_TRUE(x >= 3 && x < 15 && y >= 4 && y < 16) << x << "," << y;
  }
  // An empty area draws nothing.
  TriImage none(20, 20, MemImgType32);
  g_drawSettings.drawArea = {5, 5, 5, 9};
  DrawLineMemImg(&none.img, 0, 6, 19, 6, static_cast<int32_t>(kInk));
  EXPECT_EQ(Drawn(none), Pixels{});
}

}  // namespace
