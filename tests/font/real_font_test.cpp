#include <filesystem>

#include "platform/text_encoding.h"
#include "tests/font/font_test_util.h"

namespace {

// The machine's own fonts: the default face is IPAGothic through FreeType.
class RealFontTest : public FontTest {
 protected:
  void SetUp() override {
    SetPlatformGlyphSource(nullptr);
    StartScreen(64, 32, 32);
  }
  void TearDown() override { StopScreen(); }
  int Advance(int handle, const char* text) {
    return DrawStringThroughFontCache(FontCacheMeasure, 0, 0, false, 1.0, 1.0, text, 0, nullptr,
                                      nullptr, 1, handle, 0, -1, 0, nullptr);
  }
};

TEST_F(RealFontTest, JapaneseSystemFacesAreIpaGothic) {
  std::string face;
  Utf8ToCp932("ＭＳ ゴシック", &face);
  const std::string path = ResolvePlatformFontFile(face.c_str(), kCharsetShiftJis);
  ASSERT_FALSE(path.empty());
  EXPECT_NE(std::filesystem::canonical(path).filename().string().find("ipag"), std::string::npos) << path;
  EXPECT_EQ(ResolvePlatformFontFile("MS Gothic", kCharsetDefault), path);
}

TEST_F(RealFontTest, DefaultFontDrawsTextWhereItsGlyphsAre) {
  const int font = GetDefaultFontHandle();
  ASSERT_EQ(IsValidFontHandle(font), 1);
  EXPECT_EQ(Font(font).charHeight, 16);
  const int a = Advance(font, "A");
  const int hiragana = Advance(font, "\x82\xA0");  // あ
  EXPECT_GE(a, 7);
  EXPECT_LE(a, 10);
  EXPECT_GE(hiragana, 15);  // full width
  EXPECT_LE(hiragana, 18);

  FillMemImgRaw(Back(), nullptr, 0);
  ASSERT_EQ(DrawStringWithDefaultFont(2, 3, "A\x82\xA0", PackRgbToScreenColor(255, 255, 255)), 0);
  int inA = 0, inHiragana = 0;
  for (const Lit& p : LitPixels(Back(), 0)) {
    EXPECT_EQ(p.value, 0xFFFFFFu);
    EXPECT_GE(p.x, 2);
    EXPECT_LT(p.x, 2 + a + hiragana + 1);
    EXPECT_GE(p.y, 3);
    EXPECT_LT(p.y, 3 + 16);
    (p.x < 2 + a ? inA : inHiragana)++;
  }
  EXPECT_GT(inA, 10);
  EXPECT_GT(inHiragana, 25);
}

TEST_F(RealFontTest, AntialiasedEdgedTextHasGreyLevelsAndAnEdge) {
  const int font = CreateFontToHandle(nullptr, 24, -1, 3, -1, 2, 0);
  ASSERT_NE(font, -1);
  FillMemImgRaw(Back(), nullptr, 0);
  SetDrawClipArea(0, 0, 64, 32);
  DrawStringWithFontHandle(0, 0, "W", PackRgbToScreenColor(255, 255, 255), font,
                           PackRgbToScreenColor(0, 0, 255));
  // Full text, edge alone, and text pixels partly over the edge (the
  // blit copies a fully opaque pixel whole, alpha byte included).
  int white = 0, blueOnly = 0, between = 0;
  for (const Lit& p : LitPixels(Back(), 0)) {
    const uint32_t rgb = p.value & 0xFFFFFF;
    if (rgb == 0xFFFFFF) white++;
    else if ((rgb & 0xFFFF00) == 0) blueOnly++;
    else between++;
  }
  EXPECT_GT(white, 10);
  EXPECT_GT(blueOnly, 10);
  EXPECT_GT(between, 5);
}

}  // namespace
