#include "platform/audio_codec.h"

#include <algorithm>
#include <cstring>

#include "core/memory.h"
#include "platform/audio_codec_blocks.h"
#include "platform/audio_codec_mpeg.h"

namespace {

// MS-ADPCM with its seven standard coefficient pairs: 18 + 4 + 7 * 4 bytes.
constexpr uint32_t kMaxFormatSize = 50;
// No MPEG stream packs more than about 200 PCM bytes into one byte (24-byte
// frames of 576 stereo samples); estimates assume at least 8 kbit/s of input.
constexpr uint32_t kMinMpegBytesPerSec = 1000;

// A source format that a codec here takes, checked field by field.
struct CodecFormat {
  uint16_t tag;
  int channels;
  uint32_t rate;
  uint32_t blockAlign;
  uint32_t sourceAvg;
  int samplesPerBlock;
  int numCoefs;
  const uint8_t* coefBytes;
};

bool IsMpegRate(uint32_t rate) {
  for (uint32_t r : {8000u, 11025u, 12000u, 16000u, 22050u, 24000u, 32000u, 44100u, 48000u})
    if (rate == r) return true;
  return false;
}

int ParseCodecFormat(const uint8_t* source, uint32_t sourceSize, CodecFormat* out) {
  if (!source || sourceSize < 16) return -1;
  WaveFormat f = WaveFormatFromBytes(source, sourceSize);
  uint32_t extra = sourceSize >= kWaveFormatBytes ? std::min<uint32_t>(f.extraSize, sourceSize - kWaveFormatBytes) : 0;
  const uint8_t* extraBytes = source + kWaveFormatBytes;
  *out = CodecFormat{f.formatTag, f.channels, f.samplesPerSec, f.blockAlign, f.avgBytesPerSec, 0, 0, nullptr};
  if (f.channels < 1 || f.channels > 2 || f.samplesPerSec < 1 || f.samplesPerSec > kWaveFormatMaxRate) return -1;
  switch (f.formatTag) {
    case kWaveFormatMsAdpcm: {
      int maxSamples = MsAdpcmMaxSamplesPerBlock(f.blockAlign, f.channels);
      if (f.bitsPerSample != 4 || extra < 4 || maxSamples < 2) return -1;
      out->samplesPerBlock = ReadLe16(extraBytes);
      out->numCoefs = ReadLe16(extraBytes + 2);
      out->coefBytes = extraBytes + 4;
      if (out->numCoefs < 1 || extra < 4u + 4u * out->numCoefs) return -1;
      if (out->samplesPerBlock < 2 || out->samplesPerBlock > maxSamples) return -1;
      return 0;
    }
    case kWaveFormatImaAdpcm: {
      int maxSamples = ImaAdpcmMaxSamplesPerBlock(f.blockAlign, f.channels);
      if (f.bitsPerSample != 4 || maxSamples < 1) return -1;
      out->samplesPerBlock = extra >= 2 ? ReadLe16(extraBytes) : maxSamples;
      if (out->samplesPerBlock < 1 || out->samplesPerBlock > maxSamples) return -1;
      return 0;
    }
    case kWaveFormatAlaw:
    case kWaveFormatMulaw:
      if (f.bitsPerSample != 8 || f.blockAlign != f.channels) return -1;
      return 0;
    case kWaveFormatMpeg:
    case kWaveFormatMpegLayer3:
      return IsMpegRate(f.samplesPerSec) ? 0 : -1;
    default:
      return -1;
  }
}

WaveFormat PcmFormatFor(const CodecFormat& c) { return PcmWaveFormat(static_cast<uint16_t>(c.channels), c.rate, 16); }

bool IsMpeg(uint16_t tag) { return tag == kWaveFormatMpeg || tag == kWaveFormatMpegLayer3; }
bool IsLaw(uint16_t tag) { return tag == kWaveFormatAlaw || tag == kWaveFormatMulaw; }

}  // namespace

struct AudioCodecStream {
  CodecFormat format;
  WaveFormat output;
  uint32_t outputPerBlock;  // PCM bytes of one whole source block (ADPCM)
  MsAdpcmCoef* coefs;
  MpegDecoder* mpeg;
};

uint32_t AudioCodecMaxFormatSize() { return kMaxFormatSize; }

int AudioCodecSuggestFormat(const uint8_t* source, uint32_t sourceSize, WaveFormat* output) {
  CodecFormat c;
  if (!output || ParseCodecFormat(source, sourceSize, &c) != 0) return -1;
  *output = PcmFormatFor(c);
  return 0;
}

