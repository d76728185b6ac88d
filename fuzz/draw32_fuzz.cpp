// libFuzzer target: hostile sequences of draw calls on a 32-bit screen.
#include "draw_fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzDrawCalls(32, data, size);
  return 0;
}
