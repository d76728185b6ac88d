#include "game/food.h"

#include <cmath>

#include "core/varnok.h"
#include "game/bullets.h"
#include "game/camera.h"
#include "game/character.h"
#include "game/character_update.h"
#include "game/damage.h"
#include "game/effects.h"
#include "game/list_walk.h"
#include "game/maths.h"
#include "game/resources.h"

FoodField g_foodField;
SpawnerState g_spawner = {};

namespace {

constexpr float kBoxDropHeight = 512.0f;
constexpr int32_t kBoxHitPoints = 5;
constexpr int32_t kBoxHalfSize = 16;  // a bullet hits the 33 x 33 square around the box
constexpr int32_t kFoodPerBox = 8;
constexpr int32_t kFoodRotten = 1200;
constexpr int32_t kFoodStale = 900;  // drawn at half strength from here on

void DrawFlickering(float x, float y, float z, double scale, const int32_t graphs[4], int32_t parameter) {
  SetBlendMode(CurrentBlendMode, parameter);
  DrawAtWorldPoint(x, y, z, scale, 0.0, graphs[0]);
  // A faint overlay from one of the three other cells, new each frame.
  SetBlendMode(CurrentBlendMode, GetRandomValue(32));
  DrawAtWorldPoint(x, y, z, scale, 0.0, graphs[1 + GetRandomValue(2)]);
}

void PlayBoxSound(const int32_t handles[3], const FoodBox& box) {
  const WorldPoint at{box.x, box.y};
  PlayBoxSe(handles, at, SoundListener(at), g_soundSet);
}

// Crumbs that fly off a piece as it is eaten.
void AddCrumbs(const Food& food) {
  for (int i = 0; i < 3; i++) {
    Effect& crumb = AddEffect(field_food[0], &MoveEffectProc);
    crumb.x = food.x;
    crumb.y = food.y;
    crumb.moveAngle = RandomFloat(kFullTurn);
    crumb.step = static_cast<float>(GetRandomValue(10) * 0.1 + 3.0);
    crumb.fadeStep = 30.0f;
    crumb.scale = 0.3f;
  }
}

void SpawnItemOfWeightedKind(const GameSettings& settings) {
  int32_t scores[kItemKindCount];
  for (int k = 0; k < kItemKindCount; k++)
    scores[k] = settings.itemDisabled[k] ? -1 : GetRandomValue(settings.itemWeights[k]);
  // Every kind disabled leaves kind 0, disabled too: nothing comes.
  const int32_t kind = IndexOfMax(scores);
  if (settings.itemDisabled[kind]) return;
  PositionRecord point{};
  SpawnItem(g_foodField.items, kind, RandomFieldPoint(point));
}

}  // namespace

void SpawnFoodBox(float x, float y) {
  g_foodField.boxes.push_back({x, y, kBoxDropHeight, {0.0f, 0.0f}, kBoxHitPoints, 0, 0});
}

void SpawnFood(FoodField& field, float x, float y, int32_t ownerId) {
  const float angle = RandomFloat(kFullTurn);
  const float speed = static_cast<float>(GetRandomValue(10));
  field.foods.push_back({x, y, 0.0f, angle, speed, 0, ownerId, 0});
}

void UpdateFoodBoxes(FoodBox& box) {
  if (box.height > 0.0f) {
    // Falling, it can be neither hit nor touched.
    box.height -= box.height * 0.1f;
    if (box.height <= 4.0f) box.height = 0.0f;
    return;
  }
  for (Bullet& bullet : g_bullets) {
    const int32_t bx = TruncateToInt(box.x), by = TruncateToInt(box.y);
    const int32_t x = TruncateToInt(bullet.x), y = TruncateToInt(bullet.y);
    if (x < bx - kBoxHalfSize || x > bx + kBoxHalfSize || y < by - kBoxHalfSize || y > by + kBoxHalfSize) continue;
    box.hitPoints -= 1;
    // Knocked back toward the shooter.
    box.x += std::cos(bullet.angle - kHalfTurn) * 4.0f;
    box.y += std::sin(bullet.angle - kHalfTurn) * 4.0f;
    box.lastShooterId = bullet.ownerId;
    bullet.finished = 1;
    PlayBoxSound(g_soundSet.boxKnock, box);
  }
  for (Character& c : g_characters) {
    const int64_t reach = c.radius + kBoxHalfSize;
    if (TruncatedDistanceSquared(box.x, box.y, c.position.x, c.position.y) >= reach * reach) continue;
    box.hitPoints -= 1;
    c.knockX += std::cos(c.position.heading - kHalfTurn) * 6.0f;
    c.knockY += std::sin(c.position.heading - kHalfTurn) * 6.0f;
    if (!g_gameState.roundResult.ended) {
      c.life -= 1;
      if (c.life <= 0) KillCharacter(c);
    }
    // Its own: a creature that bumps into boxes blames nobody.
    c.lastAttackerId = c.id;
    c.boxContact = 1;
  }
  if (box.hitPoints > 0) return;
  box.broken = 1;
  for (int i = 0; i < kFoodPerBox; i++) SpawnFood(g_foodField, box.x, box.y, box.lastShooterId);
  PlayBoxSound(g_soundSet.boxBreak, box);
}

