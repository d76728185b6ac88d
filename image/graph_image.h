// The loaded-image record: the common currency between loaders, graphics,
// fonts, movies and the software renderer.
#pragma once
#include <cstdint>

#include "image/color_format.h"

struct GraphImage {
  ColorFormat format;
  int32_t width;
  int32_t height;
  int32_t pitch;  // bytes per row, a multiple of 4
  void* pixels;   // owned by the record
  int32_t mipMapCount;
};

// Pictures are refused above this many pixels a side.
constexpr int32_t kMaxLoadedImageSide = 16384;

// X8R8G8B8 image of the size; the pixels are not cleared. 0, or -1.
int CreateGraphImage(int32_t width, int32_t height, GraphImage* image);
// Frees the pixels and clears the record.
int ReleaseGraphImage(GraphImage* image);
// Sets the rectangle's pixels to 0 (clipped to the image).
int ClearGraphImageRect(GraphImage* image, int32_t x, int32_t y, int32_t width, int32_t height);
