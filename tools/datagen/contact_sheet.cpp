#include "tools/datagen/contact_sheet.h"

#include <algorithm>
#include <cstdio>

#include "tools/datagen/glyphs.h"

namespace datagen {
namespace {

constexpr int kSheetWidth = 2080;
constexpr int kPadding = 16;
constexpr int kLabelHeight = 22;
constexpr int kChecker = 8;

struct Placed {
  const PaintedSheet* sheet;
  int x, y;
};

std::string Label(const PaintedSheet& painted) {
  const PictureSheet& s = *painted.sheet;
  std::string name = s.path;
  name = name.substr(name.find_last_of('/') + 1);
  char cells[64];
  if (s.across * s.down == 1) {
    std::snprintf(cells, sizeof cells, "  %dx%d", s.cellWidth, s.cellHeight);
  } else {
    std::snprintf(cells, sizeof cells, "  %d x %d of %dx%d", s.across, s.down, s.cellWidth, s.cellHeight);
  }
  return name + cells;
}

// The sheet's pixels onto the board, blended the way the game draws them.
void Lay(Canvas& board, const PaintedSheet& painted, int x0, int y0) {
  const PictureSheet& s = *painted.sheet;
  for (int y = 0; y < painted.height; y++) {
    for (int x = 0; x < painted.width; x++) {
      const uint8_t* p = &painted.rgba[(static_cast<size_t>(y) * painted.width + x) * 4];
      const AlphaKind kind = painted.cellKinds[(y / s.cellHeight) * s.across + x / s.cellWidth];
      const float a = p[3] / 255.0f;
      float* d = board.Pixel(x0 + x, y0 + y);
      for (int c = 0; c < 3; c++) {
        const float v = p[c] / 255.0f;
        d[c] = kind == AlphaKind::Light ? std::min(1.0f, d[c] + v * a) : v * a + d[c] * (1.0f - a);
      }
    }
  }
}

}  // namespace

void WriteContactSheet(const std::string& path, std::span<const PaintedSheet> sheets) {
  // Shelves, left to right, top to bottom.
  std::vector<Placed> placed;
  int x = kPadding, y = kPadding, shelf = 0;
  for (const PaintedSheet& s : sheets) {
    const int labelWidth = static_cast<int>(TextWidth(Label(s), TextStyle{15.0f})) + 4;
    const int w = std::max(s.width, labelWidth), h = s.height + kLabelHeight;
    if (x + w + kPadding > kSheetWidth && x > kPadding) {
      x = kPadding;
      y += shelf + kPadding;
      shelf = 0;
    }
    placed.push_back({&s, x, y});
    x += w + kPadding * 2;
    shelf = std::max(shelf, h);
  }
  const int height = y + shelf + kPadding;
  Canvas board(kSheetWidth, height);
  for (int py = 0; py < height; py++) {
    for (int px = 0; px < kSheetWidth; px++) {
      const float grey = ((px / kChecker + py / kChecker) % 2) ? 0.30f : 0.24f;
      float* d = board.Pixel(px, py);
      d[0] = d[1] = d[2] = grey;
      d[3] = 1.0f;
    }
  }
  for (const Placed& p : placed) {
    const std::string label = Label(*p.sheet);
    const TextStyle style{15.0f};
    const int labelWidth = static_cast<int>(TextWidth(label, style)) + 4;
    Mask text(labelWidth, kLabelHeight);
    DrawText(text, label, style, 0.0f, -2.0f);
    Canvas caption(labelWidth, kLabelHeight);
    caption.Over(text, Rgb{1.0f, 1.0f, 0.85f});
    board.Place(caption, p.x, p.y);
    Lay(board, *p.sheet, p.x, p.y + kLabelHeight);
  }
  WritePng(path, kSheetWidth, height, ToRgba8(board, AlphaKind::Straight));
}

}  // namespace datagen
