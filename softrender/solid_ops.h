// What a solid colour does to the pixels it covers, per blend operation, in
// 32-bit and 16-bit images. The box fill, the lines and the solid triangles
// share these; the colour arrives in the destination's format with any
// brightness already applied (each caller has its own brightness rule).
#pragma once
#include <algorithm>
#include <cstdint>

#include "image/row_copy.h"
#include "softrender/blend_tables.h"
#include "softrender/blit.h"
#include "softrender/blit_loops.h"
#include "softrender/pixel_ops16.h"
#include "softrender/pixel_ops32.h"
#include "softrender/pixel_spans32.h"

// Runs of one raw value, stored 16 bytes at a time (-O2 leaves a plain
// loop unvectorised). The four stores of a turn are written out: -O2 rolls
// an inner loop of them back into one store a turn, whose speed then
// depends on where the loop happens to sit in the code.
template <class Pixel>
inline void FillRun(Pixel* d, int32_t n, Pixel value) {
  int32_t i = 0;
#if defined(__SSE2__)
  constexpr int32_t kPerStore = 16 / sizeof(Pixel);
  const __m128i v = sizeof(Pixel) == 4 ? _mm_set1_epi32(static_cast<int32_t>(value))
                                       : _mm_set1_epi16(static_cast<int16_t>(value));
  for (; i + 4 * kPerStore <= n; i += 4 * kPerStore) {
    __m128i* const at = reinterpret_cast<__m128i*>(d + i);
    _mm_storeu_si128(at, v);
    _mm_storeu_si128(at + 1, v);
    _mm_storeu_si128(at + 2, v);
    _mm_storeu_si128(at + 3, v);
  }
  for (; i + kPerStore <= n; i += kPerStore) _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), v);
#endif
  for (; i < n; i++) d[i] = value;
}

// The blend state of a colour: the parameter, no brightness.
inline BlendState32 MakeSolidState(const BlendState32*, int32_t param) {
  return MakeBlendState32(param, kNoBrightness);
}
inline BlendState16 MakeSolidState(const BlendState16*, int32_t param) {
  return MakeBlendState16(param, kNoBrightness);
}

// A colour drawn as a source whose every pixel is that colour: the family's
// own pixel rule per pixel, and for 32-bit rows the blits' vector spans
// against a row of the colour, read again for every chunk and every row.
template <class Family, BlendOp Op>
struct SolidOp {
  using DestPixel = typename Family::Dst;
  static constexpr bool kVector = sizeof(DestPixel) == 4;
  static constexpr int kRowPixels = 64;
  static constexpr int32_t kRowBatch = 8;
  typename Family::State state;
  uint32_t color;
  uint32_t row[kVector && Op != BlendOp::Copy ? kRowPixels : 1];

  SolidOp(uint32_t solidColor, int32_t param)
      : state(MakeSolidState(static_cast<const typename Family::State*>(nullptr), param)),
        color(solidColor) {
    if constexpr (kVector && Op != BlendOp::Copy) std::fill(row, row + kRowPixels, color);
  }

  uint32_t Apply(uint32_t d) const {
    return Family::template Apply<Op, false, false, false>(static_cast<DestPixel>(d), color, 0, 0, state);
  }

  void Plot(DestPixel* d) const { *d = static_cast<DestPixel>(Apply(*d)); }

  // rows rows of n pixels from first, pitch bytes apart.
  void FillRows(uint8_t* first, intptr_t pitch, int32_t n, int32_t rows) const {
    if constexpr (Op == BlendOp::Copy) {
      const size_t rowBytes = static_cast<size_t>(n) * sizeof(DestPixel);
      if (rows > 0 && (rows == 1 || pitch == static_cast<intptr_t>(rowBytes)) &&
          StringFillPays(rowBytes * static_cast<size_t>(rows))) {
        StringFill(reinterpret_cast<DestPixel*>(first), static_cast<size_t>(n) * static_cast<size_t>(rows),
                   static_cast<DestPixel>(color));
        return;
      }
      for (int32_t y = 0; y < rows; y++, first += pitch) {
        if (y + 1 < rows) PrefetchRowForWrite(first + pitch, rowBytes);
        FillRun(reinterpret_cast<DestPixel*>(first), n, static_cast<DestPixel>(color));
      }
    } else {
      // A few rows at a time across the whole width: the strips stay in cache.
      const int level = kVector ? BlitSpanLevel() : 0;
      for (int32_t y0 = 0; y0 < rows; y0 += kRowBatch) {
        const int32_t batch = std::min(rows - y0, kRowBatch);
        uint8_t* const batchFirst = first + y0 * pitch;
        for (int32_t x = 0; x < n; x += kRowPixels) {
          const int32_t count = std::min(n - x, kRowPixels);
          uint8_t* chunk = batchFirst + static_cast<intptr_t>(x) * sizeof(DestPixel);
          int32_t done = 0;
          if constexpr (kVector) {
            if (level && count >= 4) {
              done = BlendSpan32Fast<Op, 0, false>(level, chunk, pitch, reinterpret_cast<const uint8_t*>(row),
                                                   0, nullptr, count, batch, 0, state);
            }
          }
          for (int32_t y = 0; y < batch && done < count; y++) {
            auto* d = reinterpret_cast<DestPixel*>(chunk + y * pitch);
            for (int32_t i = done; i < count; i++) Plot(d + i);
          }
        }
      }
    }
  }

  void Fill(DestPixel* d, int32_t n) const { FillRows(reinterpret_cast<uint8_t*>(d), 0, n, 1); }
};

template <BlendOp Op>
using SolidOp32 = SolidOp<Pixel32, Op>;
template <BlendOp Op>
using SolidOp16 = SolidOp<Pixel16, Op>;
