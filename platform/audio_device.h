// The audio device: a primary buffer that sets the output format, secondary
// buffers of any PCM format that a software mixer resamples and mixes, and
// the outputs the mix goes to (SDL audio, a real-time null output, a manual
// output that tests step frame by frame, and a WAV capture of the mix).
//
// Byte offsets and sizes are in bytes of the buffer's own format. Volume is
// in hundredths of a decibel (0 full, -10000 silent; amplitude 10^(v/2000));
// pan in hundredths of a decibel taken off the other side (positive lowers
// the left, negative the right).
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/wave_format.h"

struct AudioDevice;
struct AudioBuffer;

// Buffer description flags.
constexpr uint32_t kAudioBufferPrimary = 0x1;
constexpr uint32_t kAudioBufferStatic = 0x2;
constexpr uint32_t kAudioBufferCtrlFrequency = 0x20;
constexpr uint32_t kAudioBufferCtrlPan = 0x40;
constexpr uint32_t kAudioBufferCtrlVolume = 0x80;
constexpr uint32_t kAudioBufferGetCurrentPosition2 = 0x8000;
constexpr uint32_t kAudioBufferGlobalFocus = 0x10000;

struct AudioBufferDesc {
  uint32_t flags;
  uint32_t bufferBytes;      // 0 for the primary buffer
  const WaveFormat* format;  // null for the primary buffer
};

constexpr uint16_t kWaveFormatIeeeFloat = 3;

// Status bits.
constexpr uint32_t kAudioStatusPlaying = 0x1;
constexpr uint32_t kAudioStatusLooping = 0x4;

constexpr int32_t kAudioVolumeMin = -10000;
constexpr int32_t kAudioVolumeMax = 0;
constexpr int32_t kAudioPanLeft = -10000;
constexpr int32_t kAudioPanRight = 10000;

// Capability flags.
constexpr uint32_t kAudioCapsPrimaryMono = 0x1;
constexpr uint32_t kAudioCapsPrimaryStereo = 0x2;
constexpr uint32_t kAudioCapsPrimary8Bit = 0x4;
constexpr uint32_t kAudioCapsPrimary16Bit = 0x8;
constexpr uint32_t kAudioCapsContinuousRate = 0x10;
constexpr uint32_t kAudioCapsSecondaryMono = 0x100;
constexpr uint32_t kAudioCapsSecondaryStereo = 0x200;
constexpr uint32_t kAudioCapsSecondary8Bit = 0x400;
constexpr uint32_t kAudioCapsSecondary16Bit = 0x800;

struct AudioDeviceCaps {
  uint32_t flags;
  uint32_t minSecondarySampleRate;
  uint32_t maxSecondarySampleRate;
  uint32_t totalHwMemBytes;
  uint32_t freeHwMemBytes;
};

// ---- Device ----
// At most one device exists at a time; null when one does or on failure.
AudioDevice* AudioDeviceCreate();
// Opens the selected output. An SDL output that cannot be opened falls back
// to the null output, so this fails only when already initialised.
int AudioDeviceInitialize(AudioDevice* device);
int AudioDeviceSetCooperativeLevel(AudioDevice* device, int priority);
int AudioDeviceGetCaps(AudioDevice* device, AudioDeviceCaps* caps);
// The device that exists now (at most one does), or null.
AudioDevice* AudioDeviceActive();
// Closes the output. Buffers still held keep working (without sound) until
// they are released; the memory goes with the last of them.
void AudioDeviceRelease(AudioDevice* device);

// ---- Buffers ----
// A description with kAudioBufferPrimary makes a primary buffer (no data;
// its format is the output format); anything else a secondary buffer.
AudioBuffer* AudioBufferCreate(AudioDevice* device, const AudioBufferDesc* description);
// A secondary buffer sharing the source's data, with its own cursor, play
// state, volume and pan (copied from the source at the time).
AudioBuffer* AudioBufferDuplicate(AudioDevice* device, AudioBuffer* source);
void AudioBufferRelease(AudioBuffer* buffer);
int AudioBufferSetFormat(AudioBuffer* buffer, const WaveFormat* format);  // primary only
int AudioBufferGetFormat(AudioBuffer* buffer, WaveFormat* format);
int AudioBufferPlay(AudioBuffer* buffer, int looping);
// Keeps the position, so a later play continues.
int AudioBufferStop(AudioBuffer* buffer);
int AudioBufferGetStatus(AudioBuffer* buffer, uint32_t* status);
// One piece, or two when the range runs past the end (the second from the
// start). The pointers address the buffer's own (shared) data.
int AudioBufferLock(AudioBuffer* buffer, uint32_t offset, uint32_t bytes, void** part1, uint32_t* size1,
                    void** part2, uint32_t* size2);
