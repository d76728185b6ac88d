// The draw calls in software mode: each checks its graphic, waits while the
// window is inactive, refuses a blend graphic smaller than what it draws, and
// hands the current draw target, the graphic's image and the blend image to
// the software renderer, which applies the blend mode, parameter, brightness
// and draw area itself.
#include <algorithm>
#include <cmath>

#include "core/helpers.h"
#include "core/window.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_handle.h"
#include "graphics/graphics_api.h"
#include "softrender/blit.h"
#include "softrender/box_line.h"
#include "softrender/memimg.h"
#include "softrender/rotate_blit.h"
#include "softrender/triangle.h"

namespace {

// The rotated blit works in 14.18 fixed point: centres and drawn sizes stay
// below this many pixels.
constexpr double kRotateLimit = 8192.0;

// The graphic of a draw, or null when the handle is not a live graphic or
// there is nothing to draw into. A graphic is never drawn into its own
// pixels: the renderer's rows would be read while they are written.
GraphHandleRecord* GraphForDraw(int32_t graph) {
  WaitWhileInactive();
  GraphHandleRecord* record = LookupGraphHandle(graph);
  const MEMIMG* target = g_drawSettings.drawTarget;
  if (!record || !target || target->base == record->image.base) return nullptr;
  UpdateGraphMovie(record);
  return record;
}

// The renderer reads the blend image at source positions without bounds
// tests, so a blend graphic must cover what is drawn.
bool BlendGraphCovers(int32_t width, int32_t height) {
  return g_drawSettings.blendGraph == -1 || CheckBlendGraphSize(width, height) == 0;
}

// The graphic of a draw of all its pixels, or null.
GraphHandleRecord* WholeGraphForDraw(int32_t graph) {
  GraphHandleRecord* record = GraphForDraw(graph);
  return record && BlendGraphCovers(record->width, record->height) ? record : nullptr;
}

int32_t Transparent(int32_t flag) { return flag ? 1 : 0; }

// A float position as the software renderer takes it: truncated toward zero
// and held at the ends of the int range, so that a point far off one side
// stays off that side. NaN, which has no side, goes far off the left, where
// the x87 form put everything it could not hold.
int32_t PixelOf(float value) {
  if (value >= 2147483647.0f) return INT32_MAX;
  if (!(value > -2147483648.0f)) return INT32_MIN;
  return static_cast<int32_t>(value);
}

// A view of the part of the graphic that a draw reads, or false when there
// is none to draw or the part is not inside the graphic.
bool PartForDraw(int32_t graph, int32_t x, int32_t y, int32_t width, int32_t height, MEMIMG* part) {
  GraphHandleRecord* record = GraphForDraw(graph);
  if (!record || !BlendGraphCovers(width, height)) return false;
  if (x < 0 || y < 0 || width <= 0 || height <= 0 || int64_t{x} + width > record->width ||
      int64_t{y} + height > record->height) {
    return false;
  }
  *part = MEMIMG{};
  DeriveMemImg(part, &record->image, x, y, width, height);
  return CheckValidMemImg(part) != 0;
}

// Whether a graphic turned about (x, y) at the scale can reach the draw
// area: the circle through its corners, with more than the renderer's
// margin around its covering rectangle and its rounding of the corners.
bool RotatedReachesDrawArea(int32_t x, int32_t y, double scale, int32_t width, int32_t height) {
  const double reach = std::fabs(scale) * std::hypot(width, height) * 0.5 + 8.0;
  const IntRect area = BlitClipRect(g_drawSettings.drawTarget);
  return x + reach > area.left && x - reach < area.right && y + reach > area.top && y - reach < area.bottom;
}

int DrawRotated(int32_t x, int32_t y, double scale, double angle, int32_t graph, int32_t transparent,
                int32_t turn) {
  GraphHandleRecord* record = WholeGraphForDraw(graph);
  if (!record) return -1;
  // A zero scale has no inverse mapping; beyond the fixed-point range the
  // renderer's arithmetic does not hold. Nothing is drawn.
  if (!std::isfinite(scale) || !std::isfinite(angle) || scale == 0.0) return 0;
  // Sprites off the draw area (most of a scattered field) cost no set-up.
  if (!RotatedReachesDrawArea(x, y, scale, record->width, record->height)) return 0;
  if (std::fabs(scale) * record->width >= kRotateLimit || std::fabs(scale) * record->height >= kRotateLimit ||
      std::abs(static_cast<int64_t>(x)) >= kRotateLimit || std::abs(static_cast<int64_t>(y)) >= kRotateLimit) {
    return 0;
  }
  RotateBlitMemImg(g_drawSettings.drawTarget, &record->image, x, y, static_cast<float>(angle),
                   static_cast<float>(scale), Transparent(transparent), turn ? 1 : 0,
                   g_drawSettings.blendImage);
  return 0;
}

// Where a line of the thickness has its edges: two triangles between the
// end points pushed half the thickness to either side.
void DrawThickLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t color, int32_t thickness) {
  const double dx = static_cast<double>(x2) - x1, dy = static_cast<double>(y2) - y1;
  const double length = std::sqrt(dx * dx + dy * dy);
  if (length == 0.0) return;
  const double nx = -dy / length * thickness * 0.5, ny = dx / length * thickness * 0.5;
  auto corner = [](double x, double y) {
    return TriangleVertex{static_cast<int32_t>(std::lround(x)), static_cast<int32_t>(std::lround(y)), 0, 0};
  };
  const TriangleVertex a = corner(x1 + nx, y1 + ny), b = corner(x2 + nx, y2 + ny);
  const TriangleVertex c = corner(x1 - nx, y1 - ny), d = corner(x2 - nx, y2 - ny);
  const TriangleVertex first[3] = {a, b, c};
  const TriangleVertex second[3] = {b, c, d};
  DrawTriangleMemImg(g_drawSettings.drawTarget, nullptr, first, 0, nullptr, color);
  DrawTriangleMemImg(g_drawSettings.drawTarget, nullptr, second, 0, nullptr, color);
}

}  // namespace

