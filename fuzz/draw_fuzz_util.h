// Shared by the draw fuzz targets: sequences of public draw calls with
// hostile parameters (quads, lines, rotated, part and stretched draws, boxes,
// text in hostile Shift-JIS with hostile spacing, fonts of hostile
// thickness, draw state and areas) on a small screen of the target's depth.
// One target a depth: starting the library again costs more than hundreds
// of inputs.
#pragma once
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <cstdint>
#include <limits>
#include <string>

#include "core/core_api.h"
#include "font/font_api.h"
#include "graphics/graphics_api.h"
#include "graphics/screen.h"
#include "platform/scripted_present.h"
#include "platform/scripted_window.h"
#include "platform/window.h"

namespace {

constexpr int kScreenWidth = 40, kScreenHeight = 30;
constexpr int kMaxCalls = 64;

ScriptedWindow g_window;
ScriptedPresenter g_presenter;
int g_depth = 0;
int g_graphs[4];

// Values at the edges of every range the draws meet: the 14.18 fixed point,
// the screen, the int range.
constexpr int32_t kEdgeInts[] = {0,        1,         -1,        2,          7,          8,          39,
                                 40,       8190,      8191,      8192,       -8191,      -8192,      -8193,
                                 16383,    16384,     65535,     65536,      21474836,   21474837,   INT32_MAX,
                                 INT32_MIN, INT32_MAX - 1, INT32_MIN + 1, 1 << 30, -(1 << 30)};

int32_t HostileInt(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0: return in.PickValueInArray(kEdgeInts);
    case 1: return static_cast<int32_t>(int64_t{in.PickValueInArray(kEdgeInts)} + in.ConsumeIntegralInRange(-3, 3));
    case 2: return in.ConsumeIntegralInRange(-60, 60);
    default: return in.ConsumeIntegral<int32_t>();
  }
}

double HostileDouble(FuzzedDataProvider& in) {
  static const double kEdges[] = {0.0,  -0.0, 1.0, -1.0, 0.5, 1e-300, 1e300, 8191.0, 8192.0, -8192.5,
                                  2147483647.0, 4294967296.0, std::numeric_limits<double>::infinity(),
                                  -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()};
  switch (in.ConsumeIntegralInRange(0, 2)) {
    case 0: return in.PickValueInArray(kEdges);
    case 1: return static_cast<double>(HostileInt(in)) + in.ConsumeProbability<double>();
    default: return in.ConsumeFloatingPoint<double>();
  }
}

float HostileFloat(FuzzedDataProvider& in) { return static_cast<float>(HostileDouble(in)); }

int32_t AnyGraph(FuzzedDataProvider& in) {
  return in.ConsumeIntegralInRange(0, 4) == 4 ? HostileInt(in) : g_graphs[in.ConsumeIntegralInRange(0, 3)];
}

// Shift-JIS text: lead bytes at the end, before a NUL, before a space, as
// well as whatever the input brings.
std::string HostileText(FuzzedDataProvider& in) {
  static const char* const kPieces[] = {"\x81", "\x81\x40", "\x82\xA0", "\xE0", "\xFC\xFC", "\x9F\x7F", "A", " ", "\xA0"};
  std::string text;
  const int pieces = in.ConsumeIntegralInRange(0, 12);
  for (int i = 0; i < pieces; i++) {
    if (in.ConsumeBool()) {
      text += in.PickValueInArray(kPieces);
    } else {
      text += in.ConsumeBytesAsString(in.ConsumeIntegralInRange(0, 6));
    }
  }
  return text;  // c_str() ends it at its first NUL
}

void StartLibrary(int depth) {
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  SetPlatformWindow(&g_window);
  SetPlatformPresenter(&g_presenter);
  SetPresentPacingForTest(0);
  EnableLogFile(0);
  ChangeWindowMode(1);
  SetRunWhenInactive(1);
  SetAllowMultipleInstances(1);  // fuzzing jobs run side by side
  if (SetScreenMode(kScreenWidth, kScreenHeight, depth, 60) != 0 || LibraryInit() != 0) return;
  g_depth = depth;
  // A plain graphic, one with alpha, a one-pixel one and a part of the first.
  SetCreateGraphAlphaChannel(0);
  g_graphs[0] = MakeEmptyGraph(12, 9);
  FillGraphWithColor(g_graphs[0], 200, 40, 90, 255);
  SetCreateGraphAlphaChannel(1);
  g_graphs[1] = MakeEmptyGraph(7, 13);
  FillGraphWithColor(g_graphs[1], 10, 250, 30, 128);
  SetCreateGraphAlphaChannel(0);
  g_graphs[2] = MakeEmptyGraph(1, 1);
  g_graphs[3] = DeriveGraphFromRect(2, 1, 8, 6, g_graphs[0]);
}

