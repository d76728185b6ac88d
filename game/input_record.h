// The frame's input as every part of the game reads it: hold counters that
// tell a press (1), a hold (frames held) and a release (-1) in one number,
// the mouse, the wheel, the keys and the walking direction.
#pragma once
#include <cstdint>

// Key codes of the library's key table.
constexpr int kKeyEscape = 0x01;
constexpr int kKeyW = 0x11, kKeyA = 0x1E, kKeyS = 0x1F, kKeyD = 0x20;
constexpr int kKeyPad8 = 0x48, kKeyPad4 = 0x4B, kKeyPad6 = 0x4D, kKeyPad2 = 0x50;
constexpr int kKeyUp = 0xC8, kKeyLeft = 0xCB, kKeyRight = 0xCD, kKeyDown = 0xD0;

// GetMouseButtonState's masks.
constexpr int kMouseLeft = 1, kMouseRight = 2, kMouseMiddle = 4;

// A counter that has reached this stays there while held.
constexpr int32_t kHoldCounterLimit = 10000;

struct InputState {
  int32_t left, right, middle;  // hold counters of the mouse buttons
  int32_t wheel;                // notches since the last frame, forward positive
  uint8_t keys[256];            // 1 for each key down
  int32_t mouseX, mouseY;       // pixels of the 1024 x 768 screen
  int32_t escape;               // hold counter of Escape
  uint8_t moving;               // the direction keys do not cancel out
  float moveAngle;              // radians of the direction keys; kept while not moving
};

extern InputState g_input;

// The next value of a hold counter with the button or key down or up this frame.
int32_t StepHoldCounter(int32_t counter, bool down);

// Fills g_input for this frame.
void UpdateInput();
// The device part of it: buttons, wheel and keys.
void PollInputDevices();
