// One colour drawn into rows of 32-bit pixels through a mask: a 1-bit mask
// that chooses between the colour and the pixel, or a mask of coverage in
// sixteenths that moves each pixel toward the colour. One kernel per kind,
// written over the vector types of the spans: SSE2 here, AVX2 in its own
// file, chosen by the span level.
#pragma once
#include <cstdint>
#include <cstring>

#include "softrender/pixel_spans32.h"

// Rows rows of n pixels from d (pitch dPitch): where bit shift + i of the
// mask row (most significant bit of each byte first) is set, pixel i
// becomes color; the others keep theirs. room is how many pixels from d the
// row can hold: a last group of eight past n is stored whole (its pixels
// outside the mask as they were) where it fits.
using BitMaskRowsFn = void (*)(uint8_t* d, intptr_t dPitch, const uint8_t* mask, intptr_t maskPitch,
                               int shift, int n, int rows, int room, uint32_t color);
// Rows rows of n pixels: pixel i moves toward color by coverage[i] * 16 /
// 256 per colour byte ((d * 256 + (c - d) * a) >> 8 with a = 16 * coverage,
// coverage 0..15), its top byte kept; coverage 0 leaves it. room as above.
using CoverageRowsFn = void (*)(uint8_t* d, intptr_t dPitch, const uint8_t* coverage, intptr_t coveragePitch,
                                int n, int rows, int room, uint32_t color);
extern const BitMaskRowsFn kBitMaskRowsAvx2;
extern const CoverageRowsFn kCoverageRowsAvx2;

template <class V>
void BitMaskRowsKernel(uint8_t* dRow, intptr_t dPitch, const uint8_t* maskRow, intptr_t maskPitch, int shift,
                       int n, int rows, int room, uint32_t color) {
  using R = typename V::Reg;
  constexpr int kGroups = 8 / V::kPixels;  // registers per mask byte
  static_assert(kGroups * V::kPixels == 8);
  const R fill = V::Set32(static_cast<int32_t>(color));
  // The bit of each lane, from the byte's top bit down.
  static constexpr int32_t kLaneBits[8] = {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01};
  R bits[kGroups];
  for (int g = 0; g < kGroups; g++) bits[g] = V::Load(kLaneBits + g * V::kPixels);
  for (int y = 0; y < rows; y++, dRow += dPitch, maskRow += maskPitch) {
    const uint8_t* bytes = maskRow;
    auto* d = reinterpret_cast<uint32_t*>(dRow);
    int i = 0;
    for (; i < n && (i + 8 <= n || i + 8 <= room); i += 8, bytes++) {
      // A byte not on a byte boundary of the row reaches into the next one,
      // which the mask row still holds when the row goes on.
      uint32_t byte = bytes[0];
      if (shift) byte = ((byte << 8 | (i + 8 - shift < n ? bytes[1] : 0)) >> (8 - shift)) & 0xFF;
      if (n - i < 8) byte &= 0xFF00u >> (n - i);
      if (byte == 0) continue;
      if (byte == 0xFF) {
        for (int g = 0; g < kGroups; g++) V::Store(d + i + g * V::kPixels, fill);
        continue;
      }
      const R b = V::Set32(static_cast<int32_t>(byte));
      for (int g = 0; g < kGroups; g++) {
        uint32_t* p = d + i + g * V::kPixels;
        const R set = V::CmpEq32(V::And(b, bits[g]), bits[g]);
        V::Store(p, SpanOps<V>::Select(set, fill, V::Load(p)));
      }
    }
    for (; i < n; i++) {
      const int bit = shift + i;
      if ((maskRow[bit >> 3] >> (7 - (bit & 7))) & 1) d[i] = color;
    }
  }
}

// The coverage rows a pixel at a time (the span level 0).
inline void CoverageRowsPlain(uint8_t* dRow, intptr_t dPitch, const uint8_t* coverageRow, intptr_t coveragePitch,
                              int n, int rows, int, uint32_t color) {
  const BlendState32 state = MakeBlendState32(255, kNoBrightness);
  for (int y = 0; y < rows; y++, dRow += dPitch, coverageRow += coveragePitch) {
    auto* d = reinterpret_cast<uint32_t*>(dRow);
    for (int i = 0; i < n; i++) {
      if (coverageRow[i] == 0) continue;
      d[i] = BlendPixel32<BlendOp::Copy, false, true, false>(d[i], color, 0, coverageRow[i] * 16u, state);
    }
  }
}

template <class V>
void CoverageRowsKernel(uint8_t* dRow, intptr_t dPitch, const uint8_t* coverageRow, intptr_t coveragePitch,
                        int n, int rows, int room, uint32_t color) {
  using R = typename V::Reg;
  using O = SpanOps<V>;
  constexpr int kStep = V::kPixels;
  const R zero = V::Zero();
  const R text = V::UnpackLo8(V::Set32(static_cast<int32_t>(color)), zero);
  // The weight of the top byte stays 0, which keeps it.
  for (int y = 0; y < rows; y++, dRow += dPitch, coverageRow += coveragePitch) {
    auto* d = reinterpret_cast<uint32_t*>(dRow);
    int i = 0;
    // Coverage 0 weighs 0 and leaves a pixel as it is, so a last group past
    // the row (where it has room) stores those pixels back unchanged.
    for (; i < n && (i + kStep <= n || i + kStep <= room); i += kStep) {
      // The group's coverage bytes in one word, the first lowest; a last
      // group past n gets zeros (built in the register: bytes stored and
      // loaded back whole would wait for the stores).
      uint64_t group = 0;
      if (i + kStep <= n) {
        std::memcpy(&group, coverageRow + i, kStep);
      } else {
        for (int k = n - i - 1; k >= 0; k--) group = group << 8 | coverageRow[i + k];
      }
      if (group == 0) continue;
      // Each pixel's coverage times 16 (below 256) in its three colour bytes.
      R w = V::template Slli32<4>(V::ByteLanes32(group));
      w = O::Or3(w, V::template Slli32<8>(w), V::template Slli32<16>(w));
      const R D = V::Load(d + i);
      const R out = V::PackUs16(O::Move8(V::UnpackLo8(D, zero), text, V::UnpackLo8(w, zero)),
                                O::Move8(V::UnpackHi8(D, zero), text, V::UnpackHi8(w, zero)));
      V::Store(d + i, out);
    }
    if (i < n) CoverageRowsPlain(reinterpret_cast<uint8_t*>(d + i), 0, coverageRow + i, 0, n - i, 1, 0, color);
  }
}

// The kernel of the span level among the AVX2 one (null where it was not
// built), the SSE2 one and the plain one.
template <class Fn>
inline Fn MaskKernelFor(int level, Fn avx2, Fn sse2, Fn plain) {
  if (level >= 2 && avx2) return avx2;
#if defined(__SSE2__)
  if (level >= 1) return sse2;
#endif
  return plain;
}
// No bit-mask kernel at level 0 (null).
inline BitMaskRowsFn BitMaskRowsFor(int level) {
  return MaskKernelFor<BitMaskRowsFn>(level, kBitMaskRowsAvx2, BitMaskRowsKernel<VecSse2>, nullptr);
}
inline CoverageRowsFn CoverageRowsFor(int level) {
  return MaskKernelFor<CoverageRowsFn>(level, kCoverageRowsAvx2, CoverageRowsKernel<VecSse2>, CoverageRowsPlain);
}
