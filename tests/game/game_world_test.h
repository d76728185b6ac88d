// One started game without data for a program's tests to share: each test
// starts from idle input and empty lists, whatever an earlier test of the
// program played, and the game's state is put back afterwards.
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
    EmptyTheWorld();
  }
  void TearDown() override {
    EmptyTheWorld();
    g_gameState = saved;
  }
  static void EmptyTheWorld() {
    ClearCharacters();
    ClearBullets();
    ClearEffects();
    ResetSpawner();
    g_camera.followed = nullptr;
  }

  GameHarness game{HarnessOptions().NoData()};
  GameState saved;
};
