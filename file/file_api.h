// Public functions of the library's file subsystem, as the game sees them.
// Paths are Shift-JIS byte strings; '\' and '/' both separate directories.
#pragma once
#include <cstddef>
#include <cstdint>

// slot | 0xF0000000 for a plain file; 0 means failure.
using FileAccessHandle = uint32_t;

// Opens a file for reading; asyncFlag 1 asks for asynchronous reading. 0 on failure.
FileAccessHandle OpenFileForRead(const char* path, int asyncFlag);
int FileAccessClose(FileAccessHandle handle);
// Current position, or -1 for a bad handle.
int64_t FileAccessTell(FileAccessHandle handle);
// origin 0 start, 1 current, 2 end. The position is kept within 0..size.
int FileAccessSeek(FileAccessHandle handle, int64_t offset, int origin);
// Whole elements read (0 for a bad handle); the position moves by the bytes read.
size_t FileAccessRead(void* buffer, size_t size, size_t count, FileAccessHandle handle);
// 1 at the end of the file, else 0; -1 for a bad handle.
int IsFileAtEnd(FileAccessHandle handle);
// One line up to a CR LF pair or a NUL byte, at most size - 1 bytes; a
// two-byte character is never split. Returns the length, or -1 at the end of
// the file (the buffer is then unchanged).
int ReadFileLine(char* buffer, int size, FileAccessHandle handle);
