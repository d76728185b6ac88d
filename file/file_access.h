// The replaceable file-access table through which every file read of the
// library goes. The default table reads plain files; an archive reader plugs
// in by installing its own table (which may fall back to the plain one).
#pragma once
#include <cstddef>
#include <cstdint>

#include "file/file_api.h"

constexpr int kFileAccessSlots = 512;
constexpr uint32_t kFileAccessHandleTag = 0xF0000000u;

// 0 means failure, as for file handles.
using FileFindHandle = uint32_t;

struct FileFindInfo {
  char name[260];  // Shift-JIS, without the directory
  int32_t isDirectory;
  int64_t size;
};

struct FileAccessTable {
  FileAccessHandle (*open)(const char* path, int cacheFlag, int blockReadFlag, int asyncFlag);
  int (*close)(FileAccessHandle handle);
  int64_t (*tell)(FileAccessHandle handle);
  int (*seek)(FileAccessHandle handle, int64_t offset, int origin);
  size_t (*read)(void* buffer, size_t size, size_t count, FileAccessHandle handle);
  int (*eof)(FileAccessHandle handle);
  int (*idle)(FileAccessHandle handle);
  int (*setCurrentDirectory)(const char* path);
  int (*getCurrentDirectory)(char* buffer, size_t bufferSize);
  // The pattern's last component may hold '*' and '?' (matched without case).
  FileFindHandle (*findFirst)(const char* pattern, FileFindInfo* info);
  int (*findNext)(FileFindHandle handle, FileFindInfo* info);  // 0, or -1 when no more
  int (*findClose)(FileFindHandle handle);
};

// The active table (never null).
const FileAccessTable* GetFileAccessTable();
// Installs a table (copied); null puts the plain-file table back.
void SetFileAccessTable(const FileAccessTable* table);
const FileAccessTable* GetPlainFileAccessTable();

// Through the active table. The flags: read-ahead cache, block reading,
// asynchronous reading (reads complete at once; idle then reports 1).
FileAccessHandle FileAccessOpen(const char* path, int cacheFlag, int blockReadFlag, int asyncFlag);
int FileAccessIdle(FileAccessHandle handle);
int FileAccessSetCurrentDirectory(const char* path);
int FileAccessGetCurrentDirectory(char* buffer, size_t bufferSize);
FileFindHandle FileAccessFindFirst(const char* pattern, FileFindInfo* info);
int FileAccessFindNext(FileFindHandle handle, FileFindInfo* info);
int FileAccessFindClose(FileFindHandle handle);

// Creates a new empty file named "tmp..." in the system's temporary directory,
// writes its full path into the buffer and returns a file open for writing
// (see platform/files.h), or 0 on failure.
intptr_t CreateTempFile(char* pathBuffer, size_t bufferSize);

// Start and end of the file layer, run by the library start-up and shut-down.
// The end closes every file still open and restores the start directory.
int InitFileSystem();
int EndFileSystem();
