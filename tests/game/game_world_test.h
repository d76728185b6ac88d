// One started game without data for a program's tests to share: each test
// starts from idle input, and the game's state and every list the test
// filled are put back afterwards, so that the next test sees the program's
// start again.
#pragma once
#include <gtest/gtest.h>

#include "game/bullets.h"
#include "game/camera.h"
#include "game/character.h"
#include "game/effects.h"
#include "game/food.h"
#include "game/game_state.h"
#include "game/input_record.h"
#include "tests/game/game_harness.h"

class GameWorldTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(game.initResult, 0);
    saved = g_gameState;
    g_input = {};
  }
  void TearDown() override {
    ClearCharacters();
    ClearBullets();
    ClearEffects();
    ResetSpawner();
    g_camera.followed = nullptr;
    g_gameState = saved;
  }

  GameHarness game{HarnessOptions().NoData()};
  GameState saved;
};
