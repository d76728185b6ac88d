#include <random>

#include "font/text_pixels.h"
#include "softrender/pixel_spans32.h"
#include "tests/font/font_test_util.h"

namespace {

constexpr uint32_t kBackground = 0x123456;
constexpr uint32_t kRed = 0xFF0000;
constexpr uint32_t kBlue = 0x0000FF;

using Pixels = std::vector<FontTest::Lit>;

class StringDrawTest : public FontTest {
 protected:
  void SetUp() override {
    FontTest::SetUp();
    FillMemImgRaw(Back(), nullptr, kBackground);
  }
  Pixels Drawn() { return LitPixels(Back(), kBackground); }
  int Measure(int handle, const char* text, int vertical = 0, int32_t* size = nullptr) {
    return DrawStringThroughFontCache(FontCacheMeasure, 0, 0, false, 1.0, 1.0, text, 0, nullptr,
                                      nullptr, 1, handle, 0, -1, vertical, size);
  }
};

class StringDraw16Test : public StringDrawTest {
 protected:
  void SetUp() override {
    Start(16);
    FillMemImgRaw(Back(), nullptr, 0);
  }
};

TEST_F(StringDrawTest, PlainCharactersLandAtPenPlusOriginAndTopOffset) {
  const int h = Create(0);
  SetFontSpacingToHandle(2, h);
  EXPECT_EQ(DrawStringWithFontHandle(3, 4, "AA", PackRgbToScreenColor(255, 0, 0), h), 0);
  // Pen 0 and 6 + 2; the black box starts 1 right of the pen and 2 down.
  EXPECT_EQ(Drawn(), (Pixels{{4, 6, kRed}, {12, 6, kRed}, {5, 7, kRed}, {13, 7, kRed}}));
}

TEST_F(StringDrawTest, MeasuringAddsSpacingToEveryAdvance) {
  const int h = Create(0);
  Glyph('B', {"#"}, 0, 10, 7);
  SetFontSpacingToHandle(2, h);
  int32_t size[2] = {};
  EXPECT_EQ(Measure(h, "AB", 0, size), 6 + 7 + 4);
  EXPECT_EQ(size[0], 17);
  EXPECT_EQ(size[1], 16);  // character height
  EXPECT_EQ(Measure(h, "AB", 1, size), 17);
  EXPECT_EQ(size[0], 16);
  EXPECT_EQ(size[1], 17);
  // Two spaces advance twice and draw nothing.
  EXPECT_EQ(Measure(h, "  "), 2 * (5 + 2));
  EXPECT_EQ(DrawStringWithFontHandle(0, 0, "  ", kRed, h), 0);
  EXPECT_TRUE(Drawn().empty());
  EXPECT_EQ(Measure(h, ""), 0);
  EXPECT_EQ(Measure(-1, "A"), -1);
}

TEST_F(StringDrawTest, SpacingNearTheIntLimitsHoldsThePenToTheIntRange) {
  const int h = Create(0);
  Glyph('B', {"#"}, 0, 10, 7);
  // Advances 6 and 7: the pen passes the int range and stops at its edge.
  SetFontSpacingToHandle(INT32_MAX, h);
  EXPECT_EQ(Measure(h, "AB"), INT32_MAX);
  SetFontSpacingToHandle(INT32_MAX - 6, h);
  EXPECT_EQ(Measure(h, "A"), INT32_MAX);
  SetFontSpacingToHandle(INT32_MIN, h);
  EXPECT_EQ(Measure(h, "AB"), INT32_MIN);
  // Drawn, B lands 2^31 + 5 pixels right of A: far off the screen.
  SetFontSpacingToHandle(INT32_MAX, h);
  EXPECT_EQ(DrawStringWithFontHandle(3, 4, "AB", PackRgbToScreenColor(255, 0, 0), h), 0);
  EXPECT_EQ(Drawn(), (Pixels{{4, 6, kRed}, {5, 7, kRed}}));
}

TEST_F(StringDrawTest, EmptyStringsAndBadHandles) {
  const int h = Create(0);
  EXPECT_EQ(DrawStringWithFontHandle(0, 0, "", kRed, h), 0);
  EXPECT_EQ(DrawStringWithFontHandle(0, 0, nullptr, kRed, h), 0);
  EXPECT_EQ(DrawStringWithFontHandle(0, 0, "A", kRed, h + 1), -1);
  EXPECT_TRUE(Logged("フォントハンドル値が異常です"));
  DeleteFontHandle(h);
  EXPECT_EQ(DrawStringWithFontHandle(0, 0, "A", kRed, h), -1);
  EXPECT_TRUE(Drawn().empty());
}

TEST_F(StringDrawTest, DrawAreaClipsAndTheBrightnessDims) {
  const int h = Create(0);
  SetDrawClipArea(0, 0, 5, 7);
  DrawStringWithFontHandle(3, 4, "A", kRed, h);
  EXPECT_EQ(Drawn(), (Pixels{{4, 6, kRed}}));
  // Starting left of the screen: the box's column 0 is cut off.
  SetDrawClipArea(0, 0, kWidth, kHeight);
  FillMemImgRaw(Back(), nullptr, kBackground);
  DrawStringWithFontHandle(-2, 0, "A", kRed, h);
  EXPECT_EQ(Drawn(), (Pixels{{0, 3, kRed}}));

  FillMemImgRaw(Back(), nullptr, kBackground);
  SetDrawBrightnessPacked(0x80FF40);
  DrawStringWithFontHandle(0, 0, "A", PackRgbToScreenColor(255, 200, 255), h);
  // 255 * 128 / 255, 200 * 255 / 255, 255 * 64 / 255.
  EXPECT_EQ(BackPixel(1, 2), 0x80C840u);
}

TEST_F(StringDrawTest, VerticalTextIsTurnedAQuarterClockwise) {
  const int h = Create(0);
  Glyph('L', {"#..", "###"}, 0, 14, 4);
  DrawStringWithFontHandle(3, 4, "AL", kRed, h, 0, 1);
  // 'A': right = 3 + 16 - 2 = 17, top = 4 + 0 + 1; (u, v) -> (16 - v, 5 + u).
  // 'L': right = 3 + 16 - 0 = 19, top = 4 + 6; (u, v) -> (18 - v, 10 + u).
  EXPECT_EQ(Drawn(), (Pixels{{16, 5, kRed}, {15, 6, kRed}, {17, 10, kRed}, {18, 10, kRed},
                             {17, 11, kRed}, {17, 12, kRed}}));
}

TEST_F(StringDrawTest, EdgedCharactersTakeTheEdgeColour) {
  const int h = Create(1, 1);
  Glyph('.', {"#"}, 0, 14, 3);
  DrawStringWithFontHandle(0, 0, ".", kRed, h, PackRgbToScreenColor(0, 0, 255));
  EXPECT_EQ(Drawn(), (Pixels{{1, 0, kBlue}, {0, 1, kBlue}, {1, 1, kRed}, {2, 1, kBlue}, {1, 2, kBlue}}));
}

TEST_F(StringDrawTest, AlphaBlendAtFullStrengthDrawsDirectlyAndBelowThroughTheWorkImage) {
  const int h = Create(0);
  MEMIMG* work = GetScreenWorkImage(0);
  FillMemImgRaw(work, nullptr, 0xABCDEF);
  SetBlendMode(1, 255);
  DrawStringWithFontHandle(0, 0, "A", kRed, h);
  EXPECT_EQ(BackPixel(1, 2), kRed);
  EXPECT_TRUE(LitPixels(work, 0xABCDEF).empty());

  SetBlendMode(1, 254);
  DrawStringWithFontHandle(0, 10, "A", kRed, h);
  EXPECT_EQ(PixelOf(work, 1, 2), kRed);  // drawn at (0, 0) of the work image
  EXPECT_EQ(PixelOf(work, 0, 2), work->base->transparentColor);
  // Blended onto the back: 0x12 + (0xFF - 0x12) * 254 / 255 and so on.
  const uint32_t blended = BackPixel(1, 12);
  EXPECT_NE(blended, kRed);
  EXPECT_NE(blended, kBackground);
  EXPECT_EQ(BackPixel(0, 12), kBackground);  // the transparent colour is skipped
}

TEST_F(StringDrawTest, TransparentColourStepsPastTextAndEdge) {
  const int h = Create(1);
  MEMIMG* work = GetScreenWorkImage(0);
  SetMemImgTransparentColor(work, 0);
  SetBlendMode(2, 255);
  DrawStringWithFontHandle(0, 0, "A", PackRgbToScreenColor(0, 0, 0), h, PackRgbToScreenColor(0, 0, 1));
  EXPECT_EQ(work->base->transparentColor, 2u);
  // It stays for the next call, and moves on only when it must.
  DrawStringWithFontHandle(0, 0, "A", PackRgbToScreenColor(0, 0, 3), h, PackRgbToScreenColor(0, 0, 2));
  EXPECT_EQ(work->base->transparentColor, 4u);
}

TEST_F(StringDrawTest, AntialiasedLevelsBecomeAlphaAndAreBlended) {
  const int h = Create(2);
  Glyph('g', {"#81"}, 0, 14, 4);
  SetMemImgTransparentColor(GetScreenWorkImage(1), 0);
  FillMemImgRaw(Back(), nullptr, 0);
  SetFastTextPathsForTest(false);  // through the work image
  DrawStringWithFontHandle(2, 3, "g", kRed, h);
  SetFastTextPathsForTest(true);
  // Levels 15, 7 and 0: the work image holds c | level << 28.
  MEMIMG* work = GetScreenWorkImage(1);
  EXPECT_EQ(PixelOf(work, 0, 0), 0xF0FF0000u);
  EXPECT_EQ(PixelOf(work, 1, 0), 0x70FF0000u);
  EXPECT_EQ(PixelOf(work, 2, 0), 0u);
  // Onto black, moved toward red by alpha / 256: 255 * 240 >> 8, 255 * 112 >> 8.
  EXPECT_EQ(LitPixels(Back(), 0), (Pixels{{2, 3, 0xEF0000}, {3, 3, 0x6F0000}}));
  // Blended straight into the screen, the same pixels.
  FillMemImgRaw(Back(), nullptr, 0);
  DrawStringWithFontHandle(2, 3, "g", kRed, h);
  EXPECT_EQ(LitPixels(Back(), 0), (Pixels{{2, 3, 0xEF0000}, {3, 3, 0x6F0000}}));
}

TEST_F(StringDrawTest, SoftEdgeMixesTextIntoEdgeByTheTextsShare) {
  const int h = Create(3, 1);
  Glyph('g', {"#9"}, 0, 14, 4);
  DrawStringWithFontHandle(0, 0, "g", kRed, h, kBlue);
  MEMIMG* work = GetScreenWorkImage(1);
  // Cache bytes: (1,1) 0xFF, (2,1) 0xF8, (0,1) 0xF0.
  EXPECT_EQ(PixelOf(work, 1, 1), 0xFFFF0000u);  // g = 15: the text at full alpha
  EXPECT_EQ(PixelOf(work, 0, 1), 0xF00000FFu);  // g = 0, e = 15: the edge at 240
  // g = 8, e = 15: alpha 128 + 105 = 233, share 32768 / 233 = 140;
  // red 0 + 255 * 140 / 256 = 139, blue 255 + floor(-255 * 140 / 256) = 115.
  EXPECT_EQ(PixelOf(work, 2, 1), 0xE98B0073u);
}

TEST_F(StringDrawTest, FrontScreenTextStartingAtTheRightEdgeIsNotDrawn) {
  const int h = Create(0);
  g_drawSettings.drawScreen = -4;
  SetDrawClipArea(0, 0, 10, kHeight);
  EXPECT_EQ(DrawStringWithFontHandle(10, 0, "A", kRed, h), 0);
  EXPECT_TRUE(Drawn().empty());
  EXPECT_EQ(DrawStringWithFontHandle(8, 0, "A", kRed, h), 0);
  EXPECT_EQ(Drawn(), (Pixels{{9, 2, kRed}}));
  g_drawSettings.drawScreen = -2;
}

TEST_F(StringDrawTest, LongStringsAndALoneLeadByteAtTheEnd) {
  const int h = Create(0);
  const int64_t blocks = MemGetTotals().liveBlocks;
  const std::string text(300, 'A');
  EXPECT_EQ(Measure(h, text.c_str()), 1800);
  EXPECT_EQ(DrawStringWithFontHandle(-1790, 0, text.c_str(), kRed, h), 0);
  // The last two boxes start at -1790 + 1788 + 1 and -1790 + 1794 + 1.
  EXPECT_EQ(Drawn(), (Pixels{{5, 2, kRed}, {0, 3, kRed}, {6, 3, kRed}}));
  EXPECT_EQ(MemGetTotals().liveBlocks, blocks);
  Glyph(0x82, {"#"}, 0, 14, 3);
  EXPECT_EQ(Measure(h, "A\x82"), 9);
}

TEST_F(StringDrawTest, DefaultFontFollowsItsSettings) {
  Glyph('A', {"#"}, 0, 14, 6);
  EXPECT_EQ(DrawStringWithDefaultFont(0, 0, "A", kRed), 0);
  EXPECT_EQ(Drawn(), (Pixels{{0, 0, kRed}}));
  SetDefaultFontSizeAndThickness(nullptr, 24, 3);
  EXPECT_EQ(GetFontHandleSize(GetDefaultFontHandle()), 24);
}

TEST_F(StringDraw16Test, SixteenBitScreenWritesR5G6B5AndAlphaInTheThirdByte) {
  const uint32_t red = static_cast<uint32_t>(PackRgbToScreenColor(255, 0, 0));
  ASSERT_EQ(red, 0xF800u);
  DrawStringWithFontHandle(0, 0, "A", static_cast<int32_t>(red), Create(0));
  EXPECT_EQ(LitPixels(Back(), 0), (Pixels{{1, 2, 0xF800}, {2, 3, 0xF800}}));

  Glyph('g', {"#9"}, 0, 14, 4);
  DrawStringWithFontHandle(0, 0, "g", static_cast<int32_t>(red), Create(3, 1), PackRgbToScreenColor(0, 0, 255));
  MEMIMG* work = GetScreenWorkImage(1);
  EXPECT_EQ(PixelOf(work, 1, 1), 0xFFF800u);
  EXPECT_EQ(PixelOf(work, 0, 1), 0xF0001Fu);
  // Red 31 * 140 / 256 = 16, blue 31 + floor(-31 * 140 / 256) = 14, alpha 233.
  EXPECT_EQ(PixelOf(work, 2, 1), 0xE9800Eu);
  Glyph('h', {"#81"}, 0, 14, 4);
  DrawStringWithFontHandle(0, 0, "h", static_cast<int32_t>(red), Create(2));
  EXPECT_EQ(PixelOf(work, 0, 0), 0xF0F800u);
  EXPECT_EQ(PixelOf(work, 1, 0), 0x70F800u);
}

// The faster text paths against their references (the per-pixel writers,
// the work image): seeded strings of random characters, plain and
// anti-aliased, at random places over random pixels, clipped by random draw
// areas, in mode 0 and a few others. Characters whose boxes overlap, bits
// that start mid-byte and boxes cut at the screen's edges all come up.
void CheckFastTextAgainstReference(FontTest& t, uint32_t seed) {
  std::mt19937 rng(seed);
  const char kLevels[] = ".123456789abcdefg#";
  for (int round = 0; round < 120; round++) {
    const int type = round % 2 == 0 ? 0 : 2;
    for (char c = 'a'; c <= 'e'; c++) {
      std::vector<std::string> rows(1 + rng() % 12);
      const size_t width = 1 + rng() % 21;
      for (auto& row : rows) {
        for (size_t i = 0; i < width; i++) row += kLevels[rng() % 3 == 0 ? 0 : rng() % 18];
      }
      t.Glyph(static_cast<uint32_t>(c), rows, static_cast<int>(rng() % 5) - 2, 8 + static_cast<int>(rng() % 8),
              3 + static_cast<int>(rng() % 12));
    }
    const int h = t.Create(type);
    std::string text;
    for (int n = 1 + static_cast<int>(rng() % 6); n > 0; n--) text += static_cast<char>('a' + rng() % 5);
    const int x = static_cast<int>(rng() % 50) - 8, y = static_cast<int>(rng() % 30) - 6;
    const int left = static_cast<int>(rng() % 10), top = static_cast<int>(rng() % 8);
    SetDrawClipArea(left, top, left + 1 + static_cast<int>(rng() % FontTest::kWidth),
                    top + 1 + static_cast<int>(rng() % FontTest::kHeight));
    const int modes[][2] = {{0, 255}, {0, 255}, {1, 255}, {1, 100}, {2, 200}};
    const auto& mode = modes[rng() % 5];
    SetBlendMode(mode[0], mode[1]);
    MEMIMG* back = t.Back();
    const int bytes = MemImgBytesPerPixel(back->base);
    std::vector<uint8_t> background(static_cast<size_t>(back->base->pitch) * back->height);
    for (auto& b : background) b = static_cast<uint8_t>(rng());
    const int color = static_cast<int>(rng() & (bytes == 2 ? 0xFFFFu : 0xFFFFFFu));
    std::vector<uint8_t> drawn[2];
    for (int fast = 0; fast < 2; fast++) {
      std::memcpy(back->pixels, background.data(), background.size());
      SetFastTextPathsForTest(fast == 1);
      DrawStringWithFontHandle(x, y, text.c_str(), color, h);
      drawn[fast].assign(back->pixels, back->pixels + background.size());
    }
    SetFastTextPathsForTest(true);
    DeleteFontHandle(h);
    ASSERT_EQ(drawn[1], drawn[0]) << "round " << round << " type " << type << " \"" << text << "\" at " << x
                                  << ", " << y << " mode " << mode[0] << "/" << mode[1];
  }
  SetBlendMode(0, 255);
}

TEST_F(StringDrawTest, FastPathsDrawWhatTheirReferencesDraw) { CheckFastTextAgainstReference(*this, 20261207); }

// The same with every span level's kernels (capped at what the processor has).
TEST_F(StringDrawTest, FastPathsDrawWhatTheirReferencesDrawAtEverySpanLevel) {
  for (int level = 0; level <= 3; level++) {
    SCOPED_TRACE(testing::Message() << "span level " << level);
    SetBlitSpanLevelForTest(level);
    CheckFastTextAgainstReference(*this, 34 + static_cast<uint32_t>(level));
  }
  SetBlitSpanLevelForTest(-1);
}

// Bits that start three into a byte (the box cut at the left edge) and a
// last byte reaching past the screen's right edge: every other pixel of an
// 11-pixel row, by hand.
TEST_F(StringDrawTest, RowBitsCutAtBothScreenEdges) {
  const int h = Create(0);
  Glyph('m', {"#.#.#.#.#.#"}, 0, 14, 12);
  DrawStringWithFontHandle(-3, 0, "m", kRed, h);  // columns -3, -1, 1, 3, 5, 7
  DrawStringWithFontHandle(33, 1, "m", kRed, h);  // columns 33 ... 43 of a 40-pixel row
  EXPECT_EQ(Drawn(), (Pixels{{1, 0, kRed}, {3, 0, kRed}, {5, 0, kRed}, {7, 0, kRed},
                             {33, 1, kRed}, {35, 1, kRed}, {37, 1, kRed}, {39, 1, kRed}}));
}

TEST_F(StringDraw16Test, FastPathsDrawWhatTheirReferencesDraw) { CheckFastTextAgainstReference(*this, 20261216); }

}  // namespace
