// The creatures on screen: dead bodies, relation lines, bodies, auras and
// eyes, their item captions, the status display of the creature under the
// mouse, and the arrows that show a change of aggression.
#pragma once
#include <cstdint>

#include "game/character.h"

// Not reset between rounds: the wheel sets how strongly relations show.
extern int32_t g_relationLineAlpha;

// Where an eye sits from the creature's centre (side 0 left, 1 right), by its
// eye angle and size; the dead body's eyes fly off from the same places.
WorldPoint EyeOffset(const Character& character, int side);

void DrawCharacters();
void DrawCharacterBody(Character& character);
void DrawCharacterEyes(float screenX, float screenY, float lookAngle, float lookDistance);
void DrawItemMessages();
void DrawAllStatusMarks();
void DrawStatusMarks(const Character& character);
void AddArrowMarks(const Character& character, int32_t colour, uint8_t rising);
