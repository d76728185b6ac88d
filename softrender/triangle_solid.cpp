// Solid-colour triangles into 32-bit and 16-bit images. The colour arrives
// already through the brightness (TriangleSetup::solidColor); each mode is
// one run loop of the shared solid-colour operations.
#include <cstdint>

#include "softrender/memimg.h"
#include "softrender/solid_ops.h"
#include "softrender/triangle_raster.h"

namespace {

// Colour bytes 0-2 each through its own product-table row; top byte 0.
uint32_t ScaleColor32(uint32_t color, const int32_t* blue, const int32_t* green,
                      const int32_t* red) {
  return static_cast<uint32_t>(blue[color & 0xFF]) |
         static_cast<uint32_t>(green[(color >> 8) & 0xFF]) << 8 |
         static_cast<uint32_t>(red[(color >> 16) & 0xFF]) << 16;
}

// The triangle's set-up carries the colour and the parameter.
template <BlendOp Op>
struct Solid32 : SolidOp32<Op> {
  explicit Solid32(const TriangleSetup& s) : SolidOp32<Op>(s.solidColor, s.param) {}
};

template <BlendOp Op>
struct Solid16 : SolidOp16<Op> {
  explicit Solid16(const TriangleSetup& s) : SolidOp16<Op>(s.solidColor, s.param) {}
};

}  // namespace

uint32_t PrepareTriangleSolidColor(const TriangleSetup& s, int32_t colorType, uint32_t color) {
  const BlendState32 state = MakeBlendState32(s.param, s.brightnessRgb);
  const int32_t* const* rows = state.brightRow;  // blue, green, red
  if (colorType == MemImgType32) {
    return (color & 0xFF000000u) | ScaleColor32(color, rows[0], rows[1], rows[2]);
  }
  // Bits above 15 would index past the table rows.
  color &= 0xFFFFu;
  return Pack16(rows[2][RedOf16(color)], rows[1][GreenOf16(color)], rows[0][BlueOf16(color)]);
}

constexpr TriangleSolidTable kSolid32Triangles = MakeSolidTriangleTable<Solid32>();
constexpr TriangleSolidTable kSolid16Triangles = MakeSolidTriangleTable<Solid16>();
