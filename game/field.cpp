#include "game/field.h"

#include <cmath>

#include "core/varnok.h"
#include "game/camera.h"
#include "game/food.h"
#include "game/maths.h"
#include "game/resources.h"

float g_fieldPhase = 0.0f;

namespace {

constexpr int32_t kRingPieces = 96;
constexpr float kRingPieceTurn = 0.0654497966170311f;  // a full turn of 6.28318 over 96 pieces
constexpr float kPhaseStep = 0.0001f;
// Rectangle outline pieces are 64 units long and start half a piece before
// the corner, so that the corners are covered.
constexpr int32_t kPieceStep = 64, kPieceStart = -32;

int32_t DustGraphic(float z) {
  if (z > 300.0f) return field_dust[0];
  if (z > -600.0f) return field_dust[1];
  return field_dust[2];
}

}  // namespace

void SetupFieldDust() {
  const int32_t mode = g_gameState.settings.fieldMode;
  if (mode != kFieldRectangle && mode != kFieldDisc) return;
  for (FieldDust& dust : g_foodField.dust) {
    if (mode == kFieldRectangle) {
      dust.x = static_cast<float>(GetRandomValue(2048));
      dust.y = static_cast<float>(GetRandomValue(1536));
    } else {
      // The cosine on both axes, each of its own angle and radius: the dust
      // fills the square around the disc, not only the disc.
      const double angleX = RandomTurn();
      const double radiusX = GetRandomValue(1024);
      dust.x = static_cast<float>(std::cos(angleX) * radiusX + kDiscCentre);
      const double angleY = RandomTurn();
      const double radiusY = GetRandomValue(1024);
      dust.y = static_cast<float>(std::cos(angleY) * radiusY + kDiscCentre);
    }
    dust.z = static_cast<float>(GetRandomValue(1800) - 900);
    dust.graphic = DustGraphic(dust.z);
  }
}

void DrawFieldDust() {
  SetGameBlendMode(2, 255);
  for (const FieldDust& dust : g_foodField.dust) DrawAtWorldPoint(dust.x, dust.y, dust.z, 1.0, 0.0, dust.graphic);
}

void DrawField() {
  SetGameBlendMode(0, 255);
  switch (g_gameState.settings.fieldMode) {
    case kFieldRectangle:
      for (int32_t t = kPieceStart; t <= 2112; t += kPieceStep) {
        DrawAtWorldPoint(t, 0.0f, 0.0f, 1.0, 0.0, field_outline);
        DrawAtWorldPoint(t, kFieldHeight, 0.0f, 1.0, 0.0, field_outline);
      }
      for (int32_t t = kPieceStart; t <= 1600; t += kPieceStep) {
        DrawAtWorldPoint(0.0f, t, 0.0f, 1.0, kQuarterTurn, field_outline);
        DrawAtWorldPoint(kFieldWidth, t, 0.0f, 1.0, kQuarterTurn, field_outline);
      }
      break;
    case kFieldDisc:
      g_fieldPhase += kPhaseStep;
      if (g_fieldPhase > kFullTurn) g_fieldPhase -= kFullTurn;
      for (int32_t i = 0; i < kRingPieces; i++) {
        const float a = i * kRingPieceTurn + g_fieldPhase;
        DrawAtWorldPoint(std::cos(a) * kDiscRadius + kDiscCentre, std::sin(a) * kDiscRadius + kDiscCentre, 0.0f,
                         1.0, a + kQuarterTurn, field_outline);
      }
      break;
  }
}

PositionRecord& RandomFieldPoint(PositionRecord& point) {
  point.z = 0.0f;
  point.heading = 0.0f;
  point.fifth = 0.0f;
  switch (g_gameState.settings.fieldMode) {
    case kFieldRectangle:
      point.x = static_cast<float>(GetRandomValue(2048));
      point.y = static_cast<float>(GetRandomValue(1536));
      break;
    case kFieldDisc:
      // Uniform in the distance, so denser toward the centre; the heading
      // keeps the point's angle seen from the centre.
      point.heading = static_cast<float>(RandomTurn());
      point.fifth = static_cast<float>(GetRandomValue(1024));
      point.x = std::cos(point.heading) * point.fifth + kDiscCentre;
      point.y = std::sin(point.heading) * point.fifth + kDiscCentre;
      break;
  }
  return point;
}
