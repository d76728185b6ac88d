#include "game/camera.h"

CameraState g_camera = {};
Character* PickedCharacter = nullptr;

ScreenPoint ProjectToScreen(float x, float y, float z) { return {0.0f, 0.0f}; }

void UpdateCamera() {}

void SnapCamera() {}

void PickCharacterUnderCursor() {}

void SetFieldCentre(WatchPoint& watchPoint) {}

void UpdateWatchCamera(WatchPoint& watchPoint) {}
