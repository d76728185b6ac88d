// Which pixels a triangle covers, worked out by hand from the 14.18 edge
// rules: pixel-centre offset, truncated slopes, flat and general edges, the
// draw-area clip, truncation toward zero and the refusals.
#include <algorithm>
#include <array>
#include <map>
#include <random>

#include "softrender/triangle_raster.h"
#include "tri_test_util.h"

namespace {

using TriGeometry = TriTest;

// Coverage of a solid mode-0 triangle in a w x h 32-bit image.
std::vector<std::string> Cover(int32_t w, int32_t h, std::array<TriangleVertex, 3> v,
                               IntRect area = {0, 0, 1 << 20, 1 << 20}) {
  ResetTriDrawState(w, h);
  g_drawSettings.drawArea = area;
  TriImage dst(w, h, MemImgType32);
  DrawTriangleMemImg(&dst.img, nullptr, v.data(), 0, nullptr, 0xFFFFFFFFu);
  return TriCoverage(dst);
}

using Rows = std::vector<std::string>;

TEST_F(TriGeometry, FlatTopRightTriangleCoversCentresWithBothEndsIncluded) {
  // Row r runs from column 0 to 10 - r; the bottom vertex's row is not drawn.
  Rows expected = {
      "###########.", "##########..", "#########...", "########....",
      "#######.....", "######......", "#####.......", "####........",
      "###.........", "##..........", "............", "............",
  };
  EXPECT_EQ(Cover(12, 12, {TriV(0, 0), TriV(10, 0), TriV(0, 10)}), expected);
}

TEST_F(TriGeometry, FlatBottomEdgesRoundHalvesUp) {
  // Slopes of 1.25 pixels per row from x = 5.5: left 5.5, 4.25, 3.0, 1.75;
  // right 5.5, 6.75, 8.0, 9.25.
  Rows expected = {
      ".....#......", "....###.....", "...######...", ".#########..", "............",
  };
  EXPECT_EQ(Cover(12, 5, {TriV(5, 0), TriV(0, 4), TriV(10, 4)}), expected);
}

TEST_F(TriGeometry, TruncatedSlopeLeavesAnExactCentreOnTheLeft) {
  // Left edge (0,0)-(1,6): slope 2^18 / 6 truncates to 43690, so row 3's edge
  // is 2 units short of x = 1.0 and the span still starts at column 0.
  Rows expected = {
      "######..", "#####...", "#####...", "####....", ".##.....", ".##.....", "........",
  };
  EXPECT_EQ(Cover(8, 7, {TriV(0, 0), TriV(1, 6), TriV(5, 0)}), expected);
}

TEST_F(TriGeometry, GeneralTriangleSwitchesEdgesAtTheMiddleVertex) {
  // Middle vertex right: the right side goes on from one unit right of it.
  Rows right = {
      "#.......", "###.....", ".####...", ".######.", ".#####..", ".####...", "..##....", "........",
  };
  EXPECT_EQ(Cover(8, 8, {TriV(0, 0), TriV(6, 3), TriV(2, 7)}), right);
  // Its mirror image: the left side takes its second edge.
  Rows left = {
      ".......#", ".....###", "...####.", ".######.", "..#####.", "...####.", "....##..", "........",
  };
  EXPECT_EQ(Cover(8, 8, {TriV(7, 0), TriV(1, 3), TriV(5, 7)}), left);
}

TEST_F(TriGeometry, CoverageDoesNotDependOnVertexOrder) {
  std::mt19937 rng(1234);
  std::uniform_int_distribution<int> coord(-6, 40);
  for (int round = 0; round < 60; round++) {
    std::array<TriangleVertex, 3> v = {TriV(coord(rng), coord(rng)), TriV(coord(rng), coord(rng)),
                                       TriV(coord(rng), coord(rng))};
    if (round == 0) v = {TriV(0, 0), TriV(6, 3), TriV(2, 7)};
    const Rows first = Cover(36, 36, v);
    std::array<int, 3> order = {0, 1, 2};
    while (std::next_permutation(order.begin(), order.end())) {
      EXPECT_EQ(Cover(36, 36, {v[order[0]], v[order[1]], v[order[2]]}), first)
          << "round " << round << " order " << order[0] << order[1] << order[2];
    }
  }
}

TEST_F(TriGeometry, NegativeTopVertexStartsTowardZero) {
  // y = -3 sits at -2.5 rows, which truncates to row -2: the walk covers rows
  // -2 to 5, row y from column 0 to y + 2.
  TriangleSetup s{};
  const TriangleVertex v[3] = {TriV(0, -3), TriV(0, 5), TriV(8, 5)};
  ASSERT_EQ(SetupTriangleGeometry(&s, v, 0), 0);
  s.area = {-100, -100, 100, 100};
  std::map<int32_t, std::pair<int32_t, int32_t>> spans;
  WalkTriangleRows(s, [&](int32_t y, int32_t x, int32_t n) { spans[y] = {x, n}; });
  std::map<int32_t, std::pair<int32_t, int32_t>> expected;
  for (int32_t y = -2; y <= 5; y++) expected[y] = {0, y + 3};
  EXPECT_EQ(spans, expected);

  // Drawn, the rows above the draw area are walked but not written.
  Rows drawn = {
      "###.......", "####......", "#####.....", "######....", "#######...", "########..",
      "..........",
  };
  EXPECT_EQ(Cover(10, 7, {v[0], v[1], v[2]}), drawn);
}

TEST_F(TriGeometry, SpansAreClippedToTheDrawAreaOnEverySide) {
  const std::array<TriangleVertex, 3> v = {TriV(-5, 1), TriV(14, 3), TriV(2, 12)};
  const Rows full = Cover(12, 12, v);
  const IntRect area = {2, 3, 9, 8};
  const Rows clipped = Cover(12, 12, v, area);
  for (int32_t y = 0; y < 12; y++) {
    for (int32_t x = 0; x < 12; x++) {
      const bool inside = x >= area.left && x < area.right && y >= area.top && y < area.bottom;
      EXPECT_EQ(clipped[y][x], inside ? full[y][x] : '.') << x << "," << y;
    }
  }
  // A draw area larger than the image is held to the image.
  TriImage small(4, 4, MemImgType32);
  TriImage guard(4, 4, MemImgType32);
  ResetTriDrawState(4, 4);
  g_drawSettings.drawArea = {-50, -50, 50, 50};
  const TriangleVertex big[3] = {TriV(-20, -20), TriV(40, -20), TriV(-20, 40)};
  DrawTriangleMemImg(&small.img, nullptr, big, 0, nullptr, 0x01020304u);
  for (int32_t y = 0; y < 4; y++) {
    for (int32_t x = 0; x < 4; x++) EXPECT_EQ(small.At32(x, y), 0x01020304u);
  }
}

TEST_F(TriGeometry, ADrawAreaCutsTallTrianglesWithoutMovingTheirEdges) {
  // The walk steps over the rows above the area at once, through the middle
  // vertex or not; what shows inside must be what a full walk draws there.
  TriRng r(2929);
  for (int round = 0; round < 150; round++) {
    std::array<TriangleVertex, 3> v;
    for (auto& p : v) p = TriV(r.Int(-20, 40), r.Int(0, 3) == 0 ? r.Int(-4000, 4000) : r.Int(-10, 30));
    const Rows full = Cover(24, 24, v);
    for (int32_t top = 0; top < 24; top++) {
      const IntRect area = {r.Int(0, 10), top, r.Int(10, 24), r.Int(top, 24)};
      const Rows clipped = Cover(24, 24, v, area);
      for (int32_t y = 0; y < 24; y++) {
        for (int32_t x = 0; x < 24; x++) {
          const bool inside = x >= area.left && x < area.right && y >= area.top && y < area.bottom;
          ASSERT_EQ(clipped[y][x], inside ? full[y][x] : '.') << "round " << round << " at " << x << "," << y;
        }
      }
    }
  }
}

TEST_F(TriGeometry, DegenerateOutOfRangeAndClippedAwayTrianglesDrawNothing) {
  const Rows empty(8, std::string(8, '.'));
  EXPECT_EQ(Cover(8, 8, {TriV(1, 1), TriV(3, 3), TriV(6, 6)}), empty);  // collinear
  EXPECT_EQ(Cover(8, 8, {TriV(1, 2), TriV(5, 2), TriV(7, 2)}), empty);  // one row
  EXPECT_EQ(Cover(8, 8, {TriV(2, 2), TriV(2, 2), TriV(2, 2)}), empty);
  EXPECT_EQ(Cover(8, 8, {TriV(20, 20), TriV(30, 20), TriV(20, 30)}), empty);
  EXPECT_EQ(Cover(8, 8, {TriV(0, 0), TriV(8, 0), TriV(0, 8)}, {0, 0, 0, 8}), empty);

  // Values or differences beyond -8192..8191 would overflow 14.18.
  EXPECT_EQ(Cover(8, 8, {TriV(0, 0), TriV(8192, 0), TriV(0, 8)}), empty);
  EXPECT_EQ(Cover(8, 8, {TriV(0, -8193), TriV(8, 0), TriV(0, 8)}), empty);
  EXPECT_EQ(Cover(8, 8, {TriV(-4000, 0), TriV(4200, 3), TriV(0, 8)}), empty);
  EXPECT_EQ(Cover(8, 8, {TriV(0, -8000), TriV(8, 200), TriV(0, 8)}), empty);
  EXPECT_EQ(Cover(8, 8, {TriV(INT32_MIN, 0), TriV(8, 0), TriV(0, 8)}), empty);
  // A difference of -8192 is in range, its opposite is not; 8191 either way
  // is. The far vertex in each place, both axes.
  for (int far = 0; far < 3; far++) {
    for (int32_t reach : {-8184, -8183}) {
      std::array<TriangleVertex, 3> tall, wide;
      for (int i = 0, near = 0; i < 3; i++) {
        const TriangleVertex v = i == far ? TriV(4, reach) : TriV(8 * near++, 8);
        tall[i] = v;
        wide[i] = TriV(v.y, v.x);
      }
      const bool inRange = reach == -8183;
      EXPECT_EQ(Cover(8, 8, tall) != empty, inRange) << far << " " << reach;
      EXPECT_EQ(Cover(8, 8, wide) != empty, inRange) << far << " " << reach;
    }
  }
  // Just inside the range it draws.
  EXPECT_NE(Cover(8, 8, {TriV(0, 0), TriV(8191, 0), TriV(0, 8)}), empty);

  // A solid triangle ignores u and v, which its callers may leave unset.
  EXPECT_EQ(Cover(8, 8, {TriV(0, 0, INT32_MIN, 99999), TriV(8, 0, 7, INT32_MAX), TriV(0, 8)}),
            Cover(8, 8, {TriV(0, 0), TriV(8, 0), TriV(0, 8)}));
}

}  // namespace
