// The walk of the rotated blit: every destination pixel of the covering
// rectangle maps back into the source by two additions; the pixels that land
// inside are gathered into a run and drawn by the blits' 1:1 span of the same
// pixel family, source kind, operation and modifiers.
#pragma once
#include <array>
#include <cstdint>
#include <cstring>
#include <utility>

#include "softrender/memimg.h"
#include "softrender/blit_loops.h"
#include "softrender/pixel_ops32.h"

constexpr int kRotateFracBits = 18;

// Where one draw walks, fixed before the loops. Source positions are 14.18
// and walked as unsigned 64-bit sums: a negative position compares as far
// outside.
struct RotateWalk {
  uint8_t* dst;  // the covering rectangle's top-left pixel
  intptr_t dstPitch;
  int32_t cols, rows;
  uint64_t u0, v0;        // source position of the top-left pixel
  uint64_t du, dv;        // per column
  uint64_t duRow, dvRow;  // per row
  uint64_t extentU, extentV;  // source width and height, 14.18
  const uint8_t* const* srcRows;
  const uint8_t* const* blendRows;  // null without a blend image
  // Every position of the rectangle is far inside the 64-bit range, so each
  // row's inside part is one run found by division; otherwise runs are found
  // by testing every pixel.
  bool exact;
};

// Columns [first, end) of a row map inside the source; more: later columns
// may hold another run.
struct RotateRun {
  int32_t first;
  int32_t end;
  bool more;
};
// The next run of the row starting at source position (rowU, rowV), from
// column `from` on; false when none is left.
bool FindRotateRun(const RotateWalk& walk, uint64_t rowU, uint64_t rowV, int32_t from, RotateRun* run);

template <class Family>
struct RotateJob {
  BlitJob<Family> blit;  // transparent colour, palette, border table, blend state
  RotateWalk walk;
};

// Pixels gathered before a run is drawn.
constexpr int kRotateRunPixels = 512;

// A gathered run of n source pixels drawn 1:1 by the blits' rows. A
// multiply of an alpha source under the transparent flag is the exception:
// alpha 0 is not skipped but weighs the destination down to black, and 255
// drops the factor.
template <class Family, class Source, BlendOp Op, unsigned Mods>
inline void RotateDrawRun(typename Family::Dst* dp, const uint8_t* keys, const uint8_t* blend, int n,
                          const BlitJob<Family>& job) {
  if constexpr (Op == BlendOp::Multiply && (Mods & ModAlpha) && (Mods & ModTransparent)) {
    constexpr unsigned kWeighted = Mods & ~ModTransparent, kWhole = Mods & ~(ModTransparent | ModAlpha);
    for (int i = 0; i < n; i++) {
      const uint8_t* sp = keys + static_cast<intptr_t>(i) * Source::kBytes;
      if (Source::Alpha(Source::Key(sp)) == 255) {
        DrawSourcePixel<Family, Source, Op, kWhole>(dp + i, sp, blend + i, job);
      } else {
        DrawSourcePixel<Family, Source, Op, kWeighted>(dp + i, sp, blend + i, job);
      }
    }
  } else {
    BlitRows<Family, Source, Op, Mods>(reinterpret_cast<uint8_t*>(dp), keys, blend, n, 1, job);
  }
}

// A walk along the axes (no turn) reads every column of a destination row
// from one source row, and every row at the same columns: the rows of an
// enlarged image repeat. A row up to this wide is gathered once and drawn
// again for each following row that maps to the same source row.
constexpr int kRotateRowPixels = 4096;
// Runs of a row kept for its repeats; a row with more is gathered anew.
constexpr int kRotateRowRuns = 8;

