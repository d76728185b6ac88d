#include "image/color_format.h"

#include <array>
#include <climits>
#include <cstdint>
#include <cstring>
#include <utility>

#include "core/helpers.h"
#include "core/log.h"
#include "image/pixel_convert.h"
#include "image/row_copy.h"

namespace {

constexpr uint32_t kFull16 = 0xFFFF;

int CountBits(uint32_t mask) { return __builtin_popcount(mask); }
int LowestBit(uint32_t mask) { return mask ? __builtin_ctz(mask) : 0; }

uint32_t PixelBitsMask(int bits) { return bits >= 32 ? 0xFFFFFFFFu : ((1u << bits) - 1u); }

uint32_t LoadPixel(const uint8_t* p, int bytes) {
  switch (bytes) {
    case 1: return p[0];
    case 2: return static_cast<uint32_t>(p[0] | (p[1] << 8));
    case 3: return static_cast<uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16));
    case 4: {
      uint32_t v;
      std::memcpy(&v, p, 4);
      return v;
    }
    default: return 0;
  }
}

void StorePixel(uint8_t* p, int bytes, uint32_t v) {
  switch (bytes) {
    case 1: p[0] = static_cast<uint8_t>(v); break;
    case 2: p[0] = static_cast<uint8_t>(v); p[1] = static_cast<uint8_t>(v >> 8); break;
    case 3:
      p[0] = static_cast<uint8_t>(v);
      p[1] = static_cast<uint8_t>(v >> 8);
      p[2] = static_cast<uint8_t>(v >> 16);
      break;
    case 4: std::memcpy(p, &v, 4); break;
    default: break;
  }
}

// A channel value of `width` bits widened to 16 bits by repeating its bits
// (so full stays full), or narrowed to its top 16 bits.
uint32_t ChannelTo16(uint32_t value, int width) {
  if (width <= 0) return 0;
  if (width >= 16) return value >> (width - 16);
  uint32_t result = 0;
  for (int shift = 16 - width; shift > -width; shift -= width) {
    result |= shift >= 0 ? value << shift : value >> -shift;
  }
  return result & kFull16;
}

// The top `width` bits of a 16-bit value (repeated again for widths above 16).
uint32_t ChannelFrom16(uint32_t value, int width) {
  if (width <= 0) return 0;
  if (width <= 16) return value >> (16 - width);
  uint64_t result = 0;
  for (int shift = width - 16; shift > -16; shift -= 16) {
    result |= shift >= 0 ? static_cast<uint64_t>(value) << shift : value >> -shift;
  }
  return static_cast<uint32_t>(result & ((1ull << width) - 1));
}

