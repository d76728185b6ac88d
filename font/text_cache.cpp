#include "font/text_cache.h"

#include <cstring>

#include "core/core_api.h"
#include "core/helpers.h"
#include "core/memory.h"
#include "graphics/draw_settings.h"
#include "platform/glyph.h"

namespace {

// Edge neighbourhoods of sizes 1 to 4 as 9 x 9 masks; the first 2e + 1 rows
// and columns of each are used, centre included. Larger edges use the whole square.
constexpr uint8_t kEdgeMasks[4][9][9] = {
    {{0, 1, 0}, {1, 1, 1}, {0, 1, 0}},
    {{0, 1, 1, 1, 0}, {1, 1, 1, 1, 1}, {1, 1, 1, 1, 1}, {1, 1, 1, 1, 1}, {0, 1, 1, 1, 0}},
    {{0, 0, 0, 1, 0, 0, 0},
     {0, 1, 1, 1, 1, 1, 0},
     {0, 1, 1, 1, 1, 1, 0},
     {1, 1, 1, 1, 1, 1, 1},
     {0, 1, 1, 1, 1, 1, 0},
     {0, 1, 1, 1, 1, 1, 0},
     {0, 0, 0, 1, 0, 0, 0}},
    {{0, 0, 1, 1, 1, 1, 1, 0, 0},
     {0, 1, 1, 1, 1, 1, 1, 1, 0},
     {1, 1, 1, 1, 1, 1, 1, 1, 1},
     {1, 1, 1, 1, 1, 1, 1, 1, 1},
     {1, 1, 1, 1, 1, 1, 1, 1, 1},
     {1, 1, 1, 1, 1, 1, 1, 1, 1},
     {1, 1, 1, 1, 1, 1, 1, 1, 1},
     {0, 1, 1, 1, 1, 1, 1, 1, 0},
     {0, 0, 1, 1, 1, 1, 1, 0, 0}},
};

constexpr int32_t kMaxEdgeOffsets = 65 * 65;  // edge sizes up to 32

// Byte offsets, within a cache of this pitch, of a glyph pixel's edge
// neighbourhood (the pixel itself included); their number.
int32_t BuildEdgeOffsets(int32_t edge, int32_t pitch, int32_t* offsets) {
  int32_t n = 0;
  if (edge <= 0 || edge > 32) return 0;
  for (int32_t dy = -edge; dy <= edge; dy++) {
    for (int32_t dx = -edge; dx <= edge; dx++) {
      if (edge <= 4 && !kEdgeMasks[edge - 1][dy + edge][dx + edge]) continue;
      offsets[n++] = dy * pitch + dx;
    }
  }
  return n;
}

// The glyph bitmap as the platform handed it over, cut to what its rows hold.
struct GlyphBitmap {
  const uint8_t* bits;
  int32_t pitch;
  int32_t width;
  int32_t height;
  int Bit(int32_t x, int32_t y) const { return bits[y * pitch + (x >> 3)] & (0x80 >> (x & 7)); }
  // Coverage 0..16.
  int Gray(int32_t x, int32_t y) const {
    const int g = bits[y * pitch + x];
    return g > 16 ? 16 : g;
  }
};

// Writes the glyph into the software cache; cell points at the cell's top-left
// byte, the glyph's pixels start edge pixels in from it.
void WriteSoftwareGlyph(const FontHandleRecord& font, uint8_t* cell, const GlyphBitmap& glyph, int32_t edge) {
  const int32_t pitch = font.softPitch;
  switch (font.fontType) {
    case 0:
      for (int32_t y = 0; y < glyph.height; y++) {
        std::memcpy(cell + y * pitch, glyph.bits + y * glyph.pitch, static_cast<size_t>((glyph.width + 7) / 8));
      }
      return;
    case 2:
      for (int32_t y = 0; y < glyph.height; y++) {
        for (int32_t x = 0; x < glyph.width; x++) {
          const int g = glyph.Gray(x, y);
          if (g > 1) cell[y * pitch + x] = static_cast<uint8_t>(g - 1);
        }
      }
      return;
    default:
      break;
  }
  int32_t offsets[kMaxEdgeOffsets];
  const int32_t count = BuildEdgeOffsets(edge, pitch, offsets);
  uint8_t* origin = cell + edge * pitch + edge;
  if (font.fontType == 1) {
    for (int32_t y = 0; y < glyph.height; y++) {
      for (int32_t x = 0; x < glyph.width; x++) {
        if (!glyph.Bit(x, y)) continue;
        uint8_t* p = origin + y * pitch + x;
        *p = 1;
        for (int32_t i = 0; i < count; i++) {
          if (p[offsets[i]] != 1) p[offsets[i]] = 2;
        }
      }
    }
    return;
  }
  // Type 3: the character's level low, the largest neighbouring level high.
  for (int32_t y = 0; y < glyph.height; y++) {
    for (int32_t x = 0; x < glyph.width; x++) {
      const int g = glyph.Gray(x, y);
      if (g == 0) continue;
      uint8_t* p = origin + y * pitch + x;
      *p = static_cast<uint8_t>((*p & 0xF0) | (g - 1));
      const int level = (g - 1) << 4;
      for (int32_t i = 0; i < count; i++) {
        uint8_t& q = p[offsets[i]];
        if ((q & 0xF0) < level) q = static_cast<uint8_t>((q & 0x0F) | level);
      }
    }
  }
}


// Renders one character into slot s, which the caller has already claimed.
void RenderGlyphIntoSlot(FontHandleRecord& font, FontCacheSlot& s, uint16_t code,
                         const PlatformTextMetrics& metrics, int32_t edge) {
  int32_t cellX, cellY;
  FontCellCorner(font, s.position, &cellX, &cellY);
  uint8_t* cell = font.softCache + static_cast<int64_t>(cellY) * font.softPitch;
  std::memset(cell, 0, static_cast<size_t>(int64_t{font.cellSize} * font.softPitch));

  const int32_t format = (font.fontType & kFontTypeAntialias) ? GlyphFormatGray4 : GlyphFormatBitmap;
  const uint32_t first = code & 0xFF, second = code >> 8;
  const uint32_t value = second ? first << 8 | second : first;
  PlatformGlyphMetrics gm{};
  const uint32_t size = font.platformFont->GetGlyph(value, format, &gm, 0, nullptr);
  if (size == kGlyphError) FatalErrorExit("GetGlyphOutline 関数が失敗しました");

  int64_t advance = gm.cellIncX;
  int64_t width = 0, height = 0;
  s.originX = 0;
  s.topOffset = 0;
  if (first != 0x20 && code != 0x4081) {
    s.originX = SaturateCast<int16_t>(gm.originX);
    s.topOffset = SaturateCast<int16_t>(int64_t{metrics.ascent} - gm.originY);
    // A box larger than the cell (an overhanging italic, say) is cut to the
    // cell, so that it never reaches into its neighbours or past the cache.
    const int64_t room = font.cellSize - 2 * int64_t{edge};
    width = gm.blackBoxX < room ? gm.blackBoxX : room;
    height = gm.blackBoxY < room ? gm.blackBoxY : room;
    const uint32_t pitch = gm.blackBoxY ? size / gm.blackBoxY / 4 * 4 : 0;
    if (size > 0 && pitch > 0 && width > 0 && height > 0) {
      auto* buffer = static_cast<uint8_t*>(VN_ALLOC_ZEROED(size));
      if (!buffer) FatalErrorExit("アンチエイリアス文字取得用バッファの確保に失敗しました");
      if (font.platformFont->GetGlyph(value, format, &gm, size, buffer) == kGlyphError) {
        MemFree(buffer);
        FatalErrorExit("GetGlyphOutline 関数が失敗しました");
      }
      GlyphBitmap glyph{buffer, static_cast<int32_t>(pitch), static_cast<int32_t>(width),
                        static_cast<int32_t>(height)};
      // Rows and columns that the buffer does not hold are left empty.
      const int64_t rowsHeld = size / pitch;
      const int64_t columnsHeld = format == GlyphFormatBitmap ? int64_t{pitch} * 8 : pitch;
      if (glyph.height > rowsHeld) glyph.height = static_cast<int32_t>(rowsHeld);
      if (glyph.width > columnsHeld) glyph.width = static_cast<int32_t>(columnsHeld);
      WriteSoftwareGlyph(font, cell, glyph, edge);
      MemFree(buffer);
    }
  }
  s.advance = SaturateCast<int16_t>(advance + 2 * edge);
  s.width = static_cast<uint16_t>(width + 2 * edge);
  s.height = static_cast<uint16_t>(height + 2 * edge);
}

}  // namespace

