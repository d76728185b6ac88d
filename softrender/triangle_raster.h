// The row loop shared by every triangle variant, and the texture stepping
// shared by every textured one. Variants plug their pixel work in as a
// kernel, so each combination compiles to its own loop.
#pragma once
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "softrender/triangle.h"

using TriangleFn = void (*)(TriangleSetup& setup);

// Walks the rows from the start row, calling span(y, x, count) for the part
// of each row's span that lies inside the draw area (count >= 1). Rows above
// or below the area are walked like the others.
template <class SpanFn>
inline void WalkTriangleRows(TriangleSetup& s, SpanFn&& span) {
  TriangleSide left = s.left;
  TriangleSide right = s.right;
  const IntRect area = s.area;
  int32_t y = s.startRow;
  for (;;) {
    // Both ends are included. 64 bits: the draw area may hold any int.
    int64_t xl = TrianglePixel(left.edge.x);
    int64_t n = int64_t{TrianglePixel(right.edge.x)} - xl + 1;
    if (xl < area.left) {
      n -= area.left - xl;
      xl = area.left;
    }
    if (y >= area.top && y < area.bottom && xl < area.right && n > 0) {
      n = std::min<int64_t>(n, int64_t{area.right} - xl);
      span(y, static_cast<int32_t>(xl), static_cast<int32_t>(n));
    }
    left.edge.x += left.edge.slope;
    right.edge.x += right.edge.slope;
    y++;
    left.edge.rows--;
    right.edge.rows--;
    if (left.edge.rows == 0) {
      if (!left.hasNext) return;
      left.edge = left.next;
      left.hasNext = 0;
      y = left.nextStartRow;
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
// the texel at `texel` and, when the kernel uses a blend image, the blend
// image's byte at the same source position.
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

// Modifier bits of a textured variant, in the order the tests choose them.
enum TriangleModifier : int {
  TriModTransparent = 1,  // T: transparent flag non-zero
  TriModAlpha = 2,        // A: source alpha flag 1
  TriModBrightness = 4,   // M: brightness not white
  TriModBlend = 8,        // B: blend image given
};
constexpr int kTriangleModifierCount = 16;

// Blend modes that draw, as table slots: 0-4, then 10 and 11.
constexpr int kTriangleModeSlots = 7;
constexpr int TriangleModeSlot(uint32_t mode) {
  return mode <= 4 ? static_cast<int>(mode) : mode == 10 ? 5 : mode == 11 ? 6 : -1;
}

using TriangleModifierRow = std::array<TriangleFn, kTriangleModifierCount>;
// A null entry draws nothing.
using TriangleVariantTable = std::array<TriangleModifierRow, kTriangleModeSlots>;
using TriangleSolidTable = std::array<TriangleFn, kTriangleModeSlots>;

// The 16 modifier combinations of one mode of a textured kernel family,
// generated at compile time: Kernel<Mode, Modifiers>.
template <template <int, int> class Kernel, int Mode, std::size_t... Mods>
constexpr TriangleModifierRow MakeTriangleModifierRow(std::index_sequence<Mods...>) {
  return {&DrawTexturedTriangle<Kernel<Mode, static_cast<int>(Mods)>>...};
}
template <template <int, int> class Kernel, int Mode>
constexpr TriangleModifierRow TriangleModifiersOf() {
  return MakeTriangleModifierRow<Kernel, Mode>(std::make_index_sequence<kTriangleModifierCount>());
}

template <template <int> class Kernel>
constexpr TriangleSolidTable TriangleSolidModes() {
  return {&DrawSolidTriangle<Kernel<0>>, &DrawSolidTriangle<Kernel<1>>,
          &DrawSolidTriangle<Kernel<2>>, &DrawSolidTriangle<Kernel<3>>,
          &DrawSolidTriangle<Kernel<4>>, &DrawSolidTriangle<Kernel<10>>,
          &DrawSolidTriangle<Kernel<11>>};
}

// The variant families.
extern const TriangleSolidTable kSolid32Triangles;
extern const TriangleSolidTable kSolid16Triangles;
extern const TriangleVariantTable kDirect32Triangles;
