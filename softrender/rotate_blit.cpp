// RotateBlitMemImg: the gate, the corners and the covering rectangle, the
// inverse mapping's start and steps, the row tables, and the hand-over to
// the loops of the destination's depth (or, mirrored, to two triangles).
#include "softrender/rotate_blit.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <tuple>

#include "core/helpers.h"
#include "core/memory.h"
#include "softrender/memimg.h"
#include "softrender/rotate_blit_loops.h"
#include "softrender/triangle.h"

namespace {

const uint8_t* g_sourceRows[kRotateRowTableSize];
const uint8_t* g_blendRows[kRotateRowTableSize];
bool g_exactRuns = true;

// 14.18 values are held in 64 bits within this bound, so that sums and
// differences of two never overflow, whatever the scale or centre.
constexpr int64_t kRotateLimit = int64_t{1} << 61;

// Truncation toward zero that saturates instead of overflowing; NaN gives 0.
int64_t TruncSaturated(double value) {
  if (std::isnan(value)) return 0;
  if (value >= static_cast<double>(kRotateLimit)) return kRotateLimit;
  if (value <= -static_cast<double>(kRotateLimit)) return -kRotateLimit;
  return static_cast<int64_t>(value);
}

float NarrowToFloat(long double value) {
  if (std::isnan(value)) return NAN;
  return static_cast<float>(std::clamp<long double>(value, -FLT_MAX, FLT_MAX));
}

// Whole pixels of a 14.18 value, truncated toward zero.
int64_t RotatePixel(int64_t fixed) { return fixed / (int64_t{1} << kRotateFracBits); }

// Row pointers of an image's first `rows` rows: the fixed table when it is
// large enough, else one allocated for the call.
class RowTable {
 public:
  RowTable(const uint8_t** fixed, const MEMIMG* image, int32_t rows) {
    rows_ = fixed;
    if (rows > kRotateRowTableSize) {
      owned_ = static_cast<const uint8_t**>(VN_ALLOC(static_cast<size_t>(rows) * sizeof(uint8_t*)));
      rows_ = owned_;
      if (!owned_) return;
    }
    for (int32_t i = 0; i < rows; i++) {
      rows_[i] = image->pixels + static_cast<intptr_t>(i) * image->base->pitch;
    }
  }
  ~RowTable() {
    if (owned_) MemFree(owned_);
  }
  RowTable(const RowTable&) = delete;
  RowTable& operator=(const RowTable&) = delete;
  const uint8_t* const* Rows() const { return rows_; }

 private:
  const uint8_t** rows_ = nullptr;
  const uint8_t** owned_ = nullptr;
};

// Columns i of [0, cols) with 0 <= a + i * d < extent, as [*lo, *hi); the
// values stay far inside the 64-bit range.
void AxisInterval(int64_t a, int64_t d, int64_t extent, int32_t cols, int64_t* lo, int64_t* hi) {
  int64_t first = 0, end = cols;
  if (d == 0) {
    if (a < 0 || a >= extent) end = 0;
  } else if (d > 0) {
    if (a < 0) first = (-a + d - 1) / d;
    end = a >= extent ? 0 : std::min<int64_t>(end, (extent - 1 - a) / d + 1);
  } else {
    const int64_t e = -d;
    if (a >= extent) first = (a - extent) / e + 1;
    end = a < 0 ? 0 : std::min<int64_t>(end, a / e + 1);
  }
  *lo = std::max(*lo, first);
  *hi = std::min(*hi, end);
}

// Far enough from the 64-bit limits that no sum of the walk wraps.
constexpr __int128 kExactLimit = __int128{1} << 61;
bool WithinExactLimit(__int128 v) { return v > -kExactLimit && v < kExactLimit; }

// The walk's positions are extreme at the rectangle's corners.
bool WalkIsExact(const RotateWalk& w) {
  const auto s = [](uint64_t v) { return static_cast<__int128>(static_cast<int64_t>(v)); };
  for (const auto& [start, col, row] : {std::tuple{w.u0, w.du, w.duRow}, std::tuple{w.v0, w.dv, w.dvRow}}) {
    if (!WithinExactLimit(s(col)) || !WithinExactLimit(s(row))) return false;
    for (int32_t i : {0, w.cols - 1}) {
      for (int32_t j : {0, w.rows - 1}) {
        if (!WithinExactLimit(s(start) + s(col) * i + s(row) * j)) return false;
      }
    }
  }
  return true;
}

}  // namespace

void SetRotateExactRunsForTest(int flag) { g_exactRuns = flag != 0; }

