#include "font/text_cache.h"

#include <algorithm>
#include <cstring>

#include "core/core_api.h"
#include "core/helpers.h"
#include "core/memory.h"
#include "graphics/draw_settings.h"
#include "platform/glyph.h"

namespace {

// A neighbourhood as the union of rectangles centred on the pixel, each
// reaching rx across and ry down either way.
struct EdgeRectangle {
  int32_t rx, ry;
};

// The rectangles of an edge's neighbourhood: one square from size 5 on; for
// the masks, one for each width a row has, as tall as the rows that wide
// reach (the masks narrow row by row away from the centre). Their number.
int32_t EdgeRectangles(int32_t edge, EdgeRectangle* out) {
  if (edge <= 0 || edge > kMaxEdgeSize) return 0;
  if (edge > 4) {
    out[0] = {edge, edge};
    return 1;
  }
  int32_t n = 0;
  for (int32_t dy = 0; dy <= edge; dy++) {
    const uint8_t* row = kFontEdgeMasks[edge - 1][edge + dy];
    int32_t rx = 0;
    while (rx < edge && row[edge + rx + 1]) rx++;
    if (n > 0 && out[n - 1].rx == rx) {
      out[n - 1].ry = dy;
    } else {
      out[n++] = {rx, dy};
    }
  }
  return n;
}

// Each of n elements along a line (lanes bytes side by side, step bytes
// apart) becomes the largest value within r elements of it, nothing beyond
// the line's ends counting. The line is cut into blocks of 2r + 1, a running
// largest value kept forward (into prefix: room for n + 4r + 1 elements) and
// backward (in suffix: one element) within each; the two meet over any
// window, so an element costs three comparisons whatever r. zeros: one
// element of 0.
void LargestWithinRadius(uint8_t* line, intptr_t step, int32_t lanes, int32_t n, int32_t r, uint8_t* prefix,
                         uint8_t* suffix, const uint8_t* zeros) {
  const int32_t w = 2 * r + 1;
  const int32_t padded = (n + 2 * r + w - 1) / w * w;
  // Element k of the line moved r on, so that window i is elements i .. i + 2r.
  auto at = [&](int32_t k) { return k >= r && k - r < n ? line + (k - r) * step : zeros; };
  for (int32_t k = 0; k < padded; k++) {
    const uint8_t* v = at(k);
    uint8_t* g = prefix + static_cast<intptr_t>(k) * lanes;
    if (k % w == 0) {
      std::memcpy(g, v, static_cast<size_t>(lanes));
    } else {
      for (int32_t x = 0; x < lanes; x++) g[x] = std::max(g[x - lanes], v[x]);
    }
  }
  // Backward; element k is written once every element that reads it is done.
  for (int32_t k = padded - 1; k >= 0; k--) {
    const uint8_t* v = at(k);
    if (k % w == w - 1) {
      std::memcpy(suffix, v, static_cast<size_t>(lanes));
    } else {
      for (int32_t x = 0; x < lanes; x++) suffix[x] = std::max(suffix[x], v[x]);
    }
    if (k >= n) continue;
    const uint8_t* g = prefix + static_cast<intptr_t>(k + 2 * r) * lanes;
    uint8_t* out = line + k * step;
    for (int32_t x = 0; x < lanes; x++) out[x] = std::max(suffix[x], g[x]);
  }
}

// The largest level of each pixel's edge neighbourhood, for the levels in
// a width x height area (pitch apart) that has edge pixels of room on every
// side of the glyph; into edges (width x height, packed). The cost per
// pixel grows with the number of rectangles, not with the edge's area.
void EdgeLevels(const uint8_t* levels, int32_t pitch, int32_t width, int32_t height, int32_t edge,
                uint8_t* edges) {
  EdgeRectangle rectangles[4];
  const int32_t count = EdgeRectangles(edge, rectangles);
  const size_t area = static_cast<size_t>(width) * static_cast<size_t>(height);
  std::memset(edges, 0, area);
  if (count == 0) return;
  const int32_t longest = std::max(width, height) + 4 * edge + 1;
  const size_t prefixBytes = static_cast<size_t>(longest) * static_cast<size_t>(width);
  const size_t own = count > 1 ? area : 0;
  auto* scratch = static_cast<uint8_t*>(VN_ALLOC_ZEROED(own + prefixBytes + 2 * static_cast<size_t>(width)));
  if (!scratch) FatalErrorExit("アンチエイリアス文字取得用バッファの確保に失敗しました");
  uint8_t* one = own ? scratch : edges;
  uint8_t* prefix = scratch + own;
  uint8_t* suffix = prefix + prefixBytes;
  uint8_t* zeros = suffix + width;
  for (int32_t i = 0; i < count; i++) {
    for (int32_t y = 0; y < height; y++) {
      uint8_t* row = one + static_cast<intptr_t>(y) * width;
      std::memcpy(row, levels + static_cast<intptr_t>(y) * pitch, static_cast<size_t>(width));
      if (y < edge || y >= height - edge) continue;  // no glyph pixel in the row
      LargestWithinRadius(row, 1, 1, width, rectangles[i].rx, prefix, suffix, zeros);
    }
    LargestWithinRadius(one, width, width, height, rectangles[i].ry, prefix, suffix, zeros);
    if (one != edges) {
      for (size_t k = 0; k < area; k++) edges[k] = std::max(edges[k], one[k]);
    }
  }
  MemFree(scratch);
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
  // The character's levels (type 1: 1 where a bit is set; type 3: the grey
  // level less one), then each pixel's edge: the largest level around it.
  uint8_t* origin = cell + edge * pitch + edge;
  for (int32_t y = 0; y < glyph.height; y++) {
    for (int32_t x = 0; x < glyph.width; x++) {
      const int level = font.fontType == 1 ? (glyph.Bit(x, y) ? 1 : 0) : std::max(glyph.Gray(x, y) - 1, 0);
      origin[y * pitch + x] = static_cast<uint8_t>(level);
    }
  }
  const int32_t width = glyph.width + 2 * edge, height = glyph.height + 2 * edge;
  auto* edges = static_cast<uint8_t*>(VN_ALLOC(static_cast<size_t>(width) * static_cast<size_t>(height)));
  if (!edges) FatalErrorExit("アンチエイリアス文字取得用バッファの確保に失敗しました");
  EdgeLevels(cell, pitch, width, height, edge, edges);
  for (int32_t y = 0; y < height; y++) {
    uint8_t* row = cell + y * pitch;
    const uint8_t* around = edges + static_cast<intptr_t>(y) * width;
    for (int32_t x = 0; x < width; x++) {
      if (font.fontType == 1) {
        row[x] = row[x] ? 1 : around[x] ? 2 : 0;
      } else {
        row[x] = static_cast<uint8_t>(around[x] << 4 | row[x]);
      }
    }
  }
  MemFree(edges);
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
