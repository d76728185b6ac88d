#include "platform/no_throw.h"

#include <atomic>

namespace {

// Posting a message may fail on any thread.
std::atomic<PlatformFailureReporter> g_reporter{nullptr};

}  // namespace

void SetPlatformFailureReporter(PlatformFailureReporter reporter) { g_reporter.store(reporter); }

void PlatformReportFailure(const char* where) noexcept {
  if (PlatformFailureReporter reporter = g_reporter.load()) reporter(where);
}
