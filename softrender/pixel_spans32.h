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
#include <type_traits>
#include <utility>

#include "softrender/memimg.h"
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

// What the kernels read that stays fixed for a draw, in registers.
template <class V>
struct SpanConsts32 {
  using R = typename V::Reg;
  R zero, topByte, key, param, bright;
  SpanConsts32(uint32_t transparent, const BlendState32& st)
      : zero(V::Zero()),
        topByte(V::Set32(static_cast<int32_t>(0xFF000000u))),
        key(V::Set32(static_cast<int32_t>(transparent))),
        param(V::Set16(static_cast<int16_t>(st.param))),
        // The brightness rows are i * m / 255: row entry 255 is m itself.
        bright(V::Set64(static_cast<int64_t>(st.brightRow[0][255]) |
                        static_cast<int64_t>(st.brightRow[1][255]) << 16 |
                        static_cast<int64_t>(st.brightRow[2][255]) << 32)) {}
};

// The new pixels of a register of source pixels S over destination pixels D,
// before any pixel is left out. whole marks the pixels of alpha 255 (read
// only by the copy from an alpha source under the transparent flag).
template <class V, BlendOp Op, unsigned Mods>
[[gnu::always_inline]] inline typename V::Reg BlendRegister32(typename V::Reg S, typename V::Reg D, typename V::Reg whole,
                                       const SpanConsts32<V>& c) {
  using R = typename V::Reg;
  using O = SpanOps<V>;
  constexpr bool kBright = (Mods & ModBrightness) != 0, kAlpha = (Mods & ModAlpha) != 0;
  constexpr bool kTransparent = (Mods & ModTransparent) != 0;
  constexpr bool kParam = BlendOpUsesParam(Op);
  const R zero = c.zero, param = c.param;
  if constexpr (Op == BlendOp::Copy && !kAlpha && !kBright) {
    return S;
  } else if constexpr (Op == BlendOp::SubtractFull) {
    return O::PackedSubtract(S, D);
  } else if constexpr (Op == BlendOp::SubtractExact) {
    return V::SubsU8(D, S);
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
      sLo = O::Div255(V::Mullo16(sLo, c.bright));
      sHi = O::Div255(V::Mullo16(sHi, c.bright));
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
    R out = V::PackUs16(rLo, rHi);
    if constexpr (Op == BlendOp::Add) {
      return O::PackedAdd(out, D);
    } else if constexpr (Op == BlendOp::Subtract) {
      return O::PackedSubtract(out, D);
    } else {
      // Weighted and modulated results keep the destination's top byte; a
      // whole copy (alpha 255 under the flag, no brightness) takes the source's.
      R top = D;
      if constexpr (Op == BlendOp::Copy && kAlpha && kTransparent && !kBright) {
        top = O::Select(whole, S, D);
      }
      return V::Or(V::AndNot(c.topByte, out), V::And(c.topByte, top));
    }
  }
}

