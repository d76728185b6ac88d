#include "game/damage.h"

#include <algorithm>
#include <cmath>

#include "core/varnok.h"
#include "game/ai.h"
#include "game/camera.h"
#include "game/character_draw.h"
#include "game/food.h"
#include "game/maths.h"

std::list<DeadBody> g_deadBodies;

namespace {

constexpr int64_t kBystanderReachSquared = 512 * 512;
constexpr int64_t kMournerReachSquared = 819 * 819;

// Onlookers take sides: a friend (or a neutral) of the victim turns against
// the shooter, an enemy of the victim warms to it, twice as much when its
// feeling for the victim is strong.
void TakeSides(const Character& victim, const Bullet& bullet) {
  const int32_t owner = bullet.ownerId;
  for (Character& k : g_characters) {
    if (k.id == owner || k.id == victim.id || IsPlayer(k)) continue;
    int32_t& towardOwner = k.aggression[owner];
    if (TruncatedDistanceSquared(k.position.x, k.position.y, victim.position.x, victim.position.y) <
        kBystanderReachSquared) {
      const int32_t towardVictim = k.aggression[victim.id];
      if (towardVictim <= 0) {
        towardOwner += towardVictim < -50 ? 4 : 2;
        AddArrowMarks(k, bullet.colour, 1);
      } else {
        towardOwner -= towardVictim > 50 ? 4 : 2;
        AddArrowMarks(k, bullet.colour, 0);
      }
    }
    towardOwner = std::clamp(towardOwner, -100, 100);
  }
}

// The victim's friends nearby turn on whoever is credited with the kill.
void MournVictim(const Character& victim) {
  if (victim.lastAttackerId == victim.id) return;
  const Character* killer = FindCharacterById(victim.lastAttackerId);
  if (killer == nullptr || killer->colour == victim.colour) return;
  for (Character& k : g_characters) {
    if (IsPlayer(k) || &k == killer || &k == &victim || k.aggression[victim.id] > 0) continue;
    if (TruncatedDistanceSquared(k.position.x, k.position.y, victim.position.x, victim.position.y) >=
        kMournerReachSquared)
      continue;
    k.aggression[killer->id] += 8;
    AddArrowMarks(k, killer->colour, 1);
  }
}

}  // namespace

void DamageCharacter(Character& victim, Bullet& bullet) {
  if (g_gameState.roundResult.ended) return;
  victim.knockX += 5.0f * std::cos(bullet.angle);
  victim.knockY += 5.0f * std::sin(bullet.angle);
  // Before the attacker is recorded: a fatal hit credits the one before.
  victim.life -= 1;
  if (victim.life <= 0) KillCharacter(victim);
  victim.hit = 1;
  victim.revengeTimer += 200;
  victim.lastAttackerId = bullet.ownerId;
  victim.aggression[bullet.ownerId] += 16;
  if (!IsPlayer(victim))
    for (int i = 0; i < 3; i++) AddArrowMarks(victim, bullet.colour, 1);
  TakeSides(victim, bullet);
  PlayCharacterSe(victim, kSoundDamaged);
  if (IsPlayer(victim)) PlaySe(g_soundSet, victim.sounds.handles[kSoundMeDamaged + GetRandomValue(1)]);
  bullet.finished = 1;
}

void KillCharacter(Character& victim) {
  if (victim.dead) return;
  victim.dead = 1;
  g_deadBodies.push_back(MakeDeadBody(victim));
  for (int32_t i = 0; i < victim.level * 6 + 8; i++) SpawnFood(g_foodField, victim.position.x, victim.position.y, 0);
  MournVictim(victim);
  PlaySe(g_soundSet, g_soundSet.die[GetRandomValue(1)]);
  WatchPoint& watch = g_gameState.watchPoint;
  if (g_gameState.settings.watchMode && watch.followed == &victim.position) watch.followed = nullptr;
}

DeadBody MakeDeadBody(const Character& c) {
  DeadBody body{};
  body.level = c.level;
  body.position = c.position;
  body.scale = c.scale;
  for (int side = 0; side < 2; side++) {
    const WorldPoint eye = EyeOffset(c, side);
    body.parts[2 + side].offsetX = eye.x;
    body.parts[2 + side].offsetY = eye.y;
  }
  for (DeadBodyPart& part : body.parts) part.angle = RandomFloat(2.0f) - 1.0f;
  for (DeadBodyPart& part : body.parts) part.speed = RandomFloat(10.0f) + 8.0f;
  body.stopped = 0;
  return body;
}

void UpdateDeadBody(DeadBody& body) {
  if (body.stopped) return;
  bool allSlow = true;
  for (DeadBodyPart& part : body.parts) {
    // Added to both offsets, not along the angle: every part drifts down and
    // to the right as it flies.
    part.offsetX += std::cos(part.angle) + part.speed;
    part.offsetY += std::sin(part.angle) + part.speed;
    part.speed *= 0.5f;
    if (!(part.speed < 0.9)) allSlow = false;
  }
  if (allSlow) body.stopped = 1;
}

void DrawDeadBody(const DeadBody& body) {
  const int32_t cell = body.level - 1;
  const int32_t graphs[4] = {chara_commonParts_circle[cell], chara_commonParts_bone[cell], chara_commonParts_eye[0],
                             chara_commonParts_eye[0]};
  for (int i = 0; i < 4; i++) {
    const DeadBodyPart& part = body.parts[i];
    DrawAtWorldPoint(body.position.x + part.offsetX, body.position.y + part.offsetY, body.position.z, 1.0,
                     body.position.heading, graphs[i]);
  }
}
