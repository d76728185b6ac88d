// Ogg Vorbis: totals, whole conversion with its headroom, seeking.
#include <gtest/gtest.h>

#include <cstring>

#include "sound/decode_ogg.h"
#include "sounddec_test_util.h"

using namespace sounddec_test;

namespace {

TEST(SoundDecOgg, TotalsCountRealSamplesAndTheWholeBlockHasHeadroom) {
  Bytes file = ReadTestFile("ogg_stereo.ogg");
  MemorySource source(file);
  SoundConverter c;
  ASSERT_EQ(OpenSoundConverter(source.access(), &c), 0);
  EXPECT_EQ(c.kind, kSoundConverterOggVorbis);
  EXPECT_EQ(GetOggTotalBytes(&c), 4000 * 4);
  EXPECT_EQ(GetSoundConverterPcmSize(&c), 4000 * 4);
  EXPECT_EQ(GetOggPcmBufferSize(&c), (4000 + 44100) * 4);

  int64_t bytesBefore = MemGetTotals().liveBytes;
  WaveFormat format{};
  void* pcm = nullptr;
  size_t size = 0;
  ASSERT_EQ(ConvertSoundToPcmMemory(&c, &format, &pcm, &size), 0);
  EXPECT_EQ(size, 16000u);
  EXPECT_GE(MemGetTotals().liveBytes - bytesBefore, (4000 + 44100) * 4);
  EXPECT_EQ(format.blockAlign, 4);
  Bytes whole(static_cast<uint8_t*>(pcm), static_cast<uint8_t*>(pcm) + size);
  MemFree(pcm);

  // Seeks land on the exact sample, backward and forward.
  uint8_t buffer[800];
  for (int64_t sample : {1000, 17, 3900, 0, 2500}) {
    SCOPED_TRACE(sample);
    ASSERT_EQ(SeekSoundConverter(&c, sample), 0);
    EXPECT_EQ(c.pcmPosition, static_cast<uint64_t>(sample) * 4);
    int64_t want = std::min<int64_t>(800, (4000 - sample) * 4);
    ASSERT_EQ(ReadSoundConverterPcm(&c, buffer, 800), want);
    EXPECT_EQ(std::memcmp(buffer, whole.data() + sample * 4, static_cast<size_t>(want)), 0);
  }
  // Beyond the end: the read gives nothing, and a later seek recovers.
  ASSERT_EQ(SeekSoundConverter(&c, 9000), 0);
  EXPECT_EQ(ReadSoundConverterPcm(&c, buffer, 800), 0);
  ASSERT_EQ(SeekSoundConverter(&c, 10), 0);
  ASSERT_EQ(ReadSoundConverterPcm(&c, buffer, 40), 40);
  EXPECT_EQ(std::memcmp(buffer, whole.data() + 40, 40), 0);
  CloseSoundConverter(&c);
}

TEST(SoundDecOgg, ChainAnnouncesWhatItDeliversUpToTheLayoutChange) {
  // Mono links of 44,100 samples at 22,050 Hz, 44,100 at 44,100 Hz and 22,050
  // at 22,050 Hz: decoding stops where the rate changes, the third link unheard.
  Bytes file = ReadMadeFile("ogg_chain_rate.ogg");
  Decoded d = DecodeAll(file, 4096);
  ASSERT_EQ(d.openResult, 0);
  EXPECT_EQ(d.format.samplesPerSec, 22050u);
  EXPECT_EQ(d.format.channels, 1);
  EXPECT_EQ(d.pcmSize, 44100 * 2);
  EXPECT_EQ(d.pcm.size(), 44100u * 2);

  MemorySource source(file);
  SoundConverter c;
  ASSERT_EQ(OpenSoundConverter(source.access(), &c), 0);
  EXPECT_EQ(GetOggPcmBufferSize(&c), (44100 + 44100) * 2);
  void* pcm = nullptr;
  size_t size = 0;
  ASSERT_EQ(ConvertSoundToPcmMemory(&c, nullptr, &pcm, &size), 0);
  EXPECT_EQ(size, 44100u * 2);
  EXPECT_EQ(std::memcmp(pcm, d.pcm.data(), std::min(size, d.pcm.size())), 0);
  MemFree(pcm);
  CloseSoundConverter(&c);
}

TEST(SoundDecOgg, ConverterSurvivesBeingCopied) {
  // vorbisfile keeps a pointer to its stream: it must not point into the record.
  Bytes file = ReadTestFile("ogg_stereo.ogg");
  MemorySource source(file);
  auto* first = new SoundConverter;
  ASSERT_EQ(OpenSoundConverter(source.access(), first), 0);
  SoundConverter moved = *first;
  std::memset(static_cast<void*>(first), 0xCD, sizeof(SoundConverter));
  delete first;
  Bytes out(20000);
  EXPECT_EQ(ReadSoundConverterPcm(&moved, out.data(), out.size()), 16000);
  CloseSoundConverter(&moved);
}

}  // namespace
