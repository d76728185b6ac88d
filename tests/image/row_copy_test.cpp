#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "image/row_copy.h"

namespace {

// Every way of moving a row: short rows, long ones, and copies large enough
// to stream past the caches, at destination offsets that leave the rows off
// any alignment. Each row must arrive whole and nothing between rows or
// around the area may change.
TEST(RowCopy, EveryRowArrivesAndNothingAroundChanges) {
  struct Case {
    size_t bytes;
    int rows;
    size_t offset;  // of the destination's first byte in its buffer
  };
  const Case cases[] = {
      {2, 3, 1},      {4, 5, 0},       {20, 7, 3},      {64, 4, 0},       {256, 9, 6},
      {258, 9, 2},    {1024, 5, 8},    {4096, 3, 12},   {2050, 520, 2},   {4096, 260, 0},
      {31, 40000, 5}, {33, 33000, 13}, {4100, 300, 7},
  };
  for (const Case& c : cases) {
    const intptr_t sPitch = static_cast<intptr_t>(c.bytes) + 3, dPitch = static_cast<intptr_t>(c.bytes) + 17;
    std::vector<uint8_t> src(static_cast<size_t>(sPitch) * c.rows);
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
    EXPECT_EQ(wrong, 0u) << c.bytes << " bytes x " << c.rows << " rows at offset " << c.offset;
  }
}

}  // namespace
