// DrawTriangleMemImg: the gate, the per-call set-up from the draw state and
// the choice of the variant.
#include "softrender/triangle.h"

#include <algorithm>
#include <cstdint>

#include "graphics/draw_settings.h"
#include "softrender/blend_tables.h"
#include "softrender/memimg.h"
#include "softrender/triangle_ops16.h"
#include "softrender/triangle_ops32.h"
#include "softrender/triangle_raster.h"

namespace {

// The blend mode after the parameter cases; -1 when nothing is drawn.
int32_t EffectiveMode(uint32_t mode, int32_t param) {
  if (mode == BlendAlpha && param == 255) return BlendNone;
  if ((mode == BlendAlpha || mode == BlendAdd || mode == BlendSubtract) && param == 0) return -1;
  return static_cast<int32_t>(mode);
}

uint32_t PrepareSolidColor(const TriangleSetup& s, int32_t colorType, uint32_t color) {
  using namespace triops;
  const int32_t* const* rows = s.brightProduct;
  if (colorType == MemImgType32) return ModulateColor32(color, rows);
  // Bits above 15 would index past the table rows.
  color &= 0xFFFFu;
  return Pack16(rows[2][RedOf16(color)], rows[1][GreenOf16(color)], rows[0][BlueOf16(color)]);
}

TriangleFn ChooseSolid(int32_t colorType, int slot) {
  if (colorType == MemImgType32) return kSolid32Triangles[slot];
  if (colorType == MemImgType16) return kSolid16Triangles[slot];
  return nullptr;
}

const TriangleVariantTable* TexturedFamily(int32_t colorType, int32_t paletteFlag) {
  if (colorType == MemImgType32 && paletteFlag != 1) return &kDirect32Triangles;
  return nullptr;
}

}  // namespace

void DrawTriangleMemImg(MEMIMG* destination, MEMIMG* source, const TriangleVertex vertices[3],
                        int32_t transparentFlag, MEMIMG* blendImage, uint32_t color) {
  if (!destination || !destination->base || !vertices) return;
  const MemImgBase* destBase = destination->base;
  const MemImgBase* srcBase = source ? source->base : nullptr;
  if (source && (!srcBase || srcBase->colorType != destBase->colorType)) return;
  if (destBase->paletteFlag == 1 || destBase->alphaFlag == 1) return;

  const DrawSettings& draw = g_drawSettings;
  const int32_t param = std::clamp(draw.blendParam, 0, 255);
  const int32_t mode = EffectiveMode(static_cast<uint32_t>(draw.blendMode), param);
  const int slot = TriangleModeSlot(static_cast<uint32_t>(mode));
  if (slot < 0) return;

  TriangleSetup s{};
  TriangleFn drawFn = nullptr;
  if (!source) {
    drawFn = ChooseSolid(destBase->colorType, slot);
  } else {
    const TriangleVariantTable* family = TexturedFamily(srcBase->colorType, srcBase->paletteFlag);
    if (!family) return;
    int mods = 0;
    if (blendImage) {
      // Read at source positions: an image smaller than the source would be
      // read past its end.
      if (!blendImage->base || blendImage->width < source->width ||
          blendImage->height < source->height) {
        return;
      }
      mods |= TriModBlend;
    }
    if (DrawBrightnessRgb(draw) != kNoBrightness) mods |= TriModBrightness;
    if (srcBase->alphaFlag == 1) mods |= TriModAlpha;
    if (transparentFlag != 0) mods |= TriModTransparent;
    drawFn = (*family)[slot][mods];
  }
  if (!drawFn) return;

  if (SetupTriangleGeometry(&s, vertices, source != nullptr) != 0) return;

  s.destPixels = destination->pixels;
  s.destPitch = destBase->pitch;
  // Kept inside the destination whatever area the caller set.
  s.area.left = std::max(draw.drawArea.left, 0);
  s.area.top = std::max(draw.drawArea.top, 0);
  s.area.right = std::min(draw.drawArea.right, destination->width);
  s.area.bottom = std::min(draw.drawArea.bottom, destination->height);
  s.param = param;
  s.paramProduct = MemImgProductTable[param];
  s.paramLerp = MemImgLerpRow(param);
  for (int i = 0; i < 3; i++) s.brightProduct[i] = MemImgProductTable[draw.brightness[i]];
  s.borderTable = MemImgBorderTable;
  if (source) {
    s.srcPixels = source->pixels;
    s.srcPitch = srcBase->pitch;
    // Clamped: a width of 16384 or more would wrap to a small extent.
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
    s.solidColor = PrepareSolidColor(s, destBase->colorType, color);
  }
  drawFn(s);
}
