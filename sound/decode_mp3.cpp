#include "sound/decode_mp3.h"

#include <algorithm>
#include <cstring>

#include "core/memory.h"
#include "platform/audio_codec.h"
#include "sound/decode_acm.h"
#include "sound/sound_file.h"

namespace {

// kbit/s by [lsf][layer][index]; index 0 (free format) has no entry.
constexpr uint16_t kBitrates[2][3][15] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}},
};
constexpr uint32_t kSampleRates[2][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}};

constexpr uint32_t kId3HeaderBytes = 10;
constexpr uint32_t kId3v1Bytes = 128;
constexpr uint32_t kMpegFormatBytes = 30;  // the 18 bytes and 12 of MPEG layer-3 fields
constexpr uint16_t kMpegCodecDelay = 700;

bool IsFrameSync(const uint8_t* p) { return p[0] == 0xFF && (p[1] & 0xF0) == 0xF0; }

}  // namespace

int ParseMp3FrameHeader(const uint8_t header[4], Mp3FrameInfo* info) {
  if (!IsFrameSync(header)) return -2;
  Mp3FrameInfo f{};
  f.lsf = (header[1] & 0x08) ? 0 : 1;
  f.layer = 3 - ((header[1] >> 1) & 3);
  int bitrateIndex = header[2] >> 4;
  int rateIndex = (header[2] >> 2) & 3;
  // Free format (index 0) gives no length to step by.
  if (f.layer == 3 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3) return -1;
  f.bitrate = kBitrates[f.lsf][f.layer][bitrateIndex];
  f.sampleRate = kSampleRates[f.lsf][rateIndex];
  f.padding = (header[2] >> 1) & 1;
  f.channels = (header[3] >> 6) == 3 ? 1 : 2;
  if (f.layer == 0) {
    f.samplesPerFrame = 384;
    f.frameLength = (f.bitrate * 12000 / f.sampleRate + f.padding) * 4;
  } else if (f.layer == 2 && f.lsf) {
    // Only layer III halves its frame at the lower rates; layer II keeps 1,152 samples in every version.
    f.samplesPerFrame = 576;
    f.frameLength = f.bitrate * 72000 / f.sampleRate + f.padding;
  } else {
    f.samplesPerFrame = 1152;
    f.frameLength = f.bitrate * 144000 / f.sampleRate + f.padding;
  }
  *info = f;
  return 0;
}

void FindMp3AudioRange(const uint8_t* file, uint64_t size, uint64_t* audioStart, uint64_t* audioEnd) {
  uint64_t start = 0;
  if (size >= kId3HeaderBytes && std::memcmp(file, "ID3", 3) == 0) {
    int major = file[3];
    int flags = file[5];
    uint64_t tagSize = ((static_cast<uint64_t>(file[6]) * 128 + file[7]) * 128 + file[8]) * 128 + file[9];
    start = tagSize + kId3HeaderBytes;
    if (major == 4 && (flags & 0x10)) start += kId3HeaderBytes;  // footer
  }
  uint64_t end = size;
  if (size > kId3v1Bytes && std::memcmp(file + size - kId3v1Bytes, "TAG", 3) == 0) end = size - kId3v1Bytes;
  *audioStart = std::min(start, end);
  *audioEnd = end;
}

int ScanMp3Frames(const uint8_t* audio, uint64_t size, Mp3ScanResult* result) {
  *result = Mp3ScanResult{};
  bool found = false;
  uint64_t lastFrameEnd = 0;
  uint64_t position = 0;
  while (position + 4 <= size) {
    if (!IsFrameSync(audio + position)) {
      position++;
      continue;
    }
    Mp3FrameInfo frame;
    if (ParseMp3FrameHeader(audio + position, &frame) != 0) return -1;
    if (!found) {
      found = true;
      result->firstFrame = position;
      result->first = frame;
    }
    result->totalSamples += frame.samplesPerFrame;
    uint64_t next = position + frame.frameLength;
    if (next >= size) {
      result->dataEnd = size;
      return 0;
    }
    lastFrameEnd = next;
    position = next;
  }
  if (!found) return -1;
  result->dataEnd = lastFrameEnd;
  return 0;
}

int OpenMp3Converter(SoundConverter* c) {
  void* image = nullptr;
  size_t size = 0;
  if (LoadStreamToMemory(c->source, &image, &size) != 0) return -1;
  auto* file = static_cast<uint8_t*>(image);
  uint64_t audioStart = 0, audioEnd = 0;
  FindMp3AudioRange(file, size, &audioStart, &audioEnd);
  Mp3ScanResult scan;
  if (ScanMp3Frames(file + audioStart, audioEnd - audioStart, &scan) != 0) {
    MemFree(file);
    return -1;
  }
  uint32_t formatSize = std::max(AudioCodecMaxFormatSize(), kMpegFormatBytes);
  auto* format = static_cast<uint8_t*>(VN_ALLOC_ZEROED(formatSize));
  if (!format) {
    MemFree(file);
    return -1;
  }
  const Mp3FrameInfo& f = scan.first;
  WaveFormat source{
      kWaveFormatMpegLayer3, static_cast<uint16_t>(f.channels), f.sampleRate, f.bitrate * 1000 / 8, 1, 0, 12};
  WaveFormatToBytes(source, format);
  WriteLe16(format + 18, 1);  // id: MPEG
  WriteLe32(format + 20, static_cast<uint32_t>(f.padding));
  WriteLe16(format + 24, static_cast<uint16_t>(f.frameLength));
  WriteLe16(format + 26, 1);  // frames per block
  WriteLe16(format + 28, kMpegCodecDelay);

  WaveFormat output{};
  output.formatTag = kWaveFormatPcm;
  if (AudioCodecSuggestFormat(format, formatSize, &output) != 0) {
    MemFree(format);
    MemFree(file);
    return -1;
  }
  c->kind = kSoundConverterAcm;
  c->dataStart = audioStart + scan.firstFrame;
  c->dataSize = scan.dataEnd - scan.firstFrame;
  std::memmove(file, file + c->dataStart, static_cast<size_t>(c->dataSize));
  c->format = output;
  c->outputSize = static_cast<uint32_t>(static_cast<uint64_t>(output.avgBytesPerSec) * 4 / 3);
  c->acm.totalSamples = scan.totalSamples;
  return OpenAcmStreams(c, format, formatSize, file, c->dataSize, 1);
}
