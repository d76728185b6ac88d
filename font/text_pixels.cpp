#include "font/text_pixels.h"

#include <array>
#include <cstring>

#include "core/helpers.h"
#include "font/text_cache.h"
#include "softrender/memimg.h"
#include "softrender/pixel_ops32.h"
#include "softrender/mask_spans.h"
#include "softrender/pixel_spans32.h"

namespace {

// Pixel forms of a target. Channels are {shift, width} from red to blue.
struct Channel {
  int shift;
  int width;
};

struct Form32 {  // X8R8G8B8, alpha (when the image has it) in the top byte
  using Pixel = uint32_t;
  static constexpr int kAlphaShift = 24;
  static constexpr Channel kChannels[3] = {{16, 8}, {8, 8}, {0, 8}};
  static constexpr uint32_t kEdgeMask = 0x00FFFFFF;
};
struct Form16 {  // R5G6B5
  using Pixel = uint16_t;
  static constexpr uint32_t kEdgeMask = 0xFFFF;
};
struct Form16Alpha {  // R5G6B5 in bytes 0-1, alpha in byte 2
  using Pixel = uint32_t;
  static constexpr int kAlphaShift = 16;
  static constexpr Channel kChannels[3] = {{11, 5}, {5, 6}, {0, 5}};
};
struct Form8 {
  using Pixel = uint8_t;
  static constexpr uint32_t kEdgeMask = 0xFF;
};

// Edge colour k under text colour c, the text's share s of 256, per channel.
template <class Form>
uint32_t MixChannels(uint32_t c, uint32_t k, int32_t s) {
  uint32_t out = 0;
  for (const Channel& ch : Form::kChannels) {
    const int32_t mask = (1 << ch.width) - 1;
    const int32_t text = static_cast<int32_t>(c >> ch.shift) & mask;
    const int32_t edge = static_cast<int32_t>(k >> ch.shift) & mask;
    const int32_t mixed = edge + (((text - edge) * s) >> 8);  // rounded down
    out |= static_cast<uint32_t>(mixed & mask) << ch.shift;
  }
  return out;
}

// The pixel for one cache value; false leaves it to the background.
template <class Form, int Type>
bool Shade(uint32_t value, uint32_t c, uint32_t k, uint32_t* out) {
  if constexpr (Type == 0) {
    *out = c;
    return value != 0;
  } else if constexpr (Type == 1) {
    if (value == 0) return false;
    *out = value == 1 ? c : k & Form::kEdgeMask;
    return true;
  } else if constexpr (Type == 2) {
    if (value == 0) return false;
    *out = c | (value * 16) << Form::kAlphaShift;
    return true;
  } else {
    const uint32_t g = value & 0x0F, e = value >> 4;
    if (g == 15) {
      *out = c | 255u << Form::kAlphaShift;
    } else if (g == 0) {
      if (e == 0) return false;
      *out = k | (e * 16) << Form::kAlphaShift;
    } else {
      const uint32_t alpha = 16 * g + (15 - g) * e;
      const auto share = static_cast<int32_t>(g * 4096 / alpha);
      *out = MixChannels<Form>(c, k, share) | alpha << Form::kAlphaShift;
    }
    return true;
  }
}

struct GlyphWriteJob {
  const uint8_t* cell;  // the cell's top-left byte in the cache
  int32_t cachePitch;
  int32_t u0, v0;       // first cache pixel written
  int32_t nu, nv;       // pixels along u and v
  uint8_t* dst;         // where cache pixel (u0, v0) lands
  intptr_t uStep, vStep;
  uint32_t text, edge;
  int32_t keepBackground;
  int32_t room;  // across: pixels from dst to the end of the target's row
};
using GlyphWriter = void (*)(const GlyphWriteJob&);

template <class Form, int Type>
void WriteGlyph(const GlyphWriteJob& j) {
  using Pixel = typename Form::Pixel;
  for (int32_t v = 0; v < j.nv; v++) {
    const uint8_t* row = j.cell + static_cast<intptr_t>(j.v0 + v) * j.cachePitch;
    uint8_t* d = j.dst + v * j.vStep;
    for (int32_t u = 0; u < j.nu; u++, d += j.uStep) {
      const int32_t su = j.u0 + u;
      const uint32_t value = Type == 0 ? (row[su >> 3] >> (7 - (su & 7))) & 1 : row[su];
      uint32_t out = 0;
      if (!Shade<Form, Type>(value, j.text, j.edge, &out) && j.keepBackground) continue;
      const auto pixel = static_cast<Pixel>(out);
      std::memcpy(d, &pixel, sizeof(Pixel));
    }
  }
}

// Type 0 across, over the background: each row's set bits taken as runs and
// each run stored whole, instead of a test per pixel.
template <class Form>
void WriteBitRuns(const GlyphWriteJob& j) {
  using Pixel = typename Form::Pixel;
  const auto color = static_cast<Pixel>(j.text);
  for (int32_t v = 0; v < j.nv; v++) {
    const uint8_t* row = j.cell + static_cast<intptr_t>(j.v0 + v) * j.cachePitch;
    auto* d = reinterpret_cast<Pixel*>(j.dst + v * j.vStep);
    for (int32_t u = 0; u < j.nu;) {
      // Up to 56 bits from bit u0 + u, the first in the word's top bit.
      const int32_t su = j.u0 + u, chunk = j.nu - u < 56 ? j.nu - u : 56;
      const int32_t bytes = ((su & 7) + chunk + 7) >> 3;
      uint64_t word = 0;
      for (int32_t b = 0; b < bytes; b++) word = word << 8 | row[(su >> 3) + b];
      word = (word << (64 - 8 * bytes)) << (su & 7);
      word &= ~uint64_t{0} << (64 - chunk);
      while (word) {
        const int lead = __builtin_clzll(word);
        const uint64_t rest = ~(word << lead);
        const int run = rest ? __builtin_clzll(rest) : 64 - lead;
        for (int k = 0; k < run; k++) std::memcpy(d + u + lead + k, &color, sizeof(Pixel));
        word = lead + run >= 64 ? 0 : word & (~uint64_t{0} >> (lead + run));
      }
      u += chunk;
    }
  }
}

// The same into 32-bit pixels, a byte of bits at a time: its eight pixels
// chosen between text and background by masks made from the byte, at the
// span level in use.
void WriteBitMasks32(const GlyphWriteJob& j) {
  const BitMaskRowsFn rows = BitMaskRowsFor(BlitSpanLevel());
  if (!rows) {
    WriteBitRuns<Form32>(j);
    return;
  }
  rows(j.dst, j.vStep, j.cell + static_cast<intptr_t>(j.v0) * j.cachePitch + (j.u0 >> 3), j.cachePitch, j.u0 & 7,
       j.nu, j.nv, j.room, j.text);
}

enum PixelForm { kForm32, kForm16, kForm16Alpha, kForm8, kFormCount };

// The writers of type 0 across over the background by form, where the form has one.
constexpr std::array<GlyphWriter, kFormCount> kBitRunWriters = {WriteBitMasks32, WriteBitRuns<Form16>, nullptr,
                                                                WriteBitRuns<Form8>};

// Writers by form and font type; null where the pixels have no place for the type.
constexpr std::array<std::array<GlyphWriter, 4>, kFormCount> kWriters = {{
    {WriteGlyph<Form32, 0>, WriteGlyph<Form32, 1>, WriteGlyph<Form32, 2>, WriteGlyph<Form32, 3>},
    {WriteGlyph<Form16, 0>, WriteGlyph<Form16, 1>, nullptr, nullptr},
    {nullptr, nullptr, WriteGlyph<Form16Alpha, 2>, WriteGlyph<Form16Alpha, 3>},
    {WriteGlyph<Form8, 0>, WriteGlyph<Form8, 1>, nullptr, nullptr},
}};

bool g_fastTextPaths = true;

// The part of a character's box inside clip, which never reaches outside the
// target; false when nothing is left.
bool ClipGlyphBox(const MEMIMG& target, const IntRect& box, const IntRect& clip, IntRect* r) {
  IntRect limit = clip;
  const IntRect whole{0, 0, target.width, target.height};
  ClipRectToRect(&limit, &whole);
  *r = box;
  ClipRectToRect(r, &limit);
  return r->right > r->left && r->bottom > r->top;
}

int FormOf(const MemImgBase& base) {
  switch (MemImgBytesPerPixel(&base)) {
    case 4: return base.colorType == MemImgType16 ? kForm16Alpha : kForm32;
    case 2: return base.colorType == MemImgType16 ? kForm16 : kFormCount;
    case 1: return kForm8;
    default: return kFormCount;
  }
}

}  // namespace

