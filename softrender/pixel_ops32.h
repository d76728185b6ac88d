// What one drawn pixel becomes in an X8R8G8B8 image, for every blend
// operation and combination of weights. Integer only and exact: shifts floor,
// product-table look-ups truncate (i * j / 255). The blits, the triangles and
// the rotated blit all draw through these, so their pixels agree bit for bit.
#pragma once
#include <cstdint>

#include "graphics/draw_settings.h"
#include "softrender/blend_tables.h"

// The arithmetic a draw applies; the blend mode and its parameter cases map
// onto one of these once per call (BlendOpForMode).
enum class BlendOp : uint8_t {
  Copy,            // mode 0, and mode 1 at parameter 255
  Alpha,           // mode 1: move toward the source by the weights
  Add,             // mode 2: packed saturating add of the weighted source
  Subtract,        // mode 3: packed flooring subtract of the weighted source
  Multiply,        // mode 4
  InvertedSource,  // mode 10: mode 1 toward 255 - source
  MultiplyAlpha,   // mode 11: move toward source * destination / 256
  SubtractFull,    // mode 3 at 255, no weights: packed subtract of the raw source
  SubtractExact,   // the same on MMX processors: byte-wise, all four bytes
  Nothing,         // the mode or its parameter draws nothing
};
constexpr int kBlendOpCount = static_cast<int>(BlendOp::Nothing);
// Copy to MultiplyAlpha: what solid colours, triangles and the rotated blit
// draw with. The full-strength subtracts belong to the blits alone (the
// general subtract at 255 gives their pixels).
constexpr int kGeneralBlendOpCount = static_cast<int>(BlendOp::MultiplyAlpha) + 1;

// The parameter is a weight of every operation but the copy and the multiply.
constexpr bool BlendOpUsesParam(BlendOp op) {
  return op == BlendOp::Alpha || op == BlendOp::Add || op == BlendOp::Subtract ||
         op == BlendOp::InvertedSource || op == BlendOp::MultiplyAlpha;
}

// Per-call modifiers, one bit each; every combination is its own loop.
enum BlendModifier : unsigned {
  ModBlendImage = 1,   // B: weight w from the blend image through the border table
  ModBrightness = 2,   // M: each source channel scaled by its brightness byte
  ModAlpha = 4,        // A: weight a from the source's alpha byte
  ModTransparent = 8,  // T: transparent source pixels are skipped
};
constexpr unsigned kBlendModifierCount = 16;

// Which modifier sets a source kind is drawn with, by its alpha byte: never
// (palette images, 2-byte 16-bit pixels), always (4-byte 16-bit pixels), or
// as the image's alpha flag says (32-bit pixels).
enum class SourceAlpha { Never, Always, ByFlag };

// What the operations read that stays fixed for a whole draw.
struct BlendState32 {
  uint32_t param;               // blend parameter 0..255
  const int32_t* paramRow;      // product-table row of the parameter
  const int32_t* brightRow[3];  // product-table rows of the brightness: blue, green, red
};

inline BlendState32 MakeBlendState32(int32_t param, uint32_t brightnessRgb) {
  const uint32_t p = static_cast<uint32_t>(param) & 0xFF;
  return BlendState32{p,
                      MemImgProductTable[p],
                      {MemImgProductTable[brightnessRgb & 0xFF],
                       MemImgProductTable[(brightnessRgb >> 8) & 0xFF],
                       MemImgProductTable[(brightnessRgb >> 16) & 0xFF]}};
}

// The operation of a blend mode and parameter, or Nothing: modes 5..9 and
// above 11 (negative ones too), mode 1 at 0, mode 2 at 0, and mode 3 at 0
// unless the source is a palette image.
constexpr BlendOp BlendOpForMode(int32_t mode, int32_t param, bool paletteSource) {
  switch (static_cast<uint32_t>(mode)) {
    case BlendNone: return BlendOp::Copy;
    case BlendAlpha:
      if (param == 255) return BlendOp::Copy;
      return param == 0 ? BlendOp::Nothing : BlendOp::Alpha;
    case BlendAdd: return param == 0 ? BlendOp::Nothing : BlendOp::Add;
    case BlendSubtract:
      return param == 0 && !paletteSource ? BlendOp::Nothing : BlendOp::Subtract;
    case BlendMultiply: return BlendOp::Multiply;
    case BlendInvertedSource: return BlendOp::InvertedSource;
    case BlendMultiplyAlpha: return BlendOp::MultiplyAlpha;
    default: return BlendOp::Nothing;
  }
}

