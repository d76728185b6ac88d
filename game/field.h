// The field of a round (a disc, or a rectangle in field mode 1): its turning
// outline, the parallax dust, and random points inside it.
#pragma once
#include <cstdint>

#include "game/game_state.h"

struct FieldDust {
  float x, y;
  float z;  // depth, -900 .. 900
  int32_t graphic;
};

constexpr int kFieldDustCount = 1024;

// The rectangle field runs from (0, 0) to its width and height; the disc
// field has its centre at (1024, 1024) on both axes.
constexpr float kFieldWidth = 2048.0f, kFieldHeight = 1536.0f;
constexpr float kDiscCentre = 1024.0f, kDiscRadius = 1024.0f;
constexpr int64_t kDiscRadiusSquared = int64_t{1024} * 1024;

// The turning angle of the disc outline; never reset.
extern float g_fieldPhase;

void SetupFieldDust();
void DrawFieldDust();
void DrawField();
// Fills the record with a random point of the field and returns it.
PositionRecord& RandomFieldPoint(PositionRecord& point);
