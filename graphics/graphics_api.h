// Public functions of the library's graphics subsystem, as the game sees them.
#pragma once
#include <cstdint>

// Draw state.
int SetBlendMode(int32_t mode, int32_t parameter);
int SetDrawBrightnessRgb(int32_t red, int32_t green, int32_t blue);
int SetDrawBrightnessPacked(uint32_t rgb);
int SetBlendGraphParams(int32_t graph, int32_t borderParam, int32_t borderRange);
