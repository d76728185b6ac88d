#include "core/core_api.h"
#include "platform/timer.h"

uint32_t GetMilliCount() { return PlatformMilliseconds() & 0x7FFFFFFFu; }

// One counter serves both: the monotonic clock is the machine's finest.
int64_t GetMicroCount(int useProcessorCounter) { return static_cast<int64_t>(PlatformMicroseconds()); }
