// Converters over the audio codec service (compressed WAV and MPEG audio):
// the compressed data is held whole in memory and converted piece by piece.
#pragma once
#include <cstdint>

#include "sound/sound_converter.h"

// Takes the format block and data (owned from now on, freed also on
// failure), opens the main and loop codec streams to the converter's output
// format and makes the loop stream's block. 0 or -1.
int OpenAcmStreams(SoundConverter* converter, uint8_t* sourceFormat, uint32_t sourceFormatSize, uint8_t* data,
                   uint64_t dataSize, uint32_t sourceBlockAlign);
// Refills the output block; -1 at the end of the data.
int ConvertAcmBlock(SoundConverter* converter);
void SeekAcmConverter(SoundConverter* converter, uint64_t target);
int64_t GetAcmPcmSize(SoundConverter* converter);
void CloseAcmConverter(SoundConverter* converter);
