// The rotated blit's loops into R5G6B5 images.
#include "graphics/draw_settings.h"
#include "softrender/blit.h"
#include "softrender/rotate_blit.h"
#include "softrender/pixel_ops16.h"
#include "softrender/rotate_blit_loops.h"

namespace {

// The 16-bit pixel rules without the blits' two orderings: the brightness
// always comes first, and green is computed at field precision like the rest.
struct RotatePixel16 {
  using Dst = uint16_t;
  using State = BlendState16;
  static constexpr bool kExactSubtract = false;
  template <BlendOp Op, bool Blend, bool Alpha, bool Bright>
  static Dst Apply(Dst d, uint32_t s, uint32_t w, uint32_t a, const State& st) {
    return static_cast<Dst>(BlendPixel16<Op, Blend, Alpha, Bright, false>(d, s, w, a, st));
  }
  template <class Source, BlendOp Op, unsigned Mods>
  static int FastRows(uint8_t*, intptr_t, const uint8_t*, intptr_t, const int32_t*, int, int,
                      const BlitJob<RotatePixel16>&) {
    return 0;
  }
};

constexpr auto kRotateDirect16 = MakeRotateVariantTable<RotatePixel16, DirectSource16>();
constexpr auto kRotateAlpha16 = MakeRotateVariantTable<RotatePixel16, DirectAlphaSource16>();
constexpr auto kRotatePalette16 = MakeRotateVariantTable<RotatePixel16, PaletteSource16>();

}  // namespace

void DrawRotateWalk16(const RotateWalk& walk, const MEMIMG* source, BlitChoice choice) {
  const MemImgBase* sb = source->base;
  const auto& table = sb->paletteFlag     ? kRotatePalette16
                      : sb->alphaFlag == 1 ? kRotateAlpha16
                                           : kRotateDirect16;
  const RotateLoopFn<RotatePixel16> loop = table[BlitVariantIndex(choice.op, choice.mods)];
  if (!loop) return;
  RotateJob<RotatePixel16> job{};
  job.walk = walk;
  // A colour word is compared with the transparent colour's low 16 bits.
  job.blit.g.transparent = sb->paletteFlag ? sb->transparentColor : sb->transparentColor & 0xFFFF;
  job.blit.g.palette = sb->palette;
  job.blit.g.border = MemImgBorderTable;
  job.blit.state = MakeBlendState16(g_drawSettings.blendParam, DrawBrightnessRgb(g_drawSettings));
  loop(job);
}
