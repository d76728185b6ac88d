#include "core/library_lock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

void WaitForWaiters(int count) {
  while (LibraryLockWaitingCount() < count) std::this_thread::yield();
}

TEST(LibraryLock, ReentersOnOneThreadAndHoldsOthersUntilFullyReleased) {
  LibraryLock();
  LibraryLock();  // the same thread goes through
  std::atomic<bool> entered{false};
  std::thread other([&] {
    LibraryLockGuard guard;
    entered = true;
  });
  WaitForWaiters(1);
  LibraryUnlock();
  // Still held once: the other thread stays queued.
  EXPECT_EQ(LibraryLockWaitingCount(), 1);
  EXPECT_FALSE(entered.load());
  LibraryUnlock();
  other.join();
  EXPECT_TRUE(entered.load());
  EXPECT_EQ(LibraryLockWaitingCount(), 0);
}

TEST(LibraryLock, WaitingThreadsAreServedInTheOrderTheyCame) {
  constexpr int kThreads = 12;
  std::vector<int> order;
  std::vector<std::thread> threads;
  LibraryLock();
  for (int i = 0; i < kThreads; i++) {
    threads.emplace_back([i, &order] {
      LibraryLock();
      LibraryLock();  // re-entry inside a queued acquisition too
      order.push_back(i);
      LibraryUnlock();
      LibraryUnlock();
    });
    WaitForWaiters(i + 1);  // thread i is queued before thread i + 1 starts
  }
  LibraryUnlock();
  for (auto& t : threads) t.join();
  std::vector<int> expected;
  for (int i = 0; i < kThreads; i++) expected.push_back(i);
  EXPECT_EQ(order, expected);
}

}  // namespace
