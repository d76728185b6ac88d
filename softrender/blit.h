// The plain and the stretched blit of memory images, under the current blend
// mode, parameter, brightness, draw area and optional blend image. Both read
// the draw state once per call and return nothing; refused input draws nothing.
#pragma once
#include <cstdint>

#include "core/types.h"
#include "softrender/memimg.h"

// Draws the whole source with its top-left pixel at (x, y). The transparent
// flag skips pixels equal to the source's transparent colour (alpha sources:
// alpha 0); the blend image (8-bit, at least the source's size) weighs each
// source pixel through the border table.
void BlitMemImg(MEMIMG* destination, const MEMIMG* source, int32_t x, int32_t y,
                int32_t transparentFlag, const MEMIMG* blendImage);

// Draws the whole source into rect (x1, y1, x2, y2); a pair given in reverse
// mirrors that axis. Right and bottom are exclusive after ordering.
void StretchBlitMemImg(MEMIMG* destination, const MEMIMG* source, const IntRect* rect,
                       int32_t transparentFlag, const MEMIMG* blendImage);

// Shared by the blits: 1 when source may be drawn into destination (same
// colour type 0 or 1, destination without palette and alpha).
int BlitImagesMatch(const MEMIMG* destination, const MEMIMG* source);
// The draw area, kept inside the destination.
IntRect BlitClipRect(const MEMIMG* destination);
// 1 when the blend image can be read at every source position.
int BlitBlendImageFits(const MEMIMG* blendImage, const MEMIMG* source);

#include "softrender/pixel_ops32.h"

// The operation and modifiers of one draw, from the draw state, the source
// and the arguments; op is Nothing when the mode or parameter draws nothing.
struct BlitChoice {
  BlendOp op;
  unsigned mods;
};
BlitChoice ChooseBlitVariant(const MEMIMG* source, int32_t transparentFlag,
                             const MEMIMG* blendImage);
// The modifier set alone; the triangles pick their operation themselves.
unsigned ChooseBlitModifiers(const MEMIMG* source, int32_t transparentFlag,
                             const MEMIMG* blendImage);

struct BlitGeometry;
// Fills what the blits share in either depth: the destination start and
// clipped size, the transparent colour, the border table, and the palette (a
// palette source's 256 entries are copied to paletteCopy, which the
// full-strength subtracts read). false when nothing can be drawn.
bool StartBlitGeometry(BlitGeometry* g, MEMIMG* destination, const IntRect& clipped,
                       const MEMIMG* source, BlendOp op, uint32_t* paletteCopy);

// Which loop a set-up draw runs; the run table only for whole, unclipped
// draws with the transparent flag 1.
enum class BlitLoopKind { Plain, RunTable, Stretch };
// Runs the variant of the choice over the geometry, by the source's kind
// and depth; DrawBlitJob16 is the 16-bit half.
void DrawBlitJob(BlitLoopKind kind, const BlitGeometry& g, const BlitChoice& choice,
                 const MEMIMG* source);
void DrawBlitJob16(BlitLoopKind kind, const BlitGeometry& g, const BlitChoice& choice,
                   const MEMIMG* source);
