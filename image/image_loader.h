// Image loaders, chosen by the first bytes of the data. Each decodes a
// stream into a GraphImage; every failure is logged and leaves the image empty.
#pragma once
#include <cstddef>
#include <cstdint>

#include "file/stream.h"
#include "image/graph_image.h"

struct ImageLoader {
  const char* name;
  // Whether the data's first bytes belong to this format.
  bool (*matches)(const uint8_t* head, size_t length);
  // Reads from the stream's start; 0, or -1 with a log line.
  int (*load)(const StreamAccess& stream, GraphImage* image);
};

// Pictures are also refused above this many bytes.
constexpr uint64_t kMaxLoadedImageBytes = 256ull << 20;

// The loader table, last entry's name null.
const ImageLoader* GetImageLoaders();

int LoadGraphImageFromStream(const StreamAccess& stream, GraphImage* image);

// Whether an image loader takes the file by its first bytes; false also for
// a file that cannot be opened. Nothing is logged.
bool ImageLoaderTakesFile(const char* path);

bool IsPngData(const uint8_t* head, size_t length);
int LoadPngImage(const StreamAccess& stream, GraphImage* image);
bool IsJpegData(const uint8_t* head, size_t length);
int LoadJpegImage(const StreamAccess& stream, GraphImage* image);

// A 32-bit image of the size with an alpha mask or none; the pixels are not
// cleared. 0, or -1 when the size is out of bounds or memory runs out.
int AllocateLoadedImage(GraphImage* image, int64_t width, int64_t height, bool alpha);
