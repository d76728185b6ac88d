// The audio device on its manual output: cursors, looping, locks across the
// wrap, duplicated buffers, gains and the mixed samples.
#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <random>
#include <thread>
#include <utility>

#include "tests/sound/soundout_support.h"

namespace {

constexpr uint32_t kPlaying = kAudioStatusPlaying;
constexpr uint32_t kLooping = kAudioStatusPlaying | kAudioStatusLooping;

// Mono 16-bit data of the given samples.
std::vector<uint8_t> Mono16(std::initializer_list<int16_t> samples) {
  std::vector<uint8_t> bytes;
  for (int16_t s : samples) {
    bytes.push_back(static_cast<uint8_t>(s));
    bytes.push_back(static_cast<uint8_t>(static_cast<uint16_t>(s) >> 8));
  }
  return bytes;
}

using DeviceCursor = ManualDeviceTest;

TEST_F(DeviceCursor, OneShotAdvancesFrameByFrameThenStopsAtZero) {
  AudioBuffer* b = Make(PcmFormat(2, 44100, 16), 4000);  // 1000 frames
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(Status(b), 0u);
  ASSERT_EQ(AudioBufferPlay(b, 0), 0);
  EXPECT_EQ(Status(b), kPlaying);
  Advance(300);
  EXPECT_EQ(Cursor(b), 1200u);
  Mix(699);  // the mixing path moves cursors the same way
  EXPECT_EQ(Cursor(b), 3996u);
  EXPECT_EQ(Status(b), kPlaying);
  Advance(1);
  EXPECT_EQ(Status(b), 0u);
  EXPECT_EQ(Cursor(b), 0u);
}

TEST_F(DeviceCursor, LoopingWrapsAndStopKeepsThePosition) {
  AudioBuffer* b = Make(PcmFormat(2, 44100, 16), 4000);
  ASSERT_EQ(AudioBufferPlay(b, 1), 0);
  EXPECT_EQ(Status(b), kLooping);
  Advance(2500);
  EXPECT_EQ(Cursor(b), 2000u);
  Mix(1000);
  EXPECT_EQ(Cursor(b), 2000u);
  ASSERT_EQ(AudioBufferStop(b), 0);
  EXPECT_EQ(Status(b), 0u);
  Advance(100);
  EXPECT_EQ(Cursor(b), 2000u);
  // Played again once, it continues from there and ends at the buffer's end.
  ASSERT_EQ(AudioBufferPlay(b, 0), 0);
  Advance(499);
  EXPECT_EQ(Cursor(b), 3996u);
  Advance(1);
  EXPECT_EQ(Status(b), 0u);
  EXPECT_EQ(Cursor(b), 0u);
}

TEST_F(DeviceCursor, SetPositionRoundsDownToAFrameAndRefusesTheEnd) {
  AudioBuffer* b = Make(PcmFormat(2, 44100, 16), 4000);
  EXPECT_EQ(AudioBufferSetPosition(b, 2002), 0);
  EXPECT_EQ(Cursor(b), 2000u);
  EXPECT_EQ(AudioBufferSetPosition(b, 4000), -1);
  EXPECT_EQ(Cursor(b), 2000u);
}

TEST_F(DeviceCursor, BuffersOfNoFramesNeverPlay) {
  AudioBuffer* b = Make(PcmFormat(2, 44100, 16), 0);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(AudioBufferPlay(b, 1), 0);
  EXPECT_EQ(Status(b), 0u);
  void *p1, *p2;
  uint32_t s1, s2;
  EXPECT_EQ(AudioBufferLock(b, 0, 0, &p1, &s1, &p2, &s2), 0);
  EXPECT_EQ(s1, 0u);
  EXPECT_EQ(s2, 0u);
  Mix(4);
}

using DeviceLock = ManualDeviceTest;

TEST_F(DeviceLock, RangesPastTheEndComeInTwoPieces) {
  AudioBuffer* b = Make(PcmFormat(2, 44100, 16), 4000);
  void *p1, *p2;
  uint32_t s1, s2;
  ASSERT_EQ(AudioBufferLock(b, 0, 4000, &p1, &s1, &p2, &s2), 0);
  uint8_t* base = static_cast<uint8_t*>(p1);
  EXPECT_EQ(s1, 4000u);
  EXPECT_EQ(p2, nullptr);
  EXPECT_EQ(s2, 0u);
  ASSERT_EQ(AudioBufferLock(b, 3000, 2000, &p1, &s1, &p2, &s2), 0);
  EXPECT_EQ(p1, base + 3000);
  EXPECT_EQ(s1, 1000u);
  EXPECT_EQ(p2, base);
  EXPECT_EQ(s2, 1000u);
  ASSERT_EQ(AudioBufferLock(b, 3999, 1, &p1, &s1, &p2, &s2), 0);
  EXPECT_EQ(s1, 1u);
  EXPECT_EQ(s2, 0u);

  EXPECT_EQ(AudioBufferLock(b, 0, 4001, &p1, &s1, &p2, &s2), -1);
  EXPECT_EQ(AudioBufferLock(b, 4000, 0, &p1, &s1, &p2, &s2), -1);
  EXPECT_EQ(AudioBufferLock(b, 3000, 2000, &p1, &s1, nullptr, nullptr), -1);
  uint8_t elsewhere[8];
  EXPECT_EQ(AudioBufferUnlock(b, elsewhere, 8, nullptr, 0), -1);
  EXPECT_EQ(AudioBufferUnlock(b, base + 3000, 1001, nullptr, 0), -1);
  EXPECT_EQ(AudioBufferUnlock(b, base + 3000, 1000, base + 1, 1000), -1);
  EXPECT_EQ(AudioBufferUnlock(b, base + 3000, 1000, base, 1000), 0);
}

TEST_F(DeviceLock, DataWrittenAcrossTheWrapPlaysInOrder) {
  AudioBuffer* b = Make(PcmFormat(1, 44100, 16), 20);  // 10 frames
  auto data = Mono16({1, 2, 3, 4});
  Write(b, 16, data.data(), 8);  // frames 8, 9, then 0, 1
  ASSERT_EQ(AudioBufferSetPosition(b, 16), 0);
  AudioBufferPlay(b, 1);
  auto out = Mix(4);
  for (int k = 0; k < 4; k++) {
    EXPECT_EQ(out[2 * k], k + 1);
    EXPECT_EQ(out[2 * k + 1], k + 1);
  }
}

// Writes under the device lock into a ring of 8 bytes that starts as 0xEE.
TEST_F(DeviceLock, WritesCopyOrSilenceAcrossTheWrapAndRefuseRangesLockRefuses) {
  constexpr uint8_t E = 0xEE;
  const uint8_t source[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  struct Case {
    uint16_t bits;  // of a mono 16-bit or a stereo 8-bit ring
    uint32_t offset, bytes;
    bool silence;
    std::array<uint8_t, 8> ring;
    int result;
  };
  const Case cases[] = {
      {16, 0, 3, false, {1, 2, 3, E, E, E, E, E}, 0},
      {16, 5, 3, false, {E, E, E, E, E, 1, 2, 3}, 0},  // up to the end, nothing at the start
      {16, 6, 5, false, {3, 4, 5, E, E, E, 1, 2}, 0},
      {16, 7, 8, false, {2, 3, 4, 5, 6, 7, 8, 1}, 0},  // the whole ring from its last byte
      {16, 3, 0, false, {E, E, E, E, E, E, E, E}, 0},
      {16, 2, 4, true, {E, E, 0, 0, 0, 0, E, E}, 0},
      {16, 6, 4, true, {0, 0, E, E, E, E, 0, 0}, 0},
      // Two channels of one byte: silence is by the sample, not the frame.
      {8, 5, 5, true, {0x80, 0x80, E, E, E, 0x80, 0x80, 0x80}, 0},
      {8, 1, 2, false, {E, 1, 2, E, E, E, E, E}, 0},
      {16, 0, 9, false, {E, E, E, E, E, E, E, E}, -1},
      {16, 8, 0, false, {E, E, E, E, E, E, E, E}, -1},
      {16, 8, 1, true, {E, E, E, E, E, E, E, E}, -1},
      {16, 0xFFFFFFFF, 2, false, {E, E, E, E, E, E, E, E}, -1},
  };
  for (const Case& c : cases) {
    AudioBuffer* b = Make(c.bits == 8 ? PcmFormat(2, 44100, 8) : PcmFormat(1, 44100, 16), 8);
    ASSERT_NE(b, nullptr);
    const std::vector<uint8_t> fill(8, E);
    Write(b, 0, fill.data(), 8);
    EXPECT_EQ(AudioBufferWrite(b, c.offset, c.silence ? nullptr : source, c.bytes), c.result)
        << c.offset << "+" << c.bytes;
    void *p1, *p2;
    uint32_t s1, s2;
    ASSERT_EQ(AudioBufferLock(b, 0, 8, &p1, &s1, &p2, &s2), 0);
    std::array<uint8_t, 8> ring;
    std::memcpy(ring.data(), p1, 8);
    EXPECT_EQ(ring, c.ring) << c.offset << "+" << c.bytes;
    AudioBufferRelease(b);
    Forget(b);
  }

  AudioBuffer* empty = Make(PcmFormat(1, 44100, 16), 0);
  EXPECT_EQ(AudioBufferWrite(empty, 0, source, 0), 0);
  EXPECT_EQ(AudioBufferWrite(empty, 0, source, 1), -1);
  EXPECT_EQ(AudioBufferWrite(nullptr, 0, source, 1), -1);
  AudioBufferDesc primaryDesc = {kAudioBufferPrimary, 0, nullptr};
  AudioBuffer* primary = AudioBufferCreate(device, &primaryDesc);
  ASSERT_NE(primary, nullptr);
  buffers.push_back(primary);
  EXPECT_EQ(AudioBufferWrite(primary, 0, nullptr, 0), -1);
  AudioBuffer* b = Make(PcmFormat(1, 44100, 16), 8);
  AudioSetFailuresForTest(AudioFailBufferLock);
  EXPECT_EQ(AudioBufferWrite(b, 0, source, 2), -1);
  AudioSetFailuresForTest(0);
  EXPECT_EQ(AudioBufferWrite(b, 0, source, 2), 0);
}

using DeviceDuplicate = ManualDeviceTest;

TEST_F(DeviceDuplicate, SharesDataButNotCursorVolumeOrPlayState) {
  auto data = Mono16({100, 200, 300, 400});
  AudioBuffer* source = MakeWith(PcmFormat(1, 44100, 16), data.data(), 8);
  ASSERT_EQ(AudioBufferSetVolume(source, -600), 0);
  AudioBuffer* copy = Duplicate(source);
  ASSERT_NE(copy, nullptr);
  int32_t volume = 0;
  EXPECT_EQ(AudioBufferGetVolume(copy, &volume), 0);
  EXPECT_EQ(volume, -600);
  ASSERT_EQ(AudioBufferSetVolume(copy, 0), 0);

  AudioBufferPlay(copy, 1);
  auto out = Mix(6);
  const int16_t expected[] = {100, 200, 300, 400, 100, 200};
  for (int k = 0; k < 6; k++) EXPECT_EQ(out[2 * k], expected[k]) << k;
  EXPECT_EQ(Status(source), 0u);
  EXPECT_EQ(Cursor(source), 0u);
  EXPECT_EQ(Cursor(copy), 4u);

  // A write through the source is what the copy plays next.
  int16_t changed = 999;
  Write(source, 4, &changed, 2);
  EXPECT_EQ(Mix(1)[0], 999);

  // Both playing: the source at half amplitude (-600 -> 0.501187) from frame 0.
  AudioBufferPlay(source, 1);
  out = Mix(1);  // copy at frame 3 (400), source at frame 0 (100 -> 50.12)
  EXPECT_EQ(out[0], 450);

  // The data outlives the source.
  AudioBufferRelease(source);
  Forget(source);
  out = Mix(2);
  EXPECT_EQ(out[0], 100);
  EXPECT_EQ(out[2], 200);
}

TEST_F(DeviceDuplicate, PrimaryBuffersCannotBeDuplicated) {
  AudioBufferDesc primary = {kAudioBufferPrimary, 0, nullptr};
  AudioBuffer* p = AudioBufferCreate(device, &primary);
  ASSERT_NE(p, nullptr);
  buffers.push_back(p);
  EXPECT_EQ(AudioBufferDuplicate(device, p), nullptr);
  void *p1, *p2;
  uint32_t s1, s2;
  EXPECT_EQ(AudioBufferLock(p, 0, 4, &p1, &s1, &p2, &s2), -1);
}

using DeviceGain = ManualDeviceTest;

// Gains worked out by hand from amplitude 10^(v/2000) for a constant 10000.
TEST_F(DeviceGain, VolumeAndPanScaleEachSide) {
  auto data = Mono16({10000, 10000});
  AudioBuffer* b = MakeWith(PcmFormat(1, 44100, 16), data.data(), 4);
  AudioBufferPlay(b, 1);
  struct Case {
    int32_t volume, pan;
    int16_t left, right;
  };
  const Case cases[] = {
      {0, 0, 10000, 10000},
      {-600, 0, 5012, 5012},      // 10^-0.3 = 0.501187
      {0, 2000, 1000, 10000},     // left down 20 dB
      {0, -600, 10000, 5012},     // right down 6 dB
      {-2000, 1000, 316, 1000},   // 0.1, and 0.1 * 10^-0.5 = 0.0316228
      {0, 10000, 0, 10000},       // 10^-5 of 10000 rounds to 0
      {-10000, 0, 0, 0},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(AudioBufferSetVolume(b, c.volume), 0);
    ASSERT_EQ(AudioBufferSetPan(b, c.pan), 0);
    auto out = Mix(1);
    EXPECT_EQ(out[0], c.left) << c.volume << " " << c.pan;
    EXPECT_EQ(out[1], c.right) << c.volume << " " << c.pan;
  }
  EXPECT_EQ(AudioBufferSetVolume(b, 1), -1);
  EXPECT_EQ(AudioBufferSetVolume(b, -10001), -1);
  EXPECT_EQ(AudioBufferSetPan(b, 10001), -1);
  EXPECT_EQ(AudioBufferSetPan(b, -10001), -1);
  ASSERT_EQ(AudioBufferSetPan(b, 10000), 0);
  int32_t pan = 0;
  EXPECT_EQ(AudioBufferGetPan(b, &pan), 0);
  EXPECT_EQ(pan, 10000);
}

using DeviceMix = ManualDeviceTest;

TEST_F(DeviceMix, EveryContainerSizeDecodesToSixteenBits) {
  struct Case {
    WaveFormat format;
    std::vector<uint8_t> frame;
    int32_t volume;
    int16_t left, right;
  };
  float quarter = 0.25f, minusOne = -1.0f;
  std::vector<uint8_t> floats(8);
  std::memcpy(floats.data(), &quarter, 4);
  std::memcpy(floats.data() + 4, &minusOne, 4);
  // Full scale plays 0.31 dB down, under the limiter's ceiling, so that the
  // extremes come out as decoded: x 10^(-31/2000) = x 0.9649393, rounded to
  // the nearest (32768 -> 31619.13, 32767 -> 31618.17, 32512 -> 31372.11,
  // 8192 -> 7904.78).
  constexpr int32_t kUnderCeiling = -31;
  const Case cases[] = {
      {PcmFormat(1, 44100, 8), {0xC0}, 0, 16384, 16384},
      {PcmFormat(1, 44100, 8), {0x80}, 0, 0, 0},
      {PcmFormat(2, 44100, 8), {0x00, 0xFF}, kUnderCeiling, -31619, 31372},  // -32768, 32512
      {PcmFormat(2, 44100, 16), {0x00, 0x80, 0xFF, 0x7F}, kUnderCeiling, -31619, 31618},  // -32768, 32767
      {PcmFormat(1, 44100, 24), {0x56, 0x34, 0x12}, 0, 4660, 4660},  // 0x123456 / 256 = 4660.2
      {PcmFormat(1, 44100, 24), {0x00, 0xFF, 0xFF}, 0, -1, -1},      // -256 / 256
      // -32768, and 0x7FFFFF / 256 = 32767.996
      {PcmFormat(2, 44100, 24), {0x00, 0x00, 0x80, 0xFF, 0xFF, 0x7F}, kUnderCeiling, -31619, 31619},
      {PcmFormat(1, 44100, 32), {0x00, 0x00, 0x00, 0x40}, 0, 16384, 16384},
      // -32768, and 0x7FFFFFFF / 65536 = 32767.99998
      {PcmFormat(2, 44100, 32), {0x00, 0x00, 0x00, 0x80, 0xFF, 0xFF, 0xFF, 0x7F}, kUnderCeiling, -31619, 31619},
      {PcmFormat(2, 44100, 32, kWaveFormatIeeeFloat), floats, kUnderCeiling, 7905, -31619},  // 8192, -32768
      // Three channels: even ones averaged on the left, odd on the right.
      {PcmFormat(3, 44100, 16), {100, 0, 0x84, 0x03, 0x58, 0x02}, 0, 350, 900},  // 100, 900, 600
  };
  for (const Case& c : cases) {
    AudioBuffer* b = MakeWith(c.format, c.frame.data(), static_cast<uint32_t>(c.frame.size()));
    ASSERT_NE(b, nullptr) << c.format.bitsPerSample;
    ASSERT_EQ(AudioBufferSetVolume(b, c.volume), 0);
    AudioBufferPlay(b, 0);
    auto out = Mix(2);
    EXPECT_EQ(out[0], c.left) << c.format.bitsPerSample << "/" << c.format.channels;
    EXPECT_EQ(out[1], c.right) << c.format.bitsPerSample << "/" << c.format.channels;
    EXPECT_EQ(out[2], 0);  // one frame, then it has stopped
    EXPECT_EQ(Status(b), 0u);
    Mix(44100);  // the limiter back at rest
  }
}

TEST_F(DeviceMix, UnplayableFormatsAreRefused) {
  WaveFormat adpcm = PcmFormat(1, 44100, 16);
  adpcm.formatTag = 2;
  WaveFormat noChannels = PcmFormat(1, 44100, 16);
  noChannels.channels = 0;
  WaveFormat nine = PcmFormat(9, 44100, 16);
  WaveFormat oddAlign = PcmFormat(2, 44100, 16);
  oddAlign.blockAlign = 3;
  WaveFormat noAlign = PcmFormat(1, 44100, 16);
  noAlign.blockAlign = 0;
  WaveFormat wide = PcmFormat(1, 44100, 16);
  wide.blockAlign = 5;
  WaveFormat noRate = PcmFormat(1, 0, 16);
  WaveFormat shortFloat = PcmFormat(1, 44100, 16, kWaveFormatIeeeFloat);
  for (const WaveFormat& f : {adpcm, noChannels, nine, oddAlign, noAlign, wide, noRate, shortFloat}) {
    EXPECT_EQ(Make(f, 64), nullptr) << f.formatTag << " " << f.channels << " " << f.blockAlign;
  }
  AudioBufferDesc noFormat = {0, 64, nullptr};
  EXPECT_EQ(AudioBufferCreate(device, &noFormat), nullptr);
  WaveFormat ok = PcmFormat(2, 44100, 16);
  AudioBufferDesc primaryWithData = {kAudioBufferPrimary, 64, &ok};
  EXPECT_EQ(AudioBufferCreate(device, &primaryWithData), nullptr);
  // Low and high rates that files carry are fine.
  EXPECT_NE(Make(PcmFormat(1, 4000, 8), 64), nullptr);
  EXPECT_NE(Make(PcmFormat(2, 192000, 24), 60), nullptr);
}

TEST_F(DeviceMix, LinearInterpolationBetweenFrames) {
  auto data = Mono16({0, 1000, 2000, 3000});
  AudioBuffer* loop = MakeWith(PcmFormat(1, 22050, 16), data.data(), 8);
  AudioBufferPlay(loop, 1);
  auto out = Mix(10);
  // Half a frame per output frame; past frame 3 a loop heads back to frame 0.
  const int16_t looped[] = {0, 500, 1000, 1500, 2000, 2500, 3000, 1500, 0, 500};
  for (int k = 0; k < 10; k++) EXPECT_EQ(out[2 * k], looped[k]) << k;
  AudioBufferStop(loop);

  AudioBuffer* once = MakeWith(PcmFormat(1, 22050, 16), data.data(), 8);
  AudioBufferPlay(once, 0);
  out = Mix(10);
  // A one-shot holds its last frame for the half step, then ends.
  const int16_t single[] = {0, 500, 1000, 1500, 2000, 2500, 3000, 3000, 0, 0};
  for (int k = 0; k < 10; k++) EXPECT_EQ(out[2 * k], single[k]) << k;
  EXPECT_EQ(Status(once), 0u);

  auto six = Mono16({0, 1000, 2000, 3000, 4000, 5000});
  AudioBuffer* fast = MakeWith(PcmFormat(1, 88200, 16), six.data(), 12);
  AudioBufferPlay(fast, 0);
  out = Mix(4);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[2], 2000);
  EXPECT_EQ(out[4], 4000);
  EXPECT_EQ(out[6], 0);
}

// A sum past the limiter's ceiling comes out at 32000, and the gain is back
// at rest within a second.
TEST_F(DeviceMix, BuffersAddUpAndLoudSumsAreLimitedBelowFullScale) {
  auto loud = Mono16({30000});
  auto soft = Mono16({10000});
  auto negative = Mono16({-10000});
  AudioBuffer* a = MakeWith(PcmFormat(1, 44100, 16), loud.data(), 2);
  AudioBuffer* b = MakeWith(PcmFormat(1, 44100, 16), soft.data(), 2);
  AudioBuffer* c = MakeWith(PcmFormat(1, 44100, 16), negative.data(), 2);
  AudioBufferPlay(a, 1);
  AudioBufferPlay(b, 1);
  EXPECT_EQ(Mix(1)[0], 32000);  // 40000 x 0.8
  AudioBufferStop(b);
  AudioBufferPlay(c, 1);
  EXPECT_EQ(Mix(44100)[2 * 44099], 20000);
  auto low = Mono16({-30000});
  Write(a, 0, low.data(), 2);
  EXPECT_EQ(Mix(1)[0], -32000);
}

// Coherent plays of a full-scale square (float data at 4.0, the most taken)
// in every container, at rates up and down, never reach full scale on any
// output; its plateaus come out at the ceiling.
TEST_F(DeviceMix, ManyFullScalePlaysNeverReachFullScaleOnAnyOutput) {
  AudioBufferDesc primaryDesc = {kAudioBufferPrimary, 0, nullptr};
  AudioBuffer* primary = AudioBufferCreate(device, &primaryDesc);
  ASSERT_NE(primary, nullptr);
  buffers.push_back(primary);
  struct Source {
    WaveFormat format;
    uint32_t high, low;  // the samples' bytes, little-endian
  };
  const Source sources[] = {
      {PcmFormat(1, 8000, 8), 0xFF, 0x00},
      {PcmFormat(2, 22050, 16), 0x7FFF, 0x8000},
      {PcmFormat(1, 44100, 24), 0x7FFFFF, 0x800000},
      {PcmFormat(2, 48000, 32), 0x7FFFFFFF, 0x80000000},
      {PcmFormat(1, 96000, 32, kWaveFormatIeeeFloat), 0x40800000, 0xC0800000},
  };
  for (const Source& source : sources) {
    std::vector<uint8_t> data;  // eight frames high, eight low, twice
    for (int sample = 0; sample < 32 * source.format.channels; sample++) {
      const uint32_t value = sample / source.format.channels % 16 < 8 ? source.high : source.low;
      for (int i = 0; i < source.format.bitsPerSample / 8; i++) data.push_back(static_cast<uint8_t>(value >> 8 * i));
    }
    for (const WaveFormat& output : {PcmFormat(2, 44100, 16), PcmFormat(1, 48000, 16), PcmFormat(2, 22050, 8),
                                     PcmFormat(1, 8000, 8)}) {
      ASSERT_EQ(AudioBufferSetFormat(primary, &output), 0);
      for (int plays : {18, 32}) {
        SCOPED_TRACE(testing::Message() << source.format.bitsPerSample << " bits to " << output.bitsPerSample
                                        << " bits, " << output.channels << " channels, " << plays << " plays");
        std::vector<AudioBuffer*> played;
        for (int i = 0; i < plays; i++) played.push_back(MakeWith(source.format, data.data(), data.size()));
        for (AudioBuffer* b : played) AudioBufferPlay(b, 1);
        int loudest = 0;
        for (int16_t s : Mix(3000)) {
          ASSERT_GT(s, -32768);
          ASSERT_LT(s, output.bitsPerSample == 8 ? 127 * 256 : 32767);
          loudest = std::max(loudest, std::abs(static_cast<int>(s)));
        }
        EXPECT_EQ(loudest, 32000);
        for (AudioBuffer* b : played) AudioBufferStop(b);
        Mix(44100);  // the gain back at rest
      }
    }
  }
}

// Two plays of 27000 over a steady 10000 need half the gain. It leans down
// ahead of them by 1 / (5 ms x rate) a frame, holds them at 32000, and
// relaxes with a time constant of 50 ms at every output rate: 100 ms later
// 10000 x (1 - 0.5 / e^2) = 9323.
TEST_F(DeviceMix, LimiterLeansAheadOfABurstAndRelaxesInTime) {
  AudioBufferDesc primaryDesc = {kAudioBufferPrimary, 0, nullptr};
  AudioBuffer* primary = AudioBufferCreate(device, &primaryDesc);
  ASSERT_NE(primary, nullptr);
  buffers.push_back(primary);
  auto steady = Mono16({10000});
  std::vector<int16_t> burst(800, 0);
  std::fill(burst.begin() + 500, burst.end(), 27000);
  // Frame 499: 10000 x (0.5 + 1 / (0.005 x rate)).
  for (auto [rate, before] : {std::pair{22050u, 5091}, {44100u, 5045}, {48000u, 5042}}) {
    WaveFormat output = PcmFormat(2, rate, 16);
    ASSERT_EQ(AudioBufferSetFormat(primary, &output), 0);
    AudioBufferPlay(MakeWith(PcmFormat(1, rate, 16), steady.data(), 2), 1);
    AudioBufferPlay(MakeWith(PcmFormat(1, rate, 16), burst.data(), 1600), 0);
    AudioBufferPlay(MakeWith(PcmFormat(1, rate, 16), burst.data(), 1600), 0);
    auto out = Mix(800 + rate / 10);
    EXPECT_EQ(out[2 * 370], 10000) << rate;
    EXPECT_EQ(out[2 * 499], before) << rate;
    EXPECT_EQ(out[2 * 500], 32000) << rate;
    EXPECT_EQ(out[2 * 799], 32000) << rate;
    EXPECT_NEAR(out[2 * (799 + rate / 10)], 9323, 1) << rate;
    EXPECT_EQ(Mix(rate)[2 * (rate - 1)], 10000) << rate;
    for (AudioBuffer* b : buffers) {
      if (b != primary) AudioBufferStop(b);
    }
  }
}

TEST_F(DeviceMix, OutputFormatOfThePrimaryBuffer) {
  AudioBufferDesc primaryDesc = {kAudioBufferPrimary, 0, nullptr};
  AudioBuffer* primary = AudioBufferCreate(device, &primaryDesc);
  ASSERT_NE(primary, nullptr);
  buffers.push_back(primary);
  const int16_t stereo[] = {1000, 3000};
  AudioBuffer* b = MakeWith(PcmFormat(2, 44100, 16), stereo, 4);
  AudioBufferPlay(b, 1);

  WaveFormat mono = PcmFormat(1, 44100, 16);
  ASSERT_EQ(AudioBufferSetFormat(primary, &mono), 0);
  auto out = Mix(1);
  EXPECT_EQ(out[0], 2000);
  EXPECT_EQ(out[1], 2000);
  // Past the ceiling on each side, but what a mono output plays is not.
  const int16_t wide[] = {20000, -10000};
  AudioBuffer* twin = MakeWith(PcmFormat(2, 44100, 16), wide, 4);
  AudioBuffer* copy = Duplicate(twin);
  AudioBufferPlay(twin, 1);
  AudioBufferPlay(copy, 1);
  EXPECT_EQ(Mix(1)[0], 12000);  // (1000 + 3000 + 2 x (20000 - 10000)) / 2
  AudioBufferStop(twin);
  AudioBufferStop(copy);

  WaveFormat eight = PcmFormat(2, 44100, 8);
  ASSERT_EQ(AudioBufferSetFormat(primary, &eight), 0);
  const int16_t small[] = {1000, -1000};
  Write(b, 0, small, 4);
  out = Mix(1);
  EXPECT_EQ(out[0], 768);    // 1000 >> 8 = 3
  EXPECT_EQ(out[1], -1024);  // -1000 >> 8 = -4

  WaveFormat slow = PcmFormat(2, 22050, 16);
  ASSERT_EQ(AudioBufferSetFormat(primary, &slow), 0);
  EXPECT_EQ(AudioDeviceMixRate(device), 22050u);
  AudioBuffer* c = Make(PcmFormat(1, 44100, 16), 200);
  AudioBufferPlay(c, 1);
  Advance(10);
  EXPECT_EQ(Cursor(c), 40u);  // two source frames per output frame
  WaveFormat got{};
  EXPECT_EQ(AudioBufferGetFormat(primary, &got), 0);
  EXPECT_TRUE(WaveFormatEquals(got, slow));

  WaveFormat wrong = PcmFormat(2, 44100, 24);
  EXPECT_EQ(AudioBufferSetFormat(primary, &wrong), -1);
  EXPECT_EQ(AudioBufferSetFormat(b, &slow), -1);  // not a primary buffer
}

// ---- Seeded comparison with a plain reference mixer ----

struct RefBuffer {
  WaveFormat format;
  std::vector<uint8_t> data;
  uint32_t frames;
  uint64_t position;
  uint64_t step;
  bool loop;
  bool playing;
  int32_t volume, pan;
};

double RefSample(const uint8_t* p, const WaveFormat& f) {
  int bytes = f.blockAlign / f.channels;
  if (f.formatTag == kWaveFormatIeeeFloat) {
    float v;
    std::memcpy(&v, p, 4);
    return v * 32768.0;
  }
  switch (bytes) {
    case 1:
      return (p[0] - 128) * 256.0;
    case 2:
      return static_cast<int16_t>(p[0] | p[1] << 8);
    case 3: {
      int32_t v = p[0] | p[1] << 8 | p[2] << 16;
      if (v & 0x800000) v -= 0x1000000;
      return v / 256.0;
    }
    default: {
      int32_t v;
      std::memcpy(&v, p, 4);
      return v / 65536.0;
    }
  }
}

void RefFrame(const RefBuffer& b, uint32_t frame, double* left, double* right) {
  const uint8_t* p = b.data.data() + frame * b.format.blockAlign;
  int bytes = b.format.blockAlign / b.format.channels;
  int channels = b.format.channels;
  if (channels == 1) {
    *left = *right = RefSample(p, b.format);
    return;
  }
  double even = 0, odd = 0;
  int evens = 0, odds = 0;
  for (int c = 0; c < channels; c++) {
    double s = RefSample(p + c * bytes, b.format);
    if (c % 2 == 0) {
      even += s;
      evens++;
    } else {
      odd += s;
      odds++;
    }
  }
  *left = even / evens;
  *right = odd / odds;
}

int16_t RefClip(double v) {
  if (v <= -32768) return -32768;
  if (v >= 32767) return 32767;
  return static_cast<int16_t>(std::lround(v));
}

std::vector<int16_t> RefMix(std::vector<RefBuffer>& buffers, uint32_t frames) {
  std::vector<int16_t> out;
  for (uint32_t k = 0; k < frames; k++) {
    double sumLeft = 0, sumRight = 0;
    for (RefBuffer& b : buffers) {
      if (!b.playing) continue;
      uint32_t i = static_cast<uint32_t>(b.position >> 32);
      double frac = static_cast<double>(b.position & 0xFFFFFFFFu) / 4294967296.0;
      double left, right;
      RefFrame(b, i, &left, &right);
      if (frac > 0) {
        uint32_t j = i + 1 < b.frames ? i + 1 : (b.loop ? 0 : i);
        double nextLeft, nextRight;
        RefFrame(b, j, &nextLeft, &nextRight);
        left += (nextLeft - left) * frac;
        right += (nextRight - right) * frac;
      }
      double gain = std::pow(10.0, b.volume / 2000.0);
      double gainLeft = gain * (b.pan > 0 ? std::pow(10.0, -b.pan / 2000.0) : 1.0);
      double gainRight = gain * (b.pan < 0 ? std::pow(10.0, b.pan / 2000.0) : 1.0);
      sumLeft += left * gainLeft;
      sumRight += right * gainRight;
      b.position += b.step;
      uint64_t end = static_cast<uint64_t>(b.frames) << 32;
      if (b.position >= end) {
        if (b.loop) {
          b.position %= end;
        } else {
          b.playing = false;
          b.position = 0;
        }
      }
    }
    out.push_back(RefClip(sumLeft));
    out.push_back(RefClip(sumRight));
  }
  return out;
}

std::vector<RefBuffer> RandomBuffers(std::mt19937& rng, uint32_t outputRate) {
  const uint32_t rates[] = {8000, 11025, 22050, 44100, 48000, 96000};
  const uint16_t bits[] = {8, 16, 24, 32, 32};
  std::vector<RefBuffer> list;
  int count = 1 + static_cast<int>(rng() % 4);
  for (int n = 0; n < count; n++) {
    RefBuffer b{};
    int kind = static_cast<int>(rng() % 5);
    uint16_t channels = static_cast<uint16_t>(1 + rng() % 3);
    b.format = PcmFormat(channels, rates[rng() % 6], bits[kind], kind == 4 ? kWaveFormatIeeeFloat : kWaveFormatPcm);
    b.frames = 1 + rng() % 300;
    b.data.resize(static_cast<size_t>(b.frames) * b.format.blockAlign);
    if (kind == 4) {
      for (size_t i = 0; i < b.data.size(); i += 4) {
        float v = static_cast<float>(static_cast<int>(rng() % 20001) - 10000) / 10000.0f;
        std::memcpy(&b.data[i], &v, 4);
      }
    } else {
      for (uint8_t& byte : b.data) byte = static_cast<uint8_t>(rng());
    }
    b.step = (static_cast<uint64_t>(b.format.samplesPerSec) << 32) / outputRate;
    b.position = static_cast<uint64_t>(rng() % b.frames) << 32;
    b.loop = rng() % 2 == 0;
    b.playing = true;
    // Four buffers at -13 dB or less stay under the limiter's ceiling.
    b.volume = -1300 - static_cast<int32_t>(rng() % 3000);
    b.pan = static_cast<int32_t>(rng() % 6001) - 3000;
    list.push_back(std::move(b));
  }
  return list;
}

using DeviceReference = ManualDeviceTest;

TEST_F(DeviceReference, SeededMixesMatchThePlainMixerAndTheSamplelessAdvance) {
  AudioBufferDesc primaryDesc = {kAudioBufferPrimary, 0, nullptr};
  AudioBuffer* primary = AudioBufferCreate(device, &primaryDesc);
  ASSERT_NE(primary, nullptr);
  buffers.push_back(primary);
  std::mt19937 rng(20240611);
  const uint32_t outputRates[] = {22050, 44100, 48000};
  for (int round = 0; round < 40; round++) {
    uint32_t outputRate = outputRates[rng() % 3];
    WaveFormat output = PcmFormat(2, outputRate, 16);
    ASSERT_EQ(AudioBufferSetFormat(primary, &output), 0);
    std::vector<RefBuffer> reference = RandomBuffers(rng, outputRate);
    std::vector<AudioBuffer*> mixed, advanced;
    for (const RefBuffer& r : reference) {
      for (auto* list : {&mixed, &advanced}) {
        AudioBuffer* b = MakeWith(r.format, r.data.data(), static_cast<uint32_t>(r.data.size()));
        ASSERT_NE(b, nullptr);
        AudioBufferSetVolume(b, r.volume);
        AudioBufferSetPan(b, r.pan);
        AudioBufferSetPosition(b, static_cast<uint32_t>(r.position >> 32) * r.format.blockAlign);
        list->push_back(b);
      }
    }
    for (size_t i = 0; i < mixed.size(); i++) AudioBufferPlay(mixed[i], reference[i].loop);
    // Pieces of several lengths cross the mixer's chunk size.
    for (uint32_t piece : {1u, 700u, 1500u, 37u}) {
      auto want = RefMix(reference, piece);
      auto got = Mix(piece);
      for (size_t i = 0; i < got.size(); i++) {
        ASSERT_NEAR(got[i], want[i], 1) << "round " << round << " sample " << i;
      }
    }
    for (size_t i = 0; i < mixed.size(); i++) {
      EXPECT_EQ(Cursor(mixed[i]), static_cast<uint32_t>(reference[i].position >> 32) * reference[i].format.blockAlign);
      EXPECT_EQ((Status(mixed[i]) & kAudioStatusPlaying) != 0, reference[i].playing);
      AudioBufferStop(mixed[i]);
    }
    // The same frames without samples leave the same cursors and states.
    for (size_t i = 0; i < advanced.size(); i++) AudioBufferPlay(advanced[i], reference[i].loop);
    Advance(1 + 700 + 1500 + 37);
    for (size_t i = 0; i < advanced.size(); i++) {
      EXPECT_EQ(Cursor(advanced[i]), Cursor(mixed[i])) << "round " << round;
      EXPECT_EQ((Status(advanced[i]) & kAudioStatusPlaying) != 0, reference[i].playing);
    }
    for (AudioBuffer* b : mixed) {
      AudioBufferRelease(b);
      Forget(b);
    }
    for (AudioBuffer* b : advanced) {
      AudioBufferRelease(b);
      Forget(b);
    }
  }
}

// ---- Device life and the outputs without a test driver ----

TEST(AudioDeviceLife, OneDeviceAtATimeAndBuffersMayOutliveIt) {
  AudioSelectOutput(AudioOutputKind::Manual);
  AudioDevice* device = AudioDeviceCreate();
  ASSERT_NE(device, nullptr);
  EXPECT_EQ(AudioDeviceCreate(), nullptr);
  WaveFormat f = PcmFormat(1, 44100, 16);
  AudioBufferDesc description = {0, 64, &f};
  EXPECT_EQ(AudioBufferCreate(device, &description), nullptr);  // not initialised yet
  ASSERT_EQ(AudioDeviceInitialize(device), 0);
  EXPECT_EQ(AudioDeviceInitialize(device), -1);
  AudioBuffer* buffer = AudioBufferCreate(device, &description);
  ASSERT_NE(buffer, nullptr);
  AudioBufferPlay(buffer, 1);
  AudioDeviceRelease(device);
  // The buffer still answers; the device memory goes with it.
  uint32_t status = 0;
  EXPECT_EQ(AudioBufferGetStatus(buffer, &status), 0);
  AudioDevice* next = AudioDeviceCreate();
  ASSERT_NE(next, nullptr);
  AudioBufferRelease(buffer);
  AudioDeviceRelease(next);
  AudioSelectOutput(AudioOutputKind::Sdl);
}

TEST(AudioDeviceLife, NullOutputMovesCursorsInRealTime) {
  AudioSelectOutput(AudioOutputKind::Null);
  AudioDevice* device = AudioDeviceCreate();
  ASSERT_NE(device, nullptr);
  ASSERT_EQ(AudioDeviceInitialize(device), 0);
  EXPECT_EQ(AudioDeviceOutput(device), AudioOutputKind::Null);
  EXPECT_EQ(AudioDeviceAdvanceFrames(device, 10, nullptr), -1);
  WaveFormat f = PcmFormat(2, 44100, 16);
  AudioBufferDesc looped = {0, 176400, &f};   // one second
  AudioBufferDesc brief = {0, 441 * 4, &f};   // 10 ms
  AudioBuffer* a = AudioBufferCreate(device, &looped);
  AudioBuffer* b = AudioBufferCreate(device, &brief);
  AudioBufferPlay(a, 1);
  AudioBufferPlay(b, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(40));
  uint32_t cursor = 0, status = 1;
  EXPECT_EQ(AudioBufferGetPosition(a, &cursor), 0);
  EXPECT_GE(cursor, 40u * 176400u / 1000u - 4u);
  EXPECT_EQ(AudioBufferGetStatus(b, &status), 0);
  EXPECT_EQ(status, 0u);
  AudioBufferRelease(a);
  AudioBufferRelease(b);
  AudioDeviceRelease(device);
  AudioSelectOutput(AudioOutputKind::Sdl);
}

}  // namespace