template <class Family, class Source, BlendOp Op, unsigned Mods>
void RotateBlitLoop(const RotateJob<Family>& job) {
  using Dst = typename Family::Dst;
  constexpr bool kBlend = (Mods & ModBlendImage) != 0;
  // The plain copy writes each sample straight away; the others gather a run.
  constexpr bool kDirect = Op == BlendOp::Copy && Mods == 0;
  const RotateWalk& w = job.walk;
  const bool rowsRepeat = w.dv == 0 && w.duRow == 0 && w.cols <= kRotateRowPixels;
  // A repeating row is gathered whole, at its own columns; any other in
  // pieces from the buffer's start.
  const int piece = rowsRepeat ? kRotateRowPixels : kRotateRunPixels;
  alignas(16) uint8_t keys[kDirect ? 1 : kRotateRowPixels * Source::kBytes];
  uint8_t blend[kBlend ? kRotateRowPixels : 1] = {};
  const auto blendAt = [&](int at) -> const uint8_t* { return kBlend ? blend + at : blend; };
  RotateRun keptRuns[kRotateRowRuns];
  int keptCount = -1;         // -1: no row kept
  uint64_t keptSourceRow = 0;  // the whole v >> 18, so that no far row passes for a near one
  const void* const palette = job.blit.g.palette;
  const uint64_t du = w.du, dv = w.dv;
  uint8_t* dstRow = w.dst;
  for (int32_t j = 0; j < w.rows; j++, dstRow += w.dstPitch) {
    // Each row starts at exactly u0 + j * duRow, whatever the columns added.
    const uint64_t rowU = w.u0 + static_cast<uint64_t>(j) * w.duRow;
    const uint64_t rowV = w.v0 + static_cast<uint64_t>(j) * w.dvRow;
    Dst* const dp = reinterpret_cast<Dst*>(dstRow);
    if (keptCount >= 0 && (rowV >> kRotateFracBits) == keptSourceRow) {
      for (int r = 0; r < keptCount; r++) {
        const RotateRun& run = keptRuns[r];
        if constexpr (kDirect) {
          // The row above holds this row's pixels already.
          std::memcpy(dp + run.first, reinterpret_cast<const Dst*>(dstRow - w.dstPitch) + run.first,
                      static_cast<size_t>(run.end - run.first) * sizeof(Dst));
        } else {
          RotateDrawRun<Family, Source, Op, Mods>(dp + run.first, keys + run.first * Source::kBytes,
                                                  blendAt(run.first), run.end - run.first, job.blit);
        }
      }
      continue;
    }
    keptCount = rowsRepeat ? 0 : -1;
    keptSourceRow = rowV >> kRotateFracBits;
    RotateRun run{0, 0, true};
    while (run.more && FindRotateRun(w, rowU, rowV, run.end, &run)) {
      if (keptCount >= kRotateRowRuns) keptCount = -1;
      if (keptCount >= 0) keptRuns[keptCount++] = run;
      uint64_t u = rowU + static_cast<uint64_t>(run.first) * du;
      uint64_t v = rowV + static_cast<uint64_t>(run.first) * dv;
      for (int32_t i = run.first; i < run.end;) {
        const int n = run.end - i < piece ? run.end - i : piece;
        const int at = rowsRepeat ? i : 0;
        for (int k = 0; k < n; k++, u += du, v += dv) {
          const uint32_t row = static_cast<uint32_t>(v >> kRotateFracBits);
          const uint32_t col = static_cast<uint32_t>(u >> kRotateFracBits);
          const uint8_t* sp = w.srcRows[row] + static_cast<uintptr_t>(col) * Source::kBytes;
          if constexpr (kDirect) {
            dp[i + k] = static_cast<Dst>(Source::Color(Source::Key(sp), palette));
          } else {
            std::memcpy(keys + static_cast<intptr_t>(at + k) * Source::kBytes, sp, Source::kBytes);
            if constexpr (kBlend) blend[at + k] = w.blendRows[row][col];
          }
        }
        if constexpr (!kDirect) {
          RotateDrawRun<Family, Source, Op, Mods>(dp + i, keys + at * Source::kBytes, blendAt(at), n, job.blit);
        }
        i += n;
      }
    }
  }
}

template <class Family>
using RotateLoopFn = void (*)(const RotateJob<Family>&);
template <class Family>
using RotateVariantTable =
    std::array<RotateLoopFn<Family>, kGeneralBlendOpCount * kBlendModifierCount>;

template <class Family, class Source, size_t I>
constexpr RotateLoopFn<Family> RotateVariantEntry() {
  constexpr auto op = static_cast<BlendOp>(I / kBlendModifierCount);
  constexpr unsigned mods = I % kBlendModifierCount;
  if constexpr (BlitLoopExists<Family, Source, op, mods>()) {
    return &RotateBlitLoop<Family, Source, op, mods>;
  } else {
    return nullptr;
  }
}

// Entry [op * 16 + modifiers], null where the combination does not exist.
template <class Family, class Source>
constexpr RotateVariantTable<Family> MakeRotateVariantTable() {
  return []<size_t... I>(std::index_sequence<I...>) {
    return RotateVariantTable<Family>{RotateVariantEntry<Family, Source, I>()...};
  }(std::make_index_sequence<kGeneralBlendOpCount * kBlendModifierCount>{});
}
