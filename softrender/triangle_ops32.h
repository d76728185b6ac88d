// Pixel arithmetic of the triangle variants into X8R8G8B8 images. Colour
// bytes 0-2 are blue, green, red; byte 3 is the top byte.
#pragma once
#include <cstdint>

// Kept apart from the blit operations of the same names.
namespace triops {

// Per-call values of a 32-bit pixel operation.
struct TriangleOps32 {
  uint32_t param;               // p, 0..255
  const int32_t* paramProduct;  // prod(p, x)
};

// Bytes 0-2 each through its own product row (blue, green, red); top byte kept.
inline uint32_t ModulateColor32(uint32_t s, const int32_t* const rows[3]) {
  return (s & 0xFF000000u) | static_cast<uint32_t>(rows[0][s & 0xFF]) |
         static_cast<uint32_t>(rows[1][(s >> 8) & 0xFF]) << 8 |
         static_cast<uint32_t>(rows[2][(s >> 16) & 0xFF]) << 16;
}

inline uint32_t ScaleColorByRow32(uint32_t s, const int32_t* row) {
  return static_cast<uint32_t>(row[s & 0xFF]) | static_cast<uint32_t>(row[(s >> 8) & 0xFF]) << 8 |
         static_cast<uint32_t>(row[(s >> 16) & 0xFF]) << 16;
}

// x_c = (s_c * f) >> K for the colour bytes; top byte 0. f up to 255^3.
template <int K>
inline uint32_t ScaleColor32(uint32_t s, uint32_t f) {
  uint32_t out = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    out |= (((s >> shift) & 0xFF) * f >> K) << shift;
  }
  return out;
}

// d_c = (d_c * 2^K + (s_c - d_c) * f) >> K for the colour bytes; top byte
// kept. The true value lies in 0..2^32 - 1, so wrapping 32-bit arithmetic
// gives it exactly even with four byte factors.
template <int K>
inline uint32_t MoveColorToward32(uint32_t d, uint32_t s, uint32_t f) {
  uint32_t out = d & 0xFF000000u;
  for (int shift = 0; shift < 24; shift += 8) {
    const uint32_t dc = (d >> shift) & 0xFF, sc = (s >> shift) & 0xFF;
    out |= ((((dc << K) + (sc - dc) * f) >> K) & 0xFF) << shift;
  }
  return out;
}

// d_c = (s_c * d_c * f) >> (8 + K); top byte kept.
template <int K>
inline uint32_t MultiplyColor32(uint32_t d, uint32_t s, uint32_t f) {
  uint32_t out = d & 0xFF000000u;
  for (int shift = 0; shift < 24; shift += 8) {
    const uint32_t dc = (d >> shift) & 0xFF, sc = (s >> shift) & 0xFF;
    out |= (sc * dc * f >> (8 + K)) << shift;
  }
  return out;
}

// Saturating add of the colour bytes of x to d in one 32-bit addition: the
// lowest bits of green and red hold the carries, so they come out as an OR.
// The top byte receives the carry out of red.
inline uint32_t PackedAdd32(uint32_t d, uint32_t x) {
  const uint32_t sum = (d & 0x00FEFEFFu) + (x & 0x00FEFEFFu);
  const uint32_t carry = sum & 0x01010100u;
  return (carry - (carry >> 8)) | ((d | x) & 0x00010100u) | sum;
}

// Flooring subtract of the colour bytes of x from d, with guard bits in the
// lowest bits of green and red and in the top byte. The top byte becomes 0.
inline uint32_t PackedSubtract32(uint32_t d, uint32_t x) {
  const uint32_t diff = (d | 0x01010100u) - (x & 0x00FEFEFFu);
  const uint32_t borrow = diff & 0x01010100u;
  return (borrow - (borrow >> 8)) & diff;
}

// One destination pixel under a blend mode. s is the source after brightness
// (and after inversion in mode 10); Weights counts the weights (blend-image
// weight, source alpha) whose product is w; Modulated says a brightness made
// s, so mode 0 without weights writes its colour bytes, not the whole word.
template <int Mode, int Weights, bool Modulated>
inline uint32_t BlendPixel32(uint32_t d, uint32_t s, uint32_t w, const TriangleOps32& ops) {
  constexpr int kWeightShift = 8 * Weights;
  if constexpr (Mode == 0) {
    if constexpr (Weights == 0) {
      return Modulated ? (d & 0xFF000000u) | (s & 0x00FFFFFFu) : s;
    } else {
      return MoveColorToward32<kWeightShift>(d, s, w);
    }
  } else if constexpr (Mode == 1 || Mode == 10) {
    return MoveColorToward32<kWeightShift + 8>(d, s, w * ops.param);
  } else if constexpr (Mode == 2 || Mode == 3) {
    uint32_t x;
    if constexpr (Weights == 0) {
      x = ScaleColorByRow32(s, ops.paramProduct);
    } else {
      x = ScaleColor32<kWeightShift + 8>(s, w * ops.param);
    }
    if constexpr (Mode == 2) {
      return PackedAdd32(d, x);
    } else {
      return PackedSubtract32(d, x);
    }
  } else if constexpr (Mode == 4) {
    return MultiplyColor32<kWeightShift>(d, s, w);
  } else {
    static_assert(Mode == 11);
    const uint32_t t = MultiplyColor32<0>(d, s, 1);
    return MoveColorToward32<kWeightShift + 8>(d, t, w * ops.param);
  }
}

}  // namespace triops