bool FindRotateRun(const RotateWalk& w, uint64_t rowU, uint64_t rowV, int32_t from, RotateRun* run) {
  if (w.exact) {
    int64_t lo = from, hi = w.cols;
    AxisInterval(static_cast<int64_t>(rowU), static_cast<int64_t>(w.du), static_cast<int64_t>(w.extentU),
                 w.cols, &lo, &hi);
    AxisInterval(static_cast<int64_t>(rowV), static_cast<int64_t>(w.dv), static_cast<int64_t>(w.extentV),
                 w.cols, &lo, &hi);
    *run = RotateRun{static_cast<int32_t>(lo), static_cast<int32_t>(hi), false};
    return lo < hi;
  }
  // Wrapping sums: a position compared unsigned, pixel by pixel.
  int32_t i = from;
  uint64_t u = rowU + static_cast<uint64_t>(i) * w.du, v = rowV + static_cast<uint64_t>(i) * w.dv;
  for (; i < w.cols && !(u < w.extentU && v < w.extentV); i++, u += w.du, v += w.dv) {
  }
  run->first = i;
  for (; i < w.cols && u < w.extentU && v < w.extentV; i++, u += w.du, v += w.dv) {
  }
  run->end = i;
  run->more = i < w.cols;
  return run->first < run->end;
}

void DrawQuadAsTrianglesMemImg(MEMIMG* destination, MEMIMG* source, const int32_t corners[4][2],
                               int32_t transparentFlag, MEMIMG* blendImage) {
  if (!destination || !destination->base || !source || !corners) return;
  int64_t minX = corners[0][0], maxX = minX, minY = corners[0][1], maxY = minY;
  for (int i = 1; i < 4; i++) {
    minX = std::min<int64_t>(minX, corners[i][0]);
    maxX = std::max<int64_t>(maxX, corners[i][0]);
    minY = std::min<int64_t>(minY, corners[i][1]);
    maxY = std::max<int64_t>(maxY, corners[i][1]);
  }
  // The box only decides whether anything shows; the triangles clip themselves.
  const IntRect clip = BlitClipRect(destination);
  if (std::min<int64_t>(maxX + 4, clip.right) <= std::max<int64_t>(minX - 2, clip.left) ||
      std::min<int64_t>(maxY + 4, clip.bottom) <= std::max<int64_t>(minY - 2, clip.top)) {
    return;
  }
  const int32_t w = source->width, h = source->height;
  const TriangleVertex v[4] = {{corners[0][0], corners[0][1], 0, 0},
                               {corners[1][0], corners[1][1], w, 0},
                               {corners[2][0], corners[2][1], 0, h},
                               {corners[3][0], corners[3][1], w, h}};
  const TriangleVertex first[3] = {v[0], v[1], v[2]};
  const TriangleVertex second[3] = {v[1], v[2], v[3]};
  DrawTriangleMemImg(destination, source, first, transparentFlag, blendImage, 0);
  DrawTriangleMemImg(destination, source, second, transparentFlag, blendImage, 0);
}

