// Music handles with the library running on a scripted window and a scripted
// music device: handle checks, the sequencer's notify loop, stopping and
// deleting, and the library end.
#include <filesystem>

#include "core/handle.h"
#include "core/memory.h"
#include "file/file_access.h"
#include "platform/audio_device.h"
#include "platform/files.h"
#include "platform/music.h"
#include "sound/music.h"
#include "sound/sound_api.h"
#include "sound/sound_handle.h"
#include "sound/sound_system.h"
#include "tests/support/scripted_screen.h"

namespace {

using Op = ScriptedMusic::Op;
using Commands = std::vector<ScriptedMusic::Command>;

class Music : public ScriptedScreenTest {
 protected:
  void SetUp() override {
    SetPlatformMusic(&music);
    AudioSelectOutput(AudioOutputKind::Manual);
    StartScreen(16, 16, 32);
    g_music = MusicGlobals{};
    g_music.sequencerDevice = 7;
  }
  void TearDown() override {
    g_soundSystem.musicMode = 0;
    StopScreen();
    AudioSelectOutput(AudioOutputKind::Sdl);
    SetPlatformMusic(nullptr);
    g_music = MusicGlobals{};
  }
  // A handle as a music maker would leave it: data, playing through the sequencer.
  int PlayingHandle() {
    const int handle = AddMidiData();
    MidiRecord* record = GetMidiRecord(handle);
    record->midiSize = 16;
    record->midiData = static_cast<uint8_t*>(VN_ALLOC(16));
    record->playing = 1;
    g_music.sequencerPlaying = 1;
    return handle;
  }
  // The sequencer's MIDI file, made as a music maker would.
  std::string TempMidiFile() {
    intptr_t file = CreateTempFile(g_music.tempMidiPath, sizeof(g_music.tempMidiPath));
    EXPECT_NE(file, 0);
    PlatformFileClose(file);
    g_music.tempMidiExists = 1;
    return g_music.tempMidiPath;
  }

