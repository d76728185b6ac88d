#include "softrender/memimg.h"

#include <cstring>

#include "core/memory.h"
#include "graphics/screen.h"

namespace {

// The pitch exponent looks at the requested row size: k when the stored pitch
// is exactly the smallest power of two not below it.
int32_t PitchExponent(int64_t requested, int64_t pitch) {
  int32_t k = 0;
  while ((int64_t{1} << k) < requested) k++;
  return pitch == (int64_t{1} << k) ? k : -1;
}

// Gives back everything a base holds, then the base itself.
void FreeBase(MemImgBase* base) {
  if (!base->userBuffer) MemFree(base->pixels);
  MemFree(base->premulPixels);
  MemFree(base->runTable);
  MemFree(base->palette);
  base->pixels = nullptr;
  base->premulPixels = nullptr;
  base->runTable = nullptr;
  base->runRows = nullptr;
  base->palette = nullptr;
  base->paletteCopy = nullptr;
  MemFree(base);
}

}  // namespace

int MemImgBytesPerPixelOf(int32_t colorType, int32_t paletteFlag, int32_t alphaFlag) {
  if (paletteFlag) return 1;
  switch (colorType) {
    case MemImgType16: return alphaFlag ? 4 : 2;
    case MemImgType32: return 4;
    case MemImgTypeBlend8: return 1;
    case MemImgTypeSingle16: return 2;
    default: return 0;
  }
}

int MemImgBytesPerPixel(const MemImgBase* base) {
  return MemImgBytesPerPixelOf(base->colorType, base->paletteFlag, base->alphaFlag);
}

int CreateMemImg(MEMIMG* image, int32_t width, int32_t height, int32_t pitch,
                 uint32_t transparentColor, int32_t colorType, int32_t paletteFlag,
                 int32_t alphaFlag, int32_t extraBuffers, void* userPixels) {
  if (!image || image->magic == kMemImgMagic) return -1;
  if (width < 0 || height < 0 || static_cast<uint32_t>(colorType) > MemImgTypeSingle16) return -1;

  // Flags given as any non-zero value count as 1.
  paletteFlag = paletteFlag ? 1 : 0;
  alphaFlag = alphaFlag ? 1 : 0;
  if (paletteFlag) alphaFlag = 0;
  if (colorType == MemImgTypeBlend8 || colorType == MemImgTypeSingle16) {
    paletteFlag = 0;
    alphaFlag = 0;
  }

  // Sizes in 64 bits: a pitch shorter than a row or a buffer beyond the
  // allocator's reach is refused before anything is allocated.
  const int bytesPerPixel = MemImgBytesPerPixelOf(colorType, paletteFlag, alphaFlag);
  const int64_t rowBytes = int64_t{bytesPerPixel} * width;
  int64_t storedPitch;
  if (pitch == -1) {
    storedPitch = (rowBytes + 15) & ~int64_t{15};
  } else {
    if (pitch < rowBytes) return -1;
    storedPitch = pitch;
  }
  if (storedPitch > INT32_MAX) return -1;
  const int64_t bufferBytes = storedPitch * height;
  int64_t runRowsOffset = 0;
  const int64_t runTableBytes = RunTableBytes(width, height, &runRowsOffset);
  if (bufferBytes > INT32_MAX || runTableBytes > INT32_MAX) return -1;

  auto* base = static_cast<MemImgBase*>(MemAllocZeroed(sizeof(MemImgBase), "", 0));
  if (!base) return -1;

  base->width = width;
  base->height = height;
  base->transparentColor = transparentColor;
  base->colorType = colorType;
  base->paletteFlag = paletteFlag;
  base->alphaFlag = alphaFlag;
  base->refCount = 1;
  base->pitchShift = PitchExponent(pitch == -1 ? rowBytes : pitch, storedPitch);
  base->pitch = static_cast<int32_t>(storedPitch);
  base->colorFormat = GetMemImgColorFormat(colorType, alphaFlag, paletteFlag);

  bool ok = true;
  if (paletteFlag) {
    auto* block = static_cast<uint8_t*>(MemAllocZeroed(2048, "", 0));
    base->palette = block;
    base->paletteCopy = block ? block + 1024 : nullptr;
    ok = block != nullptr;
  }
  if (ok) {
    if (userPixels) {
      base->pixels = static_cast<uint8_t*>(userPixels);
      base->userBuffer = 1;
    } else {
      base->pixels = static_cast<uint8_t*>(MemAlloc(static_cast<size_t>(bufferBytes), "", 0));
      ok = base->pixels != nullptr;
    }
  }
  if (ok && alphaFlag && extraBuffers) {
    base->premulPixels = static_cast<uint8_t*>(MemAlloc(static_cast<size_t>(bufferBytes), "", 0));
    ok = base->premulPixels != nullptr;
  }
  if (ok && colorType != MemImgTypeBlend8 && extraBuffers) {
    base->runTable = static_cast<uint8_t*>(MemAlloc(static_cast<size_t>(runTableBytes), "", 0));
    ok = base->runTable != nullptr;
    if (ok) base->runRows = reinterpret_cast<RunRow*>(base->runTable + runRowsOffset);
  }
  if (!ok) {
    FreeBase(base);
    image->base = nullptr;
    return -1;
  }

  image->base = base;
  image->magic = kMemImgMagic;
  image->width = width;
  image->height = height;
  image->pixels = base->pixels;
  image->premulPixels = base->premulPixels;
  return 0;
}

