// MPEG audio part of the audio compression service, over libmpg123 in feed
// mode. Internal to platform/audio_codec.cpp.
#pragma once
#include <cstdint>

struct MpegDecoder;

// Output is 16-bit signed PCM at the given rate and channel count.
MpegDecoder* MpegDecoderOpen(uint32_t rate, int channels);
void MpegDecoderClose(MpegDecoder* decoder);
// Takes all the source bytes (the decoder keeps partial frames) unless output
// from earlier frames is still waiting; a call without source delivers what waits.
void MpegDecoderConvert(MpegDecoder* decoder, const uint8_t* source, uint32_t sourceBytes, uint32_t* consumed,
                        uint8_t* output, uint32_t outputBytes, uint32_t* produced);
