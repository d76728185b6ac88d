// The sound table: slots, check numbers, stale and foreign handles.
#include "tests/sound/soundhandle_fixture.h"

namespace {

using namespace soundhandle_test;

using SoundTableTest = SoundHandleTest;

// Every public function that takes a handle refuses it.
void ExpectRefusedEverywhere(int handle) {
  EXPECT_EQ(PlaySoundHandle(handle, 1, 1), -1);
  EXPECT_EQ(StopSoundHandle(handle), -1);
  EXPECT_EQ(CheckSoundHandlePlaying(handle), -1);
  EXPECT_EQ(SetSoundVolume(100, handle), -1);
  EXPECT_EQ(SetSoundPan(0, handle), -1);
  EXPECT_EQ(SetSoundLoopPosition(0, handle), -1);
  EXPECT_EQ(SetSoundLoopPositionMs(0, handle), -1);
  EXPECT_EQ(GetSoundTotalSamples(handle), -1);
  EXPECT_EQ(GetSoundTotalTime(handle), -1);
  EXPECT_EQ(GetSoundCurrentTime(handle), -1);
  EXPECT_EQ(DeleteSoundHandle(handle), -1);
}

TEST_F(SoundTableTest, FullTableRefusesAndTheNextSoundTakesTheFreedSlot) {
  std::vector<int> handles;
  for (int i = 0; i < kMaxSoundHandles; i++) {
    int h = AddSoundData(-1);
    ASSERT_EQ(HandleSlot(h), i);
    ASSERT_EQ(HandleKind(h), HandleTypeSound);
    handles.push_back(h);
  }
  EXPECT_EQ(AddSoundData(-1), -1);
  EXPECT_TRUE(Logged("サウンドの数が許容量を越えました"));

  // With the high-water mark at the top, a free slot is searched from 0.
  EXPECT_EQ(DeleteSoundHandle(handles[1234], 0), 0);
  int again = AddSoundData(-1);
  EXPECT_EQ(HandleSlot(again), 1234);
  EXPECT_NE(again, handles[1234]);
  ExpectRefusedEverywhere(handles[1234]);
}

TEST_F(SoundTableTest, NewSlotsGoAboveTheHighestOccupiedOne) {
  int a = AddSoundData(-1), b = AddSoundData(-1), c = AddSoundData(-1);
  ASSERT_EQ(HandleSlot(c), 2);
  // Freeing the highest slot lowers the mark; freeing one below does not.
  EXPECT_EQ(DeleteSoundHandle(c), 0);
  c = AddSoundData(-1);
  EXPECT_EQ(HandleSlot(c), 2);
  EXPECT_EQ(DeleteSoundHandle(a), 0);
  int d = AddSoundData(-1);
  EXPECT_EQ(HandleSlot(d), 3);
  // The walk down skips every free slot below the freed one.
  DeleteSoundHandle(b);
  DeleteSoundHandle(d);
  EXPECT_EQ(GetSoundHandleHighWater(), 3);
  DeleteSoundHandle(c);
  EXPECT_EQ(GetSoundHandleHighWater(), 0);
}

TEST_F(SoundTableTest, StaleHandleFailsUntilItsCheckNumberComesRound) {
  int stale = AddSoundData(-1);
  ASSERT_EQ(DeleteSoundHandle(stale), 0);
  // The same slot is used every time; 2,047 further handles differ from it.
  for (int i = 0; i < 2047; i++) {
    int h = AddSoundData(-1);
    ASSERT_EQ(HandleSlot(h), 0);
    ASSERT_NE(h, stale);
    ExpectRefusedEverywhere(stale);
    ASSERT_EQ(DeleteSoundHandle(h), 0);
  }
  EXPECT_EQ(AddSoundData(-1), stale);
  // Another kind, a slot past the table, a negative value.
  ExpectRefusedEverywhere(MakeHandleValue(HandleTypeGraph, HandleCheck(stale), 0));
  ExpectRefusedEverywhere(MakeHandleValue(HandleTypeSound, HandleCheck(stale), 4096));
  ExpectRefusedEverywhere(stale | static_cast<int>(0x80000000u));
}

TEST_F(SoundTableTest, NothingWorksWhileTheSoundSystemIsDown) {
  std::string path = WriteWav("a.wav", Mono16(100));
  int h = LoadSoundFile(path.c_str(), 1, -1);
  ASSERT_NE(h, -1);
  ASSERT_EQ(TerminateSoundSystem(), 0);
  ExpectRefusedEverywhere(h);
  EXPECT_EQ(LoadSoundFile(path.c_str(), 1, -1), -1);
  EXPECT_EQ(RefillAllStreamSounds(), -1);
  EXPECT_EQ(DeleteAllSoundHandles(), -1);
  ASSERT_EQ(InitSoundSystem(), 0);
  ExpectRefusedEverywhere(h);
}

}  // namespace
