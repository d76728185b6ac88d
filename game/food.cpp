#include "game/food.h"

FoodField g_foodField;
SpawnerState g_spawner = {};

void SpawnFoodBox(float x, float y) {}

void SpawnFood(FoodField& field, float x, float y, int32_t ownerId) {}

void UpdateFoodBoxes(FoodBox& box) {}

void UpdateFoods(Food& food) {}

void UpdateFoodField() {}

void DrawFoodBoxes(const FoodBox& box) {}

void DrawFoods(const Food& food) {}

void DrawFoodField() {}

void ClearFoodBoxesAndFoods() {}

void TickSpawner(SpawnerState& spawner) {}

void ResetSpawner() {}
