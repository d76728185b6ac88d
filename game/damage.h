// A bullet's hurt, a creature's death, and the dead body whose four parts
// fly apart.
#pragma once
#include <cstdint>
#include <list>

#include "game/bullets.h"
#include "game/character.h"

struct DeadBodyPart {
  float offsetX, offsetY;
  float unused;
  float angle;
  float speed;
};

struct DeadBody {
  int32_t level;  // chooses the sprites
  PositionRecord position;
  float scale;
  DeadBodyPart parts[4];  // body circle, bone, left eye, right eye
  uint8_t stopped;
};

// In order of death; emptied at the next round start.
extern std::list<DeadBody> g_deadBodies;

void DamageCharacter(Character& victim, Bullet& bullet);
void KillCharacter(Character& victim);
DeadBody MakeDeadBody(const Character& character);
void UpdateDeadBody(DeadBody& body);
void DrawDeadBody(const DeadBody& body);
