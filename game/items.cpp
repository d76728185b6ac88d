#include "game/items.h"

#include <algorithm>
#include <cmath>

#include "core/varnok.h"
#include "game/bullets.h"
#include "game/camera.h"
#include "game/character.h"
#include "game/effects.h"
#include "game/field.h"
#include "game/food.h"
#include "game/list_walk.h"
#include "game/maths.h"
#include "game/resources.h"

namespace {

constexpr int32_t kItemExpires = 1800;  // frames, on the field and as an effect
constexpr int32_t kItemFades = 450;     // drawn dimmer after this age
constexpr int32_t kItemReach = 12;      // added to a creature's radius
constexpr int32_t kLifeGain = 10;
constexpr int32_t kComeFoodsEvery = 10;
constexpr int32_t kComeFoodsLasts = 360;
constexpr int32_t kSpeedLasts = 600;
constexpr int32_t kLionshotBullets = 60;
constexpr int32_t kMoveSparks = 128;
constexpr float kCaptionSpin = -0.02f;
constexpr float kSpinStep = 0.02f;

void ShowCaption(Character& c, int32_t kind) {
  AddItemMessage(item_effect_message[kind], c.messages).spin = kCaptionSpin;
}

void PlayItemSound(const Character& c, int32_t kind) { PlayCharacterSe(c, kSoundItemEffect + kind); }

// Every tenth frame a piece of food lands around the creature, a little
// beyond its reach, with a flash where it lands.
void ComeFoods(const Character& c) {
  const double a = RandomTurn();
  const int32_t d = GetRandomValue(128) + 4 * c.radius;
  const float x = static_cast<float>(c.position.x + std::cos(a) * d);
  const float y = static_cast<float>(c.position.y + std::sin(a) * d);
  SpawnFood(g_foodField, x, y, 0);
  PlayItemSound(c, kItemComeFoods);
  Effect& flash = AddEffect(light000, &FadeEffectProc);
  flash.x = x;
  flash.y = y;
  flash.fadeStep = 128.0f;
}

void Lionshot(const Character& c) {
  // All from one point of the rim, the way the last shot went.
  const float x = c.position.x + std::cos(c.shotAngle) * static_cast<float>(c.radius);
  const float y = c.position.y + std::sin(c.shotAngle) * static_cast<float>(c.radius);
  for (int32_t i = 0; i < kLionshotBullets; i++)
    SpawnBullet(x, y, static_cast<float>(i * kFullTurn / kLionshotBullets), c.id, c.colour);
}

// A push toward a random point of the field, which the knock-back's damping
// turns into a dash there, and sparks strewn along the way.
void Dash(Character& c) {
  PositionRecord p{};
  RandomFieldPoint(p);
  const float a = std::atan2(p.y - c.position.y, p.x - c.position.x);
  const float d = std::sqrt(DistanceSquared(p.x, p.y, c.position.x, c.position.y));
  c.knockX += std::cos(a) * d / 3.0f;
  c.knockY += std::sin(a) * d / 3.0f;
  const int32_t halfRadius = c.radius / 2;
  const float reach = 3.0f * static_cast<float>(c.radius);
  for (int i = 0; i < kMoveSparks; i++) {
    Effect& spark = AddEffect(chara_color_flake01[c.colour], &FlickerEaseEffectProc);
    const float t = static_cast<float>(GetRandomValue(TruncateToInt(d * 100000.0)) / 100000.0);
    spark.x = c.position.x + std::cos(a) * t + static_cast<float>(GetRandomValue(c.radius) - halfRadius);
    spark.y = c.position.y + std::sin(a) * t + static_cast<float>(GetRandomValue(c.radius) - halfRadius);
    spark.angle = a;
    spark.step = 0.08f;
    const float away = GetRandomValue(1) != 0 ? a : a - kHalfTurn;
    spark.targetX = spark.x + reach * std::cos(away);
    spark.targetY = spark.y + reach * std::sin(away);
  }
}

void ApplyItemEffect(ItemEffect& effect, Character& c) {
  const int32_t kind = effect.kind;
  switch (kind) {
    case kItemLife:
      c.life = std::min(c.life + kLifeGain, c.maxLife);
      break;
    case kItemBullet:
      c.ammunition = c.maxAmmunition;
      break;
    case kItemComeFoods:
      if (effect.age % kComeFoodsEvery == 0) ComeFoods(c);
      if (effect.age == 1) ShowCaption(c, kind);
      if (effect.age >= kComeFoodsLasts) effect.finished = 1;
      return;
    case kItemSpeed:
      // One more step along where it wants to go, turned or not.
      c.position.x += std::cos(c.wantedHeading) * c.speed;
      c.position.y += std::sin(c.wantedHeading) * c.speed;
      if (effect.age == 1) {
        ShowCaption(c, kind);
        PlayItemSound(c, kind);
      }
      if (effect.age >= kSpeedLasts) effect.finished = 1;
      return;
    case kItemLionshot:
      Lionshot(c);
      break;
    case kItemMove:
      Dash(c);
      break;
    default:
      return;
  }
  // The kinds that act once.
  effect.finished = 1;
  ShowCaption(c, kind);
  PlayItemSound(c, kind);
}

}  // namespace

