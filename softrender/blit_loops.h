// The row and column loops of the blits, generated per pixel family, source
// kind, blend operation and modifier set. A pixel family (Pixel32, Pixel16)
// supplies the destination pixel type, its per-call state and the pixel
// operation; a source reader supplies how a source pixel is fetched, compared
// and weighed. Every decision fixed for a call is a template argument, so a
// loop tests only what changes per pixel.
#pragma once
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <utility>

#include "core/types.h"
#include "softrender/memimg.h"
#include "softrender/pixel_ops16.h"
#include "softrender/pixel_ops32.h"
#include "softrender/pixel_spans16.h"
#include "softrender/pixel_spans32.h"
#include "image/row_copy.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Direct-colour 32-bit source: the key compared with the transparent colour
// is the whole pixel, top byte included.
struct DirectSource32 {
  static constexpr int kBytes = 4;
  static constexpr bool kPalette = false;
  static constexpr SourceAlpha kAlpha = SourceAlpha::ByFlag;
  static uint32_t Key(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
  }
  static uint32_t Color(uint32_t key, const void*) { return key; }
  static uint32_t Alpha(uint32_t key) { return key >> 24; }
};

// Direct-colour 16-bit source without alpha: 2-byte pixels. The key is the
// word widened with zeros.
struct DirectSource16 {
  static constexpr int kBytes = 2;
  static constexpr bool kPalette = false;
  static constexpr SourceAlpha kAlpha = SourceAlpha::Never;
  static uint32_t Key(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
  }
  static uint32_t Color(uint32_t key, const void*) { return key; }
  static uint32_t Alpha(uint32_t) { return 255; }
};

// Direct-colour 16-bit source with alpha: 4-byte pixels, the colour word in
// bytes 0-1, the alpha in byte 2; byte 3 plays no part.
struct DirectAlphaSource16 : DirectSource32 {
  static constexpr SourceAlpha kAlpha = SourceAlpha::Always;
  static uint32_t Color(uint32_t key, const void*) { return key & 0xFFFFu; }
  static uint32_t Alpha(uint32_t key) { return (key >> 16) & 0xFFu; }
};

// Palette source: the key is the index byte, the colour the entry in the
// destination's format.
template <class Entry>
struct PaletteSource {
  static constexpr int kBytes = 1;
  static constexpr bool kPalette = true;
  static constexpr SourceAlpha kAlpha = SourceAlpha::Never;
  static uint32_t Key(const uint8_t* p) { return *p; }
  static uint32_t Color(uint32_t key, const void* palette) {
    Entry v;
    std::memcpy(&v, static_cast<const uint8_t*>(palette) + sizeof(Entry) * key, sizeof(Entry));
    return v;
  }
  static uint32_t Alpha(uint32_t) { return 255; }
};
using PaletteSource32 = PaletteSource<uint32_t>;
using PaletteSource16 = PaletteSource<uint16_t>;

// Where one draw reads and writes, fixed before the loops run. Row steps are
// in bytes and signed (mirrored draws walk backward); the row counter is
// 16.16 and 64-bit so that no extent below 65,536 overflows it.
struct BlitGeometry {
  uint8_t* dst;
  intptr_t dstPitch;
  int32_t width;   // destination pixels per row
  int32_t height;  // destination rows
  const uint8_t* src;
  intptr_t srcRowStep;
  const uint8_t* blend;  // null without a blend image
  intptr_t blendRowStep;
  int64_t stepY;           // destination rows per source row, 16.16
  int64_t accY;            // coverage left of the first source row
  const int32_t* columns;  // stretched draws: source column per destination column
  uint32_t transparent;
  const void* palette;
  const uint8_t* border;  // blend value -> weight
  const uint8_t* runTable;  // the plain blit's run-table loops only
  const uint8_t* runTableEnd;
  const RunRow* runRows;
};

template <class Family>
struct BlitJob {
  BlitGeometry g;
  typename Family::State state;
  int spanLevel;  // the family's vector spans in use (0: none)
};

