// Compressed WAV, MP3 and Ogg Vorbis files made once with sox, lame and
// oggenc (tools/make-sound-test-data.sh) decode to the expected lengths and
// to the tones they were made from.
#include <gtest/gtest.h>

#include "sounddec_test_util.h"

using namespace sounddec_test;

namespace {

struct ToneFile {
  const char* name;
  uint16_t channels;
  uint32_t rate;
  size_t frames;    // sample frames decoded: whole blocks
  double rmsLimit;  // distance from the tone it was made from
};

// sox made 440 Hz (left) and 660 Hz (right) at half of full scale.
const ToneFile kWavFiles[] = {
    {"msadpcm_mono.wav", 1, 8000, 1000, 300},     // 2 blocks of 500
    {"msadpcm_stereo.wav", 2, 11025, 1500, 300},  // 3 blocks of 500 (1200 made)
    {"ima_mono.wav", 1, 8000, 1010, 600},         // 2 blocks of 505 (1000 made)
    {"ima_stereo.wav", 2, 11025, 1515, 600},      // 3 blocks of 505 (1200 made)
    {"alaw_mono.wav", 1, 8000, 800, 250},        {"ulaw_stereo.wav", 2, 8000, 800, 250},
};

TEST(SoundDecFiles, CompressedWavDecodesToItsTone) {
  for (const ToneFile& f : kWavFiles) {
    SCOPED_TRACE(f.name);
    Decoded d = DecodeAll(ReadTestFile(f.name), 333);
    ASSERT_EQ(d.openResult, 0);
    EXPECT_EQ(d.format.formatTag, 1);
    EXPECT_EQ(d.format.channels, f.channels);
    EXPECT_EQ(d.format.samplesPerSec, f.rate);
    EXPECT_EQ(d.format.bitsPerSample, 16);
    EXPECT_EQ(d.pcmSize, static_cast<int64_t>(f.frames * f.channels * 2));
    EXPECT_EQ(d.pcm.size(), f.frames * f.channels * 2);
    std::vector<int16_t> s = ToSamples(d.pcm.data(), d.pcm.size());
    size_t made = std::min<size_t>(f.frames, 800);  // the part that holds the tone in every file
    s.resize(made * f.channels);
    EXPECT_LT(SineRmsError(s, f.channels, 0, 440, f.rate, 16384, 8), f.rmsLimit);
    if (f.channels == 2) {
      EXPECT_LT(SineRmsError(s, 2, 1, 660, f.rate, 16384, 8), f.rmsLimit);
    }
  }
}

// Zero crossings of one channel: twice the tone's frequency times the seconds.
int ZeroCrossings(const std::vector<int16_t>& s, int channels, int ch, size_t from, size_t to) {
  int n = 0;
  for (size_t i = from + 1; i < to; i++)
    if ((s[(i - 1) * channels + ch] < 0) != (s[i * channels + ch] < 0)) n++;
  return n;
}

TEST(SoundDecFiles, Mp3DecodesEveryFrameScanned) {
  // Both hold ten MPEG-2 layer III frames of 576 samples at 22,050 Hz (32 kbit/s,
  // 104 or 105 bytes): tagged.mp3 behind a 126-byte ID3v2 tag and before a
  // 128-byte ID3v1 block, with an encoder info frame first; plain.mp3 without.
  for (const char* name : {"mp3_plain.mp3", "mp3_tagged.mp3"}) {
    SCOPED_TRACE(name);
    Decoded d = DecodeAll(ReadTestFile(name), 777);
    ASSERT_EQ(d.openResult, 0);
    EXPECT_EQ(d.format.channels, 1);
    EXPECT_EQ(d.format.samplesPerSec, 22050u);
    EXPECT_EQ(d.format.blockAlign, 2);
    EXPECT_EQ(d.pcmSize, 10 * 576 * 2);
    EXPECT_EQ(d.pcm.size(), 10u * 576 * 2);
    std::vector<int16_t> s = ToSamples(d.pcm.data(), d.pcm.size());
    // 4,410 samples of 440 Hz somewhere inside: 0.1 s from the middle crosses 88 times.
    EXPECT_NEAR(ZeroCrossings(s, 1, 0, 2000, 4205), 88, 3);
  }
}

TEST(SoundDecFiles, OggVorbisDecodesItsExactLength) {
  // 4,000 stereo frames at 22,050 Hz.
  Decoded d = DecodeAll(ReadTestFile("ogg_stereo.ogg"), 4096 * 3 + 5);
  ASSERT_EQ(d.openResult, 0);
  EXPECT_EQ(d.format.channels, 2);
  EXPECT_EQ(d.format.samplesPerSec, 22050u);
  EXPECT_EQ(d.format.avgBytesPerSec, 88200u);
  EXPECT_EQ(d.pcmSize, 4000 * 4);
  EXPECT_EQ(d.pcm.size(), 4000u * 4);
  std::vector<int16_t> s = ToSamples(d.pcm.data(), d.pcm.size());
  EXPECT_LT(SineRmsError(s, 2, 0, 440, 22050, 16384, 0), 1500);
  EXPECT_LT(SineRmsError(s, 2, 1, 660, 22050, 16384, 0), 1500);
}

}  // namespace