constexpr uint8_t kBayer4[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

struct Rgba16 {
  uint32_t r, g, b, a;
};

// Colour of one pixel as 16-bit channels; a format without alpha gives full alpha.
Rgba16 DecodePixel(const ColorFormat* f, bool palette, uint32_t pixel) {
  if (palette) {
    const PaletteEntry& e = f->palette[pixel & 0xFF];
    return {e.red * 257u, e.green * 257u, e.blue * 257u, f->alphaMask ? e.alpha * 257u : kFull16};
  }
  return {ChannelTo16((pixel & f->redMask) >> f->redShift, f->redWidth),
          ChannelTo16((pixel & f->greenMask) >> f->greenShift, f->greenWidth),
          ChannelTo16((pixel & f->blueMask) >> f->blueShift, f->blueWidth),
          f->alphaWidth ? ChannelTo16((pixel & f->alphaMask) >> f->alphaShift, f->alphaWidth) : kFull16};
}

uint32_t EncodeChannel(uint32_t value16, int width, uint32_t mask, int shift) {
  return (ChannelFrom16(value16, width) << shift) & mask;
}

uint32_t DitherChannel(uint32_t value16, int destWidth, int srcWidth, int threshold) {
  if (destWidth <= 0 || destWidth >= 16 || srcWidth <= destWidth) return value16;
  uint32_t step = 0x10000u >> destWidth;
  uint32_t v = value16 + ((step * static_cast<uint32_t>(threshold)) >> 4);
  return v > kFull16 ? kFull16 : v;
}

// ---- Index copies between palette images ----

int CopyIndices(uint8_t* dest, int32_t destPitch, const ColorFormat* destFormat, const uint8_t* src,
                int32_t srcPitch, const ColorFormat* srcFormat, int32_t destX, int32_t destY,
                const IntRect& rect, bool mirror, uint32_t key, bool skipKey, bool remap) {
  uint8_t map[256];
  for (int i = 0; i < 256; i++) map[i] = static_cast<uint8_t>(i);
  if (remap) {
    for (int i = 0; i < 256; i++) {
      const PaletteEntry& s = srcFormat->palette[i];
      int64_t best = INT64_MAX;
      for (int j = 0; j < 256; j++) {
        const PaletteEntry& d = destFormat->palette[j];
        int64_t dr = s.red - d.red, dg = s.green - d.green, db = s.blue - d.blue;
        int64_t distance = dr * dr + dg * dg + db * db;
        if (distance < best) {
          best = distance;
          map[i] = static_cast<uint8_t>(j);
        }
      }
    }
  }
  int32_t width = rect.right - rect.left;
  int highest = 0;
  for (int32_t y = rect.top; y < rect.bottom; y++) {
    const uint8_t* s = src + static_cast<int64_t>(y) * srcPitch + rect.left;
    uint8_t* d = dest + static_cast<int64_t>(destY + y - rect.top) * destPitch + destX;
    for (int32_t x = 0; x < width; x++) {
      uint8_t index = map[s[x]];
      if (skipKey && index == key) continue;
      d[mirror ? width - 1 - x : x] = index;
      if (index > highest) highest = index;
    }
  }
  return remap ? 0 : highest;
}

// ---- Generated kernels for the common pairs ----

PixelLayout LayoutOf(const ColorFormat* f) {
  const bool rgb888 = f->redMask == 0xFF0000 && f->greenMask == 0xFF00 && f->blueMask == 0xFF;
  const bool rgb565 = f->redMask == 0xF800 && f->greenMask == 0x07E0 && f->blueMask == 0x001F;
  if (f->bitsPerPixel == 32 && f->bytesPerPixel == 4) {
    if (rgb888 && f->alphaMask == 0xFF000000u) return PixelLayout::Argb8888;
    if (rgb888 && f->alphaMask == 0) return PixelLayout::Xrgb8888;
    if (rgb565 && f->alphaMask == 0xFF0000) return PixelLayout::Rgb565A;
  }
  if (f->bitsPerPixel == 16 && f->bytesPerPixel == 2 && rgb565 && f->alphaMask == 0) return PixelLayout::Rgb565;
  if (f->bitsPerPixel == 8 && f->bytesPerPixel == 1 && f->redMask == 0xFF && f->greenMask == 0xFF &&
      f->blueMask == 0xFF && f->alphaMask == 0xFF) {
    return PixelLayout::Single8;
  }
  return PixelLayout::Count;
}

bool HasEightBitChannels(PixelLayout layout) {
  return layout == PixelLayout::Argb8888 || layout == PixelLayout::Xrgb8888;
}

// The baseline kernels run anywhere; the widest table is AVX2's.
const int g_startKernelLevel = VectorLevel() >= 2 ? 2 : 1;
int g_kernelLevel = g_startKernelLevel;

struct KernelChoice {
  PixelRowKernel kernel;  // null: the general conversion
  bool identity;          // the pixels are copied as they are
};

// The kernel for a conversion with these options, or none for the general
// path: mirrored, keyed, dithered where bits are lost, palette sources, and
// layouts or alpha images the kernels do not cover.
KernelChoice ChooseKernel(const ColorFormat* destFormat, const ColorFormat* srcFormat,
                            const ColorFormat* alphaFormat, bool alphaImage, bool mirror, bool keyToAlpha,
                            bool dither, bool colorChannelsZero, bool alphaFromRed, bool skipTransparent) {
  if (g_kernelLevel == 0 || mirror || keyToAlpha || skipTransparent) return {};
  const PixelLayout from = LayoutOf(srcFormat), to = LayoutOf(destFormat);
  if (from == PixelLayout::Count || to == PixelLayout::Count) return {};
  if (dither && HasEightBitChannels(from) && !HasEightBitChannels(to)) return {};
  AlphaFrom alpha = AlphaFrom::Source;
  if (alphaFromRed || colorChannelsZero) {
    if (!(alphaFromRed && colorChannelsZero)) return {};
    alpha = AlphaFrom::SourceRed;
  } else if (alphaImage && destFormat->alphaMask) {
    const PixelLayout a = LayoutOf(alphaFormat);
    if (a != PixelLayout::Argb8888 && a != PixelLayout::Xrgb8888) return {};
    alpha = AlphaFrom::AlphaImage;
  }
  const int index = PixelKernelIndex(from, to, alpha);
  const bool identity =
      from == to && alpha == AlphaFrom::Source && (from == PixelLayout::Argb8888 || from == PixelLayout::Rgb565);
  if (g_kernelLevel >= 2 && kPixelKernelsAvx2[index]) return {kPixelKernelsAvx2[index], identity};
  return {kPixelKernels[index], identity};
}

}  // namespace

void SetPixelConvertLevelForTest(int level) {
  g_kernelLevel = level < 0 || level > g_startKernelLevel ? g_startKernelLevel : level;
}