struct Pixel32 {
  using Dst = uint32_t;
  using State = BlendState32;
  static constexpr bool kExactSubtract = true;  // the MMX form of the full-strength subtract
  template <BlendOp Op, bool Blend, bool Alpha, bool Bright>
  static Dst Apply(Dst d, uint32_t s, uint32_t w, uint32_t a, const State& st) {
    return BlendPixel32<Op, Blend, Alpha, Bright>(d, s, w, a, st);
  }
  // Vector form of rows rows: 1:1 from s, or (columns given) at those
  // columns of row s. Returns how many leading columns of each row it drew.
  template <class Source, BlendOp Op, unsigned Mods>
  static int FastRows(uint8_t* d, intptr_t dPitch, const uint8_t* s, intptr_t sPitch,
                      const int32_t* columns, int n, int rows, const BlitJob<Pixel32>& job);
  // The whole run-table draw in vector form; false where there is none.
  template <class Source, BlendOp Op, unsigned Mods>
  static bool RunTableDraw(const BlitJob<Pixel32>& job);
};

// The 16-bit family.
struct Pixel16 {
  using Dst = uint16_t;
  using State = BlendState16;
  static constexpr bool kExactSubtract = false;  // one form of the full-strength subtract
  template <BlendOp Op, bool Blend, bool Alpha, bool Bright>
  static Dst Apply(Dst d, uint32_t s, uint32_t w, uint32_t a, const State& st) {
    return static_cast<Dst>(BlendPixel16<Op, Blend, Alpha, Bright>(d, s, w, a, st));
  }
  template <class Source, BlendOp Op, unsigned Mods>
  static int FastRows(uint8_t* d, intptr_t dPitch, const uint8_t* s, intptr_t sPitch,
                      const int32_t* columns, int n, int rows, const BlitJob<Pixel16>& job);
  template <class Source, BlendOp Op, unsigned Mods>
  static bool RunTableDraw(const BlitJob<Pixel16>& job);
};

// The copy variants (no blend image, brightness or alpha) and the
// full-strength subtracts keep a source pixel while its counter is exactly 0.
constexpr bool AdvancesOnZero(BlendOp op, unsigned mods) {
  if (op == BlendOp::SubtractFull || op == BlendOp::SubtractExact) return false;
  return !(op == BlendOp::Copy && (mods & (ModBlendImage | ModBrightness | ModAlpha)) == 0);
}

// Combinations that exist: palette sources have no alpha, and the
// full-strength subtracts have no weights or brightness.
constexpr bool BlitVariantExists(BlendOp op, unsigned mods, bool palette) {
  if (palette && (mods & ModAlpha)) return false;
  if ((op == BlendOp::SubtractFull || op == BlendOp::SubtractExact) &&
      (mods & (ModBlendImage | ModBrightness | ModAlpha)) != 0) {
    return false;
  }
  return true;
}

// The modifier sets a source kind is drawn with: with the alpha weight
// never, always, or as the image's alpha flag says.
template <class Source>
constexpr bool SourceTakesMods(unsigned mods) {
  const bool alpha = (mods & ModAlpha) != 0;
  switch (Source::kAlpha) {
    case SourceAlpha::Never: return !alpha;
    case SourceAlpha::Always: return alpha;
    default: return true;
  }
}

// A loop of the family, source kind, operation and modifiers exists: the
// modifiers match the source's alpha, and the family has the operation.
template <class Family, class Source, BlendOp Op, unsigned Mods>
constexpr bool BlitLoopExists() {
  if (!SourceTakesMods<Source>(Mods)) return false;
  if (Op == BlendOp::SubtractExact && !Family::kExactSubtract) return false;
  return BlitVariantExists(Op, Mods, Source::kPalette);
}

// How one source pixel is drawn: not at all, by the operation without the
// alpha weight, or with it.
enum class Coverage { Skip, Plain, Weighted };

template <class Source, unsigned Mods>
inline Coverage ClassifySource(uint32_t key, uint32_t transparent) {
  constexpr bool kAlpha = (Mods & ModAlpha) != 0, kTransparent = (Mods & ModTransparent) != 0;
  if constexpr (kAlpha && kTransparent) {
    const uint32_t a = Source::Alpha(key);
    return a == 0 ? Coverage::Skip : (a == 255 ? Coverage::Plain : Coverage::Weighted);
  } else if constexpr (kAlpha) {
    return Coverage::Weighted;
  } else if constexpr (kTransparent) {
    return key == transparent ? Coverage::Skip : Coverage::Plain;
  } else {
    return Coverage::Plain;
  }
}

