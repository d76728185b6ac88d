// What the machine is, for the library's start-up report.
#pragma once
#include <cstdint>
#include <string>

struct PlatformSystemInfo {
  std::string osName;   // kernel name and release
  std::string cpuName;  // processor model
  int cpuCount = 0;
  int64_t totalMemoryBytes = 0;
  int64_t freeMemoryBytes = 0;
};

PlatformSystemInfo GetPlatformSystemInfo();
