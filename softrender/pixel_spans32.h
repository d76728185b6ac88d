// Vector forms of the 1:1 spans of 32-bit blit variants from direct-colour
// sources without a blend image. Each draws the leading pixels of a span four
// at a time and returns how many it drew; the generic loop finishes the rest.
// Every pixel equals BlendPixel32's: the same integer rules, computed in
// 16-bit lanes where the exact value fits (wrapping where the true result is
// known to lie in 0..65535).
#pragma once
#include <cstdint>
#include <cstring>

#include "softrender/pixel_ops32.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Which variants have a vector span. Alpha enters as a factor only where
// alpha 255 under the transparent flag equals a factor of 256 (a whole
// pixel's move); the add, subtract and multiply take it in the scalar loop.
template <BlendOp Op, unsigned Mods>
constexpr bool HasBlendSpan32Fast() {
#if defined(__SSE2__)
  if (Mods & ModBlendImage) return false;
  if (Op == BlendOp::Copy && Mods == 0) return false;  // a row copy already
  if (Mods & ModAlpha) {
    return Op == BlendOp::Copy || Op == BlendOp::Alpha || Op == BlendOp::InvertedSource ||
           Op == BlendOp::MultiplyAlpha;
  }
  return Op != BlendOp::Nothing;
#else
  return false;
#endif
}

