// Every picture the game loads: where it lies under the data folder, how it
// is cut into cells, how the game blends each cell, and who paints it.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "tools/datagen/canvas.h"

namespace datagen {

struct PictureSheet {
  const char* path;  // under the data folder, '/' between folders
  int across, down;  // cells, row by row; 1 x 1 for a single picture
  int cellWidth, cellHeight;
  AlphaKind (*kind)(int cell);
  void (*paint)(int cell, Canvas& canvas);
};

std::span<const PictureSheet> PictureSheets();

// A painted sheet as stored: 8-bit RGBA rows, and each cell's storage.
struct PaintedSheet {
  const PictureSheet* sheet;
  int width, height;
  std::vector<uint8_t> rgba;
  std::vector<AlphaKind> cellKinds;
};

PaintedSheet PaintSheet(const PictureSheet& sheet);

}  // namespace datagen
