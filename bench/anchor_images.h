// Source pixels shared by the renderer benchmarks, made as the performance
// anchors make theirs.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "softrender/blend_tables.h"
#include "softrender/memimg.h"

constexpr int kAnchorDstW = 1024, kAnchorDstH = 768;

// Builds the tables (border weight 255 everywhere) and makes the anchors'
// 1024 x 768 X8R8G8B8 destination.
inline void MakeAnchorDestination(MEMIMG* dst) {
  InitMemImgBlendTables();
  SetMemImgBorderTable(0, 0);
  CreateMemImg(dst, kAnchorDstW, kAnchorDstH, -1, 0, MemImgType32, 0, 0, 0, nullptr);
}

// The anchors' destination colour before every case.
inline void ResetAnchorDestination(MEMIMG* dst) {
  for (int y = 0; y < dst->height; y++) {
    auto* row = reinterpret_cast<uint32_t*>(dst->pixels + static_cast<intptr_t>(y) * dst->base->pitch);
    std::fill(row, row + dst->width, 0xFF404040u);
  }
}

// The anchors' sprite alpha at (x, y) of a w x h image: an ellipse, 255
// inside, 0 outside, with a ramp of about 2 pixels.
inline uint32_t AnchorSpriteAlpha(int x, int y, int w, int h) {
  const double radius = std::min(w, h) / 2.0;
  const double nx = (x + 0.5 - w / 2.0) / (w / 2.0), ny = (y + 0.5 - h / 2.0) / (h / 2.0);
  const double r = std::sqrt(nx * nx + ny * ny);
  return static_cast<uint32_t>(std::clamp(std::lround((1.0 - r) * radius * 128.0 + 128.0), 0L, 255L));
}
