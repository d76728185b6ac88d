// The audio device and its buffers. Every operation runs under the device
// lock, which the SDL output's mixing thread takes as well. The null and
// capture outputs have no thread: each operation first mixes the frames due
// since the last one, so their cursors follow real time.
#include <cstring>
#include <new>

#include "core/memory.h"
#include "platform/audio_device_internal.h"
#include "platform/timer.h"

namespace {

AudioOutputKind g_outputKind = AudioOutputKind::Sdl;
char g_capturePath[4096];
bool g_hasCapturePath = false;
uint32_t g_failures = 0;
bool g_hasTestCaps = false;
AudioDeviceCaps g_testCaps;
AudioDevice* g_activeDevice = nullptr;
bool g_listerLoaded = false;
AudioOutputKind g_listerKind = AudioOutputKind::Sdl;

constexpr AudioDeviceCaps kDeviceCaps = {
    kAudioCapsPrimaryMono | kAudioCapsPrimaryStereo | kAudioCapsPrimary8Bit | kAudioCapsPrimary16Bit |
        kAudioCapsContinuousRate | kAudioCapsSecondaryMono | kAudioCapsSecondaryStereo |
        kAudioCapsSecondary8Bit | kAudioCapsSecondary16Bit,
    100, 200000, 0, 0};

constexpr WaveFormat kDefaultOutputFormat = PcmWaveFormat(2, 44100, 16);

bool Fails(uint32_t failure) { return (g_failures & failure) != 0; }

bool RealTimeOutput(const AudioDevice* device) {
  return device->output == AudioOutputKind::Null || device->output == AudioOutputKind::WavCapture;
}

bool Running(const AudioDevice* device) { return device->initialized && !device->released; }

void StartClock(AudioDevice* device) {
  device->clockStartUs = PlatformMicroseconds();
  device->clockFrames = 0;
}

// Mixes what the real-time outputs owe since the last call.
void CatchUp(AudioDevice* device) {
  if (!Running(device) || !RealTimeOutput(device)) return;
  uint64_t elapsed = PlatformMicroseconds() - device->clockStartUs;
  uint64_t due = elapsed * device->outputFormat.samplesPerSec / 1000000u;
  while (device->clockFrames < due) {
    uint64_t n = due - device->clockFrames;
    if (n > 0x40000000u) n = 0x40000000u;
    AudioMixFrames(device, static_cast<uint32_t>(n), nullptr);
    device->clockFrames += n;
  }
}

void CloseCapture(AudioDevice* device) {
  if (!device->capture) return;
  std::fclose(device->capture);
  device->capture = nullptr;
}

void OpenCapture(AudioDevice* device) {
  if (!g_hasCapturePath) return;
  FILE* file = std::fopen(g_capturePath, "wb");
  if (!file) return;
  static const uint8_t kRoom[kAudioCaptureHeaderBytes] = {};
  if (std::fwrite(kRoom, 1, sizeof(kRoom), file) != sizeof(kRoom)) {
    std::fclose(file);
    return;
  }
  device->capture = file;
  device->captureFrames = 0;
}

void DestroyDevice(AudioDevice* device) {
  device->~AudioDevice();
  MemFree(device);
}

// Drops one reference; the caller must not hold the device lock.
void DropDeviceRef(AudioDevice* device) {
  bool last;
  {
    std::lock_guard<std::mutex> guard(device->lock);
    last = --device->refs == 0;
  }
  if (last) DestroyDevice(device);
}

bool ValidOutputFormat(const WaveFormat& f) {
  return f.formatTag == kWaveFormatPcm && (f.channels == 1 || f.channels == 2) &&
         (f.bitsPerSample == 8 || f.bitsPerSample == 16) && f.samplesPerSec >= 100 &&
         f.samplesPerSec <= 200000 && f.blockAlign == f.channels * f.bitsPerSample / 8;
}

AudioBuffer* NewBuffer(AudioDevice* device) {
  auto* buffer = static_cast<AudioBuffer*>(VN_ALLOC_ZEROED(sizeof(AudioBuffer)));
  if (!buffer) return nullptr;
  buffer->device = device;
  return buffer;
}

// Links a made buffer into its device; the device lock is held.
void LinkBuffer(AudioDevice* device, AudioBuffer* buffer) {
  buffer->prev = nullptr;
  buffer->next = device->buffers;
  if (device->buffers) device->buffers->prev = buffer;
  device->buffers = buffer;
  device->refs++;
}

void DropData(AudioData* data) {
  if (!data || --data->refs > 0) return;
  MemFree(data->bytes);
  MemFree(data);
}

AudioBuffer* CreatePrimary(AudioDevice* device, const AudioBufferDesc* description) {
  if (Fails(AudioFailPrimaryBuffer) || description->bufferBytes != 0 || description->format) return nullptr;
  AudioBuffer* buffer = NewBuffer(device);
  if (!buffer) return nullptr;
  buffer->primary = true;
  buffer->flags = description->flags;
  std::lock_guard<std::mutex> guard(device->lock);
  LinkBuffer(device, buffer);
  return buffer;
}

AudioBuffer* CreateSecondary(AudioDevice* device, const AudioBufferDesc* description) {
  if (Fails(AudioFailBufferCreate) || !description->format) return nullptr;
  AudioBuffer* buffer = NewBuffer(device);
  if (!buffer) return nullptr;
  buffer->flags = description->flags;
  buffer->format = *description->format;
  if (!AudioChooseMixFunction(buffer) || description->bufferBytes > 0x7FFFFFFFu) {
    MemFree(buffer);
    return nullptr;
  }
  auto* data = static_cast<AudioData*>(VN_ALLOC_ZEROED(sizeof(AudioData)));
  uint8_t* bytes = static_cast<uint8_t*>(VN_ALLOC_ZEROED(description->bufferBytes ? description->bufferBytes : 1));
  if (!data || !bytes) {
    MemFree(data);
    MemFree(bytes);
    MemFree(buffer);
    return nullptr;
  }
  data->refs = 1;
  data->size = description->bufferBytes;
  data->bytes = bytes;
  buffer->data = data;
  buffer->frames = data->size / buffer->format.blockAlign;
  buffer->volume = 0;
  buffer->pan = 0;
  AudioUpdateGains(buffer);
  std::lock_guard<std::mutex> guard(device->lock);
  AudioUpdateStep(buffer, device->outputFormat.samplesPerSec);
  LinkBuffer(device, buffer);
  return buffer;
}

// Runs an operation on a buffer under its device lock, after the clock has
// caught up.
template <typename Operation>
int WithBuffer(AudioBuffer* buffer, Operation operation) {
  if (!buffer) return -1;
  std::lock_guard<std::mutex> guard(buffer->device->lock);
  CatchUp(buffer->device);
  return operation(buffer);
}

int BuiltinEnumerate(AudioDeviceEnumCallback callback, void* context) {
  if (!callback) return -1;
  switch (g_listerKind) {
    case AudioOutputKind::Manual:
      callback(nullptr, "Manual output", "manual", context);
      break;
    case AudioOutputKind::WavCapture:
      callback(nullptr, "WAV capture", "capture", context);
      break;
    default:
      callback(nullptr, "Null output", "null", context);
      break;
  }
  return 0;
}

}  // namespace

