#include "font/string_draw.h"

#include <algorithm>
#include <cstring>

#include "core/helpers.h"
#include "core/log.h"
#include "core/memory.h"
#include "core/window.h"
#include "font/font_api.h"
#include "font/font_handle.h"
#include "font/text_cache.h"
#include "font/text_pixels.h"
#include "graphics/draw_settings.h"
#include "graphics/graphics_api.h"
#include "graphics/screen.h"
#include "softrender/blit.h"
#include "softrender/memimg.h"

namespace {

// A screen colour under the draw brightness, as a raw pixel value of the screen.
uint32_t BrightenedPixel(int32_t color) {
  const uint32_t brightness = DrawBrightnessRgb(g_drawSettings);
  int r = 0, g = 0, b = 0;
  UnpackScreenColorToRgb(color, &r, &g, &b);
  r = r * static_cast<int>(brightness >> 16 & 0xFF) / 255;
  g = g * static_cast<int>(brightness >> 8 & 0xFF) / 255;
  b = b * static_cast<int>(brightness & 0xFF) / 255;
  const auto black = static_cast<uint32_t>(PackRgbToScreenColor(0, 0, 0));
  return static_cast<uint32_t>(PackRgbToScreenColor(r, g, b)) & ~black;
}

TextPixelColors PrepareColors(int32_t color, int32_t edgeColor) {
  return {BrightenedPixel(color), BrightenedPixel(edgeColor)};
}

bool IsSpace(uint16_t code) { return code == 0x20 || code == 0x4081; }

// The pen in whole pixels, held to the int range that a spacing near the int
// limits would otherwise leave.
int32_t PenPixels(double pen) {
  return DoubleToIntTrunc(std::clamp(pen, static_cast<double>(INT32_MIN), static_cast<double>(INT32_MAX)));
}

// The character's slot, rendering it alone when it has left the cache since.
FontCacheSlot* CachedSlot(FontHandleRecord& font, int32_t handle, uint16_t code) {
  const FontLookupEntry& entry = font.cache.lookup[code];
  if (entry.present && entry.slot) return entry.slot;
  return RenderGlyphsToFontCache(handle, 1, &code);
}

}  // namespace

