// Stream sounds of one source: the pre-fill, playing to the end, looping,
// loop starts, stop and continue, silence, and ends found late.
//
// At 8,000 16-bit mono samples a second: 16,000 bytes a second, a ring of
// 96,000 bytes, a pre-fill of 64,000, refills and silence in units of 2,000;
// a pass of the message loop plays 133 samples (266 bytes).
#include "tests/sound/soundhandle_fixture.h"

namespace {

using namespace soundhandle_test;

class StreamPlayTest : public SoundHandleTest {
 protected:
  int LoadStream(int64_t frames, int mode = 2) {
    SetCreateSoundMode(mode);
    int h = LoadSoundFile(WriteWav("s.wav", Mono16(frames)).c_str(), 1, -1);
    EXPECT_NE(h, -1);
    return h;
  }
};

TEST_F(StreamPlayTest, LoadingPrefillsFourSecondsOfTheRing) {
  int h = LoadStream(40000, 3);
  SoundRecord* record = Record(h);
  ASSERT_EQ(record->kind, kSoundStream);
  EXPECT_EQ(record->ringSize, 96000u);
  EXPECT_EQ(record->prepared, 1);
  EXPECT_EQ(record->writePosition, 64000);
  EXPECT_EQ(record->validDataStart, 0);
  EXPECT_EQ(Contents(&record->buffers[0], 0, 64000), Bytes(Mono16(32000)));
  EXPECT_EQ(GetSoundTotalSamples(h), 40000);
  EXPECT_EQ(GetSoundTotalTime(h), 5000);
  EXPECT_EQ(CheckSoundHandlePlaying(h), 0);
  EXPECT_EQ(GetSoundCurrentTime(h), 0);
}

TEST_F(StreamPlayTest, OneShotPlaysOnceAndTheFirstRefillPastTheEndStopsIt) {
  int h = LoadStream(16000);
  ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
  std::vector<int16_t> left = RunPasses(60);
  // 7,980 samples: 15,960 bytes, 997.5 ms.
  EXPECT_EQ(GetSoundCurrentTime(h), 997);
  // The pass that starts at 120 * 266 = 31,920 bytes has not passed the end
  // at 32,000; the next one, at 32,186, has.
  std::vector<int16_t> more = RunPasses(61);
  EXPECT_EQ(CheckSoundHandlePlaying(h), 1);
  left.insert(left.end(), more.begin(), more.end());
  more = RunPasses(5);
  EXPECT_EQ(CheckSoundHandlePlaying(h), 0);
  left.insert(left.end(), more.begin(), more.end());
  for (size_t k = 0; k < left.size(); k++) ASSERT_EQ(left[k], k < 16000 ? Pattern(k) : 0) << k;
  EXPECT_EQ(GetSoundCurrentTime(h), 2000);
}

TEST_F(StreamPlayTest, LoopPlayRestartsWithoutAGapAndItsTimeFromZero) {
  int h = LoadStream(40000);
  ASSERT_EQ(PlaySoundHandle(h, 3, 1), 0);
  std::vector<int16_t> left = RunPasses(300);
  std::vector<int16_t> tail = Left(Mix(100));
  left.insert(left.end(), tail.begin(), tail.end());
  for (size_t k = 0; k < left.size(); k++) ASSERT_EQ(left[k], Pattern(k)) << k;
  // A cursor that stands exactly on the restart point has passed it.
  EXPECT_EQ(GetSoundCurrentTime(h), 0);
  int64_t played = 40000;
  for (int round = 0; round < 20; round++) {
    std::vector<int16_t> left = RunPasses(30);
    for (size_t k = 0; k < left.size(); k++) ASSERT_EQ(left[k], Pattern((played + k) % 40000)) << played + k;
    played += left.size();
    EXPECT_EQ(GetSoundCurrentTime(h), StreamMs((played % 40000) * 2)) << played;
  }
  EXPECT_GT(played, 2 * 40000);
  EXPECT_EQ(CheckSoundHandlePlaying(h), 1);
}

TEST_F(StreamPlayTest, LoopStartInMillisecondsTurnsAWholeSoundIntoALoopingStream) {
  int h = LoadSoundFile(WriteWav("s.wav", Mono16(56000)).c_str(), 3, -1);
  ASSERT_EQ(Record(h)->kind, kSoundWhole);
  SetSoundVolume(10, h);
  ASSERT_EQ(SetSoundLoopPositionMs(2000, h), 0);
  ASSERT_NE(Record(h), nullptr);
  EXPECT_EQ(Record(h)->kind, kSoundStream);
  EXPECT_EQ(Record(h)->sources[0].loopStart, 16000u);
  EXPECT_EQ(GetSoundTotalSamples(h), 56000);

  // Played once, it goes on from sample 16,000 after the first pass, for ever.
  ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
  auto sourceSample = [](int64_t k) { return k < 56000 ? k : 16000 + (k - 56000) % 40000; };
  int64_t played = 0;
  for (int round = 0; round < 40; round++) {
    std::vector<int16_t> left = RunPasses(30);
    for (size_t k = 0; k < left.size(); k++) ASSERT_EQ(left[k], Pattern(sourceSample(played + k))) << played + k;
    played += left.size();
    EXPECT_EQ(GetSoundCurrentTime(h), StreamMs(sourceSample(played) * 2)) << played;
  }
  EXPECT_GT(played, 56000 + 2 * 40000);
}

TEST_F(StreamPlayTest, StopKeepsTheRingAndATopPlayStartsOver) {
  int h = LoadStream(40000);
  ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
  RunPasses(60);
  ASSERT_EQ(StopSoundHandle(h), 0);
  EXPECT_EQ(CheckSoundHandlePlaying(h), 0);
  EXPECT_EQ(Mix(100), std::vector<int16_t>(200, 0));
  RunPasses(3);  // refills of a stopped sound write nothing

  ASSERT_EQ(PlaySoundHandle(h, 1, 0), 0);
  std::vector<int16_t> left = RunPasses(2);
  for (size_t k = 0; k < left.size(); k++) ASSERT_EQ(left[k], Pattern(7980 + k)) << k;

  ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
  EXPECT_EQ(Record(h)->writePosition, 64000);
  left = RunPasses(2);
  for (size_t k = 0; k < left.size(); k++) ASSERT_EQ(left[k], Pattern(k)) << k;
  EXPECT_EQ(GetSoundCurrentTime(h), 33);  // 532 bytes: 33.25 ms
}

TEST_F(StreamPlayTest, EightBitSoundIsFollowedBySilenceBytes0x7F) {
  // 8,000 bytes a second: a silence unit of 1,000 bytes; a pass of 133 bytes.
  Bytes data;
  for (int i = 0; i < 8000; i++) data.push_back(static_cast<uint8_t>(0x81 + i % 100));
  SetCreateSoundMode(2);
  int h = LoadSoundFile(WriteWav("s.wav", data, 1, 8).c_str(), 1, -1);
  ASSERT_NE(h, -1);
  EXPECT_EQ(Contents(&Record(h)->buffers[0], 8000, 1000), Bytes(1000, 0x7F));

  ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
  std::vector<int16_t> left = RunPasses(70);
  // The refill of pass 61 (8,113 bytes in) is the first past the end.
  for (size_t k = 0; k < left.size(); k++) {
    int16_t want = k < 8000 ? static_cast<int16_t>((data[k] - 128) * 256) : (k < 8113 ? -256 : 0);
    ASSERT_EQ(left[k], want) << k;
  }
  EXPECT_EQ(CheckSoundHandlePlaying(h), 0);
}

TEST_F(StreamPlayTest, EndIsFoundAfterTheCursorWrappedPastTheRingEnd) {
  int h = LoadStream(40000);
  ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
  RunPasses(294);  // 78,204 bytes played: just before the end at 80,000
  ASSERT_EQ(Record(h)->ending, 1);
  ASSERT_EQ(CheckSoundHandlePlaying(h), 1);
  // A long stall: the cursor runs past the end and the ring's end to 6,204.
  Mix(12000);
  EXPECT_EQ(Cursor(&Record(h)->buffers[0]), 6204u);
  RefillAllStreamSounds();
  EXPECT_EQ(CheckSoundHandlePlaying(h), 0);
  EXPECT_EQ(GetSoundCurrentTime(h), 5000);
}

TEST_F(StreamPlayTest, LoopsThatDeliverNothingEndInsteadOfSpinning) {
  // No data at all, looped.
  int empty = LoadStream(0);
  ASSERT_EQ(PlaySoundHandle(empty, 3, 1), 0);
  RunPasses(2);
  EXPECT_EQ(CheckSoundHandlePlaying(empty), 0);
  DeleteSoundHandle(empty);

  // A loop section of two samples: too short for the decoder to seek back
  // to, so the sound plays once and ends.
  int h = LoadStream(1000);
  ASSERT_EQ(SetSoundLoopPosition(998, h), 0);
  ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
  std::vector<int16_t> left = RunPasses(12);
  for (size_t k = 0; k < 1000; k++) ASSERT_EQ(left[k], Pattern(k)) << k;
  EXPECT_EQ(CheckSoundHandlePlaying(h), 0);
}

}  // namespace
