// The player's creature, steered by the direction keys and firing at the
// mouse, and the test for creatures under the mouse.
#pragma once
#include "game/character.h"

void PlayerController(int32_t event, Character& character, CharacterList& list, CharacterList::iterator position);
void TestHover();
void FadeHoverMarks();
