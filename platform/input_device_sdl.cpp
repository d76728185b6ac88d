// Input devices through SDL2: the keyboard and mouse states SDL keeps, raw
// joysticks with haptic effects or, failing that, rumble motors.
#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>

#include "platform/input_device.h"
#include "platform/no_throw.h"
#include "platform/sdl_subsystem.h"
#include "platform/timer.h"

namespace {

class SdlEvent final : public InputEvent {
 public:
  bool IsSignalled() override { return signalled_.load(); }
  void Signal() override { signalled_.store(true); }
  void Reset() override { signalled_.store(false); }

 private:
  std::atomic<bool> signalled_{false};
};

uint32_t ToggleBits() {
  SDL_Keymod mods = SDL_GetModState();
  return ((mods & KMOD_CAPS) ? 1u : 0u) | ((mods & KMOD_NUM) ? 2u : 0u) | ((mods & KMOD_SCROLL) ? 4u : 0u);
}

class SdlJoypadDevice;

// Effects of one joypad. With a haptic device the effect runs there;
// otherwise the constant force drives the low-frequency rumble motor and the
// sine the high-frequency one.
class SdlEffect final : public InputEffect {
 public:
  SdlEffect(SdlJoypadDevice* device, const InputEffectParameters& parameters, int hapticId)
      : device_(device), parameters_(parameters), hapticId_(hapticId) {}
  int Start(int iterations, int flags) override;
  int Stop() override;
  void Release() override;
  void Orphan() { device_ = nullptr; }
  InputEffectType type() const { return parameters_.type; }
  uint16_t MotorLevel() const {
    int64_t level = static_cast<int64_t>(parameters_.magnitude < 0 ? -parameters_.magnitude : parameters_.magnitude) *
                    std::min<uint32_t>(parameters_.gain, 10000) / 10000;
    return static_cast<uint16_t>(std::min<int64_t>(level, 10000) * 0xFFFF / 10000);
  }

 private:
  SdlJoypadDevice* device_;
  InputEffectParameters parameters_;
  int hapticId_;  // -1: rumble
};

// What every device shares: format, level, acquisition, event watch.
class SdlDeviceBase : public InputDevice {
 public:
  // The watch sees SDL events only between Watched and Destroy, so never a
  // device that is half made or half gone.
  template <typename Device, typename... Args>
  static Device* Watched(Args... args) {
    auto* device = new (std::nothrow) Device(args...);
    if (!device) {
      PlatformReportFailure("入力デバイスの作成");
      return nullptr;
    }
    SDL_AddEventWatch(&SdlDeviceBase::Watch, static_cast<SdlDeviceBase*>(device));
    return device;
  }
  int GetDeviceInfo(InputDeviceInfo* info) override {
    std::memset(info, 0, sizeof(*info));
    SDL_strlcpy(info->instanceName, name_, sizeof(info->instanceName));
    SDL_strlcpy(info->productName, name_, sizeof(info->productName));
    return kInputOk;
  }
  int SetDataFormat(InputDataFormat format) override {
    if (format != expectedFormat_) return kInputErrBadArgument;
    hasFormat_ = true;
    return kInputOk;
  }
  int SetCooperativeLevel(int level) override {
    bool exclusive = level & kInputExclusive, shared = level & kInputNonExclusive;
    bool foreground = level & kInputForeground, background = level & kInputBackground;
    if (exclusive == shared || foreground == background) return kInputErrBadArgument;
    return kInputOk;
  }
  int SetAxisRange(InputAxis, int32_t, int32_t) override { return kInputErrUnsupported; }
  int SetAxisDeadZone(InputAxis, int32_t) override { return kInputErrUnsupported; }
  int SetBufferSize(uint32_t) override { return kInputOk; }  // states only, no buffered data
  int CreateEffect(const InputEffectParameters&, InputEffect** effect) override {
    *effect = nullptr;
    return kInputErrUnsupported;
  }
  int SetEventNotification(InputEvent* event) override {
    if (acquired_) return kInputErrBadArgument;
    event_.store(event);
    return kInputOk;
  }
  int Acquire() override {
    if (!hasFormat_ || !Present()) return kInputErrUnavailable;
    acquired_ = true;
    return kInputOk;
  }
  int Unacquire() override {
    acquired_ = false;
    return kInputOk;
  }

