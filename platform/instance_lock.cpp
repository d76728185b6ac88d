#include "platform/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

int g_lockFd = -1;

// FNV-1a: the name may hold any bytes, the file name only safe ones.
uint64_t HashName(const char* name) {
  uint64_t h = 1469598103934665603ull;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p; p++) {
    h ^= *p;
    h *= 1099511628211ull;
  }
  return h;
}

}  // namespace

bool PlatformInstanceLockPath(const char* name, char* path, size_t size) {
  const char* dir = std::getenv("XDG_RUNTIME_DIR");
  if (!dir || !*dir) dir = "/tmp";
  const int length = std::snprintf(path, size, "%s/varnok-%u-%016llx.lock", dir, static_cast<unsigned>(getuid()),
                                   static_cast<unsigned long long>(HashName(name ? name : "")));
  return length > 0 && static_cast<size_t>(length) < size;
}

int PlatformAcquireInstanceLock(const char* name) {
  if (g_lockFd >= 0) return 0;
  char path[4096];
  if (!PlatformInstanceLockPath(name, path, sizeof(path))) return 0;  // nowhere to keep the lock: let the program run
  int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return 0;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return -1;
  }
  g_lockFd = fd;
  return 0;
}

void PlatformReleaseInstanceLock() {
  if (g_lockFd < 0) return;
  flock(g_lockFd, LOCK_UN);
  close(g_lockFd);
  g_lockFd = -1;
}
