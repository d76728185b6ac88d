// Small maths shared by pictures and sound: the half turn, and soft ramps
// between two edges.
#pragma once
#include <algorithm>

namespace datagen {

constexpr float kPi = 3.14159265f;

inline float Clamp01(float x) { return std::min(1.0f, std::max(0.0f, x)); }

// 0 at edge0, 1 at edge1 (either order), smooth at both ends.
inline float Smoothstep(float edge0, float edge1, float x) {
  const float t = Clamp01((x - edge0) / (edge1 - edge0));
  return t * t * (3.0f - 2.0f * t);
}

}  // namespace datagen
