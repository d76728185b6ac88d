#include "core/helpers.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>

namespace {

// The first words of MT19937 seeded with 5489 are 3499211612, 581869302,
// 3890346734, 3586334585 and 545404204; each result is the upper half of
// word * (max + 1).
TEST(GetRandomValue, MapsTheTwisterWordOntoZeroToMaxByTheUpperHalfOfTheProduct) {
  SeedRandom(5489);
  EXPECT_EQ(GetRandomValue(99), 81);                 // 3499211612 * 100 / 2^32 = 81.47
  EXPECT_EQ(GetRandomValue(0), 0);                   // max 0 gives 0 and still takes a word
  EXPECT_EQ(GetRandomValue(INT_MAX), 1945173367);    // 3890346734 * 2^31 / 2^32
  EXPECT_EQ(GetRandomValue(1), 1);                   // 3586334585 > 2^31
  EXPECT_EQ(GetRandomValue(5), 0);                   // 545404204 * 6 / 2^32 = 0.76
}

TEST(GetRandomValue, StaysInsideTheRangeAndReachesBothEnds) {
  SeedRandom(1);
  int seen[7] = {};
  for (int i = 0; i < 2000; i++) {
    int v = GetRandomValue(6);
    ASSERT_GE(v, 0);
    ASSERT_LE(v, 6);
    seen[v]++;
  }
  for (int count : seen) EXPECT_GT(count, 0);
}

IntRect Clip(IntRect rect, IntRect clip) {
  EXPECT_EQ(ClipRectToRect(&rect, &clip), 0);
  return rect;
}

void ExpectRect(IntRect r, int left, int top, int right, int bottom) {
  EXPECT_EQ(r.left, left);
  EXPECT_EQ(r.top, top);
  EXPECT_EQ(r.right, right);
  EXPECT_EQ(r.bottom, bottom);
}

TEST(ClipRectToRect, ClampsEachEdgeIntoTheClip) {
  IntRect clip{0, 0, 100, 100};
  ExpectRect(Clip({10, 10, 20, 20}, clip), 10, 10, 20, 20);
  ExpectRect(Clip({-5, 90, 50, 120}, clip), 0, 90, 50, 100);
  ExpectRect(Clip({-50, -60, 500, 600}, clip), 0, 0, 100, 100);
}

TEST(ClipRectToRect, InvertedRectanglesCollapseWithoutSwapping) {
  IntRect clip{0, 0, 100, 100};
  ExpectRect(Clip({30, 40, 10, 20}, clip), 30, 40, 30, 40);
}

TEST(ClipRectToRect, RectanglesOutsideBecomeEmptyAtTheClipEdge) {
  IntRect clip{0, 0, 100, 100};
  ExpectRect(Clip({150, 10, 200, 20}, clip), 100, 10, 100, 20);
  ExpectRect(Clip({10, -50, 20, -10}, clip), 10, 0, 20, 0);
  ExpectRect(Clip({-30, 10, -20, 20}, {5, 0, 100, 100}), 5, 10, 5, 20);
}

TEST(TruncatingConversions, TruncateTowardZeroAndGiveIntMinOutOfRange) {
  EXPECT_EQ(DoubleToIntTrunc(2.9), 2);
  EXPECT_EQ(DoubleToIntTrunc(-2.9), -2);
  EXPECT_EQ(DoubleToIntTrunc(2147483647.9), 2147483647);
  EXPECT_EQ(DoubleToIntTrunc(-2147483648.9), INT_MIN);  // truncates to -2^31, which fits
  EXPECT_EQ(DoubleToIntTrunc(2147483648.0), INT_MIN);
  EXPECT_EQ(DoubleToIntTrunc(-2147483649.0), INT_MIN);
  EXPECT_EQ(DoubleToIntTrunc(std::nan("")), INT_MIN);
  EXPECT_EQ(DoubleToIntTrunc(HUGE_VAL), INT_MIN);
  EXPECT_EQ(FloatToIntTrunc(-7.5f), -7);
  EXPECT_EQ(FloatToIntTrunc(3.0e9f), INT_MIN);
}

TEST(StringHelpers, TheNumberAfterTheFirstBlankStopsAtTheIntLimits) {
  EXPECT_EQ(ParseIntAfterBlank("HTTP/1.0 404 Not Found"), 404);
  EXPECT_EQ(ParseIntAfterBlank("Content-Length:   12x"), 12);
  EXPECT_EQ(ParseIntAfterBlank("Content-Length: 99999999999"), INT_MAX);
  EXPECT_EQ(ParseIntAfterBlank("Content-Length: -99999999999"), INT_MIN);
  EXPECT_EQ(ParseIntAfterBlank("Content-Length:7"), -1);
}

TEST(StringHelpers, NeverSplitTwoByteCharacters) {
  // 0x5C is the trail byte of the first character and a plain byte after it.
  const char text[] = "\x82\x5C\x5C";
  EXPECT_EQ(StrFindByte(text, 0x5C), text + 2);
  EXPECT_EQ(StrFindByte(text, 0x41), nullptr);

  char out[8];
  EXPECT_EQ(StrCopyWholeChars(out, "ab\x82\xA0", 4), 2);  // room for 3 bytes: the character goes whole or not at all
  EXPECT_STREQ(out, "ab");
  EXPECT_EQ(StrCopyWholeChars(out, "ab\x82\xA0", 5), 4);
  EXPECT_STREQ(out, "ab\x82\xA0");
  EXPECT_EQ(StrCopyWholeChars(out, "xyz", 1), 0);
  EXPECT_STREQ(out, "");
}

// A forced level only ever lowers the processor's; anything but the three
// names leaves it as it is.
TEST(VectorLevel, ANamedLevelNeverRisesAboveTheProcessors) {
  struct Case {
    const char* name;
    int processor, expect;
  };
  const Case cases[] = {
      {"baseline", 3, 1}, {"avx2", 3, 2}, {"avx512", 3, 3}, {"avx512", 2, 2}, {"avx2", 1, 1},
      {"baseline", 1, 1}, {nullptr, 3, 3}, {"", 2, 2},      {"AVX2", 3, 3},   {"avx", 3, 3},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(VectorLevelFromName(c.name, c.processor), c.expect)
        << (c.name ? c.name : "(none)") << " on a level-" << c.processor << " processor";
  }
  EXPECT_LE(VectorLevel(), ProcessorVectorLevel());
}

}  // namespace
