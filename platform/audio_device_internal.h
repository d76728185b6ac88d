// Inside the audio device: the records behind the handles, the mixer and the
// output table shared by the device, mixer and output files.
#pragma once
#include <cstdint>
#include <cstdio>
#include <mutex>

#include "platform/audio_device.h"

// Data shared by a buffer and its duplicates.
struct AudioData {
  int32_t refs;
  uint32_t size;
  uint8_t* bytes;
};

// Mixes n output frames of a playing buffer into out (interleaved stereo,
// 16-bit units), moving its position; stops a one-shot buffer at its end.
using AudioMixFunction = void (*)(AudioBuffer* buffer, float* out, uint32_t n);

struct AudioBuffer {
  AudioDevice* device;
  AudioBuffer* prev;
  AudioBuffer* next;
  bool primary;
  uint32_t flags;
  AudioData* data;  // null for a primary buffer
  WaveFormat format;
  uint32_t frames;    // whole frames in the data
  uint64_t position;  // frames, 32.32 fixed point
  uint64_t step;      // frames per output frame, 32.32 fixed point
  int playing;
  int looping;
  int32_t volume;
  int32_t pan;
  float gainLeft;
  float gainRight;
  AudioMixFunction mix;
};

constexpr uint32_t kAudioMixChunk = 1024;

struct AudioDevice {
  std::mutex lock;
  int refs;  // 1 for the device itself (until released) + one per buffer
  bool initialized;
  bool released;
  AudioOutputKind output;
  WaveFormat outputFormat;  // the primary buffer's format
  AudioBuffer* buffers;     // every buffer of the device, newest first
  int cooperativeLevel;
  // Real-time clock of the null and capture outputs.
  uint64_t clockStartUs;
  uint64_t clockFrames;
  // Capture of the mix.
  FILE* capture;
  uint32_t captureFrames;
  // SDL output.
  uint32_t sdlDevice;
  bool sdlInitialized;
  float mix[kAudioMixChunk * 2];
  int16_t pcm[kAudioMixChunk * 2];
  // The output limiter: how far its gain lies below 1 (0 at rest), carried
  // from chunk to chunk, and the least cut each frame of a chunk needs.
  float limitCut;
  float limitLeast[kAudioMixChunk];
};

// Output drivers: open (false when it cannot), close, and a change of the
// output format. Called without the device lock held.
struct AudioOutputOps {
  bool (*open)(AudioDevice* device);
  void (*close)(AudioDevice* device);
  void (*formatChanged)(AudioDevice* device);
};
extern const AudioOutputOps kAudioSdlOutput;

// SDL device listing.
int AudioSdlListerLoad();
int AudioSdlEnumerate(AudioDeviceEnumCallback callback, void* context);
void AudioSdlListerFree();

// Mixer, called with the device lock held.
// Mixes frames into out (interleaved stereo 16-bit; may be null) and the
// capture file, advancing every playing buffer.
void AudioMixFrames(AudioDevice* device, uint32_t frames, int16_t* out);
// Chooses the mix function of a buffer's format; false when the format is
// not playable.
bool AudioChooseMixFunction(AudioBuffer* buffer);
void AudioUpdateGains(AudioBuffer* buffer);
void AudioUpdateStep(AudioBuffer* buffer, uint32_t outputRate);
