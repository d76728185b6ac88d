#include "softrender/blit.h"

#include <cstring>

#include "core/helpers.h"
#include "graphics/draw_settings.h"
#include "softrender/blit_loops.h"

namespace {

constexpr auto kPlainDirect32 = MakeBlitVariantTable<Pixel32, DirectSource32, PlainLoopOf>();
constexpr auto kPlainPalette32 = MakeBlitVariantTable<Pixel32, PaletteSource32, PlainLoopOf>();
constexpr auto kRunDirect32 = MakeBlitVariantTable<Pixel32, DirectSource32, RunTableLoopOf>();
constexpr auto kRunPalette32 = MakeBlitVariantTable<Pixel32, PaletteSource32, RunTableLoopOf>();
constexpr auto kStretchDirect32 = MakeBlitVariantTable<Pixel32, DirectSource32, StretchLoopOf>();
constexpr auto kStretchPalette32 = MakeBlitVariantTable<Pixel32, PaletteSource32, StretchLoopOf>();

// The plain blit's own palette copy, read by its full-strength subtracts.
uint32_t g_plainPaletteCopy[256];

// The spans' baseline is SSE2, which every x86-64 processor has; tests go
// lower, to the scalar loops, but never above the level the run started at.
const int g_startSpanLevel = VectorLevel() > 1 ? VectorLevel() : 1;
int g_spanLevel = g_startSpanLevel;

void DrawBlitJob32(BlitLoopKind kind, const BlitGeometry& g, const BlitChoice& choice,
                   const MEMIMG* source) {
  const BlitJob<Pixel32> job{
      g, MakeBlendState32(g_drawSettings.blendParam, DrawBrightnessRgb(g_drawSettings)),
      g_spanLevel};
  const bool palette = source->base->paletteFlag != 0;
  const BlitVariantTable<Pixel32>* table;
  switch (kind) {
    case BlitLoopKind::Plain: table = palette ? &kPlainPalette32 : &kPlainDirect32; break;
    case BlitLoopKind::RunTable: table = palette ? &kRunPalette32 : &kRunDirect32; break;
    default: table = palette ? &kStretchPalette32 : &kStretchDirect32; break;
  }
  const BlitLoopFn<Pixel32> loop = (*table)[BlitVariantIndex(choice.op, choice.mods)];
  if (loop) loop(job);
}

}  // namespace

int BlitSpanLevel() { return g_spanLevel; }

void SetBlitSpanLevelForTest(int level) {
  g_spanLevel = level < 0 || level > g_startSpanLevel ? g_startSpanLevel : level;
}

int BlitImagesMatch(const MEMIMG* destination, const MEMIMG* source) {
  if (!destination || !source || !destination->base || !source->base) return 0;
  const MemImgBase* db = destination->base;
  const MemImgBase* sb = source->base;
  if (sb->colorType != db->colorType || db->paletteFlag || db->alphaFlag) return 0;
  return sb->colorType == MemImgType16 || sb->colorType == MemImgType32 ? 1 : 0;
}

IntRect BlitClipRect(const MEMIMG* destination) {
  IntRect clip = g_drawSettings.drawArea;
  if (clip.left < 0) clip.left = 0;
  if (clip.top < 0) clip.top = 0;
  if (clip.right > destination->width) clip.right = destination->width;
  if (clip.bottom > destination->height) clip.bottom = destination->height;
  if (clip.right < clip.left) clip.right = clip.left;
  if (clip.bottom < clip.top) clip.bottom = clip.top;
  return clip;
}

int BlitBlendImageFits(const MEMIMG* blendImage, const MEMIMG* source) {
  return blendImage->base && blendImage->base->colorType == MemImgTypeBlend8 &&
                 blendImage->width >= source->width && blendImage->height >= source->height
             ? 1
             : 0;
}

unsigned ChooseBlitModifiers(const MEMIMG* source, int32_t transparentFlag,
                             const MEMIMG* blendImage) {
  const MemImgBase* sb = source->base;
  unsigned mods = 0;
  if (blendImage) mods |= ModBlendImage;
  if (DrawBrightnessRgb(g_drawSettings) != kNoBrightness) mods |= ModBrightness;
  if (sb->paletteFlag == 0 && sb->alphaFlag == 1) mods |= ModAlpha;
  if (transparentFlag != 0) mods |= ModTransparent;
  return mods;
}

