// Sound converters: a byte stream in (PCM WAV, compressed WAV, Ogg Vorbis or
// MPEG audio, recognised by content in that order), interleaved
// little-endian PCM out, in any byte counts, with seeking to a sample.
#pragma once
#include <cstddef>
#include <cstdint>

#include "file/stream.h"
#include "platform/wave_format.h"

struct AudioCodecStream;
struct OggVorbisState;

enum SoundConverterKind : int32_t {
  kSoundConverterPcmWav = 0,
  kSoundConverterAcm = 1,  // compressed WAV or MPEG audio, through the audio codec service
  kSoundConverterOggVorbis = 2,
};

// Compressed data converted in memory by two codec streams: the main one and
// one that runs ahead to just before the loop point, so that a loop restart
// needs little conversion.
struct SoundConverterAcm {
  uint8_t* sourceFormat;  // owned format block of the compressed data
  uint32_t sourceFormatSize;
  AudioCodecStream* mainStream;
  AudioCodecStream* loopStream;
  uint8_t* data;  // owned: the whole compressed data
  uint64_t dataSize;
  uint32_t pieceSize;  // source bytes converted per step: at least one block
  uint64_t sourcePosition;
  int64_t totalSamples;  // -1 when unknown (compressed WAV)
  uint64_t loopSourcePosition;
  uint64_t loopOutputPosition;
  uint8_t* loopOutput;  // owned
};

struct SoundConverterOgg {
  int32_t open;
  OggVorbisState* state;  // owned: the vorbisfile state and its stream copy
  int32_t bytesPerSample;
  int32_t seekFailed;  // a seek beyond the data: reads give nothing until the next seek
};

struct SoundConverter {
  int32_t openFlag;
  int32_t endFlag;  // the source has given its last byte; reads give 0 until a seek
  int32_t kind;
  StreamAccess source;
  uint64_t fmtPosition;
  uint32_t fmtSize;
  uint64_t dataStart;
  uint64_t dataSize;
  WaveFormat format;  // of the PCM delivered
  SoundConverterAcm acm;
  SoundConverterOgg ogg;
  uint8_t* output;  // owned
  uint32_t outputSize;
  uint32_t held;
  uint32_t readOffset;
  uint64_t pcmPosition;  // bytes delivered since the start of the data
  uint64_t loopPoint;    // PCM bytes; 0 when none
  int32_t vorbisFileFlag;
};

// Largest whole-sound PCM block ConvertSoundToPcmMemory makes.
constexpr uint64_t kMaxPcmMemoryBytes = 1ull << 30;

// 0 with the converter open over a copy of the stream, -1 when no decoder
// takes the stream or memory runs out. The stream stays the caller's.
int OpenSoundConverter(const StreamAccess& source, SoundConverter* converter);
// Bytes written (0 at the end), -1 when the converter is not open.
int64_t ReadSoundConverterPcm(SoundConverter* converter, void* buffer, size_t bytes);
int SeekSoundConverter(SoundConverter* converter, int64_t sample);
int GetSoundConverterFormat(const SoundConverter* converter, WaveFormat* format);
// Bytes of PCM of the whole sound.
int64_t GetSoundConverterPcmSize(SoundConverter* converter);
int CloseSoundConverter(SoundConverter* converter);
// The whole sound as a new PCM block (the caller frees it with MemFree); the
// size is the bytes actually delivered. 0 or -1.
int ConvertSoundToPcmMemory(SoundConverter* converter, WaveFormat* formatOut, void** pcmOut, size_t* sizeOut);

// The movie player sets this while it loads a sound track; converters opened
// meanwhile carry the flag (one vorbisfile build serves both here).
void SetSoundConverterVorbisFileFlag(int flag);
