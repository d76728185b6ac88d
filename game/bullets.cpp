#include "game/bullets.h"

std::list<Bullet> g_bullets;

void SpawnBullet(float x, float y, float angle, int32_t ownerId, int32_t colour) {}

void UpdateBullet(Bullet& bullet) {}

void UpdateBullets() {}

void DrawBullets() {}

void ClearBullets() {}
