// The row loop shared by every triangle variant, and the texture stepping
// shared by every textured one. Variants plug their pixel work in as a
// kernel, so each combination compiles to its own loop.
#pragma once
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "softrender/memimg.h"
#include "softrender/blit_loops.h"
#include "softrender/pixel_ops16.h"
#include "softrender/pixel_ops32.h"
#include "softrender/triangle.h"

using TriangleFn = void (*)(TriangleSetup& setup);

// Moves a side down `rows` rows as the row loop below does, drawing nothing;
// false when its last edge ends within them. An edge that runs out hands
// over to the next one unstepped, as in the loop.
inline bool SkipTriangleSideRows(TriangleSide& side, int64_t rows) {
  if (rows >= side.edge.rows) {
    if (!side.hasNext) return false;
    rows -= side.edge.rows;
    side.edge = side.next;
    side.hasNext = 0;
    if (rows >= side.edge.rows) return false;
  }
  // Exact: fewer rows than the edge has keep x between its two ends.
  side.edge.x = static_cast<int32_t>(side.edge.x + rows * side.edge.slope);
  side.edge.rows -= static_cast<int32_t>(rows);
  return true;
}

// Walks the rows from the start row, calling span(y, x, count) for the part
// of each row's span that lies inside the draw area (count >= 1). Rows above
// the area are stepped over at once and the walk stops at its bottom, so it
// never runs more rows than the area holds.
template <class SpanFn>
inline void WalkTriangleRows(TriangleSetup& s, SpanFn&& span) {
  TriangleSide left = s.left;
  TriangleSide right = s.right;
  const IntRect area = s.area;
  int32_t y = s.startRow;
  if (y < area.top) {
    const int64_t above = int64_t{area.top} - y;
    if (!SkipTriangleSideRows(left, above) || !SkipTriangleSideRows(right, above)) return;
    y = area.top;
  }
  for (;;) {
    if (y >= area.bottom) return;
    // Both ends are included. 64 bits: the draw area may hold any int.
    int64_t xl = TrianglePixel(left.edge.x);
    int64_t n = int64_t{TrianglePixel(right.edge.x)} - xl + 1;
    if (xl < area.left) {
      n -= area.left - xl;
      xl = area.left;
    }
    if (xl < area.right && n > 0) {
      n = std::min<int64_t>(n, int64_t{area.right} - xl);
      span(y, static_cast<int32_t>(xl), static_cast<int32_t>(n));
    }
    left.edge.x += left.edge.slope;
    right.edge.x += right.edge.slope;
    y++;
    left.edge.rows--;
    right.edge.rows--;
    // The row goes on when the left side changes edge. Going back to the
    // middle vertex's own row would draw a row twice when the top vertex lies
    // above row 0 (truncated toward zero, it starts one row low) and the
    // middle one does not; in every other case the two rows are the same.
    if (left.edge.rows == 0) {
      if (!left.hasNext) return;
      left.edge = left.next;
      left.hasNext = 0;
    }
    if (right.edge.rows == 0) {
      if (!right.hasNext) return;
      right.edge = right.next;
      right.hasNext = 0;
    }
  }
}

// Destination pixel type of a kernel's image.
template <class Kernel>
using TriangleDestPixel = typename Kernel::DestPixel;

// Solid kernels: Kernel(setup) prepares per call; Fill(row, count) draws a
// run of destination pixels.
template <class Kernel>
void DrawSolidTriangle(TriangleSetup& s) {
  Kernel kernel(s);
  uint8_t* const dest = s.destPixels;
  const int64_t pitch = s.destPitch;
  WalkTriangleRows(s, [&](int32_t y, int32_t x, int32_t n) {
    auto* row = reinterpret_cast<TriangleDestPixel<Kernel>*>(dest + y * pitch) + x;
    kernel.Fill(row, n);
  });
}

