// The draw state that graphics, fonts, movies, the game and the software
// renderer share. The renderer reads it once at the start of every draw.
#pragma once
#include <cstdint>

#include "core/types.h"
#include "graphics/graphics_api.h"

struct MEMIMG;

// Blend modes as the software renderer applies them; 5 to 9 and values above
// 11 (compared unsigned, so negative ones too) draw nothing.
enum BlendMode : int32_t {
  BlendNone = 0,
  BlendAlpha = 1,
  BlendAdd = 2,
  BlendSubtract = 3,
  BlendMultiply = 4,
  BlendInvertedSource = 10,
  BlendMultiplyAlpha = 11,
};

struct DrawSettings {
  int32_t blendMode;        // stored as given, no range check
  int32_t blendParam;       // 0..255
  int32_t blendGraph;       // graphic handle of the blend graphic, or -1
  int32_t borderParam;      // 0..255
  int32_t borderRange;      // 0..255
  int32_t drawScreen;       // -2 back screen, or a graphic handle
  IntRect drawArea;         // right and bottom exclusive
  int32_t textureFilterMode;
  // Blue, green, red, then a zero byte: read together as 0x00RRGGBB;
  // 0xFFFFFF means no brightness.
  uint8_t brightness[4];
  int32_t drawingSuspended;  // never set in this system
  int32_t drawAreaEmpty;
  int32_t maskedDrawing;     // never set in this system
  int32_t deviceHasBlendOps;
  uint64_t frameCounter;
  MEMIMG* drawTarget;        // the image software draws write into
  MEMIMG* blendImage;        // the blend graphic's 8-bit image, or null
};

extern DrawSettings g_drawSettings;

// The brightness as red << 16 | green << 8 | blue.
inline uint32_t DrawBrightnessRgb(const DrawSettings& s) {
  return static_cast<uint32_t>(s.brightness[2]) << 16 | static_cast<uint32_t>(s.brightness[1]) << 8 |
         s.brightness[0];
}
constexpr uint32_t kNoBrightness = 0xFFFFFF;

// Mode 0, parameter 255, no brightness, no blend graphic, back screen, the
// given draw area (the screen's size), draw target and blend image kept.
void SetDefaultDrawSettings(int32_t screenWidth, int32_t screenHeight);

// Answers for blend graphic handles: the graphic's 8-bit MEMIMG and size, or
// null when the handle is no live blend graphic. The graphic table answers
// unless a test installs another (null restores it).
using BlendGraphLookup = MEMIMG* (*)(int32_t graph, int32_t* width, int32_t* height);
void SetBlendGraphLookup(BlendGraphLookup lookup);

// -1 when a blend graphic is set but its handle is no longer valid, or it is
// narrower or lower than the drawn graphic; else 0.
int CheckBlendGraphSize(int32_t drawnWidth, int32_t drawnHeight);

// The screen mode's colour bits (GetScreenColorBitDepth in graphics_api.h).
// The memory images that belong to the screen take colour type 0 for 16, else 1.
void SetScreenColorBitDepth(int32_t bits);