int DrawGraphAt(int32_t x, int32_t y, int32_t graph, int32_t transparent) {
  GraphHandleRecord* record = WholeGraphForDraw(graph);
  if (!record) return -1;
  BlitMemImg(g_drawSettings.drawTarget, &record->image, x, y, Transparent(transparent),
             g_drawSettings.blendImage);
  return 0;
}

int DrawGraphAtFloat(float x, float y, int32_t graph, int32_t transparent) {
  return DrawGraphAt(PixelOf(x), PixelOf(y), graph, transparent);
}

int DrawGraphRotated(int32_t x, int32_t y, double scale, double angle, int32_t graph,
                     int32_t transparent, int32_t turn) {
  return DrawRotated(x, y, scale, angle, graph, transparent, turn);
}

int DrawGraphRotatedFloat(float x, float y, double scale, double angle, int32_t graph,
                          int32_t transparent, int32_t turn) {
  // The centre is truncated to whole pixels.
  return DrawRotated(PixelOf(x), PixelOf(y), scale, angle, graph, transparent, turn);
}

int DrawGraphPartAt(int32_t x, int32_t y, int32_t sourceX, int32_t sourceY, int32_t width,
                    int32_t height, int32_t graph, int32_t transparent, int32_t turn) {
  MEMIMG part;
  if (!PartForDraw(graph, sourceX, sourceY, width, height, &part)) return -1;
  if (turn) {
    // Mirrored: the stretched blit takes a reversed x pair as a left-right turn.
    // A part whose far edge lies past the int range is beyond every draw area.
    const int64_t right = int64_t{x} + width, bottom = int64_t{y} + height;
    if (right <= INT32_MAX && bottom <= INT32_MAX) {
      const IntRect rect{static_cast<int32_t>(right), y, x, static_cast<int32_t>(bottom)};
      StretchBlitMemImg(g_drawSettings.drawTarget, &part, &rect, Transparent(transparent),
                        g_drawSettings.blendImage);
    }
  } else {
    BlitMemImg(g_drawSettings.drawTarget, &part, x, y, Transparent(transparent), g_drawSettings.blendImage);
  }
  ReleaseMemImg(&part);
  return 0;
}

int DrawGraphPartStretched(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t sourceX,
                           int32_t sourceY, int32_t width, int32_t height, int32_t graph,
                           int32_t transparent) {
  MEMIMG part;
  if (!PartForDraw(graph, sourceX, sourceY, width, height, &part)) return -1;
  const IntRect rect{x1, y1, x2, y2};
  StretchBlitMemImg(g_drawSettings.drawTarget, &part, &rect, Transparent(transparent), g_drawSettings.blendImage);
  ReleaseMemImg(&part);
  return 0;
}

int DrawGraphOnQuadFloat(float x1, float y1, float x2, float y2, float x3, float y3, float x4,
                         float y4, int32_t graph, int32_t transparent) {
  GraphHandleRecord* record = WholeGraphForDraw(graph);
  if (!record) return -1;
  // The caller names the corners clockwise from the top-left; the renderer
  // takes top-left, top-right, bottom-left, bottom-right.
  const int32_t corners[4][2] = {{PixelOf(x1), PixelOf(y1)},
                                 {PixelOf(x2), PixelOf(y2)},
                                 {PixelOf(x4), PixelOf(y4)},
                                 {PixelOf(x3), PixelOf(y3)}};
  DrawQuadAsTrianglesMemImg(g_drawSettings.drawTarget, &record->image, corners, Transparent(transparent),
                            g_drawSettings.blendImage);
  return 0;
}

int DrawLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t color, int32_t thickness) {
  WaitWhileInactive();
  if (!g_drawSettings.drawTarget || thickness <= 0) return -1;
  if (thickness == 1) {
    DrawLineMemImg(g_drawSettings.drawTarget, x1, y1, x2, y2, color);
  } else {
    DrawThickLine(x1, y1, x2, y2, static_cast<uint32_t>(color), thickness);
  }
  return 0;
}

int DrawRectangle(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t color, int32_t fill) {
  WaitWhileInactive();
  if (!g_drawSettings.drawTarget) return -1;
  const int32_t left = std::min(x1, x2), right = std::max(x1, x2);
  const int32_t top = std::min(y1, y2), bottom = std::max(y1, y2);
  // An outline two pixels wide or high is all border: filled, each pixel once.
  if (fill || int64_t{right} - left <= 2 || int64_t{bottom} - top <= 2) {
    const IntRect rect{left, top, right, bottom};
    FillBoxMemImg(g_drawSettings.drawTarget, &rect, color);
    return 0;
  }
  // Corner to corner around the last pixels inside; each line leaves out its
  // end, so every border pixel is drawn once.
  const LineRecord lines[4] = {
      {left, top, right - 1, top, color, 0},
      {right - 1, top, right - 1, bottom - 1, color, 0},
      {right - 1, bottom - 1, left, bottom - 1, color, 0},
      {left, bottom - 1, left, top, color, 0},
  };
  DrawLineListMemImg(g_drawSettings.drawTarget, lines, 4);
  return 0;
}

int BeginSubtractBlendEmulation(const IntRect* rect) { return 0; }
int EndSubtractBlendEmulation(const IntRect* rect) { return 0; }
int BeginMaskedDraw(const IntRect* rect) { return 0; }
int EndMaskedDraw(const IntRect* rect) { return 0; }