void SpawnItem(ItemList& items, int32_t kind, const PositionRecord& point) {
  items.push_back({point, kind, 0, 0.0f, 0});
  // A ring grows out of the point where the item appears.
  Effect& ring = AddEffect(item_base[1], &GrowEffectProc);
  ring.x = point.x;
  ring.y = point.y;
  ring.z = point.z;
  ring.angle = point.heading;
  ring.spare = point.fifth;
  ring.step = 0.1f;
  const WorldPoint at{point.x, point.y};
  PlaySeAt(at, SoundListener(at), g_soundSet.itemBorn, g_soundSet);
}

void UpdateItems(ItemList& items) {
  UpdateAndPrune(
      items,
      [&items](Item& item) {
        item.age += 1;
        if (item.age >= kItemExpires) item.finished = 1;
        // The first creature in the list that touches it takes it.
        for (Character& c : g_characters) {
          const int64_t reach = c.radius + kItemReach;
          if (TruncatedDistanceSquared(c.position.x, c.position.y, item.position.x, item.position.y) >=
              reach * reach)
            continue;
          PickUpItem(c, items, item);
          break;
        }
      },
      &Item::finished);
}

void DrawItems(ItemList& items) {
  for (Item& item : items) {
    item.spin += kSpinStep;
    if (item.spin >= kFullTurn) item.spin -= kFullTurn;
    const PositionRecord& p = item.position;
    const bool fresh = item.age <= kItemFades;
    // 256 is held at 255 by the blend setter.
    SetGameBlendMode(1, fresh ? 256 : 128);
    DrawAtWorldPoint(p.x, p.y, p.z, 1.0, 0.0, item_base[0]);
    DrawAtWorldPoint(p.x, p.y, p.z, 1.0, 0.0, item_type[item.kind]);
    const int32_t glow = fresh ? 128 : 0;
    SetGameBlendMode(2, GetRandomValue(128) + glow);
    DrawAtWorldPoint(p.x, p.y, p.z, 1.0, item.spin, item_base[1]);
    SetBlendMode(CurrentBlendMode, GetRandomValue(128) + glow);
    DrawAtWorldPoint(p.x, p.y, p.z, 1.0, item.spin, item_base[2]);
    SetBlendMode(CurrentBlendMode, GetRandomValue(255));
    DrawAtWorldPoint(p.x, p.y, p.z, 1.0, 0.0, item_base[3]);
  }
}

void PickUpItem(Character& c, ItemList&, Item& item) {
  if (item.finished) return;
  ItemEffect& effect = c.itemEffects.emplace_back(item);
  effect.age = 0;
  effect.finished = 0;
  item.finished = 1;
}

void UpdateItemEffects(ItemList& effects, Character& c) {
  UpdateAndPrune(
      effects,
      [&c](ItemEffect& effect) {
        effect.age += 1;
        if (effect.age >= kItemExpires) effect.finished = 1;
        ApplyItemEffect(effect, c);
      },
      &ItemEffect::finished);
}
