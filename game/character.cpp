#include "game/character.h"

CharacterList g_characters;

void ConstructCharacter(Character& character) {}

void SetupCharacter(Character& character, int32_t id) {}

void SetPersonality(Character& character, float p1, float p2, float p3, float p4) {}

void LevelUp(Character& character) {}

void CreateRoundCharacters() {}

void ClearCharacters() {}
