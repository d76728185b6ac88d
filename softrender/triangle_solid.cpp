// Solid-colour triangles into 32-bit and 16-bit images. The colour arrives
// already through the brightness (TriangleSetup::solidColor); each mode is
// one run loop with what it can precompute done once per call.
#include <algorithm>
#include <cstdint>

#include "softrender/memimg.h"
#include "softrender/triangle_raster.h"

namespace {

// Colour bytes 0-2 each through its own product-table row; top byte 0.
uint32_t ScaleColor32(uint32_t color, const int32_t* blue, const int32_t* green,
                      const int32_t* red) {
  return static_cast<uint32_t>(blue[color & 0xFF]) |
         static_cast<uint32_t>(green[(color >> 8) & 0xFF]) << 8 |
         static_cast<uint32_t>(red[(color >> 16) & 0xFF]) << 16;
}

template <BlendOp Op>
struct Solid32 {
  using DestPixel = uint32_t;
  BlendState32 state;
  uint32_t color;

  explicit Solid32(const TriangleSetup& s) : state(MakeTriangleBlendState<Pixel32>(s)) {
    color = s.solidColor;
    // The add and subtract scale the colour by the parameter once per call.
    if constexpr (Op == BlendOp::Add || Op == BlendOp::Subtract) {
      color = ScaleColor32(color, state.paramRow, state.paramRow, state.paramRow);
    }
  }

  void Fill(uint32_t* d, int32_t n) const {
    if constexpr (Op == BlendOp::Copy) {
      std::fill(d, d + n, color);
    } else {
      for (int32_t i = 0; i < n; i++) {
        if constexpr (Op == BlendOp::Add) {
          d[i] = PackedAdd32(color, d[i]);
        } else if constexpr (Op == BlendOp::Subtract) {
          d[i] = PackedSubtract32(color, d[i]);
        } else {
          // Inverted source: the complement is of the colour that already
          // carries the brightness.
          d[i] = BlendPixel32<Op, false, false, false>(d[i], color, 0, 0, state);
        }
      }
    }
  }
};

template <BlendOp Op>
struct Solid16 {
  using DestPixel = uint16_t;
  BlendState16 state;
  uint32_t color;

  explicit Solid16(const TriangleSetup& s) : state(MakeTriangleBlendState<Pixel16>(s)) {
    color = s.solidColor;
    if constexpr (Op == BlendOp::Add || Op == BlendOp::Subtract) {
      const int32_t* row = state.paramRow;
      color = Pack16(row[RedOf16(color)], row[GreenOf16(color)], row[BlueOf16(color)]);
    }
  }

  void Fill(uint16_t* d, int32_t n) const {
    if constexpr (Op == BlendOp::Copy) {
      std::fill(d, d + n, static_cast<uint16_t>(color));
    } else {
      for (int32_t i = 0; i < n; i++) {
        uint32_t out;
        if constexpr (Op == BlendOp::Add) {
          out = PackedAdd16(color, d[i]);
        } else if constexpr (Op == BlendOp::Subtract) {
          out = PackedSubtract16(color, d[i]);
        } else {
          // Inverted source: the complement is of the colour that already
          // carries the brightness.
          out = BlendPixel16<Op, false, false, false>(d[i], color, 0, 0, state);
        }
        d[i] = static_cast<uint16_t>(out);
      }
    }
  }
};

}  // namespace

uint32_t PrepareTriangleSolidColor(const TriangleSetup& s, int32_t colorType, uint32_t color) {
  const int32_t* const* rows = s.brightProduct;
  if (colorType == MemImgType32) {
    return (color & 0xFF000000u) | ScaleColor32(color, rows[0], rows[1], rows[2]);
  }
  // Bits above 15 would index past the table rows.
  color &= 0xFFFFu;
  return Pack16(rows[2][RedOf16(color)], rows[1][GreenOf16(color)], rows[0][BlueOf16(color)]);
}

constexpr TriangleSolidTable kSolid32Triangles = MakeSolidTriangleTable<Solid32>();
constexpr TriangleSolidTable kSolid16Triangles = MakeSolidTriangleTable<Solid16>();
