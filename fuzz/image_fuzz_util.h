// Shared by the image loader fuzz targets: the bytes through one loader,
// whatever it makes released again.
#pragma once
#include <cstddef>
#include <cstdint>

#include "file/stream.h"
#include "image/image_loader.h"

inline void FuzzImageLoader(const uint8_t* data, size_t size,
                            int (*load)(const StreamAccess&, GraphImage*)) {
  MemoryStream* memory = OpenMemoryStream(data, size);
  if (!memory) return;
  GraphImage image;
  if (load(MemoryStreamAccess(memory), &image) == 0) ReleaseGraphImage(&image);
  MemoryStreamClose(reinterpret_cast<StreamHandle>(memory));
}
