// PCM WAV files built here: chunk walking, format checks, reading, seeking,
// whole conversion, and the WAV image and whole-file helpers.
#include <gtest/gtest.h>

#include <cstring>

#include "sound/sound_file.h"
#include "sounddec_test_util.h"

using namespace sounddec_test;

namespace {

Bytes Ramp(size_t n) {
  Bytes b(n);
  for (size_t i = 0; i < n; i++) b[i] = static_cast<uint8_t>(i * 7 + 3);
  return b;
}

TEST(SoundDecWav, PcmFilesOfEveryWidthReadBackTheirData) {
  struct Case {
    uint16_t channels, bits;
  } cases[] = {{1, 8}, {2, 8}, {1, 16}, {2, 16}, {1, 24}, {2, 24}, {2, 32}};
  for (const Case& k : cases) {
    SCOPED_TRACE(testing::Message() << k.channels << " ch " << k.bits << " bits");
    uint16_t align = static_cast<uint16_t>(k.channels * k.bits / 8);
    Bytes data = Ramp(align * 1000u);
    Decoded d = DecodeAll(PcmWav(k.channels, 22050, k.bits, data), 97);
    ASSERT_EQ(d.openResult, 0);
    EXPECT_EQ(d.format.formatTag, 1);
    EXPECT_EQ(d.format.channels, k.channels);
    EXPECT_EQ(d.format.bitsPerSample, k.bits);
    EXPECT_EQ(d.format.blockAlign, align);
    EXPECT_EQ(d.format.avgBytesPerSec, 22050u * align);
    EXPECT_EQ(d.pcmSize, static_cast<int64_t>(data.size()));
    EXPECT_EQ(d.pcm, data);
  }
}

TEST(SoundDecWav, SixteenByteFmtTakesBitsFromBlockAlign) {
  // The bits field says 0; block align 4 over 2 channels means 16 bits.
  Bytes chunks;
  PutChunk(chunks, "fmt ", FmtBody(1, 2, 8000, 32000, 4, 0));
  PutChunk(chunks, "data", Ramp(40));
  Decoded d = DecodeAll(Riff(chunks));
  ASSERT_EQ(d.openResult, 0);
  EXPECT_EQ(d.format.bitsPerSample, 16);
  EXPECT_EQ(d.format.extraSize, 0);
  EXPECT_EQ(d.pcm, Ramp(40));
}

TEST(SoundDecWav, OddChunksAreSkippedWithTheirPadByte) {
  // An odd "LIST" chunk and an odd fmt chunk (17 bytes) each carry a pad byte.
  Bytes fmt = FmtBody(1, 1, 8000, 16000, 2, 16);
  Put16(fmt, 0);
  fmt.push_back(0xEE);  // 19 bytes
  Bytes chunks;
  PutChunk(chunks, "fmt ", fmt);
  PutChunk(chunks, "LIST", Bytes{'a', 'b', 'c'});
  PutChunk(chunks, "fact", Bytes{1, 0, 0, 0});
  PutChunk(chunks, "data", Ramp(10));
  Decoded d = DecodeAll(Riff(chunks));
  ASSERT_EQ(d.openResult, 0);
  EXPECT_EQ(d.pcm, Ramp(10));

  // The same without the pad bytes is misread and finds no "data".
  Bytes unpadded;
  PutChunk(unpadded, "fmt ", fmt, false);
  PutChunk(unpadded, "LIST", Bytes{'a', 'b', 'c'}, false);
  PutChunk(unpadded, "data", Ramp(10));
  EXPECT_EQ(DecodeAll(Riff(unpadded)).openResult, -1);
}

TEST(SoundDecWav, HeadersThatCannotDescribePcmAreRefused) {
  // 18-byte fmt chunks unless a case says 16: those have their bits recomputed.
  auto withFmt = [](Bytes fmt, bool sixteen = false) {
    if (!sixteen) Put16(fmt, 0);
    Bytes chunks;
    PutChunk(chunks, "fmt ", fmt);
    PutChunk(chunks, "data", Ramp(64));
    return Riff(chunks);
  };
  EXPECT_EQ(DecodeAll(withFmt(FmtBody(1, 0, 8000, 16000, 2, 16))).openResult, -1);       // 0 channels
  EXPECT_EQ(DecodeAll(withFmt(FmtBody(1, 1, 8000, 16000, 0, 16))).openResult, -1);       // 0 block align
  EXPECT_EQ(DecodeAll(withFmt(FmtBody(1, 1, 0, 0, 2, 16))).openResult, -1);              // 0 rate
  EXPECT_EQ(DecodeAll(withFmt(FmtBody(1, 2, 8000, 16000, 2, 16))).openResult, -1);       // 2 x 16 bits in 2 bytes
  EXPECT_EQ(DecodeAll(withFmt(FmtBody(1, 0, 8000, 16000, 4, 0), true)).openResult, -1);  // 16 bytes, 0 channels
  EXPECT_EQ(DecodeAll(withFmt(FmtBody(1, 2, 8000, 16000, 3, 0), true)).openResult, -1);  // 3 bytes over 2 channels
  EXPECT_EQ(DecodeAll(withFmt(FmtBody(1, 1, 8000, 24000, 3, 20))).openResult, -1);       // 20 bits
  EXPECT_EQ(DecodeAll(withFmt(FmtBody(1, 3, 8000, 48000, 6, 16))).openResult, -1);       // 3 channels
  EXPECT_EQ(DecodeAll(withFmt(FmtBody(3, 1, 8000, 32000, 4, 32))).openResult, -1);       // float: no decoder
  // Rates up to what the audio device mixes.
  EXPECT_EQ(DecodeAll(withFmt(FmtBody(1, 1, 768000, 1536000, 2, 16))).openResult, 0);
  EXPECT_EQ(DecodeAll(withFmt(FmtBody(1, 1, 768001, 1536002, 2, 16))).openResult, -1);

  Bytes shortFmt = FmtBody(1, 1, 8000, 16000, 2, 16);
  shortFmt.resize(14);
  EXPECT_EQ(DecodeAll(withFmt(shortFmt, true)).openResult, -1);

  // The fmt chunk must come first.
  Bytes late;
  PutChunk(late, "LIST", Bytes{1, 2});
  PutChunk(late, "fmt ", FmtBody(1, 1, 8000, 16000, 2, 16));
  PutChunk(late, "data", Ramp(8));
  EXPECT_EQ(DecodeAll(Riff(late)).openResult, -1);

  // No data chunk, and a chunk size that runs past the end.
  Bytes noData;
  PutChunk(noData, "fmt ", FmtBody(1, 1, 8000, 16000, 2, 16));
  PutChunk(noData, "LIST", Ramp(30));
  EXPECT_EQ(DecodeAll(Riff(noData)).openResult, -1);
  Bytes huge = Riff(noData);
  huge[40] = huge[41] = huge[42] = huge[43] = 0xFF;  // the LIST size
  EXPECT_EQ(DecodeAll(huge).openResult, -1);

  Bytes notWave = PcmWav(1, 8000, 16, Ramp(8));
  std::memcpy(notWave.data() + 8, "AVI ", 4);
  EXPECT_EQ(DecodeAll(notWave).openResult, -1);
  EXPECT_EQ(DecodeAll(Bytes{}).openResult, -1);
  EXPECT_EQ(DecodeAll(Bytes{'R', 'I', 'F', 'F'}).openResult, -1);
}

TEST(SoundDecWav, ByteRateIsMadeToAgreeWithTheSamples) {
  Bytes chunks;
  PutChunk(chunks, "fmt ", FmtBody(1, 2, 11025, 0, 4, 16));
  PutChunk(chunks, "data", Ramp(400));
  Decoded d = DecodeAll(Riff(chunks));
  ASSERT_EQ(d.openResult, 0);
  EXPECT_EQ(d.format.avgBytesPerSec, 44100u);
  EXPECT_EQ(d.pcm.size(), 400u);
}

TEST(SoundDecWav, DataClaimingMoreThanTheFileKeepsWhatIsThere) {
  Bytes file = PcmWav(2, 8000, 16, Ramp(1003 * 4));
  file.erase(file.end() - (4 * 3 + 1), file.end());  // 999 frames and one byte remain
  WriteLe32(file.data() + 42, 0x7FFFFFF0);
  Decoded d = DecodeAll(file, 256);
  ASSERT_EQ(d.openResult, 0);
  EXPECT_EQ(d.pcmSize, 999 * 4);  // whole frames only
  EXPECT_EQ(d.pcm, Ramp(999 * 4));

  MemorySource source(file);
  SoundConverter c;
  ASSERT_EQ(OpenSoundConverter(source.access(), &c), 0);
  WaveFormat format{};
  void* pcm = nullptr;
  size_t size = 0;
  ASSERT_EQ(ConvertSoundToPcmMemory(&c, &format, &pcm, &size), 0);
  EXPECT_EQ(size, 999u * 4);
  EXPECT_EQ(std::memcmp(pcm, Ramp(999 * 4).data(), size), 0);
  MemFree(pcm);
  CloseSoundConverter(&c);
}

TEST(SoundDecWav, SeeksMoveToTheSampleUnlessCloserThanSixteenBytes) {
  Bytes data = Ramp(4 * 500);
  MemorySource source(PcmWav(2, 8000, 16, data));
  SoundConverter c;
  ASSERT_EQ(OpenSoundConverter(source.access(), &c), 0);
  uint8_t buffer[64];
  ASSERT_EQ(ReadSoundConverterPcm(&c, buffer, 40), 40);

  // Sample 12 is byte 48: 8 bytes from the position 40, so nothing happens.
  EXPECT_EQ(SeekSoundConverter(&c, 12), 0);
  ASSERT_EQ(ReadSoundConverterPcm(&c, buffer, 4), 4);
  EXPECT_EQ(std::memcmp(buffer, data.data() + 40, 4), 0);

  // Sample 100 is far: reading goes on from byte 400; back to sample 2 as well.
  EXPECT_EQ(SeekSoundConverter(&c, 100), 0);
  ASSERT_EQ(ReadSoundConverterPcm(&c, buffer, 8), 8);
  EXPECT_EQ(std::memcmp(buffer, data.data() + 400, 8), 0);
  EXPECT_EQ(SeekSoundConverter(&c, 2), 0);
  ASSERT_EQ(ReadSoundConverterPcm(&c, buffer, 8), 8);
  EXPECT_EQ(std::memcmp(buffer, data.data() + 8, 8), 0);
  EXPECT_EQ(SeekSoundConverter(&c, -1), -1);

  // At the end the flag holds: a short seek leaves it, a far one clears it.
  Bytes rest(4000);
  EXPECT_EQ(ReadSoundConverterPcm(&c, rest.data(), rest.size()), 2000 - 16);
  EXPECT_EQ(ReadSoundConverterPcm(&c, buffer, 4), 0);
  EXPECT_EQ(SeekSoundConverter(&c, 497), 0);  // 12 bytes before the end
  EXPECT_EQ(ReadSoundConverterPcm(&c, buffer, 4), 0);
  EXPECT_EQ(SeekSoundConverter(&c, 490), 0);
  EXPECT_EQ(ReadSoundConverterPcm(&c, buffer, 64), 40);
  EXPECT_EQ(std::memcmp(buffer, data.data() + 1960, 40), 0);
  // Beyond the end: nothing to read, and no failure.
  EXPECT_EQ(SeekSoundConverter(&c, 100000), 0);
  EXPECT_EQ(ReadSoundConverterPcm(&c, buffer, 4), 0);
  EXPECT_EQ(SeekSoundConverter(&c, INT64_MAX), 0);  // no overflow of sample * 4
  EXPECT_EQ(ReadSoundConverterPcm(&c, buffer, 4), 0);

  // A whole conversion starts from the beginning whatever was read before.
  EXPECT_EQ(SeekSoundConverter(&c, 3), 0);
  void* pcm = nullptr;
  size_t size = 0;
  ASSERT_EQ(ConvertSoundToPcmMemory(&c, nullptr, &pcm, &size), 0);
  ASSERT_EQ(size, data.size());
  EXPECT_EQ(std::memcmp(pcm, data.data(), size), 0);
  MemFree(pcm);
  EXPECT_EQ(CloseSoundConverter(&c), 0);
  EXPECT_EQ(CloseSoundConverter(&c), -1);
  EXPECT_EQ(ReadSoundConverterPcm(&c, buffer, 4), -1);
}

TEST(SoundDecWav, WavImageLayoutAndRoundTrip) {
  WaveFormat f{1, 2, 44100, 176400, 4, 16, 0};
  Bytes data = Ramp(10);
  void* image = nullptr;
  size_t size = 0;
  ASSERT_EQ(BuildWavImage(&image, &size, &f, 18, data.data(), data.size()), 0);
  ASSERT_EQ(size, 56u);
  Bytes want;
  PutId(want, "RIFF");
  Put32(want, 48);
  PutId(want, "WAVE");
  PutId(want, "fmt ");
  Put32(want, 18);
  Bytes fmt = FmtBody(1, 2, 44100, 176400, 4, 16);
  Put16(fmt, 0);
  want.insert(want.end(), fmt.begin(), fmt.end());
  PutId(want, "data");
  Put32(want, 10);
  want.insert(want.end(), data.begin(), data.end());
  Bytes got(static_cast<uint8_t*>(image), static_cast<uint8_t*>(image) + size);
  EXPECT_EQ(got, want);
  Decoded d = DecodeAll(got);
  EXPECT_EQ(d.openResult, 0);
  EXPECT_EQ(d.pcm, Bytes(data.begin(), data.begin() + 8));  // whole frames of 4 bytes
  MemFree(image);

  EXPECT_EQ(BuildWavImage(&image, &size, &f, 20, data.data(), data.size()), -1);
  EXPECT_EQ(BuildWavImage(&image, &size, &f, 18, nullptr, 4), -1);
}

TEST(SoundDecWav, WholeFilesAndStreamsIntoMemory) {
  Bytes file = ReadTestFile("alaw_mono.wav");
  ASSERT_EQ(file.size(), 858u);
  void* data = nullptr;
  size_t size = 0;
  ASSERT_EQ(LoadFileToMemory(VARNOK_TEST_DATA "/sound/alaw_mono.wav", &data, &size), 0);
  ASSERT_EQ(size, file.size());
  EXPECT_EQ(std::memcmp(data, file.data(), size), 0);
  MemFree(data);
  EXPECT_EQ(LoadFileToMemory(VARNOK_TEST_DATA "/sound/no such file.wav", &data, &size), -1);

  MemorySource source(file);
  StreamSeek(source.access(), 100, 0);
  ASSERT_EQ(LoadStreamToMemory(source.access(), &data, &size), 0);
  ASSERT_EQ(size, file.size());
  EXPECT_EQ(std::memcmp(data, file.data(), size), 0);
  MemFree(data);
}

}  // namespace