 protected:
  SdlDeviceBase(InputDataFormat format, const char* name) : expectedFormat_(format) {
    SDL_strlcpy(name_, name ? name : "", sizeof(name_));
  }
  virtual ~SdlDeviceBase() = default;

  void Destroy() {
    SDL_DelEventWatch(&SdlDeviceBase::Watch, this);
    delete this;
  }

  // Checks the caller's record; the failure result, or kInputOk to read.
  int CheckRead(uint32_t size) const {
    if (!acquired_) return kInputErrNotAcquired;
    if (!Present()) return kInputErrUnavailable;
    uint32_t wanted = expectedFormat_ == InputDataFormat::Keyboard ? kKeyboardStateSize
                      : expectedFormat_ == InputDataFormat::Mouse  ? sizeof(MouseState)
                                                                   : sizeof(JoystickState);
    return size == wanted ? kInputOk : kInputErrBadArgument;
  }
  void Notify() {
    if (InputEvent* event = event_.load()) event->Signal();
  }
  virtual bool Present() const { return true; }
  // Called for every SDL event, on the thread that queues it.
  virtual void OnEvent(const SDL_Event& event) = 0;

 private:
  static int SDLCALL Watch(void* self, SDL_Event* event) {
    static_cast<SdlDeviceBase*>(self)->OnEvent(*event);
    return 1;
  }

  InputDataFormat expectedFormat_;
  char name_[kInputNameSize];
  bool hasFormat_ = false;
  bool acquired_ = false;
  std::atomic<InputEvent*> event_{nullptr};
};

class SdlKeyboardDevice final : public SdlDeviceBase {
 public:
  SdlKeyboardDevice() : SdlDeviceBase(InputDataFormat::Keyboard, "Keyboard") {}
  int GetDeviceState(void* state, uint32_t size) override {
    if (int r = CheckRead(size); r < 0) return r;
    int count = 0;
    const uint8_t* scancodes = SDL_GetKeyboardState(&count);
    MapScancodesToKeyCodes(scancodes, count, static_cast<uint8_t*>(state));
    return kInputOk;
  }
  void Release() override { Destroy(); }

 private:
  void OnEvent(const SDL_Event& event) override {
    if (event.type == SDL_KEYDOWN || event.type == SDL_KEYUP) Notify();
  }
};

class SdlMouseDevice final : public SdlDeviceBase {
 public:
  SdlMouseDevice() : SdlDeviceBase(InputDataFormat::Mouse, "Mouse") {}
  int GetDeviceState(void* state, uint32_t size) override {
    if (int r = CheckRead(size); r < 0) return r;
    MouseState out{};
    out.x = dx_.exchange(0);
    out.y = dy_.exchange(0);
    out.z = wheel_.exchange(0);
    uint32_t buttons = SDL_GetMouseState(nullptr, nullptr);
    // SDL numbers left, middle, right; the record wants left, right, middle.
    constexpr int kSdlButtonForSlot[8] = {1, 3, 2, 4, 5, 6, 7, 8};
    for (int i = 0; i < 8; i++)
      if (buttons & SDL_BUTTON(kSdlButtonForSlot[i])) out.buttons[i] = 0x80;
    std::memcpy(state, &out, sizeof(out));
    return kInputOk;
  }
  void Release() override { Destroy(); }