// ---- Settings ----

void AudioSelectOutput(AudioOutputKind kind, const char* capturePath) {
  g_outputKind = kind;
  g_hasCapturePath = capturePath && capturePath[0] && std::strlen(capturePath) < sizeof(g_capturePath);
  if (g_hasCapturePath) std::strcpy(g_capturePath, capturePath);
}

void AudioSetFailuresForTest(uint32_t mask) { g_failures = mask; }

void AudioSetCapsForTest(const AudioDeviceCaps* caps) {
  g_hasTestCaps = caps != nullptr;
  if (caps) g_testCaps = *caps;
}

// ---- Device ----

AudioDevice* AudioDeviceCreate() {
  if (g_activeDevice || Fails(AudioFailCreate)) return nullptr;
  void* memory = VN_ALLOC_ZEROED(sizeof(AudioDevice));
  if (!memory) return nullptr;
  auto* device = new (memory) AudioDevice();
  device->refs = 1;
  device->output = g_outputKind;
  device->outputFormat = kDefaultOutputFormat;
  g_activeDevice = device;
  return device;
}

AudioDevice* AudioDeviceActive() { return g_activeDevice; }

int AudioDeviceInitialize(AudioDevice* device) {
  if (!device || device->initialized || device->released || Fails(AudioFailInitialize)) return -1;
  {
    std::lock_guard<std::mutex> guard(device->lock);
    device->output = g_outputKind;
    device->limitCut = 0.0f;
    OpenCapture(device);
  }
  bool sdl = device->output == AudioOutputKind::Sdl && kAudioSdlOutput.open(device);
  std::lock_guard<std::mutex> guard(device->lock);
  if (device->output == AudioOutputKind::Sdl && !sdl) device->output = AudioOutputKind::Null;
  StartClock(device);
  device->initialized = true;
  return 0;
}

