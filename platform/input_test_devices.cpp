#include "platform/input_test_devices.h"

#include <SDL.h>

#include "platform/sdl_subsystem.h"

namespace {

struct VirtualPad {
  SDL_Joystick* joystick = nullptr;  // our own reference, to set values through
  SDL_JoystickID id = -1;
  uint16_t low = 0, high = 0;
  int rumbleCalls = 0;
};

constexpr int kMaxVirtualPads = 4;
VirtualPad g_pads[kMaxVirtualPads];

int SDLCALL Rumble(void* userdata, Uint16 low, Uint16 high) {
  auto* pad = static_cast<VirtualPad*>(userdata);
  pad->low = low;
  pad->high = high;
  pad->rumbleCalls++;
  return 0;
}

VirtualPad* Find(int deviceIndex) {
  if (deviceIndex < 0 || deviceIndex >= SDL_NumJoysticks()) return nullptr;
  SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(deviceIndex);
  for (VirtualPad& pad : g_pads)
    if (pad.joystick && pad.id == id) return &pad;
  return nullptr;
}

}  // namespace

int AttachVirtualJoypad(int axes, int buttons, int hats) {
  if (PlatformInitSdlSubsystem(SDL_INIT_JOYSTICK) != 0) return -1;
  VirtualPad* slot = nullptr;
  for (VirtualPad& pad : g_pads)
    if (!pad.joystick) slot = &pad;
  if (!slot) {
    PlatformQuitSdlSubsystem(SDL_INIT_JOYSTICK);
    return -1;
  }
  *slot = VirtualPad{};
  SDL_VirtualJoystickDesc desc;
  SDL_zero(desc);
  desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
  desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
  desc.naxes = static_cast<Uint16>(axes);
  desc.nbuttons = static_cast<Uint16>(buttons);
  desc.nhats = static_cast<Uint16>(hats);
  desc.name = "Virtual Pad";
  desc.userdata = slot;
  desc.Rumble = Rumble;
  int index = SDL_JoystickAttachVirtualEx(&desc);
  if (index < 0 || !(slot->joystick = SDL_JoystickOpen(index))) {
    if (index >= 0) SDL_JoystickDetachVirtual(index);
    PlatformQuitSdlSubsystem(SDL_INIT_JOYSTICK);
    return -1;
  }
  slot->id = SDL_JoystickInstanceID(slot->joystick);
  return index;
}

void DetachVirtualJoypad(int deviceIndex) {
  VirtualPad* pad = Find(deviceIndex);
  if (!pad) return;
  SDL_JoystickClose(pad->joystick);
  SDL_JoystickDetachVirtual(deviceIndex);
  *pad = VirtualPad{};
  PlatformQuitSdlSubsystem(SDL_INIT_JOYSTICK);
}

void DetachAllVirtualJoypads() {
  for (int i = SDL_WasInit(SDL_INIT_JOYSTICK) ? SDL_NumJoysticks() - 1 : -1; i >= 0; i--) DetachVirtualJoypad(i);
}

int SetVirtualJoypadAxis(int deviceIndex, int axis, int16_t value) {
  VirtualPad* pad = Find(deviceIndex);
  return pad ? SDL_JoystickSetVirtualAxis(pad->joystick, axis, value) : -1;
}

int SetVirtualJoypadButton(int deviceIndex, int button, int down) {
  VirtualPad* pad = Find(deviceIndex);
  return pad ? SDL_JoystickSetVirtualButton(pad->joystick, button, down ? SDL_PRESSED : SDL_RELEASED) : -1;
}

int SetVirtualJoypadHat(int deviceIndex, int hat, int directions) {
  VirtualPad* pad = Find(deviceIndex);
  return pad ? SDL_JoystickSetVirtualHat(pad->joystick, hat, static_cast<Uint8>(directions & 0xF)) : -1;
}

void GetVirtualJoypadRumble(int deviceIndex, uint16_t* low, uint16_t* high, int* calls) {
  VirtualPad* pad = Find(deviceIndex);
  *low = pad ? pad->low : 0;
  *high = pad ? pad->high : 0;
  *calls = pad ? pad->rumbleCalls : 0;
}

int PushKeyEvent(int scancode, int down) {
  SDL_Event event;
  SDL_zero(event);
  event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
  event.key.state = down ? SDL_PRESSED : SDL_RELEASED;
  event.key.keysym.scancode = static_cast<SDL_Scancode>(scancode);
  return SDL_PushEvent(&event) == 1 ? 0 : -1;
}

int PushMouseWheelEvent(int notches) {
  SDL_Event event;
  SDL_zero(event);
  event.type = SDL_MOUSEWHEEL;
  event.wheel.y = notches;
  event.wheel.direction = SDL_MOUSEWHEEL_NORMAL;
  return SDL_PushEvent(&event) == 1 ? 0 : -1;
}