 private:
  void OnEvent(const SDL_Event& event) override {
    switch (event.type) {
      case SDL_MOUSEMOTION:
        dx_ += event.motion.xrel;
        dy_ += event.motion.yrel;
        break;
      case SDL_MOUSEWHEEL: {
        int notches = event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -event.wheel.y : event.wheel.y;
        wheel_ += notches * 120;
        break;
      }
      case SDL_MOUSEBUTTONDOWN:
      case SDL_MOUSEBUTTONUP:
        break;
      default:
        return;
    }
    Notify();
  }

  std::atomic<int32_t> dx_{0}, dy_{0}, wheel_{0};
};

class SdlJoypadDevice final : public SdlDeviceBase {
 public:
  SdlJoypadDevice(SDL_Joystick* joystick, const char* name)
      : SdlDeviceBase(InputDataFormat::Joystick, name),
        joystick_(joystick),
        instanceId_(SDL_JoystickInstanceID(joystick)) {
    for (int a = 0; a < 4; a++) {
      rangeMin_[a] = 0;
      rangeMax_[a] = 0xFFFF;
    }
  }

  int SetAxisRange(InputAxis axis, int32_t minimum, int32_t maximum) override {
    if (minimum >= maximum) return kInputErrBadArgument;
    int a = static_cast<int>(axis);
    rangeMin_[a] = minimum;
    rangeMax_[a] = maximum;
    return kInputOk;
  }
  int SetAxisDeadZone(InputAxis axis, int32_t deadZone) override {
    if (deadZone < 0 || deadZone > 10000) return kInputErrBadArgument;
    deadZone_[static_cast<int>(axis)] = deadZone;
    return kInputOk;
  }

  int CreateEffect(const InputEffectParameters& parameters, InputEffect** effect) override {
    *effect = nullptr;
    int slot = parameters.type == InputEffectType::Sine ? 1 : 0;
    if (effects_[slot]) return kInputErrUnsupported;
    int hapticId = -1;
    if (SDL_Haptic* haptic = Haptic()) hapticId = NewHapticEffect(haptic, parameters);
    if (hapticId < 0 && !SDL_JoystickHasRumble(joystick_)) return kInputErrUnsupported;
    effects_[slot] = new (std::nothrow) SdlEffect(this, parameters, hapticId);
    if (!effects_[slot]) {
      if (hapticId >= 0) SDL_HapticDestroyEffect(Haptic(), hapticId);
      PlatformReportFailure("振動エフェクトの作成");
      return kInputErrFailed;
    }
    *effect = effects_[slot];
    return kInputOk;
  }

  int GetDeviceState(void* state, uint32_t size) override {
    if (int r = CheckRead(size); r < 0) return r;
    SDL_JoystickUpdate();
    JoystickState out{};
    int32_t* axes[8] = {&out.x, &out.y, &out.z, &out.rx, &out.ry, &out.rz, &out.sliders[0], &out.sliders[1]};
    int axisCount = std::min(SDL_JoystickNumAxes(joystick_), 8);
    for (int i = 0; i < 8; i++) {
      int raw = i < axisCount ? SDL_JoystickGetAxis(joystick_, i) : 0;
      int ranged = i == 0 ? 0 : i == 1 ? 1 : i == 2 ? 2 : i == 5 ? 3 : -1;  // X, Y, Z, Rz carry settings
      *axes[i] = ranged < 0 ? ScaleJoypadAxis(raw, 0, 0xFFFF, 0)
                            : ScaleJoypadAxis(raw, rangeMin_[ranged], rangeMax_[ranged], deadZone_[ranged]);
    }
    int hats = SDL_JoystickNumHats(joystick_);
    for (int i = 0; i < 4; i++) out.pov[i] = i < hats ? HatToPov(SDL_JoystickGetHat(joystick_, i)) : kPovCentred;
    int buttons = std::min(SDL_JoystickNumButtons(joystick_), 32);
    for (int i = 0; i < buttons; i++) out.buttons[i] = SDL_JoystickGetButton(joystick_, i) ? 0x80 : 0;
    std::memcpy(state, &out, sizeof(out));
    return kInputOk;
  }

