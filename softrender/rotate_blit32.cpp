// The rotated blit's loops into X8R8G8B8 images.
#include "graphics/draw_settings.h"
#include "softrender/blit.h"
#include "softrender/rotate_blit.h"
#include "softrender/rotate_blit_loops.h"

namespace {

constexpr auto kRotateDirect32 = MakeRotateVariantTable<Pixel32, DirectSource32>();
constexpr auto kRotatePalette32 = MakeRotateVariantTable<Pixel32, PaletteSource32>();

}  // namespace

void DrawRotateWalk32(const RotateWalk& walk, const MEMIMG* source, BlitChoice choice) {
  const MemImgBase* sb = source->base;
  const auto& table = sb->paletteFlag ? kRotatePalette32 : kRotateDirect32;
  const RotateLoopFn<Pixel32> loop = table[BlitVariantIndex(choice.op, choice.mods)];
  if (!loop) return;
  RotateJob<Pixel32> job{};
  job.walk = walk;
  job.blit.g.transparent = sb->transparentColor;
  job.blit.g.palette = sb->palette;
  job.blit.g.border = MemImgBorderTable;
  job.blit.state = MakeBlendState32(g_drawSettings.blendParam, DrawBrightnessRgb(g_drawSettings));
  job.blit.spanLevel = BlitSpanLevel();
  loop(job);
}
