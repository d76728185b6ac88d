// Source pixels shared by the renderer benchmarks, made as the performance
// anchors make theirs.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstdint>

// The anchors' sprite alpha at (x, y) of a w x h image: an ellipse, 255
// inside, 0 outside, with a ramp of about 2 pixels.
inline uint32_t AnchorSpriteAlpha(int x, int y, int w, int h) {
  const double radius = std::min(w, h) / 2.0;
  const double nx = (x + 0.5 - w / 2.0) / (w / 2.0), ny = (y + 0.5 - h / 2.0) / (h / 2.0);
  const double r = std::sqrt(nx * nx + ny * ny);
  return static_cast<uint32_t>(std::clamp(std::lround((1.0 - r) * radius * 128.0 + 128.0), 0L, 255L));
}
