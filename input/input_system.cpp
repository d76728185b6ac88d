// Start, end and acquisition of the input devices.
#include <cstring>

#include "core/log.h"
#include "input/input_host.h"
#include "input/input_system.h"

InputDeviceState g_inputDevices;

namespace {

constexpr uint32_t kKeyboardBufferSize = 100;

void WriteDefaultPadKeys() {
  PadKeyAssignmentTable& table = g_inputDevices.padKeyAssignment;
  for (auto& pad : table.pads)
    for (PadKeyAssignment& input : pad) input = PadKeyAssignment{{-1, -1}, {0, 0}};
  constexpr int32_t kFirstPad[14][2] = {
      {0x50, 0xD0}, {0x4B, 0xCB}, {0x4D, 0xCD}, {0x48, 0xC8},  // down, left, right, up
      {0x2C, -1},   {0x2D, -1},   {0x2E, -1},   {0x1E, -1},    // Z X C A
      {0x1F, -1},   {0x20, -1},   {0x10, -1},   {0x11, -1},    // S D Q W
      {0x01, -1},   {0x39, -1},                                // Escape, Space
  };
  for (int i = 0; i < 14; i++) {
    table.pads[0][i].keyCodes[0] = kFirstPad[i][0];
    table.pads[0][i].keyCodes[1] = kFirstPad[i][1];
  }
}

// One attempt at an input object of the given version; true when it is in
// g_inputDevices.directInput, initialised.
bool CreateDirectInput(InputBackend& backend, int version) {
  InputObject* object = nullptr;
  LogWrite(version == 7 ? "DirectInput7 の取得中... " : "DirectInput8 の取得を試みます...");
  int result = backend.CreateInputObject(version, &object);
  if (result < 0 || !object) {
    if (version == 7) {
      LogWrite("取得に失敗。\n");
      LogPrintf("エラーコード 0x%x\n", static_cast<unsigned>(result));
    } else {
      LogWrite("取得に失敗。");
    }
    return false;
  }
  LogWrite("成功\n");
  LogIndentIn();
  LogWrite("引き続き初期化処理... ");
  if (object->Initialize(version * 0x100) < 0) {
    LogWrite("初期化に失敗。");
    object->Release();
    LogIndentOut();
    return false;
  }
  LogWrite("初期化成功\n");
  g_inputDevices.directInput = object;
  g_inputDevices.directInput8 = version == 8 ? 1 : 0;
  LogIndentOut();
  return true;
}

// A mouse or keyboard that cannot be made ends the program; everything made
// so far goes first, so nothing is left behind.
int FailStart(const char* text) {
  ReleaseAllInputDevices();
  g_inputHost.fatalErrorExit(text);
  return -1;  // only under a test's table, whose exit returns
}

int StartKeyboard(InputBackend& backend) {
  InputDeviceState& s = g_inputDevices;
  LogWrite("キーボードデバイスの初期化... ");
  if (s.directInput->CreateSystemDevice(InputSystemDevice::Keyboard, &s.keyboardDevice) < 0 || !s.keyboardDevice)
    return FailStart("キーボードデバイスの取得に失敗しました");
  if (s.keyboardDevice->SetDataFormat(InputDataFormat::Keyboard) < 0)
    return FailStart("キーボードデバイスのデータ形式の設定に失敗しました");
  if (s.keyboardDevice->SetCooperativeLevel(kBackgroundShared) < 0)
    return FailStart("キーボードデバイスの協調レベルの設定に失敗しました");
  if (s.keyboardDevice->SetBufferSize(kKeyboardBufferSize) < 0) LogWrite("キーボードのプロパティ設定に失敗しました\n");
  InputEvent* event = backend.CreateManualResetEvent();
  int result = s.keyboardDevice->SetEventNotification(event);
  if (result != kInputOk && result != kInputPolledDevice) {
    LogWrite("キーボードイベントのセットアップが失敗しました\n");
    backend.CloseEvent(event);
    LogIndentOut();
    return 1;
  }
  s.keyboardEvent = event;
  if (s.keyboardDevice->Acquire() < 0 && s.keyboardDevice->Acquire() < 0)
    return FailStart("キーボードデバイスの取得に失敗しました");
  LogWrite("初期化成功\n");
  s.lastKeyboardRead = backend.Milliseconds();
  return 0;
}

int StartDevices(InputBackend& backend) {
  InputDeviceState& s = g_inputDevices;
  g_inputHost.bringMainWindowToTop();
  g_inputHost.processWindowMessages();
  if (!HasDirectInput()) {  // ended by the window procedure meanwhile
    LogIndentOut();
    return 0;
  }
  InitJoypads();

  LogWrite("マウスデバイスの初期化... ");
  if (s.directInput->CreateSystemDevice(InputSystemDevice::Mouse, &s.mouseDevice) < 0 || !s.mouseDevice)
    return FailStart("マウスデバイスの取得に失敗しました");
  if (s.mouseDevice->SetDataFormat(InputDataFormat::Mouse) < 0)
    return FailStart("マウスデバイスのデータ形式の設定に失敗しました");
  if (s.mouseDevice->SetCooperativeLevel(kBackgroundShared) < 0)
    return FailStart("マウスデバイスの協調レベルの設定に失敗しました");
  LogWrite("初期化成功\n");
  s.lastKeyboardRead = backend.Milliseconds();

  if (!s.keyboardByWin32) {
    int result = StartKeyboard(backend);
    if (result != 0) return result;
  }
  LogIndentOut();
  LogWrite("DirectInput 関連の初期化は正常に終了しました\n");
  WriteDefaultPadKeys();
  return 0;
}

int StartWithoutDirectInput(InputBackend& backend) {
  InputDeviceState& s = g_inputDevices;
  LogIndentIn();
  int answered = 0;
  for (int id = 0; id < kMaxJoypads; id++) {
    uint32_t capabilities = 0;
    if (backend.GetJoystickCaps(id, &capabilities) < 0) break;
    s.pads[id].hasZAndR = (capabilities & 1) && (capabilities & 2) ? 1 : 0;
    answered++;
  }
  LogPrintf("パッドの数は %d 個です\n", answered);
  LogIndentOut();
  s.startedWithoutDirectInput = 1;
  LogWrite("入力関連の初期化をしました\n");
  s.padCount = kMaxJoypads;
  WriteDefaultPadKeys();
  return 0;
}

}  // namespace