int ResetFontCacheSlots(int32_t handle) {
  FontHandleRecord* font = LookupFontHandle(handle);
  if (!font) return -1;
  TextCache& cache = font->cache;
  std::memset(cache.lookup, 0, sizeof(cache.lookup));
  std::memset(cache.slots, 0, sizeof(cache.slots));
  for (int32_t i = 0; i < cache.slotCount; i++) cache.slots[i].position = i;
  cache.slots[cache.slotCount].position = -1;
  cache.nextSlot = 0;
  return 0;
}

int RebuildFontCacheTexture(int32_t handle) {
  FontHandleRecord* font = LookupFontHandle(handle);
  if (!font) return -1;
  // Only a texture cache is ever rebuilt, and without a hardware device
  // there is none: the flag stays 0.
  font->rebuildFlag = 0;
  return 0;
}

FontCacheSlot* RenderGlyphsToFontCache(int32_t handle, int32_t count, const uint16_t* codes) {
  FontHandleRecord* font = LookupFontHandle(handle);
  if (!font || count < 1 || !codes || g_drawSettings.drawingSuspended) return nullptr;
  PlatformTextMetrics metrics{};
  if (!font->platformFont || font->platformFont->GetTextMetrics(&metrics) != 0) {
    FatalErrorExit("テキストキャッシュサーフェスのＤＣの取得に失敗しました");
  }
  const int32_t edge = FontEdgeOf(*font);
  TextCache& cache = font->cache;
  FontCacheSlot* s = nullptr;
  for (int32_t i = 0; i < count; i++) {
    s = &cache.slots[cache.nextSlot];
    // The slot's old character leaves the lookup, unless the lookup has
    // already moved on to a newer copy of it.
    if (s->used && s->entry && s->entry->slot == s) {
      s->entry->present = 0;
      s->entry->slot = nullptr;
    }
    FontLookupEntry* entry = &cache.lookup[codes[i]];
    entry->present = 1;
    entry->slot = s;
    s->entry = entry;
    s->used = 1;
    RenderGlyphIntoSlot(*font, *s, codes[i], metrics, edge);
    cache.nextSlot = cache.nextSlot + 1 == cache.slotCount ? 0 : cache.nextSlot + 1;
  }
  return s;
}

