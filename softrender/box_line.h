// Solid-colour boxes and one-pixel lines drawn into memory images under the
// current blend mode, parameter and brightness, clipped to the draw area.
// The colour is a raw pixel of the destination's format (X8R8G8B8, or
// R5G6B5 in the low 16 bits). Refused input draws nothing.
#pragma once
#include <cstdint>

#include "core/types.h"

struct MEMIMG;

// One line of a list; the parameter field is carried but not read.
struct LineRecord {
  int32_t x1;
  int32_t y1;
  int32_t x2;
  int32_t y2;
  int32_t color;
  int32_t param;
};

// Fills rect (corners in either order; null: the whole image).
void FillBoxMemImg(MEMIMG* destination, const IntRect* rect, int32_t color);
// From (x1, y1) to (x2, y2), the end point left out, so that edges drawn
// corner to corner cover every corner once.
void DrawLineMemImg(MEMIMG* destination, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                    int32_t color);
// DrawLineMemImg for each record in order.
void DrawLineListMemImg(MEMIMG* destination, const LineRecord* lines, int32_t count);
