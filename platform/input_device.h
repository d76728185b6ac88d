// Keyboard, mouse and game controllers as the input subsystem sees them.
//
// An input object (version 7 or 8, both served by the same machinery here)
// lists the attached controllers and makes devices; a device is configured,
// acquired and read into a fixed state record; controllers carry up to two
// force-feedback effects; devices signal a manual-reset event on activity.
// Beside that, the plain path: joystick capabilities by id and the 256-entry
// virtual-key state (bit 7 down, bit 0 toggled).
//
// Two implementations: SDL2 (the default) and a scripted one whose devices,
// keys, buttons, axes, clock and failures a test sets frame by frame.
#pragma once
#include <cstdint>

// Call results: 0 or kInputPolledDevice succeed, negative values fail.
constexpr int kInputOk = 0;
constexpr int kInputPolledDevice = 2;  // event notification on a device that is only polled
constexpr int kInputErrFailed = -1;
constexpr int kInputErrNotAcquired = -2;
constexpr int kInputErrUnavailable = -3;  // no such object, device or attached controller
constexpr int kInputErrBadArgument = -4;
constexpr int kInputErrUnsupported = -5;  // effect or property the device cannot do

// Cooperative-level bits.
constexpr int kInputExclusive = 1;
constexpr int kInputNonExclusive = 2;
constexpr int kInputForeground = 4;
constexpr int kInputBackground = 8;

constexpr int kInputNameSize = 260;
constexpr uint32_t kInputInfinite = 0xFFFFFFFFu;  // effect duration
constexpr uint32_t kPovCentred = 0xFFFFFFFFu;

enum class InputDataFormat { Joystick, Mouse, Keyboard };
enum class InputAxis { X, Y, Z, Rz };
enum class InputSystemDevice { Mouse, Keyboard };
enum class InputEffectType { ConstantForce, Sine };

// Controller state: axes, two sliders, four hats in hundredths of a degree
// clockwise from up (kPovCentred when released), 32 buttons (bit 7 down).
struct JoystickState {
  int32_t x, y, z, rx, ry, rz;
  int32_t sliders[2];
  uint32_t pov[4];
  uint8_t buttons[32];
};
static_assert(sizeof(JoystickState) == 80);

// Mouse state: motion since the last read (wheel in 120ths of a notch,
// forward positive) and eight buttons (bit 7 down): left, right, middle, 4-8.
struct MouseState {
  int32_t x, y, z;
  uint8_t buttons[8];
};
static_assert(sizeof(MouseState) == 20);

constexpr uint32_t kKeyboardStateSize = 256;  // indexed by key code, bit 7 down

struct InputDeviceInstance {
  uint8_t guid[16];
  int32_t index;  // the backend's own number of the device
  char instanceName[kInputNameSize];
  char productName[kInputNameSize];
};

struct InputDeviceInfo {
  char instanceName[kInputNameSize];
  char productName[kInputNameSize];
};

struct InputEffectParameters {
  InputEffectType type;
  int polar;  // 0: cartesian direction
  uint32_t durationUs;
  uint32_t samplePeriodUs;
  uint32_t gain;  // 0..10000
  int32_t triggerButton;  // -1: none
  uint32_t triggerRepeatUs;
  int32_t axisCount;
  InputAxis axes[2];
  int32_t direction[2];
  uint32_t startDelayUs;
  int hasEnvelope;
  uint32_t attackLevel, attackTimeUs, fadeLevel, fadeTimeUs;
  int32_t magnitude;  // 0..10000
  int32_t offset;
  uint32_t phase;
  uint32_t periodUs;
};

// A manual-reset event: signalled by device activity until reset.
class InputEvent {
 public:
  virtual ~InputEvent() = default;
  virtual bool IsSignalled() = 0;
  virtual void Signal() = 0;
  virtual void Reset() = 0;
};

class InputEffect {
 public:
  virtual int Start(int iterations, int flags) = 0;
  virtual int Stop() = 0;
  virtual void Release() = 0;  // the effect is gone afterwards

 protected:
  ~InputEffect() = default;
};

class InputDevice {
 public:
  virtual int GetDeviceInfo(InputDeviceInfo* info) = 0;
  virtual int SetDataFormat(InputDataFormat format) = 0;
  virtual int SetCooperativeLevel(int level) = 0;
  virtual int SetAxisRange(InputAxis axis, int32_t minimum, int32_t maximum) = 0;
  virtual int SetAxisDeadZone(InputAxis axis, int32_t deadZone) = 0;  // 0..10000 of the half range
  virtual int SetBufferSize(uint32_t entries) = 0;
  virtual int CreateEffect(const InputEffectParameters& parameters, InputEffect** effect) = 0;
  virtual int SetEventNotification(InputEvent* event) = 0;  // null stops it
  virtual int Acquire() = 0;
  virtual int Unacquire() = 0;
  virtual int GetDeviceState(void* state, uint32_t size) = 0;  // fails unless acquired
  virtual void Release() = 0;  // the device is gone afterwards

 protected:
  ~InputDevice() = default;
};

using InputEnumCallback = int (*)(const InputDeviceInstance* instance, void* context);  // 1 go on, 0 stop

