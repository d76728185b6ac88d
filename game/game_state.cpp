#include "game/game_state.h"

#include "core/varnok.h"

GameState g_gameState = {
    .config = {},
    .settings =
        {
            .difficulty = kDifficultyNormal,
            .recordsOff = 0,
            .watchMode = 0,
            .characterCount = 10,
            .boxInterval = 300,
            .boxLimit = 16,
            .itemInterval = 900,
            .itemLimit = 16,
            .lifeInterval = 600,
            .contactAggression = 0,
            .targetOption = 0,
            .fieldMode = 0,
            .itemDisabled = {},
            .itemWeights = {50, 50, 50, 50, 50, 50},
        },
    .watchPoint = {},
    .roundResult = {},
    .scene = kSceneTitle,
};

int32_t CurrentBlendMode = 0;
int32_t CursorIndex = 0;

void SetGameBlendMode(int32_t mode, int32_t parameter) {
  CurrentBlendMode = mode;
  SetBlendMode(mode, parameter);
}

const DifficultyRow kDifficultyRows[4] = {
    {kDifficultyEasy, 6, 360, 16, 900, 16, 300, 0, "#MAINGAME_EASY"},
    {kDifficultyNormal, 10, 300, 16, 900, 16, 600, 0, "#MAINGAME_NORMAL"},
    {kDifficultyHard, 20, 180, 16, 900, 16, 1200, 100, "#MAINGAME_HARD"},
    {kDifficultyCarnival, 32, 120, 48, 600, 16, 180, 0, "#MAINGAME_CARNIVAL"},
};

void ApplyDifficultyRow(GameSettings& settings, const DifficultyRow& row, uint8_t watchMode) {
  settings.difficulty = row.difficulty;
  settings.characterCount = row.characterCount;
  settings.boxInterval = row.boxInterval;
  settings.boxLimit = row.boxLimit;
  settings.itemInterval = row.itemInterval;
  settings.itemLimit = row.itemLimit;
  settings.lifeInterval = row.lifeInterval;
  if (row.hardItemWeight != 0) settings.itemWeights[3] = row.hardItemWeight;
  settings.watchMode = watchMode;
}

void ResetSettings(GameSettings& settings) {
  settings.fieldMode = kFieldDisc;
  settings.recordsOff = 0;
  settings.watchMode = 0;
  settings.contactAggression = 0;
  settings.targetOption = 0;
  for (int k = 0; k < kItemKindCount; k++) {
    settings.itemDisabled[k] = 0;
    settings.itemWeights[k] = 50;
  }
}
