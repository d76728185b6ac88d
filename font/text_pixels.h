// Writing a cached character's pixels into a memory image, by the image's
// pixel form and the font type. Internal to the font subsystem.
#pragma once
#include <cstdint>

#include "core/types.h"
#include "font/font_handle.h"

struct MEMIMG;

// Raw pixel values of the target's form: the text colour and the edge colour.
struct TextPixelColors {
  uint32_t text;
  uint32_t edge;
};

// Writes the black box of the character at cache position into target: box
// is where the whole box would land (right and bottom exclusive); only its
// part inside clip is written. Vertical text turns the box a quarter
// clockwise: cache pixel (u, v) lands at (box.right - 1 - v, box.top + u).
// Pixels the character leaves empty are kept (keepBackground 1) or set to 0.
// A target whose pixels do not fit the font type (an anti-aliased font
// without an alpha place) gets nothing.
void WriteCachedGlyph(MEMIMG* target, const FontHandleRecord& font, int32_t position,
                      const IntRect& box, const IntRect& clip, int32_t vertical,
                      const TextPixelColors& colors, int32_t keepBackground);

// Tests: false sends every character through the per-pixel writers and
// blended anti-aliased text through the work image, the references of the
// faster paths; true (the default) takes the faster paths where they apply.
void SetFastTextPathsForTest(bool enabled);
bool FastTextPaths();

// Blends the box of an anti-aliased character (font type 2, horizontal)
// into a 32-bit target without alpha, each pixel moved toward the text
// colour by its coverage as the blit moves it toward a pixel of that alpha
// (16 per coverage step): what writing the box into an alpha work image and
// blitting that in mode 0 with the transparent flag gives. The target's
// top bytes are kept; only the box's part inside clip is touched.
void BlendCachedGlyph(MEMIMG* target, const FontHandleRecord& font, int32_t position, const IntRect& box,
                      const IntRect& clip, const TextPixelColors& colors);