#if defined(__SSE2__)
namespace span32 {

inline __m128i Load(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
inline int32_t Load32(const uint8_t* p) {
  int32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
// Four source pixels: contiguous from s, or at the given columns of row s.
template <bool Gather>
inline __m128i LoadSource(const uint8_t* s, const int32_t* columns, int i) {
  if constexpr (Gather) {
    return _mm_set_epi32(Load32(s + 4 * static_cast<intptr_t>(columns[i + 3])),
                         Load32(s + 4 * static_cast<intptr_t>(columns[i + 2])),
                         Load32(s + 4 * static_cast<intptr_t>(columns[i + 1])),
                         Load32(s + 4 * static_cast<intptr_t>(columns[i])));
  } else {
    return Load(s + 4 * i);
  }
}
inline void Store(void* p, __m128i v) { _mm_storeu_si128(static_cast<__m128i*>(p), v); }
inline __m128i Select(__m128i mask, __m128i a, __m128i b) {  // mask ? a : b
  return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
}
// v / 255 truncated, exact for v in 0..65025.
inline __m128i Div255(__m128i v) {
  return _mm_srli_epi16(_mm_add_epi16(v, _mm_add_epi16(_mm_srli_epi16(v, 8), _mm_set1_epi16(1))), 8);
}
// (d * 256 + (t - d) * f) >> 8 per lane; exact for f up to 256.
inline __m128i Move8(__m128i d, __m128i t, __m128i f) {
  return _mm_srli_epi16(_mm_add_epi16(_mm_slli_epi16(d, 8), _mm_mullo_epi16(_mm_sub_epi16(t, d), f)), 8);
}
// (d * 65536 + (t - d) * f) >> 16 per lane for f up to 65535: d plus the high
// halves of t * f and d * f, less a borrow from their low halves.
inline __m128i Move16(__m128i d, __m128i t, __m128i f) {
  const __m128i sign = _mm_set1_epi16(static_cast<int16_t>(0x8000));
  const __m128i lowT = _mm_mullo_epi16(t, f), lowD = _mm_mullo_epi16(d, f);
  const __m128i borrow = _mm_cmpgt_epi16(_mm_xor_si128(lowD, sign), _mm_xor_si128(lowT, sign));
  return _mm_add_epi16(_mm_sub_epi16(_mm_add_epi16(d, _mm_mulhi_epu16(t, f)), _mm_mulhi_epu16(d, f)),
                       borrow);
}
inline __m128i PackedAdd(__m128i x, __m128i d) {
  const __m128i sum = _mm_add_epi32(_mm_and_si128(x, _mm_set1_epi32(0x00FEFEFF)),
                                    _mm_and_si128(d, _mm_set1_epi32(0x00FEFEFF)));
  const __m128i carry = _mm_and_si128(sum, _mm_set1_epi32(0x01010100));
  return _mm_or_si128(_mm_or_si128(_mm_sub_epi32(carry, _mm_srli_epi32(carry, 8)), sum),
                      _mm_and_si128(_mm_or_si128(x, d), _mm_set1_epi32(0x00010100)));
}
inline __m128i PackedSubtract(__m128i x, __m128i d) {
  const __m128i diff = _mm_sub_epi32(_mm_or_si128(d, _mm_set1_epi32(0x01010100)),
                                     _mm_and_si128(x, _mm_set1_epi32(0x00FEFEFF)));
  const __m128i borrow = _mm_and_si128(diff, _mm_set1_epi32(0x01010100));
  return _mm_and_si128(diff, _mm_sub_epi32(borrow, _mm_srli_epi32(borrow, 8)));
}

}  // namespace span32
#endif

// Gather: source pixel i is at column columns[i] of row s (stretched draws).
template <BlendOp Op, unsigned Mods, bool Gather>
inline int BlendSpan32Fast(uint32_t* d, const uint8_t* s, const int32_t* columns, int n,
                           uint32_t transparent, const BlendState32& st) {
  if constexpr (!HasBlendSpan32Fast<Op, Mods>()) {
    return 0;
  } else {
#if defined(__SSE2__)
    using namespace span32;
    constexpr bool kBright = (Mods & ModBrightness) != 0, kAlpha = (Mods & ModAlpha) != 0;
    constexpr bool kTransparent = (Mods & ModTransparent) != 0;
    constexpr bool kParam = BlendOpUsesParam(Op);
    const __m128i zero = _mm_setzero_si128();
    const __m128i topByte = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    const __m128i key = _mm_set1_epi32(static_cast<int>(transparent));
    const __m128i param = _mm_set1_epi16(static_cast<int16_t>(st.param));
    const __m128i bright = _mm_set_epi16(0, static_cast<int16_t>(st.brightRow[2][255]),
                                         static_cast<int16_t>(st.brightRow[1][255]),
                                         static_cast<int16_t>(st.brightRow[0][255]), 0,
                                         static_cast<int16_t>(st.brightRow[2][255]),
                                         static_cast<int16_t>(st.brightRow[1][255]),
                                         static_cast<int16_t>(st.brightRow[0][255]));
    int i = 0;
    if constexpr ((Op == BlendOp::Add || Op == BlendOp::Subtract) && !kBright) {
      // prod(255, s) = s: the source goes into the packed operation as it is.
      if (st.param == 255) {
        for (; i + 4 <= n; i += 4) {
          const __m128i S = LoadSource<Gather>(s, columns, i), D = Load(d + i);
          __m128i R = Op == BlendOp::Add ? PackedAdd(S, D) : PackedSubtract(S, D);
          if constexpr (kTransparent) R = Select(_mm_cmpeq_epi32(S, key), D, R);
          Store(d + i, R);
        }
        return i;
      }
    }
    for (; i + 4 <= n; i += 4) {
      const __m128i S = LoadSource<Gather>(s, columns, i), D = Load(d + i);
      __m128i skip = zero, whole = zero;
      if constexpr (kAlpha && kTransparent) {
        const __m128i a32 = _mm_srli_epi32(S, 24);
        skip = _mm_cmpeq_epi32(a32, zero);
        whole = _mm_cmpeq_epi32(a32, _mm_set1_epi32(255));
        // Sprites are mostly wholly clear or wholly opaque.
        const int clear = _mm_movemask_epi8(skip), opaque = _mm_movemask_epi8(whole);
        if (clear == 0xFFFF) continue;
        if constexpr (Op == BlendOp::Copy && !kBright) {
          if (opaque == 0xFFFF) {
            Store(d + i, S);
            continue;
          }
        }
      } else if constexpr (kTransparent) {
        skip = _mm_cmpeq_epi32(S, key);
      }
      __m128i R;
      if constexpr (Op == BlendOp::Copy && !kAlpha && !kBright) {
        R = S;
      } else if constexpr (Op == BlendOp::SubtractFull) {
        R = PackedSubtract(S, D);
      } else if constexpr (Op == BlendOp::SubtractExact) {
        R = _mm_subs_epu8(D, S);
      } else {
        __m128i sLo = _mm_unpacklo_epi8(S, zero), sHi = _mm_unpackhi_epi8(S, zero);
        const __m128i dLo = _mm_unpacklo_epi8(D, zero), dHi = _mm_unpackhi_epi8(D, zero);
        __m128i fLo = param, fHi = param;
        if constexpr (kAlpha) {
          // Each pixel's alpha in its four lanes.
          fLo = _mm_shufflehi_epi16(_mm_shufflelo_epi16(sLo, 0xFF), 0xFF);
          fHi = _mm_shufflehi_epi16(_mm_shufflelo_epi16(sHi, 0xFF), 0xFF);
          if constexpr (kTransparent) {
            // Alpha 255 weighs 256: the move without the alpha factor.
            fLo = _mm_sub_epi16(fLo, _mm_cmpeq_epi16(fLo, _mm_set1_epi16(255)));
            fHi = _mm_sub_epi16(fHi, _mm_cmpeq_epi16(fHi, _mm_set1_epi16(255)));
          }
          if constexpr (kParam) {
            fLo = _mm_mullo_epi16(fLo, param);
            fHi = _mm_mullo_epi16(fHi, param);
          }
        }
        if constexpr (Op == BlendOp::InvertedSource) {
          sLo = _mm_xor_si128(sLo, _mm_set1_epi16(0xFF));
          sHi = _mm_xor_si128(sHi, _mm_set1_epi16(0xFF));
        }
        if constexpr (kBright) {
          // The brightness rows are i * m / 255: row entry 255 is m itself.
          sLo = Div255(_mm_mullo_epi16(sLo, bright));
          sHi = Div255(_mm_mullo_epi16(sHi, bright));
        }
        __m128i rLo, rHi;
        if constexpr (Op == BlendOp::Copy && !kAlpha) {
          rLo = sLo;
          rHi = sHi;
        } else if constexpr (Op == BlendOp::Add || Op == BlendOp::Subtract) {
          rLo = Div255(_mm_mullo_epi16(sLo, param));
          rHi = Div255(_mm_mullo_epi16(sHi, param));
        } else if constexpr (Op == BlendOp::Multiply) {
          rLo = _mm_srli_epi16(_mm_mullo_epi16(sLo, dLo), 8);
          rHi = _mm_srli_epi16(_mm_mullo_epi16(sHi, dHi), 8);
        } else {
          if constexpr (Op == BlendOp::MultiplyAlpha) {
            sLo = _mm_srli_epi16(_mm_mullo_epi16(sLo, dLo), 8);
            sHi = _mm_srli_epi16(_mm_mullo_epi16(sHi, dHi), 8);
          }
          if constexpr (kAlpha && kParam) {
            rLo = Move16(dLo, sLo, fLo);
            rHi = Move16(dHi, sHi, fHi);
          } else {
            rLo = Move8(dLo, sLo, fLo);
            rHi = Move8(dHi, sHi, fHi);
          }
        }
        R = _mm_packus_epi16(rLo, rHi);
        if constexpr (Op == BlendOp::Add) {
          R = PackedAdd(R, D);
        } else if constexpr (Op == BlendOp::Subtract) {
          R = PackedSubtract(R, D);
        } else {
          // Weighted and modulated results keep the destination's top byte;
          // a whole copy (alpha 255 under the flag, no brightness) takes the source's.
          __m128i top = D;
          if constexpr (Op == BlendOp::Copy && kAlpha && kTransparent && !kBright) {
            top = Select(whole, S, D);
          }
          R = _mm_or_si128(_mm_andnot_si128(topByte, R), _mm_and_si128(topByte, top));
        }
      }
      if constexpr (kAlpha || kTransparent) R = Select(skip, D, R);
      Store(d + i, R);
    }
    return i;
#else
    return 0;
#endif
  }
}
