// The title: seven logo letters that fall into place, rest, drift and glow,
// and the difficulty menu with its four buttons and the watch toggle.
#pragma once
#include <cstdint>

enum TitleLetterState : int32_t { kLetterFalling = 0, kLetterResting = 3, kLetterDrifting = 5, kLetterReturning = 8 };

struct TitleLetter {
  float x, y;          // centre of the letter's graphic
  float homeX, homeY;  // where it falls to and returns to
  float driftAngle;    // radians
  float driftSpeed;    // units per frame
  int32_t state;
  int32_t timer;  // frames spent resting
  float glow;     // 0 .. 1
};

constexpr int kTitleLetterCount = 7;
extern TitleLetter g_titleLetters[kTitleLetterCount];

enum ButtonState : int32_t {
  kButtonIdle = 0,
  kButtonPressed = 1,       // pressed this frame
  kButtonClicked = 2,
  kButtonHeld = 3,          // held after a press on it
  kButtonHover = 4,
  kButtonHeldOver = 5,      // held over it after a press elsewhere
  kButtonHeldOutside = 6,   // held outside after a press on it
};

struct MenuButton {
  uint8_t centred;  // (x, y) is the centre of the hit box, else its top-left corner
  int32_t x, y;
  int32_t w, h;
  uint8_t pressedHere;  // the left press began on this button
  uint8_t inside;       // the mouse is over it this frame
  int32_t state;
};

struct WatchToggle {
  MenuButton button;
  uint8_t on;
  uint8_t disabled;
};

extern MenuButton g_difficultyButtons[4];
extern WatchToggle g_watchToggle;

void ResetTitleLetters(TitleLetter letters[kTitleLetterCount]);
void UpdateTitleLetter(TitleLetter& letter);
void DrawTitleLetter(const TitleLetter& letter, int32_t index);
// One frame of the menu; a click starts a round.
void RunDifficultyMenu();
// The button's new state.
int32_t UpdateButton(MenuButton& button);
// On every entry to the title: a press that began on a button before the
// round must not click it when it is released on the next visit.
void ForgetButtonPresses();
// One frame of the watch toggle; whether it is on.
uint8_t UpdateToggleSwitch();
