// The title screen frame by frame: the buttons' hit boxes, the press, hold
// and release that make a click, the row a click writes, the watch toggle,
// and a letter falling, resting and lighting up.
#include <gtest/gtest.h>

#include <climits>

#include "game/frame_loop.h"
#include "game/title_menu.h"
#include "tests/game/game_harness.h"

namespace {

enum { kEasy, kNormal, kHard, kCarnival };

FrameInput At(int x, int y, int buttons = 0) {
  FrameInput in;
  in.mouseX = x;
  in.mouseY = y;
  in.buttons = buttons;
  return in;
}

class Title : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(game.initResult, 0);
    g_watchToggle.on = 0;
  }
  // Up, down, up again at the point: a click where both fall on a button.
  void Click(int x, int y) {
    for (int buttons : {0, 1, 0}) ASSERT_TRUE(game.Frame(At(x, y, buttons)));
  }
  GameHarness game{HarnessOptions().NoData()};
};

TEST_F(Title, HitBoxesIncludeTheirEdges) {
  // EASY is centred on (726, 490), 224 x 32: 614..838 across, 474..506 down.
  const struct {
    int x, y, button;  // -1: over none
  } cases[] = {{614, 490, kEasy}, {838, 490, kEasy}, {613, 490, -1}, {839, 490, -1}, {726, 474, kEasy},
               {726, 506, kEasy}, {726, 507, -1},   {700, 510, -1}, {582, 514, kNormal}, {630, 610, kCarnival},
               {INT_MIN, INT_MAX, -1}};
  for (const auto& c : cases) {
    ASSERT_TRUE(game.Frame(At(c.x, c.y)));
    for (int b = 0; b < 4; b++)
      EXPECT_EQ(g_difficultyButtons[b].state, b == c.button ? kButtonHover : kButtonIdle) << c.x << "," << c.y;
  }
}

TEST_F(Title, AClickNeedsThePressAndTheReleaseOnTheButton) {
  const int kOn = 662, kOff = 300;  // HARD's centre column, and one beside every button
  const struct {
    int x, buttons, state;
  } frames[] = {
      // Pressed beside it, moved over, released over it: no click.
      {kOff, 1, kButtonIdle}, {kOn, 1, kButtonHeldOver}, {kOn, 0, kButtonIdle},
      // Pressed on it, dragged off and back, released over it: a click.
      {kOn, 0, kButtonHover}, {kOn, 1, kButtonPressed}, {kOn, 1, kButtonHeld}, {kOff, 1, kButtonHeldOutside},
      {kOn, 1, kButtonHeld}, {kOn, 0, kButtonClicked}};
  for (const auto& f : frames) {
    EXPECT_EQ(g_gameState.scene, kSceneTitle);
    ASSERT_TRUE(game.Frame(At(f.x, 570, f.buttons)));
    EXPECT_EQ(g_difficultyButtons[kHard].state, f.state) << &f - frames;
  }
  // The click wrote HARD's row and started the round in the same frame.
  const GameSettings& s = g_gameState.settings;
  EXPECT_EQ(g_gameState.scene, kSceneRound);
  EXPECT_EQ(s.difficulty, kDifficultyHard);
  EXPECT_EQ(s.characterCount, 20);
  EXPECT_EQ(s.boxInterval, 180);
  EXPECT_EQ(s.lifeInterval, 1200);
  EXPECT_EQ(s.itemWeights[3], 100);
  EXPECT_EQ(s.watchMode, 0);

  // Back on the title with the button still held over HARD: the press
  // belonged to the last visit, so its release clicks nothing.
  ASSERT_TRUE(game.Frame(At(kOn, 570, 1)));
  SwitchScene(g_gameState, kSceneReturnToTitle);
  for (int buttons : {1, 1, 0}) ASSERT_TRUE(game.Frame(At(kOn, 570, buttons)));
  EXPECT_EQ(g_difficultyButtons[kHard].state, kButtonIdle);
  EXPECT_EQ(g_gameState.scene, kSceneTitle);
}

TEST_F(Title, TheWatchToggleLastsAcrossRounds) {
  Click(40, 738);  // the toggle's corner: 16 x 16 centred on (32, 730)
  EXPECT_EQ(g_watchToggle.on, 1);
  Click(726, 490);
  EXPECT_EQ(g_gameState.settings.difficulty, kDifficultyEasy);
  EXPECT_EQ(g_gameState.settings.watchMode, 1);
  SwitchScene(g_gameState, kSceneReturnToTitle);
  ASSERT_TRUE(game.Frame(At(0, 0)));
  EXPECT_EQ(g_gameState.settings.watchMode, 0);
  Click(41, 738);  // one pixel past it: no flip
  EXPECT_EQ(g_watchToggle.on, 1);
}

TEST_F(Title, ALetterFallsRestsDriftsAndLightsUpNearTheMouse) {
  const TitleLetter& first = g_titleLetters[0];
  EXPECT_EQ(g_titleLetters[6].x, 800.0f);
  EXPECT_EQ(g_titleLetters[6].y, -50000.0f);
  // A tenth of the way home a frame: -300 + 556 * 0.1 = -244.4. 556 * 0.9^n
  // drops below 1 at frame 60 (0.9991); 181 frames of rest, then a drift.
  ASSERT_TRUE(game.Frame(At(0, 0)));
  EXPECT_FLOAT_EQ(first.y, -244.4f);
  game.Frames(58, At(0, 0));
  EXPECT_EQ(first.state, kLetterFalling);
  ASSERT_TRUE(game.Frame(At(0, 0)));
  EXPECT_EQ(first.state, kLetterResting);
  {
    ScriptedRandom random({314159});  // the drift's angle: 3.14159, to the left
    game.Frames(181, At(0, 0));
    EXPECT_EQ(first.state, kLetterDrifting);
    EXPECT_FLOAT_EQ(first.driftAngle, 3.14159f);
    EXPECT_EQ(random.maxima, std::vector<int>{628318});
  }
  // It glows by 0.001 a frame while it drifts 0.02 a frame from 224 to
  // 223.98 and on (223 truncated); within 90 pixels the mouse lights it.
  ASSERT_TRUE(game.Frame(At(0, 0)));
  EXPECT_FLOAT_EQ(first.glow, 0.001f);
  ASSERT_TRUE(game.Frame(At(223 + 90, 255)));
  EXPECT_EQ(first.state, kLetterDrifting);
  ASSERT_TRUE(game.Frame(At(223 + 89, 255, 7)));
  EXPECT_EQ(first.state, kLetterReturning);
  EXPECT_EQ(first.glow, 1.0f);
}

}  // namespace
