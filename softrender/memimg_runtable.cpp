#include <algorithm>
#include <cstring>

#include "softrender/memimg.h"

namespace {

// Writes one row's run codes for pixels classified by classOf(x), then the
// row end byte; returns the position after it.
template <typename ClassOf>
uint8_t* WriteRowRuns(uint8_t* out, int32_t width, ClassOf classOf) {
  int32_t x = 0;
  while (x < width) {
    const int cls = classOf(x);
    int32_t length = 1;
    while (x + length < width && length < kRunMaxLength && classOf(x + length) == cls) length++;
    *out++ = static_cast<uint8_t>(cls << 6 | (length - 1));
    x += length;
  }
  *out++ = kRunRowEnd;
  return out;
}

template <typename Pixel>
Pixel LoadPixel(const uint8_t* p) {
  Pixel v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

int AlphaClass(uint8_t alpha) {
  return alpha == 0 ? RunTransparent : (alpha == 255 ? RunOpaque : RunPartial);
}

// A shaped row of a width-pixel image laid out in steps of step pixels.
RunRowSteps LayOutInSteps(const RunRow& row, int32_t width, int32_t step) {
  RunRowSteps out{0, -1, 0, 0, 0, 0};
  if (row.opaqueFirst < 0) return out;
  const int32_t span = (row.end - row.first + step - 1) / step * step;
  if (span == 0) return RunRowSteps{0, 0, 0, 0, 0, 0};
  const int32_t first = std::min(row.first, width - span);
  const int32_t last = first + span - step;
  // A row without an opaque part (a sprite's top and bottom rows) fits in
  // two steps at most: its empty part goes where the second one starts.
  const bool noOpaque = row.opaqueFirst == row.opaqueEnd;
  const int32_t opaqueFirst = noOpaque ? last : row.opaqueFirst, opaqueEnd = noOpaque ? last : row.opaqueEnd;
  if (first < 0 || opaqueFirst > first + step || opaqueEnd < last) return out;
  // Each lies within its step or on its end.
  return RunRowSteps{first, span / step, static_cast<uint8_t>(row.first - first),
                     static_cast<uint8_t>(opaqueFirst - first), static_cast<uint8_t>(row.end - last),
                     static_cast<uint8_t>(opaqueEnd - last)};
}

// The record of the row whose codes start at byte offset of table, in an
// image width pixels wide.
RunRow DescribeRow(const uint8_t* table, int32_t offset, int32_t width) {
  // The shape's parts in order; a run moves to the first part from the
  // current one on that holds its class, and a row that runs out of parts
  // is not shaped.
  constexpr uint8_t kParts[] = {RunTransparent, RunPartial, RunOpaque, RunPartial, RunTransparent};
  RunRow row{offset, 0, 0, 0, 0, {}};
  int part = 0;
  int32_t x = 0;
  bool shaped = true, drawn = false;
  for (const uint8_t* p = table + offset; *p != kRunRowEnd; p++) {
    const unsigned runClass = *p >> 6;
    const int32_t length = (*p & 0x3F) + 1;
    while (part < 5 && kParts[part] != runClass) part++;
    shaped = shaped && part < 5;
    if (runClass != RunTransparent) {
      if (!drawn) row.first = x;
      drawn = true;
      row.end = x + length;
    }
    // The opaque part starts where the left partial one ends, and the
    // right partial part where the opaque one does.
    if (part <= 1) row.opaqueFirst = x + length;
    if (part <= 2) row.opaqueEnd = x + length;
    x += length;
  }
  if (!drawn) row.first = row.end = 0;
  row.opaqueFirst = shaped ? std::clamp(row.opaqueFirst, row.first, row.end) : -1;
  row.opaqueEnd = shaped ? std::clamp(row.opaqueEnd, row.opaqueFirst, row.end) : -1;
  for (int i = 0; i < kRunRowStepSizes; i++) row.steps[i] = LayOutInSteps(row, width, RunRowStepPixels(i));
  return row;
}

}  // namespace

int64_t RunTableBytes(int32_t width, int32_t height, int64_t* rowsOffset) {
  // A row's codes take at most width + 1 bytes.
  const int64_t codes = (int64_t{width} + 5) * height;
  *rowsOffset = (codes + alignof(RunRow) - 1) / alignof(RunRow) * alignof(RunRow);
  return *rowsOffset + int64_t{height} * static_cast<int64_t>(sizeof(RunRow));
}

void BuildTransparencyRunTable(MEMIMG* image) {
  MemImgBase* base = image->base;
  if (!base->runTable) return;
  const uint32_t key = base->transparentColor;
  uint8_t* out = base->runTable;
  const uint8_t* row = image->pixels;
  for (int32_t y = 0; y < image->height; y++, row += base->pitch) {
    uint8_t* const rowCodes = out;
    if (base->paletteFlag) {
      out = WriteRowRuns(out, image->width, [&](int32_t x) {
        return uint32_t{row[x]} == key ? RunTransparent : RunOpaque;
      });
    } else if (base->alphaFlag) {
      // Alpha sits in byte 2 of a 16-bit pixel with alpha, byte 3 of a 32-bit one.
      const int alphaByte = base->colorType == MemImgType16 ? 2 : 3;
      out = WriteRowRuns(out, image->width,
                         [&](int32_t x) { return AlphaClass(row[x * 4 + alphaByte]); });
    } else if (base->colorType == MemImgType16) {
      out = WriteRowRuns(out, image->width, [&](int32_t x) {
        return uint32_t{LoadPixel<uint16_t>(row + x * 2)} == key ? RunTransparent : RunOpaque;
      });
    } else {
      out = WriteRowRuns(out, image->width, [&](int32_t x) {
        return LoadPixel<uint32_t>(row + x * 4) == key ? RunTransparent : RunOpaque;
      });
    }
    base->runRows[y] = DescribeRow(base->runTable, static_cast<int32_t>(rowCodes - base->runTable), image->width);
  }
  base->runTablePixels = image->pixels;
  base->runTableWidth = image->width;
  base->runTableHeight = image->height;
}

void BuildPremultipliedBuffer(MEMIMG* image) {
  MemImgBase* base = image->base;
  if (!base->premulPixels || !base->alphaFlag) return;
  const uint8_t* row = image->pixels;
  uint8_t* out = image->premulPixels;
  for (int32_t y = 0; y < image->height; y++, row += base->pitch, out += base->pitch) {
    if (base->colorType == MemImgType16) {
      for (int32_t x = 0; x < image->width; x++) {
        const uint32_t c = LoadPixel<uint16_t>(row + x * 4);
        const uint32_t a = row[x * 4 + 2];
        // Each field times a / 256, truncated in place.
        const uint16_t m = static_cast<uint16_t>(
            ((((c & 0xF800) * a) & 0xF80000) | (((c & 0x07E0) * a) & 0x7E000) |
             (((c & 0x001F) * a) & 0x1F00)) >> 8);
        std::memcpy(out + x * 4, &m, 2);
        out[x * 4 + 2] = static_cast<uint8_t>(a);
        out[x * 4 + 3] = 0;
      }
    } else {
      for (int32_t x = 0; x < image->width; x++) {
        const uint8_t* p = row + x * 4;
        const uint32_t a = p[3];
        uint8_t* q = out + x * 4;
        q[0] = static_cast<uint8_t>(p[0] * a >> 8);
        q[1] = static_cast<uint8_t>(p[1] * a >> 8);
        q[2] = static_cast<uint8_t>(p[2] * a >> 8);
        q[3] = static_cast<uint8_t>(a);
      }
    }
  }
}