  ScriptedMusic music;
};

TEST_F(Music, HandlesAreCheckedLikeSoundHandles) {
  const int handle = AddMidiData();
  ASSERT_NE(handle, -1);
  EXPECT_EQ(handle & 0x78000000, 0x58000000);
  const int slot = HandleSlot(handle), check = HandleCheck(handle);
  EXPECT_EQ(GetMidiHandleState(handle), 0);
  const int refused[] = {
      -1,
      MakeHandleValue(HandleTypeSound, check, slot),      // another kind
      MakeHandleValue(HandleTypeMusic, check, slot + 1),  // an empty slot
      MakeHandleValue(HandleTypeMusic, check, 256),       // past the table
      MakeHandleValue(HandleTypeMusic, check + 1, slot),  // a stale check number
  };
  for (int bad : refused) {
    EXPECT_EQ(GetMidiHandleState(bad), -1) << std::hex << bad;
    EXPECT_EQ(StopMidiPlayback(bad), -1) << std::hex << bad;
    EXPECT_EQ(DeleteMidiHandle(bad), -1) << std::hex << bad;
  }
  // The table holds 256.
  for (int i = 1; i < kMaxMidiHandles; i++) ASSERT_NE(AddMidiData(), -1);
  EXPECT_EQ(AddMidiData(), -1);
  EXPECT_EQ(DeleteAllMidiHandles(), 0);
  EXPECT_EQ(GetMidiHandleCount(), 0);
  EXPECT_EQ(GetMidiHandleState(handle), -1);
}

TEST_F(Music, TheSequencerPlaysAgainFromTheStartWhileLoopingAndClosesOtherwise) {
  window.Push(MM_MCINOTIFY);  // nothing plays, no loop: nothing happens
  ProcessWindowMessages();
  EXPECT_TRUE(music.commands.empty());

  g_music.sequencerPlaying = 1;
  g_music.sequencerLoop = 1;
  window.Push(MM_MCINOTIFY);
  window.Push(MM_MCINOTIFY);
  ProcessWindowMessages();
  EXPECT_EQ(music.commands, (Commands{{Op::Play, 7, 0, GetMainWindow()}, {Op::Play, 7, 0, GetMainWindow()}}));
  EXPECT_EQ(g_music.sequencerPlaying, 1);

  g_music.sequencerLoop = 0;
  music.commands.clear();
  window.Push(MM_MCINOTIFY);
  window.Push(MM_MCINOTIFY);  // closed already
  ProcessWindowMessages();
  EXPECT_EQ(music.commands, (Commands{{Op::Close, 7, 0, nullptr}}));
  EXPECT_EQ(g_music.sequencerPlaying, 0);
}

TEST_F(Music, StoppingClosesTheSequencerThenRunsFiveMessagePasses) {
  const int handle = PlayingHandle();
  g_music.sequencerLoop = 1;
  const std::string midi = TempMidiFile();
  for (int i = 0; i < 30; i++) window.PushWheel(1);
  EXPECT_EQ(GetMidiHandleState(handle), 1);
  EXPECT_EQ(StopMidiPlayback(handle), 0);
  EXPECT_EQ(music.commands, (Commands{{Op::Close, 7, 0, nullptr}}));  // not played again: the loop is off
  EXPECT_EQ(window.WaitingCount(), 5u);  // five passes of at most five messages
  EXPECT_EQ(GetMidiHandleState(handle), 0);
  EXPECT_EQ(GetMidiRecord(handle)->playing, 0);
  EXPECT_EQ(g_music.tempMidiExists, 0);
  EXPECT_FALSE(std::filesystem::exists(midi));
}

TEST_F(Music, DeletingStopsWhatPlaysAndLowersTheHighWaterIndex) {
  const int handles[3] = {AddMidiData(), AddMidiData(), PlayingHandle()};
  EXPECT_EQ(GetMidiHandleHighWater(), 3);
  EXPECT_EQ(DeleteMidiHandle(handles[2]), 0);  // the sequencer plays: stopped first
  EXPECT_EQ(music.commands, (Commands{{Op::Close, 7, 0, nullptr}}));
  EXPECT_EQ(GetMidiHandleHighWater(), 2);
  EXPECT_EQ(DeleteMidiHandle(handles[0]), 0);
  EXPECT_EQ(GetMidiHandleHighWater(), 2);  // slot 1 is still taken
  EXPECT_EQ(AddMidiData() & kHandleSlotMask, 2);  // new handles go above the highest
  EXPECT_EQ(DeleteAllMidiHandles(), 0);
  EXPECT_EQ(GetMidiHandleHighWater(), 0);
  EXPECT_EQ(music.commands.size(), 1u);

  // A segment is stopped and released on the synthesiser.
  g_soundSystem.musicMode = 1;
  const int segmentHandle = AddMidiData();
  int segment = 0;
  GetMidiRecord(segmentHandle)->segment = &segment;
  GetMidiRecord(segmentHandle)->playing = 1;
  music.commands.clear();
  EXPECT_EQ(DeleteMidiHandle(segmentHandle), 0);
  EXPECT_EQ(music.commands, (Commands{{Op::Stop, 0, 0, &segment}, {Op::Release, 0, 0, &segment}}));
}

TEST_F(Music, PollingFollowsTheSynthesiserOnceItHasSeenTheSegmentPlay) {
  const int handle = AddMidiData();
  MidiRecord* record = GetMidiRecord(handle);
  record->playing = 1;
  EXPECT_EQ(PollMusicPlaying(), 0);  // sequencer mode: nothing is asked
  EXPECT_TRUE(music.commands.empty());

  g_soundSystem.musicMode = 1;
  struct Step {
    int answer;
    int playing, confirmed;
  };
  const Step steps[] = {
      {0, 1, 0},  // not started yet: still taken as playing
      {1, 1, 1},
      {1, 1, 1},
      {0, 0, 1},  // seen playing before, so it has ended
  };
  for (const Step& step : steps) {
    music.segmentPlaying = step.answer;
    EXPECT_EQ(PollMusicPlaying(), 0);
    EXPECT_EQ(record->playing, step.playing);
    EXPECT_EQ(record->playConfirmed, step.confirmed);
  }
  music.commands.clear();
  EXPECT_EQ(PollMusicPlaying(), 0);  // a record that does not play is not asked about
  EXPECT_TRUE(music.commands.empty());
}

TEST_F(Music, TheLibraryEndDeletesTheCurrentMusicEveryHandleAndTheMidiFile) {
  const int current = PlayingHandle();
  AddMidiData();
  g_music.currentMusic = current;
  LibraryEnd();
  EXPECT_EQ(GetMidiHandleCount(), 0);
  EXPECT_EQ(g_music.currentMusic, 0);
  EXPECT_EQ(music.commands, (Commands{{Op::Close, 7, 0, nullptr}}));
  EXPECT_TRUE(Logged("解放されていないメモリブロックは 0 個 ( 計 0 バイト ) でした"));
  EXPECT_EQ(StopMusicTrack(), 0);  // nothing current: nothing to do

  StartScreen(16, 16, 32);
  AddMidiData();
  const std::string midi = TempMidiFile();
  LibraryEnd();
  EXPECT_FALSE(std::filesystem::exists(midi));
  EXPECT_EQ(GetMidiHandleCount(), 0);

  // Current music that is a sound handle goes as a sound.
  StartScreen(16, 16, 32);
  const int sound = AddSoundData(-1);
  ASSERT_NE(sound, -1);
  g_music.currentMusic = sound;
  g_music.currentMusicKind = 1;
  EXPECT_EQ(StopMusicTrack(), 0);
  EXPECT_EQ(CheckSoundHandlePlaying(sound), -1);
  EXPECT_EQ(g_music.currentMusic, 0);
}

TEST(SoundSystemStopped, TheCreateModeAndMusicAnswerMinusOne) {
  AudioSelectOutput(AudioOutputKind::Manual);
  ASSERT_EQ(InitSoundSystem(), 0);
  const int handle = AddMidiData();
  EXPECT_EQ(SetCreateSoundMode(2), 0);
  EXPECT_EQ(GetCreateSoundMode(), 2);
  EXPECT_EQ(TerminateSoundSystem(), 0);
  EXPECT_EQ(SetCreateSoundMode(0), -1);
  EXPECT_EQ(GetCreateSoundMode(), -1);
  EXPECT_EQ(GetMidiHandleState(handle), -1);
  EXPECT_EQ(PollMusicPlaying(), -1);
  EXPECT_EQ(DeleteAllMidiHandles(), -1);
  ASSERT_EQ(InitSoundSystem(), 0);
  EXPECT_EQ(GetCreateSoundMode(), 0);  // a new start begins with whole sounds
  EXPECT_EQ(TerminateSoundSystem(), 0);
  AudioSelectOutput(AudioOutputKind::Sdl);
}

}  // namespace
