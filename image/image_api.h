// Public functions of the library's image subsystem, as the game sees them.
#pragma once
#include <cstddef>

#include "image/graph_image.h"

// Decode a PNG or JPEG file (chosen by its content) into a 32-bit image:
// A8R8G8B8 when the picture has alpha, else X8R8G8B8. 0, or -1 with a log line.
int LoadGraphImageFromFile(const char* path, GraphImage* image);
int LoadGraphImageFromMemory(const void* data, size_t size, GraphImage* image);
