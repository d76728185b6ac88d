#include "game/player_control.h"

#include <cmath>

#include "game/camera.h"
#include "game/character_update.h"
#include "game/input_record.h"
#include "game/maths.h"

void PlayerController(int32_t event, Character& c, CharacterList&, CharacterList::iterator) {
  if (event != kControllerFrame) return;
  const InputState& in = g_input;
  if (in.moving) {
    c.wantedHeading = in.moveAngle;
    Accelerate(c);
  } else {
    Coast(c);
  }
  if (in.left >= 1) {
    const ScreenPoint s = ProjectToScreen(c.position.x, c.position.y, c.position.z);
    TryShoot(c, std::atan2(in.mouseY - s.y, in.mouseX - s.x));
  }
}

void TestHover() {
  const InputState& in = g_input;
  for (Character& c : g_characters) {
    const ScreenPoint s = ProjectToScreen(c.position.x, c.position.y, c.position.z);
    const int64_t radius = c.radius;
    if (TruncatedDistanceSquared(s.x, s.y, static_cast<float>(in.mouseX), static_cast<float>(in.mouseY)) <
        radius * radius)
      c.hover = 1;
  }
}

void FadeHoverMarks() {
  for (Character& c : g_characters) {
    if (c.hover) {
      if (c.statusAlpha < 1.0f) c.statusAlpha = static_cast<float>(c.statusAlpha + 0.06);
      c.hover = 0;
    } else if (c.statusAlpha > 0.0f) {
      c.statusAlpha = static_cast<float>(c.statusAlpha - 0.02);
    }
  }
}
