// Public functions of the library's font subsystem, as the game sees them.
// Strings are Shift-JIS; colours are screen colours (PackRgbToScreenColor).
#pragma once
#include <cstdint>

// Font handles. -1 for size, thickness, font type, charset index and edge
// size asks for 16, 6, 0 (plain), automatic and 1. Font type bit 0 draws an
// edge of edgeSize pixels in a second colour, bit 1 anti-aliases. Charset
// index 0 default, 1 Shift-JIS, 2 Hangul. slot and check -1: automatic.
int CreateFontToHandle(const char* face, int32_t size, int32_t thickness, int32_t fontType,
                       int32_t charsetIndex, int32_t edgeSize, int32_t italic, int32_t slot = -1,
                       int32_t check = -1);
int DeleteFontHandle(int32_t handle);
int SetFontSpacingToHandle(int32_t spacing, int32_t handle);
// The int is set to 0 now and to 1 when the font is deleted.
int SetFontLostFlagPointer(int32_t handle, int32_t* flag);
// face: room for 256 bytes, or null.
int GetFontHandleInfo(char* face, int32_t* size, int32_t* thickness, int32_t handle);
int GetDefaultFontHandle();
int IsValidFontHandle(int32_t handle);  // 1 or 0
int GetFontHandleSize(int32_t handle);

// Draws the string with its top-left at (x, y); 0, or -1 for an invalid font.
int DrawStringWithDefaultFont(int32_t x, int32_t y, const char* string, int32_t color,
                              int32_t edgeColor = 0);
// vertical 1: the characters run downwards, each turned a quarter clockwise.
int DrawStringWithFontHandle(int32_t x, int32_t y, const char* string, int32_t color,
                             int32_t handle, int32_t edgeColor = 0, int32_t vertical = 0);
