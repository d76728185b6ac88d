// Vector forms of the 32-bit blit variants from direct-colour sources without
// a blend image: a row 1:1 from the source, or at the columns of a stretched
// draw. Each draws the leading pixels of a row a register at a time and
// returns how many it drew; the generic loop finishes the rest. Every pixel
// equals BlendPixel32's: the same integer rules in 16-bit lanes, where the
// exact value fits (wrapping where the true result is known to lie in
// 0..65535). One kernel, written over a vector type: SSE2 (the x86-64
// baseline) here, AVX2 and AVX-512 in their own files, chosen at run time.
#pragma once
#include <array>
#include <cstdint>
#include <cstring>

#include "softrender/pixel_ops32.h"
#include "image/row_copy.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Which variants have a vector span. Alpha enters as a factor where alpha
// 255 under the transparent flag equals a factor of 256 (a whole pixel's
// move), and as the add's and subtract's weight of the source; the multiply
// takes it in the scalar loop.
template <BlendOp Op, unsigned Mods>
constexpr bool HasBlendSpan32Fast() {
#if defined(__SSE2__)
  if (Mods & ModBlendImage) return false;
  if (Mods & ModAlpha) {
    return Op == BlendOp::Copy || Op == BlendOp::Alpha || Op == BlendOp::InvertedSource ||
           Op == BlendOp::MultiplyAlpha || Op == BlendOp::Add || Op == BlendOp::Subtract;
  }
  return Op != BlendOp::Nothing;
#else
  return false;
#endif
}

// Vector spans in use: 0 none, 1 SSE2, 2 AVX2, 3 AVX-512; the run's
// VectorLevel() (at least SSE2) unless a test chose another.
int BlitSpanLevel();
// Tests: the level to use (capped at the run's level); -1 the run's level.
void SetBlitSpanLevelForTest(int level);

// Draws the leading columns of rows rows (pitches in bytes); returns how
// many columns of each row it drew.
using BlendSpan32Fn = int (*)(uint8_t* d, intptr_t dPitch, const uint8_t* s, intptr_t sPitch,
                              const int32_t* columns, int n, int rows, uint32_t transparent,
                              const BlendState32& st);
constexpr int BlendSpan32Index(BlendOp op, unsigned mods, bool gather) {
  return (static_cast<int>(op) * static_cast<int>(kBlendModifierCount) + static_cast<int>(mods)) * 2 +
         (gather ? 1 : 0);
}
constexpr int kBlendSpan32Count = kBlendOpCount * kBlendModifierCount * 2;
using BlendSpan32Table = std::array<BlendSpan32Fn, kBlendSpan32Count>;
// The AVX2 and AVX-512 kernels, null where none exists (or without support
// for the instructions built).
extern const BlendSpan32Table kBlendSpans32Avx2;
extern const BlendSpan32Table kBlendSpans32Avx512;

// Runs the wide kernels the level allows on rows rows, widest first, each on
// the columns of every row the one before left; returns the columns drawn.
// dBytes and sBytes are the pixel sizes; columns is null unless gathering.
template <class Table, class State>
inline int RunWideSpans(const Table& avx512, const Table& avx2, int index, int level, intptr_t dBytes,
                        intptr_t sBytes, uint8_t* d, intptr_t dPitch, const uint8_t* s, intptr_t sPitch,
                        const int32_t* columns, int n, int rows, uint32_t transparent, const State& st) {
  int done = 0;
  for (const Table* table : {&avx512, &avx2}) {
    const bool widest = table == &avx512;
    // A span shorter than one register of the kernel is not worth the call.
    if (level < (widest ? 3 : 2) || n - done < (widest ? 16 : 8)) continue;
    const auto span = (*table)[index];
    if (!span) continue;
    done += span(d + dBytes * done, dPitch, columns ? s : s + sBytes * done, sPitch,
                 columns ? columns + done : nullptr, n - done, rows, transparent, st);
    if (done == n) break;
  }
  return done;
}

