#include "softrender/box_line.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "core/helpers.h"
#include "graphics/draw_settings.h"
#include "softrender/blit.h"
#include "softrender/memimg.h"
#include "softrender/solid_ops.h"
#include "softrender/pixel_ops16.h"

namespace {

// The brightness scales the colour once, by a shift (not the tables' / 255).
uint32_t ModulateSolidColor(int32_t colorType, uint32_t color) {
  const DrawSettings& s = g_drawSettings;
  if (colorType == MemImgType16) color &= 0xFFFFu;
  if (DrawBrightnessRgb(s) == kNoBrightness) return color;
  const uint32_t blue = s.brightness[0], green = s.brightness[1], red = s.brightness[2];
  if (colorType == MemImgType32) {
    return (color & 0xFF000000u) | ((color & 0xFF) * blue) >> 8 |
           ((((color >> 8) & 0xFF) * green) >> 8) << 8 | ((((color >> 16) & 0xFF) * red) >> 8) << 16;
  }
  return Pack16(static_cast<int>((static_cast<uint32_t>(RedOf16(color)) * red) >> 8),
                static_cast<int>((static_cast<uint32_t>(GreenOf16(color)) * green) >> 8),
                static_cast<int>((static_cast<uint32_t>(BlueOf16(color)) * blue) >> 8));
}

struct SolidJob {
  uint8_t* first;       // first pixel drawn
  intptr_t pitch;       // bytes from row to row
  int32_t width;        // box: pixels per row
  int32_t height;       // box: rows
  intptr_t majorStep;   // line: bytes per step along the longer axis
  intptr_t minorStep;   // line: bytes per step along the shorter one
  int32_t majorCount;   // line: pixels drawn
  int32_t minorCount;   // line: steps along the shorter axis in all
  uint32_t color;
  int32_t param;
};

template <class Op>
void FillBoxRows(const SolidJob& job) {
  const Op op(job.color, job.param);
  op.FillRows(job.first, job.pitch, job.width, job.height);
}

// One pixel along a line: the error term steps the shorter axis once it
// reaches the pixel count.
inline void NextLinePixel(const SolidJob& job, uint8_t*& p, int32_t& e) {
  p += job.majorStep;
  e += job.minorCount;
  if (e >= job.majorCount) {
    p += job.minorStep;
    e -= job.majorCount;
  }
}

// A second walker runs ahead asking for the pixels' lines: a steep line
// meets a new row, and a new cache line, every pixel, which the hardware
// cannot foresee; waiting for each in turn would cost a trip to memory a
// pixel.
template <class Op>
void StepLine(const SolidJob& line) {
  constexpr int32_t kAhead = 24;
  // A copy of its own: the pixel stores could reach the caller's job as far
  // as the compiler knows, which would reload every field at every pixel.
  const SolidJob job = line;
  const Op op(job.color, job.param);
  uint8_t* p = job.first;
  int32_t e = 0;
  uint8_t* ahead = p;
  int32_t aheadError = 0;
  const int32_t lead = std::min(kAhead, job.majorCount);
  for (int32_t i = 0; i < lead; i++) {
    __builtin_prefetch(ahead, 1);
    NextLinePixel(job, ahead, aheadError);
  }
  for (int32_t i = 0; i < job.majorCount; i++) {
    if (i + kAhead < job.majorCount) {
      __builtin_prefetch(ahead, 1);
      NextLinePixel(job, ahead, aheadError);
    }
    op.Plot(reinterpret_cast<typename Op::DestPixel*>(p));
    NextLinePixel(job, p, e);
  }
}

using SolidFn = void (*)(const SolidJob&);
using SolidTable = std::array<SolidFn, kGeneralBlendOpCount>;

template <class Op>
struct FillLoop {
  static void Run(const SolidJob& job) { FillBoxRows<Op>(job); }
};
template <class Op>
struct LineLoop {
  static void Run(const SolidJob& job) { StepLine<Op>(job); }
};

// Entry [op] of a loop kind and pixel depth, generated at compile time.
template <template <class> class Loop, template <BlendOp> class Op, size_t... I>
constexpr SolidTable MakeSolidTable(std::index_sequence<I...>) {
  return {&Loop<Op<static_cast<BlendOp>(I)>>::Run...};
}
template <template <class> class Loop, template <BlendOp> class Op>
constexpr SolidTable MakeSolidTable() {
  return MakeSolidTable<Loop, Op>(std::make_index_sequence<kGeneralBlendOpCount>());
}

constexpr SolidTable kFill32 = MakeSolidTable<FillLoop, SolidOp32>();
constexpr SolidTable kFill16 = MakeSolidTable<FillLoop, SolidOp16>();
constexpr SolidTable kLine32 = MakeSolidTable<LineLoop, SolidOp32>();
constexpr SolidTable kLine16 = MakeSolidTable<LineLoop, SolidOp16>();

// The operation of the current mode and parameter, or null: modes without a
// meaning, mode 1, 2 or 3 at parameter 0, a colour type other than 0 and 1.
SolidFn ChooseSolidLoop(const SolidTable& table32, const SolidTable& table16, int32_t colorType,
                        int32_t* param) {
  const DrawSettings& s = g_drawSettings;
  *param = std::clamp(s.blendParam, 0, 255);
  const BlendOp op = BlendOpForMode(s.blendMode, *param, false);
  if (op == BlendOp::Nothing) return nullptr;
  if (colorType == MemImgType32) return table32[static_cast<int>(op)];
  if (colorType == MemImgType16) return table16[static_cast<int>(op)];
  return nullptr;
}

}  // namespace

