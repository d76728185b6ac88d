// config.ini and the music list: what the readers make of good and bad
// files, and the exact bytes written back.
#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <string>

#include "game/bgm.h"
#include "game/config.h"
#include "game/game_state.h"
#include "game/resources.h"
#include "sound/sound_api.h"
#include "tests/game/game_harness.h"
#include "tests/sound/sounddec_test_util.h"
#include "tests/support/read_file.h"

namespace {

using namespace std::string_literals;

struct ConfigCase {
  const char* name;
  std::string file;  // "-" for no file at all
  int sevol, bgmvol, fullscreen, drawTime;
};

TEST(SettingsFile, ReadsKeysAndValuesAsWritten) {
  const std::string longLine(300, 'x');
  const ConfigCase cases[] = {
      {"no file", "-", 212, 255, 1, 1},
      {"empty file", "", 212, 255, 1, 1},
      {"all four", "#SEVOL\r\n100\r\n#BGMVOL\r\n20\r\n#FULLSCREEN_MODE\r\n0\r\n#DRAW_TIMESCORE_MAINGAME\r\n0\r\n", 100,
       20, 0, 0},
      {"volumes clamp", "#SEVOL\r\n300\r\n#BGMVOL\r\n-5\r\n", 255, 0, 1, 1},
      {"flag above 0", "#FULLSCREEN_MODE\r\n2\r\n#DRAW_TIMESCORE_MAINGAME\r\n-1\r\n", 212, 255, 1, 0},
      {"last = token", "#SEVOL\r\nSEVOL=17\r\n#BGMVOL\r\n==5=\r\n", 17, 5, 1, 1},
      {"trailing blank matches nothing", "#SEVOL \r\n100\r\n", 212, 255, 1, 1},
      {"LF only", "#SEVOL\n100\n#BGMVOL\n20\n", 100, 20, 1, 1},
      {"key on the last line", "#SEVOL\r\n7\r\n#SEVOL", 7, 255, 1, 1},
      {"key given twice", "#SEVOL\r\n10\r\n#SEVOL\r\n20\r\n", 20, 255, 1, 1},
      {"value line taken whole", "#SEVOL\r\n#BGMVOL\r\n40\r\n", 0, 255, 1, 1},
      {"over-long line goes on", longLine + "\r\n#SEVOL\r\n9\r\n", 9, 255, 1, 1},
      {"over-long LF line goes on", longLine + "\n#SEVOL\n9\n", 9, 255, 1, 1},
      {"huge number", "#BGMVOL\r\n99999999999999999999\r\n", 212, 255, 1, 1},
      {"binary", "\0\xff#SEVOL\r\n5\r\n\x81"s, 212, 255, 1, 1},
      {"trailing blank before a CR", "#SEVOL \r100\r", 212, 255, 1, 1},
      {"CR CR is an empty value line", "#SEVOL\r\r100\r", 0, 255, 1, 1},
      {"LF CR LF keeps its empty line", "#SEVOL\n\r\n100\r\n", 0, 255, 1, 1},
      {"CR CR LF across the line limit", std::string(254, 'x') + "\r\r\n#SEVOL\r\r\n9\r\r\n", 9, 255, 1, 1},
      {"byte-order mark only at the start", "#SEVOL\r\n1\r\n\xEF\xBB\xBF#BGMVOL\r\n20\r\n", 1, 255, 1, 1},
  };
  for (const ConfigCase& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    if (c.file != "-") dir.Write("config.ini", c.file);
    g_gameState.config = {1, 2, 3, 4};
    ReadConfig();
    const GameConfig& got = g_gameState.config;
    EXPECT_EQ(got.SEVOL, c.sevol);
    EXPECT_EQ(got.BGMVOL, c.bgmvol);
    EXPECT_EQ(got.FULLSCREEN_MODE, c.fullscreen);
    EXPECT_EQ(got.DRAW_TIMESCORE_MAINGAME, c.drawTime);
  }
}

TEST(SettingsFile, LastTokenOfALine) {
  const struct {
    const char* line;
    int32_t value;
  } cases[] = {
      {"212", 212}, {"SEVOL=212", 212}, {"=212", 212}, {"==5=", 5},     {"", 0},
      {"===", 0},   {"a=b", 0},         {" \t-7x", -7}, {"LOOP= +12", 12}, {"99999999999", INT32_MAX},
      {"x=-99999999999", INT32_MIN},
  };
  for (const auto& c : cases) {
    std::string line = c.line;
    EXPECT_EQ(ParseLastInt(line.data()), c.value) << '"' << c.line << '"';
  }
}

TEST(SettingsFile, WrittenBackAsEightCrLfLinesAndReadAgain) {
  ScratchDir dir;
  dir.Write("config.ini", "junk\r\n#SEVOL\r\n300\r\n#BGMVOL\r\n==5=\r\n#FULLSCREEN_MODE\r\n0\r\nmore junk\r\n");
  ReadConfig();
  SaveConfig();
  const std::string expected =
      "#SEVOL\r\n255\r\n#BGMVOL\r\n5\r\n#FULLSCREEN_MODE\r\n0\r\n#DRAW_TIMESCORE_MAINGAME\r\n1\r\n";
  EXPECT_EQ(ReadWholeFile("config.ini"), expected);
  g_gameState.config = {};
  ReadConfig();
  SaveConfig();
  EXPECT_EQ(ReadWholeFile("config.ini"), expected);
}

TEST(SettingsFile, UncreatableFileWritesNothing) {
  ScratchDir dir;
  std::filesystem::create_directory("config.ini");
  SaveConfig();
  EXPECT_TRUE(std::filesystem::is_directory("config.ini"));
}

// The music list, in a scratch data tree of its own.
class MusicListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(game.initResult, 0);
    const auto wav = sounddec_test::PcmWav(1, 8000, 16, sounddec_test::Bytes(16000, 1));
    game.dir.Write("data/bgm/a.wav", std::string(wav.begin(), wav.end()));
    game.dir.Write("data/bgm/bad.wav", "RIFF\x10\0\0\0WAVEjunk"s);
  }
  void TearDown() override {
    if (g_bgm.playing) DeleteSoundHandle(g_bgm.soundHandle);
    g_bgm.playing = 0;
  }
  void Start(const std::string& list) {
    if (list != "-") game.dir.Write("data/bgm/list.txt", list);
    StartBgm(g_bgm, "#MAINGAME_HARD");
  }
  GameHarness game{HarnessOptions().NoData()};
};