// One source pixel (and its blend-image value) over one destination pixel.
template <class Family, class Source, BlendOp Op, unsigned Mods>
inline void DrawSourcePixel(typename Family::Dst* dp, const uint8_t* sp, const uint8_t* bp,
                            const BlitJob<Family>& job) {
  constexpr bool kBlend = (Mods & ModBlendImage) != 0, kBright = (Mods & ModBrightness) != 0;
  const uint32_t key = Source::Key(sp);
  const Coverage cover = ClassifySource<Source, Mods>(key, job.g.transparent);
  if (cover == Coverage::Skip) return;
  uint32_t w = 0;
  if constexpr (kBlend) w = job.g.border[*bp];
  const uint32_t color = Source::Color(key, job.g.palette);
  if (cover == Coverage::Weighted) {
    *dp = Family::template Apply<Op, kBlend, true, kBright>(*dp, color, w, Source::Alpha(key),
                                                            job.state);
  } else {
    *dp = Family::template Apply<Op, kBlend, false, kBright>(*dp, color, w, 0, job.state);
  }
}

// The source column of each clipped destination column of a stretched draw,
// in source pixels from the first drawn one (negative when mirrored): the
// 16.16 column counter walked once per call, so that every row only looks
// its columns up.
inline void BuildStretchColumns(int32_t* columns, int32_t count, int64_t acc, int64_t step,
                                int32_t direction, bool advanceOnZero) {
  int32_t column = 0;
  for (int32_t j = 0; j < count; j++) {
    columns[j] = column;
    acc -= 0x10000;
    if (acc <= 0) {
      do {
        column += direction;
        acc += step;
      } while (advanceOnZero ? acc <= 0 : acc < 0);
    }
  }
}

// Variants whose pixels are the source's words as they are: whole rows of
// them are plain copies.
template <class Family, class Source, BlendOp Op, unsigned Mods>
constexpr bool CopiesWholeWords() {
  return Op == BlendOp::Copy && Mods == 0 && !Source::kPalette && Source::kBytes == sizeof(typename Family::Dst);
}

// Where the columns' last run of steps of exactly one pixel over, to the
// right, begins; n when there is no such run of 8 columns or more.
inline int32_t EveryOtherColumnFrom(const int32_t* columns, int32_t n) {
  int32_t j = n - 1;
  while (j > 0 && columns[j] - columns[j - 1] == 2) j--;
  return n - j >= 8 ? j : n;
}

// d[k] = the 32-bit word at column first + 2k of row s, for k < n: pairs of
// registers picked apart instead of a gather per word. The last group is
// left to the caller so that no load reaches past the last column read.
// Returns how many it copied.
inline int32_t CopyEveryOtherWord(uint32_t* d, const uint8_t* s, int32_t first, int32_t n) {
  int32_t k = 0;
#if defined(__SSE2__)
  const uint8_t* from = s + 4 * static_cast<intptr_t>(first);
  for (; k + 4 < n; k += 4) {
    const __m128 a = _mm_loadu_ps(reinterpret_cast<const float*>(from + 8 * static_cast<intptr_t>(k)));
    const __m128 b = _mm_loadu_ps(reinterpret_cast<const float*>(from + 8 * static_cast<intptr_t>(k) + 16));
    _mm_storeu_ps(reinterpret_cast<float*>(d + k), _mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)));
  }
#endif
  return k;
}

