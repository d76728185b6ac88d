// Block decoders of the audio compression service: one compressed block in,
// interleaved 16-bit little-endian PCM out. Pure functions.
#pragma once
#include <cstdint>

struct MsAdpcmCoef {
  int16_t coef1;
  int16_t coef2;
};

// Sample frames one block can hold; below 2 (MS) or 1 (IMA) the layout is impossible.
int MsAdpcmMaxSamplesPerBlock(int blockAlign, int channels);
int ImaAdpcmMaxSamplesPerBlock(int blockAlign, int channels);

// Decode samplesPerBlock frames (at most the maximum above) of one block into
// out (samplesPerBlock * channels * 2 bytes). 0, or -1 for a block whose
// predictor or step index is out of range (nothing useful is written then).
int DecodeMsAdpcmBlock(const uint8_t* block, int channels, int samplesPerBlock, const MsAdpcmCoef* coefs, int numCoefs,
                       uint8_t* out);
int DecodeImaAdpcmBlock(const uint8_t* block, int channels, int samplesPerBlock, uint8_t* out);

int16_t DecodeAlawSample(uint8_t code);
int16_t DecodeMulawSample(uint8_t code);