int AudioDeviceSetCooperativeLevel(AudioDevice* device, int priority) {
  if (!device || !Running(device) || Fails(AudioFailCooperativeLevel)) return -1;
  std::lock_guard<std::mutex> guard(device->lock);
  device->cooperativeLevel = priority;
  return 0;
}

int AudioDeviceGetCaps(AudioDevice* device, AudioDeviceCaps* caps) {
  if (!device || !caps || !Running(device)) return -1;
  *caps = g_hasTestCaps ? g_testCaps : kDeviceCaps;
  return 0;
}

void AudioDeviceRelease(AudioDevice* device) {
  if (!device || device->released) return;
  if (device->initialized && device->output == AudioOutputKind::Sdl) kAudioSdlOutput.close(device);
  {
    std::lock_guard<std::mutex> guard(device->lock);
    CatchUp(device);
    device->released = true;
    CloseCapture(device);
  }
  if (g_activeDevice == device) g_activeDevice = nullptr;
  DropDeviceRef(device);
}

AudioOutputKind AudioDeviceOutput(AudioDevice* device) { return device ? device->output : g_outputKind; }

uint32_t AudioDeviceMixRate(AudioDevice* device) { return device ? device->outputFormat.samplesPerSec : 0; }

int AudioDeviceAdvanceFrames(AudioDevice* device, uint32_t frames, int16_t* out) {
  if (!device || !Running(device) || device->output != AudioOutputKind::Manual) return -1;
  std::lock_guard<std::mutex> guard(device->lock);
  AudioMixFrames(device, frames, out);
  return 0;
}

// ---- Buffers ----

AudioBuffer* AudioBufferCreate(AudioDevice* device, const AudioBufferDesc* description) {
  if (!device || !description || !Running(device)) return nullptr;
  if (description->flags & kAudioBufferPrimary) return CreatePrimary(device, description);
  return CreateSecondary(device, description);
}

AudioBuffer* AudioBufferDuplicate(AudioDevice* device, AudioBuffer* source) {
  if (!device || !source || source->primary || source->device != device || !Running(device)) return nullptr;
  if (Fails(AudioFailDuplicate)) return nullptr;
  AudioBuffer* buffer = NewBuffer(device);
  if (!buffer) return nullptr;
  std::lock_guard<std::mutex> guard(device->lock);
  buffer->flags = source->flags;
  buffer->data = source->data;
  buffer->data->refs++;
  buffer->format = source->format;
  buffer->frames = source->frames;
  buffer->step = source->step;
  buffer->mix = source->mix;
  buffer->volume = source->volume;
  buffer->pan = source->pan;
  AudioUpdateGains(buffer);
  LinkBuffer(device, buffer);
  return buffer;
}

void AudioBufferRelease(AudioBuffer* buffer) {
  if (!buffer) return;
  AudioDevice* device = buffer->device;
  {
    std::lock_guard<std::mutex> guard(device->lock);
    CatchUp(device);
    if (buffer->prev) buffer->prev->next = buffer->next;
    else device->buffers = buffer->next;
    if (buffer->next) buffer->next->prev = buffer->prev;
    DropData(buffer->data);
  }
  MemFree(buffer);
  DropDeviceRef(device);
}

