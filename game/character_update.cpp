#include "game/character_update.h"

void UpdateCharacters() {}

void TickVitals(Character& character) {}

void EatFood(Character& character) {}

void TryShoot(Character& character, float aim) {}

void KeepInsideField(CharacterList& list, Character& character) {}

void ReleaseDeadCharacter(Character& character) {}