int AudioBufferUnlock(AudioBuffer* buffer, void* part1, uint32_t size1, void* part2, uint32_t size2);
// Copies bytes into the buffer at offset, running on from the start past the
// end, under the device lock; null data writes silence (0x80 in 8-bit
// formats, 0 in the others). Lock lets the lock go before the caller writes
// through its pointers, so bytes of a playing buffer written that way may be
// the very ones the SDL output's mixing thread is reading; this call is for
// such writes. The same ranges as Lock: -1 for a primary buffer, bytes past
// the size or an offset at or past the end (but 0 bytes at 0 of an empty
// buffer); it fails when Lock is scripted to.
int AudioBufferWrite(AudioBuffer* buffer, uint32_t offset, const void* data, uint32_t bytes);
// The play cursor in bytes. A one-shot play that reached the end stops and
// its cursor goes back to 0.
int AudioBufferGetPosition(AudioBuffer* buffer, uint32_t* playCursor);
int AudioBufferSetPosition(AudioBuffer* buffer, uint32_t bytes);
int AudioBufferSetVolume(AudioBuffer* buffer, int32_t volume);
int AudioBufferGetVolume(AudioBuffer* buffer, int32_t* volume);
int AudioBufferSetPan(AudioBuffer* buffer, int32_t pan);
int AudioBufferGetPan(AudioBuffer* buffer, int32_t* pan);

// ---- Device listing (loaded on demand, like a driver library) ----
using AudioDeviceEnumCallback = int (*)(const void* id, const char* description, const char* module,
                                        void* context);
using AudioDeviceEnumFunction = int (*)(AudioDeviceEnumCallback callback, void* context);
int AudioDeviceListerLoad();
AudioDeviceEnumFunction AudioDeviceListerGetEnumerate();  // null when missing
void AudioDeviceListerFree();

// ---- Music synthesiser ----
// There is no software synthesiser on this system: always -1, so callers
// take their plain-sound path.
int AudioMusicLoaderCreate();

// ---- Outputs ----
enum class AudioOutputKind {
  Sdl,         // the default
  Null,        // cursors advance in real time, nothing is heard
  Manual,      // cursors advance only through AudioDeviceAdvanceFrames
  WavCapture,  // the null output writing the mix to the capture path
};
// Takes effect at the next AudioDeviceInitialize. With a capture path, any
// output also writes the mix (stereo 16-bit) to that WAV file.
void AudioSelectOutput(AudioOutputKind kind, const char* capturePath = nullptr);
AudioOutputKind AudioDeviceOutput(AudioDevice* device);  // Null after a failed SDL open
uint32_t AudioDeviceMixRate(AudioDevice* device);
// Manual output only: mixes exactly that many frames; out (may be null)
// receives them as interleaved stereo 16-bit samples.
int AudioDeviceAdvanceFrames(AudioDevice* device, uint32_t frames, int16_t* out);

// ---- WAV capture of the mix ----
// The file starts with room for a header of kAudioCaptureHeaderBytes; each
// mixed frame is 4 bytes after it.
constexpr size_t kAudioCaptureHeaderBytes = 46;
int AudioCaptureIsOpen(AudioDevice* device);
uint32_t AudioCaptureFrames(AudioDevice* device);
// Ends the capture: the header built from the count of frames written goes
// at offset 0 and the file is closed; -1 when none is open.
using AudioCaptureHeaderBuilder = void (*)(uint32_t frames, uint8_t header[kAudioCaptureHeaderBytes]);
int AudioCaptureFinish(AudioDevice* device, AudioCaptureHeaderBuilder build);

// ---- Test scripting ----
enum AudioFailure : uint32_t {
  AudioFailCreate = 0x1,
  AudioFailInitialize = 0x2,
  AudioFailCooperativeLevel = 0x4,
  AudioFailPrimaryBuffer = 0x8,
  AudioFailSetFormat = 0x10,
  AudioFailBufferCreate = 0x20,
  AudioFailBufferLock = 0x40,
  AudioFailListerLoad = 0x80,
  AudioFailListerEnumerate = 0x100,
  AudioFailDuplicate = 0x200,
};
// The operations in the mask fail until the mask is changed.
void AudioSetFailuresForTest(uint32_t mask);
// Capabilities reported instead of the device's own; null restores them.
void AudioSetCapsForTest(const AudioDeviceCaps* caps);
