// Solid-colour triangles into 32-bit and 16-bit images. The colour arrives
// already through the brightness (TriangleSetup::solidColor); each mode is
// one run loop with what it can precompute done once per call.
#include <algorithm>
#include <cstdint>

#include "softrender/triangle_ops16.h"
#include "softrender/triangle_ops32.h"
#include "softrender/triangle_raster.h"

namespace {

using namespace triops;

template <int Mode>
struct Solid32 {
  using DestPixel = uint32_t;
  TriangleOps32 ops;
  uint32_t color;

  explicit Solid32(const TriangleSetup& s) : ops{static_cast<uint32_t>(s.param), s.paramProduct} {
    color = s.solidColor;
    // The complement is taken after the brightness.
    if constexpr (Mode == 10) color ^= 0x00FFFFFFu;
    if constexpr (Mode == 2 || Mode == 3) color = ScaleColorByRow32(color, ops.paramProduct);
  }

  void Fill(uint32_t* d, int32_t n) const {
    if constexpr (Mode == 0) {
      std::fill(d, d + n, color);
    } else {
      for (int32_t i = 0; i < n; i++) {
        if constexpr (Mode == 2) {
          d[i] = PackedAdd32(d[i], color);
        } else if constexpr (Mode == 3) {
          d[i] = PackedSubtract32(d[i], color);
        } else {
          d[i] = BlendPixel32<Mode, 0, false>(d[i], color, 1, ops);
        }
      }
    }
  }
};

template <int Mode>
struct Solid16 {
  using DestPixel = uint16_t;
  const int32_t* lerp;
  uint32_t color;

  explicit Solid16(const TriangleSetup& s) : lerp(s.paramLerp) {
    color = s.solidColor;
    if constexpr (Mode == 10) color ^= 0xFFFFu;
    if constexpr (Mode == 2 || Mode == 3) {
      const int32_t* row = s.paramProduct;
      color = Pack16(row[RedOf16(color)], row[GreenOf16(color)], row[BlueOf16(color)]);
    }
  }

  void Fill(uint16_t* d, int32_t n) const {
    if constexpr (Mode == 0) {
      std::fill(d, d + n, static_cast<uint16_t>(color));
    } else {
      for (int32_t i = 0; i < n; i++) {
        uint32_t out;
        if constexpr (Mode == 1 || Mode == 10) {
          out = MoveFieldsToward16(d[i], color, lerp);
        } else if constexpr (Mode == 2) {
          out = PackedAdd16(d[i], color);
        } else if constexpr (Mode == 3) {
          out = PackedSubtract16(d[i], color);
        } else if constexpr (Mode == 4) {
          out = MultiplyFields16(d[i], color);
        } else {
          static_assert(Mode == 11);
          out = MoveFieldsToward16(d[i], MultiplyFields16(d[i], color), lerp);
        }
        d[i] = static_cast<uint16_t>(out);
      }
    }
  }
};

}  // namespace

constexpr TriangleSolidTable kSolid32Triangles = TriangleSolidModes<Solid32>();
constexpr TriangleSolidTable kSolid16Triangles = TriangleSolidModes<Solid16>();
