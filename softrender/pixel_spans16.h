// Vector forms of the 16-bit blit variants from direct-colour sources without
// a blend image: a row 1:1, or at the columns of a stretched draw. Each field sits
// in its own register of 16-bit lanes, one pixel per lane, and follows
// BlendPixel16's rules exactly: the lerp-table move as a truncated division
// by 255 of the magnitude, the weighted moves with wrapping 16-bit
// arithmetic where the true value is known to lie in 0..65535, the packed
// add and subtract by their per-field rules. One kernel,
// written over the vector types of the 32-bit spans: SSE2 here, AVX2 and
// AVX-512 in their own files, chosen at run time.
#pragma once
#include <array>
#include <cstdint>
#include <cstring>

#include "softrender/pixel_ops16.h"
#include "softrender/pixel_spans32.h"

// Which variants have a vector span.
template <BlendOp Op, unsigned Mods>
constexpr bool HasBlendSpan16Fast() {
#if defined(__SSE2__)
  if (Mods & ModBlendImage) return false;
  if (Op == BlendOp::Copy) return Mods != 0;  // the plain copy is a row copy already
  // Mode 11's alpha-weighted green is worked on the field in place.
  if (Op == BlendOp::MultiplyAlpha) return (Mods & ModAlpha) == 0;
  return Op != BlendOp::Nothing && Op != BlendOp::SubtractExact;
#else
  return false;
#endif
}

// Draws the leading columns of rows rows (pitches in bytes); returns how
// many columns of each row it drew.
using BlendSpan16Fn = int (*)(uint8_t* d, intptr_t dPitch, const uint8_t* s, intptr_t sPitch,
                              const int32_t* columns, int n, int rows, uint32_t transparent,
                              const BlendState16& st);
constexpr int BlendSpan16Index(bool alphaSource, BlendOp op, unsigned mods, bool gather) {
  return BlendSpan32Index(op, mods, gather) + (alphaSource ? kBlendSpan32Count : 0);
}
constexpr int kBlendSpan16Count = 2 * kBlendSpan32Count;
using BlendSpan16Table = std::array<BlendSpan16Fn, kBlendSpan16Count>;
// The AVX2 and AVX-512 kernels, null where none exists (or without support
// for the instructions built).
extern const BlendSpan16Table kBlendSpans16Avx2;
extern const BlendSpan16Table kBlendSpans16Avx512;

// The packed saturating add of fields x to fields d (blue, green, red),
// per field: blue exact; green and red add their upper bits, their lowest
// bit the OR of both or the overflow of the field below.
template <class V>
inline typename V::Reg AddFields16(const typename V::Reg x[3], const typename V::Reg d[3]) {
  using R = typename V::Reg;
  const R one = V::Set16(1);
  const R blue = V::Add16(x[0], d[0]);
  const R blueOver = V::CmpGt16(blue, V::Set16(31));
  const R u = V::Add16(V::template Srli16<1>(x[1]), V::template Srli16<1>(d[1]));
  const R green = V::Add16(V::Min16(V::template Slli16<1>(u), V::Set16(62)),
                           V::And(V::Or(V::Or(x[1], d[1]), blueOver), one));
  const R greenOver = V::CmpGt16(u, V::Set16(31));
  const R v = V::Add16(V::template Srli16<1>(x[2]), V::template Srli16<1>(d[2]));
  const R red = V::Min16(V::Add16(V::template Slli16<1>(v), V::And(V::Or(V::Or(x[2], d[2]), greenOver), one)),
                         V::Set16(31));
  return V::Or(V::Or(V::Min16(blue, V::Set16(31)), V::template Slli16<5>(green)),
               V::template Slli16<11>(red));
}

// The packed flooring subtract per field: blue exact; green and red subtract
// their upper bits, green's lowest bit 0, red's 1 when green did not borrow.
template <class V>
inline typename V::Reg SubtractFields16(const typename V::Reg x[3], const typename V::Reg d[3]) {
  using R = typename V::Reg;
  const R xg = V::template Srli16<1>(x[1]), dg = V::template Srli16<1>(d[1]);
  const R xr = V::template Srli16<1>(x[2]), dr = V::template Srli16<1>(d[2]);
  const R greenBorrows = V::CmpGt16(xg, dg);
  const R red = V::AndNot(V::CmpGt16(xr, dr), V::Add16(V::template Slli16<1>(V::SubsU16(dr, xr)),
                                                       V::AndNot(greenBorrows, V::Set16(1))));
  return V::Or(V::Or(V::SubsU16(d[0], x[0]), V::template Slli16<6>(V::SubsU16(dg, xg))),
               V::template Slli16<11>(red));
}

