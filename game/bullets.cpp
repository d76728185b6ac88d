#include "game/bullets.h"

#include <cmath>

#include "core/varnok.h"
#include "game/camera.h"
#include "game/character.h"
#include "game/damage.h"
#include "game/effects.h"
#include "game/field.h"
#include "game/maths.h"
#include "game/resources.h"

std::list<Bullet> g_bullets;

namespace {

constexpr float kBulletSpeed = 10.0f;

// Dust thrown forward from the muzzle, fanning out up to half a radian either side.
void AddLaunchDust(float x, float y, float angle) {
  for (int i = 0; i < 9; i++) {
    const int32_t cell = GetRandomValue(2);
    Effect& dust = AddEffect(field_dust[cell], &EaseEffectProc);
    dust.x = x;
    dust.y = y;
    const double a = angle + RandomFloat(1.0f) - 0.5;
    const double d = GetRandomValue(512) * 0.1 + 30.0;
    dust.spare = static_cast<float>(d);
    dust.targetX = static_cast<float>(x + std::cos(a) * d);
    dust.targetY = static_cast<float>(y + std::sin(a) * d);
    dust.step = 0.08f;
  }
}

// Flakes of the victim's colour burst from the point of impact.
void AddHitFlakes(const Bullet& bullet, const Character& victim) {
  const int32_t* const flakeSets[3] = {chara_color_flake00, chara_color_flake01, chara_color_flake02};
  for (int i = 0; i < 2; i++) {
    const int32_t set = GetRandomValue(2);
    Effect& flake = AddEffect(flakeSets[set][victim.colour], &FlickerEaseEffectProc);
    flake.x = bullet.x;
    flake.y = bullet.y;
    const float angle = RandomFloat(kFullTurn);
    flake.angle = flake.moveAngle = angle;
    const int32_t d = GetRandomValue(64) + 32;
    flake.spare = static_cast<float>(d);
    flake.targetX = bullet.x + std::cos(angle) * d;
    flake.targetY = bullet.y + std::sin(angle) * d;
    flake.alpha = 128;
    flake.step = 0.06f;
    flake.fadeStep = 2.0f;
  }
}

bool OutsideField(const Bullet& bullet) {
  const int32_t x = TruncateToInt(bullet.x), y = TruncateToInt(bullet.y);
  switch (g_gameState.settings.fieldMode) {
    case kFieldRectangle:
      return y < 0 || y > kFieldHeight || x < 0 || x > kFieldWidth;
    case kFieldDisc:
      return TruncatedDistanceSquared(kDiscCentre, kDiscCentre, bullet.x, bullet.y) >= kDiscRadiusSquared;
    default:
      return false;
  }
}

}  // namespace

void SpawnBullet(float x, float y, float angle, int32_t ownerId, int32_t colour) {
  g_bullets.push_back({ownerId, colour, x, y, 0.0f, angle, 0.0f, 0});
  AddLaunchDust(x, y, angle);
}

void UpdateBullet(Bullet& bullet) {
  bullet.x += std::cos(bullet.angle) * kBulletSpeed;
  bullet.y += std::sin(bullet.angle) * kBulletSpeed;
  for (Character& k : g_characters) {
    if (k.id == bullet.ownerId) continue;
    const int64_t radius = k.radius;
    if (TruncatedDistanceSquared(k.position.x, k.position.y, bullet.x, bullet.y) >= radius * radius) continue;
    DamageCharacter(k, bullet);
    AddHitFlakes(bullet, k);
    // One bullet hurts one creature a frame.
    break;
  }
}

void UpdateBullets() {
  for (auto it = g_bullets.begin(); it != g_bullets.end();) {
    UpdateBullet(*it);
    if (OutsideField(*it)) it->finished = 1;
    it = it->finished ? g_bullets.erase(it) : std::next(it);
  }
}

void DrawBullets() {
  SetGameBlendMode(2, 255);
  for (const Bullet& bullet : g_bullets)
    DrawAtWorldPoint(bullet.x, bullet.y, bullet.z, 1.0, bullet.angle, chara_color_bullet[bullet.colour]);
}

void ClearBullets() { g_bullets.clear(); }
