#include "game/input_record.h"

#include <cmath>

#include "core/varnok.h"

InputState g_input = {};

namespace {

bool AnyDown(const uint8_t* keys, int a, int b, int c) { return keys[a] == 1 || keys[b] == 1 || keys[c] == 1; }

}  // namespace

int32_t StepHoldCounter(int32_t counter, bool down) {
  if (down) return counter >= kHoldCounterLimit ? counter : counter + 1;
  return counter > 0 ? -1 : 0;
}

void PollInputDevices() {
  int buttons = GetMouseButtonState();
  if (buttons < 0) buttons = 0;
  g_input.left = StepHoldCounter(g_input.left, (buttons & kMouseLeft) != 0);
  g_input.right = StepHoldCounter(g_input.right, (buttons & kMouseRight) != 0);
  g_input.middle = StepHoldCounter(g_input.middle, (buttons & kMouseMiddle) != 0);
  g_input.wheel = GetMouseWheelCount(1);
  GetAllKeyStates(g_input.keys);
}

void UpdateInput() {
  PollInputDevices();
  GetMousePosition(&g_input.mouseX, &g_input.mouseY);
  const uint8_t* keys = g_input.keys;
  int h = (AnyDown(keys, kKeyD, kKeyRight, kKeyPad6) ? 1 : 0) - (AnyDown(keys, kKeyA, kKeyLeft, kKeyPad4) ? 1 : 0);
  int v = (AnyDown(keys, kKeyS, kKeyDown, kKeyPad2) ? 1 : 0) - (AnyDown(keys, kKeyW, kKeyUp, kKeyPad8) ? 1 : 0);
  if (h == 0 && v == 0) {
    g_input.moving = 0;
  } else {
    g_input.moving = 1;
    g_input.moveAngle = static_cast<float>(std::atan2(static_cast<double>(v), static_cast<double>(h)));
  }
  g_input.escape = StepHoldCounter(g_input.escape, keys[kKeyEscape] == 1);
}
