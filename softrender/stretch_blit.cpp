#include "core/helpers.h"
#include "graphics/draw_settings.h"
#include "softrender/blit.h"
#include "softrender/blit_loops.h"

namespace {

// The stretched blit's palette copy, read by its full-strength subtracts. All
// 256 entries are copied, so no entry of an earlier palette survives.
uint32_t g_stretchPaletteCopy[256];

// Extents from here on make the 16.16 steps overflow.
constexpr int64_t kMaxExtent = 65535;

int32_t g_stretchColumns[kMaxExtent];

}  // namespace

void StretchBlitMemImg(MEMIMG* destination, const MEMIMG* source, const IntRect* rect,
                       int32_t transparentFlag, const MEMIMG* blendImage) {
  if (!rect || !source || !destination) return;
  int32_t left = rect->left, right = rect->right, xDir = 1;
  if (left > right) {
    left = rect->right;
    right = rect->left;
    xDir = -1;
  }
  int32_t top = rect->top, bottom = rect->bottom, yDir = 1;
  if (top > bottom) {
    top = rect->bottom;
    bottom = rect->top;
    yDir = -1;
  }
  const int64_t width = int64_t{right} - left, height = int64_t{bottom} - top;
  if (width == 0 || height == 0) return;
  if (width == source->width && height == source->height && xDir > 0 && yDir > 0) {
    BlitMemImg(destination, source, left, top, transparentFlag, blendImage);
    return;
  }

  if (!BlitImagesMatch(destination, source)) return;
  if (blendImage && !BlitBlendImageFits(blendImage, source)) return;
  const MemImgBase* sb = source->base;
  const int64_t srcWidth = source->width, srcHeight = source->height;
  if (srcWidth <= 0 || srcHeight <= 0) return;
  if (width > kMaxExtent || height > kMaxExtent || srcWidth > kMaxExtent || srcHeight > kMaxExtent) {
    return;
  }
  const int64_t stepX = (width << 16) / srcWidth, stepY = (height << 16) / srcHeight;
  if (stepX == 0 || stepY == 0) return;

  const IntRect clip = BlitClipRect(destination);
  IntRect r{left, top, right, bottom};
  ClipRectToRect(&r, &clip);
  const int32_t clippedWidth = r.right - r.left, clippedHeight = r.bottom - r.top;
  if (clippedWidth <= 0 || clippedHeight <= 0) return;
  // Source pixels hidden by the clipped-off destination pixels are skipped,
  // and the counter starts part-way through the first visible one.
  const int64_t cutX = int64_t{r.left - left} << 16, cutY = int64_t{r.top - top} << 16;
  const int64_t skipX = cutX / stepX, skipY = cutY / stepY;

  const BlitChoice choice = ChooseBlitVariant(source, transparentFlag, blendImage);
  if (choice.op == BlendOp::Nothing) return;

  const int32_t bytes = MemImgBytesPerPixel(sb);
  const int64_t firstX = xDir > 0 ? skipX : srcWidth - skipX - 1;
  const int64_t firstY = yDir > 0 ? skipY : srcHeight - skipY - 1;
  BlitGeometry g{};
  if (!StartBlitGeometry(&g, destination, r, source, choice.op, g_stretchPaletteCopy)) return;
  g.src = source->pixels + firstY * sb->pitch + firstX * bytes;
  g.srcRowStep = yDir * static_cast<intptr_t>(sb->pitch);
  if (blendImage) {
    const intptr_t blendPitch = blendImage->base->pitch;
    g.blend = blendImage->pixels + firstY * blendPitch + firstX;
    g.blendRowStep = yDir * blendPitch;
  }
  g.stepY = stepY;
  g.accY = stepY - cutY % stepY;
  BuildStretchColumns(g_stretchColumns, clippedWidth, stepX - cutX % stepX, stepX, xDir,
                      AdvancesOnZero(choice.op, choice.mods));
  g.columns = g_stretchColumns;

  DrawBlitJob(BlitLoopKind::Stretch, g, choice, source);
}
