// Joypads: enumeration, release, reads and vibration through two effects.
#include <cstdint>
#include <cstring>

#include "core/log.h"
#include "input/input_host.h"
#include "input/input_system.h"

namespace {

constexpr int32_t kAxisRange = 1000;
constexpr int32_t kAxisDeadZone = 2500;
constexpr int32_t kFullPower = 10000;
constexpr int32_t kSinePowerThreshold = 5000;  // the sine joins above this power
constexpr int kPadNumberIgnoredBit = 0x1000;
constexpr int kContinue = 1, kStop = 0;

// What both effects share: endless, full gain, no trigger, on X and Y.
InputEffectParameters EffectOn(InputEffectType type, int polar) {
  InputEffectParameters p{};
  p.type = type;
  p.polar = polar;
  p.durationUs = kInputInfinite;
  p.gain = 10000;
  p.triggerButton = -1;
  p.axisCount = 2;
  p.axes[0] = InputAxis::X;
  p.axes[1] = InputAxis::Y;
  p.magnitude = 10000;
  return p;
}

InputEffectParameters SineEffect() {
  InputEffectParameters p = EffectOn(InputEffectType::Sine, 1);
  p.hasEnvelope = 1;
  p.attackTimeUs = 500000;
  p.fadeTimeUs = 1000000;
  p.periodUs = 1500000;
  return p;
}

void ReleaseEffect(InputEffect*& effect) {
  if (!effect) return;
  effect->Stop();
  effect->Release();
  effect = nullptr;
}

// Gives up a pad half made: a refused pad keeps nothing.
int DropPad(InputDevice* device, InputEffect* effect1, InputEffect* effect2, const char* text) {
  ReleaseEffect(effect1);
  ReleaseEffect(effect2);
  device->Release();
  LogWrite(text);
  return kContinue;
}

void ApplyEffect(InputEffect* effect, int32_t& running, int wanted) {
  if (!effect || running == wanted) return;
  if (wanted)
    effect->Start(1, 0);
  else
    effect->Stop();
  running = wanted;
}

void StopPadVibration(int index) {
  InputDeviceState& s = g_inputDevices;
  if (index < 0 || index >= s.padCount || index >= kMaxJoypads) return;
  JoypadRecord& pad = s.pads[index];
  // A pad whose constant force failed may still vibrate through its sine.
  if (!pad.device || (!pad.effect1 && !pad.effect2) || !pad.vibrating) return;
  pad.vibrating = 0;
  pad.power = kFullPower;
  RefreshJoypadEffects();
}

}  // namespace

int InitJoypads() {
  InputDeviceState& s = g_inputDevices;
  if (!HasDirectInput()) return -1;
  ReleaseJoypads();
  LogWrite("ジョイパッドの初期化... \n");
  s.padCount = 0;
  s.directInput->EnumJoypads(AddJoypadDevice, nullptr);
  LogWrite("ジョイパッドの初期化は正常に終了しました\n");
  return 0;
}

int AddJoypadDevice(const InputDeviceInstance* instance, void* context) {
  InputDeviceState& s = g_inputDevices;
  if (!HasDirectInput() || !instance || s.padCount >= kMaxJoypads) return kStop;
  LogWrite("入力装置を見つけました\n");
  InputDevice* device = nullptr;
  if (s.directInput->CreateJoypadDevice(*instance, &device) < 0 || !device) {
    LogWrite("入力装置の取得に失敗しました\n");
    return kContinue;
  }
  JoypadRecord& pad = s.pads[s.padCount];
  InputDeviceInfo info{};
  device->GetDeviceInfo(&info);
  std::memcpy(pad.instanceName, info.instanceName, kInputNameSize);
  std::memcpy(pad.productName, info.productName, kInputNameSize);
  pad.instanceName[kInputNameSize - 1] = pad.productName[kInputNameSize - 1] = '\0';
  LogIndentIn();
  LogPrintf("デバイスの登録名:%s", pad.instanceName);
  LogPrintf("デバイスの製品登録名:%s", pad.productName);
  LogIndentOut();

  if (device->SetDataFormat(InputDataFormat::Joystick) < 0)
    return DropPad(device, nullptr, nullptr, "ジョイパッドデバイスではありませんでした、又は設定に失敗しました\n");
  if (device->SetCooperativeLevel(kForegroundExclusive) < 0)
    LogWrite("ジョイパッドデバイスの協調レベルの設定に失敗しました\n");
  if (device->SetAxisRange(InputAxis::X, -kAxisRange, kAxisRange) < 0)
    return DropPad(device, nullptr, nullptr, "ジョイパッドデバイスのＸ軸関係の設定に失敗しました\n");
  if (device->SetAxisRange(InputAxis::Y, -kAxisRange, kAxisRange) < 0)
    return DropPad(device, nullptr, nullptr, "ジョイパッドデバイスのＹ軸関係の設定に失敗しました\n");
  device->SetAxisRange(InputAxis::Z, -kAxisRange, kAxisRange);
  device->SetAxisRange(InputAxis::Rz, -kAxisRange, kAxisRange);
  if (device->SetAxisDeadZone(InputAxis::X, kAxisDeadZone) < 0)
    return DropPad(device, nullptr, nullptr, "ジョイパッドデバイスのＸ軸の無効ゾーンの設定に失敗しました\n");
  if (device->SetAxisDeadZone(InputAxis::Y, kAxisDeadZone) < 0)
    return DropPad(device, nullptr, nullptr, "ジョイパッドデバイスのＹ軸の無効ゾーンの設定に失敗しました\n");
  device->SetAxisDeadZone(InputAxis::Z, kAxisDeadZone);
  device->SetAxisDeadZone(InputAxis::Rz, kAxisDeadZone);

  InputEffect* effect2 = nullptr;
  if (device->CreateEffect(SineEffect(), &effect2) < 0) effect2 = nullptr;
  InputEffect* effect1 = nullptr;
  if (device->CreateEffect(EffectOn(InputEffectType::ConstantForce, 0), &effect1) < 0) {
    effect1 = nullptr;
    LogWrite("周期的エフェクトの作成に失敗しました。\n");
  }

  InputBackend& backend = CurrentInputBackend();
  InputEvent* event = backend.CreateManualResetEvent();
  int result = device->SetEventNotification(event);
  if (result != kInputOk && result != kInputPolledDevice) {
    backend.CloseEvent(event);
    return DropPad(device, effect1, effect2, "ジョイパッドイベントのセットアップが失敗しました\n");
  }
  device->Acquire();
  pad.device = device;
  pad.effect1 = effect1;
  pad.effect2 = effect2;
  pad.event = event;
  pad.vibrating = 0;
  pad.power = kFullPower;
  pad.effect1Running = pad.effect2Running = 0;
  std::memset(&pad.joystickState, 0, sizeof(pad.joystickState));
  s.padCount++;
  LogWrite("ジョイパッドの追加は正常に終了しました\n");
  return s.padCount >= kMaxJoypads ? kStop : kContinue;
}

