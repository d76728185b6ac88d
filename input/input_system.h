// The input devices: keyboard, mouse and up to 16 joypads, with their
// start, end, acquisition, reads and joypad vibration.
#pragma once
#include <cstdint>

#include "input/input_api.h"
#include "platform/input_device.h"

constexpr int kMaxJoypads = 16;
constexpr int kPadInputs = 32;
constexpr int kOsCodeVirtualKeyKeyboard = 264;  // from here on the keyboard is read through virtual keys

// Cooperative levels: joypads take the foreground exclusively while the
// window is active; the keyboard and mouse are always shared.
constexpr int kForegroundExclusive = kInputExclusive | kInputForeground;  // 5
constexpr int kBackgroundShared = kInputNonExclusive | kInputBackground;  // 0xA

struct PadKeyAssignment {
  int32_t keyCodes[2];  // -1: none
  int32_t reserved[2];
};

struct PadKeyAssignmentTable {
  PadKeyAssignment pads[kMaxJoypads][kPadInputs];
};

struct JoypadRecord {
  InputDevice* device;
  InputEffect* effect1;  // constant force
  InputEffect* effect2;  // periodic sine
  InputEvent* event;
  JoystickState joystickState;
  int32_t hasZAndR;  // plain path only
  int32_t vibrating;
  int32_t power;      // 0..10000
  int32_t timeLimit;  // ms, -1 none
  int32_t elapsed;    // ms
  uint32_t lastTime;
  int32_t effect1Running, effect2Running;
  char instanceName[kInputNameSize];
  char productName[kInputNameSize];
};

struct InputDeviceState {
  int32_t win32Mode;  // 1: no DirectInput-style devices at all; survives every start
  int32_t directInput8;
  InputObject* directInput;  // null with startedWithoutDirectInput 0: not started
  int32_t startedWithoutDirectInput;
  InputDevice* mouseDevice;
  InputDevice* keyboardDevice;
  InputEvent* keyboardEvent;
  uint32_t lastKeyboardRead;
  uint8_t keyState[256];  // by key code, bit 7 down
  PadKeyAssignmentTable padKeyAssignment;
  int32_t padCount;
  JoypadRecord pads[kMaxJoypads];
  int32_t keyboardByWin32;
  int32_t hookFlagA, hookFlagB;
};

extern InputDeviceState g_inputDevices;

struct VirtualKeyToKeyCode {
  uint8_t virtualKey;
  uint8_t keyCode;
};
extern const VirtualKeyToKeyCode kVirtualKeyToKeyCodeTable[99];

inline bool IsInputStarted() {
  return g_inputDevices.directInput != nullptr || g_inputDevices.startedWithoutDirectInput != 0;
}
inline bool HasDirectInput() { return g_inputDevices.directInput != nullptr; }

int InitInputSystem();
int EndInputSystem();
int AcquireInputDevices();
int UpdateKeyboardState();
int IsKeyDownByCode(int keyCode);

// Reads a device's state, acquiring it once more when the read is refused
// (a device lost to another program); false when it still cannot be read.
bool ReadDeviceStateReacquiring(InputDevice* device, void* state, uint32_t size);

int InitJoypads();
int AddJoypadDevice(const InputDeviceInstance* instance, void* context);
int ReleaseJoypads();
int RefreshJoypadEffects();
int StopJoypadVibration(int padNumber);
int UpdateJoypadVibrationTimers();
// Reads pad (1..16)'s controller into its record's joystick state; 0, or -1
// when there is no such pad or it cannot be read.
int ReadJoypadState(int padNumber);

int SetHookFlagAOn();
int SetHookFlagAOff();
int SetHookFlagBOn();
int SetHookFlagBOff();

// Releases every device, effect, event and the input object, leaving the
// system not started; no log.
void ReleaseAllInputDevices();
