// Each font's cache of rendered characters: cells handed out round robin, a
// lookup from character code to cell, and the rendering of glyphs into it.
#pragma once
#include <cstdint>

#include "core/helpers.h"
#include "font/font_handle.h"

// Strings up to this many bytes are handled without allocation.
constexpr int32_t kFontStaticStringBytes = 256;

// Edge neighbourhoods of sizes 1 to 4 as 9 x 9 masks; the first 2e + 1 rows
// and columns of each are used, centre included. Larger edges use the whole square.
inline constexpr uint8_t kFontEdgeMasks[4][9][9] = {
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

// Empties the cache: no character cached, slot i at cell i, next slot 0. 0 / -1.
int ResetFontCacheSlots(int32_t handle);
// Makes a texture cache anew when it was lost; 0 / -1. The cache never lives
// in a texture here, so this has nothing to do.
int RebuildFontCacheTexture(int32_t handle);
// Renders each listed code into the next slot, cached or not; the slot of the
// last one, or null for an invalid handle or count.
FontCacheSlot* RenderGlyphsToFontCache(int32_t handle, int32_t count, const uint16_t* codes);
// Splits the first byteCount bytes (-1: all) of the string into character
// codes, writes them to list (room for one per byte) and their number to count
// when given, and renders those not cached. 0, or -1 (handle, allocation).
int CacheStringGlyphs(int32_t byteCount, const char* string, int32_t handle, uint16_t* list,
                      int32_t* count);

// Top-left pixel of a cache position's cell in the cache image.
inline void FontCellCorner(const FontHandleRecord& font, int32_t position, int32_t* x, int32_t* y) {
  *x = font.cellSize * (position / font.cacheRows);
  *y = font.cellSize * (position % font.cacheRows);
}

// The character at byte position of a string of length bytes under a charset
// index: its code (first byte low) and its byte count. A lead byte in the
// last position stands alone, so nothing past the end is read.
inline int32_t ReadFontCharacter(const unsigned char* text, int32_t position, int32_t length,
                                 int32_t charsetIndex, uint16_t* code) {
  if (IsMultiByteLeadByte(text + position, charsetIndex) && position + 1 < length) {
    *code = static_cast<uint16_t>(text[position] | text[position + 1] << 8);
    return 2;
  }
  *code = text[position];
  return 1;
}
