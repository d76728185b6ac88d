#include "file/file_access.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "core/helpers.h"
#include "core/log.h"
#include "core/memory.h"
#include "file/file_path.h"
#include "file/stream_position.h"
#include "platform/files.h"

namespace {

constexpr size_t kNativePathSize = 4096;

// ---- Plain files ----

struct PlainFile {
  PlatformFileHandle file;
  int64_t size;
  int64_t position;
};

std::mutex g_slotLock;
PlainFile* g_files[kFileAccessSlots];

PlainFile* PlainFileOf(FileAccessHandle handle) {
  if ((handle & 0xF0000000u) != kFileAccessHandleTag) return nullptr;
  uint32_t slot = handle & 0x0FFFFFFFu;
  if (slot >= static_cast<uint32_t>(kFileAccessSlots)) return nullptr;
  return g_files[slot];
}

FileAccessHandle PlainOpen(const char* path, int cacheFlag, int blockReadFlag, int asyncFlag) {
  if (!path) return 0;
  char native[kNativePathSize];
  if (ResolveNativePath(path, native, sizeof(native)) != 0) return 0;
  PlatformFileHandle file = PlatformFileOpenRead(native);
  if (!file) return 0;
  int64_t size = PlatformFileSize(file);
  auto* record = static_cast<PlainFile*>(VN_ALLOC_ZEROED(sizeof(PlainFile)));
  if (size < 0 || !record) {
    MemFree(record);
    PlatformFileClose(file);
    return 0;
  }
  record->file = file;
  record->size = size;
  std::lock_guard<std::mutex> guard(g_slotLock);
  for (int slot = 0; slot < kFileAccessSlots; slot++) {
    if (g_files[slot]) continue;
    g_files[slot] = record;
    return kFileAccessHandleTag | static_cast<uint32_t>(slot);
  }
  LogPrintf("ファイルハンドルが足りません：%s", path);
  MemFree(record);
  PlatformFileClose(file);
  return 0;
}

int PlainClose(FileAccessHandle handle) {
  PlainFile* record;
  {
    std::lock_guard<std::mutex> guard(g_slotLock);
    record = PlainFileOf(handle);
    if (!record) return -1;
    g_files[handle & 0x0FFFFFFFu] = nullptr;
  }
  PlatformFileClose(record->file);
  MemFree(record);
  return 0;
}

int64_t PlainTell(FileAccessHandle handle) {
  PlainFile* record = PlainFileOf(handle);
  return record ? record->position : -1;
}

int PlainSeek(FileAccessHandle handle, int64_t offset, int origin) {
  PlainFile* record = PlainFileOf(handle);
  if (!record) return -1;
  return SeekTarget(record->position, record->size, offset, origin, &record->position) ? 0 : -1;
}

size_t PlainRead(void* buffer, size_t size, size_t count, FileAccessHandle handle) {
  PlainFile* record = PlainFileOf(handle);
  if (!record || !buffer || size == 0 || count == 0) return 0;
  uint64_t wanted = ReadLength(size, count, static_cast<uint64_t>(record->size - record->position));
  if (wanted == 0) return 0;
  int64_t got = PlatformFileReadAt(record->file, buffer, static_cast<size_t>(wanted), record->position);
  // Less than asked before the recorded end: the file has shrunk since it
  // was opened, or cannot be read on. Either way it ends here, so the end
  // test and later seeks stop trusting the size seen at open.
  if (got < static_cast<int64_t>(wanted)) record->size = record->position + std::max<int64_t>(got, 0);
  if (got <= 0) return 0;
  record->position += got;
  return static_cast<size_t>(got) / size;
}

int PlainEof(FileAccessHandle handle) {
  PlainFile* record = PlainFileOf(handle);
  if (!record) return -1;
  return record->position >= record->size ? 1 : 0;
}

// Reads complete within the call, so nothing is ever pending.
int PlainIdle(FileAccessHandle handle) { return PlainFileOf(handle) ? 1 : -1; }

int PlainSetCurrentDirectory(const char* path) {
  char native[kNativePathSize];
  if (!path || ResolveNativePath(path, native, sizeof(native)) != 0) return -1;
  return PlatformSetCurrentDirectory(native);
}

int PlainGetCurrentDirectory(char* buffer, size_t bufferSize) {
  char native[kNativePathSize];
  if (!buffer || PlatformGetCurrentDirectory(native, sizeof(native)) != 0) return -1;
  return NativeNameToLibrary(native, buffer, bufferSize);
}

// ---- Directory search ----

constexpr int kFindSlots = 64;
constexpr uint32_t kFindHandleTag = 0xE0000000u;

struct FindRecord {
  PlatformDir* dir;
  char pattern[260];
};

FindRecord* g_finds[kFindSlots];

FindRecord* FindRecordOf(FileFindHandle handle) {
  if ((handle & 0xF0000000u) != kFindHandleTag) return nullptr;
  uint32_t slot = handle & 0x0FFFFFFFu;
  return slot < static_cast<uint32_t>(kFindSlots) ? g_finds[slot] : nullptr;
}

int NextMatch(FindRecord* record, FileFindInfo* info) {
  PlatformDirEntry entry;
  while (PlatformDirNext(record->dir, &entry) == 0) {
    char name[sizeof(info->name)];
    if (NativeNameToLibrary(entry.name, name, sizeof(name)) != 0) continue;
    if (!MatchFileNamePattern(record->pattern, name)) continue;
    std::memcpy(info->name, name, sizeof(name));
    info->isDirectory = entry.isDirectory;
    info->size = entry.size;
    return 0;
  }
  return -1;
}

int PlainFindClose(FileFindHandle handle) {
  FindRecord* record;
  {
    std::lock_guard<std::mutex> guard(g_slotLock);
    record = FindRecordOf(handle);
    if (!record) return -1;
    g_finds[handle & 0x0FFFFFFFu] = nullptr;
  }
  PlatformDirClose(record->dir);
  MemFree(record);
  return 0;
}

FileFindHandle PlainFindFirst(const char* pattern, FileFindInfo* info) {
  if (!pattern || !info) return 0;
  size_t split = FindLastPathComponent(pattern);
  if (std::strlen(pattern + split) >= sizeof(FindRecord::pattern) || split >= kNativePathSize) return 0;
  char directory[kNativePathSize];
  std::memcpy(directory, pattern, split);
  directory[split] = '\0';
  char native[kNativePathSize];
  if (ResolveNativePath(directory, native, sizeof(native)) != 0) return 0;
  auto* record = static_cast<FindRecord*>(VN_ALLOC_ZEROED(sizeof(FindRecord)));
  if (!record) return 0;
  std::strcpy(record->pattern, pattern + split);
  record->dir = PlatformDirOpen(native);
  if (!record->dir) {
    MemFree(record);
    return 0;
  }
  FileFindHandle handle = 0;
  {
    std::lock_guard<std::mutex> guard(g_slotLock);
    for (int slot = 0; slot < kFindSlots; slot++) {
      if (g_finds[slot]) continue;
      g_finds[slot] = record;
      handle = kFindHandleTag | static_cast<uint32_t>(slot);
      break;
    }
  }
  if (!handle) {
    PlatformDirClose(record->dir);
    MemFree(record);
    return 0;
  }
  if (NextMatch(record, info) != 0) {
    PlainFindClose(handle);
    return 0;
  }
  return handle;
}

int PlainFindNext(FileFindHandle handle, FileFindInfo* info) {
  FindRecord* record = FindRecordOf(handle);
  if (!record || !info) return -1;
  return NextMatch(record, info);
}

constexpr FileAccessTable kPlainTable = {
    PlainOpen,        PlainClose,      PlainTell,
    PlainSeek,        PlainRead,       PlainEof,
    PlainIdle,        PlainSetCurrentDirectory, PlainGetCurrentDirectory,
    PlainFindFirst,   PlainFindNext,   PlainFindClose,
};

FileAccessTable g_activeTable = kPlainTable;
char g_startDirectory[kNativePathSize];
bool g_started = false;

}  // namespace

