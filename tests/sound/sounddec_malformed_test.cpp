// Malformed sound files: the corpus under tests/data/bad_sounds, every cut of
// the good files, and seeded byte damage. Each is refused or decodes short;
// nothing crashes, hangs or leaks.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <set>

#include "sounddec_test_util.h"

using namespace sounddec_test;

namespace {

// Opens, reads everything (bounded), seeks, converts whole, closes.
void Exercise(const Bytes& file) {
  Decoded d = DecodeAll(file, 1013, 1 << 22);
  if (d.openResult != 0) return;
  EXPECT_LE(d.pcm.size(), 1u << 22);
  MemorySource source(file);
  SoundConverter c;
  ASSERT_EQ(OpenSoundConverter(source.access(), &c), 0);
  uint8_t buffer[512];
  SeekSoundConverter(&c, 5);
  ReadSoundConverterPcm(&c, buffer, sizeof(buffer));
  c.loopPoint = 64;
  SeekSoundConverter(&c, 1000);
  ReadSoundConverterPcm(&c, buffer, sizeof(buffer));
  void* pcm = nullptr;
  size_t size = 0;
  if (ConvertSoundToPcmMemory(&c, nullptr, &pcm, &size) == 0) {
    EXPECT_LE(static_cast<int64_t>(size), std::max<int64_t>(GetSoundConverterPcmSize(&c), 0) + 44100 * 4);
    MemFree(pcm);
  }
  EXPECT_EQ(CloseSoundConverter(&c), 0);
}

TEST(SoundDecMalformed, CorpusIsRefusedOrDecodedShortWithoutLeaks) {
  // Files that no decoder may take.
  const std::set<std::string> refused = {"empty.wav",
                                         "riff_only.wav",
                                         "fmt_short.wav",
                                         "fmt_not_first.wav",
                                         "zero_channels.wav",
                                         "zero_block_align.wav",
                                         "zero_rate.wav",
                                         "block_align_mismatch.wav",
                                         "no_data_chunk.wav",
                                         "chunk_size_huge.wav",
                                         "msadpcm_no_coefs.wav",
                                         "msadpcm_zero_align.wav",
                                         "ima_huge_samples_per_block.wav",
                                         "alaw_zero_channels.wav",
                                         "mp3_bitrate_zero.mp3",
                                         "mp3_bad_header_after_frames.mp3",
                                         "mp3_id3_claims_more.mp3",
                                         "ogg_truncated.ogg"};
  int64_t blocksBefore = LiveBlocks();
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(VARNOK_TEST_DATA "/bad_sounds")) {
    std::string name = entry.path().filename().string();
    SCOPED_TRACE(name);
    Bytes file = ReadTestFile("../bad_sounds/" + name);
    if (refused.count(name)) {
      EXPECT_EQ(DecodeAll(file).openResult, -1);
    }
    Exercise(file);
    files++;
  }
  EXPECT_GE(files, 25);
  EXPECT_EQ(LiveBlocks(), blocksBefore);
}

TEST(SoundDecMalformed, KnownDamageGivesKnownResults) {
  // A PCM file that claims 2 GB of data holds 101 bytes: 50 samples are read.
  Decoded d = DecodeAll(ReadTestFile("../bad_sounds/data_past_end.wav"));
  ASSERT_EQ(d.openResult, 0);
  EXPECT_EQ(d.pcm.size(), 100u);
  // MS-ADPCM whose only block names predictor 9 of 7: opens, gives nothing.
  d = DecodeAll(ReadTestFile("../bad_sounds/msadpcm_bad_predictor.wav"));
  ASSERT_EQ(d.openResult, 0);
  EXPECT_EQ(d.pcm.size(), 0u);
  d = DecodeAll(ReadTestFile("../bad_sounds/ima_bad_step_index.wav"));
  ASSERT_EQ(d.openResult, 0);
  EXPECT_EQ(d.pcm.size(), 0u);
  // A sync pair in the last two bytes is not read as a header.
  d = DecodeAll(ReadTestFile("../bad_sounds/mp3_sync_at_end.mp3"));
  ASSERT_EQ(d.openResult, 0);
  EXPECT_EQ(d.pcmSize, 576 * 2);
}

TEST(SoundDecMalformed, EveryCutOfTheGoodFiles) {
  int64_t blocksBefore = LiveBlocks();
  for (const char* name :
       {"msadpcm_stereo.wav", "ima_mono.wav", "ulaw_stereo.wav", "mp3_tagged.mp3", "ogg_stereo.ogg"}) {
    SCOPED_TRACE(name);
    Bytes file = ReadTestFile(name);
    ASSERT_FALSE(file.empty());
    size_t step = std::max<size_t>(1, file.size() / 60);
    for (size_t cut = 0; cut < file.size(); cut += step) {
      SCOPED_TRACE(cut);
      Exercise(Bytes(file.begin(), file.begin() + cut));
    }
  }
  EXPECT_EQ(LiveBlocks(), blocksBefore);
}

TEST(SoundDecMalformed, SeededByteDamage) {
  std::mt19937 random(20240607);
  int64_t blocksBefore = LiveBlocks();
  for (const char* name : {"msadpcm_mono.wav", "ima_stereo.wav", "alaw_mono.wav", "mp3_plain.mp3", "ogg_stereo.ogg"}) {
    SCOPED_TRACE(name);
    Bytes good = ReadTestFile(name);
    for (int round = 0; round < 40; round++) {
      Bytes file = good;
      int damage = 1 + static_cast<int>(random() % 8);
      for (int i = 0; i < damage; i++) file[random() % file.size()] = static_cast<uint8_t>(random());
      Exercise(file);
    }
  }
  EXPECT_EQ(LiveBlocks(), blocksBefore);
}

}  // namespace
