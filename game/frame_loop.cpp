#include "game/frame_loop.h"

#include "core/varnok.h"
#include "game/bgm.h"
#include "game/bullets.h"
#include "game/camera.h"
#include "game/character.h"
#include "game/character_draw.h"
#include "game/character_update.h"
#include "game/clocks.h"
#include "game/config.h"
#include "game/effects.h"
#include "game/field.h"
#include "game/food.h"
#include "game/input_record.h"
#include "game/items.h"
#include "game/player_control.h"
#include "game/resources.h"
#include "game/round_end.h"
#include "game/title_menu.h"

namespace {

constexpr int32_t kScreenWidth = 1024, kScreenHeight = 768;
constexpr int32_t kSoundRange = 768;

void DrawBackground() {
  SetGameBlendMode(1, 255);
  DrawRectangle(0, 0, kScreenWidth, kScreenHeight, PackRgbToScreenColor(16, 16, 16), 1);
}

void RunTitleScene() {
  for (TitleLetter& letter : g_titleLetters) UpdateTitleLetter(letter);
  DrawBackground();
  for (int32_t i = 0; i < kTitleLetterCount; i++) DrawTitleLetter(g_titleLetters[i], i);
  RunDifficultyMenu();
}

}  // namespace

void UpdateRound() {
  GameState& state = g_gameState;
  if (g_input.right <= 0) {
    UpdateFoodField();
    UpdateItems(g_foodField.items);
    TickSpawner(g_spawner);
    UpdateCharacters();
    UpdateBullets();
    UpdateEffects();
    if (g_input.right == -1) CursorIndex = 0;
  } else {
    // The right button holds the world still while a creature is picked.
    PickCharacterUnderCursor();
    if (g_input.right == 1) CursorIndex = 1;
  }
  UpdateCamera();
  TestHover();
  FadeHoverMarks();
  JudgeRoundEnd(state.roundResult);
  TickClocks();
  UpdateWatchCamera(state.watchPoint);
}

void DrawRound() {
  const GameState& state = g_gameState;
  DrawBackground();
  DrawField();
  DrawCharacters();
  DrawBullets();
  DrawFieldDust();
  DrawFoodField();
  DrawItems(g_foodField.items);
  DrawEffects();
  DrawItemMessages();
  DrawAllStatusMarks();
  if (state.settings.recordsOff == 0 && state.config.DRAW_TIMESCORE_MAINGAME) {
    SetGameBlendMode(2, 255);
    DrawTimeScore(RoundClock);
  }
  DrawResultText(state.roundResult);
}

namespace {

void StartRound(GameState& state) {
  CursorIndex = 0;
  state.roundResult.ended = 0;
  state.roundResult.result = 0;
  state.roundResult.framesSinceEnd = 0;
  ClearCharacters();
  CreateRoundCharacters();
  ClearBullets();
  ResetSpawner();
  SetupFieldDust();
  ClearEffects();
  RoundClock = {};
  if (state.settings.watchMode) SetFieldCentre(state.watchPoint);
  state.scene = kSceneRound;
}

void EnterTitle(GameState& state) {
  StopBgm();
  CursorIndex = 0;
  ResetTitleLetters(g_titleLetters);
  ForgetButtonPresses();
  ResetSettings(state.settings);
  state.scene = kSceneTitle;
}

void DrawCursor() {
  SetGameBlendMode(1, 255);
  DrawGraphRotated(g_input.mouseX, g_input.mouseY, 1.0, 0.0, ui_mouse_cursor[CursorIndex], 1, 0);
}

}  // namespace

int GameInit() {
  GameState& state = g_gameState;
  // Built before anything runs, as the program's static records are.
  ConstructFoodField();
  ReadConfig();
  SetWindowTitle("Tamblor  ver0.7");
  EnableLogFile(0);
  if (SetScreenMode(kScreenWidth, kScreenHeight, 32, 60) != 0) return -1;
  if (state.config.FULLSCREEN_MODE == 0) ChangeWindowMode(1);
  if (LibraryInit() == -1) return -1;
  SetRunWhenInactive(1);
  SetTextureFilterMode(1);
  SelectDrawScreen(-2);
  ShowMouseCursor(0);
  // Without its pictures the title shows no buttons: say why.
  if (LoadGraphics() == 0) ReportMissingData();
  LoadSharedSounds();
  g_soundSet.volume = &state.config.SEVOL;
  g_soundSet.range = kSoundRange;
  g_soundSet.rangeSquared = kSoundRange * kSoundRange;
  g_bgm.volume = &state.config.BGMVOL;
  EnterTitle(state);
  return 0;
}

void SwitchScene(GameState& state, int32_t scene) {
  switch (scene) {
    case kSceneTitle:
      EnterTitle(state);
      break;
    case kSceneRound:
      StartRound(state);
      break;
    case kSceneReturnToTitle:
      StopBgm();
      state.scene = kSceneReturnToTitle;
      break;
    default:
      state.scene = scene;
      break;
  }
}

bool RunFrame() {
  GameState& state = g_gameState;
  PresentScreen();
  UpdateInput();
  if (g_input.escape >= 1) return false;
  if (ProcessWindowMessages() != 0) return false;
  switch (state.scene) {
    case kSceneTitle:
      RunTitleScene();
      break;
    case kSceneRound:
      // A round that ends in this frame still draws it as a round.
      UpdateRound();
      DrawRound();
      break;
    case kSceneReturnToTitle:
      EnterTitle(state);
      break;
  }
  DrawCursor();
  return true;
}

void MainLoop() {
  while (RunFrame()) {
  }
}

int RunGame() {
  if (GameInit() == -1) return -1;
  MainLoop();
  SaveConfig();
  LibraryEnd();
  return 0;
}
