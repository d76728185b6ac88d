// Sound effects as the game plays them: plain, positioned by the listener,
// the food boxes' left/centre/right variants, and the headroom of the mix.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <vector>

#include "core/varnok.h"
#include "game/bgm.h"
#include "game/game_state.h"
#include "game/resources.h"
#include "platform/audio_device.h"
#include "sound/sound_api.h"
#include "sound/sound_handle.h"
#include "sound/sound_system.h"
#include "tests/game/game_harness.h"
#include "tests/sound/sounddec_test_util.h"

namespace {

class SoundEffectsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(game.initResult, 0);
    const auto wav = sounddec_test::PcmWav(1, 8000, 16, sounddec_test::Bytes(800, 1));
    for (int32_t& handle : handles) {
      handle = LoadWholeSound(wav.data(), wav.size(), 3, -1);
      ASSERT_NE(handle, -1);
    }
    set.volume = &volume;
    set.range = 768;
    set.rangeSquared = 589824;
  }
  void TearDown() override {
    for (int32_t handle : handles) DeleteSoundHandle(handle);
  }
  // Volume in hundredths of a decibel and pan, as the handle's first buffer has them.
  static void Levels(int32_t handle, int32_t* volume, int32_t* pan) {
    AudioBuffer* buffer = GetSoundRecord(handle)->buffers[0].device;
    AudioBufferGetVolume(buffer, volume);
    AudioBufferGetPan(buffer, pan);
  }

  GameHarness game{HarnessOptions().NoData()};
  int32_t handles[3];
  int32_t volume = 212;
  SoundSet set{};
};

TEST_F(SoundEffectsTest, PositionedByTheListener) {
  // Volume level: 1000 x log10(v / 255) truncated, -10000 for silence.
  const struct {
    float dx, dy;
    int32_t sevol;
    int32_t pan, level;
    bool plays;
  } cases[] = {
      {0, 0, 212, 0, -80, true},           // at the listener: SEVOL 212
      {384, 0, 212, 5000, -205, true},     // v = 0.75 x 212 = 159
      {-384, 0, 212, -5000, -205, true},
      {0, -384, 212, 0, -205, true},
      {1000, 0, 212, 10000, -10000, true},  // v = -147: silence, but it starts
      {-100, 0, 0, -1302, 0, false},        // SEVOL 0: panned, never played
  };
  const WorldPoint listener{1000.0f, 900.0f};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dx);
    StopSoundHandle(handles[0]);
    volume = c.sevol;
    PlaySeAt({listener.x + c.dx, listener.y + c.dy}, listener, handles[0], set);
    int32_t level, pan;
    Levels(handles[0], &level, &pan);
    EXPECT_EQ(pan, c.pan);
    if (c.plays) {
      EXPECT_EQ(level, c.level);
    }
    EXPECT_EQ(CheckSoundHandlePlaying(handles[0]), c.plays ? 1 : 0);
  }
}

TEST_F(SoundEffectsTest, FoodBoxesPlayTheirScreenThird) {
  const struct {
    float h, v;
    int expected;  // 0 left, 1 centre, 2 right, -1 nothing
  } cases[] = {
      {0, 0, 1},     {341, 0, 1},    {342, 0, 2},  {-341, 0, 1},   {-342, 0, 0},  {512, 0, 2},
      {513, 0, -1},  {-513, 0, -1},  {0, 384, 1},  {0, -385, -1},  {341.5f, 0, 2},
  };
  const WorldPoint listener{2000.0f, 100.0f};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.h);
    for (int32_t handle : handles) StopSoundHandle(handle);
    PlayBoxSe(handles, {listener.x + c.h, listener.y + c.v}, listener, set);
    for (int i = 0; i < 3; i++) {
      EXPECT_EQ(CheckSoundHandlePlaying(handles[i]), i == c.expected ? 1 : 0) << i;
      int32_t level, pan;
      Levels(handles[i], &level, &pan);
      EXPECT_EQ(pan, 0);
      if (i == c.expected) {
        EXPECT_EQ(level, -80);
      }
    }
  }
}

