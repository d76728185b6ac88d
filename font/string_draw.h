// Drawing and measuring strings through a font's cache. Internal to the library.
#pragma once
#include <cstdint>

#include "core/types.h"

struct MEMIMG;

enum FontCacheMode : int32_t {
  FontCacheMeasure = 0,
  FontCacheDraw = 1,
};

// What a pass does besides measuring or drawing, when given.
struct GlyphPass {
  // Out: two characters' boxes share a column (a row, for vertical text),
  // so one could write over the other.
  bool boxesOverlap = false;
  // Anti-aliased characters are blended into the target by their coverage
  // (BlendCachedGlyph) instead of written as pixels with alpha.
  bool blendCoverage = false;
};

// Walks the first length bytes of the string (-1: all of it) in the font:
// measures it, or draws it into target (null: nothing is drawn) clipped to
// clip, with (x, y) the top-left of the first character. The scale only
// applies to a texture cache, which this system never has. size (when
// given) gets {width, height} of the text: {total advance, character
// height}, turned for vertical text. Returns the total advance, or -1.
int DrawStringThroughFontCache(int32_t mode, int32_t x, int32_t y, bool scale, double scaleX,
                               double scaleY, const char* string, int32_t color, MEMIMG* target,
                               const IntRect* clip, int32_t keepBackground, int32_t handle,
                               int32_t edgeColor, int32_t length, int32_t vertical, int32_t* size,
                               GlyphPass* pass = nullptr);

// The software path of a draw: straight into the draw target, or through a
// work image when the blend mode or anti-aliasing asks for blending. 0.
int DrawStringViaSoftwareCache(const char* string, int32_t color, int32_t handle,
                               int32_t edgeColor, int32_t vertical, int32_t x, int32_t y);
