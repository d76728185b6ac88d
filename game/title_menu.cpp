#include "game/title_menu.h"

#include <cmath>

#include "core/varnok.h"
#include "game/bgm.h"
#include "game/frame_loop.h"
#include "game/input_record.h"
#include "game/maths.h"
#include "game/resources.h"

TitleLetter g_titleLetters[kTitleLetterCount] = {};
MenuButton g_difficultyButtons[4] = {};
WatchToggle g_watchToggle = {};

namespace {

// Far above the screen, each higher than the last, so that the letters
// arrive one after another.
constexpr float kLetterStartY[kTitleLetterCount] = {-300, -3200, -6000, -8000, -13000, -24000, -50000};
constexpr float kLetterHomeY = 256.0f;
constexpr int32_t kRestFrames = 180;
// A mouse this close lights a drifting letter at once.
constexpr int32_t kLightRadius = 90;

constexpr int32_t kButtonCentres[4][2] = {{726, 490}, {694, 530}, {662, 570}, {630, 610}};
constexpr int32_t kButtonWidth = 224, kButtonHeight = 32;

bool g_toggleSetUp = false;
bool g_buttonsSetUp = false;

MenuButton CentredButton(int32_t x, int32_t y, int32_t w, int32_t h) { return {1, x, y, w, h, 0, 0, kButtonIdle}; }

// The highlight flickers: 128..256, which the library holds at 255.
int32_t FlickerParameter() { return 128 + GetRandomValue(128); }

void DrawDifficultyButton(const MenuButton& button, int32_t index, int32_t state) {
  SetBlendMode(CurrentBlendMode, 255);
  DrawGraphRotated(button.x, button.y, 1.0, 0.0, wideButton[0], 1, 0);
  if (state == kButtonHover) {
    SetBlendMode(CurrentBlendMode, FlickerParameter());
    DrawGraphRotated(button.x, button.y, 1.0, 0.0, wideButton[1], 1, 0);
    SetBlendMode(CurrentBlendMode, 255);
  }
  DrawGraphRotated(button.x, button.y, 1.0, 0.0, title_difficultyButtonName[index], 1, 0);
}

void StartRoundOf(const DifficultyRow& row) {
  ApplyDifficultyRow(g_gameState.settings, row, g_watchToggle.on);
  SwitchScene(g_gameState, kSceneRound);
  StartBgm(g_bgm, row.musicKey);
  if (g_bgm.playing) {
    SetSoundVolume(*g_bgm.volume, g_bgm.soundHandle);
    PlaySoundHandle(g_bgm.soundHandle, 3, 1);
  }
}

}  // namespace

void ResetTitleLetters(TitleLetter letters[kTitleLetterCount]) {
  for (int32_t i = 0; i < kTitleLetterCount; i++) {
    const float x = 224.0f + 96.0f * i;
    letters[i] = {x, kLetterStartY[i], x, kLetterHomeY, 0.0f, 0.0f, kLetterFalling, 0, 0.0f};
  }
}

void UpdateTitleLetter(TitleLetter& letter) {
  switch (letter.state) {
    case kLetterFalling:
      letter.x += (letter.homeX - letter.x) * 0.1f;
      letter.y += (letter.homeY - letter.y) * 0.1f;
      if (letter.homeY - letter.y < 1.0f) {
        letter.state = kLetterResting;
        letter.timer = 0;
      }
      break;
    case kLetterResting:
      if (++letter.timer > kRestFrames) {
        letter.homeX = letter.x;
        letter.homeY = letter.y;
        letter.state = kLetterDrifting;
        letter.driftAngle = RandomFloat(kFullTurn);
        letter.driftSpeed = 0.02f;
      }
      break;
    case kLetterDrifting:
      letter.x += std::cos(letter.driftAngle) * letter.driftSpeed;
      letter.y += std::sin(letter.driftAngle) * letter.driftSpeed;
      letter.glow += letter.driftSpeed * 0.05f;
      if (letter.glow >= 1.0f) {
        letter.glow = 1.0f;
        letter.state = kLetterReturning;
      } else if (InCircle(TruncateToInt(letter.x), TruncateToInt(letter.y), kLightRadius, g_input.mouseX,
                          g_input.mouseY)) {
        letter.glow = 1.0f;
        letter.state = kLetterReturning;
      }
      break;
    case kLetterReturning:
      letter.x += (letter.homeX - letter.x) * 0.02f;
      letter.y += (letter.homeY - letter.y) * 0.02f;
      letter.glow -= letter.glow * 0.02f;
      if (letter.glow <= 0.002f) {
        letter.state = kLetterResting;
        letter.timer = 0;
        letter.glow = 0.0f;
      }
      break;
  }
}

