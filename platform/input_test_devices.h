// Devices and events made through SDL, so tests can drive the SDL input
// path: virtual game controllers with axes, buttons, hats and rumble motors,
// and queued keyboard and mouse-wheel events.
#pragma once
#include <cstdint>

// Starts SDL's joystick support and attaches a controller; its device index,
// or -1. Up to four at once.
int AttachVirtualJoypad(int axes, int buttons, int hats);
void DetachVirtualJoypad(int deviceIndex);
void DetachAllVirtualJoypads();
int SetVirtualJoypadAxis(int deviceIndex, int axis, int16_t value);
int SetVirtualJoypadButton(int deviceIndex, int button, int down);
// hat: bit 0 up, 1 right, 2 down, 3 left.
int SetVirtualJoypadHat(int deviceIndex, int hat, int directions);
// The motor levels last asked of the controller and how often rumble was set.
void GetVirtualJoypadRumble(int deviceIndex, uint16_t* low, uint16_t* high, int* calls);

// Queues an SDL key event (scancode: USB usage id) or wheel notches
// (positive forward), as the keyboard or mouse would; 0, or -1.
int PushKeyEvent(int scancode, int down);
int PushMouseWheelEvent(int notches);
