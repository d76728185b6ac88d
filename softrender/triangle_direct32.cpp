// Textured triangles from 32-bit direct-colour sources into 32-bit images.
// Every (mode, modifiers) pair is its own kernel; only the transparency and
// alpha tests remain per pixel.
#include <cstdint>
#include <cstring>

#include "softrender/triangle_ops32.h"
#include "softrender/triangle_raster.h"

namespace {

using namespace triops;

template <int Mode, int Mods>
struct Direct32 {
  using DestPixel = uint32_t;
  static constexpr int kTexelBytes = 4;
  static constexpr bool kBlend = (Mods & TriModBlend) != 0;
  static constexpr bool kBright = (Mods & TriModBrightness) != 0;
  static constexpr bool kAlpha = (Mods & TriModAlpha) != 0;
  static constexpr bool kTransparent = (Mods & TriModTransparent) != 0;
  static constexpr bool kUsesBlend = kBlend;

  TriangleOps32 ops;
  uint32_t transparentColor;
  const int32_t* const* brightRows;
  const uint8_t* border;

  explicit Direct32(const TriangleSetup& s)
      : ops{static_cast<uint32_t>(s.param), s.paramProduct},
        transparentColor(s.transparentColor),
        brightRows(s.brightProduct),
        border(s.borderTable) {}

  // Weights counts the weights whose product is w.
  template <int Weights>
  void Draw(uint32_t* d, uint32_t texel, uint32_t w) const {
    const uint32_t s = kBright ? ModulateColor32(texel, brightRows) : texel;
    *d = BlendPixel32<Mode, Weights, kBright>(*d, s, w, ops);
  }

  void Plot(uint32_t* d, const uint8_t* texelBytes, uint8_t blendValue) const {
    uint32_t texel;
    std::memcpy(&texel, texelBytes, 4);
    constexpr int kBlendWeights = kBlend ? 1 : 0;
    const uint32_t w = kBlend ? border[blendValue] : 1u;
    if constexpr (kAlpha) {
      const uint32_t a = texel >> 24;
      if constexpr (kTransparent) {
        // Under the transparent flag alpha 0 hides the texel and 255 drops the factor.
        if (a == 0) return;
        if (a == 255) {
          Draw<kBlendWeights>(d, texel, w);
          return;
        }
      }
      Draw<kBlendWeights + 1>(d, texel, w * a);
    } else {
      if constexpr (kTransparent) {
        if (texel == transparentColor) return;
      }
      Draw<kBlendWeights>(d, texel, w);
    }
  }
};

}  // namespace

constexpr TriangleVariantTable kDirect32Triangles = {
    TriangleModifiersOf<Direct32, 0>(),
    TriangleModifiersOf<Direct32, 1>(),
    TriangleModifiersOf<Direct32, 2>(),
    TriangleModifiersOf<Direct32, 3>(),
    TriangleModifierRow{},
    TriangleModifierRow{},
    TriangleModifierRow{},
};