int AudioBufferSetFormat(AudioBuffer* buffer, const WaveFormat* format) {
  if (!buffer || !format || !buffer->primary || Fails(AudioFailSetFormat) || !ValidOutputFormat(*format)) return -1;
  AudioDevice* device = buffer->device;
  bool rateChanged;
  {
    std::lock_guard<std::mutex> guard(device->lock);
    CatchUp(device);
    rateChanged = format->samplesPerSec != device->outputFormat.samplesPerSec;
    device->outputFormat = *format;
    device->outputFormat.avgBytesPerSec = format->samplesPerSec * format->blockAlign;
    device->outputFormat.extraSize = 0;
    if (rateChanged) {
      for (AudioBuffer* b = device->buffers; b; b = b->next) {
        if (!b->primary) AudioUpdateStep(b, format->samplesPerSec);
      }
      StartClock(device);
    }
  }
  if (rateChanged && Running(device) && device->output == AudioOutputKind::Sdl) kAudioSdlOutput.formatChanged(device);
  return 0;
}

int AudioBufferGetFormat(AudioBuffer* buffer, WaveFormat* format) {
  if (!format) return -1;
  return WithBuffer(buffer, [&](AudioBuffer* b) {
    *format = b->primary ? b->device->outputFormat : b->format;
    return 0;
  });
}

int AudioBufferPlay(AudioBuffer* buffer, int looping) {
  return WithBuffer(buffer, [&](AudioBuffer* b) {
    if (b->primary || b->frames == 0) return 0;
    b->playing = 1;
    b->looping = looping ? 1 : 0;
    return 0;
  });
}

int AudioBufferStop(AudioBuffer* buffer) {
  return WithBuffer(buffer, [](AudioBuffer* b) {
    b->playing = 0;
    return 0;
  });
}

int AudioBufferGetStatus(AudioBuffer* buffer, uint32_t* status) {
  if (!status) return -1;
  return WithBuffer(buffer, [&](AudioBuffer* b) {
    bool playing = b->primary ? Running(b->device) : b->playing != 0;
    bool looping = b->primary ? playing : b->looping != 0;
    *status = playing ? kAudioStatusPlaying | (looping ? kAudioStatusLooping : 0) : 0;
    return 0;
  });
}

int AudioBufferLock(AudioBuffer* buffer, uint32_t offset, uint32_t bytes, void** part1, uint32_t* size1,
                    void** part2, uint32_t* size2) {
  if (!part1 || !size1 || Fails(AudioFailBufferLock)) return -1;
  return WithBuffer(buffer, [&](AudioBuffer* b) {
    if (b->primary) return -1;
    const uint32_t size = b->data->size;
    if (bytes > size || (offset >= size && !(offset == 0 && bytes == 0))) return -1;
    uint8_t* data = b->data->bytes;
    if (static_cast<uint64_t>(offset) + bytes <= size) {
      *part1 = data + offset;
      *size1 = bytes;
      if (part2) *part2 = nullptr;
      if (size2) *size2 = 0;
      return 0;
    }
    if (!part2 || !size2) return -1;
    *part1 = data + offset;
    *size1 = size - offset;
    *part2 = data;
    *size2 = bytes - (size - offset);
    return 0;
  });
}

int AudioBufferUnlock(AudioBuffer* buffer, void* part1, uint32_t size1, void* part2, uint32_t size2) {
  return WithBuffer(buffer, [&](AudioBuffer* b) {
    if (b->primary) return -1;
    const uint8_t* begin = b->data->bytes;
    const uint8_t* end = begin + b->data->size;
    const auto* p1 = static_cast<const uint8_t*>(part1);
    if (!p1 || p1 < begin || p1 > end || size1 > static_cast<size_t>(end - p1)) return -1;
    if (part2 && (part2 != begin || size2 > b->data->size)) return -1;
    return 0;
  });
}

int AudioBufferWrite(AudioBuffer* buffer, uint32_t offset, const void* data, uint32_t bytes) {
  if (Fails(AudioFailBufferLock)) return -1;
  return WithBuffer(buffer, [&](AudioBuffer* b) {
    if (b->primary) return -1;
    const uint32_t size = b->data->size;
    if (bytes > size || (offset >= size && !(offset == 0 && bytes == 0))) return -1;
    uint8_t* ring = b->data->bytes;
    const uint32_t first = bytes < size - offset ? bytes : size - offset;
    if (data) {
      std::memcpy(ring + offset, data, first);
      std::memcpy(ring, static_cast<const uint8_t*>(data) + first, bytes - first);
    } else {
      // One-byte samples are unsigned, centred on 0x80.
      const int silence = b->format.blockAlign / b->format.channels == 1 ? 0x80 : 0;
      std::memset(ring + offset, silence, first);
      std::memset(ring, silence, bytes - first);
    }
    return 0;
  });
}