// Packed saturating add of x's three colour bytes to d, written whole. The
// lowest bits of green and red come out as an OR (with the carry of the byte
// below), and the top byte becomes the carry out of red.
constexpr uint32_t PackedAdd32(uint32_t x, uint32_t d) {
  const uint32_t sum = (x & 0x00FEFEFFu) + (d & 0x00FEFEFFu);
  const uint32_t carry = sum & 0x01010100u;
  return (carry - (carry >> 8)) | ((x | d) & 0x00010100u) | sum;
}

// Packed subtract floored at 0; the lowest bits of green and red are set when
// the byte below did not borrow, and the top byte becomes 0. x's top byte and
// the lowest bits of its green and red play no part.
constexpr uint32_t PackedSubtract32(uint32_t x, uint32_t d) {
  const uint32_t diff = (d | 0x01010100u) - (x & 0x00FEFEFFu);
  const uint32_t borrow = diff & 0x01010100u;
  return diff & (borrow - (borrow >> 8));
}

// Byte-wise max(0, d - s) over all four bytes (the MMX form of the subtract).
constexpr uint32_t ExactSubtract32(uint32_t s, uint32_t d) {
  uint32_t out = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const uint32_t sb = (s >> shift) & 0xFF, db = (d >> shift) & 0xFF;
    out |= (db > sb ? db - sb : 0) << shift;
  }
  return out;
}

// (d * 2^k + (t - d) * f) >> k: d moved toward t by f / 2^k. The exact value
// lies in 0..255 and below 2^32, so wrapping unsigned arithmetic gives it.
constexpr uint32_t WeightedMove8(uint32_t d, uint32_t t, uint32_t f, int k) {
  return ((d << k) + (t - d) * f) >> k;
}

// The new destination pixel for source pixel s (its colour bytes; a palette
// source passes the palette entry) over destination d. w is the blend-image
// weight (used with Blend), a the source alpha (used with Alpha). Operations
// with weights write the three colour bytes and keep d's top byte; the plain
// copy, the add and the subtracts produce the whole pixel.
template <BlendOp Op, bool Blend, bool Alpha, bool Bright>
inline uint32_t BlendPixel32(uint32_t d, uint32_t s, uint32_t w, uint32_t a,
                             const BlendState32& st) {
  if constexpr (Op == BlendOp::SubtractFull) {
    return PackedSubtract32(s, d);
  } else if constexpr (Op == BlendOp::SubtractExact) {
    return ExactSubtract32(s, d);
  } else {
    constexpr bool kParam = BlendOpUsesParam(Op);
    constexpr int kFactors = int{kParam} + int{Blend} + int{Alpha};
    constexpr int k = 8 * kFactors;
    if constexpr (Op == BlendOp::Copy && kFactors == 0 && !Bright) {
      return s;
    } else {
      uint32_t f = 1;
      if constexpr (kParam) f = st.param;
      if constexpr (Blend) f *= w;
      if constexpr (Alpha) f *= a;
      uint32_t out = 0;
      for (int c = 0; c < 3; c++) {
        uint32_t sc = (s >> (8 * c)) & 0xFF;
        if constexpr (Op == BlendOp::InvertedSource) sc = 255 - sc;
        if constexpr (Bright) sc = static_cast<uint32_t>(st.brightRow[c][sc]);
        const uint32_t dc = (d >> (8 * c)) & 0xFF;
        uint32_t r;
        if constexpr (Op == BlendOp::Copy) {
          if constexpr (kFactors == 0) {
            r = sc;
          } else {
            r = WeightedMove8(dc, sc, f, k);
          }
        } else if constexpr (Op == BlendOp::Alpha || Op == BlendOp::InvertedSource) {
          r = WeightedMove8(dc, sc, f, k);
        } else if constexpr (Op == BlendOp::MultiplyAlpha) {
          r = WeightedMove8(dc, (sc * dc) >> 8, f, k);
        } else if constexpr (Op == BlendOp::Multiply) {
          if constexpr (kFactors == 0) {
            r = (sc * dc) >> 8;
          } else {
            r = (sc * dc * f) >> (8 + k);
          }
        } else {  // Add, Subtract: the weighted source
          if constexpr (kFactors == 1) {
            r = static_cast<uint32_t>(st.paramRow[sc]);
          } else {
            r = (sc * f) >> k;
          }
        }
        out |= (r & 0xFF) << (8 * c);
      }
      if constexpr (Op == BlendOp::Add) {
        return PackedAdd32(out, d);
      } else if constexpr (Op == BlendOp::Subtract) {
        return PackedSubtract32(out, d);
      } else {
        return (d & 0xFF000000u) | out;
      }
    }
  }
}