// Textured kernels: Kernel(setup) prepares per call; kTexelBytes is the size
// of a source pixel; Plot(d, texel, blend) draws one destination pixel from
// the texel at `texel` and, when kUsesBlend, the blend image's byte at the
// same source position.
template <class Kernel>
void DrawTexturedTriangle(TriangleSetup& s) {
  Kernel kernel(s);
  uint8_t* const dest = s.destPixels;
  const int64_t pitch = s.destPitch;
  const uint8_t* const src = s.srcPixels;
  const int64_t srcPitch = s.srcPitch;
  const uint8_t* const blend = s.blendPixels;
  const int64_t blendPitch = s.blendPitch;
  const uint32_t extentU = s.srcExtentU, extentV = s.srcExtentV;
  const uint32_t dudx = static_cast<uint32_t>(s.dudx), dvdx = static_cast<uint32_t>(s.dvdx);
  const uint32_t dudy = static_cast<uint32_t>(s.dudy), dvdy = static_cast<uint32_t>(s.dvdy);
  WalkTriangleRows(s, [&](int32_t y, int32_t x, int32_t n) {
    // Evaluated at the first unclipped pixel, wrapping as 32-bit arithmetic.
    const uint32_t dx = static_cast<uint32_t>(x) - static_cast<uint32_t>(s.xRef);
    const uint32_t dy = static_cast<uint32_t>(y) - static_cast<uint32_t>(s.yRef);
    uint32_t u = static_cast<uint32_t>(s.uRef) + dx * dudx + dy * dudy;
    uint32_t v = static_cast<uint32_t>(s.vRef) + dx * dvdx + dy * dvdy;
    auto* d = reinterpret_cast<TriangleDestPixel<Kernel>*>(dest + y * pitch) + x;
    for (int32_t i = 0; i < n; i++, d++, u += dudx, v += dvdx) {
      // Negative coordinates fail the unsigned test too.
      if (u >= extentU || v >= extentV) continue;
      const uint32_t col = u >> kTriangleFracBits, row = v >> kTriangleFracBits;
      const uint8_t* texel = src + row * srcPitch + col * Kernel::kTexelBytes;
      uint8_t b = 0;
      if constexpr (Kernel::kUsesBlend) b = blend[row * blendPitch + col];
      kernel.Plot(d, texel, b);
    }
  });
}

// Per-call blend state of a pixel family, from the set-up.
template <class Family>
typename Family::State MakeTriangleBlendState(const TriangleSetup& s);
template <>
inline BlendState32 MakeTriangleBlendState<Pixel32>(const TriangleSetup& s) {
  return MakeBlendState32(s.param, s.brightnessRgb);
}

template <>
inline BlendState16 MakeTriangleBlendState<Pixel16>(const TriangleSetup& s) {
  return MakeBlendState16(s.param, s.brightnessRgb);
}

// How a texel is drawn. Copy to subtract follow the blits; the multiply,
// inverted-source and multiply-blend operations skip no texel for its alpha:
// under the transparent flag an alpha of 0 is a weight like any other, and
// only 255 drops it.
template <class Source, BlendOp Op, unsigned Mods>
inline Coverage ClassifyTexel(uint32_t key, uint32_t transparent) {
  constexpr bool kAlphaKeeps = Op == BlendOp::Multiply || Op == BlendOp::InvertedSource ||
                               Op == BlendOp::MultiplyAlpha;
  if constexpr (kAlphaKeeps && (Mods & ModAlpha) && (Mods & ModTransparent)) {
    return Source::Alpha(key) == 255 ? Coverage::Plain : Coverage::Weighted;
  } else {
    return ClassifySource<Source, Mods>(key, transparent);
  }
}

// The textured kernel of a pixel family (destination format and arithmetic)
// and a source reader, for one blend operation and modifier set: the blits'
// pixel operations, one texel per pixel.
template <class Family, class Source, BlendOp Op, unsigned Mods>
struct TexturedKernel {
  using DestPixel = typename Family::Dst;
  static constexpr int kTexelBytes = Source::kBytes;
  static constexpr bool kUsesBlend = (Mods & ModBlendImage) != 0;
  static constexpr bool kBright = (Mods & ModBrightness) != 0;
  static constexpr bool kAlpha = (Mods & ModAlpha) != 0;

