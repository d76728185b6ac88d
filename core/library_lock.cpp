#include "core/library_lock.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace {

constexpr uint64_t kQueueSlots = 4096;

// Waiters draw tickets; the holder hands the lock to the oldest ticket. Each
// queue slot has its own condition so that a release wakes only the next thread.
struct LockState {
  std::mutex mutex;
  std::thread::id owner;
  int depth = 0;
  uint64_t nextTicket = 0;  // ticket of the next thread to queue
  uint64_t serving = 0;     // oldest ticket still waiting
  bool handedOver = false;  // the lock is free and reserved for ticket `serving`
  std::condition_variable slots[kQueueSlots];
  std::condition_variable room;
};

LockState& State() {
  static LockState state;
  return state;
}

}  // namespace

void LibraryLock() {
  LockState& s = State();
  std::thread::id self = std::this_thread::get_id();
  std::unique_lock<std::mutex> guard(s.mutex);
  if (s.owner == self) {
    s.depth++;
    return;
  }
  if (s.owner == std::thread::id() && !s.handedOver && s.nextTicket == s.serving) {
    s.owner = self;
    s.depth = 1;
    return;
  }
  s.room.wait(guard, [&] { return s.nextTicket - s.serving < kQueueSlots; });
  uint64_t ticket = s.nextTicket++;
  s.slots[ticket % kQueueSlots].wait(guard, [&] { return s.handedOver && s.serving == ticket; });
  s.handedOver = false;
  s.serving++;
  s.owner = self;
  s.depth = 1;
  s.room.notify_one();
}

void LibraryUnlock() {
  LockState& s = State();
  std::lock_guard<std::mutex> guard(s.mutex);
  if (s.owner != std::this_thread::get_id() || s.depth <= 0) return;
  if (--s.depth > 0) return;
  s.owner = std::thread::id();
  if (s.nextTicket != s.serving) {
    s.handedOver = true;
    s.slots[s.serving % kQueueSlots].notify_one();
  }
}

int LibraryLockWaitingCount() {
  LockState& s = State();
  std::lock_guard<std::mutex> guard(s.mutex);
  return static_cast<int>(s.nextTicket - s.serving);
}