// The stretched walk: destination driven. Columns come from the table built
// at set-up; rows advance by the 16.16 row counter.
template <class Family, class Source, BlendOp Op, unsigned Mods>
void StretchBlitLoop(const BlitJob<Family>& job) {
  using Dst = typename Family::Dst;
  constexpr bool kBlend = (Mods & ModBlendImage) != 0;
  constexpr bool kZero = AdvancesOnZero(Op, Mods);
  const BlitGeometry& g = job.g;
  const int32_t* const columns = g.columns;
  uint8_t* dstRow = g.dst;
  const uint8_t* srcRow = g.src;
  const uint8_t* blendRow = g.blend;
  int64_t accY = g.accY;
  // Halving whole-word copies read every other source word (after the first
  // one or two): picked, not gathered.
  int32_t picked = g.width;
  if constexpr (CopiesWholeWords<Family, Source, Op, Mods>() && sizeof(Dst) == 4) {
    picked = EveryOtherColumnFrom(columns, g.width);
  }
  for (int32_t y = 0;;) {
    Dst* dp = reinterpret_cast<Dst*>(dstRow);
    int32_t j = 0;
    if constexpr (CopiesWholeWords<Family, Source, Op, Mods>() && sizeof(Dst) == 4) {
      if (picked < g.width) {
        for (; j < picked; j++) std::memcpy(dp + j, srcRow + 4 * static_cast<intptr_t>(columns[j]), 4);
        j += CopyEveryOtherWord(reinterpret_cast<uint32_t*>(dp + j), srcRow, columns[j], g.width - j);
      }
    }
    if (job.spanLevel && j == 0) {
      j = Family::template FastRows<Source, Op, Mods>(dstRow, 0, srcRow, 0, columns, g.width, 1, job);
    }
    for (; j < g.width; j++) {
      const intptr_t column = columns[j];
      DrawSourcePixel<Family, Source, Op, Mods>(dp + j, srcRow + column * Source::kBytes,
                                                kBlend ? blendRow + column : nullptr, job);
    }
    if (++y == g.height) break;
    dstRow += g.dstPitch;
    accY -= 0x10000;
    if constexpr (CopiesWholeWords<Family, Source, Op, Mods>()) {
      if (accY > 0) {
        // The rows that show the same source row again hold the row just
        // drawn: copied whole rather than gathered again.
        const int32_t repeats = static_cast<int32_t>(std::min<int64_t>((accY + 0xFFFF) >> 16, g.height - y));
        CopyImageRows(dstRow, g.dstPitch, dstRow - g.dstPitch, 0, static_cast<size_t>(g.width) * sizeof(Dst),
                      repeats);
        if ((y += repeats) == g.height) break;
        dstRow += static_cast<intptr_t>(repeats) * g.dstPitch;
        accY -= static_cast<int64_t>(repeats) << 16;
      }
    }
    if (accY <= 0) {
      do {
        srcRow += g.srcRowStep;
        if constexpr (kBlend) blendRow += g.blendRowStep;
        accY += g.stepY;
      } while (kZero ? accY <= 0 : accY < 0);
    }
  }
}

// The pixels of one row of a 1:1 draw, one at a time.
template <class Family, class Source, BlendOp Op, unsigned Mods>
inline void BlitSpanScalar(typename Family::Dst* dp, const uint8_t* sp, const uint8_t* bp, int n,
                           const BlitJob<Family>& job) {
  constexpr bool kBlend = (Mods & ModBlendImage) != 0;
  for (int i = 0; i < n; i++) {
    DrawSourcePixel<Family, Source, Op, Mods>(dp + i, sp + static_cast<intptr_t>(i) * Source::kBytes,
                                              kBlend ? bp + i : nullptr, job);
  }
}

// Rows of a 1:1 draw: a plain copy row by row, else the family's vector
// spans take the leading columns of every row and the scalar loop the rest.
template <class Family, class Source, BlendOp Op, unsigned Mods>
inline void BlitRows(uint8_t* dstRow, const uint8_t* srcRow, const uint8_t* blendRow, int n,
                     int rows, const BlitJob<Family>& job) {
  using Dst = typename Family::Dst;
  const BlitGeometry& g = job.g;
  int done = 0;
  if constexpr (CopiesWholeWords<Family, Source, Op, Mods>()) {
    CopyImageRows(dstRow, g.dstPitch, srcRow, g.srcRowStep, static_cast<size_t>(n) * sizeof(Dst), rows);
    return;
  }
  if (job.spanLevel && n >= 4) {  // shorter runs cost more to hand over than to draw
    done = Family::template FastRows<Source, Op, Mods>(dstRow, g.dstPitch, srcRow, g.srcRowStep,
                                                       nullptr, n, rows, job);
  }
  if (done == n) return;
  for (int y = 0; y < rows; y++) {
    BlitSpanScalar<Family, Source, Op, Mods>(
        reinterpret_cast<Dst*>(dstRow) + done, srcRow + static_cast<intptr_t>(done) * Source::kBytes,
        blendRow ? blendRow + done : nullptr, n - done, job);
    dstRow += g.dstPitch;
    srcRow += g.srcRowStep;
    if (blendRow) blendRow += g.blendRowStep;
  }
}

