// The creatures of a round, the player's and the computer's alike: the
// record, its set-up, the six levels, and the round's character list.
#pragma once
#include <cstdint>
#include <list>

#include "game/effects.h"
#include "game/game_state.h"
#include "game/items.h"
#include "game/resources.h"

struct Character;
// In creation order; the first is the player's unless the round is watched.
using CharacterList = std::list<Character>;
// Called once a frame with event 0, or 7 for a computer creature hit this frame.
using CharacterController = void (*)(int32_t event, Character& character, CharacterList& list,
                                     CharacterList::iterator position);

constexpr int32_t kControllerFrame = 0;
constexpr int32_t kControllerHit = 7;
constexpr int kMaxCharacters = 32;  // ids 1..32

struct Character {
  int32_t life;
  int32_t maxLife;
  int32_t ammunition;
  int32_t maxAmmunition;
  int32_t level;  // 1..6
  int32_t food;   // 0..250
  int32_t foodNeeded;
  int32_t radius;  // world pixels
  PositionRecord position;
  float scale;
  float knockX, knockY;  // knock-back velocity, damped each frame
  float wantedHeading;   // what the heading turns toward
  float speed;
  uint8_t dead;
  int32_t id;  // 1..32
  int32_t aggression[kMaxCharacters + 1];  // by id: -100 friendly .. +100 hostile
  int32_t relation[kMaxCharacters + 1];    // by id: -1, 0, +1, mutual
  int32_t relationSum;
  CharacterController controller;
  MessageList messages;
  int32_t lifeCounter;
  int32_t lifeInterval;
  int32_t ammunitionCounter;
  int32_t ammunitionInterval;
  int32_t digestionCounter;
  int32_t digestionInterval;
  std::list<ItemEffect> itemEffects;
  uint8_t shotFlag;  // a shot waits to be spawned this frame
  int32_t shotCooldownCounter;
  int32_t shotCooldown;
  float shotAngle;
  int32_t colour;  // 0..31, the cell of the coloured sprite sheets
  float eyeAngle;
  float eyeLookHeading;
  float eyeLookDistance;
  uint8_t hover;  // under the mouse this frame
  float statusAlpha;
  int32_t thinkTimer;
  int32_t thinkInterval;
  PositionRecord moveGoal;
  PositionRecord aimGoal;
  uint8_t moving;
  uint8_t aiming;
  int32_t aiState;
  int32_t lastAttackerId;
  int32_t revengeTargetId;
  int32_t revengeTimer;
  uint8_t hit;         // hit by a bullet this frame
  uint8_t boxContact;  // touching a food box this frame
  float p1, p2, p3, p4;  // personality
  float sightRange;
  float halfSightRange;
  CharacterSounds sounds;
};

extern CharacterList g_characters;

// The player's creature is the one its controller steers from the input.
bool IsPlayer(const Character& character);
// Where sounds are heard from: the camera's followed position, or the
// source itself while the camera follows nothing.
WorldPoint SoundListener(WorldPoint source);
// One of the creature's sixteen sounds (CharacterSoundSlot), played at its
// position and heard from the camera's followed position.
void PlayCharacterSe(const Character& character, int32_t slot);

void ConstructCharacter(Character& character);
void SetupCharacter(Character& character, int32_t id);
void SetPersonality(Character& character, float p1, float p2, float p3, float p4);
void LevelUp(Character& character);
void CreateRoundCharacters();
void ClearCharacters();
