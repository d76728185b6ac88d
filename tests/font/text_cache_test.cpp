#include <cstring>
#include <random>

#include "core/memory.h"
#include "tests/font/font_test_util.h"

namespace {

class TextCacheTest : public FontTest {
 protected:
  FontCacheSlot* SlotOf(int handle, uint16_t code) {
    const FontLookupEntry& e = Font(handle).cache.lookup[code];
    return e.present ? e.slot : nullptr;
  }
  int PositionOf(int handle, uint16_t code) {
    FontCacheSlot* s = SlotOf(handle, code);
    return s ? s->position : -1;
  }
  // The cell's bytes of rows 0 .. rows - 1 and columns 0 .. columns - 1 as
  // hex digits, one string per row.
  std::vector<std::string> Cell(int handle, uint16_t code, int columns, int rows) {
    std::vector<std::string> out;
    for (int y = 0; y < rows; y++) {
      std::string row;
      for (int x = 0; x < columns; x++) {
        char hex[4];
        std::snprintf(hex, sizeof(hex), "%02X", CacheByte(handle, PositionOf(handle, code), x, y));
        row += (x ? " " : "") + std::string(hex);
      }
      out.push_back(row);
    }
    return out;
  }
};

using Rows = std::vector<std::string>;

TEST(LeadByte, ShiftJisRangesAndTheHangulRule) {
  for (unsigned char c : {0x81, 0x9F, 0xE0, 0xFC}) {
    EXPECT_EQ(IsMultiByteLeadByte(&c, 1), 1) << int(c);
    EXPECT_EQ(IsMultiByteLeadByte(&c, 0), 1) << int(c);
  }
  for (unsigned char c : {0x00, 0x41, 0x80, 0xA0, 0xDF, 0xFD, 0xFF}) {
    EXPECT_EQ(IsMultiByteLeadByte(&c, 1), 0) << int(c);
  }
  for (int c = 0; c < 256; c++) {
    const auto b = static_cast<unsigned char>(c);
    EXPECT_EQ(IsMultiByteLeadByte(&b, 2), c >= 0x80 ? 1 : 0) << c;
    // The arithmetic form of the Shift-JIS ranges.
    EXPECT_EQ(IsMultiByteLeadByte(&b, 1), ((c ^ 0x20) + 0x5F) % 256 < 60 ? 1 : 0) << c;
  }
}

TEST_F(TextCacheTest, SlotsAreReusedOldestFirst) {
  const int h = Create(0);
  UseSlots(h, 4);
  for (char c = 'A'; c <= 'E'; c++) Glyph(c, {"#"});
  ASSERT_EQ(CacheStringGlyphs(-1, "ABCD", h, nullptr, nullptr), 0);
  EXPECT_EQ(PositionOf(h, 'A'), 0);
  EXPECT_EQ(PositionOf(h, 'D'), 3);
  EXPECT_EQ(Font(h).cache.nextSlot, 0);
  CacheStringGlyphs(-1, "E", h, nullptr, nullptr);
  EXPECT_EQ(PositionOf(h, 'E'), 0);
  EXPECT_EQ(SlotOf(h, 'A'), nullptr);
  EXPECT_EQ(Font(h).cache.lookup['A'].present, 0u);
  EXPECT_EQ(PositionOf(h, 'B'), 1);
  EXPECT_EQ(Font(h).cache.nextSlot, 1);
  EXPECT_EQ(Font(h).cache.slots[0].entry, &Font(h).cache.lookup['E']);
}

TEST_F(TextCacheTest, MissingCharactersAreRenderedOnceAndAtMostASlotCountAtATime) {
  const int h = Create(0);
  for (char c = 'A'; c <= 'F'; c++) Glyph(c, {"#"});
  uint16_t list[8];
  int32_t count = 0;
  CacheStringGlyphs(-1, "ABAAB", h, list, &count);
  EXPECT_EQ(count, 5);
  EXPECT_EQ(std::vector<uint16_t>(list, list + 5), (std::vector<uint16_t>{'A', 'B', 'A', 'A', 'B'}));
  EXPECT_EQ(glyphs.rendered, (std::vector<uint32_t>{'A', 'B'}));
  CacheStringGlyphs(-1, "BA", h, nullptr, nullptr);  // all cached: nothing rendered
  EXPECT_EQ(glyphs.rendered.size(), 2u);

  UseSlots(h, 4);
  glyphs.rendered.clear();
  CacheStringGlyphs(-1, "ABCDEF", h, list, &count);
  EXPECT_EQ(count, 6);
  EXPECT_EQ(glyphs.rendered, (std::vector<uint32_t>{'A', 'B', 'C', 'D'}));
  EXPECT_EQ(SlotOf(h, 'E'), nullptr);
  EXPECT_EQ(SlotOf(h, 'F'), nullptr);
}

TEST_F(TextCacheTest, WalkSplitsByTheFontsLeadByteRuleAndStopsAtTheLength) {
  const int sjis = Create(0);
  uint16_t list[8];
  int32_t count = 0;
  CacheStringGlyphs(-1, "A\x82\xA0" "B", sjis, list, &count);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(list[1], 0xA082);
  // A lead byte at the end stands alone: its trail would lie past the length.
  CacheStringGlyphs(-1, "AB\x82", sjis, list, &count);
  EXPECT_EQ(std::vector<uint16_t>(list, list + count), (std::vector<uint16_t>{'A', 'B', 0x82}));
  CacheStringGlyphs(1, "\x82\xA0", sjis, list, &count);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(list[0], 0x82);
  CacheStringGlyphs(0, "AB", sjis, list, &count);
  EXPECT_EQ(count, 0);
  // 0xA0 leads only under the Hangul rule.
  CacheStringGlyphs(-1, "\xA0\xA1", sjis, list, &count);
  EXPECT_EQ(count, 2);
  const int hangul = CreateFontToHandle(nullptr, -1, -1, -1, 2, -1, 0, -1, -1);
  CacheStringGlyphs(-1, "\xA0\xA1", hangul, list, &count);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(list[0], 0xA1A0);
  EXPECT_EQ(CacheStringGlyphs(-1, "A", -1, list, &count), -1);
}

TEST_F(TextCacheTest, TwoByteCharactersReachTheGlyphSourceLeadByteFirst) {
  const int h = Create(0);
  Glyph(0x82A0, {"#"});
  CacheStringGlyphs(-1, "\x82\xA0", h, nullptr, nullptr);
  EXPECT_EQ(glyphs.rendered, (std::vector<uint32_t>{0x82A0}));
  EXPECT_NE(SlotOf(h, 0xA082), nullptr);
}

TEST_F(TextCacheTest, LongStringsRenderTheirOwnCharactersThroughOneBlock) {
  const int h = Create(0);
  Glyph('Z', {"#"});
  std::string text(299, 'a');
  text += 'Z';
  const int64_t blocks = MemGetTotals().liveBlocks;
  std::vector<uint16_t> list(text.size());
  int32_t count = 0;
  EXPECT_EQ(CacheStringGlyphs(-1, text.c_str(), h, list.data(), &count), 0);
  EXPECT_EQ(count, 300);
  EXPECT_EQ(list[299], 'Z');
  EXPECT_NE(SlotOf(h, 'Z'), nullptr);
  EXPECT_NE(SlotOf(h, 'a'), nullptr);
  EXPECT_EQ(MemGetTotals().liveBlocks, blocks);
}

TEST_F(TextCacheTest, SlotMetricsFromTheGlyph) {
  const int h = Create(0);
  Glyph('g', {"#..#", ".##."}, -1, 10, 9);
  CacheStringGlyphs(-1, "g", h, nullptr, nullptr);
  const FontCacheSlot& s = *SlotOf(h, 'g');
  EXPECT_EQ(s.originX, -1);
  EXPECT_EQ(s.topOffset, 4);  // ascent 14 - 10
  EXPECT_EQ(s.advance, 9);
  EXPECT_EQ(s.width, 4);
  EXPECT_EQ(s.height, 2);
  // One bit per pixel, most significant first.
  EXPECT_EQ(CacheByte(h, s.position, 0, 0), 0x90);
  EXPECT_EQ(CacheByte(h, s.position, 0, 1), 0x60);
  EXPECT_EQ(CacheByte(h, s.position, 0, 2), 0x00);
}

TEST_F(TextCacheTest, SpacesHaveNoBitmapButAdvance) {
  const int h = Create(1, 2);
  Glyph(0x20, {"#"}, 0, 10, 5);
  Glyph(0x8140, {"#"}, 0, 10, 16);
  CacheStringGlyphs(-1, " \x81\x40", h, nullptr, nullptr);
  const FontCacheSlot& space = *SlotOf(h, 0x20);
  EXPECT_EQ(space.width, 4);  // 0 x 0 plus the edges
  EXPECT_EQ(space.height, 4);
  EXPECT_EQ(space.advance, 9);
  EXPECT_EQ(SlotOf(h, 0x4081)->advance, 20);
  EXPECT_TRUE(glyphs.rendered.empty());
}

TEST_F(TextCacheTest, GreyLevelsBecomeSixteenSteps) {
  const int h = Create(2);
  Glyph('g', {"1g8.#"});
  CacheStringGlyphs(-1, "g", h, nullptr, nullptr);
  EXPECT_EQ(Cell(h, 'g', 6, 2), (Rows{"00 0F 07 00 0F 00", "00 00 00 00 00 00"}));
}

TEST_F(TextCacheTest, EdgeOfSizeTwoIsADisc) {
  const int h = Create(1, 2);
  Glyph('.', {"#"});
  CacheStringGlyphs(-1, ".", h, nullptr, nullptr);
  EXPECT_EQ(SlotOf(h, '.')->width, 5);
  EXPECT_EQ(Cell(h, '.', 6, 6), (Rows{"00 02 02 02 00 00",
                                      "02 02 02 02 02 00",
                                      "02 02 01 02 02 00",
                                      "02 02 02 02 02 00",
                                      "00 02 02 02 00 00",
                                      "00 00 00 00 00 00"}));
}

TEST_F(TextCacheTest, EdgeOfSizeOneIsAPlusAndNeverCoversTheCharacter) {
  const int h = Create(1, 1);
  Glyph('-', {"##"});
  CacheStringGlyphs(-1, "-", h, nullptr, nullptr);
  EXPECT_EQ(Cell(h, '-', 5, 3), (Rows{"00 02 02 00 00",
                                      "02 01 01 02 00",
                                      "00 02 02 00 00"}));
}

TEST_F(TextCacheTest, SoftEdgeTakesTheLargestNeighbouringLevel) {
  const int h = Create(3, 1);
  Glyph('v', {"5.9"});
  CacheStringGlyphs(-1, "v", h, nullptr, nullptr);
  // Levels 5 and 9 are stored as 4 and 8; the pixel between them gets edge 8.
  EXPECT_EQ(Cell(h, 'v', 5, 3), (Rows{"00 40 00 80 00",
                                      "40 44 80 88 80",
                                      "00 40 00 80 00"}));
}

TEST_F(TextCacheTest, LargeEdgesUseTheWholeSquare) {
  const int h = Create(1, 5);
  Glyph('.', {"#"});
  CacheStringGlyphs(-1, ".", h, nullptr, nullptr);
  for (int y = 0; y < 11; y++) {
    for (int x = 0; x < 11; x++) {
      EXPECT_EQ(CacheByte(h, PositionOf(h, '.'), x, y), x == 5 && y == 5 ? 1 : 2) << x << "," << y;
    }
  }
}

// The edge as the rules state it, pixel by pixel: every glyph pixel marks
// its whole neighbourhood. Levels as the scripted glyph rows give them
// (0..16); the cell's bytes, (width + 2e) x (height + 2e) from its corner.
std::vector<uint8_t> EdgeCellByNeighbourhood(const Rows& rows, int type, int e) {
  const int height = static_cast<int>(rows.size()), width = static_cast<int>(rows[0].size());
  const int pitch = width + 2 * e;
  std::vector<uint8_t> cell(static_cast<size_t>(pitch * (height + 2 * e)));
  for (int y = 0; y < height; y++) {
    for (int x = 0; x < width; x++) {
      const char c = rows[y][x];
      const int g = c == '#' ? 16 : c >= 'a' ? c - 'a' + 10 : c >= '1' ? c - '0' : 0;
      if (g == 0) continue;
      uint8_t& p = cell[(y + e) * pitch + x + e];
      if (type == 1) {
        p = 1;
      } else {
        p = static_cast<uint8_t>((p & 0xF0) | (g - 1));
      }
      for (int dy = -e; dy <= e; dy++) {
        for (int dx = -e; dx <= e; dx++) {
          if (e <= 4 && !kFontEdgeMasks[e - 1][dy + e][dx + e]) continue;
          uint8_t& q = cell[(y + e + dy) * pitch + x + e + dx];
          if (type == 1 && q != 1) q = 2;
          if (type == 3 && (q & 0xF0) < (g - 1) << 4) q = static_cast<uint8_t>((q & 0x0F) | (g - 1) << 4);
        }
      }
    }
  }
  return cell;
}

// Seeded glyphs, sparse and dense, under both edged types and every edge
// size: the cell holds what marking each neighbourhood whole gives, and
// nothing outside the edged box.
TEST_F(TextCacheTest, EdgesOfEverySizeMatchTheNeighbourhoodMarkedWhole) {
  glyphs.metrics = {24, 20, 4, 12, 24};
  std::mt19937 rng(0x5EED);
  static constexpr char kLevels[] = "123456789abcdefg#";
  for (int edge = 1; edge <= 32; edge++) {
    for (int type : {1, 3}) {
      const int h = Create(type, edge);
      ASSERT_NE(h, -1);
      const int cell = Font(h).cellSize, room = cell - 2 * edge;
      for (int n = 0; n < 2; n++) {
        const int width = 1 + static_cast<int>(rng() % room), height = 1 + static_cast<int>(rng() % room);
        const unsigned percent = n == 0 ? 6 : 55;
        Rows rows(height, std::string(width, '.'));
        for (std::string& row : rows) {
          for (char& c : row) {
            if (rng() % 100 < percent) c = kLevels[rng() % (sizeof(kLevels) - 1)];
          }
        }
        const char code = static_cast<char>('a' + n);
        Glyph(code, rows);
        CacheStringGlyphs(-1, std::string(1, code).c_str(), h, nullptr, nullptr);
        const std::vector<uint8_t> want = EdgeCellByNeighbourhood(rows, type, edge);
        const int pitch = width + 2 * edge;
        int wrong = 0;
        for (int y = 0; y < cell; y++) {
          for (int x = 0; x < cell; x++) {
            const int expected = x < pitch && y < height + 2 * edge ? want[y * pitch + x] : 0;
            if (CacheByte(h, PositionOf(h, code), x, y) != expected && wrong++ == 0) {
              ADD_FAILURE() << "edge " << edge << " type " << type << " glyph " << n << " (" << x << ", " << y
                            << "): " << int(CacheByte(h, PositionOf(h, code), x, y)) << ", not " << expected;
            }
          }
        }
      }
      DeleteFontHandle(h);
    }
  }
}

TEST_F(TextCacheTest, GlyphLargerThanItsCellIsCutToTheCell) {
  glyphs.metrics = {6, 5, 1, 4, 4};
  Glyph('a', {"5"});
  Glyph('W', Rows(40, std::string(40, '#')));
  for (int type : {0, 2, 3}) {
    const int h = Create(type, type == 3 ? 2 : -1);
    const int cell = Font(h).cellSize;
    ASSERT_EQ(cell, type == 3 ? 16 : 8);
    CacheStringGlyphs(-1, "Xa", h, nullptr, nullptr);  // 'a' in cell 1
    auto cellBytes = [&](int position) {
      std::vector<uint8_t> bytes;
      for (int y = 0; y < cell; y++) {
        for (int x = 0; x < Font(h).softPitch; x++) bytes.push_back(CacheByte(h, position, x, y));
      }
      return bytes;
    };
    const std::vector<uint8_t> a = cellBytes(1);
    // Into the cache's very last cell, then into cell 0 above 'a'.
    ASSERT_EQ(Font(h).cache.slotCount, Font(h).cacheRows);
    Font(h).cache.nextSlot = Font(h).cache.slotCount - 1;
    CacheStringGlyphs(-1, "W", h, nullptr, nullptr);
    const FontCacheSlot& w = *SlotOf(h, 'W');
    EXPECT_EQ(w.position, Font(h).cacheRows - 1);
    EXPECT_EQ(w.width, cell);
    EXPECT_EQ(w.height, cell);
    RenderGlyphsToFontCache(h, 1, std::vector<uint16_t>{'W'}.data());
    EXPECT_EQ(PositionOf(h, 'W'), 0);
    EXPECT_EQ(cellBytes(1), a) << "type " << type;
    if (type != 0) {
      EXPECT_EQ(CacheByte(h, 0, cell - 1, cell / 2), type == 2 ? 0x0F : 0xF0);
    }
  }
}

}  // namespace