int AudioBufferGetPosition(AudioBuffer* buffer, uint32_t* playCursor) {
  if (!playCursor) return -1;
  return WithBuffer(buffer, [&](AudioBuffer* b) {
    *playCursor = b->primary ? 0 : static_cast<uint32_t>(b->position >> 32) * b->format.blockAlign;
    return 0;
  });
}

int AudioBufferSetPosition(AudioBuffer* buffer, uint32_t bytes) {
  return WithBuffer(buffer, [&](AudioBuffer* b) {
    if (b->primary) return -1;
    if (bytes >= b->data->size && !(bytes == 0 && b->data->size == 0)) return -1;
    uint32_t frame = bytes / b->format.blockAlign;
    if (frame >= b->frames) frame = 0;  // a tail shorter than one frame
    b->position = static_cast<uint64_t>(frame) << 32;
    return 0;
  });
}

int AudioBufferSetVolume(AudioBuffer* buffer, int32_t volume) {
  return WithBuffer(buffer, [&](AudioBuffer* b) {
    if (b->primary || volume < kAudioVolumeMin || volume > kAudioVolumeMax) return -1;
    b->volume = volume;
    AudioUpdateGains(b);
    return 0;
  });
}

int AudioBufferGetVolume(AudioBuffer* buffer, int32_t* volume) {
  if (!volume) return -1;
  return WithBuffer(buffer, [&](AudioBuffer* b) {
    if (b->primary) return -1;
    *volume = b->volume;
    return 0;
  });
}

int AudioBufferSetPan(AudioBuffer* buffer, int32_t pan) {
  return WithBuffer(buffer, [&](AudioBuffer* b) {
    if (b->primary || pan < kAudioPanLeft || pan > kAudioPanRight) return -1;
    b->pan = pan;
    AudioUpdateGains(b);
    return 0;
  });
}

int AudioBufferGetPan(AudioBuffer* buffer, int32_t* pan) {
  if (!pan) return -1;
  return WithBuffer(buffer, [&](AudioBuffer* b) {
    if (b->primary) return -1;
    *pan = b->pan;
    return 0;
  });
}

// ---- Capture ----

int AudioCaptureIsOpen(AudioDevice* device) {
  if (!device) return 0;
  std::lock_guard<std::mutex> guard(device->lock);
  return device->capture ? 1 : 0;
}

uint32_t AudioCaptureFrames(AudioDevice* device) {
  if (!device) return 0;
  std::lock_guard<std::mutex> guard(device->lock);
  CatchUp(device);
  return device->captureFrames;
}

int AudioCaptureFinish(AudioDevice* device, AudioCaptureHeaderBuilder build) {
  if (!device || !build) return -1;
  std::lock_guard<std::mutex> guard(device->lock);
  if (!device->capture) return -1;
  CatchUp(device);
  uint8_t header[kAudioCaptureHeaderBytes];
  build(device->captureFrames, header);
  bool ok = std::fseek(device->capture, 0, SEEK_SET) == 0 &&
            std::fwrite(header, 1, sizeof(header), device->capture) == sizeof(header);
  ok = std::fclose(device->capture) == 0 && ok;
  device->capture = nullptr;
  return ok ? 0 : -1;
}

// ---- Device listing ----

int AudioDeviceListerLoad() {
  if (g_listerLoaded) return 0;
  if (Fails(AudioFailListerLoad)) return -1;
  if (g_outputKind == AudioOutputKind::Sdl && AudioSdlListerLoad() != 0) return -1;
  g_listerKind = g_outputKind;
  g_listerLoaded = true;
  return 0;
}

AudioDeviceEnumFunction AudioDeviceListerGetEnumerate() {
  if (!g_listerLoaded || Fails(AudioFailListerEnumerate)) return nullptr;
  return g_listerKind == AudioOutputKind::Sdl ? AudioSdlEnumerate : BuiltinEnumerate;
}

void AudioDeviceListerFree() {
  if (!g_listerLoaded) return;
  if (g_listerKind == AudioOutputKind::Sdl) AudioSdlListerFree();
  g_listerLoaded = false;
}

int AudioMusicLoaderCreate() { return -1; }