void FillBoxMemImg(MEMIMG* destination, const IntRect* rect, int32_t color) {
  if (!destination || !destination->base || !destination->pixels) return;
  const MemImgBase* base = destination->base;
  if (base->paletteFlag || base->alphaFlag) return;
  SolidJob job{};
  const SolidFn loop = ChooseSolidLoop(kFill32, kFill16, base->colorType, &job.param);
  if (!loop) return;

  IntRect r{0, 0, destination->width, destination->height};
  if (rect) {
    r = IntRect{std::min(rect->left, rect->right), std::min(rect->top, rect->bottom),
                std::max(rect->left, rect->right), std::max(rect->top, rect->bottom)};
  }
  const IntRect clip = BlitClipRect(destination);
  ClipRectToRect(&r, &clip);
  job.width = r.right - r.left;
  job.height = r.bottom - r.top;
  if (job.width <= 0 || job.height <= 0) return;

  job.pitch = base->pitch;
  job.first = destination->pixels + static_cast<intptr_t>(r.top) * base->pitch +
              static_cast<intptr_t>(r.left) * MemImgBytesPerPixel(base);
  job.color = ModulateSolidColor(base->colorType, static_cast<uint32_t>(color));
  loop(job);
}

void DrawLineMemImg(MEMIMG* destination, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                    int32_t color) {
  if (!destination || !destination->base || !destination->pixels) return;
  const MemImgBase* base = destination->base;
  // One-byte palette pixels would take wider stores than they hold.
  if (base->paletteFlag) return;
  SolidJob job{};
  const SolidFn loop = ChooseSolidLoop(kLine32, kLine16, base->colorType, &job.param);
  if (!loop) return;

  const IntRect area = BlitClipRect(destination);
  const int32_t L = area.left, T = area.top, R = area.right, B = area.bottom;
  if (R <= L || B <= T) return;
  if (std::min(y1, y2) >= B || std::min(x1, x2) >= R || std::max(y1, y2) < T ||
      std::max(x1, x2) < L) {
    return;
  }

  // x = kx * y + ix and y = ky * x + iy through the end points as given.
  const double dx = static_cast<double>(x2) - x1, dy = static_cast<double>(y2) - y1;
  const double kx = y1 == y2 ? 0.0 : dx / dy, ix = x1 - kx * y1;
  const double ky = x1 == x2 ? 0.0 : dy / dx, iy = y1 - ky * x1;
  // Truncated toward zero; a value beyond the int range gives INT32_MIN,
  // which the final clamps bring back to an edge.
  auto xAt = [&](int32_t y) { return DoubleToIntTrunc(kx * y + ix); };
  auto yAt = [&](int32_t x) { return DoubleToIntTrunc(ky * x + iy); };

  // The start moves onto the area's edge pixels, the end onto the pixels
  // just outside, since the end point is not drawn.
  if (x1 < L) {
    x1 = L;
    y1 = yAt(x1);
  } else if (x1 >= R) {
    x1 = R - 1;
    y1 = yAt(x1);
  }
  if (x2 < L) {
    x2 = L - 1;
    y2 = yAt(x2);
  } else if (x2 >= R) {
    x2 = R;
    y2 = yAt(x2);
  }
  if (y1 < T) {
    y1 = T;
    x1 = xAt(y1);
  } else if (y1 >= B) {
    y1 = B - 1;
    x1 = xAt(y1);
  }
  if (y2 < T) {
    y2 = T - 1;
    x2 = xAt(y2);
  } else if (y2 >= B) {
    y2 = B;
    x2 = xAt(y2);
  }
  x1 = std::clamp(x1, L, R - 1);
  x2 = std::clamp(x2, L - 1, R);
  y1 = std::clamp(y1, T, B - 1);
  y2 = std::clamp(y2, T - 1, B);

  int32_t nx = x2 - x1, ny = y2 - y1;
  if (nx == 0 && ny == 0) return;
  // The alpha flag's wider pixels are stepped as they are.
  const intptr_t xStep = nx < 0 ? -MemImgBytesPerPixel(base) : MemImgBytesPerPixel(base);
  const intptr_t yStep = ny < 0 ? -static_cast<intptr_t>(base->pitch) : base->pitch;
  nx = nx < 0 ? -nx : nx;
  ny = ny < 0 ? -ny : ny;
  if (nx >= ny) {
    job.majorStep = xStep;
    job.minorStep = yStep;
    job.majorCount = nx;
    job.minorCount = ny;
  } else {
    job.majorStep = yStep;
    job.minorStep = xStep;
    job.majorCount = ny;
    job.minorCount = nx;
  }
  job.first = destination->pixels + static_cast<intptr_t>(y1) * base->pitch +
              static_cast<intptr_t>(x1) * MemImgBytesPerPixel(base);
  job.color = ModulateSolidColor(base->colorType, static_cast<uint32_t>(color));
  loop(job);
}

void DrawLineListMemImg(MEMIMG* destination, const LineRecord* lines, int32_t count) {
  if (!lines) return;
  for (int32_t i = 0; i < count; i++) {
    const LineRecord& l = lines[i];
    DrawLineMemImg(destination, l.x1, l.y1, l.x2, l.y2, l.color);
  }
}
