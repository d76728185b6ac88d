// The program around the frames: start-up and end, the loop's order, the
// scenes, the cursor, digit drawing, and a seeded run that replays alike.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>

#include "core/varnok.h"
#include "game/digits.h"
#include "game/frame_loop.h"
#include "game/resources.h"
#include "tests/game/game_harness.h"
#include "tests/support/read_file.h"

namespace {

// A solid graphic whose red channel tells it apart.
int32_t SolidGraph(int red, int size) {
  const int32_t graph = MakeEmptyGraph(size, size);
  FillGraphWithColor(graph, red, 0x80, 0x40, 255);
  return graph;
}
uint32_t SolidColour(int red) { return static_cast<uint32_t>(red) << 16 | 0x8040; }

TEST(GameStart, EscapeEndsTheProgramWritingTheSettings) {
  GameHarness game(HarnessOptions().Config("#SEVOL\r\n300\r\n#FULLSCREEN_MODE\r\n0\r\n").NoStart());
  FrameInput escape;
  escape.keys = {kKeyEscape};
  game.Feed(escape);
  EXPECT_EQ(RunGame(), 0);
  EXPECT_EQ(game.window.title, "Tamblor  ver0.7");
  EXPECT_TRUE(game.window.windowed);
  EXPECT_FALSE(game.window.cursorVisible);
  EXPECT_FALSE(game.window.exists);  // the library has ended
  EXPECT_EQ(ReadWholeFile("config.ini"),
            "#SEVOL\r\n255\r\n#BGMVOL\r\n255\r\n#FULLSCREEN_MODE\r\n0\r\n#DRAW_TIMESCORE_MAINGAME\r\n1\r\n");
}

TEST(GameStart, FailedStartWritesNothing) {
  GameHarness game(HarnessOptions().NoStart());
  game.window.failCreate = true;
  EXPECT_EQ(RunGame(), -1);
  EXPECT_FALSE(std::filesystem::exists("config.ini"));
}

TEST(FrameLoop, ScenesAndTheCursor) {
  GameHarness game(HarnessOptions().NoData());
  ASSERT_EQ(game.initResult, 0);
  // Program start, then the title's reset: field mode 2, the rest as begun.
  const GameSettings& settings = g_gameState.settings;
  EXPECT_EQ(g_gameState.scene, kSceneTitle);
  EXPECT_EQ(settings.fieldMode, kFieldDisc);
  EXPECT_EQ(settings.difficulty, kDifficultyNormal);
  EXPECT_EQ(settings.characterCount, 10);
  EXPECT_EQ(settings.boxInterval, 300);
  EXPECT_EQ(settings.lifeInterval, 600);

  ui_mouse_cursor[0] = SolidGraph(0xA0, 8);
  ui_mouse_cursor[1] = SolidGraph(0xB0, 8);
  FrameInput in;
  in.mouseX = 300;
  in.mouseY = 200;
  ASSERT_TRUE(game.Frame(in));
  EXPECT_EQ(game.BackPixel(300, 200), SolidColour(0xA0));  // the cursor over the background
  EXPECT_EQ(game.BackPixel(310, 200), 0x101010u);

  // A round: the cursor changes on the right button's press frame and back
  // on its release frame.
  ApplyDifficultyRow(g_gameState.settings, kDifficultyRows[kDifficultyHard], 1);
  g_gameState.roundResult = {1, kResultLose, 479, {}};
  SwitchScene(g_gameState, kSceneRound);
  EXPECT_EQ(g_gameState.roundResult.ended, 0);
  EXPECT_EQ(g_gameState.roundResult.framesSinceEnd, 0);
  const struct {
    int buttons;
    uint32_t colour;
  } round[] = {{0, 0xA0}, {kMouseRight, 0xB0}, {kMouseRight, 0xB0}, {0, 0xA0}, {0, 0xA0}};
  for (const auto& f : round) {
    in.buttons = f.buttons;
    ASSERT_TRUE(game.Frame(in));
    EXPECT_EQ(game.BackPixel(300, 200), SolidColour(f.colour));
  }

  // Escape quits before the scene's work: the press of the right button in
  // that frame is read but does not switch the cursor.
  in.buttons = kMouseRight;
  in.keys = {kKeyEscape};
  EXPECT_FALSE(game.Frame(in));
  EXPECT_EQ(g_input.right, 1);
  EXPECT_EQ(CursorIndex, 0);
  in.keys.clear();
  in.buttons = 0;

  // The return to the title lasts one frame and resets what the title resets.
  EXPECT_EQ(settings.itemWeights[3], 100);
  SwitchScene(g_gameState, kSceneReturnToTitle);
  EXPECT_EQ(g_gameState.scene, kSceneReturnToTitle);
  ASSERT_TRUE(game.Frame(in));
  EXPECT_EQ(g_gameState.scene, kSceneTitle);
  EXPECT_EQ(settings.watchMode, 0);
  EXPECT_EQ(settings.itemWeights[3], 50);
  EXPECT_EQ(settings.characterCount, 20);  // the last difficulty's numbers stay
  EXPECT_EQ(settings.boxInterval, 180);

  // An unknown scene does no work: only the cursor is drawn.
  SetBlendMode(0, 255);
  DrawRectangle(0, 0, 1024, 768, PackRgbToScreenColor(0, 0, 0), 1);
  SwitchScene(g_gameState, 7);
  ASSERT_TRUE(game.Frame(in));
  EXPECT_EQ(game.BackPixel(0, 0), 0u);
  EXPECT_EQ(game.BackPixel(300, 200), SolidColour(0xA0));
}

TEST(Digits, PlacesEachDigitSixteenPixelsApart) {
  GameHarness game(HarnessOptions().NoData());
  ASSERT_EQ(game.initResult, 0);
  int32_t cells[10];
  for (int k = 0; k < 10; k++) cells[k] = SolidGraph(0x10 + 0x10 * k, 4);
  const struct {
    const char* name;
    std::function<void()> draw;
    std::vector<std::pair<int, int>> digits;  // x and digit, all at y 50
  } cases[] = {
      {"1234", [&] { DrawNumber(1234, 100, 50, cells); }, {{52, 1}, {68, 2}, {84, 3}, {100, 4}}},
      {"0", [&] { DrawNumber(0, 100, 50, cells); }, {{100, 0}}},
      {"-5", [&] { DrawNumber(-5, 100, 50, cells); }, {{100, 0}}},
      {"two of 7", [&] { DrawDigits(7, cells, 100, 50); }, {{84, 0}, {100, 7}}},
      {"two of 59", [&] { DrawDigits(59, cells, 100, 50); }, {{84, 5}, {100, 9}}},
      {"two of 123", [&] { DrawDigits(123, cells, 100, 50); }, {{84, 0}, {100, 0}}},
      {"two of -1", [&] { DrawDigits(-1, cells, 100, 50); }, {{84, 0}, {100, 0}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetBlendMode(0, 255);
    DrawRectangle(0, 0, 200, 100, PackRgbToScreenColor(0, 0, 0), 1);
    c.draw();
    int lit = 0;
    for (int y = 40; y < 60; y++)
      for (int x = 30; x < 120; x++) lit += game.BackPixel(x, y) != 0;
    EXPECT_EQ(lit, 16 * static_cast<int>(c.digits.size()));
    for (auto [x, digit] : c.digits) {
      EXPECT_EQ(game.BackPixel(x, 50), SolidColour(0x10 + 0x10 * digit)) << x;
      EXPECT_EQ(game.BackPixel(x + 3, 53), SolidColour(0x10 + 0x10 * digit)) << x;
    }
  }
}

// 600 frames of title and round with the mouse, buttons, keys and wheel busy.
void Scenario(std::vector<uint64_t>& hashes) {
  GameHarness game(HarnessOptions().Seed(20240601));
  for (int frame = 0; frame < 600; frame++) {
    if (frame == 150) {
      g_gameState.settings.watchMode = 1;
      SwitchScene(g_gameState, kSceneRound);
    }
    if (frame == 450) SwitchScene(g_gameState, kSceneReturnToTitle);
    FrameInput in;
    in.mouseX = (frame * 37) % 1024;
    in.mouseY = (frame * 53) % 768;
    in.buttons = (frame / 7) % 8;
    in.wheel = frame % 5 == 0 ? 1 : 0;
    if (frame % 3 == 0) in.keys = {kKeyW, kKeyD};
    if (!game.Frame(in)) break;
    hashes.push_back(GameStateHash() ^ game.FrameHash());
  }
}

TEST(FrameLoop, SeededRunReplaysFrameForFrame) {
  const std::vector<uint64_t> first = RunInFreshProcess(Scenario);
  const std::vector<uint64_t> second = RunInFreshProcess(Scenario);
  ASSERT_EQ(first.size(), 600u);
  EXPECT_EQ(first, second);
  // The hash follows the game: most frames differ from the one before.
  EXPECT_GT(std::set<uint64_t>(first.begin(), first.end()).size(), 500u);
}

}  // namespace
