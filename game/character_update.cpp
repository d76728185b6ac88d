#include "game/character_update.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "core/varnok.h"
#include "game/ai.h"
#include "game/bullets.h"
#include "game/camera.h"
#include "game/character_draw.h"
#include "game/damage.h"
#include "game/field.h"
#include "game/items.h"
#include "game/maths.h"
#include "game/player_control.h"

namespace {

constexpr int32_t kMaxFood = 250;
constexpr int32_t kRevengeCallLevel = 600;  // a timer still above this after its step calls for help
constexpr int32_t kRevengeCalmed = 300;

// Ids of the round's table entries that count: 1 .. the character count.
int32_t CountedIds() { return std::clamp<int32_t>(g_gameState.settings.characterCount, 0, kMaxCharacters); }

int32_t Sign(int32_t value) { return (value > 0) - (value < 0); }

void UpdateRelations(CharacterList& list, Character& a) {
  for (Character& b : list) {
    if (b.id == a.id) continue;
    // The player's feelings mirror how the other feels about it.
    if (IsPlayer(a)) a.aggression[b.id] = 50 * Sign(b.aggression[a.id]);
    const int32_t ab = a.aggression[b.id], ba = b.aggression[a.id];
    const int32_t relation = (ab < 0 && ba < 0) ? -1 : (ab > 0 && ba > 0) ? 1 : 0;
    a.relation[b.id] = relation;
    b.relation[a.id] = relation;
  }
  a.relationSum = 0;
  for (int32_t id = 1; id <= CountedIds(); id++) a.relationSum += a.relation[id];
}

// Friends who are near, no fonder of the attacker than of the caller and short
// of ammunition enough to bother, turn on whoever hurt the caller.
void CallForHelp(CharacterList& list, Character& a) {
  if (a.revengeTimer <= 0) return;
  a.revengeTimer -= 1;
  if (a.revengeTimer <= kRevengeCallLevel) return;
  a.revengeTimer = kRevengeCalmed;
  const int32_t attackerId = a.lastAttackerId;
  if (FindCharacterById(attackerId) == nullptr) return;
  for (Character& k : list) {
    if (k.aggression[a.id] >= 0 || &k == &a || k.id == attackerId) continue;
    if (k.aggression[attackerId] < k.aggression[a.id] || IsPlayer(k)) continue;
    const int64_t sight = TruncateToInt(k.sightRange);
    if (TruncatedDistanceSquared(k.position.x, k.position.y, a.position.x, a.position.y) >= sight * sight) continue;
    if (AmmunitionRatio(k) > k.p3) continue;
    k.revengeTargetId = attackerId;
    k.aiState = kAiRevenge;
  }
}

void FirePendingShot(Character& a) {
  if (!a.shotFlag) return;
  SpawnBullet(a.position.x + a.radius * std::cos(a.shotAngle), a.position.y + a.radius * std::sin(a.shotAngle),
              a.shotAngle, a.id, a.colour);
  PlayCharacterSe(a, kSoundShot + GetRandomValue(1));
  a.shotFlag = 0;
}

// Only when touching makes creatures cross: each gets angrier at the other.
void ContactAggression(Character& a, Character& b) {
  if (a.aggression[b.id] < 100) a.aggression[b.id] += 1;
  if (b.aggression[a.id] < 100) b.aggression[a.id] += 1;
  if (!IsPlayer(a)) AddArrowMarks(a, b.colour, 1);
  if (!IsPlayer(b)) AddArrowMarks(b, a.colour, 1);
  a.lastAttackerId = b.id;
  b.lastAttackerId = a.id;
  for (auto [self, other] : {std::pair{&a, &b}, std::pair{&b, &a}}) {
    const int32_t feeling = self->aggression[other->id];
    if (feeling < 0) self->aiState = kAiPlanWander;
    else if (feeling > 0) self->aiState = kAiFlee;
  }
}

// Creatures that overlap bounce apart; the later one in the list is thrown
// harder by a bigger partner than the earlier one.
void PushTouching(CharacterList& list, CharacterList::iterator position) {
  Character& a = *position;
  for (auto it = std::next(position); it != list.end(); ++it) {
    Character& b = *it;
    const int64_t reach = a.radius + b.radius;
    if (TruncatedDistanceSquared(a.position.x, a.position.y, b.position.x, b.position.y) >= reach * reach) continue;
    const float angle = std::atan2(a.position.y - b.position.y, a.position.x - b.position.x);
    const double pushA = 2 * (b.level - 1) + 10, pushB = 4 * (a.level - 1) + 10;
    a.knockX += static_cast<float>(pushA * std::cos(angle));
    a.knockY += static_cast<float>(pushA * std::sin(angle));
    b.knockX += static_cast<float>(pushB * std::cos(angle - kHalfTurn));
    b.knockY += static_cast<float>(pushB * std::sin(angle - kHalfTurn));
    PlayCharacterSe(a, kSoundKnock + GetRandomValue(1));
    if (g_gameState.settings.contactAggression) ContactAggression(a, b);
  }
}

void KickUpDust(const Character& a) {
  const int32_t cell = GetRandomValue(1);
  const float angle = a.position.heading + kQuarterTurn + RandomFloat(kHalfTurn);
  const float distance = RandomFloat(static_cast<float>(a.radius));
  Effect& dust = AddEffect(field_dust[cell], &MoveEffectProc);
  dust.x = a.position.x + std::cos(angle) * distance;
  dust.y = a.position.y + std::sin(angle) * distance;
  dust.step = a.speed;
  dust.moveAngle = a.position.heading - kHalfTurn;
}

void Move(Character& a) {
  PositionRecord& p = a.position;
  if (a.speed >= 0.45) p.heading = static_cast<float>(p.heading + AngleDelta(p.heading, a.wantedHeading) * 0.1);
  p.x += std::cos(p.heading) * a.speed;
  p.y += std::sin(p.heading) * a.speed;
  WrapAngle(p.heading);
  if (GetRandomValue(3) == 0 && a.speed > 1.0) KickUpDust(a);
  p.x += a.knockX;
  p.y += a.knockY;
  a.knockX = static_cast<float>(a.knockX - a.knockX * 0.3);
  a.knockY = static_cast<float>(a.knockY - a.knockY * 0.3);
  a.hit = 0;
  a.boxContact = 0;
  UpdateMessageList(a.messages);
}

// Life and ammunition come back one point an interval while there is food,
// which the work digests faster.
void Replenish(Character& a, int32_t& value, int32_t full, int32_t& counter, int32_t interval) {
  if (value >= full || a.food <= 0) return;
  counter += 1;
  a.digestionCounter += 1;
  if (counter >= interval) {
    value += 1;
    counter = 0;
  }
}

// No reference may outlive the record: the camera (and with it the sound
// listener) turns to the last position just kept, the same picture.
void ForgetCharacter(const Character& a) {
  GameState& state = g_gameState;
  if (g_camera.followed == &a.position) g_camera.followed = &state.roundResult.position;
  if (state.watchPoint.followed == &a.position) state.watchPoint.followed = nullptr;
  if (PickedCharacter == &a) PickedCharacter = nullptr;
}

}  // namespace