int InitInputSystem() {
  InputDeviceState& s = g_inputDevices;
  if (IsInputStarted()) return 0;
  int32_t win32Mode = s.win32Mode;
  std::memset(&s, 0, sizeof(s));
  s.win32Mode = win32Mode;
  InputBackend& backend = CurrentInputBackend();

  if (s.win32Mode == 0) {
    LogWrite("DirectInput関係初期化処理\n");
    LogIndentIn();
    if (!CreateDirectInput(backend, 7) && !CreateDirectInput(backend, 8)) {
      LogWrite("DirectInput を使用しません。\n");
      LogIndentOut();
      s.win32Mode = 1;
    }
  }
  return s.win32Mode == 0 ? StartDevices(backend) : StartWithoutDirectInput(backend);
}

void ReleaseAllInputDevices() {
  InputDeviceState& s = g_inputDevices;
  if (HasDirectInput()) ReleaseJoypads();
  if (s.keyboardDevice) {
    s.keyboardDevice->Unacquire();
    s.keyboardDevice->Release();
    s.keyboardDevice = nullptr;
  }
  if (s.keyboardEvent) {
    CurrentInputBackend().CloseEvent(s.keyboardEvent);
    s.keyboardEvent = nullptr;
  }
  if (s.mouseDevice) {
    s.mouseDevice->Unacquire();
    s.mouseDevice->Release();
    s.mouseDevice = nullptr;
  }
  if (s.directInput) {
    s.directInput->Release();
    s.directInput = nullptr;
  }
  s.startedWithoutDirectInput = 0;
}

int EndInputSystem() {
  if (!IsInputStarted()) return 0;
  if (!HasDirectInput()) {
    LogWrite("入力関連の終了処理... 完了\n");
    g_inputDevices.startedWithoutDirectInput = 0;
    return 0;
  }
  LogWrite("DirectInput 関連の終了処理... 完了\n");
  ReleaseAllInputDevices();
  return 0;
}

bool ReadDeviceStateReacquiring(InputDevice* device, void* state, uint32_t size) {
  if (device->GetDeviceState(state, size) >= 0) return true;
  return device->Acquire() >= 0 && device->GetDeviceState(state, size) >= 0;
}

int AcquireInputDevices() {
  InputDeviceState& s = g_inputDevices;
  if (!HasDirectInput()) return 0;
  int level = g_inputHost.getWindowActiveFlag() ? kForegroundExclusive : kBackgroundShared;
  for (JoypadRecord& pad : s.pads) {
    if (!pad.device) continue;
    pad.device->Unacquire();
    pad.device->SetCooperativeLevel(level);
    pad.device->Acquire();
  }
  if (s.keyboardDevice) {
    s.keyboardDevice->Unacquire();
    s.keyboardDevice->Acquire();
  }
  return 0;
}

int SetHookFlagAOn() {
  g_inputDevices.hookFlagA = 1;
  return 0;
}
int SetHookFlagAOff() {
  g_inputDevices.hookFlagA = 0;
  return 0;
}
int SetHookFlagBOn() {
  g_inputDevices.hookFlagB = 1;
  return 0;
}
int SetHookFlagBOff() {
  g_inputDevices.hookFlagB = 0;
  return 0;
}
