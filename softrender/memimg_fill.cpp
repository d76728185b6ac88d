#include <cstring>

#include "core/helpers.h"
#include "softrender/memimg.h"

namespace {

template <typename Pixel>
void FillRows(uint8_t* row, int32_t pitch, int32_t width, int32_t height, Pixel value) {
  for (int32_t y = 0; y < height; y++, row += pitch) {
    // A caller's pitch need not keep rows aligned to the pixel size.
    for (int32_t x = 0; x < width; x++) std::memcpy(row + x * sizeof(Pixel), &value, sizeof(Pixel));
  }
}

}  // namespace

void FillMemImgRaw(MEMIMG* image, const IntRect* rect, uint32_t value) {
  if (!image || !image->base) return;
  IntRect r{0, 0, image->width, image->height};
  if (rect) {
    r = *rect;
    const IntRect whole{0, 0, image->width, image->height};
    ClipRectToRect(&r, &whole);
  }
  const int32_t width = r.right - r.left;
  const int32_t height = r.bottom - r.top;
  if (width <= 0 || height <= 0) return;

  const MemImgBase* base = image->base;
  const int bytesPerPixel = MemImgBytesPerPixel(base);
  uint8_t* row = image->pixels + int64_t{r.top} * base->pitch + int64_t{r.left} * bytesPerPixel;
  switch (bytesPerPixel) {
    case 1: FillRows<uint8_t>(row, base->pitch, width, height, static_cast<uint8_t>(value)); break;
    case 2: FillRows<uint16_t>(row, base->pitch, width, height, static_cast<uint16_t>(value)); break;
    case 4: FillRows<uint32_t>(row, base->pitch, width, height, value); break;
    default: break;
  }
}
