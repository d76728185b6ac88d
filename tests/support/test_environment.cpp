// Every test program runs headless and with the same sanitizer settings,
// however it is started: ctest hands a test only the first entry of an
// environment list, so these settings live in the programs themselves.
#include <cstdlib>

extern "C" __attribute__((used, visibility("default"))) const char* __asan_default_options() {
  return "detect_leaks=1";
}

extern "C" __attribute__((used, visibility("default"))) const char* __ubsan_default_options() {
  return "print_stacktrace=1";
}

namespace {

// SDL reads its drivers only when a test starts it; a choice made outside stands.
const bool g_headless = [] {
  setenv("SDL_VIDEODRIVER", "dummy", 0);
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  return true;
}();

}  // namespace