void RotateBlitMemImg(MEMIMG* destination, MEMIMG* source, int32_t centreX, int32_t centreY,
                      float angle, float scale, int32_t transparentFlag, int32_t turnFlag,
                      MEMIMG* blendImage) {
  if (!BlitImagesMatch(destination, source) || !destination->pixels || !source->pixels) return;
  // A zero scale has no inverse mapping.
  if (!std::isfinite(angle) || !std::isfinite(scale) || scale == 0.0f) return;
  const int32_t width = source->width, height = source->height;
  if (width <= 0 || height <= 0) return;
  if (blendImage && !BlitBlendImageFits(blendImage, source)) return;

  // sin(-angle) = -sin(angle): one call serves both turns.
  float sine, cosine;
  SinCosF(angle, &sine, &cosine);
  const int64_t c18 = static_cast<int64_t>(static_cast<double>(cosine) * 262144.0);
  const int64_t s18 = static_cast<int64_t>(static_cast<double>(sine) * 262144.0);
  const long double hw = static_cast<long double>(static_cast<uint32_t>(width)) * scale * 0.5L;
  const long double hh = static_cast<long double>(static_cast<uint32_t>(height)) * scale * 0.5L;
  const float a = NarrowToFloat(c18 * hw), b = NarrowToFloat(s18 * hw);
  const float e = NarrowToFloat(c18 * hh), d = NarrowToFloat(s18 * hh);

  // Corners top-left, bottom-left, bottom-right, top-right in whole pixels.
  const float offsets[4][2] = {{d - a, -e - b}, {-a - d, e - b}, {a - d, e + b}, {a + d, b - e}};
  const int64_t cx18 = int64_t{centreX} * (int64_t{1} << kRotateFracBits);
  const int64_t cy18 = int64_t{centreY} * (int64_t{1} << kRotateFracBits);
  int64_t px[4], py[4];
  for (int i = 0; i < 4; i++) {
    px[i] = RotatePixel(cx18 + TruncSaturated(offsets[i][0]));
    py[i] = RotatePixel(cy18 + TruncSaturated(offsets[i][1]));
  }

  if (turnFlag != 0) {
    const int32_t quad[4][2] = {{SaturateCast<int32_t>(px[3]), SaturateCast<int32_t>(py[3])},
                                {SaturateCast<int32_t>(px[0]), SaturateCast<int32_t>(py[0])},
                                {SaturateCast<int32_t>(px[2]), SaturateCast<int32_t>(py[2])},
                                {SaturateCast<int32_t>(px[1]), SaturateCast<int32_t>(py[1])}};
    DrawQuadAsTrianglesMemImg(destination, source, quad, transparentFlag, blendImage);
    return;
  }

  // The covering rectangle, a margin around the corners, clipped.
  const IntRect clip = BlitClipRect(destination);
  const int64_t left = std::max<int64_t>(*std::min_element(px, px + 4) - 2, clip.left);
  const int64_t top = std::max<int64_t>(*std::min_element(py, py + 4) - 2, clip.top);
  const int64_t right = std::min<int64_t>(*std::max_element(px, px + 4) + 4, clip.right);
  const int64_t bottom = std::min<int64_t>(*std::max_element(py, py + 4) + 4, clip.bottom);
  if (right <= left || bottom <= top) return;

  BlitChoice choice = ChooseBlitVariant(source, transparentFlag, blendImage);
  if (choice.op == BlendOp::Nothing) return;
  // prod(255, s) = s: the general subtract gives the full-strength pixels.
  if (choice.op == BlendOp::SubtractFull || choice.op == BlendOp::SubtractExact) {
    choice.op = BlendOp::Subtract;
  }
  const MemImgBase* sb = source->base;
  if (sb->paletteFlag && !sb->palette) return;

  // The inverse mapping: source position of the rectangle's top-left and
  // bottom-left pixels, and the steps per column and per row.
  const double inv = 1.0 / static_cast<double>(scale);
  const int64_t halfU = int64_t{width >> 1} << kRotateFracBits;
  const int64_t halfV = int64_t{height >> 1} << kRotateFracBits;
  const int64_t ox = left - centreX, oy = top - centreY, oyEnd = bottom - centreY;
  auto mapped = [&](int64_t product) {
    return TruncSaturated(NarrowToFloat(static_cast<double>(product) * inv));
  };
  const int64_t u0 = mapped(ox * c18 + oy * s18) + halfU;
  const int64_t v0 = mapped(oy * c18 - ox * s18) + halfV;
  const int64_t u1 = mapped(ox * c18 + oyEnd * s18) + halfU;
  const int64_t v1 = mapped(oyEnd * c18 - ox * s18) + halfV;
  const int64_t rows = bottom - top;

  RotateWalk walk{};
  walk.dst = destination->pixels + top * destination->base->pitch +
             left * MemImgBytesPerPixel(destination->base);
  walk.dstPitch = destination->base->pitch;
  walk.cols = static_cast<int32_t>(right - left);
  walk.rows = static_cast<int32_t>(rows);
  walk.u0 = static_cast<uint64_t>(u0);
  walk.v0 = static_cast<uint64_t>(v0);
  walk.du = static_cast<uint64_t>(TruncSaturated(static_cast<double>(c18) * inv));
  walk.dv = static_cast<uint64_t>(TruncSaturated(static_cast<double>(-s18) * inv));
  walk.duRow = static_cast<uint64_t>((u1 - u0) / rows);
  walk.dvRow = static_cast<uint64_t>((v1 - v0) / rows);
  walk.extentU = static_cast<uint64_t>(width) << kRotateFracBits;
  walk.extentV = static_cast<uint64_t>(height) << kRotateFracBits;
  walk.exact = g_exactRuns && WalkIsExact(walk);

  // The allocator logs a failed allocation; the draw is then refused.
  const RowTable sourceRows(g_sourceRows, source, height);
  const RowTable blendRows(g_blendRows, blendImage ? blendImage : source, blendImage ? height : 0);
  if (!sourceRows.Rows() || !blendRows.Rows()) return;
  walk.srcRows = sourceRows.Rows();
  if (blendImage) walk.blendRows = blendRows.Rows();

  if (sb->colorType == MemImgType32) {
    DrawRotateWalk32(walk, source, choice);
  } else {
    DrawRotateWalk16(walk, source, choice);
  }
}
