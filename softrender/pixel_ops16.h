// What one drawn pixel becomes in an R5G6B5 image, for every blend operation
// and combination of weights. The fields are blended as 5- and 6-bit values,
// never widened to 8 bits; the parameter alone goes through the lerp table
// (division by 255), weights multiply before one shift. Integer only and
// exact, so every 16-bit draw agrees bit for bit.
#pragma once
#include <cstdint>

#include "softrender/blend_tables.h"
#include "softrender/pixel_ops32.h"

constexpr int RedOf16(uint32_t c) { return static_cast<int>((c >> 11) & 31); }
constexpr int GreenOf16(uint32_t c) { return static_cast<int>((c >> 5) & 63); }
constexpr int BlueOf16(uint32_t c) { return static_cast<int>(c & 31); }
constexpr uint32_t Pack16(int r, int g, int b) {
  return static_cast<uint32_t>(r) << 11 | static_cast<uint32_t>(g) << 5 | static_cast<uint32_t>(b);
}

// Saturating add of x's fields to d in one 32-bit addition: bits 5, 11 and
// 16 catch the carries, so the lowest bits of green and red come out as an
// OR (set also by an overflow of the field below).
constexpr uint32_t PackedAdd16(uint32_t x, uint32_t d) {
  const uint32_t sum = (x & 0xF7DEF7DFu) + (d & 0xF7DEF7DFu);
  const uint32_t carry = sum & 0x08210820u;
  return ((carry - (carry >> 5)) | ((x | d) & 0x0820u) | sum) & 0xFFFFu;
}

// Subtract floored at 0 with guard bits at 5, 11 and 16: green's lowest bit
// always ends 0, red's is set when green did not borrow.
constexpr uint32_t PackedSubtract16(uint32_t x, uint32_t d) {
  const uint32_t diff = (d | 0x08210820u) - (x & 0xF7DEF7DFu);
  const uint32_t borrow = diff & 0x08210820u;
  return (borrow - (borrow >> 5)) & diff & 0xFFFFu;
}

// What the operations read that stays fixed for a whole draw.
struct BlendState16 {
  uint32_t param;               // blend parameter 0..255
  const int32_t* paramRow;      // product-table row of the parameter
  const int32_t* paramLerp;     // centre of its lerp-table row
  const int32_t* brightRow[3];  // product-table rows of the brightness: blue, green, red
};

inline BlendState16 MakeBlendState16(int32_t param, uint32_t brightnessRgb) {
  const uint32_t p = static_cast<uint32_t>(param) & 0xFF;
  return BlendState16{p,
                      MemImgProductTable[p],
                      MemImgLerpRow(static_cast<int>(p)),
                      {MemImgProductTable[brightnessRgb & 0xFF],
                       MemImgProductTable[(brightnessRgb >> 8) & 0xFF],
                       MemImgProductTable[(brightnessRgb >> 16) & 0xFF]}};
}

// The new destination word for source colour word s (a palette source passes
// its entry) over destination d; w is the blend-image weight (with Blend), a
// the source alpha (with Alpha). Every sum below is non-negative and fits 31
// bits, so the shifts are floor divisions. The rotated blit has neither of
// the two orderings below (Orderings false).
template <BlendOp Op, bool Blend, bool Alpha, bool Bright, bool Orderings = true>
inline uint32_t BlendPixel16(uint32_t d, uint32_t s, uint32_t w, uint32_t a,
                             const BlendState16& st) {
  if constexpr (Op == BlendOp::SubtractFull || Op == BlendOp::SubtractExact) {
    return PackedSubtract16(s, d);
  } else {
    constexpr int kWeights = int{Blend} + int{Alpha};
    constexpr int k = 8 * kWeights;
    if constexpr (Op == BlendOp::Copy && kWeights == 0 && !Bright) {
      return s & 0xFFFFu;
    } else {
      int32_t weight = 1;
      if constexpr (Blend) weight = static_cast<int32_t>(w);
      if constexpr (Alpha) weight *= static_cast<int32_t>(a);
      if constexpr (Op == BlendOp::InvertedSource) s ^= 0xFFFFu;
      // Adding or subtracting an alpha source under a brightness, without a
      // blend image, weighs by the alpha before the brightness.
      constexpr bool kAlphaFirst =
          Orderings && (Op == BlendOp::Add || Op == BlendOp::Subtract) && Alpha && Bright && !Blend;
      const int32_t p = static_cast<int32_t>(st.param);

      // Field shift, width and brightness row index (blue 0, green 1, red 2).
      constexpr int kShift[3] = {0, 5, 11};
      constexpr int kBits[3] = {5, 6, 5};
      uint32_t out = 0;
      for (int f = 0; f < 3; f++) {
        const int32_t max = (1 << kBits[f]) - 1;
        int32_t sf = static_cast<int32_t>(s >> kShift[f]) & max;
        const int32_t df = static_cast<int32_t>(d >> kShift[f]) & max;
        if constexpr (kAlphaFirst) sf = (sf * static_cast<int32_t>(a)) >> 8;
        if constexpr (Bright) sf = st.brightRow[f][sf];
        int32_t r;
        if constexpr (Op == BlendOp::Copy) {
          r = kWeights == 0 ? sf : ((df << k) + (sf - df) * weight) >> k;
        } else if constexpr (Op == BlendOp::Alpha || Op == BlendOp::InvertedSource ||
                             Op == BlendOp::MultiplyAlpha) {
          int32_t t = sf;
          if constexpr (Op == BlendOp::MultiplyAlpha) t = (sf * df) >> kBits[f];
          if constexpr (kWeights == 0) {
            r = df + st.paramLerp[t - df];
          } else {
            r = ((df << (k + 8)) + (t - df) * weight * p) >> (k + 8);
          }
        } else if constexpr (Op == BlendOp::Multiply) {
          r = (sf * df * weight) >> (kBits[f] + k);
        } else {  // Add, Subtract: the weighted source through the parameter row
          static_assert(Op == BlendOp::Add || Op == BlendOp::Subtract);
          r = kWeights == 0 || kAlphaFirst ? st.paramRow[sf] : st.paramRow[(sf * weight) >> k];
        }
        out |= static_cast<uint32_t>(r) << kShift[f];
      }
      if constexpr (Orderings && Op == BlendOp::MultiplyAlpha && Alpha && !Blend && !Bright) {
        // Green in place, with five more fraction bits: it can end one above
        // the field-precision value.
        const int32_t gs = static_cast<int32_t>(s & 0x07E0u), gd = static_cast<int32_t>(d & 0x07E0u);
        const int32_t t = (gs * gd) >> 11;
        const int32_t g = (((gd << 16) + (t - gd) * static_cast<int32_t>(a) * p) >> 16) & 0x07E0;
        out = (out & ~0x07E0u) | static_cast<uint32_t>(g);
      }
      if constexpr (Op == BlendOp::Add) {
        return PackedAdd16(out, d);
      } else if constexpr (Op == BlendOp::Subtract) {
        return PackedSubtract16(out, d);
      } else {
        return out;
      }
    }
  }
}
