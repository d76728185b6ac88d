// Compressed WAV, MP3 and Ogg Vorbis files made once with sox, lame and
// oggenc (tools/make-sound-test-data.sh), and MPEG-2 layer II files made at
// build time with twolame (tools/make_test_sounds.cpp), decode to the
// expected lengths and to the tones they were made from.
#include <gtest/gtest.h>
#include <mpg123.h>

#include "sound/decode_mp3.h"
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

// mpg123 reading the file by itself, a frame at a time, nothing trimmed.
struct Mpg123Decode {
  int frames = 0;
  long rate = 0;
  int channels = 0;
  Bytes pcm;
};
Mpg123Decode DecodeWithMpg123(const Bytes& file) {
  Mpg123Decode r;
  mpg123_init();
  mpg123_handle* h = mpg123_new(nullptr, nullptr);
  if (!h) return r;
  mpg123_param(h, MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0);
  mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_NO_READAHEAD, 0);
  if (mpg123_open_feed(h) == MPG123_OK && mpg123_feed(h, file.data(), file.size()) == MPG123_OK) {
    for (;;) {
      off_t number = 0;
      unsigned char* audio = nullptr;
      size_t bytes = 0;
      int result = mpg123_decode_frame(h, &number, &audio, &bytes);
      if (result == MPG123_NEW_FORMAT) {
        int encoding = 0;
        mpg123_getformat(h, &r.rate, &r.channels, &encoding);
        EXPECT_EQ(encoding, MPG123_ENC_SIGNED_16);
        continue;
      }
      if (result != MPG123_OK) break;
      r.frames++;
      r.pcm.insert(r.pcm.end(), audio, audio + bytes);
    }
  }
  mpg123_delete(h);
  return r;
}

struct Mp2File {
  const char* name;
  uint32_t rate;
  uint16_t channels;
  size_t frameBytes;  // 144000 * kbit/s / rate, unpadded
  int frames;         // one second of tone in frames of 1,152 samples, the last one filled up
  int paddedFrames;
};

// twolame coded one second of 440 Hz (left) and 660 Hz (right) at half scale.
const Mp2File kMp2Files[] = {
    {"mp2_16000_1_32.mp2", 16000, 1, 288, 14, 0},     // 4,608,000 / 16,000
    {"mp2_16000_2_160.mp2", 16000, 2, 1440, 14, 0},   // 23,040,000 / 16,000
    {"mp2_22050_1_8.mp2", 22050, 1, 52, 20, 0},       // 1,152,000 / 22,050 = 52.2
    {"mp2_22050_2_64_padded.mp2", 22050, 2, 417, 20, 19},  // 9,216,000 / 22,050 = 417.9; all but the first padded
    {"mp2_24000_2_96.mp2", 24000, 2, 576, 21, 0},     // 13,824,000 / 24,000
    {"mp2_false_sync.mp2", 24000, 1, 288, 21, 0},     // 6,912,000 / 24,000
};

TEST(SoundDecFiles, Mpeg2LayerTwoDecodesEveryFrameOf1152Samples) {
  for (const Mp2File& f : kMp2Files) {
    SCOPED_TRACE(f.name);
    Bytes file = ReadMadeFile(f.name);
    ASSERT_EQ(file.size(), f.frameBytes * f.frames + f.paddedFrames);
    Mpg123Decode reference = DecodeWithMpg123(file);
    ASSERT_EQ(reference.frames, f.frames);
    ASSERT_EQ(reference.rate, static_cast<long>(f.rate));
    ASSERT_EQ(reference.channels, f.channels);

    Decoded d = DecodeAll(file, 1001);
    EXPECT_EQ(d.openResult, 0);
    EXPECT_EQ(d.format.samplesPerSec, f.rate);
    EXPECT_EQ(d.format.channels, f.channels);
    const size_t bytes = static_cast<size_t>(f.frames) * 1152 * f.channels * 2;
    EXPECT_EQ(d.pcmSize, static_cast<int64_t>(bytes));
    EXPECT_EQ(d.pcm.size(), bytes);
    if (d.pcm.size() != bytes) continue;
    EXPECT_TRUE(d.pcm == reference.pcm);
    // A tenth of a second from the middle: 440 Hz crosses zero 88 times, 660 Hz 132.
    std::vector<int16_t> s = ToSamples(d.pcm.data(), d.pcm.size());
    const size_t from = f.rate / 2, to = from + f.rate / 10;
    EXPECT_NEAR(ZeroCrossings(s, f.channels, 0, from, to), 88, 3);
    if (f.channels == 2) {
      EXPECT_NEAR(ZeroCrossings(s, 2, 1, from, to), 132, 3);
    }
  }
  // The false sync sits in the ancillary bits at the end of each frame, and its header is refused.
  Bytes file = ReadMadeFile("mp2_false_sync.mp2");
  Mp3FrameInfo unused;
  EXPECT_EQ(ParseMp3FrameHeader(file.data() + 288 - 4, &unused), -1);
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
