// libFuzzer target: arbitrary bytes through the JPEG loader.
#include "image_fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzImageLoader(data, size, LoadJpegImage);
  return 0;
}
