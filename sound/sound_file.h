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

// The 28 + formatSize bytes that come before dataSize bytes of data in a
// RIFF WAVE image: "RIFF" size "WAVE", "fmt " with the first formatSize
// (16..18) bytes of the format, "data" and its size.
void WriteWavHeader(uint8_t* out, const WaveFormat& format, uint32_t formatSize, uint32_t dataSize);

// The header followed by the data, in a new block. 0 or -1.
int BuildWavImage(void** imageOut, size_t* sizeOut, const WaveFormat* format, uint32_t formatSize, const void* data,
                  size_t dataSize);