  void Release() override {
    for (SdlEffect*& effect : effects_)
      if (effect) effect->Orphan();
    if (haptic_) SDL_HapticClose(haptic_);
    SDL_JoystickClose(joystick_);
    Destroy();
  }

  // Effect side.
  void ForgetEffect(SdlEffect* effect) {
    for (SdlEffect*& e : effects_)
      if (e == effect) e = nullptr;
  }
  int SetMotor(InputEffectType type, uint16_t level) {
    motor_[type == InputEffectType::Sine ? 1 : 0] = level;
    // SDL caps a rumble at about a minute; a vibration that long is the limit here.
    return SDL_JoystickRumble(joystick_, motor_[0], motor_[1], 0xFFFF) == 0 ? kInputOk : kInputErrFailed;
  }
  SDL_Haptic* haptic() const { return haptic_; }

 private:
  static uint32_t HatToPov(uint8_t hat) {
    switch (hat) {
      case SDL_HAT_UP: return 0;
      case SDL_HAT_RIGHTUP: return 4500;
      case SDL_HAT_RIGHT: return 9000;
      case SDL_HAT_RIGHTDOWN: return 13500;
      case SDL_HAT_DOWN: return 18000;
      case SDL_HAT_LEFTDOWN: return 22500;
      case SDL_HAT_LEFT: return 27000;
      case SDL_HAT_LEFTUP: return 31500;
      default: return kPovCentred;
    }
  }

  SDL_Haptic* Haptic() {
    if (!haptic_ && !hapticTried_) {
      hapticTried_ = true;
      if (SDL_WasInit(SDL_INIT_HAPTIC) && SDL_JoystickIsHaptic(joystick_) == SDL_TRUE)
        haptic_ = SDL_HapticOpenFromJoystick(joystick_);
    }
    return haptic_;
  }

  static int NewHapticEffect(SDL_Haptic* haptic, const InputEffectParameters& p) {
    SDL_HapticEffect effect;
    SDL_zero(effect);
    auto level = [&](int64_t value) {  // 0..10000 scaled by the gain to SDL's 0..32767
      int64_t v = value * std::min<uint32_t>(p.gain, 10000) / 10000;
      return static_cast<int16_t>(std::clamp<int64_t>(v * 32767 / 10000, -32767, 32767));
    };
    auto ms = [](uint32_t us) { return static_cast<uint16_t>(std::min<uint32_t>(us / 1000, 0x7FFF)); };
    uint32_t length = p.durationUs == kInputInfinite ? SDL_HAPTIC_INFINITY : p.durationUs / 1000;
    SDL_HapticDirection direction;
    SDL_zero(direction);
    direction.type = p.polar ? SDL_HAPTIC_POLAR : SDL_HAPTIC_CARTESIAN;
    direction.dir[0] = p.direction[0];
    direction.dir[1] = p.direction[1];
    unsigned supported = SDL_HapticQuery(haptic);
    if (p.type == InputEffectType::ConstantForce) {
      if (!(supported & SDL_HAPTIC_CONSTANT)) return -1;
      effect.type = SDL_HAPTIC_CONSTANT;
      effect.constant.direction = direction;
      effect.constant.length = length;
      effect.constant.delay = ms(p.startDelayUs);
      effect.constant.level = level(p.magnitude);
      if (p.hasEnvelope) {
        effect.constant.attack_length = ms(p.attackTimeUs);
        effect.constant.attack_level = static_cast<uint16_t>(level(p.attackLevel));
        effect.constant.fade_length = ms(p.fadeTimeUs);
        effect.constant.fade_level = static_cast<uint16_t>(level(p.fadeLevel));
      }
    } else {
      if (!(supported & SDL_HAPTIC_SINE)) return -1;
      effect.type = SDL_HAPTIC_SINE;
      effect.periodic.direction = direction;
      effect.periodic.length = length;
      effect.periodic.delay = ms(p.startDelayUs);
      effect.periodic.period = ms(p.periodUs);
      effect.periodic.magnitude = level(p.magnitude);
      effect.periodic.offset = level(p.offset);
      effect.periodic.phase = static_cast<uint16_t>(p.phase % 36000);
      if (p.hasEnvelope) {
        effect.periodic.attack_length = ms(p.attackTimeUs);
        effect.periodic.attack_level = static_cast<uint16_t>(level(p.attackLevel));
        effect.periodic.fade_length = ms(p.fadeTimeUs);
        effect.periodic.fade_level = static_cast<uint16_t>(level(p.fadeLevel));
      }
    }
    return SDL_HapticNewEffect(haptic, &effect);
  }