// Asks for a draw's destination lines for writing `lead` bytes ahead of its
// loop, one line for each line the loop draws, in the order it draws them.
// The distance is in bytes, not rows: a narrow draw looks more rows ahead
// than a wide one, as a miss takes as long whatever the width. One line at a
// time never holds up the loop's own misses as a whole row asked for at once
// does. Rows of a page or longer are left to the hardware (as
// PrefetchRowForWrite leaves them).
struct WriteAhead {
  uint8_t* row;
  intptr_t pitch;
  size_t rowBytes, at = 0;
  int rowsAfter;  // rows below the one asked for
  bool on;
  WriteAhead(uint8_t* first, intptr_t dPitch, size_t bytes, int rows, size_t lead)
      : row(first), pitch(dPitch), rowBytes(bytes), rowsAfter(rows - 1), on(bytes > 0 && bytes < kRowFetchedByHardware) {
    const size_t line = bytes < 64 ? bytes : 64;
    if (on) {
      for (size_t b = 0; b < lead; b += line) Step(line);
    }
  }
  // Asks for the line at the stream's place and moves it on by bytes (at
  // most a row); past the last row it stays there, on lines it has.
  [[gnu::always_inline]] void Step(size_t bytes) {
    __builtin_prefetch(row + at, 1);
    at += bytes;
    if (at >= rowBytes) {
      at -= rowBytes;
      if (rowsAfter > 0) {
        row += pitch;
        rowsAfter--;
      }
    }
  }
  // The rest of a row whose first `drawn` bytes stepped the stream.
  [[gnu::always_inline]] void RowDone(size_t drawn) {
    for (; drawn < rowBytes; drawn += 64) Step(rowBytes - drawn < 64 ? rowBytes - drawn : 64);
  }
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
  const SpanConsts32<V> c(transparent, st);
  const R zero = c.zero;
  const int end = n / kStep * kStep;
  if constexpr ((Op == BlendOp::Add || Op == BlendOp::Subtract) && !kBright && !kAlpha) {
    // prod(255, s) = s: the source goes into the packed operation as it is.
    if (st.param == 255) {
      // At least two registers and two lines a turn: the loop's counting and
      // its requests ahead cost the same ports as the few operations per
      // register.
      constexpr int kTurn = 4 * kStep >= 64 ? 2 : 128 / (4 * kStep);
      constexpr int kTurnLines = kTurn * kStep * 4 / 64;
      const size_t rowBytes = 4 * static_cast<size_t>(n);
      WriteAhead ahead(dRow, dPitch, rowBytes, rows, V::kWriteLead);
      for (int y = 0; y < rows; y++, dRow += dPitch, sRow += sPitch) {
        auto* d = reinterpret_cast<uint32_t*>(dRow);
        const auto draw = [&](int i) {
          const R S = V::InRegister(V::template LoadSource<Gather>(sRow, columns, i));
          const R D = V::InRegister(V::Load(d + i));
          R out = Op == BlendOp::Add ? O::PackedAdd(S, D) : O::PackedSubtract(S, D);
          if constexpr (kTransparent) out = O::Select(V::CmpEq32(S, c.key), D, out);
          V::Store(d + i, out);
        };
        int i = 0;
        for (; i + kTurn * kStep <= end; i += kTurn * kStep) {
          if (ahead.on) {
            for (int q = 0; q < kTurnLines; q++) ahead.Step(64);
          }
          // Written out: the optimiser leaves a loop of two such bodies rolled.
          [&]<int... T>(std::integer_sequence<int, T...>) {
            (draw(i + T * kStep), ...);
          }(std::make_integer_sequence<int, kTurn>{});
        }
        if (ahead.on) ahead.RowDone(4 * static_cast<size_t>(i));
        for (; i < end; i += kStep) draw(i);
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
        skip = V::CmpEq32(S, c.key);
      }
      R out = BlendRegister32<V, Op, Mods>(S, D, whole, c);
      if constexpr (kAlpha || kTransparent) out = O::Select(skip, D, out);
      V::Store(d + i, out);
    }
  }
  return end;
}

// A plain blit through its source's transparency run table, a whole
// unclipped draw: the rows, the table's codes and its row records.
struct RunTableRows {
  uint8_t* dst;
  intptr_t dPitch;
  const uint8_t* src;
  intptr_t sPitch;
  int width, height;
  const uint8_t* table;
  const uint8_t* tableEnd;
  const RunRow* rows;
  uint32_t transparent;
};
using RunTableSpan32Fn = void (*)(const RunTableRows& rows, const BlendState32& st);
constexpr int kRunTableSpan32Count = kBlendOpCount * kBlendModifierCount;
constexpr int RunTableSpanIndex(BlendOp op, unsigned mods) {
  return static_cast<int>(op) * static_cast<int>(kBlendModifierCount) + static_cast<int>(mods);
}
using RunTableSpan32Table = std::array<RunTableSpan32Fn, kRunTableSpan32Count>;
// AVX2 only: measured, sixteen-pixel registers lose on the short partial
// runs and the loads they place over their neighbours.
extern const RunTableSpan32Table kRunTableSpans32Avx2;

// The two modifier sets of a run-table draw: opaque runs drawn without
// per-pixel tests, partial runs weighed by each pixel's alpha.
constexpr unsigned OpaqueRunMods(unsigned mods) { return mods & ~(ModTransparent | ModAlpha); }
constexpr unsigned PartialRunMods(unsigned mods) { return (mods & ~ModTransparent) | ModAlpha; }

