#include "graphics/screen.h"

#include <algorithm>

#include "core/core_api.h"
#include "core/log.h"
#include "core/window.h"
#include "font/font_handle.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_handle.h"
#include "image/color_format.h"
#include "platform/present.h"
#include "platform/timer.h"
#include "softrender/blend_tables.h"
#include "softrender/memimg.h"

namespace {

// Larger screens would put draw positions beyond what the renderer's 14.18
// fixed point holds.
constexpr int32_t kMaxScreenSide = 8192;
constexpr int32_t kDefaultRefreshRate = 60;

struct ScreenState {
  int32_t refreshRate = kDefaultRefreshRate;
  int32_t started = 0;
  MEMIMG back = {};
  MEMIMG work = {};
  MEMIMG workAlpha = {};
  int64_t nextFrameMicros = 0;
  int32_t pacing = 1;
};
constinit ScreenState g_screen;

void ReleaseScreenImages() {
  ReleaseMemImg(&g_screen.back);
  ReleaseMemImg(&g_screen.work);
  ReleaseMemImg(&g_screen.workAlpha);
}

// Waits for the next refresh of the screen mode's rate. A loop that falls
// more than a frame behind starts counting again instead of racing to catch up.
void WaitForNextFrame() {
  const int64_t interval = 1000000 / g_screen.refreshRate;
  int64_t now = GetMicroCount();
  if (g_screen.nextFrameMicros != 0) {
    for (int64_t left = g_screen.nextFrameMicros - now; left > 0; left = g_screen.nextFrameMicros - now) {
      // Sleep while a whole millisecond is to spare, then give way in short steps.
      PlatformSleepMs(left > 2000 ? static_cast<uint32_t>((left - 1000) / 1000) : 0);
      now = GetMicroCount();
    }
  }
  const bool onTime = g_screen.nextFrameMicros != 0 && now - g_screen.nextFrameMicros < interval;
  g_screen.nextFrameMicros = (onTime ? g_screen.nextFrameMicros : now) + interval;
}

// A channel value 0..255 in a field of the mask's width, and back again with
// its bits repeated so that a full field gives 255.
uint32_t ChannelToField(int32_t value, uint32_t mask, int width, int shift) {
  if (width <= 0) return 0;
  const uint32_t v = static_cast<uint32_t>(std::clamp(value, 0, 255));
  return ((width >= 8 ? v << (width - 8) : v >> (8 - width)) << shift) & mask;
}

int FieldToChannel(uint32_t pixel, uint32_t mask, int width, int shift) {
  if (width <= 0) return 0;
  uint32_t field = (pixel & mask) >> shift;
  if (width >= 8) return static_cast<int>(field >> (width - 8));
  uint32_t value = 0;
  for (int s = 8 - width; s > -width; s -= width) value |= s >= 0 ? field << s : field >> -s;
  return static_cast<int>(value & 0xFF);
}

}  // namespace

// ---- Screen mode ----------------------------------------------------------

int SetScreenMode(int32_t width, int32_t height, int32_t colorBitDepth, int32_t refreshRate) {
  if (g_screen.started) return LogPrintf("ライブラリの起動後に画面モードは変更できません in SetScreenMode");
  if (width <= 0 || height <= 0 || width > kMaxScreenSide || height > kMaxScreenSide) {
    return LogPrintf("画面サイズ %d x %d は使用できません in SetScreenMode", width, height);
  }
  if (colorBitDepth != 8 && colorBitDepth != 16 && colorBitDepth != 32) {
    return LogPrintf("カラービット数 %d は使用できません in SetScreenMode", colorBitDepth);
  }
  SetMainWindowClientSize(width, height);
  SetScreenColorBitDepth(colorBitDepth);
  g_screen.refreshRate = refreshRate > 0 ? std::min(refreshRate, 1000) : kDefaultRefreshRate;
  return 0;
}

int GetScreenModeSize(int32_t* width, int32_t* height) {
  int w, h;
  GetMainWindowClientSize(&w, &h);
  if (width) *width = w;
  if (height) *height = h;
  return 0;
}

int GetHardwareModeFlag() { return 0; }

int32_t ScreenMemImgColorType() { return GetScreenColorBitDepth() == 16 ? MemImgType16 : MemImgType32; }

// ---- Start and end ----------------------------------------------------------

