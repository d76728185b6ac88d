// The library started on a scripted window and presenter with a small
// screen, and helpers to make graphics of known pixels and read the back image.
#pragma once
#include <filesystem>
#include <string>
#include <vector>

#include "core/memory.h"
#include "core/window.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_handle.h"
#include "image/graph_image.h"
#include "tests/support/scripted_screen.h"

class GraphicsTest : public ScriptedScreenTest {
 public:
  static constexpr int kWidth = 16;
  static constexpr int kHeight = 12;

  void SetUp() override { Start(32); }
  void TearDown() override { Stop(); }

  void Start(int bits) {
    StartScreen(kWidth, kHeight, bits);
    blocksAtStart = MemGetTotals().liveBlocks;
  }
  void Stop() { StopScreen(); }

  static void FillBack(uint32_t value) { FillMemImgRaw(Back(), nullptr, value); }

  // The pixels that differ from value, as (x, y) pairs in row order.
  static std::vector<std::pair<int, int>> PixelsNotEqual(uint32_t value) {
    std::vector<std::pair<int, int>> found;
    for (const Lit& p : LitPixels(Back(), value)) found.emplace_back(p.x, p.y);
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

  int64_t blocksAtStart = 0;
};