void UpdateFoods(Food& food) {
  if (food.speed > 1.0f) {
    food.x += std::cos(food.angle) * food.speed;
    food.y += std::sin(food.angle) * food.speed;
    food.speed *= 0.88f;
  }
  food.age += 1;
  if (food.age >= kFoodRotten) food.finished = 1;
  for (Character& c : g_characters) {
    if (c.dead) continue;
    const int64_t radius = c.radius;
    if (c.id == food.ownerId &&
        TruncatedDistanceSquared(c.position.x, c.position.y, food.x, food.y) < 64 * radius * radius) {
      // The shooter's spoils come to it.
      const float toward = std::atan2(c.position.y - food.y, c.position.x - food.x);
      food.x += std::cos(toward) * 2.0f;
      food.y += std::sin(toward) * 2.0f;
    }
    // Everyone touching it eats it, even when another has already.
    if (TruncatedDistanceSquared(c.position.x, c.position.y, food.x, food.y) >= radius * radius) continue;
    EatFood(c);
    AddCrumbs(food);
    food.finished = 1;
  }
}

void UpdateFoodField() {
  UpdateAndPrune(g_foodField.boxes, UpdateFoodBoxes, &FoodBox::broken);
  UpdateAndPrune(g_foodField.foods, UpdateFoods, &Food::finished);
}

void DrawFoodBoxes(const FoodBox& box) {
  DrawFlickering(box.x, box.y, box.height, 1.0 - box.height * 0.001953125, field_foodBox, 255);
}

void DrawFoods(const Food& food) {
  DrawFlickering(food.x, food.y, food.z, 1.0, field_food, food.age >= kFoodStale ? 128 : 255);
}

void DrawFoodField() {
  CurrentBlendMode = 2;
  for (const FoodBox& box : g_foodField.boxes) DrawFoodBoxes(box);
  for (const Food& food : g_foodField.foods) DrawFoods(food);
}

void ClearFoodBoxesAndFoods() {
  g_foodField.foods.clear();
  g_foodField.boxes.clear();
}

void TickSpawner(SpawnerState& spawner) {
  const GameSettings& settings = g_gameState.settings;
  // A timer at a full list waits where it stands.
  if (static_cast<int64_t>(g_foodField.boxes.size()) < settings.boxLimit) spawner.boxTimer += 1;
  if (static_cast<int64_t>(g_foodField.items.size()) < settings.itemLimit) spawner.itemTimer += 1;
  if (spawner.boxTimer >= spawner.boxInterval) {
    spawner.boxTimer = 0;
    PositionRecord point{};
    RandomFieldPoint(point);
    SpawnFoodBox(point.x, point.y);
  }
  if (spawner.itemTimer >= spawner.itemInterval) {
    spawner.itemTimer = 0;
    SpawnItemOfWeightedKind(settings);
  }
}

void ResetSpawner() {
  const GameSettings& settings = g_gameState.settings;
  ClearFoodBoxesAndFoods();
  g_foodField.items.clear();
  g_spawner.boxTimer = 0;
  g_spawner.boxInterval = settings.boxInterval;
  g_spawner.itemTimer = 0;
  g_spawner.itemInterval = settings.itemInterval;
  g_spawner.highestLevel = 1;
}

void ConstructFoodField() {
  for (FieldDust& dust : g_foodField.dust) dust.z = 0.0f;
  g_foodField.boxes.clear();
  g_foodField.foods.clear();
  g_foodField.items.clear();
}
