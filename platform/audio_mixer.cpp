// The software mixer: every playing secondary buffer is resampled to the
// output rate by linear interpolation, scaled by its volume and pan, summed
// in floating point (16-bit units) and cut to 16 bits, with a limiter where
// the sum would pass full scale.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "platform/audio_device_internal.h"

namespace {

constexpr float kFracScale = 1.0f / 4294967296.0f;

// One sample of a container of Bytes bytes, in 16-bit units.
template <int Bytes, bool Float>
inline float ReadSample(const uint8_t* p) {
  if constexpr (Float) {
    float f;
    std::memcpy(&f, p, 4);
    // Keep damaged float data from poisoning the whole mix.
    if (!(f >= -4.0f && f <= 4.0f)) f = 0.0f;
    return f * 32768.0f;
  } else if constexpr (Bytes == 1) {
    return static_cast<float>((static_cast<int>(p[0]) - 128) * 256);
  } else if constexpr (Bytes == 2) {
    return static_cast<float>(static_cast<int16_t>(ReadLe16(p)));
  } else if constexpr (Bytes == 3) {
    uint32_t u = static_cast<uint32_t>(p[0]) << 8 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 24;
    return static_cast<float>(static_cast<int32_t>(u)) * (1.0f / 65536.0f);
  } else {
    return static_cast<float>(static_cast<int32_t>(ReadLe32(p))) * (1.0f / 65536.0f);
  }
}

// Channels 1 and 2 are the common cases; 0 stands for any other count,
// folded by putting the even channels on the left and the odd on the right.
template <int Bytes, bool Float, int Channels>
struct FrameReader {
  static inline void Read(const uint8_t* frame, int channels, float* left, float* right) {
    if constexpr (Channels == 1) {
      *left = *right = ReadSample<Bytes, Float>(frame);
    } else if constexpr (Channels == 2) {
      *left = ReadSample<Bytes, Float>(frame);
      *right = ReadSample<Bytes, Float>(frame + Bytes);
    } else {
      float sums[2] = {0.0f, 0.0f};
      for (int c = 0; c < channels; c++) sums[c & 1] += ReadSample<Bytes, Float>(frame + c * Bytes);
      *left = sums[0] / static_cast<float>((channels + 1) / 2);
      *right = sums[1] / static_cast<float>(channels / 2);
    }
  }
};

template <class Reader>
void MixBuffer(AudioBuffer* buffer, float* out, uint32_t n) {
  const uint8_t* data = buffer->data->bytes;
  const size_t blockAlign = buffer->format.blockAlign;
  const int channels = buffer->format.channels;
  const uint32_t frames = buffer->frames;
  const uint64_t end = static_cast<uint64_t>(frames) << 32;
  const uint64_t step = buffer->step;
  const bool looping = buffer->looping != 0;
  const float gainLeft = buffer->gainLeft;
  const float gainRight = buffer->gainRight;
  uint64_t position = buffer->position;
  for (uint32_t k = 0; k < n; k++) {
    uint32_t i = static_cast<uint32_t>(position >> 32);
    uint32_t frac = static_cast<uint32_t>(position);
    float left, right;
    Reader::Read(data + i * blockAlign, channels, &left, &right);
    if (frac != 0) {
      // Past the last frame a loop continues at the first; a one-shot holds.
      uint32_t j = i + 1 < frames ? i + 1 : (looping ? 0 : i);
      float nextLeft, nextRight;
      Reader::Read(data + j * blockAlign, channels, &nextLeft, &nextRight);
      float t = static_cast<float>(frac) * kFracScale;
      left += (nextLeft - left) * t;
      right += (nextRight - right) * t;
    }
    out[2 * k] += left * gainLeft;
    out[2 * k + 1] += right * gainRight;
    position += step;
    if (position >= end) {
      if (!looping) {
        buffer->playing = 0;
        position = 0;
        break;
      }
      position %= end;
    }
  }
  buffer->position = position;
}

// The same movement without the samples.
void AdvanceBuffer(AudioBuffer* buffer, uint32_t n) {
  const uint64_t end = static_cast<uint64_t>(buffer->frames) << 32;
  unsigned __int128 position = static_cast<unsigned __int128>(buffer->step) * n + buffer->position;
  if (position < end) {
    buffer->position = static_cast<uint64_t>(position);
  } else if (!buffer->looping) {
    buffer->playing = 0;
    buffer->position = 0;
  } else {
    buffer->position = static_cast<uint64_t>(position % end);
  }
}

template <int Bytes, bool Float>
constexpr AudioMixFunction kMixByChannels[3] = {
    MixBuffer<FrameReader<Bytes, Float, 0>>,
    MixBuffer<FrameReader<Bytes, Float, 1>>,
    MixBuffer<FrameReader<Bytes, Float, 2>>,
};

// Rows: integer containers of 1..4 bytes, then 32-bit float.
constexpr const AudioMixFunction* kMixTable[5] = {
    kMixByChannels<1, false>, kMixByChannels<2, false>, kMixByChannels<3, false>,
    kMixByChannels<4, false>, kMixByChannels<4, true>,
};

inline int16_t ToPcm16(float value) {
  if (value <= -32768.0f) return -32768;
  if (value >= 32767.0f) return 32767;
  return static_cast<int16_t>(std::lrintf(value));
}

// The limiter. Sums within the ceiling pass as they are; where a sum would
// pass it, one gain for both sides comes down. The gain leans down over the
// frames before a peak in the same chunk, so it is down when the peak comes
// (a peak in a chunk's first frames, with nothing before it to lean over,
// drops it at once), and relaxes exponentially after. The ceiling lies
// under the 8-bit output's top (127 * 256 = 32512) too, so one ceiling
// serves every output.
constexpr float kLimitCeiling = 32000.0f;  // -0.2 dBFS
constexpr float kLimitAttackSeconds = 0.005f;
constexpr float kLimitReleaseSeconds = 0.05f;
// A cut smaller than this changes no sample by half a step: at rest.
constexpr float kLimitRestCut = 1.0e-5f;

// Cuts the chunk's sums to the output samples; returns the largest magnitude
// the listener would get.
float ToOutput(AudioDevice* device, uint32_t n, bool mono, bool eightBit) {
  float loudest = 0.0f;
  for (uint32_t k = 0; k < n; k++) {
    float left = device->mix[2 * k], right = device->mix[2 * k + 1];
    if (mono) left = right = (left + right) * 0.5f;
    loudest = std::max(loudest, std::max(std::fabs(left), std::fabs(right)));
    int16_t l = ToPcm16(left), r = ToPcm16(right);
    if (eightBit) {
      l = static_cast<int16_t>((l >> 8) * 256);
      r = static_cast<int16_t>((r >> 8) * 256);
    }
    device->pcm[2 * k] = l;
    device->pcm[2 * k + 1] = r;
  }
  return loudest;
}

// Scales the chunk's sums (folded first for a mono output) by the limiter's
// gain, carrying it over to the next chunk. The gain is kept as its cut
// below 1, which a float holds finely near rest.
void Limit(AudioDevice* device, uint32_t n, bool mono) {
  float* mix = device->mix;
  float* least = device->limitLeast;
  const float rate = static_cast<float>(device->outputFormat.samplesPerSec);
  const float attackStep = 1.0f / (kLimitAttackSeconds * rate);
  const float release = std::exp(-1.0f / (kLimitReleaseSeconds * rate));
  float next = 0.0f;
  for (uint32_t k = n; k-- > 0;) {
    if (mono) mix[2 * k] = mix[2 * k + 1] = (mix[2 * k] + mix[2 * k + 1]) * 0.5f;
    const float peak = std::max(std::fabs(mix[2 * k]), std::fabs(mix[2 * k + 1]));
    const float need = peak > kLimitCeiling ? 1.0f - kLimitCeiling / peak : 0.0f;
    next = std::max(need, next - attackStep);
    least[k] = next;
  }
  float cut = device->limitCut;
  for (uint32_t k = 0; k < n; k++) {
    cut *= release;
    if (cut < kLimitRestCut) cut = 0.0f;
    cut = std::max(cut, least[k]);
    const float gain = 1.0f - cut;
    mix[2 * k] *= gain;
    mix[2 * k + 1] *= gain;
  }
  device->limitCut = cut;
}

// Limit of frames a capture header can describe (4 * n + 38 in 32 bits).
constexpr uint32_t kCaptureMaxFrames = (0xFFFFFFFFu - 38u) / 4u;

void WriteCapture(AudioDevice* device, const int16_t* pcm, uint32_t frames) {
  static_assert(std::endian::native == std::endian::little, "capture writes the mix as it lies in memory");
  uint32_t room = kCaptureMaxFrames - device->captureFrames;
  if (frames > room) frames = room;
  if (frames == 0) return;
  size_t written = std::fwrite(pcm, 4, frames, device->capture);
  device->captureFrames += static_cast<uint32_t>(written);
}

bool Playable(AudioBuffer* buffer) {
  if (!buffer->playing || buffer->primary) return false;
  if (buffer->frames == 0) {
    buffer->playing = 0;
    return false;
  }
  return true;
}

}  // namespace

