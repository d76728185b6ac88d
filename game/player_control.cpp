#include "game/player_control.h"

void PlayerController(int32_t event, Character& character, CharacterList& list, CharacterList::iterator position) {}

void TestHover() {}

void FadeHoverMarks() {}