// What the kernels read that stays fixed for a draw, in registers.
template <class V>
struct SpanConsts16 {
  using R = typename V::Reg;
  R zero, param, key;
  // The blue and green field masks: kept here, a loop with many paths
  // rebuilds constants it has no register for at each use.
  R blue, green;
  R bright[3];
  bool keyFits;
  SpanConsts16(uint32_t transparent, const BlendState16& st)
      : zero(V::Zero()),
        param(V::Set16(static_cast<int16_t>(st.param))),
        key(V::Set16(static_cast<int16_t>(transparent & 0xFFFFu))),
        blue(V::Set16(31)),
        green(V::Set16(63)),
        // The brightness rows are i * m / 255: row entry 255 is m itself.
        bright{V::Set16(static_cast<int16_t>(st.brightRow[0][255])),
               V::Set16(static_cast<int16_t>(st.brightRow[1][255])),
               V::Set16(static_cast<int16_t>(st.brightRow[2][255]))},
        // A colour key above 16 bits matches no word.
        keyFits(transparent <= 0xFFFFu) {}
};

// A register of source colour words (and of their alphas, from a source
// with alpha) from column i on: contiguous from s, or at the given columns
// of row s. AlphaSource: 4-byte pixels (colour word, alpha byte); else
// 2-byte words.
template <class V, bool AlphaSource, bool Gather>
[[gnu::always_inline]] inline void LoadSource16(const uint8_t* s, const int32_t* columns, int i, typename V::Reg* color,
                         typename V::Reg* alpha) {
  using R = typename V::Reg;
  if constexpr (AlphaSource) {
    const R lo = V::template LoadSource<Gather>(s, columns, i);
    const R hi = V::template LoadSource<Gather>(s, columns, i + V::kPixels);
    // Colour words sign-extended, so that the signed pack keeps them.
    *color = V::PackS32(V::template Srai32<16>(V::template Slli32<16>(lo)),
                        V::template Srai32<16>(V::template Slli32<16>(hi)));
    *alpha = V::PackS32(V::And(V::template Srli32<16>(lo), V::Set32(0xFF)),
                        V::And(V::template Srli32<16>(hi), V::Set32(0xFF)));
  } else if constexpr (Gather) {
    uint16_t words[2 * V::kPixels];
    for (int j = 0; j < 2 * V::kPixels; j++) std::memcpy(&words[j], s + 2 * static_cast<intptr_t>(columns[i + j]), 2);
    *color = V::Load(words);
  } else {
    *color = V::Load(s + 2 * static_cast<intptr_t>(i));
  }
}