template <class V>
struct SpanOps {
  using R = typename V::Reg;
  // (mask ? a : b)
  static R Select(R mask, R a, R b) {
    if constexpr (V::kTernary) {
      return V::template Ternary<0xCA>(mask, a, b);
    } else {
      return V::Or(V::And(mask, a), V::AndNot(mask, b));
    }
  }
  static R Or3(R a, R b, R c) {
    if constexpr (V::kTernary) {
      return V::template Ternary<0xFE>(a, b, c);
    } else {
      return V::Or(V::Or(a, b), c);
    }
  }
  // (a | b) & c
  static R OrAnd(R a, R b, R c) {
    if constexpr (V::kTernary) {
      return V::template Ternary<0xA8>(a, b, c);
    } else {
      return V::And(V::Or(a, b), c);
    }
  }
  // v / 255 truncated, exact for v in 0..65025.
  static R Div255(R v) {
    return V::template Srli16<8>(V::Add16(v, V::Add16(V::template Srli16<8>(v), V::Set16(1))));
  }
  // (d * 256 + (t - d) * f) >> 8 per lane; exact for f up to 256.
  static R Move8(R d, R t, R f) {
    return V::template Srli16<8>(V::Add16(V::template Slli16<8>(d), V::Mullo16(V::Sub16(t, d), f)));
  }
  // (d * 65536 + (t - d) * f) >> 16 per lane for f up to 65535: d plus the
  // high halves of t * f and d * f, less a borrow from their low halves.
  static R Move16(R d, R t, R f) {
    const R sign = V::Set16(static_cast<int16_t>(0x8000));
    const R lowT = V::Mullo16(t, f), lowD = V::Mullo16(d, f);
    const R borrow = V::CmpGt16(V::Xor(lowD, sign), V::Xor(lowT, sign));
    return V::Add16(V::Sub16(V::Add16(d, V::MulhiU16(t, f)), V::MulhiU16(d, f)), borrow);
  }
  // The packed add with byte-saturating adds of both halves with green's and
  // red's lowest bits (and the top byte) cleared: their saturated bytes are
  // the rule's but for those lowest bits. The 32-bit sum of the same halves
  // differs from them only where a byte below carried, by exactly the bit
  // the carry sets (a saturated byte is all ones anyway), and the top byte
  // it gives is red's carry; the inputs' own lowest bits come in by an OR.
  static R PackedAdd(R x, R d) {
    const R mask = V::Set32(0x00FEFEFF);
    const R u = V::And(x, mask), v = V::And(d, mask);
    return Or3(V::AddsU8(u, v), V::Add32(u, v), OrAnd(x, d, V::Set32(0x00010100)));
  }
  static R PackedSubtract(R x, R d) {
    const R diff = V::Sub32(V::Or(d, V::Set32(0x01010100)), V::And(x, V::Set32(0x00FEFEFF)));
    const R borrow = V::And(diff, V::Set32(0x01010100));
    return V::And(diff, V::Sub32(borrow, V::template Srli32<8>(borrow)));
  }
  // Each pixel's top byte (its alpha) in its four 16-bit lanes.
  static R SpreadAlpha(R unpacked) { return V::template ShuffleLanes<0xFF>(unpacked); }
};

