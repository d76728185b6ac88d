// The frame's input record, read through the library from scripted devices.
#include <gtest/gtest.h>

#include "game/input_record.h"
#include "tests/game/game_harness.h"

namespace {

TEST(InputRecord, HoldCountersOverPressHoldAndRelease) {
  GameHarness game(HarnessOptions().NoData());
  ASSERT_EQ(game.initResult, 0);
  // Buttons held per frame, and the counters they must give.
  const struct {
    int buttons;
    int left, right, middle;
  } frames[] = {
      {kMouseLeft, 1, 0, 0},
      {kMouseLeft | kMouseRight, 2, 1, 0},
      {kMouseLeft | kMouseMiddle, 3, -1, 1},
      {0, -1, 0, -1},
      {0, 0, 0, 0},
      {kMouseLeft, 1, 0, 0},
      {0, -1, 0, 0},
      {kMouseLeft, 0, 0, 0},  // pressed again right after the release frame
      {kMouseLeft, 1, 0, 0},
  };
  for (const auto& f : frames) {
    FrameInput in;
    in.buttons = f.buttons;
    ASSERT_TRUE(game.Frame(in));
    EXPECT_EQ(g_input.left, f.left);
    EXPECT_EQ(g_input.right, f.right);
    EXPECT_EQ(g_input.middle, f.middle);
  }
  EXPECT_EQ(StepHoldCounter(9999, true), kHoldCounterLimit);
  EXPECT_EQ(StepHoldCounter(kHoldCounterLimit, true), kHoldCounterLimit);
  EXPECT_EQ(StepHoldCounter(kHoldCounterLimit, false), -1);
}

TEST(InputRecord, DirectionKeysMouseAndWheel) {
  GameHarness game(HarnessOptions().NoData());
  ASSERT_EQ(game.initResult, 0);
  const float kKept = -99.0f;
  g_input.moveAngle = kKept;
  const struct {
    std::vector<int> keys;
    int moving;
    float angle;
  } cases[] = {
      {{kKeyRight, kKeyLeft}, 0, kKept},  // opposite keys cancel; the angle stays
      {{kKeyD}, 1, 0.0f},
      {{kKeyS, kKeyDown, kKeyPad2}, 1, 1.5707964f},  // one direction counts once
      {{kKeyA}, 1, 3.1415927f},
      {{kKeyW, kKeyRight}, 1, -0.78539819f},
      {{kKeyPad2, kKeyPad4}, 1, 2.3561945f},
      {{kKeyPad8}, 1, -1.5707964f},
      {{}, 0, -1.5707964f},
      {{kKeyPad6, kKeyUp, kKeyDown}, 1, 0.0f},
  };
  int frame = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(frame);
    FrameInput in;
    in.keys = c.keys;
    in.mouseX = 100 + frame;
    in.mouseY = 700 - frame;
    in.wheel = frame % 3 - 1;
    ASSERT_TRUE(game.Frame(in));
    EXPECT_EQ(g_input.moving, c.moving);
    EXPECT_EQ(g_input.moveAngle, c.angle);
    EXPECT_EQ(g_input.mouseX, 100 + frame);
    EXPECT_EQ(g_input.mouseY, 700 - frame);
    EXPECT_EQ(g_input.wheel, frame % 3 - 1);
    frame++;
  }
  // Escape counts like a button, and its press ends the loop at once.
  FrameInput escape;
  escape.keys = {kKeyEscape};
  EXPECT_FALSE(game.Frame(escape));
  EXPECT_EQ(g_input.escape, 1);
}

}  // namespace
