#include "game/damage.h"

std::list<DeadBody> g_deadBodies;

void DamageCharacter(Character& victim, Bullet& bullet) {}

void KillCharacter(Character& victim) {}

DeadBody MakeDeadBody(const Character& character) { return {}; }

void UpdateDeadBody(DeadBody& body) {}

void DrawDeadBody(const DeadBody& body) {}
