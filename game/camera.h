// The camera of a round: a view that eases toward a followed position,
// pulled ahead toward the mouse; the perspective projection every world draw
// goes through; the watch point of a round without a player; picking a
// character with the right button.
#pragma once
#include <cstdint>

#include "game/game_state.h"

struct Character;

struct CameraState {
  float viewX, viewY;      // the world point shown at the screen centre at depth 0
  float targetX, targetY;  // where the view eases to this frame
  const PositionRecord* followed;  // null until a round starts
};

extern CameraState g_camera;
// The character picked while the right button holds the world still, or null.
extern Character* PickedCharacter;

// A world point projected onto the 1024 x 768 screen. A point at or behind
// the eye has no place on the screen: inFront is false, x and y are NaN,
// and it is not drawn.
struct ScreenPoint {
  float x, y;
  bool inFront;
};
ScreenPoint ProjectToScreen(float x, float y, float z);
// The graphic centred on the projection of a world point, transparent, not
// turned; nothing for a point at or behind the eye.
void DrawAtWorldPoint(float x, float y, float z, double scale, double angle, int32_t graph);

void UpdateCamera();
// The view jumps to the target.
void SnapCamera();
void PickCharacterUnderCursor();
void SetFieldCentre(WatchPoint& watchPoint);
void UpdateWatchCamera(WatchPoint& watchPoint);