// The plain blit.
template <class Family, class Source, BlendOp Op, unsigned Mods>
void PlainBlitLoop(const BlitJob<Family>& job) {
  const BlitGeometry& g = job.g;
  BlitRows<Family, Source, Op, Mods>(g.dst, g.src, g.blend, g.width, g.height, job);
}

// The plain blit through the source's transparency run table (whole, unclipped
// draws with the transparent flag): transparent runs are skipped whole, opaque
// runs drawn without per-pixel tests, partial runs weighed by each alpha;
// neighbouring runs of one class (a run of more than 64 pixels comes as
// several) are drawn as one. The table is read defensively: a run never
// reaches past its row, and reading stops at the table's end.
template <class Family, class Source, BlendOp Op, unsigned Mods>
void RunTableBlitLoop(const BlitJob<Family>& job) {
  using Dst = typename Family::Dst;
  const BlitGeometry& g = job.g;
  if (job.spanLevel && Family::template RunTableDraw<Source, Op, Mods>(job)) return;
  const uint8_t* table = g.runTable;
  uint8_t* dstRow = g.dst;
  const uint8_t* srcRow = g.src;
  const uint8_t* blendRow = g.blend;
  const size_t rowBytes = static_cast<size_t>(g.width) * sizeof(Dst);
  for (int32_t y = 0; y < g.height; y++) {
    if (y + 1 < g.height) PrefetchRowForWrite(dstRow + g.dstPitch, rowBytes);
    table = ForEachDrawnRun(table, g.runTableEnd, g.width, [&](unsigned runClass, int32_t x, int32_t n) {
      uint8_t* dp = dstRow + static_cast<intptr_t>(x) * sizeof(Dst);
      const uint8_t* sp = srcRow + static_cast<intptr_t>(x) * Source::kBytes;
      const uint8_t* bp = blendRow ? blendRow + x : nullptr;
      if (runClass == RunOpaque) {
        BlitRows<Family, Source, Op, OpaqueRunMods(Mods)>(dp, sp, bp, n, 1, job);
      } else if constexpr (Source::kAlpha != SourceAlpha::Never) {
        BlitRows<Family, Source, Op, PartialRunMods(Mods)>(dp, sp, bp, n, 1, job);
      }
    });
    dstRow += g.dstPitch;
    srcRow += g.srcRowStep;
    if (blendRow) blendRow += g.blendRowStep;
  }
}

// Compile-time tables of the variants of one loop kind: entry [op][mods],
// null where the combination does not exist.
template <class Family>
using BlitLoopFn = void (*)(const BlitJob<Family>&);
template <class Family>
using BlitVariantTable = std::array<BlitLoopFn<Family>, kBlendOpCount * kBlendModifierCount>;

template <class Family, class Source, BlendOp Op, unsigned Mods>
struct StretchLoopOf {
  static constexpr bool kExists = BlitLoopExists<Family, Source, Op, Mods>();
  static void Run(const BlitJob<Family>& job) { StretchBlitLoop<Family, Source, Op, Mods>(job); }
};
template <class Family, class Source, BlendOp Op, unsigned Mods>
struct PlainLoopOf {
  static constexpr bool kExists = BlitLoopExists<Family, Source, Op, Mods>();
  static void Run(const BlitJob<Family>& job) { PlainBlitLoop<Family, Source, Op, Mods>(job); }
};
// Only draws with the transparent flag read the run table.
template <class Family, class Source, BlendOp Op, unsigned Mods>
struct RunTableLoopOf {
  static constexpr bool kExists =
      BlitLoopExists<Family, Source, Op, Mods>() && (Mods & ModTransparent) != 0;
  static void Run(const BlitJob<Family>& job) { RunTableBlitLoop<Family, Source, Op, Mods>(job); }
};

