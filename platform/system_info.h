// What the machine is, for the library's start-up report and for the
// thresholds the renderer takes from it.
#pragma once
#include <cstdint>

struct PlatformSystemInfo {
  char osName[160] = "";   // kernel name and release
  char cpuName[160] = "";  // processor model
  int cpuCount = 0;
  int64_t totalMemoryBytes = 0;
  int64_t freeMemoryBytes = 0;
};

PlatformSystemInfo GetPlatformSystemInfo();

// The size in bytes of the processor's data or unified cache of a level (1
// to 3) as the system reports it (the C library, else the kernel's cache
// description); 0 when it reports none.
int64_t PlatformCacheBytes(int level);
// The largest of them, or fallback when the system reports none.
int64_t PlatformLastLevelCacheBytes(int64_t fallback);
