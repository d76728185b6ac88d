#include "platform/system_info.h"

#include <sys/sysinfo.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

PlatformSystemInfo GetPlatformSystemInfo() {
  PlatformSystemInfo info;
  utsname name;
  if (uname(&name) == 0) info.osName = std::string(name.sysname) + " " + name.release;
  info.cpuCount = static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN));
  if (FILE* f = std::fopen("/proc/cpuinfo", "r")) {
    char line[512];
    while (std::fgets(line, sizeof(line), f)) {
      if (std::strncmp(line, "model name", 10) != 0) continue;
      const char* colon = std::strchr(line, ':');
      if (!colon) continue;
      info.cpuName = colon + 1;
      while (!info.cpuName.empty() && (info.cpuName.front() == ' ' || info.cpuName.front() == '\t'))
        info.cpuName.erase(0, 1);
      while (!info.cpuName.empty() && (info.cpuName.back() == '\n' || info.cpuName.back() == ' '))
        info.cpuName.pop_back();
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
