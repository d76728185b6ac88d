#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/memory.h"

namespace {

int Fd(PlatformFileHandle file) { return static_cast<int>(file - 1); }
PlatformFileHandle FromFd(int fd) { return fd < 0 ? 0 : static_cast<PlatformFileHandle>(fd) + 1; }

}  // namespace

struct PlatformDir {
  DIR* dir;
  char path[4096];
};

PlatformFileHandle PlatformFileOpenRead(const char* path) {
  if (!path) return 0;
  // Without O_NONBLOCK the open itself would wait for a writer on a named
  // pipe (or a device), and no signal could end the program meanwhile.
  int fd;
  do {
    fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return 0;
  struct stat st;
  const int flags = fcntl(fd, F_GETFL);
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    close(fd);
    return 0;
  }
  return FromFd(fd);
}

PlatformFileHandle PlatformFileCreate(const char* path) {
  if (!path) return 0;
  int fd;
  do {
    fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  } while (fd < 0 && errno == EINTR);
  return FromFd(fd);
}

PlatformFileHandle PlatformFileCreateTemp(char* pathBuffer, size_t bufferSize) {
  const char* dir = std::getenv("TMPDIR");
  if (!dir || !*dir) dir = "/tmp";
  char name[4096];
  size_t dirLength = std::strlen(dir);
  while (dirLength > 1 && dir[dirLength - 1] == '/') dirLength--;
  static const char kTemplate[] = "/tmpXXXXXX";
  if (dirLength + sizeof(kTemplate) > sizeof(name)) return 0;
  std::memcpy(name, dir, dirLength);
  std::memcpy(name + dirLength, kTemplate, sizeof(kTemplate));
  if (!pathBuffer || std::strlen(name) + 1 > bufferSize) return 0;
  int fd = mkostemp(name, O_CLOEXEC);
  if (fd < 0) return 0;
  std::memcpy(pathBuffer, name, std::strlen(name) + 1);
  return FromFd(fd);
}

PlatformFileHandle PlatformFileCreateFresh(const char* path) {
  if (!path) return 0;
  struct stat st;
  if (lstat(path, &st) == 0) {
    if (!S_ISREG(st.st_mode) || unlink(path) != 0) return 0;
  } else if (errno != ENOENT) {
    return 0;
  }
  // O_EXCL and O_NOFOLLOW: whatever appeared at the path since is not written through.
  int fd;
  do {
    fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  } while (fd < 0 && errno == EINTR);
  return FromFd(fd);
}

void PlatformFileClose(PlatformFileHandle file) {
  if (file > 0) close(Fd(file));
}

int64_t PlatformFileSize(PlatformFileHandle file) {
  struct stat st;
  if (file <= 0 || fstat(Fd(file), &st) != 0) return -1;
  return static_cast<int64_t>(st.st_size);
}

int64_t PlatformFileReadAt(PlatformFileHandle file, void* buffer, size_t size, int64_t offset) {
  if (file <= 0 || offset < 0) return -1;
  size_t done = 0;
  while (done < size) {
    ssize_t n = pread(Fd(file), static_cast<char*>(buffer) + done, size - done,
                      static_cast<off_t>(offset + static_cast<int64_t>(done)));
    if (n < 0) {
      if (errno == EINTR) continue;
      return done ? static_cast<int64_t>(done) : -1;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<int64_t>(done);
}

int64_t PlatformFileWrite(PlatformFileHandle file, const void* buffer, size_t size) {
  if (file <= 0) return -1;
  size_t done = 0;
  while (done < size) {
    ssize_t n = write(Fd(file), static_cast<const char*>(buffer) + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    done += static_cast<size_t>(n);
  }
  return static_cast<int64_t>(done);
}

int PlatformFileRemove(const char* path) { return path && unlink(path) == 0 ? 0 : -1; }

PlatformPathKind PlatformGetPathKind(const char* path) {
  struct stat st;
  if (!path || stat(path, &st) != 0) return PlatformPathNone;
  if (S_ISDIR(st.st_mode)) return PlatformPathDirectory;
  return S_ISREG(st.st_mode) ? PlatformPathFile : PlatformPathNone;
}

PlatformDir* PlatformDirOpen(const char* path) {
  if (!path || std::strlen(path) + 1 > sizeof(PlatformDir::path)) return nullptr;
  DIR* d = opendir(*path ? path : ".");
  if (!d) return nullptr;
  auto* dir = static_cast<PlatformDir*>(VN_ALLOC(sizeof(PlatformDir)));
  if (!dir) {
    closedir(d);
    return nullptr;
  }
  dir->dir = d;
  std::strcpy(dir->path, *path ? path : ".");
  return dir;
}

int PlatformDirNext(PlatformDir* dir, PlatformDirEntry* entry) {
  if (!dir) return -1;
  while (dirent* e = readdir(dir->dir)) {
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
    size_t length = std::strlen(e->d_name);
    if (length >= sizeof(entry->name)) continue;
    std::memcpy(entry->name, e->d_name, length + 1);
    char full[4096 + 256 + 2];
    std::snprintf(full, sizeof(full), "%s/%s", dir->path, e->d_name);
    struct stat st;
    if (stat(full, &st) == 0) {
      entry->isDirectory = S_ISDIR(st.st_mode) ? 1 : 0;
      entry->size = S_ISREG(st.st_mode) ? static_cast<int64_t>(st.st_size) : 0;
    } else {
      entry->isDirectory = 0;
      entry->size = 0;
    }
    return 0;
  }
  return -1;
}

void PlatformDirClose(PlatformDir* dir) {
  if (!dir) return;
  closedir(dir->dir);
  MemFree(dir);
}

int PlatformSetCurrentDirectory(const char* path) { return path && chdir(path) == 0 ? 0 : -1; }

int PlatformGetCurrentDirectory(char* buffer, size_t bufferSize) {
  return buffer && bufferSize && getcwd(buffer, bufferSize) ? 0 : -1;
}
