#include "sound/wave_buffer.h"

#include <cmath>

#include "core/memory.h"
#include "sound/sound_file.h"
#include "sound/sound_system.h"

namespace {

int g_softwareBuffers = 0;

bool Usable(const WaveBuffer* buffer) { return buffer && buffer->inUse; }

// 10^(exponent) as a 0..256 scale, the way software buffers keep levels.
int32_t SoftwareScale(double exponent) {
  return static_cast<int32_t>(std::pow(10.0, exponent) * 1.0000000001 * 256.0);
}

void ResetSoftwareState(WaveBuffer* buffer) {
  buffer->playing = 0;
  buffer->position = 0;
  buffer->loop = 0;
  buffer->pan = 0;
  buffer->volume = 255;
}

int MakeSoftwareBuffer(WaveBuffer* buffer, const WaveFormat& format, uint32_t bytes) {
  if (format.blockAlign == 0 || bytes > 0x7FFFFFFFu) return -1;
  auto* data = static_cast<uint8_t*>(VN_ALLOC(bytes ? bytes : 1));
  if (!data) return -1;
  buffer->device = nullptr;
  buffer->data = data;
  ResetSoftwareState(buffer);
  buffer->sizeSamples = static_cast<int32_t>(bytes / format.blockAlign);
  buffer->format = format;
  buffer->inUse = 1;
  return 0;
}

}  // namespace

void SetSoftwareWaveBuffers(int flag) { g_softwareBuffers = flag ? 1 : 0; }
int GetSoftwareWaveBuffers() { return g_softwareBuffers; }

int CreateWaveBuffer(WaveBuffer* buffer, const AudioBufferDesc* description) {
  if (!buffer || !description || buffer->inUse) return -1;
  if (g_softwareBuffers) {
    if (!description->format) return -1;
    return MakeSoftwareBuffer(buffer, *description->format, description->bufferBytes);
  }
  AudioBuffer* device = AudioBufferCreate(g_soundSystem.device, description);
  if (!device) return -1;
  buffer->device = device;
  buffer->data = nullptr;
  buffer->inUse = 1;
  return 0;
}

int DuplicateWaveBuffer(WaveBuffer* source, WaveBuffer* destination) {
  if (!Usable(source) || !destination || destination->inUse) return -1;
  if (!source->device) {
    // The content is not copied: the whole-sound loader fills every buffer.
    uint32_t bytes = static_cast<uint32_t>(source->sizeSamples) * source->format.blockAlign;
    return MakeSoftwareBuffer(destination, source->format, bytes);
  }
  AudioBuffer* device = AudioBufferDuplicate(g_soundSystem.device, source->device);
  if (!device) return -1;
  destination->device = device;
  destination->data = nullptr;
  destination->inUse = 1;
  return 0;
}

int ReleaseWaveBuffer(WaveBuffer* buffer) {
  if (!Usable(buffer)) return -1;
  if (buffer->device) AudioBufferRelease(buffer->device);
  MemFree(buffer->data);
  buffer->device = nullptr;
  buffer->data = nullptr;
  buffer->inUse = 0;
  return 0;
}

int PlayWaveBuffer(WaveBuffer* buffer, int loop) {
  if (!Usable(buffer)) return -1;
  if (buffer->device) {
    AudioBufferPlay(buffer->device, loop == 1);
  } else {
    buffer->playing = 1;
    buffer->loop = loop;
  }
  return 0;
}

int StopWaveBuffer(WaveBuffer* buffer) {
  if (!Usable(buffer)) return -1;
  if (buffer->device) AudioBufferStop(buffer->device);
  else buffer->playing = 0;
  return 0;
}

int GetWaveBufferStatus(WaveBuffer* buffer, uint32_t* status) {
  if (!Usable(buffer) || !status) return -1;
  if (buffer->device) return AudioBufferGetStatus(buffer->device, status) == 0 ? 0 : -1;
  *status = buffer->playing ? kAudioStatusPlaying : 0;
  return 0;
}

