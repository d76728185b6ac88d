// libFuzzer target: arbitrary bytes through the PNG loader.
#include "image_fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzImageLoader(data, size, LoadPngImage);
  return 0;
}
