#include "core/helpers.h"
#include "softrender/memimg.h"

const ColorFormat* GetMemImgColorFormat(uint32_t colorType, int32_t alpha, int32_t palette) {
  return nullptr;
}

const DirectDrawPixelFormat* GetMemImgDirectDrawPixelFormat(uint32_t colorType, int32_t alpha,
                                                           int32_t palette) {
  return nullptr;
}

int CopyGraphImageToMemImg(const GraphImage* image, const GraphImage* alphaImage,
                           MEMIMG* destination, int32_t srcX, int32_t srcY, int32_t width,
                           int32_t height, int32_t destX, int32_t destY,
                           int32_t transparentToAlpha) {
  return -1;
}

int ConvertBlitMemImg(MEMIMG* destination, const MEMIMG* source, const IntRect* sourceRect,
                      int32_t destX, int32_t destY) {
  return -1;
}

