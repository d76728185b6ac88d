// MPEG audio files: frame headers, ID3 tags and the frame scan that measures
// the sound before the audio codec service converts it.
#pragma once
#include <cstddef>
#include <cstdint>

#include "sound/sound_converter.h"

struct Mp3FrameInfo {
  int lsf;           // 1 for MPEG-2 (lower sampling frequencies), 0 for MPEG-1
  int layer;         // 0 layer I, 1 layer II, 2 layer III
  uint32_t bitrate;  // kbit/s
  uint32_t sampleRate;
  int padding;
  int channels;
  uint32_t samplesPerFrame;
  uint32_t frameLength;  // bytes, header included
};

// 0 with the frame described; -2 when the bytes are no frame sync, -1 for a
// sync whose fields are reserved or unmeasurable (bitrate index 0 or 15,
// layer or rate index 3).
int ParseMp3FrameHeader(const uint8_t header[4], Mp3FrameInfo* info);

// Where the audio lies in a file: after an ID3v2 tag, before an ID3v1 block.
void FindMp3AudioRange(const uint8_t* file, uint64_t size, uint64_t* audioStart, uint64_t* audioEnd);

struct Mp3ScanResult {
  uint64_t firstFrame;  // offset within the scanned bytes
  uint64_t dataEnd;
  int64_t totalSamples;
  Mp3FrameInfo first;
};

// Walks the frames of the audio bytes. 0, or -1 when no frame is found or a
// frame sync carries a header that does not parse.
int ScanMp3Frames(const uint8_t* audio, uint64_t size, Mp3ScanResult* result);

int OpenMp3Converter(SoundConverter* converter);
