// Public functions of the library's input subsystem, as the game sees them.
#pragma once
#include <cstdint>

// Writes 1 for each key code (keyboard scan-code set 1: 0x01 Escape, 0x2C Z,
// 0xC8 up arrow...) that is down and 0 for the others; 0, or -1 for a null
// array. Right after the input system was ended, the call starts it again
// instead and returns that start's result without writing the array.
int GetAllKeyStates(uint8_t keyStates[256]);

// Mouse buttons down: bit 0 left, 1 right, 2 middle, 3-7 buttons 4-8.
int GetMouseButtonState();
