#include "sound/decode_wav.h"

#include <algorithm>
#include <cstring>

#include "core/memory.h"
#include "platform/audio_codec.h"
#include "sound/decode_acm.h"
#include "sound/sound_stream_util.h"

namespace {

constexpr uint32_t kMinFmtSize = 16;
// The 18 bytes plus the largest extra size they can announce.
constexpr uint32_t kMaxFmtSize = 18 + 0xFFFF;

bool IsId(const uint8_t* p, const char* id) { return std::memcmp(p, id, 4) == 0; }

void FreeRiffWave(RiffWaveInfo* info) {
  MemFree(info->fmt);
  info->fmt = nullptr;
}

// The fmt chunk of a PCM file, completed when it is 16 bytes long and checked
// so that no later division or loop can meet a zero or a mismatch.
int PcmFormatOf(const RiffWaveInfo& info, WaveFormat* out) {
  WaveFormat f = WaveFormatFromBytes(info.fmt, info.fmtSize);
  if (f.formatTag != kWaveFormatPcm || f.channels < 1 || f.channels > 2 || f.blockAlign == 0) return -1;
  if (info.fmtSize == kMinFmtSize) {
    f.bitsPerSample = static_cast<uint16_t>(f.blockAlign / f.channels * 8);
    f.extraSize = 0;
  }
  if (f.bitsPerSample != 8 && f.bitsPerSample != 16 && f.bitsPerSample != 24 && f.bitsPerSample != 32) return -1;
  if (f.blockAlign != f.channels * f.bitsPerSample / 8) return -1;
  if (f.samplesPerSec < 1 || f.samplesPerSec > kWaveFormatMaxRate) return -1;
  // The stored rate of bytes is derived data; the rest of the system sizes
  // its buffers by it, so it is made to agree with the samples.
  f.avgBytesPerSec = f.samplesPerSec * f.blockAlign;
  *out = f;
  return 0;
}

}  // namespace

int ParseRiffWave(const StreamAccess& source, RiffWaveInfo* info) {
  *info = RiffWaveInfo{};
  int64_t length = StreamLength(source);
  uint8_t header[12];
  if (length < 0 || !StreamReadExact(source, header, 12)) return -1;
  if (!IsId(header, "RIFF") || !IsId(header + 8, "WAVE")) return -1;
  uint8_t chunk[8];
  if (!StreamReadExact(source, chunk, 8) || !IsId(chunk, "fmt ")) return -1;
  uint32_t fmtSize = ReadLe32(chunk + 4);
  if (fmtSize < kMinFmtSize || fmtSize > kMaxFmtSize) return -1;
  info->fmtPosition = 20;
  info->fmtSize = fmtSize;
  info->fmt = static_cast<uint8_t*>(VN_ALLOC(fmtSize));
  if (!info->fmt || !StreamReadExact(source, info->fmt, fmtSize)) {
    FreeRiffWave(info);
    return -1;
  }
  uint64_t position = info->fmtPosition + fmtSize + (fmtSize & 1);
  while (position + 8 <= static_cast<uint64_t>(length)) {
    if (StreamSeek(source, static_cast<int64_t>(position), 0) != 0 || !StreamReadExact(source, chunk, 8)) break;
    uint64_t size = ReadLe32(chunk + 4);
    if (IsId(chunk, "data")) {
      info->dataStart = position + 8;
      info->dataSize = std::min(size, static_cast<uint64_t>(length) - info->dataStart);
      return 0;
    }
    position += 8 + size + (size & 1);
  }
  FreeRiffWave(info);
  return -1;
}

int OpenPcmWavConverter(SoundConverter* c) {
  RiffWaveInfo info;
  if (ParseRiffWave(c->source, &info) != 0) return -1;
  WaveFormat format;
  int result = PcmFormatOf(info, &format);
  FreeRiffWave(&info);
  if (result != 0 || StreamSeek(c->source, static_cast<int64_t>(info.dataStart), 0) != 0) return -1;
  c->kind = kSoundConverterPcmWav;
  c->fmtPosition = info.fmtPosition;
  c->fmtSize = info.fmtSize;
  c->dataStart = info.dataStart;
  // A trailing part of a sample would shift every later sample of a ring.
  c->dataSize = info.dataSize / format.blockAlign * format.blockAlign;
  c->format = format;
  c->outputSize = format.avgBytesPerSec;
  return 0;
}

int RefillPcmWav(SoundConverter* c) {
  if (c->pcmPosition >= c->dataSize) return -1;
  size_t want = static_cast<size_t>(std::min<uint64_t>(c->outputSize, c->dataSize - c->pcmPosition));
  size_t got = StreamRead(c->source, c->output, 1, want);
  // A short read (a file shorter than its header says) keeps what came; the next one ends the data.
  if (got == 0) return -1;
  c->held = static_cast<uint32_t>(got);
  return 0;
}

int OpenAcmWavConverter(SoundConverter* c) {
  RiffWaveInfo info;
  if (ParseRiffWave(c->source, &info) != 0) return -1;
  WaveFormat fmt = WaveFormatFromBytes(info.fmt, info.fmtSize);
  uint32_t formatSize = info.fmtSize;
  WaveFormat output{};
  output.formatTag = kWaveFormatPcm;
  if (AudioCodecSuggestFormat(info.fmt, formatSize, &output) != 0 ||
      StreamSeek(c->source, static_cast<int64_t>(info.dataStart), 0) != 0) {
    FreeRiffWave(&info);
    return -1;
  }
  uint8_t* data = static_cast<uint8_t*>(VN_ALLOC(std::max<uint64_t>(info.dataSize, 1)));
  if (!data) {
    FreeRiffWave(&info);
    return -1;
  }
  uint64_t dataSize = StreamRead(c->source, data, 1, static_cast<size_t>(info.dataSize));
  c->kind = kSoundConverterAcm;
  c->fmtPosition = info.fmtPosition;
  c->fmtSize = info.fmtSize;
  c->dataStart = info.dataStart;
  c->dataSize = dataSize;
  c->format = output;
  c->outputSize = output.avgBytesPerSec;
  c->acm.totalSamples = -1;
  return OpenAcmStreams(c, info.fmt, formatSize, data, dataSize, fmt.blockAlign);
}
