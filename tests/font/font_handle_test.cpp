#include <cstring>

#include "core/handle.h"
#include "core/memory.h"
#include "platform/text_encoding.h"
#include "tests/font/font_test_util.h"

namespace {

std::string Sjis(const char* utf8) {
  std::string out;
  Utf8ToCp932(utf8, &out);
  return out;
}

TEST_F(FontTest, CellFromTextMetrics) {
  // Width: max width + 2 (+ 2e when edged), up to a multiple of 8; height even.
  EXPECT_EQ(ComputeFontCell(16, 16, 0).cellSize, 24);
  EXPECT_EQ(ComputeFontCell(16, 16, 0).charHeight, 16);
  EXPECT_EQ(ComputeFontCell(16, 16, 1).cellSize, 24);
  EXPECT_EQ(ComputeFontCell(16, 16, 1).charHeight, 18);
  EXPECT_EQ(ComputeFontCell(8, 19, 0).cellSize, 20);
  EXPECT_EQ(ComputeFontCell(8, 19, 0).charHeight, 20);
  EXPECT_EQ(ComputeFontCell(6, 4, 0).cellSize, 8);

  glyphs.metrics = {16, 14, 2, 8, 16};
  int plain = Create(0);
  int edged = Create(1);
  EXPECT_EQ(Font(plain).cellSize, 24);
  EXPECT_EQ(Font(plain).charHeight, 16);
  EXPECT_EQ(Font(edged).cellSize, 24);
  EXPECT_EQ(Font(edged).charHeight, 18);
  glyphs.metrics = {19, 15, 4, 4, 8};
  EXPECT_EQ(Font(Create(0)).cellSize, 20);
}

TEST_F(FontTest, SoftwareCacheIsOneColumnOfCells) {
  FontCacheShape shape = SoftwareCacheShape(24, 0);
  EXPECT_EQ(shape.slots, 568);  // 0x50000 / 576
  EXPECT_EQ(shape.height, 13632);
  EXPECT_EQ(shape.width, 24);
  EXPECT_EQ(SoftwareCacheShape(200, 0).slots, 20);  // 8 raised to the minimum
  EXPECT_EQ(SoftwareCacheShape(8, 0).slots, 2024);  // 5120 cut to the maximum
  EXPECT_EQ(SoftwareCacheShape(24, 7).slots, 7);

  glyphs.metrics = {16, 14, 2, 8, 16};
  FontHandleRecord& bits = Font(Create(0));
  EXPECT_EQ(bits.softBitsPerPixel, 1);
  EXPECT_EQ(bits.softPitch, 3);
  EXPECT_EQ(bits.cacheRows, 568);
  EXPECT_EQ(bits.cache.slotCount, 568);
  EXPECT_EQ(bits.cacheHeight, 13632);
  FontHandleRecord& bytes = Font(Create(2));
  EXPECT_EQ(bytes.softBitsPerPixel, 8);
  EXPECT_EQ(bytes.softPitch, 24);
  EXPECT_EQ(bytes.textureCache, 0);
  // The slot after the last used one carries position -1.
  EXPECT_EQ(bytes.cache.slots[567].position, 567);
  EXPECT_EQ(bytes.cache.slots[568].position, -1);
}

TEST_F(FontTest, FortyFontsAtMostAndFreedSlotsAreTakenFirst) {
  // The default font holds slot 0.
  EXPECT_EQ(HandleSlot(GetDefaultFontHandle()), 0);
  std::vector<int> handles;
  for (int i = 1; i < kFontTableSize; i++) {
    handles.push_back(Create());
    ASSERT_EQ(HandleSlot(handles.back()), i);
  }
  EXPECT_EQ(Create(), -1);
  EXPECT_TRUE(Logged("作成できるフォントハンドル数 40 の限界を超えました"));

  const int old = handles[6];  // slot 7
  EXPECT_EQ(DeleteFontHandle(old), 0);
  const int again = Create();
  EXPECT_EQ(HandleSlot(again), 7);
  EXPECT_NE(again, old);
  EXPECT_EQ(IsValidFontHandle(old), 0);
  EXPECT_EQ(GetFontHandleSize(old), -1);
  EXPECT_EQ(DeleteFontHandle(old), -1);
  EXPECT_EQ(IsValidFontHandle(again), 1);
}

TEST_F(FontTest, HandlesCarryKindCheckNumberAndSlot) {
  // InitFontManager starts the counter at 0: the default font took 0.
  EXPECT_EQ(GetDefaultFontHandle(), 0x20000000);
  const int h = Create();
  EXPECT_EQ(h, (((1 | 0x2000) << 16) | 1));
  EXPECT_EQ(Font(h).check, 1);
  // A given check number is used as it is and leaves the counter alone.
  const int given = CreateFontToHandle(nullptr, -1, -1, -1, -1, -1, 0, 12, 2047);
  EXPECT_EQ(given, ((2047 | 0x2000) << 16) | 12);
  EXPECT_EQ(HandleCheck(Create()), 2);

  for (int bad : {-1, h + 1, h ^ 0x00010000, (h & 0x07FFFFFF) | 0x08000000, 0x20000000 | 40}) {
    EXPECT_EQ(IsValidFontHandle(bad), 0) << std::hex << bad;
    EXPECT_EQ(LookupFontHandle(bad), nullptr);
    EXPECT_EQ(SetFontSpacingToHandle(1, bad), -1);
  }
}

TEST_F(FontTest, BadSlotsChargesAndTypesAreRefused) {
  EXPECT_EQ(CreateFontToHandle(nullptr, -1, -1, -1, -1, -1, 0, 40, -1), -1);
  EXPECT_EQ(CreateFontToHandle(nullptr, -1, -1, -1, -1, -1, 0, -2, -1), -1);
  EXPECT_EQ(CreateFontToHandle(nullptr, -1, -1, -1, 3, -1, 0, -1, -1), -1);
  EXPECT_EQ(CreateFontToHandle(nullptr, -1, -1, -1, -2, -1, 0, -1, -1), -1);
  EXPECT_EQ(CreateFontToHandle(nullptr, -1, -1, 4, -1, -1, 0, -1, -1), -1);
  EXPECT_EQ(CreateFontToHandle(nullptr, -1, -1, -1, -1, -1, 0, -1, 2048), -1);
  // A slot in use.
  EXPECT_EQ(CreateFontToHandle(nullptr, -1, -1, -1, -1, -1, 0, 0, -1), -1);
  EXPECT_EQ(glyphs.liveFonts, 1);
}

TEST_F(FontTest, EdgeSizeAndScreenDepthShapeTheFontType) {
  EXPECT_EQ(Font(Create(0, 2)).fontType, 1);
  FontHandleRecord& plain = Font(Create(0, -1));
  EXPECT_EQ(plain.fontType, 0);
  EXPECT_EQ(plain.edgeSize, 1);
  EXPECT_EQ(Font(Create(2, 3)).fontType, 3);

  SetScreenColorBitDepth(8);
  EXPECT_EQ(Font(Create(2)).fontType, 0);
  EXPECT_EQ(Font(Create(3)).fontType, 1);
  SetScreenColorBitDepth(32);
}

TEST_F(FontTest, NamedFaceFallsBackThroughTheCharsets) {
  glyphs.requests.clear();
  glyphs.refused = {{"Nowhere", 128}, {"Nowhere", 1}};
  EXPECT_EQ(CreateFontToHandle("Nowhere", 20, 7, 0, 1, -1, 1, -1, -1), -1);
  ASSERT_EQ(glyphs.requests.size(), 3u);
  EXPECT_EQ(glyphs.requests[0].charset, 128);
  EXPECT_EQ(glyphs.requests[1].charset, 1);
  EXPECT_EQ(glyphs.requests[2].charset, 128);
  EXPECT_EQ(glyphs.requests[0].height, 20);
  EXPECT_EQ(glyphs.requests[0].weight, 700);
  EXPECT_EQ(glyphs.requests[2].italic, 1);
  EXPECT_EQ(glyphs.requests[0].quality, 3);
  EXPECT_TRUE(Logged("指定のフォントの作成に失敗しました"));
  EXPECT_EQ(glyphs.liveFonts, 1);

  // Hangul asked first, then the default charset succeeds.
  glyphs.requests.clear();
  glyphs.refused = {{"Face", 129}};
  const int h = CreateFontToHandle("Face", -1, -1, -1, 2, -1, 0, -1, -1);
  ASSERT_NE(h, -1);
  EXPECT_EQ(glyphs.requests.size(), 2u);
  EXPECT_EQ(glyphs.requests[1].charset, 1);
  char face[256];
  int size = 0, thickness = 0;
  EXPECT_EQ(GetFontHandleInfo(face, &size, &thickness, h), 0);
  EXPECT_STREQ(face, "Face");
  EXPECT_EQ(size, 16);
  EXPECT_EQ(thickness, 6);
  EXPECT_EQ(Font(h).charsetIndex, 2);
}

TEST_F(FontTest, ThicknessesPastAHundredthOfTheIntRangeAskTheExtremeWeight) {
  const struct {
    int32_t thickness, weight;
  } cases[] = {{21474836, 2147483600}, {21474837, INT32_MAX}, {INT32_MAX, INT32_MAX}, {INT32_MIN, INT32_MIN}};
  for (const auto& c : cases) {
    glyphs.requests.clear();
    const int h = CreateFontToHandle("Face", 20, c.thickness, 0, 1, -1, 0, -1, -1);
    ASSERT_NE(h, -1) << c.thickness;
    ASSERT_FALSE(glyphs.requests.empty());
    EXPECT_EQ(glyphs.requests[0].weight, c.weight) << c.thickness;
    int thickness = 0;
    GetFontHandleInfo(nullptr, nullptr, &thickness, h);
    EXPECT_EQ(thickness, c.thickness);
    DeleteFontHandle(h);
  }
}

TEST_F(FontTest, DefaultFaceFallsBackWithoutItalicThenWithoutName) {
  const std::string gothic = Sjis("ＭＳ ゴシック");
  glyphs.requests.clear();
  glyphs.refused = {{gothic, 128}, {gothic, 1}, {"", 1}};
  EXPECT_EQ(CreateFontToHandle(nullptr, -1, -1, -1, -1, -1, 1, -1, -1), -1);
  ASSERT_EQ(glyphs.requests.size(), 3u);
  EXPECT_EQ(glyphs.requests[0].face, gothic);
  EXPECT_EQ(glyphs.requests[0].italic, 1);
  EXPECT_EQ(glyphs.requests[1].face, gothic);
  EXPECT_EQ(glyphs.requests[1].charset, 1);
  EXPECT_EQ(glyphs.requests[1].italic, 0);
  EXPECT_EQ(glyphs.requests[2].face, "");
  EXPECT_EQ(glyphs.requests[2].italic, 0);
  EXPECT_TRUE(Logged("フォントの作成に失敗しました"));

  glyphs.refused = {{gothic, 128}};
  const int h = CreateFontToHandle(nullptr, -1, -1, -1, -1, -1, 1, -1, -1);
  ASSERT_NE(h, -1);
  EXPECT_STREQ(Font(h).face, "");  // the built-in face leaves the name empty
}

TEST_F(FontTest, LongFaceNamesAreCutBetweenCharacters) {
  std::string face;
  for (int i = 0; i < 150; i++) face += "\x82\xA0";
  const int h = CreateFontToHandle(face.c_str(), -1, -1, -1, -1, -1, 0);
  ASSERT_NE(h, -1);
  EXPECT_EQ(std::strlen(Font(h).face), 254u);  // 255 would split a character
}

TEST_F(FontTest, FailedMeasuringFreesEverything) {
  const MemTotals before = MemGetTotals();
  glyphs.failMetrics = true;
  EXPECT_EQ(Create(), -1);
  EXPECT_TRUE(Logged("ＤＣの取得に失敗しました"));
  EXPECT_EQ(MemGetTotals().liveBlocks, before.liveBlocks);
  EXPECT_EQ(glyphs.liveFonts, 1);
  glyphs.failMetrics = false;
  EXPECT_EQ(HandleSlot(Create()), 1);  // the slot is free again
}

TEST_F(FontTest, RecreatingKeepsHandlesAndSpacing) {
  const int a = CreateFontToHandle("A", 20, 3, 1, 0, 2, 1, -1, -1);
  const int b = CreateFontToHandle(nullptr, 12, -1, 2, -1, -1, 0, 30, 99);
  SetFontSpacingToHandle(3, a);
  SetFontSpacingToHandle(-1, b);
  int32_t lost = 7;
  EXPECT_EQ(SetFontLostFlagPointer(a, &lost), 0);
  EXPECT_EQ(lost, 0);
  Font(a).cache.lookup['x'].present = 1;  // a cached character does not survive

  EXPECT_EQ(RecreateAllFontHandles(), 0);
  EXPECT_EQ(lost, 1);
  ASSERT_EQ(IsValidFontHandle(a), 1);
  ASSERT_EQ(IsValidFontHandle(b), 1);
  EXPECT_EQ(Font(a).spacing, 3);
  EXPECT_EQ(Font(b).spacing, -1);
  EXPECT_EQ(Font(a).edgeSize, 2);
  EXPECT_EQ(Font(a).fontType, 1);
  EXPECT_EQ(Font(a).italic, 1);
  EXPECT_EQ(Font(a).charsetIndex, 0);
  EXPECT_STREQ(Font(a).face, "A");
  EXPECT_EQ(Font(a).lostFlag, nullptr);
  EXPECT_EQ(Font(a).cache.lookup['x'].present, 0u);
  EXPECT_EQ(IsValidFontHandle(GetDefaultFontHandle()), 1);
  EXPECT_EQ(glyphs.liveFonts, 3);
}

TEST_F(FontTest, DefaultFontFollowsItsSettings) {
  const int first = GetDefaultFontHandle();
  EXPECT_EQ(RefreshDefaultFont(), 0);
  EXPECT_EQ(GetDefaultFontHandle(), first);  // nothing changed

  int size = 0, thickness = 0;
  GetFontHandleInfo(nullptr, &size, &thickness, first);
  EXPECT_EQ(size, 16);
  EXPECT_EQ(thickness, 6);
  EXPECT_EQ(SetDefaultFontSizeAndThickness(nullptr, 24, 2), 0);
  EXPECT_EQ(IsValidFontHandle(first), 0);
  GetFontHandleInfo(nullptr, &size, &thickness, GetDefaultFontHandle());
  EXPECT_EQ(size, 24);
  EXPECT_EQ(thickness, 2);
  SetDefaultFontSizeAndThickness(nullptr, -1, -1);
  EXPECT_EQ(GetFontHandleSize(GetDefaultFontHandle()), 16);
  EXPECT_EQ(glyphs.liveFonts, 1);
}

TEST_F(FontTest, StartAndEndOfTheFontSystem) {
  Create();
  Create();
  EXPECT_EQ(glyphs.liveFonts, 3);
  EXPECT_EQ(InitFontSystem(), 0);  // every font goes, a fresh default comes
  EXPECT_EQ(glyphs.liveFonts, 1);
  EXPECT_TRUE(Logged("フォントの初期化を行います"));
  EXPECT_TRUE(Logged("フォントの初期化は正常に終了しました"));
  EXPECT_EQ(EndFontSystem(), 0);
  EXPECT_EQ(glyphs.liveFonts, 0);
  EXPECT_EQ(IsValidFontHandle(GetDefaultFontHandle()), 0);
}

}  // namespace
