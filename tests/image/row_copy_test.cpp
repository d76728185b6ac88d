#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "image/row_copy.h"

namespace {

struct Case {
  size_t bytes;
  int rows;
  size_t offset;  // of the destination's first byte in its buffer
};

enum class Pitches { Wider, Gapless, OneSourceRow };

// Copies the case's rows (pitches wider than the rows, none between them, or
// one source row into every row) into a buffer of 0xEE and counts the bytes
// that differ from the expected.
size_t WrongBytesAfterCopy(const Case& c, Pitches pitches) {
  const bool gapless = pitches == Pitches::Gapless;
  const intptr_t sPitch = pitches == Pitches::OneSourceRow ? 0 : static_cast<intptr_t>(c.bytes) + (gapless ? 0 : 3);
  const intptr_t dPitch = static_cast<intptr_t>(c.bytes) + (gapless ? 0 : 17);
  std::vector<uint8_t> src(std::max<size_t>(static_cast<size_t>(sPitch) * c.rows, c.bytes));
  for (size_t i = 0; i < src.size(); i++) src[i] = static_cast<uint8_t>(i * 7 + i / 251);
  std::vector<uint8_t> dst(c.offset + static_cast<size_t>(dPitch) * c.rows + 32, 0xEE);
  CopyImageRows(dst.data() + c.offset, dPitch, src.data(), sPitch, c.bytes, c.rows);
  size_t wrong = 0;
  for (size_t i = 0; i < dst.size(); i++) {
    uint8_t expect = 0xEE;
    if (i >= c.offset) {
      const size_t row = (i - c.offset) / dPitch, column = (i - c.offset) % dPitch;
      if (row < static_cast<size_t>(c.rows) && column < c.bytes) expect = src[row * sPitch + column];
    }
    wrong += dst[i] != expect;
  }
  return wrong;
}

// Every way of moving a row: short rows, long ones, areas without gaps, one
// row repeated, and copies large enough to stream past a small last-level
// cache, or past a small core cache whether or not streaming keeps the
// source there, in part or whole (and the same under the machine's own), at destination
// offsets that leave the rows off any alignment. Each row must arrive whole
// and nothing between rows or around the area may change.
TEST(RowCopy, EveryRowArrivesAndNothingAroundChanges) {
  const Case cases[] = {
      {2, 3, 1},      {4, 5, 0},       {20, 7, 3},      {64, 4, 0},       {256, 9, 6},
      {258, 9, 2},    {1024, 5, 8},    {4096, 3, 12},   {2050, 520, 2},   {4096, 260, 0},
      {31, 40000, 5}, {33, 33000, 13}, {4100, 300, 7},  {128, 50, 0},     {129, 9, 1},     {1000, 40, 3},
  };
  struct Caches {
    int64_t lastLevel, core;
    int keepSource;
  };
  const Caches caches[] = {{256 << 10, 0, 0}, {int64_t{1} << 40, 48 << 10, 1}, {int64_t{1} << 40, 48 << 10, 0}, {0, 0, -1}};
  for (const Caches& cache : caches) {
    SetRowCopyCacheBytesForTest(cache.lastLevel, cache.core, cache.keepSource);
    for (const Pitches pitches : {Pitches::Wider, Pitches::Gapless, Pitches::OneSourceRow}) {
      for (const Case& c : cases) {
        EXPECT_EQ(WrongBytesAfterCopy(c, pitches), 0u)
            << c.bytes << " bytes x " << c.rows << " rows at offset " << c.offset << ", caches " << cache.lastLevel
            << "/" << cache.core << "/" << cache.keepSource << ", pitches " << static_cast<int>(pitches);
      }
    }
  }
  SetRowCopyCacheBytesForTest(0);
}

}  // namespace
