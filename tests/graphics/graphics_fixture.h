// The library started on a scripted window and presenter with a small
// screen, and helpers to make graphics of known pixels and read the back image.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/core_api.h"
#include "core/memory.h"
#include "core/window.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_handle.h"
#include "graphics/graphics_api.h"
#include "graphics/screen.h"
#include "image/graph_image.h"
#include "platform/scripted_present.h"
#include "platform/scripted_window.h"
#include "softrender/memimg.h"
#include "tests/support/read_file.h"
#include "tests/support/scratch_dir.h"

class GraphicsTest : public ::testing::Test {
 public:
  static constexpr int kWidth = 16;
  static constexpr int kHeight = 12;

  void SetUp() override { Start(32); }
  void TearDown() override { Stop(); }

  void Start(int bits) {
    SetPlatformWindow(&window);
    SetPlatformPresenter(&presenter);
    SetPresentPacingForTest(0);
    EnableLogFile(1);
    ChangeWindowMode(1);
    ASSERT_EQ(SetScreenMode(kWidth, kHeight, bits, 60), 0);
    ASSERT_EQ(LibraryInit(), 0);
    blocksAtStart = MemGetTotals().liveBlocks;
  }

  void Stop() {
    LibraryEnd();
    SetPlatformPresenter(nullptr);
    SetPlatformWindow(nullptr);
    SetPresentPacingForTest(1);
  }

  // The log so far, line by line without the time prefix.
  std::vector<std::string> Log() { return LogLines(ReadWholeFile("Log.txt")); }
  bool Logged(const std::string& line) {
    std::vector<std::string> lines = Log();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }

  static MEMIMG* Back() { return GetBackScreenImage(); }

  // A raw pixel of a memory image (32-bit, or 16-bit with or without alpha).
  static uint32_t PixelOf(const MEMIMG* image, int x, int y) {
    const int bytes = MemImgBytesPerPixel(image->base);
    uint32_t v = 0;
    std::memcpy(&v, image->pixels + static_cast<int64_t>(y) * image->base->pitch + x * bytes, bytes);
    return v;
  }
  static uint32_t BackPixel(int x, int y) { return PixelOf(Back(), x, y); }
  static void FillBack(uint32_t value) { FillMemImgRaw(Back(), nullptr, value); }

  // The pixels that differ from value, as (x, y) pairs in row order.
  static std::vector<std::pair<int, int>> PixelsNotEqual(uint32_t value) {
    std::vector<std::pair<int, int>> found;
    for (int y = 0; y < Back()->height; y++) {
      for (int x = 0; x < Back()->width; x++) {
        if (BackPixel(x, y) != value) found.emplace_back(x, y);
      }
    }
    return found;
  }

  // A graphic of the size with the given 0xAARRGGBB pixels, row by row; with
  // alpha the graphic keeps the alpha byte, else it is dropped.
  static int MakeGraph(int width, int height, const std::vector<uint32_t>& pixels, bool alpha = false) {
    SetCreateGraphAlphaChannel(alpha ? 1 : 0);
    int graph = MakeEmptyGraph(width, height);
    SetCreateGraphAlphaChannel(0);
    if (graph == -1) return -1;
    GraphImage image;
    if (CreateGraphImage(width, height, &image) != 0) return -1;
    if (alpha) SetupColorFormat(&image.format, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u);
    for (int y = 0; y < height; y++) {
      std::memcpy(static_cast<uint8_t*>(image.pixels) + y * image.pitch, &pixels[static_cast<size_t>(y) * width],
                  static_cast<size_t>(width) * 4);
    }
    int result = ReloadImageIntoGraph(&image, nullptr, nullptr, 0, 0, graph);
    ReleaseGraphImage(&image);
    return result == 0 ? graph : -1;
  }

  static std::string DataFile(const std::string& relative) {
    return (std::filesystem::path(VARNOK_TEST_DATA) / relative).string();
  }

  ScratchDir dir;
  ScriptedWindow window;
  ScriptedPresenter presenter;
  int64_t blocksAtStart = 0;
};
