#include <atomic>

#include "core/core_api.h"
#include "core/helpers.h"
#include "platform/timer.h"

namespace {

// Read by any thread that asks the time.
std::atomic<int64_t (*)()> g_clockSourceForTest{nullptr};

}  // namespace

uint32_t GetMilliCount() { return static_cast<uint32_t>(GetMicroCount() / 1000) & 0x7FFFFFFFu; }

// One counter serves both: the monotonic clock is the machine's finest.
int64_t GetMicroCount(int useProcessorCounter) {
  int64_t (*source)() = g_clockSourceForTest.load(std::memory_order_relaxed);
  return source ? source() : static_cast<int64_t>(PlatformMicroseconds());
}

void SetClockSourceForTest(int64_t (*microseconds)()) {
  g_clockSourceForTest.store(microseconds, std::memory_order_relaxed);
}
