// Font tests run the library on a scripted window and presenter with a small
// screen; the scripted glyph source stands in for the machine's fonts, so
// glyphs and text metrics are described by hand. Readers of the cache, the
// back image and the log.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/core_api.h"
#include "core/memory.h"
#include "font/font_api.h"
#include "font/font_handle.h"
#include "font/text_cache.h"
#include "font/string_draw.h"
#include "graphics/draw_settings.h"
#include "graphics/graphics_api.h"
#include "graphics/screen.h"
#include "platform/glyph.h"
#include "softrender/memimg.h"
#include "tests/support/scripted_screen.h"

class FontTest : public ScriptedScreenTest {
 public:
  static constexpr int kWidth = 40;
  static constexpr int kHeight = 24;

  void SetUp() override { Start(32); }
  void TearDown() override { Stop(); }

  void Start(int bits) {
    SetPlatformGlyphSource(&glyphs);
    StartScreen(kWidth, kHeight, bits);
    // Glyph 'A': two pixels on a diagonal, one pixel in from the pen and
    // two rows below the cell's top (ascent 14 - 12).
    Glyph('A', {"#.", ".#"}, 1, 12, 6);
    Glyph(' ', {}, 0, 0, 5);
  }

  void Stop() {
    StopScreen();
    EXPECT_EQ(glyphs.liveFonts, 0);
    SetPlatformGlyphSource(nullptr);
  }

  void Glyph(uint32_t code, std::vector<std::string> rows, int originX = 0, int originY = 10,
             int advance = 8) {
    glyphs.glyphs[code] = {originX, originY, static_cast<int16_t>(advance), std::move(rows)};
  }

  int Create(int type = 0, int edge = -1) { return CreateFontToHandle(nullptr, 16, -1, type, -1, edge, 0); }

  FontHandleRecord& Font(int handle) { return *LookupFontHandle(handle); }

  // Shrinks a font's cache to a few slots, so that reuse is quick to reach.
  void UseSlots(int handle, int slots) {
    Font(handle).cache.slotCount = slots;
    ResetFontCacheSlots(handle);
  }

  // The cache byte of pixel (x, y) of a cache position, from the cell's corner.
  uint8_t CacheByte(int handle, int position, int x, int y) {
    FontHandleRecord& f = Font(handle);
    int cx, cy;
    FontCellCorner(f, position, &cx, &cy);
    return f.softCache[(cy + y) * f.softPitch + cx + x];
  }

  ScriptedGlyphSource glyphs;
};