template <BlendOp Op, unsigned Mods>
constexpr bool HasRunTableSpan32() {
  return (Mods & ModTransparent) != 0 && HasBlendSpan32Fast<Op, OpaqueRunMods(Mods)>() &&
         HasBlendSpan32Fast<Op, PartialRunMods(Mods)>();
}

// Copies bytes (2 to 64, whole pixels) as two overlapping moves of the
// largest size that fits twice: no destination pixel is read, and no byte
// outside is written.
inline void CopyShortRun(uint8_t* d, const uint8_t* s, size_t bytes) {
  if (bytes >= 32) {
    std::memcpy(d, s, 32);
    std::memcpy(d + bytes - 32, s + bytes - 32, 32);
  } else if (bytes >= 16) {
    std::memcpy(d, s, 16);
    std::memcpy(d + bytes - 16, s + bytes - 16, 16);
  } else if (bytes >= 8) {
    std::memcpy(d, s, 8);
    std::memcpy(d + bytes - 8, s + bytes - 8, 8);
  } else if (bytes >= 4) {
    std::memcpy(d, s, 4);
    std::memcpy(d + bytes - 4, s + bytes - 4, 4);
  } else {
    std::memcpy(d, s, 2);
  }
}

// The lanes of a register of 16- or 32-bit lanes below n (From false) or
// from n on (From true), n in 0 .. the lanes it holds: one load, where the
// edge steps of a sprite's rows would otherwise spend a compare and a
// branch a bound that changes from row to row.
template <class V, class Lane, bool From>
[[gnu::always_inline]] inline typename V::Reg LaneSide(int n) {
  static constexpr int kLanes = static_cast<int>(sizeof(typename V::Reg) / sizeof(Lane));
  alignas(2 * sizeof(typename V::Reg)) static constexpr std::array<Lane, 2 * kLanes> kHalves = [] {
    std::array<Lane, 2 * kLanes> lanes{};
    for (int i = 0; i < kLanes; i++) lanes[From ? kLanes + i : i] = static_cast<Lane>(-1);
    return lanes;
  }();
  return V::Load(kHalves.data() + (kLanes - n));
}

// What a pixel family's part in the run-table draw states about itself:
// its vector type and steps (kStep destination pixels of type Dst from as
// many source pixels of kSourceBytes), its draw state and the registers
// made from it, and whether its tables have partial runs.
template <class Vec, class DstPixel, class DrawState, class StepConsts, int StepPixels, int SourceBytes,
          bool PartialRuns>
struct RunPixelsTraits {
  using V = Vec;
  using R = typename V::Reg;
  using Dst = DstPixel;
  using State = DrawState;
  using Consts = StepConsts;
  static constexpr int kStep = StepPixels;
  static constexpr int kSourceBytes = SourceBytes;
  static constexpr bool kPartialRuns = PartialRuns;
  // The masks of a step's lanes (one lane a pixel) below n, from n on, and
  // lo .. hi - 1; every bound in 0 .. kStep.
  [[gnu::always_inline]] static R Below(int n) { return LaneSide<V, std::make_signed_t<DstPixel>, false>(n); }
  [[gnu::always_inline]] static R From(int n) { return LaneSide<V, std::make_signed_t<DstPixel>, true>(n); }
  [[gnu::always_inline]] static R Lanes(int lo, int hi) { return V::And(From(lo), Below(hi)); }
};

