#include "platform/no_throw.h"

#include <atomic>

namespace {

// Messages are posted from any thread, so a failure may be reported from any.
std::atomic<PlatformFailureReporter> g_reporter{nullptr};

}  // namespace

void SetPlatformFailureReporter(PlatformFailureReporter reporter) { g_reporter.store(reporter); }

void PlatformReportFailure(const char* where) noexcept {
  if (PlatformFailureReporter reporter = g_reporter.load()) reporter(where);
}