void WriteCachedGlyph(MEMIMG* target, const FontHandleRecord& font, int32_t position,
                      const IntRect& box, const IntRect& clip, int32_t vertical,
                      const TextPixelColors& colors, int32_t keepBackground) {
  if (!target || !target->base || font.fontType < 0 || font.fontType > 3) return;
  const int form = FormOf(*target->base);
  if (form == kFormCount) return;
  GlyphWriter writer = kWriters[form][font.fontType];
  if (!writer) return;
  if (g_fastTextPaths && font.fontType == 0 && !vertical && keepBackground && kBitRunWriters[form]) {
    writer = kBitRunWriters[form];
  }

  IntRect r;
  if (!ClipGlyphBox(*target, box, clip, &r)) return;

  const int32_t bytes = MemImgBytesPerPixel(target->base);
  const intptr_t pitch = target->base->pitch;
  GlyphWriteJob job{};
  int32_t cellX, cellY;
  FontCellCorner(font, position, &cellX, &cellY);
  job.cell = font.softCache + static_cast<intptr_t>(cellY) * font.softPitch;
  job.cachePitch = font.softPitch;
  if (!vertical) {
    job.u0 = r.left - box.left;
    job.v0 = r.top - box.top;
    job.nu = r.right - r.left;
    job.nv = r.bottom - r.top;
    job.dst = target->pixels + r.top * pitch + static_cast<intptr_t>(r.left) * bytes;
    job.uStep = bytes;
    job.vStep = pitch;
  } else {
    job.u0 = r.top - box.top;
    job.v0 = box.right - r.right;
    job.nu = r.bottom - r.top;
    job.nv = r.right - r.left;
    job.dst = target->pixels + r.top * pitch + static_cast<intptr_t>(r.right - 1) * bytes;
    job.uStep = pitch;
    job.vStep = -bytes;
  }
  job.text = colors.text;
  job.edge = colors.edge;
  job.keepBackground = keepBackground;
  job.room = target->width - r.left;
  writer(job);
}