  bool Present() const override { return SDL_JoystickGetAttached(joystick_) == SDL_TRUE; }
  void OnEvent(const SDL_Event& event) override {
    SDL_JoystickID which;
    switch (event.type) {
      case SDL_JOYAXISMOTION: which = event.jaxis.which; break;
      case SDL_JOYHATMOTION: which = event.jhat.which; break;
      case SDL_JOYBALLMOTION: which = event.jball.which; break;
      case SDL_JOYBUTTONDOWN:
      case SDL_JOYBUTTONUP: which = event.jbutton.which; break;
      default: return;
    }
    if (which == instanceId_) Notify();
  }

  SDL_Joystick* joystick_;
  SDL_JoystickID instanceId_;
  SDL_Haptic* haptic_ = nullptr;
  bool hapticTried_ = false;
  int32_t rangeMin_[4], rangeMax_[4];
  int32_t deadZone_[4] = {};
  SdlEffect* effects_[2] = {};
  uint16_t motor_[2] = {};
};

int SdlEffect::Start(int iterations, int) {
  if (!device_) return kInputErrUnavailable;
  if (hapticId_ >= 0)
    return SDL_HapticRunEffect(device_->haptic(), hapticId_, iterations <= 0 ? 1 : static_cast<uint32_t>(iterations)) == 0
               ? kInputOk
               : kInputErrFailed;
  return device_->SetMotor(parameters_.type, MotorLevel());
}

int SdlEffect::Stop() {
  if (!device_) return kInputErrUnavailable;
  if (hapticId_ >= 0) return SDL_HapticStopEffect(device_->haptic(), hapticId_) == 0 ? kInputOk : kInputErrFailed;
  return device_->SetMotor(parameters_.type, 0);
}

void SdlEffect::Release() {
  if (device_) {
    Stop();
    if (hapticId_ >= 0) SDL_HapticDestroyEffect(device_->haptic(), hapticId_);
    device_->ForgetEffect(this);
  }
  delete this;
}

class SdlObject final : public InputObject {
 public:
  explicit SdlObject(Uint32 subsystems) : subsystems_(subsystems) {}
  int Initialize(int version) override { return version == 0x700 || version == 0x800 ? kInputOk : kInputErrBadArgument; }

  int EnumJoypads(InputEnumCallback callback, void* context) override {
    int count = SDL_NumJoysticks();
    for (int i = 0; i < count; i++) {
      InputDeviceInstance instance{};
      SDL_JoystickGUID guid = SDL_JoystickGetDeviceGUID(i);
      static_assert(sizeof(guid.data) == sizeof(instance.guid));
      std::memcpy(instance.guid, guid.data, sizeof(instance.guid));
      instance.index = i;
      const char* name = SDL_JoystickNameForIndex(i);
      SDL_strlcpy(instance.instanceName, name ? name : "", sizeof(instance.instanceName));
      SDL_strlcpy(instance.productName, name ? name : "", sizeof(instance.productName));
      if (!callback(&instance, context)) break;
    }
    return kInputOk;
  }

