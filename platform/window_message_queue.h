// A first-in first-out queue of window messages that any thread may post to.
#pragma once
#include <deque>
#include <mutex>

#include "platform/no_throw.h"
#include "platform/window.h"

class WindowMessageQueue {
 public:
  // A message that finds no memory is lost.
  void Push(WindowMessage message) {
    std::lock_guard<std::mutex> guard(lock_);
    PlatformNoThrow("ウインドウメッセージの送信", [&] { messages_.push_back(std::move(message)); });
  }
  bool Pop(WindowMessage* out) {
    std::lock_guard<std::mutex> guard(lock_);
    if (messages_.empty()) return false;
    *out = std::move(messages_.front());
    messages_.pop_front();
    return true;
  }
  void Clear() {
    std::lock_guard<std::mutex> guard(lock_);
    messages_.clear();
  }
  size_t Size() {
    std::lock_guard<std::mutex> guard(lock_);
    return messages_.size();
  }

 private:
  std::mutex lock_;
  std::deque<WindowMessage> messages_;
};
