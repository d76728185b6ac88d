#include "game/field.h"

float g_fieldPhase = 0.0f;

void SetupFieldDust() {}

void DrawFieldDust() {}

void DrawField() {}

PositionRecord& RandomFieldPoint(PositionRecord& point) { return point; }
