#include "graphics/directdraw_pixel_format.h"

void MakeDirectDrawPixelFormat(DirectDrawPixelFormat* record, int32_t bitCount, uint32_t redMask,
                               uint32_t greenMask, uint32_t blueMask, uint32_t alphaMask) {
  *record = DirectDrawPixelFormat{};
  record->size = sizeof(DirectDrawPixelFormat);
  record->flags = kDirectDrawPixelFormatRgb;
  record->bitCount = static_cast<uint32_t>(bitCount);
  record->redMask = redMask;
  record->greenMask = greenMask;
  record->blueMask = blueMask;
  record->alphaMask = alphaMask;
}
