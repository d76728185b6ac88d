// One frame of every creature: relations, its controller, calls for help,
// upkeep, item effects, the field's edge, shots, contact, movement, and the
// removal of the dead.
#pragma once
#include "game/character.h"

void UpdateCharacters();
void TickVitals(Character& character);
void EatFood(Character& character);
void TryShoot(Character& character, float aim);
void KeepInsideField(CharacterList& list, Character& character);
void ReleaseDeadCharacter(Character& character);
// Ammunition over the magazine's size, 0 .. 1.
float AmmunitionRatio(const Character& character);
// Steered, a creature closes 40 % of the gap to its level's top speed (1.5
// at level 1 up to 2.0 at level 6) each frame; left alone it coasts, losing
// 8 % a frame.
void Accelerate(Character& character);
void Coast(Character& character);