int DrawStringThroughFontCache(int32_t mode, int32_t x, int32_t y, bool scale, double scaleX,
                               double scaleY, const char* string, int32_t color, MEMIMG* target,
                               const IntRect* clip, int32_t keepBackground, int32_t handle,
                               int32_t edgeColor, int32_t length, int32_t vertical, int32_t* size,
                               GlyphPass* pass) {
  static uint16_t staticList[kFontStaticStringBytes];
  if (g_drawSettings.drawingSuspended) return -1;
  FontHandleRecord* font = LookupFontHandle(handle);
  if (!font) return -1;
  // Only a texture cache scales, and there is none without a hardware device.
  if (!font->textureCache || !(mode == FontCacheMeasure || scale)) {
    scaleX = scaleY = 1.0;
    scale = false;
  }
  const double along = vertical ? scaleY : scaleX;
  if (!string || !*string) return 0;
  // A measure pass writes no pixel, so it needs no colours.
  const TextPixelColors colors = mode == FontCacheDraw ? PrepareColors(color, edgeColor) : TextPixelColors{};
  const size_t fullLength = std::strlen(string);
  if (length == -1 || static_cast<size_t>(length) > fullLength) {
    length = fullLength > INT32_MAX / 4 ? INT32_MAX / 4 : static_cast<int32_t>(fullLength);
  }
  if (length < 0) length = 0;

  uint16_t* list = staticList;
  uint16_t* block = nullptr;
  if (length > kFontStaticStringBytes) {
    block = static_cast<uint16_t*>(VN_ALLOC(static_cast<size_t>(length) * sizeof(uint16_t)));
    if (!block) return -1;
    list = block;
  }
  int32_t count = 0;
  if (CacheStringGlyphs(length, string, handle, list, &count) != 0) {
    MemFree(block);
    return -1;
  }

  double pen = 0.0;
  int32_t position = 0;
  const int32_t edgeSpan = font->charHeight;
  int64_t reached = INT64_MIN;  // the furthest box end along the text so far
  for (int32_t i = 0; i < count && position < length; i++) {
    const uint16_t code = list[i];
    const FontCacheSlot* slot = CachedSlot(*font, handle, code);
    if (!slot) {
      LogPrintf("テキストキャッシュの作成に失敗しました");
      MemFree(block);
      return -1;
    }
    if (!IsSpace(code) && slot->width > 0 && slot->height > 0 &&
        ((mode == FontCacheDraw && target && clip) || pass)) {
      const int64_t penX = PenPixels(pen);
      IntRect box;
      if (!vertical) {
        const int64_t left = int64_t{x} + penX + slot->originX;
        const int64_t top = int64_t{y} + slot->topOffset;
        box = {SaturateCast<int32_t>(left), SaturateCast<int32_t>(top), SaturateCast<int32_t>(left + slot->width),
               SaturateCast<int32_t>(top + slot->height)};
      } else {
        const int64_t right = int64_t{x} + edgeSpan - slot->topOffset;
        const int64_t top = int64_t{y} + penX + slot->originX;
        box = {SaturateCast<int32_t>(right - slot->height), SaturateCast<int32_t>(top), SaturateCast<int32_t>(right),
               SaturateCast<int32_t>(top + slot->width)};
      }
      if (pass) {
        const int64_t start = vertical ? box.top : box.left, end = vertical ? box.bottom : box.right;
        if (start < reached) pass->boxesOverlap = true;
        if (end > reached) reached = end;
      }
      if (mode == FontCacheDraw && target && clip) {
        if (pass && pass->blendCoverage) {
          BlendCachedGlyph(target, *font, slot->position, box, *clip, colors);
        } else {
          WriteCachedGlyph(target, *font, slot->position, box, *clip, vertical, colors, keepBackground);
        }
      }
    }
    pen += (static_cast<double>(slot->advance) + font->spacing) * along;
    const auto lead = static_cast<unsigned char>(code & 0xFF);
    position += IsMultiByteLeadByte(&lead, font->charsetIndex) ? 2 : 1;
  }
  const int32_t advance = PenPixels(pen);
  if (size) {
    size[0] = vertical ? font->charHeight : advance;
    size[1] = vertical ? advance : font->charHeight;
  }
  MemFree(block);
  return advance;
}