void SetupColorFormat(ColorFormat* format, int bitsPerPixel, uint32_t redMask, uint32_t greenMask,
                      uint32_t blueMask, uint32_t alphaMask) {
  if (!format) return;
  format->bitsPerPixel = static_cast<uint16_t>(bitsPerPixel);
  format->bytesPerPixel = static_cast<uint16_t>((bitsPerPixel + 7) / 8);
  format->redMask = redMask;
  format->greenMask = greenMask;
  format->blueMask = blueMask;
  format->alphaMask = alphaMask;
  format->redWidth = static_cast<uint8_t>(CountBits(redMask));
  format->greenWidth = static_cast<uint8_t>(CountBits(greenMask));
  format->blueWidth = static_cast<uint8_t>(CountBits(blueMask));
  format->alphaWidth = static_cast<uint8_t>(CountBits(alphaMask));
  format->redShift = static_cast<uint8_t>(LowestBit(redMask));
  format->greenShift = static_cast<uint8_t>(LowestBit(greenMask));
  format->blueShift = static_cast<uint8_t>(LowestBit(blueMask));
  format->alphaShift = static_cast<uint8_t>(LowestBit(alphaMask));
  format->unusedMask =
      bitsPerPixel > 0 ? PixelBitsMask(bitsPerPixel) & ~(redMask | greenMask | blueMask | alphaMask) : 0;
  format->blockCompression = 0;
}

bool IsPaletteColorFormat(const ColorFormat* format) {
  if (!format || format->bitsPerPixel > 8) return false;
  uint32_t masks = format->redMask | format->greenMask | format->blueMask | format->alphaMask;
  return masks == 0 || (masks & ~PixelBitsMask(format->bitsPerPixel)) != 0;
}

