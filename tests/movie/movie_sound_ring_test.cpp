// A movie's sound ring rewritten from its play cursor while SDL's mixing
// thread plays it, as the player does after an underrun. It lives with the
// movie tests because those run under ThreadSanitizer, which must find no
// race between the writes and the mixing thread's reads. Only that build can
// fail it for a race: elsewhere it fails only when a call fails or the
// mixing thread never moves the cursor.
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "platform/audio_device.h"

namespace {

TEST(MovieSoundRing, WritesFromThePlayCursorDoNotRaceTheMixingThread) {
  AudioSelectOutput(AudioOutputKind::Sdl);
  AudioDevice* device = AudioDeviceCreate();
  ASSERT_NE(device, nullptr);
  ASSERT_EQ(AudioDeviceInitialize(device), 0);
  if (AudioDeviceOutput(device) != AudioOutputKind::Sdl) {
    AudioDeviceRelease(device);
    GTEST_SKIP() << "no SDL audio output here";
  }
  // A quarter second of 16-bit stereo, looping as the movie's ring does.
  const WaveFormat format = {kWaveFormatPcm, 2, 44100, 44100 * 4, 4, 16, 0};
  constexpr uint32_t kRingBytes = 11025 * 4;
  const AudioBufferDesc description = {kAudioBufferCtrlVolume | kAudioBufferGetCurrentPosition2, kRingBytes,
                                       &format};
  AudioBuffer* ring = AudioBufferCreate(device, &description);
  ASSERT_NE(ring, nullptr);
  ASSERT_EQ(AudioBufferPlay(ring, 1), 0);
  std::vector<uint8_t> sound(kRingBytes - 4);
  for (size_t i = 0; i < sound.size(); i++) sound[i] = static_cast<uint8_t>(i * 7);
  // Until the mixing thread has moved the cursor many times, so that many of
  // its mixes fall among the writes however the threads are scheduled. Twenty
  // moves take a fraction of a second; the bound, which no busy machine comes
  // near, makes a cursor that stands still a failure rather than a hang.
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  uint32_t last = 0;
  int moves = 0;
  for (uint64_t round = 0; moves < 20 && std::chrono::steady_clock::now() < giveUp; round++) {
    uint32_t cursor = 0;
    ASSERT_EQ(AudioBufferGetPosition(ring, &cursor), 0);
    if (cursor != last) moves++;
    last = cursor;
    // Silence first, then sound over all the ring but the frame before the
    // cursor, across the wrap most of the time.
    ASSERT_EQ(AudioBufferWrite(ring, cursor, round % 2 ? nullptr : sound.data(), kRingBytes - 4), 0);
  }
  EXPECT_EQ(moves, 20) << "the mixing thread stopped moving the cursor";
  AudioBufferStop(ring);
  AudioBufferRelease(ring);
  AudioDeviceRelease(device);
}

}  // namespace