int DrawStringViaSoftwareCache(const char* string, int32_t color, int32_t handle,
                               int32_t edgeColor, int32_t vertical, int32_t x, int32_t y) {
  const FontHandleRecord* font = LookupFontHandle(handle);
  if (!font) return 0;
  DrawSettings& s = g_drawSettings;
  MEMIMG* target = s.drawTarget;
  const bool antialias = (font->fontType & kFontTypeAntialias) != 0;
  // Written straight into the target, the text needs no measure first.
  if (target && !antialias && (s.blendMode == BlendNone || (s.blendMode == BlendAlpha && s.blendParam == 255))) {
    DrawStringThroughFontCache(FontCacheDraw, x, y, false, 1.0, 1.0, string, color, target,
                               &s.drawArea, 1, handle, edgeColor, -1, vertical, nullptr);
    return 0;
  }
  int32_t size[2] = {0, 0};
  GlyphPass measure;
  DrawStringThroughFontCache(FontCacheMeasure, 0, 0, false, 1.0, 1.0, string, color, nullptr,
                             nullptr, 1, handle, edgeColor, -1, vertical, size, &measure);
  if (!target) return 0;

  // Blending: the text goes into a work image first, which is then drawn
  // with the blend mode, its parameter and the blend image.
  MEMIMG* work = GetScreenWorkImage(antialias ? 1 : 0);
  if (!work) return 0;
  const IntRect savedArea = s.drawArea;
  const uint32_t savedBrightness = DrawBrightnessRgb(s);
  IntRect area{0, 0, size[0], size[1]};
  const IntRect screen{0, 0, work->width, work->height};
  ClipRectToRect(&area, &screen);
  s.drawArea = area;
  IntRect shown{x, y, SaturateCast<int32_t>(int64_t{x} + size[0]), SaturateCast<int32_t>(int64_t{y} + size[1])};
  ClipRectToRect(&shown, &savedArea);
  if (antialias) {
    SetMemImgTransparentColor(work, 0);
    // The plain blend of coverage, characters apart from each other, no
    // blend image, a target the work image could be blitted into: each
    // character is blended straight into the target, pixel for pixel as
    // drawing the line into the work image and blitting it would.
    if (FastTextPaths() && font->fontType == 2 && !vertical && !measure.boxesOverlap && !s.blendImage &&
        BlitImagesMatch(target, work) && target->base->colorType == MemImgType32 &&
        BlendOpForMode(s.blendMode, s.blendParam, false) == BlendOp::Copy) {
      IntRect clip{x, y, SaturateCast<int32_t>(int64_t{x} + area.right), SaturateCast<int32_t>(int64_t{y} + area.bottom)};
      ClipRectToRect(&clip, &shown);
      GlyphPass direct;
      direct.blendCoverage = true;
      DrawStringThroughFontCache(FontCacheDraw, x, y, false, 1.0, 1.0, string, color, target, &clip, 1, handle,
                                 edgeColor, -1, vertical, nullptr, &direct);
      s.drawArea = savedArea;
      return 0;
    }
    FillMemImgRaw(work, &area, 0);
  } else {
    // A transparent colour that neither text nor edge uses.
    const TextPixelColors colors = PrepareColors(color, edgeColor);
    const int bytes = MemImgBytesPerPixel(work->base);
    const uint32_t mask = bytes >= 4 ? 0xFFFFFFFFu : (1u << (8 * bytes)) - 1;
    uint32_t t = work->base->transparentColor & mask;
    while (t == colors.text || t == colors.edge) t = (t + 1) & mask;
    SetMemImgTransparentColor(work, t);
    FillMemImgRaw(work, &area, t);
  }
  DrawStringThroughFontCache(FontCacheDraw, 0, 0, false, 1.0, 1.0, string, color, work, &area, 1,
                             handle, edgeColor, -1, vertical, nullptr);

  SetDrawBrightnessPacked(kNoBrightness);
  s.drawArea = shown;
  BlitMemImg(target, work, x, y, 1, s.blendImage);
  s.drawArea = savedArea;
  SetDrawBrightnessPacked(savedBrightness);
  return 0;
}

int DrawStringWithFontHandle(int32_t x, int32_t y, const char* string, int32_t color,
                             int32_t handle, int32_t edgeColor, int32_t vertical) {
  const DrawSettings& s = g_drawSettings;
  if (!string || !*string || s.drawingSuspended || s.drawAreaEmpty) return 0;
  if (!LookupFontHandle(handle)) return LogWrite("フォントハンドル値が異常です\n");
  WaitWhileInactive();
  const FontHandleRecord* font = LookupFontHandle(handle);
  if (!font) return -1;

  // Masked drawing and the front screen need the text's bounds (so would a
  // texture cache under subtractive blending, which this system never has).
  const bool bounded = s.maskedDrawing || s.drawScreen == -4;
  IntRect rect{};
  if (bounded) {
    const int32_t extent = SaturateCast<int32_t>(int64_t{font->size} + 3);
    rect = vertical ? IntRect{x, y, SaturateCast<int32_t>(int64_t{x} + extent), s.drawArea.bottom}
                    : IntRect{x, y, s.drawArea.right, SaturateCast<int32_t>(int64_t{y} + extent)};
    if (x >= s.drawArea.right) return 0;
  }
  if (s.maskedDrawing) BeginMaskedDraw(&rect);
  const int result = DrawStringViaSoftwareCache(string, color, handle, edgeColor, vertical, x, y);
  if (s.maskedDrawing) EndMaskedDraw(&rect);
  return result;
}

int DrawStringWithDefaultFont(int32_t x, int32_t y, const char* string, int32_t color,
                              int32_t edgeColor) {
  RefreshDefaultFont();
  return DrawStringWithFontHandle(x, y, string, color, GetDefaultFontHandle(), edgeColor, 0);
}