// The 32-bit family's part in the run-table draw (the 16-bit one's is in
// pixel_spans16.h): a step of kStep pixels, one pixel alone. Key-colour
// sources' tables have no partial runs, and need none drawn.
template <class Vec>
struct RunPixels32 : RunPixelsTraits<Vec, uint32_t, BlendState32, SpanConsts32<Vec>, Vec::kPixels, 4, true> {
  // The new pixels of the step at column at over D (ignored by the plain copy).
  template <BlendOp Op, unsigned M>
  [[gnu::always_inline]] static typename Vec::Reg Step(const uint8_t* s, int at, typename Vec::Reg D,
                                                       const SpanConsts32<Vec>& c) {
    const typename Vec::Reg S = Vec::Load(s + 4 * static_cast<intptr_t>(at));
    if constexpr (Op == BlendOp::Copy && M == 0) {
      return S;
    } else {
      return BlendRegister32<Vec, Op, M>(S, D, c.zero, c);
    }
  }
  template <BlendOp Op, unsigned M>
  static void Pixel(uint32_t* d, const uint8_t* s, int i, const BlendState32& st) {
    uint32_t sv;
    std::memcpy(&sv, s + 4 * static_cast<intptr_t>(i), 4);
    d[i] = BlendPixel32<Op, false, (M & ModAlpha) != 0, (M & ModBrightness) != 0>(d[i], sv, 0, sv >> 24, st);
  }
};

// The rest of DrawRunPixels: pixels i .. end - 1, fewer than a step.
template <class F, BlendOp Op, unsigned M>
[[gnu::always_inline]] inline void DrawRunTail(typename F::Dst* d, const uint8_t* s, int i, int end, int width,
                                               const typename F::Consts& c, const typename F::State& st) {
  using V = typename F::V;
  using R = typename V::Reg;
  using Dst = typename F::Dst;
  constexpr int kStep = F::kStep;
  constexpr bool kCopy = Op == BlendOp::Copy && M == 0;
  int at;
  if (i + kStep <= width) {
    at = i;
  } else if (end - kStep >= 0) {
    at = end - kStep;
  } else {
    for (; i < end; i++) F::template Pixel<Op, M>(d, s, i, st);
    return;
  }
  if constexpr (kCopy) {
    // Converted colours: the step's words go through the stack.
    alignas(64) Dst words[64 / sizeof(Dst)];  // as much as a short copy may read
    V::Store(words, F::template Step<Op, M>(s, at, c.zero, c));
    CopyShortRun(reinterpret_cast<uint8_t*>(d + i), reinterpret_cast<const uint8_t*>(words + (i - at)),
                 sizeof(Dst) * static_cast<size_t>(end - i));
  } else {
    const R D = V::Load(d + at);
    V::Store(d + at, SpanOps<V>::Select(F::Lanes(i - at, end - at), F::template Step<Op, M>(s, at, D, c), D));
  }
}

// Pixels x .. x + n - 1 of a row (of width pixels) under modifiers M, in the
// family F's steps. Whole steps first; what is left, and a run shorter than
// a step, goes through one step placed inside the row (forward over pixels
// the row has not drawn yet where it can), its pixels outside the run
// stored back as they were. A plain copy moves what is left without a load
// of the destination. A row narrower than a step is drawn a pixel at a time.
template <class F, BlendOp Op, unsigned M>
[[gnu::always_inline]] inline void DrawRunPixels(typename F::Dst* d, const uint8_t* s, int x, int n, int width,
                                                 const typename F::Consts& c, const typename F::State& st) {
  using V = typename F::V;
  using Dst = typename F::Dst;
  constexpr int kStep = F::kStep;
  constexpr bool kCopy = Op == BlendOp::Copy && M == 0;  // the source's colour as it is
  const int end = x + n;
  int i = x;
  for (; i + kStep <= end; i += kStep) {
    V::Store(d + i, F::template Step<Op, M>(s, i, kCopy ? c.zero : V::Load(d + i), c));
  }
  if (i == end) return;
  if constexpr (kCopy) {
    if (i > x) {  // its own pixels stored twice, without a load
      V::Store(d + end - kStep, F::template Step<Op, M>(s, end - kStep, c.zero, c));
      return;
    }
    if constexpr (F::kSourceBytes == sizeof(Dst)) {
      CopyShortRun(reinterpret_cast<uint8_t*>(d + x), s + sizeof(Dst) * static_cast<intptr_t>(x),
                   sizeof(Dst) * static_cast<size_t>(n));
      return;
    }
  }
  if constexpr (!kCopy || F::kSourceBytes != sizeof(Dst)) DrawRunTail<F, Op, M>(d, s, i, end, width, c, st);
}

