#include <cstring>

#include "graphics/directdraw_pixel_format.h"
#include "image/color_format.h"
#include "softrender/memimg.h"

namespace {

struct ChannelMasks {
  int bits;
  uint32_t red, green, blue, alpha;
};

// Index: type * 4 + alpha * 2 + palette, for types 0 and 1.
constexpr ChannelMasks kColourMasks[8] = {
    {16, 0xF800, 0x07E0, 0x001F, 0},
    {8, 0xF800, 0x07E0, 0x001F, 0},
    {32, 0xF800, 0x07E0, 0x001F, 0xFF0000},
    {8, 0xF800, 0x07E0, 0x001F, 0xFF0000},
    {32, 0xFF0000, 0xFF00, 0xFF, 0},
    {8, 0xFF0000, 0xFF00, 0xFF, 0},
    {32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
    {8, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
};

// Every channel of a single-channel image is the one value.
void SetupSingleChannelFormat(ColorFormat* format, int bits) {
  std::memset(format, 0, sizeof(ColorFormat));
  const uint32_t mask = bits == 8 ? 0xFFu : 0xFFFFu;
  format->bitsPerPixel = static_cast<uint16_t>(bits);
  format->bytesPerPixel = static_cast<uint16_t>(bits / 8);
  format->redWidth = format->greenWidth = format->blueWidth = format->alphaWidth =
      static_cast<uint8_t>(bits);
  format->redMask = format->greenMask = format->blueMask = format->alphaMask = mask;
}

int FormatIndex(uint32_t colorType, int32_t alpha, int32_t palette) {
  return static_cast<int>(colorType) * 4 + (alpha ? 2 : 0) + (palette ? 1 : 0);
}

}  // namespace

const ColorFormat* GetMemImgColorFormat(uint32_t colorType, int32_t alpha, int32_t palette) {
  static ColorFormat colourFormats[8];
  static bool colourBuilt[8];
  static ColorFormat singleFormats[2];
  static bool singleBuilt[2];
  if (colorType > MemImgTypeSingle16) return nullptr;
  if (colorType >= MemImgTypeBlend8) {
    const int i = static_cast<int>(colorType) - MemImgTypeBlend8;
    if (!singleBuilt[i]) {
      SetupSingleChannelFormat(&singleFormats[i], i == 0 ? 8 : 16);
      singleBuilt[i] = true;
    }
    return &singleFormats[i];
  }
  const int i = FormatIndex(colorType, alpha, palette);
  if (!colourBuilt[i]) {
    const ChannelMasks& m = kColourMasks[i];
    ColorFormat* f = &colourFormats[i];
    std::memset(f, 0, sizeof(ColorFormat));
    SetupColorFormat(f, m.bits, m.red, m.green, m.blue, m.alpha);
    colourBuilt[i] = true;
  }
  return &colourFormats[i];
}

const DirectDrawPixelFormat* GetMemImgDirectDrawPixelFormat(uint32_t colorType, int32_t alpha,
                                                           int32_t palette) {
  static DirectDrawPixelFormat colourRecords[8];
  static bool colourBuilt[8];
  static DirectDrawPixelFormat singleRecords[2];
  static bool singleBuilt[2];
  if (colorType > MemImgTypeSingle16) return nullptr;
  if (colorType >= MemImgTypeBlend8) {
    const int i = static_cast<int>(colorType) - MemImgTypeBlend8;
    if (!singleBuilt[i]) {
      const uint32_t mask = i == 0 ? 0xFFu : 0xFFFFu;
      MakeDirectDrawPixelFormat(&singleRecords[i], i == 0 ? 8 : 16, mask, mask, mask, mask);
      singleBuilt[i] = true;
    }
    return &singleRecords[i];
  }
  const int i = FormatIndex(colorType, alpha, palette);
  if (!colourBuilt[i]) {
    const ChannelMasks& m = kColourMasks[i];
    MakeDirectDrawPixelFormat(&colourRecords[i], m.bits, m.red, m.green, m.blue, m.alpha);
    colourBuilt[i] = true;
  }
  return &colourRecords[i];
}
