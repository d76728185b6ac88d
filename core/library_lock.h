// The library lock: re-entrant, and threads that wait for it are served in the
// order they came (a queue of up to 4096 waiting threads; more wait for room).
#pragma once

void LibraryLock();
void LibraryUnlock();
// Threads waiting in the queue now (for tests and diagnostics).
int LibraryLockWaitingCount();

class LibraryLockGuard {
 public:
  LibraryLockGuard() { LibraryLock(); }
  ~LibraryLockGuard() { LibraryUnlock(); }
  LibraryLockGuard(const LibraryLockGuard&) = delete;
  LibraryLockGuard& operator=(const LibraryLockGuard&) = delete;
};