TEST(GameData, MissingTreeLeavesEmptySlotsAndTheFrameStillRuns) {
  GameHarness game(HarnessOptions().NoData());
  ASSERT_EQ(game.initResult, 0);
  EXPECT_EQ(ui_mouse_cursor[0], -1);
  EXPECT_EQ(titleLogo_Tamblor[13], -1);
  EXPECT_EQ(field_outline, -1);
  EXPECT_EQ(g_soundSet.itemBorn, -1);
  EXPECT_EQ(game.Frames(3), 3);
  // Only the dark background: no cursor at the mouse.
  EXPECT_EQ(game.BackPixel(512, 384), 0x101010u);
  EXPECT_EQ(game.BackPixel(1023, 767), 0x101010u);
}

TEST(GameData, EveryPictureAndSoundLoads) {
  if (!HasGameData()) GTEST_SKIP() << "no data tree in the build folder";
  GameHarness game;
  ASSERT_EQ(game.initResult, 0);
  for (int32_t handle : {ui_mouse_cursor[1], titleLogo_Tamblor[13], field_outline, light000, wideButton[1],
                         title_difficultyButtonName[3], timerNum_mini[10], chara_color_arrow[31]})
    EXPECT_NE(handle, -1);
  for (int32_t handle : {g_soundSet.die[0], g_soundSet.boxKnock[2], g_soundSet.boxBreak[0], g_soundSet.itemBorn})
    EXPECT_NE(handle, -1);
  CharacterSounds sounds{};
  LoadCharacterSounds(sounds);
  for (int32_t handle : sounds.handles) EXPECT_NE(handle, -1);
  FreeCharacterSounds(sounds);
  EXPECT_EQ(GetSoundTotalTime(sounds.handles[15]), -1);
}

// The loudest moment a busy round makes at the default volumes, mixed as
// the game hears it: effects that start in one frame start on one sample,
// so plays of one file at the listener add up exactly. A burst of eighteen
// (six handles of the file, each with all three buffers playing) over each
// track of the music passes full scale many times over; the mix never
// reaches it.
TEST(GameData, EighteenPlaysOfAnEffectOverEveryTrackNeverReachFullScale) {
  if (!HasGameData()) GTEST_SKIP() << "no data tree in the build folder";
  GameHarness game;
  ASSERT_EQ(game.initResult, 0);
  ASSERT_EQ(g_gameState.config.SEVOL, 212);
  ASSERT_EQ(g_gameState.config.BGMVOL, 255);
  AudioDevice* device = g_soundSystem.device;
  ASSERT_EQ(AudioDeviceMixRate(device), 44100u);
  std::vector<int16_t> out;
  // The largest sample magnitude of the next frames' mix; the mix runs on
  // a frame at a time, as the game's frames refill its streams.
  auto mixPeak = [&](int64_t frames) {
    int peak = 0;
    for (int64_t done = 0; done < frames; done += 735) {
      out.assign(2 * 735, 0);
      EXPECT_EQ(AudioDeviceAdvanceFrames(device, 735, out.data()), 0);
      for (int16_t v : out) peak = std::max(peak, std::abs(static_cast<int>(v)));
      ProcessWindowMessages();
    }
    return peak;
  };

  std::vector<const char*> files(std::begin(kSharedSoundFiles), std::end(kSharedSoundFiles));
  files.insert(files.end(), std::begin(kCharacterSoundFiles), std::end(kCharacterSoundFiles));
  const WorldPoint listener{1000.0f, 1000.0f};
  // The music as the difficulty menu starts it.
  for (const char* key : {"#MAINGAME_EASY", "#MAINGAME_NORMAL", "#MAINGAME_HARD", "#MAINGAME_CARNIVAL"}) {
    SCOPED_TRACE(key);
    StartBgm(g_bgm, key);
    ASSERT_EQ(g_bgm.playing, 1);
    SetSoundVolume(*g_bgm.volume, g_bgm.soundHandle);
    PlaySoundHandle(g_bgm.soundHandle, 3, 1);
    EXPECT_GT(mixPeak(2 * 44100), 0);
    for (const char* file : files) {
      SCOPED_TRACE(file);
      int32_t handles[6];
      for (int32_t& handle : handles) {
        handle = LoadSoundFile(file, 3, -1);
        ASSERT_NE(handle, -1);
      }
      for (int32_t handle : handles) {
        for (int play = 0; play < 3; play++) PlaySeAt(listener, listener, handle, g_soundSet);
      }
      EXPECT_LT(mixPeak(static_cast<int64_t>(GetSoundTotalTime(handles[0])) * 441 / 10 + 735), 32767);
      for (int32_t handle : handles) DeleteSoundHandle(handle);
    }
    StopSoundHandle(g_bgm.soundHandle);
  }
}

}  // namespace