int ReleaseJoypads() {
  InputDeviceState& s = g_inputDevices;
  if (!IsInputStarted()) return -1;
  for (JoypadRecord& pad : s.pads) {
    if (pad.device) {
      pad.device->Unacquire();
      pad.device->SetEventNotification(nullptr);
    }
    ReleaseEffect(pad.effect1);
    ReleaseEffect(pad.effect2);
    if (pad.device) pad.device->Release();
    if (pad.event) CurrentInputBackend().CloseEvent(pad.event);
    std::memset(&pad, 0, sizeof(pad));
  }
  s.padCount = 0;
  return 0;
}

int RefreshJoypadEffects() {
  if (!HasDirectInput()) return 0;
  bool active = g_inputHost.getWindowActiveFlag() != 0;
  for (JoypadRecord& pad : g_inputDevices.pads) {
    if (!pad.device) continue;
    if (active) {
      ApplyEffect(pad.effect1, pad.effect1Running, pad.vibrating == 1);
      ApplyEffect(pad.effect2, pad.effect2Running, pad.vibrating == 1 && pad.power > kSinePowerThreshold);
    } else {
      // Paused only: the vibrating flags stay, so the effects start again.
      if (pad.effect1 && pad.effect1Running) pad.effect1->Stop();
      if (pad.effect2 && pad.effect2Running) pad.effect2->Stop();
      pad.effect1Running = pad.effect2Running = 0;
    }
  }
  return 0;
}

int StopJoypadVibration(int padNumber) {
  g_inputHost.waitWhileInactive();
  if (!IsInputStarted() && !g_inputHost.getWindowClosingFlag()) return InitInputSystem();
  StopPadVibration((padNumber & ~kPadNumberIgnoredBit) - 1);
  return 0;
}

int UpdateJoypadVibrationTimers() {
  InputDeviceState& s = g_inputDevices;
  if (!HasDirectInput()) return 0;
  uint32_t now = CurrentInputBackend().Milliseconds() & 0x7FFFFFFFu;
  for (int i = 0; i < s.padCount && i < kMaxJoypads; i++) {
    JoypadRecord& pad = s.pads[i];
    if (!pad.vibrating || !pad.device || pad.timeLimit < 0) continue;
    if (now == pad.lastTime) continue;
    if (now < pad.lastTime) pad.lastTime = now;  // a counter that ran back adds nothing
    int64_t elapsed = static_cast<int64_t>(pad.elapsed) + (now - pad.lastTime);
    pad.elapsed = elapsed > INT32_MAX ? INT32_MAX : static_cast<int32_t>(elapsed);
    pad.lastTime = now;
    // Stopped here directly: the public stop would wait for an inactive
    // window by processing messages, which runs this very function again.
    if (pad.elapsed >= pad.timeLimit) StopPadVibration(i);
  }
  RefreshJoypadEffects();
  return 0;
}

int ReadJoypadState(int padNumber) {
  InputDeviceState& s = g_inputDevices;
  int index = padNumber - 1;
  if (!HasDirectInput() || index < 0 || index >= s.padCount || index >= kMaxJoypads) return -1;
  JoypadRecord& pad = s.pads[index];
  if (!pad.device) return -1;
  JoystickState state;
  if (!ReadDeviceStateReacquiring(pad.device, &state, sizeof(state))) return -1;
  pad.joystickState = state;
  return 0;
}
