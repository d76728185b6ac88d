// Scripted input devices: the test owns every state and every failure.
#include <cstring>
#include <new>

#include "platform/input_device.h"
#include "platform/no_throw.h"

namespace {

// Takes one failure off the list; kInputOk when the call succeeds this time.
int Consume(ScriptedFailure& failure) {
  if (failure.remaining == 0) return kInputOk;
  if (failure.remaining > 0) failure.remaining--;
  return failure.result;
}

int Consume(ScriptedDeviceModel* model, InputCall call) {
  return Consume(model->failures[static_cast<int>(call)]);
}

int AxisIndex(InputAxis axis) { return static_cast<int>(axis); }

// An object that finds no memory fails its creation, as a real one does.
int Unmade(const char* what) {
  PlatformReportFailure(what);
  return kInputErrFailed;
}

class ScriptedEvent final : public InputEvent {
 public:
  bool IsSignalled() override { return signalled; }
  void Signal() override { signalled = true; }
  void Reset() override { signalled = false; }
  bool signalled = false;
};

class ScriptedEffect final : public InputEffect {
 public:
  ScriptedEffect(ScriptedInputBackend* backend, ScriptedEffectModel* model) : backend_(backend), model_(model) {}
  int Start(int, int) override {
    model_->running = 1;
    model_->starts++;
    return kInputOk;
  }
  int Stop() override {
    model_->running = 0;
    model_->stops++;
    return kInputOk;
  }
  void Release() override {
    model_->exists = 0;
    model_->running = 0;
    backend_->liveObjects--;
    delete this;
  }

 private:
  ScriptedInputBackend* backend_;
  ScriptedEffectModel* model_;
};

class ScriptedDevice final : public InputDevice {
 public:
  ScriptedDevice(ScriptedInputBackend* backend, ScriptedDeviceModel* model) : backend_(backend), model_(model) {
    model_->exists = 1;
    model_->acquired = 0;
    model_->hasFormat = 0;
    model_->event = nullptr;
  }

  int GetDeviceInfo(InputDeviceInfo* info) override {
    if (int r = Consume(model_, InputCall::GetDeviceInfo); r < 0) return r;
    std::memcpy(info->instanceName, model_->instanceName, kInputNameSize);
    std::memcpy(info->productName, model_->productName, kInputNameSize);
    info->instanceName[kInputNameSize - 1] = info->productName[kInputNameSize - 1] = '\0';
    return kInputOk;
  }
  int SetDataFormat(InputDataFormat format) override {
    if (int r = Consume(model_, InputCall::SetDataFormat); r < 0) return r;
    model_->format = format;
    model_->hasFormat = 1;
    return kInputOk;
  }
  int SetCooperativeLevel(int level) override {
    if (int r = Consume(model_, InputCall::SetCooperativeLevel); r < 0) return r;
    model_->cooperativeLevel = level;
    return kInputOk;
  }
  int SetAxisRange(InputAxis axis, int32_t minimum, int32_t maximum) override {
    int a = AxisIndex(axis);
    if (int r = Consume(model_, static_cast<InputCall>(static_cast<int>(InputCall::RangeX) + a)); r < 0) return r;
    model_->rangeMin[a] = minimum;
    model_->rangeMax[a] = maximum;
    return kInputOk;
  }
  int SetAxisDeadZone(InputAxis axis, int32_t deadZone) override {
    int a = AxisIndex(axis);
    if (int r = Consume(model_, static_cast<InputCall>(static_cast<int>(InputCall::DeadZoneX) + a)); r < 0)
      return r;
    model_->deadZone[a] = deadZone;
    return kInputOk;
  }
  int SetBufferSize(uint32_t entries) override {
    if (int r = Consume(model_, InputCall::SetBufferSize); r < 0) return r;
    model_->bufferSize = entries;
    return kInputOk;
  }
  int CreateEffect(const InputEffectParameters& parameters, InputEffect** effect) override {
    *effect = nullptr;
    bool sine = parameters.type == InputEffectType::Sine;
    if (int r = Consume(model_, sine ? InputCall::CreateSine : InputCall::CreateConstantForce); r < 0) return r;
    ScriptedEffectModel& slot = model_->effects[sine ? 1 : 0];
    if (slot.exists) return kInputErrUnsupported;  // one of each kind is all a pad takes here
    *effect = new (std::nothrow) ScriptedEffect(backend_, &slot);
    if (!*effect) return Unmade("振動エフェクトの作成");
    slot = ScriptedEffectModel{};
    slot.exists = 1;
    slot.parameters = parameters;
    backend_->liveObjects++;
    return kInputOk;
  }
  int SetEventNotification(InputEvent* event) override {
    if (int r = Consume(model_, InputCall::SetEventNotification); r < 0) return r;
    model_->event = event;
    return model_->notificationResult;
  }
  int Acquire() override {
    model_->acquireCalls++;
    if (int r = Consume(model_, InputCall::Acquire); r < 0) return r;
    if (!model_->hasFormat) return kInputErrBadArgument;
    model_->acquired = 1;
    return kInputOk;
  }
  int Unacquire() override {
    model_->acquired = 0;
    return kInputOk;
  }
  int GetDeviceState(void* state, uint32_t size) override {
    if (int r = Consume(model_, InputCall::GetDeviceState); r < 0) {
      model_->acquired = 0;  // a failed read is a lost device
      return r;
    }
    if (!model_->acquired) return kInputErrNotAcquired;
    model_->reads++;
    switch (model_->format) {
      case InputDataFormat::Keyboard:
        if (size != kKeyboardStateSize) return kInputErrBadArgument;
        std::memcpy(state, model_->keys, size);
        return kInputOk;
      case InputDataFormat::Mouse:
        if (size != sizeof(MouseState)) return kInputErrBadArgument;
        std::memcpy(state, &model_->mouse, size);
        model_->mouse.x = model_->mouse.y = model_->mouse.z = 0;  // motion is relative
        return kInputOk;
      case InputDataFormat::Joystick:
        if (size != sizeof(JoystickState)) return kInputErrBadArgument;
        std::memcpy(state, &model_->joystick, size);
        return kInputOk;
    }
    return kInputErrBadArgument;
  }
  void Release() override {
    model_->exists = 0;
    model_->acquired = 0;
    model_->event = nullptr;
    backend_->liveObjects--;
    delete this;
  }

