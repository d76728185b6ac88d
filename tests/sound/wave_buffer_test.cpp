// The sound buffer layer in both of its forms.
#include "sound/wave_buffer.h"

#include <gtest/gtest.h>

#include <cstring>

#include "sound/sound_system.h"
#include "tests/sound/soundout_support.h"

namespace {

class SoftwareWaveBuffer : public ::testing::Test {
 protected:
  void SetUp() override { SetSoftwareWaveBuffers(1); }
  void TearDown() override {
    if (buffer.inUse) ReleaseWaveBuffer(&buffer);
    SetSoftwareWaveBuffers(0);
  }
  int Create(uint32_t bytes, const WaveFormat& format) {
    AudioBufferDesc description = {0, bytes, &format};
    return CreateWaveBuffer(&buffer, &description);
  }
  WaveBuffer buffer{};
};

TEST_F(SoftwareWaveBuffer, LocksSplitAtTheEndAndStayInsideTheBlock) {
  ASSERT_EQ(Create(1000, PcmFormat(1, 44100, 16)), 0);
  EXPECT_EQ(buffer.sizeSamples, 500);
  void *p1, *p2;
  uint32_t s1, s2;
  ASSERT_EQ(LockWaveBuffer(&buffer, 950, 100, &p1, &s1, &p2, &s2), 0);
  EXPECT_EQ(p1, buffer.data + 950);
  EXPECT_EQ(s1, 50u);
  EXPECT_EQ(p2, buffer.data);
  EXPECT_EQ(s2, 50u);
  ASSERT_EQ(LockWaveBuffer(&buffer, 0, 1000, &p1, &s1, &p2, &s2), 0);
  EXPECT_EQ(s1, 1000u);
  EXPECT_EQ(p2, nullptr);
  EXPECT_EQ(s2, 0u);
  EXPECT_EQ(UnlockWaveBuffer(&buffer, p1, s1, p2, s2), 0);
  // Ranges that would reach outside the block are refused.
  EXPECT_EQ(LockWaveBuffer(&buffer, 1000, 2, &p1, &s1, &p2, &s2), -1);
  EXPECT_EQ(LockWaveBuffer(&buffer, 0, 1002, &p1, &s1, &p2, &s2), -1);
  EXPECT_EQ(LockWaveBuffer(&buffer, 950, 100, &p1, &s1, nullptr, nullptr), -1);
}

TEST_F(SoftwareWaveBuffer, OddOffsetsCannotRunPastTheLastWholeSample) {
  ASSERT_EQ(Create(1001, PcmFormat(1, 44100, 16)), 0);  // 500 samples, one byte over
  void *p1, *p2;
  uint32_t s1, s2;
  EXPECT_EQ(LockWaveBuffer(&buffer, 999, 1, &p1, &s1, &p2, &s2), 0);
  EXPECT_EQ(LockWaveBuffer(&buffer, 999, 3, &p1, &s1, &p2, &s2), -1);
}

TEST_F(SoftwareWaveBuffer, VolumeAndPanAreKeptAsScales) {
  ASSERT_EQ(Create(400, PcmFormat(2, 44100, 16)), 0);
  EXPECT_EQ(buffer.volume, 255);
  struct Case {
    int32_t value, stored;
  };
  for (Case c : {Case{-10000, 0}, Case{0, 256}, Case{-299, 128}, Case{-1000, 25}}) {
    ASSERT_EQ(SetWaveBufferVolume(&buffer, c.value), 0);
    EXPECT_EQ(buffer.volume, c.stored) << c.value;
  }
  for (Case c : {Case{-10000, -256}, Case{10000, 256}, Case{0, 0}, Case{1000, 25}, Case{-1000, -25}}) {
    ASSERT_EQ(SetWaveBufferPan(&buffer, c.value), 0);
    EXPECT_EQ(buffer.pan, c.stored) << c.value;
  }
}

TEST_F(SoftwareWaveBuffer, CreatingIntoABufferInUseChangesNothing) {
  ASSERT_EQ(Create(400, PcmFormat(2, 44100, 16)), 0);
  WaveBuffer before = buffer;
  EXPECT_EQ(Create(800, PcmFormat(1, 22050, 8)), -1);
  EXPECT_EQ(std::memcmp(&before, &buffer, sizeof(buffer)), 0);
}

TEST_F(SoftwareWaveBuffer, DuplicatesGetTheirOwnBlockAndFreshState) {
  ASSERT_EQ(Create(400, PcmFormat(2, 44100, 16)), 0);
  SetWaveBufferVolume(&buffer, -10000);
  PlayWaveBuffer(&buffer, 1);
  WaveBuffer copy{};
  ASSERT_EQ(DuplicateWaveBuffer(&buffer, &copy), 0);
  EXPECT_NE(copy.data, buffer.data);
  EXPECT_EQ(copy.sizeSamples, 100);
  EXPECT_TRUE(WaveFormatEquals(copy.format, buffer.format));
  EXPECT_EQ(copy.volume, 255);
  EXPECT_EQ(copy.playing, 0);
  EXPECT_EQ(DuplicateWaveBuffer(&buffer, &copy), -1);  // destination in use
  EXPECT_EQ(ReleaseWaveBuffer(&copy), 0);
  EXPECT_EQ(copy.inUse, 0);
  EXPECT_EQ(ReleaseWaveBuffer(&copy), -1);
}

TEST(WaveBufferNotInUse, EveryOperationFails) {
  WaveBuffer b{};
  WaveBuffer other{};
  void *p1, *p2;
  uint32_t s1, s2, value;
  EXPECT_EQ(DuplicateWaveBuffer(&b, &other), -1);
  EXPECT_EQ(ReleaseWaveBuffer(&b), -1);
  EXPECT_EQ(PlayWaveBuffer(&b, 0), -1);
  EXPECT_EQ(StopWaveBuffer(&b), -1);
  EXPECT_EQ(GetWaveBufferStatus(&b, &value), -1);
  EXPECT_EQ(LockWaveBuffer(&b, 0, 4, &p1, &s1, &p2, &s2), -1);
  EXPECT_EQ(UnlockWaveBuffer(&b, nullptr, 0, nullptr, 0), -1);
  EXPECT_EQ(SetWaveBufferPan(&b, 0), -1);
  EXPECT_EQ(SetWaveBufferVolume(&b, 0), -1);
  EXPECT_EQ(SetWaveBufferPosition(&b, 0), -1);
  EXPECT_EQ(GetWaveBufferPosition(&b, &value), -1);
  EXPECT_EQ(PlayWaveBuffer(nullptr, 0), -1);
  // Without a started sound system no device buffer can be made.
  WaveFormat f = PcmFormat(1, 44100, 16);
  AudioBufferDesc description = {0, 64, &f};
  EXPECT_EQ(CreateWaveBuffer(&b, &description), -1);
}

class DeviceWaveBuffer : public ::testing::Test {
 protected:
  void SetUp() override {
    AudioSetFailuresForTest(0);
    AudioSetCapsForTest(nullptr);
    AudioSelectOutput(AudioOutputKind::Manual);
    ASSERT_EQ(InitSoundSystem(), 0);
  }
  void TearDown() override {
    for (WaveBuffer* b : {&first, &second}) {
      if (b->inUse) ReleaseWaveBuffer(b);
    }
    TerminateSoundSystem();
    AudioSelectOutput(AudioOutputKind::Sdl);
  }
  std::vector<int16_t> Mix(uint32_t frames) {
    std::vector<int16_t> out(2 * frames);
    EXPECT_EQ(AudioDeviceAdvanceFrames(g_soundSystem.device, frames, out.data()), 0);
    return out;
  }
  WaveBuffer first{}, second{};
};

TEST_F(DeviceWaveBuffer, DuplicatesPlayTheSameDataIndependently) {
  WaveFormat f = PcmFormat(1, 44100, 16);
  AudioBufferDesc description = {0x80E2, 8, &f};
  ASSERT_EQ(CreateWaveBuffer(&first, &description), 0);
  const int16_t samples[] = {100, 200, 300, 400};
  void *p1, *p2;
  uint32_t s1, s2;
  ASSERT_EQ(LockWaveBuffer(&first, 0, 8, &p1, &s1, &p2, &s2), 0);
  std::memcpy(p1, samples, s1);
  ASSERT_EQ(UnlockWaveBuffer(&first, p1, s1, p2, s2), 0);
  ASSERT_EQ(DuplicateWaveBuffer(&first, &second), 0);
  EXPECT_NE(first.device, second.device);

  ASSERT_EQ(SetWaveBufferPosition(&second, 4), 0);
  ASSERT_EQ(SetWaveBufferVolume(&first, -10000), 0);
  ASSERT_EQ(SetWaveBufferPan(&second, 2000), 0);  // left down 20 dB
  PlayWaveBuffer(&first, 0);
  PlayWaveBuffer(&second, 1);
  auto out = Mix(3);
  EXPECT_EQ(out[0], 30);  // 300 * 0.1 (the first is all but silent)
  EXPECT_EQ(out[1], 300);
  EXPECT_EQ(out[3], 400);
  EXPECT_EQ(out[5], 100);
  uint32_t cursor = 0, status = 0;
  EXPECT_EQ(GetWaveBufferPosition(&first, &cursor), 0);
  EXPECT_EQ(cursor, 6u);
  EXPECT_EQ(GetWaveBufferPosition(&second, &cursor), 0);
  EXPECT_EQ(cursor, 2u);
  Mix(1);
  EXPECT_EQ(GetWaveBufferStatus(&first, &status), 0);
  EXPECT_EQ(status & kAudioStatusPlaying, 0u);
  EXPECT_EQ(GetWaveBufferStatus(&second, &status), 0);
  EXPECT_EQ(status & kAudioStatusPlaying, kAudioStatusPlaying);
  StopWaveBuffer(&second);
  EXPECT_EQ(GetWaveBufferStatus(&second, &status), 0);
  EXPECT_EQ(status, 0u);
}

}  // namespace