class InputObject {
 public:
  virtual int Initialize(int version) = 0;
  // Calls back once per attached controller until the callback returns 0.
  virtual int EnumJoypads(InputEnumCallback callback, void* context) = 0;
  virtual int CreateJoypadDevice(const InputDeviceInstance& instance, InputDevice** device) = 0;
  virtual int CreateSystemDevice(InputSystemDevice which, InputDevice** device) = 0;
  virtual void Release() = 0;

 protected:
  ~InputObject() = default;
};

class InputBackend {
 public:
  virtual ~InputBackend() = default;
  virtual int CreateInputObject(int version, InputObject** object) = 0;  // version 7 or 8
  virtual InputEvent* CreateManualResetEvent() = 0;  // null when it cannot
  virtual void CloseEvent(InputEvent* event) = 0;
  // Plain path: 0 when joystick id answers; capability bits 1 = has Z, 2 = has R.
  virtual int GetJoystickCaps(int id, uint32_t* capabilities) = 0;
  virtual void GetKeyboardState(uint8_t virtualKeys[256]) = 0;
  virtual uint32_t Milliseconds() = 0;  // free-running, wraps at 2^32
};

// The backend in use: the SDL one unless a test installed another.
InputBackend& CurrentInputBackend();
void SetInputBackend(InputBackend* backend);  // null: back to SDL

// ---- Scripted backend for tests -------------------------------------------

enum class InputCall : int {
  CreateDevice,
  GetDeviceInfo,
  SetDataFormat,
  SetCooperativeLevel,
  RangeX,
  RangeY,
  RangeZ,
  RangeRz,
  DeadZoneX,
  DeadZoneY,
  DeadZoneZ,
  DeadZoneRz,
  SetBufferSize,
  CreateConstantForce,
  CreateSine,
  SetEventNotification,
  Acquire,
  GetDeviceState,
  Count
};

// How many more times a call fails (-1: always) and with which result.
struct ScriptedFailure {
  int remaining = 0;
  int result = kInputErrFailed;
};

struct ScriptedEffectModel {
  int exists = 0;
  int running = 0;
  int starts = 0;
  int stops = 0;
  InputEffectParameters parameters{};
};

// One scripted device: what the test sets and what the code under test did.
struct ScriptedDeviceModel {
  char instanceName[kInputNameSize] = {};
  char productName[kInputNameSize] = {};
  ScriptedFailure failures[static_cast<int>(InputCall::Count)];
  int notificationResult = kInputOk;  // kInputPolledDevice for a polled device

  uint8_t keys[256] = {};
  MouseState mouse{};
  JoystickState joystick{};

  int exists = 0;
  int acquired = 0;
  int acquireCalls = 0;
  int reads = 0;
  int cooperativeLevel = 0;
  int hasFormat = 0;
  InputDataFormat format = InputDataFormat::Joystick;
  int32_t rangeMin[4] = {}, rangeMax[4] = {}, deadZone[4] = {};
  uint32_t bufferSize = 0;
  InputEvent* event = nullptr;
  ScriptedEffectModel effects[2];  // by InputEffectType

  void Fail(InputCall call, int times = -1, int result = kInputErrFailed);
  void SignalActivity();  // signals the device's event, as a real device does on input
};

class ScriptedInputBackend : public InputBackend {
 public:
  static constexpr int kMaxPads = 20;

  ScriptedInputBackend();
  ~ScriptedInputBackend() override;

  // Test side.
  ScriptedFailure createObject[2];      // version 7, 8
  ScriptedFailure initializeObject[2];  // version 7, 8
  ScriptedDeviceModel keyboard, mouse;
  ScriptedDeviceModel pads[kMaxPads];
  int attachedPads = 0;
  int joystickIds = 0;  // ids answering the plain capability query
  uint32_t joystickCaps[16] = {};
  uint8_t virtualKeys[256] = {};
  uint32_t now = 1000;
  int liveObjects = 0;  // objects, devices, effects and events not yet released
  int objectVersion = 0;  // version of the live input object, 0 when none

  void PressKey(int keyCode);  // key down on the device, event signalled
  void ReleaseKey(int keyCode);

  // InputBackend.
  int CreateInputObject(int version, InputObject** object) override;
  InputEvent* CreateManualResetEvent() override;
  void CloseEvent(InputEvent* event) override;
  int GetJoystickCaps(int id, uint32_t* capabilities) override;
  void GetKeyboardState(uint8_t virtualKeys[256]) override;
  uint32_t Milliseconds() override { return now; }
};

// ---- Key code tables of the SDL backend (exposed for tests) --------------

// Key state indexed by key code from SDL's scancode-indexed state.
void MapScancodesToKeyCodes(const uint8_t* scancodeState, int count, uint8_t keyCodes[256]);
// Virtual-key state as a Japanese keyboard reports it (the layout the
// library's virtual-key table follows). mouseButtons: bit 0 left, 1 middle,
// 2 right, 3 and 4 the side buttons; toggles: bit 0 caps, 1 num, 2 scroll lock.
void MapScancodesToVirtualKeys(const uint8_t* scancodeState, int count, uint32_t mouseButtons,
                               uint32_t toggles, uint8_t virtualKeys[256]);
// Scaled axis value for a range and dead zone (0..10000 of the half range).
int32_t ScaleJoypadAxis(int32_t raw, int32_t minimum, int32_t maximum, int32_t deadZone);
