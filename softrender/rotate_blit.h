// The rotated and scaled blit of memory images: the whole source turned by
// an angle and scaled about a centre, under the current blend mode,
// parameter, brightness and draw area. Nearest sampling, positions in 14.18
// fixed point. Refused input draws nothing.
#pragma once
#include <cstdint>

#include "softrender/blit.h"

struct MEMIMG;

// The source's centre pixel (W / 2, H / 2) lands on (centreX, centreY); a
// positive angle (radians) turns clockwise on the screen, a negative scale
// adds a half turn. The turn flag mirrors the image left-right first (drawn
// as two triangles). The blend image (8-bit, at least the source's size)
// weighs each source pixel through the border table.
void RotateBlitMemImg(MEMIMG* destination, MEMIMG* source, int32_t centreX, int32_t centreY,
                      float angle, float scale, int32_t transparentFlag, int32_t turnFlag,
                      MEMIMG* blendImage);

// The source mapped onto the quadrilateral of corners[0..3] (x, y in whole
// pixels), which receive source positions (0, 0), (W, 0), (0, H), (W, H):
// two textured triangles.
void DrawQuadAsTrianglesMemImg(MEMIMG* destination, MEMIMG* source, const int32_t corners[4][2],
                               int32_t transparentFlag, MEMIMG* blendImage);

// Tests compare the runs found by division with the pixel-by-pixel test
// that serves extreme geometry: 0 forces the latter, 1 restores.
void SetRotateExactRunsForTest(int flag);

// Source and blend-image rows that the fixed row tables hold; taller images
// are drawn through tables allocated for the call.
constexpr int32_t kRotateRowTableSize = 4096;

struct RotateWalk;
// The walk in each destination depth, from the blits' choice of operation
// and modifiers.
void DrawRotateWalk32(const RotateWalk& walk, const MEMIMG* source, BlitChoice choice);
void DrawRotateWalk16(const RotateWalk& walk, const MEMIMG* source, BlitChoice choice);
