#include "graphics/draw_settings.h"

#include "core/helpers.h"
#include "graphics/graph_handle.h"
#include "graphics/graphics_api.h"
#include "graphics/screen.h"
#include "softrender/blend_tables.h"
#include "softrender/memimg.h"

DrawSettings g_drawSettings = {
    .blendMode = BlendNone,
    .blendParam = 255,
    .blendGraph = -1,
    .borderParam = 0,
    .borderRange = 0,
    .drawScreen = -2,
    .drawArea = {0, 0, 0, 0},
    .textureFilterMode = 0,
    .brightness = {255, 255, 255, 0},
    .drawingSuspended = 0,
    .drawAreaEmpty = 0,
    .maskedDrawing = 0,
    .deviceHasBlendOps = 0,
    .frameCounter = 0,
    .drawTarget = nullptr,
    .blendImage = nullptr,
};

namespace {

BlendGraphLookup g_blendGraphLookup = LookupBlendGraphImage;
int32_t g_screenColorBitDepth = 0;


// The empty flag always follows the area.
void SetDrawArea(DrawSettings& s, const IntRect& area) {
  s.drawArea = area;
  s.drawAreaEmpty = area.right > area.left && area.bottom > area.top ? 0 : 1;
}

}  // namespace

void SetDefaultDrawSettings(int32_t screenWidth, int32_t screenHeight) {
  DrawSettings& s = g_drawSettings;
  s.blendMode = BlendNone;
  s.blendParam = 255;
  s.blendGraph = -1;
  s.borderParam = 0;
  s.borderRange = 0;
  s.blendImage = nullptr;
  s.drawScreen = -2;
  SetDrawArea(s, {0, 0, screenWidth, screenHeight});
  s.textureFilterMode = 0;
  s.brightness[0] = s.brightness[1] = s.brightness[2] = 255;
  s.brightness[3] = 0;
}

int SetBlendMode(int32_t mode, int32_t parameter) {
  DrawSettings& s = g_drawSettings;
  if (s.drawingSuspended) return 0;
  if (s.blendMode == mode && s.blendParam == parameter) return 0;
  s.blendMode = mode;
  s.blendParam = ClampByte(parameter);
  return 0;
}

int SetDrawBrightnessRgb(int32_t red, int32_t green, int32_t blue) {
  DrawSettings& s = g_drawSettings;
  if (s.brightness[2] == red && s.brightness[1] == green && s.brightness[0] == blue) return 0;
  s.brightness[2] = static_cast<uint8_t>(ClampByte(red));
  s.brightness[1] = static_cast<uint8_t>(ClampByte(green));
  s.brightness[0] = static_cast<uint8_t>(ClampByte(blue));
  return 0;
}

int SetDrawBrightnessPacked(uint32_t rgb) {
  DrawSettings& s = g_drawSettings;
  rgb &= 0xFFFFFF;
  if (DrawBrightnessRgb(s) == rgb) return 0;
  s.brightness[0] = static_cast<uint8_t>(rgb);
  s.brightness[1] = static_cast<uint8_t>(rgb >> 8);
  s.brightness[2] = static_cast<uint8_t>(rgb >> 16);
  return 0;
}

void SetBlendGraphLookup(BlendGraphLookup lookup) {
  g_blendGraphLookup = lookup ? lookup : LookupBlendGraphImage;
}

int SetBlendGraphParams(int32_t graph, int32_t borderParam, int32_t borderRange) {
  DrawSettings& s = g_drawSettings;
  if (s.drawingSuspended) return 0;
  if (s.blendGraph == graph && s.borderParam == borderParam && s.borderRange == borderRange) {
    return 0;
  }
  MEMIMG* image = nullptr;
  if (graph != -1) {
    int32_t width = 0, height = 0;
    image = g_blendGraphLookup(graph, &width, &height);
    if (!image) return -1;
  }
  s.blendGraph = graph;
  s.borderParam = ClampByte(borderParam);
  s.borderRange = ClampByte(borderRange);
  s.blendImage = image;
  SetMemImgBorderTable(s.borderParam, s.borderRange);
  return 0;
}

int CheckBlendGraphSize(int32_t drawnWidth, int32_t drawnHeight) {
  const DrawSettings& s = g_drawSettings;
  int32_t width = 0, height = 0;
  if (!g_blendGraphLookup(s.blendGraph, &width, &height)) return -1;
  return width < drawnWidth || height < drawnHeight ? -1 : 0;
}

int GetScreenColorBitDepth() { return g_screenColorBitDepth; }
void SetScreenColorBitDepth(int32_t bits) { g_screenColorBitDepth = bits; }

int SelectDrawScreen(int32_t screen) {
  DrawSettings& s = g_drawSettings;
  MEMIMG* target = nullptr;
  if (screen == -2) {
    target = GetBackScreenImage();
  } else {
    GraphHandleRecord* graph = LookupGraphHandle(screen);
    if (!graph) return -1;
    target = &graph->image;
  }
  s.drawScreen = screen;
  s.drawTarget = target;
  // The draw area follows the new target: all of it.
  SetDrawArea(s, target ? IntRect{0, 0, target->width, target->height} : IntRect{0, 0, 0, 0});
  return 0;
}

int SetDrawClipArea(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  DrawSettings& s = g_drawSettings;
  if (!s.drawTarget) return -1;
  IntRect area{left, top, right, bottom};
  const IntRect whole{0, 0, s.drawTarget->width, s.drawTarget->height};
  ClipRectToRect(&area, &whole);
  SetDrawArea(s, area);
  return 0;
}

int SetTextureFilterMode(int32_t mode) {
  if (mode < 0 || mode > 2) return -1;
  g_drawSettings.textureFilterMode = mode;
  return 0;
}

int64_t GetFrameCounter64() { return static_cast<int64_t>(g_drawSettings.frameCounter); }
