// Stream sounds of several sources, shared rings, compressed sources decoded
// while playing, refused sources, and the refill on every library pass.
#include "core/core_api.h"
#include "tests/sound/soundhandle_fixture.h"
#include "tests/support/file_faults.h"

namespace {

using namespace soundhandle_test;

using StreamSourcesTest = SoundHandleTest;

int16_t Shifted(int64_t i) { return Pattern(i + 5000); }

TEST_F(StreamSourcesTest, SourcesPlayInTurnWithTheirRepeats) {
  SetCreateSoundMode(2);
  int h = LoadSoundFile(WriteWav("a.wav", Mono16(1000)).c_str(), 1, -1);
  ASSERT_NE(h, -1);
  EXPECT_EQ(AddStreamSoundFile(WriteWav("stereo.wav", Mono16(100), 2).c_str(), 0, h, 2, -1), -1);
  EXPECT_TRUE(Logged("フォーマットの違う音声データは同時に使うことは出来ません"));
  EXPECT_TRUE(Logged("右記のＷＡＶファイルのセットアップに失敗しました：stereo.wav "));
  ASSERT_EQ(AddStreamSoundFile(WriteWav("b.wav", Mono16(500, OtherPattern)).c_str(), 1, h, 2, -1), 0);
  ASSERT_EQ(AddStreamSoundFile(WriteWav("c.wav", Mono16(300, Shifted)).c_str(), 0, h, 3, -1), 0);
  EXPECT_EQ(AddStreamSoundFile("a.wav", 0, h, 2, -1), -1);
  EXPECT_TRUE(Logged("ストリーム風サウンドの制御データ領域がいっぱいです"));
  EXPECT_EQ(GetSoundTotalSamples(h), 1800);

  // a, b twice (loop count 1), c, then silence until the refill that sees
  // the cursor past 4,600 bytes (pass 18, at 4,788).
  ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
  EXPECT_EQ(Record(h)->sourceCount, 3);
  EXPECT_EQ(AddStreamSoundFile("a.wav", 0, h, 2, -1), -1);
  EXPECT_TRUE(Logged("既に再生中のストリームサウンドデータにデータを追加しようとしました"));
  std::vector<int16_t> left = RunPasses(20);
  for (size_t k = 0; k < left.size(); k++) {
    int16_t want = k < 1000   ? Pattern(k)
                   : k < 2000 ? OtherPattern((k - 1000) % 500)
                   : k < 2300 ? Shifted(k - 2000)
                              : 0;
    ASSERT_EQ(left[k], want) << k;
  }
  EXPECT_EQ(CheckSoundHandlePlaying(h), 0);
}

TEST_F(StreamSourcesTest, SharedRingPassesBetweenHandlesAndOutlivesItsDeletedOwner) {
  SetCreateSoundMode(2);
  int a = LoadSoundFile(WriteWav("a.wav", Mono16(40000)).c_str(), 1, -1);
  int b = LoadSoundFile(WriteWav("b.wav", Mono16(40000, OtherPattern)).c_str(), 1, a);
  ASSERT_NE(b, -1);
  EXPECT_EQ(Record(b)->bufferOwner, a);
  EXPECT_EQ(Record(a)->shareCount, 1);
  EXPECT_EQ(Record(b)->buffers[0].inUse, 0);

  ASSERT_EQ(PlaySoundHandle(a, 1, 1), 0);
  std::vector<int16_t> left = RunPasses(30);
  EXPECT_EQ(left[3989], Pattern(3989));

  // b takes the ring over: a stops and must fill the ring again later.
  ASSERT_EQ(PlaySoundHandle(b, 1, 1), 0);
  EXPECT_EQ(CheckSoundHandlePlaying(a), 0);
  EXPECT_EQ(CheckSoundHandlePlaying(b), 1);
  EXPECT_EQ(Record(a)->prepared, 0);
  left = RunPasses(30);
  for (size_t k = 0; k < left.size(); k++) ASSERT_EQ(left[k], OtherPattern(k)) << k;

  // a continues from where its data had been read up to, on its own data.
  int64_t resume = static_cast<int64_t>(Record(a)->readPosition / 2);
  ASSERT_EQ(PlaySoundHandle(a, 1, 0), 0);
  EXPECT_EQ(Record(b)->prepared, 0);
  left = RunPasses(2);
  for (size_t k = 0; k < left.size(); k++) ASSERT_EQ(left[k], Pattern(resume + k)) << k;

  // Deleting the owner leaves its ring to b until b goes too.
  ASSERT_EQ(DeleteSoundHandle(a), 0);
  EXPECT_EQ(PlaySoundHandle(a, 1, 1), -1);
  EXPECT_EQ(DeleteSoundHandle(a), -1);
  EXPECT_EQ(GetSoundHandleCount(), 2);
  ASSERT_EQ(PlaySoundHandle(b, 1, 1), 0);
  left = RunPasses(2);
  for (size_t k = 0; k < left.size(); k++) ASSERT_EQ(left[k], OtherPattern(k)) << k;
  ASSERT_EQ(DeleteSoundHandle(b), 0);
  EXPECT_EQ(GetSoundHandleCount(), 0);
  EXPECT_EQ(Mix(10), std::vector<int16_t>(20, 0));
}

TEST_F(StreamSourcesTest, ModeOneAndUnreadableFilesMakeNoSound) {
  std::string path = WriteWav("a.wav", Mono16(100));
  SetCreateSoundMode(1);
  EXPECT_EQ(LoadSoundFile(path.c_str(), 1, -1), -1);
  EXPECT_TRUE(Logged("音声データのオープンに失敗しました"));
  EXPECT_TRUE(Logged("右記のＷＡＶファイルのセットアップに失敗しました：a.wav "));
  SetCreateSoundMode(3);
  EXPECT_EQ(LoadSoundFile("missing.wav", 1, -1), -1);
  EXPECT_TRUE(Logged("右記のＷＡＶファイルのロードに失敗しました：missing.wav "));
  SetCreateSoundMode(2);
  Bytes junk(100, 0x55);
  EXPECT_EQ(LoadWholeSound(junk.data(), junk.size(), 1, -1), -1);
  EXPECT_TRUE(Logged("ＷＡＶファイルのストリームイメージのセットアップに失敗しました "));
  EXPECT_EQ(GetSoundHandleCount(), 0);
}

TEST_F(StreamSourcesTest, AFileImageIsCopiedSoTheCallerMayFreeIt) {
  SetCreateSoundMode(3);
  auto* image = new Bytes(sounddec_test::PcmWav(1, 8000, 16, Mono16(500)));
  int h = LoadWholeSound(image->data(), image->size(), 1, -1);
  ASSERT_NE(h, -1);
  delete image;
  EXPECT_EQ(Record(h)->sources[0].dataKind, kStreamDataFileImage);
  ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
  std::vector<int16_t> left = RunPasses(5);
  for (size_t k = 0; k < 500; k++) ASSERT_EQ(left[k], Pattern(k)) << k;
}

// The decoded source at the rate of the test file, so that the mix carries
// its samples unchanged.
class OggStreamTest : public SoundHandleTest {
 protected:
  uint32_t MixRate() const override { return 22050; }
};

TEST_F(OggStreamTest, DecodedWhilePlayingAsDecodedWhole) {
  std::string path = std::string(VARNOK_TEST_DATA) + "/sound/ogg_stereo.ogg";
  sounddec_test::Decoded whole = sounddec_test::DecodeAll(sounddec_test::ReadTestFile("ogg_stereo.ogg"));
  ASSERT_EQ(whole.openResult, 0);
  std::vector<int16_t> expected = sounddec_test::ToSamples(whole.pcm.data(), whole.pcm.size());
  ASSERT_GT(expected.size(), 2000u);

  SetCreateSoundMode(3);
  int h = LoadSoundFile(path.c_str(), 1, -1);
  ASSERT_NE(h, -1);
  EXPECT_EQ(Record(h)->sources[0].dataKind, kStreamDataOpenFile);
  ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
  std::vector<int16_t> out;
  while (out.size() < expected.size() + 4000) {
    RefillAllStreamSounds();
    std::vector<int16_t> pass = Mix(PassFrames());
    out.insert(out.end(), pass.begin(), pass.end());
  }
  for (size_t i = 0; i < out.size(); i++) ASSERT_EQ(out[i], i < expected.size() ? expected[i] : 0) << i;
  EXPECT_EQ(CheckSoundHandlePlaying(h), 0);
}

TEST_F(OggStreamTest, AFileCutShortOrFailingUnderTheDecoderEndsTheSound) {
  // Cut at every read in turn (the headers, the search for the last page,
  // the decoding while playing), or failing for good from there: each load
  // or play comes back, as a refusal or as a sound that ends early.
  const sounddec_test::Bytes ogg = sounddec_test::ReadTestFile("ogg_stereo.ogg");
  for (FileFault fault : {FileFault::Truncate, FileFault::Emptied, FileFault::ZeroReads}) {
    for (int k = 1;; k++) {
      dir.Write("cut.ogg", std::string_view(reinterpret_cast<const char*>(ogg.data()), ogg.size()));
      FileFaultScope faults(fault, k);
      SetCreateSoundMode(3);
      const int h = LoadSoundFile("cut.ogg", 1, -1);
      if (h != -1) {
        ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
        for (int pass = 0; pass < 60 && CheckSoundHandlePlaying(h) == 1; pass++) RunPasses(1);
        EXPECT_EQ(CheckSoundHandlePlaying(h), 0) << FileFaultName(fault) << " at read " << k;
        DeleteSoundHandle(h);
      }
      EXPECT_EQ(faults.OpenFiles(), 0) << FileFaultName(fault) << " at read " << k;
      if (!faults.Struck()) break;
    }
  }
}

// The library's message loop keeps stream sounds filled.
TEST(StreamWithTheLibrary, EveryPassRefillsTheRing) {
  ScratchDir dir;
  EnableLogFile(0);
  ChangeWindowMode(1);
  SetRunWhenInactive(1);  // one refill a pass, whatever the window's focus
  AudioDeviceCaps caps = {kAudioCapsPrimaryStereo | kAudioCapsPrimary16Bit, 100, 8000, 0, 0};
  AudioSetCapsForTest(&caps);
  AudioSelectOutput(AudioOutputKind::Manual);
  ASSERT_EQ(LibraryInit(), 0);
  Bytes file = sounddec_test::PcmWav(1, 8000, 16, Mono16(80000));
  dir.Write("s.wav", std::string_view(reinterpret_cast<const char*>(file.data()), file.size()));
  SetCreateSoundMode(2);
  int h = LoadSoundFile((dir.path() / "s.wav").string().c_str(), 1, -1);
  ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
  // One second played leaves a lead of three: one refill unit follows.
  AudioDeviceAdvanceFrames(g_soundSystem.device, 8000, nullptr);
  ProcessWindowMessages();
  EXPECT_EQ(GetSoundRecord(h)->writePosition, 66000);
  SetCreateSoundMode(0);
  EXPECT_EQ(LibraryEnd(), 0);
  EXPECT_EQ(GetSoundRecord(h), nullptr);
  AudioSetCapsForTest(nullptr);
  AudioSelectOutput(AudioOutputKind::Sdl);
  SetRunWhenInactive(0);
  EnableLogFile(1);
}

}  // namespace
