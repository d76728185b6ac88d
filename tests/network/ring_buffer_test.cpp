// The network rings against a plain deque, and their growth.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <random>
#include <vector>

#include "core/memory.h"
#include "network/ring_buffer.h"

namespace {

TEST(RingBuffer, GrowthMovesWrappedBytesInOrderToTheStart) {
  // Capacity 16 holding "0123456789": "0123" at 12..15, "456789" at 0..5.
  RingBuffer ring{static_cast<uint8_t*>(VN_ALLOC(16)), 12, 6, 10, 16};
  std::memcpy(ring.data + 12, "0123", 4);
  std::memcpy(ring.data, "456789", 6);
  ASSERT_EQ(ReserveRingBuffer(&ring, 20), 0);
  EXPECT_EQ(ring.capacity, 1030);  // held + asked + 1000
  EXPECT_EQ(ring.read, 0);
  EXPECT_EQ(ring.write, 10);
  EXPECT_EQ(std::memcmp(ring.data, "0123456789", 10), 0);
  ASSERT_EQ(ReserveRingBuffer(&ring, 1020), 0);  // fits: no move
  EXPECT_EQ(ring.capacity, 1030);

  // A size the 32-bit ring cannot hold fails and drops what was held.
  EXPECT_EQ(ReserveRingBuffer(&ring, int64_t{0xFFFFFFFF}), -1);
  EXPECT_EQ(ring.data, nullptr);
  EXPECT_EQ(ring.held, 0);
  EXPECT_EQ(ring.capacity, 0);
  EXPECT_EQ(AppendRingBuffer(&ring, "x", -1), -1);
  FreeRingBuffer(&ring);
}

TEST(RingBuffer, SeededAppendsReadsAndPeeksMatchADeque) {
  std::mt19937 rng(26);
  RingBuffer ring{};
  std::deque<uint8_t> reference;
  std::vector<uint8_t> bytes(5000), out(5000);
  for (int op = 0; op < 4000; op++) {
    int n = static_cast<int>(rng() % 3000);
    int kind = static_cast<int>(rng() % 3);  // append, read, peek
    if (kind == 0) {
      for (int i = 0; i < n; i++) bytes[i] = static_cast<uint8_t>(rng());
      ASSERT_EQ(AppendRingBuffer(&ring, bytes.data(), n), 0);
      reference.insert(reference.end(), bytes.begin(), bytes.begin() + n);
    } else {
      bool enough = static_cast<size_t>(n) <= reference.size();
      ASSERT_EQ(ReadRingBuffer(&ring, out.data(), n, kind == 2), enough ? 0 : -1);
      if (enough) {
        ASSERT_TRUE(std::equal(out.begin(), out.begin() + n, reference.begin())) << "op " << op;
        if (kind == 1) reference.erase(reference.begin(), reference.begin() + n);
      }
    }
    ASSERT_EQ(ring.held, static_cast<int32_t>(reference.size()));
    ASSERT_LE(ring.held, ring.capacity);
  }
  FreeRingBuffer(&ring);
}

}  // namespace