int LockWaveBuffer(WaveBuffer* buffer, uint32_t offset, uint32_t bytes, void** part1, uint32_t* size1,
                   void** part2, uint32_t* size2) {
  if (!Usable(buffer) || !part1 || !size1) return -1;
  if (buffer->device) return AudioBufferLock(buffer->device, offset, bytes, part1, size1, part2, size2) == 0 ? 0 : -1;

  const uint64_t blockAlign = buffer->format.blockAlign;
  const uint64_t samples = static_cast<uint64_t>(buffer->sizeSamples);
  const uint64_t offsetSamples = offset / blockAlign;
  const uint64_t byteSamples = bytes / blockAlign;
  // A range that starts past the end or is longer than the buffer has no
  // pieces inside the block.
  if (offsetSamples >= samples || byteSamples > samples) return -1;
  const uint64_t blockBytes = samples * blockAlign;
  uint64_t first, second = 0;
  if (offsetSamples + byteSamples <= samples) {
    first = bytes;
  } else {
    first = blockAlign * (samples - offsetSamples);
    second = (byteSamples - (samples - offsetSamples)) * blockAlign;
    if (!part2 || !size2) return -1;
  }
  if (offset + first > blockBytes || second > blockBytes) return -1;
  *part1 = buffer->data + offset;
  *size1 = static_cast<uint32_t>(first);
  if (part2) *part2 = second ? buffer->data : nullptr;
  if (size2) *size2 = static_cast<uint32_t>(second);
  return 0;
}

int UnlockWaveBuffer(WaveBuffer* buffer, void* part1, uint32_t size1, void* part2, uint32_t size2) {
  if (!Usable(buffer)) return -1;
  if (buffer->device) return AudioBufferUnlock(buffer->device, part1, size1, part2, size2) == 0 ? 0 : -1;
  return 0;
}

int SetWaveBufferPan(WaveBuffer* buffer, int32_t pan) {
  if (!Usable(buffer)) return -1;
  if (buffer->device) {
    AudioBufferSetPan(buffer->device, pan);
    return 0;
  }
  if (pan <= -10000) buffer->pan = -256;
  else if (pan >= 10000) buffer->pan = 256;
  else if (pan == 0) buffer->pan = 0;
  else buffer->pan = (pan < 0 ? -1 : 1) * SoftwareScale(-std::abs(pan) / 1000.0);
  return 0;
}

int SetWaveBufferVolume(WaveBuffer* buffer, int32_t volume) {
  if (!Usable(buffer)) return -1;
  if (buffer->device) {
    AudioBufferSetVolume(buffer->device, volume);
    return 0;
  }
  if (volume <= -10000) buffer->volume = 0;
  else if (volume >= 0) buffer->volume = 256;
  else buffer->volume = SoftwareScale(volume / 1000.0);
  return 0;
}

int SetWaveBufferPosition(WaveBuffer* buffer, uint32_t bytes) {
  if (!Usable(buffer)) return -1;
  if (buffer->device) {
    AudioBufferSetPosition(buffer->device, bytes);
    return 0;
  }
  uint32_t sample = bytes / buffer->format.blockAlign;
  if (sample < static_cast<uint32_t>(buffer->sizeSamples)) buffer->position = static_cast<int32_t>(sample);
  return 0;
}

int GetWaveBufferPosition(WaveBuffer* buffer, uint32_t* bytes) {
  if (!Usable(buffer) || !bytes) return -1;
  if (buffer->device) return AudioBufferGetPosition(buffer->device, bytes) == 0 ? 0 : -1;
  *bytes = static_cast<uint32_t>(buffer->position) * buffer->format.blockAlign;
  return 0;
}

namespace {

// The capture is always 44,100 Hz stereo 16-bit, four bytes a frame.
constexpr WaveFormat kCaptureFormat = PcmWaveFormat(2, 44100, 16);
static_assert(28 + kWaveFormatBytes == kAudioCaptureHeaderBytes);

void BuildCaptureHeader(uint32_t frames, uint8_t header[kAudioCaptureHeaderBytes]) {
  WriteWavHeader(header, kCaptureFormat, kWaveFormatBytes, 4 * frames);
}

}  // namespace

int FinishCaptureWavFile() {
  if (!AudioCaptureIsOpen(g_soundSystem.device)) return -1;
  return AudioCaptureFinish(g_soundSystem.device, BuildCaptureHeader) == 0 ? 0 : -1;
}
