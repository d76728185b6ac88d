// A triangle whose top vertex lies above row 0 starts one row low (truncation
// toward zero); when its middle vertex is on the left and at or below row 0,
// the walk must go on to the next row rather than back to the middle
// vertex's own, or that row is drawn twice.
#include <algorithm>

#include "tri_test_util.h"

namespace {

using Tri2Rows = TriTest;

constexpr int kW = 17, kH = 16;

std::vector<std::string> SolidCoverage(const std::array<TriangleVertex, 3>& v) {
  ResetTriDrawState(kW, kH);
  TriImage dst(kW, kH, MemImgType32);
  DrawTriangleMemImg(&dst.img, nullptr, v.data(), 0, nullptr, 0xFFFFFFFFu);
  return TriCoverage(dst);
}

TEST_F(Tri2Rows, MiddleVertexOnTheLeftCoversTheMirrorImage) {
  // Top (8, -3) starts at row -2. Left edge to (0, 5): row y from column
  // 6 - y, rows -2..5; then on to (8, 13): row y from column y - 6, rows
  // 6..13. The long edge keeps column 8.
  std::vector<std::string> expected;
  for (int y = 0; y < kH; y++) {
    std::string row(kW, '.');
    if (y <= 13) {
      const int from = y <= 5 ? 6 - y : y - 6;
      std::fill(row.begin() + from, row.begin() + 9, '#');
    }
    expected.push_back(row);
  }
  const auto left = SolidCoverage({TriV(8, -3), TriV(0, 5), TriV(8, 13)});
  EXPECT_EQ(left, expected);

  // The mirror image around column 8 has its middle vertex on the right.
  auto mirrored = SolidCoverage({TriV(8, -3), TriV(16, 5), TriV(8, 13)});
  for (auto& row : mirrored) std::reverse(row.begin(), row.end());
  EXPECT_EQ(mirrored, left);
}

TEST_F(Tri2Rows, BlendedTrianglesCrossingTheTopDrawEachRowOnce) {
  // Adding blue 1 shows a row drawn twice as 2; solid and textured alike.
  TriRng r(99);
  TriImage src(4, 4, MemImgType32);
  src.Fill(0x00000001);
  for (int round = 0; round < 200; round++) {
    const auto v = RandomTriangle(r, kW, 4);
    for (MEMIMG* source : {static_cast<MEMIMG*>(nullptr), &src.img}) {
      ResetTriDrawState(kW, kH);
      SetTriMode(BlendAdd, 255);
      TriImage dst(kW, kH, MemImgType32);
      DrawTriangleMemImg(&dst.img, source, v.data(), 0, nullptr, 0x00000001);
      for (int y = 0; y < kH; y++) {
        for (int x = 0; x < kW; x++) {
          ASSERT_LE(dst.At32(x, y), 1u) << "round " << round << " at " << x << "," << y;
        }
      }
    }
  }
}

}  // namespace
