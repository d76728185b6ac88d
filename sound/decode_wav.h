// RIFF WAVE files: chunk parsing and the PCM and compressed-WAV decoders.
#pragma once
#include <cstdint>

#include "file/stream.h"
#include "sound/sound_converter.h"

// What the chunk walk found: the whole fmt chunk and where the data lies.
struct RiffWaveInfo {
  uint8_t* fmt;  // owned (MemFree)
  uint32_t fmtSize;
  uint64_t fmtPosition;
  uint64_t dataStart;
  uint64_t dataSize;  // no more than the stream holds after dataStart
};

// "RIFF", "WAVE", a "fmt " chunk first (16 bytes at least), then chunks up to
// "data" (odd sizes padded). 0, or -1 with nothing allocated.
int ParseRiffWave(const StreamAccess& source, RiffWaveInfo* info);

// Each leaves the converter set up for its kind, or refuses with -1 leaving
// nothing allocated. The stream position afterwards is not defined.
int OpenPcmWavConverter(SoundConverter* converter);
int OpenAcmWavConverter(SoundConverter* converter);

// Next piece of PCM data into the output block; -1 at the end of the data.
int RefillPcmWav(SoundConverter* converter);