TEST_F(MusicListTest, EntryLoadsWithItsLoopPoint) {
  Start("#MAINGAME_EASY\r\nbad.wav\r\nLOOP=1\r\nanything\r\n#MAINGAME_HARD\r\na.wav\r\nLOOP=500\r\n");
  EXPECT_EQ(g_bgm.playing, 1);
  EXPECT_EQ(g_bgm.loopPosition, 500);
  const int first = g_bgm.soundHandle;
  EXPECT_EQ(GetSoundTotalTime(first), 1000);

  // The next start deletes the music it replaces.
  Start("#MAINGAME_HARD\r\na.wav\r\n");
  EXPECT_EQ(g_bgm.playing, 1);
  EXPECT_EQ(g_bgm.loopPosition, 0);
  EXPECT_EQ(GetSoundTotalTime(first), -1);
}

TEST_F(MusicListTest, BadListsLeaveSilence) {
  const struct {
    const char* name;
    std::string list;
  } cases[] = {
      {"no list", "-"},
      {"empty", ""},
      {"LF only, no entry", "#MAINGAME_EASY\na.wav\nLOOP=500\n"},
      {"no entry", "#MAINGAME_EASY\r\na.wav\r\n"},
      {"key on the last line", "#MAINGAME_HARD"},
      {"missing file", "#MAINGAME_HARD\r\nnothing.wav\r\n0\r\n"},
      {"corrupt file", "#MAINGAME_HARD\r\nbad.wav\r\n0\r\n"},
      {"over-long name", "#MAINGAME_HARD\r\n" + std::string(400, 'a') + ".wav\r\n0\r\n"},
      {"binary", "#MAINGAME_HARD\0\r\n\xff\xfe\r\n"s},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Start(c.list);
    EXPECT_EQ(g_bgm.playing, 0);
    std::filesystem::remove("data/bgm/list.txt");
  }
}

