// Key state and mouse buttons.
#include <cstring>

#include "input/input_host.h"
#include "input/input_system.h"

// Virtual key to key code, Japanese layout. Return is listed twice so that
// it sets both Enter codes.
const VirtualKeyToKeyCode kVirtualKeyToKeyCodeTable[99] = {
    {0x41, 0x1E}, {0x42, 0x30}, {0x43, 0x2E}, {0x44, 0x20}, {0x45, 0x12}, {0x46, 0x21}, {0x47, 0x22},
    {0x48, 0x23}, {0x49, 0x17}, {0x4A, 0x24}, {0x4B, 0x25}, {0x4C, 0x26}, {0x4D, 0x32}, {0x4E, 0x31},
    {0x4F, 0x18}, {0x50, 0x19}, {0x51, 0x10}, {0x52, 0x13}, {0x53, 0x1F}, {0x54, 0x14}, {0x55, 0x16},
    {0x56, 0x2F}, {0x57, 0x11}, {0x58, 0x2D}, {0x59, 0x15}, {0x5A, 0x2C}, {0x30, 0x0B}, {0x31, 0x02},
    {0x32, 0x03}, {0x33, 0x04}, {0x34, 0x05}, {0x35, 0x06}, {0x36, 0x07}, {0x37, 0x08}, {0x38, 0x09},
    {0x39, 0x0A}, {0x25, 0xCB}, {0x26, 0xC8}, {0x27, 0xCD}, {0x28, 0xD0}, {0xBB, 0x27}, {0xBA, 0x92},
    {0xDB, 0x1A}, {0xDD, 0x1B}, {0xC0, 0x91}, {0xE2, 0x2B}, {0xBC, 0x33}, {0xBD, 0x0C}, {0xDC, 0x7D},
    {0xBE, 0x34}, {0xBF, 0x35}, {0x2E, 0xD3}, {0x1B, 0x01}, {0x20, 0x39}, {0x08, 0x0E}, {0x09, 0x0F},
    {0x0D, 0x1C}, {0x60, 0x52}, {0x61, 0x4F}, {0x62, 0x50}, {0x63, 0x51}, {0x64, 0x4B}, {0x65, 0x4C},
    {0x66, 0x4D}, {0x67, 0x47}, {0x68, 0x48}, {0x69, 0x49}, {0x6A, 0x37}, {0x6B, 0x4E}, {0x6D, 0x4A},
    {0x6E, 0x53}, {0x6F, 0xB5}, {0x0D, 0x9C}, {0xA0, 0x2A}, {0xA1, 0x36}, {0xA2, 0x1D}, {0xA3, 0x9D},
    {0x21, 0xC9}, {0x22, 0xD1}, {0x23, 0xCF}, {0x24, 0xC7}, {0x2D, 0xD2}, {0xA4, 0x38}, {0xA5, 0xB8},
    {0x91, 0x46}, {0x14, 0x3A}, {0x13, 0xC5}, {0x70, 0x3B}, {0x71, 0x3C}, {0x72, 0x3D}, {0x73, 0x3E},
    {0x74, 0x3F}, {0x75, 0x40}, {0x76, 0x41}, {0x77, 0x42}, {0x78, 0x43}, {0x79, 0x44}, {0x7A, 0x57},
    {0x7B, 0x58},
};

