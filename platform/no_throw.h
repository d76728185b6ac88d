// The platform code keeps strings and queues in the standard containers,
// whose allocations throw when memory runs out; no exception may leave the
// library. Every platform entry that allocates runs its body through
// PlatformNoThrow: a throw becomes the entry's failure value, and the
// failure is told to whoever listens (the library writes it to its log).
#pragma once

// where: what the platform was doing, as the log names it ("文字コードの変換").
using PlatformFailureReporter = void (*)(const char* where);
void SetPlatformFailureReporter(PlatformFailureReporter reporter);  // null: nobody listens
void PlatformReportFailure(const char* where) noexcept;

template <typename Result, typename Body>
Result PlatformNoThrow(const char* where, Result failure, Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    PlatformReportFailure(where);
    return failure;
  }
}

template <typename Body>
void PlatformNoThrow(const char* where, Body&& body) noexcept {
  try {
    body();
  } catch (...) {
    PlatformReportFailure(where);
  }
}
