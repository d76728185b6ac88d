// Whole-row copies between images, the one move every plain copy makes.
#pragma once
#include <cstddef>
#include <cstdint>

// Copies rows rows of bytes bytes each; the areas must not overlap.
void CopyImageRows(uint8_t* d, intptr_t dPitch, const uint8_t* s, intptr_t sPitch, size_t bytes, int rows);

// Asks for the next row of a destination ahead of its stores. Rows of tiles
// and sprites start on a new page each, where the hardware fetches nothing
// ahead by itself; a row as long as a page or longer streams on its own.
// Always inlined: the optimiser takes a called prefetch for a call without
// effects and drops it.
[[gnu::always_inline]] inline void PrefetchRowForWrite(const uint8_t* row, size_t bytes) {
  if (bytes == 0 || bytes >= 4096) return;
  for (size_t b = 0; b < bytes; b += 64) __builtin_prefetch(row + b, 1);
  __builtin_prefetch(row + bytes - 1, 1);
}
