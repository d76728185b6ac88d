// Triangles drawn into memory images, solid or mapped from a source image.
// One set-up and edge walker serve every variant; the per-pixel work is a
// specialised loop per (target, source kind, mode, modifiers), chosen once
// per call.
#pragma once
#include <cstdint>

#include "core/types.h"

struct MEMIMG;

struct TriangleVertex {
  int32_t x;  // destination column
  int32_t y;  // destination row
  int32_t u;  // source column (textured triangles only)
  int32_t v;  // source row
};

// Positions, slopes and texture coordinates are 14.18 fixed point. Vertex
// positions get half a pixel so that edges are sampled at pixel centres.
constexpr int kTriangleFracBits = 18;
constexpr int32_t kTriangleOne = 1 << kTriangleFracBits;
constexpr int32_t kTriangleHalf = kTriangleOne / 2;
// Every vertex value, and every difference between two vertices taken
// either way round, must lie in this range for the 14.18 values to fit 32 bits.
constexpr int32_t kTriangleCoordMin = -8192;
constexpr int32_t kTriangleCoordMax = 8191;

// Whole pixel of a 14.18 value, truncated toward zero (not rounded down).
constexpr int32_t TrianglePixel(int32_t fixed) {
  return (fixed + (fixed < 0 ? kTriangleOne - 1 : 0)) >> kTriangleFracBits;
}

struct TriangleEdge {
  int32_t x;      // current position, 14.18
  int32_t slope;  // 14.18 per row
  int32_t rows;   // rows remaining
};

struct TriangleSide {
  TriangleEdge edge;
  TriangleEdge next;  // the side's second edge, when hasNext
  int32_t hasNext;
};

// What the set-up hands to every variant; lives for one call.
struct TriangleSetup {
  uint8_t* destPixels;
  int32_t destPitch;
  const uint8_t* srcPixels;
  int32_t srcPitch;
  uint32_t srcExtentU;  // source width and height in 14.18, compared unsigned
  uint32_t srcExtentV;
  uint32_t transparentColor;
  const void* palette;
  const uint8_t* blendPixels;
  int32_t blendPitch;

  int32_t dudx, dudy, dvdx, dvdy;  // texture gradients, 14.18
  int32_t uRef, vRef;              // texture coordinates at the reference vertex
  int32_t xRef, yRef;              // its position in whole pixels

  IntRect area;  // draw area: left, top inclusive; right, bottom exclusive

  int32_t param;               // blend parameter 0..255
  uint32_t brightnessRgb;      // the draw brightness, 0x00RRGGBB
  const uint8_t* borderTable;  // blend-image weights

  TriangleSide left, right;
  int32_t startRow;

  uint32_t solidColor;  // after brightness (solid triangles)
};

// Fills the geometry of the set-up (gradients when textured, reference point,
// edges, start row). 0, or -1 when nothing is to be drawn: collinear vertices,
// or a value or a difference (either way round) outside
// kTriangleCoordMin..kTriangleCoordMax (texture coordinates are checked only
// when textured).
int SetupTriangleGeometry(TriangleSetup* setup, const TriangleVertex vertices[3], int textured);

// Draws one triangle under the current draw state. A null source fills with
// colour (a pixel in the destination's format); with a source, the source is
// mapped affinely from the vertices' u, v. The transparent flag and the blend
// image apply to textured triangles only.
void DrawTriangleMemImg(MEMIMG* destination, MEMIMG* source, const TriangleVertex vertices[3],
                        int32_t transparentFlag, MEMIMG* blendImage, uint32_t color);
