#include "game/ai.h"

void AiThink(int32_t event, Character& character, CharacterList& list, CharacterList::iterator position) {}

Character* ChooseAttackTarget(CharacterList& list, CharacterList::iterator position) { return nullptr; }

Character* FindCharacterById(int32_t id) {
  for (Character& c : g_characters)
    if (c.id == id) return &c;
  return nullptr;
}

const FoodBox* FindNearestFoodBox(CharacterList& list, CharacterList::iterator position) { return nullptr; }

const Food* FindNearestFood(CharacterList& list, CharacterList::iterator position) { return nullptr; }

const Item* FindNearestItem(CharacterList& list, CharacterList::iterator position) { return nullptr; }

WorldPoint PointAheadOfCharacter(const Character& character) { return {0.0f, 0.0f}; }
