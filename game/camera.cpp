#include "game/camera.h"

#include <cmath>

#include "core/varnok.h"
#include "game/character.h"
#include "game/field.h"
#include "game/input_record.h"
#include "game/maths.h"

CameraState g_camera = {};
Character* PickedCharacter = nullptr;

namespace {

constexpr float kScreenCentreX = 512.0f, kScreenCentreY = 384.0f;
// How far the view is pulled toward the mouse at the screen's edges.
constexpr float kLookAhead = 256.0f;
constexpr float kEasing = 0.08f;
// The eye's distance from depth 0, about 512 / tan 30 degrees, so that a
// point at depth 0 keeps its size.
constexpr double kEyeDistance = 886.8095703125;
constexpr double kTanHalfView = 0.5773502588272095;

constexpr float kWatchSpeed = 10.0f;
constexpr float kWatchPushBack = 20.0f;

// Where the view should go: the followed position, pulled toward the mouse.
bool AimCamera() {
  if (!g_camera.followed) return false;
  const float aheadX = static_cast<float>((g_input.mouseX - 512.0) * 0.001953125);
  const float aheadY = static_cast<float>((g_input.mouseY - 384.0) / 384.0);
  g_camera.targetX = aheadX * kLookAhead + g_camera.followed->x;
  g_camera.targetY = aheadY * kLookAhead + g_camera.followed->y;
  return true;
}

// A free watch point: steered by the direction keys, pushed back when it
// leaves the field.
void SteerWatchPoint(PositionRecord& point) {
  if (g_input.moving) {
    point.x += std::cos(g_input.moveAngle) * kWatchSpeed;
    point.y += std::sin(g_input.moveAngle) * kWatchSpeed;
  }
  switch (g_gameState.settings.fieldMode) {
    case kFieldRectangle:
      if (point.x < 0.0f) point.x += kWatchPushBack;
      if (point.x > kFieldWidth) point.x -= kWatchPushBack;
      if (point.y < 0.0f) point.y += kWatchPushBack;
      if (point.y > kFieldHeight) point.y -= kWatchPushBack;
      break;
    case kFieldDisc:
      if (TruncatedDistanceSquared(kDiscCentre, kDiscCentre, point.x, point.y) >= kDiscRadiusSquared) {
        // Back toward the centre, whatever the keys push.
        const float angle = std::atan2(kDiscCentre - point.y, kDiscCentre - point.x);
        point.x += std::cos(angle) * kWatchPushBack;
        point.y += std::sin(angle) * kWatchPushBack;
      }
      break;
  }
}

}  // namespace

ScreenPoint ProjectToScreen(float x, float y, float z) {
  const float dx = x - g_camera.viewX, dy = y - g_camera.viewY;
  const double depth = z + kEyeDistance;
  // NaN, should a caller draw it anyway, lands far off the screen.
  if (!(depth > 0.0)) return {NAN, NAN, false};
  return {static_cast<float>(dx / depth / kTanHalfView * 512.0 + 512.0),
          static_cast<float>(dy / depth / kTanHalfView * 512.0 + 384.0), true};
}

void DrawAtWorldPoint(float x, float y, float z, double scale, double angle, int32_t graph) {
  const ScreenPoint point = ProjectToScreen(x, y, z);
  if (point.inFront) DrawGraphRotatedFloat(point.x, point.y, scale, angle, graph, 1, 0);
}

void UpdateCamera() {
  if (!AimCamera()) return;
  g_camera.viewX += (g_camera.targetX - g_camera.viewX) * kEasing;
  g_camera.viewY += (g_camera.targetY - g_camera.viewY) * kEasing;
}

void SnapCamera() {
  if (!AimCamera()) return;
  g_camera.viewX = g_camera.targetX;
  g_camera.viewY = g_camera.targetY;
}

void PickCharacterUnderCursor() {
  if (g_input.right == 1) {
    PickedCharacter = nullptr;
    // Depth is ignored: the mouse is taken as a point of depth 0.
    const float worldX = g_input.mouseX + g_camera.viewX - kScreenCentreX;
    const float worldY = g_input.mouseY + g_camera.viewY - kScreenCentreY;
    for (Character& character : g_characters) {
      if (InCircle(TruncateToInt(character.position.x), TruncateToInt(character.position.y), character.radius,
                   TruncateToInt(worldX), TruncateToInt(worldY))) {
        PickedCharacter = &character;
        break;
      }
    }
  }
  if (PickedCharacter) PickedCharacter->hover = 1;
}

void SetFieldCentre(WatchPoint& watchPoint) {
  watchPoint.followed = nullptr;
  switch (g_gameState.settings.fieldMode) {
    case kFieldRectangle:
      watchPoint.position.x = kFieldWidth / 2;
      watchPoint.position.y = kFieldHeight / 2;
      break;
    case kFieldDisc:
      watchPoint.position.x = kDiscCentre;
      watchPoint.position.y = kDiscCentre;
      break;
  }
}

void UpdateWatchCamera(WatchPoint& watchPoint) {
  if (!g_gameState.settings.watchMode) return;
  if (watchPoint.followed)
    watchPoint.position = *watchPoint.followed;
  else
    SteerWatchPoint(watchPoint.position);
  if (g_input.left != 1) return;
  // The copy starts next frame: this frame's position stays as it is.
  watchPoint.followed = nullptr;
  for (const Character& character : g_characters) {
    const ScreenPoint centre = ProjectToScreen(character.position.x, character.position.y, character.position.z);
    if (centre.inFront && InCircle(TruncateToInt(centre.x), TruncateToInt(centre.y), character.radius,
                                   g_input.mouseX, g_input.mouseY)) {
      watchPoint.followed = &character.position;
      break;
    }
  }
}
