// Plain value types shared by every subsystem of the library.
#pragma once
#include <cstdint>

// Right and bottom are exclusive where a rectangle of pixels is meant.
struct IntRect {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
};

struct Vector3 {
  float x, y, z;
};

// Row-major; points are multiplied from the left (p' = p * M).
struct Matrix4 {
  float m[4][4];
};
