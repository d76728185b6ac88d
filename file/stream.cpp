#include "file/stream.h"

#include <cstring>

#include "core/memory.h"
#include "file/file_access.h"
#include "file/stream_position.h"

namespace {

constexpr uint32_t kMemoryStreamMagic = 0x4D53544Du;

FileAccessHandle FileOf(StreamHandle handle) { return static_cast<FileAccessHandle>(handle); }

int64_t FileStreamTell(StreamHandle handle) { return FileAccessTell(FileOf(handle)); }
int FileStreamSeek(StreamHandle handle, int64_t offset, int origin) {
  return FileAccessSeek(FileOf(handle), offset, origin);
}
size_t FileStreamRead(void* buffer, size_t size, size_t count, StreamHandle handle) {
  return FileAccessRead(buffer, size, count, FileOf(handle));
}
int FileStreamEof(StreamHandle handle) { return IsFileAtEnd(FileOf(handle)); }
int FileStreamIdle(StreamHandle handle) { return FileAccessIdle(FileOf(handle)); }
int FileStreamClose(StreamHandle handle) { return FileAccessClose(FileOf(handle)); }

MemoryStream* MemoryOf(StreamHandle handle) {
  auto* stream = reinterpret_cast<MemoryStream*>(handle);
  return stream && stream->magic == kMemoryStreamMagic ? stream : nullptr;
}

int64_t MemoryStreamTell(StreamHandle handle) {
  MemoryStream* stream = MemoryOf(handle);
  return stream ? static_cast<int64_t>(stream->position) : -1;
}

int MemoryStreamSeek(StreamHandle handle, int64_t offset, int origin) {
  MemoryStream* stream = MemoryOf(handle);
  if (!stream) return -1;
  int64_t target;
  if (!SeekTarget(static_cast<int64_t>(stream->position), static_cast<int64_t>(stream->size), offset, origin,
                  &target)) {
    return -1;
  }
  stream->position = static_cast<uint64_t>(target);
  stream->endFlag = 0;
  return 0;
}

size_t MemoryStreamRead(void* buffer, size_t size, size_t count, StreamHandle handle) {
  MemoryStream* stream = MemoryOf(handle);
  if (!stream || !buffer || size == 0 || count == 0) return 0;
  uint64_t remaining = stream->size - stream->position;
  if (remaining == 0) {
    stream->endFlag = 1;
    return 0;
  }
  uint64_t wanted = ReadLength(size, count, remaining);
  std::memcpy(buffer, stream->data + stream->position, static_cast<size_t>(wanted));
  stream->position += wanted;
  return static_cast<size_t>(wanted) / size;
}

int MemoryStreamEof(StreamHandle handle) {
  MemoryStream* stream = MemoryOf(handle);
  if (!stream) return -1;
  return stream->position >= stream->size ? 1 : 0;
}

int MemoryStreamIdle(StreamHandle handle) { return MemoryOf(handle) ? 1 : -1; }

}  // namespace

StreamFunctions GetFileStreamFunctions() {
  return {FileStreamTell, FileStreamSeek, FileStreamRead, FileStreamEof, FileStreamIdle, FileStreamClose};
}

StreamFunctions GetMemoryStreamFunctions() {
  return {MemoryStreamTell, MemoryStreamSeek,  MemoryStreamRead,
          MemoryStreamEof,  MemoryStreamIdle,  MemoryStreamClose};
}

MemoryStream* OpenMemoryStream(const void* data, size_t size) {
  if (!data && size) return nullptr;
  auto* stream = static_cast<MemoryStream*>(VN_ALLOC_ZEROED(sizeof(MemoryStream)));
  if (!stream) return nullptr;
  stream->magic = kMemoryStreamMagic;
  stream->data = static_cast<const uint8_t*>(data);
  stream->size = size;
  return stream;
}

int MemoryStreamClose(StreamHandle handle) {
  MemoryStream* stream = MemoryOf(handle);
  if (!stream) return -1;
  stream->magic = 0;
  MemFree(stream);
  return 0;
}