void SetFastTextPathsForTest(bool enabled) { g_fastTextPaths = enabled; }

bool FastTextPaths() { return g_fastTextPaths; }

void BlendCachedGlyph(MEMIMG* target, const FontHandleRecord& font, int32_t position, const IntRect& box,
                      const IntRect& clip, const TextPixelColors& colors) {
  if (!target || !target->base || target->base->colorType != MemImgType32 || target->base->alphaFlag ||
      target->base->paletteFlag || font.fontType != 2) {
    return;
  }
  IntRect r;
  if (!ClipGlyphBox(*target, box, clip, &r)) return;
  int32_t cellX, cellY;
  FontCellCorner(font, position, &cellX, &cellY);
  const uint8_t* cell = font.softCache + static_cast<intptr_t>(cellY) * font.softPitch + (r.left - box.left);
  const intptr_t pitch = target->base->pitch;
  uint8_t* dRow = target->pixels + r.top * pitch + static_cast<intptr_t>(r.left) * 4;
  const int32_t n = r.right - r.left, room = target->width - r.left;
  CoverageRowsFor(BlitSpanLevel())(dRow, pitch, cell + static_cast<intptr_t>(r.top - box.top) * font.softPitch,
                                    font.softPitch, n, r.bottom - r.top, room, colors.text);
}
