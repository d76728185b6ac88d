// Whole sounds: loading, playing through the mixer, buffers in turn, stop
// and continue, volume and pan, times, deleting, and refused loads.
#include "tests/sound/soundhandle_fixture.h"

namespace {

using namespace soundhandle_test;

using WholeSoundTest = SoundHandleTest;

TEST_F(WholeSoundTest, PlaysToItsEndWithPositionsAndTimes) {
  int h = LoadSoundFile(WriteWav("a.wav", Mono16(1000)).c_str(), 3, -1);
  ASSERT_NE(h, -1);
  EXPECT_EQ(Record(h)->kind, kSoundWhole);
  EXPECT_EQ(Record(h)->bufferCount, 3);
  EXPECT_EQ(GetSoundTotalSamples(h), 1000);
  EXPECT_EQ(GetSoundTotalTime(h), 125);

  ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
  EXPECT_EQ(CheckSoundHandlePlaying(h), 1);
  std::vector<int16_t> first = Mix(404);
  // 404 samples of 2 bytes at 8,000 a second: 50.5 ms, toward zero.
  EXPECT_EQ(GetSoundCurrentTime(h), 50);
  std::vector<int16_t> rest = Mix(700);
  for (int k = 0; k < 404; k++) {
    ASSERT_EQ(first[2 * k], Pattern(k)) << k;
    ASSERT_EQ(first[2 * k + 1], Pattern(k)) << k;
  }
  for (int k = 0; k < 700; k++) ASSERT_EQ(rest[2 * k], k + 404 < 1000 ? Pattern(k + 404) : 0) << k;
  // Played to its end: stopped, with its cursor back at the start.
  EXPECT_EQ(CheckSoundHandlePlaying(h), 0);
  EXPECT_EQ(GetSoundCurrentTime(h), 0);
  EXPECT_EQ(DeleteSoundHandle(h), 0);
}

TEST_F(WholeSoundTest, PlaysUseTheTenBuffersInTurn) {
  int h = LoadSoundFile(WriteWav("a.wav", Mono16(1000)).c_str(), 20, -1);
  ASSERT_EQ(Record(h)->bufferCount, 10);
  for (int i = 0; i < 10; i++) {
    ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
    Mix(10);
  }
  // Play k started on buffer k % 10 (the first play moves from 0 to 1);
  // the one that started first has played longest.
  SoundRecord* record = Record(h);
  EXPECT_EQ(record->currentBuffer, 0);
  EXPECT_EQ(Cursor(&record->buffers[1]), 200u);
  EXPECT_EQ(Cursor(&record->buffers[0]), 20u);
  // The eleventh play restarts the buffer that started first.
  ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
  EXPECT_EQ(record->currentBuffer, 1);
  EXPECT_EQ(Cursor(&record->buffers[1]), 0u);
  EXPECT_EQ(Cursor(&record->buffers[2]), 180u);
}

TEST_F(WholeSoundTest, PlayingABusyBufferContinuesOrRestartsByTheTopFlag) {
  int h = LoadSoundFile(WriteWav("a.wav", Mono16(1000)).c_str(), 1, -1);
  WaveBuffer* buffer = &Record(h)->buffers[0];
  ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
  Mix(100);
  EXPECT_EQ(PlaySoundHandle(h, 1, 0), 0);
  EXPECT_EQ(Cursor(buffer), 200u);
  EXPECT_EQ(PlaySoundHandle(h, 1, 1), 0);
  EXPECT_EQ(Cursor(buffer), 0u);
  EXPECT_EQ(Left(Mix(1))[0], Pattern(0));
}

TEST_F(WholeSoundTest, StopKeepsThePositionAndTheNextBufferContinuesFromIt) {
  int h = LoadSoundFile(WriteWav("a.wav", Mono16(1000)).c_str(), 2, -1);
  ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
  Mix(300);
  ASSERT_EQ(StopSoundHandle(h), 0);
  EXPECT_EQ(Left(Mix(5)), std::vector<int16_t>(5, 0));
  EXPECT_EQ(GetSoundCurrentTime(h), 37);  // 300 samples: 37.5 ms
  // The other buffer takes over at the stopped one's position.
  ASSERT_EQ(PlaySoundHandle(h, 1, 0), 0);
  EXPECT_EQ(Record(h)->currentBuffer, 0);
  std::vector<int16_t> left = Left(Mix(3));
  EXPECT_EQ(left, (std::vector<int16_t>{Pattern(300), Pattern(301), Pattern(302)}));
}

TEST_F(WholeSoundTest, VolumeAndPanReachEveryBuffer) {
  int h = LoadSoundFile(WriteWav("a.wav", Mono16(100)).c_str(), 3, -1);
  SoundRecord* record = Record(h);
  // 1000 * log10(v / 255) hundredths of a decibel, toward zero.
  for (auto [volume, level] : {std::pair{128, -299}, {1, -2406}, {0, -10000}, {-5, -10000}, {300, 0}}) {
    ASSERT_EQ(SetSoundVolume(volume, h), 0);
    for (int i = 0; i < 3; i++) {
      int32_t value = 1;
      AudioBufferGetVolume(record->buffers[i].device, &value);
      EXPECT_EQ(value, level) << volume;
    }
  }
  // Pan is clamped; full right takes the left channel away.
  ASSERT_EQ(SetSoundPan(20000, h), 0);
  PlaySoundHandle(h, 1, 1);
  std::vector<int16_t> out = Mix(1);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[1], Pattern(0));
}