void UpdateCharacters() {
  CharacterList& list = g_characters;
  for (auto it = list.begin(); it != list.end();) {
    Character& a = *it;
    UpdateRelations(list, a);
    const bool hitAi = a.hit && a.controller == &AiThink;
    if (a.controller != nullptr) a.controller(hitAi ? kControllerHit : kControllerFrame, a, list, it);
    CallForHelp(list, a);
    TickVitals(a);
    UpdateItemEffects(a.itemEffects, a);
    KeepInsideField(list, a);
    a.shotCooldownCounter = std::min(a.shotCooldownCounter + 1, a.shotCooldown);
    FirePendingShot(a);
    PushTouching(list, it);
    Move(a);
    if (!a.dead) {
      ++it;
      continue;
    }
    ReleaseDeadCharacter(a);
    ForgetCharacter(a);
    it = list.erase(it);
  }
  for (DeadBody& body : g_deadBodies) UpdateDeadBody(body);
}

void TickVitals(Character& a) {
  if (g_gameState.roundResult.ended) return;
  // Counters fire on reaching or passing their mark, so one that steps by
  // more than one, or whose mark drops under it, still fires.
  Replenish(a, a.life, a.maxLife, a.lifeCounter, a.lifeInterval);
  if (a.food <= 0) {
    a.lifeCounter += 1;
    if (a.lifeCounter >= a.lifeInterval / 4 * 3) {
      a.life -= 1;
      if (a.life <= 0) KillCharacter(a);
      a.lifeCounter = 0;
      // A later starvation death is credited only to whoever hurts it from now on.
      a.lastAttackerId = a.id;
    }
  }
  Replenish(a, a.ammunition, a.maxAmmunition, a.ammunitionCounter, a.ammunitionInterval);
  if (a.food > 0) {
    a.digestionCounter += 1;
    if (a.digestionCounter >= a.digestionInterval) {
      a.food -= 1;
      a.digestionCounter = 0;
    }
  }
}

