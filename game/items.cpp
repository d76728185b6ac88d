#include "game/items.h"

void SpawnItem(ItemList& items, int32_t kind, const PositionRecord& point) {}

void UpdateItems(ItemList& items) {}

void DrawItems(ItemList& items) {}

void PickUpItem(Character& character, ItemList& items, Item& item) {}

void UpdateItemEffects(ItemList& effects, Character& character) {}