const FileAccessTable* GetFileAccessTable() { return &g_activeTable; }
const FileAccessTable* GetPlainFileAccessTable() { return &kPlainTable; }

void SetFileAccessTable(const FileAccessTable* table) { g_activeTable = table ? *table : kPlainTable; }

FileAccessHandle FileAccessOpen(const char* path, int cacheFlag, int blockReadFlag, int asyncFlag) {
  return g_activeTable.open(path, cacheFlag, blockReadFlag, asyncFlag);
}

FileAccessHandle OpenFileForRead(const char* path, int asyncFlag) {
  return FileAccessOpen(path, 0, 1, asyncFlag);
}

int FileAccessClose(FileAccessHandle handle) { return g_activeTable.close(handle); }
int64_t FileAccessTell(FileAccessHandle handle) { return g_activeTable.tell(handle); }
int FileAccessSeek(FileAccessHandle handle, int64_t offset, int origin) {
  return g_activeTable.seek(handle, offset, origin);
}
size_t FileAccessRead(void* buffer, size_t size, size_t count, FileAccessHandle handle) {
  return g_activeTable.read(buffer, size, count, handle);
}
int IsFileAtEnd(FileAccessHandle handle) {
  int eof = g_activeTable.eof(handle);
  return eof < 0 ? -1 : (eof ? 1 : 0);
}
int FileAccessIdle(FileAccessHandle handle) { return g_activeTable.idle(handle); }
int FileAccessSetCurrentDirectory(const char* path) { return g_activeTable.setCurrentDirectory(path); }
int FileAccessGetCurrentDirectory(char* buffer, size_t bufferSize) {
  return g_activeTable.getCurrentDirectory(buffer, bufferSize);
}
FileFindHandle FileAccessFindFirst(const char* pattern, FileFindInfo* info) {
  return g_activeTable.findFirst(pattern, info);
}
int FileAccessFindNext(FileFindHandle handle, FileFindInfo* info) {
  return g_activeTable.findNext(handle, info);
}
int FileAccessFindClose(FileFindHandle handle) { return g_activeTable.findClose(handle); }