  typename Family::State state;
  uint32_t transparent;
  const void* palette;
  const uint8_t* border;

  explicit TexturedKernel(const TriangleSetup& s)
      : state(MakeTriangleBlendState<Family>(s)),
        transparent(s.transparentColor),
        palette(s.palette),
        border(s.borderTable) {}

  void Plot(DestPixel* d, const uint8_t* texel, uint8_t blendValue) const {
    const uint32_t key = Source::Key(texel);
    const Coverage cover = ClassifyTexel<Source, Op, Mods>(key, transparent);
    if (cover == Coverage::Skip) return;
    const uint32_t color = Source::Color(key, palette);
    uint32_t w = 0;
    if constexpr (kUsesBlend) w = border[blendValue];
    if constexpr (kAlpha) {
      if (cover == Coverage::Weighted) {
        *d = Family::template Apply<Op, kUsesBlend, true, kBright>(*d, color, w,
                                                                   Source::Alpha(key), state);
        return;
      }
    }
    *d = Family::template Apply<Op, kUsesBlend, false, kBright>(*d, color, w, 0, state);
  }
};

using TriangleModifierRow = std::array<TriangleFn, kBlendModifierCount>;
// Entry [op][modifiers]; a null entry draws nothing.
using TriangleVariantTable = std::array<TriangleModifierRow, kGeneralBlendOpCount>;
using TriangleSolidTable = std::array<TriangleFn, kGeneralBlendOpCount>;

template <class Family, class Source, BlendOp Op, unsigned Mods>
constexpr TriangleFn TexturedEntry() {
  if constexpr (SourceTakesMods<Source>(Mods)) {
    return &DrawTexturedTriangle<TexturedKernel<Family, Source, Op, Mods>>;
  } else {
    return nullptr;
  }
}

template <class Family, class Source, BlendOp Op, std::size_t... Mods>
constexpr TriangleModifierRow MakeTexturedRow(std::index_sequence<Mods...>) {
  return {TexturedEntry<Family, Source, Op, static_cast<unsigned>(Mods)>()...};
}

// The table of a family and source, every operation, generated at compile
// time.
template <class Family, class Source>
constexpr TriangleVariantTable MakeTexturedTriangleTable() {
  return []<std::size_t... Ops>(std::index_sequence<Ops...>) {
    return TriangleVariantTable{MakeTexturedRow<Family, Source, static_cast<BlendOp>(Ops)>(
        std::make_index_sequence<kBlendModifierCount>())...};
  }(std::make_index_sequence<kGeneralBlendOpCount>());
}

// Solid kernels are Kernel<Op>.
template <template <BlendOp> class Kernel>
constexpr TriangleSolidTable MakeSolidTriangleTable() {
  return []<std::size_t... Ops>(std::index_sequence<Ops...>) {
    return TriangleSolidTable{&DrawSolidTriangle<Kernel<static_cast<BlendOp>(Ops)>>...};
  }(std::make_index_sequence<kGeneralBlendOpCount>());
}

// The solid colour in the destination's format (type 0 or 1) after the
// brightness, taken through the product table even when none is set.
uint32_t PrepareTriangleSolidColor(const TriangleSetup& setup, int32_t colorType, uint32_t color);

// The variant families.
extern const TriangleSolidTable kSolid32Triangles;
extern const TriangleSolidTable kSolid16Triangles;
extern const TriangleVariantTable kDirect32Triangles;
extern const TriangleVariantTable kPalette32Triangles;
extern const TriangleVariantTable kDirect16Triangles;
extern const TriangleVariantTable kDirectAlpha16Triangles;
extern const TriangleVariantTable kPalette16Triangles;
