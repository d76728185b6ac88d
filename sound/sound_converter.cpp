#include "sound/sound_converter.h"

#include <algorithm>
#include <cstring>

#include "core/memory.h"
#include "sound/decode_acm.h"
#include "sound/decode_mp3.h"
#include "sound/decode_ogg.h"
#include "sound/decode_wav.h"

namespace {

int g_vorbisFileFlag = 0;

// Seeks by less than this many bytes are not worth a decoder seek.
constexpr uint64_t kSeekSlackBytes = 16;
// Far beyond any sound (a year at 48 kHz is under 2^41 samples), and small
// enough that sample * block align stays within 64 bits.
constexpr int64_t kMaxSeekSample = int64_t{1} << 44;

void SeekTo(SoundConverter* c, uint64_t sample) {
  uint64_t target = sample * c->format.blockAlign;
  switch (c->kind) {
    case kSoundConverterPcmWav:
      StreamSeek(c->source, static_cast<int64_t>(c->dataStart + std::min(target, c->dataSize)), 0);
      c->pcmPosition = target;
      c->held = 0;
      c->readOffset = 0;
      break;
    case kSoundConverterAcm:
      SeekAcmConverter(c, target);
      break;
    case kSoundConverterOggVorbis:
      SeekOggVorbisSample(c, static_cast<int64_t>(sample));
      break;
  }
  c->endFlag = 0;
}

int Refill(SoundConverter* c) {
  switch (c->kind) {
    case kSoundConverterPcmWav:
      return RefillPcmWav(c);
    case kSoundConverterAcm:
      return ConvertAcmBlock(c);
    case kSoundConverterOggVorbis:
      return DecodeOggVorbisBlock(c);
  }
  return -1;
}

void CloseDecoder(SoundConverter* c) {
  if (c->kind == kSoundConverterAcm) CloseAcmConverter(c);
  if (c->kind == kSoundConverterOggVorbis) CloseOggVorbisDecoder(c);
}

}  // namespace

void SetSoundConverterVorbisFileFlag(int flag) { g_vorbisFileFlag = flag; }

int OpenSoundConverter(const StreamAccess& source, SoundConverter* c) {
  if (!c) return -1;
  *c = SoundConverter{};
  c->source = source;
  c->vorbisFileFlag = g_vorbisFileFlag;
  using Opener = int (*)(SoundConverter*);
  static constexpr Opener kDecoders[] = {OpenPcmWavConverter, OpenAcmWavConverter, OpenOggVorbisDecoder,
                                         OpenMp3Converter};
  bool opened = false;
  for (Opener open : kDecoders) {
    if (StreamSeek(source, 0, 0) != 0) return -1;
    if (open(c) == 0) {
      opened = true;
      break;
    }
  }
  if (!opened) return -1;
  c->output = static_cast<uint8_t*>(VN_ALLOC(c->outputSize));
  if (!c->output || c->outputSize == 0) {
    MemFree(c->output);
    CloseDecoder(c);
    return -1;
  }
  c->openFlag = 1;
  return 0;
}

int64_t ReadSoundConverterPcm(SoundConverter* c, void* buffer, size_t bytes) {
  if (!c || !c->openFlag) return -1;
  if (c->endFlag || bytes == 0) return 0;
  auto* out = static_cast<uint8_t*>(buffer);
  size_t done = 0;
  while (done < bytes) {
    if (c->held == 0) {
      c->readOffset = 0;
      if (Refill(c) != 0) {
        c->held = 0;
        c->endFlag = 1;
        break;
      }
    }
    size_t n = std::min<size_t>(bytes - done, c->held);
    std::memcpy(out + done, c->output + c->readOffset, n);
    c->readOffset += static_cast<uint32_t>(n);
    c->held -= static_cast<uint32_t>(n);
    c->pcmPosition += n;
    done += n;
  }
  return static_cast<int64_t>(done);
}

int SeekSoundConverter(SoundConverter* c, int64_t sample) {
  if (!c || !c->openFlag || sample < 0) return -1;
  sample = std::min(sample, kMaxSeekSample);
  uint64_t target = static_cast<uint64_t>(sample) * c->format.blockAlign;
  uint64_t distance = target > c->pcmPosition ? target - c->pcmPosition : c->pcmPosition - target;
  if (distance < kSeekSlackBytes) return 0;
  SeekTo(c, static_cast<uint64_t>(sample));
  return 0;
}

int GetSoundConverterFormat(const SoundConverter* c, WaveFormat* format) {
  if (!c || !c->openFlag || !format) return -1;
  *format = c->format;
  return 0;
}

int64_t GetSoundConverterPcmSize(SoundConverter* c) {
  if (!c || !c->openFlag) return 0;
  switch (c->kind) {
    case kSoundConverterPcmWav:
      return static_cast<int64_t>(c->dataSize);
    case kSoundConverterAcm:
      return GetAcmPcmSize(c);
    // The real samples; only a whole decode allocates more (ConvertSoundToPcmMemory).
    case kSoundConverterOggVorbis:
      return GetOggTotalBytes(c);
  }
  return 0;
}

int CloseSoundConverter(SoundConverter* c) {
  if (!c || !c->openFlag) return -1;
  MemFree(c->output);
  c->output = nullptr;
  CloseDecoder(c);
  c->openFlag = 0;
  return 0;
}

int ConvertSoundToPcmMemory(SoundConverter* c, WaveFormat* formatOut, void** pcmOut, size_t* sizeOut) {
  if (!c || !c->openFlag || !pcmOut || !sizeOut) return -1;
  int64_t size = GetSoundConverterPcmSize(c);
  int64_t allocation = c->kind == kSoundConverterOggVorbis ? GetOggPcmBufferSize(c) : size;
  if (size < 0 || allocation < 0 || static_cast<uint64_t>(allocation) > kMaxPcmMemoryBytes) return -1;
  auto* pcm = static_cast<uint8_t*>(VN_ALLOC(std::max<int64_t>(allocation, 1)));
  if (!pcm) return -1;
  // From the very start, whatever was read before (a short seek alone could be skipped).
  SeekTo(c, 0);
  size_t delivered;
  if (c->kind == kSoundConverterPcmWav) {
    delivered = StreamRead(c->source, pcm, 1, static_cast<size_t>(size));
    delivered = delivered / c->format.blockAlign * c->format.blockAlign;
    StreamSeek(c->source, static_cast<int64_t>(c->dataStart + delivered), 0);
    c->pcmPosition = delivered;
  } else {
    int64_t got = ReadSoundConverterPcm(c, pcm, static_cast<size_t>(allocation));
    delivered = got > 0 ? static_cast<size_t>(got) : 0;
  }
  if (formatOut) *formatOut = c->format;
  *pcmOut = pcm;
  *sizeOut = delivered;
  return 0;
}
