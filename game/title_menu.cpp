#include "game/title_menu.h"

TitleLetter g_titleLetters[kTitleLetterCount] = {};
MenuButton g_difficultyButtons[4] = {};
WatchToggle g_watchToggle = {};

void ResetTitleLetters(TitleLetter letters[kTitleLetterCount]) {}

void UpdateTitleLetter(TitleLetter& letter) {}

void DrawTitleLetter(const TitleLetter& letter, int32_t index) {}

void RunDifficultyMenu() {}

int32_t UpdateButton(MenuButton& button) { return button.state; }

uint8_t UpdateToggleSwitch() { return g_watchToggle.on; }