template <class V, BlendOp Op, unsigned Mods, bool Gather>
inline int BlendSpanKernel(uint8_t* dRow, intptr_t dPitch, const uint8_t* sRow, intptr_t sPitch,
                           const int32_t* columns, int n, int rows, uint32_t transparent,
                           const BlendState32& st) {
  using R = typename V::Reg;
  using O = SpanOps<V>;
  constexpr int kStep = V::kPixels;
  constexpr bool kBright = (Mods & ModBrightness) != 0, kAlpha = (Mods & ModAlpha) != 0;
  constexpr bool kTransparent = (Mods & ModTransparent) != 0;
  constexpr bool kParam = BlendOpUsesParam(Op);
  const R zero = V::Zero();
  const R topByte = V::Set32(static_cast<int32_t>(0xFF000000u));
  const R key = V::Set32(static_cast<int32_t>(transparent));
  const R param = V::Set16(static_cast<int16_t>(st.param));
  // The brightness rows are i * m / 255: row entry 255 is m itself.
  const R bright = V::Set64(static_cast<int64_t>(st.brightRow[0][255]) |
                            static_cast<int64_t>(st.brightRow[1][255]) << 16 |
                            static_cast<int64_t>(st.brightRow[2][255]) << 32);
  const int end = n / kStep * kStep;
  if constexpr ((Op == BlendOp::Add || Op == BlendOp::Subtract) && !kBright && !kAlpha) {
    // prod(255, s) = s: the source goes into the packed operation as it is.
    if (st.param == 255) {
      for (int y = 0; y < rows; y++, dRow += dPitch, sRow += sPitch) {
        if (y + 1 < rows) PrefetchRowForWrite(dRow + dPitch, 4 * static_cast<size_t>(n));
        auto* d = reinterpret_cast<uint32_t*>(dRow);
        for (int i = 0; i < end; i += kStep) {
          const R S = V::template LoadSource<Gather>(sRow, columns, i), D = V::Load(d + i);
          R out = Op == BlendOp::Add ? O::PackedAdd(S, D) : O::PackedSubtract(S, D);
          if constexpr (kTransparent) out = O::Select(V::CmpEq32(S, key), D, out);
          V::Store(d + i, out);
        }
      }
      return end;
    }
  }
  for (int y = 0; y < rows; y++, dRow += dPitch, sRow += sPitch) {
    if (y + 1 < rows) PrefetchRowForWrite(dRow + dPitch, 4 * static_cast<size_t>(n));
    auto* d = reinterpret_cast<uint32_t*>(dRow);
    const uint8_t* s = sRow;
    for (int i = 0; i < end; i += kStep) {
      const R S = V::template LoadSource<Gather>(s, columns, i), D = V::Load(d + i);
      R skip = zero, whole = zero;
      if constexpr (kAlpha && kTransparent) {
        const R a32 = V::template Srli32<24>(S);
        skip = V::CmpEq32(a32, zero);
        whole = V::CmpEq32(a32, V::Set32(255));
        // Sprites are mostly wholly clear or wholly opaque.
        if (V::AllSet(skip)) continue;
        if constexpr (Op == BlendOp::Copy && !kBright) {
          if (V::AllSet(whole)) {
            V::Store(d + i, S);
            continue;
          }
        }
      } else if constexpr (kTransparent) {
        skip = V::CmpEq32(S, key);
      }
      R out;
      if constexpr (Op == BlendOp::Copy && !kAlpha && !kBright) {
        out = S;
      } else if constexpr (Op == BlendOp::SubtractFull) {
        out = O::PackedSubtract(S, D);
      } else if constexpr (Op == BlendOp::SubtractExact) {
        out = V::SubsU8(D, S);
      } else {
        R sLo = V::UnpackLo8(S, zero), sHi = V::UnpackHi8(S, zero);
        const R dLo = V::UnpackLo8(D, zero), dHi = V::UnpackHi8(D, zero);
        R fLo = param, fHi = param;
        constexpr bool kWeighsSource = Op == BlendOp::Add || Op == BlendOp::Subtract;
        // Alpha 255 under the flag: an add's or subtract's source weighed by
        // the parameter alone.
        R paramOnlyLo = zero, paramOnlyHi = zero;
        if constexpr (kAlpha) {
          fLo = O::SpreadAlpha(sLo);
          fHi = O::SpreadAlpha(sHi);
          if constexpr (kWeighsSource && kTransparent) {
            paramOnlyLo = V::CmpEq16(fLo, V::Set16(255));
            paramOnlyHi = V::CmpEq16(fHi, V::Set16(255));
          } else if constexpr (kTransparent) {
            // Alpha 255 weighs 256: the move without the alpha factor.
            fLo = V::Sub16(fLo, V::CmpEq16(fLo, V::Set16(255)));
            fHi = V::Sub16(fHi, V::CmpEq16(fHi, V::Set16(255)));
          }
          if constexpr (kParam) {
            fLo = V::Mullo16(fLo, param);
            fHi = V::Mullo16(fHi, param);
          }
        }
        if constexpr (Op == BlendOp::InvertedSource) {
          sLo = V::Xor(sLo, V::Set16(0xFF));
          sHi = V::Xor(sHi, V::Set16(0xFF));
        }
        if constexpr (kBright) {
          sLo = O::Div255(V::Mullo16(sLo, bright));
          sHi = O::Div255(V::Mullo16(sHi, bright));
        }
        R rLo, rHi;
        if constexpr (Op == BlendOp::Copy && !kAlpha) {
          rLo = sLo;
          rHi = sHi;
        } else if constexpr (kWeighsSource) {
          rLo = O::Div255(V::Mullo16(sLo, param));
          rHi = O::Div255(V::Mullo16(sHi, param));
          if constexpr (kAlpha) {
            // s * a * param >> 16: a * param fits 16 bits, and the product's
            // high half is the shift.
            rLo = O::Select(paramOnlyLo, rLo, V::MulhiU16(sLo, fLo));
            rHi = O::Select(paramOnlyHi, rHi, V::MulhiU16(sHi, fHi));
          }
        } else if constexpr (Op == BlendOp::Multiply) {
          rLo = V::template Srli16<8>(V::Mullo16(sLo, dLo));
          rHi = V::template Srli16<8>(V::Mullo16(sHi, dHi));
        } else {
          if constexpr (Op == BlendOp::MultiplyAlpha) {
            sLo = V::template Srli16<8>(V::Mullo16(sLo, dLo));
            sHi = V::template Srli16<8>(V::Mullo16(sHi, dHi));
          }
          if constexpr (kAlpha && kParam) {
            rLo = O::Move16(dLo, sLo, fLo);
            rHi = O::Move16(dHi, sHi, fHi);
          } else {
            rLo = O::Move8(dLo, sLo, fLo);
            rHi = O::Move8(dHi, sHi, fHi);
          }
        }
        out = V::PackUs16(rLo, rHi);
        if constexpr (Op == BlendOp::Add) {
          out = O::PackedAdd(out, D);
        } else if constexpr (Op == BlendOp::Subtract) {
          out = O::PackedSubtract(out, D);
        } else {
          // Weighted and modulated results keep the destination's top byte; a
          // whole copy (alpha 255 under the flag, no brightness) takes the source's.
          R top = D;
          if constexpr (Op == BlendOp::Copy && kAlpha && kTransparent && !kBright) {
            top = O::Select(whole, S, D);
          }
          out = V::Or(V::AndNot(topByte, out), V::And(topByte, top));
        }
      }
      if constexpr (kAlpha || kTransparent) out = O::Select(skip, D, out);
      V::Store(d + i, out);
    }
  }
  return end;
}

