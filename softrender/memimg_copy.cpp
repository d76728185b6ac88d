#include <cstring>

#include "image/graph_image.h"
#include "softrender/memimg.h"

namespace {

// Rectangles are not clipped here; one that does not fit is refused rather
// than read or written out of bounds.
bool FitsInside(int64_t x, int64_t y, int64_t width, int64_t height, int64_t areaWidth,
                int64_t areaHeight) {
  return x >= 0 && y >= 0 && width >= 0 && height >= 0 && x + width <= areaWidth &&
         y + height <= areaHeight;
}

// Palette entries in the image's own pixel layout: R5G6B5 words or X8R8G8B8.
void ConvertPalette(MemImgBase* base, const PaletteEntry* entries) {
  if (base->colorType == MemImgType16) {
    auto* out = static_cast<uint8_t*>(base->palette);
    for (int i = 0; i < 256; i++) {
      const PaletteEntry& e = entries[i];
      const uint16_t v = static_cast<uint16_t>(((e.red & 0xF8) << 8) | ((e.green & 0xFC) << 3) |
                                               (e.blue >> 3));
      std::memcpy(out + i * 2, &v, 2);
    }
    std::memcpy(base->paletteCopy, base->palette, 512);
  } else {
    auto* out = static_cast<uint8_t*>(base->palette);
    for (int i = 0; i < 256; i++) {
      const PaletteEntry& e = entries[i];
      const uint32_t v = uint32_t{e.red} << 16 | uint32_t{e.green} << 8 | e.blue;
      std::memcpy(out + i * 4, &v, 4);
    }
    std::memcpy(base->paletteCopy, base->palette, 1024);
  }
}

}  // namespace

int CopyGraphImageToMemImg(const GraphImage* image, const GraphImage* alphaImage,
                           MEMIMG* destination, int32_t srcX, int32_t srcY, int32_t width,
                           int32_t height, int32_t destX, int32_t destY,
                           int32_t transparentToAlpha) {
  if (!image || !CheckValidMemImg(destination)) return -1;
  if (!FitsInside(srcX, srcY, width, height, image->width, image->height) ||
      !FitsInside(destX, destY, width, height, destination->width, destination->height) ||
      (alphaImage &&
       !FitsInside(srcX, srcY, width, height, alphaImage->width, alphaImage->height))) {
    return -1;
  }
  MemImgBase* base = destination->base;
  const IntRect rect{srcX, srcY, srcX + width, srcY + height};

  if (base->colorType == MemImgTypeBlend8 || base->colorType == MemImgTypeSingle16) {
    // Colour written as 0 and alpha taken from red: all channels of a
    // single-channel format share its bits, so the value is the red channel.
    ConvertPixelRect(destination->pixels, base->pitch, base->colorFormat, image->pixels,
                     image->pitch, &image->format, nullptr, 0, nullptr, destX, destY, &rect, 0, 0,
                     0, 0, 1, 1, 0, 0);
    return 0;
  }

  const int result = ConvertPixelRect(
      destination->pixels, base->pitch, base->colorFormat, image->pixels, image->pitch,
      &image->format, alphaImage ? alphaImage->pixels : nullptr,
      alphaImage ? alphaImage->pitch : 0, alphaImage ? &alphaImage->format : nullptr, destX,
      destY, &rect, 0, transparentToAlpha, base->transparentColor, 0, 0, 0, 0, 0);
  if (result < 0) return result;
  if (!alphaImage && base->paletteFlag) base->paletteCount = result + 1;
  if (base->paletteFlag) ConvertPalette(base, image->format.palette);

  PrepareMemImgAfterCopy(destination, width == destination->width && height == destination->height);
  return 0;
}

void PrepareMemImgAfterCopy(MEMIMG* image, bool wholeView) {
  MemImgBase* base = image->base;
  base->premulValid = 0;
  base->runTableValid = 0;
  // Only a copy over the whole view prepares the auxiliary buffers.
  if (!wholeView) return;
  if (base->colorType != MemImgType16 && base->colorType != MemImgType32) return;
  if (!base->runTable) return;

  base->runTableValid = 1;
  if (base->alphaFlag == 1 && base->premulPixels) {
    base->premulValid = 1;
    BuildPremultipliedBuffer(image);
  }
  BuildTransparencyRunTable(image);
}

int ConvertBlitMemImg(MEMIMG* destination, const MEMIMG* source, const IntRect* sourceRect,
                      int32_t destX, int32_t destY) {
  if (!CheckValidMemImg(destination) || !CheckValidMemImg(source)) return -1;
  const IntRect rect = sourceRect ? *sourceRect : IntRect{0, 0, source->width, source->height};
  const int64_t width = int64_t{rect.right} - rect.left;
  const int64_t height = int64_t{rect.bottom} - rect.top;
  if (width <= 0 || height <= 0) return -1;
  if (!FitsInside(rect.left, rect.top, width, height, source->width, source->height) ||
      !FitsInside(destX, destY, width, height, destination->width, destination->height)) {
    return -1;
  }
  const MemImgBase* db = destination->base;
  const MemImgBase* sb = source->base;
  return ConvertPixelRect(destination->pixels, db->pitch, db->colorFormat, source->pixels,
                          sb->pitch, sb->colorFormat, nullptr, 0, nullptr, destX, destY, &rect, 0,
                          0, 0, 0, 0, 0, 0, 0);
}
