// The library's one allocator. Every block carries a header with the caller's
// source-file tail, an allocation number, the line and the size, linked into
// a list so that leaks and overwritten headers can be reported to the log.
#pragma once
#include <cstddef>
#include <cstdint>

void* MemAlloc(size_t size, const char* file, int line);
void* MemAllocZeroed(size_t size, const char* file, int line);
void* MemRealloc(void* block, size_t size, const char* file, int line);
void MemFree(void* block);

// Convenience forms that tag the block with the calling file and line.
#define VN_ALLOC(size) MemAlloc((size), __FILE__, __LINE__)
#define VN_ALLOC_ZEROED(size) MemAllocZeroed((size), __FILE__, __LINE__)
#define VN_REALLOC(block, size) MemRealloc((block), (size), __FILE__, __LINE__)

struct MemTotals {
  int64_t liveBlocks;
  int64_t liveBytes;
  int64_t peakBytes;
  int64_t damagedBlocks;  // damaged headers reported so far
};
MemTotals MemGetTotals();

// Writes every live block (and every damaged header) to the log, then the
// totals; returns the number of live blocks. Called at the library end.
int MemDumpLeaks();

// Checks one block's header against its copy; 0 when intact, -1 when damaged.
int MemCheckBlock(const void* block);

// For tests of the failure paths: the allocation that many calls from now
// (1: the next one) fails as though the heap were exhausted; 0 disarms.
// MemInjectedFailureHappened tells whether the armed failure has come.
void MemFailAllocation(int64_t countdown);
bool MemInjectedFailureHappened();
