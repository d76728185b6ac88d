#include "game/character_draw.h"

void DrawCharacters() {}

void DrawCharacterBody(Character& character) {}

void DrawCharacterEyes(float screenX, float screenY, float lookAngle, float lookDistance) {}

void DrawItemMessages() {}

void DrawAllStatusMarks() {}

void DrawStatusMarks(const Character& character) {}

void AddArrowMarks(const Character& character, int32_t colour, uint8_t rising) {}
