#include "core/memory.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

#include "core/log.h"

namespace {

constexpr uint32_t kHeaderMagic = 0x4D454D42;  // "MEMB"
constexpr size_t kTagLength = 16;

struct BlockInfo {
  uint32_t magic;
  uint32_t number;
  int32_t line;
  uint32_t reserved;
  uint64_t size;
  char tag[kTagLength];
};

struct BlockHeader {
  BlockInfo info;
  BlockHeader* prev;
  BlockHeader* next;
  BlockInfo copy;  // compared with info to detect an overwrite
};
static_assert(sizeof(BlockHeader) % 16 == 0);

std::mutex g_memLock;
BlockHeader* g_firstBlock = nullptr;
uint32_t g_nextNumber = 0;
MemTotals g_totals{};

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

void Link(BlockHeader* h) {
  h->prev = nullptr;
  h->next = g_firstBlock;
  if (g_firstBlock) g_firstBlock->prev = h;
  g_firstBlock = h;
  g_totals.liveBlocks++;
  g_totals.liveBytes += static_cast<int64_t>(h->info.size);
  if (g_totals.liveBytes > g_totals.peakBytes) g_totals.peakBytes = g_totals.liveBytes;
}

void Unlink(BlockHeader* h) {
  if (h->prev) h->prev->next = h->next;
  else g_firstBlock = h->next;
  if (h->next) h->next->prev = h->prev;
  g_totals.liveBlocks--;
  g_totals.liveBytes -= static_cast<int64_t>(h->info.size);
}

void ReportDamage(const BlockHeader* h) {
  g_totals.damagedBlocks++;
  LogPrintf("メモリブロックのヘッダが破損しています address:%p", static_cast<const void*>(h + 1));
}

}  // namespace

void* MemAlloc(size_t size, const char* file, int line) {
  if (size > SIZE_MAX - sizeof(BlockHeader)) return nullptr;
  auto* h = static_cast<BlockHeader*>(std::malloc(sizeof(BlockHeader) + size));
  if (!h) {
    LogPrintf("メモリの確保に失敗しました size:%zu", size);
    return nullptr;
  }
  std::memset(h, 0, sizeof(BlockHeader));
  std::lock_guard<std::mutex> guard(g_memLock);
  h->info.magic = kHeaderMagic;
  h->info.number = g_nextNumber++;
  h->info.line = line;
  h->info.size = size;
  FillTag(h->info.tag, file);
  h->copy = h->info;
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
  {
    std::lock_guard<std::mutex> guard(g_memLock);
    if (!HeaderIntact(h)) {
      // A damaged header cannot be trusted for its size: keep the block, fail.
      ReportDamage(h);
      return nullptr;
    }
  }
  void* fresh = MemAlloc(size, file, line);
  if (!fresh) return nullptr;
  size_t keep = h->info.size < size ? h->info.size : size;
  std::memcpy(fresh, block, keep);
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
  h->info.magic = 0;
  h->copy.magic = 0;
  std::free(h);
}

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
  int count = 0;
  for (BlockHeader* h = g_firstBlock; h; h = h->next) {
    if (!HeaderIntact(h)) {
      LogPrintf("破損したメモリブロック address:%p", static_cast<void*>(h + 1));
    } else {
      char tag[kTagLength + 1] = {};
      std::memcpy(tag, h->info.tag, kTagLength);
      LogPrintf("解放されていないメモリ no:%u file:%s line:%d size:%llu", h->info.number, tag,
                h->info.line, static_cast<unsigned long long>(h->info.size));
    }
    count++;
  }
  LogPrintf("メモリリーク %d 個  確保量 %lld バイト", count,
            static_cast<long long>(g_totals.liveBytes));
  return count;
}
