// Files and directories of the machine. Paths here are native (UTF-8, '/').
#pragma once
#include <cstddef>
#include <cstdint>

// An open file: its descriptor + 1, so that 0 is never a file.
using PlatformFileHandle = intptr_t;

PlatformFileHandle PlatformFileOpenRead(const char* path);
// The file made (or emptied) for writing; 0 on failure.
PlatformFileHandle PlatformFileCreate(const char* path);
// A new empty file "tmp..." in the temporary directory, open for writing; the
// path goes into the buffer. 0 on failure.
PlatformFileHandle PlatformFileCreateTemp(char* pathBuffer, size_t bufferSize);
// A new empty regular file at path, open for writing; an old regular file of
// that name is deleted first. 0 when the path names anything else (a
// directory, a symbolic link, a pipe), which is left as it is, or when the
// file cannot be made.
PlatformFileHandle PlatformFileCreateFresh(const char* path);
void PlatformFileClose(PlatformFileHandle file);
int64_t PlatformFileSize(PlatformFileHandle file);  // -1 on failure
// Bytes read at the offset (fewer at the end), or -1.
int64_t PlatformFileReadAt(PlatformFileHandle file, void* buffer, size_t size, int64_t offset);
// Bytes written at the current end, or -1.
int64_t PlatformFileWrite(PlatformFileHandle file, const void* buffer, size_t size);
int PlatformFileRemove(const char* path);

enum PlatformPathKind { PlatformPathNone = 0, PlatformPathFile = 1, PlatformPathDirectory = 2 };
PlatformPathKind PlatformGetPathKind(const char* path);

struct PlatformDirEntry {
  char name[256];
  int32_t isDirectory;
  int64_t size;
};
struct PlatformDir;
PlatformDir* PlatformDirOpen(const char* path);
// 0 with the next entry ("." and ".." skipped), -1 when there are no more.
int PlatformDirNext(PlatformDir* dir, PlatformDirEntry* entry);
void PlatformDirClose(PlatformDir* dir);

int PlatformSetCurrentDirectory(const char* path);
int PlatformGetCurrentDirectory(char* buffer, size_t bufferSize);
