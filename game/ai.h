// Computer control: every frame the creature steers to its move goal and
// fires at its aim goal; every think interval one step of its state machine
// chooses what it wants.
#pragma once
#include <cstdint>

#include "game/character.h"
#include "game/food.h"
#include "game/resources.h"

enum AiState : int32_t {
  kAiDecide = 0,
  kAiNearestGoal = 1,
  kAiLookForFood = 10,
  kAiGoToFoodBox = 12,
  kAiGoToFood = 16,
  kAiWantItem = 30,
  kAiGoToItem = 32,
  kAiChooseTarget = 50,
  kAiAttack = 52,
  kAiFlee = 54,
  kAiRevenge = 56,
  kAiPlanWander = 90,
  kAiWander = 91,
};

void AiThink(int32_t event, Character& character, CharacterList& list, CharacterList::iterator position);
Character* ChooseAttackTarget(CharacterList& list, CharacterList::iterator position);
Character* FindCharacterById(int32_t id);
const FoodBox* FindNearestFoodBox(CharacterList& list, CharacterList::iterator position);
const Food* FindNearestFood(CharacterList& list, CharacterList::iterator position);
const Item* FindNearestItem(CharacterList& list, CharacterList::iterator position);
WorldPoint PointAheadOfCharacter(const Character& character);
