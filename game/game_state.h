// The records every part of the game reads: the settings file's values, the
// round's settings, the watch point, the round's result and the scene, plus
// the two small draw globals.
#pragma once
#include <cstdint>

// Where a thing stands, copied as one unit between characters, goals, dead
// bodies, effects and the round result.
struct PositionRecord {
  float x;
  float y;
  float z;
  float heading;  // radians, y down
  float fifth;    // carried along; characters never read it
};

struct GameConfig {
  int32_t SEVOL;   // sound-effect volume 0..255
  int32_t BGMVOL;  // music volume 0..255
  uint8_t FULLSCREEN_MODE;
  uint8_t DRAW_TIMESCORE_MAINGAME;
};

enum Difficulty : int32_t { kDifficultyEasy = 0, kDifficultyNormal = 1, kDifficultyHard = 2, kDifficultyCarnival = 3 };
enum FieldMode : int32_t { kFieldRectangle = 1, kFieldDisc = 2 };

constexpr int kItemKindCount = 6;

struct GameSettings {
  int32_t difficulty;
  uint8_t recordsOff;
  uint8_t watchMode;
  int32_t characterCount;
  int32_t boxInterval;  // frames
  int32_t boxLimit;
  int32_t itemInterval;  // frames
  int32_t itemLimit;
  int32_t lifeInterval;  // frames per life point
  uint8_t contactAggression;
  uint8_t targetOption;
  int32_t fieldMode;
  uint8_t itemDisabled[kItemKindCount];
  int32_t itemWeights[kItemKindCount];
};

// The point the camera follows in watch mode: free, or stuck to a character.
struct WatchPoint {
  PositionRecord position;
  const PositionRecord* followed;  // a character's position record, or null
};

enum RoundResultCode : int32_t {
  kResultDestroyer = 0,  // the player is the last one alive
  kResultKing = 1,       // the player reached the top level first
  kResultPeace = 2,
  kResultLose = 3,
};

struct RoundResult {
  uint8_t ended;
  int32_t result;
  int32_t framesSinceEnd;
  PositionRecord position;  // the player's last position, or the top-level character's
};

enum Scene : int32_t { kSceneTitle = 0, kSceneRound = 2, kSceneReturnToTitle = 30 };

struct GameState {
  GameConfig config;
  GameSettings settings;
  WatchPoint watchPoint;
  RoundResult roundResult;
  int32_t scene;
};

extern GameState g_gameState;

// The blend mode the game set last (0 none, 1 alpha, 2 add); draws that only
// change the blend parameter pass it again.
extern int32_t CurrentBlendMode;
// Which of the two cursor graphics the loop draws (1 while the right button
// holds the world still).
extern int32_t CursorIndex;

// Stores the mode in CurrentBlendMode, then sets it in the library.
void SetGameBlendMode(int32_t mode, int32_t parameter);

// One row of the difficulty menu. The HARD row also raises the weight of
// item kind 3 (`hardItemWeight`, 0 in the other rows: weight kept).
struct DifficultyRow {
  int32_t difficulty;
  int32_t characterCount;
  int32_t boxInterval;
  int32_t boxLimit;
  int32_t itemInterval;
  int32_t itemLimit;
  int32_t lifeInterval;
  int32_t hardItemWeight;
  const char* musicKey;  // the entry of the music list
};
extern const DifficultyRow kDifficultyRows[4];

// Writes a row into the settings, with watch mode as the toggle stands.
void ApplyDifficultyRow(GameSettings& settings, const DifficultyRow& row, uint8_t watchMode);

// What a return to the title resets; the difficulty's numbers are kept.
void ResetSettings(GameSettings& settings);
