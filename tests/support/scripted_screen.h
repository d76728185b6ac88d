// Tests that draw: the library started on a scripted window and presenter
// with a small screen, and readers of the back image and the log.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "core/core_api.h"
#include "graphics/graphics_api.h"
#include "graphics/screen.h"
#include "platform/scripted_present.h"
#include "platform/scripted_window.h"
#include "platform/window.h"
#include "softrender/memimg.h"
#include "tests/support/read_file.h"
#include "tests/support/scratch_dir.h"

class ScriptedScreenTest : public ::testing::Test {
 public:
  void StartScreen(int width, int height, int bits) {
    SetPlatformWindow(&window);
    SetPlatformPresenter(&presenter);
    SetPresentPacingForTest(0);
    EnableLogFile(1);
    ChangeWindowMode(1);
    ASSERT_EQ(SetScreenMode(width, height, bits, 60), 0);
    ASSERT_EQ(LibraryInit(), 0);
  }

  void StopScreen() {
    LibraryEnd();
    SetPlatformPresenter(nullptr);
    SetPlatformWindow(nullptr);
    SetPresentPacingForTest(1);
  }

  // Whether a line of the log so far holds the text.
  bool Logged(const std::string& text) {
    for (const std::string& line : LogLines(ReadWholeFile("Log.txt"))) {
      if (line.find(text) != std::string::npos) return true;
    }
    return false;
  }

  // A raw pixel of a memory image (1, 2 or 4 bytes).
  static uint32_t PixelOf(const MEMIMG* image, int x, int y) {
    const int bytes = MemImgBytesPerPixel(image->base);
    uint32_t v = 0;
    std::memcpy(&v, image->pixels + static_cast<int64_t>(y) * image->base->pitch + x * bytes, bytes);
    return v;
  }
  // Every pixel of the image that differs from background: {x, y, value},
  // in row order.
  struct Lit {
    int x, y;
    uint32_t value;
    bool operator==(const Lit&) const = default;
  };
  static std::vector<Lit> LitPixels(const MEMIMG* image, uint32_t background) {
    std::vector<Lit> found;
    for (int y = 0; y < image->height; y++) {
      for (int x = 0; x < image->width; x++) {
        const uint32_t v = PixelOf(image, x, y);
        if (v != background) found.push_back({x, y, v});
      }
    }
    return found;
  }
  static MEMIMG* Back() { return GetBackScreenImage(); }
  static uint32_t BackPixel(int x, int y) { return PixelOf(Back(), x, y); }

  ScratchDir dir;
  ScriptedWindow window;
  ScriptedPresenter presenter;
};

inline std::ostream& operator<<(std::ostream& out, const ScriptedScreenTest::Lit& p) {
  return out << "(" << p.x << "," << p.y << ")=" << std::hex << p.value << std::dec;
}
