// What a solid colour does to the pixels it covers, per blend operation, in
// 32-bit and 16-bit images. The box fill, the lines and the solid triangles
// share these; the colour arrives in the destination's format with any
// brightness already applied (each caller has its own brightness rule).
#pragma once
#include <algorithm>
#include <cstdint>

#include "softrender/blend_tables.h"
#include "softrender/blit.h"
#include "softrender/pixel_ops16.h"
#include "softrender/pixel_ops32.h"
#include "softrender/pixel_spans32.h"

// Colour bytes 0-2 each through its own product-table row; top byte 0.
inline uint32_t ScaleColor32(uint32_t color, const int32_t* blue, const int32_t* green,
                             const int32_t* red) {
  return static_cast<uint32_t>(blue[color & 0xFF]) |
         static_cast<uint32_t>(green[(color >> 8) & 0xFF]) << 8 |
         static_cast<uint32_t>(red[(color >> 16) & 0xFF]) << 16;
}

// Runs of one raw value, stored 16 bytes at a time (-O2 leaves a plain
// loop unvectorised).
template <class Pixel>
inline void FillRun(Pixel* d, int32_t n, Pixel value) {
  int32_t i = 0;
#if defined(__SSE2__)
  constexpr int32_t kPerStore = 16 / sizeof(Pixel);
  const __m128i v = sizeof(Pixel) == 4 ? _mm_set1_epi32(static_cast<int32_t>(value))
                                       : _mm_set1_epi16(static_cast<int16_t>(value));
  for (; i + 4 * kPerStore <= n; i += 4 * kPerStore) {
    for (int k = 0; k < 4; k++) _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i + k * kPerStore), v);
  }
  for (; i + kPerStore <= n; i += kPerStore) _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), v);
#endif
  for (; i < n; i++) d[i] = value;
}

template <BlendOp Op>
struct SolidOp32 {
  using DestPixel = uint32_t;
  // A colour fill is a blit of a source whose every pixel is the colour:
  // the blits' vector spans draw it against this row, read again for every
  // chunk and every destination row.
  static constexpr int kRowPixels = 64;
  BlendState32 state;
  uint32_t color;     // as given
  uint32_t weighted;  // the add and subtract: weighted by the parameter
  uint32_t row[kRowPixels];

  SolidOp32(uint32_t solidColor, int32_t param)
      : state(MakeBlendState32(param, kNoBrightness)), color(solidColor), weighted(solidColor) {
    if constexpr (Op == BlendOp::Add || Op == BlendOp::Subtract) {
      weighted = ScaleColor32(color, state.paramRow, state.paramRow, state.paramRow);
    }
    if constexpr (Op != BlendOp::Copy) std::fill(row, row + kRowPixels, color);
  }

  uint32_t Apply(uint32_t d) const {
    if constexpr (Op == BlendOp::Copy) {
      return color;
    } else if constexpr (Op == BlendOp::Add) {
      return PackedAdd32(weighted, d);
    } else if constexpr (Op == BlendOp::Subtract) {
      return PackedSubtract32(weighted, d);
    } else {
      // Inverted source: the complement is of the colour as it came.
      return BlendPixel32<Op, false, false, false>(d, color, 0, 0, state);
    }
  }

  void Plot(uint32_t* d) const { *d = Apply(*d); }

  // rows rows of n pixels from first, pitch bytes apart.
  void FillRows(uint8_t* first, intptr_t pitch, int32_t n, int32_t rows) const {
    if constexpr (Op == BlendOp::Copy) {
      for (int32_t y = 0; y < rows; y++, first += pitch) FillRun(reinterpret_cast<uint32_t*>(first), n, color);
    } else {
      const int level = BlitSpanLevel();
      for (int32_t x = 0; x < n; x += kRowPixels) {
        const int32_t count = std::min(n - x, kRowPixels);
        uint8_t* chunk = first + static_cast<intptr_t>(x) * 4;
        int32_t done = 0;
        if (level && count >= 4) {
          done = BlendSpan32Fast<Op, 0, false>(level, chunk, pitch, reinterpret_cast<const uint8_t*>(row),
                                               0, nullptr, count, rows, 0, state);
        }
        for (int32_t y = 0; y < rows && done < count; y++) {
          auto* d = reinterpret_cast<uint32_t*>(chunk + y * pitch);
          for (int32_t i = done; i < count; i++) d[i] = Apply(d[i]);
        }
      }
    }
  }

  void Fill(uint32_t* d, int32_t n) const { FillRows(reinterpret_cast<uint8_t*>(d), 0, n, 1); }
};

template <BlendOp Op>
struct SolidOp16 {
  using DestPixel = uint16_t;
  BlendState16 state;
  uint32_t color;  // the add and subtract: fields weighted by the parameter

  SolidOp16(uint32_t solidColor, int32_t param)
      : state(MakeBlendState16(param, kNoBrightness)), color(solidColor) {
    if constexpr (Op == BlendOp::Add || Op == BlendOp::Subtract) {
      const int32_t* r = state.paramRow;
      color = Pack16(r[RedOf16(color)], r[GreenOf16(color)], r[BlueOf16(color)]);
    }
  }

  uint32_t Apply(uint32_t d) const {
    if constexpr (Op == BlendOp::Copy) {
      return color;
    } else if constexpr (Op == BlendOp::Add) {
      return PackedAdd16(color, d);
    } else if constexpr (Op == BlendOp::Subtract) {
      return PackedSubtract16(color, d);
    } else {
      // Inverted source: the complement is of the colour as it came.
      return BlendPixel16<Op, false, false, false>(d, color, 0, 0, state);
    }
  }

  void Plot(uint16_t* d) const { *d = static_cast<uint16_t>(Apply(*d)); }

  void FillRows(uint8_t* first, intptr_t pitch, int32_t n, int32_t rows) const {
    for (int32_t y = 0; y < rows; y++, first += pitch) Fill(reinterpret_cast<uint16_t*>(first), n);
  }

  void Fill(uint16_t* d, int32_t n) const {
    if constexpr (Op == BlendOp::Copy) {
      FillRun(d, n, static_cast<uint16_t>(color));
    } else {
      for (int32_t i = 0; i < n; i++) d[i] = static_cast<uint16_t>(Apply(d[i]));
    }
  }
};

// The operations a solid colour draws with, Copy to MultiplyAlpha, in order.
constexpr int kSolidOpCount = static_cast<int>(BlendOp::MultiplyAlpha) + 1;
