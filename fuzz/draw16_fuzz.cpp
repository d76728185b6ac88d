// libFuzzer target: hostile sequences of draw calls on a 16-bit screen.
#include "draw_fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzDrawCalls(16, data, size);
  return 0;
}
