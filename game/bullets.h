// Bullets: they fly straight until they touch a creature other than their
// owner, are taken by a food box or leave the field.
#pragma once
#include <cstdint>
#include <list>

struct Bullet {
  int32_t ownerId;
  int32_t colour;  // the owner's, 0..31
  float x, y;
  float z;
  float angle;  // direction of flight
  float seventh;
  uint8_t finished;  // hit, taken or out of the field
};

// In order of firing.
extern std::list<Bullet> g_bullets;

void SpawnBullet(float x, float y, float angle, int32_t ownerId, int32_t colour);
void UpdateBullet(Bullet& bullet);
void UpdateBullets();
void DrawBullets();
void ClearBullets();
