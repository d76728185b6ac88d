// Clocks of the machine: a millisecond tick and a high-resolution counter.
#pragma once
#include <cstdint>

uint32_t PlatformMilliseconds();  // monotonic, wraps at 2^32
uint64_t PlatformMicroseconds();  // monotonic
void PlatformSleepMs(uint32_t ms);
