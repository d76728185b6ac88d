#include "image/graph_image.h"

#include <cstring>

#include "core/helpers.h"
#include "core/memory.h"

int CreateGraphImage(int32_t width, int32_t height, GraphImage* image) {
  if (!image || width <= 0 || height <= 0 || width > kMaxLoadedImageSide || height > kMaxLoadedImageSide) {
    return -1;
  }
  std::memset(image, 0, sizeof(*image));
  SetupColorFormat(&image->format, 32, 0xFF0000, 0xFF00, 0xFF, 0);
  image->width = width;
  image->height = height;
  image->pitch = width * 4;
  image->pixels = VN_ALLOC(static_cast<size_t>(image->pitch) * static_cast<size_t>(height));
  if (!image->pixels) {
    std::memset(image, 0, sizeof(*image));
    return -1;
  }
  return 0;
}

int ReleaseGraphImage(GraphImage* image) {
  if (!image) return -1;
  MemFree(image->pixels);
  std::memset(image, 0, sizeof(*image));
  return 0;
}

int ClearGraphImageRect(GraphImage* image, int32_t x, int32_t y, int32_t width, int32_t height) {
  if (!image || !image->pixels) return -1;
  IntRect rect{x, y, x, y};
  if (__builtin_add_overflow(x, width, &rect.right) || __builtin_add_overflow(y, height, &rect.bottom)) {
    return -1;
  }
  IntRect bounds{0, 0, image->width, image->height};
  ClipRectToRect(&rect, &bounds);
  int bytes = image->format.bytesPerPixel;
  size_t rowBytes = static_cast<size_t>(rect.right - rect.left) * static_cast<size_t>(bytes);
  if (rowBytes == 0) return 0;
  auto* row = static_cast<uint8_t*>(image->pixels) + static_cast<size_t>(rect.top) * image->pitch +
              static_cast<size_t>(rect.left) * bytes;
  for (int32_t r = rect.top; r < rect.bottom; r++, row += image->pitch) std::memset(row, 0, rowBytes);
  return 0;
}
