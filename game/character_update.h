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