int CreateMemImgSimple(MEMIMG* image, int32_t width, int32_t height, int32_t colorType) {
  if (!image) return -1;
  std::memset(image, 0, sizeof(MEMIMG));
  if (colorType == -1) colorType = ScreenMemImgColorType();
  return CreateMemImg(image, width, height, -1, 0, colorType, 0, 0, 0, nullptr);
}

void DeriveMemImg(MEMIMG* view, const MEMIMG* source, int32_t x, int32_t y, int32_t width,
                  int32_t height) {
  if (!view || !CheckValidMemImg(source)) return;
  if (x < 0 || y < 0 || width < 0 || height < 0) return;
  if (int64_t{x} + width > source->width || int64_t{y} + height > source->height) return;

  MemImgBase* base = source->base;
  const int64_t offset = int64_t{y} * base->pitch + int64_t{x} * MemImgBytesPerPixel(base);
  // Read everything from source first: view and source may be one record.
  uint8_t* pixels = source->pixels + offset;
  uint8_t* premul = base->premulPixels ? source->premulPixels + offset : nullptr;
  view->magic = kMemImgMagic;
  view->width = width;
  view->height = height;
  view->pixels = pixels;
  view->premulPixels = premul;
  view->base = base;
  base->refCount++;
}

int CheckValidMemImg(const MEMIMG* image) {
  return image && image->magic == kMemImgMagic && image->base != nullptr ? 1 : 0;
}

void ReleaseMemImg(MEMIMG* image) {
  if (!image || image->magic != kMemImgMagic) return;
  MemImgBase* base = image->base;
  if (base && --base->refCount == 0) FreeBase(base);
  image->base = nullptr;
  image->magic = 0;
}

void SetMemImgTransparentColor(MEMIMG* image, uint32_t color) {
  if (!CheckValidMemImg(image)) return;
  MemImgBase* base = image->base;
  if (base->transparentColor == color) return;
  base->transparentColor = color;
  base->runTableValid = 0;
}

int MemImgRunTableUsable(const MEMIMG* image) {
  const MemImgBase* base = image->base;
  return base->runTableValid == 1 && base->runTable && base->runTablePixels == image->pixels &&
                 base->runTableWidth == image->width && base->runTableHeight == image->height
             ? 1
             : 0;
}
