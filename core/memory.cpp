#include "core/memory.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "core/log.h"

namespace {

constexpr uint32_t kHeaderMagic = 0x4D454D42;  // "MEMB"
constexpr size_t kTagLength = 16;

struct BlockHeader;

// Everything of a header that the allocator relies on, links included, so
// that an overwrite of any of it is caught before it is trusted.
struct BlockInfo {
  uint32_t magic;
  uint32_t number;
  int32_t line;
  uint32_t reserved;
  uint64_t size;
  char tag[kTagLength];  // tail of the source-file name
  BlockHeader* prev;
  BlockHeader* next;
};

struct BlockHeader {
  BlockInfo info;
  BlockInfo copy;  // compared with info to detect an overwrite
};
static_assert(sizeof(BlockHeader) % 16 == 0);

std::mutex g_memLock;
BlockHeader* g_firstBlock = nullptr;
BlockHeader* g_lastBlock = nullptr;
uint32_t g_nextNumber = 0;
MemTotals g_totals{};
std::atomic<int64_t> g_failCountdown{0};
std::atomic<bool> g_injectedFailure{false};

bool InjectedFailureNow() {
  if (g_failCountdown.load(std::memory_order_relaxed) <= 0) return false;
  if (g_failCountdown.fetch_sub(1) != 1) return false;
  g_injectedFailure.store(true);
  return true;
}

// Keeps the last characters of the file name: the part that tells files apart.
void FillTag(char* tag, const char* file) {
  std::memset(tag, 0, kTagLength);
  if (!file) return;
  size_t len = std::strlen(file);
  const char* tail = len >= kTagLength ? file + len - (kTagLength - 1) : file;
  std::memcpy(tag, tail, std::strlen(tail));
}

BlockHeader* HeaderOf(const void* block) {
  return reinterpret_cast<BlockHeader*>(const_cast<char*>(static_cast<const char*>(block)) -
                                        sizeof(BlockHeader));
}

bool HeaderIntact(const BlockHeader* h) {
  return h->info.magic == kHeaderMagic && std::memcmp(&h->info, &h->copy, sizeof(BlockInfo)) == 0;
}

void Seal(BlockHeader* h) { h->copy = h->info; }

// Changes a neighbour's link; a damaged neighbour stays marked as damaged.
void SetPrev(BlockHeader* h, BlockHeader* prev) {
  bool intact = HeaderIntact(h);
  h->info.prev = prev;
  if (intact) Seal(h);
}

void SetNext(BlockHeader* h, BlockHeader* next) {
  bool intact = HeaderIntact(h);
  h->info.next = next;
  if (intact) Seal(h);
}

void Link(BlockHeader* h) {
  h->info.prev = g_lastBlock;
  h->info.next = nullptr;
  Seal(h);
  if (g_lastBlock) SetNext(g_lastBlock, h);
  else g_firstBlock = h;
  g_lastBlock = h;
  g_totals.liveBlocks++;
  g_totals.liveBytes += static_cast<int64_t>(h->info.size);
  if (g_totals.liveBytes > g_totals.peakBytes) g_totals.peakBytes = g_totals.liveBytes;
}

// Only for an intact header: its links can be trusted.
void Unlink(BlockHeader* h) {
  if (h->info.prev) SetNext(h->info.prev, h->info.next);
  else g_firstBlock = h->info.next;
  if (h->info.next) SetPrev(h->info.next, h->info.prev);
  else g_lastBlock = h->info.prev;
  g_totals.liveBlocks--;
  g_totals.liveBytes -= static_cast<int64_t>(h->info.size);
}

void ReportDamage(const BlockHeader* h) {
  g_totals.damagedBlocks++;
  LogPrintf("メモリブロックのヘッダが壊れています  アドレス:%p", static_cast<const void*>(h + 1));
}

void ReportLeak(const BlockHeader* h) {
  char tag[kTagLength + 1] = {};
  std::memcpy(tag, h->info.tag, kTagLength);
  LogPrintf("解放されていないメモリブロック  番号:%u  ファイル:%s  行:%d  サイズ:%llu バイト",
            h->info.number, tag, h->info.line, static_cast<unsigned long long>(h->info.size));
}

}  // namespace

