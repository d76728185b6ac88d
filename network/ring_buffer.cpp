#include "network/ring_buffer.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "core/log.h"
#include "core/memory.h"

namespace {

// Room kept above what is asked, so that small appends do not grow the ring each time.
constexpr int64_t kGrowthSlack = 1000;

}  // namespace

void WrapRingBufferIndexes(RingBuffer* ring) {
  if (ring->read == ring->capacity) ring->read = 0;
  if (ring->write == ring->capacity) ring->write = 0;
}

int ReadRingBuffer(RingBuffer* ring, void* buffer, int32_t n, int peek) {
  WrapRingBufferIndexes(ring);
  if (n < 0 || ring->held < n) return -1;
  if (n == 0) return 0;
  int32_t first = ring->capacity - ring->read;
  if (first > n) first = n;
  std::memcpy(buffer, ring->data + ring->read, static_cast<size_t>(first));
  std::memcpy(static_cast<uint8_t*>(buffer) + first, ring->data, static_cast<size_t>(n - first));
  if (!peek) {
    ring->read = n - first > 0 ? n - first : ring->read + n;
    ring->held -= n;
  }
  return 0;
}

int ReserveRingBuffer(RingBuffer* ring, int64_t n) {
  WrapRingBufferIndexes(ring);
  if (n < 0) return -1;
  if (ring->capacity >= ring->held + n) return 0;
  int64_t capacity = ring->held + n + kGrowthSlack;
  // At least doubled while the ring can grow, so that a reader lagging behind
  // a steady sender does not pay a copy of everything held every few messages.
  if (capacity <= INT32_MAX && capacity < 2 * static_cast<int64_t>(ring->capacity)) {
    capacity = std::min<int64_t>(2 * static_cast<int64_t>(ring->capacity), INT32_MAX);
  }
  uint8_t* data = capacity <= INT32_MAX ? static_cast<uint8_t*>(VN_ALLOC(static_cast<size_t>(capacity))) : nullptr;
  if (!data) {
    FreeRingBuffer(ring);
    LogPrintf("リングバッファの再確保に失敗しました(確保しようとしたサイズ %lld byte)",
              static_cast<long long>(capacity));
    return -1;
  }
  if (ring->held > 0) {
    int32_t first = ring->capacity - ring->read;
    if (first > ring->held) first = ring->held;
    std::memcpy(data, ring->data + ring->read, static_cast<size_t>(first));
    std::memcpy(data + first, ring->data, static_cast<size_t>(ring->held - first));
  }
  MemFree(ring->data);
  ring->data = data;
  ring->capacity = static_cast<int32_t>(capacity);
  ring->read = 0;
  ring->write = ring->held;
  return 0;
}

bool RingBufferCanHold(const RingBuffer* ring, int64_t n) {
  return n >= 0 && ring->held + n + kGrowthSlack <= INT32_MAX;
}

int AppendRingBuffer(RingBuffer* ring, const void* bytes, int32_t n) {
  if (n < 0 || ReserveRingBuffer(ring, n) != 0) {
    return LogPrintf("リングバッファへのデータの追加に失敗しました(追加する長さ %d byte)", n);
  }
  if (n == 0) return 0;
  int32_t first = ring->capacity - ring->write;
  if (first > n) first = n;
  std::memcpy(ring->data + ring->write, bytes, static_cast<size_t>(first));
  std::memcpy(ring->data, static_cast<const uint8_t*>(bytes) + first, static_cast<size_t>(n - first));
  ring->write = n - first > 0 ? n - first : ring->write + n;
  ring->held += n;
  return 0;
}

int FreeRingBuffer(RingBuffer* ring) {
  MemFree(ring->data);
  *ring = RingBuffer{};
  return 0;
}
