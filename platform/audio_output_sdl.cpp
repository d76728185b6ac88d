// SDL audio output of the mixer, and the device listing through SDL.
#include <SDL.h>

#include "platform/audio_device_internal.h"
#include "platform/sdl_subsystem.h"
#include "platform/timer.h"

namespace {

void MixCallback(void* userdata, Uint8* stream, int length) {
  auto* device = static_cast<AudioDevice*>(userdata);
  std::lock_guard<std::mutex> guard(device->lock);
  // The stream is stereo 16-bit as asked for (SDL converts for the hardware).
  AudioMixFrames(device, static_cast<uint32_t>(length) / 4u, reinterpret_cast<int16_t*>(stream));
}

bool OpenStream(AudioDevice* device) {
  SDL_AudioSpec want{};
  SDL_AudioSpec have{};
  want.freq = static_cast<int>(device->outputFormat.samplesPerSec);
  want.format = AUDIO_S16SYS;
  want.channels = 2;
  want.samples = 1024;
  want.callback = MixCallback;
  want.userdata = device;
  SDL_AudioDeviceID id = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (id == 0) return false;
  device->sdlDevice = id;
  SDL_PauseAudioDevice(id, 0);
  return true;
}

void CloseStream(AudioDevice* device) {
  if (device->sdlDevice == 0) return;
  SDL_CloseAudioDevice(device->sdlDevice);
  device->sdlDevice = 0;
}

bool SdlOpen(AudioDevice* device) {
  if (PlatformInitSdlSubsystem(SDL_INIT_AUDIO) != 0) return false;
  device->sdlInitialized = true;
  if (OpenStream(device)) return true;
  PlatformQuitSdlSubsystem(SDL_INIT_AUDIO);
  device->sdlInitialized = false;
  return false;
}

void SdlClose(AudioDevice* device) {
  CloseStream(device);
  if (device->sdlInitialized) PlatformQuitSdlSubsystem(SDL_INIT_AUDIO);
  device->sdlInitialized = false;
}

// The stream is opened anew at the new rate; when that fails the device
// goes on with the null output rather than stopping the cursors.
void SdlFormatChanged(AudioDevice* device) {
  CloseStream(device);
  if (OpenStream(device)) return;
  if (device->sdlInitialized) PlatformQuitSdlSubsystem(SDL_INIT_AUDIO);
  device->sdlInitialized = false;
  std::lock_guard<std::mutex> guard(device->lock);
  device->output = AudioOutputKind::Null;
  device->clockStartUs = PlatformMicroseconds();
  device->clockFrames = 0;
}

}  // namespace

const AudioOutputOps kAudioSdlOutput = {SdlOpen, SdlClose, SdlFormatChanged};

int AudioSdlListerLoad() { return PlatformInitSdlSubsystem(SDL_INIT_AUDIO) == 0 ? 0 : -1; }

void AudioSdlListerFree() { PlatformQuitSdlSubsystem(SDL_INIT_AUDIO); }

int AudioSdlEnumerate(AudioDeviceEnumCallback callback, void* context) {
  if (!callback) return -1;
  const char* driver = SDL_GetCurrentAudioDriver();
  if (!driver) driver = "";
  int count = SDL_GetNumAudioDevices(0);
  if (count <= 0) {
    callback(nullptr, "default", driver, context);
    return 0;
  }
  for (int i = 0; i < count; i++) {
    const char* name = SDL_GetAudioDeviceName(i, 0);
    if (!callback(&i, name ? name : "", driver, context)) break;
  }
  return 0;
}