// The new pixels of a register of source colours (with their alphas) over
// destination pixels D, before any pixel is left out; whole marks the
// pixels of alpha 255 (read under the transparent flag only).
template <class V, BlendOp Op, unsigned Mods>
[[gnu::always_inline]] inline typename V::Reg BlendRegister16(typename V::Reg color, typename V::Reg alpha, typename V::Reg D,
                                       typename V::Reg whole, const SpanConsts16<V>& c) {
  using R = typename V::Reg;
  using O = SpanOps<V>;
  constexpr bool kBright = (Mods & ModBrightness) != 0, kTransparent = (Mods & ModTransparent) != 0;
  constexpr bool kAlpha = (Mods & ModAlpha) != 0;
  const R param = c.param;
  const R* const bright = c.bright;
  const R fieldsS[3] = {V::And(color, c.blue), V::And(V::template Srli16<5>(color), c.green),
                        V::template Srli16<11>(color)};
  const R fieldsD[3] = {V::And(D, c.blue), V::And(V::template Srli16<5>(D), c.green),
                        V::template Srli16<11>(D)};
  // The fields of the result, or of the weighted source x of the add and subtract.
  R res[3];
  // Unrolled, so that the fields stay in registers.
#pragma GCC unroll 3
  for (int f = 0; f < 3; f++) {
    R s = fieldsS[f];
    const R df = fieldsD[f];
    if constexpr (Op == BlendOp::SubtractFull) {
      res[f] = s;
      continue;
    }
    if constexpr (Op == BlendOp::InvertedSource) s = V::Xor(s, V::Set16(f == 1 ? 63 : 31));
    const R plain = kBright ? O::Div255(V::Mullo16(s, bright[f])) : s;  // s' with no weight
    if constexpr (Op == BlendOp::Add || Op == BlendOp::Subtract) {
      const R x = O::Div255(V::Mullo16(plain, param));
      if constexpr (!kAlpha) {
        res[f] = x;
      } else {
        // The alpha comes before the brightness here.
        R weighted = V::template Srli16<8>(V::Mullo16(s, alpha));
        if constexpr (kBright) weighted = O::Div255(V::Mullo16(weighted, bright[f]));
        const R xa = O::Div255(V::Mullo16(weighted, param));
        res[f] = kTransparent ? O::Select(whole, x, xa) : xa;
      }
    } else if constexpr (Op == BlendOp::Copy) {
      // Under the transparent flag alpha 255 is no weight: a weight of 256.
      res[f] = !kAlpha ? plain
                       : O::Move8(df, plain, kTransparent ? V::Sub16(alpha, whole) : alpha);
    } else if constexpr (Op == BlendOp::Multiply) {
      const R product = V::Mullo16(plain, df);  // below 2^12
      const R r = f == 1 ? V::template Srli16<6>(product) : V::template Srli16<5>(product);
      if constexpr (!kAlpha) {
        res[f] = r;
      } else {
        // (product * a) >> (n + 8) as the high half of (product << 4) * a, shifted n - 4.
        const R high = V::MulhiU16(V::template Slli16<4>(product), alpha);
        const R ra = f == 1 ? V::template Srli16<2>(high) : V::template Srli16<1>(high);
        res[f] = kTransparent ? O::Select(whole, r, ra) : ra;
      }
    } else {
      R t = plain;
      if constexpr (Op == BlendOp::MultiplyAlpha) {
        const R product = V::Mullo16(plain, df);
        t = f == 1 ? V::template Srli16<6>(product) : V::template Srli16<5>(product);
      }
      // d + (p * (t - d)) / 255, the quotient of the magnitude negated back.
      const R diff = V::Sub16(t, df);
      const R sign = V::template Srai16<15>(diff);
      const R q = O::Div255(V::Mullo16(V::Sub16(V::Xor(diff, sign), sign), param));
      const R lerp = V::Add16(df, V::Sub16(V::Xor(q, sign), sign));
      if constexpr (!kAlpha) {
        res[f] = lerp;
      } else {
        const R moved = O::Move16(df, t, V::Mullo16(alpha, param));  // a * p < 65536
        res[f] = kTransparent ? O::Select(whole, lerp, moved) : moved;
      }
    }
  }
  if constexpr (Op == BlendOp::Add) {
    return AddFields16<V>(res, fieldsD);
  } else if constexpr (Op == BlendOp::Subtract || Op == BlendOp::SubtractFull) {
    return SubtractFields16<V>(res, fieldsD);
  } else {
    return V::Or(V::Or(res[0], V::template Slli16<5>(res[1])), V::template Slli16<11>(res[2]));
  }
}

template <class V, bool AlphaSource, BlendOp Op, unsigned Mods, bool Gather>
inline int BlendSpan16Kernel(uint8_t* dRow, intptr_t dPitch, const uint8_t* sRow,
                             intptr_t sPitch, const int32_t* columns, int n, int rows,
                             uint32_t transparent, const BlendState16& st) {
  using R = typename V::Reg;
  using O = SpanOps<V>;
  constexpr int kStep = 2 * V::kPixels;
  constexpr bool kBright = (Mods & ModBrightness) != 0, kTransparent = (Mods & ModTransparent) != 0;
  constexpr bool kAlpha = (Mods & ModAlpha) != 0;
  static_assert(kAlpha == AlphaSource);
  const SpanConsts16<V> c(transparent, st);
  const R zero = c.zero;
  const R alphaFull = V::Set16(255);
  const int end = n / kStep * kStep;
  for (int y = 0; y < rows; y++, dRow += dPitch, sRow += sPitch) {
    if (y + 1 < rows) PrefetchRowForWrite(dRow + dPitch, 2 * static_cast<size_t>(n));
    auto* d = reinterpret_cast<uint16_t*>(dRow);
    for (int i = 0; i < end; i += kStep) {
      R color, alpha = zero;
      LoadSource16<V, AlphaSource, Gather>(sRow, columns, i, &color, &alpha);
      const R D = V::Load(d + i);
      R skip = zero, whole = zero;
      if constexpr (kAlpha && kTransparent) {
        skip = V::CmpEq16(alpha, zero);
        whole = V::CmpEq16(alpha, alphaFull);
        // Sprites are mostly wholly clear or wholly opaque.
        if (V::AllSet(skip)) continue;
        if constexpr (Op == BlendOp::Copy && !kBright) {
          if (V::AllSet(whole)) {
            V::Store(d + i, color);
            continue;
          }
        }
      } else if constexpr (kTransparent) {
        if (c.keyFits) skip = V::CmpEq16(color, c.key);
      }
      R out = BlendRegister16<V, Op, Mods>(color, alpha, D, whole, c);
      if constexpr (kAlpha || kTransparent) out = O::Select(skip, D, out);
      V::Store(d + i, out);
    }
  }
  return end;
}

