// Converters over the codec service: seeking forward and back, and the loop
// stream that waits before the loop point so that a restart is cheap.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/audio_codec.h"
#include "platform/audio_codec_blocks.h"
#include "sounddec_test_util.h"

using namespace sounddec_test;

namespace {

// An A-law file of n mono samples at 8 kHz and the PCM it must give, decoded
// code by code (the reference: one sample per byte).
struct LawFile {
  Bytes file;
  Bytes pcm;
};
LawFile MakeAlaw(size_t n) {
  Bytes codes(n);
  for (size_t i = 0; i < n; i++) codes[i] = static_cast<uint8_t>((i * 37 + i / 251) & 0xFF);
  Bytes fmt = FmtBody(kWaveFormatAlaw, 1, 8000, 8000, 1, 8);
  Put16(fmt, 0);
  Bytes chunks;
  PutChunk(chunks, "fmt ", fmt);
  PutChunk(chunks, "data", codes);
  LawFile f{Riff(chunks), {}};
  for (uint8_t c : codes) Put16(f.pcm, static_cast<uint16_t>(DecodeAlawSample(c)));
  return f;
}

Bytes Read(SoundConverter* c, size_t bytes) {
  Bytes b(bytes);
  int64_t got = ReadSoundConverterPcm(c, b.data(), b.size());
  b.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return b;
}

Bytes Slice(const Bytes& b, size_t from, size_t n) { return Bytes(b.begin() + from, b.begin() + from + n); }

TEST(SoundDecAcm, SeeksForwardAndBackGiveTheSameBytesAsAStraightRead) {
  LawFile f = MakeAlaw(20000);  // 40,000 PCM bytes; output blocks of 16,000
  MemorySource source(f.file);
  SoundConverter c;
  ASSERT_EQ(OpenSoundConverter(source.access(), &c), 0);
  EXPECT_EQ(c.kind, kSoundConverterAcm);
  EXPECT_EQ(GetSoundConverterPcmSize(&c), 40000);
  EXPECT_EQ(Read(&c, 1000), Slice(f.pcm, 0, 1000));
  // Within the bytes held, beyond them, back before the position, past the end.
  for (int64_t sample : {1000, 9000, 700, 19990, 5, 0, 12345}) {
    SCOPED_TRACE(sample);
    ASSERT_EQ(SeekSoundConverter(&c, sample), 0);
    size_t from = static_cast<size_t>(sample) * 2;
    size_t n = std::min<size_t>(3000, f.pcm.size() - from);
    EXPECT_EQ(Read(&c, 3000), Slice(f.pcm, from, n));
  }
  ASSERT_EQ(SeekSoundConverter(&c, 20000), 0);
  EXPECT_EQ(Read(&c, 10).size(), 0u);
  EXPECT_EQ(c.endFlag, 1);
  CloseSoundConverter(&c);
}

TEST(SoundDecAcm, LoopStreamWaitsBeforeTheLoopPointAndTakesOverOnTheRestart) {
  LawFile f = MakeAlaw(40000);  // 80,000 PCM bytes, 2,048 codes (4,096 bytes) a piece
  MemorySource source(f.file);
  SoundConverter c;
  ASSERT_EQ(OpenSoundConverter(source.access(), &c), 0);
  c.loopPoint = 60000;  // sample 30,000

  // One piece a refill: the loop stream keeps pace until it is within 10,240
  // bytes of the loop point (49,152 is not; 53,248 is) and then waits.
  Bytes all;
  for (;;) {
    Bytes piece = Read(&c, 4096);
    if (piece.empty()) break;
    all.insert(all.end(), piece.begin(), piece.end());
  }
  EXPECT_EQ(all, f.pcm);
  EXPECT_EQ(c.acm.loopOutputPosition, 53248u);
  EXPECT_EQ(c.acm.loopSourcePosition, 26624u);

  // The restart: the loop stream becomes the main one and converts forward the
  // 6,752 bytes to the loop point; a fresh loop stream starts from 0.
  AudioCodecStream* loopStream = c.acm.loopStream;
  ASSERT_EQ(SeekSoundConverter(&c, 30000), 0);
  EXPECT_EQ(c.acm.mainStream, loopStream);
  EXPECT_EQ(c.acm.loopOutputPosition, 8192u);  // one piece in each of the two refills on the way
  EXPECT_EQ(Read(&c, 5000), Slice(f.pcm, 60000, 5000));

  // A target before even the loop stream's position reopens the main stream.
  ASSERT_EQ(SeekSoundConverter(&c, 1000), 0);
  EXPECT_EQ(Read(&c, 5000), Slice(f.pcm, 2000, 5000));

  // A loop point moved below the loop stream's position makes it start again.
  Read(&c, 40000);
  uint64_t before = c.acm.loopOutputPosition;
  ASSERT_GT(before, 20000u);
  c.loopPoint = 20000;
  Read(&c, 16000);
  EXPECT_LT(c.acm.loopOutputPosition, before);
  CloseSoundConverter(&c);
}

TEST(SoundDecAcm, LoopStreamStaysIdleWithoutALoopPoint) {
  LawFile f = MakeAlaw(40000);
  MemorySource source(f.file);
  SoundConverter c;
  ASSERT_EQ(OpenSoundConverter(source.access(), &c), 0);
  EXPECT_EQ(Read(&c, 100000), f.pcm);
  EXPECT_EQ(c.acm.loopOutputPosition, 0u);
  EXPECT_EQ(c.acm.loopSourcePosition, 0u);
  // A loop point below the lead leaves it idle too.
  ASSERT_EQ(SeekSoundConverter(&c, 0), 0);
  c.loopPoint = 8000;
  EXPECT_EQ(Read(&c, 100000).size(), f.pcm.size());
  EXPECT_EQ(c.acm.loopOutputPosition, 0u);
  CloseSoundConverter(&c);
}

TEST(SoundDecAcm, WholeConversionOfCompressedWav) {
  Bytes file = ReadTestFile("msadpcm_stereo.wav");
  MemorySource source(file);
  SoundConverter c;
  ASSERT_EQ(OpenSoundConverter(source.access(), &c), 0);
  Bytes first = Read(&c, 777);
  WaveFormat format{};
  void* pcm = nullptr;
  size_t size = 0;
  ASSERT_EQ(ConvertSoundToPcmMemory(&c, &format, &pcm, &size), 0);
  EXPECT_EQ(size, 6000u);
  EXPECT_EQ(format.blockAlign, 4);
  EXPECT_EQ(std::memcmp(pcm, first.data(), first.size()), 0);
  MemFree(pcm);
  CloseSoundConverter(&c);
}

TEST(SoundDecAcm, BrokenBlockEndsTheSoundBeforeIt) {
  // Two IMA blocks of 256 bytes; the second gets step index 200.
  Bytes file = ReadTestFile("ima_mono.wav");
  ASSERT_EQ(file.size(), 572u);
  Decoded whole = DecodeAll(file);
  ASSERT_EQ(whole.pcm.size(), 2020u);
  Bytes broken = file;
  size_t dataStart = 60;  // after the fmt (20 bytes), fact and data headers
  ASSERT_EQ(std::memcmp(broken.data() + dataStart - 8, "data", 4), 0);
  broken[dataStart + 256 + 2] = 200;
  Decoded d = DecodeAll(broken);
  ASSERT_EQ(d.openResult, 0);
  EXPECT_EQ(d.pcm, Slice(whole.pcm, 0, 1010));
}

}  // namespace
