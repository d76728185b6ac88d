// Streams: six operations and a handle through which image loaders and sound
// decoders read from a file or from memory alike.
#pragma once
#include <cstddef>
#include <cstdint>

#include "file/file_api.h"

// A FileAccessHandle or a MemoryStream*, depending on the functions beside it.
using StreamHandle = uintptr_t;

struct StreamFunctions {
  int64_t (*tell)(StreamHandle handle);
  // origin 0 start, 1 current, 2 end; 0 or -1
  int (*seek)(StreamHandle handle, int64_t offset, int origin);
  // whole elements read
  size_t (*read)(void* buffer, size_t size, size_t count, StreamHandle handle);
  int (*eof)(StreamHandle handle);  // non-zero at the end
  int (*idle)(StreamHandle handle);  // 1 when no asynchronous work is pending
  int (*close)(StreamHandle handle);
};

// Copied by value.
struct StreamAccess {
  StreamFunctions functions;
  StreamHandle handle;
};

// Stream functions over FileAccessHandles (through the active file-access table).
StreamFunctions GetFileStreamFunctions();
// Stream functions over memory streams; their close is MemoryStreamClose.
StreamFunctions GetMemoryStreamFunctions();

// A read-only view of a caller-owned block. Seeks clamp to 0..size; a read at
// the end sets the end flag and returns 0.
struct MemoryStream {
  uint32_t magic;
  const uint8_t* data;
  uint64_t size;
  uint64_t position;
  int32_t endFlag;
};

// Allocates the record over the block (which stays the caller's); null when
// memory runs out.
MemoryStream* OpenMemoryStream(const void* data, size_t size);
// Frees the record, not the data.
int MemoryStreamClose(StreamHandle handle);

inline StreamAccess FileStreamAccess(FileAccessHandle file) {
  return {GetFileStreamFunctions(), static_cast<StreamHandle>(file)};
}
inline StreamAccess MemoryStreamAccess(MemoryStream* stream) {
  return {GetMemoryStreamFunctions(), reinterpret_cast<StreamHandle>(stream)};
}

inline int64_t StreamTell(const StreamAccess& s) { return s.functions.tell(s.handle); }
inline int StreamSeek(const StreamAccess& s, int64_t offset, int origin) {
  return s.functions.seek(s.handle, offset, origin);
}
inline size_t StreamRead(const StreamAccess& s, void* buffer, size_t size, size_t count) {
  return s.functions.read(buffer, size, count, s.handle);
}
inline int StreamEof(const StreamAccess& s) { return s.functions.eof(s.handle); }
inline int StreamClose(const StreamAccess& s) { return s.functions.close(s.handle); }