void EatFood(Character& a) {
  PlayCharacterSe(a, kSoundEat + GetRandomValue(2));
  if (g_gameState.roundResult.ended) return;
  a.food = std::min(a.food + 1, kMaxFood);
  if (a.food % 2 == 0) a.ammunition = std::min(a.ammunition + 1, a.maxAmmunition);
  if (a.food >= a.foodNeeded) LevelUp(a);
}

void TryShoot(Character& a, float aim) {
  if (a.ammunition <= 0 || a.shotCooldownCounter < a.shotCooldown) {
    a.shotFlag = 0;
    return;
  }
  // The further the creature has to turn, the wider the shot scatters.
  const float spread = static_cast<float>(std::fabs(AngleDelta(a.position.heading, aim)) / kHalfTurn * 0.7853975);
  const float scatter = RandomFloat(spread);
  a.ammunition -= 1;
  a.shotFlag = 1;
  a.shotCooldownCounter = 0;
  a.shotAngle = aim + scatter - spread * 0.5f;
}

void KeepInsideField(CharacterList& list, Character& a) {
  PositionRecord& p = a.position;
  bool turned = false;
  switch (g_gameState.settings.fieldMode) {
    case kFieldRectangle: {
      const float r = static_cast<float>(a.radius);
      if (p.x - r < 0.0f) p.heading = FlipAngleX(p.heading), p.x = r, turned = true;
      if (p.x + r > kFieldWidth) p.heading = FlipAngleX(p.heading), p.x = kFieldWidth - r, turned = true;
      if (p.y - r < 0.0f) p.heading = FlipAngleY(p.heading), p.y = r, turned = true;
      if (p.y + r > kFieldHeight) p.heading = FlipAngleY(p.heading), p.y = kFieldHeight - r, turned = true;
      break;
    }
    case kFieldDisc: {
      const int64_t inner = static_cast<int64_t>(kDiscRadius) - a.radius;
      if (TruncatedDistanceSquared(kDiscCentre, kDiscCentre, p.x, p.y) < inner * inner) break;
      const float angle = std::atan2(kDiscCentre - p.y, kDiscCentre - p.x);
      a.knockX = static_cast<float>(a.knockX + std::cos(angle) * 3.5);
      a.knockY = static_cast<float>(a.knockY + std::sin(angle) * 3.5);
      turned = true;
      break;
    }
    default:
      break;
  }
  // A computer creature sent back from the edge thinks again at once.
  if (turned && a.controller == &AiThink) a.thinkTimer = a.thinkInterval;
}

void ReleaseDeadCharacter(Character& a) {
  if (IsPlayer(a)) g_gameState.roundResult.position = a.position;
  FreeCharacterSounds(a.sounds);
}

float AmmunitionRatio(const Character& c) {
  return static_cast<float>(c.ammunition) / static_cast<float>(c.maxAmmunition);
}

void Accelerate(Character& c) { c.speed = static_cast<float>(c.speed + (1.5 + 0.1 * (c.level - 1) - c.speed) * 0.4); }

void Coast(Character& c) { c.speed = static_cast<float>(c.speed - c.speed * 0.08); }
