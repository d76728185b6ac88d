// libFuzzer target: arbitrary bytes through the PNG loader.
#include <cstddef>
#include <cstdint>

#include "file/stream.h"
#include "image/image_loader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MemoryStream* memory = OpenMemoryStream(data, size);
  if (!memory) return 0;
  GraphImage image;
  if (LoadPngImage(MemoryStreamAccess(memory), &image) == 0) ReleaseGraphImage(&image);
  MemoryStreamClose(reinterpret_cast<StreamHandle>(memory));
  return 0;
}
