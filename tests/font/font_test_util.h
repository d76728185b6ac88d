// Font tests run on hand-described glyphs: the scripted glyph source stands in
// for the machine's fonts, and the log of each test is read back.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/log.h"
#include "font/font_handle.h"
#include "font/text_cache.h"
#include "graphics/draw_settings.h"
#include "platform/glyph.h"
#include "tests/support/read_file.h"
#include "tests/support/scratch_dir.h"

class FontTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnableLogFile(1);
    LogOpen("Log.txt");
    SetPlatformGlyphSource(&glyphs);
    SetScreenColorBitDepth(32);
    InitFontManager();
  }
  void TearDown() override {
    EndFontSystem();
    EXPECT_EQ(glyphs.liveFonts, 0);
    SetPlatformGlyphSource(nullptr);
    LogClose();
  }

  std::vector<std::string> Log() { return LogLines(ReadWholeFile("Log.txt")); }
  bool LogHas(const std::string& line) {
    for (const std::string& l : Log()) {
      if (l.find(line) != std::string::npos) return true;
    }
    return false;
  }

  FontHandleRecord& Font(int handle) { return *LookupFontHandle(handle); }

  // Shrinks a font's cache to a few slots, so that reuse is quick to reach.
  void UseSlots(int handle, int slots) {
    Font(handle).cache.slotCount = slots;
    ResetFontCacheSlots(handle);
  }

  // The cache byte of pixel (x, y) of a font's slot, counted from the cell corner.
  uint8_t CacheByte(int handle, int position, int x, int y) {
    FontHandleRecord& f = Font(handle);
    int cx, cy;
    FontCellCorner(f, position, &cx, &cy);
    return f.softCache[(cy + y) * f.softPitch + cx + x];
  }

  ScratchDir dir;
  ScriptedGlyphSource glyphs;
};
