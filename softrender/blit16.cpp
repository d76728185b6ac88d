// The plain, run-table and stretched blits into R5G6B5 images: the same
// generated loops as the 32-bit ones, over the 16-bit pixel family and its
// three source kinds.
#include "graphics/draw_settings.h"
#include "softrender/blit.h"
#include "softrender/blit_loops.h"

namespace {

template <template <class, class, BlendOp, unsigned> class Loop>
struct Tables16 {
  static constexpr auto kDirect = MakeBlitVariantTable<Pixel16, DirectSource16, Loop>();
  static constexpr auto kDirectAlpha = MakeBlitVariantTable<Pixel16, DirectAlphaSource16, Loop>();
  static constexpr auto kPalette = MakeBlitVariantTable<Pixel16, PaletteSource16, Loop>();
  static const BlitVariantTable<Pixel16>& For(bool palette, bool alpha) {
    return palette ? kPalette : (alpha ? kDirectAlpha : kDirect);
  }
};

}  // namespace

void DrawBlitJob16(BlitLoopKind kind, const BlitGeometry& g, const BlitChoice& choice,
                   const MEMIMG* source) {
  BlitJob<Pixel16> job{
      g, MakeBlendState16(g_drawSettings.blendParam, DrawBrightnessRgb(g_drawSettings)),
      BlitSpanLevel()};
  const bool palette = source->base->paletteFlag != 0, alpha = (choice.mods & ModAlpha) != 0;
  // The whole-word copies compare the colour word with the transparent
  // colour's low 16 bits; the other members with all 32 (so a colour with
  // higher bits set never matches there).
  if (!palette && choice.op == BlendOp::Copy &&
      (choice.mods & (ModBlendImage | ModBrightness)) == 0 && job.g.transparent > 0xFFFFu) {
    job.g.transparent &= 0xFFFFu;
    // The run table compares all 32 bits, so it would draw the pixels that
    // these members skip.
    if (kind == BlitLoopKind::RunTable) kind = BlitLoopKind::Plain;
  }
  const BlitVariantTable<Pixel16>* table;
  switch (kind) {
    case BlitLoopKind::Plain: table = &Tables16<PlainLoopOf>::For(palette, alpha); break;
    case BlitLoopKind::RunTable: table = &Tables16<RunTableLoopOf>::For(palette, alpha); break;
    default: table = &Tables16<StretchLoopOf>::For(palette, alpha); break;
  }
  const BlitLoopFn<Pixel16> loop = (*table)[BlitVariantIndex(choice.op, choice.mods)];
  if (loop) loop(job);
}