int ConvertPixelRect(void* destPixels, int32_t destPitch, const ColorFormat* destFormat,
                     const void* srcPixels, int32_t srcPitch, const ColorFormat* srcFormat,
                     const void* alphaPixels, int32_t alphaPitch, const ColorFormat* alphaFormat,
                     int32_t destX, int32_t destY, const IntRect* srcRect, int32_t mirror,
                     int32_t transparentToAlpha, uint32_t transparentColor, int32_t ditherMode,
                     int32_t colorChannelsZero, int32_t alphaFromRed, int32_t skipTransparent,
                     int32_t remapPalette) {
  if (!srcRect || srcRect->right <= srcRect->left || srcRect->bottom <= srcRect->top) return -1;
  if (!destPixels || !srcPixels || !destFormat || !srcFormat) return -1;
  int destBytes = destFormat->bytesPerPixel, srcBytes = srcFormat->bytesPerPixel;
  if (destBytes < 1 || destBytes > 4 || srcBytes < 1 || srcBytes > 4) return -1;
  if (destFormat->blockCompression || srcFormat->blockCompression) return -1;
  const IntRect rect = *srcRect;
  const int32_t width = rect.right - rect.left;
  auto* dest = static_cast<uint8_t*>(destPixels);
  const auto* src = static_cast<const uint8_t*>(srcPixels);

  bool srcPalette = IsPaletteColorFormat(srcFormat);
  bool destPalette = IsPaletteColorFormat(destFormat);
  if (destPalette) {
    if (!srcPalette || srcBytes != 1 || destBytes != 1) {
      LogPrintf("パレット画像へは他の形式から変換できません in ConvertPixelRect");
      return -1;
    }
    return CopyIndices(dest, destPitch, destFormat, src, srcPitch, srcFormat, destX, destY, rect,
                       mirror != 0, transparentColor, skipTransparent != 0, remapPalette != 0);
  }

  const auto* alphaImage = static_cast<const uint8_t*>(alphaPixels);
  if (alphaImage && (!alphaFormat || alphaFormat->bytesPerPixel < 1 || alphaFormat->bytesPerPixel > 4)) {
    alphaImage = nullptr;
  }
  bool destHasAlpha = destFormat->alphaMask != 0;
  bool keyToAlpha = transparentToAlpha && destHasAlpha && !alphaImage;
  bool dither = ditherMode == 1;

  const KernelChoice choice =
      ChooseKernel(destFormat, srcFormat, alphaFormat, alphaImage != nullptr, mirror != 0, keyToAlpha, dither,
                   colorChannelsZero != 0, alphaFromRed != 0, skipTransparent != 0);
  if (const PixelRowKernel kernel = choice.kernel) {
    const int alphaBytes = alphaImage ? alphaFormat->bytesPerPixel : 0;
    uint8_t* const first = dest + static_cast<int64_t>(destY) * destPitch + static_cast<int64_t>(destX) * destBytes;
    const uint8_t* const from = src + static_cast<int64_t>(rect.top) * srcPitch + static_cast<int64_t>(rect.left) * srcBytes;
    const int32_t height = rect.bottom - rect.top;
    const size_t rowBytes = static_cast<size_t>(width) * static_cast<size_t>(destBytes);
    if (choice.identity) {
      CopyImageRows(first, destPitch, from, srcPitch, rowBytes, height);
      return 0;
    }
    const bool gapless = static_cast<size_t>(destPitch) == rowBytes &&
                         srcPitch == static_cast<int64_t>(width) * srcBytes &&
                         (!alphaImage || alphaPitch == static_cast<int64_t>(width) * alphaBytes);
    if (gapless && static_cast<int64_t>(width) * height <= INT32_MAX) {
      // Whole images: one long row keeps the kernel's vector loop going.
      kernel(first, from,
             alphaImage ? alphaImage + static_cast<int64_t>(rect.top) * alphaPitch +
                              static_cast<int64_t>(rect.left) * alphaBytes
                        : nullptr,
             width * height);
      return 0;
    }
    for (int32_t row = 0; row < height; row++) {
      kernel(first + static_cast<int64_t>(row) * destPitch, from + static_cast<int64_t>(row) * srcPitch,
             alphaImage ? alphaImage + static_cast<int64_t>(rect.top + row) * alphaPitch +
                              static_cast<int64_t>(rect.left) * alphaBytes
                        : nullptr,
             width);
    }
    return 0;
  }

  const uint32_t colorMask = destFormat->redMask | destFormat->greenMask | destFormat->blueMask;
  const bool alphaPalette = alphaImage && IsPaletteColorFormat(alphaFormat);
  const int srcWidthOf[4] = {srcPalette ? 8 : srcFormat->redWidth, srcPalette ? 8 : srcFormat->greenWidth,
                             srcPalette ? 8 : srcFormat->blueWidth, srcPalette ? 8 : srcFormat->alphaWidth};
  for (int32_t y = rect.top; y < rect.bottom; y++) {
    const uint8_t* s = src + static_cast<int64_t>(y) * srcPitch + static_cast<int64_t>(rect.left) * srcBytes;
    const uint8_t* a = alphaImage ? alphaImage + static_cast<int64_t>(y) * alphaPitch +
                                        static_cast<int64_t>(rect.left) * alphaFormat->bytesPerPixel
                                  : nullptr;
    const int32_t outY = destY + y - rect.top;
    uint8_t* d = dest + static_cast<int64_t>(outY) * destPitch;
    for (int32_t x = 0; x < width; x++) {
      Rgba16 c = DecodePixel(srcFormat, srcPalette, LoadPixel(s + x * srcBytes, srcBytes));
      bool isKey = false;
      if (keyToAlpha || skipTransparent) {
        uint32_t colour = EncodeChannel(c.r, destFormat->redWidth, destFormat->redMask, destFormat->redShift) |
                          EncodeChannel(c.g, destFormat->greenWidth, destFormat->greenMask,
                                        destFormat->greenShift) |
                          EncodeChannel(c.b, destFormat->blueWidth, destFormat->blueMask, destFormat->blueShift);
        isKey = (colour & colorMask) == (transparentColor & colorMask);
        if (isKey && skipTransparent) continue;
      }
      uint32_t alpha = c.a;
      if (alphaFromRed) {
        alpha = c.r;
      } else if (a) {
        int bytes = alphaFormat->bytesPerPixel;
        alpha = DecodePixel(alphaFormat, alphaPalette, LoadPixel(a + x * bytes, bytes)).r;
      } else if (keyToAlpha) {
        alpha = isKey ? 0 : kFull16;
      }
      const int32_t outX = destX + (mirror ? width - 1 - x : x);
      uint32_t r = c.r, g = c.g, b = c.b;
      if (colorChannelsZero) {
        r = g = b = 0;
      } else if (dither) {
        int threshold = kBayer4[outY & 3][outX & 3];
        r = DitherChannel(r, destFormat->redWidth, srcWidthOf[0], threshold);
        g = DitherChannel(g, destFormat->greenWidth, srcWidthOf[1], threshold);
        b = DitherChannel(b, destFormat->blueWidth, srcWidthOf[2], threshold);
      }
      uint32_t pixel = EncodeChannel(r, destFormat->redWidth, destFormat->redMask, destFormat->redShift) |
                       EncodeChannel(g, destFormat->greenWidth, destFormat->greenMask, destFormat->greenShift) |
                       EncodeChannel(b, destFormat->blueWidth, destFormat->blueMask, destFormat->blueShift) |
                       EncodeChannel(alpha, destFormat->alphaWidth, destFormat->alphaMask, destFormat->alphaShift);
      StorePixel(d + static_cast<int64_t>(outX) * destBytes, destBytes, pixel);
    }
  }
  return 0;
}