// Calls draw(class, x, n) for the runs of one row of the table that are not
// transparent, neighbouring runs of one class as one; returns where the next
// row's codes start. A run never reaches past the row, and reading stops at
// the table's end.
template <class Draw>
[[gnu::always_inline]] inline const uint8_t* ForEachDrawnRun(const uint8_t* table, const uint8_t* tableEnd, int width, Draw draw) {
  int x = 0;
  while (table < tableEnd) {
    const unsigned code = *table++;
    const unsigned runClass = code >> 6;
    if (runClass == 3) break;  // row end
    const int left = width - x;
    int length = static_cast<int>(code & 0x3F) + 1;
    // Only a run of the longest length can go on in the next code.
    if (length == kRunMaxLength) {
      while (length < left && table < tableEnd && (*table >> 6) == runClass) length += (*table++ & 0x3F) + 1;
    }
    const int n = length < left ? length : left;
    if (n <= 0) continue;
    if (runClass != RunTransparent) draw(runClass, x, n);
    x += n;
  }
  return table;
}

// The step at column p of a shaped row: its partial and opaque pixels by
// their lanes (drawn: both), the others stored back as they were.
template <class F, BlendOp Op, unsigned Mods>
[[gnu::always_inline]] inline void DrawEdgeStep(typename F::Dst* d, const uint8_t* s, int p, typename F::V::Reg drawn,
                                                typename F::V::Reg opaque, const typename F::Consts& c) {
  using V = typename F::V;
  using R = typename V::Reg;
  const R D = V::Load(d + p);
  R out = D;
  if constexpr (F::kPartialRuns) {
    out = SpanOps<V>::Select(drawn, F::template Step<Op, PartialRunMods(Mods)>(s, p, D, c), D);
  }
  V::Store(d + p, SpanOps<V>::Select(opaque, F::template Step<Op, OpaqueRunMods(Mods)>(s, p, D, c), out));
}

// A shaped row in its steps laid edge to edge (see RunRowSteps): the first
// and last draw their partial and opaque pixels by their lanes, the steps
// between are wholly opaque. No step loads what another stored, and only
// the count of steps varies from row to row. false (nothing drawn) for a
// row not laid out so.
template <class F, BlendOp Op, unsigned Mods>
[[gnu::always_inline]] inline bool DrawRowInSteps(typename F::Dst* d, const uint8_t* s, const RunRow& row,
                                                  const typename F::Consts& c) {
  using V = typename F::V;
  constexpr int kStep = F::kStep;
  constexpr int kStepIndex = RunRowStepIndex(kStep);
  static_assert(kStepIndex >= 0, "the table lays rows out in this step size");
  constexpr unsigned kOpaque = OpaqueRunMods(Mods);
  constexpr bool kCopy = Op == BlendOp::Copy && kOpaque == 0;
  const RunRowSteps& g = row.steps[kStepIndex];
  if (g.count <= 1) {
    if (g.count == 1) {
      DrawEdgeStep<F, Op, Mods>(d, s, g.first, F::Lanes(g.drawnFrom, g.drawnBelow),
                                F::Lanes(g.opaqueFrom, g.opaqueBelow), c);
    }
    return g.count >= 0;
  }
  const int last = g.first + (g.count - 1) * kStep;
  DrawEdgeStep<F, Op, Mods>(d, s, g.first, F::From(g.drawnFrom), F::From(g.opaqueFrom), c);
  for (int p = g.first + kStep; p < last; p += kStep) {
    V::Store(d + p, F::template Step<Op, kOpaque>(s, p, kCopy ? c.zero : V::Load(d + p), c));
  }
  DrawEdgeStep<F, Op, Mods>(d, s, last, F::Below(g.drawnBelow), F::Below(g.opaqueBelow), c);
  return true;
}

