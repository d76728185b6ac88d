// Font records, the 40-slot font table, the default font and the font
// system's start, end and re-creation. Internal to the library.
#pragma once
#include <cstdint>

#include "font/font_api.h"

class PlatformFont;

constexpr int kFontTableSize = 40;
constexpr int kFontCheckLimit = 2048;
constexpr int kFontCacheSlotMax = 2024;
constexpr int kFontCodeCount = 65536;

// Font type bits.
constexpr int32_t kFontTypeEdge = 1;
constexpr int32_t kFontTypeAntialias = 2;
// Larger edges are refused.
constexpr int32_t kMaxEdgeSize = 32;

struct FontCacheSlot;

struct FontLookupEntry {
  uint32_t present;  // 1 while the character is cached
  FontCacheSlot* slot;
};

struct FontCacheSlot {
  uint16_t used;
  int16_t originX;    // black box's left edge from the pen
  int16_t topOffset;  // black box's top below the cell's top
  int16_t advance;    // pen advance, edge included
  int32_t position;   // cell index in the cache image
  uint16_t width;     // black box, edge included
  uint16_t height;
  FontLookupEntry* entry;  // the lookup entry that points here
};

// Characters by their 2-byte code (first byte low): slots handed out round
// robin, and a flat lookup from code to slot.
struct TextCache {
  FontCacheSlot slots[kFontCacheSlotMax + 1];
  FontLookupEntry lookup[kFontCodeCount];
  int32_t nextSlot;
  int32_t slotCount;
};

struct FontHandleRecord {
  int32_t check;
  int32_t* lostFlag;
  TextCache cache;
  // The cache in plain memory: one column of cells, 1 or 8 bits per pixel.
  uint8_t* softCache;
  int32_t softPitch;
  int32_t softBitsPerPixel;
  char face[256];  // Shift-JIS; empty for the built-in default face
  int32_t thickness;
  int32_t size;
  int32_t charHeight;
  int32_t italic;
  int32_t spacing;  // pixels added to every advance
  int32_t cellSize;
  PlatformFont* platformFont;
  int32_t fontType;
  int32_t charsetIndex;
  int32_t edgeSize;
  int32_t cacheWidth;
  int32_t cacheHeight;
  int32_t cacheRows;
  int32_t cacheGraph;  // -1: none
  int32_t edgeGraph;   // -1: none
  int32_t rebuildFlag;
  int32_t textureCache;  // 1: the cache lives in a texture graphic
};

struct FontDefaults {
  char face[128];
  int32_t size;
  int32_t thickness;
  int32_t fontType;
  int32_t charsetIndex;
  int32_t edgeSize;
  int32_t italic;
  int32_t spacing;
};

// The record of a valid handle, else null.
FontHandleRecord* LookupFontHandle(int32_t handle);

// Edge size that shapes the cache: the font's edge size when it is edged, else 0.
inline int32_t FontEdgeOf(const FontHandleRecord& font) {
  return (font.fontType & kFontTypeEdge) ? font.edgeSize : 0;
}

// Graphics start, end and restore, and the screen-mode change.
int InitFontManager();
int InitFontSystem();
int EndFontSystem();
int RecreateAllFontHandles();
int RefreshDefaultFont();
int SetDefaultFontSizeAndThickness(const char* ignored, int32_t size, int32_t thickness);

// Cell geometry of a font from its text metrics: the cell's side and the
// character height (both even, edges included).
struct FontCell {
  int32_t cellSize;
  int32_t charHeight;
};
FontCell ComputeFontCell(int32_t maxCharWidth, int32_t height, int32_t edge);

// The software cache's shape for a cell size and a slot-count option (0: automatic).
struct FontCacheShape {
  int32_t width;
  int32_t height;
  int32_t slots;
};
FontCacheShape SoftwareCacheShape(int32_t cellSize, int32_t slotOption);
