#include <cstring>

#include "graphics/directdraw_pixel_format.h"
#include "image/color_format.h"
#include "softrender/memimg.h"

namespace {

struct ChannelMasks {
  int bits;
  uint32_t red, green, blue, alpha;
};

// Index: type * 4 + alpha * 2 + palette for types 0 and 1, then the single-
// channel types 2 and 3, whose channels are all the one value.
constexpr int kFormatCount = 10;
constexpr ChannelMasks kMasks[kFormatCount] = {
    {16, 0xF800, 0x07E0, 0x001F, 0},
    {8, 0xF800, 0x07E0, 0x001F, 0},
    {32, 0xF800, 0x07E0, 0x001F, 0xFF0000},
    {8, 0xF800, 0x07E0, 0x001F, 0xFF0000},
    {32, 0xFF0000, 0xFF00, 0xFF, 0},
    {8, 0xFF0000, 0xFF00, 0xFF, 0},
    {32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
    {8, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
    {8, 0xFF, 0xFF, 0xFF, 0xFF},
    {16, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF},
};
constexpr int kFirstSingle = 8;

void SetupSingleChannelFormat(ColorFormat* format, int bits) {
  std::memset(format, 0, sizeof(ColorFormat));
  const uint32_t mask = bits == 8 ? 0xFFu : 0xFFFFu;
  format->bitsPerPixel = static_cast<uint16_t>(bits);
  format->bytesPerPixel = static_cast<uint16_t>(bits / 8);
  format->redWidth = format->greenWidth = format->blueWidth = format->alphaWidth =
      static_cast<uint8_t>(bits);
  format->redMask = format->greenMask = format->blueMask = format->alphaMask = mask;
}

// -1 for an unknown type.
int FormatIndex(uint32_t colorType, int32_t alpha, int32_t palette) {
  if (colorType > MemImgTypeSingle16) return -1;
  if (colorType >= MemImgTypeBlend8) return kFirstSingle + static_cast<int>(colorType) - MemImgTypeBlend8;
  return static_cast<int>(colorType) * 4 + (alpha ? 2 : 0) + (palette ? 1 : 0);
}

}  // namespace

const ColorFormat* GetMemImgColorFormat(uint32_t colorType, int32_t alpha, int32_t palette) {
  static ColorFormat formats[kFormatCount];
  static bool built[kFormatCount];
  const int i = FormatIndex(colorType, alpha, palette);
  if (i < 0) return nullptr;
  if (!built[i]) {
    const ChannelMasks& m = kMasks[i];
    if (i >= kFirstSingle) {
      SetupSingleChannelFormat(&formats[i], m.bits);
    } else {
      std::memset(&formats[i], 0, sizeof(ColorFormat));
      SetupColorFormat(&formats[i], m.bits, m.red, m.green, m.blue, m.alpha);
    }
    built[i] = true;
  }
  return &formats[i];
}

const DirectDrawPixelFormat* GetMemImgDirectDrawPixelFormat(uint32_t colorType, int32_t alpha,
                                                           int32_t palette) {
  static DirectDrawPixelFormat records[kFormatCount];
  static bool built[kFormatCount];
  const int i = FormatIndex(colorType, alpha, palette);
  if (i < 0) return nullptr;
  if (!built[i]) {
    const ChannelMasks& m = kMasks[i];
    MakeDirectDrawPixelFormat(&records[i], m.bits, m.red, m.green, m.blue, m.alpha);
    built[i] = true;
  }
  return &records[i];
}