int InitGraphicsSystem() {
  if (g_screen.started) return 0;
  if (GetScreenColorBitDepth() == 0) SetScreenColorBitDepth(32);
  if (GetUseHardwareRendering()) {
    LogPrintf("ハードウェアアクセラレーションが使えないため、ソフトウェアレンダリングモードで起動します");
  }
  int32_t width, height;
  GetScreenModeSize(&width, &height);
  SetDefaultDrawSettings(width, height);
  InitMemImgBlendTables();

  const int32_t type = ScreenMemImgColorType();
  if (CreateMemImgSimple(&g_screen.back, width, height, type) != 0) {
    return LogPrintf("プライマリサーフェス用の MEMIMG の作成に失敗しました");
  }
  if (CreateMemImg(&g_screen.work, width, height, -1, 0, type, 0, 0, 0, nullptr) != 0 ||
      CreateMemImg(&g_screen.workAlpha, width, height, -1, 0, type, 0, 1, 0, nullptr) != 0) {
    return LogPrintf("メモリイメージの作成に失敗しました");
  }
  FillMemImgRaw(&g_screen.back, nullptr, 0);
  FillMemImgRaw(&g_screen.work, nullptr, 0);
  FillMemImgRaw(&g_screen.workAlpha, nullptr, 0);
  g_drawSettings.drawTarget = &g_screen.back;

  if (GetPlatformPresenter()->Open(width, height, GetScreenColorBitDepth() == 16 ? 16 : 32) != 0) {
    return LogPrintf("画面表示の準備に失敗しました");
  }
  g_screen.nextFrameMicros = 0;
  g_screen.started = 1;
  LogPrintf("画面を %d x %d %dbit %dHz で初期化しました", width, height, GetScreenColorBitDepth(),
            g_screen.refreshRate);
  InitFontManager();
  return 0;
}

void EndGraphicsSystem() {
  EndFontSystem();
  DeleteAllGraphHandles();
  g_drawSettings.blendGraph = -1;
  g_drawSettings.blendImage = nullptr;
  g_drawSettings.drawTarget = nullptr;
  g_drawSettings.drawScreen = -2;
  GetPlatformPresenter()->Close();
  ReleaseScreenImages();
  g_screen.started = 0;
}

int IsGraphicsSystemStarted() { return g_screen.started; }

void InitDrawScreens() {
  if (!g_screen.started) return;
  SelectDrawScreen(-2);
  FillMemImgRaw(&g_screen.back, nullptr, 0);
}

MEMIMG* GetBackScreenImage() { return g_screen.started ? &g_screen.back : nullptr; }

MEMIMG* GetScreenWorkImage(int withAlpha) {
  if (!g_screen.started) return nullptr;
  return withAlpha ? &g_screen.workAlpha : &g_screen.work;
}

// ---- Present ----------------------------------------------------------------

int PresentScreen() {
  if (!g_screen.started || !CheckValidMemImg(&g_screen.back)) return -1;
  if (g_screen.pacing) WaitForNextFrame();
  if (GetPlatformPresenter()->Present(g_screen.back.pixels, g_screen.back.base->pitch) != 0) return -1;
  return 0;
}

void SetPresentPacingForTest(int flag) { g_screen.pacing = flag ? 1 : 0; }

// ---- Colours ----------------------------------------------------------------

uint32_t PackMemImgPixel(int32_t colorType, int32_t alphaFlag, int32_t red, int32_t green,
                         int32_t blue, int32_t alpha) {
  const ColorFormat* f = GetMemImgColorFormat(static_cast<uint32_t>(colorType), alphaFlag, 0);
  if (!f) return 0;
  return ChannelToField(red, f->redMask, f->redWidth, f->redShift) |
         ChannelToField(green, f->greenMask, f->greenWidth, f->greenShift) |
         ChannelToField(blue, f->blueMask, f->blueWidth, f->blueShift) |
         ChannelToField(alpha, f->alphaMask, f->alphaWidth, f->alphaShift);
}

int PackRgbToScreenColor(int32_t red, int32_t green, int32_t blue) {
  return static_cast<int>(PackMemImgPixel(ScreenMemImgColorType(), 0, red, green, blue, 0));
}

int UnpackScreenColorToRgb(int32_t color, int* red, int* green, int* blue) {
  const ColorFormat* f = GetMemImgColorFormat(static_cast<uint32_t>(ScreenMemImgColorType()), 0, 0);
  if (!f) return -1;
  const auto pixel = static_cast<uint32_t>(color);
  if (red) *red = FieldToChannel(pixel, f->redMask, f->redWidth, f->redShift);
  if (green) *green = FieldToChannel(pixel, f->greenMask, f->greenWidth, f->greenShift);
  if (blue) *blue = FieldToChannel(pixel, f->blueMask, f->blueWidth, f->blueShift);
  return 0;
}
