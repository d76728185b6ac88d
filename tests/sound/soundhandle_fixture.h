// The sound system on the manual output for the sound-handle and stream
// tests: sound files made in a scratch directory, the mix read frame by
// frame, the log and the allocator checked.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/log.h"
#include "sound/sound_api.h"
#include "sound/sound_handle.h"
#include "sound/sound_system.h"
#include "sound/stream_sound.h"
#include "tests/sound/sounddec_test_util.h"
#include "tests/support/read_file.h"
#include "tests/support/scratch_dir.h"

namespace soundhandle_test {

using sounddec_test::Bytes;

// A sample value for every position that is never 0 (silence) and tells
// the positions apart.
inline int16_t Pattern(int64_t i) { return static_cast<int16_t>(1000 + i % 30000); }
inline int16_t OtherPattern(int64_t i) { return static_cast<int16_t>(-1000 - i % 30000); }

inline Bytes Mono16(int64_t frames, int16_t (*pattern)(int64_t) = Pattern) {
  Bytes data;
  for (int64_t i = 0; i < frames; i++) sounddec_test::Put16(data, static_cast<uint16_t>(pattern(i)));
  return data;
}

class SoundHandleTest : public ::testing::Test {
 protected:
  // The output runs at the sounds' rate, so every mixed sample is a source
  // sample as it stands (full volume, centre).
  virtual uint32_t MixRate() const { return 8000; }

  void SetUp() override {
    LogClose();
    EnableLogFile(1);
    ASSERT_EQ(LogOpen("Log.txt"), 0);
    AudioSetFailuresForTest(0);
    AudioDeviceCaps caps = {kAudioCapsPrimaryStereo | kAudioCapsPrimary16Bit | kAudioCapsSecondaryMono |
                                kAudioCapsSecondaryStereo | kAudioCapsSecondary8Bit | kAudioCapsSecondary16Bit,
                            100, MixRate(), 0, 0};
    AudioSetCapsForTest(&caps);
    AudioSelectOutput(AudioOutputKind::Manual);
    liveBlocks = sounddec_test::LiveBlocks();
    ASSERT_EQ(InitSoundSystem(), 0);
    ASSERT_EQ(AudioDeviceMixRate(g_soundSystem.device), MixRate());
  }
  void TearDown() override {
    AudioSetFailuresForTest(0);
    EXPECT_EQ(TerminateSoundSystem(), 0);
    g_soundSystem.createSoundMode = 0;
    EXPECT_EQ(GetSoundHandleCount(), 0);
    // Everything the sounds took is back with the allocator.
    EXPECT_EQ(sounddec_test::LiveBlocks(), liveBlocks);
    AudioSetCapsForTest(nullptr);
    AudioSelectOutput(AudioOutputKind::Sdl);
    LogClose();
  }

  // A PCM WAV file in the scratch directory; returns its name.
  std::string WriteWav(const std::string& name, const Bytes& data, uint16_t channels = 1, uint16_t bits = 16,
                       uint32_t rate = 8000) {
    Bytes file = sounddec_test::PcmWav(channels, rate, bits, data);
    dir.Write(name, std::string_view(reinterpret_cast<const char*>(file.data()), file.size()));
    return name;
  }

  // Interleaved stereo output of the next frames.
  std::vector<int16_t> Mix(uint32_t frames) {
    std::vector<int16_t> out(2 * static_cast<size_t>(frames));
    EXPECT_EQ(AudioDeviceAdvanceFrames(g_soundSystem.device, frames, out.data()), 0);
    return out;
  }
  static std::vector<int16_t> Left(const std::vector<int16_t>& stereo) {
    std::vector<int16_t> left;
    for (size_t k = 0; k < stereo.size(); k += 2) left.push_back(stereo[k]);
    return left;
  }
  // Passes of the message loop: the stream refill, then one frame's worth
  // of output (a sixtieth of a second). Returns the left channel.
  std::vector<int16_t> RunPasses(int passes) {
    std::vector<int16_t> left;
    for (int i = 0; i < passes; i++) {
      RefillAllStreamSounds();
      std::vector<int16_t> out = Left(Mix(PassFrames()));
      left.insert(left.end(), out.begin(), out.end());
    }
    return left;
  }
  uint32_t PassFrames() const { return MixRate() / 60; }

  std::vector<std::string> Log() { return LogLines(ReadWholeFile("Log.txt")); }
  bool Logged(const std::string& line) {
    std::vector<std::string> lines = Log();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }

  // A stream sound's time: played bytes / bytes a second * 1000 as doubles,
  // toward zero.
  static int StreamMs(int64_t bytes, uint32_t bytesPerSecond = 16000) {
    return static_cast<int>(static_cast<double>(bytes) / bytesPerSecond * 1000.0);
  }
  static SoundRecord* Record(int handle) { return GetSoundRecord(handle); }
  static uint32_t Cursor(WaveBuffer* buffer) {
    uint32_t cursor = 0xFFFFFFFF;
    EXPECT_EQ(GetWaveBufferPosition(buffer, &cursor), 0);
    return cursor;
  }
  // Bytes of a buffer, read through a lock.
  static Bytes Contents(WaveBuffer* buffer, uint32_t offset, uint32_t bytes) {
    void *p1, *p2;
    uint32_t s1, s2;
    Bytes out;
    EXPECT_EQ(LockWaveBuffer(buffer, offset, bytes, &p1, &s1, &p2, &s2), 0);
    out.insert(out.end(), static_cast<uint8_t*>(p1), static_cast<uint8_t*>(p1) + s1);
    if (p2) out.insert(out.end(), static_cast<uint8_t*>(p2), static_cast<uint8_t*>(p2) + s2);
    UnlockWaveBuffer(buffer, p1, s1, p2, s2);
    return out;
  }

  ScratchDir dir;
  int64_t liveBlocks = 0;
};

}  // namespace soundhandle_test