AudioCodecStream* AudioCodecOpen(const uint8_t* source, uint32_t sourceSize, const WaveFormat& output) {
  CodecFormat c;
  if (ParseCodecFormat(source, sourceSize, &c) != 0) return nullptr;
  if (!WaveFormatEquals(output, PcmFormatFor(c))) return nullptr;
  auto* s = static_cast<AudioCodecStream*>(VN_ALLOC_ZEROED(sizeof(AudioCodecStream)));
  if (!s) return nullptr;
  s->format = c;
  s->output = output;
  s->outputPerBlock = static_cast<uint32_t>(c.samplesPerBlock) * output.blockAlign;
  if (c.tag == kWaveFormatMsAdpcm) {
    s->coefs = static_cast<MsAdpcmCoef*>(VN_ALLOC(sizeof(MsAdpcmCoef) * c.numCoefs));
    if (!s->coefs) {
      MemFree(s);
      return nullptr;
    }
    for (int i = 0; i < c.numCoefs; i++) {
      s->coefs[i].coef1 = static_cast<int16_t>(ReadLe16(c.coefBytes + 4 * i));
      s->coefs[i].coef2 = static_cast<int16_t>(ReadLe16(c.coefBytes + 4 * i + 2));
    }
    s->format.coefBytes = nullptr;  // the caller's block may go away
  } else if (IsMpeg(c.tag)) {
    s->mpeg = MpegDecoderOpen(c.rate, c.channels);
    if (!s->mpeg) {
      MemFree(s);
      return nullptr;
    }
  }
  return s;
}

void AudioCodecClose(AudioCodecStream* s) {
  if (!s) return;
  MpegDecoderClose(s->mpeg);
  MemFree(s->coefs);
  MemFree(s);
}

int AudioCodecOutputSize(AudioCodecStream* s, uint64_t sourceBytes, uint64_t* outputBytes) {
  if (!s || !outputBytes) return -1;
  const CodecFormat& c = s->format;
  if (IsLaw(c.tag)) {
    *outputBytes = sourceBytes / c.blockAlign * s->output.blockAlign;
  } else if (IsMpeg(c.tag)) {
    uint64_t sourceAvg = std::max(c.sourceAvg, kMinMpegBytesPerSec);
    *outputBytes = sourceBytes * s->output.avgBytesPerSec / sourceAvg / s->output.blockAlign * s->output.blockAlign;
  } else {
    *outputBytes = sourceBytes / c.blockAlign * s->outputPerBlock;
  }
  return 0;
}

int AudioCodecConvert(AudioCodecStream* s, const uint8_t* source, uint32_t sourceBytes, uint32_t* consumed,
                      uint8_t* output, uint32_t outputBytes, uint32_t* produced) {
  if (!s || !consumed || !produced) return -1;
  *consumed = 0;
  *produced = 0;
  const CodecFormat& c = s->format;
  if (IsMpeg(c.tag)) {
    MpegDecoderConvert(s->mpeg, source, sourceBytes, consumed, output, outputBytes, produced);
    return 0;
  }
  if (IsLaw(c.tag)) {
    uint32_t frames = std::min(sourceBytes / c.blockAlign, outputBytes / s->output.blockAlign);
    uint32_t count = frames * c.blockAlign;
    for (uint32_t i = 0; i < count; i++) {
      int16_t v = c.tag == kWaveFormatAlaw ? DecodeAlawSample(source[i]) : DecodeMulawSample(source[i]);
      WriteLe16(output + 2 * i, static_cast<uint16_t>(v));
    }
    *consumed = count;
    *produced = count * 2;
    return 0;
  }
  uint32_t blocks = std::min(sourceBytes / c.blockAlign, outputBytes / s->outputPerBlock);
  for (uint32_t b = 0; b < blocks; b++) {
    const uint8_t* in = source + static_cast<size_t>(b) * c.blockAlign;
    uint8_t* out = output + static_cast<size_t>(b) * s->outputPerBlock;
    int result = c.tag == kWaveFormatMsAdpcm
                     ? DecodeMsAdpcmBlock(in, c.channels, c.samplesPerBlock, s->coefs, c.numCoefs, out)
                     : DecodeImaAdpcmBlock(in, c.channels, c.samplesPerBlock, out);
    if (result != 0) break;  // a broken block ends the conversion before it
    *consumed += c.blockAlign;
    *produced += s->outputPerBlock;
  }
  return 0;
}