void* MemAlloc(size_t size, const char* file, int line) {
  if (size > SIZE_MAX - sizeof(BlockHeader)) return nullptr;
  auto* h = InjectedFailureNow() ? nullptr : static_cast<BlockHeader*>(std::malloc(sizeof(BlockHeader) + size));
  if (!h) {
    LogPrintf("メモリの確保に失敗しました  サイズ:%zu バイト", size);
    return nullptr;
  }
  std::memset(h, 0, sizeof(BlockHeader));
  std::lock_guard<std::mutex> guard(g_memLock);
  h->info.magic = kHeaderMagic;
  h->info.number = g_nextNumber++;
  h->info.line = line;
  h->info.size = size;
  FillTag(h->info.tag, file);
  Link(h);
  return h + 1;
}

void* MemAllocZeroed(size_t size, const char* file, int line) {
  void* block = MemAlloc(size, file, line);
  if (block) std::memset(block, 0, size);
  return block;
}

void* MemRealloc(void* block, size_t size, const char* file, int line) {
  if (!block) return MemAlloc(size, file, line);
  BlockHeader* h = HeaderOf(block);
  size_t oldSize;
  {
    std::lock_guard<std::mutex> guard(g_memLock);
    if (!HeaderIntact(h)) {
      // A damaged header cannot be trusted for its size: keep the block, fail.
      ReportDamage(h);
      return nullptr;
    }
    oldSize = h->info.size;
  }
  void* fresh = MemAlloc(size, file, line);
  if (!fresh) return nullptr;
  std::memcpy(fresh, block, oldSize < size ? oldSize : size);
  MemFree(block);
  return fresh;
}

void MemFree(void* block) {
  if (!block) return;
  BlockHeader* h = HeaderOf(block);
  std::lock_guard<std::mutex> guard(g_memLock);
  if (!HeaderIntact(h)) {
    // Freeing through a damaged header could corrupt the heap: leak it instead.
    ReportDamage(h);
    return;
  }
  Unlink(h);
  std::memset(h, 0, sizeof(BlockHeader));
  std::free(h);
}

void MemFailAllocation(int64_t countdown) {
  g_injectedFailure.store(false);
  g_failCountdown.store(countdown > 0 ? countdown : 0);
}

bool MemInjectedFailureHappened() { return g_injectedFailure.load(); }

int MemCheckBlock(const void* block) {
  if (!block) return -1;
  std::lock_guard<std::mutex> guard(g_memLock);
  return HeaderIntact(HeaderOf(block)) ? 0 : -1;
}

MemTotals MemGetTotals() {
  std::lock_guard<std::mutex> guard(g_memLock);
  return g_totals;
}

int MemDumpLeaks() {
  std::lock_guard<std::mutex> guard(g_memLock);
  // Walk forward until a damaged header, then backward from the end until one:
  // a damaged header's links are never followed.
  BlockHeader* forwardStop = nullptr;
  for (BlockHeader* h = g_firstBlock; h; h = h->info.next) {
    if (!HeaderIntact(h)) {
      forwardStop = h;
      break;
    }
    ReportLeak(h);
  }
  if (forwardStop) {
    ReportDamage(forwardStop);
    BlockHeader* h = g_lastBlock;
    while (h && h != forwardStop && HeaderIntact(h)) {
      ReportLeak(h);
      h = h->info.prev;
    }
    if (h && h != forwardStop) {
      ReportDamage(h);
      LogPrintf("壊れたヘッダの間にあるメモリブロックは確認できませんでした");
    }
  }
  LogPrintf("解放されていないメモリブロックは %lld 個 ( 計 %lld バイト ) でした",
            static_cast<long long>(g_totals.liveBlocks), static_cast<long long>(g_totals.liveBytes));
  return static_cast<int>(g_totals.liveBlocks);
}
