// Whole files and streams into memory, and PCM wrapped as a RIFF WAVE image.
#pragma once
#include <cstddef>
#include <cstdint>

#include "file/stream.h"
#include "platform/wave_format.h"

// The whole file or stream in a new block (the caller frees it with MemFree). 0 or -1.
int LoadFileToMemory(const char* path, void** dataOut, size_t* sizeOut);
// The stream is left open.
int LoadStreamToMemory(const StreamAccess& source, void** dataOut, size_t* sizeOut);

// "RIFF" size "WAVE", "fmt " with the first formatSize (16..18) bytes of the
// format, "data" with the data; a new block of 28 + formatSize + dataSize bytes. 0 or -1.
int BuildWavImage(void** imageOut, size_t* sizeOut, const WaveFormat* format, uint32_t formatSize, const void* data,
                  size_t dataSize);