void DrawTitleLetter(const TitleLetter& letter, int32_t index) {
  if (index < 0 || index >= kTitleLetterCount) return;
  const float glow = letter.glow;
  SetGameBlendMode(2, 255 - TruncateToInt(glow * 255.0f));
  DrawGraphRotatedFloat(letter.x, letter.y, 1.0, 0.0, titleLogo_Tamblor[index], 1, 0);
  SetGameBlendMode(2, TruncateToInt(glow * 255.0f));
  DrawGraphRotatedFloat(letter.x, letter.y, 1.0, 0.0, titleLogo_Tamblor[index + kTitleLetterCount], 1, 0);
  SetGameBlendMode(2, TruncateToInt(glow * 32.0f + 8.0f));
  DrawGraphRotatedFloat(letter.x, letter.y, glow + 8.0, 0.0, titleLogo_light[0], 1, 0);
}

void RunDifficultyMenu() {
  if (!g_toggleSetUp) {
    g_watchToggle = {CentredButton(32, 730, 16, 16), 0, 0};
    g_toggleSetUp = true;
  }
  UpdateToggleSwitch();
  SetGameBlendMode(1, 255);
  DrawStringWithDefaultFont(512, 448, "Select Game Difficulty", PackRgbToScreenColor(255, 255, 255), 0);
  if (!g_buttonsSetUp) {
    for (int32_t i = 0; i < 4; i++)
      g_difficultyButtons[i] = CentredButton(kButtonCentres[i][0], kButtonCentres[i][1], kButtonWidth, kButtonHeight);
    g_buttonsSetUp = true;
  }
  for (int32_t i = 0; i < 4; i++) {
    MenuButton& button = g_difficultyButtons[i];
    DrawDifficultyButton(button, i, UpdateButton(button));
    if (button.state == kButtonClicked) {
      // The round starts in this frame; the buttons below it wait.
      StartRoundOf(kDifficultyRows[i]);
      return;
    }
  }
}

void ForgetButtonPresses() {
  for (MenuButton& button : g_difficultyButtons) button.pressedHere = 0;
  g_watchToggle.button.pressedHere = 0;
}

int32_t UpdateButton(MenuButton& button) {
  const int32_t mx = g_input.mouseX, my = g_input.mouseY;
  const bool over = button.centred ? PointInCentredRect(button.x, button.y, button.w, button.h, mx, my)
                                   : PointInRect(button.x, button.y, button.w, button.h, mx, my);
  const int32_t c = g_input.left;
  button.inside = over ? 1 : 0;
  if (c == 0) {
    button.pressedHere = 0;
    button.state = over ? kButtonHover : kButtonIdle;
  } else if (!over) {
    button.state = button.pressedHere ? kButtonHeldOutside : kButtonIdle;
  } else if (c == 1) {
    button.pressedHere = 1;
    button.state = kButtonPressed;
  } else if (c > 1) {
    button.state = button.pressedHere ? kButtonHeld : kButtonHeldOver;
  } else {
    button.state = button.pressedHere ? kButtonClicked : kButtonIdle;
  }
  return button.state;
}

uint8_t UpdateToggleSwitch() {
  WatchToggle& toggle = g_watchToggle;
  const MenuButton& button = toggle.button;
  UpdateButton(toggle.button);
  if (!toggle.disabled) {
    if (button.state == kButtonClicked) toggle.on = !toggle.on;
    SetGameBlendMode(2, 255);
    DrawGraphRotated(button.x, button.state == kButtonHeld ? button.y + 1 : button.y, 1.0, 0.0, ui_toggle[0], 1, 0);
    if (button.inside) {
      SetBlendMode(CurrentBlendMode, FlickerParameter());
      DrawGraphRotated(button.x, button.y, 1.0, 0.0, ui_toggle[2], 1, 0);
    }
    if (toggle.on) {
      SetGameBlendMode(1, 255);
      DrawGraphRotated(button.x, button.y, 1.0, 0.0, ui_toggle[1], 1, 0);
    }
  } else {
    SetGameBlendMode(1, 128);
    DrawGraphRotated(button.x, button.y, 1.0, 0.0, ui_toggle[0], 1, 0);
    if (toggle.on) DrawGraphRotated(button.x, button.y, 1.0, 0.0, ui_toggle[1], 1, 0);
  }
  return toggle.on;
}
