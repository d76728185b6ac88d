// Position arithmetic shared by plain files and memory streams, so that both
// clamp seeks and cut reads alike.
#pragma once
#include <cstddef>
#include <cstdint>

// The position a seek reaches (origin 0 start, 1 current, 2 end), kept within
// 0..size; false for an unknown origin.
inline bool SeekTarget(int64_t position, int64_t size, int64_t offset, int origin, int64_t* target) {
  int64_t base;
  switch (origin) {
    case 0: base = 0; break;
    case 1: base = position; break;
    case 2: base = size; break;
    default: return false;
  }
  int64_t t;
  if (__builtin_add_overflow(base, offset, &t)) t = offset < 0 ? 0 : size;
  *target = t < 0 ? 0 : (t > size ? size : t);
  return true;
}

// Bytes that a read of count elements of size takes: all, or what remains.
inline uint64_t ReadLength(size_t size, size_t count, uint64_t remaining) {
  uint64_t wanted;
  if (__builtin_mul_overflow(static_cast<uint64_t>(size), static_cast<uint64_t>(count), &wanted)) return remaining;
  return wanted > remaining ? remaining : wanted;
}