TEST_F(WholeSoundTest, LoopsUntilDeletedAndThenFallsSilent) {
  int h = LoadSoundFile(WriteWav("a.wav", Mono16(500)).c_str(), 3, -1);
  ASSERT_EQ(PlaySoundHandle(h, 3, 1), 0);
  std::vector<int16_t> left = Left(Mix(1200));
  for (int k = 0; k < 1200; k++) ASSERT_EQ(left[k], Pattern(k % 500)) << k;
  ASSERT_EQ(DeleteSoundHandle(h), 0);
  EXPECT_EQ(Mix(100), std::vector<int16_t>(200, 0));
  EXPECT_EQ(CheckSoundHandlePlaying(h), -1);
  EXPECT_EQ(GetSoundHandleCount(), 0);
}

TEST_F(WholeSoundTest, RefusedLoadsLogAndLeaveNoHandle) {
  std::string path = WriteWav("a.wav", Mono16(100));
  // A count below one buffer would leave the play index nothing to walk over.
  EXPECT_EQ(LoadSoundFile(path.c_str(), 0, -1), -1);
  EXPECT_EQ(LoadSoundFile(path.c_str(), -3, -1), -1);
  EXPECT_TRUE(Logged("右記の音声ファイルのロードに失敗しました_2：a.wav"));
  Bytes image = sounddec_test::PcmWav(1, 8000, 16, Mono16(100));
  EXPECT_EQ(LoadWholeSound(image.data(), image.size(), 11, -1), -1);

  EXPECT_EQ(LoadSoundFile("missing.wav", 1, -1), -1);
  EXPECT_TRUE(Logged("右記の音声ファイルのロードに失敗しました_1：missing.wav"));
  dir.Write("text.wav", "not a sound at all");
  EXPECT_EQ(LoadSoundFile("text.wav", 1, -1), -1);
  EXPECT_TRUE(Logged("音声ファイルのＰＣＭへの変換に失敗しました"));
  EXPECT_EQ(GetSoundHandleCount(), 0);

  // A duplicate that cannot be made only lowers the count.
  AudioSetFailuresForTest(AudioFailDuplicate);
  int h = LoadWholeSound(image.data(), image.size(), 5, -1);
  ASSERT_NE(h, -1);
  EXPECT_EQ(Record(h)->bufferCount, 1);
  // A buffer that cannot be filled gives up the whole sound.
  AudioSetFailuresForTest(AudioFailBufferLock);
  EXPECT_EQ(LoadWholeSound(image.data(), image.size(), 1, -1), -1);
  EXPECT_TRUE(Logged("サウンドデータの転送に失敗しました_1"));
  EXPECT_EQ(GetSoundHandleCount(), 1);
}

TEST_F(WholeSoundTest, LoopPositionOutsideTheSoundChangesNothing) {
  int h = LoadSoundFile(WriteWav("a.wav", Mono16(1000)).c_str(), 1, -1);
  // 125 ms is sample 1000: one past the end. The milliseconds form still says 0.
  EXPECT_EQ(SetSoundLoopPositionMs(125, h), 0);
  EXPECT_EQ(SetSoundLoopPosition(1000, h), -1);
  EXPECT_EQ(SetSoundLoopPosition(-1, h), -1);
  EXPECT_EQ(SetSoundLoopPositionMs(-5, h), -1);
  EXPECT_EQ(Record(h)->kind, kSoundWhole);
}

TEST_F(WholeSoundTest, ABufferTheDeviceCannotMakeEndsTheProgram) {
  std::string path = WriteWav("a.wav", Mono16(100));
  AudioSetFailuresForTest(AudioFailBufferCreate);
  EXPECT_EXIT(LoadSoundFile(path.c_str(), 1, -1), ::testing::ExitedWithCode(255), "");
  EXPECT_EQ(GetSoundHandleCount(), 0);
}

}  // namespace
