// Building the 32-byte DirectDraw pixel-format record, as the movie surface
// code and the memory images describe their pixels with it.
#pragma once
#include <cstdint>

#include "platform/directdraw.h"

void MakeDirectDrawPixelFormat(DirectDrawPixelFormat* record, int32_t bitCount, uint32_t redMask,
                               uint32_t greenMask, uint32_t blueMask, uint32_t alphaMask);
