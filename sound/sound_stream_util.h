// Small helpers over a StreamAccess for the sound decoders.
#pragma once
#include <cstddef>
#include <cstdint>

#include "file/stream.h"

// Size by a seek to the end; the position is back at 0 afterwards. -1 on failure.
inline int64_t StreamLength(const StreamAccess& s) {
  if (StreamSeek(s, 0, 2) != 0) return -1;
  int64_t length = StreamTell(s);
  if (StreamSeek(s, 0, 0) != 0) return -1;
  return length;
}

inline bool StreamReadExact(const StreamAccess& s, void* buffer, size_t bytes) {
  return StreamRead(s, buffer, 1, bytes) == bytes;
}
