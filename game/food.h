// Food boxes that fall at random points and break into food, the food that
// creatures eat, and the spawner that drops boxes and items.
#pragma once
#include <cstdint>
#include <list>

#include "game/field.h"
#include "game/items.h"

struct FoodBox {
  float x, y;
  float height;  // 512 at spawn, falls to 0; the z of the projection
  float unused[2];
  int32_t hitPoints;
  int32_t lastShooterId;
  uint8_t broken;
};

struct Food {
  float x, y, z;
  float angle;  // sliding direction
  float speed;
  int32_t age;      // frames since spawn
  int32_t ownerId;  // the creature it drifts toward, 0 for nobody
  uint8_t finished;  // eaten or rotten
};

struct SpawnerState {
  int32_t boxTimer;
  int32_t boxInterval;
  int32_t itemTimer;
  int32_t itemInterval;
  int32_t highestLevel;  // the highest level reached in the round
};

// The field's dust and the three lists of things lying on it.
struct FoodField {
  FieldDust dust[kFieldDustCount];
  std::list<FoodBox> boxes;
  std::list<Food> foods;
  ItemList items;
};

extern FoodField g_foodField;
extern SpawnerState g_spawner;

void SpawnFoodBox(float x, float y);
void SpawnFood(FoodField& field, float x, float y, int32_t ownerId);
void UpdateFoodBoxes(FoodBox& box);
void UpdateFoods(Food& food);
void UpdateFoodField();
void DrawFoodBoxes(const FoodBox& box);
void DrawFoods(const Food& food);
void DrawFoodField();
void ClearFoodBoxesAndFoods();
void TickSpawner(SpawnerState& spawner);
void ResetSpawner();
// The field record as the program starts: dust at depth 0, the lists empty.
void ConstructFoodField();