bool AudioChooseMixFunction(AudioBuffer* buffer) {
  const WaveFormat& f = buffer->format;
  if (f.channels < 1 || f.channels > 8 || f.blockAlign == 0 || f.blockAlign % f.channels != 0) return false;
  if (f.samplesPerSec < 1 || f.samplesPerSec > kWaveFormatMaxRate) return false;
  unsigned container = f.blockAlign / f.channels;
  if (container < 1 || container > 4 || f.bitsPerSample == 0 || f.bitsPerSample > container * 8) return false;
  int row;
  if (f.formatTag == kWaveFormatPcm) {
    row = static_cast<int>(container) - 1;
  } else if (f.formatTag == kWaveFormatIeeeFloat && container == 4 && f.bitsPerSample == 32) {
    row = 4;
  } else {
    return false;
  }
  buffer->mix = kMixTable[row][f.channels <= 2 ? f.channels : 0];
  return true;
}

void AudioUpdateGains(AudioBuffer* buffer) {
  double amplitude = std::pow(10.0, buffer->volume / 2000.0);
  double left = amplitude, right = amplitude;
  if (buffer->pan > 0) left *= std::pow(10.0, -buffer->pan / 2000.0);
  if (buffer->pan < 0) right *= std::pow(10.0, buffer->pan / 2000.0);
  buffer->gainLeft = static_cast<float>(left);
  buffer->gainRight = static_cast<float>(right);
}

