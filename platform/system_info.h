// What the machine is, for the library's start-up report.
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
