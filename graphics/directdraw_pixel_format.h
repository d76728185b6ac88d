// The 32-byte DirectDraw pixel-format record, as the movie surface code and
// the memory images describe their pixels with it.
#pragma once
#include <cstdint>

struct DirectDrawPixelFormat {
  uint32_t size;      // 32
  uint32_t flags;     // kDirectDrawPixelFormatRgb
  uint32_t fourCC;
  uint32_t bitCount;
  uint32_t redMask;
  uint32_t greenMask;
  uint32_t blueMask;
  uint32_t alphaMask;
};
static_assert(sizeof(DirectDrawPixelFormat) == 32);

constexpr uint32_t kDirectDrawPixelFormatRgb = 0x40;

void MakeDirectDrawPixelFormat(DirectDrawPixelFormat* record, int32_t bitCount, uint32_t redMask,
                               uint32_t greenMask, uint32_t blueMask, uint32_t alphaMask);