#if defined(__SSE2__)
struct VecSse2 {
  using Reg = __m128i;
  static constexpr int kPixels = 4;
  static constexpr bool kTernary = false;
  static Reg Load(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
  static void Store(void* p, Reg v) { _mm_storeu_si128(static_cast<__m128i*>(p), v); }
  static int32_t Load32(const uint8_t* p) {
    int32_t v;
    std::memcpy(&v, p, 4);
    return v;
  }
  // Four source pixels: contiguous from s, or at the given columns of row s.
  template <bool Gather>
  static Reg LoadSource(const uint8_t* s, const int32_t* columns, int i) {
    if constexpr (Gather) {
      return _mm_set_epi32(Load32(s + 4 * static_cast<intptr_t>(columns[i + 3])),
                           Load32(s + 4 * static_cast<intptr_t>(columns[i + 2])),
                           Load32(s + 4 * static_cast<intptr_t>(columns[i + 1])),
                           Load32(s + 4 * static_cast<intptr_t>(columns[i])));
    } else {
      return Load(s + 4 * static_cast<intptr_t>(i));
    }
  }
  static Reg Zero() { return _mm_setzero_si128(); }
  static Reg Set16(int16_t v) { return _mm_set1_epi16(v); }
  static Reg Set32(int32_t v) { return _mm_set1_epi32(v); }
  static Reg Set64(int64_t v) { return _mm_set1_epi64x(v); }
  static Reg And(Reg a, Reg b) { return _mm_and_si128(a, b); }
  static Reg AndNot(Reg a, Reg b) { return _mm_andnot_si128(a, b); }  // ~a & b
  static Reg Or(Reg a, Reg b) { return _mm_or_si128(a, b); }
  static Reg Xor(Reg a, Reg b) { return _mm_xor_si128(a, b); }
  static Reg Add16(Reg a, Reg b) { return _mm_add_epi16(a, b); }
  static Reg Sub16(Reg a, Reg b) { return _mm_sub_epi16(a, b); }
  static Reg Add32(Reg a, Reg b) { return _mm_add_epi32(a, b); }
  static Reg Sub32(Reg a, Reg b) { return _mm_sub_epi32(a, b); }
  static Reg Mullo16(Reg a, Reg b) { return _mm_mullo_epi16(a, b); }
  static Reg MulhiU16(Reg a, Reg b) { return _mm_mulhi_epu16(a, b); }
  static Reg CmpEq16(Reg a, Reg b) { return _mm_cmpeq_epi16(a, b); }
  static Reg CmpGt16(Reg a, Reg b) { return _mm_cmpgt_epi16(a, b); }
  static Reg CmpEq32(Reg a, Reg b) { return _mm_cmpeq_epi32(a, b); }
  static Reg SubsU8(Reg a, Reg b) { return _mm_subs_epu8(a, b); }
  static Reg AddsU8(Reg a, Reg b) { return _mm_adds_epu8(a, b); }
  static Reg UnpackLo8(Reg a, Reg b) { return _mm_unpacklo_epi8(a, b); }
  static Reg UnpackHi8(Reg a, Reg b) { return _mm_unpackhi_epi8(a, b); }
  static Reg PackUs16(Reg a, Reg b) { return _mm_packus_epi16(a, b); }
  template <int N>
  static Reg Srli16(Reg a) { return _mm_srli_epi16(a, N); }
  template <int N>
  static Reg Slli16(Reg a) { return _mm_slli_epi16(a, N); }
  template <int N>
  static Reg Srli32(Reg a) { return _mm_srli_epi32(a, N); }
  static Reg Min16(Reg a, Reg b) { return _mm_min_epi16(a, b); }
  static Reg SubsU16(Reg a, Reg b) { return _mm_subs_epu16(a, b); }
  template <int N>
  static Reg Srai16(Reg a) { return _mm_srai_epi16(a, N); }
  template <int N>
  static Reg Slli32(Reg a) { return _mm_slli_epi32(a, N); }
  template <int N>
  static Reg Srai32(Reg a) { return _mm_srai_epi32(a, N); }
  // Signed saturating pack of two registers of 32-bit lanes into one of 16-bit lanes.
  static Reg PackS32(Reg a, Reg b) { return _mm_packs_epi32(a, b); }
  // The same 16-bit lane of each pixel (imm picks it) in all four lanes.
  template <int Imm>
  static Reg ShuffleLanes(Reg a) { return _mm_shufflehi_epi16(_mm_shufflelo_epi16(a, Imm), Imm); }
  static bool AllSet(Reg mask) { return _mm_movemask_epi8(mask) == 0xFFFF; }
};
#endif

// The vector part of rows rows at the given level; returns the columns of
// each row it drew.
template <BlendOp Op, unsigned Mods, bool Gather>
inline int BlendSpan32Fast(int level, uint8_t* d, intptr_t dPitch, const uint8_t* s,
                           intptr_t sPitch, const int32_t* columns, int n, int rows,
                           uint32_t transparent, const BlendState32& st) {
  if constexpr (!HasBlendSpan32Fast<Op, Mods>()) {
    return 0;
  } else {
    int done = RunWideSpans(kBlendSpans32Avx512, kBlendSpans32Avx2, BlendSpan32Index(Op, Mods, Gather), level, 4,
                            4, d, dPitch, s, sPitch, Gather ? columns : nullptr, n, rows, transparent, st);
    if (done == n) return done;
    d += 4 * static_cast<intptr_t>(done);
    if constexpr (Gather) {
      columns += done;
    } else {
      s += 4 * static_cast<intptr_t>(done);
    }
#if defined(__SSE2__)
    if (level >= 1) {
      done += BlendSpanKernel<VecSse2, Op, Mods, Gather>(d, dPitch, s, sPitch, columns, n - done,
                                                         rows, transparent, st);
    }
#endif
    return done;
  }
}