  int CreateJoypadDevice(const InputDeviceInstance& instance, InputDevice** device) override {
    *device = nullptr;
    if (instance.index < 0 || instance.index >= SDL_NumJoysticks()) return kInputErrUnavailable;
    SDL_JoystickGUID guid = SDL_JoystickGetDeviceGUID(instance.index);
    if (std::memcmp(guid.data, instance.guid, sizeof(instance.guid)) != 0) return kInputErrUnavailable;
    SDL_Joystick* joystick = SDL_JoystickOpen(instance.index);
    if (!joystick) return kInputErrUnavailable;
    *device = SdlDeviceBase::Watched<SdlJoypadDevice>(joystick, SDL_JoystickName(joystick));
    if (!*device) {
      SDL_JoystickClose(joystick);
      return kInputErrFailed;
    }
    return kInputOk;
  }

  int CreateSystemDevice(InputSystemDevice which, InputDevice** device) override {
    if (which == InputSystemDevice::Mouse)
      *device = SdlDeviceBase::Watched<SdlMouseDevice>();
    else
      *device = SdlDeviceBase::Watched<SdlKeyboardDevice>();
    return *device ? kInputOk : kInputErrFailed;
  }

  void Release() override {
    if (subsystems_ & SDL_INIT_HAPTIC) PlatformQuitSdlSubsystem(SDL_INIT_HAPTIC);
    PlatformQuitSdlSubsystem(SDL_INIT_JOYSTICK);
    delete this;
  }

 private:
  Uint32 subsystems_;
};

class SdlInputBackend final : public InputBackend {
 public:
  int CreateInputObject(int version, InputObject** object) override {
    *object = nullptr;
    if (version != 7 && version != 8) return kInputErrBadArgument;
    if (PlatformInitSdlSubsystem(SDL_INIT_JOYSTICK) != 0) return kInputErrUnavailable;
    Uint32 subsystems = SDL_INIT_JOYSTICK;
    if (PlatformInitSdlSubsystem(SDL_INIT_HAPTIC) == 0) subsystems |= SDL_INIT_HAPTIC;  // optional
    *object = new (std::nothrow) SdlObject(subsystems);
    if (!*object) {
      if (subsystems & SDL_INIT_HAPTIC) PlatformQuitSdlSubsystem(SDL_INIT_HAPTIC);
      PlatformQuitSdlSubsystem(SDL_INIT_JOYSTICK);
      PlatformReportFailure("入力デバイスの作成");
      return kInputErrFailed;
    }
    return kInputOk;
  }

  // Null when memory runs out: the device is then read without its event.
  InputEvent* CreateManualResetEvent() override {
    InputEvent* event = new (std::nothrow) SdlEvent();
    if (!event) PlatformReportFailure("入力イベントの作成");
    return event;
  }
  void CloseEvent(InputEvent* event) override { delete event; }

  int GetJoystickCaps(int id, uint32_t* capabilities) override {
    *capabilities = 0;
    if (!SDL_WasInit(SDL_INIT_JOYSTICK) || id < 0 || id >= SDL_NumJoysticks()) return kInputErrUnavailable;
    SDL_Joystick* joystick = SDL_JoystickOpen(id);
    if (!joystick) return kInputErrUnavailable;
    int axes = SDL_JoystickNumAxes(joystick);
    SDL_JoystickClose(joystick);
    *capabilities = (axes >= 3 ? 1u : 0u) | (axes >= 4 ? 2u : 0u);
    return kInputOk;
  }

  void GetKeyboardState(uint8_t virtualKeys[256]) override {
    int count = 0;
    const uint8_t* scancodes = SDL_GetKeyboardState(&count);
    MapScancodesToVirtualKeys(scancodes, count, SDL_GetMouseState(nullptr, nullptr), ToggleBits(), virtualKeys);
  }

  uint32_t Milliseconds() override { return PlatformMilliseconds(); }
};

SdlInputBackend g_sdlBackend;
InputBackend* g_installedBackend = nullptr;

}  // namespace

InputBackend& CurrentInputBackend() { return g_installedBackend ? *g_installedBackend : g_sdlBackend; }

void SetInputBackend(InputBackend* backend) { g_installedBackend = backend; }
