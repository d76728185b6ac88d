// DrawTriangleMemImg: the gate, the per-call set-up from the draw state and
// the choice of the variant.
#include "softrender/triangle.h"

#include <algorithm>
#include <cstdint>

#include "graphics/draw_settings.h"
#include "softrender/blend_tables.h"
#include "softrender/blit.h"
#include "softrender/memimg.h"
#include "softrender/triangle_raster.h"

namespace {

const TriangleSolidTable* SolidFamily(int32_t destType) {
  if (destType == MemImgType32) return &kSolid32Triangles;
  if (destType == MemImgType16) return &kSolid16Triangles;
  return nullptr;
}

// The source's colour type, palette and (16-bit texel size) alpha choose the
// table; a palette source without its palette draws nothing.
const TriangleVariantTable* TexturedFamily(const MemImgBase* source) {
  // Flags other than 0 and 1 are never made; their texel size is unknown.
  if (static_cast<uint32_t>(source->paletteFlag) > 1 || static_cast<uint32_t>(source->alphaFlag) > 1) {
    return nullptr;
  }
  const bool palette = source->paletteFlag == 1;
  if (palette && !source->palette) return nullptr;
  if (source->colorType == MemImgType32) return palette ? &kPalette32Triangles : &kDirect32Triangles;
  if (source->colorType == MemImgType16) {
    if (palette) return &kPalette16Triangles;
    return source->alphaFlag == 1 ? &kDirectAlpha16Triangles : &kDirect16Triangles;
  }
  return nullptr;
}

}  // namespace

void DrawTriangleMemImg(MEMIMG* destination, MEMIMG* source, const TriangleVertex vertices[3],
                        int32_t transparentFlag, MEMIMG* blendImage, uint32_t color) {
  if (!destination || !destination->base || !vertices) return;
  const MemImgBase* destBase = destination->base;
  if (source ? !BlitImagesMatch(destination, source)
             : destBase->paletteFlag == 1 || destBase->alphaFlag == 1) {
    return;
  }

  const DrawSettings& draw = g_drawSettings;
  const int32_t param = std::clamp(draw.blendParam, 0, 255);
  const BlendOp op = BlendOpForMode(draw.blendMode, param, source && source->base->paletteFlag == 1);
  if (op == BlendOp::Nothing) return;
  const int opIndex = static_cast<int>(op);

  TriangleFn drawFn = nullptr;
  if (!source) {
    const TriangleSolidTable* family = SolidFamily(destBase->colorType);
    if (family) drawFn = (*family)[opIndex];
  } else {
    const MemImgBase* srcBase = source->base;
    const TriangleVariantTable* family = TexturedFamily(srcBase);
    // The blend image is read at source positions, so it must cover the source.
    if (!family || (blendImage && !BlitBlendImageFits(blendImage, source))) return;
    drawFn = (*family)[opIndex][ChooseBlitModifiers(source, transparentFlag, blendImage)];
  }
  if (!drawFn) return;

  TriangleSetup s{};
  if (SetupTriangleGeometry(&s, vertices, source != nullptr) != 0) return;
  s.destPixels = destination->pixels;
  s.destPitch = destBase->pitch;
  s.area = BlitClipRect(destination);
  s.param = param;
  s.brightnessRgb = DrawBrightnessRgb(draw);
  s.borderTable = MemImgBorderTable;
  if (source) {
    const MemImgBase* srcBase = source->base;
    s.srcPixels = source->pixels;
    s.srcPitch = srcBase->pitch;
    // Clamped: a size of 16384 or more would wrap to a small extent.
    auto extent = [](int32_t size) {
      return static_cast<uint32_t>(std::clamp<int64_t>(int64_t{size} * kTriangleOne, 0, UINT32_MAX));
    };
    s.srcExtentU = extent(source->width);
    s.srcExtentV = extent(source->height);
    s.transparentColor = srcBase->transparentColor;
    s.palette = srcBase->palette;
    if (blendImage) {
      s.blendPixels = blendImage->pixels;
      s.blendPitch = blendImage->base->pitch;
    }
  } else {
    s.solidColor = PrepareTriangleSolidColor(s, destBase->colorType, color);
  }
  drawFn(s);
}
