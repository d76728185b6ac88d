// Pixel formats and the conversion of pixel rectangles between them.
#pragma once
#include <cstdint>

#include "core/types.h"

struct PaletteEntry {
  uint8_t blue;
  uint8_t green;
  uint8_t red;
  uint8_t alpha;
};

// An 8-bit (or smaller) format whose masks don't fit its pixel is a palette
// format: the pixels are indices and the masks describe the palette entries
// of the image type it belongs to. An 8-bit format whose masks fit (0xFF) is
// a single-channel format.
struct ColorFormat {
  uint16_t bitsPerPixel;
  uint16_t bytesPerPixel;
  uint8_t redWidth;
  uint8_t greenWidth;
  uint8_t blueWidth;
  uint8_t alphaWidth;
  uint8_t redShift;
  uint8_t greenShift;
  uint8_t blueShift;
  uint8_t alphaShift;
  uint32_t redMask;
  uint32_t greenMask;
  uint32_t blueMask;
  uint32_t alphaMask;
  uint32_t unusedMask;  // bits of the pixel that no channel uses
  PaletteEntry palette[256];
  int32_t blockCompression;  // 0: none
};

// Fills the record from the depth and the four masks (bytes per pixel, each
// channel's shift and width, the unused bits); the palette is kept.
void SetupColorFormat(ColorFormat* format, int bitsPerPixel, uint32_t redMask, uint32_t greenMask,
                      uint32_t blueMask, uint32_t alphaMask);

bool IsPaletteColorFormat(const ColorFormat* format);

// Converts the source rectangle into the destination at (destX, destY).
// - alpha image: the destination alpha is the alpha image's red channel at the
//   same position (relative to the rectangle's top-left).
// - transparentToAlpha (destination with alpha, no alpha image): pixels whose
//   converted colour bits equal those of transparentColor (a destination pixel
//   value) get alpha 0, all others full alpha.
// - skipTransparent: such pixels are not written at all.
// - ditherMode 1: 4 x 4 ordered dither where a channel loses bits.
// - colorChannelsZero: red, green and blue are written as 0.
// - alphaFromRed: the destination alpha is the source's red channel.
// - mirror: the rectangle is written mirrored left to right.
// - remapPalette (8-bit to 8-bit): each index becomes the destination palette's
//   nearest colour.
// Returns 0; -1 for an empty rectangle or formats it cannot convert; for a
// plain 8-bit to 8-bit index copy, the highest index copied. No clipping.
int ConvertPixelRect(void* destPixels, int32_t destPitch, const ColorFormat* destFormat,
                     const void* srcPixels, int32_t srcPitch, const ColorFormat* srcFormat,
                     const void* alphaPixels, int32_t alphaPitch, const ColorFormat* alphaFormat,
                     int32_t destX, int32_t destY, const IntRect* srcRect, int32_t mirror,
                     int32_t transparentToAlpha, uint32_t transparentColor, int32_t ditherMode,
                     int32_t colorChannelsZero, int32_t alphaFromRed, int32_t skipTransparent,
                     int32_t remapPalette);

// Tests compare the generated kernels with the general conversion: 0 the
// general conversion alone, 1 the baseline kernels, 2 the AVX2 ones where
// the run's VectorLevel() allows them; -1 the run's own choice.
void SetPixelConvertLevelForTest(int level);
