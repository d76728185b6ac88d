#include "image/row_copy.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>

#include "platform/system_info.h"
#include "platform/timer.h"

#if defined(__x86_64__)
#include <cpuid.h>
#include <emmintrin.h>
#endif

namespace {

// What the system does not report: an ordinary desktop processor's share.
constexpr int64_t kFallbackCacheBytes = int64_t{8} << 20;
// The last-level cache, read once from the system; tests may shrink it.
const int64_t g_systemCacheBytes = PlatformLastLevelCacheBytes(kFallbackCacheBytes);
int64_t g_cacheBytes = g_systemCacheBytes;

bool DetectLongStrings() {
#if defined(__x86_64__)
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) return false;
  return (b >> 9) & 1;  // enhanced rep movsb and stosb
#else
  return false;
#endif
}

// The string stores write whole lines without reading them first, which
// pays once a fill cannot stay in the core's own caches: past the
// mid-level cache (never where the processor does not offer fast strings).
const int64_t g_stringFillBytes = DetectLongStrings() ? PlatformCacheBytes(2) : 0;

#if defined(__x86_64__)
template <bool Streaming>
inline void Store16(uint8_t* to, __m128i v) {
  if constexpr (Streaming) {
    _mm_stream_si128(reinterpret_cast<__m128i*>(to), v);
  } else {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to), v);
  }
}
#endif

// Moves whole 64-byte blocks from b on while they fit; returns where it
// stopped. Four named registers: an array of them goes through the stack.
template <bool Streaming>
inline size_t CopyBlocks(uint8_t* d, const uint8_t* s, size_t b, size_t bytes) {
#if defined(__x86_64__)
  for (; b + 64 <= bytes; b += 64) {
    const __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + b));
    const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + b + 16));
    const __m128i v2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + b + 32));
    const __m128i v3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + b + 48));
    Store16<Streaming>(d + b, v0);
    Store16<Streaming>(d + b + 16, v1);
    Store16<Streaming>(d + b + 32, v2);
    Store16<Streaming>(d + b + 48, v3);
  }
#endif
  return b;
}

// Streaming stores on the row's whole cache lines and ordinary ones on the
// ragged ends: a line both kinds wrote would have to leave the cache half
// way, and one the streaming stores fill only in part is written out in
// pieces.
inline void StreamImageRow(uint8_t* d, const uint8_t* s, size_t bytes) {
  size_t b = (64 - (reinterpret_cast<uintptr_t>(d) & 63)) & 63;
  if (b > bytes) b = bytes;
  std::memcpy(d, s, b);
  b = CopyBlocks<true>(d, s, b, bytes);
  std::memcpy(d + b, s + b, bytes - b);
}

inline void StreamedRowsDone() {
#if defined(__x86_64__)
  _mm_sfence();
#endif
}

// Every row by the same vector loop, its tail by one more register that
// overlaps the last one: no length dispatch of a library call per row, and
// no string copy, whose start-up cost differs from one processor to the
// next.
inline void VectorRow(uint8_t* d, const uint8_t* s, size_t bytes) {
#if defined(__x86_64__)
  if (bytes < 16) {
    std::memcpy(d, s, bytes);
    return;
  }
  size_t b = CopyBlocks<false>(d, s, 0, bytes);
  for (; b + 16 <= bytes; b += 16) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + b), _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + b)));
  }
  if (b < bytes) {
    b = bytes - 16;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + b), _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + b)));
  }
#else
  std::memcpy(d, s, bytes);
#endif
}

// The core's own cache, where a copied source can stay between copies
// while the stores go around it; tests may shrink it.
const int64_t g_systemCoreCacheBytes = PlatformCacheBytes(2);
int64_t g_coreCacheBytes = g_systemCoreCacheBytes;
int g_keepSourceForTest = -1;

