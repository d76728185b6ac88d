// A device on the manual output for the sound-output tests.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/audio_device.h"

inline WaveFormat PcmFormat(uint16_t channels, uint32_t rate, uint16_t bits, uint16_t tag = kWaveFormatPcm) {
  uint16_t blockAlign = static_cast<uint16_t>(channels * bits / 8);
  return WaveFormat{tag, channels, rate, rate * blockAlign, blockAlign, bits, 0};
}

class ManualDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    AudioSetFailuresForTest(0);
    AudioSetCapsForTest(nullptr);
    AudioSelectOutput(AudioOutputKind::Manual);
    device = AudioDeviceCreate();
    ASSERT_NE(device, nullptr);
    ASSERT_EQ(AudioDeviceInitialize(device), 0);
  }
  void TearDown() override {
    for (AudioBuffer* b : buffers) AudioBufferRelease(b);
    AudioDeviceRelease(device);
    AudioSelectOutput(AudioOutputKind::Sdl);
  }

  AudioBuffer* Make(const WaveFormat& format, uint32_t bytes) {
    AudioBufferDesc description = {kAudioBufferCtrlVolume | kAudioBufferCtrlPan, bytes, &format};
    AudioBuffer* buffer = AudioBufferCreate(device, &description);
    if (buffer) buffers.push_back(buffer);
    return buffer;
  }
  AudioBuffer* MakeWith(const WaveFormat& format, const void* data, uint32_t bytes) {
    AudioBuffer* buffer = Make(format, bytes);
    if (buffer) Write(buffer, 0, data, bytes);
    return buffer;
  }
  AudioBuffer* Duplicate(AudioBuffer* source) {
    AudioBuffer* buffer = AudioBufferDuplicate(device, source);
    if (buffer) buffers.push_back(buffer);
    return buffer;
  }
  void Forget(AudioBuffer* buffer) { std::erase(buffers, buffer); }

  static void Write(AudioBuffer* buffer, uint32_t offset, const void* data, uint32_t bytes) {
    void *p1, *p2;
    uint32_t s1, s2;
    ASSERT_EQ(AudioBufferLock(buffer, offset, bytes, &p1, &s1, &p2, &s2), 0);
    std::memcpy(p1, data, s1);
    if (p2) std::memcpy(p2, static_cast<const uint8_t*>(data) + s1, s2);
    ASSERT_EQ(AudioBufferUnlock(buffer, p1, s1, p2, s2), 0);
  }
  static uint32_t Cursor(AudioBuffer* buffer) {
    uint32_t cursor = 0xFFFFFFFF;
    EXPECT_EQ(AudioBufferGetPosition(buffer, &cursor), 0);
    return cursor;
  }
  static uint32_t Status(AudioBuffer* buffer) {
    uint32_t status = 0xFFFFFFFF;
    EXPECT_EQ(AudioBufferGetStatus(buffer, &status), 0);
    return status;
  }
  // Interleaved stereo output of the next frames.
  std::vector<int16_t> Mix(uint32_t frames) {
    std::vector<int16_t> out(2 * frames, 0x5555);
    EXPECT_EQ(AudioDeviceAdvanceFrames(device, frames, out.data()), 0);
    return out;
  }
  void Advance(uint32_t frames) { EXPECT_EQ(AudioDeviceAdvanceFrames(device, frames, nullptr), 0); }

  AudioDevice* device = nullptr;
  std::vector<AudioBuffer*> buffers;
};
