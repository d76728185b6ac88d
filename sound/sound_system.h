// Start and end of the sound system, and the globals it owns for the whole
// sound subsystem.
#pragma once
#include <cstdint>

#include "core/list.h"
#include "platform/audio_device.h"
#include "sound/wave_buffer.h"

struct SoundSystemGlobals {
  AudioDevice* device;  // null while the sound system is not started
  AudioBuffer* primaryBuffer;
  WaveBuffer silentBuffer;
  int musicMode;          // 0 plain sound (the default), 1 synthesiser music
  int createSoundMode;    // 0..3, see the sound handles
  int oggBytesPerSample;  // bytes per sample of Ogg Vorbis output
  List streamSoundList;   // records of every stream sound
};
extern SoundSystemGlobals g_soundSystem;

inline bool IsSoundSystemStarted() { return g_soundSystem.device != nullptr; }

// 0, or -1 when already started or the device cannot be set up.
int InitSoundSystem();
// 0, or -1 when not started.
int TerminateSoundSystem();
// Device listing callback: logs one device and goes on (returns 1).
int EnumSoundDeviceCallback(const void* guid, const char* description, const char* module, void* context);

// The end's step that belongs to the sound handles.
int DeleteAllSoundHandles();
