// Items that lie on the field until a creature touches one, and the timed
// effects they then have on it.
#pragma once
#include <cstdint>
#include <list>

#include "game/game_state.h"

struct Character;

enum ItemKind : int32_t {
  kItemLife = 0,
  kItemBullet = 1,
  kItemComeFoods = 2,
  kItemSpeed = 3,
  kItemLionshot = 4,
  kItemMove = 5,
};

struct Item {
  PositionRecord position;  // copied from the spawn point
  int32_t kind;
  int32_t age;  // frames since spawn, or since pick-up in an effect
  float spin;   // angle of the turning glow
  uint8_t finished;
};

// An item taken by a creature: a copy of it, its age restarted.
using ItemEffect = Item;
using ItemList = std::list<Item>;

void SpawnItem(ItemList& items, int32_t kind, const PositionRecord& point);
void UpdateItems(ItemList& items);
void DrawItems(ItemList& items);
void PickUpItem(Character& character, ItemList& items, Item& item);
void UpdateItemEffects(ItemList& effects, Character& character);