int ReadFileLine(char* buffer, int size, FileAccessHandle handle) {
  if (!buffer || size < 2) return -1;
  const FileAccessTable& table = g_activeTable;
  if (table.eof(handle) != 0) return -1;
  int64_t start = table.tell(handle);
  if (start < 0) return -1;
  size_t limit = static_cast<size_t>(size - 1);
  size_t got = table.read(buffer, 1, limit, handle);
  if (got == 0) return -1;

  const auto* bytes = reinterpret_cast<const uint8_t*>(buffer);
  size_t lineEnd = got;
  int64_t next = start + static_cast<int64_t>(got);
  for (size_t i = 0; i < got;) {
    uint8_t c = bytes[i];
    if (c == 0) {
      // Past the NUL, so that the next call moves on.
      lineEnd = i;
      next = start + static_cast<int64_t>(i) + 1;
      break;
    }
    if (IsMultiByteLeadByte(c)) {
      if (i + 1 < got) {
        // A NUL is never a trail byte: the lead stands alone and the NUL ends the line.
        i += bytes[i + 1] != 0 ? 2 : 1;
        continue;
      }
      // The trail byte was not read: leave the character whole for the next
      // line, unless the file ends here or nothing else would fit.
      if (got == limit && i > 0) {
        lineEnd = i;
        next = start + static_cast<int64_t>(i);
      }
      break;
    }
    if (c == '\r' && i + 1 < got && bytes[i + 1] == '\n') {
      lineEnd = i;
      next = start + static_cast<int64_t>(i) + 2;
      break;
    }
    i++;
  }
  buffer[lineEnd] = '\0';
  table.seek(handle, next, 0);
  return static_cast<int>(lineEnd);
}

intptr_t CreateTempFile(char* pathBuffer, size_t bufferSize) {
  if (!pathBuffer || bufferSize == 0) return 0;
  char native[kNativePathSize];
  PlatformFileHandle file = PlatformFileCreateTemp(native, sizeof(native));
  if (!file) return 0;
  if (NativeNameToLibrary(native, pathBuffer, bufferSize) != 0) {
    PlatformFileClose(file);
    PlatformFileRemove(native);
    return 0;
  }
  return file;
}

int InitFileSystem() {
  if (g_started) return 0;
  if (PlatformGetCurrentDirectory(g_startDirectory, sizeof(g_startDirectory)) != 0) {
    g_startDirectory[0] = '\0';
  }
  g_started = true;
  return 0;
}

int EndFileSystem() {
  if (!g_started) return 0;
  for (int slot = 0; slot < kFileAccessSlots; slot++) {
    if (g_files[slot]) PlainClose(kFileAccessHandleTag | static_cast<uint32_t>(slot));
  }
  for (int slot = 0; slot < kFindSlots; slot++) {
    if (g_finds[slot]) PlainFindClose(kFindHandleTag | static_cast<uint32_t>(slot));
  }
  if (g_startDirectory[0]) PlatformSetCurrentDirectory(g_startDirectory);
  g_activeTable = kPlainTable;
  g_started = false;
  return 0;
}
