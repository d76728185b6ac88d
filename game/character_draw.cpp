#include "game/character_draw.h"

#include <algorithm>
#include <cmath>

#include "core/varnok.h"
#include "game/camera.h"
#include "game/damage.h"
#include "game/digits.h"
#include "game/input_record.h"
#include "game/maths.h"

int32_t g_relationLineAlpha = 0;

namespace {

ScreenPoint Project(const PositionRecord& p) { return ProjectToScreen(p.x, p.y, p.z); }

void DrawAt(const PositionRecord& p, double scale, double angle, int32_t graph) {
  DrawAtWorldPoint(p.x, p.y, p.z, scale, angle, graph);
}

void DrawRelationLines() {
  const int32_t hostile = PackRgbToScreenColor(255, 16, 16), friendly = PackRgbToScreenColor(16, 255, 16);
  for (const Character& a : g_characters) {
    const ScreenPoint from = Project(a.position);
    for (const Character& b : g_characters) {
      const int32_t relation = a.relation[b.id];
      if (&a == &b || relation == 0) continue;
      const ScreenPoint to = Project(b.position);
      if (!from.inFront || !to.inFront) continue;
      DrawLine(TruncateToInt(from.x), TruncateToInt(from.y), TruncateToInt(to.x), TruncateToInt(to.y),
               relation > 0 ? hostile : friendly, 1);
    }
  }
}

// The face a creature shows toward another, from -100 friendly to 100 hostile.
int32_t FaceCell(int32_t aggression) {
  if (aggression < -50) return 1;
  if (aggression < 0) return 2;
  if (aggression == 0) return 3;
  if (aggression <= 50) return 4;
  return 5;
}

}  // namespace

WorldPoint EyeOffset(const Character& c, int side) {
  const double e = c.eyeAngle + (side == 0 ? -0.45 : 0.45);
  const double distance = c.radius * 0.92;
  return {static_cast<float>(std::cos(e) * distance), static_cast<float>(std::sin(e) * distance)};
}

void DrawCharacters() {
  if (g_input.wheel != 0) g_relationLineAlpha = std::clamp(g_relationLineAlpha + g_input.wheel * 10, 0, 255);
  SetGameBlendMode(1, 92);
  for (const DeadBody& body : g_deadBodies) DrawDeadBody(body);
  if (g_relationLineAlpha > 0) {
    SetGameBlendMode(2, g_relationLineAlpha);
    DrawRelationLines();
  }
  for (Character& c : g_characters) DrawCharacterBody(c);
}

void DrawCharacterBody(Character& c) {
  const PositionRecord& p = c.position;
  const int32_t cell = c.level - 1;
  SetGameBlendMode(1, 255);
  DrawAt(p, 1.0, p.heading, chara_commonParts_bone[cell]);
  DrawAt(p, 1.0, p.heading, chara_commonParts_circle[cell]);
  SetGameBlendMode(2, 128);
  DrawAt(p, c.level * 0.1 + 0.5, p.heading, chara_color_aura[c.colour]);
  SetBlendMode(CurrentBlendMode, GetRandomValue(32));
  DrawAt(p, c.level * 0.1 + 1.0, p.heading, chara_color_aura[c.colour]);
  SetGameBlendMode(1, 255);
  // The eyes lag behind the body's turn and look where it wants to go.
  c.eyeAngle = static_cast<float>(c.eyeAngle + AngleDelta(c.eyeAngle, p.heading) * 0.08);
  WrapAngle(c.eyeAngle);
  c.eyeLookHeading = c.wantedHeading;
  c.eyeLookDistance = static_cast<float>(std::min(c.speed / 1.5 * 3.0, 3.0));
  for (int side = 0; side < 2; side++) {
    const WorldPoint eye = EyeOffset(c, side);
    const ScreenPoint e = ProjectToScreen(p.x + eye.x, p.y + eye.y, p.z);
    if (e.inFront) DrawCharacterEyes(e.x, e.y, c.eyeLookHeading, c.eyeLookDistance);
  }
}

void DrawCharacterEyes(float screenX, float screenY, float lookAngle, float lookDistance) {
  DrawGraphRotatedFloat(screenX, screenY, 1.0, 0.0, chara_commonParts_eye[0], 1, 0);
  DrawGraphRotatedFloat(screenX + std::cos(lookAngle) * lookDistance, screenY + std::sin(lookAngle) * lookDistance,
                        1.0, 0.0, chara_commonParts_eye[1], 1, 0);
}

void DrawItemMessages() {
  // The captions set their own blend parameter in this mode.
  CurrentBlendMode = 2;
  for (Character& c : g_characters) DrawMessageList(c.messages);
}

void DrawAllStatusMarks() {
  for (const Character& c : g_characters) DrawStatusMarks(c);
}

void DrawStatusMarks(const Character& h) {
  if (h.statusAlpha < 0.01) return;
  SetGameBlendMode(1, TruncateToInt(h.statusAlpha * 256.0));
  // Over every computer creature, a face of how it feels toward this one,
  // on the side facing it.
  for (const Character& k : g_characters) {
    if (IsPlayer(k) || &k == &h) continue;
    const float angle = std::atan2(h.position.y - k.position.y, h.position.x - k.position.x);
    const double reach = k.radius + 32;
    const float x = static_cast<float>(k.position.x + std::cos(angle) * reach);
    const float y = static_cast<float>(k.position.y + std::sin(angle) * reach);
    DrawAtWorldPoint(x, y, k.position.z, 1.0, angle, aggressionMark[0]);
    DrawAtWorldPoint(x, y, k.position.z, 1.0, 0.0, aggressionMark[FaceCell(k.aggression[h.id])]);
  }
  SetGameBlendMode(1, TruncateToInt(h.statusAlpha * 255.0));
  const ScreenPoint s = Project(h.position);
  if (!s.inFront) return;
  const struct {
    float dy;
    int32_t upper, current;
  } rows[] = {{-128, h.maxLife, h.life}, {-100, h.maxAmmunition, h.ammunition}, {-72, h.foodNeeded, h.food}};
  for (int row = 0; row < 3; row++) {
    const float y = s.y + rows[row].dy;
    DrawGraphAtFloat(s.x - 80, y, statusMark[1 + row], 1);
    DrawNumber(rows[row].upper, s.x + 60, y, num16_24);
    DrawNumber(rows[row].current, s.x - 16, y, num16_24);
    DrawGraphAtFloat(s.x, y, statusMark[0], 1);
  }
}

void AddArrowMarks(const Character& c, int32_t colour, uint8_t rising) {
  const int32_t spread = c.radius * 3, half = TruncateToInt(c.radius * 1.5);
  const float x = c.position.x + static_cast<float>(GetRandomValue(spread) - half);
  const float y = c.position.y + static_cast<float>(GetRandomValue(spread) - half);
  Effect& arrow = AddEffect(chara_color_arrow[colour], &MoveEffectProc);
  arrow.x = x;
  arrow.y = y;
  arrow.step = 0.5f;
  arrow.angle = arrow.moveAngle = static_cast<float>(rising ? kQuarterTurn : -kQuarterTurn);
}
