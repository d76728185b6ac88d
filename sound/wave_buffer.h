// Playback buffers of the sound system. Sound handles and stream sounds use
// only these operations, never the audio device's buffers directly. With the
// software-buffer option a buffer is a plain memory block whose play state
// lives in the record (nothing mixes or plays it).
#pragma once
#include <cstdint>

#include "platform/audio_device.h"
#include "platform/wave_format.h"

struct WaveBuffer {
  int32_t inUse;        // 1 while it holds a buffer
  AudioBuffer* device;  // the device buffer (device mode)
  // Software mode only:
  uint8_t* data;  // owned
  int32_t playing;
  int32_t position;  // in samples (frames)
  int32_t loop;
  int32_t pan;
  int32_t volume;  // 0..256; 255 when made
  int32_t sizeSamples;
  WaveFormat format;
};

// All return 0 on success and -1 on failure; a buffer not in use gives -1.
// Byte positions and sizes are in bytes.
int CreateWaveBuffer(WaveBuffer* buffer, const AudioBufferDesc* description);
int DuplicateWaveBuffer(WaveBuffer* source, WaveBuffer* destination);
int ReleaseWaveBuffer(WaveBuffer* buffer);
int PlayWaveBuffer(WaveBuffer* buffer, int loop);
int StopWaveBuffer(WaveBuffer* buffer);
// Bit 0 of the status (kAudioStatusPlaying) is set while it plays.
int GetWaveBufferStatus(WaveBuffer* buffer, uint32_t* status);
// One or two pieces when the range wraps past the end.
int LockWaveBuffer(WaveBuffer* buffer, uint32_t offset, uint32_t bytes, void** part1, uint32_t* size1,
                   void** part2, uint32_t* size2);
int UnlockWaveBuffer(WaveBuffer* buffer, void* part1, uint32_t size1, void* part2, uint32_t size2);
int SetWaveBufferPan(WaveBuffer* buffer, int32_t pan);        // -10000..10000
int SetWaveBufferVolume(WaveBuffer* buffer, int32_t volume);  // hundredths of a dB, -10000..0
int SetWaveBufferPosition(WaveBuffer* buffer, uint32_t bytes);
// The play cursor in bytes.
int GetWaveBufferPosition(WaveBuffer* buffer, uint32_t* bytes);

// Writes the header of the open sound capture file and closes it; -1 when
// no capture file is open.
int FinishCaptureWavFile();

// The software-buffer option: off by default, and nothing in the library
// turns it on.
void SetSoftwareWaveBuffers(int flag);
int GetSoftwareWaveBuffers();
