#include "platform/system_info.h"

#include <sys/sysinfo.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdio>
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