BlitChoice ChooseBlitVariant(const MEMIMG* source, int32_t transparentFlag,
                             const MEMIMG* blendImage) {
  const DrawSettings& s = g_drawSettings;
  const MemImgBase* sb = source->base;
  const bool palette = sb->paletteFlag != 0;
  const unsigned mods = ChooseBlitModifiers(source, transparentFlag, blendImage);
  BlendOp op = BlendOpForMode(s.blendMode, s.blendParam, palette);
  if (op == BlendOp::Subtract && s.blendParam == 255 &&
      (mods & (ModBlendImage | ModBrightness | ModAlpha)) == 0) {
    // 16-bit images have no byte-wise form.
    op = IsMmxUsable() == 1 && sb->colorType == MemImgType32 ? BlendOp::SubtractExact
                                                              : BlendOp::SubtractFull;
  }
  return BlitChoice{op, mods};
}

bool StartBlitGeometry(BlitGeometry* g, MEMIMG* destination, const IntRect& clipped,
                       const MEMIMG* source, BlendOp op, uint32_t* paletteCopy) {
  const MemImgBase* sb = source->base;
  g->dst = destination->pixels + static_cast<intptr_t>(clipped.top) * destination->base->pitch +
           static_cast<intptr_t>(clipped.left) * MemImgBytesPerPixel(destination->base);
  g->dstPitch = destination->base->pitch;
  g->width = clipped.right - clipped.left;
  g->height = clipped.bottom - clipped.top;
  g->transparent = sb->transparentColor;
  g->border = MemImgBorderTable;
  if (sb->paletteFlag) {
    if (!sb->palette) return false;
    const size_t entryBytes = sb->colorType == MemImgType16 ? 2 : 4;
    std::memcpy(paletteCopy, sb->palette, 256 * entryBytes);
    g->palette = op == BlendOp::SubtractFull || op == BlendOp::SubtractExact
                     ? static_cast<const void*>(paletteCopy)
                     : sb->palette;
  }
  return true;
}

void DrawBlitJob(BlitLoopKind kind, const BlitGeometry& g, const BlitChoice& choice,
                 const MEMIMG* source) {
  if (source->base->colorType == MemImgType16) {
    DrawBlitJob16(kind, g, choice, source);
  } else {
    DrawBlitJob32(kind, g, choice, source);
  }
}

void BlitMemImg(MEMIMG* destination, const MEMIMG* source, int32_t x, int32_t y,
                int32_t transparentFlag, const MEMIMG* blendImage) {
  if (!BlitImagesMatch(destination, source)) return;
  if (blendImage && !BlitBlendImageFits(blendImage, source)) return;
  const MemImgBase* sb = source->base;

  const IntRect clip = BlitClipRect(destination);
  IntRect r{x, y, SaturateCast<int32_t>(int64_t{x} + source->width), SaturateCast<int32_t>(int64_t{y} + source->height)};
  ClipRectToRect(&r, &clip);
  const int32_t width = r.right - r.left, height = r.bottom - r.top;
  if (width <= 0 || height <= 0) return;

  const BlitChoice choice = ChooseBlitVariant(source, transparentFlag, blendImage);
  if (choice.op == BlendOp::Nothing) return;
  const bool runTable = transparentFlag == 1 && MemImgRunTableUsable(source) &&
                        width == source->width && height == source->height;

  const int32_t bytes = MemImgBytesPerPixel(sb);
  const int32_t skipX = r.left - x, skipY = r.top - y;
  BlitGeometry g{};
  if (!StartBlitGeometry(&g, destination, r, source, choice.op, g_plainPaletteCopy)) return;
  g.src = source->pixels + static_cast<intptr_t>(skipY) * sb->pitch +
          static_cast<intptr_t>(skipX) * bytes;
  g.srcRowStep = sb->pitch;
  if (blendImage) {
    g.blend = blendImage->pixels + static_cast<intptr_t>(skipY) * blendImage->base->pitch + skipX;
    g.blendRowStep = blendImage->base->pitch;
  }
  if (runTable) {
    g.runTable = sb->runTable;
    g.runTableEnd = sb->runTable + (static_cast<intptr_t>(sb->width) + 5) * sb->height;
    g.runRows = sb->runRows;
  }

  DrawBlitJob(runTable ? BlitLoopKind::RunTable : BlitLoopKind::Plain, g, choice, source);
}
