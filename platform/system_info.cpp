#include "platform/system_info.h"

#include <sys/sysinfo.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

PlatformSystemInfo GetPlatformSystemInfo() {
  PlatformSystemInfo info;
  utsname name;
  if (uname(&name) == 0) std::snprintf(info.osName, sizeof(info.osName), "%s %s", name.sysname, name.release);
  info.cpuCount = static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN));
  if (FILE* f = std::fopen("/proc/cpuinfo", "r")) {
    char line[512];
    while (std::fgets(line, sizeof(line), f)) {
      if (std::strncmp(line, "model name", 10) != 0) continue;
      const char* colon = std::strchr(line, ':');
      if (!colon) continue;
      const char* start = colon + 1;
      while (*start == ' ' || *start == '\t') start++;
      size_t length = std::strlen(start);
      while (length > 0 && (start[length - 1] == '\n' || start[length - 1] == ' ')) length--;
      std::snprintf(info.cpuName, sizeof(info.cpuName), "%.*s", static_cast<int>(length), start);
      break;
    }
    std::fclose(f);
  }
  struct sysinfo mem;
  if (sysinfo(&mem) == 0) {
    info.totalMemoryBytes = static_cast<int64_t>(mem.totalram) * mem.mem_unit;
    info.freeMemoryBytes = static_cast<int64_t>(mem.freeram) * mem.mem_unit;
  }
  return info;
}

namespace {

// The first line of a small kernel file; false when unreadable.
bool ReadFirstLine(const char* path, char* text, int size) {
  FILE* f = std::fopen(path, "r");
  if (!f) return false;
  const bool read = std::fgets(text, size, f) != nullptr;
  std::fclose(f);
  return read;
}

// A number from a kernel cache file, such as "3" or "32768K", with its
// unit applied; 0 when unreadable.
int64_t ReadCacheNumber(const char* path) {
  char text[64] = "";
  if (!ReadFirstLine(path, text, sizeof(text))) return 0;
  char* unit = nullptr;
  const long long value = std::strtoll(text, &unit, 10);
  if (value <= 0) return 0;
  switch (*unit) {
    case 'K': return value << 10;
    case 'M': return value << 20;
    case 'G': return value << 30;
    default: return value;
  }
}

// The data or unified cache of a level that the kernel lists for the first
// processor.
int64_t KernelCacheBytes(int level) {
  for (int index = 0; index < 16; index++) {
    char path[96];
    std::snprintf(path, sizeof(path), "/sys/devices/system/cpu/cpu0/cache/index%d/type", index);
    char type[32] = "";
    if (!ReadFirstLine(path, type, sizeof(type))) break;
    if (std::strncmp(type, "Instruction", 11) == 0) continue;
    std::snprintf(path, sizeof(path), "/sys/devices/system/cpu/cpu0/cache/index%d/level", index);
    if (ReadCacheNumber(path) != level) continue;
    std::snprintf(path, sizeof(path), "/sys/devices/system/cpu/cpu0/cache/index%d/size", index);
    return ReadCacheNumber(path);
  }
  return 0;
}

}  // namespace

int64_t PlatformCacheBytes(int level) {
  long bytes = 0;
  switch (level) {
    case 1: bytes = sysconf(_SC_LEVEL1_DCACHE_SIZE); break;
    case 2: bytes = sysconf(_SC_LEVEL2_CACHE_SIZE); break;
    case 3: bytes = sysconf(_SC_LEVEL3_CACHE_SIZE); break;
    default: return 0;
  }
  return bytes > 0 ? bytes : KernelCacheBytes(level);
}

int64_t PlatformLastLevelCacheBytes(int64_t fallback) {
  for (int level = 3; level >= 1; level--) {
    if (const int64_t bytes = PlatformCacheBytes(level); bytes > 0) return bytes;
  }
  return fallback;
}