namespace {

constexpr uint8_t kDownBit = 0x80;
constexpr uint8_t kVirtualLeftButton = 0x01, kVirtualRightButton = 0x02, kVirtualMiddleButton = 0x04;
constexpr uint8_t kVirtualRightShift = 0xA1;
constexpr uint8_t kKeyCodeRightShift = 0x36;

bool UseVirtualKeyKeyboard() {
  const InputDeviceState& s = g_inputDevices;
  return s.win32Mode == 1 || s.keyboardByWin32 || !s.keyboardDevice ||
         g_inputHost.getOperatingSystemCode() >= kOsCodeVirtualKeyKeyboard;
}

int ReadKeyboardDevice(InputBackend& backend, uint32_t now) {
  InputDeviceState& s = g_inputDevices;
  // Within one millisecond the state is read again only after activity.
  if (now == s.lastKeyboardRead && !(s.keyboardEvent && s.keyboardEvent->IsSignalled())) return 0;
  if (g_inputHost.processWindowMessages() != 0) return 0;
  if (!HasDirectInput() || !s.keyboardDevice) return 0;  // the messages may have ended input
  uint8_t keys[kKeyboardStateSize];
  if (!ReadDeviceStateReacquiring(s.keyboardDevice, keys, sizeof(keys))) return 0;
  std::memcpy(s.keyState, keys, sizeof(keys));
  s.lastKeyboardRead = now;
  if (s.keyboardEvent && s.keyboardEvent->IsSignalled()) s.keyboardEvent->Reset();
  uint8_t virtualKeys[256];
  backend.GetKeyboardState(virtualKeys);
  s.keyState[kKeyCodeRightShift] = virtualKeys[kVirtualRightShift];
  return 1;
}

int ReadVirtualKeyKeyboard(InputBackend& backend, uint32_t now) {
  InputDeviceState& s = g_inputDevices;
  if (now == s.lastKeyboardRead) return 0;
  s.lastKeyboardRead = now;
  if (g_inputHost.processWindowMessages() != 0) return 0;
  uint8_t virtualKeys[256];
  backend.GetKeyboardState(virtualKeys);
  std::memset(s.keyState, 0, sizeof(s.keyState));
  for (const VirtualKeyToKeyCode& row : kVirtualKeyToKeyCodeTable) s.keyState[row.keyCode] = virtualKeys[row.virtualKey];
  return 1;
}

// The wait and the lazy start the key queries share: true when the query
// goes on; otherwise *result holds the answer.
bool PrepareKeyQuery(int* result) {
  g_inputHost.waitWhileInactive();
  if (IsInputStarted() || g_inputHost.getWindowClosingFlag()) return true;
  *result = InitInputSystem();
  return false;
}

}  // namespace

int UpdateKeyboardState() {
  InputBackend& backend = CurrentInputBackend();
  uint32_t now = backend.Milliseconds();
  return UseVirtualKeyKeyboard() ? ReadVirtualKeyKeyboard(backend, now) : ReadKeyboardDevice(backend, now);
}

int IsKeyDownByCode(int keyCode) {
  int started = 0;
  if (!PrepareKeyQuery(&started)) return 0;  // a start's status is no key state
  if (!IsInputStarted()) return 0;  // closing
  if (keyCode < 0 || keyCode > 255) return 0;
  UpdateKeyboardState();
  return (g_inputDevices.keyState[keyCode] & kDownBit) ? 1 : 0;
}

int GetAllKeyStates(uint8_t keyStates[256]) {
  if (!keyStates) return -1;
  int started = 0;
  if (!PrepareKeyQuery(&started)) return started;
  UpdateKeyboardState();
  for (int i = 0; i < 256; i++) keyStates[i] = (g_inputDevices.keyState[i] & kDownBit) ? 1 : 0;
  return 0;
}

int GetMouseButtonState() {
  InputDeviceState& s = g_inputDevices;
  InputBackend& backend = CurrentInputBackend();
  if (s.win32Mode == 1 || !s.mouseDevice) {
    uint8_t virtualKeys[256];
    backend.GetKeyboardState(virtualKeys);
    return ((virtualKeys[kVirtualLeftButton] & kDownBit) ? 1 : 0) |
           ((virtualKeys[kVirtualRightButton] & kDownBit) ? 2 : 0) |
           ((virtualKeys[kVirtualMiddleButton] & kDownBit) ? 4 : 0);
  }
  MouseState mouse;
  if (!ReadDeviceStateReacquiring(s.mouseDevice, &mouse, sizeof(mouse))) return 0;
  int buttons = 0;
  for (int i = 0; i < 8; i++)
    if (mouse.buttons[i] & kDownBit) buttons |= 1 << i;
  return buttons;
}