// Times ordinary and streaming copies of a source three quarters the size
// of the core's cache, in turns, and says whether streaming was clearly the
// faster. Where the outer cache is slow to take lines back, keeping the
// source in the core beats writing the destination into the cache; where it
// is quick, streaming only sends the destination out to memory.
bool MeasureStreamingKeepsSource(int64_t coreCacheBytes) {
  const size_t bytes = static_cast<size_t>(std::min<int64_t>(coreCacheBytes / 4 * 3, int64_t{16} << 20)) & ~size_t{63};
  if (bytes < (size_t{64} << 10)) return false;
  const std::unique_ptr<uint8_t[]> buffers(new (std::nothrow) uint8_t[2 * bytes + 64]);
  if (!buffers) return false;
  uint8_t* s = buffers.get() + ((64 - (reinterpret_cast<uintptr_t>(buffers.get()) & 63)) & 63);
  uint8_t* d = s + bytes;
  std::memset(s, 0x5A, bytes);
  std::memset(d, 0, bytes);
  // The first copy of a turn only brings the caches to that kind's steady
  // state: the destination the other kind left, or the source it pushed out.
  auto copiesTime = [&](bool streaming) {
    uint64_t start = 0;
    for (int i = 0; i < 4; i++) {
      if (i == 1) start = PlatformMicroseconds();
      if (streaming) {
        StreamImageRow(d, s, bytes);
        StreamedRowsDone();
      } else {
        VectorRow(d, s, bytes);
      }
    }
    return PlatformMicroseconds() - start;
  };
  uint64_t best[2] = {std::numeric_limits<uint64_t>::max(), std::numeric_limits<uint64_t>::max()};
  for (int turn = 0; turn < 6; turn++) best[turn & 1] = std::min(best[turn & 1], copiesTime(turn & 1));
  return best[1] * 10 < best[0] * 9;
}

bool StreamingKeepsSource() {
  if (g_keepSourceForTest >= 0) return g_keepSourceForTest != 0;
  static const bool pays = MeasureStreamingKeepsSource(g_systemCoreCacheBytes);
  return pays;
}

// How many of a copy's destination bytes, from its start, go around the
// caches. All of them when source and destination together overflow the
// last-level cache, as they could not stay there anyway. Where the machine
// shows it pays, those that do not fit the core's cache beside a source
// that fits there alone: the end of the destination keeps half the room
// left (the cache holds more than this copy) for whatever reads it next.
// Elsewhere streaming would push a frame out to memory that the next draw
// reads back.
size_t BytesToStream(size_t bytes, int rows, bool sourceRepeats) {
  if (bytes < 32 || rows <= 0) return 0;
  const size_t destBytes = bytes * static_cast<size_t>(rows);
  const size_t sourceBytes = sourceRepeats ? bytes : destBytes;
  const size_t both = sourceBytes + destBytes;
  if (both > static_cast<size_t>(g_cacheBytes)) return destBytes;
  const size_t core = static_cast<size_t>(std::max<int64_t>(g_coreCacheBytes, 0));
  if (core == 0 || sourceBytes > core || both <= core || !StreamingKeepsSource()) return 0;
  return destBytes - std::min(destBytes, (core - sourceBytes) / 2);
}

void CopyRowsInCache(uint8_t* d, intptr_t dPitch, const uint8_t* s, intptr_t sPitch, size_t bytes, int rows) {
  for (int y = 0; y < rows; y++, d += dPitch, s += sPitch) {
    if (y + 1 < rows) PrefetchRowForWrite(d + dPitch, bytes);
    VectorRow(d, s, bytes);
  }
}

}  // namespace

void CopyImageRows(uint8_t* d, intptr_t dPitch, const uint8_t* s, intptr_t sPitch, size_t bytes, int rows) {
  if (bytes == 0 || rows <= 0) return;
  if (rows > 1 && dPitch == sPitch && sPitch == static_cast<intptr_t>(bytes)) {
    bytes *= static_cast<size_t>(rows);  // one area without gaps: one long row
    rows = 1;
  }
  const size_t streamed = BytesToStream(bytes, rows, sPitch == 0);
  if (streamed == 0) {
    CopyRowsInCache(d, dPitch, s, sPitch, bytes, rows);
    return;
  }
  if (rows == 1) {
    // One long row parts at the line where the cached stores take over.
    const uintptr_t from = reinterpret_cast<uintptr_t>(d);
    const size_t head = std::max(from, (from + streamed) & ~uintptr_t{63}) - from;
    StreamImageRow(d, s, head);
    StreamedRowsDone();
    VectorRow(d + head, s + head, bytes - head);
    return;
  }
  const int streamedRows = static_cast<int>(std::min<size_t>((streamed + bytes - 1) / bytes, static_cast<size_t>(rows)));
  for (int y = 0; y < streamedRows; y++, d += dPitch, s += sPitch) StreamImageRow(d, s, bytes);
  StreamedRowsDone();
  CopyRowsInCache(d, dPitch, s, sPitch, bytes, rows - streamedRows);
}

bool StringFillPays(size_t bytes) {
  return g_stringFillBytes > 0 && bytes >= static_cast<size_t>(g_stringFillBytes);
}

void SetRowCopyCacheBytesForTest(int64_t lastLevel, int64_t core, int keepSource) {
  g_cacheBytes = lastLevel > 0 ? lastLevel : g_systemCacheBytes;
  g_coreCacheBytes = core > 0 ? core : g_systemCoreCacheBytes;
  g_keepSourceForTest = keepSource;
}