template <class Family, class Source, template <class, class, BlendOp, unsigned> class Loop,
          size_t I>
constexpr BlitLoopFn<Family> BlitVariantEntry() {
  constexpr auto op = static_cast<BlendOp>(I / kBlendModifierCount);
  constexpr unsigned mods = I % kBlendModifierCount;
  if constexpr (Loop<Family, Source, op, mods>::kExists) {
    return &Loop<Family, Source, op, mods>::Run;
  } else {
    return nullptr;
  }
}

template <class Family, class Source, template <class, class, BlendOp, unsigned> class Loop>
constexpr BlitVariantTable<Family> MakeBlitVariantTable() {
  return []<size_t... I>(std::index_sequence<I...>) {
    return BlitVariantTable<Family>{BlitVariantEntry<Family, Source, Loop, I>()...};
  }(std::make_index_sequence<kBlendOpCount * kBlendModifierCount>{});
}

constexpr int BlitVariantIndex(BlendOp op, unsigned mods) {
  return static_cast<int>(op) * static_cast<int>(kBlendModifierCount) + static_cast<int>(mods);
}

// Vector spans exist for direct-colour 32-bit sources only.
template <class Source, BlendOp Op, unsigned Mods>
int Pixel32::FastRows(uint8_t* d, intptr_t dPitch, const uint8_t* s, intptr_t sPitch,
                      const int32_t* columns, int n, int rows, const BlitJob<Pixel32>& job) {
  if constexpr (Source::kPalette) {
    return 0;
  } else if (columns) {
    return BlendSpan32Fast<Op, Mods, true>(job.spanLevel, d, dPitch, s, sPitch, columns, n, rows,
                                           job.g.transparent, job.state);
  } else {
    return BlendSpan32Fast<Op, Mods, false>(job.spanLevel, d, dPitch, s, sPitch, nullptr, n, rows,
                                            job.g.transparent, job.state);
  }
}

// Vector spans exist for direct-colour 16-bit sources only.
template <class Source, BlendOp Op, unsigned Mods>
int Pixel16::FastRows(uint8_t* d, intptr_t dPitch, const uint8_t* s, intptr_t sPitch,
                      const int32_t* columns, int n, int rows, const BlitJob<Pixel16>& job) {
  constexpr bool kAlphaSource = Source::kAlpha == SourceAlpha::Always;
  if constexpr (Source::kPalette) {
    return 0;
  } else if (columns) {
    return BlendSpan16Fast<kAlphaSource, Op, Mods, true>(job.spanLevel, d, dPitch, s, sPitch, columns,
                                                         n, rows, job.g.transparent, job.state);
  } else {
    return BlendSpan16Fast<kAlphaSource, Op, Mods, false>(job.spanLevel, d, dPitch, s, sPitch, nullptr,
                                                          n, rows, job.g.transparent, job.state);
  }
}

inline RunTableRows RunTableRowsOf(const BlitGeometry& g) {
  return RunTableRows{g.dst,      g.dstPitch,    g.src,     g.srcRowStep, g.width,
                      g.height,   g.runTable,    g.runTableEnd, g.runRows, g.transparent};
}

// Vector run-table draws exist for direct-colour 32-bit sources without a
// blend image.
template <class Source, BlendOp Op, unsigned Mods>
bool Pixel32::RunTableDraw(const BlitJob<Pixel32>& job) {
  if constexpr (Source::kPalette || (Mods & ModBlendImage) != 0) {
    return false;
  } else {
    return RunTableSpan32<Op, Mods>(job.spanLevel, RunTableRowsOf(job.g), job.state);
  }
}

// And for direct-colour 16-bit sources without a blend image.
template <class Source, BlendOp Op, unsigned Mods>
bool Pixel16::RunTableDraw(const BlitJob<Pixel16>& job) {
  if constexpr (Source::kPalette || (Mods & ModBlendImage) != 0) {
    return false;
  } else {
    return RunTableSpan16<Source::kAlpha == SourceAlpha::Always, Op, Mods>(job.spanLevel, RunTableRowsOf(job.g),
                                                                           job.state);
  }
}