int CacheStringGlyphs(int32_t byteCount, const char* string, int32_t handle, uint16_t* list,
                      int32_t* count) {
  static uint16_t staticList[kFontStaticStringBytes];
  static uint16_t staticMissing[kFontStaticStringBytes];
  FontHandleRecord* font = LookupFontHandle(handle);
  if (!font || !string) return -1;
  const size_t fullLength = std::strlen(string);
  int64_t length = static_cast<int64_t>(fullLength);
  if (byteCount != -1 && byteCount < length) length = byteCount < 0 ? 0 : byteCount;
  if (length > INT32_MAX / 4) length = INT32_MAX / 4;

  uint16_t* block = nullptr;
  uint16_t* missing = staticMissing;
  if (length > kFontStaticStringBytes) {
    block = static_cast<uint16_t*>(VN_ALLOC(static_cast<size_t>(length) * 2 * sizeof(uint16_t)));
    if (!block) return -1;
    missing = block;
    if (!list) list = block + length;
  } else if (!list) {
    list = staticList;
  }

  const auto* text = reinterpret_cast<const unsigned char*>(string);
  TextCache& cache = font->cache;
  int32_t characters = 0, missingCount = 0;
  for (int32_t position = 0; position < length;) {
    uint16_t code;
    position += ReadFontCharacter(text, position, static_cast<int32_t>(length), font->charsetIndex, &code);
    list[characters++] = code;
    // Marked present for now, so that a repeated character is collected once.
    if (!cache.lookup[code].present && missingCount < cache.slotCount) {
      cache.lookup[code].present = 1;
      missing[missingCount++] = code;
    }
  }
  for (int32_t i = 0; i < missingCount; i++) cache.lookup[missing[i]].present = 0;
  if (missingCount > 0) RenderGlyphsToFontCache(handle, missingCount, missing);
  if (count) *count = characters;
  MemFree(block);
  return 0;
}
