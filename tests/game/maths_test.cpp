// The shared helpers: hit-test edges, angles on a turn of 6.28318, and the
// random pickers under scripted draws.
#include <gtest/gtest.h>

#include <cmath>

#include "game/maths.h"
#include "tests/game/game_harness.h"

namespace {

TEST(Maths, HitTestEdges) {
  // Width 224 reaches 112 each side, width 17 only 8.
  EXPECT_TRUE(PointInCentredRect(726, 490, 224, 32, 614, 474));
  EXPECT_TRUE(PointInCentredRect(726, 490, 224, 32, 838, 506));
  EXPECT_FALSE(PointInCentredRect(726, 490, 224, 32, 613, 490));
  EXPECT_FALSE(PointInCentredRect(726, 490, 224, 32, 726, 507));
  EXPECT_TRUE(PointInCentredRect(100, 100, 17, 17, 92, 108));
  EXPECT_FALSE(PointInCentredRect(100, 100, 17, 17, 91, 100));
  EXPECT_TRUE(PointInRect(10, 20, 5, 5, 15, 25));
  EXPECT_FALSE(PointInRect(10, 20, 5, 5, 16, 25));
  EXPECT_FALSE(InCircle(0, 0, 5, 3, 4));  // on the circle
  EXPECT_TRUE(InCircle(0, 0, 5, 3, 3));
  EXPECT_FALSE(InCircle(-2000000000, 0, 5, 2000000000, 0));  // no overflow far apart

  // Beside the segment, behind its start and beyond its end; the radius itself touches.
  EXPECT_TRUE(SegmentTouchesCircle(0, 0, 10, 0, 5, 3, 3));
  EXPECT_FALSE(SegmentTouchesCircle(0, 0, 10, 0, 5, 3, 2.9f));
  EXPECT_TRUE(SegmentTouchesCircle(0, 0, 10, 0, -3, 0, 3));
  EXPECT_FALSE(SegmentTouchesCircle(0, 0, 10, 0, -3.5f, 0, 3));
  EXPECT_TRUE(SegmentTouchesCircle(0, 0, 10, 0, 13, 0, 3));
  EXPECT_FALSE(SegmentTouchesCircle(0, 0, 10, 0, 13.5f, 0, 3));
}

TEST(Maths, AnglesOnTheGamesTurn) {
  EXPECT_NEAR(AngleDelta(0.1f, 6.2f), -0.18318f, 2e-6);
  EXPECT_NEAR(AngleDelta(6.2f, 0.1f), 0.18318f, 2e-6);
  EXPECT_NEAR(AngleDelta(-0.1f, 0.2f), 0.3f, 2e-6);
  EXPECT_EQ(AngleDelta(0.0f, kHalfTurn), kHalfTurn);  // a half turn is positive
  EXPECT_EQ(TurnDirection(1.0f, 1.0f), 1);
  EXPECT_EQ(TurnDirection(0.1f, 6.2f), -1);
  EXPECT_EQ(TurnDirection(6.2f, 0.1f), 1);

  float a = -0.5f;
  WrapAngle(a);
  EXPECT_NEAR(a, 5.78318f, 1e-6);
  a = kFullTurn;  // a full turn is not above itself
  WrapAngle(a);
  EXPECT_EQ(a, kFullTurn);
  a = 3.0e30f;  // far too large for turn-by-turn steps: must still end, in range
  WrapAngle(a);
  EXPECT_TRUE(a >= 0.0f && a <= kFullTurn);
  EXPECT_LE(std::fabs(AngleDelta(-1.0e20f, 1.0f)), kHalfTurn);

  // Bounces: x reversed keeps the y part, and the other way round.
  EXPECT_NEAR(FlipAngleX(0.5f), kHalfTurn - 0.5f, 1e-4);
  EXPECT_NEAR(FlipAngleY(0.5f), -0.5f, 1e-4);
  EXPECT_EQ(DistanceSquared(1, 2, 4, 6), 25.0f);
}

TEST(Maths, PickersBreakTiesByCoinFlipsInOrder) {
  const struct {
    const char* name;
    std::vector<int> flips;
    std::function<int()> pick;
    int index;
    size_t draws;
  } cases[] = {
      {"six zeros", {1, 0, 1, 0, 0, 0},
       [] {
         const int32_t v[6] = {};
         return IndexOfMax(v);
       },
       2, 6},
      {"all negative", {},
       [] {
         const int32_t v[6] = {-1, -2, -3, -4, -5, -6};
         return IndexOfMax(v);
       },
       0, 0},
      {"equal maxima", {0, 1},
       [] {
         const int32_t v[6] = {3, 7, 7, 2, 7, 1};
         return IndexOfMax(v);
       },
       4, 2},
      {"four scores", {0, 1},
       [] {
         const float s[4] = {0.5f, 0.5f, 0.2f, 0.5f};
         return PickMaxOf4(s);
       },
       3, 2},
      {"smallest", {1},
       [] {
         const float s[4] = {5.0f, 3.0f, 3.0f, 4.0f};
         return PickMinOf(s, 3);
       },
       2, 1},
      {"nothing below the start", {0},
       [] {
         const float s[2] = {999999.875f, 2000000.0f};
         return PickMinOf(s, 1);
       },
       0, 1},
      {"no scores", {},
       [] { return PickMinOf(nullptr, -1); },
       0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedRandom random(c.flips);
    EXPECT_EQ(c.pick(), c.index);
    EXPECT_EQ(random.maxima, std::vector<int>(c.draws, 1));
  }

  ScriptedRandom random({314159});
  EXPECT_EQ(RandomFloat(kFullTurn), 3.14159f);
  EXPECT_EQ(random.maxima, std::vector<int>{628318});
}

}  // namespace