// Both files as other editors write them (bare LF, bare CR, LF CR, CR CR LF,
// a byte-order mark), as the game writes them (CR LF), and mixed; the
// settings read survive being written back.
TEST_F(MusicListTest, BothFilesTakeAnyLineEndAndAByteOrderMark) {
  const struct {
    const char* name;
    std::string config, list;
  } cases[] = {
      {"CR LF", "#SEVOL\r\n100\r\n#BGMVOL\r\n20\r\n#FULLSCREEN_MODE\r\n0\r\n",
       "#MAINGAME_EASY\r\nbad.wav\r\nLOOP=1\r\n#MAINGAME_HARD\r\na.wav\r\nLOOP=500\r\n"},
      {"LF", "#SEVOL\n100\n#BGMVOL\n20\n#FULLSCREEN_MODE\n0\n", "#MAINGAME_EASY\nbad.wav\nLOOP=1\n#MAINGAME_HARD\na.wav\nLOOP=500\n"},
      {"mixed, no end on the last line", "\n#SEVOL\n100\r\n\r\n#BGMVOL\r\n20\n#FULLSCREEN_MODE\n0",
       "#MAINGAME_EASY\nbad.wav\r\nLOOP=1\n\n#MAINGAME_HARD\r\na.wav\nLOOP=500"},
      {"CR", "#SEVOL\r100\r#BGMVOL\r20\r#FULLSCREEN_MODE\r0\r",
       "#MAINGAME_EASY\rbad.wav\rLOOP=1\r#MAINGAME_HARD\ra.wav\rLOOP=500\r"},
      {"CR CR LF", "#SEVOL\r\r\n100\r\r\n#BGMVOL\r\r\n20\r\r\n#FULLSCREEN_MODE\r\r\n0\r\r\n",
       "#MAINGAME_EASY\r\r\nbad.wav\r\r\nLOOP=1\r\r\n#MAINGAME_HARD\r\r\na.wav\r\r\nLOOP=500\r\r\n"},
      {"LF CR", "#SEVOL\n\r100\n\r#BGMVOL\n\r20\n\r#FULLSCREEN_MODE\n\r0\n\r",
       "#MAINGAME_EASY\n\rbad.wav\n\rLOOP=1\n\r#MAINGAME_HARD\n\ra.wav\n\rLOOP=500\n\r"},
      {"byte-order mark", "\xEF\xBB\xBF#SEVOL\r\n100\r\n#BGMVOL\r\n20\r\n#FULLSCREEN_MODE\r\n0\r\n",
       "\xEF\xBB\xBF#MAINGAME_HARD\na.wav\nLOOP=500\n"},
  };
  const std::string written =
      "#SEVOL\r\n100\r\n#BGMVOL\r\n20\r\n#FULLSCREEN_MODE\r\n0\r\n#DRAW_TIMESCORE_MAINGAME\r\n1\r\n";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    game.dir.Write("config.ini", c.config);
    ReadConfig();
    const GameConfig& got = g_gameState.config;
    EXPECT_EQ(got.SEVOL, 100);
    EXPECT_EQ(got.BGMVOL, 20);
    EXPECT_EQ(got.FULLSCREEN_MODE, 0);
    EXPECT_EQ(got.DRAW_TIMESCORE_MAINGAME, 1);
    SaveConfig();
    EXPECT_EQ(ReadWholeFile("config.ini"), written);

    Start(c.list);
    EXPECT_EQ(g_bgm.playing, 1);
    EXPECT_EQ(g_bgm.loopPosition, 500);
    EXPECT_EQ(GetSoundTotalTime(g_bgm.soundHandle), 1000);
  }
}

TEST(FormatPath, RefusesWhatWouldBeCut) {
  char path[kPathBytes];
  EXPECT_EQ(FormatPath(path, "%s\\%s", "data\\bgm", "list.txt"), 0);
  EXPECT_STREQ(path, "data\\bgm\\list.txt");
  EXPECT_EQ(FormatPath(path, "%s", std::string(255, 'a').c_str()), 0);
  EXPECT_EQ(FormatPath(path, "%s", std::string(256, 'a').c_str()), -1);
  EXPECT_STREQ(path, "");
}

}  // namespace