// The 16-bit family's part in the run-table draw (see RunPixels32), from a
// source with alpha (4-byte pixels) or a key-colour one (2-byte words).
template <class Vec, bool AlphaSource>
struct RunPixels16 : RunPixelsTraits<Vec, uint16_t, BlendState16, SpanConsts16<Vec>, 2 * Vec::kPixels,
                                     AlphaSource ? 4 : 2, AlphaSource> {
  template <BlendOp Op, unsigned M>
  [[gnu::always_inline]] static typename Vec::Reg Step(const uint8_t* s, int at, typename Vec::Reg D,
                                                       const SpanConsts16<Vec>& c) {
    typename Vec::Reg color, alpha = c.zero;
    LoadSource16<Vec, AlphaSource, false>(s, nullptr, at, &color, &alpha);
    if constexpr (Op == BlendOp::Copy && M == 0) {
      return color;
    } else {
      return BlendRegister16<Vec, Op, M>(color, alpha, D, c.zero, c);
    }
  }
  template <BlendOp Op, unsigned M>
  static void Pixel(uint16_t* d, const uint8_t* s, int i, const BlendState16& st) {
    constexpr int kBytes = AlphaSource ? 4 : 2;
    uint32_t key = 0;
    std::memcpy(&key, s + kBytes * static_cast<intptr_t>(i), kBytes);
    d[i] = static_cast<uint16_t>(BlendPixel16<Op, false, (M & ModAlpha) != 0, (M & ModBrightness) != 0>(
        d[i], key & 0xFFFFu, 0, (key >> 16) & 0xFFu, st));
  }
};

// Variants with a vector run-table draw: both run kinds have a span, or
// the opaque runs are plain copies of the colour words.
template <bool AlphaSource, BlendOp Op, unsigned Mods>
constexpr bool HasRunTableSpan16() {
  constexpr unsigned kOpaque = OpaqueRunMods(Mods);
  return (Mods & ModTransparent) != 0 && (Mods & ModBlendImage) == 0 &&
         (HasBlendSpan16Fast<Op, kOpaque>() || (Op == BlendOp::Copy && kOpaque == 0)) &&
         (!AlphaSource || HasBlendSpan16Fast<Op, PartialRunMods(Mods)>());
}

using RunTableSpan16Fn = void (*)(const RunTableRows& rows, const BlendState16& st);
// Sources with alpha in the upper half.
constexpr int kRunTableSpan16Count = 2 * kRunTableSpan32Count;
using RunTableSpan16Table = std::array<RunTableSpan16Fn, kRunTableSpan16Count>;
extern const RunTableSpan16Table kRunTableSpans16Avx2;

// The vector part of rows rows at the given level; returns the columns of
// each row it drew.
template <bool AlphaSource, BlendOp Op, unsigned Mods, bool Gather>
inline int BlendSpan16Fast(int level, uint8_t* d, intptr_t dPitch, const uint8_t* s,
                           intptr_t sPitch, const int32_t* columns, int n, int rows,
                           uint32_t transparent, const BlendState16& st) {
  if constexpr (!HasBlendSpan16Fast<Op, Mods>() || AlphaSource != ((Mods & ModAlpha) != 0)) {
    return 0;
  } else {
    constexpr intptr_t kBytes = AlphaSource ? 4 : 2;
    int done = RunWideSpans(kBlendSpans16Avx512, kBlendSpans16Avx2, BlendSpan16Index(AlphaSource, Op, Mods, Gather),
                            level, 2, kBytes, d, dPitch, s, sPitch, Gather ? columns : nullptr, n, rows,
                            transparent, st);
    if (done == n) return done;
    d += 2 * static_cast<intptr_t>(done);
    if constexpr (Gather) {
      columns += done;
    } else {
      s += kBytes * done;
    }
#if defined(__SSE2__)
    if (level >= 1) {
      done += BlendSpan16Kernel<VecSse2, AlphaSource, Op, Mods, Gather>(
          d, dPitch, s, sPitch, columns, n - done, rows, transparent, st);
    }
#endif
    return done;
  }
}

// The run-table draw at the given level, where a kernel exists for it;
// false leaves it to the generic loop.
template <bool AlphaSource, BlendOp Op, unsigned Mods>
inline bool RunTableSpan16(int level, const RunTableRows& rows, const BlendState16& st) {
  if constexpr (!HasRunTableSpan16<AlphaSource, Op, Mods>()) {
    return false;
  } else {
    const int index = RunTableSpanIndex(Op, Mods) + (AlphaSource ? kRunTableSpan32Count : 0);
    if (level >= 2 && kRunTableSpans16Avx2[index]) {
      kRunTableSpans16Avx2[index](rows, st);
      return true;
    }
#if defined(__SSE2__)
    if (level >= 1) {
      RunTableKernel<RunPixels16<VecSse2, AlphaSource>, Op, Mods>(rows, st);
      return true;
    }
#endif
    return false;
  }
}
