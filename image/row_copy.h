// Whole-row copies between images, the one move every plain copy makes, and
// the string stores of long fills.
#pragma once
#include <cstddef>
#include <cstdint>

// Copies rows rows of bytes bytes each; the areas must not overlap. Copies
// that overflow the last-level cache the system reports store around it, as
// do those whose source fits the core's cache only alone, where that is
// measured to pay; sPitch 0 copies one source row into every row.
void CopyImageRows(uint8_t* d, intptr_t dPitch, const uint8_t* s, intptr_t sPitch, size_t bytes, int rows);
// Tests: the last-level and core cache sizes the copies assume (0 or less:
// the system's), and whether streaming keeps a source in the core (1 or 0;
// -1: as measured).
void SetRowCopyCacheBytesForTest(int64_t lastLevel, int64_t core = 0, int keepSource = -1);

// Rows this long or longer stream on their own: the hardware fetches ahead
// within a page.
constexpr size_t kRowFetchedByHardware = 4096;
// Sixteen lines: what one core can have on its way from memory at once.
constexpr size_t kRowStartFetched = 1024;

// Asks for the next row of a destination ahead of its stores. Rows of tiles
// and sprites start on a new page each, where the hardware fetches nothing
// ahead by itself; a row as long as a page or longer streams on its own.
// Only a row's first lines are asked for: once its stores begin, the
// hardware streams the rest of the page, and a longer burst of requests
// than a core keeps in flight holds up the row being drawn.
// Always inlined: the optimiser takes a called prefetch for a call without
// effects and drops it.
[[gnu::always_inline]] inline void PrefetchRowForWrite(const uint8_t* row, size_t bytes) {
  if (bytes == 0 || bytes >= kRowFetchedByHardware) return;
  if (bytes <= 128) {
    __builtin_prefetch(row, 1);
    __builtin_prefetch(row + bytes / 2, 1);
    __builtin_prefetch(row + bytes - 1, 1);
    return;
  }
  const size_t asked = bytes < kRowStartFetched ? bytes : kRowStartFetched;
  for (size_t b = 0; b < asked; b += 64) __builtin_prefetch(row + b, 1);
  __builtin_prefetch(row + asked - 1, 1);
}

// True when a fill of this many gapless bytes should go to StringFill.
bool StringFillPays(size_t bytes);

// Stores count copies of a 16- or 32-bit value from d on, by the
// processor's string stores.
template <class Pixel>
inline void StringFill(Pixel* d, size_t count, Pixel value) {
  static_assert(sizeof(Pixel) == 2 || sizeof(Pixel) == 4);
#if defined(__x86_64__)
  if constexpr (sizeof(Pixel) == 4) {
    asm volatile("rep stosl" : "+D"(d), "+c"(count) : "a"(value) : "memory");
  } else {
    asm volatile("rep stosw" : "+D"(d), "+c"(count) : "a"(value) : "memory");
  }
#else
  for (size_t i = 0; i < count; i++) d[i] = value;
#endif
}