void AudioUpdateStep(AudioBuffer* buffer, uint32_t outputRate) {
  buffer->step = (static_cast<uint64_t>(buffer->format.samplesPerSec) << 32) / outputRate;
}

void AudioMixFrames(AudioDevice* device, uint32_t frames, int16_t* out) {
  if (!out && !device->capture) {
    for (AudioBuffer* b = device->buffers; b; b = b->next) {
      if (Playable(b)) AdvanceBuffer(b, frames);
    }
    return;
  }
  const bool mono = device->outputFormat.channels == 1;
  const bool eightBit = device->outputFormat.bitsPerSample == 8;
  while (frames > 0) {
    uint32_t n = frames < kAudioMixChunk ? frames : kAudioMixChunk;
    std::memset(device->mix, 0, sizeof(float) * 2 * n);
    for (AudioBuffer* b = device->buffers; b; b = b->next) {
      if (Playable(b)) b->mix(b, device->mix, n);
    }
    // The output format is what the listener gets, so a mono or 8-bit
    // output is heard as such, and the limiter looks at what is heard. While
    // the limiter is at work the plain cut would be thrown away.
    if (device->limitCut > 0.0f || ToOutput(device, n, mono, eightBit) > kLimitCeiling) {
      Limit(device, n, mono);
      ToOutput(device, n, false, eightBit);
    }
    if (device->capture) WriteCapture(device, device->pcm, n);
    if (out) {
      std::memcpy(out, device->pcm, sizeof(int16_t) * 2 * n);
      out += 2 * n;
    }
    frames -= n;
  }
}