 private:
  ScriptedInputBackend* backend_;
  ScriptedDeviceModel* model_;
};

class ScriptedObject final : public InputObject {
 public:
  ScriptedObject(ScriptedInputBackend* backend, int version) : backend_(backend), version_(version) {}

  int Initialize(int version) override {
    if (int r = Consume(backend_->initializeObject[version_ == 8 ? 1 : 0]); r < 0) return r;
    return version == version_ * 0x100 ? kInputOk : kInputErrBadArgument;  // 0x700 or 0x800
  }
  int EnumJoypads(InputEnumCallback callback, void* context) override {
    for (int i = 0; i < backend_->attachedPads && i < ScriptedInputBackend::kMaxPads; i++) {
      InputDeviceInstance instance{};
      instance.guid[0] = static_cast<uint8_t>(i + 1);
      instance.index = i;
      std::memcpy(instance.instanceName, backend_->pads[i].instanceName, kInputNameSize);
      std::memcpy(instance.productName, backend_->pads[i].productName, kInputNameSize);
      instance.instanceName[kInputNameSize - 1] = instance.productName[kInputNameSize - 1] = '\0';
      if (!callback(&instance, context)) break;
    }
    return kInputOk;
  }
  int CreateJoypadDevice(const InputDeviceInstance& instance, InputDevice** device) override {
    *device = nullptr;
    if (instance.index < 0 || instance.index >= backend_->attachedPads) return kInputErrUnavailable;
    return Make(&backend_->pads[instance.index], device);
  }
  int CreateSystemDevice(InputSystemDevice which, InputDevice** device) override {
    *device = nullptr;
    return Make(which == InputSystemDevice::Mouse ? &backend_->mouse : &backend_->keyboard, device);
  }
  void Release() override {
    backend_->objectVersion = 0;
    backend_->liveObjects--;
    delete this;
  }

 private:
  int Make(ScriptedDeviceModel* model, InputDevice** device) {
    if (int r = Consume(model, InputCall::CreateDevice); r < 0) return r;
    if (model->exists) return kInputErrUnavailable;  // one device per model keeps the bookkeeping plain
    *device = new (std::nothrow) ScriptedDevice(backend_, model);
    if (!*device) return Unmade("入力デバイスの作成");
    backend_->liveObjects++;
    return kInputOk;
  }

  ScriptedInputBackend* backend_;
  int version_;
};

}  // namespace

void ScriptedDeviceModel::Fail(InputCall call, int times, int result) {
  failures[static_cast<int>(call)] = ScriptedFailure{times, result};
}

void ScriptedDeviceModel::SignalActivity() {
  if (event) event->Signal();
}

ScriptedInputBackend::ScriptedInputBackend() {
  for (ScriptedDeviceModel& pad : pads)
    for (uint32_t& pov : pad.joystick.pov) pov = kPovCentred;
}

ScriptedInputBackend::~ScriptedInputBackend() = default;

void ScriptedInputBackend::PressKey(int keyCode) {
  keyboard.keys[keyCode & 0xFF] = 0x80;
  keyboard.SignalActivity();
}

void ScriptedInputBackend::ReleaseKey(int keyCode) {
  keyboard.keys[keyCode & 0xFF] = 0;
  keyboard.SignalActivity();
}

int ScriptedInputBackend::CreateInputObject(int version, InputObject** object) {
  *object = nullptr;
  if (version != 7 && version != 8) return kInputErrBadArgument;
  if (int r = Consume(createObject[version == 8 ? 1 : 0]); r < 0) return r;
  *object = new (std::nothrow) ScriptedObject(this, version);
  if (!*object) return Unmade("入力デバイスの作成");
  objectVersion = version;
  liveObjects++;
  return kInputOk;
}

InputEvent* ScriptedInputBackend::CreateManualResetEvent() {
  InputEvent* event = new (std::nothrow) ScriptedEvent();
  if (!event) {
    Unmade("入力イベントの作成");
    return nullptr;
  }
  liveObjects++;
  return event;
}

void ScriptedInputBackend::CloseEvent(InputEvent* event) {
  if (!event) return;
  liveObjects--;
  delete event;
}

int ScriptedInputBackend::GetJoystickCaps(int id, uint32_t* capabilities) {
  *capabilities = 0;
  if (id < 0 || id >= joystickIds || id >= 16) return kInputErrUnavailable;
  *capabilities = joystickCaps[id];
  return kInputOk;
}

void ScriptedInputBackend::GetKeyboardState(uint8_t out[256]) { std::memcpy(out, virtualKeys, 256); }