void OneCall(FuzzedDataProvider& in) {
  const int32_t color = HostileInt(in);
  switch (in.ConsumeIntegralInRange(0, 14)) {
    case 0: {
      float c[8];
      for (float& v : c) v = HostileFloat(in);
      DrawGraphOnQuadFloat(c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7], AnyGraph(in), in.ConsumeBool());
      break;
    }
    case 1:
      DrawLine(HostileInt(in), HostileInt(in), HostileInt(in), HostileInt(in), color, HostileInt(in));
      break;
    case 2:
      DrawGraphRotated(HostileInt(in), HostileInt(in), HostileDouble(in), HostileDouble(in), AnyGraph(in),
                       in.ConsumeBool(), in.ConsumeBool());
      break;
    case 3:
      DrawGraphRotatedFloat(HostileFloat(in), HostileFloat(in), HostileDouble(in), HostileDouble(in), AnyGraph(in),
                            in.ConsumeBool(), in.ConsumeBool());
      break;
    case 4:
      DrawGraphPartAt(HostileInt(in), HostileInt(in), HostileInt(in), HostileInt(in), HostileInt(in), HostileInt(in),
                      AnyGraph(in), in.ConsumeBool(), in.ConsumeBool());
      break;
    case 5:
      DrawGraphPartStretched(HostileInt(in), HostileInt(in), HostileInt(in), HostileInt(in), HostileInt(in),
                             HostileInt(in), HostileInt(in), HostileInt(in), AnyGraph(in), in.ConsumeBool());
      break;
    case 6:
      DrawGraphAt(HostileInt(in), HostileInt(in), AnyGraph(in), in.ConsumeBool());
      DrawGraphAtFloat(HostileFloat(in), HostileFloat(in), AnyGraph(in), in.ConsumeBool());
      break;
    case 7:
      DrawRectangle(HostileInt(in), HostileInt(in), HostileInt(in), HostileInt(in), color, in.ConsumeBool());
      break;
    case 8:
      SetBlendMode(HostileInt(in), HostileInt(in));
      break;
    case 9:
      SetDrawBrightnessRgb(HostileInt(in), HostileInt(in), HostileInt(in));
      break;
    case 10:
      SetDrawClipArea(HostileInt(in), HostileInt(in), HostileInt(in), HostileInt(in));
      break;
    case 11:
      SetBlendGraphParams(in.ConsumeBool() ? -1 : AnyGraph(in), HostileInt(in), HostileInt(in));
      break;
    case 12: {
      const int font = in.ConsumeBool() ? GetDefaultFontHandle() : HostileInt(in);
      SetFontSpacingToHandle(HostileInt(in), font);
      const std::string text = HostileText(in);
      DrawStringWithFontHandle(HostileInt(in), HostileInt(in), text.c_str(), color, font, HostileInt(in),
                               in.ConsumeBool());
      SetFontSpacingToHandle(0, GetDefaultFontHandle());
      break;
    }
    case 13: {
      const std::string text = HostileText(in);
      DrawStringWithDefaultFont(HostileInt(in), HostileInt(in), text.c_str(), color, HostileInt(in));
      break;
    }
    case 14: {
      // Sizes stay small enough to render at once; thickness, type, edge and
      // charset are anything.
      const int font = CreateFontToHandle(nullptr, in.ConsumeIntegralInRange(-2, 40), HostileInt(in),
                                          in.ConsumeIntegralInRange(-2, 4), in.ConsumeIntegralInRange(-2, 3),
                                          in.ConsumeIntegralInRange(-2, 6), in.ConsumeBool());
      if (font != -1) {
        SetFontSpacingToHandle(HostileInt(in), font);
        const std::string text = HostileText(in);
        DrawStringWithFontHandle(HostileInt(in), HostileInt(in), text.c_str(), color, font, color,
                                 in.ConsumeBool());
        DeleteFontHandle(font);
      }
      break;
    }
  }
}

}  // namespace

// Runs the calls the bytes describe on a screen of the depth, started once.
inline void FuzzDrawCalls(int depth, const uint8_t* data, size_t size) {
  if (!g_depth) {
    static bool tried = false;
    if (tried) return;
    tried = true;
    StartLibrary(depth);
    if (!g_depth) return;
  }
  FuzzedDataProvider in(data, size);
  SetDrawClipArea(0, 0, kScreenWidth, kScreenHeight);
  SetBlendMode(0, 255);
  SetDrawBrightnessRgb(255, 255, 255);
  SetBlendGraphParams(-1, 0, 0);
  for (int i = 0; i < kMaxCalls && in.remaining_bytes() > 0; i++) OneCall(in);
}
