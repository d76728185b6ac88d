// The audio compression service: turns compressed sound data into 16-bit
// little-endian PCM. MS-ADPCM, IMA-ADPCM, A-law and mu-law are decoded by our
// own code; MPEG audio (layers I-III) by libmpg123. A conversion consumes
// whole source blocks only, like the system service it stands in for.
#pragma once
#include <cstdint>

#include "platform/wave_format.h"

constexpr uint16_t kWaveFormatMsAdpcm = 0x0002;
constexpr uint16_t kWaveFormatAlaw = 0x0006;
constexpr uint16_t kWaveFormatMulaw = 0x0007;
constexpr uint16_t kWaveFormatImaAdpcm = 0x0011;
constexpr uint16_t kWaveFormatMpeg = 0x0050;
constexpr uint16_t kWaveFormatMpegLayer3 = 0x0055;

// Size in bytes of the largest format block a codec here describes.
uint32_t AudioCodecMaxFormatSize();

// The PCM format the source format (a whole format block: the 18 bytes and
// its extra bytes) converts to. 0, or -1 when no codec takes the source.
int AudioCodecSuggestFormat(const uint8_t* source, uint32_t sourceSize, WaveFormat* output);

struct AudioCodecStream;

// Opens a conversion from the source format to the PCM output format; null
// when no codec takes the pair or memory runs out.
AudioCodecStream* AudioCodecOpen(const uint8_t* source, uint32_t sourceSize, const WaveFormat& output);
void AudioCodecClose(AudioCodecStream* stream);

// Bytes of PCM that sourceBytes of compressed data give (whole blocks). 0 or -1.
int AudioCodecOutputSize(AudioCodecStream* stream, uint64_t sourceBytes, uint64_t* outputBytes);

// Converts as many whole source blocks as fit into the output. A call with no
// source bytes delivers what the codec still holds (the MPEG decoder keeps the
// part of a decoded frame that did not fit). 0, or -1 for a null stream.
int AudioCodecConvert(AudioCodecStream* stream, const uint8_t* source, uint32_t sourceBytes, uint32_t* consumed,
                      uint8_t* output, uint32_t outputBytes, uint32_t* produced);
