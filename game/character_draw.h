// The creatures on screen: dead bodies, relation lines, bodies, auras and
// eyes, their item captions, the status display of the creature under the
// mouse, and the arrows that show a change of aggression.
#pragma once
#include <cstdint>

#include "game/character.h"

void DrawCharacters();
void DrawCharacterBody(Character& character);
void DrawCharacterEyes(float screenX, float screenY, float lookAngle, float lookDistance);
void DrawItemMessages();
void DrawAllStatusMarks();
void DrawStatusMarks(const Character& character);
void AddArrowMarks(const Character& character, int32_t colour, uint8_t rising);
