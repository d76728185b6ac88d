// The screen of the graphics layer in software mode: the screen mode, the
// back image that draws go into, its two work images, the start and end of
// the graphics system and the present path.
#pragma once
#include <cstdint>

#include "graphics/graphics_api.h"

struct MEMIMG;

// Start and end, run by the library start-up and shut-down. The start makes
// the lookup tables, the back image and its work images of screen size and
// opens the presenter; 0, or -1 (logged) after which the end tidies up.
int InitGraphicsSystem();
void EndGraphicsSystem();
int IsGraphicsSystemStarted();
// Draws go to the back screen, which starts black.
void InitDrawScreens();

// The back image; null while the graphics system is down.
MEMIMG* GetBackScreenImage();
// Work images of screen size: plain in the screen's colour type, or with
// alpha (32-bit screen: the top byte; 16-bit screen: byte 2 of 4).
MEMIMG* GetScreenWorkImage(int withAlpha);

// MEMIMG colour type of the screen: 0 for a 16-bit screen, else 1.
int32_t ScreenMemImgColorType();
// A raw pixel of a memory image of the type (0 or 1) with or without alpha;
// each channel is clamped to 0..255 first.
uint32_t PackMemImgPixel(int32_t colorType, int32_t alphaFlag, int32_t red, int32_t green,
                         int32_t blue, int32_t alpha);

// Tests present without waiting for the refresh: 0 turns the pacing off.
void SetPresentPacingForTest(int flag);