// A row of the run-table draw not drawn in steps laid edge to edge: a
// shaped row run by run, its partial parts before its opaque part, so that
// their loads of the destination never wait on the opaque part's stores;
// any other row by its codes. Out of line, so that the usual row's loop
// keeps its values in registers.
template <class F, BlendOp Op, unsigned Mods>
[[gnu::noinline]] void DrawRowByRuns(typename F::Dst* d, const uint8_t* sRow, const RunRow& row, const RunTableRows& r,
                                     const typename F::Consts& c, const typename F::State& st) {
  constexpr unsigned kOpaque = OpaqueRunMods(Mods), kPartial = PartialRunMods(Mods);
  if (row.opaqueFirst >= 0) {
    if constexpr (F::kPartialRuns) {
      if (row.first < row.opaqueFirst) {
        DrawRunPixels<F, Op, kPartial>(d, sRow, row.first, row.opaqueFirst - row.first, r.width, c, st);
      }
      if (row.opaqueEnd < row.end) {
        DrawRunPixels<F, Op, kPartial>(d, sRow, row.opaqueEnd, row.end - row.opaqueEnd, r.width, c, st);
      }
    }
    if (row.opaqueFirst < row.opaqueEnd) {
      DrawRunPixels<F, Op, kOpaque>(d, sRow, row.opaqueFirst, row.opaqueEnd - row.opaqueFirst, r.width, c, st);
    }
    return;
  }
  ForEachDrawnRun(r.table + row.codes, r.tableEnd, r.width, [&](unsigned runClass, int x, int n) {
    if (runClass == RunOpaque) {
      DrawRunPixels<F, Op, kOpaque>(d, sRow, x, n, r.width, c, st);
    } else if constexpr (F::kPartialRuns) {
      DrawRunPixels<F, Op, kPartial>(d, sRow, x, n, r.width, c, st);
    }
  });
}

// The whole run-table draw in the family F's steps: transparent runs
// skipped without a look at their pixels, a shaped row drawn from its
// record where its steps fit.
template <class F, BlendOp Op, unsigned Mods>
void RunTableKernel(const RunTableRows& r, const typename F::State& st) {
  using Dst = typename F::Dst;
  const typename F::Consts c(r.transparent, st);
  uint8_t* dRow = r.dst;
  const uint8_t* sRow = r.src;
  for (int y = 0; y < r.height; y++, dRow += r.dPitch, sRow += r.sPitch) {
    // Runs touch the destination sparsely, so the next row's drawn pixels
    // are asked for ahead.
    if (y + 1 < r.height) {
      const RunRow& next = r.rows[y + 1];
      PrefetchRowForWrite(dRow + r.dPitch + sizeof(Dst) * static_cast<intptr_t>(next.first),
                          sizeof(Dst) * static_cast<size_t>(next.end - next.first));
    }
    auto* d = reinterpret_cast<Dst*>(dRow);
    const RunRow& row = r.rows[y];
    if (DrawRowInSteps<F, Op, Mods>(d, sRow, row, c)) continue;
    DrawRowByRuns<F, Op, Mods>(d, sRow, row, r, c, st);
  }
}

#if defined(__SSE2__)
struct VecSse2 {
  using Reg = __m128i;
  static constexpr int kPixels = 4;
  static constexpr bool kTernary = false;
  // How far ahead a loop that reads and writes its destination asks for it
  // (WriteAhead): far enough for a miss to the last-level cache.
  static constexpr size_t kWriteLead = 1024;
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
  // Unaligned loads never fold into an operation without VEX encoding.
  static Reg InRegister(Reg v) { return v; }
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
  // The low four bytes of v, the lowest first, one to a lane.
  static Reg ByteLanes32(uint64_t v) {
    const Reg zero = _mm_setzero_si128();
    return _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(v)), zero), zero);
  }
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

// The run-table draw at the given level, where a kernel exists for it;
// false leaves it to the generic loop.
template <BlendOp Op, unsigned Mods>
inline bool RunTableSpan32(int level, const RunTableRows& rows, const BlendState32& st) {
  if constexpr (!HasRunTableSpan32<Op, Mods>()) {
    return false;
  } else {
    const int index = RunTableSpanIndex(Op, Mods);
    if (level >= 2 && kRunTableSpans32Avx2[index]) {
      kRunTableSpans32Avx2[index](rows, st);
      return true;
    }
#if defined(__SSE2__)
    if (level >= 1) {
      RunTableKernel<RunPixels32<VecSse2>, Op, Mods>(rows, st);
      return true;
    }
#endif
    return false;
  }
}
