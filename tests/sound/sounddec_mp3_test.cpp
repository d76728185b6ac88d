// MPEG audio: frame headers, ID3 tags, the frame scan and what it measures.
#include <gtest/gtest.h>

#include <cstring>

#include "sound/decode_mp3.h"
#include "sounddec_test_util.h"

using namespace sounddec_test;

namespace {

Mp3FrameInfo Parse(uint8_t b1, uint8_t b2, uint8_t b3, int expect = 0) {
  uint8_t h[4] = {0xFF, b1, b2, b3};
  Mp3FrameInfo f{};
  EXPECT_EQ(ParseMp3FrameHeader(h, &f), expect);
  return f;
}

TEST(SoundDecMp3, FrameHeadersWorkedByHand) {
  // MPEG-1 layer III, 128 kbit/s, 44,100 Hz: 144000 * 128 / 44100 = 417 bytes, 418 padded.
  Mp3FrameInfo f = Parse(0xFB, 0x90, 0x00);
  EXPECT_EQ(f.lsf, 0);
  EXPECT_EQ(f.layer, 2);
  EXPECT_EQ(f.bitrate, 128u);
  EXPECT_EQ(f.sampleRate, 44100u);
  EXPECT_EQ(f.channels, 2);
  EXPECT_EQ(f.samplesPerFrame, 1152u);
  EXPECT_EQ(f.frameLength, 417u);
  EXPECT_EQ(Parse(0xFB, 0x92, 0xC0).frameLength, 418u);
  EXPECT_EQ(Parse(0xFB, 0x92, 0xC0).channels, 1);  // channel mode 3
  // MPEG-1 layer I, index 9 = 288 kbit/s at 44,100 Hz: (288 * 12000 / 44100) * 4 = 78 * 4.
  f = Parse(0xFF, 0x90, 0x40);
  EXPECT_EQ(f.layer, 0);
  EXPECT_EQ(f.bitrate, 288u);
  EXPECT_EQ(f.samplesPerFrame, 384u);
  EXPECT_EQ(f.frameLength, 312u);
  // MPEG-1 layer II, index 14 = 384 kbit/s at 32,000 Hz: 144000 * 384 / 32000 = 1728.
  f = Parse(0xFD, 0xE8, 0x00);
  EXPECT_EQ(f.bitrate, 384u);
  EXPECT_EQ(f.sampleRate, 32000u);
  EXPECT_EQ(f.frameLength, 1728u);
  // MPEG-2 layer II, index 8 = 64 kbit/s at 16,000 Hz: 1,152 samples as in MPEG-1 (only
  // layer III halves its frame), so 144000 * 64 / 16000 = 576 bytes.
  f = Parse(0xF5, 0x88, 0x00);
  EXPECT_EQ(f.lsf, 1);
  EXPECT_EQ(f.layer, 1);
  EXPECT_EQ(f.bitrate, 64u);
  EXPECT_EQ(f.sampleRate, 16000u);
  EXPECT_EQ(f.samplesPerFrame, 1152u);
  EXPECT_EQ(f.frameLength, 576u);
  // MPEG-2 layer I, index 14 = 256 kbit/s at 24,000 Hz, padded: (128 + 1) * 4.
  f = Parse(0xF7, 0xE6, 0x00);
  EXPECT_EQ(f.frameLength, 516u);
  EXPECT_EQ(f.samplesPerFrame, 384u);

  Parse(0xF9, 0x90, 0x00, -1);  // layer bits 00
  Parse(0xFB, 0xF0, 0x00, -1);  // bitrate index 15
  Parse(0xFB, 0x00, 0x00, -1);  // bitrate index 0: free format has no length
  Parse(0xFB, 0x9C, 0x00, -1);  // rate index 3
  Parse(0xEB, 0x90, 0x00, -2);  // MPEG-2.5 sync (high nibble 0xE) is no frame here
  uint8_t noSync[4] = {0xFE, 0xFB, 0x90, 0x00};
  Mp3FrameInfo unused;
  EXPECT_EQ(ParseMp3FrameHeader(noSync, &unused), -2);
}

Bytes Id3v2(int major, int flags, uint32_t size) {
  Bytes b = {'I', 'D', '3', static_cast<uint8_t>(major), 0, static_cast<uint8_t>(flags)};
  for (int shift : {21, 14, 7, 0}) b.push_back(static_cast<uint8_t>((size >> shift) & 0x7F));
  return b;
}

TEST(SoundDecMp3, Id3TagsBoundTheAudio) {
  auto range = [](const Bytes& file) {
    uint64_t start = 0, end = 0;
    FindMp3AudioRange(file.data(), file.size(), &start, &end);
    return std::pair<uint64_t, uint64_t>(start, end);
  };
  Bytes file = Id3v2(3, 0, 257);  // 2 * 128 + 1
  file.resize(1000);
  EXPECT_EQ(range(file), std::make_pair(uint64_t{267}, uint64_t{1000}));
  // Version 4 with the footer flag: 20 bytes beyond the tag body; the flag means nothing to version 3.
  Bytes v4 = Id3v2(4, 0x10, 257);
  v4.resize(1000);
  EXPECT_EQ(range(v4).first, 277u);
  v4[5] = 0;
  EXPECT_EQ(range(v4).first, 267u);
  file[5] = 0x10;
  EXPECT_EQ(range(file).first, 267u);

  // "TAG" 128 bytes before the end takes those bytes off, only in a file longer than 128.
  Bytes tagged(500, 0);
  std::memcpy(tagged.data() + 372, "TAG", 3);
  EXPECT_EQ(range(tagged), std::make_pair(uint64_t{0}, uint64_t{372}));
  Bytes small(128, 0);
  std::memcpy(small.data(), "TAG", 3);
  EXPECT_EQ(range(small), std::make_pair(uint64_t{0}, uint64_t{128}));

  // A tag that claims more than the file leaves no audio.
  Bytes huge = Id3v2(3, 0, 0x0FFFFFFF);
  huge.resize(100);
  EXPECT_EQ(range(huge).first, range(huge).second);
}

// A frame of MPEG-2 layer III, 8 kbit/s at 24,000 Hz: 72000 * 8 / 24000 = 24 bytes.
Bytes SmallFrame() {
  Bytes f(24, 0x11);
  f[0] = 0xFF;
  f[1] = 0xF3;
  f[2] = 0x14;  // bitrate index 1, rate index 1
  f[3] = 0xC0;  // mono
  return f;
}

TEST(SoundDecMp3, ScanSkipsJunkAndCountsFrames) {
  Bytes audio = {0x00, 0xFF, 0x12, 0x34};  // junk, with a lone 0xFF
  for (int i = 0; i < 3; i++) {
    Bytes f = SmallFrame();
    audio.insert(audio.end(), f.begin(), f.end());
  }
  audio.insert(audio.end(), {0x01, 0x02, 0x03});  // junk after the last frame
  Bytes f = SmallFrame();
  audio.insert(audio.end(), f.begin(), f.end());
  Mp3ScanResult r;
  ASSERT_EQ(ScanMp3Frames(audio.data(), audio.size(), &r), 0);
  EXPECT_EQ(r.firstFrame, 4u);
  EXPECT_EQ(r.totalSamples, 4 * 576);
  EXPECT_EQ(r.dataEnd, audio.size());  // the last frame reaches the end

  // Junk at the end that never starts a frame: the data ends after the last frame.
  audio.insert(audio.end(), 10, 0x55);
  ASSERT_EQ(ScanMp3Frames(audio.data(), audio.size(), &r), 0);
  EXPECT_EQ(r.dataEnd, audio.size() - 10);

  // A frame cut short still counts and the data ends at the end.
  Bytes cut(audio.begin() + 4, audio.begin() + 4 + 24 + 10);
  ASSERT_EQ(ScanMp3Frames(cut.data(), cut.size(), &r), 0);
  EXPECT_EQ(r.totalSamples, 2 * 576);
  EXPECT_EQ(r.dataEnd, cut.size());

  // A sync whose header does not parse refuses the whole file, free format included.
  Bytes bad = audio;
  bad[4 + 24 + 2] = 0x04;  // second frame: bitrate index 0
  EXPECT_EQ(ScanMp3Frames(bad.data(), bad.size(), &r), -1);
  Bytes none(300, 0x77);
  EXPECT_EQ(ScanMp3Frames(none.data(), none.size(), &r), -1);
  EXPECT_EQ(ScanMp3Frames(none.data(), 0, &r), -1);
}

TEST(SoundDecMp3, ScannedLengthIsThePcmSize) {
  // Three small frames behind an ID3v2.4 tag (6 bytes of body) with a footer.
  Bytes file = Id3v2(4, 0x10, 6);
  file.resize(10 + 6 + 10, 0);
  for (int i = 0; i < 3; i++) {
    Bytes f = SmallFrame();
    file.insert(file.end(), f.begin(), f.end());
  }
  MemorySource source(file);
  SoundConverter c;
  ASSERT_EQ(OpenSoundConverter(source.access(), &c), 0);
  EXPECT_EQ(c.kind, kSoundConverterAcm);
  EXPECT_EQ(c.dataStart, 26u);
  EXPECT_EQ(c.dataSize, 72u);
  EXPECT_EQ(c.format.samplesPerSec, 24000u);
  EXPECT_EQ(c.format.channels, 1);
  EXPECT_EQ(GetSoundConverterPcmSize(&c), 3 * 576 * 2);
  // The format block handed to the codec: MPEG layer-3 with the first frame's fields.
  ASSERT_GE(c.acm.sourceFormatSize, 30u);
  const uint8_t* fmt = c.acm.sourceFormat;
  EXPECT_EQ(ReadLe16(fmt), 0x55);
  EXPECT_EQ(ReadLe32(fmt + 8), 1000u);  // 8 kbit/s
  EXPECT_EQ(ReadLe16(fmt + 12), 1);
  EXPECT_EQ(ReadLe16(fmt + 16), 12);
  EXPECT_EQ(ReadLe16(fmt + 18), 1);
  EXPECT_EQ(ReadLe32(fmt + 20), 0u);
  EXPECT_EQ(ReadLe16(fmt + 24), 24);
  EXPECT_EQ(ReadLe16(fmt + 26), 1);
  EXPECT_EQ(ReadLe16(fmt + 28), 700);
  CloseSoundConverter(&c);
}

TEST(SoundDecMp3, TagWithFooterInFrontOfRealFrames) {
  Bytes plain = ReadTestFile("mp3_plain.mp3");
  Bytes file = Id3v2(4, 0x10, 40);
  file.resize(10 + 40, 'x');
  // The footer: "3DI" and the header's fields; the audio search starts after it.
  Bytes footer = Id3v2(4, 0x10, 40);
  footer[0] = '3';
  footer[1] = 'D';
  footer[2] = 'I';
  file.insert(file.end(), footer.begin(), footer.end());
  file.insert(file.end(), plain.begin(), plain.end());
  Decoded d = DecodeAll(file);
  ASSERT_EQ(d.openResult, 0);
  EXPECT_EQ(d.pcm.size(), 10u * 576 * 2);
  EXPECT_EQ(d.pcm, DecodeAll(plain).pcm);
}

TEST(SoundDecMp3, SeekingBackRestartsTheDecoder) {
  Bytes file = ReadTestFile("mp3_tagged.mp3");
  Decoded whole = DecodeAll(file);
  ASSERT_EQ(whole.pcm.size(), 11520u);
  MemorySource source(file);
  SoundConverter c;
  ASSERT_EQ(OpenSoundConverter(source.access(), &c), 0);
  Bytes buffer(11520);
  ASSERT_EQ(ReadSoundConverterPcm(&c, buffer.data(), 8000), 8000);
  for (int64_t sample : {1000, 3000, 100, 5000}) {
    SCOPED_TRACE(sample);
    ASSERT_EQ(SeekSoundConverter(&c, sample), 0);
    int64_t got = ReadSoundConverterPcm(&c, buffer.data(), 1000);
    ASSERT_EQ(got, 1000);
    EXPECT_EQ(std::memcmp(buffer.data(), whole.pcm.data() + sample * 2, 1000), 0);
  }
  CloseSoundConverter(&c);
}

}  // namespace
